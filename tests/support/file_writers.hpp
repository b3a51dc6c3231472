// Writers of the files the readers take in, byte by byte: WAVE (cue points,
// labels, sample loops), AIFF and AIFC (COMM and MARK chunks), resource
// forks with typed resources, Sound Designer II (a raw data fork and the
// rate text and marker list in the fork) and AppleDouble sidecars.  The
// tests, the fuzz seeds and the example files in examples/ are all made
// with them.
//
// Written from the formats' descriptions rather than from the readers, and
// in pieces: each chunk, resource and file is a separate function, so that a
// test can leave one out, repeat it, put it in any order, or get it wrong on
// purpose (a count that lies, a size past the end, a missing pad byte).
// Nothing here refuses what it is asked to write; nothing touches the disk
// but write_file.
//
// The formats as written here:
//
// WAVE: "RIFF", u32le size of the rest, "WAVE", then chunks (id, u32le
//   size, data, a pad byte after odd-sized data).
//   fmt   u16 format 1 (PCM), u16 channels, u32 rate, u32 bytes per second,
//         u16 block align, u16 bits per sample.
//   cue   u32 count, then per point: u32 id, u32 position, "data", u32 chunk
//         start 0, u32 block start 0, u32 sample offset.
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
//   each resource), then the map: 16 bytes for a copy of the header, 8
//   bytes of Mac in-memory fields, u16 offset of the type list (28), u16
//   offset of the name list; the type list (u16 types - 1; per type the
//   code, u16 resources - 1, u16 offset of its reference list from the type
//   list); the reference lists (per resource 12 bytes: i16 id, u16 offset
//   of its name in the name list or 0xFFFF for none, u8 attributes, u24
//   offset of its length word in the data, u32 handle 0); the name list
//   (per name a length byte and the text).
// sdML: 6 header bytes (zero), i16 count, then per marker 20 bytes and the
//   name: 4 unused bytes, i32 position, 6 zero bytes, i16 id, i32 name
//   length, the name without terminator or pad.
// AppleDouble: u32 magic 0x00051607, u32 version 0x00020000, 16 filler
//   bytes, u16 entry count, per entry u32 id, u32 offset, u32 length, then
//   the entries' bytes (id 9 Finder info, id 2 the resource fork).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace writers {

// A byte buffer that appends fields, each in the byte order its name says.
// It is a vector, so a reader taking one takes this.
struct Bytes : std::vector<uint8_t> {
    using std::vector<uint8_t>::vector;

