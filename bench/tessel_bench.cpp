// The oscillator bank of tessel~, one signal vector at a time: the plain
// reference loop, every code path this processor runs, and a naive bank
// that calls std::sin once per partial and sample, all over the same
// shapes in one run.  Then two programs timed whole: Pure Data's osc~ bank
// in batch mode, and maxhost rendering a minute of tessel~, against the
// bank alone doing the same vectors.
//
// Reports nanoseconds per partial-sample, the partials one core sustains in
// real time at 48 kHz, and every ratio to the reference loop.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tessel_bank.h"

namespace {

constexpr float kSr = 48000.0f;
constexpr int kVec = 64;
constexpr int kPartials = 100;

// A bank as the perform routine sees it: frequencies spread over the audible
// range, equal amplitudes, both modulators running.
struct Bank {
    int partials, outputs, vec;
    std::vector<float> table = std::vector<float>(TESSEL_TABLE_SIZE);
    std::vector<t_partial> p;
    std::vector<float> vol;
    std::vector<std::vector<float>> acc, out;
    std::vector<float *> accp, outp;
    tessel_bank_controls c{};

    Bank(int n, int o, int v) : partials(n), outputs(o), vec(v) {
        init_sin(table.data(), TESSEL_TABLE_SIZE);
        for (int k = 0; k < n; ++k)
            p.push_back({100.0f + 97.3f * static_cast<float>(k), 1.0f / static_cast<float>(n), 0.0f});
        vol.assign(v, 0.8f);
        acc.assign(o, std::vector<float>(TESSEL_MAX_VECTOR));
        out.assign(o, std::vector<float>(v));
        for (int j = 0; j < o; ++j) accp.push_back(acc[j].data()), outp.push_back(out[j].data());
        c.vec_size = v;
        c.sr = kSr;
        c.transpo = 0.5f;
        c.shift = 3.0f;
        c.transpo_lfo_f = 5.0f;
        c.transpo_lfo_depth = 0.2f;
        c.shift_lfo_f = 2.0f;
        c.shift_lfo_depth = 1.0f;
    }

    // What the perform routine does between reading and writing the record.
    void render(tessel_path path) {
        for (auto *a : accp) std::fill(a, a + vec, 0.0f);
        tessel_bank_accumulate_on_path(path, c, table.data(), p.data(), partials, accp.data(), outputs);
        tessel_bank_scale(outputs, vol.data(), outp.data(), accp.data(), vec);
    }
};

// ns per partial-sample: a rate counter, inverted, scaled from s to ns.
void report(benchmark::State &state, const Bank &b) {
    state.counters["ns_per_partial_sample"] =
        benchmark::Counter(1e-9 * static_cast<double>(b.partials) * b.vec,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Reference(benchmark::State &state) {
    Bank b(state.range(0), state.range(1), state.range(2));
    for (auto _ : state) {
        tessel_bank_reference(b.c, b.table.data(), b.p.data(), b.partials, b.accp.data(), b.outputs,
                              b.vol.data(), b.outp.data());
        benchmark::DoNotOptimize(b.out[0].data());
        benchmark::ClobberMemory();
    }
    report(state, b);
}

void BM_Path(benchmark::State &state, tessel_path path) {
    Bank b(state.range(0), state.range(1), state.range(2));
    for (auto _ : state) {
        b.render(path);
        benchmark::DoNotOptimize(b.out[0].data());
        benchmark::ClobberMemory();
    }
    report(state, b);
}

void BM_NaiveSin(benchmark::State &state) {
    Bank b(state.range(0), state.range(1), state.range(2));
    constexpr float two_pi = 6.2831853f;
    std::vector<float> phase(b.partials, 0.0f);
    for (auto _ : state) {
        for (auto *a : b.accp) std::fill(a, a + b.vec, 0.0f);
        int q = 0;
        for (int k = b.partials - 1; k >= 0; --k) {
            const float w = two_pi * b.p[k].freq / kSr;
            float ph = phase[k];
            float *a = b.accp[q];
            for (int i = 0; i < b.vec; ++i) {
                ph += w;
                if (ph >= two_pi) ph -= two_pi;
                a[i] += b.p[k].amp * std::sin(ph);
            }
            phase[k] = ph;
            q = (q + 1) % b.outputs;
        }
        tessel_bank_scale(b.outputs, b.vol.data(), b.outp.data(), b.accp.data(), b.vec);
        benchmark::DoNotOptimize(b.out[0].data());
        benchmark::ClobberMemory();
    }
    report(state, b);
}

void shapes(benchmark::internal::Benchmark *bm) {
    bm->ArgNames({"partials", "outputs", "vec"});
    bm->Args({kPartials, 1, kVec});
    bm->Args({kPartials, 8, kVec});
    bm->Args({kPartials, 1, 512});
    bm->Args({10, 1, kVec});
    bm->Args({1, 1, kVec});
}

// Keeps each run's ns per partial-sample by shape and name, so that medians
// and ratios can be given for runs of the same shape.  With repetitions
// reported as aggregates only, the median aggregate stands for the runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::map<std::string, std::vector<double>>> by_shape;

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type != Run::RT_Iteration && !median) continue;
            std::string name = r.run_name.function_name;
            std::string shape = r.run_name.args;
            const auto it = r.counters.find("ns_per_partial_sample");
            if (it == r.counters.end()) continue;
            auto &values = by_shape[shape][name];
            if (median)
                values.assign(1, it->second.value);
            else
                values.push_back(it->second.value);
        }
    }
};

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const std::size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : 0.5 * (v[h - 1] + v[h]);
}

