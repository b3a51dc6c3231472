// Fuzzes the WAVE header walk and the marker builder together: the input is
// a WAVE file, read from byte 12 on the way the host's data-file calls read
// one.  The walk must end, keep cue data only with label data,
// and hold at most the three blocks; the builder must give the same output
// on a second run, made with the parse log on, and give its table back; everything kept must be given
// back with the size it was obtained with.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "brindle_core.h"
#include "brindle_driver.h"
#include "marker_check.hpp"

namespace {

// What a build sent, folded into one 64-bit FNV-1a digest with a count of
// each kind, so that a second build can be compared with the first without
// keeping either: a smpl chunk can announce some 1 300 loops, and building a
// text of every marker twice made this harness several times slower than
// needed.
struct Output {
    int counts = 0;
    int32_t count = 0;
    int32_t markers = 0;
    int32_t orphans = 0;
    uint64_t digest = 14695981039346656037u;

    // The harness's own loop is no coverage for the fuzzer to chase, and
    // tracing its comparisons cost a sixth of the run (clang 14).
    __attribute__((no_sanitize("coverage"))) void fold(const void *p, std::size_t n) {
        const auto *b = static_cast<const uint8_t *>(p);
        for (std::size_t i = 0; i < n; ++i) digest = (digest ^ b[i]) * 1099511628211u;
    }
    bool operator==(const Output &) const = default;
};

void on_count(void *c, int32_t n) {
    auto *o = static_cast<Output *>(c);
    ++o->counts;
    o->count = n;
}

void on_marker(void *c, const char *name, brindle_time t) {
    auto *o = static_cast<Output *>(c);
    const std::size_t length = std::strlen(name);
    if (o->counts != 1 || length > 255) std::abort();
    ++o->markers;
    o->fold(name, length + 1);  // the NUL keeps "ab","c" apart from "a","bc"
    o->fold(&t.position, sizeof t.position);
    o->fold(&t.is_signed, sizeof t.is_signed);
}

void on_orphan(void *c, uint32_t id) {
    auto *o = static_cast<Output *>(c);
    ++o->orphans;
    o->fold(&id, sizeof id);
}

brindle_bytes bytes(const t_dynMemory &d) {
    return brindle_bytes{reinterpret_cast<const uint8_t *>(d.ptr),
                         d.size > 0 ? static_cast<std::size_t>(d.size) : 0};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    // The object opens the file past its 12-byte RIFF header, unread.
    brindle_byte_file file{copy.data(), copy.size(), std::min<std::size_t>(12, copy.size())};
    brindle_heap blocks;
    const brindle_memory mem = brindle_heap_memory(blocks);
    int32_t rate = -1;
    t_dynMemory cue{nullptr, 0}, list{nullptr, 0}, smpl{nullptr, 0};

    const brindle_walk_end end = brindle_wave_header_walk(
        brindle_byte_stream(file), mem, brindle_wave_data{&rate, &cue, &list, &smpl}, checked_log());
    if (blocks.held.size() > 3 || cue.size < 0 || list.size < 0 || smpl.size < 0) std::abort();
    if (end == BRINDLE_WALK_END_OF_FILE && (cue.size == 0) != (list.size == 0)) std::abort();
    if (end == BRINDLE_WALK_CUE_TOO_LONG && (cue.size != 0 || list.size != 0)) std::abort();

    Output first, second;
    const auto r1 = brindle_wave_build(bytes(cue), bytes(list), bytes(smpl), rate, mem,
                                       brindle_sink{&first, on_count, on_marker, on_orphan});
    const auto r2 = brindle_wave_build(bytes(cue), bytes(list), bytes(smpl), rate, mem,
                                       brindle_sink{&second, on_count, on_marker, on_orphan}, checked_log());
    if (r1 != r2 || !(first == second) || first.counts != 1) std::abort();

    brindle_release_block(mem, cue);
    brindle_release_block(mem, list);
    brindle_release_block(mem, smpl);
    if (!blocks.held.empty() || blocks.bad_releases != 0) std::abort();
    return 0;
}
