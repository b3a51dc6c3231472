// Fixture writers for brindle~'s tests: byte buffers assembled field by
// field, and the marker data of each format laid out from plain records.
// These write what the libraries used in the round-trip tests cannot:
// odd sizes, lying counts, truncations, lists in any order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brindle_test {

struct Bytes {
    std::vector<uint8_t> b;

    Bytes &u8(uint32_t v) {
        b.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Bytes &u16be(uint32_t v) { return u8(v >> 8).u8(v); }
    Bytes &u32be(uint32_t v) { return u8(v >> 24).u8(v >> 16).u8(v >> 8).u8(v); }
    Bytes &u32le(uint32_t v) { return u8(v).u8(v >> 8).u8(v >> 16).u8(v >> 24); }
    Bytes &text(const std::string &s) {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes &zeros(std::size_t n) {
        b.insert(b.end(), n, 0);
        return *this;
    }
    Bytes &append(const Bytes &o) {
        b.insert(b.end(), o.b.begin(), o.b.end());
        return *this;
    }
    std::size_t size() const { return b.size(); }
    const uint8_t *data() const { return b.data(); }
};

// --- AIFF / AIFC marker chunk ----------------------------------------------

struct AiffMarker {
    uint16_t id;
    uint32_t position;
    std::string name;
};

// A MARK chunk, header included, with each name padded to an even total.
inline Bytes aiff_mark(const std::vector<AiffMarker> &markers, std::optional<uint16_t> count = {}) {
    Bytes body;
    body.u16be(count.value_or(static_cast<uint16_t>(markers.size())));
    for (const auto &m : markers) {
        body.u16be(m.id).u32be(m.position).u8(static_cast<uint32_t>(m.name.size())).text(m.name);
        if (m.name.size() % 2 == 0) body.u8(0);
    }
    Bytes chunk;
    chunk.text("MARK").u32be(static_cast<uint32_t>(body.size())).append(body);
    return chunk;
}

// --- Sound Designer II resources -----------------------------------------

struct Sd2Marker {
    int32_t position;
    int16_t id;
    std::string name;
    std::optional<int32_t> length = {};  // the stored length when not the name's own
};

inline Bytes sd2_rate_text(const std::string &text) {
    return Bytes{}.u8(static_cast<uint32_t>(text.size())).text(text);
}

inline Bytes sdml(const std::vector<Sd2Marker> &markers, std::optional<int16_t> count = {}) {
    Bytes r;
    r.zeros(6).u16be(static_cast<uint16_t>(count.value_or(static_cast<int16_t>(markers.size()))));
    for (const auto &m : markers) {
        r.u32be(0xAAAAAAAA).u32be(static_cast<uint32_t>(m.position)).zeros(6);
        r.u16be(static_cast<uint16_t>(m.id));
        r.u32be(static_cast<uint32_t>(m.length.value_or(static_cast<int32_t>(m.name.size()))));
        r.text(m.name);
    }
    return r;
}

// A raw resource fork holding the given resources, one type list entry per
// resource (a type may repeat), none named.
struct Resource {
    std::string type;
    int16_t id;
    Bytes data;
};

inline Bytes resource_fork(const std::vector<Resource> &resources) {
    Bytes data;
    std::vector<uint32_t> offsets;
    for (const auto &r : resources) {
        offsets.push_back(static_cast<uint32_t>(data.size()));
        data.u32be(static_cast<uint32_t>(r.data.size())).append(r.data);
    }
    const uint32_t n = static_cast<uint32_t>(resources.size());
    Bytes map;
    map.zeros(16).zeros(4).zeros(2).zeros(2);
    map.u16be(28).u16be(28 + 2 + 8 * n + 12 * n);  // type list, name list
    map.u16be(n == 0 ? 0xFFFF : n - 1);
    for (uint32_t i = 0; i < n; ++i) map.text(resources[i].type).u16be(0).u16be(2 + 8 * n + 12 * i);
    for (uint32_t i = 0; i < n; ++i) {
        map.u16be(static_cast<uint16_t>(resources[i].id)).u16be(0xFFFF).u8(0);
        map.u8(offsets[i] >> 16).u16be(offsets[i] & 0xFFFF).u32be(0);
    }
    Bytes fork;
    fork.u32be(256).u32be(256 + static_cast<uint32_t>(data.size()));
    fork.u32be(static_cast<uint32_t>(data.size())).u32be(static_cast<uint32_t>(map.size()));
    fork.zeros(256 - 16).append(data).append(map);
    return fork;
}

// --- WAVE ------------------------------------------------------------------

struct CuePoint {
    uint32_t id;
    uint32_t position;
};

struct Label {
    uint32_t id;
    std::string text;
};

struct Loop {
    uint32_t start, end;
};

// A RIFF chunk: id, little-endian size, data and the pad byte an odd size
// asks for (unless told to leave it out).
inline Bytes riff_chunk(const std::string &id, const Bytes &data, bool pad = true) {
    Bytes c;
    c.text(id).u32le(static_cast<uint32_t>(data.size())).append(data);
    if (pad && data.size() % 2) c.u8(0);
    return c;
}

inline Bytes fmt_data(uint32_t rate) {
    return Bytes{}.u16be(0x0100).u16be(0x0100).u32le(rate).u32le(rate * 2).u16be(0x0200).u16be(0x1000);
}

// Cue chunk data; count overrides the number stored.
inline Bytes cue_data(const std::vector<CuePoint> &points, std::optional<int64_t> count = {}) {
    Bytes d;
    d.u32le(static_cast<uint32_t>(count.value_or(static_cast<int64_t>(points.size()))));
    for (const auto &p : points) {
        // The sample offset differs from the position so that reading the
        // wrong field shows.
        d.u32le(p.id).u32le(p.position).text("data").u32le(0).u32le(0).u32le(p.position + 7);
    }
    return d;
}

// One labl sub-chunk, its text NUL-terminated and padded to even size.
inline Bytes labl(const Label &l) {
    Bytes d;
    d.u32le(l.id).text(l.text).u8(0);
    return riff_chunk("labl", d);
}

// adtl list data (list type included) with the labels and extra sub-chunks.
inline Bytes adtl_data(const std::vector<Label> &labels, const Bytes &extra = {}) {
    Bytes d;
    d.text("adtl");
    for (const auto &l : labels) d.append(labl(l));
    d.append(extra);
    return d;
}

// Sample-loop chunk data; count overrides the number stored.
inline Bytes smpl_data(const std::vector<Loop> &loops, std::optional<int64_t> count = {}) {
    Bytes d;
    d.u32le(1).u32le(2).u32le(22675).u32le(60).u32le(0).u32le(0).u32le(0);
    d.u32le(static_cast<uint32_t>(count.value_or(static_cast<int64_t>(loops.size())))).u32le(0);
    for (std::size_t k = 0; k < loops.size(); ++k) {
        d.u32le(static_cast<uint32_t>(k)).u32le(0).u32le(loops[k].start).u32le(loops[k].end);
        d.u32le(0).u32le(0);
    }
    return d;
}

// A whole file: RIFF header, then the chunks as given.
inline Bytes wave_file(const std::vector<Bytes> &chunks) {
    Bytes body;
    body.text("WAVE");
    for (const auto &c : chunks) body.append(c);
    Bytes f;
    f.text("RIFF").u32le(static_cast<uint32_t>(body.size())).append(body);
    return f;
}

}  // namespace brindle_test
