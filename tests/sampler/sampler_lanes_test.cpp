// The sampler module with its voices rendered four at a time in lanes
// against the same module rendering every voice on the one-voice loop: the
// same parts and the same MIDI give the same samples, bit for bit, through
// random performances on parts in every play mode, stereo and mono samples
// mixed, blocks of every length, on each lane kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "tests/sampler/sampler_test_host.h"

using namespace sampler;
using namespace sampler_test;

namespace {

// A second library with stereo material beside the mono test signals.
class StereoLibrary {
public:
    StereoLibrary() {
        test_files::WavFormatFields f;
        f.channels = 2;
        f.blockAlign = 4;
        Bytes data;
        std::mt19937 rng(3);
        std::uniform_int_distribution<int> noise(-2000, 2000);
        for (int i = 0; i < 40000; ++i) {
            const double t = static_cast<double>(i);
            test_files::putLe16(data, static_cast<uint16_t>(static_cast<int16_t>(15000.0 * std::sin(0.05 * t) + noise(rng))));
            test_files::putLe16(data, static_cast<uint16_t>(static_cast<int16_t>(12000.0 * std::sin(0.031 * t) + noise(rng))));
        }
        resources_.addWav("Stereo.wav", test_files::wavFile(f, data));
        resources_.addWav("Sine440.wav", sineWav(440.0, 44100, 2.0));
        resources_.addWav("Sine440Low.wav", sineWav(440.0, 22050, 2.0));
        library_ = std::make_unique<SampleLibrary>(resources_.lookup());
    }
    const SampleLibrary& library() const { return *library_; }

private:
    test_support::MemoryResources resources_;
    std::unique_ptr<SampleLibrary> library_;
};

const SampleLibrary& stereoLibrary() {
    static StereoLibrary library;
    return library.library();
}

struct Pair {
    SamplerHost fast{44100.0f, &stereoLibrary()};
    SamplerHost reference{44100.0f, &stereoLibrary()};
    explicit Pair(LaneKernel kernel) {
        reference.sampler().setReferenceRendering(true);
        fast.sampler().setLaneKernel(kernel);
    }
    void set(int part, int param, float value) {
        fast.set(part, param, value);
        reference.set(part, param, value);
    }
    void load(int part, const char* name) {
        fast.load(part, name);
        reference.load(part, name);
    }
    void send(const std::vector<test_support::Midi>& events) {
        fast.send(events);
        reference.send(events);
    }
};

// Random values for a part's sound, each play mode and switch drawn.
void randomPart(Pair& pair, std::mt19937& rng, int part) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const char* names[3] = {"Stereo.wav", "Sine440.wav", "Sine440Low.wav"};
    pair.load(part, names[rng() % 3]);
    for (int param : {kLevel, kPan, kAttack, kDecay, kSustain, kRelease, kEnvTune, kTune, kTuneFine, kLevelVelocity,
                      kFilterFreq, kFilterQ, kFilterVelocity, kFilterEnv})
        pair.set(part, param, unit(rng));
    pair.set(part, kEnvTune, unit(rng) < 0.7f ? 0.5f : unit(rng));
    pair.set(part, kTuneVelocity, unit(rng) < 0.8f ? 0.0f : unit(rng));
    pair.set(part, kEnvLevel, unit(rng) < 0.8f ? 1.0f : 0.0f);
    pair.set(part, kHold, unit(rng) < 0.3f ? 1.0f : 0.0f);
    pair.set(part, kReverse, unit(rng) < 0.2f ? 1.0f : 0.0f);
    pair.set(part, kLoop, unit(rng) < 0.6f ? 1.0f : 0.0f);
    pair.set(part, kFilterOn, unit(rng) < 0.7f ? 1.0f : 0.0f);
    pair.set(part, kWaveBegin, 0.1f * unit(rng));
    pair.set(part, kWaveEnd, 0.5f + 0.5f * unit(rng));
    pair.set(part, kWaveLoop, 0.2f + 0.3f * unit(rng));
    pair.set(part, kWaveLoopEnd, 0.6f + 0.4f * unit(rng));
    pair.set(part, kWaveAttackVelocity, 0.2f * unit(rng));
    pair.set(part, kFrequencyKeyOn, unit(rng) < 0.8f ? 1.0f : 0.0f);
    pair.set(part, kFilterKeyOn, unit(rng) < 0.7f ? 1.0f : 0.0f);
}

