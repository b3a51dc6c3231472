// Classes and boxes: a plug-in's bundle loaded and its main run, the classes
// it registers, the boxes made of them, and messages delivered to a box's
// methods typed as its class registered them.
#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host_impl.hpp"

namespace headless {

namespace {

// Bundles stay loaded for the life of the process: a plug-in's class slot
// may be written again by a later host, but its code never goes away under
// a pointer some host still holds.
std::map<std::string, void *> &loaded_bundles() {
    static std::map<std::string, void *> bundles;
    return bundles;
}

}  // namespace

Box *box_for(Host::Impl *I, void *x) {
    if (!I) return nullptr;
    if (I->creating && I->creating->obj == x) return I->creating;
    return I->box_of(x);
}

Box *Host::Impl::box_of(void *x) const {
    if (!x) return nullptr;
    auto *ob = static_cast<t_object *>(x);
    for (auto &b : boxes) {
        if (b.get() == ob->o_box && b->obj == x) return b.get();
    }
    return nullptr;
}

bool Host::register_class(const std::string &cls, int (*entry)()) {
    impl_->registering = cls;
    entry();
    impl_->registering.clear();
    impl_->setting_up = nullptr;
    if (!impl_->classes.count(cls)) {
        impl_->host_line("the entry point of " + cls + " registered no class");
        return false;
    }
    return true;
}

bool Host::load_class(const std::string &cls) {
    if (impl_->classes.count(cls)) return true;
    for (const auto &dir : impl_->plugin_dirs) {
        std::string path = dir + "/" + cls + ".so";
        if (!std::filesystem::exists(path)) continue;
        void *h = nullptr;
        auto &bundles = loaded_bundles();
        if (auto it = bundles.find(path); it != bundles.end()) {
            h = it->second;
        } else {
            h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!h) {
                const char *why = dlerror();
                impl_->host_line("cannot load " + path + ": " + (why ? why : "?"));
                continue;
            }
            bundles[path] = h;
        }
        auto entry = reinterpret_cast<int (*)()>(dlsym(h, "main"));
        if (!entry) {
            impl_->host_line(path + " exports no main");
            continue;
        }
        impl_->register_bundle_info(dir + "/" + cls + ".info");
        return register_class(cls, entry);
    }
    impl_->host_line("no bundle for class " + cls);
    return false;
}

Box *Host::new_box(const std::string &name, const std::string &cls, std::span<const t_atom> args) {
    Impl &I = *impl_;
    if (find(name)) {
        I.host_line("a box named " + name + " exists already");
        return nullptr;
    }
    if (!load_class(cls)) return nullptr;
    messlist *c = I.classes[cls].get();
    auto box = std::make_unique<Box>();
    box->name = name;
    box->cls = c;
    Box *b = box.get();
    I.boxes.push_back(std::move(box));

    void *result = nullptr;
    hostcommon::Delivery made = hostcommon::Delivery::Done;
    {
        Impl::Scope scope(I, b);
        Box *saved = I.creating;
        I.creating = b;
        made = hostcommon::construct(
            c->new_fn, c->new_types, gensym(cls.c_str()), hostcommon::MaxAtoms{args},
            [&](t_atom *out) { return hostcommon::copy_atoms(args, out); }, &result);
        I.creating = saved;
    }
    if (made == hostcommon::Delivery::BadArguments)
        I.console(ConsoleLine::Error, cls + ": bad arguments for message \"new\"");
    if (made == hostcommon::Delivery::TooManyAtoms)
        I.console(ConsoleLine::Error, hostcommon::too_many_atoms(cls, "new", args.size()));
    if (!result || result != b->obj) {
        if (result && result != b->obj) I.host_line(cls + ": new returned a record the host did not make");
        // Whatever the refused creation still holds is reported, then freed.
        int held = 0;
        for (auto it = I.blocks.begin(); it != I.blocks.end();) {
            if (it->second.owner == b) {
                ++held;
                std::free(it->first);
                it = I.blocks.erase(it);
            } else {
                ++it;
            }
        }
        if (held)
            I.host_line(cls + " " + name + ": " + std::to_string(held) + " block(s) held by a refused box");
        // Work a refused creation queued must not run on its discarded record.
        std::erase_if(I.deferred, [b](const Deferred &d) { return d.box == b; });
        std::free(b->record_mem);
        std::erase_if(I.boxes, [b](const auto &p) { return p.get() == b; });
        return nullptr;
    }
    b->feeds.resize(b->sig_inlets);
    b->alias.assign(b->sig_inlets, -1);
    b->recorded.resize(b->signal_outlets());
    if (I.running) I.build_chain();
    return b;
}

Box *Host::find(const std::string &name) const {
    for (auto &b : impl_->boxes)
        if (b->name == name) return b.get();
    return nullptr;
}

void Host::send(Box *b, std::span<const t_atom> atoms) {
    if (!b || atoms.empty()) return;
    const t_atom &first = atoms[0];
    if (first.a_type == A_SYM) {
        send_message(b, first.a_w.w_sym, atoms.subspan(1));
    } else if (atoms.size() == 1) {
        send_message(b, gensym(first.a_type == A_LONG ? "int" : "float"), atoms);
    } else {
        send_message(b, gensym("list"), atoms);
    }
}

