// The Max adapter as Max meets it: the externals, built for Linux, loaded
// into the stand-in for Max and driven through the SDK's own calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "standin.hpp"

namespace {

using standin::f;
using standin::l;
using standin::s;
using standin::Value;

const std::string kModules = MAXAD_MODULE_DIR;
const std::string kExamples = MAXAD_EXAMPLES_DIR;

// The SDK's argument type codes.
constexpr short kGimme = 8;
constexpr short kCant = 9;

// What the console said while the externals loaded.
std::vector<std::string> load_lines;

// Every external is loaded once per process, as Max does.
void load_once(const std::string &cls) {
    if (standin::class_registered(cls)) return;
    standin::clear_logs();
    ASSERT_TRUE(standin::load(kModules + "/" + cls + ".so")) << cls;
    for (const auto &line : standin::console()) load_lines.push_back(line.text);
}

std::vector<std::string> lines_of(standin::Line::Kind kind) {
    std::vector<std::string> out;
    for (const auto &line : standin::console()) {
        if (line.kind == kind) out.push_back(line.text);
    }
    return out;
}

bool has_line(standin::Line::Kind kind, const std::string &text) {
    const auto lines = lines_of(kind);
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

class MaxAdapter : public ::testing::Test {
protected:
    void SetUp() override {
        load_once("tessel~");
        load_once("brindle~");
        load_once("maxad_probe");
        load_once("maxad_probe~");
        standin::clear_logs();
        standin::cancel_dialog();
        standin::set_lenient_seek(true);
        qelems_ = standin::live_qelems();
    }
    void TearDown() override {
        for (void *obj : made_) standin::destroy(obj);
        standin::run_queue();
        EXPECT_EQ(standin::live_objects(), 0);
        EXPECT_EQ(standin::live_blocks(), 0) << "memory from sysmem_newptr not given back";
        EXPECT_EQ(standin::live_qelems(), qelems_) << "a qelem per box, or one left behind";
        EXPECT_EQ(standin::open_files(), 0);
    }
    void *make(const std::string &cls, const std::vector<Value> &args) {
        void *obj = standin::create(cls, args);
        if (obj) made_.push_back(obj);
        return obj;
    }
    void drop(void *obj) {
        made_.erase(std::remove(made_.begin(), made_.end(), obj), made_.end());
        standin::destroy(obj);
    }
    std::vector<void *> made_;
    int qelems_ = 0;
};

// --- registration and creation ------------------------------------------------------

TEST_F(MaxAdapter, ClassesAreRegisteredWithMaxsPrototypes) {
    EXPECT_TRUE(standin::class_registered("tessel~"));
    EXPECT_TRUE(standin::class_is_signal("tessel~"));
    EXPECT_FALSE(standin::class_is_signal("brindle~"));
    // Max 6.1 and later call dsp64 only; the 32-bit dsp is the bridge's.
    EXPECT_TRUE(standin::method_info("tessel~", "dsp64").found);
    EXPECT_FALSE(standin::method_info("tessel~", "dsp").found);
    // A method Max would call with a double or a 64-bit long directly is
    // never the plug-in's: every message comes through A_GIMME.
    EXPECT_EQ(standin::method_info("tessel~", "set_shift").types, std::vector<short>{kGimme});
    EXPECT_EQ(standin::method_info("brindle~", "peak").types, std::vector<short>{kGimme});
    EXPECT_EQ(standin::method_info("brindle~", "bang").types, std::vector<short>{});
    EXPECT_EQ(standin::method_info("tessel~", "assist").types, std::vector<short>{kCant});
}

TEST_F(MaxAdapter, TesselBoxHasItsInletsOutletsAndBanner) {
    void *x = make("tessel~", {l(20), l(2)});
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(standin::signal_inlets(x), 3);
    ASSERT_EQ(standin::outlet_count(x), 2);
    EXPECT_EQ(standin::outlet_type(x, 0), "signal");
    EXPECT_EQ(standin::outlet_type(x, 1), "signal");
    const auto posts = lines_of(standin::Line::Post);
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[0].rfind("tessel~ Object v1.00. ", 0), 0u) << posts[0];
    for (const auto &line : standin::console()) EXPECT_EQ(line.object, x) << "a line without its box";
    EXPECT_EQ(standin::assist(x, 1, 1), "(signal) Transposition Input");
    EXPECT_EQ(standin::assist(x, 2, 1), "(signal) Signal Output 2");
    EXPECT_EQ(standin::assist(x, 1, 3, "kept"), "kept");
}

TEST_F(MaxAdapter, CreationArgumentsSaturateAndTruncateAsInEveryHost) {
    // 2^32 + 1 would be 1 partial if cut to 32 bits; it is far above 100.
    EXPECT_EQ(make("tessel~", {l(4294967297LL), l(1)}), nullptr);
    EXPECT_EQ(lines_of(standin::Line::Error),
              std::vector<std::string>{"tessel~: number of partials must be between 1 and 100"});
    standin::clear_logs();
    EXPECT_EQ(make("tessel~", {l(20), l(-4294967295LL)}), nullptr);
    EXPECT_EQ(lines_of(standin::Line::Error),
              std::vector<std::string>{"tessel~: number of outputs must be between 1 and 8"});
    // Floats are cut toward zero.
    void *x = make("tessel~", {f(3.9), f(2.9)});
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(standin::outlet_count(x), 2);
    // A symbol where a number must be refuses the box, and says so.
    standin::clear_logs();
    EXPECT_EQ(make("tessel~", {s("many")}), nullptr);
    EXPECT_TRUE(has_line(standin::Line::Error, "tessel~: bad arguments for message \"new\""));
}

TEST_F(MaxAdapter, RefusedBoxesLeaveNothingBehind) {
    const int before = standin::live_objects();
    EXPECT_EQ(make("tessel~", {l(101)}), nullptr);
    EXPECT_EQ(make("maxad_probe", {s("refuse")}), nullptr);
    EXPECT_EQ(standin::live_objects(), before);
    EXPECT_EQ(standin::live_blocks(), 0);
    EXPECT_FALSE(has_line(standin::Line::Post, "probe freed")) << "a refused box is not freed by the plug-in";
}

// --- messages ----------------------------------------------------------------------

TEST_F(MaxAdapter, NumbersReachTypedMethodsAsTheyRegistered) {
    void *x = make("maxad_probe", {});
    ASSERT_NE(x, nullptr);
    standin::clear_logs();
    standin::send(x, "float_arg", {f(440.5)});
    // A float is a single-precision float in every host: Max's double is
    // rounded before it becomes an argument, a long or a double one.
    standin::send(x, "float_arg", {f(0.1)});
    standin::send(x, "long_arg", {f(1.99999999)});
    standin::send(x, "float_arg", {l(1LL << 40)});  // a long keeps its bits
    standin::send(x, "long_arg", {l(1LL << 40)});   // beyond 32 bits: saturates
    standin::send(x, "long_arg", {l(-(1LL << 40))});
    standin::send(x, "long_arg", {f(-3.9)});  // toward zero
    standin::send(x, "pair", {f(2.9), l(7)});
    standin::send(x, "name", {});
    standin::send(x, "name", {s("markers.wav")});
    standin::send(x, "int", {l(5000000000LL)});
    standin::send(x, "float", {f(0.1)});
    EXPECT_EQ(lines_of(standin::Line::Post), (std::vector<std::string>{
                                                 "float_arg 0x1.b88p+8 0x1.b88p+8",
                                                 "float_arg 0x1.99999ap-4 0x1.99999ap-4",
                                                 "long_arg 2",
                                                 "float_arg 0x1p+40 0x1p+40",
                                                 "long_arg 2147483647",
                                                 "long_arg -2147483648",
                                                 "long_arg -3",
                                                 "pair 2 0x1.cp+2",
                                                 "name ''",
                                                 "name 'markers.wav'",
                                                 "int 2147483647",
                                                 "float 0x1.99999ap-4",
                                             }));
    EXPECT_TRUE(lines_of(standin::Line::Error).empty());
    standin::send(x, "long_arg", {s("x")});
    EXPECT_EQ(lines_of(standin::Line::Error),
              std::vector<std::string>{"maxad_probe: bad arguments for message \"long_arg\""});
}

TEST_F(MaxAdapter, GimmeMethodsGetPluginAtoms) {
    void *x = make("maxad_probe", {l(5000000000LL), f(1.5), s("a")});
    ASSERT_NE(x, nullptr);
    EXPECT_TRUE(has_line(standin::Line::Post, "new L:2147483647 F:0x1.8p+0 S:a"));
    standin::send(x, "list", {l(1), f(2.5), s("x"), l(8589934592LL), f(1e300)});
    EXPECT_TRUE(has_line(standin::Line::Post, "list L:1 F:0x1.4p+1 S:x L:2147483647 F:inf"));
}

TEST_F(MaxAdapter, OutletsSendMaxAtoms) {
    void *x = make("maxad_probe", {});
    ASSERT_NE(x, nullptr);
    standin::send(x, "echo", {l(-5), f(0.1), s("sym")});
    standin::send(x, "count", {});
    const auto &sent = standin::sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].outlet, 0);
    EXPECT_EQ(sent[0].selector, "echo");
    ASSERT_EQ(sent[0].atoms.size(), 3u);
    EXPECT_EQ(sent[0].atoms[0].kind, Value::Long);
    EXPECT_EQ(sent[0].atoms[0].l, -5);
    EXPECT_EQ(sent[0].atoms[1].kind, Value::Float);
    EXPECT_EQ(sent[0].atoms[1].f, static_cast<double>(0.1f));  // what the plug-in's float held
    EXPECT_EQ(sent[0].atoms[2].s, "sym");
    EXPECT_EQ(sent[1].outlet, 1);
    EXPECT_EQ(sent[1].selector, "int");
    EXPECT_EQ(sent[1].atoms[0].l, 2147483647);
    EXPECT_EQ(sent[2].atoms[0].l, -7);
}

