// The compressor's signal path against a plain per-frame rendering of its
// algorithm: the core renders runs in two passes (detector and follower,
// then the gains) and must come out bit for bit the same, through curve
// glides, knees, look-ahead, block starts (where the power sum is rebuilt),
// runs longer and shorter than its stretch, in place, and loud swells that
// cross the threshold both ways.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "common/portable_math.h"
#include "effects/compressor_core.h"
#include "effects/dsp/smoothing.h"

namespace {

constexpr int kRing = 1024;

class ReferenceCompressor {
public:
    void setCurve(const CompressorCurve& target, float factor) {
        fxdsp::glide(curve_.thresholdUnits, target.thresholdUnits, factor);
        fxdsp::glide(curve_.kneeUnits, target.kneeUnits, factor);
        fxdsp::glide(curve_.kneeSlope, target.kneeSlope, factor);
        fxdsp::glide(curve_.ratio, target.ratio, factor);
        fxdsp::glide(curve_.makeUpGain, target.makeUpGain, factor);
    }
    void setFollower(float attack, float release, int lookahead) {
        attack_ = attack;
        release_ = release;
        lookahead_ = lookahead;
    }
    void beginBlock() { rebuild_ = true; }

    void frame(float l, float r, float& outL, float& outR) {
        ringL_[static_cast<size_t>(w_)] = l + 0.00001f;
        ringR_[static_cast<size_t>(w_)] = r + 0.00001f;
        if (rebuild_) {
            rebuild_ = false;
            power_ = 0.0;
            for (int i = 0; i < 40; ++i) {
                const double u = mono(w_ - i);
                power_ += u * u;
            }
        } else {
            const double oldest = mono(w_ - 40), newest = mono(w_);
            power_ = power_ - oldest * oldest + newest * newest;
        }
        const float meanSquare = std::max(static_cast<float>(power_) / 40.0f, 0.0f);
        const float rms = std::sqrt(meanSquare);
        const float c = rms > envelope_ ? attack_ : release_;
        envelope_ = std::max(rms * (1.0f - c) + c * envelope_, 0.00001f);
        const size_t j = static_cast<size_t>((w_ - lookahead_ + kRing) % kRing);
        float dL = ringL_[j], dR = ringR_[j];
        const float v = 6.0f * portable::log2(envelope_);
        const float t = curve_.thresholdUnits, e = curve_.kneeUnits;
        float reduction = 0.0f;
        if (v > t - e) {
            if (v < t + e) {
                const float k = v - t + e;
                reduction = k * (1.0f - 1.0f / (1.0f + curve_.kneeSlope * k));
            } else {
                reduction = (curve_.ratio > 0.0f ? 1.0f - 1.0f / curve_.ratio : 0.0f) * (v - t);
            }
        }
        if (reduction != 0.0f) {
            const float gain = portable::exp2(-reduction / 6.0f);
            dL *= gain;
            dR *= gain;
        }
        outL = curve_.makeUpGain * dL;
        outR = curve_.makeUpGain * dR;
        w_ = (w_ + 1) % kRing;
    }

private:
    double mono(int i) const {
        const size_t k = static_cast<size_t>((i + kRing) % kRing);
        return 0.5f * ringL_[k] + 0.5f * ringR_[k];
    }
    CompressorCurve curve_;
    float attack_ = 0.0f, release_ = 0.0f;
    int lookahead_ = 0;
    std::vector<float> ringL_ = std::vector<float>(kRing, 0.0f), ringR_ = std::vector<float>(kRing, 0.0f);
    int w_ = 0;
    double power_ = 0.0;
    bool rebuild_ = true;
    float envelope_ = 0.0f;
};

uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

CompressorCurve curveFor(float threshold, float knee, float ratio, float makeUp) {
    CompressorCurve c;
    c.thresholdUnits = threshold;
    c.kneeUnits = knee;
    c.ratio = ratio;
    c.kneeSlope = knee > 0.0f ? (ratio - 1.0f) / (2.0f * knee * (ratio + 1.0f)) : 0.0f;
    c.makeUpGain = makeUp;
    return c;
}

struct Setting {
    float attack, release;
    int lookahead;
    bool inPlace;
};

// Blocks of 1..700 frames, each cut into runs of 1..40 frames between the
// smoothing steps of every 16th frame; the curve target moves now and then.
int framesThatDiffer(const Setting& s, unsigned seed) {
    CompressorCore core;
    ReferenceCompressor reference;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> blockLength(1, 700), runLength(1, 40);
    const auto pickCurve = [&] {
        return curveFor(static_cast<float>(-30.0 * unit(random)), unit(random) < 0.3 ? 0.0f : 9.0f * float(unit(random)),
                        1.0f + 19.0f * static_cast<float>(unit(random)), 0.5f + 2.0f * static_cast<float>(unit(random)));
    };
    CompressorCurve target = pickCurve();
    core.setCurveTarget(target);
    core.smoothCurve(1.0f);
    reference.setCurve(target, 1.0f);
    core.setEnvelopeCoefficients(s.attack, s.release);
    core.setLookaheadSamples(s.lookahead);
    reference.setFollower(s.attack, s.release, s.lookahead);

    int differ = 0, frame = 0, clock = 0;
    for (int block = 0; block < 400; ++block) {
        const int frames = blockLength(random);
        std::vector<float> inL(static_cast<size_t>(frames)), inR(inL.size());
        for (size_t n = 0; n < inL.size(); ++n, ++frame) {
            const double swell = std::pow(10.0, -2.5 + 2.7 * (0.5 + 0.5 * std::sin(frame * 2e-4)));
            inL[n] = static_cast<float>(swell * (2.0 * unit(random) - 1.0));
            inR[n] = static_cast<float>(swell * (2.0 * unit(random) - 1.0));
        }
        std::vector<float> refL(inL.size()), refR(inL.size()), outL(inL.size()), outR(inL.size());
        if (block % 37 == 5) {
            target = pickCurve();
            core.setCurveTarget(target);
        }
        // The reference frame by frame, its steps where the module has them.
        reference.beginBlock();
        int refClock = clock;
        for (size_t n = 0; n < inL.size(); ++n) {
            if (++refClock == 16) {
                refClock = 0;
                reference.setCurve(target, fxdsp::kControlGlideFactor);
            }
            reference.frame(inL[n], inR[n], refL[n], refR[n]);
        }
        // The core in runs that end at the steps or earlier.
        core.beginBlock();
        std::vector<float> bufL = inL, bufR = inR;
        int n = 0;
        while (n < frames) {
            if (++clock == 16) {
                clock = 0;
                core.smoothCurve(fxdsp::kControlGlideFactor);
            }
            const int count = std::min({runLength(random), frames - n, 16 - clock});
            clock += count - 1;
            if (s.inPlace) {
                core.processRun(bufL.data() + n, bufR.data() + n, bufL.data() + n, bufR.data() + n, count);
            } else {
                core.processRun(inL.data() + n, inR.data() + n, outL.data() + n, outR.data() + n, count);
            }
            n += count;
        }
        const std::vector<float>& gotL = s.inPlace ? bufL : outL;
        const std::vector<float>& gotR = s.inPlace ? bufR : outR;
        for (size_t i = 0; i < inL.size(); ++i)
            if (bitsOf(gotL[i]) != bitsOf(refL[i]) || bitsOf(gotR[i]) != bitsOf(refR[i])) ++differ;
    }
    return differ;
}

}  // namespace

