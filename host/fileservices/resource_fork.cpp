// Macintosh resource fork (Inside Macintosh: More Macintosh Toolbox,
// "Resource Manager", the resource file format).  Big-endian throughout.
//
// Fork header, 16 bytes at offset 0:
//   u32 offset of the resource data, u32 offset of the resource map,
//   u32 length of the data, u32 length of the map.
// Resource data: for each resource, a u32 length, then that many bytes.
// Resource map, at its offset:
//   0   16  copy of the fork header (ignored)
//   16  4   next map handle, 20 u16 file reference, 22 u16 attributes
//           (all in-memory fields of the Mac; ignored)
//   24  u16 offset from the map to the type list
//   26  u16 offset from the map to the name list
// Type list, at its offset: u16 number of types minus one (0xFFFF: none),
//   then per type 8 bytes: u32 type, u16 number of resources minus one,
//   u16 offset from the start of the type list to its reference list.
// Reference list entry, 12 bytes: i16 id, u16 offset from the name list to
//   the name (0xFFFF: unnamed), u8 attributes, u24 offset from the start of
//   the data to the resource's length word, u32 handle (ignored).
// Names: a length byte, then the characters.
//
// Every range named by the header or the map is checked against what holds
// it, the data and map against the fork, lists and names against the map,
// each resource against the data area, before anything is handed out; a
// fork with one bad range is refused as a whole.
#include "resource_fork.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "apple_double.hpp"
#include "byte_cursor.h"
#include "data_file.hpp"
#include "search_path.hpp"