// Max's lists start with a number; a list that starts with a symbol is, in
// Max, that symbol's message, unless the symbol is one of Max's keywords,
// which would call a method of the receiver.
TEST_F(MaxAdapter, ListsStartingWithASymbolGoOutAsItsMessage) {
    void *x = make("maxad_probe", {});
    ASSERT_NE(x, nullptr);
    struct Case {
        const char *method;
        std::vector<Value> atoms;
        std::string selector;  // as Max receives it
        std::size_t dropped;   // leading atoms that became the selector
    } cases[] = {
        {"aslist", {s("onset"), f(12.5)}, "onset", 1}, {"aslist", {s("beg loop"), l(1920)}, "beg loop", 1},
        {"aslist", {l(1), f(2.5)}, "list", 0},         {"anylist", {l(1), f(2.5)}, "list", 0},
        {"anylist", {s("fade"), f(3.0)}, "fade", 1},   {"aslist", {s("bang"), f(1.0)}, "list", 0},
        {"aslist", {s("int"), f(1.0)}, "list", 0},     {"aslist", {s("float"), f(1.0)}, "list", 0},
        {"aslist", {s("list"), f(1.0)}, "list", 0},    {"aslist", {s("symbol"), f(1.0)}, "list", 0},
        {"anylist", {s("set"), f(1.0)}, "list", 0},    {"aslist", {s(""), f(1.0)}, "list", 0},
    };
    for (const Case &c : cases) {
        standin::clear_logs();
        standin::send(x, c.method, c.atoms);
        const std::string what = std::string(c.method) + " " + c.selector;
        ASSERT_EQ(standin::sent().size(), 1u) << what;
        const standin::Sent &m = standin::sent()[0];
        EXPECT_EQ(m.selector, c.selector) << what;
        // The SDK: lists go through outlet_list, never outlet_anything.
        EXPECT_EQ(m.anything, c.selector != "list") << what;
        ASSERT_EQ(m.atoms.size(), c.atoms.size() - c.dropped) << what;
        for (std::size_t k = 0; k < m.atoms.size(); ++k) {
            const Value &want = c.atoms[k + c.dropped];
            EXPECT_EQ(m.atoms[k].kind, want.kind) << what;
            EXPECT_EQ(m.atoms[k].s, want.s) << what;
            EXPECT_EQ(m.atoms[k].l, want.l) << what;
            EXPECT_EQ(m.atoms[k].f, want.f) << what;
        }
    }
}

