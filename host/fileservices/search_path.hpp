// Finding files: path ids, type codes and the search path.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fileservices {

using FourCC = uint32_t;

// The longest file name a plug-in's 256-byte name buffer holds.
constexpr std::size_t kMaxNameChars = 255;

// Path ids: short integers the host hands out, one per folder, for the life
// of the table.  Ids start at 1; 0 is never handed out.
class PathTable {
public:
    // The folder's id, handing out the next one the first time; 0 when all
    // 32767 are taken.
    int16_t id_for(const std::string &folder);
    // The folder an id stands for, or null.
    const std::string *folder(int16_t id) const;

private:
    std::map<std::string, int16_t> ids_;
    std::vector<std::string> folders_;  // folders_[id - 1]
};

// The type code the content gives: the form type of a FORM (AIFF, AIFC, …)
// or RIFF (WAVE, …) container; nothing for content without such a header.
std::optional<FourCC> type_from_header(std::span<const uint8_t> first_bytes);
// The type code the extension gives (.wav, .aif, .aiff, .aifc, .sd2, in any
// case); nothing for other extensions.
std::optional<FourCC> type_from_extension(std::string_view name);
// A file's type as a user would expect it: from its content where the format
// has a header, else from the Finder type in an AppleDouble sidecar, else
// from its extension; 0 when none of these tells.
FourCC file_type(const std::string &folder, const std::string &name);

// Where bare names are looked for, in this order: dirs, then script_dir
// (when set), then the current folder.
struct SearchPath {
    std::vector<std::string> dirs;
    std::string script_dir;
};

struct Located {
    std::string folder;  // absolute, without a trailing slash
    std::string name;    // the file's own name within folder
    FourCC type;
};

// Finds a file among files of the listed types.  A name with a slash names
// its file directly (a relative one from the current folder); a bare name
// is looked for along the search path, and a file of an unlisted type is
// passed over for one further on.  An empty name, or one of more than
// kMaxNameChars characters, is refused.
std::optional<Located> locate(std::string_view name, const SearchPath &search, std::span<const FourCC> types);

// The path of a file in a folder.
std::string join(const std::string &folder, const std::string &name);

}  // namespace fileservices
