#include "file_writers.hpp"

#include <cstdio>
#include <cstdlib>

namespace writers {

Bytes &Bytes::fourcc(std::string_view code) {
    if (code.size() != 4) {
        // A test asking for this has a typo, not a case to write.
        std::fprintf(stderr, "file_writers: \"%.*s\" is not four characters\n", static_cast<int>(code.size()),
                     code.data());
        std::abort();
    }
    return text(code);
}

namespace {

// A header (an id and a size in the given byte order) and a body.
Bytes container(std::string_view id, std::string_view type, const std::vector<Bytes> &chunks,
                bool big_endian) {
    Bytes body;
    body.fourcc(type);
    for (const Bytes &c : chunks) body.append(c);
    Bytes f;
    f.fourcc(id);
    const auto size = static_cast<uint32_t>(body.size());
    if (big_endian)
        f.u32be(size);
    else
        f.u32le(size);
    return f.append(body);
}

uint32_t stored_count(std::optional<int64_t> count, std::size_t actual) {
    return static_cast<uint32_t>(count.value_or(static_cast<int64_t>(actual)));
}

}  // namespace

// --- AIFF / AIFC ---------------------------------------------------------------

Bytes iff_chunk(std::string_view id, const Bytes &data, std::optional<uint32_t> stated_size) {
    Bytes c;
    c.fourcc(id).u32be(stated_size.value_or(static_cast<uint32_t>(data.size()))).append(data);
    if (data.size() % 2) c.u8(0);
    return c;
}

Bytes form_file(std::string_view type, const std::vector<Bytes> &chunks) {
    return container("FORM", type, chunks, true);
}

// An integer is exact in the 64-bit mantissa: shift its top bit to bit 63
// and count the shift into the exponent.
Bytes extended_rate(uint32_t rate) {
    Bytes e;
    if (rate == 0) return e.zeros(10);
    int top = 31;
    while (!(rate >> top)) --top;
    const uint64_t mantissa = static_cast<uint64_t>(rate) << (63 - top);
    return e.u16be(static_cast<uint32_t>(16383 + top))
        .u32be(static_cast<uint32_t>(mantissa >> 32))
        .u32be(static_cast<uint32_t>(mantissa));
}

Bytes comm_data(uint16_t channels, uint32_t frames, uint16_t bits, const Bytes &rate,
                std::string_view compression) {
    Bytes d;
    d.u16be(channels).u32be(frames).u16be(bits).append(rate);
    if (!compression.empty()) d.fourcc(compression).pstring_even("not compressed");
    return d;
}

Bytes comm_chunk(uint32_t rate, uint32_t frames, uint16_t channels, uint16_t bits,
                 std::string_view compression) {
    return iff_chunk("COMM", comm_data(channels, frames, bits, extended_rate(rate), compression));
}

Bytes mark_data(const std::vector<AiffMarker> &markers, std::optional<uint16_t> count) {
    Bytes d;
    d.u16be(count.value_or(static_cast<uint16_t>(markers.size())));
    for (const AiffMarker &m : markers) d.u16be(m.id).u32be(m.position).pstring_even(m.name);
    return d;
}

Bytes mark_chunk(const std::vector<AiffMarker> &markers, std::optional<uint16_t> count) {
    return iff_chunk("MARK", mark_data(markers, count));
}

Bytes ssnd_chunk(const std::vector<int16_t> &samples) {
    Bytes d;
    d.u32be(0).u32be(0);
    for (int16_t s : samples) d.u16be(static_cast<uint16_t>(s));
    return iff_chunk("SSND", d);
}

// --- WAVE ----------------------------------------------------------------------

Bytes riff_chunk(std::string_view id, const Bytes &data, bool pad) {
    Bytes c;
    c.fourcc(id).u32le(static_cast<uint32_t>(data.size())).append(data);
    if (pad && data.size() % 2) c.u8(0);
    return c;
}

Bytes wave_file(const std::vector<Bytes> &chunks) { return container("RIFF", "WAVE", chunks, false); }

Bytes fmt_data(uint32_t rate, uint16_t channels, uint16_t bits) {
    const uint32_t align = channels * ((bits + 7u) / 8u);
    return Bytes{}.u16le(1).u16le(channels).u32le(rate).u32le(rate * align).u16le(align).u16le(bits);
}

Bytes fmt_chunk(uint32_t rate, uint16_t channels, uint16_t bits) {
    return riff_chunk("fmt ", fmt_data(rate, channels, bits));
}

Bytes cue_data(const std::vector<CuePoint> &points, std::optional<int64_t> count) {
    Bytes d;
    d.u32le(stored_count(count, points.size()));
    for (const CuePoint &p : points)
        d.u32le(p.id).u32le(p.position).text("data").u32le(0).u32le(0).u32le(p.sample_offset);
    return d;
}

Bytes cue_chunk(const std::vector<CuePoint> &points, std::optional<int64_t> count) {
    return riff_chunk("cue ", cue_data(points, count));
}

Bytes labl_chunk(const Label &label) {
    return riff_chunk("labl", Bytes{}.u32le(label.cue_id).text(label.text).u8(0));
}

Bytes adtl_data(const std::vector<Label> &labels, const Bytes &extra) {
    Bytes d;
    d.text("adtl");
    for (const Label &l : labels) d.append(labl_chunk(l));
    return d.append(extra);
}

Bytes adtl_list(const std::vector<Label> &labels, const Bytes &extra) {
    return riff_chunk("LIST", adtl_data(labels, extra));
}

Bytes smpl_data(const std::vector<Loop> &loops, std::optional<int64_t> count, const SamplerHeader &header) {
    Bytes d;
    d.u32le(header.manufacturer)
        .u32le(header.product)
        .u32le(header.period_ns)
        .u32le(60)
        .u32le(0)
        .u32le(0)
        .u32le(0);
    d.u32le(stored_count(count, loops.size())).u32le(0);
    for (std::size_t k = 0; k < loops.size(); ++k)
        d.u32le(static_cast<uint32_t>(k))
            .u32le(0)
            .u32le(loops[k].start)
            .u32le(loops[k].end)
            .u32le(0)
            .u32le(0);
    return d;
}

Bytes smpl_chunk(const std::vector<Loop> &loops, std::optional<int64_t> count, const SamplerHeader &header) {
    return riff_chunk("smpl", smpl_data(loops, count, header));
}

Bytes wave_data_chunk(const std::vector<int16_t> &samples) {
    Bytes d;
    for (int16_t s : samples) d.u16le(static_cast<uint16_t>(s));
    return riff_chunk("data", d);
}

// --- resource forks, Sound Designer II, AppleDouble ----------------------------

Bytes resource_fork(const std::vector<Resource> &resources, bool copy_header_into_map) {
    constexpr uint32_t kDataOffset = 256;
    constexpr uint32_t kTypeListOffset = 28;

    // Types in order of first appearance, each with its resources.
    std::vector<std::pair<std::string_view, std::vector<std::size_t>>> types;
    for (std::size_t k = 0; k < resources.size(); ++k) {
        auto t = types.begin();
        while (t != types.end() && t->first != resources[k].type) ++t;
        if (t == types.end()) t = types.insert(t, {resources[k].type, {}});
        t->second.push_back(k);
    }

    Bytes data, names;
    std::vector<uint32_t> data_offsets, name_offsets;
    for (const Resource &r : resources) {
        data_offsets.push_back(static_cast<uint32_t>(data.size()));
        data.u32be(static_cast<uint32_t>(r.data.size())).append(r.data);
        name_offsets.push_back(r.name ? static_cast<uint32_t>(names.size()) : 0xFFFF);
        if (r.name) names.pstring(*r.name);
    }

    const uint32_t type_list_size = 2 + 8 * static_cast<uint32_t>(types.size());
    Bytes type_list, ref_lists;
    type_list.u16be(static_cast<uint32_t>(types.size()) - 1);
    for (const auto &[type, members] : types) {
        type_list.fourcc(type)
            .u16be(static_cast<uint32_t>(members.size()) - 1)
            .u16be(type_list_size + static_cast<uint32_t>(ref_lists.size()));
        for (std::size_t k : members)
            ref_lists.u16be(static_cast<uint16_t>(resources[k].id))
                .u16be(name_offsets[k])
                .u8(0)
                .u24be(data_offsets[k])
                .u32be(0);
    }

    const uint32_t name_list_offset =
        kTypeListOffset + type_list_size + static_cast<uint32_t>(ref_lists.size());
    const uint32_t map_size = name_list_offset + static_cast<uint32_t>(names.size());
    Bytes header;
    header.u32be(kDataOffset)
        .u32be(kDataOffset + static_cast<uint32_t>(data.size()))
        .u32be(static_cast<uint32_t>(data.size()))
        .u32be(map_size);

    Bytes fork = header;
    fork.zeros(kDataOffset - header.size()).append(data);
    if (copy_header_into_map)
        fork.append(header);
    else
        fork.zeros(header.size());
    fork.u32be(0).u16be(0).u16be(0);  // next map handle, file reference, attributes
    fork.u16be(kTypeListOffset).u16be(name_list_offset);
    return fork.append(type_list).append(ref_lists).append(names);
}

Bytes pascal_string(std::string_view text) { return Bytes{}.pstring(text); }

Bytes sdml_data(const std::vector<Sd2Marker> &markers, std::optional<int16_t> count) {
    Bytes r;
    r.zeros(6).u16be(static_cast<uint16_t>(count.value_or(static_cast<int16_t>(markers.size()))));
    for (const Sd2Marker &m : markers) {
        r.u32be(m.unused)
            .u32be(static_cast<uint32_t>(m.position))
            .zeros(6)
            .u16be(static_cast<uint16_t>(m.id));
        r.u32be(static_cast<uint32_t>(m.length.value_or(static_cast<int32_t>(m.name.size())))).text(m.name);
    }
    return r;
}

Bytes sd2_data(const std::vector<int16_t> &samples) {
    Bytes b;
    for (int16_t s : samples) b.u16be(static_cast<uint16_t>(s));
    return b;
}

Bytes apple_double(const std::vector<std::pair<uint32_t, Bytes>> &entries) {
    Bytes h;
    h.u32be(0x00051607).u32be(0x00020000).zeros(16).u16be(static_cast<uint32_t>(entries.size()));
    auto off = static_cast<uint32_t>(26 + 12 * entries.size());
    for (const auto &[id, bytes] : entries) {
        h.u32be(id).u32be(off).u32be(static_cast<uint32_t>(bytes.size()));
        off += static_cast<uint32_t>(bytes.size());
    }
    for (const auto &entry : entries) h.append(entry.second);
    return h;
}

Bytes finder_info(std::string_view type, std::string_view creator) {
    return Bytes{}.fourcc(type).fourcc(creator).zeros(24);
}

bool write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    // An empty vector's data may be null, which fwrite must not be given.
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace writers