// Partials one core keeps up with in real time at 48 kHz.
double sustained(double ns_per_partial_sample) { return 1e9 / (kSr * ns_per_partial_sample); }

// CPU seconds (user and system) of the children reaped so far.
double children_cpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1e-6 * (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// Runs argv to the end with its output thrown away; the CPU seconds it
// used, or a negative number when it could not be run or failed.
double run_timed(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const double before = children_cpu();
    const pid_t pid = fork();
    if (pid < 0) return -1.0;
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
    return children_cpu() - before;
}

// This program's own file, to run it again as a child.
std::string self_path() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

double median_run(const std::vector<std::string> &args, int repetitions) {
    std::vector<double> t;
    for (int r = 0; r < repetitions; ++r) {
        const double s = run_timed(args);
        if (s < 0.0) return -1.0;
        t.push_back(s);
    }
    return median(t);
}

float partial_freq(int k) { return 100.0f + 97.3f * static_cast<float>(k); }

// n osc~ summed into one dac~ inlet; dsp on at load, quit after the given
// seconds of logical time, which batch Pd runs through as fast as it can.
std::string pd_patch(int n, int seconds) {
    std::ostringstream s;
    s << "#N canvas 0 50 450 300 12;\n"
         "#X obj 10 10 loadbang;\n"
         "#X obj 10 40 t b b;\n"
         "#X msg 100 70 \\; pd dsp 1;\n"
      << "#X obj 10 70 delay " << seconds * 1000 << ";\n"
      << "#X msg 10 100 \\; pd quit;\n"
         "#X obj 10 400 dac~;\n";
    for (int k = 0; k < n; ++k) s << "#X obj 10 " << 130 + k << " osc~ " << partial_freq(k) << ";\n";
    s << "#X connect 0 0 1 0;\n#X connect 1 1 2 0;\n#X connect 1 0 3 0;\n#X connect 3 0 4 0;\n";
    for (int k = 0; k < n; ++k) s << "#X connect " << 6 + k << " 0 5 0;\n";
    return s.str();
}

std::string maxhost_script(int n, int seconds) {
    // Frequency and amplitude must read as floats: fixed notation keeps the
    // decimal point.
    std::ostringstream s;
    s << "new synth tessel~ " << n << " 1\nsignal synth 0 0.8\ndsp " << kSr << " " << kVec << "\n";
    s.setf(std::ios::fixed);
    s.precision(4);
    for (int k = 0; k < n; ++k)
        s << "send synth " << k + 1 << " " << partial_freq(k) << " " << 1.0 / n << "\n";
    s << "run " << seconds << "\n";
    return s.str();
}

bool write_file(const std::string &path, const std::string &text) {
    std::ofstream f(path);
    f << text;
    return static_cast<bool>(f);
}

double thread_cpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
}

// The chosen path alone over as many vectors as maxhost renders.
double bank_seconds(int seconds) {
    Bank b(kPartials, 1, kVec);
    for (int k = 0; k < kPartials; ++k) b.p[k] = {partial_freq(k), 1.0f / kPartials, 0.0f};
    b.c.transpo_lfo_depth = 0.0f;
    b.c.shift_lfo_depth = 0.0f;
    b.c.transpo = 0.0f;
    b.c.shift = 0.0f;
    const long vectors = static_cast<long>(seconds) * static_cast<long>(kSr) / kVec;
    const double t0 = thread_cpu();
    for (long v = 0; v < vectors; ++v) {
        b.render(tessel_path_chosen());
        benchmark::DoNotOptimize(b.out[0].data());
        benchmark::ClobberMemory();
    }
    return thread_cpu() - t0;
}

