#include "probe_classes.hpp"

#include <cstring>

#include "ext.h"
#include "ext_path.h"
#include "ext_sysfile.h"
#include "z_dsp.h"

int probe_live = 0;
int ramp_live = 0;

namespace {

struct t_probe {
    t_object ob;
    void *messages;  // outlet 0
    void *numbers;   // outlet 1
};

t_messlist *probe_class;

void *probe_new(int32_t n) {
    if (n < 0) {
        error("probe: cannot make %d", static_cast<int>(n));
        return nullptr;
    }
    auto *x = static_cast<t_probe *>(newobject(probe_class));
    x->numbers = intout(x);  // made first, so it stands right
    x->messages = outlet_new(x, nullptr);
    ++probe_live;
    return x;
}
void probe_free(t_probe *) { --probe_live; }
void probe_int(t_probe *x, int32_t n) { outlet_int(x->numbers, n); }
void probe_bang(t_probe *x) { outlet_bang(x->numbers); }
void probe_float(t_probe *x, double f) { outlet_float(x->messages, f); }
void probe_list(t_probe *x, t_symbol *s, short ac, t_atom *av) { outlet_list(x->messages, s, ac, av); }
void probe_echo(t_probe *x, t_symbol *s, short ac, t_atom *av) { outlet_anything(x->messages, s, ac, av); }
void probe_deferred(t_probe *x, t_symbol *, short ac, t_atom *av) {
    outlet_anything(x->messages, gensym("later"), ac, av);
}
void probe_later(t_probe *x, t_symbol *s, short ac, t_atom *av) {
    defer_low(x, (method)probe_deferred, s, ac, av);
}
// Outputs "WHAT NAME TEXT", TEXT the start of the file found, or MISSING
// when nothing was.
void probe_report(t_probe *x, short result, const char *what, const char *missing, char *name, short path) {
    if (result != 0) {
        outlet_anything(x->messages, gensym(missing), 0, nullptr);
        return;
    }
    char text[64] = "";
    t_filehandle fh = nullptr;
    if (path_opensysfile(name, path, &fh, READ_PERM) == 0) {
        int64_t count = sizeof text - 1;
        if (sysfile_read(fh, &count, text) == 0) text[count] = '\0';
        sysfile_close(fh);
    }
    t_atom av[2];
    atom_setsym(&av[0], gensym(name));
    atom_setsym(&av[1], gensym(text));
    outlet_anything(x->messages, gensym(what), 2, av);
}
const t_fourcc probe_types[] = {FOUR_CHAR_CODE('W', 'A', 'V', 'E')};
void probe_find(t_probe *x, t_symbol *s) {
    char name[MAX_FILENAME_CHARS] = "";
    std::strncat(name, s->s_name, sizeof name - 1);
    short path = 0;
    t_fourcc type = 0;
    short r = locatefile_extended(name, &path, &type, probe_types, 1);
    probe_report(x, r, "found", "missing", name, path);
}
void probe_choose(t_probe *x) {
    char name[MAX_FILENAME_CHARS] = "";
    short path = 0;
    t_fourcc type = 0;
    short r = open_dialog(name, &path, &type, probe_types, 1);
    probe_report(x, r, "chose", "cancelled", name, path);
}
void probe_say(t_probe *, t_symbol *s) { post("probe says %s", s->s_name); }
void probe_complain(t_probe *, t_symbol *s) { error("probe: %s", s->s_name); }
void probe_alarm(t_probe *, t_symbol *s) { ouchstring("probe alarm %s", s->s_name); }

struct t_ramp {
    t_pxobject ob;
    int32_t outlets;
    float *outs[4];  // the outlet vectors, one perform argument whatever their number
};

t_messlist *ramp_class;

t_int *ramp_perform(t_int *w) {
    auto *x = reinterpret_cast<t_ramp *>(w[1]);
    auto *in = reinterpret_cast<float *>(w[2]);
    auto **out = reinterpret_cast<float **>(w[3]);
    const auto n = static_cast<int>(w[4]);
    if (x->ob.z_disabled) return w + 5;
    for (int j = 0; j < x->outlets; ++j)
        for (int i = 0; i < n; ++i) out[j][i] = in[i] * static_cast<float>(j + 1);
    return w + 5;
}

void ramp_dsp(t_ramp *x, t_signal **sp, short *) {
    for (int j = 0; j < x->outlets; ++j) x->outs[j] = sp[1 + j]->s_vec;
    dsp_add(ramp_perform, 4, x, sp[0]->s_vec, x->outs, static_cast<t_int>(sp[0]->s_n));
}
void *ramp_new(int32_t n) {
    if (n == 0) n = 1;
    if (n < 1 || n > 4) {
        error("ramp~: %d outlets is out of range", static_cast<int>(n));
        return nullptr;
    }
    auto *x = static_cast<t_ramp *>(newobject(ramp_class));
    x->outlets = n;
    z_dsp_setup(&x->ob, 1);
    for (int j = 0; j < n; ++j) outlet_new(x, "signal");
    ++ramp_live;
    return x;
}
void ramp_free(t_ramp *x) {
    z_dsp_free(&x->ob);
    --ramp_live;
}

}  // namespace

int probe_setup() {
    setup(&probe_class, (method)probe_new, (method)probe_free, sizeof(t_probe), 0, A_DEFLONG, 0);
    addmess((method)probe_int, "int", A_LONG, 0);
    addmess((method)probe_float, "float", A_FLOAT, 0);
    addmess((method)probe_list, "list", A_GIMME, 0);
    addmess((method)probe_echo, "echo", A_GIMME, 0);
    addmess((method)probe_later, "later", A_GIMME, 0);
    addmess((method)probe_find, "find", A_SYM, 0);
    addmess((method)probe_choose, "choose", 0);
    addmess((method)probe_say, "say", A_SYM, 0);
    addmess((method)probe_complain, "complain", A_SYM, 0);
    addmess((method)probe_alarm, "alarm", A_SYM, 0);
    addbang((method)probe_bang);
    return 0;
}

int ramp_setup() {
    setup(&ramp_class, (method)ramp_new, (method)ramp_free, sizeof(t_ramp), 0, A_DEFLONG, 0);
    addmess((method)ramp_dsp, "dsp", A_CANT, 0);
    z_add_signalmethod();
    return 0;
}
