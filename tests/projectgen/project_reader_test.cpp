// The description reader: what a valid description becomes, and the place
// and reason it names for every kind of fault a sound designer can make.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/program_record.h"

#include "modules/drums_params.h"
#include "tools/projectgen/ball_placement.h"
#include "tools/projectgen/default_bank.h"
#include "tools/projectgen/project_reader.h"
#include "tools/projectgen/project_writer.h"

namespace {

using projectgen::LibraryError;
using projectgen::ProjectSpec;
using projectgen::readProjectText;

// A small valid project; the fault cases replace one line of it.
const std::string kValid =
    "name: TESTSOUND\n"                                          // 1
    "tempo: 120\n"                                               // 2
    "master:\n"                                                  // 3
    "  sends:\n"                                                 // 4
    "    1: {module: KavoReverb, program: Hall, settings: {Size: 0.6, Mix: 1}}\n"  // 5
    "tracks:\n"                                                  // 6
    "  - title: Lead\n"                                          // 7
    "    instrument:\n"                                          // 8
    "      module: KavoSynthI\n"                                 // 9
    "      program: Lead\n"                                      // 10
    "      settings:\n"                                          // 11
    "        FILTER Frequency: 800 Hz\n"                         // 12
    "        OUTPUT Level: -6 dB\n"                              // 13
    "    level: 90\n"                                            // 14
    "    sends: {1: 40}\n"                                       // 15
    "    balls:\n"                                               // 16
    "      - name: Cutoff / Hall\n"                              // 17
    "        x: {module: FILTER Frequency, range: [20, 110]}\n"  // 18
    "        y: {mix: Send1 Level, range: [0, 100]}\n"           // 19
    "demo:\n"                                                    // 20
    "  - channel: 1\n"                                           // 21
    "    events:\n"                                              // 22
    "      - [0, C4, 4, 100]\n";                                 // 23

std::string withLine(int line, const std::string& replacement) {
    std::string text = kValid;
    size_t begin = 0;
    for (int i = 1; i < line; ++i) begin = text.find('\n', begin) + 1;
    const size_t end = text.find('\n', begin);
    return text.replace(begin, end - begin, replacement);
}

// The message of the fault the text holds; empty when it reads.
std::string fault(const std::string& text) {
    try {
        readProjectText(text, "t.yaml");
    } catch (const LibraryError& e) {
        return e.what();
    }
    return "";
}

TEST(ProjectReader, ValidDescriptionBecomesTheProject) {
    ProjectSpec p = readProjectText(kValid, "t.yaml");
    EXPECT_EQ(p.name, "TESTSOUND");
    EXPECT_EQ(p.tempo, 120.0f);
    ASSERT_EQ(p.tracks.size(), 1u);
    const projectgen::TrackSpec& t = p.tracks[0];
    EXPECT_EQ(t.instrument.path, "\\PluginInstruments\\KavoSynthI.dll");
    EXPECT_EQ(p.sends[0].path, "\\PluginEffects\\KavoReverb.dll");
    EXPECT_EQ(t.instrument.module->display(t.instrument.module->parameterIndex("FILTER Frequency")), "800Hz");
    EXPECT_EQ(t.sendLevel[0], 40.0f);
    EXPECT_EQ(t.sendOn[0], 1.0f);
    EXPECT_EQ(t.sendOn[1], 0.0f);
    ASSERT_EQ(t.balls.size(), 1u);
    EXPECT_EQ(t.balls[0].horizontal[0].kind, 0);
    EXPECT_EQ(t.balls[0].horizontal[0].index, 37);
    EXPECT_EQ(t.balls[0].vertical[0].kind, 1);
    EXPECT_EQ(t.balls[0].vertical[0].index, 16);
    // Note on at 0, off after four steps, on MIDI channel 1.
    ASSERT_EQ(p.demo.size(), 2u);
    EXPECT_EQ(p.demo[0].status, 0x90);
    EXPECT_EQ(p.demo[0].data1, 60);
    EXPECT_EQ(p.demo[1].status, 0x80);
    EXPECT_EQ(p.demo[1].step, 4.0);
}

TEST(ProjectReader, BallsArePlacedWhereTheirTargetsAre) {
    ProjectSpec p = readProjectText(kValid, "t.yaml");
    EXPECT_TRUE(projectgen::placeBalls(p).empty());
    // Send 1 at 40 of 127 on a 0..100 range: the ball sits at 40/127*128*128/100.
    EXPECT_NEAR(p.tracks[0].balls[0].y, 40.0 / 127.0 * 128.0 * 128.0 / 100.0, 0.01);
}

TEST(ProjectReader, RepeatsTransposeAndChordsExpandInOrder) {
    std::string text = kValid.substr(0, kValid.find("demo:\n"));
    text +=
        "demo:\n"
        "  - channel: 2\n"
        "    repeat: 3\n"
        "    every: 16\n"
        "    transpose: [0, 5]\n"
        "    events:\n"
        "      - [2, [C3, E3], 1.5, 90]\n"
        "      - [4, pedal, down]\n";
    ProjectSpec p = readProjectText(text, "t.yaml");
    ASSERT_EQ(p.demo.size(), 15u);
    const int keys[3] = {48, 53, 48};  // the shifts cycle
    for (int r = 0; r < 3; ++r) {
        const auto* e = &p.demo[static_cast<size_t>(r) * 5];
        EXPECT_EQ(e[0].step, 16.0 * r + 2.0);
        EXPECT_EQ(e[0].status, 0x91);
        EXPECT_EQ(e[0].data1, keys[r]);
        EXPECT_EQ(e[1].status, 0x81);
        EXPECT_EQ(e[1].step, 16.0 * r + 3.5);
        EXPECT_EQ(e[2].data1, keys[r] + 4);
        EXPECT_EQ(e[4].status, 0xB1);
        EXPECT_EQ(e[4].data1, 64);
        EXPECT_EQ(e[4].data2, 127);
    }
}

TEST(ProjectReader, DrumKitsPadsAndHitsBecomeTheirNotes) {
    const std::string text =
        "name: KIT\n"
        "tracks:\n"
        "  - title: Drums\n"
        "    instrument:\n"
        "      module: KavoDrums\n"
        "      program: Kit\n"
        "      pads:\n"
        "        - {name: kick, sample: Kick.wav, Level: 0.8}\n"
        "        - {name: snare, sample: Snare 1.wav, Tune: -2 st}\n"
        "    patterns:\n"
        "      - number: 0\n"
        "        hits:\n"
        "          - {pad: snare, steps: [4, 12], velocity: 100}\n"
        "          - {pad: kick, steps: [0, 4, 8], velocity: 120}\n"
        "      - number: 1\n"
        "        copy: 0\n"
        "        hits:\n"
        "          - {key: 47, steps: [15]}\n"
        "    sends: {1: 20}\n"
        "    balls:\n"
        "      - name: Room\n"
        "        x: {mix: Send1 Level, range: [0, 100]}\n"
        "demo:\n"
        "  - events:\n"
        "      - [0, C2, 1, 100]\n";
    ProjectSpec p = readProjectText(text, "t.yaml");
    const auto& notes = p.tracks[0].patterns[0].notes;
    ASSERT_EQ(notes.size(), 5u);
    // Sorted by step; hits at one step keep the order they were written in.
    EXPECT_EQ(notes[0].key, drums::kDefaultPadNotes[0]);
    EXPECT_EQ(notes[1].key, drums::kDefaultPadNotes[1]);
    EXPECT_EQ(notes[1].position, 4.0f);
    EXPECT_EQ(notes[2].key, drums::kDefaultPadNotes[0]);
    EXPECT_EQ(p.tracks[0].patterns[1].notes.size(), 6u);
    EXPECT_EQ(p.tracks[0].patterns[1].notes.back().key, 47);
    EXPECT_EQ(p.tracks[0].instrument.module->display(0), "Kick.wav");
}

struct FaultCase {
    int line;                 // the line replaced
    const char* replacement;  // what it becomes
    int reportedLine;         // where the message must point
    const char* says;         // a part of the message
};

TEST(ProjectReader, FaultsNameTheirFileLineAndReason) {
    const FaultCase cases[] = {
        {14, "    levl: 90", 14, "unknown key \"levl\" in a track"},
        {14, "    level: 190", 14, "level 190 is outside 0 to 127"},
        {14, "    level: loud", 14, "level must be a number"},
        {12, "        FILTER Frequncy: 800 Hz", 12, "has no parameter \"FILTER Frequncy\""},
        {12, "        FILTER Frequency: 800 kHz", 12, "is not a value of FILTER Frequency"},
        {13, "        FILTER Frequency: 900 Hz", 13, "is set twice"},
        {9, "      module: KavoReverb", 9, "must be an instrument"},
        {9, "      module: KavoSynthIII", 9, "no module is called"},
        {5, "    1: {module: KavoSynthI, program: X}", 5, "must be an effect"},
        {5, "    5: {module: KavoReverb, program: Hall}", 5, "unknown key \"5\""},
        {10, "      program: A program name far too long", 10, "longer than 24"},
        {7, "  - title: Le;ad", 7, "other than \";\""},
        {1, "name: lower", 1, "upper-case letters and digits"},
        {18, "        x: {module: FILTER Frequency, range: [20, 20]}", 18, "does nothing"},
        {18, "        x: {module: FILTER Frequency}", 18, "needs its range"},
        {18, "        x: {module: FILTER Frequency, range: [0, 200]}", 18, "outside 0 to 128"},
        {19, "        y: {mix: LP Freq, range: [0, 100]}", 19, "cannot be placed"},
        {19, "        y: {mix: Send9 Level, range: [0, 100]}", 19, "no parameter \"Send9 Level\""},
        // Mixer sections that are off: the ball would move nothing heard.
        {15, "    sends: {2: 40}", 19, "moves a send that is off on this track: give send 1 a level"},
        {19, "        y: {mix: Send2 Level, range: [0, 100]}", 19, "give send 2 a level"},
        {19, "        y: {mix: LP Gain, range: [0, 100]}", 19, "equaliser that is off"},
        {19, "        y: {insert1: OverDrive, range: [0, 100]}", 19, "no insert 1"},
        {19, "        y: {mix: Level, module: FILTER Q, range: [0, 100]}", 19, "names one of"},
        {17, "      - title: Cutoff", 17, "unknown key \"title\" in a ball"},
        {23, "      - [0, H4, 4, 100]", 23, "is not a key"},
        {23, "      - [0, C4, 4, 0]", 23, "velocity 0 is outside 1 to 127"},
        {23, "      - [0, C4, 4]", 23, "a note is [step, key, length, velocity]"},
        {23, "      - [0, pedal, sideways]", 23, "down or up"},
        {23, "      - [-1, C4, 4, 100]", 23, "outside 0"},
        {23, "      - [2000, C4, 4, 100]", 23, "outside 0"},
        {21, "  - channel: 17", 21, "channel 17 is outside 1 to 16"},
        {15, "    sends: {1: 40, 1: 50}", 15, "given twice"},
        {15, "    sends: [40]", 15, "must be a map"},
        {23, "      - [0, C4, 4, 100", 24, "end of sequence flow"},
        {12, "        FILTER Frequency: [800 Hz]", 12, "must be a single value"},
    };
    for (const FaultCase& c : cases) {
        const std::string message = fault(withLine(c.line, c.replacement));
        EXPECT_NE(message.find("t.yaml:" + std::to_string(c.reportedLine) + ": "), std::string::npos)
            << c.replacement << "\n  gave: " << message;
        EXPECT_NE(message.find(c.says), std::string::npos) << c.replacement << "\n  gave: " << message;
    }
}

TEST(ProjectReader, BandAndSendTargetsReadWhereTheirSectionsAreOn) {
    EXPECT_EQ(fault(withLine(19, "        y: {mix: LP Gain, range: [0, 100]}\n    eq: {low: {hz: 120, gain: 2 dB}}")), "");
    std::string bothSends = withLine(19, "        y: {mix: Send2 Level, range: [0, 100]}");
    EXPECT_EQ(fault(withLine(15, "    sends: {1: 40, 2: 10}")), "");
    EXPECT_EQ(fault(bothSends.replace(bothSends.find("{1: 40}"), 7, "{1: 40, 2: 10}")), "");
    // An equaliser switched off by its own flag counts as off.
    EXPECT_NE(fault(withLine(19, "        y: {mix: HP Gain, range: [0, 100]}\n    eq: {on: off, high: {hz: 4000, gain: 2 dB}}"))
                  .find("equaliser that is off"),
              std::string::npos);
}

TEST(ProjectReader, MissingPartsAreNamed) {
    EXPECT_NE(fault("").find("must be a map"), std::string::npos);
    EXPECT_NE(fault("name: X\n").find("has no tracks"), std::string::npos);
    EXPECT_NE(fault(kValid.substr(0, kValid.find("demo:"))).find("has no demonstration"), std::string::npos);
    EXPECT_NE(fault(withLine(9, "      modul: KavoSynthI")).find("unknown key \"modul\""), std::string::npos);
    // Five balls would lose the fifth in the plug-in.
    std::string text = kValid.substr(0, kValid.find("demo:"));
    for (int i = 0; i < 4; ++i) text += "      - name: B\n        x: {mix: Level, range: [0, 127]}\n";
    EXPECT_NE(fault(text + kValid.substr(kValid.find("demo:"))).find("at most four balls"), std::string::npos);
    // A sample the store does not hold.
    const std::string sampler = "name: S\ntracks:\n  - title: S\n    instrument:\n      module: KavoSampler\n"
                                "      program: S\n      parts: [{sample: Nothing.wav}]\ndemo: [{events: [[0, C4, 1, 100]]}]\n";
    EXPECT_NE(fault(sampler).find("t.yaml:7: the sample store holds no \"Nothing.wav\""), std::string::npos) << fault(sampler);
}

TEST(ProjectReader, DeepOrHugeTextIsRefusedNotFollowed) {
    EXPECT_NE(fault(std::string(100000, '[')), "");
    std::string text = kValid.substr(0, kValid.find("demo:"));
    text += "demo:\n  - repeat: 64\n    every: 16\n    events:\n";
    for (int i = 0; i < 200; ++i) text += "      - [" + std::to_string(i % 16) + ", [C4, E4], 1, 100]\n";
    EXPECT_NE(fault(text).find("too many events"), std::string::npos) << fault(text);
    text = kValid.substr(0, kValid.find("demo:")) + "demo:\n  - repeat: 64\n    every: 17\n    events: [[0, C4, 1, 100]]\n";
    EXPECT_NE(fault(text).find("past 64 bars"), std::string::npos) << fault(text);
}

// A ball that jumps at random and flies, and an arpeggiator in random
// order: read into the project and written as the plug-in reads them back.
TEST(ProjectReader, RandomJumpsFlightAndArpeggiatorReachTheProject) {
    std::string text = withLine(19,
                                "        y: {mix: Send1 Level, range: [0, 100]}\n"
                                "        random_rate: 4\n"
                                "        fly: {on: on, speed: 0.2, direction: 0.75}");
    const std::string sends = "    sends: {1: 40}\n";
    text.insert(text.find(sends) + sends.size(), "    arpeggiator: {mode: random, extension: 1, interval: 12, gate_time: 1}\n");
    ProjectSpec p = readProjectText(text, "t.yaml");
    ASSERT_EQ(p.tracks.size(), 1u);
    const projectgen::BallSpec& b = p.tracks[0].balls.at(0);
    EXPECT_EQ(b.randomRate, 4);
    EXPECT_EQ(b.flyOn, 1.0f);
    EXPECT_FLOAT_EQ(b.flySpeed, 0.2f);
    EXPECT_FLOAT_EQ(b.flyDirection, 0.75f);
    const auto& a = p.tracks[0].arpeggiator;
    EXPECT_EQ(a[0], 1.0f);   // on
    EXPECT_EQ(a[1], 3.0f);   // random, the fourth mode
    EXPECT_EQ(a[3], 1.0f);   // one extension
    EXPECT_EQ(a[6], 12.0f);  // an octave apart
    EXPECT_EQ(a[7], 1.0f);   // half-step gate

    projectgen::placeBalls(p);
    const std::vector<uint8_t> bytes = projectgen::writeProject(p);
    const std::string written(bytes.begin(), bytes.end());
    EXPECT_NE(written.find("PRESET_SOUND_FLY;1.0000;0.2000;0.7500;\r\n"), std::string::npos);
    const size_t ball = written.find("PRESET_SOUND_BALL;");
    ASSERT_NE(ball, std::string::npos);
    const std::string ballLine = written.substr(ball, written.find('\n', ball) - ball);
    EXPECT_EQ(ballLine.substr(ballLine.rfind(';', ballLine.size() - 3)), ";4;\r") << ballLine;
    EXPECT_NE(written.find("ARPEG_MODE;3.0000;\r\n"), std::string::npos);

    // Out-of-range movement is refused with its place and reason.
    EXPECT_NE(fault(withLine(19, "        y: {mix: Send1 Level, range: [0, 100]}\n        random_rate: 65")).find("random_rate"),
              std::string::npos);
    EXPECT_NE(fault(withLine(19, "        y: {mix: Send1 Level, range: [0, 100]}\n        fly: {speed: 1.5}")).find("fly speed"),
              std::string::npos);
    EXPECT_NE(fault(withLine(15, "    arpeggiator: {mode: sideways}")).find("arpeggiator mode"), std::string::npos);
}

TEST(ProjectReader, WrittenProjectCarriesTheDescription) {
    ProjectSpec p = readProjectText(kValid, "t.yaml");
    projectgen::placeBalls(p);
    const std::vector<uint8_t> bytes = projectgen::writeProject(p);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("TEMPO;120.000000;\r\n"), std::string::npos);
    EXPECT_NE(text.find("TITLE;Lead;\r\n"), std::string::npos);
    EXPECT_NE(text.find("PRESET_SOUND_PARAMETERNAME;Cutoff / Hall;\r\n"), std::string::npos);
    EXPECT_NE(text.find("PRESET_SOUND_PARAM_HORZ;0;37;20.0000;110.0000;0.0000;\r\n"), std::string::npos);
    EXPECT_NE(text.find("EFFECT1_LEVEL;40.0000;\r\n"), std::string::npos);
    // At 120 beats per minute a step is 5512.5 frames: the note ends at 22050.
    EXPECT_NE(text.find("22050;128;60;0;0;\r\n"), std::string::npos);
}

}  // namespace

