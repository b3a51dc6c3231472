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

// What a name stands for where the host looks for it, found in one walk:
// the file locate gives, and, for a caller explaining why there is none,
// what stood in its place.
struct Lookup {
    std::optional<Located> found;  // the first file of a listed type
    // The first file of another type passed over (its type 0 when nothing
    // tells it).
    std::optional<Located> other;
    // The name stands for a folder where the host looked.
    bool folder = false;
};

// Looks a name up as the host does.  A name with a slash names its file
// directly (a relative one from the current folder); a bare name is looked
// for in each of search_folders in turn, and a file of an unlisted type is
// passed over for one further on.  An empty name, one of more than
// kMaxNameChars characters or one holding a NUL is refused: nothing found,
// nothing in its place.  A name that ends in a slash names no file, but
// may name a folder.
Lookup look_up(std::string_view name, const SearchPath &search, std::span<const FourCC> types);

// The file look_up finds.
std::optional<Located> locate(std::string_view name, const SearchPath &search, std::span<const FourCC> types);

// The folders a bare name is looked for in, in the order of the search.
std::vector<std::string> search_folders(const SearchPath &search);

// The path of a file in a folder.
std::string join(const std::string &folder, const std::string &name);

}  // namespace fileservices
