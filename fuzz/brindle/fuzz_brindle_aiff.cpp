// Fuzzes the AIFF and AIFC marker walk over a memory buffer standing for
// the host's copy of a marker chunk.  The walk must stay inside the copy
// (the sanitizers watch every read), send the count once and before any
// marker, and build every name within its 256-byte buffer.
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
    if (k->counts != 1 || std::strlen(name) > 255 || t.is_signed) std::abort();
    ++k->markers;
}

void on_orphan(void *, uint32_t) { std::abort(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    // A copy of exactly the input's size, so that a read past it is seen.
    std::vector<uint8_t> chunk(data, data + size);
    for (int32_t peak : {0, 1}) {
        Check k;
        brindle_aiff_walk(brindle_bytes{chunk.data(), chunk.size()}, 44100, &peak,
                          brindle_sink{&k, on_count, on_marker, on_orphan});
        if (k.counts != 1 || k.markers > k.count) std::abort();
    }
    return 0;
}
