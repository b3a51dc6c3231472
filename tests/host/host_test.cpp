// The headless host as plug-ins see it: typed dispatch with Max's coercions,
// outlet order and recording, block accounting, the DSP chain and the
// deferred queue.  Driven by small classes defined here.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "ext.h"
#include "host.hpp"
#include "z_dsp.h"

using headless::ConsoleLine;
using headless::float_atom;
using headless::Host;
using headless::long_atom;
using headless::sym_atom;

namespace {

// --- a control class that records what its methods got -----------------

struct t_probe {
    t_object ob;
    void *right;  // made first: stands right
    void *left;
};

t_messlist *probe_class;
std::vector<std::string> calls;

void probe_later(t_probe *, t_symbol *s, short ac, t_atom *av);

void *probe_new(int32_t n, double f, t_symbol *s) {
    calls.push_back("new " + std::to_string(n) + " " + std::to_string(f) + " " + s->s_name);
    auto *x = static_cast<t_probe *>(newobject(probe_class));
    if (n == -2) defer_low(x, (method)probe_later, gensym("refused"), 0, nullptr);
    if (n < 0) {
        error("probe: refused %d", static_cast<int>(n));
        return nullptr;
    }
    x->right = intout(x);
    x->left = listout(x);
    return x;
}
void probe_free(t_probe *x) {
    calls.push_back("free");
    defer_low(x, (method)probe_later, gensym("freed"), 0, nullptr);
}
void probe_long(t_probe *x, int32_t n) {
    calls.push_back("long " + std::to_string(n));
    outlet_int(x->right, n);
}
void probe_float(t_probe *, double f) { calls.push_back("float " + std::to_string(f)); }
void probe_sym(t_probe *, t_symbol *s) { calls.push_back(std::string("sym ") + s->s_name); }
void probe_gimme(t_probe *x, t_symbol *s, short ac, t_atom *av) {
    calls.push_back(std::string("gimme ") + s->s_name + " " + std::to_string(ac));
    outlet_list(x->left, gensym("list"), ac, av);
}
void probe_bang(t_probe *) { calls.push_back("bang"); }
void probe_later(t_probe *, t_symbol *s, short ac, t_atom *av) {
    calls.push_back(std::string("later ") + s->s_name + " " + std::to_string(ac) + (av ? " atoms" : " null"));
}
void probe_defer(t_probe *x, t_symbol *s) { defer_low(x, (method)probe_later, s, 0, nullptr); }
void probe_leak(t_probe *, int32_t n) { getbytes(n); }

int probe_main() {
    setup(&probe_class, (method)probe_new, (method)probe_free, sizeof(t_probe), 0, A_DEFLONG, A_FLOAT,
          A_DEFSYM, 0);
    addmess((method)probe_long, "int", A_LONG, 0);
    addmess((method)probe_float, "float", A_FLOAT, 0);
    addmess((method)probe_sym, "name", A_SYM, 0);
    addmess((method)probe_gimme, "list", A_GIMME, 0);
    addmess((method)probe_defer, "open", A_DEFSYM, 0);
    addmess((method)probe_leak, "leak", A_LONG, 0);
    addbang((method)probe_bang);
    return 0;
}

// --- a signal class: out0 = 2 * in0, out1 = in1 + count[1] ---------------

struct t_gain {
    t_pxobject ob;
    short counts[2];
    int dsp_calls;
};
t_messlist *gain_class;

t_int *gain_perform(t_int *w) {
    auto *x = reinterpret_cast<t_gain *>(w[1]);
    auto *in0 = reinterpret_cast<float *>(w[2]);
    auto *in1 = reinterpret_cast<float *>(w[3]);
    auto *out0 = reinterpret_cast<float *>(w[4]);
    auto *out1 = reinterpret_cast<float *>(w[5]);
    const auto n = static_cast<int>(w[6]);
    if (x->ob.z_disabled) return w + 7;
    for (int i = 0; i < n; ++i) {
        float a = in0[i], b = in1[i];
        out0[i] = 2 * a;
        out1[i] = b + x->counts[1];
    }
    return w + 7;
}
void gain_dsp(t_gain *x, t_signal **sp, short *count) {
    ++x->dsp_calls;
    x->counts[0] = count[0];
    x->counts[1] = count[1];
    if (count[0])
        dsp_add(gain_perform, 6, x, sp[0]->s_vec, sp[1]->s_vec, sp[2]->s_vec, sp[3]->s_vec,
                static_cast<t_int>(sp[0]->s_n));
}
void *gain_new() {
    auto *x = static_cast<t_gain *>(newobject(gain_class));
    z_dsp_setup(&x->ob, 2);
    outlet_new(x, "signal");
    outlet_new(x, "signal");
    return x;
}
void gain_free(t_gain *x) { z_dsp_free(&x->ob); }
int gain_main() {
    setup(&gain_class, (method)gain_new, (method)gain_free, sizeof(t_gain), 0, 0);
    addmess((method)gain_dsp, "dsp", A_CANT, 0);
    z_add_signalmethod();
    return 0;
}

std::vector<std::string> lines(const Host &h, ConsoleLine::Kind kind) {
    std::vector<std::string> out;
    for (const auto &l : h.console)
        if (l.kind == kind) out.push_back(l.text);
    return out;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        ASSERT_TRUE(host.register_class("probe", probe_main));
        ASSERT_TRUE(host.register_class("gain~", gain_main));
    }
    Host host;
};

}  // namespace

