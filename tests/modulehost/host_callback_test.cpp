#include <cstring>

#include "modulehost/module_host_callback.h"
#include "slot_fixture.h"

namespace {

// Asks its host for things while it is still being constructed, before the
// module host could fill its link.
struct EarlyAnswers {
    VstTimeInfo* timeInfo = reinterpret_cast<VstTimeInfo*>(1);
    VstInt32 version = 0;
    char product[64] = {};
    bool productAnswer = false;
};
EarlyAnswers early;

class EarlyCaller : public probe::ProbeModule {
public:
    explicit EarlyCaller(audioMasterCallback m) : ProbeModule(m, probe::kEffectInfo) {
        early.timeInfo = getTimeInfo(0xFFFF);
        early.version = getMasterVersion();
        early.productAnswer = getHostProductString(early.product);
    }
};

const ModuleClassEntry kEarlyClass{
    "Early", [](audioMasterCallback m) -> AudioEffectX* { return new EarlyCaller(m); }, false};

constexpr VstInt32 kStepOn = 0x27C000;        // what the drum machine sends for a hit
constexpr VstInt32 kVelocityEdit = 0x2FC000;  // and for a hit's velocity

VstIntPtr ask(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, void* ptr = nullptr, float opt = 0.0f) {
    return moduleHostCallback(effect, opcode, index, 0, ptr, opt);
}

}  // namespace

TEST(HostCallback, AnswersWhatAHostIsAsked) {
    char text[64] = {};
    EXPECT_EQ(ask(nullptr, audioMasterVersion), 2400);
    EXPECT_EQ(ask(nullptr, audioMasterGetProductString, 0, text), 1);
    EXPECT_STREQ(text, "KAVO Stack");
    EXPECT_EQ(ask(nullptr, audioMasterGetVendorVersion), 1);
    EXPECT_EQ(ask(nullptr, audioMasterUpdateDisplay), 1);
    for (VstInt32 other : {audioMasterAutomate, audioMasterCurrentId, audioMasterIdle, audioMasterGetSampleRate,
                           audioMasterGetBlockSize, audioMasterGetVendorString, audioMasterCanDo,
                           audioMasterIOChanged, audioMasterSizeWindow, audioMasterBeginEdit})
        EXPECT_EQ(ask(nullptr, other, 5, text), 0) << other;
    EXPECT_EQ(ask(nullptr, audioMasterGetTime), 0);  // nobody to ask
    EXPECT_EQ(ask(nullptr, audioMasterGetProductString), 0);
}

TEST(HostCallback, PatternMessageBitsDecodeExactly) {
    DrumPatternMessage m;
    ASSERT_TRUE(decodeDrumPatternMessage(kStepOn + 60 * 128 + 5, m));
    EXPECT_EQ(m.step, 5);
    EXPECT_EQ(m.key, 60);
    EXPECT_FALSE(m.setVelocity);
    ASSERT_TRUE(decodeDrumPatternMessage(kVelocityEdit + 127 * 128 + 127, m));
    EXPECT_EQ(m.step, 127);
    EXPECT_EQ(m.key, 127);
    EXPECT_TRUE(m.setVelocity);

    EXPECT_FALSE(decodeDrumPatternMessage(kStepOn | (1 << 20), m));        // bit 20 set
    EXPECT_FALSE(decodeDrumPatternMessage(kStepOn & ~(1 << 16), m));       // marker incomplete
    EXPECT_FALSE(decodeDrumPatternMessage(kStepOn & ~(1 << 21), m));       // not a pattern message
    EXPECT_FALSE(decodeDrumPatternMessage(kStepOn | (1 << 22), m));        // beyond the packing
    EXPECT_FALSE(decodeDrumPatternMessage(static_cast<VstInt32>(0x80000000u | kStepOn), m));
    EXPECT_FALSE(decodeDrumPatternMessage(0x500003, m));  // a message of the other direction
}

