#include "tools/talvex_render/midi_file_reader.h"

#include <gtest/gtest.h>

#include "tests/render/render_test_support.h"

using render_test::MidiFileBuilder;

namespace {

MidiFile parseOk(const std::vector<uint8_t>& bytes) {
    MidiFile file;
    std::string error;
    EXPECT_TRUE(parseMidiFile(bytes.data(), bytes.size(), file, error)) << error;
    return file;
}

std::string parseError(const std::vector<uint8_t>& bytes) {
    MidiFile file;
    std::string error;
    EXPECT_FALSE(parseMidiFile(bytes.data(), bytes.size(), file, error));
    return error;
}

TEST(MidiFileReader, RunningStatusRepeatsTheLastChannelStatus) {
    MidiFileBuilder smf(0, 480);
    smf.beginTrack();
    smf.delta(0);
    smf.bytes({0x91, 60, 100});
    smf.delta(240);
    smf.bytes({62, 90});  // running status: note on, channel 1
    smf.delta(240);
    smf.bytes({60, 0});
    smf.delta(0);
    smf.bytes({0xc1, 5});  // program change has one data byte...
    smf.delta(10);
    smf.bytes({6});  // ...and so has its running-status repeat
    smf.endOfTrack(0);
    MidiFile file = parseOk(smf.build());
    ASSERT_EQ(file.events.size(), 5u);
    EXPECT_EQ(file.events[1].bytes, (std::vector<uint8_t>{0x91, 62, 90}));
    EXPECT_EQ(file.events[2].bytes, (std::vector<uint8_t>{0x91, 60, 0}));
    EXPECT_EQ(file.events[4].bytes, (std::vector<uint8_t>{0xc1, 6}));
    EXPECT_EQ(file.events[4].tick, 490u);
    // Default tempo 120: 480 ticks are half a second.
    EXPECT_DOUBLE_EQ(file.events[2].seconds, 0.5);
}

TEST(MidiFileReader, TempoChangesReshapeTheTimeline) {
    MidiFileBuilder smf(1, 96);
    smf.beginTrack();              // tempo track
    smf.tempo(0, 1000000);         // 60 BPM: a quarter is one second
    smf.tempo(192, 250000);        // at tick 192 (2 s): 240 BPM
    smf.endOfTrack(96);
    smf.beginTrack();
    smf.delta(96);
    smf.bytes({0x90, 60, 100});    // tick 96: 1 s
    smf.delta(192);
    smf.bytes({0x80, 60, 0});      // tick 288: 2 s + 96 ticks at 0.25 s = 2.25 s
    smf.endOfTrack(0);
    MidiFile file = parseOk(smf.build());
    EXPECT_TRUE(file.hasTempo);
    EXPECT_DOUBLE_EQ(file.initialTempoBpm, 60.0);
    ASSERT_EQ(file.events.size(), 2u);
    EXPECT_DOUBLE_EQ(file.events[0].seconds, 1.0);
    EXPECT_DOUBLE_EQ(file.events[1].seconds, 2.25);
    EXPECT_DOUBLE_EQ(file.endSeconds, 2.25);  // both tracks end at tick 288
}

TEST(MidiFileReader, TracksMergeByTimeThenTrackOrder) {
    MidiFileBuilder smf(1, 100);
    smf.beginTrack();
    smf.delta(50);
    smf.bytes({0x90, 1, 1});
    smf.delta(50);
    smf.bytes({0x90, 2, 1});  // tick 100
    smf.endOfTrack(0);
    smf.beginTrack();
    smf.delta(0);
    smf.bytes({0x91, 3, 1});  // tick 0
    smf.delta(100);
    smf.bytes({0x91, 4, 1});  // tick 100, after track 0's event at the same tick
    smf.endOfTrack(400);      // this track ends last, at tick 500
    MidiFile file = parseOk(smf.build());
    EXPECT_EQ(file.tracksRead, 2);
    ASSERT_EQ(file.events.size(), 4u);
    std::vector<int> keys;
    for (const auto& event : file.events) keys.push_back(event.bytes[1]);
    EXPECT_EQ(keys, (std::vector<int>{3, 1, 2, 4}));
    EXPECT_EQ(file.events[3].track, 1);
    EXPECT_DOUBLE_EQ(file.endSeconds, 2.5);  // 500 ticks at 100 per half second
}

TEST(MidiFileReader, SmpteTimeBaseIgnoresTempo) {
    // 25 frames per second, 40 ticks per frame: 1000 ticks per second.
    MidiFileBuilder smf(0, static_cast<uint16_t>((static_cast<uint8_t>(-25) << 8) | 40));
    smf.beginTrack();
    smf.tempo(0, 1000000);
    smf.delta(1500);
    smf.bytes({0x90, 60, 1});
    smf.endOfTrack(0);
    MidiFile file = parseOk(smf.build());
    EXPECT_EQ(file.ticksPerQuarter, 0);
    ASSERT_EQ(file.events.size(), 1u);
    EXPECT_DOUBLE_EQ(file.events[0].seconds, 1.5);
}

TEST(MidiFileReader, SystemExclusiveAndMetaEvents) {
    MidiFileBuilder smf(0, 480);
    smf.beginTrack();
    smf.delta(0);
    smf.bytes({0xff, 0x58, 0x04, 3, 3, 24, 8});  // 3/8
    smf.delta(0);
    smf.bytes({0xff, 0x03, 0x04, 'S', 'o', 'n', 'g'});  // a track name is skipped
    smf.delta(0);
    smf.bytes({0x90, 60, 100});
    smf.delta(0);
    smf.bytes({0xf0, 0x03, 0x7e, 0x01, 0xf7});
    smf.delta(0);
    smf.bytes({62, 100});  // running status survives the dump (as players allow)
    smf.endOfTrack(0);
    MidiFile file = parseOk(smf.build());
    EXPECT_TRUE(file.hasTimeSignature);
    EXPECT_EQ(file.timeSigNumerator, 3);
    EXPECT_EQ(file.timeSigDenominator, 8);
    ASSERT_EQ(file.events.size(), 3u);
    EXPECT_TRUE(file.events[1].sysex);
    EXPECT_EQ(file.events[1].bytes, (std::vector<uint8_t>{0xf0, 0x7e, 0x01, 0xf7}));
    EXPECT_EQ(file.events[2].bytes, (std::vector<uint8_t>{0x90, 62, 100}));
}

TEST(MidiFileReader, RefusesMalformedFiles) {
    EXPECT_NE(parseError({'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}).find("MThd"), std::string::npos);
    EXPECT_FALSE(parseError({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}).empty());  // header cut short

    MidiFileBuilder noStatus(0, 96);
    noStatus.beginTrack();
    noStatus.delta(0);
    noStatus.bytes({60, 100});
    EXPECT_NE(parseError(noStatus.build()).find("without a status"), std::string::npos);

    MidiFileBuilder longDelta(0, 96);
    longDelta.beginTrack();
    longDelta.bytes({0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 1});
    EXPECT_NE(parseError(longDelta.build()).find("four bytes"), std::string::npos);

    MidiFileBuilder badData(0, 96);
    badData.beginTrack();
    badData.delta(0);
    badData.bytes({0x90, 60, 0x90});
    EXPECT_NE(parseError(badData.build()).find("data byte"), std::string::npos);

    MidiFileBuilder undefinedStatus(0, 96);
    undefinedStatus.beginTrack();
    undefinedStatus.delta(0);
    undefinedStatus.bytes({0xf4});
    EXPECT_NE(parseError(undefinedStatus.build()).find("undefined"), std::string::npos);

    MidiFileBuilder longDump(0, 96);
    longDump.beginTrack();
    longDump.delta(0);
    longDump.bytes({0xf0, 0x7f, 0x01});  // claims 127 bytes, has 1
    EXPECT_NE(parseError(longDump.build()).find("past the end"), std::string::npos);

    MidiFileBuilder zeroDivision(0, 0);
    zeroDivision.beginTrack();
    zeroDivision.endOfTrack(0);
    EXPECT_FALSE(parseError(zeroDivision.build()).empty());

    MidiFileBuilder noTracks(0, 96);
    EXPECT_NE(parseError(noTracks.build()).find("no track"), std::string::npos);
}

TEST(MidiFileReader, TrackLongerThanTheFileKeepsWhatIsThere) {
    MidiFileBuilder smf(0, 96);
    smf.beginTrack();
    smf.delta(0);
    smf.bytes({0x90, 60, 100});
    smf.delta(96);
    smf.bytes({0x80, 60});  // cut inside the message
    std::vector<uint8_t> bytes = smf.build();
    bytes[21] = 0x40;  // the track length now claims far more than the file holds
    MidiFile file = parseOk(bytes);
    EXPECT_TRUE(file.truncated);
    ASSERT_EQ(file.events.size(), 1u);
    EXPECT_DOUBLE_EQ(file.endSeconds, 0.5);
}

}  // namespace
