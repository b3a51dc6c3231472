// A sink and a memory provider that record what brindle~'s walks do, for
// driving them on memory buffers without a host.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "brindle_core.h"

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

// getbytes as the host gives it: at most 32767 bytes, freed with the size
// asked for.  Checks both, and that nothing is left at the end.
struct Blocks {
    std::map<char *, int32_t> held;
    int32_t refuse_above = 32767;
    int gets = 0;

    brindle_memory memory() {
        return brindle_memory{this,
                              [](void *c, int32_t size) -> char * {
                                  auto *b = static_cast<Blocks *>(c);
                                  if (size < 0 || size > b->refuse_above) return nullptr;
                                  ++b->gets;
                                  auto *p = static_cast<char *>(std::malloc(size > 0 ? size : 1));
                                  b->held[p] = size;
                                  return p;
                              },
                              [](void *c, char *p, int32_t size) {
                                  auto *b = static_cast<Blocks *>(c);
                                  auto it = b->held.find(p);
                                  ASSERT_NE(it, b->held.end()) << "release of a block not held";
                                  EXPECT_EQ(it->second, size) << "released with another size";
                                  std::free(p);
                                  b->held.erase(it);
                              }};
    }
    ~Blocks() {
        for (auto &[p, size] : held) std::free(p);
    }
};

inline brindle_bytes bytes_of(const std::vector<uint8_t> &v) { return brindle_bytes{v.data(), v.size()}; }

// A file read the way the host's sysfile calls read one: a move past the end
// fails and stays put; a read at the end gives what is there.
struct MemFile {
    std::vector<uint8_t> bytes;
    std::size_t pos = 12;  // the open has stepped over the RIFF header
    std::size_t largest_read = 0;

    brindle_stream stream() {
        return brindle_stream{this,
                              [](void *c, int64_t *count, void *buf) -> short {
                                  auto *f = static_cast<MemFile *>(c);
                                  const auto want = static_cast<std::size_t>(*count);
                                  const std::size_t n = std::min(want, f->bytes.size() - f->pos);
                                  std::copy_n(f->bytes.begin() + static_cast<long>(f->pos), n,
                                              static_cast<uint8_t *>(buf));
                                  f->pos += n;
                                  f->largest_read = std::max(f->largest_read, want);
                                  *count = static_cast<int64_t>(n);
                                  return n == want ? 0 : 1;
                              },
                              [](void *c, int64_t offset) -> short {
                                  auto *f = static_cast<MemFile *>(c);
                                  const int64_t to = static_cast<int64_t>(f->pos) + offset;
                                  if (to < 0 || to > static_cast<int64_t>(f->bytes.size())) return 1;
                                  f->pos = static_cast<std::size_t>(to);
                                  return 0;
                              }};
    }
};

}  // namespace brindle_test
