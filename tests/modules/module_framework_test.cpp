#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "modules/effect_module.h"

namespace {

// A minimal effect on the common base: two parameters, four programs, and a
// processReplacing that outputs parameter 0 as a constant, so program changes
// arriving as MIDI can be timed in frames.
class ProbeEffect : public KavoEffectModule {
public:
    static constexpr ModuleInfo kInfo{"Probe (1.0)", "KAVO probe", vstFourCC('p', 'r', 'b', '1'), 2, 2, false};
    ProbeEffect() : KavoEffectModule(nullptr, 4, 2, kInfo) {
        for (int p = 0; p < 4; ++p) {
            float v[2] = {0.1f * static_cast<float>(p), 0.5f};
            char name[24];
            std::snprintf(name, sizeof(name), "Probe %d", p);
            storeProgram(p, v, name);
        }
        setProgram(0);
    }
    void processReplacing(float** /*in*/, float** out, VstInt32 frames) override {
        for (VstInt32 i = 0; i < frames; ++i) {
            drainEffectMidiFrame();
            out[0][i] = out[1][i] = live_[0];
        }
    }
    int changes = 0;

protected:
    void parameterChanged(VstInt32) override { ++changes; }
};

std::vector<VstMidiEvent> midiEvents(int n, uint8_t status, uint8_t d1, VstInt32 delta) {
    std::vector<VstMidiEvent> events(static_cast<size_t>(n));
    for (auto& e : events) {
        std::memset(&e, 0, sizeof(e));
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = delta;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(d1);
    }
    return events;
}

struct EventList {
    std::vector<char> storage;
    VstEvents* get() { return reinterpret_cast<VstEvents*>(storage.data()); }
    explicit EventList(std::vector<VstMidiEvent>& events)
        : storage(sizeof(VstEvents) + sizeof(VstEvent*) * events.size()) {
        get()->numEvents = static_cast<VstInt32>(events.size());
        for (size_t i = 0; i < events.size(); ++i) get()->events[i] = reinterpret_cast<VstEvent*>(&events[i]);
    }
};

}  // namespace

TEST(ModuleFramework, CanDoComparesExactly) {
    ProbeEffect fx;
    char a[] = "receiveVstMidiEvent", b[] = "midiProgramNames", c[] = "receiveVstMidiEvents", d[] = "receiveVstEvents";
    EXPECT_EQ(fx.canDo(a), 1);
    EXPECT_EQ(fx.canDo(d), 1);
    EXPECT_EQ(fx.canDo(b), 0);
    EXPECT_EQ(fx.canDo(c), -1);
}

TEST(ModuleFramework, RingTakes255EventsThenRefuses) {
    ProbeEffect fx;
    auto events = midiEvents(300, 0x90, 60, 0);
    EventList list(events);
    EXPECT_EQ(fx.processEvents(list.get()), 0);
    auto extra = midiEvents(1, 0xC0, 2, 0);
    EventList one(extra);
    EXPECT_EQ(fx.processEvents(one.get()), 0);  // still full
    // One frame releases one slot.
    std::vector<float> l(1), r(1);
    float* outs[2] = {l.data(), r.data()};
    fx.processReplacing(nullptr, outs, 1);
    EXPECT_EQ(fx.processEvents(one.get()), 1);
    EXPECT_EQ(fx.processEvents(one.get()), 0);
}

TEST(ModuleFramework, ProgramChangeTakesEffectAtDeltaMinusOne) {
    ProbeEffect fx;
    auto events = midiEvents(1, 0xC0, 3, 5);
    EventList list(events);
    ASSERT_EQ(fx.processEvents(list.get()), 1);
    std::vector<float> l(16), r(16);
    float* outs[2] = {l.data(), r.data()};
    fx.processReplacing(nullptr, outs, 16);
    EXPECT_FLOAT_EQ(l[3], 0.0f);
    EXPECT_FLOAT_EQ(l[4], 0.3f);  // frame 0 + 5 - 1
}

TEST(ModuleFramework, EffectChunksHaveTheCommonForm) {
    ProbeEffect fx;
    void* data = nullptr;
    VstInt32 size = fx.getChunk(&data, true);
    EXPECT_EQ(size, 8);
    delete[] static_cast<char*>(data);
    size = fx.getChunk(&data, false);
    EXPECT_EQ(size, 4 * (24 + 8));
    EXPECT_STREQ(static_cast<char*>(data) + 32, "Probe 1");
    // Wrong sizes are refused and change nothing.
    std::vector<char> bank(static_cast<char*>(data), static_cast<char*>(data) + size);
    delete[] static_cast<char*>(data);
    fx.setParameter(0, 0.9f);
    EXPECT_EQ(fx.setChunk(bank.data(), size - 1, false), 0);
    EXPECT_EQ(fx.setChunk(bank.data(), 7, true), 0);
    EXPECT_FLOAT_EQ(fx.getParameter(0), 0.9f);
    EXPECT_EQ(fx.setChunk(bank.data(), size, false), 1);
    EXPECT_FLOAT_EQ(fx.getParameter(0), 0.9f);  // an effect keeps its live values
    char name[24];
    EXPECT_TRUE(fx.getProgramNameIndexed(0, 3, name));
    EXPECT_STREQ(name, "Probe 3");
    EXPECT_FALSE(fx.getProgramNameIndexed(0, 4, name));
    EXPECT_FALSE(fx.copyProgram(4));
}

TEST(ModuleFramework, DescriptorAndPins) {
    ProbeEffect fx;
    AEffect* e = fx.getAeffect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, vstFourCC('p', 'r', 'b', '1'));
    EXPECT_EQ(e->flags & (effFlagsIsSynth | effFlagsNoSoundInStop), 0);
    EXPECT_NE(e->flags & effFlagsCanReplacing, 0);
    EXPECT_EQ(e->dispatcher(e, effGetPlugCategory, 0, 0, nullptr, 0), kPlugCategEffect);
    VstPinProperties pin;
    EXPECT_TRUE(fx.getOutputProperties(1, &pin));
    EXPECT_STREQ(pin.label, "KAVO probe");
    EXPECT_EQ(pin.flags, 3);
    EXPECT_FALSE(fx.getOutputProperties(2, &pin));
    EXPECT_EQ(e->user, &fx.hostLink());
}
