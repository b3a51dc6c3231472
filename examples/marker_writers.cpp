// The formats as written here:
//
// WAVE: "RIFF", u32le size of the rest, "WAVE", then chunks (id, u32le
//   size, data, a pad byte after odd-sized data).
//   fmt   u16 format 1 (PCM), u16 channels, u32 rate, u32 bytes per second,
//         u16 block align, u16 bits per sample.
//   cue   u32 count, then per point: u32 id, u32 position, "data", u32 chunk
//         start 0, u32 block start 0, u32 sample offset (the position).
//   LIST  "adtl", then per label a sub-chunk "labl", u32 size, u32 cue id,
//         the text and its NUL, padded to even like any chunk.
//   smpl  seven u32 (manufacturer, product, sample period in ns, MIDI unity
//         note 60, pitch fraction, SMPTE format, SMPTE offset), u32 loop
//         count, u32 sampler data size 0, then per loop: u32 id, u32 type 0
//         (forward), u32 start, u32 end, u32 fraction, u32 play count 0
//         (for ever).
// AIFF: "FORM", u32be size of the rest, the form type, then chunks (id,
//   u32be size, data, a pad byte after odd-sized data).
//   COMM  u16 channels, u32 frames, u16 bits, 80-bit extended rate; in an
//         AIFC file then the compression code and its name as a length
//         byte and text, padded to even.
//   MARK  u16 count, then per marker: u16 id, u32 position, a length byte
//         and the name, and a pad byte when the length byte and the name
//         together are odd.
//   SSND  u32 offset 0, u32 block size 0, the samples, big-endian.
// Resource fork: a 16-byte header (u32 data offset, map offset, data
//   length, map length), 240 bytes reserved, the data (u32 length before
//   each resource), then the map: a copy of the header, 8 bytes of Mac
//   in-memory fields, u16 offset of the type list (28), u16 offset of the
//   name list; the type list (u16 types - 1; per type the code, u16
//   resources - 1, u16 offset of its reference list from the type list);
//   the reference lists (per resource 12 bytes: i16 id, u16 name offset
//   0xFFFF for none, u8 attributes, u24 offset of its length word in the
//   data, u32 handle 0).  Names are not written.
// sdML: 6 header bytes (zero), i16 count, then per marker 20 bytes and the
//   name: 4 zero bytes, i32 position, 6 zero bytes, i16 id, i32 name length,
//   the name without terminator or pad.
#include "marker_writers.hpp"

#include <cstdio>
#include <stdexcept>

