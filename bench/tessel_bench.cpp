// The tessel~ rendering kernel, one vector at a time, against a naive bank
// that calls std::sin once per partial and sample.  Both deal partials
// round-robin and scale by a gain vector, so the difference is the
// oscillator itself.  Reports nanoseconds per partial-sample, and at the end
// the kernel's speed-up over the naive bank for every shape.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tessel_render.h"

namespace {

constexpr float kSr = 44100.0f;

struct Bank {
    int partials, outputs, vec;
    std::vector<float> table = std::vector<float>(TESSEL_TABLE_SIZE);
    std::vector<t_partial> p;
    std::vector<float> vol;
    std::vector<std::vector<float>> acc, out;
    std::vector<float *> accp, outp;

    Bank(int n, int o, int v) : partials(n), outputs(o), vec(v) {
        init_sin(table.data(), TESSEL_TABLE_SIZE);
        for (int k = 0; k < n; ++k)
            p.push_back({100.0f + 97.3f * static_cast<float>(k), 1.0f / static_cast<float>(n), 0.0f});
        vol.assign(v, 0.8f);
        acc.assign(o, std::vector<float>(TESSEL_MAX_VECTOR));
        out.assign(o, std::vector<float>(v));
        for (int j = 0; j < o; ++j) accp.push_back(acc[j].data()), outp.push_back(out[j].data());
    }
};

// ns per partial-sample: a rate counter, inverted, scaled from s to ns.
void report(benchmark::State &state, const Bank &b) {
    state.counters["ns_per_partial_sample"] = benchmark::Counter(
        1e-9 * static_cast<double>(b.partials) * b.vec,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_TesselKernel(benchmark::State &state) {
    Bank b(state.range(0), state.range(1), state.range(2));
    tessel_controls c{};
    c.vec_size = b.vec;
    c.sr = kSr;
    c.transpo = 0.5f;
    c.shift = 3.0f;
    c.transpo_lfo_f = 5.0f;
    c.transpo_lfo_depth = 0.2f;
    c.shift_lfo_f = 2.0f;
    c.shift_lfo_depth = 1.0f;
    for (auto _ : state) {
        for (auto *a : b.accp) std::fill(a, a + b.vec, 0.0f);
        tessel_bank(c, b.table.data(), b.p.data(), b.partials, b.accp.data(), b.outputs);
        tessel_scale(b.outputs, b.vol.data(), b.outp.data(), b.accp.data(), b.vec);
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
        tessel_scale(b.outputs, b.vol.data(), b.outp.data(), b.accp.data(), b.vec);
        benchmark::DoNotOptimize(b.out[0].data());
        benchmark::ClobberMemory();
    }
    report(state, b);
}

void shapes(benchmark::internal::Benchmark *bm) {
    bm->ArgNames({"partials", "outputs", "vec"});
    for (int n : {1, 10, 100})
        for (int o : {1, 8})
            for (int v : {64, 512}) bm->Args({n, o, v});
}

BENCHMARK(BM_TesselKernel)->Apply(shapes);
BENCHMARK(BM_NaiveSin)->Apply(shapes);

// Prints as usual and keeps each run's ns per partial-sample, so the ratio
// can be given for runs of the same shape.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::map<std::string, double>> by_shape;  // shape -> name -> ns

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs) {
            if (r.run_type != Run::RT_Iteration) continue;
            const std::string name = r.benchmark_name();
            const auto slash = name.find('/');
            const auto it = r.counters.find("ns_per_partial_sample");
            if (slash == std::string::npos || it == r.counters.end()) continue;
            by_shape[name.substr(slash + 1)][name.substr(0, slash)] = it->second.value;
        }
    }
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-36s %12s %12s %8s\n", "shape", "kernel ns", "naive ns", "speed-up");
    for (const auto &[shape, runs] : reporter.by_shape) {
        const auto k = runs.find("BM_TesselKernel"), n = runs.find("BM_NaiveSin");
        if (k == runs.end() || n == runs.end()) continue;
        std::printf("%-36s %12.3f %12.3f %7.1fx\n", shape.c_str(), k->second, n->second,
                    n->second / k->second);
    }
    benchmark::Shutdown();
    return 0;
}
