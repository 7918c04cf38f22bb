// Render speed of each effect module on its own, at 44.1 and 96 kHz, in
// 512-frame blocks of stereo noise, driven through its AEffect. The modules
// that have a peer comparison use the same settings as there; the others
// run their first program. Reports frames per second (and the real-time
// factor: frames per second / sample rate).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/compare/bench_plugin.h"
#include "bench/compare/comparisons.h"
#include "bench/compare/test_signals.h"
#include "tools/talvex_render/render_host.h"

namespace {

using namespace benchcompare;

constexpr int kBlock = 512;

struct EffectCase {
    std::string title;
    std::vector<Setting> settings;
};

std::vector<EffectCase> effectCases() {
    std::vector<EffectCase> cases;
    for (const Comparison& c : comparisons("/usr/lib/vst")) {
        if (c.instrument) continue;
        cases.push_back({c.talvex.source.substr(std::string("talvex:").size()), c.talvex.settings});
    }
    // Registered effects without a peer comparison.
    cases.push_back({"KavoFlanger", {}});
    cases.push_back({"KavoFilter", {}});
    return cases;
}

void renderEffect(benchmark::State& state, const EffectCase& effect, double sampleRate) {
    BenchPlugin plugin;
    std::string error;
    if (!plugin.open("talvex:" + effect.title, sampleRate, kBlock, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (const AppliedSetting& applied : applySettings(plugin, effect.settings))
        if (!applied.found) {
            state.SkipWithError(("setting not found: " + applied.parameter).c_str());
            return;
        }
    plugin.resume();
    // One second of input, walked through block by block.
    const StereoSignal noise = swellingNoise(sampleRate, 1.0);
    std::vector<float> outL(kBlock), outR(kBlock);
    float* outputs[2] = {outL.data(), outR.data()};
    const int64_t blocks = noise.frames() / kBlock;
    int64_t block = 0;
    for (auto _ : state) {
        const size_t at = static_cast<size_t>(block * kBlock);
        float* inputs[2] = {const_cast<float*>(noise.left.data() + at), const_cast<float*>(noise.right.data() + at)};
        plugin.session().processReplacing(inputs, outputs, kBlock);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        benchmark::ClobberMemory();
        if (++block == blocks) block = 0;
    }
    const double frames = static_cast<double>(state.iterations()) * kBlock;
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["x realtime"] = benchmark::Counter(frames / sampleRate, benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
    // The modules ask the host for time and rate; one host serves them all.
    RenderHost host(HostIdentity{}, 44100.0, kBlock);
    static const std::vector<EffectCase> cases = effectCases();
    for (const EffectCase& effect : cases)
        for (double rate : {44100.0, 96000.0})
            benchmark::RegisterBenchmark((effect.title + "/" + std::to_string(static_cast<int>(rate))).c_str(),
                                         [&effect, rate](benchmark::State& state) { renderEffect(state, effect, rate); });
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
