// AppleDouble and AppleSingle (RFC 1740; Apple's AppleSingle/AppleDouble
// Formats, 1990).  Big-endian throughout:
//
//   0   u32  magic: 0x00051607 AppleDouble, 0x00051600 AppleSingle
//   4   u32  version: 0x00010000 or 0x00020000
//   8   16   filler (version 1 names the home file system here; ignored)
//   24  u16  number of entries
//   26  12×n entries: u32 id, u32 offset, u32 length (offset from the start
//            of the file)
//
// Entry ids used here: 2 the resource fork, 9 the Finder info (32 bytes,
// beginning with the file type and creator).  Every other entry, the data
// fork of an AppleSingle file included, is ignored.  macOS's "._" sidecars
// stretch the Finder info entry over extended-attribute data that follows
// the 32 bytes; only the first four bytes are read.  An entry whose range
// runs past the end of the sidecar makes the whole sidecar unusable rather
// than partly trusted.
#include "apple_double.hpp"

#include "byte_cursor.h"

namespace fileservices {

namespace {
constexpr uint32_t kAppleDoubleMagic = 0x00051607;
constexpr uint32_t kAppleSingleMagic = 0x00051600;
constexpr uint32_t kEntryResourceFork = 2;
constexpr uint32_t kEntryFinderInfo = 9;
constexpr std::size_t kHeaderSize = 26;
constexpr std::size_t kEntrySize = 12;
}  // namespace

std::optional<AppleDoubleEntries> parse_apple_double(std::span<const uint8_t> bytes) {
    bytes::Cursor c(bytes);
    auto magic = c.u32be();
    auto version = c.u32be();
    if (!magic || (*magic != kAppleDoubleMagic && *magic != kAppleSingleMagic)) return std::nullopt;
    if (!version || (*version != 0x00010000 && *version != 0x00020000)) return std::nullopt;
    if (!c.skip(16)) return std::nullopt;
    auto count = c.u16be();
    if (!count || *count > (bytes.size() - kHeaderSize) / kEntrySize) return std::nullopt;

    AppleDoubleEntries out;
    for (uint16_t i = 0; i < *count; ++i) {
        auto id = c.u32be();
        auto offset = c.u32be();
        auto length = c.u32be();
        if (!id || !offset || !length) return std::nullopt;
        if (*offset > bytes.size() || *length > bytes.size() - *offset) return std::nullopt;
        auto range = bytes.subspan(*offset, *length);
        if (*id == kEntryResourceFork && out.resource_fork.empty()) out.resource_fork = range;
        if (*id == kEntryFinderInfo && out.finder_info.empty()) out.finder_info = range;
    }
    return out;
}

std::optional<uint32_t> finder_type(const AppleDoubleEntries &entries) {
    bytes::Cursor c(entries.finder_info);
    auto type = c.fourcc();
    if (!type || *type == 0 || *type == 0x20202020) return std::nullopt;
    return type;
}

std::vector<std::string> sidecar_paths(const std::string &folder, const std::string &name) {
    return {folder + "/._" + name, folder + "/.AppleDouble/" + name};
}

}  // namespace fileservices