TEST_F(HostTest, CreationCoercesArgumentsAgainstRegisteredTypes) {
    // An int where a float is due, a float where an int is due (truncated),
    // and missing arguments as 0 and the empty symbol.
    const t_atom args[] = {float_atom(-2.75f * -1), long_atom(3)};
    ASSERT_NE(host.new_box("a", "probe", args), nullptr);
    ASSERT_NE(host.new_box("b", "probe"), nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"new 2 3.000000 ", "new 0 0.000000 "}));

    const t_atom bad[] = {sym_atom("x")};
    EXPECT_EQ(host.new_box("c", "probe", bad), nullptr);
    EXPECT_EQ(lines(host, ConsoleLine::Error),
              (std::vector<std::string>{"probe: bad arguments for message \"new\""}));
    EXPECT_EQ(host.find("c"), nullptr);
}

TEST_F(HostTest, RefusedCreationLeavesNoBox) {
    const t_atom args[] = {long_atom(-1)};
    EXPECT_EQ(host.new_box("a", "probe", args), nullptr);
    EXPECT_EQ(host.find("a"), nullptr);
    EXPECT_EQ(lines(host, ConsoleLine::Error), (std::vector<std::string>{"probe: refused -1"}));
    // The name is free again.
    EXPECT_NE(host.new_box("a", "probe"), nullptr);
}

TEST_F(HostTest, SelectorFollowsTheFirstAtom) {
    auto *b = host.new_box("a", "probe");
    calls.clear();
    const t_atom one_int[] = {long_atom(5)};
    const t_atom one_float[] = {float_atom(2.5f)};
    const t_atom numbers[] = {long_atom(1), float_atom(2.0f)};
    const t_atom name[] = {sym_atom("name"), sym_atom("foo"), long_atom(9)};
    const t_atom bang[] = {sym_atom("bang")};
    host.send(b, one_int);
    host.send(b, one_float);
    host.send(b, numbers);
    host.send(b, name);  // extra atoms ignored
    host.send(b, bang);
    EXPECT_EQ(calls,
              (std::vector<std::string>{"long 5", "float 2.500000", "gimme list 2", "sym foo", "bang"}));
}

TEST_F(HostTest, CoercionOfMessageArguments) {
    auto *b = host.new_box("a", "probe");
    calls.clear();
    host.send_message(b, gensym("int"), std::vector<t_atom>{float_atom(-7.9f)});
    host.send_message(b, gensym("int"), std::vector<t_atom>{float_atom(1e20f)});
    host.send_message(b, gensym("int"), std::vector<t_atom>{float_atom(NAN)});
    host.send_message(b, gensym("float"), std::vector<t_atom>{long_atom(3)});
    host.send_message(b, gensym("float"), std::vector<t_atom>{});
    EXPECT_EQ(calls, (std::vector<std::string>{"long -7", "long 2147483647", "long 0", "float 3.000000",
                                               "float 0.000000"}));
}

