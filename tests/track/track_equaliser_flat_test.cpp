// Flat bands (0 dB) in the four-frame form: the equaliser passes their input
// on instead of filtering it, once what the band rang with before has died
// away. Measured against the same equaliser with the skip taken out, which
// filters flat bands as any other: their float recursion gives the input
// back give or take its rounding (some 60 to 120 dB below the signal, the
// most near poles close to 1), so the two are held to a bound, not to the
// bit. Bands that are not flat must not notice the skip at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "track/equaliser.h"

namespace {

constexpr double kRate = 44100.0;

uint32_t bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

bool wideLanesHere() {
    TrackEqualiser eq;
    eq.allowWideLanes(true);
    return eq.wideLanes();
}

// The same equaliser twice, with and without the skip, fed the same blocks.
struct Pair {
    TrackEqualiser skipping, filtering;
    double signal = 0.0, difference = 0.0;

    explicit Pair(bool wide) {
        skipping.allowWideLanes(wide);
        filtering.allowWideLanes(wide);
        filtering.allowFlatSkip(false);
    }
    void band(int b, float frequency, float resonance, float gain) {
        skipping.recomputeBand(b, frequency, resonance, gain, kRate);
        filtering.recomputeBand(b, frequency, resonance, gain, kRate);
    }
    // One block of noise through both; the outputs' difference is summed
    // when measured. Returns the skipping one's output, left channel.
    std::vector<float> block(std::mt19937& rng, int frames, bool measured) {
        std::normal_distribution<float> noise(0.0f, 0.2f);
        std::vector<float> l(static_cast<size_t>(frames)), r(l.size());
        for (size_t i = 0; i < l.size(); ++i) l[i] = noise(rng), r[i] = noise(rng);
        std::vector<float> l2 = l, r2 = r;
        skipping.process(l.data(), r.data(), frames, 1.0f);
        filtering.process(l2.data(), r2.data(), frames, 1.0f);
        if (measured)
            for (size_t i = 0; i < l.size(); ++i) {
                signal += double(l2[i]) * l2[i] + double(r2[i]) * r2[i];
                difference += (double(l[i]) - l2[i]) * (double(l[i]) - l2[i]) + (double(r[i]) - r2[i]) * (double(r[i]) - r2[i]);
            }
        return l;
    }
    double belowDb() const { return 10.0 * std::log10(signal / std::max(difference, 1e-300)); }
};

TEST(TrackEqualiserFlat, BandsThatAreNotFlatGiveTheSameBits) {
    // Gains anywhere but 0 dB, moved often, blocks of 1 to 600 frames, the
    // switch going off and on: the skip never takes part.
    for (const bool wide : {false, true}) {
        if (wide && !wideLanesHere()) continue;
        std::mt19937 rng(wide ? 7 : 3);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        Pair p(wide);
        float on = 1.0f;
        for (int block = 0; block < 400; ++block) {
            if (block == 0 || rng() % 6 == 0) {
                const float g = 0.01f + 0.99f * unit(rng);
                p.band(static_cast<int>(rng() % 3), unit(rng), unit(rng), rng() % 2 == 0 ? g : -g);
            }
            if (rng() % 40 == 0) on = on == 0.0f ? 1.0f : 0.0f;
            const int frames = 1 + static_cast<int>(rng() % 600);
            std::vector<float> l(static_cast<size_t>(frames)), r(l.size());
            for (size_t i = 0; i < l.size(); ++i) l[i] = unit(rng) - 0.5f, r[i] = rng() % 7 == 0 ? 0.0f : unit(rng) - 0.5f;
            std::vector<float> l2 = l, r2 = r;
            p.skipping.process(l.data(), r.data(), frames, on);
            p.filtering.process(l2.data(), r2.data(), frames, on);
            for (size_t i = 0; i < l.size(); ++i)
                ASSERT_TRUE(bits(l[i]) == bits(l2[i]) && bits(r[i]) == bits(r2[i]))
                    << (wide ? "eight" : "four") << " lanes, block " << block << " frame " << i;
        }
    }
}

TEST(TrackEqualiserFlat, SettledFlatBandsGiveTheirInputBack) {
    // A track's bands at 0 dB (100 Hz, 500 Hz and 2 kHz). While the wet
    // mixes glide in the filters run; once they hold, what the filters'
    // rounding left in their memories dies away, and from there the output
    // is the input to the bit, zeros standing in as the filters take them,
    // and each band remembers the identity's memories.
    const float frequencies[3] = {0.2407676f, 0.4815352f, 0.6889311f};
    for (const bool wide : {false, true}) {
        if (wide && !wideLanesHere()) continue;
        TrackEqualiser eq;
        eq.allowWideLanes(wide);
        for (int k = 0; k < 3; ++k) eq.recomputeBand(k, frequencies[k], 0.707f, 0.0f, kRate);
        std::mt19937 rng(11);
        std::uniform_real_distribution<float> unit(-0.5f, 0.5f);
        std::vector<float> l(333), r(333);
        for (int block = 0; block < 120; ++block) {
            for (size_t i = 0; i < l.size(); ++i) l[i] = i % 5 == 0 ? 0.0f : unit(rng), r[i] = unit(rng);
            const std::vector<float> inL = l, inR = r;
            eq.process(l.data(), r.data(), 333, 1.0f);
            if (block < 100) continue;  // 0.75 s
            for (size_t i = 0; i < l.size(); ++i) {
                const float want = inL[i] == 0.0f ? TrackEqualiser::kZeroInput : inL[i];
                ASSERT_EQ(bits(l[i]), bits(want)) << "block " << block << " frame " << i;
                ASSERT_EQ(bits(r[i]), bits(inR[i])) << "block " << block << " frame " << i;
            }
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(eq.band(k).x1[1], inR[332]);
                EXPECT_EQ(eq.band(k).y1[1], inR[332]);
                EXPECT_EQ(eq.band(k).y2[1], inR[331]);
            }
        }
    }
}

