// The distance between renders: alike in spectrum and rhythm is near,
// either difference makes it far.
#include <gtest/gtest.h>

#include "tests/audio_measure/test_signals.h"
#include "tools/audio_measure/similarity.h"

namespace {

using namespace test_signals;

// Decaying tone hits on the given sixteenths at 120 bpm, over 4 bars.
std::vector<float> beat(double hz, std::initializer_list<int> steps, double amplitude = 0.4) {
    std::vector<float> x(static_cast<size_t>(8.0 * kRate), 0.0f);
    const size_t stepFrames = static_cast<size_t>(kRate * 0.125);
    for (int bar = 0; bar < 4; ++bar)
        for (int s : steps) {
            const size_t start = static_cast<size_t>(bar * 16 + s) * stepFrames;
            for (size_t i = 0; i < stepFrames && start + i < x.size(); ++i)
                x[start + i] += static_cast<float>(amplitude * std::exp(-double(i) / 2000.0) *
                                                   std::sin(2.0 * std::numbers::pi * hz * double(i) / kRate));
        }
    return x;
}

TEST(Similarity, ARenderIsIdenticalToItselfWhateverItsLevel) {
    const auto x = beat(200.0, {0, 4, 8, 12});
    auto quieter = x;
    for (float& v : quieter) v *= 0.25f;
    const auto l = measure::compare(measure::fingerprint(dual(x)), measure::fingerprint(dual(quieter)));
    EXPECT_NEAR(l.spectralDb, 0.0, 0.05);
    EXPECT_NEAR(l.rhythmCorrelation, 1.0, 1e-3);
    EXPECT_NEAR(l.distance, 0.0, 0.1);
}

TEST(Similarity, RhythmAndSpectrumEachMakeDistance) {
    const auto base = measure::fingerprint(dual(beat(200.0, {0, 4, 8, 12})));
    const auto otherRhythm = measure::fingerprint(dual(beat(200.0, {2, 3, 6, 11, 14})));
    const auto otherPitch = measure::fingerprint(dual(beat(1600.0, {0, 4, 8, 12})));
    const auto sameRhythm = measure::compare(base, otherPitch);
    const auto sameSound = measure::compare(base, otherRhythm);
    EXPECT_GT(sameRhythm.rhythmCorrelation, 0.9);
    EXPECT_GT(sameRhythm.spectralDb, 10.0);
    EXPECT_LT(sameSound.spectralDb, 3.0);
    EXPECT_LT(sameSound.rhythmCorrelation, 0.3);
    EXPECT_GT(sameSound.distance, 7.0);
    EXPECT_GT(sameRhythm.distance, 10.0);
}

}  // namespace
