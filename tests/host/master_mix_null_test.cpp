// The block loops at the end of a render against the frame-by-frame loops
// they replace: send buses added with their peaks (one- and two-channel
// buses, the effects pair, samples that are not finite), and the master
// section with gains gliding and settled, meters carried from block to
// block, blocks of 0 to 700 frames on any alignment, in place or not.
// Outputs, peaks, gains and meters must come out bit for bit the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "host/master_mix.h"

namespace {

float referenceSendBus(float* const out[2], float* const extra[2], const float* const bus[2], int frames) {
    float busPeak = 0.0f;
    for (int i = 0; i < frames; ++i) {
        out[0][i] += bus[0][i];
        out[1][i] += bus[1][i];
        busPeak = std::max(busPeak, std::max(std::fabs(bus[0][i]), std::fabs(bus[1][i])));
    }
    if (extra != nullptr) {
        for (int i = 0; i < frames; ++i) {
            extra[0][i] += bus[0][i];
            extra[1][i] += bus[1][i];
        }
    }
    return busPeak;
}

float referenceLimit(float x) {
    if (std::fabs(x) <= 0.99f) return x;
    if (!std::isfinite(x)) return 0.0f;
    return x > 0.0f ? 0.99f : -0.99f;
}

void referenceMaster(const float* const in[2], float* const out[2], int frames, const MasterMixTargets& t,
                     MasterMixState& s) {
    float a = s.crossfadeA, b = s.crossfadeB, g = s.gain;
    float ml = s.meterLeft, mr = s.meterRight;
    for (int i = 0; i < frames; ++i) {
        a += (t.crossfadeA - a) * 0.005f;
        b += (t.crossfadeB - b) * 0.005f;
        g += (t.gain - g) * 0.005f;
        const float l = referenceLimit(g * in[0][i]);
        const float r = referenceLimit(g * in[1][i]);
        ml = std::max(ml, std::fabs(l)) * 0.9999f;
        mr = std::max(mr, std::fabs(r)) * 0.9999f;
        out[0][i] = l;
        out[1][i] = r;
    }
    s = MasterMixState{a, b, g, ml, mr};
}

uint32_t bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Mostly sound within the limit, some of it loud, and now and then a
// sample that is not finite, a denormal or a negative zero.
float sample(std::mt19937& rng, bool odd) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const float x = u(rng);
    if (!odd) return x * (rng() % 4 == 0 ? 3.0f : 0.8f);
    switch (rng() % 24) {
        case 0: return std::numeric_limits<float>::quiet_NaN();
        case 1: return std::numeric_limits<float>::infinity();
        case 2: return -std::numeric_limits<float>::infinity();
        case 3: return 1.0e-40f;
        case 4: return -0.0f;
        case 5: return 1.0e30f;
        default: return x;
    }
}

void expectSameBits(const std::vector<float>& got, const std::vector<float>& want, const char* what) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(bits(got[i]), bits(want[i])) << what << " at " << i;
}

constexpr int kSizes[] = {0, 1, 3, 4, 5, 31, 64, 65, 255, 256, 257, 512, 700};

}  // namespace

TEST(MasterMixNull, SendBusSumsAndPeaksAreTheFrameLoops) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        const int frames = kSizes[round % std::size(kSizes)];
        const int offset = static_cast<int>(rng() % 4);  // any alignment
        const bool odd = round % 3 == 0, mono = round % 5 == 1, withExtra = round % 2 == 0;
        const int n = frames + offset;
        std::vector<float> busL(n), busR(n), outL(n), outR(n), exL(n), exR(n);
        for (int i = 0; i < n; ++i) {
            busL[i] = sample(rng, odd) * 0.1f;
            busR[i] = sample(rng, odd) * 0.1f;
            outL[i] = sample(rng, false);
            outR[i] = sample(rng, false);
            exL[i] = sample(rng, false);
            exR[i] = sample(rng, false);
        }
        // A NaN on the left beside the loudest right sample: the peak must
        // pass over that frame as the frame loop did.
        if (odd)
            for (int i = 0; i < n; ++i)
                if (std::isnan(busL[i])) busR[i] = 1.0e35f;
        // A quiet bus now and then, as at the end of a tail.
        if (round % 7 == 3)
            for (int i = 0; i < n; ++i) busL[i] = busR[i] = 1.0e-7f * static_cast<float>(i % 3);
        std::vector<float> refL = outL, refR = outR, refExL = exL, refExR = exR;
        const float* const bus[2] = {busL.data() + offset, (mono ? busL : busR).data() + offset};
        float* const out[2] = {outL.data() + offset, outR.data() + offset};
        float* const extra[2] = {exL.data() + offset, exR.data() + offset};
        float* const refOut[2] = {refL.data() + offset, refR.data() + offset};
        float* const refExtra[2] = {refExL.data() + offset, refExR.data() + offset};
        const float peak = addSendBus(out, withExtra ? extra : nullptr, bus, frames);
        const float want = referenceSendBus(refOut, withExtra ? refExtra : nullptr, bus, frames);
        ASSERT_EQ(bits(peak), bits(want)) << "round " << round;
        expectSameBits(outL, refL, "left");
        expectSameBits(outR, refR, "right");
        expectSameBits(exL, refExL, "effects left");
        expectSameBits(exR, refExR, "effects right");
    }
}