// The processor's name, family and model, and the vector extensions that
// decide the paths, from the first processor in /proc/cpuinfo.
std::string cpu_model() {
    std::ifstream f("/proc/cpuinfo");
    std::string line, name = "unknown", family, model, flags;
    auto value = [&] { return line.substr(line.find(':') + 2); };
    while (std::getline(f, line) && !line.empty()) {
        if (line.rfind("model name", 0) == 0)
            name = value();
        else if (line.rfind("cpu family", 0) == 0)
            family = value();
        else if (line.rfind("model\t", 0) == 0)
            model = value();
        else if (line.rfind("flags", 0) == 0)
            flags = value() + " ";
    }
    std::string s = name;
    if (!family.empty()) s += " (family " + family + ", model " + model + ")";
    s += flags.find("avx2 ") != std::string::npos ? ", AVX2" : ", no AVX2";
    s += flags.find("avx512f ") != std::string::npos ? ", AVX-512" : ", no AVX-512";
    return s;
}

struct Options {
    std::string pd = "/usr/bin/pd";
#ifdef TESSEL_BENCH_MAXHOST
    std::string maxhost = TESSEL_BENCH_MAXHOST;
#else
    std::string maxhost;
#endif
    int seconds = 60;
    int runs = 3;
    std::string markdown;
};

