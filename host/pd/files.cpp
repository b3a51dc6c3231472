// File services over Pd: names are looked up along the patch's folder and
// Pd's search path; the file dialog is Pd's own open panel.  Reading files,
// sound-file information, resource forks and bundle versions are the
// fileservices library's, as in the headless host.
#include <cstring>
#include <exception>
#include <limits>
#include <span>
#include <utility>

#include "adapter.hpp"
#include "aiff_info.hpp"

namespace fs = fileservices;

namespace pdmax {

// Receives the open panel's answer for one box: Pd's GUI sends
// "callback PATH" to the panel's bound name.  The name is the class's and a
// count (brindle~-panel-1, …), so that a patch can answer in the user's
// place, as the tests do.
struct Panel {
    t_pd pd;
    Box *box;
    PdSymbol *name;
};

namespace {

// A plug-in's name, when it is one the adapter can take: NUL-terminated
// within the 256 bytes a name buffer holds, and not empty.
bool name_ok(const char *name) {
    if (!name) return false;
    const std::size_t n = strnlen(name, fs::kMaxNameChars + 1);
    return n > 0 && n <= fs::kMaxNameChars;
}

std::span<const t_fourcc> type_list(const t_fourcc *types, short count) {
    if (!types || count <= 0) return {};
    return {types, static_cast<std::size_t>(count)};
}

t_canvas *active_canvas() {
    Box *b = adapter().active;
    return b && b->state ? b->state->canvas : nullptr;
}

// The user chose a file: the box gets "open PATH", as if the patch had
// sent it.
void panel_callback(Panel *p, PdSymbol *, int argc, PdAtom *argv) {
    if (argc < 1 || !p->box) return;
    PdAtom path;
    if (argv[0].a_type == kPdSymbol) {
        path = argv[0];
    } else {
        char text[MAXPDSTRING];
        atom_string(&argv[0], text, sizeof text);
        pd_set_symbol(&path, pd_gensym(text));
    }
    dispatch(p->box, "open", pd_gensym("open"), 1, &path);
}

PdClass *panel_class() {
    Adapter &a = adapter();
    if (!a.panel_class) {
        const std::string name = a.classes.empty() ? "pdmax file panel" : a.classes.front()->name + " file panel";
        a.panel_class = class_new(pd_gensym(name.c_str()), nullptr, nullptr, sizeof(Panel), CLASS_PD, kPdNull);
        class_addmethod(a.panel_class, pd_method(panel_callback), pd_gensym("callback"),
                        kPdGimme, kPdNull);
    }
    return a.panel_class;
}

void show_open_panel(Box *b) {
    BoxState &st = *b->state;
    if (!st.panel) {
        auto *p = reinterpret_cast<Panel *>(pd_new(panel_class()));
        const std::string name = st.cls->name + "-panel-" + std::to_string(++adapter().panels_made);
        p->box = b;
        p->name = pd_gensym(name.c_str());
        pd_bind(&p->pd, p->name);
        st.panel = p;
    }
    const char *dir = st.canvas ? canvas_getdir(st.canvas)->s_name : "";
    pdgui_vmess("pdtk_openpanel", "ss", st.panel->name->s_name, dir);
}

// Hands a found file to the plug-in: its folder's path id, its own name
// and its type.  The name written is never longer than the one given.
short report_found(const fs::Located &found, char *name, short *outpath, t_fourcc *outtype) {
    const int16_t id = adapter().paths.id_for(found.folder);
    if (id == 0) {
        host_error("no path id left for " + found.folder);
        return 1;
    }
    std::memcpy(name, found.name.c_str(), found.name.size() + 1);
    if (outpath) *outpath = id;
    if (outtype) *outtype = found.type;
    return 0;
}

const std::string *folder_of(short path) { return adapter().paths.folder(path); }

}  // namespace

void close_panel(Box *b) {
    Panel *p = b->state ? b->state->panel : nullptr;
    if (!p) return;
    pd_unbind(&p->pd, p->name);
    pd_free(&p->pd);
    b->state->panel = nullptr;
}

}  // namespace pdmax

using namespace pdmax;

