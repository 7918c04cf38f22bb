// The limiter's signal path against a plain per-frame rendering with the
// follower's branches written out (the follower takes a NaN as 0 and at
// most 1e6): the core renders stretches in passes,
// with both channels' followers in SSE lanes and a selected branch, and must
// come out bit for bit the same, for every look-ahead from none to the whole
// ring, runs of any length, in place, at drives that keep it limiting, and
// for samples that are not finite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/cpu_features.h"
#include "effects/limiter_core.h"

namespace {

class ReferenceLimiter {
public:
    ReferenceLimiter(float drive, float release, int lookahead)
        : drive_(drive), release_(release), lookahead_(lookahead) {}
    void set(float drive, float release, int lookahead) {
        drive_ = drive;
        release_ = release;
        lookahead_ = lookahead;
    }

    void frame(float l, float r, float& outL, float& outR) {
        const int j = (w_ - lookahead_ + kRing) % kRing;
        outL = channel(ringL_, envelopeL_, j, l);
        outR = channel(ringR_, envelopeR_, j, r);
        w_ = (w_ + 1) % kRing;
    }

private:
    static constexpr int kRing = 512;

    float channel(std::vector<float>& ring, float& envelope, int j, float x) const {
        const float a = drive_ * x;
        ring[static_cast<size_t>(w_)] = a;
        float y = ring[static_cast<size_t>(j)];
        float h = a < 0.0f ? -a : a;
        if (std::isnan(h)) h = 0.0f;
        if (h > 1e6f) h = 1e6f;
        if (envelope < h) {
            envelope = 0.5f * envelope + 0.5f * h;
        } else {
            envelope = release_ * envelope + (1.0f - release_) * h;
            if (envelope < 1e-6f) envelope = 1e-6f;
        }
        if (envelope > 1.0f) y = y / envelope;
        y *= 0.99f;
        if (y > 1.0f) y = 1.0f;
        if (y < -1.0f) y = -1.0f;
        return y;
    }

    float drive_, release_;
    int lookahead_;
    std::vector<float> ringL_ = std::vector<float>(kRing, 0.0f), ringR_ = std::vector<float>(kRing, 0.0f);
    int w_ = 0;
    float envelopeL_ = 1.0f, envelopeR_ = 1.0f;
};

uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Frames whose output differs from the reference's, over `frames` frames of
// swelling noise with silences, rendered in runs of 1..100 frames, by the
// SSE2 passes and, where the processor has them, by the AVX2 ones.
int framesThatDiffer(float drive, float release, int lookahead, bool inPlace, bool nonFinite, unsigned seed,
                     bool wide);

int framesThatDiffer(float drive, float release, int lookahead, bool inPlace, bool nonFinite, unsigned seed) {
    int differ = framesThatDiffer(drive, release, lookahead, inPlace, nonFinite, seed, false);
    if (cpuHasAvx2()) differ += framesThatDiffer(drive, release, lookahead, inPlace, nonFinite, seed, true);
    return differ;
}

int framesThatDiffer(float drive, float release, int lookahead, bool inPlace, bool nonFinite, unsigned seed,
                     bool wide) {
    LimiterCore core;
    core.useWideLanes(wide);
    EXPECT_EQ(core.wideLanes(), wide);
    core.setDrive(drive);
    core.setReleaseCoefficient(release);
    core.setLookaheadSamples(lookahead);
    ReferenceLimiter reference(drive, release, lookahead);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> runLength(1, 100);
    constexpr size_t kFrames = 60000;
    std::vector<float> l(kFrames), r(kFrames);
    for (size_t n = 0; n < kFrames; ++n) {
        const double swell = (n / 7000) % 3 == 2 ? 0.0 : std::pow(10.0, -3.0 + 3.3 * (0.5 + 0.5 * std::sin(n * 1e-3)));
        l[n] = static_cast<float>(swell * (2.0 * unit(random) - 1.0));
        r[n] = static_cast<float>(swell * (2.0 * unit(random) - 1.0));
        if (nonFinite && n % 9001 == 17) l[n] = std::numeric_limits<float>::quiet_NaN();
        if (nonFinite && n % 13001 == 33) r[n] = -std::numeric_limits<float>::infinity();
    }
    std::vector<float> refL(kFrames), refR(kFrames);
    for (size_t n = 0; n < kFrames; ++n) reference.frame(l[n], r[n], refL[n], refR[n]);
    std::vector<float> outL(kFrames), outR(kFrames);
    if (inPlace) {
        outL = l;
        outR = r;
    }
    size_t n = 0;
    while (n < kFrames) {
        const size_t count = std::min(static_cast<size_t>(runLength(random)), kFrames - n);
        const float* sourceL = inPlace ? outL.data() + n : l.data() + n;
        const float* sourceR = inPlace ? outR.data() + n : r.data() + n;
        core.processRun(sourceL, sourceR, outL.data() + n, outR.data() + n, static_cast<int>(count));
        n += count;
    }
    int differ = 0;
    for (size_t i = 0; i < kFrames; ++i)
        if (bitsOf(outL[i]) != bitsOf(refL[i]) || bitsOf(outR[i]) != bitsOf(refR[i])) ++differ;
    return differ;
}

}  // namespace

