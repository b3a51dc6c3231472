// The heap blocks and the two file streams of brindle_driver.h.
#include "brindle_driver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

char *heap_get(void *ctx, int32_t size) {
    if (size < 0 || size > BRINDLE_BLOCK_LIMIT) return nullptr;
    auto *p = static_cast<char *>(std::malloc(size > 0 ? static_cast<std::size_t>(size) : 1));
    if (!p) return nullptr;
    auto *heap = static_cast<brindle_heap *>(ctx);
    heap->held[p] = size;
    ++heap->gets;
    return p;
}

// A block not held is left alone: it is no block of ours to free.
void heap_release(void *ctx, char *p, int32_t size) {
    auto *heap = static_cast<brindle_heap *>(ctx);
    const auto it = heap->held.find(p);
    if (it == heap->held.end()) {
        ++heap->bad_releases;
        return;
    }
    if (it->second != size) ++heap->bad_releases;
    heap->held.erase(it);
    std::free(p);
}

// Where a move of offset from pos lands, when it stays within [0, size].
bool move_within(int64_t pos, int64_t offset, int64_t size, int64_t &to) {
    return !__builtin_add_overflow(pos, offset, &to) && to >= 0 && to <= size;
}

short bytes_read(void *ctx, int64_t *count, void *buf) {
    auto *f = static_cast<brindle_byte_file *>(ctx);
    if (*count < 0) return 1;
    const auto want = static_cast<uint64_t>(*count);
    const std::size_t left = f->pos < f->size ? f->size - f->pos : 0;
    const std::size_t n = want < left ? static_cast<std::size_t>(want) : left;
    if (n) std::memcpy(buf, f->data + f->pos, n);
    f->pos += n;
    f->largest_read = std::max<uint64_t>(f->largest_read, want);
    *count = static_cast<int64_t>(n);
    return n == want ? 0 : 1;
}

short bytes_skip(void *ctx, int64_t offset) {
    auto *f = static_cast<brindle_byte_file *>(ctx);
    int64_t to = 0;
    if (f->size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ||
        !move_within(static_cast<int64_t>(f->pos), offset, static_cast<int64_t>(f->size), to))
        return 1;
    f->pos = static_cast<std::size_t>(to);
    return 0;
}

short disk_read(void *ctx, int64_t *count, void *buf) {
    auto *f = static_cast<brindle_disk_file *>(ctx);
    const int64_t want = *count;
    if (want < 0) return 1;
    const int64_t n = std::min(want, f->size - f->pos);
    int64_t got = 0;
    if (n > 0) {
        f->in.clear();
        f->in.seekg(f->pos);
        f->in.read(static_cast<char *>(buf), n);
        got = f->in.gcount();
    }
    f->pos += got;
    *count = got;
    return got == want ? 0 : 1;
}

short disk_skip(void *ctx, int64_t offset) {
    auto *f = static_cast<brindle_disk_file *>(ctx);
    int64_t to = 0;
    if (!move_within(f->pos, offset, f->size, to)) return 1;
    f->pos = to;
    return 0;
}

}  // namespace

brindle_heap::~brindle_heap() {
    for (auto &[p, size] : held) std::free(p);
}

brindle_memory brindle_heap_memory(brindle_heap &heap) {
    return brindle_memory{&heap, heap_get, heap_release};
}

brindle_stream brindle_byte_stream(brindle_byte_file &f) {
    return brindle_stream{&f, bytes_read, bytes_skip};
}

bool brindle_disk_open(brindle_disk_file &f, const char *path, int64_t offset) {
    f.in.open(path, std::ios::binary);
    if (!f.in) return false;
    f.in.seekg(0, std::ios::end);
    const std::streamoff end = f.in.tellg();
    if (!f.in || end < 0 || offset < 0 || offset > end) return false;
    f.size = end;
    f.pos = offset;
    return true;
}

brindle_stream brindle_disk_stream(brindle_disk_file &f) { return brindle_stream{&f, disk_read, disk_skip}; }
