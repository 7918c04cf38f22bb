// The demonstration performance against the clock: its length at any
// sample rate and tempo, its start on a step boundary, and its notes on the
// steps the patterns play.
#include <gtest/gtest.h>

#include <cmath>

#include "project/project.h"
#include "project/project_loader.h"
#include "tests/host/test_host_fixture.h"

namespace {

struct Engine : TestEngine {
    // Renders blocks until the demonstration stops; answers the frames
    // rendered while it played (at most limit).
    long playToEnd(int block, long limit) {
        std::vector<float> l, r;
        long frames = 0;
        renderBlock(*effect, block, l, r);
        while (effect->demonstrationPlaying() && frames < limit) {
            frames += block;
            renderBlock(*effect, block, l, r);
        }
        return frames;
    }
};

// Absolute frames at which the probe module received note-ons, given the
// block length and the frame the recording started at.
struct NoteLog {
    std::vector<long> onsets;
    void collect(long blockStart, size_t from) {
        for (size_t i = from; i < ProbeInstrument::received.size(); ++i) {
            const auto& r = ProbeInstrument::received[i];
            if ((r.data[0] & 0xF0) == 0x90 && r.data[2] != 0) onsets.push_back(blockStart + r.deltaFrames);
        }
    }
};

// Demonstration step k at the project's written tempo, in its own frames.
VstInt32 demoStep(int k, double writtenBpm) {
    return static_cast<VstInt32>(std::floor(k * 60.0 / writtenBpm * 0.25 * 44100.0));
}

}  // namespace

TEST(DemonstrationTiming, LastsTheSameTimeAtEverySampleRate) {
    for (double rate : {44100.0, 96000.0, 8000.0, 192000.0}) {
        Engine e;
        e.host.time.sampleRate = rate;
        addProbeTrack(*e.effect);
        auto& demo = e.effect->project()->demoEvents;
        demo.push_back(midiEvent(0, 0x90, 60, 100));
        demo.push_back(midiEvent(2 * 44100, 0x80, 60, 0));  // two seconds in
        e.startDemonstration();
        const long frames = e.playToEnd(256, static_cast<long>(10 * rate));
        EXPECT_NEAR(frames / rate, 2.0, 512.0 / rate) << rate;
    }
}

TEST(DemonstrationTiming, FollowsTheTempoInForceAgainstTheWrittenTempo) {
    Engine e;
    addProbeTrack(*e.effect);
    e.effect->project()->writtenTempoBpm = 130.0f;
    e.effect->projectTempo = 65.0f;  // a program's tempo: half the written one
    auto& demo = e.effect->project()->demoEvents;
    demo.push_back(midiEvent(0, 0x90, 60, 100));
    demo.push_back(midiEvent(44100, 0x80, 60, 0));
    e.startDemonstration();
    EXPECT_NEAR(e.playToEnd(256, 10 * 44100) / 44100.0, 2.0, 512.0 / 44100.0);
}

TEST(DemonstrationTiming, OwnClockStartsWithTheDemonstrationOnStepZero) {
    Engine e;
    addProbeTrack(*e.effect);
    e.effect->project()->demoEvents.push_back(midiEvent(0, 0x90, 60, 100));
    e.effect->project()->demoEvents.push_back(midiEvent(demoStep(4, 120.0), 0x90, 62, 100));
    e.effect->project()->demoEvents.push_back(midiEvent(demoStep(64, 120.0), 0x80, 62, 0));
    std::vector<float> l, r;
    for (int i = 0; i < 7; ++i) renderBlock(*e.effect, 333, l, r);  // the own clock is mid-step
    e.startDemonstration();
    NoteLog log;
    std::vector<long> marks;
    for (long start = 0; start < 8 * 5513; start += 333) {
        const size_t from = ProbeInstrument::received.size();
        renderBlock(*e.effect, 333, l, r);
        log.collect(start, from);
        for (int i = 0; i < e.effect->stepMarkCount(); ++i) marks.push_back(start + e.effect->stepMark(i));
    }
    ASSERT_EQ(log.onsets.size(), 2u);
    ASSERT_GE(marks.size(), 5u);
    EXPECT_EQ(marks[0], 0);
    EXPECT_EQ(log.onsets[0], 0);
    EXPECT_NEAR(static_cast<double>(log.onsets[1]), static_cast<double>(marks[4]), 1.0);
}

