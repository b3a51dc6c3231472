// Writers of small sound files with markers, byte by byte: WAVE (cue
// points, labels, sample loops), AIFF (a marker chunk) and Sound Designer II
// (a raw data fork and a resource fork holding the rate text and the marker
// list).  They make the example files that ship in examples/ and the files
// that the command-line tests build on the spot, so each piece is a
// separate function that a test can leave out, repeat or get wrong on
// purpose.
//
// Every function returns the bytes of one chunk, resource or file; nothing
// here touches the disk but write_file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace examples {

using Bytes = std::vector<uint8_t>;

void append(Bytes &to, const Bytes &from);

// --- WAVE (RIFF, little-endian) ---------------------------------------------

struct CuePoint {
    uint32_t id;
    uint32_t position;  // sample frames
};
struct Label {
    uint32_t cue_id;
    std::string text;  // any bytes but NUL; the writer adds the NUL
};
struct Loop {
    uint32_t start, end;  // sample frames
};

// A chunk: id, 32-bit size, data, and a pad byte when the size is odd.
Bytes riff_chunk(std::string_view id, const Bytes &data);
// The 12-byte RIFF header (with the size of what follows) and the chunks.
Bytes wave_file(const std::vector<Bytes> &chunks);
// A PCM format chunk.
Bytes fmt_chunk(uint32_t rate, uint16_t channels = 1, uint16_t bits = 16);
Bytes cue_chunk(const std::vector<CuePoint> &points);
// A LIST chunk of type adtl with one labl sub-chunk per label, in order.
Bytes adtl_list(const std::vector<Label> &labels);
Bytes smpl_chunk(const std::vector<Loop> &loops, uint32_t rate);
Bytes wave_data_chunk(const std::vector<int16_t> &samples);

// --- AIFF (IFF, big-endian) -------------------------------------------------

struct AiffMarker {
    uint16_t id;
    uint32_t position;  // sample frames
    std::string name;   // at most 255 bytes
};

// A chunk: id, 32-bit size, data, and a pad byte when the size is odd.
Bytes iff_chunk(std::string_view id, const Bytes &data);
// FORM header with the form type (AIFF or AIFC) and the chunks.
Bytes aiff_file(std::string_view form, const std::vector<Bytes> &chunks);
// The rate as the 80-bit extended float a COMM chunk holds.
Bytes extended_rate(uint32_t rate);
// An AIFC file's COMM chunk also names its compression: pass the code
// (NONE for plain samples); an AIFF's has none.
Bytes comm_chunk(uint32_t rate, uint32_t frames, uint16_t channels = 1, uint16_t bits = 16,
                 std::string_view compression = {});
Bytes mark_chunk(const std::vector<AiffMarker> &markers);
Bytes ssnd_chunk(const std::vector<int16_t> &samples);

// --- Sound Designer II --------------------------------------------------------

struct Resource {
    std::string_view type;  // four characters
    int16_t id;
    Bytes data;
};
struct Sd2Marker {
    int16_t id;
    int32_t position;  // sample frames
    std::string name;
};

// A raw resource fork (as a ".rsrc" file holds it) with the resources, in
// the order given; resources of one type must be given together.
Bytes resource_fork(const std::vector<Resource> &resources);
// A STR  resource: a length byte and the text.
Bytes pascal_string(std::string_view text);
// An sdML resource: a 6-byte header, the count, then the markers.
Bytes sdml_resource(const std::vector<Sd2Marker> &markers);
// A data fork: the samples as 16-bit big-endian integers, nothing else.
Bytes sd2_data(const std::vector<int16_t> &samples);

// --- the shipped examples ----------------------------------------------------

// A short decaying tone, in integers only, so that every machine writes
// the same bytes.
std::vector<int16_t> example_tone(std::size_t frames, uint32_t period);

// The files of examples/, by name.
std::vector<std::pair<std::string, Bytes>> example_files();

bool write_file(const std::string &path, const Bytes &bytes);

}  // namespace examples
