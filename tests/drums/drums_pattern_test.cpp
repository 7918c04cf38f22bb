// The track's pattern mirrored into the module, the random-pattern
// generator and the messages it sends back, and the send-name side channel.
#include <gtest/gtest.h>

#include "drums_test_host.h"
#include "modulehost/module_host_callback.h"

using namespace drums_test;
using namespace drums;

namespace {

class DrumsPattern : public ::testing::Test {
protected:
    void SetUp() override { library = defaultKit(store); }
    TestStore store;
    std::unique_ptr<SampleLibrary> library;
};

struct DecodedStep {
    int step;
    int key;
    bool velocity;
    float value;
};

// The automation requests as the module host reads them.
std::vector<DecodedStep> decodedAutomation() {
    std::vector<DecodedStep> steps;
    for (const Automation& a : automation()) {
        DrumPatternMessage m;
        EXPECT_TRUE(decodeDrumPatternMessage(a.index, m)) << std::hex << a.index;
        steps.push_back({m.step, m.key, m.setVelocity, a.value});
    }
    return steps;
}

}  // namespace

TEST(DrumsHostMessages, PackedIndicesDecodeAsTheTrackSendsThem) {
    using K = HostMessage;
    struct Case {
        int32_t index;
        K::Kind kind;
        int note;
        int step;
    };
    const Case cases[] = {
        {0x500003, K::kPatternLength, 0, 0},      {0x500004, K::kClearGrid, 0, 0},
        {0x400000 + 5 + 128 * 38, K::kGridStep, 38, 5}, {0x400000 + 127 + 128 * 127, K::kGridStep, 127, 127},
        {0x480000 + 5 + 128 * 38, K::kNone, 0, 0}, // velocity: not mirrored
        {0x500002, K::kNone, 0, 0},              {0x500009, K::kNone, 0, 0},
        {0x500008, K::kNone, 0, 0},              {0x500006, K::kNone, 0, 0},
        {0x500005, K::kNone, 0, 0},              {0x510000, K::kNone, 0, 0},
        {0x510001, K::kNone, 0, 0},              {0x27c000 + 36 * 128, K::kNone, 0, 0},  // our own, bit 21
        {0x2fc000 + 36 * 128, K::kNone, 0, 0},   {0x1fffff, K::kNone, 0, 0},
        {0x200000 + 3 + 128 * 36, K::kNone, 0, 0}, {-1, K::kNone, 0, 0},
        {0x110003, K::kNone, 0, 0},  // bits 16 and 20 together
    };
    for (const Case& c : cases) {
        const HostMessage m = decodeHostMessage(c.index);
        EXPECT_EQ(m.kind, c.kind) << std::hex << c.index;
        if (c.kind == K::kGridStep) {
            EXPECT_EQ(m.note, c.note) << std::hex << c.index;
            EXPECT_EQ(m.step, c.step) << std::hex << c.index;
        }
    }
}

TEST_F(DrumsPattern, MirroringFillsTheGridAndChangesNothingElse) {
    DrumsHost host(*library);
    host.setPad(1, kLevel, 0.3f);
    const std::vector<char> bankBefore = host.chunk(false);
    EXPECT_EQ(host.drums().patternLength(), 1);

    host.set(0x500002, 3.0f);
    host.set(0x500009, 3.0f);
    host.set(0x500004, 0.0f);
    host.set(0x400000 + 5 + 128 * 38, 1.0f);
    host.set(0x400000 + 63 + 128 * 38, 1.0f);
    host.set(0x400000 + 64 + 128 * 38, 1.0f);  // beyond the grid: dropped
    host.set(0x400000 + 2 + 128 * 60, 1.0f);   // no pad plays note 60
    host.set(0x480000 + 5 + 128 * 38, 100.0f);
    host.set(0x500008, 65535.0f);
    host.set(0x500006, 1.0f);
    host.set(0x500003, 32.0f);
    host.set(0x500005, 0.25f);
    host.set(0x510000, 1.0f);
    host.set(0x510001, 0.0f);

    EXPECT_EQ(host.drums().patternLength(), 32);
    EXPECT_EQ(host.drums().gridStep(1, 5), 1.0f);
    EXPECT_EQ(host.drums().gridStep(1, 63), 1.0f);
    int set = 0;
    for (int k = 0; k < kPadRecords; ++k)
        for (int s = 0; s < EffectDrums::kGridSteps; ++s) set += host.drums().gridStep(k, s) != 0.0f;
    EXPECT_EQ(set, 2);
    EXPECT_EQ(host.chunk(false), bankBefore);
    EXPECT_EQ(host.get(15 + kLevel), 0.3f);
    EXPECT_TRUE(automation().empty());

    host.set(0x500004, 0.0f);
    EXPECT_EQ(host.drums().gridStep(1, 5), 0.0f);
    host.set(0x500003, 1000.0f);
    EXPECT_EQ(host.drums().patternLength(), EffectDrums::kMaxPatternSteps);
    host.set(0x500003, -4.0f);
    EXPECT_EQ(host.drums().patternLength(), 0);
}

