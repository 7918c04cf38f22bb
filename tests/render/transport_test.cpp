#include "tools/talvex_render/transport.h"

#include <gtest/gtest.h>

namespace {

TransportChange change(const std::string& text, double sampleRate = 48000.0, double tempo = 120.0) {
    TransportChange out;
    std::string error;
    EXPECT_TRUE(parseTransportChange(text, sampleRate, tempo, out, error)) << error;
    return out;
}

TEST(Transport, PositionsAdvanceBlockByBlock) {
    TransportSettings settings;
    settings.sampleRate = 48000.0;
    settings.tempoBpm = 120.0;  // a quarter note is 24000 frames
    settings.timeSigNumerator = 3;
    settings.timeSigDenominator = 4;
    Transport transport(settings);
    const int32_t block = 6000;
    for (int b = 0; b < 20; ++b) {
        const VstTimeInfo& info = transport.beginBlock(b * block);
        const double ppq = b * 0.25;
        EXPECT_DOUBLE_EQ(info.samplePos, b * block);
        EXPECT_DOUBLE_EQ(info.ppqPos, ppq);
        EXPECT_DOUBLE_EQ(info.barStartPos, 3.0 * static_cast<int>(ppq / 3.0)) << b;
        EXPECT_EQ(info.timeSigNumerator, 3);
        EXPECT_EQ(info.timeSigDenominator, 4);
        EXPECT_DOUBLE_EQ(info.tempo, 120.0);
        EXPECT_DOUBLE_EQ(info.nanoSeconds, b * 125e6);
        // MIDI clocks fall every 1000 frames; each block starts on one.
        EXPECT_EQ(info.samplesToNextClock, 0);
        EXPECT_TRUE(info.flags & kVstTransportPlaying);
        EXPECT_EQ((info.flags & kVstTransportChanged) != 0, b == 0);
        const int valid = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid | kVstClockValid;
        EXPECT_EQ(info.flags & valid, valid);
        transport.endBlock(block);
    }
}

TEST(Transport, StopFreezesThePositionAndPlayResumesIt) {
    TransportSettings settings;
    settings.sampleRate = 1000.0;
    settings.tempoBpm = 60.0;
    Transport transport(settings);
    transport.schedule(change("play@350", 1000.0, 60.0));
    transport.schedule(change("stop@150", 1000.0, 60.0));  // scheduled out of order
    std::vector<double> positions;
    std::vector<bool> playing, changed;
    for (int b = 0; b < 6; ++b) {
        const VstTimeInfo& info = transport.beginBlock(b * 100);
        positions.push_back(info.samplePos);
        playing.push_back((info.flags & kVstTransportPlaying) != 0);
        changed.push_back((info.flags & kVstTransportChanged) != 0);
        transport.endBlock(100);
    }
    // Changes take effect at the first block starting at or after them:
    // the stop at 150 with the block at 200, the play at 350 with 400.
    EXPECT_EQ(positions, (std::vector<double>{0, 100, 200, 200, 200, 300}));
    EXPECT_EQ(playing, (std::vector<bool>{true, true, false, false, true, true}));
    EXPECT_EQ(changed, (std::vector<bool>{true, false, true, false, true, false}));
}

TEST(Transport, TempoChangeKeepsTheQuarterNotePositionContinuous) {
    TransportSettings settings;
    settings.sampleRate = 1000.0;
    settings.tempoBpm = 60.0;  // 1000 frames per quarter
    Transport transport(settings);
    transport.schedule(change("tempo@2000=120", 1000.0, 60.0));
    transport.schedule(change("locate@3000=8", 1000.0, 60.0));
    std::vector<double> ppq;
    for (int b = 0; b < 5; ++b) {
        const VstTimeInfo& info = transport.beginBlock(b * 1000);
        ppq.push_back(info.ppqPos);
        if (b >= 2) {
            EXPECT_DOUBLE_EQ(info.tempo, 120.0);
            EXPECT_EQ(info.samplesToNextClock, 0);
        }
        transport.endBlock(1000);
    }
    // Two quarters at 60, then two per second at 120; the locate jumps to 8.
    EXPECT_EQ(ppq, (std::vector<double>{0, 1, 2, 8, 10}));
}

TEST(Transport, TimeSignatureChangeStartsFromTheCurrentBar) {
    TransportSettings settings;
    settings.sampleRate = 1000.0;
    settings.tempoBpm = 60.0;
    Transport transport(settings);
    transport.schedule(change("sig@5000=6/8", 1000.0, 60.0));  // at quarter 5, in the bar from 4
    std::vector<double> bars;
    std::vector<int> numerators;
    for (int b = 0; b < 12; ++b) {
        const VstTimeInfo& info = transport.beginBlock(b * 1000);
        bars.push_back(info.barStartPos);
        numerators.push_back(info.timeSigNumerator);
        transport.endBlock(1000);
    }
    // 4/4 bars at 0 and 4; from 4 on, bars of 3 quarters: 4, 7, 10.
    EXPECT_EQ(bars, (std::vector<double>{0, 0, 0, 0, 4, 4, 4, 7, 7, 7, 10, 10}));
    EXPECT_EQ(numerators[4], 4);
    EXPECT_EQ(numerators[5], 6);
}

TEST(Transport, ClockDistanceBetweenPulses) {
    TransportSettings settings;
    settings.sampleRate = 48000.0;
    settings.tempoBpm = 120.0;  // 1000 frames per clock
    Transport transport(settings);
    transport.beginBlock(0);
    transport.endBlock(250);
    EXPECT_EQ(transport.beginBlock(250).samplesToNextClock, 750);
}

TEST(Transport, ParsesChangesAndRefusesTypos) {
    TransportChange c = change("locate@1.5s=16", 48000.0);
    EXPECT_EQ(c.kind, TransportChange::Kind::Locate);
    EXPECT_EQ(c.frame, 72000);
    EXPECT_DOUBLE_EQ(c.value, 16.0);
    c = change("sig@4b=7/8", 48000.0, 120.0);
    EXPECT_EQ(c.frame, 96000);
    EXPECT_EQ(c.numerator, 7);
    EXPECT_EQ(c.denominator, 8);
    TransportChange out;
    std::string error;
    for (const char* bad : {"play", "play@", "play@1s=2", "stop@x", "tempo@0=0", "tempo@0", "sig@0=3/5",
                            "sig@0=0/4", "locate@0=-1", "rewind@0"})
        EXPECT_FALSE(parseTransportChange(bad, 48000.0, 120.0, out, error)) << bad;
}

}  // namespace
