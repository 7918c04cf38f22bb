// The chorus and flanger engine against a plain per-frame rendering of its
// algorithm: the engine renders eight (AVX2) or four (SSE) frames at a time
// where the reads allow it and must come out bit for bit the same at either
// width, across the ends of the rings, the oscillator's turns, short flanger
// distances (where it has to fall back to fewer frames at a time), parameter
// glides, odd run and block lengths, in-place processing and samples that
// are not finite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "common/cpu_features.h"
#include "common/portable_math.h"
#include "effects/chorus_flanger_engine.h"
#include "effects/dsp/control_clock.h"

namespace {

template <int kBits>
class ReferenceSweptDelay {
public:
    static constexpr int kSize = 1 << kBits;

    ReferenceSweptDelay() : left_(kSize, 0.0f), right_(kSize, 0.0f) {}

    void setSweepIncrement(double perSample) { increment_ = reflection_ = perSample; }

    void smooth(const SweptDelayTargets& t, float factor) {
        fxdsp::glide(delay_, t.delaySamples, factor);
        fxdsp::glide(depth_, t.depthOctaves, factor);
        fxdsp::glide(feedback_, t.feedback, factor);
        const fxdsp::MixGains mix = fxdsp::mixGains(t.mix);
        fxdsp::glide(dry_, mix.dry, factor);
        fxdsp::glide(wet_, mix.wet, factor);
        fxdsp::glide(level_, t.level, factor);
    }

    void frame(float l, float r, float& outL, float& outR) {
        const float xL = l + fxdsp::kAntiDenormalOffset;
        const float xR = r + fxdsp::kAntiDenormalOffset;
        sweep_ += increment_;
        if (sweep_ >= 1.0) increment_ = -reflection_;
        if (sweep_ <= -1.0) increment_ = reflection_;
        const float k = portable::exp2(depth_ * static_cast<float>(sweep_));
        const float yL = limit(read(left_, clamp(k * delay_)));
        const float yR = limit(read(right_, clamp(delay_ / k)));
        left_[static_cast<size_t>(write_)] = yL * feedback_ + xL;
        right_[static_cast<size_t>(write_)] = yR * feedback_ + xR;
        write_ = (write_ + 1) % kSize;
        outL = (yL * wet_ + xL * dry_) * level_;
        outR = (yR * wet_ + xR * dry_) * level_;
    }

private:
    static double clamp(double c) {
        if (std::isnan(c) || c < 3.0) return 3.0;
        return c > kSize - 2.0 ? kSize - 2.0 : c;
    }
    static float limit(float y) {
        if (std::isnan(y)) return 0.0f;
        return y > 10.0f ? 10.0f : y < -10.0f ? -10.0f : y;
    }
    float slot(const std::vector<float>& ring, int i) const { return ring[static_cast<size_t>((i + kSize) % kSize)]; }
    float read(const std::vector<float>& ring, double c) const {
        double r = write_ - c;
        if (r < 0.0) r += kSize;
        const int j = static_cast<int>(std::floor(r));
        const float f = static_cast<float>(r - j);
        const float xm1 = slot(ring, j - 1), x0 = slot(ring, j), x1 = slot(ring, j + 1), x2 = slot(ring, j + 2);
        const float c1 = 0.5f * (x1 - xm1);
        const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
        const float c3 = 1.5f * (x0 - x1) + 0.5f * (x2 - xm1);
        return x0 + f * (c1 + f * (c2 + f * c3));
    }