TEST_F(DrumsPattern, RandomPatternAtDensityZeroAndOneOnSixteenSteps) {
    DrumsHost host(*library);
    host.set(0x500003, 16.0f);

    host.set(kPatternRandomFirst + 1, 0.0f);  // pad 2, note 38
    auto steps = decodedAutomation();
    ASSERT_EQ(steps.size(), 16u);
    for (int s = 0; s < 16; ++s) {
        EXPECT_EQ(automation()[static_cast<size_t>(s)].index, 0x27c000 + 38 * 128 + s);
        EXPECT_EQ(steps[static_cast<size_t>(s)].value, 0.0f);
        EXPECT_FALSE(steps[static_cast<size_t>(s)].velocity);
    }

    automation().clear();
    host.set(kPatternRandomFirst + 1, 1.0f);
    steps = decodedAutomation();
    ASSERT_EQ(steps.size(), 32u);
    for (int s = 0; s < 16; ++s) {
        const DecodedStep& on = steps[static_cast<size_t>(2 * s)];
        const DecodedStep& velocity = steps[static_cast<size_t>(2 * s + 1)];
        EXPECT_EQ(on.step, s);
        EXPECT_EQ(on.key, 38);
        EXPECT_FALSE(on.velocity);
        EXPECT_EQ(on.value, 1.0f);
        EXPECT_EQ(automation()[static_cast<size_t>(2 * s + 1)].index, 0x2fc000 + 38 * 128 + s);
        EXPECT_EQ(velocity.step, s);
        EXPECT_TRUE(velocity.velocity);
        EXPECT_GE(velocity.value, 1.0f);
        EXPECT_LE(velocity.value, 127.0f);
        EXPECT_EQ(velocity.value, std::floor(velocity.value));
    }
    // The module ignores its own messages when they come back to it.
    EXPECT_EQ(host.get(15 + kLevel), host.drums().program(0).values[(kLevel - 1) * kPadRecords + 1]);
}

TEST_F(DrumsPattern, RandomPatternLeavesTheTracksOwnStepsAlone) {
    DrumsHost host(*library);
    host.set(0x500003, 16.0f);
    for (int s = 0; s < 8; ++s) host.set(0x400000 + s + 128 * 36, 1.0f);
    host.set(kPatternRandomFirst, 1.0f);
    int hits = 0;
    for (const DecodedStep& d : decodedAutomation()) {
        if (d.velocity) continue;
        EXPECT_EQ(d.value, d.step >= 8 ? 1.0f : 0.0f) << d.step;
        hits += d.value == 1.0f;
    }
    EXPECT_EQ(hits, 8);

    // Half density on 16 steps: int(0.55 * 16) = 8 draws, all land on
    // free steps.
    automation().clear();
    host.set(0x500004, 0.0f);
    host.set(kPatternRandomFirst, 0.5f);
    hits = 0;
    for (const DecodedStep& d : decodedAutomation()) hits += !d.velocity && d.value == 1.0f;
    EXPECT_EQ(hits, 8);
}

TEST_F(DrumsPattern, RandomPatternEdgeLengthsAndValues) {
    DrumsHost host(*library);
    // Before the track sets a length the generator works on one step.
    host.set(kPatternRandomFirst + 7, 1.0f);
    auto steps = decodedAutomation();
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].key, 48);
    EXPECT_EQ(steps[0].step, 0);

    automation().clear();
    host.set(0x500003, 0.0f);
    host.set(kPatternRandomFirst, 1.0f);
    EXPECT_TRUE(automation().empty());

    host.set(0x500003, 128.0f);
    host.set(kPatternRandomFirst, std::nanf(""));
    // Density 0 still draws int(0.05 * 128) = 6 steps.
    EXPECT_EQ(automation().size(), 128u + 6u);
    automation().clear();
    host.set(kPatternRandomFirst, 1.0e30f);
    steps = decodedAutomation();
    EXPECT_EQ(steps.size(), 256u);
    EXPECT_EQ(steps.back().step, 127);
}

TEST_F(DrumsPattern, SendShortNamesArriveThroughTheVendorChannel) {
    DrumsHost host(*library);
    char reverb[] = "Reverb";
    EXPECT_EQ(host.dispatch(effVendorSpecific, kSendShortNameMessage, 0, reverb), 1);
    char longName[] = "Compressor and more";
    EXPECT_EQ(host.dispatch(effVendorSpecific, kSendShortNameMessage + 1, 0, longName), 1);
    EXPECT_STREQ(host.drums().sendShortName(0), "Reverb");
    EXPECT_STREQ(host.drums().sendShortName(1), "Compress");
    EXPECT_EQ(host.dispatch(effVendorSpecific, kSendShortNameMessage, 0, nullptr), 1);
    EXPECT_STREQ(host.drums().sendShortName(0), "");
    EXPECT_EQ(host.dispatch(effVendorSpecific, kSendShortNameMessage + 2, 0, reverb), 0);
}
