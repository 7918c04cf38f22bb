#include "tools/talvex_render/text_event_reader.h"

#include <gtest/gtest.h>

#include "tools/talvex_render/time_value.h"

namespace {

EventList parseOk(const std::string& text, double sampleRate = 48000.0, double tempo = 120.0) {
    EventList list;
    std::string error;
    EXPECT_TRUE(parseEventList(text, sampleRate, tempo, list, error)) << error;
    return list;
}

std::string parseError(const std::string& text) {
    EventList list;
    std::string error;
    EXPECT_FALSE(parseEventList(text, 48000.0, 120.0, list, error));
    return error;
}

TEST(TextEventReader, EveryEventKindBecomesItsMidiBytes) {
    EventList list = parseOk(
        "# a comment line\n"
        "0 note_on 0 60 100\n"
        "1 note_off 15 60 12   # trailing comment\n"
        "2 note_off 1 61\n"
        "3 cc 2 7 127\n"
        "4 program 3 5\n"
        "5 pitch_bend 4 8192\n"
        "6 pitch_bend 4 16383\n"
        "7 pressure 5 64\n"
        "8 poly_pressure 6 60 33\n"
        "9 raw 0x90 3C 64\n"
        "10 raw F0 7E 7F 09 01 F7\n"
        "\r\n"
        "11 param 3 0.25\n");
    ASSERT_EQ(list.events.size(), 12u);
    using Bytes = std::vector<uint8_t>;
    EXPECT_EQ(list.events[0].bytes, (Bytes{0x90, 60, 100}));
    EXPECT_EQ(list.events[1].bytes, (Bytes{0x8f, 60, 12}));
    EXPECT_EQ(list.events[2].bytes, (Bytes{0x81, 61, 64}));  // release velocity 64 when left out
    EXPECT_EQ(list.events[3].bytes, (Bytes{0xb2, 7, 127}));
    EXPECT_EQ(list.events[4].bytes, (Bytes{0xc3, 5}));
    EXPECT_EQ(list.events[5].bytes, (Bytes{0xe4, 0x00, 0x40}));  // centre: LSB first
    EXPECT_EQ(list.events[6].bytes, (Bytes{0xe4, 0x7f, 0x7f}));
    EXPECT_EQ(list.events[7].bytes, (Bytes{0xd5, 64}));
    EXPECT_EQ(list.events[8].bytes, (Bytes{0xa6, 60, 33}));
    EXPECT_EQ(list.events[9].bytes, (Bytes{0x90, 0x3c, 0x64}));
    EXPECT_EQ(list.events[10].kind, TimedEvent::Kind::Sysex);
    EXPECT_EQ(list.events[10].bytes.size(), 6u);
    EXPECT_EQ(list.events[11].kind, TimedEvent::Kind::Parameter);
    EXPECT_EQ(list.events[11].parameterIndex, 3);
    EXPECT_EQ(list.events[11].parameterValue, 0.25f);
    for (size_t i = 0; i < list.events.size(); ++i) EXPECT_EQ(list.events[i].frame, static_cast<int64_t>(i));
    EXPECT_EQ(list.endFrame, 12);
}

TEST(TextEventReader, TimesInFramesSecondsMillisecondsAndBeats) {
    EventList list = parseOk(
        "22050 note_on 0 1 1\n"
        "0.5s note_on 0 2 1\n"
        "250ms note_on 0 3 1\n"
        "3b note_on 0 4 1\n"
        "0.0001s note_on 0 5 1\n",
        44100.0, 90.0);
    ASSERT_EQ(list.events.size(), 5u);
    EXPECT_EQ(list.events[0].frame, 22050);
    EXPECT_EQ(list.events[1].frame, 22050);
    EXPECT_EQ(list.events[2].frame, 11025);
    EXPECT_EQ(list.events[3].frame, 88200);  // three quarters at 90 BPM: 2 s
    EXPECT_EQ(list.events[4].frame, 4);      // 4.41 rounds to the nearest frame
}

TEST(TextEventReader, EndMarkerExtendsTheList) {
    EventList list = parseOk("0 note_on 0 60 1\n2s end\n1s note_off 0 60\n");
    EXPECT_EQ(list.events.size(), 2u);
    EXPECT_EQ(list.endFrame, 96000);
    EXPECT_EQ(parseOk("").endFrame, 0);
    EXPECT_EQ(parseOk("100 note_on 0 60 1\n5 end\n").endFrame, 101);
}

TEST(TextEventReader, ErrorsNameTheLine) {
    EXPECT_EQ(parseError("0 note_on 0 60 100\n\nx note_on 0 60 100\n"), "line 3: bad time 'x'");
    EXPECT_NE(parseError("0 note_on 16 60 100").find("channel"), std::string::npos);
    EXPECT_NE(parseError("0 note_on 0 128 100").find("0 to 127"), std::string::npos);
    EXPECT_NE(parseError("0 note_on 0 60").find("arguments"), std::string::npos);
    EXPECT_NE(parseError("0 note_off 0 60 1 2").find("arguments"), std::string::npos);
    EXPECT_NE(parseError("0 pitch_bend 0 16384").find("16383"), std::string::npos);
    EXPECT_NE(parseError("0 flute 0 60").find("unknown event"), std::string::npos);
    EXPECT_NE(parseError("0 raw 3C 64").find("status"), std::string::npos);
    EXPECT_NE(parseError("0 raw 90 3C 64 01").find("status"), std::string::npos);
    EXPECT_NE(parseError("0 raw F0 7E").find("F7"), std::string::npos);
    EXPECT_NE(parseError("0 raw 9G").find("hex"), std::string::npos);
    EXPECT_NE(parseError("0 param 1 nan").find("param"), std::string::npos);
    EXPECT_NE(parseError("-1 note_on 0 60 1").find("bad time"), std::string::npos);
    EXPECT_NE(parseError("1.5 note_on 0 60 1").find("bad time"), std::string::npos);  // frames are whole
    EXPECT_NE(parseError("5").find("event name"), std::string::npos);
}

TEST(TimeValue, ParsesUnitsAndRefusesTheRest) {
    TimeValue t;
    ASSERT_TRUE(parseTimeValue("0x10", t));
    EXPECT_EQ(timeValueToFrames(t, 48000, 120), 16);
    ASSERT_TRUE(parseTimeValue("1.25s", t));
    EXPECT_EQ(timeValueToFrames(t, 48000, 120), 60000);
    ASSERT_TRUE(parseTimeValue("2b", t));
    EXPECT_EQ(timeValueToFrames(t, 48000, 120), 48000);
    ASSERT_TRUE(parseTimeValue("1e300s", t));
    EXPECT_GT(timeValueToFrames(t, 48000, 120), int64_t{1} << 50);  // clamped, no overflow
    for (const char* bad : {"", "s", "ms", "1.5", "-3", "3x", "inf s", "1s2", "nans"})
        EXPECT_FALSE(parseTimeValue(bad, t)) << bad;
}

}  // namespace