// A NaN on the left hides the frame's right sample from the peak; the tail
// check that reads the peak saw it so, and still does.
TEST(MasterMixNull, SendBusPeakPassesOverNonFiniteLeftFrames) {
    std::vector<float> l(8, 0.0f), r(8, 0.0f), outL(8, 0.0f), outR(8, 0.0f);
    l[2] = std::numeric_limits<float>::quiet_NaN();
    r[2] = 0.5f;
    r[5] = 0.25f;
    const float* const bus[2] = {l.data(), r.data()};
    float* const out[2] = {outL.data(), outR.data()};
    EXPECT_EQ(addSendBus(out, nullptr, bus, 8), 0.25f);
    EXPECT_TRUE(std::isnan(outL[2]));
    EXPECT_EQ(outR[2], 0.5f);
}

TEST(MasterMixNull, MasterSectionIsTheFrameLoop) {
    std::mt19937 rng(5);
    for (int run = 0; run < 24; ++run) {
        const bool inPlace = run % 2 == 1, mono = run % 3 == 2, odd = run % 4 == 3;
        MasterMixState state{0.3f, 0.7f, 0.5f, 0.2f, 0.0f}, want = state;
        // Settled gains: the targets are where the gains are.
        MasterMixTargets targets{state.crossfadeA, state.crossfadeB, state.gain};
        for (int block = 0; block < 30; ++block) {
            // Moves of level and crossfade now and then, some of them within
            // the last step of a glide.
            switch (rng() % 6) {
                case 0: targets.gain = std::uniform_real_distribution<float>(0.0f, 2.0f)(rng); break;
                case 1: targets.crossfadeA = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); break;
                case 2: targets.crossfadeB = std::uniform_real_distribution<float>(0.0f, 1.0f)(rng); break;
                case 3: targets.gain = std::nextafter(state.gain, 3.0f); break;
                default: break;
            }
            const int frames = kSizes[rng() % std::size(kSizes)];
            const int offset = static_cast<int>(rng() % 4);
            const int n = frames + offset;
            std::vector<float> inL(n), inR(n), outL(n, 9.0f), outR(n, 9.0f);
            for (int i = 0; i < n; ++i) {
                inL[i] = sample(rng, odd);
                inR[i] = sample(rng, odd);
            }
            if (block % 9 == 8) std::fill(inL.begin(), inL.end(), 0.0f);  // the meter falls
            std::vector<float> refInL = inL, refInR = inR, refOutL = outL, refOutR = outR;
            if (inPlace) {
                const float* const in[2] = {inL.data() + offset, inR.data() + offset};
                float* const out[2] = {inL.data() + offset, inR.data() + offset};
                mixMaster(in, out, frames, targets, state);
                const float* const refIn[2] = {refInL.data() + offset, refInR.data() + offset};
                float* const refOut[2] = {refInL.data() + offset, refInR.data() + offset};
                referenceMaster(refIn, refOut, frames, targets, want);
            } else {
                const float* const in[2] = {inL.data() + offset, (mono ? inL : inR).data() + offset};
                float* const out[2] = {outL.data() + offset, outR.data() + offset};
                mixMaster(in, out, frames, targets, state);
                const float* const refIn[2] = {refInL.data() + offset, (mono ? refInL : refInR).data() + offset};
                float* const refOut[2] = {refOutL.data() + offset, refOutR.data() + offset};
                referenceMaster(refIn, refOut, frames, targets, want);
            }
            SCOPED_TRACE(testing::Message() << "run " << run << " block " << block << " frames " << frames);
            expectSameBits(inL, refInL, "left");
            expectSameBits(inR, refInR, "right");
            expectSameBits(outL, refOutL, "out left");
            expectSameBits(outR, refOutR, "out right");
            ASSERT_EQ(bits(state.crossfadeA), bits(want.crossfadeA));
            ASSERT_EQ(bits(state.crossfadeB), bits(want.crossfadeB));
            ASSERT_EQ(bits(state.gain), bits(want.gain));
            ASSERT_EQ(bits(state.meterLeft), bits(want.meterLeft));
            ASSERT_EQ(bits(state.meterRight), bits(want.meterRight));
        }
    }
}

// The output stays within the limit and finite whatever comes in, and the
// meter decays by its factor per frame on silence.
TEST(MasterMixNull, LimitAndMeterDecay) {
    std::vector<float> inL = {2.0f, -5.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f,
                              -std::numeric_limits<float>::infinity(), 0.0f, 0.0f, 0.0f};
    std::vector<float> inR(inL.size(), 0.0f), outL(inL.size()), outR(inL.size());
    const float* const in[2] = {inL.data(), inR.data()};
    float* const out[2] = {outL.data(), outR.data()};
    MasterMixState state{1.0f, 1.0f, 1.0f, 0.0f, 0.0f};
    mixMaster(in, out, 8, MasterMixTargets{1.0f, 1.0f, 1.0f}, state);
    const std::vector<float> want = {0.99f, -0.99f, 0.0f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f};
    expectSameBits(outL, want, "limited");
    float meter = 0.99f;
    for (int i = 1; i < 8; ++i) meter *= kMasterMeterDecay;
    EXPECT_FLOAT_EQ(state.meterLeft, meter);
    EXPECT_EQ(state.meterRight, 0.0f);
}
