// What the host tells about an AIFF or AIFC file: its format from the COMM
// chunk and a copy of its MARK chunk.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "data_file.hpp"

namespace fileservices {

// A marker chunk copy must fit a getbytes block, header included.
constexpr std::size_t kMaxMarkerChunkBytes = 32767;

struct AiffInfo {
    uint32_t form = 0;  // AIFF or AIFC
    int32_t sample_rate = 0;
    uint16_t channels = 0;
    uint32_t frames = 0;
    uint16_t sample_bits = 0;
    uint32_t compression = 0;  // AIFC only; NONE for AIFF
    // The MARK chunk as the file holds it: id, size, then the data (no pad
    // byte).  Empty when the file has no marker chunk.
    std::vector<uint8_t> marker_chunk;
};

enum class AiffStatus {
    Ok,
    NotAiff,          // no FORM header with an AIFF or AIFC form type
    Malformed,        // no COMM chunk, a short one, or a chunk past the end
    BadRate,          // a rate that is not finite or does not fit 32 bits
    MarkersTooLarge,  // a marker chunk bigger than a getbytes block
    Unreadable,       // the file could not be opened or read
};

// Reads the chunks of interest from any source; only COMM and MARK are read,
// the sound data is stepped over.  On any status but Ok, info is untouched.
AiffStatus read_aiff_info(const ByteSource &src, AiffInfo &info);
AiffStatus read_aiff_info(const std::string &path, AiffInfo &info);

// The 80-bit IEEE 754 extended float of a COMM chunk, rounded to the
// nearest integer (halves away from zero); nothing when it is not finite or
// the rounded value does not fit a signed 32-bit integer.
std::optional<int32_t> extended_to_rate(std::span<const uint8_t, 10> bytes);

}  // namespace fileservices
