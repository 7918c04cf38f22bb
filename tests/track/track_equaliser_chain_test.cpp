// Flat bands left out of the four-frame chain: a flat band that rings no
// more gives its input back (zeros stood in for), so it need not run; the
// band after it takes the same frames, and the band left out takes its
// memories from that one. Held bit for bit, output and memories, against the
// same equaliser running every band in place, over band settings that move
// between flat and not, blocks of every length (one frame, where a memory
// is the band's own, included), zeros, the switch and one channel or two.
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

struct Twins {
    TrackEqualiser chained, inPlace;
    explicit Twins(bool wide) {
        chained.allowWideLanes(wide);
        inPlace.allowWideLanes(wide);
        inPlace.allowFlatBandsLeftOut(false);
    }
    void band(int b, float frequency, float resonance, float gain) {
        chained.recomputeBand(b, frequency, resonance, gain, kRate);
        inPlace.recomputeBand(b, frequency, resonance, gain, kRate);
    }
};

// Every memory of every band, both channels, the same to the bit.
::testing::AssertionResult sameMemories(const TrackEqualiser& a, const TrackEqualiser& b, bool stereo) {
    for (int k = 0; k < TrackEqualiser::kBands; ++k)
        for (int ch = 0; ch < (stereo ? 2 : 1); ++ch) {
            const EqBandState& x = a.band(k);
            const EqBandState& y = b.band(k);
            if (bits(x.x1[ch]) != bits(y.x1[ch]) || bits(x.x2[ch]) != bits(y.x2[ch]) ||
                bits(x.y1[ch]) != bits(y.y1[ch]) || bits(x.y2[ch]) != bits(y.y2[ch]))
                return ::testing::AssertionFailure() << "band " << k << " channel " << ch;
        }
    return ::testing::AssertionSuccess();
}

// Blocks of 1 to 3 frames often (the tail groups, and a single frame
// moving the memories by one), else up to 600.
int blockLength(std::mt19937& rng) {
    if (rng() % 3 == 0) return 1 + static_cast<int>(rng() % 3);
    return 1 + static_cast<int>(rng() % 600);
}

TEST(TrackEqualiserChain, LeavingFlatBandsOutGivesTheSameBits) {
    int checkedFrames = 0;
    for (const bool wide : {false, true}) {
        if (wide && !wideLanesHere()) continue;
        for (const bool stereo : {true, false}) {
            std::mt19937 rng(wide ? 21u : 13u);
            std::uniform_real_distribution<float> unit(0.0f, 1.0f);
            Twins t(wide);
            float on = 1.0f;
            for (int block = 0; block < 1500; ++block) {
                // Each band flat half of the time; a band moved to flat rings
                // on for a while, one moved out of it filters from the
                // memories it was given.
                if (block == 0 || rng() % 25 == 0) {
                    const int b = static_cast<int>(rng() % 3);
                    const float gain = rng() % 2 == 0 ? 0.0f : 0.05f + 0.9f * unit(rng);
                    t.band(b, 0.15f + 0.75f * unit(rng), unit(rng), rng() % 2 == 0 ? gain : -gain);
                }
                if (rng() % 300 == 0) on = on == 0.0f ? 1.0f : 0.0f;
                const int frames = blockLength(rng);
                std::vector<float> l(static_cast<size_t>(frames)), r(l.size());
                for (size_t i = 0; i < l.size(); ++i) {
                    l[i] = rng() % 9 == 0 ? 0.0f : unit(rng) - 0.5f;
                    r[i] = rng() % 5 == 0 ? -0.0f : unit(rng) - 0.5f;
                }
                std::vector<float> l2 = l, r2 = r;
                t.chained.process(l.data(), stereo ? r.data() : nullptr, frames, on);
                t.inPlace.process(l2.data(), stereo ? r2.data() : nullptr, frames, on);
                for (size_t i = 0; i < l.size(); ++i) {
                    ASSERT_EQ(bits(l[i]), bits(l2[i])) << (wide ? "eight" : "four") << " lanes, block " << block
                                                       << " frame " << i;
                    if (stereo) {
                        ASSERT_EQ(bits(r[i]), bits(r2[i])) << "block " << block << " frame " << i;
                    }
                }
                ASSERT_TRUE(sameMemories(t.chained, t.inPlace, stereo)) << "block " << block;
                checkedFrames += frames;
            }
        }
    }
    EXPECT_GT(checkedFrames, 100000);
}

TEST(TrackEqualiserChain, EveryMixOfFlatAndFilteringBands) {
    // Each of the eight patterns of flat (0 dB) and filtering bands, held
    // long enough for the flat ones to give their input back; then every
    // band moved out of flat, where each filters from the memories it was
    // left with.
    const float frequencies[3] = {0.25f, 0.48f, 0.69f};
    for (const bool wide : {false, true}) {
        if (wide && !wideLanesHere()) continue;
        for (int pattern = 0; pattern < 8; ++pattern) {
            Twins t(wide);
            for (int k = 0; k < 3; ++k) t.band(k, frequencies[k], 0.6f, (pattern >> k) & 1 ? 0.0f : 0.45f);
            std::mt19937 rng(static_cast<unsigned>(pattern + 1));
            std::uniform_real_distribution<float> unit(-0.5f, 0.5f);
            for (int block = 0; block < 260; ++block) {
                if (block == 200)
                    for (int k = 0; k < 3; ++k) t.band(k, frequencies[k], 0.6f, -0.3f);
                const int frames = block % 7 == 3 ? 1 : 256 + block % 5;
                std::vector<float> l(static_cast<size_t>(frames)), r(l.size());
                for (size_t i = 0; i < l.size(); ++i) l[i] = i % 11 == 0 ? 0.0f : unit(rng), r[i] = unit(rng);
                std::vector<float> l2 = l, r2 = r;
                t.chained.process(l.data(), r.data(), frames, 1.0f);
                t.inPlace.process(l2.data(), r2.data(), frames, 1.0f);
                for (size_t i = 0; i < l.size(); ++i)
                    ASSERT_TRUE(bits(l[i]) == bits(l2[i]) && bits(r[i]) == bits(r2[i]))
                        << "pattern " << pattern << " block " << block << " frame " << i;
                ASSERT_TRUE(sameMemories(t.chained, t.inPlace, true)) << "pattern " << pattern << " block " << block;
            }
        }
    }
}

}  // namespace