TEST_F(SlotTest, CallsDuringConstructionAreAnsweredSafely) {
    ASSERT_TRUE(slot.createModule(owner, "Early", kEarlyClass, SlotKind::Effect, &track));
    EXPECT_EQ(early.timeInfo, nullptr);
    EXPECT_EQ(early.version, 2400);
    EXPECT_TRUE(early.productAnswer);
    EXPECT_STREQ(early.product, "KAVO Stack");
}

TEST_F(SlotTest, TimeRequestsGetTheOwnersRecord) {
    ASSERT_TRUE(createEffect());
    auto* module = static_cast<AudioEffectX*>(probe::moduleObject(slot));
    VstTimeInfo* info = module->getTimeInfo(kVstTempoValid);
    EXPECT_EQ(info, &owner.timeInfo);
    EXPECT_EQ(info->tempo, 133.0);
}

TEST_F(SlotTest, DrumSlotPatternEditsReachItsTrack) {
    ASSERT_TRUE(slot.createModule(owner, "KavoDrums", probe::kDrumClass, SlotKind::Instrument, &track));
    auto* module = probe::moduleObject(slot);
    // The drum machine reports its pattern through the automation path.
    module->setParameterAutomated(kStepOn + 36 * 128 + 3, 1.0f);
    module->setParameterAutomated(kStepOn + 38 * 128 + 4, 0.0f);
    module->setParameterAutomated(kVelocityEdit + 36 * 128 + 3, 99.7f);
    EXPECT_EQ(ask(slot.effect(), audioMasterAutomate, kStepOn + 40 * 128 + 15, nullptr, 2.0f), 0);
    ASSERT_EQ(track.edits.size(), 4u);
    EXPECT_EQ(track.edits[0].step, 3);
    EXPECT_EQ(track.edits[0].key, 36);
    EXPECT_FALSE(track.edits[0].setVelocity);
    EXPECT_EQ(track.edits[0].command, 1.0f);
    EXPECT_EQ(track.edits[1].key, 38);
    EXPECT_EQ(track.edits[1].command, 0.0f);
    EXPECT_TRUE(track.edits[2].setVelocity);
    EXPECT_EQ(track.edits[2].command, 99.7f);
    EXPECT_EQ(track.edits[3].step, 15);
    EXPECT_EQ(track.edits[3].command, 2.0f);

    // Malformed messages change nothing and answer 0.
    EXPECT_EQ(ask(slot.effect(), audioMasterAutomate, kStepOn | (1 << 20), nullptr, 1.0f), 0);
    EXPECT_EQ(ask(slot.effect(), audioMasterAutomate, kStepOn & ~(1 << 14), nullptr, 1.0f), 0);
    EXPECT_EQ(track.edits.size(), 4u);
    // Ordinary requests are still answered while the bit is clear.
    EXPECT_EQ(ask(slot.effect(), audioMasterVersion), 2400);
}

TEST_F(SlotTest, PatternEditsNeedADrumSlotOnATrack) {
    ASSERT_TRUE(slot.createModule(owner, "KavoSynthI", probe::kSynthClass, SlotKind::Instrument, &track));
    EXPECT_EQ(ask(slot.effect(), audioMasterAutomate, kStepOn + 5, nullptr, 1.0f), 0);
    EXPECT_TRUE(track.edits.empty());

    // A drum module in a slot without a track (master section).
    CPlugin master;
    ASSERT_TRUE(master.createModule(owner, "KavoDrums", probe::kDrumClass, SlotKind::Instrument, nullptr));
    EXPECT_EQ(ask(master.effect(), audioMasterAutomate, kStepOn + 5, nullptr, 1.0f), 0);
    EXPECT_TRUE(track.edits.empty());
    // And a module that is not ours has no host link at all.
    AEffect bare{};
    EXPECT_EQ(ask(&bare, audioMasterAutomate, kStepOn + 5, nullptr, 1.0f), 0);
    EXPECT_EQ(ask(&bare, audioMasterGetTime), 0);
}
