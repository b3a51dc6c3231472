// A sink that records what brindle~'s walks do, and the driver's blocks and
// streams as the tests use them, for driving the walks on memory buffers
// without a host.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "brindle_core.h"
#include "brindle_driver.h"

namespace brindle_test {

struct Marker {
    std::string name;
    brindle_time time;
};

struct Recorder {
    std::vector<int32_t> counts;
    std::vector<Marker> markers;
    std::vector<uint32_t> orphans;
    // Called after each marker is recorded, as a receiver downstream would.
    std::function<void(const Marker &)> on_marker;

    brindle_sink sink() {
        return brindle_sink{this, [](void *c, int32_t n) { static_cast<Recorder *>(c)->counts.push_back(n); },
                            [](void *c, const char *name, brindle_time t) {
                                auto *r = static_cast<Recorder *>(c);
                                EXPECT_EQ(r->counts.size(), 1u) << "a marker before the count";
                                r->markers.push_back(Marker{name, t});
                                if (r->on_marker) r->on_marker(r->markers.back());
                            },
                            [](void *c, uint32_t id) { static_cast<Recorder *>(c)->orphans.push_back(id); }};
    }

    std::vector<std::string> names() const {
        std::vector<std::string> v;
        for (const auto &m : markers) v.push_back(m.name);
        return v;
    }
    std::vector<uint32_t> positions() const {
        std::vector<uint32_t> v;
        for (const auto &m : markers) v.push_back(m.time.position);
        return v;
    }
};

// getbytes as the host gives it (brindle_driver.h), checked at the end for
// a block released that was not held or with another size.
struct Blocks : brindle_heap {
    brindle_memory memory() { return brindle_heap_memory(*this); }
    ~Blocks() { EXPECT_EQ(bad_releases, 0) << "a block released that was not held, or with another size"; }
};

inline brindle_bytes bytes_of(const std::vector<uint8_t> &v) { return brindle_bytes{v.data(), v.size()}; }

// A file read the way the host's sysfile calls read one, from byte 12 on:
// the open has stepped over the RIFF header.
struct MemFile {
    std::vector<uint8_t> bytes;
    brindle_byte_file file{bytes.data(), bytes.size(), 12};

    brindle_stream stream() { return brindle_byte_stream(file); }
};

}  // namespace brindle_test
