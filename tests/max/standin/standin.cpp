// The stand-in's MaxAPI part: classes, objects, messages, outlets, the
// console, memory, symbols, qelems and files, as the SDK declares them.
// The MaxAudio part (signal objects and the chain) is standin_audio.cpp;
// both share the state below.
#include "standin_state.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

#include "data_file.hpp"
// windows.h, which the SDK includes on Windows, makes SearchPath a macro.
#undef SearchPath
#include "search_path.hpp"
#include "text.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#endif

namespace standin {

QueueGuard::QueueGuard() {
    while (state().queue_lock.test_and_set(std::memory_order_acquire)) {
#ifdef _WIN32
        SwitchToThread();
#else
        sched_yield();
#endif
    }
}

QueueGuard::~QueueGuard() { state().queue_lock.clear(std::memory_order_release); }

void set_delivery_hooks(void (*before)(), void (*after)()) {
    state().before_delivery = before;
    state().after_delivery = after;
}

uint64_t this_thread() {
#ifdef _WIN32
    return GetCurrentThreadId();
#else
    return static_cast<uint64_t>(pthread_self());
#endif
}

State &state() {
    static State &s = []() -> State & {
        auto *st = new State;
        st->main_thread = this_thread();
        return *st;
    }();
    return s;
}

ObjectRec *record_of(void *x) {
    auto it = state().objects.find(x);
    return it == state().objects.end() ? nullptr : &it->second;
}

namespace {

std::vector<short> read_types(va_list ap) {
    std::vector<short> types;
    for (int t = va_arg(ap, int); t != A_NOTHING; t = va_arg(ap, int)) {
        types.push_back(static_cast<short>(t));
        if (types.size() > 16) break;
    }
    return types;
}

void log_line(Line::Kind kind, void *object, const char *fmt, va_list ap) {
    state().console.push_back(Line{kind, object, hostcommon::vformat(fmt, ap)});
}

std::vector<t_atom> to_atoms(const std::vector<Value> &args) {
    std::vector<t_atom> atoms(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Value &v = args[i];
        switch (v.kind) {
        case Value::Long: atom_setlong(&atoms[i], v.l); break;
        case Value::Float: atom_setfloat(&atoms[i], v.f); break;
        case Value::Sym: atom_setsym(&atoms[i], gensym(v.s.c_str())); break;
        }
    }
    return atoms;
}

Value from_atom(const t_atom &a) {
    switch (a.a_type) {
    case A_LONG: return l(a.a_w.w_long);
    case A_FLOAT: return f(a.a_w.w_float);
    case A_SYM: return s(a.a_w.w_sym ? a.a_w.w_sym->s_name : "");
    default: return s("?");
    }
}

void record_sent(void *outlet, const char *selector, short ac, const t_atom *av, bool anything = false) {
    auto it = state().outlets.find(outlet);
    if (it == state().outlets.end()) {
        state().console.push_back(
            Line{Line::Error, nullptr, std::string("stand-in: send on an unknown outlet")});
        return;
    }
    const OutletRec &o = it->second;
    ObjectRec *rec = record_of(o.owner);
    // Max adds each outlet to the left of the earlier ones.
    const int index = rec ? static_cast<int>(rec->outlets.size()) - 1 - o.order : -1;
    Sent sent{o.owner, index, selector, {}, anything};
    for (short i = 0; i < ac && av; ++i) sent.atoms.push_back(from_atom(av[i]));
    state().sent.push_back(std::move(sent));
}

Method raw(method m) { return reinterpret_cast<Method>(m); }

}  // namespace

Value l(int64_t v) { return Value{Value::Long, v, 0.0, {}}; }
Value f(double v) { return Value{Value::Float, 0, v, {}}; }
Value s(std::string v) { return Value{Value::Sym, 0, 0.0, std::move(v)}; }

bool load(const std::string &path) {
#ifdef _WIN32
    HMODULE lib = LoadLibraryA(path.c_str());
    if (!lib) {
        std::fprintf(stderr, "stand-in: cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return false;
    }
    auto entry =
        reinterpret_cast<void (*)(void *)>(reinterpret_cast<void (*)()>(GetProcAddress(lib, "ext_main")));
#else
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "stand-in: cannot load %s: %s\n", path.c_str(), dlerror());
        return false;
    }
    auto entry = reinterpret_cast<void (*)(void *)>(dlsym(lib, "ext_main"));
#endif
    if (!entry) {
        std::fprintf(stderr, "stand-in: %s has no ext_main\n", path.c_str());
        return false;
    }
    entry(nullptr);
    return true;
}

