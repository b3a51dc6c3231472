// Fuzzes the resource-fork reader and the AppleDouble reader over a memory
// buffer: the input is read both as a raw fork and as a sidecar holding
// one, and every resource found is copied out through the Resource Manager.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "apple_double.hpp"
#include "resource_fork.hpp"

namespace {

void exercise_fork(std::span<const uint8_t> fork) {
    std::vector<fileservices::ResourceEntry> entries;
    if (fileservices::parse_resource_fork(fork, entries) != fileservices::kResOk) {
        if (!entries.empty()) std::abort();  // a refused fork lists nothing
        return;
    }
    fileservices::ResourceManager rm;
    int16_t ref = 0;
    if (rm.open_image(std::vector<uint8_t>(fork.begin(), fork.end()), &ref) != fileservices::kResOk)
        std::abort();
    for (const auto &e : entries) {
        if (e.data_offset > fork.size() || e.data_size > fork.size() - e.data_offset) std::abort();
        fileservices::ResHandle h = rm.get(e.type, e.id);
        if (!h) std::abort();
        // Touch every byte, so that a copy of the wrong length shows.
        volatile uint8_t sum = 0;
        for (std::size_t i = 0; i < fileservices::handle_size(h); ++i)
            sum = static_cast<uint8_t>(sum + (*h)[i]);
        if (e.id % 2) {
            rm.detach(h);
            fileservices::dispose_handle(h, {});
        }
    }
    rm.close(ref);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    exercise_fork(bytes);
    if (auto ad = fileservices::parse_apple_double(bytes)) {
        (void)fileservices::finder_type(*ad);
        exercise_fork(ad->resource_fork);
    }
    return 0;
}
