// Where host notes land: the frame the host asked for, whatever the block
// size, measured as the onset in the rendered output; and the incoming
// queue's order and carry-over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "host/midi_queues.h"
#include "modulehost/cplugin.h"
#include "project/project.h"
#include "tests/host/test_host_fixture.h"
#include "track/instrument.h"

namespace {

// Silent until a note-on, then a constant level from the note's frame on;
// silent again from a note-off's frame. Its fixed start is 0 frames.
class GateProbe : public KavoModule {
public:
    static const ModuleInfo kInfo;
    explicit GateProbe(audioMasterCallback audioMaster) : KavoModule(audioMaster, 1, 1, kInfo) {}
    VstInt32 processEvents(VstEvents* events) override {
        for (VstInt32 i = 0; i < events->numEvents && count_ < kMax; ++i) {
            const auto* e = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
            pending_[count_++] = {e->deltaFrames, (e->midiData[0] & 0xF0) == 0x90 && e->midiData[2] != 0};
        }
        return 1;
    }
    void processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) override {
        for (VstInt32 f = 0; f < frames; ++f) {
            for (int i = 0; i < count_; ++i)
                if (pending_[i].frame == f) on_ = pending_[i].on;
            outputs[0][f] = outputs[1][f] = on_ ? 0.5f : 0.0f;
        }
        count_ = 0;
    }

private:
    struct Pending {
        VstInt32 frame;
        bool on;
    };
    static constexpr int kMax = 4096;
    Pending pending_[kMax] = {};
    int count_ = 0;
    bool on_ = false;
};
const ModuleInfo GateProbe::kInfo{"Gate probe", "KAVO gate probe", vstFourCC('g', 'a', 't', 'p'), 0, 2, true};

AudioEffectX* createGateProbe(audioMasterCallback audioMaster) { return new GateProbe(audioMaster); }
const ModuleClassEntry kGateProbeClass{"KavoGateProbe", &createGateProbe, false};

struct Engine : TestEngine {
    CInstrument& addTrack(const char* path, const ModuleClassEntry* entry) {
        CInstrument& t = addModuleTrack(*effect, path, entry);
        t.keyLimit = 128;
        return t;
    }
    // Renders blocks of blockFrames and appends the left channel to signal.
    void render(int blockFrames, int blocks, std::vector<float>& signal) {
        std::vector<float> l, r;
        for (int b = 0; b < blocks; ++b) {
            renderBlock(*effect, blockFrames, l, r);
            signal.insert(signal.end(), l.begin(), l.end());
        }
    }
};

long onsetFrame(const std::vector<float>& signal, float threshold) {
    for (size_t i = 0; i < signal.size(); ++i)
        if (std::fabs(signal[i]) > threshold) return static_cast<long>(i);
    return -1;
}

}  // namespace

TEST(IncomingMidi, DeltaFramesDLeavesAtFrameDInQueueOrder) {
    IncomingMidiQueue q;
    const uint8_t a[3] = {0x90, 1, 1}, b[3] = {0x90, 2, 1}, c[3] = {0x90, 3, 1}, d[3] = {0x90, 4, 1},
                  e[3] = {0x90, 5, 1}, f[3] = {0x90, 6, 1};
    q.push(5, a);
    q.push(0, b);
    q.push(1, c);
    q.push(70, d);
    q.push(-3, e);  // before the block: its first frame
    q.push(5, f);
    std::vector<std::pair<int, int>> out;
    q.runBlock(64, [&](const IncomingMidiQueue::Entry& x, VstInt32 frame) { out.emplace_back(x.data[1], frame); });
    const std::vector<std::pair<int, int>> expected = {{2, 0}, {5, 0}, {3, 1}, {1, 5}, {6, 5}};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(q.size(), 1);
    out.clear();
    q.runBlock(64, [&](const IncomingMidiQueue::Entry& x, VstInt32 frame) { out.emplace_back(x.data[1], frame); });
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], std::make_pair(4, 6));  // 70 - 64
    EXPECT_EQ(q.size(), 0);
}