bool take(const char *arg, const char *name, std::string &value) {
    const std::size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
    value = arg + n + 1;
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    Options opt;
    for (int i = 1; i < argc; ++i) {
        std::string v;
        if (take(argv[i], "--pd", opt.pd) || take(argv[i], "--maxhost", opt.maxhost) ||
            take(argv[i], "--markdown", opt.markdown))
            continue;
        // The bank alone as a program of its own, timed by the parent
        // the way maxhost is.
        if (take(argv[i], "--bank_alone", v)) {
            bank_seconds(std::max(1, std::atoi(v.c_str())));
            return 0;
        }
        if (take(argv[i], "--seconds", v))
            opt.seconds = std::max(1, std::atoi(v.c_str()));
        else if (take(argv[i], "--program_runs", v))
            opt.runs = std::max(1, std::atoi(v.c_str()));
        else {
            std::fprintf(stderr,
                         "unknown argument %s\n"
                         "tessel_bench [benchmark flags] [--pd=PATH|--pd=] [--maxhost=PATH|--maxhost=]\n"
                         "             [--seconds=60] [--program_runs=3] [--markdown=FILE]\n",
                         argv[i]);
            return 1;
        }
    }

    benchmark::RegisterBenchmark("reference", BM_Reference)->Apply(shapes);
    std::vector<std::string> paths;
    for (int p = 0; p < TESSEL_PATH_COUNT; ++p) {
        const auto path = static_cast<tessel_path>(p);
        if (!tessel_path_available(path)) {
            std::printf("path %s: not run, this processor lacks it\n", tessel_path_name(path));
            continue;
        }
        paths.push_back(tessel_path_name(path));
        benchmark::RegisterBenchmark(tessel_path_name(path), BM_Path, path)->Apply(shapes);
    }
    benchmark::RegisterBenchmark("naive_sin", BM_NaiveSin)->Apply(shapes);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::ostringstream md;
    md << "CPU: " << cpu_model() << "; bank chosen here: " << tessel_path_name(tessel_path_chosen())
       << "\n\n";
    md << "| shape | code | ns per partial-sample | partials per core at 48 kHz | speed-up over reference |\n"
          "|---|---|---:|---:|---:|\n";
    std::vector<std::string> order{"reference"};
    order.insert(order.end(), paths.begin(), paths.end());
    order.push_back("naive_sin");
    char line[256];
    double ref_main = NAN;
    for (const auto &[shape, runs] : reporter.by_shape) {
        const auto r = runs.find("reference");
        const double ref = r == runs.end() ? NAN : median(r->second);
        if (shape == "partials:100/outputs:1/vec:64") ref_main = ref;
        for (const auto &name : order) {
            const auto it = runs.find(name);
            if (it == runs.end()) continue;
            const double ns = median(it->second);
            std::snprintf(line, sizeof line, "| %s | %s | %.3f | %.0f | %.2f |\n", shape.c_str(),
                          name.c_str(), ns, sustained(ns), ref / ns);
            md << line;
        }
    }

    // Whole programs: CPU seconds of the child, the median of several runs.
    // Pure Data's figure has the same patch without oscillators taken off,
    // which leaves the oscillators and their summing.
    const double samples = static_cast<double>(opt.seconds) * kSr * kPartials;
    md << "\nWhole programs, " << opt.seconds << " s of " << kPartials
       << " partials at 48 kHz, 64-sample vectors, CPU time (median of " << opt.runs << " runs):\n\n"
       << "| program | CPU seconds | ns per partial-sample | partials per core at 48 kHz | speed-up over "
          "reference |\n"
          "|---|---:|---:|---:|---:|\n";
    std::string host_note;
    char dir_template[] = "/tmp/tessel_bench.XXXXXX";
    const char *dir = mkdtemp(dir_template);
    if (dir && !opt.pd.empty() && access(opt.pd.c_str(), X_OK) == 0) {
        const std::string full = std::string(dir) + "/osc100.pd", empty = std::string(dir) + "/osc0.pd";
        write_file(full, pd_patch(kPartials, opt.seconds));
        write_file(empty, pd_patch(0, opt.seconds));
        auto pd_args = [&](const std::string &patch) {
            return std::vector<std::string>{opt.pd, "-batch", "-noaudio", "-nrt", "-noprefs",
                                            "-r",   "48000",  "-open",    patch};
        };
        const double t_full = median_run(pd_args(full), opt.runs);
        const double t_empty = median_run(pd_args(empty), opt.runs);
        if (t_full > 0.0 && t_empty >= 0.0) {
            const double ns = 1e9 * (t_full - t_empty) / samples;
            std::snprintf(line, sizeof line,
                          "| Pure Data osc~ x %d, pd -batch | %.3f | %.3f | %.0f | %.2f |\n", kPartials,
                          t_full - t_empty, ns, sustained(ns), ref_main / ns);
            md << line;
        } else {
            md << "| Pure Data | failed to run " << opt.pd << " | | | |\n";
        }
    } else {
        md << "| Pure Data | not run (no " << opt.pd << ") | | | |\n";
    }
    if (dir && !opt.maxhost.empty() && access(opt.maxhost.c_str(), X_OK) == 0) {
        const std::string script = std::string(dir) + "/tessel100.txt";
        write_file(script, maxhost_script(kPartials, opt.seconds));
        const std::string self = self_path();
        // Both are child processes, timed alike, in alternation, so that a
        // change in the machine's load falls on both.
        std::vector<double> h, k;
        for (int r = 0; r < opt.runs; ++r) {
            h.push_back(run_timed({opt.maxhost, "run", script}));
            k.push_back(run_timed({self, "--bank_alone=" + std::to_string(opt.seconds)}));
        }
        const bool failed = std::any_of(h.begin(), h.end(), [](double t) { return t < 0.0; });
        const double t_host = failed ? -1.0 : median(h);
        const double t_bank = median(k);
        auto row = [&](const char *what, double t) {
            const double ns = 1e9 * t / samples;
            std::snprintf(line, sizeof line, "| %s | %.3f | %.3f | %.0f | %.2f |\n", what, t, ns,
                          sustained(ns), ref_main / ns);
            md << line;
        };
        if (t_host > 0.0)
            row("maxhost run, tessel~ 100 1", t_host);
        else
            md << "| maxhost run | failed to run " << opt.maxhost << " | | | |\n";
        const std::string alone =
            std::string("bank alone (") + tessel_path_name(tessel_path_chosen()) + "), same vectors";
        row(alone.c_str(), t_bank);
        if (t_host > 0.0) {
            std::snprintf(line, sizeof line, "\nmaxhost takes %.2f times the bank's time.\n",
                          t_host / t_bank);
            host_note = line;
        }
    } else {
        md << "| maxhost | not run (no maxhost given) | | | |\n";
    }
    md << host_note;
    if (dir) {
        for (const char *f : {"/osc100.pd", "/osc0.pd", "/tessel100.txt"})
            std::remove((std::string(dir) + f).c_str());
        rmdir(dir);
    }

    std::printf("\n%s", md.str().c_str());
    if (!opt.markdown.empty() && !write_file(opt.markdown, md.str())) {
        std::fprintf(stderr, "cannot write %s\n", opt.markdown.c_str());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