namespace examples {
namespace {

void u8(Bytes &b, uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
void u16le(Bytes &b, uint32_t v) {
    u8(b, v);
    u8(b, v >> 8);
}
void u32le(Bytes &b, uint32_t v) {
    u16le(b, v);
    u16le(b, v >> 16);
}
void u16be(Bytes &b, uint32_t v) {
    u8(b, v >> 8);
    u8(b, v);
}
void u24be(Bytes &b, uint32_t v) {
    u8(b, v >> 16);
    u16be(b, v);
}
void u32be(Bytes &b, uint32_t v) {
    u16be(b, v >> 16);
    u16be(b, v);
}
void text(Bytes &b, std::string_view s) { b.insert(b.end(), s.begin(), s.end()); }

void fourcc(Bytes &b, std::string_view id) {
    if (id.size() != 4) throw std::invalid_argument("a four-character code needs four characters");
    text(b, id);
}

}  // namespace

void append(Bytes &to, const Bytes &from) { to.insert(to.end(), from.begin(), from.end()); }

// --- WAVE ----------------------------------------------------------------------

Bytes riff_chunk(std::string_view id, const Bytes &data) {
    Bytes b;
    fourcc(b, id);
    u32le(b, static_cast<uint32_t>(data.size()));
    append(b, data);
    if (data.size() % 2) u8(b, 0);
    return b;
}

Bytes wave_file(const std::vector<Bytes> &chunks) {
    Bytes body;
    text(body, "WAVE");
    for (const Bytes &c : chunks) append(body, c);
    Bytes b;
    text(b, "RIFF");
    u32le(b, static_cast<uint32_t>(body.size()));
    append(b, body);
    return b;
}

Bytes fmt_chunk(uint32_t rate, uint16_t channels, uint16_t bits) {
    const uint32_t align = channels * ((bits + 7u) / 8u);
    Bytes d;
    u16le(d, 1);
    u16le(d, channels);
    u32le(d, rate);
    u32le(d, rate * align);
    u16le(d, align);
    u16le(d, bits);
    return riff_chunk("fmt ", d);
}

Bytes cue_chunk(const std::vector<CuePoint> &points) {
    Bytes d;
    u32le(d, static_cast<uint32_t>(points.size()));
    for (const CuePoint &p : points) {
        u32le(d, p.id);
        u32le(d, p.position);
        text(d, "data");
        u32le(d, 0);
        u32le(d, 0);
        u32le(d, p.position);
    }
    return riff_chunk("cue ", d);
}

Bytes adtl_list(const std::vector<Label> &labels) {
    Bytes d;
    text(d, "adtl");
    for (const Label &l : labels) {
        Bytes s;
        u32le(s, l.cue_id);
        text(s, l.text);
        u8(s, 0);
        append(d, riff_chunk("labl", s));
    }
    return riff_chunk("LIST", d);
}

Bytes smpl_chunk(const std::vector<Loop> &loops, uint32_t rate) {
    Bytes d;
    u32le(d, 0);
    u32le(d, 0);
    u32le(d, rate ? 1000000000u / rate : 0);
    u32le(d, 60);
    u32le(d, 0);
    u32le(d, 0);
    u32le(d, 0);
    u32le(d, static_cast<uint32_t>(loops.size()));
    u32le(d, 0);
    uint32_t id = 0;
    for (const Loop &l : loops) {
        u32le(d, id++);
        u32le(d, 0);
        u32le(d, l.start);
        u32le(d, l.end);
        u32le(d, 0);
        u32le(d, 0);
    }
    return riff_chunk("smpl", d);
}

Bytes wave_data_chunk(const std::vector<int16_t> &samples) {
    Bytes d;
    for (int16_t s : samples) u16le(d, static_cast<uint16_t>(s));
    return riff_chunk("data", d);
}

// --- AIFF ----------------------------------------------------------------------

Bytes iff_chunk(std::string_view id, const Bytes &data) {
    Bytes b;
    fourcc(b, id);
    u32be(b, static_cast<uint32_t>(data.size()));
    append(b, data);
    if (data.size() % 2) u8(b, 0);
    return b;
}

Bytes aiff_file(std::string_view form, const std::vector<Bytes> &chunks) {
    Bytes body;
    fourcc(body, form);
    for (const Bytes &c : chunks) append(body, c);
    Bytes b;
    text(b, "FORM");
    u32be(b, static_cast<uint32_t>(body.size()));
    append(b, body);
    return b;
}

// An integer is exact in the 64-bit mantissa: shift its top bit to bit 63
// and count the shift into the exponent.
Bytes extended_rate(uint32_t rate) {
    Bytes b;
    if (rate == 0) {
        b.assign(10, 0);
        return b;
    }
    int top = 31;
    while (!(rate >> top)) --top;
    u16be(b, static_cast<uint32_t>(16383 + top));
    const uint64_t mantissa = static_cast<uint64_t>(rate) << (63 - top);
    u32be(b, static_cast<uint32_t>(mantissa >> 32));
    u32be(b, static_cast<uint32_t>(mantissa));
    return b;
}

Bytes comm_chunk(uint32_t rate, uint32_t frames, uint16_t channels, uint16_t bits,
                 std::string_view compression) {
    Bytes d;
    u16be(d, channels);
    u32be(d, frames);
    u16be(d, bits);
    append(d, extended_rate(rate));
    if (!compression.empty()) {
        fourcc(d, compression);
        const std::string_view name = "not compressed";
        u8(d, static_cast<uint32_t>(name.size()));
        text(d, name);
        if (name.size() % 2 == 0) u8(d, 0);
    }
    return iff_chunk("COMM", d);
}

Bytes mark_chunk(const std::vector<AiffMarker> &markers) {
    Bytes d;
    u16be(d, static_cast<uint32_t>(markers.size()));
    for (const AiffMarker &m : markers) {
        if (m.name.size() > 255) throw std::invalid_argument("an AIFF marker name holds 255 bytes");
        u16be(d, m.id);
        u32be(d, m.position);
        u8(d, static_cast<uint32_t>(m.name.size()));
        text(d, m.name);
        if (m.name.size() % 2 == 0) u8(d, 0);
    }
    return iff_chunk("MARK", d);
}

Bytes ssnd_chunk(const std::vector<int16_t> &samples) {
    Bytes d;
    u32be(d, 0);
    u32be(d, 0);
    for (int16_t s : samples) u16be(d, static_cast<uint16_t>(s));
    return iff_chunk("SSND", d);
}

// --- Sound Designer II ------------------------------------------------------------

Bytes resource_fork(const std::vector<Resource> &resources) {
    constexpr uint32_t kDataOffset = 256;
    constexpr uint32_t kTypeListOffset = 28;

    // Types in order of first appearance, each with its resources.
    std::vector<std::pair<std::string_view, std::vector<std::size_t>>> types;
    for (std::size_t k = 0; k < resources.size(); ++k) {
        if (types.empty() || types.back().first != resources[k].type) {
            for (const auto &t : types)
                if (t.first == resources[k].type)
                    throw std::invalid_argument("resources of one type must be given together");
            types.push_back({resources[k].type, {}});
        }
        types.back().second.push_back(k);
    }

    Bytes data;
    std::vector<uint32_t> data_offsets;
    for (const Resource &r : resources) {
        data_offsets.push_back(static_cast<uint32_t>(data.size()));
        u32be(data, static_cast<uint32_t>(r.data.size()));
        append(data, r.data);
    }

    Bytes type_list;
    const uint32_t type_list_size = 2 + 8 * static_cast<uint32_t>(types.size());
    u16be(type_list, static_cast<uint32_t>(types.size()) - 1);
    Bytes ref_lists;
    for (const auto &[type, members] : types) {
        fourcc(type_list, type);
        u16be(type_list, static_cast<uint32_t>(members.size()) - 1);
        u16be(type_list, type_list_size + static_cast<uint32_t>(ref_lists.size()));
        for (std::size_t k : members) {
            u16be(ref_lists, static_cast<uint16_t>(resources[k].id));
            u16be(ref_lists, 0xFFFF);
            u8(ref_lists, 0);
            u24be(ref_lists, data_offsets[k]);
            u32be(ref_lists, 0);
        }
    }

    const uint32_t map_offset = kDataOffset + static_cast<uint32_t>(data.size());
    const uint32_t map_size = kTypeListOffset + type_list_size + static_cast<uint32_t>(ref_lists.size());
    Bytes header;
    u32be(header, kDataOffset);
    u32be(header, map_offset);
    u32be(header, static_cast<uint32_t>(data.size()));
    u32be(header, map_size);

    Bytes fork = header;
    fork.resize(kDataOffset, 0);
    append(fork, data);
    append(fork, header);
    u32be(fork, 0);  // next map handle
    u16be(fork, 0);  // file reference
    u16be(fork, 0);  // attributes
    u16be(fork, kTypeListOffset);
    u16be(fork, map_size);  // name list: empty, at the map's end
    append(fork, type_list);
    append(fork, ref_lists);
    return fork;
}

Bytes pascal_string(std::string_view s) {
    if (s.size() > 255) throw std::invalid_argument("a length-prefixed string holds 255 bytes");
    Bytes b;
    u8(b, static_cast<uint32_t>(s.size()));
    text(b, s);
    return b;
}

Bytes sdml_resource(const std::vector<Sd2Marker> &markers) {
    Bytes b(6, 0);
    u16be(b, static_cast<uint16_t>(markers.size()));
    for (const Sd2Marker &m : markers) {
        u32be(b, 0);
        u32be(b, static_cast<uint32_t>(m.position));
        b.insert(b.end(), 6, 0);
        u16be(b, static_cast<uint16_t>(m.id));
        u32be(b, static_cast<uint32_t>(m.name.size()));
        text(b, m.name);
    }
    return b;
}

Bytes sd2_data(const std::vector<int16_t> &samples) {
    Bytes b;
    for (int16_t s : samples) u16be(b, static_cast<uint16_t>(s));
    return b;
}

// --- the shipped examples ------------------------------------------------------------

// A triangle wave whose amplitude falls linearly to silence.
std::vector<int16_t> example_tone(std::size_t frames, uint32_t period) {
    std::vector<int16_t> out(frames);
    const int64_t peak = 12000;
    const int64_t half = period / 2;
    for (std::size_t n = 0; n < frames; ++n) {
        const int64_t phase = static_cast<int64_t>(n % period);
        // -half..half..-half over one period.
        const int64_t tri = phase < half ? 2 * phase - half : half - 2 * (phase - half);
        const int64_t level = peak * static_cast<int64_t>(frames - n) / static_cast<int64_t>(frames);
        out[n] = static_cast<int16_t>(tri * level / half);
    }
    return out;
}

std::vector<std::pair<std::string, Bytes>> example_files() {
    std::vector<std::pair<std::string, Bytes>> files;

    // 50 ms at 44100 Hz: three labelled cue points and one loop.
    {
        constexpr uint32_t rate = 44100;
        files.emplace_back(
            "markers.wav",
            wave_file({fmt_chunk(rate),
                       cue_chunk({{1, 0}, {2, 441}, {3, 1323}}),
                       adtl_list({{1, "onset"}, {2, "peak"}, {3, "fade"}}),
                       smpl_chunk({{441, 1764}}, rate),
                       wave_data_chunk(example_tone(2205, 100))}));
    }
    // 100 ms at 22050 Hz: three markers, one name ending in a blank as some
    // editors leave it.
    {
        constexpr uint32_t rate = 22050;
        constexpr uint32_t frames = 2205;
        files.emplace_back("markers.aif",
                           aiff_file("AIFF", {comm_chunk(rate, frames),
                                              mark_chunk({{1, 0, "hit"},
                                                          {2, 441, "loop "},
                                                          {3, 1764, "tail"}}),
                                              ssnd_chunk(example_tone(frames, 50))}));
    }
    // 50 ms at 48000 Hz; the rate and the markers live in the resource fork.
    {
        files.emplace_back("markers.sd2", sd2_data(example_tone(2400, 96)));
        files.emplace_back(
            "markers.sd2.rsrc",
            resource_fork({{"STR ", 1001, pascal_string("48000")},
                           {"sdML", 1000, sdml_resource({{1, 480, "downbeat"}, {2, 1920, "upbeat"}})}}));
    }
    return files;
}

bool write_file(const std::string &path, const Bytes &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace examples