TEST_F(HostTest, BadArgumentsAndUnknownSelectorsCallNothing) {
    auto *b = host.new_box("a", "probe");
    calls.clear();
    host.send_message(b, gensym("int"), std::vector<t_atom>{sym_atom("x")});
    host.send_message(b, gensym("name"), std::vector<t_atom>{long_atom(1)});
    host.send_message(b, gensym("frob"), std::vector<t_atom>{});
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(lines(host, ConsoleLine::Error),
              (std::vector<std::string>{"probe: bad arguments for message \"int\"",
                                        "probe: bad arguments for message \"name\"",
                                        "probe: doesn't understand \"frob\""}));
}

// A method's atom count is a short: 65 539 atoms would arrive as 3.
TEST_F(HostTest, MessagesLongerThanAShortCountAreRefused) {
    auto *b = host.new_box("a", "probe");
    calls.clear();
    host.send_message(b, gensym("list"), std::vector<t_atom>(65539, long_atom(1)));
    host.send_message(b, gensym("list"), std::vector<t_atom>(32768, long_atom(1)));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(lines(host, ConsoleLine::Error),
              (std::vector<std::string>{
                  "probe: message \"list\" of 65539 atoms refused: at most 32767 are taken",
                  "probe: message \"list\" of 32768 atoms refused: at most 32767 are taken"}));
    host.send_message(b, gensym("list"), std::vector<t_atom>(32767, long_atom(1)));
    EXPECT_EQ(calls, std::vector<std::string>{"gimme list 32767"});
}

TEST_F(HostTest, OutletsStandLeftOfEarlierOnesAndRecordInOrder) {
    auto *b = host.new_box("a", "probe");
    host.send(b, std::vector<t_atom>{long_atom(4)});
    host.send(b, std::vector<t_atom>{long_atom(1), sym_atom("z")});
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].outlet, 1);  // the int outlet was made first
    EXPECT_STREQ(host.messages[0].selector->s_name, "int");
    EXPECT_EQ(host.messages[0].atoms[0].a_w.w_long, 4);
    EXPECT_EQ(host.messages[1].outlet, 0);
    EXPECT_STREQ(host.messages[1].selector->s_name, "list");
    ASSERT_EQ(host.messages[1].atoms.size(), 2u);
    EXPECT_STREQ(host.messages[1].atoms[1].a_w.w_sym->s_name, "z");
}

TEST_F(HostTest, DeferredCallsRunAfterTheEventAndDieWithTheirBox) {
    auto *b = host.new_box("a", "probe");
    calls.clear();
    host.event(b, {{sym_atom("open"), sym_atom("f.wav")}, {sym_atom("bang")}});
    EXPECT_EQ(calls, (std::vector<std::string>{"bang", "later f.wav 0 null"}));

    calls.clear();
    host.send(b, std::vector<t_atom>{sym_atom("open")});
    host.free_box(b);  // the free function queues work too
    host.run_deferred();
    EXPECT_EQ(calls, (std::vector<std::string>{"free"}));

    // Work queued by a creation that was then refused never runs.
    calls.clear();
    const t_atom refuse[] = {long_atom(-2)};
    EXPECT_EQ(host.new_box("r", "probe", refuse), nullptr);
    host.run_deferred();
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(HostTest, BlockAccountingReportsMisuse) {
    EXPECT_EQ(getbytes(32768), nullptr);
    EXPECT_EQ(getbytes(65544), nullptr);  // never narrowed to 8
    EXPECT_EQ(getbytes(-1), nullptr);
    char *zero = getbytes(0);
    ASSERT_NE(zero, nullptr);
    char *p = getbytes(100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(host.blocks_held(), 2u);
    freebytes(p, 50);
    freebytes(p, 100);
    freebytes(zero, 0);
    EXPECT_EQ(host.blocks_held(), 0u);
    const auto h = lines(host, ConsoleLine::Host);
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0], "host: freebytes with size 50 of a block of 100 bytes");
    EXPECT_EQ(h[1], "host: double freebytes of a block of 100 bytes");

    auto *b = host.new_box("a", "probe");
    host.send(b, std::vector<t_atom>{sym_atom("leak"), long_atom(10)});
    host.free_box(b);
    EXPECT_EQ(lines(host, ConsoleLine::Host).back(),
              "host: probe a: 1 block(s) of 10 bytes still held after free");
    EXPECT_EQ(host.blocks_held(), 0u);
}

