// Every looped sample of the plug-in's own store, held for 20 seconds on
// its own loop: the loop is seamless when the level never jumps and no
// click marks the seam.
#include "tests/sampler/sampler_test_host.h"
#include "tools/audio_measure/click_detector.h"
#include "tools/audio_measure/envelope.h"
#include "tests/support/project_slices.h"

using namespace sampler;
using namespace sampler_test;

namespace {

TEST(SamplerLoops, EveryLoopedSampleHoldsWithoutJumpOrClick) {
    const SampleLibrary& library = SampleLibrary::shared();
    std::vector<std::string> keys;
    for (size_t i = 0; i < library.size(); ++i) {
        const auto sample = library.find(library.keyAt(i).c_str(), SampleChannels::AsStored);
        if (sample != nullptr && sample->hasFileLoop) keys.push_back(library.keyAt(i));
    }
    EXPECT_GE(keys.size(), 3u);
    // The sanitizer tree holds a spread sample of them (one loop path for all).
    std::vector<int> chosen = project_slices::spread(static_cast<int>(keys.size()), static_cast<int>(keys.size()));
    if (project_slices::kSampled)
        chosen = project_slices::spread(static_cast<int>(keys.size()), project_slices::kSanitizerSample / 2);
    for (const int k : chosen) {
        const std::string& key = keys[static_cast<size_t>(k)];
        const auto sample = library.find(key.c_str(), SampleChannels::AsStored);
        SCOPED_TRACE(key);
        SamplerHost h(44100.0f, nullptr);
        h.load(0, key.c_str());
        h.set(0, kLoop, 1.0f);
        h.set(0, kWaveLoopEnd, sample->loopEndFraction());
        h.set(0, kWaveLoop, sample->loopStartFraction());
        h.set(0, kSplitNote, 60.0f);  // the part plays its sample at its own pitch on its split note
        h.noteOn(60, 100);
        measure::StereoSignal held;
        held.left = h.render(20 * 44100, &held.right);

        // Past the attack and the first pass of the loop, the level of 100 ms
        // frames (long enough to hold a few periods of the lowest bass)
        // never rises by more than 6 dB from one frame to the next: a loop
        // that replays the attack jumps by 20 dB and more, while the slow
        // beating of a detuned pad moves less than 3 dB.
        const std::vector<double> env = measure::envelopeDb(held, 0.1);
        const double seconds = static_cast<double>(sample->loopEndFrame) / sample->sampleRateHz;
        const size_t settled = static_cast<size_t>(std::ceil(seconds * 10.0)) + 1;
        ASSERT_LT(settled, env.size());
        const measure::Rise rise = measure::largestRise(env, settled);
        EXPECT_LT(rise.db, 6.0) << "at " << static_cast<double>(rise.frame) / 100.0 << " s";
        // Still sounding at the end, at the level the loop began with.
        const double endDb = env.back();
        EXPECT_GT(endDb, -40.0);
        EXPECT_NEAR(endDb, env[settled], 6.0);
        EXPECT_TRUE(measure::findClicks(held).empty());
    }
}

}  // namespace
