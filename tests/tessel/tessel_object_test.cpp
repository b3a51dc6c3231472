// tessel~ as a patch sees it: creation, help, the list rules, the setters.
#include <cmath>
#include <limits>

#include "tessel_fixture.hpp"

using namespace tessel_test;
using Kind = headless::ConsoleLine::Kind;

TEST_F(TesselTest, CreationArgumentsAndDefaults) {
    // The work block is sized by the outlets alone.
    struct Case {
        std::vector<t_atom> args;
        int partials, outputs;
        int64_t bytes;
    };
    const Case cases[] = {{{}, 50, 1, 28192},
                          {{L(0), L(3)}, 50, 3, 44576},
                          {{L(100), L(8)}, 100, 8, 85536},
                          {{L(7)}, 7, 1, 28192},
                          {{L(1), L(8)}, 1, 8, 85536}};
    int n = 0;
    for (const auto &c : cases) {
        const int64_t before = host.bytes_held();
        auto *b = make(numbered("t", n++), c.args);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(host.bytes_held() - before, c.bytes);
        t_tessel &x = rec(b);
        EXPECT_EQ(x.n_partials, c.partials);
        EXPECT_EQ(x.n_outputs, c.outputs);
        EXPECT_EQ(host.signal_inlets(b), 3);
        EXPECT_EQ(host.signal_outlets(b), c.outputs);
        // The buffers sit at fixed offsets after the 5000-entry table.
        EXPECT_EQ(x.sin_table, x.mem);
        for (int i = 0; i < c.outputs; ++i) EXPECT_EQ(x.out_buf[i] - x.mem, TESSEL_TABLE_SIZE + 2048 * i);
        EXPECT_EQ(x.transpo_lfo_f, 5.0f);
        EXPECT_EQ(x.shift_lfo_f, 5.0f);
        EXPECT_EQ(x.transpo_lfo_depth, 0.0f);
        EXPECT_EQ(x.shift, 0.0f);
        for (int k = 0; k < c.partials; ++k) EXPECT_EQ(x.partials[k].amp, 0.0f);
    }
    EXPECT_EQ(host.blocks_held(), 5u);
    // Two banner lines per creation, every time.
    const auto posts = lines(Kind::Post);
    ASSERT_EQ(posts.size(), 10u);
    for (int i = 0; i < 10; i += 2) EXPECT_EQ(posts[i].rfind("tessel~ Object v1.00. ", 0), 0u) << posts[i];
    // Freed with the size it was allocated with: the host reports nothing.
    while (auto *b = host.find(numbered("t", --n))) host.free_box(b);
    EXPECT_EQ(host.blocks_held(), 0u);
    EXPECT_TRUE(lines(Kind::Host).empty());
}

TEST_F(TesselTest, CreationRefusals) {
    const std::string partials = "tessel~: number of partials must be between 1 and 100";
    const std::string outputs = "tessel~: number of outputs must be between 1 and 8";
    struct Case {
        int32_t p, o;
        std::string line;
    };
    const Case cases[] = {
        {101, 0, partials}, {-1, 2, partials}, {20, 9, outputs}, {150, 12, partials}, {5, -3, outputs}};
    for (const auto &c : cases) {
        host.console.clear();
        EXPECT_EQ(make("bad", {L(c.p), L(c.o)}), nullptr);
        ASSERT_EQ(host.console.size(), 1u) << c.p << " " << c.o;
        EXPECT_EQ(host.console[0].kind, Kind::Error);
        EXPECT_EQ(host.console[0].text, c.line);
    }
    EXPECT_EQ(host.blocks_held(), 0u);
}

TEST_F(TesselTest, NoMemoryForTheWorkBlockRefusesWithAnAlert) {
    host.fail_allocations(1);
    EXPECT_EQ(make("t"), nullptr);
    ASSERT_EQ(host.console.size(), 1u);
    EXPECT_EQ(host.console[0].kind, Kind::Alert);
    EXPECT_EQ(host.console[0].text, "Could not allocate memory for tessel~");
    EXPECT_EQ(host.find("t"), nullptr);
    // Memory back: the same box is made.
    EXPECT_NE(make("t"), nullptr);
}

TEST_F(TesselTest, OnlyTheBoundMessagesAreUnderstood) {
    auto *b = make("t");
    for (auto atoms : {std::vector<t_atom>{L(3)}, std::vector<t_atom>{F(3)},
                       std::vector<t_atom>{headless::sym_atom("bang")}}) {
        host.console.clear();
        send(b, atoms);
        ASSERT_EQ(host.console.size(), 1u);
        EXPECT_EQ(host.console[0].kind, Kind::Error);
    }
    EXPECT_EQ(host.console[0].text, "tessel~: doesn't understand \"bang\"");
}