ClassRec *class_named(const std::string &name) {
    for (auto &c : state().classes) {
        if (c->name == name) return c.get();
    }
    return nullptr;
}

bool class_registered(const std::string &cls) {
    ClassRec *c = class_named(cls);
    return c && c->registered;
}

bool class_is_signal(const std::string &cls) {
    ClassRec *c = class_named(cls);
    return c && c->dsp;
}

MethodInfo method_info(const std::string &cls, const std::string &selector) {
    ClassRec *c = class_named(cls);
    if (!c) return {};
    auto it = c->methods.find(selector);
    if (it == c->methods.end()) return {};
    return MethodInfo{true, it->second.types};
}

void *create(const std::string &cls, const std::vector<Value> &args) {
    ClassRec *c = class_named(cls);
    if (!c || !c->registered) return nullptr;
    std::vector<t_atom> atoms = to_atoms(args);
    using New = void *(*)(t_symbol *, long, t_atom *);
    return reinterpret_cast<New>(c->mnew)(gensym(cls.c_str()), static_cast<long>(atoms.size()),
                                          atoms.empty() ? nullptr : atoms.data());
}

void destroy(void *obj) { object_free(obj); }

int live_objects() { return static_cast<int>(state().objects.size()); }

void send(void *obj, const std::string &selector, const std::vector<Value> &args) {
    std::vector<t_atom> atoms = to_atoms(args);
    object_method_typed(obj, gensym(selector.c_str()), static_cast<long>(atoms.size()),
                        atoms.empty() ? nullptr : atoms.data(), nullptr);
}

std::string assist(void *obj, long kind, long index, const std::string &preset) {
    std::vector<char> buf(512, '\0');
    std::memcpy(buf.data(), preset.c_str(), std::min(preset.size(), buf.size() - 1));
    object_method(obj, gensym("assist"), nullptr, reinterpret_cast<void *>(static_cast<intptr_t>(kind)),
                  reinterpret_cast<void *>(static_cast<intptr_t>(index)), buf.data());
    buf.back() = '\0';
    return buf.data();
}

int signal_inlets(void *obj) {
    ObjectRec *rec = record_of(obj);
    return rec ? rec->signal_inlets : -1;
}

bool dsp_freed(void *obj) {
    ObjectRec *rec = record_of(obj);
    return rec && rec->dsp_freed;
}

int outlet_count(void *obj) {
    ObjectRec *rec = record_of(obj);
    return rec ? static_cast<int>(rec->outlets.size()) : -1;
}

std::string outlet_type(void *obj, int outlet) {
    ObjectRec *rec = record_of(obj);
    if (!rec || outlet < 0 || outlet >= static_cast<int>(rec->outlets.size())) return "";
    const void *o = rec->outlets[rec->outlets.size() - 1 - static_cast<std::size_t>(outlet)];
    return state().outlets.at(const_cast<void *>(o)).type;
}

int run_queue() {
    State &st = state();
    int runs = 0;
    for (;;) {
        QelemRec *q = nullptr;
        {
            QueueGuard guard;
            q = st.first_set;
            if (!q) break;
            st.first_set = q->next_set;
            if (!st.first_set) st.last_set = nullptr;
            q->next_set = nullptr;
            q->set = false;
        }
        q->running = true;
        ++runs;
        q->fn(q->owner);
        q->running = false;
        if (q->freed) {
            st.qelems.erase(q);
            delete q;
        }
    }
    return runs;
}

int live_qelems() {
    int n = 0;
    for (QelemRec *q : state().qelems) n += q->freed ? 0 : 1;
    return n;
}

void add_search_folder(const std::string &folder) { state().search.push_back(folder); }

void answer_dialog(const std::string &folder, const std::string &name) {
    state().dialog_folder = folder;
    state().dialog_name = name;
    state().dialog_cancel = false;
}

