// Mac file metadata as it survives off a Mac: AppleDouble sidecars.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fileservices {

// The two entries of an AppleDouble (or AppleSingle) file the host uses, as
// ranges of the sidecar's bytes.  An entry that is absent is empty.
struct AppleDoubleEntries {
    std::span<const uint8_t> finder_info;
    std::span<const uint8_t> resource_fork;
};

// Parses a sidecar held in memory; nothing when it is not one or when an
// entry lies outside it.
std::optional<AppleDoubleEntries> parse_apple_double(std::span<const uint8_t> bytes);

// The Finder type of the file, from the first four bytes of the Finder info;
// nothing when the entry is absent, too short, or the type is blank.
std::optional<uint32_t> finder_type(const AppleDoubleEntries &entries);

// The places, in the order they are tried, where the sidecar of folder/name
// can be: "._name" beside the file (what macOS writes on foreign volumes and
// into archives), then ".AppleDouble/name" (what file servers write).
std::vector<std::string> sidecar_paths(const std::string &folder, const std::string &name);

}  // namespace fileservices
