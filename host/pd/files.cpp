// File services over Pd: names are looked up along the patch's folder and
// Pd's search path; the file dialog is Pd's own open panel.  Reading files,
// sound-file information, resource forks and bundle versions are the entry
// points every host shares (host/hostcommon/file_entry_points.cpp).
#include <cstring>
#include <exception>
#include <span>

#include "adapter.hpp"

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
        const std::string name =
            a.classes.empty() ? "pdmax file panel" : a.classes.front()->name + " file panel";
        a.panel_class =
            class_new(pd_gensym(name.c_str()), nullptr, nullptr, sizeof(Panel), CLASS_PD, kPdNull);
        class_addmethod(a.panel_class, pd_method(panel_callback), pd_gensym("callback"), kPdGimme, kPdNull);
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

}  // namespace

void close_panel(Box *b) {
    Panel *p = b->state ? b->state->panel : nullptr;
    if (!p) return;
    pd_unbind(&p->pd, p->name);
    pd_free(&p->pd);
    b->state->panel = nullptr;
}

void Adapter::file_error(const std::string &text) { host_error(text); }

// canvas_open searches the patch's folder, its declared paths and Pd's
// search path, and gives the first file of that name; its type decides.
std::optional<fileservices::Located> Adapter::find_file(const char *name, std::span<const t_fourcc> types) {
    char dir[MAXPDSTRING];
    char *base = nullptr;
    const int fd = canvas_open(active_canvas(), name, "", dir, &base, MAXPDSTRING, 1);
    if (fd < 0) return std::nullopt;
    sys_close(fd);
    auto found = fileservices::locate(fileservices::join(dir, base), fileservices::SearchPath{}, types);
    // The plug-in's buffer holds the name it gave, and no more.
    if (found && found->name.size() > std::strlen(name)) return std::nullopt;
    return found;
}

hostcommon::FileHost::Given Adapter::given(void *p) const {
    return heap_holds(p) ? Given::Handle : Given::Nothing;
}

}  // namespace pdmax

hostcommon::FileHost *hostcommon::file_host() { return &pdmax::adapter(); }

using namespace pdmax;

extern "C" {

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

}  // extern "C"