    Bytes &u8(uint32_t v) {
        push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Bytes &u16be(uint32_t v) { return u8(v >> 8).u8(v); }
    Bytes &u24be(uint32_t v) { return u8(v >> 16).u8(v >> 8).u8(v); }
    Bytes &u32be(uint32_t v) { return u8(v >> 24).u8(v >> 16).u8(v >> 8).u8(v); }
    Bytes &u16le(uint32_t v) { return u8(v).u8(v >> 8); }
    Bytes &u32le(uint32_t v) { return u8(v).u8(v >> 8).u8(v >> 16).u8(v >> 24); }
    Bytes &text(std::string_view s) {
        insert(end(), s.begin(), s.end());
        return *this;
    }
    // A chunk id or type code: exactly four characters, or the program stops.
    Bytes &fourcc(std::string_view code);
    Bytes &zeros(std::size_t n) {
        insert(end(), n, 0);
        return *this;
    }
    Bytes &append(const std::vector<uint8_t> &o) {
        insert(end(), o.begin(), o.end());
        return *this;
    }
    // A length byte and the text; a text over 255 bytes keeps its low
    // length byte, which lets a test write a lying one.
    Bytes &pstring(std::string_view s) { return u8(static_cast<uint32_t>(s.size())).text(s); }
    // The same padded to an even total, as AIFF stores names.
    Bytes &pstring_even(std::string_view s) {
        pstring(s);
        return s.size() % 2 == 0 ? u8(0) : *this;
    }
};

// --- AIFF / AIFC (IFF, big-endian) ---------------------------------------------

struct AiffMarker {
    uint16_t id;
    uint32_t position;  // sample frames
    std::string name;
};

// A chunk: id, 32-bit size (the data's, unless stated), data, and a pad
// byte when the data's size is odd.
Bytes iff_chunk(std::string_view id, const Bytes &data, std::optional<uint32_t> stated_size = {});
// FORM header with the form type (AIFF, AIFC or another) and the chunks.
Bytes form_file(std::string_view type, const std::vector<Bytes> &chunks);
// A whole rate as the 80-bit extended float a COMM chunk holds.
Bytes extended_rate(uint32_t rate);
// COMM data with the rate's ten bytes as given; an AIFC file's also names
// its compression: pass the code (NONE for plain samples).
Bytes comm_data(uint16_t channels, uint32_t frames, uint16_t bits, const Bytes &rate,
                std::string_view compression = {});
Bytes comm_chunk(uint32_t rate, uint32_t frames, uint16_t channels = 1, uint16_t bits = 16,
                 std::string_view compression = {});
// MARK data and chunk; count overrides the number stored.
Bytes mark_data(const std::vector<AiffMarker> &markers, std::optional<uint16_t> count = {});
Bytes mark_chunk(const std::vector<AiffMarker> &markers, std::optional<uint16_t> count = {});
Bytes ssnd_chunk(const std::vector<int16_t> &samples);

// --- WAVE (RIFF, little-endian) ------------------------------------------------

struct CuePoint {
    uint32_t id;
    uint32_t position;  // sample frames
    // Unless given, apart from the position, so that a reader taking the
    // wrong field shows; a file meant to look like any other gives it.
    uint32_t sample_offset = position + 7;
};
struct Label {
    uint32_t cue_id;
    std::string text;  // the writer adds the NUL
};
struct Loop {
    uint32_t start, end;  // sample frames
};
// The fields of a smpl chunk before its loops that no reader here uses;
// not zero unless given, so that a reader taking one for a count shows.
struct SamplerHeader {
    uint32_t manufacturer = 1;
    uint32_t product = 2;
    uint32_t period_ns = 22675;  // 44100 Hz
};

// A chunk: id, 32-bit size, data, and the pad byte an odd size asks for
// (unless told to leave it out).
Bytes riff_chunk(std::string_view id, const Bytes &data, bool pad = true);
// The 12-byte RIFF header (with the size of what follows) and the chunks.
Bytes wave_file(const std::vector<Bytes> &chunks);
// PCM format data and chunk.
Bytes fmt_data(uint32_t rate, uint16_t channels = 1, uint16_t bits = 16);
Bytes fmt_chunk(uint32_t rate, uint16_t channels = 1, uint16_t bits = 16);
// Cue data and chunk; count overrides the number stored.
Bytes cue_data(const std::vector<CuePoint> &points, std::optional<int64_t> count = {});
Bytes cue_chunk(const std::vector<CuePoint> &points, std::optional<int64_t> count = {});
// One labl sub-chunk.
Bytes labl_chunk(const Label &label);
// adtl list data (the list type included) with one labl per label, in
// order, then the extra sub-chunks; and the LIST chunk holding it.
Bytes adtl_data(const std::vector<Label> &labels, const Bytes &extra = {});
Bytes adtl_list(const std::vector<Label> &labels, const Bytes &extra = {});
// Sample-loop data and chunk; count overrides the number stored.
Bytes smpl_data(const std::vector<Loop> &loops, std::optional<int64_t> count = {},
                const SamplerHeader &header = {});
Bytes smpl_chunk(const std::vector<Loop> &loops, std::optional<int64_t> count = {},
                 const SamplerHeader &header = {});
Bytes wave_data_chunk(const std::vector<int16_t> &samples);

// --- resource forks, Sound Designer II, AppleDouble ----------------------------

struct Resource {
    std::string type;  // four characters
    int16_t id;
    Bytes data;
    std::optional<std::string> name = {};
};
struct Sd2Marker {
    int32_t position;  // sample frames
    int16_t id;
    std::string name;
    std::optional<int32_t> length = {};  // the stored length when not the name's own
    // Not zero unless given, so that a reader taking it for the position
    // shows; the example files give 0.
    uint32_t unused = 0xAAAAAAAA;
};

// A raw resource fork (as a ".rsrc" file or an AppleDouble entry holds it)
// with the resources' data in the order given, grouped by type in the map
// in the order each type first appears.  The map's copy of the header is
// left zero, as readers skip it, unless asked for.
Bytes resource_fork(const std::vector<Resource> &resources, bool copy_header_into_map = false);
// A STR  resource: a length byte and the text.
Bytes pascal_string(std::string_view text);
// An sdML resource; count overrides the number stored.
Bytes sdml_data(const std::vector<Sd2Marker> &markers, std::optional<int16_t> count = {});
// An SD2 data fork: the samples as 16-bit big-endian integers, nothing else.
Bytes sd2_data(const std::vector<int16_t> &samples);
// An AppleDouble sidecar with the given entries (id → bytes).
Bytes apple_double(const std::vector<std::pair<uint32_t, Bytes>> &entries);
// Finder info of 32 bytes with the given type and creator.
Bytes finder_info(std::string_view type, std::string_view creator = "????");

bool write_file(const std::string &path, const std::vector<uint8_t> &bytes);

}  // namespace writers
