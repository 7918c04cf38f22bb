// The track equaliser against a plain band-after-band rendering of its
// algorithm: the equaliser runs its three bands as a pipeline in SSE lanes
// and must come out bit for bit the same, with bands fading in and out, bands
// that are off, coefficient changes between blocks, blocks of every length
// (one and two frames included), exact zeros in the input, a track with one
// channel, and samples that are not finite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "track/equaliser.h"

namespace {

struct ReferenceBand {
    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    float x1[2] = {}, x2[2] = {}, y1[2] = {}, y2[2] = {}, wet[2] = {};
};

// Band by band over the whole block, each channel on its own.
void referenceProcess(ReferenceBand (&bands)[3], float* left, float* right, int frames, float on) {
    float* channels[2] = {left, right};
    for (ReferenceBand& b : bands) {
        if (on == 0.0f && b.wet[0] <= 0.001f && b.wet[1] <= 0.001f) continue;
        for (int ch = 0; ch < 2; ++ch) {
            float* io = channels[ch];
            if (io == nullptr) continue;
            for (int i = 0; i < frames; ++i) {
                b.wet[ch] += (on - b.wet[ch]) * 0.01f;
                float x = io[i];
                if (x == 0.0f) x = 0.00001f;
                float y = b.b0 * x + b.b1 * b.x1[ch] + b.b2 * b.x2[ch] - b.a1 * b.y1[ch] - b.a2 * b.y2[ch];
                if (std::fabs(y) <= 1e-10f) y = 0.0f;
                b.x2[ch] = b.x1[ch];
                b.x1[ch] = x;
                b.y2[ch] = b.y1[ch];
                b.y1[ch] = y;
                io[i] = x * (1.0f - b.wet[ch]) + y * b.wet[ch];
            }
        }
    }
}

uint32_t bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Bit for bit, except that any NaN equals any NaN: which operand's NaN an
// addition passes on depends on the order the compiler gives the operands,
// in the scalar code as much as in the lanes.
bool same(float a, float b) { return (std::isnan(a) && std::isnan(b)) || bits(a) == bits(b); }

void compareRun(unsigned seed, bool stereo, bool badSamples, bool wide) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    TrackEqualiser eq;
    eq.allowWideLanes(wide);
    ReferenceBand ref[3];
    // A band's new coefficients reach the equaliser at its next block.
    const auto newBand = [&](int band) {
        eq.recomputeBand(band, unit(rng), unit(rng), 2.0f * unit(rng) - 1.0f, 44100.0);
    };
    for (int band = 0; band < 3; ++band) newBand(band);
    std::vector<float> l, r, refL, refR;
    float on = 1.0f;
    long compared = 0;
    for (int block = 0; block < 400; ++block) {
        const int frames = block % 37 == 0 ? 1 + block % 3 : 1 + static_cast<int>(rng() % 600);
        l.resize(static_cast<size_t>(frames));
        r.resize(static_cast<size_t>(frames));
        const bool silent = (block / 20) % 4 == 3;
        for (int i = 0; i < frames; ++i) {
            l[static_cast<size_t>(i)] = silent ? 0.0f : noise(rng);
            r[static_cast<size_t>(i)] = silent ? 0.0f : noise(rng);
        }
        if (badSamples && rng() % 10 == 0) {
            const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                 -0.0f, 1e-30f};
            l[static_cast<size_t>(frames / 2)] = bad[rng() % 4];
        }
        refL = l;
        refR = r;
        // The switch goes off and on, so that bands fade out, rest and fade in.
        if (rng() % 25 == 0) on = on == 0.0f ? 1.0f : 0.0f;
        if (rng() % 10 == 0) newBand(static_cast<int>(rng() % 3));
        eq.process(l.data(), stereo ? r.data() : nullptr, frames, on);
        // The coefficients the equaliser took from its queue at the start of
        // the block are the ones the reference runs with.
        for (int k = 0; k < 3; ++k) {
            const EqBandState& b = eq.band(k);
            ref[k].b0 = b.b0, ref[k].b1 = b.b1, ref[k].b2 = b.b2, ref[k].a1 = b.a1, ref[k].a2 = b.a2;
        }
        referenceProcess(ref, refL.data(), stereo ? refR.data() : nullptr, frames, on);
        for (int i = 0; i < frames; ++i) {
            const size_t k = static_cast<size_t>(i);
            if (!same(l[k], refL[k]) || !same(r[k], refR[k])) {
                ADD_FAILURE() << "seed " << seed << " block " << block << " frame " << i << ": " << l[k] << " "
                              << r[k] << " against " << refL[k] << " " << refR[k];
                return;
            }
        }
        for (int k = 0; k < 3; ++k) {
            const EqBandState& b = eq.band(k);
            for (int ch = 0; ch < 2; ++ch) {
                if (!same(b.wet[ch], ref[k].wet[ch]) || !same(b.y1[ch], ref[k].y1[ch]) ||
                    !same(b.x2[ch], ref[k].x2[ch])) {
                    ADD_FAILURE() << "seed " << seed << " block " << block << " band " << k << " channel " << ch;
                    return;
                }
            }
        }
        compared += frames;
    }
    EXPECT_GT(compared, 50000);
}

TEST(TrackEqualiserNull, PipelinedBandsMatchBandAfterBandBitForBit) {
    for (unsigned seed = 1; seed <= 8; ++seed) compareRun(seed, true, false, false);
}

TEST(TrackEqualiserNull, OneChannelTrack) {
    for (unsigned seed = 20; seed <= 23; ++seed) compareRun(seed, false, false, false);
    // A one-channel track takes the four-lane pass even where eight lanes
    // are offered.
    for (unsigned seed = 24; seed <= 25; ++seed) compareRun(seed, false, false, true);
}

TEST(TrackEqualiserNull, SamplesThatAreNotFiniteOrTiny) {
    for (unsigned seed = 40; seed <= 43; ++seed) compareRun(seed, true, true, false);
}

// The two-channel pass in eight lanes, where the processor has them.
bool wideLanesHere() {
    TrackEqualiser eq;
    eq.allowWideLanes(true);
    return eq.wideLanes();
}

TEST(TrackEqualiserNull, BothChannelsInEightLanesMatchBandAfterBand) {
    if (!wideLanesHere()) GTEST_SKIP() << "no AVX2 on this processor";
    for (unsigned seed = 60; seed <= 67; ++seed) compareRun(seed, true, false, true);
    for (unsigned seed = 70; seed <= 73; ++seed) compareRun(seed, true, true, true);
}

TEST(TrackEqualiserNull, TheBandsChangeTheSignal) {
    // Guard against comparing two pass-throughs: a -20 dB low shelf takes a
    // 50 Hz tone well down once its wet mix has faded in.
    TrackEqualiser eq;
    eq.recomputeBand(0, 0.4f, 0.3f, -1.0f, 44100.0);
    std::vector<float> l(8192), r(8192);
    for (int i = 0; i < 8192; ++i) l[static_cast<size_t>(i)] = r[static_cast<size_t>(i)] = std::sin(0.00712f * i);
    eq.process(l.data(), r.data(), 8192, 1.0f);
    float peak = 0.0f;
    for (int i = 6000; i < 8192; ++i) peak = std::max(peak, std::fabs(l[static_cast<size_t>(i)]));
    EXPECT_LT(peak, 0.3f);
}

}  // namespace
