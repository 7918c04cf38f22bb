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
// (chorus, flanger, filter) never rest, so that they stay in phase.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/effect.h"
#include "project/project.h"
#include "tests/host/test_host_fixture.h"
#include "track/instrument.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

constexpr int kBlock = 256;
constexpr int kBlocksPerSecond = 44100 / kBlock;

struct Note {
    int block;
    uint8_t status, key, velocity;
};

class Instance {
public:
    Instance(TestHost& host, int project, bool sleep) {
        host.time.flags = kVstTempoValid | kVstTimeSigValid;
        host.time.tempo = 120.0;
        host.time.sampleRate = 44100.0;
        host.time.timeSigNumerator = 4;
        host.time.timeSigDenominator = 4;
        effect_ = VSTPluginMain(&TestHost::callback);
        main_ = static_cast<Effect*>(static_cast<AudioEffect*>(effect_->object));
        main_->setSleepWhenQuiet(sleep);
        effect_->dispatcher(effect_, effSetSampleRate, 0, 0, nullptr, 44100.0f);
        effect_->dispatcher(effect_, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        effect_->dispatcher(effect_, effVendorSpecific, kVendorDemoIndex, kVendorProjectValue, nullptr,
                            static_cast<float>(project));
        effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    ~Instance() { effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Renders one block, sending the notes due in it at its start; appends
    // both channels, interleaved.
    void play(int block, const std::vector<Note>& notes, std::vector<float>& out) {
        std::vector<VstMidiEvent> due, storage;
        for (const Note& n : notes)
            if (n.block == block) due.push_back(midiEvent(0, n.status, n.key, n.velocity));
        if (!due.empty()) {
            std::vector<char> events = makeEvents(due, storage);
            effect_->dispatcher(effect_, effProcessEvents, 0, 0, events.data(), 0.0f);
        }
        float* outputs[2] = {left_.data(), right_.data()};
        effect_->processReplacing(effect_, nullptr, outputs, kBlock);
        for (int i = 0; i < kBlock; ++i) {
            out.push_back(left_[static_cast<size_t>(i)]);
            out.push_back(right_[static_cast<size_t>(i)]);
        }
    }
    int sleepingTracks() {
        int n = 0;
        for (auto& t : main_->project()->tracks) n += t->asleep() ? 1 : 0;
        return n;
    }
    Effect& main() { return *main_; }

private:
    AEffect* effect_ = nullptr;
    Effect* main_ = nullptr;
    std::vector<float> left_ = std::vector<float>(kBlock), right_ = std::vector<float>(kBlock);
};

// Chords on every MIDI channel (channel 1 reaches every track listening to
// all channels), a long silence, then again with other keys, then silence.
std::vector<Note> performance(int silenceSeconds) {
    std::vector<Note> notes;
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

double peakOf(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0.0;
    for (size_t i = from; i < std::min(to, x.size()); ++i) p = std::max(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

class TrackSleep : public ::testing::TestWithParam<int> {};

TEST_P(TrackSleep, SleepingTracksSoundLikeTracksRenderedInFull) {
    const int project = GetParam();
    constexpr int kSilenceSeconds = 16;
    const std::vector<Note> notes = performance(kSilenceSeconds);
    const int againBlock = 2 * kBlocksPerSecond + kSilenceSeconds * kBlocksPerSecond;
    const int blocks = againBlock + 4 * kBlocksPerSecond;

    TestHost hostA, hostB;
    Instance sleeping(hostA, project, true);
    Instance full(hostB, project, false);
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
        if (block == againBlock - 1) mostAsleep = sleeping.sleepingTracks();
        ASSERT_EQ(full.sleepingTracks(), 0);
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