TEST_F(MaxAdapter, MessagesTooLongForAShortCountAreRefused) {
    void *x = make("maxad_probe", {});
    ASSERT_NE(x, nullptr);
    standin::clear_logs();
    // Max passes the count as a long; 65 539 would reach the plug-in as 3.
    std::vector<Value> many(65539, l(1));
    standin::send(x, "list", many);
    EXPECT_TRUE(lines_of(standin::Line::Post).empty());
    const auto errors = lines_of(standin::Line::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("maxad_probe"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("65539"), std::string::npos) << errors[0];
    ASSERT_EQ(standin::console().back().object, x);
    std::vector<Value> most(32767, l(1));
    standin::send(x, "list", most);
    EXPECT_EQ(lines_of(standin::Line::Post).size(), 1u);
}

TEST_F(MaxAdapter, DeferredCallsRunLaterAndDieWithTheirBox) {
    void *x = make("maxad_probe", {});
    ASSERT_NE(x, nullptr);
    standin::send(x, "later", {l(1), s("two")});
    EXPECT_TRUE(standin::sent().empty()) << "a deferred call ran at once";
    EXPECT_EQ(standin::run_queue(), 1);
    ASSERT_EQ(standin::sent().size(), 1u);
    EXPECT_EQ(standin::sent()[0].selector, "deferred");
    EXPECT_EQ(standin::sent()[0].atoms[1].s, "two");

    void *y = make("maxad_probe", {});
    standin::send(y, "later", {l(3)});
    drop(y);
    standin::clear_logs();
    standin::run_queue();
    EXPECT_TRUE(standin::sent().empty()) << "a freed box's deferred call ran";
    EXPECT_TRUE(standin::console().empty());
}

// --- the signal bridge -----------------------------------------------------------------

struct Rendered {
    std::vector<std::vector<double>> outs;
    double peak() const {
        double p = 0.0;
        for (const auto &o : outs)
            for (double v : o) p = std::max(p, std::fabs(v));
        return p;
    }
};

Rendered run(void *x, int vectors, double gain, long frames = -1) {
    Rendered r;
    for (int v = 0; v < vectors; ++v) {
        std::vector<std::vector<double>> ins(3);
        ins[0].assign(static_cast<std::size_t>(frames < 0 ? 64 : frames), gain);
        r.outs.assign(static_cast<std::size_t>(standin::outlet_count(x)), {});
        standin::tick(x, ins, r.outs, frames);
    }
    return r;
}

TEST_F(MaxAdapter, BridgeRendersOnlyWhenThePluginJoinsTheChain) {
    void *x = make("tessel~", {l(4), l(2)});
    ASSERT_NE(x, nullptr);
    standin::send(x, "list", {l(1), f(1000.0), f(0.5)});
    standin::compile(x, 44100.0, 64, {0, 0, 0, 0, 0});  // nothing into the gain inlet
    EXPECT_EQ(standin::chain_entries(x), 1);
    EXPECT_EQ(run(x, 4, 1.0).peak(), 0.0);
    standin::compile(x, 44100.0, 64, {1, 0, 0, 0, 0});
    const Rendered r = run(x, 4, 1.0);
    EXPECT_GT(r.peak(), 0.4);
    EXPECT_EQ(r.outs[1], std::vector<double>(64, 0.0)) << "partial 1 sounds on the first outlet only";
    standin::set_disabled(x, true);
    EXPECT_EQ(run(x, 2, 1.0).peak(), 0.0) << "a muted box repeats no vector";
    standin::set_disabled(x, false);
    EXPECT_GT(run(x, 1, 1.0).peak(), 0.4);
}

TEST_F(MaxAdapter, BridgeRefusesVectorsThePluginRefuses) {
    void *x = make("tessel~", {l(4), l(1)});
    ASSERT_NE(x, nullptr);
    standin::send(x, "list", {l(1), f(1000.0), f(0.5)});
    standin::clear_logs();
    standin::compile(x, 44100.0, 4096, {1, 0, 0, 0});
    EXPECT_TRUE(has_line(standin::Line::Error,
                         "tessel~: signal vector of 4096 samples is longer than the limit of 2048"));
    EXPECT_EQ(run(x, 2, 1.0, 4096).peak(), 0.0);
}

// A tick of another length than the chain was compiled for would advance
// the plug-in by a whole vector while only part of it goes out.  It plays
// silence, runs nothing of the plug-in, and is reported once per compile,
// from the main thread.
TEST_F(MaxAdapter, TicksOfAnotherLengthPlaySilenceAndAreReportedOnce) {
    void *x = make("tessel~", {l(4), l(1)});
    void *twin = make("tessel~", {l(4), l(1)});
    ASSERT_NE(x, nullptr);
    ASSERT_NE(twin, nullptr);
    for (void *b : {x, twin}) {
        standin::send(b, "list", {l(1), f(441.0), f(0.5)});
        standin::compile(b, 44100.0, 64, {1, 0, 0, 0});
    }
    const std::string line =
        "tessel~: Max host: Max ticked a chain compiled for vectors of 64 samples with one of 16: "
        "the box outputs silence in such vectors";
    standin::clear_logs();
    for (long frames : {16L, 100L, 16L}) {
        const Rendered r = run(x, 2, 1.0, frames);
        EXPECT_EQ(r.outs[0], std::vector<double>(static_cast<std::size_t>(frames), 0.0)) << frames;
    }
    EXPECT_TRUE(standin::console().empty()) << "a line posted from the audio thread";
    standin::run_queue();
    ASSERT_EQ(lines_of(standin::Line::Error), std::vector<std::string>{line});
    EXPECT_EQ(standin::console()[0].object, x);
    // The oscillators did not move: the next whole vector is the twin's first.
    EXPECT_EQ(run(x, 1, 1.0).outs, run(twin, 1, 1.0).outs);

    standin::compile(x, 44100.0, 64, {1, 0, 0, 0});
    standin::clear_logs();
    run(x, 1, 1.0, 16);
    standin::run_queue();
    EXPECT_EQ(lines_of(standin::Line::Error), std::vector<std::string>{line}) << "once per compile";
}

// Max may tick an old chain while it compiles a new one, and may compile
// twice before the new chain runs: a bridge lives until a newer one of its
// box has run.  The plug-in renders the vector size its dsp was given last,
// so a bridge of another size plays silence.  (An old bridge freed too soon
// or run at the wrong size is a report of AddressSanitizer.)
TEST_F(MaxAdapter, OldChainsLiveUntilANewerOneRunsAndPlayOnlyAtThePluginsSize) {
    void *x = make("tessel~", {l(4), l(1)});
    ASSERT_NE(x, nullptr);
    standin::send(x, "list", {l(1), f(1000.0), f(0.5)});
    standin::clear_logs();
    auto tick_kept = [](int chain, long frames) {
        std::vector<std::vector<double>> ins(3), outs(1);
        ins[0].assign(static_cast<std::size_t>(frames), 1.0);
        standin::tick_kept(chain, ins, outs);
        return outs[0];
    };
    standin::compile(x, 44100.0, 64, {1, 0, 0, 0});
    const int first = standin::keep_chain(x);
    standin::compile(x, 44100.0, 512, {1, 0, 0, 0});
    EXPECT_EQ(tick_kept(first, 64), std::vector<double>(64, 0.0)) << "a chain of 64 run at 512";
    // Back at 64, the first chain is still one from before a size change.
    standin::compile(x, 44100.0, 64, {1, 0, 0, 0});
    EXPECT_EQ(tick_kept(first, 64), std::vector<double>(64, 0.0)) << "a chain from before 512";

    // Two compiles with no tick between: the chain that runs stays.
    standin::compile(x, 44100.0, 64, {1, 0, 0, 0});
    run(x, 1, 1.0);
    const int running = standin::keep_chain(x);
    standin::compile(x, 44100.0, 64, {1, 0, 0, 0});
    standin::compile(x, 44100.0, 64, {1, 0, 0, 0});
    const auto still = tick_kept(running, 64);
    EXPECT_GT(*std::max_element(still.begin(), still.end()), 0.4);
    EXPECT_GT(run(x, 1, 1.0).peak(), 0.4);
    EXPECT_TRUE(standin::console().empty());
}

TEST_F(MaxAdapter, FreeingABoxInTheChainTakesItOutFirst) {
    void *x = make("tessel~", {l(100), l(8)});
    ASSERT_NE(x, nullptr);
    standin::send(x, "list", {l(1), f(440.0), f(0.5)});
    standin::compile(x, 48000.0, 64, std::vector<short>(11, 1));
    run(x, 2, 1.0);
    EXPECT_GT(standin::live_blocks(), 0);
    drop(x);
    // The stand-in reports a box freed while still in the chain.
    EXPECT_TRUE(lines_of(standin::Line::Error).empty()) << lines_of(standin::Line::Error).front();
    EXPECT_EQ(standin::live_blocks(), 0);
}

TEST_F(MaxAdapter, APluginThatNeverLeavesTheChainIsTakenOutBeforeItsFree) {
    void *x = make("maxad_probe~", {});
    ASSERT_NE(x, nullptr);
    standin::compile(x, 44100.0, 64, {1, 0});
    std::vector<std::vector<double>> ins{std::vector<double>(64, 0.25)}, outs(1);
    standin::tick(x, ins, outs);
    EXPECT_EQ(outs[0], std::vector<double>(64, 0.5));
    standin::clear_logs();
    drop(x);
    EXPECT_TRUE(lines_of(standin::Line::Error).empty()) << lines_of(standin::Line::Error).front();
}

TEST_F(MaxAdapter, VectorsBeyondTheAdaptersLimitPlaySilence) {
    void *x = make("maxad_probe~", {});
    ASSERT_NE(x, nullptr);
    standin::clear_logs();
    standin::compile(x, 44100.0, 70000, {1, 0});
    EXPECT_TRUE(has_line(standin::Line::Error,
                         "maxad_probe~: Max host: a vector of 70000 samples is more than the adapter takes"));
    std::vector<std::vector<double>> ins{std::vector<double>(70000, 0.25)}, outs(1);
    standin::tick(x, ins, outs);
    EXPECT_EQ(outs[0], std::vector<double>(70000, 0.0));
}

// --- brindle~ and the file services ------------------------------------------------------

// Each marker reaches Max as the message NAME TIME.
std::vector<std::string> marker_names(const std::vector<standin::Sent> &sent) {
    std::vector<std::string> names;
    for (const auto &m : sent) {
        if (m.outlet == 0 && m.anything && m.atoms.size() == 1) names.push_back(m.selector);
    }
    return names;
}

int64_t count_sent(const std::vector<standin::Sent> &sent) {
    for (const auto &m : sent) {
        if (m.outlet == 1 && m.selector == "int") return m.atoms[0].l;
    }
    return -1;
}

TEST_F(MaxAdapter, BrindleReadsEveryFormatThroughMaxsSearchPath) {
    standin::add_search_folder(kExamples);
    void *x = make("brindle~", {});
    ASSERT_NE(x, nullptr);
    struct Case {
        const char *file;
        std::vector<std::string> names;
    } cases[] = {
        {"markers.wav", {"onset", "peak", "fade", "beg loop", "end loop"}},
        {"markers.aif", {"hit", "loop ", "tail"}},  // sndfile_info, the project's own
        {"markers.sd2", {"downbeat", "upbeat"}},    // the fork in markers.sd2.rsrc
    };
    for (const Case &c : cases) {
        standin::clear_logs();
        standin::send(x, "open", {s(c.file)});
        EXPECT_TRUE(standin::sent().empty()) << "open ran before the queue";
        standin::run_queue();
        EXPECT_EQ(count_sent(standin::sent()), static_cast<int64_t>(c.names.size())) << c.file;
        EXPECT_EQ(marker_names(standin::sent()), c.names) << c.file;
        EXPECT_TRUE(lines_of(standin::Line::Error).empty()) << c.file;
    }
    // Times in frames, as integers.
    standin::send(x, "mode", {l(1)});
    standin::clear_logs();
    standin::send(x, "bang", {});
    ASSERT_EQ(standin::sent().size(), 3u);
    EXPECT_EQ(standin::sent()[2].atoms[0].kind, Value::Long);
    EXPECT_EQ(standin::sent()[2].atoms[0].l, 1920);
}

TEST_F(MaxAdapter, BrindleBannerNamesTheVersionStampedByTheBuild) {
    const auto banner = std::find_if(load_lines.begin(), load_lines.end(),
                                     [](const std::string &t) { return t.rfind("brindle~ ", 0) == 0; });
    ASSERT_NE(banner, load_lines.end());
    EXPECT_EQ(banner->rfind(std::string("brindle~ ") + MAXAD_VERSION + " - ", 0), 0u) << *banner;
}

TEST_F(MaxAdapter, ShortWaveFileIsRefusedEvenWhereMaxWouldSeekPastTheEnd) {
    const auto dir = std::filesystem::path(MAXAD_BINARY_DIR) / "short_wave";
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir / "short.wav", std::ios::binary);
        out.write("RIFF\x04\0\0\0", 8);  // 8 bytes: the RIFF header itself is cut short
    }
    standin::add_search_folder(dir.string());
    void *x = make("brindle~", {});
    ASSERT_NE(x, nullptr);
    standin::set_lenient_seek(true);
    standin::send(x, "open", {s("short.wav")});
    standin::run_queue();
    EXPECT_TRUE(has_line(standin::Line::Error, "WAVE Header looks strange"));
    EXPECT_EQ(count_sent(standin::sent()), 0);
}

