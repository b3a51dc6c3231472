// The C entry points of the file services, routed to the current host: the
// search path and dialog, data files, sound-file information, resource
// forks and bundle versions.  The work is done by the fileservices library;
// what is here is the host's state (path ids, open files, the Resource
// Manager, the bundles) and its block accounting.
#include <cstring>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <utility>

#include "CFBundle.h"
#include "Resources.h"
#include "aiff_info.hpp"
#include "ext.h"
#include "ext_path.h"
#include "ext_sndfile.h"
#include "ext_sysfile.h"
#include "host_impl.hpp"

using headless::Host;
namespace fs = fileservices;

namespace {

Host::Impl *impl() {
    Host *h = Host::current();
    return h ? &h->impl() : nullptr;
}

// A plug-in's name, when it is one the host can take: NUL-terminated within
// the 256 bytes a name buffer holds, and not empty.
bool name_ok(const char *name) {
    if (!name) return false;
    const std::size_t n = strnlen(name, fs::kMaxNameChars + 1);
    return n > 0 && n <= fs::kMaxNameChars;
}

std::span<const t_fourcc> type_list(const t_fourcc *types, short count) {
    if (!types || count <= 0) return {};
    return {types, static_cast<std::size_t>(count)};
}

// Hands a found file to the plug-in: its folder's path id, its own name and
// its type.  The name written is never longer than the buffer held before.
short report_found(Host::Impl *I, const fs::Located &found, char *name, short *outpath,
                   t_fourcc *outtype) {
    const int16_t id = I->paths.id_for(found.folder);
    if (id == 0) {
        I->host_line("no path id left for " + found.folder);
        return 1;
    }
    std::memcpy(name, found.name.c_str(), found.name.size() + 1);
    if (outpath) *outpath = id;
    if (outtype) *outtype = found.type;
    return 0;
}

const std::string *folder_of(Host::Impl *I, short path) { return I->paths.folder(path); }

void *handle_alloc(void *ctx, std::size_t bytes) {
    auto *I = static_cast<Host::Impl *>(ctx);
    if (bytes > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return nullptr;
    return I->alloc(static_cast<int32_t>(bytes), true);
}

void handle_release(void *ctx, void *block, std::size_t) {
    auto *I = static_cast<Host::Impl *>(ctx);
    // A handle whose box was freed has already been reported and freed by
    // the host's accounting.
    auto it = I->blocks.find(block);
    if (it != I->blocks.end()) I->release(block, it->second.size, true);
}

}  // namespace

namespace headless {

fs::BlockHooks handle_hooks(Host::Impl *I) {
    fs::BlockHooks hooks;
    hooks.alloc = handle_alloc;
    hooks.release = handle_release;
    hooks.ctx = I;
    hooks.reclaimed_by_owner = true;  // the host frees every block it still holds
    return hooks;
}

void Host::Impl::register_bundle_info(const std::string &info_path) {
    std::error_code ec;
    if (!std::filesystem::exists(info_path, ec)) return;  // the banner falls back
    if (!bundles.add_info_file(info_path)) host_line("cannot read bundle information " + info_path);
}

}  // namespace headless

extern "C" {

// --- finding files -----------------------------------------------------------

short locatefile_extended(char *name, short *outpath, t_fourcc *outtype,
                          const t_fourcc *typelist, short numtypes) {
    Host::Impl *I = impl();
    if (!I || !name_ok(name)) return 1;
    const fs::SearchPath search{I->search_dirs, I->script_dir};
    auto found = fs::locate(name, search, type_list(typelist, numtypes));
    if (!found) return 1;
    return report_found(I, *found, name, outpath, outtype);
}

short open_dialog(char *name, short *outpath, t_fourcc *outtype, const t_fourcc *typelist,
                  short numtypes) {
    Host::Impl *I = impl();
    if (!I || !name) return 1;
    // No window here: the answer given beforehand stands for the user's
    // choice, once.  Without one the user cancelled.
    auto answer = std::exchange(I->dialog_answer, std::nullopt);
    if (!answer) return 1;
    const fs::SearchPath search{I->search_dirs, I->script_dir};
    auto found = fs::locate(*answer, search, type_list(typelist, numtypes));
    if (!found) return 1;
    return report_found(I, *found, name, outpath, outtype);
}

// --- data files ----------------------------------------------------------------

short path_opensysfile(const char *name, short path, t_filehandle *fh, short perm) {
    Host::Impl *I = impl();
    if (!I || !fh || !name_ok(name) || perm != READ_PERM) return 1;
    const std::string *folder = folder_of(I, path);
    if (!folder) return 1;
    auto file = fs::DataFile::open_read(fs::join(*folder, name));
    if (!file) return 1;
    void *key = file.get();
    I->sysfiles.emplace(key, std::move(file));
    *fh = static_cast<t_filehandle>(key);
    return 0;
}

short sysfile_setpos(t_filehandle fh, t_sysfile_pos_mode mode, int64_t offset) {
    Host::Impl *I = impl();
    if (!I) return 1;
    auto it = I->sysfiles.find(fh);
    if (it == I->sysfiles.end()) {
        I->host_line("sysfile_setpos on a file that is not open");
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
    Host::Impl *I = impl();
    if (!I || !count) return 1;
    auto it = I->sysfiles.find(fh);
    if (it == I->sysfiles.end()) {
        I->host_line("sysfile_read on a file that is not open");
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
    Host::Impl *I = impl();
    if (!I) return 1;
    if (I->sysfiles.erase(fh) == 0) {
        I->host_line("sysfile_close of a file that is not open");
        return 1;
    }
    return 0;
}

// --- sound-file information ----------------------------------------------------

short sndfile_info(const char *name, short path, t_fourcc type, t_sndfileinfo *info) {
    (void)type;  // the file's own header decides, whatever the caller took it for
    Host::Impl *I = impl();
    if (!info) return 1;
    // A failure hands out no block, and leaves nothing that looks like one.
    info->markerChunk = nullptr;
    info->markerChunkSize = 0;
    if (!I || !name_ok(name)) return 1;
    const std::string *folder = folder_of(I, path);
    if (!folder) return 1;
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
}

// --- resource forks --------------------------------------------------------------

short path_openresfile(const char *name, short path, short *ref, short perm) {
    Host::Impl *I = impl();
    if (!I) return resFNotFound;
    const std::string *folder = folder_of(I, path);
    if (!name_ok(name) || !folder || perm != READ_PERM) return resFNotFound;
    int16_t r = 0;
    const int16_t err = I->resources.open(*folder, name, &r);
    if (err == noErr && ref) *ref = r;
    return err;
}

short CurResFile(void) {
    Host::Impl *I = impl();
    return I ? I->resources.current() : 0;
}

void UseResFile(short ref) {
    if (Host::Impl *I = impl()) I->resources.use(ref);
}

Handle GetResource(ResType type, ResID id) {
    Host::Impl *I = impl();
    return I ? I->resources.get(type, id) : nullptr;
}

void DetachResource(Handle h) {
    if (Host::Impl *I = impl()) I->resources.detach(h);
}

void CloseResFile(short ref) {
    if (Host::Impl *I = impl()) I->resources.close(ref);
}

OSErr ResError(void) {
    Host::Impl *I = impl();
    return I ? I->resources.error() : OSErr{noErr};
}

int32_t GetHandleSize(Handle h) {
    Host::Impl *I = impl();
    if (!I || !h || !I->blocks.count(h)) return 0;
    return static_cast<int32_t>(fs::handle_size(h));
}

void disposhandle(char **h) {
    Host::Impl *I = impl();
    if (!I || !h) return;
    if (I->resources.attached(h)) {
        I->host_line("disposhandle of a resource its file still holds");
        I->resources.detach(h);
    }
    auto it = I->blocks.find(h);
    if (it == I->blocks.end() || !it->second.large) {
        I->host_line(I->freed_blocks.count(h) ? "double disposhandle"
                                              : "disposhandle of a handle the host never gave");
        return;
    }
    fs::dispose_handle(h, headless::handle_hooks(I));
}

// --- bundle versions -------------------------------------------------------------

CFStringRef __CFStringMakeConstantString(const char *text) { return fs::constant_string(text); }

const CFStringRef kCFBundleVersionKey = fs::constant_string("CFBundleVersion");

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier) {
    Host::Impl *I = impl();
    return I ? I->bundles.find(identifier) : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    Host::Impl *I = impl();
    return I ? I->bundles.value(bundle, key) : nullptr;
}

Boolean CFStringGetCString(CFStringRef s, char *buffer, CFIndex size, CFStringEncoding encoding) {
    return fs::string_get_cstring(s, buffer, size, encoding) ? 1 : 0;
}

CFTypeRef CFRetain(CFTypeRef cf) { return fs::retain(cf); }

void CFRelease(CFTypeRef cf) {
    if (!fs::release(cf)) {
        if (Host::Impl *I = impl()) I->host_line("CFRelease of an object not retained");
    }
}

}  // extern "C"
