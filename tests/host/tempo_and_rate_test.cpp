// Tempo, sample rate and position from every way in: program chunks,
// project text, the main object's own values and the host's time
// information. Bad values are repaired or ignored; the step length stays
// finite and the block returns.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "host/program_chunk.h"
#include "project/project.h"
#include "project/project_loader.h"
#include "tests/host/test_host_fixture.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Engine : TestEngine {
    // Step length in frames at a tempo and rate.
    static double stepFrames(double bpm, double rate) { return 60.0 / bpm * 0.25 * rate; }
};

void loadText(Effect& effect, const std::string& text) {
    loadProject(effect, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace

TEST(TempoRepair, ChunkFieldsOutOfRangeAreRepairedOneByOneAndTheChunkIsKept) {
    std::vector<ProgramRecord> records(24);
    records[0].tempo = kNaN;
    records[1].tempo = 1e30f;
    records[2].tempo = -5.0f;
    records[3].tempo = 1000.0f;
    records[4].tempo = 97.5f;
    records[5].tempo = -kInf;
    records[6].muteKey = kNaN;
    records[6].playController = 1e9f;
    records[6].liveTransposition = -kInf;
    records[6].trackPan[2] = kNaN;
    records[6].trackLevel[3] = 500.0f;
    records[6].playSwitch = kNaN;
    const std::vector<uint8_t> bank = buildProgramChunk(records.data(), 24, false);
    std::vector<ProgramRecord> back;
    ASSERT_TRUE(parseProgramChunk(bank.data(), bank.size(), false, back, 24));
    EXPECT_FLOAT_EQ(back[0].tempo, 120.0f);
    EXPECT_FLOAT_EQ(back[1].tempo, 240.0f);
    EXPECT_FLOAT_EQ(back[2].tempo, 40.0f);
    EXPECT_FLOAT_EQ(back[3].tempo, 240.0f);
    EXPECT_FLOAT_EQ(back[4].tempo, 97.5f);  // in range: kept exactly
    EXPECT_FLOAT_EQ(back[5].tempo, 120.0f);
    EXPECT_FLOAT_EQ(back[6].muteKey, 48.0f);
    EXPECT_FLOAT_EQ(back[6].playController, 127.0f);
    EXPECT_FLOAT_EQ(back[6].liveTransposition, 0.0f);
    EXPECT_FLOAT_EQ(back[6].trackPan[2], 0.0f);
    EXPECT_FLOAT_EQ(back[6].trackLevel[3], 127.0f);
    EXPECT_FLOAT_EQ(back[6].playSwitch, 1.0f);
    // The record of a single program is repaired the same way.
    const std::vector<uint8_t> one = buildProgramChunk(&records[1], 1, true);
    std::vector<ProgramRecord> single;
    ASSERT_TRUE(parseProgramChunk(one.data(), one.size(), true, single, 1));
    EXPECT_FLOAT_EQ(single[0].tempo, 240.0f);
}

TEST(TempoRepair, BankChunkWithBadTempoIsAcceptedAndPlaysAtTheRepairedTempo) {
    Engine e;
    std::vector<ProgramRecord> records(24);
    records[0].tempo = kNaN;
    records[1].tempo = 1e30f;
    const std::vector<uint8_t> bank = buildProgramChunk(records.data(), 24, false);
    AEffect* a = e.effect->getAeffect();
    std::vector<uint8_t> copy = bank;
    EXPECT_NE(a->dispatcher(a, effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data(), 0.0f), 0);
    e.host.time.flags &= ~kVstTempoValid;  // the project tempo rules
    for (int program : {0, 1}) {
        a->dispatcher(a, effSetProgram, 0, program, nullptr, 0.0f);
        e.render(512);
        e.render(512);
        EXPECT_TRUE(std::isfinite(e.effect->projectTempo.load()));
        EXPECT_DOUBLE_EQ(e.effect->samplesPerStep(), Engine::stepFrames(program == 0 ? 120.0 : 240.0, 44100.0));
        EXPECT_TRUE(e.outputFinite());
    }
}

TEST(TempoRepair, ProjectTempoLineIsLimitedAndKeptAsTheWrittenTempo) {
    Engine e;
    const struct {
        const char* text;
        float expected;
    } cases[] = {{"TEMPO;130.000000;\n", 130.0f},
                 {"TEMPO;10;\n", 40.0f},
                 {"TEMPO;-300;\n", 40.0f},
                 {"TEMPO;999999999999999999999999999999999999999999;\n", 240.0f},
                 {"TEMPO;0;\n", 40.0f},
                 {"TEMPO;240.5;\n", 240.0f}};
    for (const auto& c : cases) {
        loadText(*e.effect, c.text);
        EXPECT_FLOAT_EQ(e.effect->projectTempo.load(), c.expected) << c.text;
        EXPECT_FLOAT_EQ(e.effect->project()->writtenTempoBpm, c.expected) << c.text;
    }
}

TEST(TempoRepair, BadTempoInTheMainObjectNeverStopsTheBlock) {
    Engine e;
    addProbeTrack(*e.effect);
    e.host.time.flags &= ~kVstTempoValid;
    for (float bad : {kNaN, kInf, -kInf, 0.0f, -120.0f, 1e30f, 1e-30f}) {
        e.effect->projectTempo = bad;
        e.render(1024);
        const double sps = e.effect->samplesPerStep();
        EXPECT_TRUE(std::isfinite(sps)) << bad;
        EXPECT_GE(sps, Engine::stepFrames(240.0, 44100.0)) << bad;
        EXPECT_LE(sps, Engine::stepFrames(40.0, 44100.0)) << bad;
        EXPECT_TRUE(e.outputFinite()) << bad;
    }
}

TEST(TempoRepair, HostTempoOutside1To999CountsAsMissing) {
    Engine e;
    e.effect->projectTempo = 130.0f;
    e.host.time.flags |= kVstTransportPlaying | kVstTempoValid;
    const double projectStep = Engine::stepFrames(130.0, 44100.0);
    const struct {
        double tempo;
        double expectedStep;
    } cases[] = {{120.0, Engine::stepFrames(120.0, 44100.0)},
                 {999.0, Engine::stepFrames(999.0, 44100.0)},
                 {1.0, Engine::stepFrames(1.0, 44100.0)},
                 {0.5, projectStep},
                 {1000.0, projectStep},
                 {1e300, projectStep},
                 {-120.0, projectStep},
                 {std::numeric_limits<double>::quiet_NaN(), projectStep},
                 {std::numeric_limits<double>::infinity(), projectStep}};
    for (const auto& c : cases) {
        e.host.time.tempo = c.tempo;
        e.render(256);
        EXPECT_DOUBLE_EQ(e.effect->samplesPerStep(), c.expectedStep) << c.tempo;
        EXPECT_TRUE(std::isfinite(e.effect->moduleTimeInfo()->tempo)) << c.tempo;
    }
}

TEST(SampleRateRepair, UnusableHostRatesAreIgnoredAndSetSampleRateStandsIn) {
    Engine e;
    addProbeTrack(*e.effect);
    AEffect* a = e.effect->getAeffect();
    for (double bad : {0.0, -44100.0, 1e30, 7999.0, 500000.0, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        e.host.time.sampleRate = bad;
        e.render(256);
        EXPECT_EQ(e.effect->moduleSampleRate(), 44100) << bad;
        EXPECT_DOUBLE_EQ(e.effect->samplesPerStep(), Engine::stepFrames(120.0, 44100.0)) << bad;
        EXPECT_TRUE(e.outputFinite()) << bad;
    }
    // The dispatcher's rate is used while the host's stays unusable; its own
    // bad values are ignored.
    a->dispatcher(a, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    a->dispatcher(a, effSetSampleRate, 0, 0, nullptr, kNaN);
    a->dispatcher(a, effSetSampleRate, 0, 0, nullptr, 0.0f);
    a->dispatcher(a, effSetSampleRate, 0, 0, nullptr, 1e30f);
    e.host.time.sampleRate = 0.0;
    e.render(256);
    EXPECT_EQ(e.effect->moduleSampleRate(), 48000);
    EXPECT_DOUBLE_EQ(e.effect->samplesPerStep(), Engine::stepFrames(120.0, 48000.0));
    // A usable host rate wins again, down to 8000 and up to 192000.
    for (double good : {8000.0, 192000.0, 96000.0}) {
        e.host.time.sampleRate = good;
        e.render(256);
        EXPECT_EQ(e.effect->moduleSampleRate(), static_cast<int>(good));
        EXPECT_DOUBLE_EQ(e.effect->samplesPerStep(), Engine::stepFrames(120.0, good));
    }
}

TEST(PositionRepair, GarbageHostPositionsKeepTheStepClockBounded) {
    Engine e;
    addProbeTrack(*e.effect);
    e.host.time.flags |= kVstTransportPlaying;
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300,
                       std::numeric_limits<double>::infinity(), 4.0e15}) {
        e.host.time.samplePos = bad;
        e.render(512);
        EXPECT_TRUE(e.outputFinite()) << bad;
        EXPECT_LE(e.effect->stepMarkCount(), 1) << bad;
    }
}

// Under the host's clock and under the plug-in's own (host stopped, play
// switch on) alike. The own clock lays the grid from its position at the
// block's start, as the host's position is read: advancing it first would
// move every boundary a block early, by an amount that depends on the host's
// block size.
TEST(StepClock, EveryBoundaryTicksOnceWhateverTheBlockSize) {
    for (bool ownClock : {false, true})
    for (double tempo : {171.0, 97.3}) {
        for (int block : {1, 7, 64, 256, 4096}) {
            Engine e;
            if (!ownClock) e.host.time.flags |= kVstTransportPlaying;
            e.host.time.tempo = tempo;
            const double step = Engine::stepFrames(tempo, 44100.0);
            const long total = static_cast<long>((block < 64 ? 6 : 40) * step);
            std::vector<long> marks;
            long start = 0;
            for (; start < total; start += block) {
                e.render(block);
                for (int i = 0; i < e.effect->stepMarkCount(); ++i) marks.push_back(start + e.effect->stepMark(i));
            }
            // One mark per boundary, on the integer part of its exact
            // position: a boundary ticked twice would shift every later mark
            // by a whole step.
            size_t expected = 0;
            while (std::floor(static_cast<double>(expected) * step) < static_cast<double>(start)) ++expected;
            ASSERT_EQ(marks.size(), expected) << tempo << " " << block << " own clock " << ownClock;
            for (size_t k = 0; k < marks.size(); ++k)
                ASSERT_EQ(marks[k], static_cast<long>(std::floor(static_cast<double>(k) * step)))
                    << "tempo " << tempo << " block " << block << " step " << k << " own clock " << ownClock;
        }
    }
}