TEST(IncomingMidi, ReverseOrderedFullQueueLeavesSortedByFrameAndStableWithinAFrame) {
    IncomingMidiQueue q;
    for (int i = 0; i < IncomingMidiQueue::kCapacity; ++i) {
        const uint8_t data[3] = {0x90, static_cast<uint8_t>(i & 127), static_cast<uint8_t>(i >> 7)};
        ASSERT_TRUE(q.push((IncomingMidiQueue::kCapacity - 1 - i) / 2, data));
    }
    const uint8_t extra[3] = {0x90, 0, 0};
    EXPECT_FALSE(q.push(0, extra));  // full
    std::vector<std::pair<int, int>> out;  // (frame, push index)
    q.runBlock(4096, [&](const IncomingMidiQueue::Entry& x, VstInt32 frame) {
        out.emplace_back(frame, x.data[1] | (x.data[2] << 7));
    });
    ASSERT_EQ(out.size(), static_cast<size_t>(IncomingMidiQueue::kCapacity));
    for (size_t k = 1; k < out.size(); ++k) {
        ASSERT_LE(out[k - 1].first, out[k].first) << k;
        if (out[k - 1].first == out[k].first) {
            ASSERT_LT(out[k - 1].second, out[k].second) << k;
        }
    }
    EXPECT_EQ(out.front().first, 0);
    EXPECT_EQ(out.back().first, 2047);
}

TEST(NoteTiming, HostNoteSoundsAtItsDeltaFramesForEveryBlockSize) {
    Engine e;
    e.addTrack("\\PluginInstruments\\KavoGateProbe.dll", &kGateProbeClass);
    std::vector<float> signal;
    e.render(256, 1, signal);  // strips and gains settle in
    for (int block : {64, 128, 256, 512, 1024, 2048, 4096}) {
        for (int delta : {0, 1, 5, block / 2 + 3, block - 1, block, block + 17}) {
            signal.clear();
            e.send({midiEvent(delta, 0x90, 60, 100)});
            e.render(block, 3, signal);
            EXPECT_EQ(onsetFrame(signal, 1e-4f), delta) << "block " << block << " delta " << delta;
            signal.clear();
            e.send({midiEvent(0, 0x80, 60, 0)});
            e.render(block, 1, signal);
            EXPECT_LT(std::fabs(signal.back()), 1e-6f);
        }
    }
}

TEST(NoteTiming, NoteOffEndsTheNoteAtItsOwnFrame) {
    Engine e;
    e.addTrack("\\PluginInstruments\\KavoGateProbe.dll", &kGateProbeClass);
    std::vector<float> signal;
    e.send({midiEvent(10, 0x90, 60, 100), midiEvent(300, 0x80, 60, 0)});
    e.render(512, 1, signal);
    long on = onsetFrame(signal, 1e-4f);
    long off = -1;
    for (long i = on; i < static_cast<long>(signal.size()); ++i)
        if (std::fabs(signal[static_cast<size_t>(i)]) < 1e-6f) {
            off = i;
            break;
        }
    EXPECT_EQ(on, 10);
    EXPECT_EQ(off, 300);
}

// A real instrument: its own fixed start is whatever its attack and control
// tick make of it, but it may not depend on the host's block size.
TEST(NoteTiming, SynthOnsetFollowsDeltaFramesNotTheBlockSize) {
    long reference = -1;
    for (int block : {64, 256, 1024, 4096}) {
        for (int delta : {0, 37}) {
            Engine e;
            e.addTrack("\\PluginInstruments\\KavoSynthI.dll", nullptr);
            std::vector<float> signal;
            e.render(block, 1, signal);
            const long sent = static_cast<long>(signal.size());
            e.send({midiEvent(delta, 0x90, 69, 127)});
            e.render(block, std::max(1, 8192 / block), signal);
            const long onset = onsetFrame(signal, 1e-3f) - sent - delta;
            ASSERT_GE(onset, 0) << "block " << block << " delta " << delta;
            if (reference < 0) reference = onset;
            // The synth works its modulation in 16-frame ticks.
            EXPECT_NEAR(static_cast<double>(onset), static_cast<double>(reference), 16.0)
                << "block " << block << " delta " << delta;
        }
    }
    EXPECT_LT(reference, 64);
    ::testing::Test::RecordProperty("synth_fixed_start_frames", static_cast<int>(reference));
}
