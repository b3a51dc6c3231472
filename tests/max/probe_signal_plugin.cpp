// maxad_probe~: a signal plug-in written to the project's Max API
// declarations that leaves freeing to its host: its free function releases
// its work block and never calls z_dsp_free.  Its perform routine doubles
// the inlet's signal into the outlet through that block.
#include "ext.h"
#include "z_dsp.h"

namespace {

struct t_probe_signal {
    t_pxobject ob;
    float *block;  // 256 samples of work space
};

t_messlist *probe_signal_class = nullptr;

template <class R, class... A>
method as_method(R (*f)(A...)) {
    return reinterpret_cast<method>(reinterpret_cast<void (*)()>(f));
}

void *probe_signal_new() {
    auto *x = static_cast<t_probe_signal *>(newobject(probe_signal_class));
    if (!x) return nullptr;
    x->block = reinterpret_cast<float *>(t_getbytes(256 * sizeof(float)));
    z_dsp_setup(&x->ob, 1);
    outlet_new(x, "signal");
    return x;
}

void probe_signal_free(t_probe_signal *x) { t_freebytes(x->block, 256 * sizeof(float)); }

t_int *probe_signal_perform(t_int *w) {
    auto *x = reinterpret_cast<t_probe_signal *>(w[1]);
    const auto *in = reinterpret_cast<const float *>(w[2]);
    auto *out = reinterpret_cast<float *>(w[3]);
    const auto n = static_cast<int32_t>(w[4]);
    for (int32_t k = 0; k < n; ++k) x->block[k % 256] = 2.0f * in[k];
    for (int32_t k = 0; k < n; ++k) out[k] = x->block[k % 256];
    return w + 5;
}

void probe_signal_dsp(t_probe_signal *x, t_signal **sp, short *) {
    dsp_add(probe_signal_perform, 4, reinterpret_cast<t_int>(x), reinterpret_cast<t_int>(sp[0]->s_vec),
            reinterpret_cast<t_int>(sp[1]->s_vec), static_cast<t_int>(sp[0]->s_n));
}

}  // namespace

int main() {
    setup(&probe_signal_class, as_method(probe_signal_new), as_method(probe_signal_free),
          static_cast<int32_t>(sizeof(t_probe_signal)), nullptr, 0);
    addmess(as_method(probe_signal_dsp), "dsp", A_CANT, 0);
    z_add_signalmethod();
    return 0;
}
