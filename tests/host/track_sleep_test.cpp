// Tracks whose signal has died away sleep until their module sounds again.
// Each built-in project is played twice, sleeping and rendering every track
// in full: a phrase, a long silence (the tracks and the send tails fall
// quiet), a phrase again, silence again. What may differ is what sleeping
// leaves out: the constant offsets the equalisers and effects add against
// denormals (1e-5 at their inputs, through band and effect gains), and tails
// already below -114 dBFS where they leave the inserts (raised by at most
// +20 dB of equaliser band and the strip gains after). So the difference,
// with its mean over 1024-frame windows taken out, stays below -80 dBFS,
// and the mean itself (an offset,
// inaudible) below -66 dBFS. Effects with an oscillator of their own
// (chorus, flanger, filter) rest too, told how long, so that they wake in
// phase; master inserts fed exact silence rest once their output has been
// quiet for 7 s.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/effect.h"
#include "project/project.h"
#include "tests/host/project_instance.h"
#include "track/instrument.h"

namespace {

constexpr int kBlock = 256;
constexpr int kBlocksPerSecond = 44100 / kBlock;

// Chords on every MIDI channel (channel 1 reaches every track listening to
// all channels), a long silence, then again with other keys, then silence.
std::vector<BlockNote> performance(int silenceSeconds) {
    std::vector<BlockNote> notes;
    const int second = kBlocksPerSecond;
    const int again = 2 * second + silenceSeconds * second;
    for (uint8_t channel = 0; channel < 16; channel += 5) {
        for (uint8_t key : {36, 48, 55, 60, 64}) {
            notes.push_back({0, static_cast<uint8_t>(0x90 | channel), key, 100});
            notes.push_back({second, static_cast<uint8_t>(0x80 | channel), key, 0});
        }
        for (uint8_t key : {38, 50, 57, 62, 69}) {
            notes.push_back({again, static_cast<uint8_t>(0x90 | channel), key, 110});
            notes.push_back({again + second / 2, static_cast<uint8_t>(0x80 | channel), key, 0});
        }
    }
    return notes;
}

struct Difference {
    double swing = 0.0;   // largest difference with the window mean taken out
    double offset = 0.0;  // largest window mean
};

Difference compare(const std::vector<float>& a, const std::vector<float>& b) {
    Difference d;
    constexpr size_t kWindow = 1024;  // frames
    for (int c = 0; c < 2; ++c) {
        for (size_t start = 0; start + kWindow <= a.size() / 2; start += kWindow) {
            double mean = 0.0;
            for (size_t i = start; i < start + kWindow; ++i)
                mean += static_cast<double>(a[2 * i + c]) - b[2 * i + c];
            mean /= kWindow;
            d.offset = std::max(d.offset, std::fabs(mean));
            for (size_t i = start; i < start + kWindow; ++i)
                d.swing = std::max(d.swing, std::fabs(static_cast<double>(a[2 * i + c]) - b[2 * i + c] - mean));
        }
    }
    return d;
}

int sleepingTracks(Effect& main) {
    int n = 0;
    for (auto& t : main.project()->tracks) n += t->asleep() ? 1 : 0;
    return n;
}

double peakOf(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0.0;
    for (size_t i = from; i < std::min(to, x.size()); ++i) p = std::max(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

class TrackSleep : public ::testing::TestWithParam<int> {};

TEST_P(TrackSleep, SleepingTracksSoundLikeTracksRenderedInFull) {
    const int project = GetParam();
    constexpr int kSilenceSeconds = 16;
    const std::vector<BlockNote> notes = performance(kSilenceSeconds);
    const int againBlock = 2 * kBlocksPerSecond + kSilenceSeconds * kBlocksPerSecond;
    const int blocks = againBlock + 4 * kBlocksPerSecond;

    TestHost hostA, hostB;
    ProjectInstance sleeping(hostA, project, kBlock, true);
    ProjectInstance full(hostB, project, kBlock, false);
    std::vector<float> a, b;
    int mostAsleep = 0, restingTracks = 0;
    for (auto& t : sleeping.main().project()->tracks) {
        bool rests = true;
        for (int k = 0; k < 2; ++k)
            if (t->insertOn[k].load() != 0.0f && t->insertSlot(k).loaded() && !restsWhenQuiet(t->insertSlot(k).effect()))
                rests = false;
        restingTracks += rests ? 1 : 0;
    }
    for (int block = 0; block < blocks; ++block) {
        sleeping.play(block, notes, a);
        full.play(block, notes, b);
        if (block == againBlock - 1) mostAsleep = sleepingTracks(sleeping.main());
        ASSERT_EQ(sleepingTracks(full.main()), 0);
    }
    // Every track whose inserts only decay slept through the silence.
    EXPECT_EQ(mostAsleep, restingTracks);
    const size_t againSample = static_cast<size_t>(againBlock) * kBlock * 2;
    const double phrase = peakOf(b, againSample, againSample + 2 * 44100 * 2);
    if (phrase > 0.01) {
        EXPECT_GT(peakOf(a, againSample, againSample + 2 * 44100 * 2), 0.5 * phrase);
    }

    const Difference d = compare(a, b);
    EXPECT_LT(d.swing, 1.0e-4) << "project " << project;
    EXPECT_LT(d.offset, 5.0e-4) << "project " << project;
}

INSTANTIATE_TEST_SUITE_P(Projects, TrackSleep, ::testing::Range(0, 22));

}  // namespace
