// Fuzzes the AIFF and AIFC chunk reader (COMM and MARK) over a memory
// buffer, then walks a marker chunk it accepted the way a plug-in does, by
// its count alone: the reader promises that this stays inside the copy.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "aiff_info.hpp"

namespace fs = fileservices;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    if (size >= 10) (void)fs::extended_to_rate(std::span<const uint8_t, 10>(data, 10));

    fs::MemorySource src(bytes);
    fs::AiffInfo info;
    if (fs::read_aiff_info(src, info) != fs::AiffStatus::Ok) return 0;
    const auto &mark = info.marker_chunk;
    if (mark.empty()) return 0;
    if (mark.size() > fs::kMaxMarkerChunkBytes || mark.size() < 10) std::abort();

    // Raw indexing on purpose: this is how the marker reader walks the copy.
    const unsigned count = (mark[8] << 8) | mark[9];
    std::size_t at = 10;
    for (unsigned i = 0; i < count; ++i) {
        if (at + 7 > mark.size()) std::abort();
        const unsigned len = mark[at + 6];
        if (at + 7 + len > mark.size()) std::abort();
        at += 7 + len + (len % 2 == 0 ? 1 : 0);
    }
    return 0;
}
