#include <gtest/gtest.h>

#include <vector>

#include "tests/project/project_fixture.h"

namespace {

struct Filter {
    TestEngine engine;
    CInstrument* track;
    Filter() { track = &addProbeTrack(engine); }
    // Sends the messages, renders a block, returns what the module got.
    std::vector<std::vector<int>> route(const std::vector<std::vector<uint8_t>>& messages) {
        ProbeSynth::received.clear();
        for (const auto& m : messages) engine.send(m[0], m[1], m[2]);
        engine.render(64);
        std::vector<std::vector<int>> out;
        for (const auto& r : ProbeSynth::received) out.push_back({r.data[0], r.data[1], r.data[2]});
        return out;
    }
    std::vector<int> notesOn(const std::vector<std::vector<uint8_t>>& messages) {
        std::vector<int> keys;
        for (const auto& m : route(messages))
            if ((m[0] & 0xF0) == 0x90 && m[2] > 0) keys.push_back(m[1]);
        return keys;
    }
};

using Messages = std::vector<std::vector<uint8_t>>;
using Keys = std::vector<int>;

}  // namespace

TEST(TrackMidiFilter, ChannelSettingOneHearsEveryChannelOthersOnlyTheirOwn) {
    Filter f;
    Messages all;
    for (int ch = 0; ch < 16; ++ch) all.push_back({static_cast<uint8_t>(0x90 | ch), static_cast<uint8_t>(40 + ch), 100});
    EXPECT_EQ(f.notesOn(all).size(), 16u);
    f.track->midiChannel = 2;  // MIDI channel 1
    EXPECT_EQ(f.notesOn(all), Keys({40}));
    f.track->midiChannel = 17;  // MIDI channel 16
    EXPECT_EQ(f.notesOn(all), Keys({55}));
    f.track->midiChannel = 0;
    EXPECT_TRUE(f.notesOn(all).empty());
}

TEST(TrackMidiFilter, KeyLimitIsExcluded) {
    Filter f;
    EXPECT_EQ(f.notesOn({{0x90, 126, 100}, {0x90, 127, 100}}), Keys({126}));
    f.track->lowestKey = 60;
    f.track->keyLimit = 72;
    EXPECT_EQ(f.notesOn({{0x90, 59, 1}, {0x90, 60, 1}, {0x90, 71, 1}, {0x90, 72, 1}}), Keys({60, 71}));
}

TEST(TrackMidiFilter, OffsetsAndTransposition) {
    Filter f;
    f.engine.effect->liveTransposition = 5.0f;
    f.track->keyOffset = -12;
    EXPECT_EQ(f.notesOn({{0x90, 60, 1}}), Keys({48}));  // 255: not following
    f.track->keyTransposition = 0.0f;
    EXPECT_EQ(f.notesOn({{0x90, 60, 1}}), Keys({53}));
    f.track->keyTransposition = 2.7f;  // its integer part
    EXPECT_EQ(f.notesOn({{0x90, 60, 1}}), Keys({55}));
    f.track->keyOffset = 100;  // beyond 127: not sent
    EXPECT_TRUE(f.notesOn({{0x90, 60, 1}}).empty());
}

TEST(TrackMidiFilter, ReleasesArriveAsVelocityZeroNoteOns) {
    Filter f;
    const auto got = f.route({{0x91, 60, 90}, {0x81, 60, 64}, {0x91, 62, 0}});
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], std::vector<int>({0x91, 60, 90}));
    EXPECT_EQ(got[1], std::vector<int>({0x91, 60, 0}));
    EXPECT_EQ(got[2], std::vector<int>({0x91, 62, 0}));
}

TEST(TrackMidiFilter, PassSwitchesAndControllers) {
    Filter f;
    auto got = f.route({{0xE0, 0x7F, 0x40}, {0xB0, 7, 100}, {0xB0, 64, 127}, {0xB0, 1, 30}, {0xD0, 50, 0}, {0xA0, 60, 9}});
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], std::vector<int>({0xE0, 0x00, 0x40}));
    EXPECT_EQ(got[1], std::vector<int>({0xB0, 64, 127}));
    EXPECT_EQ(got[2], std::vector<int>({0xB0, 1, 30}));
    EXPECT_EQ(got[3], std::vector<int>({0xD0, 50, 0}));
    f.track->passPitchBend = 0;
    f.track->passModWheel = 0;
    f.track->passAftertouch = 0;
    got = f.route({{0xE0, 0x7F, 0x40}, {0xB0, 64, 0}, {0xB0, 1, 30}, {0xD0, 50, 0}});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], std::vector<int>({0xB0, 64, 0}));  // sustain always passes
}

TEST(TrackMidiFilter, KeyboardOffGatedOrArpeggiatedTracksKeepKeysFromTheModule) {
    Filter f;
    f.track->arpeggiator[0] = 1.0f;
    // The arpeggio plays the held key on the step clock at full velocity;
    // the key itself, at velocity 1, never reaches the module.
    for (const auto& m : f.route({{0x90, 60, 1}})) EXPECT_NE(m[2], 1) << m[0] << " " << m[1];
    f.engine.effect->arpeggiatorSwitch = 0.0f;  // the owner's switch lets them through again
    EXPECT_EQ(f.notesOn({{0x90, 61, 1}}), Keys({61}));
    f.track->keyboardGated = 1.0f;
    EXPECT_TRUE(f.notesOn({{0x90, 62, 1}}).empty());
    f.track->keyboardGated = 0.0f;
    f.track->keyboardOn = 0.0f;
    EXPECT_TRUE(f.route({{0x90, 63, 1}, {0xB0, 64, 127}}).empty());
}

TEST(TrackMidiFilter, HeldKeysFollowPressesAndReleasesOfKeyboardTracks) {
    Filter f;
    f.route({{0x90, 60, 1}, {0x90, 64, 1}, {0x90, 60, 1}, {0x90, 67, 1}});
    ASSERT_EQ(f.track->heldKeyCount(), 4);
    f.route({{0x80, 60, 0}});
    ASSERT_EQ(f.track->heldKeyCount(), 2);
    EXPECT_EQ(f.track->heldKey(0), 64);
    EXPECT_EQ(f.track->heldKey(1), 67);
    f.track->keyboardOn = 0.0f;
    f.route({{0x90, 50, 1}});
    EXPECT_EQ(f.track->heldKeyCount(), 2);
}

TEST(TrackMidiFilter, OnlyKeysInTheRangeCountAsHeld) {
    // A split keyboard: the keys of the other part are not this track's.
    Filter f;
    f.track->lowestKey = 60;
    f.track->keyLimit = 72;
    f.route({{0x90, 59, 1}, {0x90, 60, 1}, {0x90, 71, 1}, {0x90, 72, 1}, {0x90, 36, 1}});
    ASSERT_EQ(f.track->heldKeyCount(), 2);
    EXPECT_EQ(f.track->heldKey(0), 60);
    EXPECT_EQ(f.track->heldKey(1), 71);
    // The range moves while 71 is held: its release still lets it go.
    f.track->lowestKey = 36;
    f.track->keyLimit = 48;
    f.route({{0x80, 71, 0}, {0x90, 40, 1}});
    ASSERT_EQ(f.track->heldKeyCount(), 2);
    EXPECT_EQ(f.track->heldKey(0), 60);
    EXPECT_EQ(f.track->heldKey(1), 40);
}
