// Multi-output mode: twenty output pins, each track's own signal on its
// pair, the sum of every send bus on the effects pair, and the master mix on
// the first pair. Also: a sample-rate change reaches every slot.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "modulehost/cplugin.h"
#include "platform/registry_store.h"
#include "project/project.h"
#include "tests/host/test_host_fixture.h"
#include "track/instrument.h"

namespace {

// An instrument whose level is its last note's velocity / 254: silent
// until a note, so every track can be told apart on its pair.
class VelocityProbe : public KavoModule {
public:
    static const ModuleInfo kInfo;
    explicit VelocityProbe(audioMasterCallback audioMaster) : KavoModule(audioMaster, 1, 1, kInfo) {}
    VstInt32 processEvents(VstEvents* events) override {
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            const auto* e = reinterpret_cast<const VstMidiEvent*>(events->events[i]);
            if ((e->midiData[0] & 0xF0) == 0x90) level_ = static_cast<float>(e->midiData[2]) / 254.0f;
        }
        return 1;
    }
    void processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) override {
        for (VstInt32 f = 0; f < frames; ++f) outputs[0][f] = outputs[1][f] = level_;
    }

private:
    float level_ = 0.0f;
};
const ModuleInfo VelocityProbe::kInfo{"Velocity probe", "KAVO velocity probe", vstFourCC('v', 'l', 'p', 'r'), 0, 2,
                                      true};

// A send effect that answers a constant of its own, whatever it is fed.
class BusProbe : public KavoModule {
public:
    static const ModuleInfo kInfo;
    static int created;
    explicit BusProbe(audioMasterCallback audioMaster)
        : KavoModule(audioMaster, 1, 1, kInfo), level_(0.1f * static_cast<float>(++created)) {
        setNumInputs(2);
    }
    void processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) override {
        for (VstInt32 f = 0; f < frames; ++f) outputs[0][f] = outputs[1][f] = level_;
    }

private:
    float level_;
};
int BusProbe::created = 0;
const ModuleInfo BusProbe::kInfo{"Bus probe", "KAVO bus probe", vstFourCC('b', 'u', 's', 'p'), 0, 2, false};

// A send effect that rings: 1 while fed above -60 dB, then decaying to -120 dB over 4 s,
// the shape of a long reverb tail. Counts its blocks.
class RingProbe : public KavoModule {
public:
    static const ModuleInfo kInfo;
    static int blocks;
    explicit RingProbe(audioMasterCallback audioMaster) : KavoModule(audioMaster, 1, 1, kInfo) { setNumInputs(2); }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        ++blocks;
        for (VstInt32 f = 0; f < frames; ++f) {
            level_ = std::fabs(inputs[0][f]) > 1e-3f ? 1.0f : level_ * kDecayPerFrame;
            outputs[0][f] = outputs[1][f] = level_;
        }
    }
    // exp(ln(1e-6) / (4 s at 44.1 kHz))
    static constexpr float kDecayPerFrame = 0.99992168f;

private:
    float level_ = 0.0f;
};
int RingProbe::blocks = 0;
const ModuleInfo RingProbe::kInfo{"Ring probe", "KAVO ring probe", vstFourCC('r', 'n', 'g', 'p'), 0, 2, false};

AudioEffectX* createRingProbe(audioMasterCallback m) { return new RingProbe(m); }
const ModuleClassEntry kRingProbeClass{"KavoRingProbe", &createRingProbe, false};

AudioEffectX* createVelocityProbe(audioMasterCallback m) { return new VelocityProbe(m); }
AudioEffectX* createBusProbe(audioMasterCallback m) { return new BusProbe(m); }
const ModuleClassEntry kVelocityProbeClass{"KavoVelocityProbe", &createVelocityProbe, false};
const ModuleClassEntry kBusProbeClass{"KavoBusProbe", &createBusProbe, false};

// Each test gets a settings store of its own with multi-output mode chosen.
class MultiOutput : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = std::filesystem::temp_directory_path() /
                  ("talvex_multi_" + std::to_string(getpid()) + "_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::remove_all(config_);
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        ASSERT_TRUE(platform::RegistryStore::writeDword("software\\TalvexBass\\Settings", "MultiOutputsMode", 1));
        engine_ = std::make_unique<TestEngine>();
        effect = engine_->effect;
        BusProbe::created = 0;
    }
    void TearDown() override {
        engine_.reset();
        std::filesystem::remove_all(config_);
        unsetenv("XDG_CONFIG_HOME");
    }
    CInstrument& addTrack(int channel) {
        CInstrument& t = addModuleTrack(*effect, "\\KavoVelocityProbe.dll", &kVelocityProbeClass);
        t.keyLimit = 128;
        t.midiChannel = channel + 2;
        return t;
    }
    void send(const std::vector<VstMidiEvent>& events) { engine_->send(events); }
    void render(int frames) {
        for (auto& pin : pins) pin.assign(static_cast<size_t>(frames), 7.0f);
        float* outs[20];
        for (int c = 0; c < 20; ++c) outs[c] = pins[c].data();
        AEffect* a = effect->getAeffect();
        a->processReplacing(a, nullptr, outs, frames);
        engine_->host.time.samplePos += frames;
    }
    std::unique_ptr<TestEngine> engine_;
    Effect* effect = nullptr;
    std::filesystem::path config_;
    std::vector<float> pins[20];
};

}  // namespace

