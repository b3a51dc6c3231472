// tessel~ played from two threads at once, as Max plays it: the perform
// routine runs vector after vector on one thread while another sends list,
// every setter, reset and reset_transpo_shift as fast as it can.  The fields
// they share are single words exchanged without a lock; built with
// -DMAXHOST_TSAN=ON, ThreadSanitizer reports any of them that is not
// accessed atomically.  In every build the output must stay finite and
// within what the amplitudes allow, every phase must stay in the table, and
// the record must end with what the last messages set.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <span>
#include <thread>
#include <vector>

#include "tessel_fixture.hpp"

using namespace tessel_test;

namespace {

constexpr int kPartials = 20;
constexpr int kOutputs = 3;
constexpr int kRounds = 5000;    // message rounds
constexpr int kVectors = 20000;  // perform calls
constexpr float kMaxAmp = 0.5f;  // no list sends a larger amplitude

// What round r sends to each setter: values swept past both ends of every
// range, so that the clamping runs too.
struct Setters {
    double transpo, transpo_lfo_f, transpo_lfo_depth, shift, shift_lfo_f, shift_lfo_depth;
};
Setters setters_of(int r) {
    const double u = (r % 101) / 50.0 - 1.0;  // -1 .. 1
    return {150.0 * u, 6000.0 + 6000.0 * u, 130.0 * u, 12000.0 * u, 600.0 + 600.0 * u, 11000.0 * u};
}
// The last setters, after the racing rounds: each past its range's top.
const Setters kFinalSetters = setters_of(100);
float clamped(double v, double lo, double hi) { return static_cast<float>(std::clamp(v, lo, hi)); }

// The list of round r: one partial, a frequency and an amplitude of either
// sign, 0 now and then (a partial falling silent and restarting), and every
// eighth round a frequency out of range (silencing the partial).
struct List {
    int partial;
    float freq, amp;
};
List list_of(int r) {
    return {r % kPartials + 1, r % 8 == 7 ? 1e9f : 100.0f + 37.0f * static_cast<float>(r % 50),
            static_cast<float>(r % 7 - 3) * (kMaxAmp / 3.0f)};
}
// The last list of each partial, after the racing rounds: all sound.
List final_list(int k) { return {k, 200.0f + 10.0f * static_cast<float>(k), 0.02f * static_cast<float>(k)}; }

}  // namespace

TEST_F(TesselTest, MessagesWhileThePerformRoutineRuns) {
    host.dsp_on(44100, 64);
    auto *b = make("t", {L(kPartials), L(kOutputs)});
    ASSERT_NE(b, nullptr);
    host.set_signal_constant(b, 0, 1.0f);   // Vol
    host.set_signal_constant(b, 1, 0.5f);   // transposition inlet
    host.set_signal_constant(b, 2, -3.0f);  // shift inlet
    host.keep_recording(b, false);
    t_tessel &x = rec(b);

    t_symbol *const selector[6] = {gensym("set_transpo"),           gensym("set_transpo_lfo_f"),
                                   gensym("set_transpo_lfo_depth"), gensym("set_shift"),
                                   gensym("set_shift_lfo_f"),       gensym("set_shift_lfo_depth")};
    t_symbol *const reset = gensym("reset");
    t_symbol *const reset_transpo_shift = gensym("reset_transpo_shift");

    // Checked on the audio thread after every vector, read after the join.
    int bad_samples = 0, bad_phases = 0;
    host.on_vector = [&](headless::Box *, std::span<float *const> outlets, std::size_t n) {
        for (float *o : outlets)
            for (std::size_t i = 0; i < n; ++i)
                if (!(std::fabs(o[i]) <= kMaxAmp * kPartials)) ++bad_samples;
        for (int k = 0; k < kPartials; ++k) {
            const float p = shared_load(x.partials[k].phase);
            if (!(p >= 0.0f && p < TESSEL_TABLE_SIZE)) ++bad_phases;
        }
        for (float *lfo : {&x.transpo_lfo_phase, &x.shift_lfo_phase}) {
            const float p = shared_load(*lfo);
            if (!(p >= 0.0f && p < TESSEL_TABLE_SIZE)) ++bad_phases;
        }
    };

    std::atomic<int> ready{0};
    auto start_together = [&] {
        ready.fetch_add(1);
        while (ready.load() < 2) std::this_thread::yield();
    };

    std::thread audio([&] {
        start_together();
        for (int v = 0; v < kVectors; ++v) host.tick(1);
    });
    std::thread messages([&] {
        start_together();
        auto send_setters = [&](const Setters &s) {
            const double values[6] = {s.transpo, s.transpo_lfo_f, s.transpo_lfo_depth,
                                      s.shift,   s.shift_lfo_f,   s.shift_lfo_depth};
            for (int i = 0; i < 6; ++i) {
                std::vector<t_atom> a{F(static_cast<float>(values[i]))};
                host.send_message(b, selector[i], a);
            }
        };
        for (int r = 0; r < kRounds; ++r) {
            const List l = list_of(r);
            send(b, {L(l.partial), F(l.freq), F(l.amp)});
            send_setters(setters_of(r));
            if (r % 50 == 49) host.send_message(b, reset, {});
            if (r % 70 == 69) host.send_message(b, reset_transpo_shift, {});
        }
        for (int k = 1; k <= kPartials; ++k) {
            const List l = final_list(k);
            send(b, {L(l.partial), F(l.freq), F(l.amp)});
        }
        send_setters(kFinalSetters);
    });
    messages.join();
    audio.join();
    host.on_vector = nullptr;

    EXPECT_EQ(bad_samples, 0) << "output samples not finite or beyond the amplitudes' sum";
    EXPECT_EQ(bad_phases, 0) << "phases outside the table";

    const Setters last = kFinalSetters;
    EXPECT_EQ(x.transpo, clamped(last.transpo, -120, 120));
    EXPECT_EQ(x.transpo_lfo_f, clamped(last.transpo_lfo_f, 0, 10000));
    EXPECT_EQ(x.transpo_lfo_depth, clamped(last.transpo_lfo_depth, -120, 120));
    EXPECT_EQ(x.shift, clamped(last.shift, -10000, 10000));
    EXPECT_EQ(x.shift_lfo_f, clamped(last.shift_lfo_f, 0, 1000));
    EXPECT_EQ(x.shift_lfo_depth, clamped(last.shift_lfo_depth, -10000, 10000));
    for (int k = 1; k <= kPartials; ++k) {
        const List l = final_list(k);
        EXPECT_EQ(x.partials[k - 1].freq, l.freq) << k;
        EXPECT_EQ(x.partials[k - 1].amp, l.amp) << k;
    }

    // Every partial sounds now; one more vector on this thread must carry
    // them, within their amplitudes' sum.
    host.keep_recording(b, true);
    host.tick(1);
    float peak = 0.0f;
    for (const auto &o : out(b, 0)) peak = std::max(peak, std::fabs(o));
    EXPECT_GT(peak, 0.0f);
    float sum = 0.0f;
    for (int k = 1; k <= kPartials; ++k) sum += final_list(k).amp;
    EXPECT_LE(peak, sum);
}
