// The C entry points of the file services, one implementation for every
// host: finding files, data files, sound-file information, resource forks
// and bundle versions.  The work is done by the fileservices library; the
// state and the few host-specific answers come from the host's FileHost.
//
// Each host compiles this source with its own host_api.hpp, so that inside
// a Pd external the functions get the external's names and getbytes is the
// external's own.  open_dialog stays with each host: waiting for a user is
// what hosts do differently.
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <utility>

#include "host_api.hpp"

#include "aiff_info.hpp"
#include "file_host.hpp"

namespace fs = fileservices;

namespace hostcommon {

bool name_ok(const char *name) {
    if (!name) return false;
    const std::size_t n = strnlen(name, fs::kMaxNameChars + 1);
    return n > 0 && n <= fs::kMaxNameChars;
}

std::span<const t_fourcc> type_list(const t_fourcc *types, short count) {
    if (!types || count <= 0) return {};
    return {types, static_cast<std::size_t>(count)};
}

short FileHost::hand_over(const fs::Located &found, char *name, short *outpath, t_fourcc *outtype) {
    const int16_t id = paths.id_for(found.folder);
    if (id == 0) {
        file_error("no path id left for " + found.folder);
        return 1;
    }
    std::memcpy(name, found.name.c_str(), found.name.size() + 1);
    if (outpath) *outpath = id;
    if (outtype) *outtype = found.type;
    return 0;
}

namespace {

// No exception crosses into a plug-in: what one carries becomes the host's
// line and the call's failure result.
template <class R, class F>
R guarded(FileHost &host, R failure, F &&f) {
    try {
        return f();
    } catch (const std::exception &e) {
        host.file_error(e.what());
        return failure;
    }
}

}  // namespace

}  // namespace hostcommon

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
    const std::string *folder = host->paths.folder(path);
    if (!folder) return 1;
    return guarded(*host, short{1}, [&]() -> short {
        auto file = fs::DataFile::open_read(fs::join(*folder, name));
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
    fs::DataFile::From from;
    switch (mode) {
    case SYSFILE_ATMARK:
    case SYSFILE_FROMMARK: from = fs::DataFile::From::Mark; break;
    case SYSFILE_FROMSTART: from = fs::DataFile::From::Start; break;
    case SYSFILE_FROMLEOF: from = fs::DataFile::From::End; break;
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
    const int64_t got = it->second->read(std::span(static_cast<uint8_t *>(buf), static_cast<std::size_t>(want)));
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

// --- sound-file information ----------------------------------------------------

// The file's own header decides what it is, whatever type the caller took
// it for.
short sndfile_info(const char *name, short path, t_fourcc, t_sndfileinfo *info) {
    if (!info) return 1;
    // A failure hands out no block, and leaves nothing that looks like one.
    info->markerChunk = nullptr;
    info->markerChunkSize = 0;
    FileHost *host = file_host();
    if (!host || !name_ok(name)) return 1;
    const std::string *folder = host->paths.folder(path);
    if (!folder) return 1;
    return guarded(*host, short{1}, [&]() -> short {
        fs::AiffInfo ai;
        if (fs::read_aiff_info(fs::join(*folder, name), ai) != fs::AiffStatus::Ok) return 1;
        char *block = nullptr;
        const auto size = static_cast<int32_t>(ai.marker_chunk.size());
        if (size > 0) {
            // The plug-in frees the copy with freebytes: it comes from getbytes.
            block = getbytes(size);
            if (!block) return 1;
            std::memcpy(block, ai.marker_chunk.data(), ai.marker_chunk.size());
        }
        info->sampleRate = ai.sample_rate;
        info->channels = ai.channels;
        info->sampleBits = ai.sample_bits;
        info->frames = static_cast<int32_t>(ai.frames);
        info->format = ai.form;
        info->markerChunk = block;
        info->markerChunkSize = size;
        return 0;
    });
}

// --- resource forks --------------------------------------------------------------

short path_openresfile(const char *name, short path, short *ref, short perm) {
    FileHost *host = file_host();
    if (!host) return resFNotFound;
    const std::string *folder = host->paths.folder(path);
    if (!name_ok(name) || !folder || perm != READ_PERM) return resFNotFound;
    return guarded(*host, short{resFNotFound}, [&]() -> short {
        int16_t r = 0;
        const int16_t err = host->resources.open(*folder, name, &r);
        if (err == noErr && ref) *ref = r;
        return err;
    });
}

short CurResFile(void) {
    FileHost *host = file_host();
    return host ? host->resources.current() : 0;
}

void UseResFile(short ref) {
    if (FileHost *host = file_host()) host->resources.use(ref);
}

Handle GetResource(ResType type, ResID id) {
    FileHost *host = file_host();
    if (!host) return nullptr;
    return guarded(*host, Handle{}, [&] { return host->resources.get(type, id); });
}

void DetachResource(Handle h) {
    if (FileHost *host = file_host()) host->resources.detach(h);
}

void CloseResFile(short ref) {
    if (FileHost *host = file_host()) host->resources.close(ref);
}

OSErr ResError(void) {
    FileHost *host = file_host();
    return host ? host->resources.error() : OSErr{noErr};
}

int32_t GetHandleSize(Handle h) {
    FileHost *host = file_host();
    if (!host || !h) return 0;
    const FileHost::Given given = host->given(h);
    if (given != FileHost::Given::Handle && given != FileHost::Given::Block) return 0;
    return static_cast<int32_t>(fs::handle_size(h));
}

void disposhandle(char **h) {
    FileHost *host = file_host();
    if (!host || !h) return;
    if (host->resources.attached(h)) {
        host->file_error("disposhandle of a resource its file still holds");
        host->resources.detach(h);
    }
    switch (host->given(h)) {
    case FileHost::Given::Handle: break;
    case FileHost::Given::Freed: host->file_error("double disposhandle"); return;
    default:
        host->file_error("disposhandle of a handle the " + std::string(host->noun()) + " never gave");
        return;
    }
    fs::dispose_handle(h, host->handle_hooks());
}

// --- bundle versions -------------------------------------------------------------

CFStringRef __CFStringMakeConstantString(const char *text) { return fs::constant_string(text); }

const CFStringRef kCFBundleVersionKey = fs::constant_string("CFBundleVersion");

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier) {
    FileHost *host = file_host();
    return host ? host->bundles.find(identifier) : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    FileHost *host = file_host();
    return host ? host->bundles.value(bundle, key) : nullptr;
}

Boolean CFStringGetCString(CFStringRef s, char *buffer, CFIndex size, CFStringEncoding encoding) {
    return fs::string_get_cstring(s, buffer, size, encoding) ? 1 : 0;
}

CFTypeRef CFRetain(CFTypeRef cf) { return fs::retain(cf); }

void CFRelease(CFTypeRef cf) {
    if (fs::release(cf)) return;
    if (FileHost *host = file_host()) host->file_error("CFRelease of an object not retained");
}

}  // extern "C"