TEST(CompressorNull, FastFollowerNoLookahead) { EXPECT_EQ(framesThatDiffer({0.5f, 0.99f, 0, false}, 1), 0); }

TEST(CompressorNull, SlowFollowerWithLookahead) {
    EXPECT_EQ(framesThatDiffer({0.999f, 0.9999f, 221, false}, 2), 0);
}

TEST(CompressorNull, InPlaceWithTheLongestLookahead) {
    EXPECT_EQ(framesThatDiffer({0.9f, 0.999f, CompressorCore::kRingMask, true}, 3), 0);
}

// One long run, as a caller with no smoothing steps would pass it.
TEST(CompressorNull, ARunLongerThanAStretch) {
    CompressorCore core;
    ReferenceCompressor reference;
    const CompressorCurve curve = curveFor(-20.0f, 6.0f, 8.0f, 1.5f);
    core.setCurveTarget(curve);
    core.smoothCurve(1.0f);
    reference.setCurve(curve, 1.0f);
    core.setEnvelopeCoefficients(0.6f, 0.995f);
    reference.setFollower(0.6f, 0.995f, 30);
    core.setLookaheadSamples(30);
    std::vector<float> l(5000), r(5000), outL(5000), outR(5000);
    for (size_t n = 0; n < l.size(); ++n) {
        l[n] = static_cast<float>(0.9 * std::sin(n * 0.05));
        r[n] = static_cast<float>(0.3 * std::cos(n * 0.031));
    }
    core.beginBlock();
    reference.beginBlock();
    core.processRun(l.data(), r.data(), outL.data(), outR.data(), static_cast<int>(l.size()));
    int differ = 0;
    for (size_t n = 0; n < l.size(); ++n) {
        float a, b;
        reference.frame(l[n], r[n], a, b);
        if (bitsOf(a) != bitsOf(outL[n]) || bitsOf(b) != bitsOf(outR[n])) ++differ;
    }
    EXPECT_EQ(differ, 0);
}