namespace fileservices {

namespace {

// A fork's data offsets are 24 bits and its map offsets 16, so a fork that
// holds together is at most a little over 16 MiB; sidecars carry a little
// more around it.
constexpr uint64_t kMaxForkRead = 32u << 20;
constexpr std::size_t kTypeEntrySize = 8;
constexpr std::size_t kRefEntrySize = 12;

bool range_fits(uint64_t offset, uint64_t length, uint64_t total) {
    return offset <= total && length <= total - offset;
}

}  // namespace

int16_t parse_resource_fork(std::span<const uint8_t> fork, std::vector<ResourceEntry> &out) {
    out.clear();
    if (fork.empty()) return kResFileNotFound;
    bytes::Cursor header(fork);
    auto data_off = header.u32be();
    auto map_off = header.u32be();
    auto data_len = header.u32be();
    auto map_len = header.u32be();
    if (!map_len) return kResMapBroken;
    if (!range_fits(*data_off, *data_len, fork.size()) || !range_fits(*map_off, *map_len, fork.size()))
        return kResMapBroken;
    const auto data = fork.subspan(*data_off, *data_len);
    const auto map = fork.subspan(*map_off, *map_len);

    bytes::Cursor m(map);
    if (!m.seek(24)) return kResMapBroken;
    auto type_list_off = m.u16be();
    auto name_list_off = m.u16be();
    if (!name_list_off || *name_list_off > map.size()) return kResMapBroken;
    const auto names = map.subspan(*name_list_off);

    bytes::Cursor types(map);
    if (!types.seek(*type_list_off)) return kResMapBroken;
    const std::size_t type_list_start = *type_list_off;
    auto types_minus_one = types.u16be();
    if (!types_minus_one) return kResMapBroken;
    const std::size_t type_count = *types_minus_one == 0xFFFF ? 0 : std::size_t{*types_minus_one} + 1;
    if (type_count > types.remaining() / kTypeEntrySize) return kResMapBroken;

    std::vector<ResourceEntry> entries;
    for (std::size_t t = 0; t < type_count; ++t) {
        auto type = types.fourcc();
        auto refs_minus_one = types.u16be();
        auto ref_list_off = types.u16be();
        if (!type || !refs_minus_one || !ref_list_off) return kResMapBroken;
        const std::size_t ref_count = std::size_t{*refs_minus_one} + 1;
        bytes::Cursor refs(map);
        if (!refs.seek(type_list_start + *ref_list_off)) return kResMapBroken;
        if (ref_count > refs.remaining() / kRefEntrySize) return kResMapBroken;
        for (std::size_t r = 0; r < ref_count; ++r) {
            auto id = refs.u16be();
            auto name_off = refs.u16be();
            auto attributes = refs.u8();
            auto res_off = refs.u24be();
            if (!id || !name_off || !attributes || !res_off || !refs.skip(4)) return kResMapBroken;

            ResourceEntry e{*type, static_cast<int16_t>(*id), *attributes, std::nullopt, 0, 0};
            if (*name_off != 0xFFFF) {
                bytes::Cursor n(names);
                if (!n.seek(*name_off)) return kResMapBroken;
                auto len = n.u8();
                auto text = len ? n.take(*len) : std::nullopt;
                if (!text) return kResMapBroken;
                e.name.emplace(text->begin(), text->end());
            }
            bytes::Cursor d(data);
            if (!d.seek(*res_off)) return kResMapBroken;
            auto size = d.u32be();
            if (!size || *size > d.remaining()) return kResMapBroken;
            e.data_offset = *data_off + d.pos();
            e.data_size = *size;
            entries.push_back(std::move(e));
        }
    }
    out = std::move(entries);
    return kResOk;
}

int16_t read_resource_fork(const std::string &folder, const std::string &name, std::vector<uint8_t> &fork) {
#ifdef __APPLE__
    // On a Mac the fork is the file's own, reached as a file of its own
    // name; empty (or absent) on a file that has none.
    auto own = read_whole(join(folder, name) + "/..namedfork/rsrc", kMaxForkRead);
    if (own && !own->empty()) {
        fork = std::move(*own);
        return kResOk;
    }
#endif
    for (const auto &path : sidecar_paths(folder, name)) {
        auto bytes = read_whole(path, kMaxForkRead);
        if (!bytes) continue;
        auto entries = parse_apple_double(*bytes);
        if (!entries || entries->resource_fork.empty()) continue;
        fork.assign(entries->resource_fork.begin(), entries->resource_fork.end());
        return kResOk;
    }
    auto raw = read_whole(join(folder, name + ".rsrc"), kMaxForkRead);
    if (raw && !raw->empty()) {
        fork = std::move(*raw);
        return kResOk;
    }
    return kResFileNotFound;
}

// --- handles ---------------------------------------------------------------

namespace {

// The block behind a handle: the master pointer first, so that the handle,
// which points at the master pointer, is the block's address.
struct HandleBlock {
    char *master;
    std::size_t size;
};
constexpr std::size_t kDataOffset = (sizeof(HandleBlock) + alignof(std::max_align_t) - 1) /
                                    alignof(std::max_align_t) * alignof(std::max_align_t);

}  // namespace

std::size_t handle_block_size(std::size_t data_size) { return kDataOffset + data_size; }

ResHandle new_handle(std::span<const uint8_t> data, const BlockHooks &hooks) {
    const std::size_t bytes = handle_block_size(data.size());
    void *mem = hooks.alloc ? hooks.alloc(hooks.ctx, bytes) : std::malloc(bytes);
    if (!mem) return nullptr;
    auto *block = new (mem) HandleBlock{static_cast<char *>(mem) + kDataOffset, data.size()};
    if (!data.empty()) std::memcpy(block->master, data.data(), data.size());
    return &block->master;
}

std::size_t handle_size(ResHandle h) { return h ? reinterpret_cast<HandleBlock *>(h)->size : 0; }

void dispose_handle(ResHandle h, const BlockHooks &hooks) {
    if (!h) return;
    const std::size_t bytes = handle_block_size(handle_size(h));
    if (hooks.release)
        hooks.release(hooks.ctx, h, bytes);
    else
        std::free(h);
}

// --- the Resource Manager ----------------------------------------------------

ResourceManager::ResourceManager(BlockHooks hooks) : hooks_(hooks) {}

ResourceManager::~ResourceManager() {
    if (hooks_.reclaimed_by_owner) return;
    for (auto &f : files_) free_loaded(*f);
}

ResourceManager::File *ResourceManager::find(int16_t ref) {
    for (auto &f : files_)
        if (f->ref == ref) return f.get();
    return nullptr;
}

void ResourceManager::free_loaded(File &f) {
    for (auto &[index, h] : f.loaded) dispose_handle(h, hooks_);
    f.loaded.clear();
}

int16_t ResourceManager::open(const std::string &folder, const std::string &name, int16_t *ref) {
    std::vector<uint8_t> fork;
    error_ = read_resource_fork(folder, name, fork);
    if (error_ != kResOk) return error_;
    return open_image(std::move(fork), ref);
}

int16_t ResourceManager::open_image(std::vector<uint8_t> fork, int16_t *ref) {
    auto f = std::make_unique<File>();
    error_ = parse_resource_fork(fork, f->entries);
    if (error_ != kResOk) return error_;
    // References stay unique among open files even after wrapping around.
    for (int tries = 0; tries < 32767; ++tries) {
        const int16_t r = next_ref_;
        next_ref_ = next_ref_ == 32767 ? 1 : static_cast<int16_t>(next_ref_ + 1);
        if (!find(r)) {
            f->ref = r;
            f->bytes = std::move(fork);
            files_.push_back(std::move(f));
            current_ = r;
            if (ref) *ref = r;
            return error_ = kResOk;
        }
    }
    return error_ = kResFileNotFound;
}

void ResourceManager::use(int16_t ref) {
    if (ref == 0 || find(ref)) {
        current_ = ref;
        error_ = kResOk;
    } else {
        error_ = kResFileNotFound;
    }
}

ResHandle ResourceManager::get(uint32_t type, int16_t id) {
    // The chain runs from the current file back through the files opened
    // before it; the system file at its end holds nothing.
    auto it = std::find_if(files_.rbegin(), files_.rend(), [&](const auto &f) { return f->ref == current_; });
    for (; it != files_.rend(); ++it) {
        File &f = **it;
        for (std::size_t i = 0; i < f.entries.size(); ++i) {
            const ResourceEntry &e = f.entries[i];
            if (e.type != type || e.id != id) continue;
            if (auto l = f.loaded.find(i); l != f.loaded.end()) {
                error_ = kResOk;
                return l->second;
            }
            ResHandle h = new_handle(std::span(f.bytes).subspan(e.data_offset, e.data_size), hooks_);
            if (!h) {
                error_ = kResMemFull;
                return nullptr;
            }
            f.loaded[i] = h;
            error_ = kResOk;
            return h;
        }
    }
    error_ = kResNotFound;
    return nullptr;
}

void ResourceManager::detach(ResHandle h) {
    for (auto &f : files_) {
        for (auto it = f->loaded.begin(); it != f->loaded.end(); ++it) {
            if (it->second == h) {
                f->loaded.erase(it);
                error_ = kResOk;
                return;
            }
        }
    }
    error_ = kResNotFound;
}

void ResourceManager::close(int16_t ref) {
    auto it = std::find_if(files_.begin(), files_.end(), [&](const auto &f) { return f->ref == ref; });
    if (it == files_.end()) {
        error_ = kResFileNotFound;
        return;
    }
    free_loaded(**it);
    // Closing the current file makes the one opened before it current.
    if (current_ == ref) current_ = it == files_.begin() ? 0 : (*std::prev(it))->ref;
    files_.erase(it);
    error_ = kResOk;
}

bool ResourceManager::attached(ResHandle h) const {
    if (!h) return false;
    for (const auto &f : files_)
        for (const auto &[index, loaded] : f->loaded)
            if (loaded == h) return true;
    return false;
}

}  // namespace fileservices
