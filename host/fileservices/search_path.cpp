#include "search_path.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "apple_double.hpp"
#include "byte_cursor.h"
#include "data_file.hpp"

namespace fileservices {

namespace {

// Sidecars hold a few hundred bytes of Finder info and, at most, a resource
// fork; anything bigger is not read for a type code.
constexpr uint64_t kMaxSidecarForType = 16u << 20;

std::string absolute_folder(const std::string &folder) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(folder.empty() ? "." : folder, ec);
    if (ec) return folder;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::optional<FourCC> type_from_sidecar(const std::string &folder, const std::string &name) {
    for (const auto &path : sidecar_paths(folder, name)) {
        auto bytes = read_whole(path, kMaxSidecarForType);
        if (!bytes) continue;
        auto entries = parse_apple_double(*bytes);
        if (!entries) continue;
        if (auto t = finder_type(*entries)) return t;
    }
    return std::nullopt;
}

bool is_folder(const std::string &path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

// One place the host looks: the file if it is one of a listed type, else
// what stands there, noted for an explanation.
void look_at(const std::string &folder, const std::string &name, std::span<const FourCC> types, Lookup &out) {
    const std::string path = join(folder, name);
    if (!is_regular_file(path)) {
        if (is_folder(path)) out.folder = true;
        return;
    }
    const FourCC t = file_type(folder, name);
    Located here{absolute_folder(folder), name, t};
    if (std::find(types.begin(), types.end(), t) != types.end())
        out.found = std::move(here);
    else if (!out.other)
        out.other = std::move(here);
}

}  // namespace

int16_t PathTable::id_for(const std::string &folder) {
    auto it = ids_.find(folder);
    if (it != ids_.end()) return it->second;
    if (folders_.size() >= 32767) return 0;
    folders_.push_back(folder);
    const auto id = static_cast<int16_t>(folders_.size());
    ids_.emplace(folder, id);
    return id;
}

const std::string *PathTable::folder(int16_t id) const {
    if (id < 1 || static_cast<std::size_t>(id) > folders_.size()) return nullptr;
    return &folders_[static_cast<std::size_t>(id) - 1];
}

std::optional<FourCC> type_from_header(std::span<const uint8_t> first_bytes) {
    bytes::Cursor c(first_bytes);
    auto container = c.fourcc();
    if (!container || !c.skip(4)) return std::nullopt;
    if (*container != bytes::fourcc("FORM") && *container != bytes::fourcc("RIFF")) return std::nullopt;
    return c.fourcc();
}

std::optional<FourCC> type_from_extension(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    std::string ext(name.substr(dot + 1));
    for (char &ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (ext == "wav") return bytes::fourcc("WAVE");
    if (ext == "aif" || ext == "aiff") return bytes::fourcc("AIFF");
    if (ext == "aifc") return bytes::fourcc("AIFC");
    if (ext == "sd2") return bytes::fourcc("Sd2f");
    return std::nullopt;
}

FourCC file_type(const std::string &folder, const std::string &name) {
    if (auto head = read_prefix(join(folder, name), 12)) {
        if (auto t = type_from_header(*head)) return *t;
    }
    if (auto t = type_from_sidecar(folder, name)) return *t;
    if (auto t = type_from_extension(name)) return *t;
    return 0;
}

std::string join(const std::string &folder, const std::string &name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::vector<std::string> search_folders(const SearchPath &search) {
    std::vector<std::string> folders = search.dirs;
    if (!search.script_dir.empty()) folders.push_back(search.script_dir);
    folders.push_back(".");
    return folders;
}

Lookup look_up(std::string_view name, const SearchPath &search, std::span<const FourCC> types) {
    Lookup out;
    if (name.empty() || name.size() > kMaxNameChars) return out;
    if (name.find('\0') != std::string_view::npos) return out;

    const auto slash = name.rfind('/');
    if (slash != std::string_view::npos) {
        std::string file(name.substr(slash + 1));
        if (file.empty()) {
            out.folder = is_folder(std::string(name));
            return out;
        }
        std::string folder(slash == 0 ? std::string_view("/") : name.substr(0, slash));
        look_at(folder, file, types, out);
        return out;
    }

    const std::string file(name);
    for (const auto &folder : search_folders(search)) {
        look_at(folder, file, types, out);
        if (out.found) break;
    }
    return out;
}

std::optional<Located> locate(std::string_view name, const SearchPath &search,
                              std::span<const FourCC> types) {
    return look_up(name, search, types).found;
}

}  // namespace fileservices
