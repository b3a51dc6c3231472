// File services over Max: finding a file, the file dialog and reading data
// files are Max's own (its search path, its dialog, its sysfile calls).
// Sound-file information, resource forks and bundle versions are the
// entry points every host shares (host/hostcommon/file_entry_points.cpp): Max
// leaves sndfile_info undocumented and the resource fork has no meaning on
// Windows, so Sound Designer II files copied off a Mac keep theirs in
// AppleDouble sidecars or .rsrc files, read by the project's own parsers.
//
// Max's calls write file names into buffers of its own size, longer than
// the plug-ins' 256 bytes: they write into the adapter's buffers, and a
// name that does not fit the plug-in's is refused, never shortened.
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include "adapter.hpp"

namespace maxad {

void Adapter::file_error(const std::string &text) { host_error(text); }

// Never asked: locatefile_extended is Max's here.
std::optional<fileservices::Located> Adapter::find_file(const char *, std::span<const t_fourcc>) {
    return std::nullopt;
}

hostcommon::FileHost::Given Adapter::given(void *p) const {
    return heap_holds(p) ? Given::Handle : Given::Nothing;
}

std::optional<std::string> Adapter::folder_of(short path) const {
    std::vector<char> text(static_cast<std::size_t>(maxsdk::kPathChars), '\0');
    if (maxsdk::absolute_path(path, "", text.data()) != 0) return std::nullopt;
    text.back() = '\0';
    std::string folder(text.data());
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    if (folder.empty()) return std::nullopt;
    return folder;
}

namespace {

// A file Max found or the user chose: Max writes the name into a buffer of
// its own, here made to start as start, and gives a path id and a type.
// The plug-in's buffer takes the name only when it fits; *too_long tells a
// name that did not from a search that failed.
template <class Find>
short from_max(const char *start, char *name, short *outpath, t_fourcc *outtype, const t_fourcc *typelist,
               short numtypes, bool *too_long, Find &&find) {
    *too_long = false;
    try {
        std::vector<char> found(static_cast<std::size_t>(maxsdk::kFilenameChars), '\0');
        std::memcpy(found.data(), start, std::strlen(start) + 1);
        const auto listed = hostcommon::type_list(typelist, numtypes);
        std::vector<uint32_t> types(listed.begin(), listed.end());
        short path = 0;
        uint32_t type = 0;
        if (find(found.data(), &path, &type, types.empty() ? nullptr : types.data(),
                 static_cast<short>(types.size())) != 0)
            return 1;
        const std::size_t n = strnlen(found.data(), found.size());
        if (n == 0 || n > fileservices::kMaxNameChars) {
            *too_long = n > 0;
            return 1;
        }
        std::memcpy(name, found.data(), n);
        name[n] = '\0';
        if (outpath) *outpath = path;
        if (outtype) *outtype = type;
        return 0;
    } catch (const std::exception &e) {
        host_error(e.what());
        return 1;
    }
}

maxsdk::FileHandle max_handle(t_filehandle fh) { return reinterpret_cast<maxsdk::FileHandle>(fh); }

}  // namespace

}  // namespace maxad

hostcommon::FileHost *hostcommon::file_host() { return &maxad::adapter(); }

using namespace maxad;

extern "C" {

short locatefile_extended(char *name, short *outpath, t_fourcc *outtype, const t_fourcc *typelist,
                          short numtypes) {
    if (!hostcommon::name_ok(name)) return 1;
    bool too_long = false;
    return from_max(name, name, outpath, outtype, typelist, numtypes, &too_long, maxsdk::locate_file);
}

short open_dialog(char *name, short *outpath, t_fourcc *outtype, const t_fourcc *typelist, short numtypes) {
    if (!name) return 1;
    bool too_long = false;
    const short result =
        from_max("", name, outpath, outtype, typelist, numtypes, &too_long, maxsdk::file_dialog);
    if (too_long) host_error("the chosen file's name is longer than 255 characters");
    return result;
}

short path_opensysfile(const char *name, short path, t_filehandle *fh, short perm) {
    if (!fh || !hostcommon::name_ok(name) || perm != READ_PERM) return 1;
    maxsdk::FileHandle h = nullptr;
    if (maxsdk::open_sysfile(name, path, &h, maxsdk::kReadPerm) != 0 || !h) return 1;
    *fh = reinterpret_cast<t_filehandle>(h);
    return 0;
}

// Max would move past the end; the plug-ins rely on a move outside the file
// failing and leaving the position where it was, as in every host.
short sysfile_setpos(t_filehandle fh, t_sysfile_pos_mode mode, int64_t offset) {
    maxsdk::FileHandle h = max_handle(fh);
    if (!h) return 1;
    t_ptr_size eof = 0;
    t_ptr_size pos = 0;
    if (maxsdk::file_eof(h, &eof) != 0 || maxsdk::file_pos(h, &pos) != 0) return 1;
    if (eof > static_cast<t_ptr_size>(std::numeric_limits<int64_t>::max()) || pos > eof) return 1;
    int64_t base = 0;
    switch (mode) {
    case SYSFILE_ATMARK:
    case SYSFILE_FROMMARK: base = static_cast<int64_t>(pos); break;
    case SYSFILE_FROMSTART: base = 0; break;
    case SYSFILE_FROMLEOF: base = static_cast<int64_t>(eof); break;
    default: return 1;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target)) return 1;
    if (target < 0 || static_cast<t_ptr_size>(target) > eof) return 1;
    return maxsdk::set_file_pos(h, target) == 0 ? 0 : 1;
}

short sysfile_read(t_filehandle fh, int64_t *count, void *buf) {
    maxsdk::FileHandle h = max_handle(fh);
    if (!h || !count) return 1;
    const int64_t want = *count;
    if (want < 0 || (want > 0 && !buf)) return 1;
    t_ptr_size got = static_cast<t_ptr_size>(want);
    const maxsdk::MaxErr err = want > 0 ? maxsdk::read_file(h, &got, buf) : 0;
    if (got > static_cast<t_ptr_size>(want)) got = static_cast<t_ptr_size>(want);
    *count = static_cast<int64_t>(got);
    return err == 0 && static_cast<int64_t>(got) == want ? 0 : 1;
}

short sysfile_close(t_filehandle fh) {
    maxsdk::FileHandle h = max_handle(fh);
    if (!h) return 1;
    return maxsdk::close_file(h) == 0 ? 0 : 1;
}

}  // extern "C"
