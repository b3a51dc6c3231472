// Fuzzes the AIFF and AIFC chunk reader (COMM and MARK) over a memory
// buffer.  A marker chunk it hands out keeps its header, whose size field
// must be the copy's size, within a getbytes block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "aiff_info.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    if (size >= 10) (void)fileservices::extended_to_rate(std::span<const uint8_t, 10>(data, 10));

    fileservices::MemorySource src(bytes);
    fileservices::AiffInfo info;
    if (fileservices::read_aiff_info(src, info) != fileservices::AiffStatus::Ok) return 0;
    const auto &mark = info.marker_chunk;
    if (mark.empty()) return 0;
    if (mark.size() > fileservices::kMaxMarkerChunkBytes || mark.size() < 10) std::abort();

    const uint32_t stated =
        (uint32_t{mark[4]} << 24) | (uint32_t{mark[5]} << 16) | (uint32_t{mark[6]} << 8) | mark[7];
    if (stated != mark.size() - 8) std::abort();
    if (mark[0] != 'M' || mark[1] != 'A' || mark[2] != 'R' || mark[3] != 'K') std::abort();
    return 0;
}