    std::vector<float> left_, right_;
    int write_ = 0;
    double sweep_ = 0.0, increment_ = 0.0, reflection_ = 0.0;
    float delay_ = 0.0f, depth_ = 0.0f, feedback_ = 0.0f, dry_ = 0.0f, wet_ = 0.0f, level_ = 0.0f;
};

struct Scene {
    double shortestDelay, longestDelay;  // the base delay wanders between these
    double sweepPerSample;
    float feedback;
};

uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Renders `frames` of noise (with occasional bursts and non-finite samples)
// through the engine in runs of 1..16 frames between smoothing steps, and
// through the reference frame by frame; counts the frames that differ.
template <int kBits>
int framesThatDiffer(const Scene& scene, int frames, bool inPlace, unsigned seed, bool wide) {
    auto engine = std::make_unique<SweptDelayEngine<kBits>>();
    engine->allowWideLanes(wide);
    auto reference = std::make_unique<ReferenceSweptDelay<kBits>>();
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    SweptDelayTargets targets;
    const auto pickTargets = [&] {
        targets.delaySamples = scene.shortestDelay + (scene.longestDelay - scene.shortestDelay) * unit(random);
        targets.depthOctaves = static_cast<float>(unit(random));
        targets.feedback = scene.feedback * static_cast<float>(unit(random));
        targets.mix = static_cast<float>(unit(random));
        targets.level = 0.2 + 1.5 * unit(random);
    };
    pickTargets();
    engine->setSweepIncrement(scene.sweepPerSample);
    reference->setSweepIncrement(scene.sweepPerSample);
    engine->smooth(targets, 1.0f);
    reference->smooth(targets, 1.0f);

    std::vector<float> inL(static_cast<size_t>(frames)), inR(inL.size());
    for (size_t n = 0; n < inL.size(); ++n) {
        const double swell = 0.5 + 0.5 * std::sin(static_cast<double>(n) * 1e-3);
        inL[n] = static_cast<float>(swell * (2.0 * unit(random) - 1.0));
        inR[n] = static_cast<float>(swell * (2.0 * unit(random) - 1.0));
        if (n % 9973 == 500) inL[n] = 1e7f;  // held by the read limit once read
        if (n % 15013 == 700) inR[n] = std::numeric_limits<float>::quiet_NaN();
        if (n % 17011 == 900) inL[n] = -std::numeric_limits<float>::infinity();
    }
    std::vector<float> outL(inL.size()), outR(inL.size()), refL(inL.size()), refR(inL.size());
    for (size_t n = 0; n < inL.size(); ++n) reference->frame(inL[n], inR[n], refL[n], refR[n]);

    // The engine, in the order the module drives it.
    std::vector<float> bufL = inL, bufR = inR;
    int n = 0;
    // Runs up to a control period, and longer ones that the engine splits.
    std::uniform_int_distribution<int> runLength(1, 16), longRun(1, 600);
    // Fixed targets here; the glide tests cover the smoothing steps.
    while (n < frames) {
        const int count = std::min(n % 2 == 0 ? runLength(random) : longRun(random), frames - n);
        const float* sourceL = (inPlace ? bufL.data() : inL.data()) + n;
        const float* sourceR = (inPlace ? bufR.data() : inR.data()) + n;
        float* destL = (inPlace ? bufL.data() : outL.data()) + n;
        float* destR = (inPlace ? bufR.data() : outR.data()) + n;
        engine->render(sourceL, sourceR, destL, destR, count);
        n += count;
    }
    const std::vector<float>& gotL = inPlace ? bufL : outL;
    const std::vector<float>& gotR = inPlace ? bufR : outR;
    int differ = 0;
    for (size_t i = 0; i < inL.size(); ++i)
        if (bitsOf(gotL[i]) != bitsOf(refL[i]) || bitsOf(gotR[i]) != bitsOf(refR[i])) ++differ;
    return differ;
}

constexpr int kChorusBits = 17;
constexpr int kFlangerBits = 13;

}  // namespace

TEST(SweptDelayNull, ChorusDistancesAcrossTheRingEnd) {
    // Two rings' worth of frames, so every read and write crosses the end.
    const Scene scene{20.0, 13000.0, 4.0 * 2.0 / 44100.0, 0.0f};
    for (bool wide : {false, true}) EXPECT_EQ(framesThatDiffer<kChorusBits>(scene, 2 * (1 << kChorusBits) + 1234, false, 1, wide), 0) << "wide " << wide;
}