TEST(LimiterNull, UsualLookaheadAndRelease) { EXPECT_EQ(framesThatDiffer(2.0f, 0.9995f, 110, false, false, 1), 0); }

TEST(LimiterNull, NoLookaheadFastRelease) { EXPECT_EQ(framesThatDiffer(10.0f, 0.9f, 0, false, false, 2), 0); }

TEST(LimiterNull, WholeRingLookaheadInPlace) {
    EXPECT_EQ(framesThatDiffer(3.16f, 0.99995f, LimiterCore::kRingMask, true, false, 3), 0);
}

// The ring's writes and reads of a stretch go in one order or the other by
// the look-ahead: every look-ahead within a stretch (where a frame reads what
// an earlier frame of the stretch wrote) and at the far end of the ring
// (where a later frame writes the slot an earlier one reads), in place and not.
TEST(LimiterNull, LookaheadsAtTheEdgesOfAStretch) {
    std::vector<int> lookaheads;
    for (int a = 0; a <= 17; ++a) lookaheads.push_back(a);
    for (int a = LimiterCore::kRingSize - 18; a <= LimiterCore::kRingMask; ++a) lookaheads.push_back(a);
    for (const int lookahead : lookaheads) {
        const bool inPlace = lookahead % 2 == 1;
        EXPECT_EQ(framesThatDiffer(4.0f, 0.999f, lookahead, inPlace, false, 100u + static_cast<unsigned>(lookahead)), 0)
            << "look-ahead " << lookahead;
    }
}

TEST(LimiterNull, ReleaseZeroFollowsEverySample) { EXPECT_EQ(framesThatDiffer(1.0f, 0.0f, 7, false, false, 4), 0); }

TEST(LimiterNull, SamplesThatAreNotFinite) { EXPECT_EQ(framesThatDiffer(2.0f, 0.999f, 64, true, true, 5), 0); }

TEST(LimiterNull, SingleFramesAsProcessGivesThem) {
    LimiterCore core;
    core.setDrive(4.0f);
    core.setReleaseCoefficient(0.995f);
    core.setLookaheadSamples(3);
    ReferenceLimiter reference(4.0f, 0.995f, 3);
    int differ = 0;
    for (int n = 0; n < 3000; ++n) {
        const float l = static_cast<float>(std::sin(n * 0.07)), r = static_cast<float>(std::cos(n * 0.011));
        float a, b, c, d;
        core.process(l, r, a, b);
        reference.frame(l, r, c, d);
        if (bitsOf(a) != bitsOf(c) || bitsOf(b) != bitsOf(d)) ++differ;
    }
    EXPECT_EQ(differ, 0);
}

