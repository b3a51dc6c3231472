// Fuzzes the Sound Designer II readers: the sample-rate text and the marker
// list walk.  The input's first byte says how much of it is the rate
// resource; the rest is the marker resource.  Both are copied into blocks
// of their own size, so a read past either is seen.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "brindle_core.h"

namespace {

struct Check {
    int counts = 0;
    int32_t count = 0;
    int32_t markers = 0;
};

void on_count(void *c, int32_t n) {
    auto *k = static_cast<Check *>(c);
    ++k->counts;
    k->count = n;
}

void on_marker(void *c, const char *name, brindle_time t) {
    auto *k = static_cast<Check *>(c);
    if (k->counts != 1 || std::strlen(name) > 255 || !t.is_signed) std::abort();
    (void)brindle_time_ms(t);
    ++k->markers;
}

void on_orphan(void *, uint32_t) { std::abort(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t split = 1 + (data[0] < size - 1 ? data[0] : size - 1);
    std::vector<uint8_t> rate_text(data + 1, data + split);
    std::vector<uint8_t> markers(data + split, data + size);

    const int32_t rate = brindle_sd2_rate(brindle_bytes{rate_text.data(), rate_text.size()});
    Check k;
    brindle_sd2_walk(brindle_bytes{markers.data(), markers.size()}, rate,
                     brindle_sink{&k, on_count, on_marker, on_orphan});
    if (k.counts != 1 || k.markers > (k.count > 0 ? k.count : 0)) std::abort();
    return 0;
}
