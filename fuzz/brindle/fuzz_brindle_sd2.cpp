// Fuzzes the Sound Designer II readers: the sample-rate text and the marker
// list walk.  The input's first byte says how much of it is the rate
// resource; the rest is the marker resource.  Both are copied into blocks
// of their own size, so a read past either is seen.  The walk keeps the
// sink's promises (marker_check.hpp); Sound Designer II positions are signed.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "brindle_core.h"
#include "marker_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t split = 1 + (data[0] < size - 1 ? data[0] : size - 1);
    std::vector<uint8_t> rate_text(data + 1, data + split);
    std::vector<uint8_t> markers(data + split, data + size);

    // Once without the parse log and once with it: the same count.
    const int32_t rate = brindle_sd2_rate(brindle_bytes{rate_text.data(), rate_text.size()});
    MarkerCheck check(true);
    brindle_sd2_walk(brindle_bytes{markers.data(), markers.size()}, rate, check.sink());
    check.finish();
    (void)brindle_sd2_stated_rate(brindle_bytes{rate_text.data(), rate_text.size()}, checked_log());
    MarkerCheck logged(true);
    brindle_sd2_walk(brindle_bytes{markers.data(), markers.size()}, rate, logged.sink(), checked_log());
    logged.finish();
    return 0;
}