void Host::send_message(Box *b, t_symbol *selector, std::span<const t_atom> args) {
    Impl &I = *impl_;
    if (!b) return;
    const std::string &cls = b->cls->name;
    const auto to = hostcommon::route(b->cls->bindings, selector->s_name, hostcommon::NumberConversion::None);
    if (!to.binding) {
        I.console(ConsoleLine::Error, cls + ": doesn't understand \"" + selector->s_name + "\"");
        return;
    }
    Impl::Scope scope(I, b);
    // Without number conversions the method is the selector's own, or the
    // catch-all, which takes the selector too.
    const auto done =
        hostcommon::deliver(to.binding->fn, to.binding->types, b->obj, selector, hostcommon::MaxAtoms{args},
                            [&](t_atom *out) { return hostcommon::copy_atoms(args, out); });
    if (done == hostcommon::Delivery::TooManyAtoms)
        I.console(ConsoleLine::Error, hostcommon::too_many_atoms(cls, selector->s_name, args.size()));
    if (done == hostcommon::Delivery::BadArguments)
        I.console(ConsoleLine::Error, cls + ": bad arguments for message \"" + selector->s_name + "\"");
}

void Host::free_box(Box *b) {
    Impl &I = *impl_;
    if (!b) return;
    I.remove_from_chain(b);
    std::erase_if(I.deferred, [b](const Deferred &d) { return d.box == b; });
    if (b->cls->free_fn) {
        Impl::Scope scope(I, b);
        reinterpret_cast<void (*)(void *)>(b->cls->free_fn)(b->obj);
    }
    // Again: the free function itself may have queued work.
    std::erase_if(I.deferred, [b](const Deferred &d) { return d.box == b; });
    int held = 0;
    int64_t bytes = 0;
    for (auto it = I.blocks.begin(); it != I.blocks.end();) {
        if (it->second.owner == b) {
            ++held;
            bytes += it->second.size;
            std::free(it->first);
            it = I.blocks.erase(it);
        } else {
            ++it;
        }
    }
    if (held) {
        I.host_line(b->cls->name + " " + b->name + ": " + std::to_string(held) + " block(s) of " +
                    std::to_string(bytes) + " bytes still held after free");
    }
    std::free(b->record_mem);
    std::erase_if(I.boxes, [b](const auto &p) { return p.get() == b; });
    if (I.running) I.build_chain();
}

std::string Host::assist(Box *b, int32_t msg, int32_t index) {
    char buf[512] = "<untouched>";
    auto it = b->cls->bindings.find("assist");
    if (it != b->cls->bindings.end()) {
        Impl::Scope scope(*impl_, b);
        reinterpret_cast<void (*)(void *, void *, int32_t, int32_t, char *)>(it->second.fn)(b->obj, b, msg,
                                                                                            index, buf);
    }
    buf[sizeof buf - 1] = '\0';
    return buf;
}

}  // namespace headless

using headless::Box;
using headless::Host;
using headless::impl;

extern "C" {

void setup(t_messlist **ident, method makefun, method freefun, int32_t size, method menufun, ...) {
    (void)menufun;
    Host::Impl *I = impl();
    if (!I) return;
    va_list ap;
    va_start(ap, menufun);
    std::vector<short> types = hostcommon::read_types(ap);
    va_end(ap);
    std::string name = I->registering.empty() ? "unnamed" : I->registering;
    auto cls = std::make_unique<messlist>(name, makefun, freefun, size, types);
    if (auto why = hostcommon::setup_refusal(size, types, "host")) {
        I->host_line(name + ": " + *why);
        return;
    }
    messlist *c = cls.get();
    I->classes[name] = std::move(cls);
    I->setting_up = c;
    if (ident) *ident = c;
}

void addmess(method f, const char *selector, ...) {
    Host::Impl *I = impl();
    if (!I || !I->setting_up || !selector) return;
    va_list ap;
    va_start(ap, selector);
    std::vector<short> types = hostcommon::read_types(ap);
    va_end(ap);
    if (auto why = hostcommon::binding_refusal(selector, types, "host")) {
        I->host_line(I->setting_up->name + ": " + *why);
        return;
    }
    I->setting_up->bindings[selector] = messlist::Binding{f, types};
}

void addbang(method f) {
    Host::Impl *I = impl();
    if (!I || !I->setting_up) return;
    I->setting_up->bindings["bang"] = messlist::Binding{f, {}};
}

void *newobject(void *cls) {
    Host::Impl *I = impl();
    if (!I || !cls) return nullptr;
    auto *c = static_cast<messlist *>(cls);
    Box *b = I->creating;
    if (!b || b->cls != c || b->obj) {
        I->host_line(c->name + ": newobject outside its own creation");
        return nullptr;
    }
    void *mem = hostcommon::new_record(c, c->size, b);
    if (!mem) return nullptr;
    b->obj = mem;
    b->record_mem = mem;
    return mem;
}

}  // extern "C"