void cancel_dialog() { state().dialog_cancel = true; }

void set_lenient_seek(bool lenient) { state().lenient_seek = lenient; }

int open_files() { return static_cast<int>(state().files.size()); }

const std::vector<Line> &console() { return state().console; }
const std::vector<Sent> &sent() { return state().sent; }

void clear_logs() {
    state().console.clear();
    state().sent.clear();
}

long live_blocks() { return static_cast<long>(state().blocks.size()); }

short path_id(const std::string &folder) {
    State &st = state();
    for (std::size_t i = 0; i < st.paths.size(); ++i) {
        if (st.paths[i] == folder) return static_cast<short>(i + 1);
    }
    st.paths.push_back(folder);
    return static_cast<short>(st.paths.size());
}

const std::string *path_folder(short id) {
    State &st = state();
    if (id < 1 || static_cast<std::size_t>(id) > st.paths.size()) return nullptr;
    return &st.paths[static_cast<std::size_t>(id) - 1];
}

namespace {

// Brackets the call of an object's method (set_delivery_hooks).
struct Delivering {
    Delivering() {
        if (state().before_delivery) state().before_delivery();
    }
    ~Delivering() {
        if (state().after_delivery) state().after_delivery();
    }
};

// A message as Max delivers it, by the types the method registered: to the
// method of its selector, else to the object's catch-all.
void *deliver(void *op, t_symbol *msg, long argc, t_atom *argp) {
    ObjectRec *rec = record_of(op);
    if (!rec || !msg) return nullptr;
    auto it = rec->cls->methods.find(msg->s_name);
    if (it == rec->cls->methods.end()) it = rec->cls->methods.find("anything");
    if (it == rec->cls->methods.end()) {
        state().console.push_back(
            Line{Line::Error, op, rec->cls->name + ": doesn't understand \"" + msg->s_name + "\""});
        return nullptr;
    }
    const MethodRec &m = it->second;
    Delivering delivering;
    if (m.types.empty()) return reinterpret_cast<void *(*)(void *)>(m.fn)(op);
    if (m.types.size() == 1 && m.types[0] == A_GIMME)
        return reinterpret_cast<void *(*)(void *, t_symbol *, long, t_atom *)>(m.fn)(op, msg, argc, argp);
    if (m.types.size() == 1 && m.types[0] == A_LONG && argc == 1 && argp[0].a_type == A_LONG)
        return reinterpret_cast<void *(*)(void *, t_atom_long)>(m.fn)(op, argp[0].a_w.w_long);
    if (m.types.size() == 1 && m.types[0] == A_FLOAT && argc == 1 && argp[0].a_type == A_FLOAT)
        return reinterpret_cast<void *(*)(void *, double)>(m.fn)(op, argp[0].a_w.w_float);
    state().console.push_back(
        Line{Line::Error, op, std::string("stand-in: cannot deliver \"") + msg->s_name + "\""});
    return nullptr;
}

}  // namespace

}  // namespace standin

using namespace standin;