TEST_F(TesselTest, HelpTexts) {
    auto *b = make("t", {L(100), L(2)});
    EXPECT_EQ(host.assist(b, 1, 0), "(signal) Vol Input, (Messages) Control");
    EXPECT_EQ(host.assist(b, 1, 1), "(signal) Transposition Input");
    EXPECT_EQ(host.assist(b, 1, 2), "(signal) Frequency Shift Input");
    // All eight outlet texts exist whatever the outlet count; any msg but 1
    // means an outlet.
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(host.assist(b, i % 2 ? 2 : 0, i), numbered("(signal) Signal Output ", i + 1));
    for (auto [msg, index] : {std::pair{1, 3}, {1, -1}, {2, 8}, {2, -1}, {1, 1 << 30}})
        EXPECT_EQ(host.assist(b, msg, index), "<untouched>") << msg << " " << index;
}

struct ListTest : TesselTest {
    headless::Box *b = nullptr;
    void SetUp() override {
        TesselTest::SetUp();
        host.dsp_on(44100, 64);  // max_freq 22049
        b = make("t");
    }
    t_partial &p3() { return rec(b).partials[2]; }
    // Sounds partial 3 and runs a vector, so its phase is away from 0.
    void sound_and_run() {
        host.set_signal_constant(b, 0, 1.0f);
        send(b, {L(3), F(440.0f), F(0.5f)});
        host.tick(1);
        ASSERT_GT(p3().phase, 0.0f);
    }
};

TEST_F(ListTest, SetsOnePartialAndRestartsOnlyASilentOne) {
    EXPECT_EQ(rec(b).max_freq, 22049.0f);
    sound_and_run();
    EXPECT_EQ(p3().freq, 440.0f);
    EXPECT_EQ(p3().amp, 0.5f);
    const float phase = p3().phase;
    send(b, {L(3), F(880.0f), F(0.25f), F(9.0f), L(4)});  // extra atoms ignored
    EXPECT_EQ(p3().freq, 880.0f);
    EXPECT_EQ(p3().amp, 0.25f);
    EXPECT_EQ(p3().phase, phase);
    for (int k = 0; k < 50; ++k)
        if (k != 2) {
            EXPECT_EQ(rec(b).partials[k].amp, 0.0f);
        }
    // Silenced, then sounded again: back to the start of the table.
    send(b, {L(3), F(440.0f), F(0.0f)});
    EXPECT_EQ(p3().amp, 0.0f);
    EXPECT_EQ(p3().phase, phase);
    send(b, {L(3), F(440.0f), F(-2.0f)});
    EXPECT_EQ(p3().phase, 0.0f);
    EXPECT_EQ(p3().amp, -2.0f);
}

TEST_F(ListTest, VoidMessagesChangeNothing) {
    sound_and_run();
    const t_partial before = p3();
    const std::vector<t_atom> voids[] = {{L(3), L(440), F(0.1f)},
                                         {F(3), F(440.0f), F(0.1f)},
                                         {L(0), F(440.0f), F(0.1f)},
                                         {L(51), F(440.0f), F(0.1f)},
                                         {L(3), headless::sym_atom("x"), F(0.1f)}};
    for (const auto &m : voids) send(b, m);
    std::vector<t_atom> one{L(3)};
    host.send_message(b, gensym("list"), one);
    EXPECT_EQ(p3().freq, before.freq);
    EXPECT_EQ(p3().amp, before.amp);
    EXPECT_EQ(p3().phase, before.phase);
}

TEST_F(ListTest, AmplitudeMustBeAFloat) {
    send(b, {L(3), F(440.0f)});
    EXPECT_EQ(p3().freq, 440.0f);
    EXPECT_EQ(p3().amp, 0.0f);
    sound_and_run();
    send(b, {L(3), F(660.0f), L(1)});
    send(b, {L(3), F(670.0f), headless::sym_atom("loud")});
    EXPECT_EQ(p3().freq, 670.0f);
    EXPECT_EQ(p3().amp, 0.5f);
}

TEST_F(ListTest, OutOfRangeFrequencySilencesAndKeepsTheOldOne) {
    for (float f : {-5.0f, 22049.0f, 1e9f, -0.0001f, std::numeric_limits<float>::quiet_NaN(),
                    std::numeric_limits<float>::infinity()}) {
        sound_and_run();
        const float phase = p3().phase;
        send(b, {L(3), F(f), F(0.7f)});
        EXPECT_EQ(p3().amp, 0.0f) << f;
        EXPECT_EQ(p3().freq, 440.0f) << f;
        EXPECT_EQ(p3().phase, phase) << f;
    }
    send(b, {L(3), F(22048.5f), F(0.7f)});
    EXPECT_EQ(p3().freq, 22048.5f);
    send(b, {L(3), F(0.0f), F(0.7f)});
    EXPECT_EQ(p3().freq, 0.0f);
    EXPECT_EQ(p3().amp, 0.7f);
}

