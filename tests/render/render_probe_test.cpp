// talvex-render against the probe instrument: what reaches a plug-in, at
// which frame, measured from what the plug-in renders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/render/fixture/render_probe_plugin.h"
#include "tests/render/render_test_support.h"
#include "tools/talvex_render/fx_file_reader.h"
#include "vst/aeffectx.h"

using namespace render_test;

namespace {

const std::string kProbe = TALVEX_RENDER_PROBE_PATH;

struct Render {
    RunResult run;
    Wav wav;
};

// Every output of the probe is written: its fields live on outputs 2 and 3.
Render render(std::vector<std::string> arguments, const std::string& name = "out.wav", bool allOutputs = true) {
    Render result;
    std::string output = tempPath(name);
    std::remove(output.c_str());
    if (allOutputs) arguments.insert(arguments.begin(), "--all-outputs");
    arguments.insert(arguments.begin(), {kProbe, "-o", output, "--no-progress"});
    result.run = runRenderer(arguments);
    result.wav = readWav(output);
    return result;
}

Render renderEvents(const std::string& events, std::vector<std::string> arguments) {
    std::string path = tempPath("events.txt");
    writeText(path, events);
    arguments.insert(arguments.begin(), {"-e", path});
    return render(arguments);
}

// Value of a per-block field (output 2 or 3) of the block starting at frame.
float field(const Render& r, int output, int64_t blockStart, int index) {
    return r.wav.samples.at(static_cast<size_t>(output)).at(static_cast<size_t>(blockStart + index));
}

TEST(RenderProbe, EventsArriveOnTheirFramesWhateverTheBlockSize) {
    const std::string events =
        "0 note_on 0 60 100\n"
        "1 note_off 0 60 0\n"
        "511 cc 3 1 64\n"
        "512 program 0 9\n"
        "513 pitch_bend 2 8192\n"
        "1023 pressure 0 5\n"
        "1500 poly_pressure 0 61 7\n"
        "1501 note_on 1 62 0\n"
        "1700 raw F0 01 02 03 F7\n";
    const std::vector<int64_t> frames = {0, 1, 511, 512, 513, 1023, 1500, 1501, 1700};
    std::vector<float> reference0, reference1;
    for (const char* block : {"512", "64", "100", "4096", "1"}) {
        Render r = renderEvents(events, {"-b", block, "-d", "2000"});
        ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
        ASSERT_EQ(r.wav.frames, 2000);
        EXPECT_EQ(nonZeroFrames(r.wav.samples[0]), frames) << "block " << block;
        EXPECT_EQ(r.wav.samples[0][0], probe::kNoteOn);
        EXPECT_EQ(r.wav.samples[1][0], 60 / 128.0f + 100 / 16384.0f);
        EXPECT_EQ(r.wav.samples[0][1], probe::kNoteOff);
        EXPECT_EQ(r.wav.samples[0][511], static_cast<float>(probe::kControl) + 3 / 16.0f);
        EXPECT_EQ(r.wav.samples[0][512], probe::kProgramChange);
        EXPECT_EQ(r.wav.samples[1][512], 9 / 128.0f);
        EXPECT_EQ(r.wav.samples[1][513], 0 / 128.0f + 64 / 16384.0f + 0.0f);  // 8192: LSB 0, MSB 64
        EXPECT_EQ(r.wav.samples[0][1023], probe::kChannelPressure);
        EXPECT_EQ(r.wav.samples[0][1500], probe::kPolyPressure);
        EXPECT_EQ(r.wav.samples[0][1501], static_cast<float>(probe::kNoteOff) + 1 / 16.0f);  // velocity 0 is a note-off
        EXPECT_EQ(r.wav.samples[0][1700], probe::kSysex);
        EXPECT_EQ(r.wav.samples[1][1700], 5 / 1024.0f);
        if (reference0.empty()) {
            reference0 = r.wav.samples[0];
            reference1 = r.wav.samples[1];
        } else {
            EXPECT_EQ(r.wav.samples[0], reference0);
            EXPECT_EQ(r.wav.samples[1], reference1);
        }
    }
}

TEST(RenderProbe, TimeInfoFollowsTheTransportAcrossBlocks) {
    Render r = render({"-r", "48000", "-b", "480", "-d", "48000", "--tempo", "150", "--time-sig", "3/4"});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    for (int64_t start = 0; start < 48000; start += 480) {
        const double ppq = static_cast<double>(start) / 48000.0 * 150.0 / 60.0;
        ASSERT_EQ(field(r, 2, start, probe::kTimeSamplePos), static_cast<float>(start));
        ASSERT_FLOAT_EQ(field(r, 2, start, probe::kTimePpqPos), static_cast<float>(ppq));
        ASSERT_FLOAT_EQ(field(r, 2, start, probe::kTimeBarStart), static_cast<float>(3.0 * std::floor(ppq / 3.0 + 1e-9)));
        ASSERT_EQ(field(r, 2, start, probe::kTimeTempo), 150.0f);
        ASSERT_EQ(field(r, 2, start, probe::kTimeSigNumerator), 3.0f);
        ASSERT_EQ(field(r, 2, start, probe::kTimeSigDenominator), 4.0f);
        ASSERT_EQ(field(r, 2, start, probe::kTimeSampleRate), 48000.0f);
        ASSERT_FLOAT_EQ(field(r, 2, start, probe::kTimeNanosMs), static_cast<float>(start / 48.0));
        const int flags = static_cast<int>(field(r, 2, start, probe::kTimeFlags));
        ASSERT_TRUE(flags & kVstTransportPlaying);
        ASSERT_EQ((flags & kVstTransportChanged) != 0, start == 0);
        // 150 BPM: a MIDI clock every 800 frames.
        ASSERT_EQ(field(r, 2, start, probe::kTimeSamplesToNextClock), static_cast<float>((800 - start % 800) % 800));
    }
}

TEST(RenderProbe, TransportStopsAndStartsAtBlockBoundaries) {
    Render r = render({"-r", "44100", "-b", "441", "-d", "1s", "--stop-at", "0.25s", "--play-at", "600ms"});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    // 0.25 s is frame 11025, exactly a block start; 0.6 s is 26460, likewise.
    for (int64_t start = 0; start < 44100; start += 441) {
        const int flags = static_cast<int>(field(r, 2, start, probe::kTimeFlags));
        const bool playing = start < 11025 || start >= 26460;
        ASSERT_EQ((flags & kVstTransportPlaying) != 0, playing) << start;
        ASSERT_EQ((flags & kVstTransportChanged) != 0, start == 0 || start == 11025 || start == 26460) << start;
        const float expected = static_cast<float>(start < 11025 ? start : start < 26460 ? 11025 : start - 15435);
        ASSERT_EQ(field(r, 2, start, probe::kTimeSamplePos), expected) << start;
    }
    Render stopped = render({"-b", "100", "-d", "1000", "--stopped", "--transport", "play@250,locate@250=4"});
    ASSERT_EQ(stopped.run.exitCode, 0) << stopped.run.log;
    EXPECT_EQ(static_cast<int>(field(stopped, 2, 200, probe::kTimeFlags)) & kVstTransportPlaying, 0);
    EXPECT_NE(static_cast<int>(field(stopped, 2, 300, probe::kTimeFlags)) & kVstTransportPlaying, 0);
    EXPECT_EQ(field(stopped, 2, 200, probe::kTimeSamplePos), 0.0f);
    EXPECT_EQ(field(stopped, 2, 300, probe::kTimePpqPos), 4.0f);  // located at the block after frame 250
    EXPECT_EQ(field(stopped, 2, 300, probe::kTimeSamplePos), 88200.0f);  // 4 quarters at 120 BPM
}

TEST(RenderProbe, NoTimeInfoAndHostIdentity) {
    Render none = render({"-b", "64", "-d", "256", "--no-time-info"});
    ASSERT_EQ(none.run.exitCode, 0) << none.run.log;
    for (int64_t start : {0, 64, 128, 192}) EXPECT_EQ(field(none, 2, start, probe::kTimeFlags), -1.0f);
    EXPECT_EQ(field(none, 3, 0, probe::kStateHostVersionLow), 2400.0f);
    EXPECT_EQ(field(none, 3, 0, probe::kStateHostVersionHigh), 0.0f);

    Render standalone = render({"-b", "64", "-d", "64", "--standalone-host"});
    ASSERT_EQ(standalone.run.exitCode, 0) << standalone.run.log;
    EXPECT_EQ(field(standalone, 3, 0, probe::kStateHostVersionHigh), static_cast<float>(('K' << 8) | 'A'));
    EXPECT_EQ(field(standalone, 3, 0, probe::kStateHostVersionLow), static_cast<float>(('V' << 8) | 'O'));
}

TEST(RenderProbe, SampleRateAndBlockSizeReachThePlugin) {
    Render r = render({"-r", "96000", "-b", "256", "-d", "1000"});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    EXPECT_EQ(r.wav.sampleRate, 96000);
    EXPECT_EQ(r.wav.frames, 1000);
    EXPECT_EQ(field(r, 3, 0, probe::kStateSetSampleRate), 96000.0f);
    EXPECT_EQ(field(r, 3, 0, probe::kStateSetBlockSize), 256.0f);
    EXPECT_EQ(field(r, 3, 0, probe::kStateHostSampleRate), 96000.0f);
    EXPECT_EQ(field(r, 3, 0, probe::kStateHostBlockSize), 256.0f);
    EXPECT_EQ(field(r, 3, 0, probe::kStateResumes), 1.0f);
    EXPECT_EQ(field(r, 3, 0, probe::kStateBlockFrames), 256.0f);
    EXPECT_EQ(field(r, 3, 768, probe::kStateBlockFrames), 232.0f);  // the last block is what is left
    EXPECT_EQ(r.wav.channels, probe::kOutputs);
    Render stereo = render({"-d", "10"}, "stereo.wav", false);
    EXPECT_EQ(stereo.wav.channels, 2);
}

TEST(RenderProbe, AutomationCallsAreRecordedWithTheirBlock) {
    std::string log = tempPath("automation.txt");
    Render r = renderEvents("1000 cc 0 7 100\n3000 cc 5 10 127\n3001 cc 0 11 5\n",
                            {"-b", "512", "-d", "4000", "--automation-log", log});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    char expected[200];
    std::snprintf(expected, sizeof(expected), "# frame parameter value\n512 0 %.9g\n2560 1 1\n",
                  static_cast<double>(100 / 127.0f));
    EXPECT_EQ(text.str(), expected);
}

TEST(RenderProbe, ProgramParametersAndVendorCalls) {
    Render r = render({"-b", "512", "-d", "2048", "--program", "2", "--param", "1=0.75", "--vendor-specific",
                       "Test,42,0.5@1000", "--vendor-specific", "0x10,7@0", "-v"});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    EXPECT_EQ(field(r, 3, 0, probe::kStateProgram), 2.0f);
    EXPECT_EQ(field(r, 3, 0, probe::kStateParameter0), 0.25f);  // program 2's own value
    EXPECT_EQ(field(r, 3, 0, probe::kStateParameter1), 0.75f);
    // The call due at 1000 goes before the block at 1024; the one at 0 first.
    EXPECT_EQ(field(r, 3, 512, probe::kStateVendorCalls), 1.0f);
    EXPECT_EQ(field(r, 3, 512, probe::kStateVendorValue), 7.0f);
    EXPECT_EQ(field(r, 3, 1024, probe::kStateVendorCalls), 2.0f);
    EXPECT_EQ(field(r, 3, 1024, probe::kStateVendorValue), 42.0f);
    EXPECT_NE(r.run.log.find("effVendorSpecific(1415934836, 42, 0.5) returned 1042"), std::string::npos) << r.run.log;

    Render bad = render({"-d", "10", "--program", "4"});
    EXPECT_EQ(bad.run.exitCode, 1);
    Render badParam = render({"-d", "10", "--param", "2=0.5"});
    EXPECT_EQ(badParam.run.exitCode, 1);
}

TEST(RenderProbe, FinalStateNamesTheProgramAndEveryParameter) {
    std::string state = tempPath("final-state.txt");
    Render r = render({"-d", "512", "--program", "2", "--param", "1=0.75", "--final-state", state});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    std::ifstream in(state);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u + probe::kParameters);
    EXPECT_EQ(lines[0], "program 2");
    EXPECT_EQ(lines[1], "program-name Probe 2");
    EXPECT_EQ(lines[2].rfind("parameter 0 0.25 ", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("parameter 1 0.75 ", 0), 0u) << lines[3];
}

TEST(RenderProbe, ParameterEventsApplyBeforeTheirBlock) {
    Render r = renderEvents("700 param 0 0.375\n", {"-b", "256", "-d", "1024"});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    EXPECT_EQ(field(r, 3, 256, probe::kStateParameter0), 0.0f);
    EXPECT_EQ(field(r, 3, 512, probe::kStateParameter0), 0.375f);  // the block holding frame 700
}

std::vector<uint8_t> probeProgramChunk(float p0, float p1, const char* name) {
    std::vector<uint8_t> chunk = {'T', 'R', 'P', 'P'};
    chunk.resize(4 + 8 + 24, 0);
    std::memcpy(chunk.data() + 4, &p0, 4);
    std::memcpy(chunk.data() + 8, &p1, 4);
    std::strncpy(reinterpret_cast<char*>(chunk.data() + 12), name, 23);
    return chunk;
}

TEST(RenderProbe, ChunkFilesOfEveryForm) {
    std::vector<uint8_t> program = probeProgramChunk(0.625f, 0.125f, "From file");
    std::string fxp = tempPath("program.fxp");
    writeBytes(fxp, makeFxChunkFile(false, probe::kUniqueId, 1, 2, "From file", program.data(), program.size()));
    Render r = render({"-d", "64", "--chunk", fxp});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    EXPECT_EQ(field(r, 3, 0, probe::kStateParameter0), 0.625f);
    EXPECT_EQ(field(r, 3, 0, probe::kStateParameter1), 0.125f);

    // A raw program chunk, and a bank whose program 3 is then selected.
    std::string raw = tempPath("program.chunk");
    writeBytes(raw, program);
    r = render({"-d", "64", "--chunk", raw, "--chunk-type", "program"});
    EXPECT_EQ(field(r, 3, 0, probe::kStateParameter0), 0.625f);
    std::vector<uint8_t> bank = {'T', 'R', 'P', 'B'};
    for (int p = 0; p < probe::kPrograms; ++p) {
        std::vector<uint8_t> record = probeProgramChunk(0.0625f * p, 1.0f, "Bank");
        bank.insert(bank.end(), record.begin() + 4, record.end());
    }
    std::string fxb = tempPath("bank.fxb");
    writeBytes(fxb, makeFxChunkFile(true, probe::kUniqueId, 1, 4, "", bank.data(), bank.size()));
    r = render({"-d", "64", "--chunk", fxb, "--program", "3"});
    EXPECT_EQ(field(r, 3, 0, probe::kStateParameter0), 0.1875f);
    EXPECT_EQ(field(r, 3, 0, probe::kStateParameter1), 1.0f);

    // The plug-in's own bank saved after a render loads back byte for byte.
    std::string saved = tempPath("saved.chunk");
    r = render({"-d", "64", "--chunk", fxb, "--save-chunk", saved});
    EXPECT_EQ(readBytes(saved), bank);

    // Another plug-in's file is refused unless forced.
    std::string foreign = tempPath("foreign.fxp");
    writeBytes(foreign, makeFxChunkFile(false, 0x12345678, 1, 2, "x", program.data(), program.size()));
    r = render({"-d", "64", "--chunk", foreign});
    EXPECT_EQ(r.run.exitCode, 2);
    EXPECT_NE(r.run.log.find("--force-chunk"), std::string::npos);
    r = render({"-d", "64", "--chunk", foreign, "--force-chunk"});
    EXPECT_EQ(r.run.exitCode, 0);
    EXPECT_EQ(field(r, 3, 0, probe::kStateParameter0), 0.625f);
}

TEST(RenderProbe, SetUpOptionsApplyInTheOrderGiven) {
    // A parameter belongs to the program in force when it is set: before
    // --program it lands in program 0, after it in program 2.
    Render before = render({"-d", "64", "--param", "0=0.375", "--program", "2"});
    ASSERT_EQ(before.run.exitCode, 0) << before.run.log;
    EXPECT_EQ(field(before, 3, 0, probe::kStateParameter0), 0.25f);  // program 2's own value
    Render after = render({"-d", "64", "--program", "2", "--param", "0=0.375"});
    EXPECT_EQ(field(after, 3, 0, probe::kStateParameter0), 0.375f);

    // A chunk replaces a parameter set before it and keeps one set after it.
    std::vector<uint8_t> program = probeProgramChunk(0.625f, 0.125f, "Ordered");
    std::string fxp = tempPath("ordered.fxp");
    writeBytes(fxp, makeFxChunkFile(false, probe::kUniqueId, 1, 2, "Ordered", program.data(), program.size()));
    Render chunkLast = render({"-d", "64", "--param", "1=0.75", "--chunk", fxp});
    EXPECT_EQ(field(chunkLast, 3, 0, probe::kStateParameter1), 0.125f);
    Render chunkFirst = render({"-d", "64", "--chunk", fxp, "--param", "1=0.75"});
    EXPECT_EQ(field(chunkFirst, 3, 0, probe::kStateParameter1), 0.75f);

    // Two programs in a row: the last one given is in force.
    Render twice = render({"-d", "64", "--program", "3", "--program", "1"});
    EXPECT_EQ(field(twice, 3, 0, probe::kStateProgram), 1.0f);
}

TEST(RenderProbe, MidiFilesSetTheTimelineAndTheTempo) {
    MidiFileBuilder smf(1, 480);
    smf.beginTrack();
    smf.tempo(0, 1000000);  // 60 BPM
    smf.bytes({0x00, 0xff, 0x58, 0x04, 6, 3, 24, 8});  // 6/8
    smf.endOfTrack(0);
    smf.beginTrack();
    smf.delta(480);
    smf.bytes({0x90, 64, 99});  // one second
    smf.delta(240);
    smf.bytes({64, 0});  // running status, 1.5 s
    smf.endOfTrack(0);
    std::string path = tempPath("song.mid");
    writeBytes(path, smf.build());
    Render r = render({"-m", path, "-b", "1000", "--tail", "0.5s"});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    EXPECT_EQ(nonZeroFrames(r.wav.samples[0]), (std::vector<int64_t>{44100, 66150}));
    EXPECT_EQ(r.wav.frames, 66151 + 22050);  // to the last event, plus the tail
    EXPECT_EQ(field(r, 2, 0, probe::kTimeTempo), 60.0f);
    EXPECT_EQ(field(r, 2, 0, probe::kTimeSigNumerator), 6.0f);
    EXPECT_EQ(field(r, 2, 0, probe::kTimeSigDenominator), 8.0f);
    Render forced = render({"-m", path, "--tempo", "90", "-d", "10"});
    EXPECT_EQ(field(forced, 2, 0, probe::kTimeTempo), 90.0f);
}

TEST(RenderProbe, ResourcesOfTheListAreFound) {
    Render r = render({"-d", "64"});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    std::vector<uint8_t> bytes = readBytes(TALVEX_RENDER_PROBE_RESOURCE);
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    EXPECT_EQ(field(r, 3, 0, probe::kStateResourceBytes), static_cast<float>(bytes.size()));
    EXPECT_EQ(field(r, 3, 0, probe::kStateResourceSum), static_cast<float>(sum));
}

TEST(RenderProbe, SixteenBitOutput) {
    Render r = renderEvents("5 note_on 0 60 64\n", {"-d", "10", "--pcm16"});
    ASSERT_EQ(r.run.exitCode, 0) << r.run.log;
    EXPECT_EQ(r.wav.format & 0xffff, 0x0002);  // SF_FORMAT_PCM_16
    // The note-on click (1.0) is full scale; its data (60/128 + 64/16384) rounds to 16 bits.
    EXPECT_EQ(r.wav.samples[0][5], 32767 / 32768.0f);
    EXPECT_NEAR(r.wav.samples[1][5], 60 / 128.0f + 64 / 16384.0f, 1.0 / 32768.0);
}

TEST(RenderProbe, LengthComesFromDurationOrInput) {
    Render r = renderEvents("1000 note_on 0 60 1\n", {"--tail", "100"});
    EXPECT_EQ(r.wav.frames, 1101);
    r = renderEvents("1000 note_on 0 60 1\n3000 end\n", {"--tail", "0"});
    EXPECT_EQ(r.wav.frames, 3000);
    r = render({});
    EXPECT_EQ(r.run.exitCode, 1);  // nothing sets the length
    EXPECT_NE(r.run.log.find("--duration"), std::string::npos);
    // Events past the end are not sent.
    r = renderEvents("10 note_on 0 60 1\n5000 note_on 0 61 1\n", {"-d", "100"});
    EXPECT_EQ(nonZeroFrames(r.wav.samples[0]), (std::vector<int64_t>{10}));
}

}  // namespace
