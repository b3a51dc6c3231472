// AIFF and AIFC (Apple, Audio Interchange File Format 1.3, and its AIFF-C
// draft of 1991).  Big-endian throughout.
//
//   FORM header: "FORM", u32 size of what follows, form type "AIFF"/"AIFC".
//   Chunks follow back to back: u32 id, u32 size, size bytes of data, and a
//   pad byte after data of odd size that the size does not count.
//   COMM: u16 channels, u32 frames, u16 sample bits, 80-bit extended sample
//         rate; AIFC adds u32 compression type and a compression name.
//   MARK: u16 marker count, then per marker u16 id, u32 position in frames,
//         and a Pascal name (length byte, text) padded to an even length.
//
// What is read: COMM for the format, MARK copied whole for the caller; every
// other chunk, the sound data included, is stepped over unread.  The FORM
// size is not trusted beyond the end of the file (writers that stopped
// early leave it too big), and a chunk running past the end ends the walk
// unless it is one of the two read here, which makes the file malformed.
// The marker chunk is copied as the file has it, whatever its count
// promises: a reader of the copy walks it bounded by the copy's size and
// stops after the last whole marker, so a count larger than the chunk holds
// costs only the markers that are not there.
#include "aiff_info.hpp"

#include <array>
#include <cmath>

#include "byte_cursor.h"

namespace fileservices {

namespace {

constexpr std::size_t kCommMinSize = 18;
constexpr std::size_t kAifcCommMinSize = 22;

}  // namespace

std::optional<int32_t> extended_to_rate(std::span<const uint8_t, 10> bytes) {
    bytes::Cursor c(bytes);
    const uint16_t sign_exp = *c.u16be();
    const uint64_t mantissa = *c.u64be();
    const bool negative = (sign_exp & 0x8000) != 0;
    const int exponent = sign_exp & 0x7FFF;
    if (exponent == 0x7FFF) return std::nullopt;  // infinity or NaN

    // value = mantissa × 2^(exponent − 16383 − 63), rounded: work in 128
    // bits so that adding half an ulp of the result never overflows.
    const int shift = 16383 + 63 - exponent;  // right shift of the mantissa
    unsigned __int128 magnitude = 0;
    if (shift <= 0) {
        if (mantissa == 0) return 0;
        if (-shift > 32) return std::nullopt;  // at least 2^63 × 2^33
        magnitude = static_cast<unsigned __int128>(mantissa) << -shift;
    } else if (shift <= 64) {
        const unsigned __int128 m = mantissa;
        magnitude = (m + (static_cast<unsigned __int128>(1) << (shift - 1))) >> shift;
    } else {
        magnitude = 0;  // below one half
    }
    const unsigned __int128 limit = negative ? 2147483648u : 2147483647u;
    if (magnitude > limit) return std::nullopt;
    const auto m64 = static_cast<int64_t>(magnitude);
    return static_cast<int32_t>(negative ? -m64 : m64);
}

AiffStatus read_aiff_info(const ByteSource &src, AiffInfo &info) {
    std::array<uint8_t, 12> head{};
    if (!src.read_at(0, head)) return AiffStatus::NotAiff;
    bytes::Cursor h(head);
    const uint32_t id = *h.fourcc();
    const uint32_t form_size = *h.u32be();
    const uint32_t form = *h.fourcc();
    if (id != bytes::fourcc("FORM") || (form != bytes::fourcc("AIFF") && form != bytes::fourcc("AIFC")))
        return AiffStatus::NotAiff;

    const uint64_t end = std::min<uint64_t>(src.size(), uint64_t{form_size} + 8);
    AiffInfo out;
    out.form = form;
    out.compression = bytes::fourcc("NONE");
    bool have_comm = false;
    bool have_mark = false;
    uint64_t pos = 12;
    while (end >= 8 && pos <= end - 8) {
        std::array<uint8_t, 8> ch{};
        if (!src.read_at(pos, ch)) return AiffStatus::Unreadable;
        bytes::Cursor c(ch);
        const uint32_t chunk = *c.fourcc();
        const uint32_t size = *c.u32be();
        const uint64_t data = pos + 8;
        const bool fits = size <= end - data;
        if (chunk == bytes::fourcc("COMM") && !have_comm) {
            const std::size_t need = form == bytes::fourcc("AIFC") ? kAifcCommMinSize : kCommMinSize;
            if (!fits || size < need) return AiffStatus::Malformed;
            std::array<uint8_t, kAifcCommMinSize> comm{};
            if (!src.read_at(data, std::span(comm).first(need))) return AiffStatus::Unreadable;
            bytes::Cursor cc(comm);
            out.channels = *cc.u16be();
            out.frames = *cc.u32be();
            out.sample_bits = *cc.u16be();
            auto rate = extended_to_rate(std::span<const uint8_t, 10>(comm.data() + 8, 10));
            if (!rate) return AiffStatus::BadRate;
            out.sample_rate = *rate;
            cc.skip(10);
            if (form == bytes::fourcc("AIFC")) out.compression = *cc.fourcc();
            have_comm = true;
        } else if (chunk == bytes::fourcc("MARK") && !have_mark) {
            if (!fits || size < 2) return AiffStatus::Malformed;
            if (size > kMaxMarkerChunkBytes - 8) return AiffStatus::MarkersTooLarge;
            out.marker_chunk.resize(8 + size);
            std::copy(ch.begin(), ch.end(), out.marker_chunk.begin());
            if (!src.read_at(data, std::span(out.marker_chunk).subspan(8))) return AiffStatus::Unreadable;
            have_mark = true;
        } else if (!fits) {
            break;  // a truncated chunk of no interest: the file ends here
        }
        pos = data + size + (size & 1u);
    }
    if (!have_comm) return AiffStatus::Malformed;
    info = std::move(out);
    return AiffStatus::Ok;
}

AiffStatus read_aiff_info(const std::string &path, AiffInfo &info) {
    auto f = DataFile::open_read(path);
    if (!f) return AiffStatus::Unreadable;
    return read_aiff_info(*f, info);
}

}  // namespace fileservices