TEST_F(MultiOutput, TwentyPinsTracksOnTheirPairsAndEverySendOnTheEffectsPair) {
    ASSERT_TRUE(effect->multiOutputMode());
    AEffect* a = effect->getAeffect();
    ASSERT_EQ(a->numOutputs, 20);
    for (int pin = 0; pin < 20; ++pin) {
        VstPinProperties props{};
        EXPECT_TRUE(a->dispatcher(a, effGetOutputProperties, pin, 0, &props, 0.0f) != 0) << pin;
    }
    // Nine tracks: the ninth has no pair and only reaches the master mix.
    for (int t = 0; t < 9; ++t) addTrack(t);
    Project& p = *effect->project();
    p.sendSlots[0].createModule(*effect, "\\KavoBusProbe.dll", kBusProbeClass, SlotKind::Effect, nullptr);
    p.sendSlots[2].createModule(*effect, "\\KavoBusProbe.dll", kBusProbeClass, SlotKind::Effect, nullptr);
    p.tracks[1]->sendOn[0] = 1.0f;
    p.tracks[1]->sendLevel[0] = 127.0f;
    p.tracks[4]->sendOn[2] = 1.0f;
    p.tracks[4]->sendLevel[2] = 127.0f;
    // Tracks 0 to 7 play velocities 10, 20 ... 80 on their own channels;
    // track 3 stays silent, the ninth plays 127.
    std::vector<VstMidiEvent> notes;
    for (int t = 0; t < 9; ++t)
        if (t != 3) notes.push_back(midiEvent(0, static_cast<uint8_t>(0x90 | t), 60, static_cast<uint8_t>(t < 8 ? 10 * (t + 1) : 127)));
    send(notes);
    render(1024);
    render(4096);  // gains settled
    for (int t = 0; t < 8; ++t) {
        const float expected = t == 3 ? 0.0f : static_cast<float>(10 * (t + 1)) / 254.0f;
        for (int c = 0; c < 2; ++c) {
            const std::vector<float>& pin = pins[2 + 2 * t + c];
            EXPECT_FLOAT_EQ(pin.front(), expected) << "track " << t;
            EXPECT_FLOAT_EQ(pin.back(), expected) << "track " << t;
        }
    }
    // Effects pair: the two buses' constants, 0.1 and 0.2, summed.
    EXPECT_NEAR(pins[18].back(), 0.3f, 1e-6f);
    EXPECT_NEAR(pins[19].back(), 0.3f, 1e-6f);
    // The master pair holds every track (the ninth too) and both buses: the
    // buses alone give 0.3, the tracks far more, and the limit holds it.
    EXPECT_GT(pins[0].back(), 0.3f);
    EXPECT_LE(pins[0].back(), 0.99f);
    for (int pin = 0; pin < 20; ++pin)
        for (float v : pins[pin]) ASSERT_TRUE(std::isfinite(v)) << pin;
    // A track's pair goes silent with its note; the others keep theirs.
    send({midiEvent(0, 0x92, 60, 0)});
    render(512);
    EXPECT_FLOAT_EQ(pins[2 + 2 * 2].back(), 0.0f);
    EXPECT_FLOAT_EQ(pins[2 + 2 * 5].back(), 60.0f / 254.0f);
}

TEST_F(MultiOutput, SampleRateChangeReachesMainModulesInsertsAndSendEffects) {
    CInstrument& t = addTrack(0);
    t.insertSlot(0).createModule(*effect, "\\KavoBusProbe.dll", kBusProbeClass, SlotKind::Effect, &t);
    Project& p = *effect->project();
    p.sendSlots[3].createModule(*effect, "\\KavoBusProbe.dll", kBusProbeClass, SlotKind::Effect, nullptr);
    p.masterInserts[1].createModule(*effect, "\\KavoBusProbe.dll", kBusProbeClass, SlotKind::Effect, nullptr);
    engine_->host.time.sampleRate = 96000.0;
    render(256);
    int slots = 0;
    p.forEachSlot([&](CPlugin& slot) {
        if (!slot.loaded()) return;
        ++slots;
        auto* module = static_cast<AudioEffect*>(slot.effect()->object);
        EXPECT_FLOAT_EQ(module->getSampleRate(), 96000.0f) << slot.path();
    });
    EXPECT_EQ(slots, 4);
}

// A send's tail rings out at every block size when the track stops sending,
// and the bus goes idle once it has been quiet for a while.
TEST_F(MultiOutput, SendTailRingsOutWhateverTheBlockSize) {
    for (int blockFrames : {64, 512, 4096}) {
        engine_.reset();  // one test host at a time
        engine_ = std::make_unique<TestEngine>();
        effect = engine_->effect;
        CInstrument& t = addTrack(0);
        Project& p = *effect->project();
        p.sendSlots[1].createModule(*effect, "\\KavoRingProbe.dll", kRingProbeClass, SlotKind::Effect, nullptr);
        t.sendOn[1] = 1.0f;
        t.sendLevel[1] = 127.0f;
        send({midiEvent(0, 0x90, 60, 100)});
        for (int f = 0; f < 22050; f += blockFrames) render(blockFrames);
        ASSERT_NEAR(pins[18].back(), 1.0f, 1e-6f) << blockFrames;
        t.sendOn[1] = 0.0f;
        // One second on, the tail is at about -30 dB; two seconds on, -60.
        int frames = 0;
        auto renderFor = [&](int total) {
            for (; frames < total; frames += blockFrames) render(blockFrames);
        };
        renderFor(44100);
        EXPECT_GT(pins[18].back(), 0.01f) << blockFrames;
        EXPECT_LT(pins[18].back(), 0.1f) << blockFrames;
        renderFor(2 * 44100);
        EXPECT_GT(pins[18].back(), 1e-4f) << blockFrames;
        // Quiet from about 4 s, idle 7 s later: no more blocks, no output.
        renderFor(12 * 44100);
        const int blocksBefore = RingProbe::blocks;
        renderFor(13 * 44100);
        EXPECT_EQ(RingProbe::blocks, blocksBefore) << blockFrames;
        EXPECT_EQ(pins[18].back(), 0.0f) << blockFrames;
    }
}
