// Where each format keeps its rate:
//
// AIFF, AIFC  the COMM chunk's 80-bit float, rounded, exactly as the host's
//             sndfile_info hands it to brindle~ (the same reader).
// WAVE        bytes 4 to 7 of a fmt chunk's data, u32 little-endian.  The
//             chunks are walked from byte 12 (past "RIFF", the size and
//             "WAVE"), each id and u32le size followed by its data and a pad
//             byte after odd-sized data.  A fmt chunk too small to hold the
//             rate is passed over, and when a file has several the last one
//             counts, as brindle~'s walk overwrites the rate with each.  A
//             file without one states no rate; brindle~ then divides by 0.
//             The walk stops at the end of the file or at a chunk whose
//             data would run past it.
// Sd2f        resource STR  1001 of the resource fork (found where the host
//             finds forks): a length byte and a decimal number, read as a
//             single-precision float with the fraction cut off, as brindle~
//             reads it.  Text without a number states no rate.
//
// The audio data is never read: a multi-gigabyte WAVE costs a few reads.
#include "stated_rate.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "aiff_info.hpp"
#include "byte_cursor.h"
#include "data_file.hpp"
#include "resource_fork.hpp"
#include "search_path.hpp"

namespace maxhost {
namespace {

namespace fs = fileservices;

std::optional<int32_t> wave_rate(const std::string &path) {
    auto file = fs::DataFile::open_read(path);
    if (!file) return std::nullopt;
    const uint64_t end = file->size();
    std::optional<int32_t> rate;
    uint64_t at = 12;
    while (end >= 8 && at <= end - 8) {
        uint8_t header[8];
        if (!file->read_at(at, header)) break;
        bytes::Cursor h(header);
        const uint32_t id = *h.fourcc();
        const uint32_t size = *h.u32le();
        at += 8;
        if (id == bytes::fourcc("fmt ") && size >= 8) {
            uint8_t field[4];
            if (!file->read_at(at + 4, field)) break;
            rate = static_cast<int32_t>(*bytes::Cursor(field).u32le());
        }
        const uint64_t step = uint64_t{size} + (size & 1);
        if (step > end - at) break;
        at += step;
    }
    return rate;
}

std::optional<int32_t> sd2_rate(const std::string &folder, const std::string &name) {
    std::vector<uint8_t> fork;
    if (fs::read_resource_fork(folder, name, fork) != fs::kResOk) return std::nullopt;
    std::vector<fs::ResourceEntry> entries;
    if (fs::parse_resource_fork(fork, entries) != fs::kResOk) return std::nullopt;
    for (const fs::ResourceEntry &e : entries) {
        if (e.type != bytes::fourcc("STR ") || e.id != 1001) continue;
        bytes::Cursor c(std::span<const uint8_t>(fork).subspan(e.data_offset, e.data_size));
        const auto length = c.u8();
        if (!length) return std::nullopt;
        const auto chars = c.take(std::min<std::size_t>(*length, c.remaining()));
        char text[256];
        std::memcpy(text, chars->data(), chars->size());
        text[chars->size()] = '\0';
        char *stop = nullptr;
        const float value = std::strtof(text, &stop);
        if (stop == text) return std::nullopt;
        // Both bounds are exact floats; NaN fails the test too.
        if (!(value >= -2147483648.0f && value < 2147483648.0f)) return std::nullopt;
        return static_cast<int32_t>(value);
    }
    return std::nullopt;
}

}  // namespace

std::optional<int32_t> stated_rate(const std::string &folder, const std::string &name,
                                   uint32_t type) {
    if (type == bytes::fourcc("AIFF") || type == bytes::fourcc("AIFC")) {
        fs::AiffInfo info;
        if (fs::read_aiff_info(fs::join(folder, name), info) != fs::AiffStatus::Ok)
            return std::nullopt;
        return info.sample_rate;
    }
    if (type == bytes::fourcc("WAVE")) return wave_rate(fs::join(folder, name));
    if (type == bytes::fourcc("Sd2f")) return sd2_rate(folder, name);
    return std::nullopt;
}

}  // namespace maxhost