TEST_F(ListTest, ResetSilencesAllAndKeepsFrequencyAndPhase) {
    auto *big = make("big", {L(100)});
    host.set_signal_constant(big, 0, 1.0f);
    for (int k = 1; k <= 100; ++k) send(big, {L(k), F(100.0f + k), F(0.01f)});
    host.tick(2);
    send(big, {headless::sym_atom("reset")});
    for (int k = 0; k < 100; ++k) {
        EXPECT_EQ(rec(big).partials[k].amp, 0.0f);
        EXPECT_EQ(rec(big).partials[k].freq, 101.0f + k);
        EXPECT_GT(rec(big).partials[k].phase, 0.0f);
    }
    send(big, {L(100), F(200.0f), F(1.0f)});
    EXPECT_EQ(rec(big).partials[99].phase, 0.0f);
}

// Before audio first runs, a list is checked against the host's current
// rate, not against a bound nothing has set.
TEST_F(TesselTest, ListBeforeTheFirstDspUsesTheHostRate) {
    auto *early = make("early");
    send(early, {L(1), F(15000.0f), F(0.5f)});
    EXPECT_EQ(rec(early).partials[0].amp, 0.5f);

    host.dsp_on(96000, 64);
    host.dsp_off();
    auto *later = make("later");
    EXPECT_EQ(rec(later).max_freq, 47999.0f);
    send(later, {L(1), F(40000.0f), F(0.5f)});
    EXPECT_EQ(rec(later).partials[0].freq, 40000.0f);
    send(later, {L(1), F(48000.0f), F(0.5f)});
    EXPECT_EQ(rec(later).partials[0].amp, 0.0f);
}

TEST_F(TesselTest, SettersClampAndIgnoreNaN) {
    struct Case {
        const char *selector;
        float t_tessel::*field;
        float lo, hi;
    };
    const Case cases[] = {
        {"set_transpo", &t_tessel::transpo, -120, 120},
        {"set_transpo_lfo_f", &t_tessel::transpo_lfo_f, 0, 10000},
        {"set_transpo_lfo_depth", &t_tessel::transpo_lfo_depth, -120, 120},
        {"set_shift", &t_tessel::shift, -10000, 10000},
        {"set_shift_lfo_f", &t_tessel::shift_lfo_f, 0, 1000},
        {"set_shift_lfo_depth", &t_tessel::shift_lfo_depth, -10000, 10000},
    };
    const float inf = std::numeric_limits<float>::infinity();
    auto *b = make("t");
    t_tessel &x = rec(b);
    for (const auto &c : cases) {
        const float mid = (c.lo + c.hi) / 2 + 0.3f;
        const std::pair<float, float> sent_stored[] = {
            {c.lo - 1, c.lo}, {c.hi + 1, c.hi}, {c.hi + 1e30f, c.hi}, {-inf, c.lo},
            {inf, c.hi},      {c.lo, c.lo},     {c.hi, c.hi},         {mid, mid}};
        for (auto [sent, stored] : sent_stored) {
            set(b, c.selector, sent);
            EXPECT_EQ(x.*c.field, stored) << c.selector << " " << sent;
        }
        set(b, c.selector, std::numeric_limits<float>::quiet_NaN());
        EXPECT_EQ(x.*c.field, mid) << c.selector;
    }
    // 5000 is in range for one LFO rate and past the other's ceiling.
    set(b, "set_transpo_lfo_f", 5000);
    set(b, "set_shift_lfo_f", 5000);
    EXPECT_EQ(x.transpo_lfo_f, 5000.0f);
    EXPECT_EQ(x.shift_lfo_f, 1000.0f);

    x.transpo_lfo_phase = 123.5f;
    x.shift_lfo_phase = 7.25f;
    send(b, {headless::sym_atom("reset_transpo_shift")});
    EXPECT_EQ(x.transpo, 0.0f);
    EXPECT_EQ(x.shift, 0.0f);
    EXPECT_EQ(x.transpo_lfo_depth, 0.0f);
    EXPECT_EQ(x.shift_lfo_depth, 0.0f);
    EXPECT_EQ(x.transpo_lfo_f, 5.0f);
    EXPECT_EQ(x.shift_lfo_f, 5.0f);
    EXPECT_EQ(x.transpo_lfo_phase, 123.5f);
    EXPECT_EQ(x.shift_lfo_phase, 7.25f);
}
