// The C entry points of the search path and data files for the hosts that
// keep their own (the headless host and Pure Data): finding files by name
// and reading them.  A host whose application already has these services
// (Max) calls its own and leaves this source out.
//
// Compiled, like file_entry_points.cpp, with the host's own host_api.hpp.
//
// host_api.hpp is not in this folder: each host's folder has its own, and
// this source reads the one of the host it is compiled into, found through
// the include path that host's target gives it (its own folder; see
// host/CMakeLists.txt).  No host_api.hpp on the path, no build; two, and the
// first wins, silently.
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "host_api.hpp"

#include "file_host.hpp"

using hostcommon::file_host;
using hostcommon::FileHost;
using hostcommon::guarded;
using hostcommon::name_ok;
using hostcommon::type_list;

extern "C" {

// --- finding files -----------------------------------------------------------

short locatefile_extended(char *name, short *outpath, t_fourcc *outtype, const t_fourcc *typelist,
                          short numtypes) {
    FileHost *host = file_host();
    if (!host || !name_ok(name)) return 1;
    return guarded(*host, short{1}, [&]() -> short {
        auto found = host->find_file(name, type_list(typelist, numtypes));
        if (!found) return 1;
        return host->hand_over(*found, name, outpath, outtype);
    });
}

// --- data files ----------------------------------------------------------------

short path_opensysfile(const char *name, short path, t_filehandle *fh, short perm) {
    FileHost *host = file_host();
    if (!host || !fh || !name_ok(name) || perm != READ_PERM) return 1;
    const std::optional<std::string> folder = host->folder_of(path);
    if (!folder) return 1;
    return guarded(*host, short{1}, [&]() -> short {
        auto file = fileservices::DataFile::open_read(fileservices::join(*folder, name));
        if (!file) return 1;
        void *key = file.get();
        host->sysfiles.emplace(key, std::move(file));
        *fh = static_cast<t_filehandle>(key);
        return 0;
    });
}

short sysfile_setpos(t_filehandle fh, t_sysfile_pos_mode mode, int64_t offset) {
    FileHost *host = file_host();
    if (!host) return 1;
    auto it = host->sysfiles.find(fh);
    if (it == host->sysfiles.end()) {
        host->file_error("sysfile_setpos on a file that is not open");
        return 1;
    }
    fileservices::DataFile::From from;
    switch (mode) {
    case SYSFILE_ATMARK:
    case SYSFILE_FROMMARK: from = fileservices::DataFile::From::Mark; break;
    case SYSFILE_FROMSTART: from = fileservices::DataFile::From::Start; break;
    case SYSFILE_FROMLEOF: from = fileservices::DataFile::From::End; break;
    default: return 1;
    }
    return it->second->set_pos(from, offset) ? 0 : 1;
}

short sysfile_read(t_filehandle fh, int64_t *count, void *buf) {
    FileHost *host = file_host();
    if (!host || !count) return 1;
    auto it = host->sysfiles.find(fh);
    if (it == host->sysfiles.end()) {
        host->file_error("sysfile_read on a file that is not open");
        return 1;
    }
    const int64_t want = *count;
    if (want < 0 || (want > 0 && !buf)) return 1;
    const int64_t got =
        it->second->read(std::span(static_cast<uint8_t *>(buf), static_cast<std::size_t>(want)));
    *count = got < 0 ? 0 : got;
    return got == want ? 0 : 1;
}

short sysfile_close(t_filehandle fh) {
    FileHost *host = file_host();
    if (!host) return 1;
    if (host->sysfiles.erase(fh) == 0) {
        host->file_error("sysfile_close of a file that is not open");
        return 1;
    }
    return 0;
}

}  // extern "C"