TEST(SweptDelayNull, ChorusAtTheLongestDistance) {
    // Reads of the oldest slots, right behind the write index.
    const Scene scene{60000.0, 65000.0, 4.0 * 0.3 / 44100.0, 0.0f};
    for (bool wide : {false, true}) EXPECT_EQ(framesThatDiffer<kChorusBits>(scene, (1 << kChorusBits) + 999, false, 2, wide), 0) << "wide " << wide;
}

TEST(SweptDelayNull, FlangerWithFeedbackAndShortDistances) {
    // Base delays of 2 to 9 samples with up to an octave of sweep: reads
    // within the four frames being written, which go frame by frame.
    const Scene scene{2.0, 9.0, 4.0 * 9.0 / 44100.0, 0.95f};
    for (bool wide : {false, true}) EXPECT_EQ(framesThatDiffer<kFlangerBits>(scene, 5 * (1 << kFlangerBits) + 77, false, 3, wide), 0) << "wide " << wide;
}

TEST(SweptDelayNull, FlangerDistancesAroundEightFrames) {
    // Reads from 5 to 24 samples back: eight frames at a time only where
    // every read of the eight lies behind their writes, four or one at a
    // time elsewhere.
    const Scene scene{8.0, 14.0, 4.0 * 2.0 / 44100.0, 0.7f};
    for (bool wide : {false, true}) EXPECT_EQ(framesThatDiffer<kFlangerBits>(scene, 3 * (1 << kFlangerBits) + 3, false, 9, wide), 0) << "wide " << wide;
}

TEST(SweptDelayNull, FlangerInPlaceAcrossTheWholeRange) {
    const Scene scene{22.0, 4000.0, 4.0 * 10.0 / 44100.0, 0.9f};
    for (bool wide : {false, true}) EXPECT_EQ(framesThatDiffer<kFlangerBits>(scene, 6 * (1 << kFlangerBits) + 5, true, 4, wide), 0) << "wide " << wide;
}

TEST(SweptDelayNull, ChorusInPlace) {
    const Scene scene{100.0, 3000.0, 4.0 * 1.0 / 44100.0, 0.0f};
    for (bool wide : {false, true}) EXPECT_EQ(framesThatDiffer<kChorusBits>(scene, 50000, true, 5, wide), 0) << "wide " << wide;
}

// The smoothing steps between runs: the engine and the reference glide
// their coefficients alike, with targets that move every few steps.
int glidingFramesThatDiffer(bool wide) {
    auto engine = std::make_unique<SweptDelayEngine<kFlangerBits>>();
    engine->allowWideLanes(wide);
    auto reference = std::make_unique<ReferenceSweptDelay<kFlangerBits>>();
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> runLength(1, 16);
    SweptDelayTargets targets;
    engine->setSweepIncrement(4.0 * 3.0 / 44100.0);
    reference->setSweepIncrement(4.0 * 3.0 / 44100.0);
    int differ = 0;
    for (int period = 0; period < 3000; ++period) {
        if (period % 50 == 0) {
            targets.delaySamples = 4.0 + 800.0 * unit(random);
            targets.depthOctaves = static_cast<float>(unit(random));
            targets.feedback = static_cast<float>(unit(random));
            targets.mix = static_cast<float>(unit(random));
            targets.level = 0.5 + unit(random);
        }
        const float factor = period == 0 ? 1.0f : fxdsp::kControlGlideFactor;
        engine->smooth(targets, factor);
        reference->smooth(targets, factor);
        float l[16], r[16], outL[16], outR[16], refL[16], refR[16];
        for (int i = 0; i < 16; ++i) {
            l[i] = static_cast<float>(2.0 * unit(random) - 1.0);
            r[i] = static_cast<float>(2.0 * unit(random) - 1.0);
            reference->frame(l[i], r[i], refL[i], refR[i]);
        }
        // One period in two or three runs of varied length.
        int done = 0;
        while (done < 16) {
            const int count = std::min(runLength(random), 16 - done);
            engine->render(l + done, r + done, outL + done, outR + done, count);
            done += count;
        }
        for (int i = 0; i < 16; ++i)
            if (bitsOf(outL[i]) != bitsOf(refL[i]) || bitsOf(outR[i]) != bitsOf(refR[i])) ++differ;
    }
    return differ;
}