namespace {

// Four little-endian bytes of a float, as the bank chunk stores it.
std::vector<uint8_t> le32(float v) {
    uint32_t u = 0;
    std::memcpy(&u, &v, 4);
    return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)};
}

// The play switch, tempo, mute-key switch and mute key of the default
// bank's first program, read from its bytes: they follow the record's
// project and program names.
std::vector<uint8_t> firstProgramSwitches(const ProjectSpec& p) {
    const std::vector<uint8_t> bank =
        projectgen::defaultBank({{p.name, projectgen::writeProject(p), p.muteKey, p.muteKeySwitch}});
    const std::string text(bank.begin(), bank.end());
    const size_t name = text.find(p.name);
    EXPECT_NE(name, std::string::npos);
    if (name == std::string::npos) return {};
    const size_t floats = name + kProjectNameBytes + kProgramNameBytes;
    EXPECT_LE(floats + 16, bank.size());
    if (floats + 16 > bank.size()) return {};
    return std::vector<uint8_t>(bank.begin() + static_cast<long>(floats), bank.begin() + static_cast<long>(floats) + 16);
}

std::vector<uint8_t> concat(std::initializer_list<float> values) {
    std::vector<uint8_t> out;
    for (float v : values)
        for (uint8_t b : le32(v)) out.push_back(b);
    return out;
}

