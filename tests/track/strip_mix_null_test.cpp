// The strip mix against the frame-by-frame loop it replaces: gains gliding
// and settled, pans, mutes, sends loaded or not, the drum machine's send
// floor and pad sends, one- and two-channel modules, the own output pair,
// blocks of 1 to 600 frames, buffers on any alignment, and samples that are
// not finite. Buses and gains must come out bit for bit the same, at both
// lane widths; the meter the same at both widths and within its stated
// bound of the frame-by-frame one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "track/strip_mix.h"

namespace {

// The mix as it ran frame by frame; `loudest` follows the largest finite
// peak it has seen.
void referenceMix(const StripMixBuffers& io, const StripMixTargets& t, StripMixState& st, float& loudest) {
    float gl = st.gainLeft, gr = st.gainRight, meter = st.meter;
    for (int i = 0; i < io.frames; ++i) {
        gl += (t.left - gl) * 0.005f;
        gr += (t.right - gr) * 0.005f;
        float l = io.in[0][i];
        float r = io.in[1][i];
        if (io.own[0] != nullptr) {
            io.own[0][i] = l;
            io.own[1][i] = r;
        }
        l *= gl;
        r *= gr;
        const float al = std::fabs(l), ar = std::fabs(r);
        for (float a : {al, ar})
            if (std::isfinite(a)) loudest = std::max(loudest, a);
        if (al > meter) meter = al;
        if (ar > meter) meter = ar;
        meter *= 0.995f;
        io.master[0][i] += l;
        io.master[1][i] += r;
        for (int s = 0; s < 4; ++s) {
            if (io.send[s][0] == nullptr) continue;
            float& sg = st.sendGain[s];
            sg += (t.send[s] - sg) * 0.001f;
            if (t.drumFloor[s] && sg < 0.000021f) sg = 0.000021f;
            io.send[s][0][i] += sg * l;
            io.send[s][1][i] += sg * r;
        }
        for (int k = 0; k < 2; ++k) {
            if (io.pads[k][0] == nullptr) continue;
            io.send[k][0][i] += io.pads[k][0][i] * gl;
            io.send[k][1][i] += io.pads[k][1][i] * gr;
        }
    }
    st.gainLeft = gl;
    st.gainRight = gr;
    st.meter = meter;
}

uint32_t bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Bit for bit, except that any NaN equals any NaN (which operand's NaN an
// addition passes on is the compiler's choice of operand order).
bool same(float a, float b) { return (std::isnan(a) && std::isnan(b)) || bits(a) == bits(b); }

// How far the meter may stray from the frame-by-frame one. Each frame-by-
// frame step rounds once; the chunked meter rounds a decay power and a
// product once per chunk. A peak p that has decayed for k frames stands for
// p · d^k on both sides, within (1 ± 2^-24)^k, so they differ by at most
// about 2^-23 · k of the meter. Every peak that can still set the meter has
// k <= ln(loudest / meter) / ln(1 / d). Below the normal range each
// rounding may be off by half the smallest step instead.
float meterTolerance(float meter, float loudest) {
    const double floor = std::max(static_cast<double>(meter), 1e-45);
    const double frames = std::max(0.0, std::log(loudest / floor) / -std::log(0.995)) + 2.0;
    return static_cast<float>(1.01 * frames * (std::ldexp(meter, -23) + std::ldexp(1.0, -149)));
}

bool meterWithin(float fast, float slow, float loudest) {
    if (std::isinf(slow)) return fast == slow;
    return std::fabs(fast - slow) <= meterTolerance(slow, loudest);
}

constexpr int kMaxFrames = 600;

// The buffers of one side of the comparison, each starting `skew` floats
// into its storage so that blocks sit on every alignment: 0-1 the module's
// pair, 2-5 the pad pairs, 6-7 the master, 8-15 the send buses, 16-17 the
// own output pair.
constexpr int kBuffers = 18;
struct Side {
    std::vector<float> store[kBuffers];
    float* at(int k, int skew) { return store[k].data() + skew; }
    Side() {
        for (auto& s : store) s.assign(kMaxFrames + 8, 0.0f);
    }
};

struct Counts {
    long frames = 0;
    int settledBlocks = 0;
    int glidingBlocks = 0;
    int floorBlocks = 0;
    // Blocks whose meter was not the frame-by-frame one to the bit, and the
    // largest difference seen in units of the meter's last place.
    int meterDiffers = 0;
    double meterUlps = 0.0;
};

bool settledAll(const StripMixState& st, const StripMixTargets& t, const bool (&loaded)[4]) {
    const auto still = [](float g, float target, float k) { return g + (target - g) * k == g; };
    bool all = still(st.gainLeft, t.left, 0.005f) && still(st.gainRight, t.right, 0.005f);
    for (int s = 0; s < 4; ++s)
        if (loaded[s]) all = all && still(st.sendGain[s], t.send[s], 0.001f);
    return all;
}

// The mix in four lanes, in eight (where the processor has AVX2) and frame
// by frame, on the same blocks.
void compareRun(unsigned seed, bool stereo, bool badSamples, Counts& counts) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    const auto gainTarget = [&]() {
        const unsigned pick = rng() % 6;
        return pick == 0 ? 0.000001f : pick == 1 ? 0.0f : 1.5f * unit(rng);
    };
    Side fast, wide, slow;
    StripMixState stFast, stWide, stSlow;
    float loudest = 0.0f;
    StripMixTargets targets;
    bool loaded[4] = {true, false, true, true};
    bool own = false, pads = false;
    const auto retarget = [&]() {
        // A pan: one side at the level, the other below it.
        const float level = gainTarget();
        targets.left = level;
        targets.right = rng() % 2 == 0 ? level : level * unit(rng);
        for (int s = 0; s < 4; ++s) {
            targets.send[s] = gainTarget();
            targets.drumFloor[s] = rng() % 3 == 0;
            if (rng() % 4 == 0) loaded[s] = !loaded[s];
        }
        own = rng() % 2 == 0;
        pads = rng() % 3 == 0;
    };
    retarget();
    for (int block = 0; block < 500; ++block) {
        const int frames = block % 41 == 0 ? 1 + block % 5 : 1 + static_cast<int>(rng() % kMaxFrames);
        // Targets hold for many blocks at times, so that every gain settles.
        if (rng() % 40 == 0) retarget();
        const int skew = static_cast<int>(rng() % 4);
        for (int k = 0; k < kBuffers; ++k) {
            for (int i = 0; i < frames; ++i) {
                const float v = k < 6 ? noise(rng) : rng() % 50 == 0 ? -0.0f : 0.1f * noise(rng);
                fast.at(k, skew)[i] = wide.at(k, skew)[i] = slow.at(k, skew)[i] = v;
            }
        }
        if (badSamples && rng() % 8 == 0) {
            const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(), 3e38f};
            const int k = static_cast<int>(rng() % 10);  // the module's signal, a pad or a bus
            const int i = static_cast<int>(rng() % static_cast<unsigned>(frames));
            fast.at(k, skew)[i] = wide.at(k, skew)[i] = slow.at(k, skew)[i] = bad[rng() % 4];
            // A loud sample on the other side of the frame: the meter must
            // take it whichever side is not a number.
            if (k < 2) fast.at(1 - k, skew)[i] = wide.at(1 - k, skew)[i] = slow.at(1 - k, skew)[i] = 5.0f;
        }
        const auto wire = [&](Side& side) {
            StripMixBuffers io;
            io.frames = frames;
            io.in[0] = side.at(0, skew);
            io.in[1] = stereo ? side.at(1, skew) : side.at(0, skew);
            for (int k = 0; k < 2; ++k)
                if (pads && loaded[k] && targets.drumFloor[k]) {
                    io.pads[k][0] = side.at(2 + 2 * k, skew);
                    io.pads[k][1] = side.at(3 + 2 * k, skew);
                }
            io.master[0] = side.at(6, skew);
            io.master[1] = side.at(7, skew);
            if (own) {
                io.own[0] = side.at(16, skew);
                io.own[1] = side.at(17, skew);
            }
            for (int s = 0; s < 4; ++s)
                if (loaded[s]) {
                    io.send[s][0] = side.at(8 + 2 * s, skew);
                    io.send[s][1] = side.at(9 + 2 * s, skew);
                }
            return io;
        };
        StripMixBuffers ioFast = wire(fast), ioWide = wire(wide), ioSlow = wire(slow);

        if (settledAll(stFast, targets, loaded))
            ++counts.settledBlocks;
        else
            ++counts.glidingBlocks;
        for (int s = 0; s < 4; ++s)
            if (loaded[s] && targets.drumFloor[s] && stFast.sendGain[s] < 0.000021f) ++counts.floorBlocks;

        mixStrip(ioFast, targets, stFast, false);
        mixStrip(ioWide, targets, stWide, true);
        referenceMix(ioSlow, targets, stSlow, loudest);

        for (int k = 6; k < kBuffers; ++k)
            for (int i = 0; i < frames; ++i) {
                const float f = fast.at(k, skew)[i], w = wide.at(k, skew)[i], r = slow.at(k, skew)[i];
                if (!same(f, r) || !same(w, r)) {
                    ADD_FAILURE() << "seed " << seed << " block " << block << " buffer " << k << " frame " << i << ": "
                                  << f << " (four lanes), " << w << " (eight) against " << r;
                    return;
                }
            }
        bool gains = bits(stFast.gainLeft) == bits(stSlow.gainLeft) && bits(stFast.gainRight) == bits(stSlow.gainRight);
        for (int s = 0; s < 4; ++s) gains = gains && bits(stFast.sendGain[s]) == bits(stSlow.sendGain[s]);
        bool widths = bits(stWide.gainLeft) == bits(stFast.gainLeft) && bits(stWide.gainRight) == bits(stFast.gainRight) &&
                      bits(stWide.meter) == bits(stFast.meter);
        for (int s = 0; s < 4; ++s) widths = widths && bits(stWide.sendGain[s]) == bits(stFast.sendGain[s]);
        if (!gains || !widths || !meterWithin(stFast.meter, stSlow.meter, loudest)) {
            ADD_FAILURE() << "seed " << seed << " block " << block << ": state differs, meter " << stFast.meter << " ("
                          << stWide.meter << " in eight lanes) against " << stSlow.meter << ", tolerance "
                          << meterTolerance(stSlow.meter, loudest);
            return;
        }
        if (bits(stFast.meter) != bits(stSlow.meter)) {
            ++counts.meterDiffers;
            if (std::isnormal(stSlow.meter))
                counts.meterUlps = std::max(counts.meterUlps, std::fabs(static_cast<double>(stFast.meter) - stSlow.meter) /
                                                                  std::ldexp(1.0, std::ilogb(stSlow.meter) - 23));
        }
        counts.frames += frames;
        // An infinite peak holds the meter for good; start it again.
        if (std::isinf(stFast.meter)) stFast.meter = stWide.meter = stSlow.meter = 0.0f;
    }
}

