// The C entry points of the file services, one implementation for every
// host: sound-file information, resource forks and bundle versions (finding
// and reading data files are path_entry_points.cpp, for the hosts that keep
// their own).  The work is done by the fileservices library; the
// state and the few host-specific answers come from the host's FileHost.
//
// Each host compiles this source with its own host_api.hpp, so that inside
// a Pd or Max external the functions get the external's names and getbytes
// is the external's own.  open_dialog stays with each host: waiting for a
// user is what hosts do differently.
//
// host_api.hpp is not in this folder: each host's folder has its own, and
// this source reads the one of the host it is compiled into, found through
// the include path that host's target gives it (its own folder; see
// host/CMakeLists.txt).  No host_api.hpp on the path, no build; two, and the
// first wins, silently.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "host_api.hpp"

#include "aiff_info.hpp"
#include "file_host.hpp"

namespace hostcommon {

bool name_ok(const char *name) {
    if (!name) return false;
    const std::size_t n = strnlen(name, fileservices::kMaxNameChars + 1);
    return n > 0 && n <= fileservices::kMaxNameChars;
}

std::span<const t_fourcc> type_list(const t_fourcc *types, short count) {
    if (!types || count <= 0) return {};
    return {types, static_cast<std::size_t>(count)};
}

short FileHost::hand_over(const fileservices::Located &found, char *name, short *outpath, t_fourcc *outtype) {
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

bool FileHost::add_bundle_info(const char *text) {
    auto values = fileservices::parse_bundle_info(text ? text : "");
    if (values && bundles.add(*values)) return true;
    file_error("unreadable bundle information");
    return false;
}

fileservices::BlockHooks HeapHandles::heap_hooks() {
    fileservices::BlockHooks h;
    h.alloc = [](void *ctx, std::size_t bytes) -> void * {
        void *p = std::malloc(bytes);
        if (p) static_cast<HeapHandles *>(ctx)->handles_.insert(p);
        return p;
    };
    h.release = [](void *ctx, void *block, std::size_t) {
        static_cast<HeapHandles *>(ctx)->handles_.erase(block);
        std::free(block);
    };
    h.ctx = this;
    return h;
}

}  // namespace hostcommon

using hostcommon::file_host;
using hostcommon::FileHost;
using hostcommon::guarded;
using hostcommon::name_ok;
using hostcommon::type_list;

extern "C" {

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
    const std::optional<std::string> folder = host->folder_of(path);
    if (!folder) return 1;
    return guarded(*host, short{1}, [&]() -> short {
        fileservices::AiffInfo ai;
        if (fileservices::read_aiff_info(fileservices::join(*folder, name), ai) !=
            fileservices::AiffStatus::Ok)
            return 1;
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
    if (!name_ok(name) || perm != READ_PERM) return resFNotFound;
    const std::optional<std::string> folder = host->folder_of(path);
    if (!folder) return resFNotFound;
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
    return host ? host->resources.last_error() : OSErr{noErr};
}

int32_t GetHandleSize(Handle h) {
    FileHost *host = file_host();
    if (!host || !h) return 0;
    const FileHost::Given given = host->given(h);
    if (given != FileHost::Given::Handle && given != FileHost::Given::Block) return 0;
    return static_cast<int32_t>(fileservices::handle_size(h));
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
    fileservices::dispose_handle(h, host->handle_hooks());
}

// --- bundle versions -------------------------------------------------------------

CFStringRef __CFStringMakeConstantString(const char *text) { return fileservices::constant_string(text); }

const CFStringRef kCFBundleVersionKey = fileservices::constant_string("CFBundleVersion");

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier) {
    FileHost *host = file_host();
    return host ? host->bundles.find(identifier) : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    FileHost *host = file_host();
    return host ? host->bundles.value(bundle, key) : nullptr;
}

Boolean CFStringGetCString(CFStringRef s, char *buffer, CFIndex size, CFStringEncoding encoding) {
    return fileservices::string_get_cstring(s, buffer, size, encoding) ? 1 : 0;
}

CFTypeRef CFRetain(CFTypeRef cf) { return fileservices::retain(cf); }

void CFRelease(CFTypeRef cf) {
    if (fileservices::release(cf)) return;
    if (FileHost *host = file_host()) host->file_error("CFRelease of an object not retained");
}

}  // extern "C"