// Each performance runs once per lane kernel (the AVX2 one where the
// processor has it).
class SamplerLanes : public testing::TestWithParam<LaneKernel> {
protected:
    void SetUp() override {
        if (!laneKernelAvailable(GetParam())) GTEST_SKIP() << "this processor has no AVX2";
    }
};

TEST_P(SamplerLanes, ModuleMatchesTheOneVoiceLoopBitForBit) {
    const int blockSizes[] = {1, 5, 16, 31, 64, 128, 512};
    long compared = 0;
    double energy = 0.0;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        Pair pair(GetParam());
        ASSERT_EQ(pair.fast.sampler().laneKernel(), GetParam());
        const int parts = 3 + static_cast<int>(seed % 3);
        for (int k = 0; k < parts; ++k) {
            randomPart(pair, rng, k);
            pair.set(k, kSplitNote, 48.0f + 12.0f * static_cast<float>(k));
        }
        // Layers in half of the runs: every note sounds on every part.
        pair.set(0, kMultiLayerOn, seed % 2 == 0 ? 1.0f : 0.0f);
        std::uniform_int_distribution<int> dice(0, 99), note(36, 96), velocity(1, 127);
        for (int rendered = 0; rendered < 8 * 44100;) {
            const int frames = blockSizes[rng() % 7];
            std::vector<test_support::Midi> events;
            const int count = dice(rng) < 60 ? 1 + dice(rng) % 3 : 0;
            for (int e = 0; e < count; ++e) {
                const int delta = frames > 1 ? dice(rng) % frames : 0;
                const int d = dice(rng);
                if (d < 55)
                    events.push_back({delta, 0x90, note(rng), velocity(rng)});
                else if (d < 92)
                    events.push_back({delta, 0x80, note(rng), 0});
                else if (d < 96)
                    events.push_back({delta, 0xB0, 64, dice(rng) < 50 ? 127 : 0});  // pedal
                else
                    events.push_back({delta, 0xE0, 0, dice(rng)});  // pitch bend
            }
            std::sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.delta < b.delta; });
            pair.send(events);
            std::vector<float> fastRight, referenceRight;
            const std::vector<float> fastLeft = pair.fast.render(frames, &fastRight, frames);
            const std::vector<float> referenceLeft = pair.reference.render(frames, &referenceRight, frames);
            for (int i = 0; i < frames; ++i) {
                const size_t k = static_cast<size_t>(i);
                ASSERT_TRUE(std::memcmp(&fastLeft[k], &referenceLeft[k], sizeof(float)) == 0 &&
                            std::memcmp(&fastRight[k], &referenceRight[k], sizeof(float)) == 0)
                    << "seed " << seed << " frame " << rendered + i << ": " << fastLeft[k] << " " << fastRight[k]
                    << " against " << referenceLeft[k] << " " << referenceRight[k];
                energy += static_cast<double>(fastLeft[k]) * fastLeft[k];
            }
            rendered += frames;
            compared += frames;
        }
        // The lanes did render here; the reference never uses them.
        EXPECT_GT(pair.fast.sampler().laneVoiceRuns(), 5000u) << "seed " << seed;
        EXPECT_EQ(pair.reference.sampler().laneVoiceRuns(), 0u);
    }
    EXPECT_GE(compared, 6L * 8 * 44100);
    EXPECT_GT(energy, 100.0);
}

INSTANTIATE_TEST_SUITE_P(Kernels, SamplerLanes, testing::Values(LaneKernel::Sse2, LaneKernel::Avx2),
                         [](const testing::TestParamInfo<LaneKernel>& info) {
                             return info.param == LaneKernel::Sse2 ? "Sse2" : "Avx2";
                         });

}  // namespace
