// maxad_probe: a plug-in written to the project's Max API declarations, as
// tessel~ and brindle~ are, whose methods say exactly what reached them.
// Built into a Max external by the adapter, it shows from the stand-in's
// side what each prototype and coercion delivers.
//
//   new ARGS...        posts "new" and each atom; "refuse" as the first
//                      atom refuses the box
//   float_arg F        posts the double received and its float, in %a
//   long_arg N         posts the 32-bit value received
//   pair N F           A_LONG, A_FLOAT: posts both
//   name [S]           A_DEFSYM: posts the symbol, '' when absent
//   int N, float F     Max's own int and float messages: posts the value
//   list ...           A_GIMME: posts each atom as L:n, F:%a or S:text
//   echo ...           A_GIMME: sends itself back out of the left outlet
//   aslist ...         the atoms out of the left outlet by outlet_list
//   anylist ...        the same by outlet_anything with the selector list
//   count              sends 2147483647 and -7 out of the right outlet
//   later ...          defer_low: the atoms come out of the left outlet
//                      as "deferred ..." once the queue runs
//   assist             "probe inlet N" / "probe outlet N"
//   any other message  the catch-all (anything): posts "anything", the
//                      selector and each atom as list does
#include <cstdio>
#include <cstring>

#include "ext.h"

namespace {

struct t_probe {
    t_object ob;
    void *left;   // messages
    void *right;  // counts
};

t_messlist *probe_class = nullptr;

template <class R, class... A>
method as_method(R (*f)(A...)) {
    return reinterpret_cast<method>(reinterpret_cast<void (*)()>(f));
}

void post_atoms(const char *what, short ac, const t_atom *av) {
    char line[512];
    int n = std::snprintf(line, sizeof line, "%s", what);
    for (short i = 0; i < ac && n > 0 && n < static_cast<int>(sizeof line); ++i) {
        const t_atom &a = av[i];
        const std::size_t left = sizeof line - static_cast<std::size_t>(n);
        if (a.a_type == A_LONG) {
            n += std::snprintf(line + n, left, " L:%d", static_cast<int>(a.a_w.w_long));
        } else if (a.a_type == A_FLOAT) {
            n += std::snprintf(line + n, left, " F:%a", static_cast<double>(a.a_w.w_float));
        } else if (a.a_type == A_SYM) {
            n += std::snprintf(line + n, left, " S:%s", a.a_w.w_sym->s_name);
        }
    }
    post("%s", line);
}

void *probe_new(t_symbol *, short ac, t_atom *av) {
    post_atoms("new", ac, av);
    if (ac > 0 && av[0].a_type == A_SYM && std::strcmp(av[0].a_w.w_sym->s_name, "refuse") == 0) {
        error("probe: refused");
        return nullptr;
    }
    auto *x = static_cast<t_probe *>(newobject(probe_class));
    if (!x) return nullptr;
    x->right = intout(x);  // made first, so it stands right
    x->left = outlet_new(x, nullptr);
    return x;
}

void probe_free(t_probe *) { post("probe freed"); }

void probe_float_arg(t_probe *, double v) {
    post("float_arg %a %a", v, static_cast<double>(static_cast<float>(v)));
}

void probe_long_arg(t_probe *, int32_t n) { post("long_arg %d", static_cast<int>(n)); }

void probe_pair(t_probe *, int32_t n, double v) { post("pair %d %a", static_cast<int>(n), v); }

void probe_name(t_probe *, t_symbol *s) { post("name '%s'", s->s_name); }

void probe_int(t_probe *, int32_t n) { post("int %d", static_cast<int>(n)); }

void probe_float(t_probe *, double v) { post("float %a", v); }

void probe_list(t_probe *, t_symbol *, short ac, t_atom *av) { post_atoms("list", ac, av); }

void probe_echo(t_probe *x, t_symbol *s, short ac, t_atom *av) { outlet_anything(x->left, s, ac, av); }

void probe_aslist(t_probe *x, t_symbol *, short ac, t_atom *av) {
    outlet_list(x->left, gensym("list"), ac, av);
}

void probe_anylist(t_probe *x, t_symbol *, short ac, t_atom *av) {
    outlet_anything(x->left, gensym("list"), ac, av);
}

void probe_count(t_probe *x) {
    outlet_int(x->right, 2147483647);
    outlet_int(x->right, -7);
}

void probe_deferred(t_probe *x, t_symbol *, short ac, t_atom *av) {
    outlet_anything(x->left, gensym("deferred"), ac, av);
}

void probe_later(t_probe *x, t_symbol *s, short ac, t_atom *av) {
    defer_low(x, as_method(probe_deferred), s, ac, av);
}

void probe_anything(t_probe *, t_symbol *s, short ac, t_atom *av) {
    char what[300];
    std::snprintf(what, sizeof what, "anything %s", s->s_name);
    post_atoms(what, ac, av);
}

void probe_assist(t_probe *, void *, int32_t msg, int32_t index, char *dst) {
    std::sprintf(dst, "probe %s %d", msg == 1 ? "inlet" : "outlet", static_cast<int>(index));
}

}  // namespace

int main() {
    setup(&probe_class, as_method(probe_new), as_method(probe_free), static_cast<int32_t>(sizeof(t_probe)),
          nullptr, A_GIMME, 0);
    addmess(as_method(probe_float_arg), "float_arg", A_FLOAT, 0);
    addmess(as_method(probe_long_arg), "long_arg", A_LONG, 0);
    addmess(as_method(probe_pair), "pair", A_LONG, A_FLOAT, 0);
    addmess(as_method(probe_name), "name", A_DEFSYM, 0);
    addmess(as_method(probe_int), "int", A_LONG, 0);
    addmess(as_method(probe_float), "float", A_FLOAT, 0);
    addmess(as_method(probe_list), "list", A_GIMME, 0);
    addmess(as_method(probe_echo), "echo", A_GIMME, 0);
    addmess(as_method(probe_aslist), "aslist", A_GIMME, 0);
    addmess(as_method(probe_anylist), "anylist", A_GIMME, 0);
    addmess(as_method(probe_count), "count", 0);
    addmess(as_method(probe_later), "later", A_GIMME, 0);
    addmess(as_method(probe_assist), "assist", A_CANT, 0);
    addmess(as_method(probe_anything), "anything", A_GIMME, 0);
    return 0;
}
