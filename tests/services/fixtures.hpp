// Fixture writers for the file-service tests: a temporary folder, and byte
// builders for the formats the services read, written from the formats'
// descriptions rather than from the readers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace svc_test {

namespace fsys = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Where a real file made by another program is, in the repository.
inline std::optional<fsys::path> sample(const std::string &name) {
#ifdef MAXHOST_SAMPLES_DIR
    fsys::path p = fsys::path(MAXHOST_SAMPLES_DIR) / name;
    if (fsys::exists(p)) return p;
#endif
    (void)name;
    return std::nullopt;
}

#define REQUIRE_SAMPLE(var, name)                                        \
    auto var##_opt = ::svc_test::sample(name);                           \
    if (!var##_opt) FAIL() << "sample " << (name) << " not found";       \
    const ::svc_test::fsys::path var = *var##_opt

// A fresh folder under the system's temporary folder, removed afterwards.
struct TempDir {
    fsys::path path;
    TempDir() {
        std::string tmpl = (fsys::temp_directory_path() / "svc-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
        path = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        fsys::remove_all(path, ec);
    }
    std::string str() const { return path.string(); }
    fsys::path write(const std::string &rel, const Bytes &bytes) const {
        fsys::path p = path / rel;
        fsys::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p;
    }
};

// Switches the current folder for a test's duration.
struct InFolder {
    fsys::path saved = fsys::current_path();
    explicit InFolder(const fsys::path &p) { fsys::current_path(p); }
    ~InFolder() { fsys::current_path(saved); }
};

// --- byte builders -------------------------------------------------------------

struct Builder {
    Bytes b;
    Builder &u8(unsigned v) { b.push_back(static_cast<uint8_t>(v)); return *this; }
    Builder &be16(unsigned v) { return u8(v >> 8).u8(v); }
    Builder &be24(uint32_t v) { return u8(v >> 16).u8(v >> 8).u8(v); }
    Builder &be32(uint32_t v) { return u8(v >> 24).u8(v >> 16).u8(v >> 8).u8(v); }
    Builder &le32(uint32_t v) { return u8(v).u8(v >> 8).u8(v >> 16).u8(v >> 24); }
    Builder &id(const char *s) { for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(s[i])); return *this; }
    Builder &raw(const Bytes &x) { b.insert(b.end(), x.begin(), x.end()); return *this; }
    Builder &text(const std::string &s) { b.insert(b.end(), s.begin(), s.end()); return *this; }
    Builder &zeros(std::size_t n) { b.insert(b.end(), n, 0); return *this; }
    // A Pascal string padded to an even total, as AIFF markers store names.
    Builder &pstring_even(const std::string &s) {
        u8(static_cast<unsigned>(s.size())).text(s);
        if (s.size() % 2 == 0) u8(0);
        return *this;
    }
};

// An IFF chunk: id, big-endian size, data, pad byte after odd data.
inline Bytes chunk(const char *id, const Bytes &data, std::optional<uint32_t> stated_size = {}) {
    Builder c;
    c.id(id).be32(stated_size ? *stated_size : static_cast<uint32_t>(data.size())).raw(data);
    if (data.size() % 2) c.u8(0);
    return c.b;
}

// 80-bit extended encodings of whole rates.
inline Bytes extended_of(uint32_t rate) {
    Builder e;
    if (rate == 0) return e.zeros(10).b;
    int top = 31;
    while (!(rate >> top)) --top;
    e.be16(static_cast<unsigned>(16383 + top));
    const uint64_t mant = static_cast<uint64_t>(rate) << (63 - top);
    e.be32(static_cast<uint32_t>(mant >> 32)).be32(static_cast<uint32_t>(mant));
    return e.b;
}

inline Bytes comm(uint16_t channels, uint32_t frames, uint16_t bits, const Bytes &rate,
                  const char *compression = nullptr) {
    Builder c;
    c.be16(channels).be32(frames).be16(bits).raw(rate);
    if (compression) c.id(compression).pstring_even("not compressed");
    return c.b;
}

struct Marker {
    uint16_t id;
    uint32_t pos;
    std::string name;
};

inline Bytes mark_data(const std::vector<Marker> &markers) {
    Builder m;
    m.be16(static_cast<unsigned>(markers.size()));
    for (const auto &mk : markers) m.be16(mk.id).be32(mk.pos).pstring_even(mk.name);
    return m.b;
}

inline Bytes form(const char *type, const std::vector<Bytes> &chunks) {
    Builder body;
    body.id(type);
    for (const auto &c : chunks) body.raw(c);
    Builder f;
    f.id("FORM").be32(static_cast<uint32_t>(body.b.size())).raw(body.b);
    return f.b;
}

inline Bytes wave(const std::vector<Bytes> &chunks) {
    Builder body;
    body.id("WAVE");
    for (const auto &c : chunks) body.raw(c);
    Builder f;
    f.id("RIFF").le32(static_cast<uint32_t>(body.b.size())).raw(body.b);
    return f.b;
}

// A resource fork laid out as the Mac writes one: header, 240 bytes of
// application space, the data, then the map with its type list, reference
// lists and names.
struct Resource {
    std::string type;  // four characters
    int16_t id;
    Bytes data;
    std::optional<std::string> name;
};

inline Bytes resource_fork(const std::vector<Resource> &resources) {
    std::map<std::string, std::vector<const Resource *>> by_type;
    for (const auto &r : resources) by_type[r.type].push_back(&r);

    Builder data;
    std::map<const Resource *, uint32_t> data_off;
    for (const auto &r : resources) {
        data_off[&r] = static_cast<uint32_t>(data.b.size());
        data.be32(static_cast<uint32_t>(r.data.size())).raw(r.data);
    }
    Builder names;
    std::map<const Resource *, unsigned> name_off;
    for (const auto &r : resources) {
        if (!r.name) continue;
        name_off[&r] = static_cast<unsigned>(names.b.size());
        names.u8(static_cast<unsigned>(r.name->size())).text(*r.name);
    }
    const std::size_t type_list_len = 2 + 8 * by_type.size();
    Builder types, refs;
    types.be16(by_type.empty() ? 0xFFFF : static_cast<unsigned>(by_type.size() - 1));
    for (const auto &[t, rs] : by_type) {
        types.id(t.c_str()).be16(static_cast<unsigned>(rs.size() - 1))
            .be16(static_cast<unsigned>(type_list_len + refs.b.size()));
        for (const Resource *r : rs) {
            refs.be16(static_cast<uint16_t>(r->id))
                .be16(r->name ? name_off[r] : 0xFFFF)
                .u8(0)
                .be24(data_off[r])
                .be32(0);
        }
    }
    const uint32_t data_start = 256;
    const uint32_t map_start = data_start + static_cast<uint32_t>(data.b.size());
    Builder map;
    map.zeros(24).be16(28).be16(static_cast<unsigned>(28 + type_list_len + refs.b.size()));
    map.raw(types.b).raw(refs.b).raw(names.b);

    Builder fork;
    fork.be32(data_start).be32(map_start).be32(static_cast<uint32_t>(data.b.size()))
        .be32(static_cast<uint32_t>(map.b.size()));
    fork.zeros(data_start - 16).raw(data.b).raw(map.b);
    return fork.b;
}

// An AppleDouble sidecar with the given entries (id → bytes).
inline Bytes apple_double(const std::vector<std::pair<uint32_t, Bytes>> &entries) {
    Builder h;
    h.be32(0x00051607).be32(0x00020000).zeros(16).be16(static_cast<unsigned>(entries.size()));
    uint32_t off = static_cast<uint32_t>(26 + 12 * entries.size());
    for (const auto &[id, bytes] : entries) {
        h.be32(id).be32(off).be32(static_cast<uint32_t>(bytes.size()));
        off += static_cast<uint32_t>(bytes.size());
    }
    for (const auto &[id, bytes] : entries) h.raw(bytes);
    return h.b;
}

// Finder info of 32 bytes with the given type and creator.
inline Bytes finder_info(const char *type, const char *creator = "????") {
    return Builder{}.id(type).id(creator).zeros(24).b;
}

}  // namespace svc_test