extern "C" {

// --- classes and objects -------------------------------------------------------------

t_class *class_new(const char *name, const method mnew, const method mfree, long size, const method,
                   short type, ...) {
    va_list ap;
    // Max declares the last named parameter a short, which va_start may not
    // name in standard C or C++; every ABI Max runs on puts the variadic
    // arguments after it all the same, and Max's own class_new has this
    // signature.  clang says so, g++ does not.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
    va_start(ap, type);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
    std::vector<short> types;
    if (type != A_NOTHING) {
        types.push_back(type);
        std::vector<short> rest = read_types(ap);
        types.insert(types.end(), rest.begin(), rest.end());
    }
    va_end(ap);
    auto c = std::make_unique<ClassRec>();
    c->name = name ? name : "";
    c->mnew = raw(mnew);
    c->mfree = raw(mfree);
    c->size = size;
    c->new_types = types;
    c->max.c_sym = gensym(c->name.c_str());
    c->max.c_size = static_cast<t_getbytes_size>(size);
    ClassRec *rec = c.get();
    state().classes.push_back(std::move(c));
    state().by_max[&rec->max] = rec;
    return &rec->max;
}

t_max_err class_addmethod(t_class *c, const method m, const char *name, ...) {
    auto it = state().by_max.find(c);
    if (it == state().by_max.end() || !name) return 1;
    va_list ap;
    va_start(ap, name);
    std::vector<short> types = read_types(ap);
    va_end(ap);
    it->second->methods[name] = MethodRec{raw(m), types};
    return 0;
}

t_max_err class_register(t_symbol *name_space, t_class *c) {
    auto it = state().by_max.find(c);
    if (it == state().by_max.end() || !name_space || std::strcmp(name_space->s_name, "box") != 0) return 1;
    it->second->registered = true;
    return 0;
}

void *object_alloc(t_class *c) {
    auto it = state().by_max.find(c);
    if (it == state().by_max.end()) return nullptr;
    void *x = std::calloc(1, static_cast<std::size_t>(it->second->size));
    if (!x) return nullptr;
    ObjectRec rec;
    rec.cls = it->second;
    state().objects.emplace(x, std::move(rec));
    return x;
}

t_max_err object_free(void *x) {
    ObjectRec *rec = record_of(x);
    if (!rec) return 1;
    ClassRec *cls = rec->cls;
    state().freeing = x;
    if (cls->mfree) reinterpret_cast<void (*)(void *)>(cls->mfree)(x);
    state().freeing = nullptr;
    rec = record_of(x);
    if (rec) {
        // Max breaks the chain of an object that goes without z_dsp_free.
        if (!rec->chain.empty())
            state().console.push_back(Line{Line::Error, x, "stand-in: freed while in the chain"});
        for (void *o : rec->outlets) state().outlets.erase(o);
    }
    state().objects.erase(x);
    std::free(x);
    return 0;
}

void *typedmess(t_object *op, t_symbol *msg, short argc, t_atom *argp) {
    return deliver(op, msg, argc, argp);
}

// The typed call whose count is a long, for messages longer than a short.
t_max_err object_method_typed(void *x, t_symbol *s, long ac, t_atom *av, t_atom *) {
    if (!record_of(x)) return 1;
    deliver(x, s, ac, av);
    return 0;
}

// object_method: the SDK's macro pads every call to eight pointer-sized
// arguments and calls this.  A method takes as many of them as its
// prototype has, as in Max; those here take at most four.
void *object_method_imp(void *x, void *sym, void *p1, void *p2, void *p3, void *p4, void *, void *, void *,
                        void *) {
    ObjectRec *rec = record_of(x);
    auto *s = static_cast<t_symbol *>(sym);
    if (!rec || !s) return nullptr;
    auto it = rec->cls->methods.find(s->s_name);
    if (it == rec->cls->methods.end()) return nullptr;
    return reinterpret_cast<void *(*)(void *, void *, void *, void *, void *)>(it->second.fn)(x, p1, p2, p3,
                                                                                              p4);
}

// --- outlets ---------------------------------------------------------------------------

void *outlet_new(void *x, const char *type) {
    ObjectRec *rec = record_of(x);
    if (!rec) return nullptr;
    auto *o = new char;  // a distinct address per outlet
    OutletRec out{x, type ? type : "", static_cast<int>(rec->outlets.size())};
    state().outlets.emplace(o, out);
    state().outlet_memory.emplace_back(o);
    rec->outlets.push_back(o);
    return o;
}

void *intout(void *x) { return outlet_new(x, "int"); }
void *listout(void *x) { return outlet_new(x, "list"); }

void *outlet_int(t_outlet *x, t_atom_long n) {
    t_atom a;
    atom_setlong(&a, n);
    record_sent(x, "int", 1, &a);
    return nullptr;
}

void *outlet_float(t_outlet *x, double v) {
    t_atom a;
    atom_setfloat(&a, v);
    record_sent(x, "float", 1, &a);
    return nullptr;
}

void *outlet_bang(t_outlet *x) {
    record_sent(x, "bang", 0, nullptr);
    return nullptr;
}

void *outlet_list(t_outlet *x, t_symbol *, short ac, t_atom *av) {
    record_sent(x, "list", ac, av);
    return nullptr;
}

void *outlet_anything(t_outlet *x, t_symbol *s, short ac, t_atom *av) {
    record_sent(x, s ? s->s_name : "", ac, av, true);
    return nullptr;
}

// --- console ---------------------------------------------------------------------------

void post(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    log_line(Line::Post, nullptr, fmt, ap);
    va_end(ap);
}

void error(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    log_line(Line::Error, nullptr, fmt, ap);
    va_end(ap);
}

void object_post(t_object *x, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    log_line(Line::Post, x, fmt, ap);
    va_end(ap);
}

void object_error(t_object *x, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    log_line(Line::Error, x, fmt, ap);
    va_end(ap);
}

void ouchstring(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    log_line(Line::Alert, nullptr, fmt, ap);
    va_end(ap);
}

// --- memory, symbols, atoms ------------------------------------------------------------

t_ptr sysmem_newptr(t_ptr_size size) {
    char *p = static_cast<char *>(std::malloc(size > 0 ? size : 1));
    if (p) state().blocks.insert(p);
    return p;
}

void sysmem_freeptr(void *ptr) {
    if (!ptr) return;
    // Max may still tick a box's perform routines until it leaves the chain.
    if (ObjectRec *rec = record_of(state().freeing); rec && !rec->chain.empty())
        state().console.push_back(
            Line{Line::Error, state().freeing, "stand-in: memory freed while its object is in the chain"});
    if (state().blocks.erase(ptr) == 0) {
        state().console.push_back(
            Line{Line::Error, nullptr, "stand-in: sysmem_freeptr of a block never given"});
        return;
    }
    std::free(ptr);
}

t_symbol *gensym(const char *s) {
    const std::string key = s ? s : "";
    auto &table = state().symbols;
    auto it = table.find(key);
    if (it != table.end()) return it->second.get();
    auto sym = std::make_unique<t_symbol>();
    auto text = std::make_unique<char[]>(key.size() + 1);
    std::memcpy(text.get(), key.c_str(), key.size() + 1);
    sym->s_name = text.get();
    sym->s_thing = nullptr;
    state().symbol_text.push_back(std::move(text));
    return table.emplace(key, std::move(sym)).first->second.get();
}

t_max_err atom_setlong(t_atom *a, t_atom_long b) {
    a->a_type = A_LONG;
    a->a_w.w_long = b;
    return 0;
}

t_max_err atom_setfloat(t_atom *a, double b) {
    a->a_type = A_FLOAT;
    a->a_w.w_float = b;
    return 0;
}

t_max_err atom_setsym(t_atom *a, t_symbol *b) {
    a->a_type = A_SYM;
    a->a_w.w_sym = b;
    return 0;
}

// --- threads and qelems ----------------------------------------------------------------

short systhread_ismainthread(void) { return this_thread() == state().main_thread ? 1 : 0; }

void *qelem_new(void *obj, method fn) {
    auto *q = new QelemRec{obj, reinterpret_cast<void (*)(void *)>(reinterpret_cast<void (*)()>(fn))};
    state().qelems.insert(q);
    return q;
}

// As Max's, callable from any thread, and allocating nothing.
void qelem_set(t_qelem *x) {
    auto *q = static_cast<QelemRec *>(x);
    State &st = state();
    QueueGuard guard;
    if (q->freed || q->set) return;
    q->set = true;
    (st.last_set ? st.last_set->next_set : st.first_set) = q;
    st.last_set = q;
}

void qelem_free(t_qelem *x) {
    auto *q = static_cast<QelemRec *>(x);
    State &st = state();
    if (!st.qelems.count(q) || q->freed) return;
    {
        QueueGuard guard;
        QelemRec *before = nullptr;
        for (QelemRec *p = st.first_set; p; before = p, p = p->next_set) {
            if (p != q) continue;
            (before ? before->next_set : st.first_set) = q->next_set;
            if (st.last_set == q) st.last_set = before;
            break;
        }
        q->next_set = nullptr;
        q->set = false;
        q->freed = true;
    }
    // One freed from inside its own function goes once the function is done.
    if (q->running) return;
    state().qelems.erase(q);
    delete q;
}

// --- files -----------------------------------------------------------------------------

short locatefile_extended(char *name, short *outvol, t_fourcc *outtype, const t_fourcc *filetypelist,
                          short numtypes) {
    if (!name) return 1;
    std::span<const uint32_t> types;
    if (filetypelist && numtypes > 0) types = {filetypelist, static_cast<std::size_t>(numtypes)};
    fileservices::SearchPath search{state().search, ""};
    auto found = fileservices::locate(name, search, types);
    if (!found) return 1;
    std::snprintf(name, MAX_FILENAME_CHARS, "%s", found->name.c_str());
    if (outvol) *outvol = path_id(found->folder);
    if (outtype) *outtype = found->type;
    return 0;
}

short open_dialog(char *name, short *volptr, t_fourcc *typeptr, t_fourcc *, short) {
    State &st = state();
    if (st.dialog_cancel || st.dialog_name.empty()) return 1;
    std::snprintf(name, MAX_FILENAME_CHARS, "%s", st.dialog_name.c_str());
    if (volptr) *volptr = path_id(st.dialog_folder);
    if (typeptr) *typeptr = fileservices::file_type(st.dialog_folder, st.dialog_name);
    return 0;
}

short path_opensysfile(const char *name, const short path, t_filehandle *ref, short perm) {
    const std::string *folder = path_folder(path);
    if (!folder || !name || !ref || perm != READ_PERM) return 1;
    auto file = fileservices::DataFile::open_read(fileservices::join(*folder, name));
    if (!file) return 1;
    auto *key = reinterpret_cast<t_filehandle>(file.get());
    state().files.emplace(key, std::move(file));
    *ref = key;
    return 0;
}

t_max_err path_toabsolutesystempath(const short in_path, const char *in_filename, char *out_filepath) {
    const std::string *folder = path_folder(in_path);
    if (!folder || !out_filepath) return 1;
    const std::string name = in_filename ? in_filename : "";
    const std::string full = name.empty() ? *folder : fileservices::join(*folder, name);
    std::snprintf(out_filepath, MAX_PATH_CHARS, "%s", full.c_str());
    return 0;
}

t_max_err sysfile_geteof(t_filehandle f, t_ptr_size *logeof) {
    auto it = state().files.find(f);
    if (it == state().files.end() || !logeof) return 1;
    *logeof = it->second->size();
    return 0;
}

t_max_err sysfile_getpos(t_filehandle f, t_ptr_size *filepos) {
    auto it = state().files.find(f);
    if (it == state().files.end() || !filepos) return 1;
    *filepos = static_cast<t_ptr_size>(state().positions[f]);
    return 0;
}

t_max_err sysfile_setpos(t_filehandle f, t_sysfile_pos_mode mode, t_ptr_int offset) {
    auto it = state().files.find(f);
    if (it == state().files.end()) return 1;
    int64_t &pos = state().positions[f];
    const auto eof = static_cast<int64_t>(it->second->size());
    int64_t base = mode == SYSFILE_FROMSTART ? 0 : mode == SYSFILE_FROMLEOF ? eof : pos;
    const int64_t target = base + static_cast<int64_t>(offset);
    if (target < 0 || (!state().lenient_seek && target > eof)) return 1;
    pos = target;
    return 0;
}

t_max_err sysfile_read(t_filehandle f, t_ptr_size *count, void *bufptr) {
    auto it = state().files.find(f);
    if (it == state().files.end() || !count) return 1;
    int64_t &pos = state().positions[f];
    const auto eof = static_cast<int64_t>(it->second->size());
    const int64_t left = pos < eof ? eof - pos : 0;
    const auto n = static_cast<std::size_t>(std::min<int64_t>(left, static_cast<int64_t>(*count)));
    if (n > 0 && !it->second->read_at(static_cast<uint64_t>(pos), {static_cast<uint8_t *>(bufptr), n}))
        return 1;
    const bool whole = n == *count;
    pos += static_cast<int64_t>(n);
    *count = n;
    return whole ? 0 : 1;
}

t_max_err sysfile_close(t_filehandle f) {
    state().positions.erase(f);
    return state().files.erase(f) == 1 ? 0 : 1;
}

}  // extern "C"