TEST(StripMixNull, StereoModuleMatchesFrameByFrameMix) {
    Counts counts;
    for (unsigned seed = 1; seed <= 6; ++seed) compareRun(seed, true, false, counts);
    EXPECT_GT(counts.frames, 500000);
    RecordProperty("meterBlocksNotBitExact", counts.meterDiffers);
    RecordProperty("meterLargestUlps", static_cast<int>(counts.meterUlps));
    // Both ways of running a block were taken, and the drum floor acted.
    EXPECT_GT(counts.settledBlocks, 200);
    EXPECT_GT(counts.glidingBlocks, 200);
    EXPECT_GT(counts.floorBlocks, 5);
}

TEST(StripMixNull, OneChannelModule) {
    Counts counts;
    for (unsigned seed = 20; seed <= 23; ++seed) compareRun(seed, false, false, counts);
    EXPECT_GT(counts.frames, 300000);
}

TEST(StripMixNull, SamplesThatAreNotFinite) {
    Counts counts;
    for (unsigned seed = 40; seed <= 45; ++seed) compareRun(seed, true, true, counts);
    EXPECT_GT(counts.frames, 500000);
}

TEST(StripMix, MeterDecaysAlongTheFrameByFrameMeter) {
    // One full-scale frame, then silence until the meter is down among the
    // numbers below the normal range (where, rounded to nearest, it stays at
    // the smallest one), in blocks of three chunks (256, 256, 88 frames) and of 1 to 7 frames.
    for (const bool shortBlocks : {false, true}) {
        std::vector<float> in(600, 0.0f), masterL(600), masterR(600);
        in[0] = 1.0f;
        StripMixState st;
        st.gainLeft = st.gainRight = 1.0f;
        StripMixTargets t;
        t.left = t.right = 1.0f;
        float exact = 0.0f;
        long frames = 0;
        double largestUlps = 0.0;
        int block = 0;
        while (frames < 24000) {
            StripMixBuffers io;
            io.frames = shortBlocks ? 1 + block % 7 : 600;
            io.in[0] = io.in[1] = in.data();
            io.master[0] = masterL.data();
            io.master[1] = masterR.data();
            mixStrip(io, t, st, true);
            for (int i = 0; i < io.frames; ++i) exact = std::max(exact, in[static_cast<size_t>(i)]) * 0.995f;
            frames += io.frames;
            in[0] = 0.0f;
            ++block;
            // Every rounding on either side is within 2^-24 of the meter
            // (half the smallest step below the normal range).
            const double allowed =
                static_cast<double>(frames + 2) * (std::ldexp(static_cast<double>(exact), -23) + std::ldexp(1.0, -149));
            ASSERT_LE(std::fabs(static_cast<double>(st.meter) - exact), allowed)
                << "after " << frames << " frames, meter " << st.meter << " against " << exact;
            if (exact > 0.001f)
                largestUlps = std::max(largestUlps, std::fabs(static_cast<double>(st.meter) - exact) /
                                                        std::ldexp(1.0, std::ilogb(exact) - 23));
        }
        // From full scale to the smallest number takes about
        // ln(2^149) / ln(1 / 0.995) = 20600 frames.
        EXPECT_LT(exact, std::numeric_limits<float>::min());
        EXPECT_LT(st.meter, std::numeric_limits<float>::min());
        // How far apart they are while the meter is still shown (above
        // -60 dB, some 1380 frames), for the record.
        RecordProperty(shortBlocks ? "shortBlocksLargestUlps" : "longBlocksLargestUlps", static_cast<int>(largestUlps));
    }
}

