// Switched off and on again (effMainsChanged 0, then 1), as hosts do before
// a bounce, around a block-size change or when a route's plug-ins change:
// the engine forgets what it played, so what it renders next no longer
// depends on how long, or what, it played before. (Ardour renders of one
// session used to come out one of two ways, depending on how many blocks the
// plug-in had idled through before the bounce began.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/effect.h"
#include "tests/host/test_host_fixture.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

constexpr int kBlock = 512;
constexpr int kBlocksPerSecond = 44100 / kBlock;

struct Note {
    int block;
    uint8_t status, key, velocity;
};

class Instance {
public:
    Instance(TestHost& host, int project) {
        host.time.flags = kVstTempoValid | kVstTimeSigValid;
        host.time.tempo = 120.0;
        host.time.sampleRate = 44100.0;
        host.time.timeSigNumerator = 4;
        host.time.timeSigDenominator = 4;
        effect_ = VSTPluginMain(&TestHost::callback);
        effect_->dispatcher(effect_, effSetSampleRate, 0, 0, nullptr, 44100.0f);
        effect_->dispatcher(effect_, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        effect_->dispatcher(effect_, effVendorSpecific, kVendorDemoIndex, kVendorProjectValue, nullptr,
                            static_cast<float>(project));
        effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    ~Instance() { effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void switchOffAndOn() {
        effect_->dispatcher(effect_, effMainsChanged, 0, 0, nullptr, 0.0f);
        effect_->dispatcher(effect_, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
    }

    // Renders blocks, sending each note at the start of its block; returns
    // both channels interleaved.
    std::vector<float> play(int blocks, const std::vector<Note>& notes) {
        std::vector<float> out;
        std::vector<float> left(kBlock), right(kBlock);
        for (int b = 0; b < blocks; ++b) {
            std::vector<VstMidiEvent> due, storage;
            for (const Note& n : notes)
                if (n.block == b) due.push_back(midiEvent(0, n.status, n.key, n.velocity));
            if (!due.empty()) {
                std::vector<char> events = makeEvents(due, storage);
                effect_->dispatcher(effect_, effProcessEvents, 0, 0, events.data(), 0.0f);
            }
            float* outputs[2] = {left.data(), right.data()};
            effect_->processReplacing(effect_, nullptr, outputs, kBlock);
            for (int i = 0; i < kBlock; ++i) {
                out.push_back(left[static_cast<size_t>(i)]);
                out.push_back(right[static_cast<size_t>(i)]);
            }
        }
        return out;
    }

private:
    AEffect* effect_ = nullptr;
};

double largestDifference(const std::vector<float>& a, const std::vector<float>& b) {
    double worst = 0.0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - b[i]));
    return worst;
}

double peak(const std::vector<float>& x) {
    double p = 0.0;
    for (float v : x) p = std::max(p, std::fabs(static_cast<double>(v)));
    return p;
}

// A phrase on MIDI channel 1: A3 for a second, then E4 and A4 together.
const std::vector<Note> kPhrase = {{0, 0x90, 57, 100},
                                   {kBlocksPerSecond, 0x80, 57, 0},
                                   {kBlocksPerSecond + 10, 0x90, 64, 90},
                                   {kBlocksPerSecond + 10, 0x90, 69, 90},
                                   {2 * kBlocksPerSecond, 0x80, 64, 0},
                                   {2 * kBlocksPerSecond, 0x80, 69, 0}};
// Something else first, to fill the delay lines, reverbs and voices.
const std::vector<Note> kBefore = {{0, 0x90, 45, 127}, {20, 0x90, 76, 127}, {60, 0x80, 45, 0}, {100, 0x80, 76, 0}};

class ResumeClear : public ::testing::TestWithParam<int> {};

TEST_P(ResumeClear, TheRenderAfterASwitchOnIsTheSameWhateverCameBefore) {
    const int project = GetParam();
    const int phraseBlocks = 3 * kBlocksPerSecond;
    std::vector<float> fresh;
    {
        TestHost host;
        Instance a(host, project);
        a.switchOffAndOn();
        fresh = a.play(phraseBlocks, kPhrase);
    }
    ASSERT_GT(peak(fresh), 0.01);  // the phrase sounds

    for (int idleBlocks : {0, 37, 2 * kBlocksPerSecond}) {
        SCOPED_TRACE(idleBlocks);
        TestHost host;
        Instance b(host, project);
        b.play(kBlocksPerSecond + idleBlocks, kBefore);
        b.switchOffAndOn();
        EXPECT_EQ(largestDifference(b.play(phraseBlocks, kPhrase), fresh), 0.0);
    }

    // Without the switch the tails of what came before are still heard:
    // the comparison above does see the instance's history.
    TestHost host;
    Instance c(host, project);
    c.play(kBlocksPerSecond, kBefore);
    EXPECT_GT(largestDifference(c.play(phraseBlocks, kPhrase), fresh), 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Projects, ResumeClear, ::testing::Values(0, 3, 8));

}  // namespace