// A NaN or an infinity in the input leaves the follower as soon as the
// signal around it would: afterwards a loud tone is limited again, neither
// passed on clipped (a follower stuck at NaN) nor silenced (one stuck at
// infinity).
TEST(LimiterNull, AFollowerThatSawANonFiniteSampleRecovers) {
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        LimiterCore core;
        core.setDrive(4.0f);  // a tone at 0.5 driven to 2: limited to about 0.99
        core.setReleaseCoefficient(0.999f);
        core.setLookaheadSamples(110);
        std::vector<float> l(44100), r(44100);
        for (size_t n = 0; n < l.size(); ++n) l[n] = r[n] = static_cast<float>(0.5 * std::sin(n * 0.0627));
        l[1000] = bad;
        std::vector<float> outL(l.size()), outR(l.size());
        core.processRun(l.data(), r.data(), outL.data(), outR.data(), static_cast<int>(l.size()));
        // The same tone on both channels: once the left follower has
        // recovered, both channels come out alike.
        float peak = 0.0f, largestDifference = 0.0f;
        for (size_t n = 30000; n < l.size(); ++n) {
            peak = std::max(peak, std::fabs(outR[n]));
            largestDifference = std::max(largestDifference, std::fabs(outL[n] - outR[n]));
        }
        EXPECT_GT(peak, 0.9f) << bad;
        EXPECT_LT(largestDifference, 1e-4f) << bad;
    }
}

// Settings that move between host blocks of 1..600 frames: the drive
// gliding towards random targets, the release and the look-ahead jumping
// now and then (releases of 0 and 1 included), over signals that swell,
// fall silent and come back, so that the followers keep crossing the
// floor and full scale, one channel at a time or both.
TEST(LimiterNull, RandomSettingsInHostBlocks) {
    LimiterCore core;
    std::mt19937 random(31);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> blockLength(1, 600);
    float drive = 1.0f, driveTarget = 4.0f, release = 0.999f;
    int lookahead = 64;
    ReferenceLimiter reference(drive, release, lookahead);
    std::vector<float> l(600), r(600), outL(600), outR(600);
    int differ = 0;
    double phase = 0.0;
    for (int block = 0; block < 900; ++block) {
        if (block % 11 == 0) driveTarget = static_cast<float>(std::pow(10.0, 1.5 * unit(random)));
        if (block % 37 == 5) {
            const double pick = unit(random);
            release = pick < 0.1 ? 0.0f : pick < 0.2 ? 1.0f : static_cast<float>(1.0 - std::pow(10.0, -4.0 * unit(random)));
        }
        if (block % 53 == 7) lookahead = static_cast<int>(511.0 * unit(random));
        drive += 0.3f * (driveTarget - drive);
        core.setDrive(drive);
        core.setReleaseCoefficient(release);
        core.setLookaheadSamples(lookahead);
        reference.set(drive, release, lookahead);
        const int frames = blockLength(random);
        // Each channel falls silent on its own, and both at once.
        const bool silentLeft = block % 9 == 4 || block % 13 == 6;
        const bool silentRight = block % 9 == 4 || block % 7 == 2;
        for (int i = 0; i < frames; ++i) {
            phase += 2e-4;
            const double swell = 0.5 + 0.5 * std::sin(phase);
            const double left = silentLeft ? 0.0 : swell, right = silentRight ? 0.0 : swell * swell;
            l[static_cast<size_t>(i)] = static_cast<float>(left * (2.0 * unit(random) - 1.0));
            r[static_cast<size_t>(i)] = static_cast<float>(right * (2.0 * unit(random) - 1.0));
        }
        core.processRun(l.data(), r.data(), outL.data(), outR.data(), frames);
        for (size_t i = 0; i < static_cast<size_t>(frames); ++i) {
            float refL, refR;
            reference.frame(l[i], r[i], refL, refR);
            if (bitsOf(outL[i]) != bitsOf(refL) || bitsOf(outR[i]) != bitsOf(refR)) ++differ;
        }
    }
    EXPECT_EQ(differ, 0);
}