TEST(StripMix, GainsGlideToTheirTargetsAndTheMeterFollows) {
    // A unit signal, the strip at 0.5 (left) and 0.25 (right) from silence,
    // send 1 at 0.8: the left strip reaches 99 % of its level after
    // ln(100) / 0.005 = 921 frames, the send after 4603.
    std::vector<float> in(6000, 1.0f), masterL(6000, 0.0f), masterR(6000, 0.0f), busL(6000, 0.0f), busR(6000, 0.0f);
    StripMixBuffers io;
    io.frames = 6000;
    io.in[0] = io.in[1] = in.data();
    io.master[0] = masterL.data();
    io.master[1] = masterR.data();
    io.send[0][0] = busL.data();
    io.send[0][1] = busR.data();
    StripMixTargets t;
    t.left = 0.5f;
    t.right = 0.25f;
    t.send[0] = 0.8f;
    StripMixState st;
    mixStrip(io, t, st, true);
    EXPECT_LT(masterL[900], 0.99f * 0.5f);
    EXPECT_GT(masterL[940], 0.99f * 0.5f);
    EXPECT_NEAR(masterR[5999], 0.25f, 1e-4f);
    EXPECT_LT(busL[4550] / masterL[4550], 0.99f * 0.8f);
    EXPECT_GT(busL[4650] / masterL[4650], 0.99f * 0.8f);
    EXPECT_NEAR(busR[5999] / masterR[5999], 0.8f, 0.005f);
    // The meter holds the louder side, decayed by one frame's step.
    EXPECT_NEAR(st.meter, 0.5f * 0.995f, 1e-4f);
}

}  // namespace