TEST(SweptDelayNull, GlidesMatch) {
    for (bool wide : {false, true}) EXPECT_EQ(glidingFramesThatDiffer(wide), 0) << "wide " << wide;
}

// Random settings that glide while host blocks of 1..600 frames are split
// as the module splits them (a smoothing step every 16th frame, the runs
// between), at the chorus's and the flanger's ring lengths.
template <int kBits>
int randomBlocksThatDiffer(unsigned seed, bool wide) {
    auto engine = std::make_unique<SweptDelayEngine<kBits>>();
    engine->allowWideLanes(wide);
    auto reference = std::make_unique<ReferenceSweptDelay<kBits>>();
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> blockLength(1, 600);
    const double longest = kBits == kChorusBits ? 13230.0 : 441.0;
    SweptDelayTargets targets;
    const auto pickTargets = [&] {
        targets.delaySamples = 1.0 + longest * unit(random) * unit(random);
        targets.depthOctaves = static_cast<float>(unit(random));
        targets.feedback = kBits == kChorusBits ? 0.0f : static_cast<float>(unit(random));
        targets.mix = static_cast<float>(unit(random));
        targets.level = 2.0 * unit(random);
        const double rate = 4.0 * 0.05 * std::pow(200.0, unit(random)) / 44100.0;
        engine->setSweepIncrement(rate);
        reference->setSweepIncrement(rate);
    };
    pickTargets();
    engine->smooth(targets, fxdsp::kJumpFactor);
    reference->smooth(targets, fxdsp::kJumpFactor);
    fxdsp::ControlClock engineClock, referenceClock;
    const auto none = [] { return false; };
    int differ = 0;
    std::vector<float> l(600), r(600), outL(600), outR(600), refL(600), refR(600);
    for (int block = 0; block < 700; ++block) {
        if (block % 7 == 3) pickTargets();
        const int frames = blockLength(random);
        for (int i = 0; i < frames; ++i) {
            l[static_cast<size_t>(i)] = static_cast<float>(2.0 * unit(random) - 1.0);
            r[static_cast<size_t>(i)] = static_cast<float>(2.0 * unit(random) - 1.0);
        }
        fxdsp::runControlledBlock(
            engineClock, frames, none, [&] { engine->smooth(targets, fxdsp::kControlGlideFactor); }, [] {},
            [&](int offset, int count) {
                engine->render(l.data() + offset, r.data() + offset, outL.data() + offset, outR.data() + offset, count);
            });
        fxdsp::runControlledBlock(
            referenceClock, frames, none, [&] { reference->smooth(targets, fxdsp::kControlGlideFactor); }, [] {},
            [&](int offset, int count) {
                for (int i = offset; i < offset + count; ++i) {
                    const auto at = static_cast<size_t>(i);
                    reference->frame(l[at], r[at], refL[at], refR[at]);
                }
            });
        for (size_t i = 0; i < static_cast<size_t>(frames); ++i)
            if (bitsOf(outL[i]) != bitsOf(refL[i]) || bitsOf(outR[i]) != bitsOf(refR[i])) ++differ;
    }
    return differ;
}

TEST(SweptDelayNull, RandomSettingsGlidingInHostBlocks) {
    if (!cpuHasAvx2()) std::printf("no AVX2 here: both runs take four frames at a time\n");
    for (unsigned seed = 21; seed < 24; ++seed)
        for (bool wide : {false, true}) {
            EXPECT_EQ(randomBlocksThatDiffer<kChorusBits>(seed, wide), 0) << "chorus, seed " << seed << ", wide " << wide;
            EXPECT_EQ(randomBlocksThatDiffer<kFlangerBits>(seed, wide), 0) << "flanger, seed " << seed << ", wide " << wide;
        }
}