TEST_F(MaxAdapter, BrindleDialogAndMissingFiles) {
    void *x = make("brindle~", {});
    ASSERT_NE(x, nullptr);
    standin::answer_dialog(kExamples, "markers.aif");
    standin::send(x, "open", {});
    standin::run_queue();
    EXPECT_EQ(marker_names(standin::sent()), (std::vector<std::string>{"hit", "loop ", "tail"}));

    standin::clear_logs();
    standin::cancel_dialog();
    standin::send(x, "open", {});
    standin::run_queue();
    EXPECT_TRUE(standin::sent().empty());
    EXPECT_TRUE(standin::console().empty()) << "a cancelled dialog is silent";

    // Max's dialog writes names up to 511 characters; brindle~ holds 255.
    standin::clear_logs();
    standin::answer_dialog(kExamples, std::string(300, 'm') + ".wav");
    standin::send(x, "open", {});
    standin::run_queue();
    EXPECT_TRUE(standin::sent().empty());
    EXPECT_TRUE(has_line(standin::Line::Error,
                         "brindle~: Max host: the chosen file's name is longer than 255 characters"));

    standin::clear_logs();
    standin::send(x, "open", {s("no such file.wav")});
    standin::run_queue();
    EXPECT_EQ(lines_of(standin::Line::Error), std::vector<std::string>{"File not found?"});
    EXPECT_EQ(standin::console().back().object, x);
}