TEST_F(HostTest, SampleRateIsTheDefaultUntilAudioRuns) {
    EXPECT_EQ(sys_getsr(), 44100.0f);
    host.dsp_on(48000, 16);
    EXPECT_EQ(sys_getsr(), 48000.0f);
    host.dsp_off();
    EXPECT_EQ(sys_getsr(), 48000.0f);
}

TEST_F(HostTest, ChainFeedsInletsAndRecordsOutlets) {
    auto *b = host.new_box("g", "gain~");
    ASSERT_EQ(host.signal_outlets(b), 2);
    host.set_signal_samples(b, 0, {1, 2, 3, 4, 5});
    host.set_signal_constant(b, 1, 0.5f);
    host.dsp_on(44100, 4);
    host.tick(2);
    const auto &rec = host.recorded(b);
    EXPECT_EQ(rec[0], (std::vector<float>{2, 4, 6, 8, 10, 0, 0, 0}));
    EXPECT_EQ(rec[1], (std::vector<float>(8, 1.5f)));  // connected: count 1
}

TEST_F(HostTest, BoxOutOfTheChainAndDisabledBoxRecordWhatTheHostLeft) {
    auto *b = host.new_box("g", "gain~");
    host.set_signal_constant(b, 1, 3);
    host.set_alias(b, 1, 1);  // outlet 1 shares inlet 1's memory
    host.dsp_on(44100, 4);
    host.tick(1);  // left inlet unconnected: no perform routine
    // Cleared outlet: zeros; outlet sharing an inlet's memory: its samples.
    EXPECT_EQ(host.recorded(b)[0], std::vector<float>(4, 0.0f));
    EXPECT_EQ(host.recorded(b)[1], std::vector<float>(4, 3.0f));

    host.set_signal_constant(b, 0, 1);  // connecting rebuilds the chain
    host.tick(1);
    EXPECT_EQ(host.recorded(b)[0], (std::vector<float>{0, 0, 0, 0, 2, 2, 2, 2}));
    EXPECT_EQ(host.recorded(b)[1], (std::vector<float>{3, 3, 3, 3, 4, 4, 4, 4}));

    host.set_disabled(b, true);
    host.tick(1);
    EXPECT_EQ(std::vector<float>(host.recorded(b)[0].begin() + 8, host.recorded(b)[0].end()),
              std::vector<float>(4, 0.0f));
    EXPECT_EQ(std::vector<float>(host.recorded(b)[1].begin() + 8, host.recorded(b)[1].end()),
              std::vector<float>(4, 3.0f));
}

TEST_F(HostTest, CreatingAndFreeingWhileRunningRebuildsTheChain) {
    auto *a = host.new_box("a", "gain~");
    host.set_signal_constant(a, 0, 1);
    host.dsp_on(44100, 8);
    auto *x = static_cast<t_gain *>(host.instance(a));
    EXPECT_EQ(x->dsp_calls, 1);
    auto *b = host.new_box("b", "gain~");
    EXPECT_EQ(x->dsp_calls, 2);
    host.tick(1);
    host.free_box(b);
    EXPECT_EQ(x->dsp_calls, 3);
    host.tick(1);
    EXPECT_EQ(host.recorded(a)[0], std::vector<float>(16, 2.0f));
    EXPECT_TRUE(lines(host, ConsoleLine::Host).empty());
}

TEST(SaturateToInt32, CoversTheWholeLine) {
    EXPECT_EQ(headless::saturate_to_int32(NAN), 0);
    EXPECT_EQ(headless::saturate_to_int32(INFINITY), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(headless::saturate_to_int32(-INFINITY), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(headless::saturate_to_int32(-3.99), -3);
    EXPECT_EQ(headless::saturate_to_int32(2147483646.5), 2147483646);
}
