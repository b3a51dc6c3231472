// Fuzzes the AIFF and AIFC marker walk over a memory buffer standing for
// the host's copy of a marker chunk.  The walk must stay inside the copy
// (the sanitizers watch every read) and keep the sink's promises
// (marker_check.hpp); AIFF positions are unsigned.  The parse log is on
// for one of the two runs.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "brindle_core.h"
#include "marker_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    // A copy of exactly the input's size, so that a read past it is seen.
    std::vector<uint8_t> chunk(data, data + size);
    for (int32_t peak : {0, 1}) {
        MarkerCheck check(false);
        // Peak mode 1 with the parse log on.
        brindle_aiff_walk(brindle_bytes{chunk.data(), chunk.size()}, 44100, &peak, check.sink(),
                          peak ? checked_log() : nullptr);
        check.finish();
    }
    return 0;
}