// Max's scheduler thread sends messages too.  brindle~ keeps to the main
// thread, where its files are opened; tessel~'s messages act at once.
TEST_F(MaxAdapter, ControlMessagesOffTheMainThreadWaitForIt) {
    standin::add_search_folder(kExamples);
    void *x = make("brindle~", {});
    ASSERT_NE(x, nullptr);
    standin::send(x, "open", {s("markers.aif")});
    standin::run_queue();
    standin::clear_logs();
    std::thread([x] { standin::send(x, "bang", {}); }).join();
    EXPECT_TRUE(standin::sent().empty()) << "brindle~ ran off the main thread";
    EXPECT_EQ(standin::run_queue(), 1);
    EXPECT_EQ(count_sent(standin::sent()), 3);

    void *y = make("tessel~", {l(2), l(1)});
    ASSERT_NE(y, nullptr);
    std::thread([y] { standin::send(y, "list", {l(1), f(500.0), f(0.5)}); }).join();
    EXPECT_EQ(standin::run_queue(), 0);
    standin::compile(y, 44100.0, 64, {1, 0, 0, 0});
    EXPECT_GT(run(y, 2, 1.0).peak(), 0.4);
}

TEST_F(MaxAdapter, BoxFreedBeforeItsDeferredOpenRuns) {
    standin::add_search_folder(kExamples);
    void *x = make("brindle~", {s("markers.wav")});
    ASSERT_NE(x, nullptr);
    drop(x);
    standin::clear_logs();
    standin::run_queue();
    EXPECT_TRUE(standin::sent().empty());
    EXPECT_TRUE(standin::console().empty());
}

}  // namespace

