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
#include "effects/compressor_gains.h"
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
int framesThatDiffer(const Setting& s, unsigned seed, bool wide) {
    CompressorCore core;
    core.useWideGains(wide);
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

// Every case runs with the four-frame gains (what 32-bit Windows and
// processors without AVX2 run) and with the eight-frame ones where the
// processor has them.
constexpr bool kWidths[] = {false, true};

TEST(CompressorNull, FastFollowerNoLookahead) {
    for (const bool wide : kWidths) EXPECT_EQ(framesThatDiffer({0.5f, 0.99f, 0, false}, 1, wide), 0) << wide;
}

TEST(CompressorNull, SlowFollowerWithLookahead) {
    for (const bool wide : kWidths) EXPECT_EQ(framesThatDiffer({0.999f, 0.9999f, 221, false}, 2, wide), 0) << wide;
}

TEST(CompressorNull, InPlaceWithTheLongestLookahead) {
    for (const bool wide : kWidths)
        EXPECT_EQ(framesThatDiffer({0.9f, 0.999f, CompressorCore::kRingMask, true}, 3, wide), 0) << wide;
}

// The ring's writes and reads of a stretch go in one order or the other by
// the look-ahead: every look-ahead within a stretch (where a frame reads what
// an earlier frame of the stretch wrote) and at the far end of the ring
// (where a later frame writes the slot an earlier one reads), in place and not.
TEST(CompressorNull, LookaheadsAtTheEdgesOfAStretch) {
    std::vector<int> lookaheads;
    for (int a = 0; a <= 17; ++a) lookaheads.push_back(a);
    for (int a = CompressorCore::kRingSize - 18; a <= CompressorCore::kRingMask; ++a) lookaheads.push_back(a);
    for (const int lookahead : lookaheads) {
        const bool inPlace = lookahead % 2 == 1;
        EXPECT_EQ(framesThatDiffer({0.7f, 0.995f, lookahead, inPlace}, 50u + static_cast<unsigned>(lookahead), true), 0)
            << "look-ahead " << lookahead;
    }
}

// One long run, as a caller with no smoothing steps would pass it.
TEST(CompressorNull, ARunLongerThanAStretch) {
    for (const bool wide : kWidths) {
        CompressorCore core;
        core.useWideGains(wide);
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
        EXPECT_EQ(differ, 0) << wide;
    }
}

namespace {

// Reference and core side by side with every setting the host can move
// between blocks: the follower, the look-ahead and the curve.
struct Pair {
    CompressorCore core;
    ReferenceCompressor reference;
    CompressorCurve target;

    explicit Pair(bool wide) { core.useWideGains(wide); }

    void set(const CompressorCurve& curve, float attack, float release, int lookahead) {
        target = curve;
        core.setCurveTarget(curve);
        core.setEnvelopeCoefficients(attack, release);
        core.setLookaheadSamples(lookahead);
        reference.setFollower(attack, release, lookahead);
    }
    // One host block, the curve stepped every 16th frame on both sides;
    // returns the frames whose bits differ.
    int block(const std::vector<float>& inL, const std::vector<float>& inR, int& clock) {
        const size_t frames = inL.size();
        std::vector<float> refL(frames), refR(frames), outL(frames), outR(frames);
        reference.beginBlock();
        core.beginBlock();
        size_t n = 0;
        while (n < frames) {
            if (++clock == 16) {
                clock = 0;
                core.smoothCurve(fxdsp::kControlGlideFactor);
                reference.setCurve(target, fxdsp::kControlGlideFactor);
            }
            const size_t count = std::min(frames - n, static_cast<size_t>(16 - clock));
            clock += static_cast<int>(count) - 1;
            core.processRun(inL.data() + n, inR.data() + n, outL.data() + n, outR.data() + n, static_cast<int>(count));
            for (size_t i = n; i < n + count; ++i) reference.frame(inL[i], inR[i], refL[i], refR[i]);
            n += count;
        }
        int differ = 0;
        for (size_t i = 0; i < frames; ++i)
            if (bitsOf(outL[i]) != bitsOf(refL[i]) || bitsOf(outR[i]) != bitsOf(refR[i])) ++differ;
        return differ;
    }
};

}  // namespace

// Settings that change between blocks of 1..600 frames; the input is in
// turn silence, noise well below the knee, noise at the knee's foot and
// swells that cross it, so that groups of frames are quiet, reducing or
// mixed.
TEST(CompressorNull, SettingsMovingBetweenBlocks) {
    for (unsigned seed = 10; seed < 18; ++seed) {
        const bool wide = kWidths[seed % 2];
        Pair pair(wide);
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        std::uniform_int_distribution<int> blockLength(1, 600);
        const auto settle = [&](bool jump) {
            const float knee = unit(random) < 0.4f ? 0.0f : 12.0f * unit(random);
            const CompressorCurve curve = curveFor(-40.0f * unit(random), knee, 1.0f + 30.0f * unit(random),
                                                   0.25f + 3.0f * unit(random));
            const float attack = unit(random) < 0.2f ? 0.0f : unit(random);
            pair.set(curve, attack, 1.0f - 0.01f * unit(random), static_cast<int>(unit(random) * 1023.0f));
            if (jump) {
                pair.core.smoothCurve(1.0f);
                pair.reference.setCurve(curve, 1.0f);
            }
        };
        settle(true);
        int differ = 0, clock = 0;
        for (int block = 0; block < 300; ++block) {
            if (unit(random) < 0.3f) settle(false);
            const size_t frames = static_cast<size_t>(blockLength(random));
            // Amplitude around the foot of the knee, in doublings.
            const float foot = (pair.target.thresholdUnits - pair.target.kneeUnits) / 6.0f;
            const int kind = static_cast<int>(unit(random) * 4.0f);
            std::vector<float> inL(frames, 0.0f), inR(frames, 0.0f);
            for (size_t n = 0; n < frames && kind != 0; ++n) {
                float doublings = foot - 6.0f;                                       // quiet
                if (kind == 2) doublings = foot + 0.01f * (unit(random) - 0.5f);     // at the foot
                if (kind == 3) doublings = foot + 4.0f * std::sin(0.01f * float(n));  // crossing
                const float a = std::exp2(doublings) * 1.7f;
                inL[n] = a * (2.0f * unit(random) - 1.0f);
                inR[n] = a * (2.0f * unit(random) - 1.0f);
            }
            differ += pair.block(inL, inR, clock);
        }
        EXPECT_EQ(differ, 0) << "seed " << seed << " wide " << wide;
    }
}

// A steady level held with an instant follower puts the envelope at fine
// steps across the foot of a hard knee, where the quiet frames skip their
// logarithm and the first reduced ones must not.
TEST(CompressorNull, SteadyLevelsAcrossTheFootOfTheKnee) {
    for (const float threshold : {-37.3f, -18.0f, -6.1f, 0.0f, 3.5f}) {
        for (const bool wide : kWidths) {
            Pair pair(wide);
            pair.set(curveFor(threshold, 0.0f, 20.0f, 1.0f), 0.0f, 0.0f, 0);
            pair.core.smoothCurve(1.0f);
            pair.reference.setCurve(pair.target, 1.0f);
            int differ = 0, clock = 0;
            for (int step = -400; step <= 400; ++step) {
                const float level = std::exp2(threshold / 6.0f + static_cast<float>(step) * 1e-5f) - 0.00001f;
                differ += pair.block(std::vector<float>(48, level), std::vector<float>(48, level), clock);
            }
            EXPECT_EQ(differ, 0) << "threshold " << threshold << " wide " << wide;
        }
    }
}

// Infinite and NaN samples, then a finite signal again: whatever the core
// makes of them, it makes the bits the frame-by-frame path makes.
TEST(CompressorNull, NonFiniteSamples) {
    const float specials[] = {INFINITY, -INFINITY, NAN, 1e30f};
    for (const float special : specials) {
        for (const bool wide : kWidths) {
            Pair pair(wide);
            pair.set(curveFor(-20.0f, 3.0f, 4.0f, 1.2f), 0.3f, 0.99f, 5);
            pair.core.smoothCurve(1.0f);
            pair.reference.setCurve(pair.target, 1.0f);
            int differ = 0, clock = 0;
            for (int block = 0; block < 6; ++block) {
                std::vector<float> l(100), r(100);
                for (size_t n = 0; n < l.size(); ++n) {
                    l[n] = 0.5f * std::sin(0.07f * float(n + 100 * static_cast<size_t>(block)));
                    r[n] = -l[n];
                }
                if (block == 2) l[37] = special;
                differ += pair.block(l, r, clock);
            }
            EXPECT_EQ(differ, 0) << special << " wide " << wide;
        }
    }
}

// The gain kernel at its two widths on the same frames: envelopes swept
// across quiet, knee and reduction, curves with and without a knee, and
// lanes that are not finite, where both must decline having written nothing.
TEST(CompressorNull, GainKernelWidthsAgree) {
    if (!fxdsp::compressorWideGainsAvailable()) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 random(40);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int differ = 0, declined = 0, reduced = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        const float knee = trial % 3 == 0 ? 0.0f : 12.0f * unit(random);
        const float ratio = 1.0f + 30.0f * unit(random);
        const float threshold = -40.0f * unit(random);
        const float foot = (threshold - knee) / 6.0f;
        const CompressorGainCurve curve{threshold,
                                        knee,
                                        knee > 0.0f ? (ratio - 1.0f) / (2.0f * knee * (ratio + 1.0f)) : 0.0f,
                                        1.0f - 1.0f / ratio,
                                        0.5f + unit(random),
                                        std::exp2(foot) * (1.0f - 1.0f / 1024)};
        float envelope[8], dL[8], dR[8];
        for (int i = 0; i < 8; ++i) {
            envelope[i] = std::exp2(foot + 6.0f * (unit(random) - 0.3f));
            dL[i] = 2.0f * unit(random) - 1.0f;
            dR[i] = 2.0f * unit(random) - 1.0f;
        }
        if (trial % 50 == 7) envelope[trial % 8] = trial % 100 == 7 ? NAN : INFINITY;
        float fourL[8] = {}, fourR[8] = {}, eightL[8] = {}, eightR[8] = {};
        const bool four = fxdsp::compressorGainsFour(curve, envelope, dL, dR, fourL, fourR) &&
                          fxdsp::compressorGainsFour(curve, envelope + 4, dL + 4, dR + 4, fourL + 4, fourR + 4);
        const bool eight = fxdsp::compressorGainsEight(curve, envelope, dL, dR, eightL, eightR);
        ASSERT_EQ(four, eight) << trial;
        if (!eight) {
            ++declined;
            for (int i = 0; i < 8; ++i) EXPECT_TRUE(eightL[i] == 0.0f && eightR[i] == 0.0f) << trial;
            continue;
        }
        for (int i = 0; i < 8; ++i) {
            if (bitsOf(fourL[i]) != bitsOf(eightL[i]) || bitsOf(fourR[i]) != bitsOf(eightR[i])) ++differ;
            if (eightL[i] != curve.makeUpGain * dL[i]) ++reduced;
        }
    }
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(declined, 80);       // every frame set with a lane that is not finite
    EXPECT_GT(reduced, 4000 * 2);  // the sweep does reach into the reduction
}