TEST(ProjectReader, MuteKeyReachesTheDefaultProgramsBytes) {
    // Without one, the program has a fresh plug-in's: switch off, key 48.
    {
        ProjectSpec p = readProjectText(kValid, "t.yaml");
        projectgen::placeBalls(p);
        EXPECT_FALSE(p.muteKeyGiven);
        EXPECT_EQ(firstProgramSwitches(p), concat({1.0f, 120.0f, 0.0f, 48.0f}));
    }
    // A key alone leaves the switch off; with its switch the key gates.
    {
        ProjectSpec p = readProjectText(withLine(2, "tempo: 120\nmute_key: C1"), "t.yaml");
        projectgen::placeBalls(p);
        EXPECT_TRUE(p.muteKeyGiven);
        EXPECT_EQ(firstProgramSwitches(p), concat({1.0f, 120.0f, 0.0f, 24.0f}));
    }
    {
        ProjectSpec p = readProjectText(withLine(2, "tempo: 120\nmute_key: {key: 'F#0', switch: on}"), "t.yaml");
        projectgen::placeBalls(p);
        EXPECT_EQ(firstProgramSwitches(p), concat({1.0f, 120.0f, 1.0f, 18.0f}));
    }
    EXPECT_NE(fault(withLine(2, "mute_key: {switch: on}")).find("t.yaml:2: mute_key names its key"), std::string::npos)
        << fault(withLine(2, "mute_key: {switch: on}"));
    EXPECT_NE(fault(withLine(2, "mute_key: {key: C1, gate: on}")).find("t.yaml:2"), std::string::npos);
    EXPECT_NE(fault(withLine(2, "mute_key: 130")).find("t.yaml:2"), std::string::npos);
}

}  // namespace