extern "C" {

// --- finding files -----------------------------------------------------------

// canvas_open searches the patch's folder, its declared paths and Pd's
// search path, and gives the first file of that name; its type decides.
short locatefile_extended(char *name, short *outpath, t_fourcc *outtype, const t_fourcc *typelist,
                          short numtypes) {
    if (!name_ok(name)) return 1;
    try {
        char dir[MAXPDSTRING];
        char *base = nullptr;
        const int fd = canvas_open(active_canvas(), name, "", dir, &base, MAXPDSTRING, 1);
        if (fd < 0) return 1;
        sys_close(fd);
        auto found = fs::locate(fs::join(dir, base), fs::SearchPath{}, type_list(typelist, numtypes));
        if (!found || found->name.size() > std::strlen(name)) return 1;
        return report_found(*found, name, outpath, outtype);
    } catch (const std::exception &e) {
        host_error(e.what());
        return 1;
    }
}

// Pd has no dialog that waits for the user: the panel opens, the call
// answers "cancelled" at once, and a file chosen later reaches the box as
// "open PATH".
short open_dialog(char *, short *, t_fourcc *, const t_fourcc *, short) {
    Box *b = adapter().active;
    if (b && b->state) {
        try {
            show_open_panel(b);
        } catch (const std::exception &e) {
            host_error(e.what());
        }
    }
    return 1;
}

// --- data files ----------------------------------------------------------------

short path_opensysfile(const char *name, short path, t_filehandle *fh, short perm) {
    if (!fh || !name_ok(name) || perm != READ_PERM) return 1;
    const std::string *folder = folder_of(path);
    if (!folder) return 1;
    try {
        auto file = fs::DataFile::open_read(fs::join(*folder, name));
        if (!file) return 1;
        void *key = file.get();
        adapter().sysfiles.emplace(key, std::move(file));
        *fh = static_cast<t_filehandle>(key);
        return 0;
    } catch (const std::exception &e) {
        host_error(e.what());
        return 1;
    }
}

short sysfile_setpos(t_filehandle fh, t_sysfile_pos_mode mode, int64_t offset) {
    auto &files = adapter().sysfiles;
    auto it = files.find(fh);
    if (it == files.end()) {
        host_error("sysfile_setpos on a file that is not open");
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
    if (!count) return 1;
    auto &files = adapter().sysfiles;
    auto it = files.find(fh);
    if (it == files.end()) {
        host_error("sysfile_read on a file that is not open");
        return 1;
    }
    const int64_t want = *count;
    if (want < 0 || (want > 0 && !buf)) return 1;
    const int64_t got = it->second->read(std::span(static_cast<uint8_t *>(buf), static_cast<std::size_t>(want)));
    *count = got < 0 ? 0 : got;
    return got == want ? 0 : 1;
}

short sysfile_close(t_filehandle fh) {
    if (adapter().sysfiles.erase(fh) == 0) {
        host_error("sysfile_close of a file that is not open");
        return 1;
    }
    return 0;
}

// --- sound-file information ----------------------------------------------------

short sndfile_info(const char *name, short path, t_fourcc, t_sndfileinfo *info) {
    if (!info) return 1;
    // A failure hands out no block, and leaves nothing that looks like one.
    info->markerChunk = nullptr;
    info->markerChunkSize = 0;
    if (!name_ok(name)) return 1;
    const std::string *folder = folder_of(path);
    if (!folder) return 1;
    try {
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
    } catch (const std::exception &e) {
        host_error(e.what());
        return 1;
    }
}

// --- resource forks --------------------------------------------------------------

short path_openresfile(const char *name, short path, short *ref, short perm) {
    const std::string *folder = folder_of(path);
    if (!name_ok(name) || !folder || perm != READ_PERM) return resFNotFound;
    try {
        int16_t r = 0;
        const int16_t err = adapter().resources.open(*folder, name, &r);
        if (err == noErr && ref) *ref = r;
        return err;
    } catch (const std::exception &e) {
        host_error(e.what());
        return resFNotFound;
    }
}

short CurResFile(void) { return adapter().resources.current(); }

void UseResFile(short ref) { adapter().resources.use(ref); }

Handle GetResource(ResType type, ResID id) {
    try {
        return adapter().resources.get(type, id);
    } catch (const std::exception &e) {
        host_error(e.what());
        return nullptr;
    }
}

void DetachResource(Handle h) { adapter().resources.detach(h); }

void CloseResFile(short ref) { adapter().resources.close(ref); }

OSErr ResError(void) { return adapter().resources.error(); }

int32_t GetHandleSize(Handle h) {
    if (!h || !adapter().handles.count(h)) return 0;
    return static_cast<int32_t>(fs::handle_size(h));
}

void disposhandle(char **h) {
    Adapter &a = adapter();
    if (!h) return;
    if (!a.handles.count(h)) {
        host_error("disposhandle of a handle the adapter never gave");
        return;
    }
    if (a.resources.attached(h)) {
        host_error("disposhandle of a resource its file still holds");
        a.resources.detach(h);
    }
    fs::dispose_handle(h, fs::BlockHooks{nullptr, nullptr, nullptr, false});
    a.handles.erase(h);
}

// --- bundle versions -------------------------------------------------------------

CFStringRef __CFStringMakeConstantString(const char *text) { return fs::constant_string(text); }

const CFStringRef kCFBundleVersionKey = fs::constant_string("CFBundleVersion");

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef identifier) {
    return adapter().bundles.find(identifier);
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    return adapter().bundles.value(bundle, key);
}

Boolean CFStringGetCString(CFStringRef s, char *buffer, CFIndex size, CFStringEncoding encoding) {
    return fs::string_get_cstring(s, buffer, size, encoding) ? 1 : 0;
}

CFTypeRef CFRetain(CFTypeRef cf) { return fs::retain(cf); }

void CFRelease(CFTypeRef cf) {
    if (!fs::release(cf)) host_error("CFRelease of an object not retained");
}

}  // extern "C"