TEST(TrackEqualiserFlat, ABandMovedOutOfFlatFiltersFromTheIdentitysMemories) {
    // A ball moves a flat band mid-stream: a peak at 1 kHz, a low shelf at
    // 40 Hz. From the identity's memories the filter goes on as from its
    // own; memories that were not kept would ring at the signal's level.
    for (const bool wide : {false, true}) {
        if (wide && !wideLanesHere()) continue;
        for (const float lowFrequency : {0.41f, 0.1f}) {
            std::mt19937 rng(5);
            Pair p(wide);
            for (int block = 0; block < 60; ++block) p.block(rng, 256, block >= 10);
            const double flatDb = p.belowDb();
            p.signal = p.difference = 0.0;
            p.band(1, 0.59f, 0.5f, 0.6f);
            p.band(0, lowFrequency, 0.8f, -0.9f);
            for (int block = 0; block < 40; ++block) p.block(rng, 256, true);
            EXPECT_GT(flatDb, 60.0) << "while flat";
            EXPECT_GT(p.belowDb(), 60.0) << "moved, low band at " << lowFrequency;
        }
    }
}

TEST(TrackEqualiserFlat, ABandMovedToFlatRingsOutAsTheFilterWould) {
    // A +20 dB low shelf at 40 Hz moved to 0 dB: the filter's memories still
    // hold its boost, which dies away through its own recursion over some
    // thousands of frames. The skip follows that, and takes over only once
    // nothing of it is left.
    for (const bool wide : {false, true}) {
        if (wide && !wideLanesHere()) continue;
        std::mt19937 rng(9);
        Pair p(wide);
        p.band(0, 0.1f, 0.9f, 1.0f);
        for (int block = 0; block < 40; ++block) p.block(rng, 512, false);
        p.band(0, 0.1f, 0.9f, 0.0f);
        for (int block = 0; block < 20; ++block) p.block(rng, 512, true);
        EXPECT_GT(p.belowDb(), 60.0);
        // Some seconds on, the band gives its input back.
        for (int block = 0; block < 600; ++block) p.block(rng, 512, false);
        EXPECT_EQ(p.skipping.band(0).y1[0], p.skipping.band(0).x1[0]);
        EXPECT_EQ(p.skipping.band(0).y2[1], p.skipping.band(0).x2[1]);
    }
}

}  // namespace