// --- the catch-all, long creations, and a signal box's messages from other threads -------

namespace {

// Allocations by the thread that delivers a message, counted while the
// stand-in runs the external's method (set_delivery_hooks).
std::atomic<long> allocations{0};
thread_local bool counting = false;

}  // namespace

// Kept out of line, where the compiler would pair the standard new with
// free and say so.
[[gnu::noinline]] void *operator new(std::size_t n) {
    if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(n > 0 ? n : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void *p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

TEST_F(MaxAdapter, MessagesWithoutAMethodOfTheirOwnReachTheCatchAll) {
    void *x = make("maxad_probe", {});
    ASSERT_NE(x, nullptr);
    standin::clear_logs();
    standin::send(x, "frob", {l(1), s("x")});
    standin::send(x, "bang", {});
    standin::send(x, "list", {l(2)});  // the class's own list method
    EXPECT_EQ(lines_of(standin::Line::Post),
              (std::vector<std::string>{"anything frob L:1 S:x", "anything bang", "list L:2"}));
    EXPECT_TRUE(lines_of(standin::Line::Error).empty());
}

// new_gimme passes the count as a short: 65 539 would make a box of 3.
TEST_F(MaxAdapter, CreationsTooLongForAShortCountAreRefused) {
    EXPECT_EQ(make("maxad_probe", std::vector<Value>(65539, l(1))), nullptr);
    EXPECT_TRUE(lines_of(standin::Line::Post).empty()) << lines_of(standin::Line::Post).front();
    EXPECT_EQ(lines_of(standin::Line::Error),
              std::vector<std::string>{
                  "maxad_probe: message \"new\" of 65539 atoms refused: at most 32767 are taken"});
}

class OffMainThread : public MaxAdapter {
protected:
    void SetUp() override {
        MaxAdapter::SetUp();
        standin::set_delivery_hooks([] { counting = true; }, [] { counting = false; });
    }
    void TearDown() override {
        standin::set_delivery_hooks(nullptr, nullptr);
        MaxAdapter::TearDown();
    }
    // A one-partial tessel~ in the chain, its gain inlet fed.
    void *synth() {
        void *x = make("tessel~", {l(1), l(1)});
        if (x) standin::compile(x, 44100.0, 64, {1, 0, 0, 0});
        return x;
    }
    // What the external allocated on another thread for one message.
    static long sent_elsewhere(void *x, const std::string &selector, const std::vector<Value> &args) {
        allocations = 0;
        std::thread([&] { standin::send(x, selector, args); }).join();
        return allocations.load();
    }
};

TEST_F(OffMainThread, SignalBoxesGetTheirMessagesWithoutAnAllocation) {
    void *known = synth();
    void *unknown = synth();
    void *in_order = synth();
    void *long_list = synth();
    void *refused = synth();
    ASSERT_NE(refused, nullptr);
    // A symbol made on the main thread, which delivers at once and makes it.
    standin::send(known, "list", {l(1), f(100.0), f(0.0), s("made")});
    // The count sees the external's allocations: a control box's message
    // waits for the main thread in a queue that allocates.
    void *control = make("brindle~", {});
    EXPECT_GT(sent_elsewhere(control, "mode", {l(1)}), 0);
    standin::run_queue();
    standin::clear_logs();

    EXPECT_EQ(sent_elsewhere(known, "list", {l(1), f(440.0), f(0.5), s("made")}), 0);
    EXPECT_EQ(sent_elsewhere(unknown, "list", {l(1), f(440.0), f(0.5), s("never seen before")}), 0);
    // A box's later messages follow one that waits: the list that silences
    // comes last.
    EXPECT_EQ(sent_elsewhere(in_order, "list", {l(1), f(440.0), f(0.5), s("never seen either")}), 0);
    EXPECT_EQ(sent_elsewhere(in_order, "list", {l(1), f(440.0), f(0.0)}), 0);
    std::vector<Value> forty{l(1), f(440.0), f(0.5)};
    forty.resize(40, s("made"));
    EXPECT_EQ(sent_elsewhere(long_list, "list", forty), 0);
    EXPECT_EQ(sent_elsewhere(refused, "set_transpo", {s("made")}), 0);

    EXPECT_GT(run(known, 2, 1.0).peak(), 0.4);
    EXPECT_GT(run(long_list, 2, 1.0).peak(), 0.4);
    EXPECT_EQ(run(unknown, 2, 1.0).peak(), 0.0) << "a new symbol was made off the main thread";
    EXPECT_TRUE(standin::console().empty()) << "a line was posted off the main thread";

    standin::run_queue();
    EXPECT_GT(run(unknown, 2, 1.0).peak(), 0.4);
    EXPECT_EQ(run(in_order, 2, 1.0).peak(), 0.0);
    ASSERT_EQ(standin::console().size(), 1u);
    EXPECT_EQ(standin::console()[0].text, "tessel~: bad arguments for message \"set_transpo\"");
    EXPECT_EQ(standin::console()[0].object, refused);
}

TEST_F(OffMainThread, WhatAFullQueueCannotTakeIsCounted) {
    void *x = synth();
    ASSERT_NE(x, nullptr);
    standin::send(x, "list", {l(1), f(100.0), f(0.0), s("made")});
    standin::clear_logs();
    std::thread([x] {
        for (int i = 0; i < 600; ++i) standin::send(x, "set_transpo", {s("made")});
    }).join();
    standin::run_queue();
    const auto errors = lines_of(standin::Line::Error);
    ASSERT_EQ(errors.size(), 513u);
    EXPECT_EQ(errors[511], "tessel~: bad arguments for message \"set_transpo\"");
    EXPECT_EQ(errors[512],
              "tessel~: Max host: the queue for the main thread was full: 88 message(s) or line(s) from "
              "another thread were lost");
    // Room again once the queue has run.
    std::thread([x] { standin::send(x, "set_transpo", {s("made")}); }).join();
    standin::run_queue();
    EXPECT_EQ(lines_of(standin::Line::Error).size(), 514u);
}

}  // namespace