TEST(DemonstrationTiming, UnderTheHostsTempoNotesStayOnTheHostsSteps) {
    for (double hostTempo : {100.0, 130.0, 171.0}) {
        Engine e;
        addProbeTrack(*e.effect);
        e.effect->project()->writtenTempoBpm = 130.0f;
        e.effect->projectTempo = 130.0f;
        auto& demo = e.effect->project()->demoEvents;
        const int steps[] = {0, 1, 4, 16, 33, 64, 128};
        for (int k : steps) demo.push_back(midiEvent(demoStep(k, 130.0), 0x90, 60, 100));
        demo.push_back(midiEvent(demoStep(130, 130.0), 0x80, 60, 0));
        e.host.time.tempo = hostTempo;
        e.host.time.flags |= kVstTransportPlaying;
        e.host.time.samplePos = 12345.0;  // the host's transport is mid-step
        std::vector<float> l, r;
        renderBlock(*e.effect, 256, l, r);
        e.startDemonstration();
        NoteLog log;
        std::vector<long> marks;  // host positions of step boundaries
        for (int block = 0; block < 4000 && (block == 0 || e.effect->demonstrationPlaying()); ++block) {
            const long start = static_cast<long>(e.host.time.samplePos);
            const size_t from = ProbeInstrument::received.size();
            renderBlock(*e.effect, 256, l, r);
            log.collect(start, from);
            for (int i = 0; i < e.effect->stepMarkCount(); ++i) marks.push_back(start + e.effect->stepMark(i));
        }
        ASSERT_EQ(log.onsets.size(), std::size(steps)) << hostTempo;
        // The performance starts on the first boundary after the request and
        // each note lands on the boundary of its step.
        const auto first = std::lower_bound(marks.begin(), marks.end(), log.onsets[0]);
        ASSERT_NE(first, marks.end());
        EXPECT_EQ(*first, log.onsets[0]) << hostTempo;
        const size_t base = static_cast<size_t>(first - marks.begin());
        // Demonstration times are whole frames at the written tempo: each is
        // up to one of those frames early, and lands on a whole frame here.
        const double tolerance = 1.0 + 130.0 / hostTempo;
        for (size_t i = 0; i < std::size(steps); ++i) {
            ASSERT_LT(base + static_cast<size_t>(steps[i]), marks.size());
            EXPECT_NEAR(static_cast<double>(log.onsets[i]), static_cast<double>(marks[base + static_cast<size_t>(steps[i])]),
                        tolerance)
                << "host tempo " << hostTempo << " step " << steps[i];
        }
    }
}

TEST(DemonstrationTiming, BuiltInDemonstrationLastsAsLongAt96kHzAsAt44kHz) {
    double seconds[2] = {0, 0};
    int i = 0;
    for (double rate : {44100.0, 96000.0}) {
        Engine e;
        e.host.time.sampleRate = rate;
        ASSERT_TRUE(loadBuiltInProject(*e.effect, "HOUSEGROOVE"));
        e.startDemonstration();
        seconds[i++] = e.playToEnd(1024, static_cast<long>(120 * rate)) / rate;
        ::testing::Test::RecordProperty(rate == 44100.0 ? "demo_seconds_44100" : "demo_seconds_96000",
                                        std::to_string(seconds[i - 1]));
    }
    EXPECT_GT(seconds[0], 5.0);
    EXPECT_NEAR(seconds[1], seconds[0], 2048.0 / 44100.0);
}
