#include "tools/projectgen/sound_library.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "modules/drums_module.h"
#include "modules/sampler_module.h"
#include "tools/projectgen/patch_values.h"

namespace projectgen {

namespace {

using namespace value;
using Settings = std::initializer_list<std::pair<const char*, float>>;

const char* const kSynthPath = "\\PluginInstruments\\KavoSynthI.dll";

// Synth parameter numbers the balls address.
constexpr int kFilterFrequency = 37, kFilterQ = 38, kFilterEnvelop = 39, kFilterEnvDecay = 43;
constexpr int kLfo1Rate = 48, kLfo1Depth = 49, kDco2Coarse = 16, kDco2Fine = 18, kDcoMix = 27;
constexpr int kDco1Pulse = 1, kOutRelease = 61, kOutAttack = 58, kDco1OverDrive = 10, kDco2Pulse = 14;
// Mix parameter numbers of a track.
constexpr int kMixLevel = 0, kMixSend1Level = 16, kMixSend2Level = 18, kMixSend3Level = 20;

std::shared_ptr<ModuleState> module(const char* title, const char* programName, Settings settings) {
    auto state = std::make_shared<ModuleState>(title);
    for (const auto& [name, v] : settings) state->set(name, v);
    state->name(programName);
    return state;
}

SlotSpec slot(const char* path, std::shared_ptr<ModuleState> state, float on = 1.0f) {
    SlotSpec s;
    s.path = path;
    s.module = std::move(state);
    s.on = on;
    return s;
}

SlotSpec synth(const char* programName, Settings settings) {
    return slot(kSynthPath, module("KavoSynthI", programName, settings));
}

// The send effects every project shares in some measure: a hall on send 1,
// a tempo echo on send 2, a chorus on send 3. All fully wet.
SlotSpec hall(float sizeV = 0.6f, float damp = 0.45f) {
    return slot("\\PluginEffects\\KavoReverb.dll",
                module("KavoReverb", "Hall", {{"PreDelay", 0.25f}, {"Size", sizeV}, {"Damp", damp},
                                              {"LowCut", 0.25f}, {"EarlyRef", 0.4f}, {"Mix", 1.0f}}));
}

// Three sixteenths (a dotted eighth) locked to the host's tempo.
SlotSpec echo(float feedback = 0.4f, bool pingPong = true) {
    auto state = module("KavoDelay", "Echo", {{"Feedback", feedback}, {"PingPong", pingPong ? 1.0f : 0.0f},
                                              {"Filter", 1.0f}, {"LowCut", 0.3f}, {"HiCut", 0.75f}, {"Mix", 1.0f}});
    state->setIndex(1, 2.0f / 15.0f + 0.01f);  // steps: n = 1 - trunc(-15x) = 3
    state->setIndex(2, 1.0f);                  // tempo lock
    return slot("\\PluginEffects\\KavoDelay.dll", state);
}

SlotSpec ensemble() {
    return slot("\\PluginEffects\\KavoChorus.dll",
                module("KavoChorus", "Ensemble", {{"Time", 0.5f}, {"Rate", 0.3f}, {"Depth", 0.6f}, {"Mix", 1.0f}}));
}

SlotSpec masterLimiter() {
    return slot("\\PluginEffects\\KavoLimiter.dll",
                module("KavoLimiter", "Master", {{"Threshold", 0.9f}, {"Lookahead", 0.5f}, {"Release", 0.3f}}));
}

void useStandardMaster(ProjectSpec& p) {
    p.masterInserts[0] = masterLimiter();
    p.sends[0] = hall();
    p.sends[1] = echo();
    p.sends[2] = ensemble();
}

BallTarget target(int kind, int index, float minimum, float maximum) { return BallTarget{kind, index, minimum, maximum}; }

BallSpec ball(const char* name, float x, float y, std::vector<BallTarget> horizontal, std::vector<BallTarget> vertical) {
    BallSpec b;
    b.name = name;
    b.x = x;
    b.y = y;
    b.horizontal = std::move(horizontal);
    b.vertical = std::move(vertical);
    return b;
}

// The mixer ball every track gets: level across, hall send up.
BallSpec mixBall(float x = 80.0f, float y = 40.0f) {
    return ball("Level / Hall", x, y, {target(1, kMixLevel, 40, 120)}, {target(1, kMixSend1Level, 0, 110)});
}

// Writes note-on and note-off pairs for the demonstration.
class Demo {
public:
    Demo(std::vector<DemoEvent>& events, int channel) : events_(events), channel_(channel) {}
    void note(double step, int key, double lengthSteps, int velocity = 100) {
        events_.push_back({step, 0x90 | channel_, key, velocity});
        events_.push_back({step + lengthSteps, 0x80 | channel_, key, 0});
    }
    void chord(double step, std::initializer_list<int> keys, double lengthSteps, int velocity = 90) {
        for (int k : keys) note(step, k, lengthSteps, velocity);
    }
    void sustain(double step, bool down) { events_.push_back({step, 0xB0 | channel_, 64, down ? 127 : 0}); }

private:
    std::vector<DemoEvent>& events_;
    int channel_;
};

TrackSpec track(const char* title, SlotSpec instrument, float level, float pan) {
    TrackSpec t;
    t.title = title;
    t.instrument = std::move(instrument);
    t.level = level;
    t.pan = pan;
    return t;
}

void sends(TrackSpec& t, float hallLevel, float echoLevel, float chorusLevel) {
    t.sendOn = {hallLevel > 0 ? 1.0f : 0.0f, echoLevel > 0 ? 1.0f : 0.0f, chorusLevel > 0 ? 1.0f : 0.0f, 0.0f};
    t.sendLevel = {hallLevel, echoLevel, chorusLevel, 0.0f};
}

void eq(TrackSpec& t, float lowGain, float midGain, float highGain, float midHz = 800.0f) {
    t.eqOn = 1.0f;
    t.eqFrequencyHz = {120.0f, midHz, 4000.0f};
    t.eqGain = {lowGain, midGain, highGain};
}

// Key splits: bass below C3, the rest from C3 up.
constexpr int kSplitKey = 48;

// ---- the projects ---------------------------------------------------------

ProjectSpec acidLine() {
    ProjectSpec p;
    p.name = "ACIDLINE";
    useStandardMaster(p);
    TrackSpec bass = track("Acid", synth("Acid Line", {{"DCO1 Wave", kSaw},
                                                        {"DCO Mix", 0.0f},
                                                        {"DCO1 Glissando", 0.06f},
                                                        {"DCO1 OverDrive", 0.35f},
                                                        {"FILTER Dco1", kOn},
                                                        {"FILTER Dco2", kOn},
                                                        {"FILTER Pente", 0.0f},
                                                        {"FILTER Frequency", cutoffHz(260)},
                                                        {"FILTER Q", filterQ(3.5)},
                                                        {"FILTER Envelop", bipolar(0.55)},
                                                        {"FILTER EnvAttack", attackMs(2)},
                                                        {"FILTER EnvDecay", decayMs(260)},
                                                        {"FILTER EnvSustain", 0.05f},
                                                        {"FILTER EnvRelease", decayMs(120)},
                                                        {"OUTPUT EnvAttack", attackMs(2)},
                                                        {"OUTPUT EnvDecay", decayMs(400)},
                                                        {"OUTPUT EnvSustain", 0.75f},
                                                        {"OUTPUT EnvRelease", decayMs(70)},
                                                        {"OUTPUT Velocity", 0.4f},
                                                        {"OUTPUT Level", synthLevelDb(-9)},
                                                        {"MONO Mode", kOn}}),
                           96.0f, 0.0f);
    bass.midiChannel = 2;  // MIDI channel 1
    sends(bass, 18.0f, 42.0f, 0.0f);
    eq(bass, 0.2f, 0.1f, -0.1f);
    bass.balls = {ball("Cutoff / Reso", 40, 70, {target(0, kFilterFrequency, 18, 100)}, {target(0, kFilterQ, 40, 112)}),
                  ball("Env / Decay", 70, 60, {target(0, kFilterEnvelop, 64, 127)},
                       {target(0, kFilterEnvDecay, 40, 95)}),
                  ball("Drive / Echo", 40, 40, {target(0, kDco1OverDrive, 0, 90)}, {target(1, kMixSend2Level, 0, 100)}),
                  mixBall()};
    TrackSpec sub = track("Sub", synth("Sub Pulse", {{"DCO1 Wave", kSine},
                                                     {"DCO2 Wave", kSine},
                                                     {"DCO2 Coarse", coarse(12)},
                                                     {"DCO Mix", 0.2f},
                                                     {"OUTPUT EnvAttack", attackMs(3)},
                                                     {"OUTPUT EnvDecay", decayMs(500)},
                                                     {"OUTPUT EnvSustain", 0.8f},
                                                     {"OUTPUT EnvRelease", decayMs(90)},
                                                     {"OUTPUT Level", synthLevelDb(-4)},
                                                     {"MONO Mode", kOn}}),
                          80.0f, 0.0f);
    sub.midiChannel = 3;  // MIDI channel 2: the demonstration's second part
    sub.balls = {ball("Tone", 64, 64, {target(0, kDcoMix, 0, 70)}, {}), mixBall(70, 10)};
    p.tracks = {bass, sub};

    Demo acid(p.demo, 0), low(p.demo, 1);
    // A sixteen-step figure in A minor with slides (overlapping notes glide
    // in mono mode) and accents, played four times with a change of root.
    const int figure[16] = {45, 45, 57, 45, 48, 45, 55, 57, 45, 52, 45, 60, 57, 45, 50, 52};
    const bool slide[16] = {false, false, true, false, false, false, true, false,
                            false, false, false, true, false, false, true, false};
    const bool accent[16] = {true, false, false, true, false, false, true, false,
                             true, false, false, true, false, true, false, false};
    const int roots[4] = {0, 0, -2, 3};
    for (int bar = 0; bar < 8; ++bar)
        for (int s = 0; s < 16; ++s) {
            const int key = figure[s] + roots[bar % 4];
            acid.note(bar * 16 + s, key, slide[s] ? 1.1 : 0.5, accent[s] ? 120 : 80);
        }
    for (int bar = 0; bar < 8; ++bar) low.note(bar * 16, 33 + roots[bar % 4], 14, 100);
    return p;
}

ProjectSpec deepPad() {
    ProjectSpec p;
    p.name = "DEEPPAD";
    useStandardMaster(p);
    TrackSpec pad = track("Pad", synth("Deep Pad", {{"DCO1 Wave", kSaw},
                                                    {"DCO2 Wave", kSaw},
                                                    {"DCO2 Fine", fineCents(9)},
                                                    {"DCO1 Fine", fineCents(-7)},
                                                    {"DCO Mix", 0.5f},
                                                    {"DCO1 LfoFrequency", kLfo2},
                                                    {"LFO2 Rate", lfoHz(4.5)},
                                                    {"LFO2 Depth", 0.08f},
                                                    {"LFO2 ModWheel", kOn},
                                                    {"FILTER Dco1", kOn},
                                                    {"FILTER Dco2", kOn},
                                                    {"FILTER Pente", 0.0f},
                                                    {"FILTER Frequency", cutoffHz(900)},
                                                    {"FILTER Q", filterQ(0.9)},
                                                    {"FILTER Envelop", bipolar(0.2)},
                                                    {"FILTER EnvAttack", attackMs(1500)},
                                                    {"FILTER EnvDecay", decayMs(3000)},
                                                    {"FILTER EnvSustain", 0.5f},
                                                    {"FILTER EnvRelease", decayMs(2000)},
                                                    {"FILTER LfoFrequency", kLfo1},
                                                    {"LFO1 Wave", 0.1f},
                                                    {"LFO1 Rate", lfoHz(0.15)},
                                                    {"LFO1 Depth", 0.35f},
                                                    {"OUTPUT EnvAttack", attackMs(700)},
                                                    {"OUTPUT EnvDecay", decayMs(2000)},
                                                    {"OUTPUT EnvSustain", 0.85f},
                                                    {"OUTPUT EnvRelease", decayMs(1800)},
                                                    {"OUTPUT Velocity", 0.2f},
                                                    {"OUTPUT Level", synthLevelDb(-14)}}),
                          84.0f, 0.0f);
    pad.keyFrom = kSplitKey;
    sends(pad, 70.0f, 0.0f, 80.0f);
    eq(pad, -0.15f, -0.1f, 0.1f, 400.0f);
    pad.balls = {ball("Bright / Reso", 50, 50, {target(0, kFilterFrequency, 40, 100)}, {target(0, kFilterQ, 0, 70)}),
                 ball("Swirl", 40, 50, {target(0, kLfo1Rate, 0, 80)}, {target(0, kLfo1Depth, 20, 100)}),
                 ball("Detune / Attack", 70, 30, {target(0, kDco2Fine, 64, 90)}, {target(0, kOutAttack, 40, 110)}),
                 mixBall(76, 70)};
    TrackSpec sub = track("Sub", synth("Round Sub", {{"DCO1 Wave", kTriangle},
                                                     {"DCO2 Wave", kSine},
                                                     {"DCO2 Coarse", coarse(12)},
                                                     {"DCO Mix", 0.15f},
                                                     {"OUTPUT EnvAttack", attackMs(20)},
                                                     {"OUTPUT EnvDecay", decayMs(800)},
                                                     {"OUTPUT EnvSustain", 0.9f},
                                                     {"OUTPUT EnvRelease", decayMs(400)},
                                                     {"OUTPUT Level", synthLevelDb(-6)},
                                                     {"MONO Mode", kOn}}),
                          80.0f, 0.0f);
    sub.keyTo = kSplitKey;
    sub.balls = {ball("Warmth", 40, 64, {target(0, kDcoMix, 0, 60)}, {}), mixBall(70, 10)};
    p.tracks = {pad, sub};

    Demo d(p.demo, 0);
    // Am9 - Fmaj7 - C6/9 - G6, two bars each, with the root in the bass.
    const std::initializer_list<int> chords[4] = {{57, 60, 64, 67, 71}, {53, 57, 60, 64, 69},
                                                  {55, 60, 62, 64, 69}, {55, 59, 62, 64, 67}};
    const int bassKeys[4] = {33, 29, 36, 31};
    for (int c = 0; c < 4; ++c) {
        d.chord(c * 32, chords[c], 30, 80);
        d.note(c * 32, bassKeys[c], 28, 100);
        d.note(c * 32 + 28, bassKeys[c] + 7, 3.5, 80);
    }
    return p;
}

ProjectSpec syncLead() {
    ProjectSpec p;
    p.name = "SYNCLEAD";
    useStandardMaster(p);
    TrackSpec lead = track("Sync Lead", synth("Sync Lead", {{"DCO1 Wave", kSaw},
                                                            {"DCO2 Wave", kSaw},
                                                            {"DCO Synchro", kOn},
                                                            {"DCO2 Coarse", coarse(7)},
                                                            {"DCO2 EnvFreq", bipolar(0.35)},
                                                            {"DCO2 Glissando", 0.04f},
                                                            {"DCO1 Glissando", 0.04f},
                                                            {"DCO Mix", 0.72f},
                                                            {"DCO EnvAttack", attackMs(2)},
                                                            {"DCO EnvDecay", decayMs(600)},
                                                            {"DCO EnvSustain", 0.15f},
                                                            {"DCO1 LfoFrequency", kLfo1},
                                                            {"DCO2 LfoFrequency", kLfo1},
                                                            {"LFO1 Rate", lfoHz(5.5)},
                                                            {"LFO1 Depth", 0.12f},
                                                            {"LFO1 Delay", 0.6f},
                                                            {"FILTER Dco1", kOn},
                                                            {"FILTER Dco2", kOn},
                                                            {"FILTER Pente", 0.0f},
                                                            {"FILTER Frequency", cutoffHz(2400)},
                                                            {"FILTER Q", filterQ(1.2)},
                                                            {"OUTPUT EnvAttack", attackMs(4)},
                                                            {"OUTPUT EnvDecay", decayMs(900)},
                                                            {"OUTPUT EnvSustain", 0.8f},
                                                            {"OUTPUT EnvRelease", decayMs(250)},
                                                            {"OUTPUT Velocity", 0.3f},
                                                            {"OUTPUT Level", synthLevelDb(-10)},
                                                            {"MONO Mode", kOn}}),
                           88.0f, 0.1f);
    lead.keyFrom = kSplitKey;
    sends(lead, 40.0f, 60.0f, 0.0f);
    eq(lead, -0.2f, 0.15f, 0.05f, 1500.0f);
    lead.balls = {ball("Sync / Sweep", 45, 60, {target(0, kDco2Coarse, 70, 110)}, {target(0, 25, 64, 110)}),
                  ball("Tone / Reso", 60, 50, {target(0, kFilterFrequency, 50, 115)}, {target(0, kFilterQ, 0, 80)}),
                  ball("Echo / Hall", 50, 50, {target(1, kMixSend2Level, 0, 110)}, {target(1, kMixSend1Level, 0, 100)}),
                  mixBall(82, 40)};
    TrackSpec bass = track("Pulse Bass", synth("Pulse Bass", {{"DCO1 Wave", kPulse},
                                                              {"DCO1 Pulse", 0.3f},
                                                              {"DCO2 Wave", kSaw},
                                                              {"DCO2 Coarse", coarse(-12)},
                                                              {"DCO Mix", 0.3f},
                                                              {"FILTER Dco1", kOn},
                                                              {"FILTER Dco2", kOn},
                                                              {"FILTER Frequency", cutoffHz(350)},
                                                              {"FILTER Q", filterQ(1.5)},
                                                              {"FILTER Envelop", bipolar(0.35)},
                                                              {"FILTER EnvDecay", decayMs(180)},
                                                              {"FILTER EnvSustain", 0.1f},
                                                              {"OUTPUT EnvDecay", decayMs(300)},
                                                              {"OUTPUT EnvSustain", 0.7f},
                                                              {"OUTPUT EnvRelease", decayMs(60)},
                                                              {"OUTPUT Level", synthLevelDb(-5)},
                                                              {"MONO Mode", kOn}}),
                           86.0f, -0.1f);
    bass.keyTo = kSplitKey;
    sends(bass, 8.0f, 0.0f, 0.0f);
    bass.balls = {ball("Width / Cutoff", 40, 50, {target(0, kDco1Pulse, 10, 100)}, {target(0, kFilterFrequency, 20, 80)}),
                  mixBall(74, 20)};
    p.tracks = {lead, bass};

    Demo d(p.demo, 0);
    const int melody[][3] = {  // step, key, length in steps
        {0, 69, 3},   {4, 72, 2},   {6, 74, 2},   {8, 76, 6},   {14, 74, 2},  {16, 72, 3},  {20, 69, 4},
        {24, 67, 2},  {26, 69, 6},  {32, 76, 3},  {36, 79, 2},  {38, 81, 2},  {40, 79, 4},  {44, 76, 2},
        {46, 74, 2},  {48, 76, 8},  {56, 72, 4},  {60, 74, 4},  {64, 69, 3},  {68, 72, 2},  {70, 74, 2},
        {72, 76, 6},  {78, 79, 2},  {80, 81, 3},  {84, 79, 2},  {86, 76, 2},  {88, 74, 4},  {92, 72, 4},
        {96, 74, 6},  {102, 72, 2}, {104, 71, 4}, {108, 67, 4}, {112, 69, 14}};
    for (const auto& n : melody) d.note(n[0], n[1], n[2], 100);
    const int roots[8] = {33, 29, 31, 28, 33, 29, 31, 33};
    for (int bar = 0; bar < 8; ++bar)
        for (int s = 0; s < 16; s += 2) d.note(bar * 16 + s, roots[bar] + (s % 8 == 6 ? 12 : 0), 1.2, s % 4 == 0 ? 110 : 85);
    return p;
}

ProjectSpec fmBells() {
    ProjectSpec p;
    p.name = "FMBELLS";
    useStandardMaster(p);
    p.sends[1] = echo(0.5f, true);
    TrackSpec bells = track("Bells", synth("FM Bells", {{"DCO1 Wave", kSine},
                                                        {"DCO2 Wave", kTop},  // frequency modulation
                                                        {"DCO2 Pulse", 0.35f},
                                                        {"DCO2 Coarse", coarse(12)},
                                                        {"DCO2 Fine", fineCents(3)},
                                                        {"DCO Mix", 0.7f},
                                                        {"DCO2 OutputEnv", kOn},
                                                        {"DCO EnvAttack", attackMs(2)},
                                                        {"DCO EnvDecay", decayMs(900)},
                                                        {"DCO EnvSustain", 0.0f},
                                                        {"DCO EnvRelease", decayMs(900)},
                                                        {"OUTPUT EnvAttack", attackMs(2)},
                                                        {"OUTPUT EnvDecay", decayMs(2600)},
                                                        {"OUTPUT EnvSustain", 0.0f},
                                                        {"OUTPUT EnvRelease", decayMs(1800)},
                                                        {"OUTPUT Velocity", 0.6f},
                                                        {"OUTPUT Level", synthLevelDb(-5)}}),
                           90.0f, 0.0f);
    sends(bells, 60.0f, 50.0f, 30.0f);
    eq(bells, -0.3f, 0.0f, 0.1f);
    bells.balls = {ball("Metal / Ratio", 50, 50, {target(0, kDco2Pulse, 10, 100)}, {target(0, kDco2Coarse, 70, 95)}),
                   ball("Ring Time", 50, 40, {target(0, kOutRelease, 50, 110)}, {target(0, 59, 60, 110)}),
                   ball("Echo / Hall", 40, 60, {target(1, kMixSend2Level, 0, 110)}, {target(1, kMixSend1Level, 0, 110)}),
                   mixBall(80, 60)};
    p.tracks = {bells};
    Demo d(p.demo, 0);
    // A pentatonic figure over two octaves, echoing itself.
    const int keys[] = {72, 76, 79, 84, 81, 79, 76, 74, 72, 67, 69, 72, 74, 79, 76, 72};
    for (int r = 0; r < 4; ++r)
        for (int i = 0; i < 16; ++i) {
            const int key = keys[(i + r * 3) % 16] - (r == 2 ? 5 : 0);
            d.note(r * 32 + i * 2, key, 1.5, 70 + (i % 4 == 0 ? 40 : 0));
        }
    d.chord(128, {60, 67, 72, 76}, 8, 90);
    return p;
}

ProjectSpec brassSection() {
    ProjectSpec p;
    p.name = "BRASSHIT";
    useStandardMaster(p);
    TrackSpec brass = track("Brass", synth("Synth Brass", {{"DCO1 Wave", kSaw},
                                                           {"DCO2 Wave", kSaw},
                                                           {"DCO2 Fine", fineCents(12)},
                                                           {"DCO Mix", 0.5f},
                                                           {"DCO1 EnvFreq", bipolar(0.04)},
                                                           {"DCO EnvAttack", attackMs(2)},
                                                           {"DCO EnvDecay", decayMs(80)},
                                                           {"DCO EnvSustain", 0.0f},
                                                           {"FILTER Dco1", kOn},
                                                           {"FILTER Dco2", kOn},
                                                           {"FILTER Pente", 0.0f},
                                                           {"FILTER Frequency", cutoffHz(500)},
                                                           {"FILTER Q", filterQ(0.8)},
                                                           {"FILTER Envelop", bipolar(0.45)},
                                                           {"FILTER EnvAttack", attackMs(70)},
                                                           {"FILTER EnvDecay", decayMs(700)},
                                                           {"FILTER EnvSustain", 0.55f},
                                                           {"FILTER EnvRelease", decayMs(300)},
                                                           {"OUTPUT EnvAttack", attackMs(30)},
                                                           {"OUTPUT EnvDecay", decayMs(900)},
                                                           {"OUTPUT EnvSustain", 0.8f},
                                                           {"OUTPUT EnvRelease", decayMs(300)},
                                                           {"OUTPUT Velocity", 0.5f},
                                                           {"OUTPUT Level", synthLevelDb(-9)}}),
                            88.0f, 0.0f);
    sends(brass, 55.0f, 0.0f, 40.0f);
    eq(brass, -0.1f, 0.2f, 0.0f, 1200.0f);
    brass.balls = {ball("Bite / Swell", 50, 50, {target(0, kFilterEnvelop, 64, 110)}, {target(0, 42, 20, 90)}),
                   ball("Bright", 50, 64, {target(0, kFilterFrequency, 40, 100)}, {}),
                   ball("Spread", 40, 40, {target(0, kDco2Fine, 64, 80)}, {target(1, kMixSend3Level, 0, 110)}),
                   mixBall(80, 50)};
    p.tracks = {brass};
    Demo d(p.demo, 0);
    // Stabs on the off-beats, then a held swell.
    const std::initializer_list<int> stabs[4] = {{62, 65, 69, 74}, {60, 64, 67, 72}, {58, 62, 65, 70}, {60, 64, 67, 72}};
    for (int bar = 0; bar < 6; ++bar) {
        const auto& c = stabs[bar % 4];
        d.chord(bar * 16 + 2, c, 1.5, 110);
        d.chord(bar * 16 + 6, c, 1.0, 90);
        d.chord(bar * 16 + 10, c, 3.0, 120);
    }
    d.chord(96, {62, 65, 69, 72, 77}, 28, 100);
    d.note(96, 38, 28, 100);
    return p;
}

ProjectSpec pwmStrings() {
    ProjectSpec p;
    p.name = "PWMSTRINGS";
    useStandardMaster(p);
    TrackSpec strings = track("Strings", synth("PWM Strings", {{"DCO1 Wave", kPulse},
                                                               {"DCO2 Wave", kPulse},
                                                               {"DCO1 Pulse", 0.2f},
                                                               {"DCO2 Pulse", 0.25f},
                                                               {"DCO1 LfoPulse", kLfo1},
                                                               {"DCO2 LfoPulse", kLfo2},
                                                               {"DCO2 Coarse", coarse(12)},
                                                               {"DCO2 Fine", fineCents(6)},
                                                               {"DCO Mix", 0.45f},
                                                               {"LFO1 Rate", lfoHz(0.9)},
                                                               {"LFO1 Depth", 0.55f},
                                                               {"LFO2 Rate", lfoHz(0.6)},
                                                               {"LFO2 Depth", 0.5f},
                                                               {"FILTER Dco1", kOn},
                                                               {"FILTER Dco2", kOn},
                                                               {"FILTER Pente", 0.0f},
                                                               {"FILTER Frequency", cutoffHz(2200)},
                                                               {"FILTER Q", filterQ(0.6)},
                                                               {"OUTPUT EnvAttack", attackMs(400)},
                                                               {"OUTPUT EnvDecay", decayMs(1500)},
                                                               {"OUTPUT EnvSustain", 0.9f},
                                                               {"OUTPUT EnvRelease", decayMs(1200)},
                                                               {"OUTPUT Velocity", 0.3f},
                                                               {"OUTPUT Level", synthLevelDb(-16)}}),
                              86.0f, 0.0f);
    sends(strings, 75.0f, 0.0f, 90.0f);
    eq(strings, -0.2f, -0.05f, 0.15f, 500.0f);
    strings.balls = {ball("Motion", 50, 50, {target(0, kLfo1Rate, 20, 90)}, {target(0, kLfo1Depth, 30, 110)}),
                     ball("Air", 60, 50, {target(0, kFilterFrequency, 60, 120)}, {target(1, kMixSend1Level, 20, 120)}),
                     ball("Bow", 50, 40, {target(0, kOutAttack, 40, 110)}, {target(0, kOutRelease, 60, 110)}),
                     mixBall(80, 60)};
    p.tracks = {strings};
    Demo d(p.demo, 0);
    d.sustain(0, true);
    const std::initializer_list<int> voicings[4] = {{50, 57, 62, 65, 69}, {46, 53, 58, 62, 65},
                                                    {48, 55, 60, 64, 67}, {45, 52, 57, 61, 64}};
    for (int c = 0; c < 4; ++c) {
        if (c > 0) {
            d.sustain(c * 32 - 0.5, false);
            d.sustain(c * 32, true);
        }
        d.chord(c * 32, voicings[c], 24, 85);
        d.note(c * 32 + 16, *(voicings[c].end() - 1) + 5, 12, 70);
    }
    d.sustain(127, false);
    return p;
}

ProjectSpec pluckKeys() {
    ProjectSpec p;
    p.name = "PLUCKKEYS";
    useStandardMaster(p);
    p.sends[1] = echo(0.35f, true);
    TrackSpec keys = track("Pluck", synth("Pluck Keys", {{"DCO1 Wave", kSaw},
                                                         {"DCO2 Wave", kPulse},
                                                         {"DCO2 Pulse", 0.4f},
                                                         {"DCO2 Coarse", coarse(12)},
                                                         {"DCO Mix", 0.35f},
                                                         {"FILTER Dco1", kOn},
                                                         {"FILTER Dco2", kOn},
                                                         {"FILTER Pente", 0.0f},
                                                         {"FILTER Frequency", cutoffHz(300)},
                                                         {"FILTER Q", filterQ(1.8)},
                                                         {"FILTER Envelop", bipolar(0.6)},
                                                         {"FILTER EnvAttack", attackMs(2)},
                                                         {"FILTER EnvDecay", decayMs(220)},
                                                         {"FILTER EnvSustain", 0.0f},
                                                         {"FILTER EnvRelease", decayMs(200)},
                                                         {"OUTPUT EnvAttack", attackMs(2)},
                                                         {"OUTPUT EnvDecay", decayMs(700)},
                                                         {"OUTPUT EnvSustain", 0.0f},
                                                         {"OUTPUT EnvRelease", decayMs(300)},
                                                         {"OUTPUT Velocity", 0.7f},
                                                         {"OUTPUT Level", synthLevelDb(-4)}}),
                           90.0f, 0.0f);
    sends(keys, 35.0f, 65.0f, 25.0f);
    eq(keys, -0.25f, 0.1f, 0.1f, 1800.0f);
    keys.balls = {ball("Snap / Reso", 50, 50, {target(0, kFilterEnvDecay, 30, 90)}, {target(0, kFilterQ, 20, 90)}),
                  ball("Bright", 50, 64, {target(0, kFilterEnvelop, 70, 120)}, {}),
                  ball("Echo / Chorus", 60, 50, {target(1, kMixSend2Level, 0, 110)}, {target(1, kMixSend3Level, 0, 110)}),
                  mixBall(82, 40)};
    p.tracks = {keys};
    Demo d(p.demo, 0);
    // Broken chords in eighths: Em7 - Cmaj7 - G - D.
    const int arps[4][6] = {{52, 59, 62, 67, 71, 74}, {48, 55, 59, 64, 67, 71},
                            {43, 50, 55, 59, 62, 67}, {50, 57, 62, 66, 69, 74}};
    for (int bar = 0; bar < 8; ++bar)
        for (int i = 0; i < 8; ++i) {
            const int* a = arps[(bar / 2) % 4];
            const int order[8] = {0, 2, 4, 5, 3, 4, 2, 1};
            d.note(bar * 16 + i * 2, a[order[i]], 1.5, i == 0 ? 115 : 80 + (i % 2) * 10);
        }
    return p;
}

ProjectSpec wobbleBass() {
    ProjectSpec p;
    p.name = "WOBBLEBASS";
    useStandardMaster(p);
    TrackSpec bass = track("Wobble", synth("Wobble Bass", {{"DCO1 Wave", kSaw},
                                                           {"DCO2 Wave", kPulse},
                                                           {"DCO2 Coarse", coarse(-12)},
                                                           {"DCO2 Fine", fineCents(8)},
                                                           {"DCO Mix", 0.5f},
                                                           {"DCO1 OverDrive", 0.4f},
                                                           {"DCO2 OverDrive", 0.4f},
                                                           {"FILTER Dco1", kOn},
                                                           {"FILTER Dco2", kOn},
                                                           {"FILTER Pente", 0.0f},
                                                           {"FILTER Frequency", cutoffHz(180)},
                                                           {"FILTER Q", filterQ(2.5)},
                                                           {"FILTER LfoFrequency", kLfo1},
                                                           {"LFO1 Wave", 0.3f},
                                                           {"LFO1 Rate", lfoHz(130.0 / 60.0 * 2.0 / 3.0)},
                                                           {"LFO1 Depth", 0.9f},
                                                           {"LFO1 Sync", kOn},
                                                           {"OUTPUT EnvAttack", attackMs(3)},
                                                           {"OUTPUT EnvDecay", decayMs(800)},
                                                           {"OUTPUT EnvSustain", 0.9f},
                                                           {"OUTPUT EnvRelease", decayMs(80)},
                                                           {"OUTPUT Level", synthLevelDb(-16)},
                                                           {"MONO Mode", kOn}}),
                           92.0f, 0.0f);
    bass.inserts[0] = slot("\\PluginEffects\\KavoOverdrive.dll",
                           module("KavoOverdrive", "Grit", {{"OverDrive", 0.35f}, {"FilterFrequency", 0.7f},
                                                            {"Mix", 0.6f}, {"Level", 0.2f}}));
    sends(bass, 10.0f, 0.0f, 0.0f);
    eq(bass, 0.25f, -0.15f, 0.0f, 600.0f);
    bass.balls = {ball("Wobble Rate / Depth", 50, 70, {target(0, kLfo1Rate, 40, 100)}, {target(0, kLfo1Depth, 30, 127)}),
                  ball("Cutoff / Reso", 40, 60, {target(0, kFilterFrequency, 10, 80)}, {target(0, kFilterQ, 20, 110)}),
                  ball("Grit", 50, 50, {target(2, 0, 10, 100)}, {target(2, 4, 20, 128)}),
                  mixBall(82, 20)};
    p.tracks = {bass};
    Demo d(p.demo, 0);
    const int line[][3] = {{0, 29, 12}, {12, 29, 2}, {14, 32, 2}, {16, 34, 14}, {30, 36, 2},
                           {32, 29, 8},  {40, 41, 4}, {44, 39, 4}, {48, 36, 16}};
    for (int r = 0; r < 2; ++r)
        for (const auto& n : line) d.note(r * 64 + n[0], n[1], n[2] - 0.2, 110);
    return p;
}

ProjectSpec ringSpace() {
    ProjectSpec p;
    p.name = "RINGSPACE";
    useStandardMaster(p);
    p.sends[0] = hall(0.85f, 0.3f);
    TrackSpec ring = track("Ring", synth("Ring Space", {{"DCO1 Wave", kTriangle},
                                                        {"DCO2 Wave", kRingOrNoise},  // ring modulation
                                                        {"DCO2 Coarse", coarse(7)},
                                                        {"DCO2 Fine", fineCents(20)},
                                                        {"DCO2 LfoFrequency", kLfo1},
                                                        {"LFO1 Rate", lfoHz(0.25)},
                                                        {"LFO1 Depth", 0.3f},
                                                        {"DCO Mix", 0.62f},
                                                        {"FILTER Dco1", kOn},
                                                        {"FILTER Dco2", kOn},
                                                        {"FILTER Type", 0.55f},  // band pass
                                                        {"FILTER Pente", 0.0f},
                                                        {"FILTER Frequency", cutoffHz(1400)},
                                                        {"FILTER Q", filterQ(1.5)},
                                                        {"FILTER LfoFrequency", kLfo2},
                                                        {"LFO2 Rate", lfoHz(0.4)},
                                                        {"LFO2 Depth", 0.6f},
                                                        {"OUTPUT EnvAttack", attackMs(200)},
                                                        {"OUTPUT EnvDecay", decayMs(2000)},
                                                        {"OUTPUT EnvSustain", 0.7f},
                                                        {"OUTPUT EnvRelease", decayMs(2500)},
                                                        {"OUTPUT Level", synthLevelDb(4)}}),
                           112.0f, 0.0f);
    ring.inserts[0] = slot("\\PluginEffects\\KavoFlanger.dll",
                           module("KavoFlanger", "Slow Jet", {{"Time", 0.5f}, {"Rate", 0.2f}, {"Depth", 0.7f},
                                                              {"Feedback", 0.5f}, {"Mix", 0.5f}}));
    sends(ring, 90.0f, 40.0f, 0.0f);
    ring.balls = {ball("Ratio / Drift", 50, 50, {target(0, kDco2Coarse, 64, 100)}, {target(0, kDco2Fine, 64, 100)}),
                  ball("Focus", 50, 50, {target(0, kFilterFrequency, 50, 110)}, {target(0, kFilterQ, 20, 100)}),
                  ball("Jet", 40, 50, {target(2, 1, 0, 80)}, {target(2, 3, 0, 120)}),
                  mixBall(78, 80)};
    p.tracks = {ring};
    Demo d(p.demo, 0);
    const int notes[][3] = {{0, 60, 14}, {16, 63, 14}, {32, 58, 14}, {48, 55, 14},
                            {64, 60, 6}, {72, 67, 6}, {80, 65, 14}, {96, 63, 28}};
    for (const auto& n : notes) d.note(n[0], n[1], n[2], 90);
    d.note(96, 48, 28, 70);
    return p;
}

ProjectSpec hooverStab() {
    ProjectSpec p;
    p.name = "SAWCHORDS";
    useStandardMaster(p);
    TrackSpec chords = track("Chords", synth("Saw Chords", {{"DCO1 Wave", kSaw},
                                                            {"DCO2 Wave", kSaw},
                                                            {"DCO2 Coarse", coarse(-12)},
                                                            {"DCO2 Fine", fineCents(10)},
                                                            {"DCO Mix", 0.5f},
                                                            {"FILTER Dco1", kOn},
                                                            {"FILTER Dco2", kOn},
                                                            {"FILTER Pente", 0.0f},
                                                            {"FILTER Frequency", cutoffHz(1800)},
                                                            {"FILTER Q", filterQ(1.0)},
                                                            {"FILTER Envelop", bipolar(0.25)},
                                                            {"FILTER EnvDecay", decayMs(400)},
                                                            {"FILTER EnvSustain", 0.3f},
                                                            {"OUTPUT EnvAttack", attackMs(3)},
                                                            {"OUTPUT EnvDecay", decayMs(500)},
                                                            {"OUTPUT EnvSustain", 0.5f},
                                                            {"OUTPUT EnvRelease", decayMs(250)},
                                                            {"OUTPUT Velocity", 0.4f},
                                                            {"OUTPUT Level", synthLevelDb(-8)}}),
                             88.0f, 0.0f);
    sends(chords, 45.0f, 50.0f, 60.0f);
    eq(chords, -0.3f, 0.0f, 0.15f);
    chords.balls = {ball("Cutoff / Env", 50, 50, {target(0, kFilterFrequency, 40, 115)}, {target(0, kFilterEnvelop, 64, 110)}),
                    ball("Length", 50, 50, {target(0, 59, 30, 100)}, {target(0, 60, 0, 110)}),
                    ball("Echo / Chorus", 50, 50, {target(1, kMixSend2Level, 0, 110)}, {target(1, kMixSend3Level, 0, 110)}),
                    mixBall(80, 50)};
    p.tracks = {chords};
    Demo d(p.demo, 0);
    const std::initializer_list<int> prog[4] = {{57, 60, 64, 69}, {55, 60, 64, 67}, {53, 57, 60, 65}, {55, 59, 62, 67}};
    const double rhythm[] = {0, 3, 6, 10, 12};
    for (int bar = 0; bar < 8; ++bar)
        for (double r : rhythm) d.chord(bar * 16 + r, prog[(bar / 2) % 4], r == 12 ? 3.5 : 2.0, r == 0 ? 115 : 90);
    return p;
}


// ---- sampled and drum tracks ----------------------------------------------

const char* const kSamplerPath = "\\PluginInstruments\\KavoSampler.dll";
const char* const kDrumsPath = "\\PluginInstruments\\KavoDrums.dll";
const char* const kBassPath = "\\PluginInstruments\\KavoBass.dll";

// Sampler part parameters (host index = part * 32 + number).
constexpr int kSamplerParams = 32;
enum SamplerParam {
    kSmpLevel = 1, kSmpPan = 2, kSmpAttack = 3, kSmpDecay = 4, kSmpSustain = 5, kSmpRelease = 6,
    kSmpEnvLevel = 8, kSmpTuneFine = 10, kSmpLevelVelocity = 11, kSmpHold = 13, kSmpLoop = 15,
    kSmpSplitNote = 18, kSmpFilterFreq = 21, kSmpFilterQ = 22, kSmpFilterVelocity = 23, kSmpFilterEnv = 24,
    kSmpFilterOn = 25,
};

struct SamplerPart {
    const char* file;
    int rootNote;  // the part plays notes up to here, the sample at its own pitch here
};

// A multi-sample across several parts: each part covers the notes above the
// previous part's root up to its own, so no sample is stretched far.
SlotSpec sampler(const char* programName, std::initializer_list<SamplerPart> parts,
                 std::initializer_list<std::pair<int, float>> partSettings) {
    auto state = std::make_shared<ModuleState>("KavoSampler");
    auto* module = state->as<EffectSampler>();
    int part = 0;
    for (const SamplerPart& p : parts) {
        module->setPartFileName(part, p.file);
        state->setIndex(part * kSamplerParams, 1.0f);  // Wave: load the named sample
        state->setIndex(part * kSamplerParams + kSmpSplitNote, static_cast<float>(p.rootNote));
        for (const auto& [param, v] : partSettings) state->setIndex(part * kSamplerParams + param, v);
        ++part;
    }
    state->name(programName);
    return slot(kSamplerPath, state);
}

// Drum pad parameters (host index = pad * 15 + number).
constexpr int kPadParams = 15;
enum PadParam { kPadLevel = 1, kPadPan = 2, kPadEffect1 = 3, kPadEffect2 = 4, kPadTune = 5, kPadDecay = 8 };
// The pads' notes.
enum PadNote : int {
    kKick = 36, kSnare = 38, kClap = 39, kClosedHat = 42, kPedalHat = 44, kOpenHat = 46, kTom = 47, kCrash = 48,
};

struct PadSpec {
    const char* file;
    float level, pan, effect1, tune;
};

SlotSpec drumKit(const char* programName, const PadSpec (&pads)[8]) {
    auto state = std::make_shared<ModuleState>("KavoDrums");
    auto* module = state->as<EffectDrums>();
    for (int pad = 0; pad < 8; ++pad) {
        module->setPadFileName(pad, pads[pad].file);
        state->setIndex(pad * kPadParams, 1.0f);  // Wave: load the named sample
        state->setIndex(pad * kPadParams + kPadLevel, pads[pad].level);
        state->setIndex(pad * kPadParams + kPadPan, pads[pad].pan);
        state->setIndex(pad * kPadParams + kPadEffect1, pads[pad].effect1);
        state->setIndex(pad * kPadParams + kPadTune, pads[pad].tune);
    }
    state->name(programName);
    return slot(kDrumsPath, state);
}

// Bass mode plays pad 1's sample chromatically from note 36.
SlotSpec sampleBass(const char* programName, const char* file, int fileRootNote, float level) {
    auto state = std::make_shared<ModuleState>("KavoBass");
    state->as<EffectDrums>()->setPadFileName(0, file);
    state->setIndex(0, 1.0f);  // Wave: load the named sample
    // Tune is 8^(v - 0.5): a semitone is 1/36 of the range.
    state->setIndex(kPadTune, clamp01(0.5 + (36 - fileRootNote) / 36.0));
    state->setIndex(kPadLevel, level);
    state->setIndex(kPadDecay, 0.0f);  // gated: the note ends with the key
    state->name(programName);
    return slot(kBassPath, state);
}

PatternSpec pattern(int number, float lengthSteps, std::initializer_list<PatternNoteSpec> notes) {
    PatternSpec p;
    p.number = number;
    p.lengthSteps = lengthSteps;
    p.notes = notes;
    return p;
}

// Hits of one pad on the given steps.
void hits(PatternSpec& p, int key, std::initializer_list<int> steps, int velocity = 110) {
    for (int s : steps) p.notes.push_back({static_cast<float>(s), key, 1.0f, velocity});
}

void sortNotes(PatternSpec& p) {
    std::stable_sort(p.notes.begin(), p.notes.end(),
                     [](const PatternNoteSpec& a, const PatternNoteSpec& b) { return a.position < b.position; });
}

const PadSpec kHouseKit[8] = {
    {"Kick.wav", 0.88f, 0.5f, 0.0f, 0.5f},       {"Snare 1.wav", 0.8f, 0.48f, 0.45f, 0.5f},
    {"Claps.wav", 0.8f, 0.53f, 0.5f, 0.5f},      {"Hats Close.wav", 0.72f, 0.6f, 0.0f, 0.5f},
    {"Hats Close.wav", 0.66f, 0.6f, 0.0f, 0.45f}, {"Hats Open.wav", 0.7f, 0.62f, 0.3f, 0.5f},
    {"Tom 1.wav", 0.8f, 0.4f, 0.35f, 0.5f},      {"Crash 1.wav", 0.72f, 0.45f, 0.4f, 0.5f},
};

TrackSpec houseDrums(const char* title) {
    TrackSpec drums = track(title, drumKit("House Kit", kHouseKit), 84.0f, 0.0f);
    sends(drums, 40.0f, 0.0f, 0.0f);
    PatternSpec beat = pattern(0, 16, {});
    hits(beat, kKick, {0, 4, 8, 12}, 120);
    hits(beat, kClap, {4, 12}, 105);
    hits(beat, kClosedHat, {2, 6, 10}, 90);
    hits(beat, kOpenHat, {14}, 85);
    hits(beat, kClosedHat, {1, 3, 5, 7, 9, 11, 13}, 55);
    sortNotes(beat);
    PatternSpec fill = beat;
    fill.number = 1;
    hits(fill, kTom, {13, 14, 15}, 100);
    sortNotes(fill);
    drums.patterns = {beat, fill};
    drums.balls = {ball("Room", 40, 50, {target(1, kMixSend1Level, 0, 100)}, {}), mixBall(84, 40)};
    return drums;
}

ProjectSpec houseGroove() {
    ProjectSpec p;
    p.name = "HOUSEGROOVE";
    useStandardMaster(p);
    TrackSpec drums = houseDrums("Drums");
    drums.keyboardOn = 0.0f;  // the pattern plays it, the keyboard plays the keys
    TrackSpec bass = track("Bass", sampleBass("Sub Bass", "Bass_E2.wav", 40, 0.82f), 82.0f, 0.0f);
    bass.keyboardOn = 0.0f;
    PatternSpec line = pattern(0, 16, {{2, 36, 1.5f, 110}, {6, 36, 1.5f, 100}, {10, 36, 1.0f, 110},
                                       {11, 39, 1.0f, 90}, {14, 41, 1.5f, 100}});
    bass.patterns = {line};
    bass.balls = {mixBall(80, 10)};
    TrackSpec keys = track("Keys", sampler("E-Piano", {{"EPiano_C3.wav", 48}, {"EPiano_C4.wav", 60}, {"EPiano_C5.wav", 72}},
                                           {{kSmpHold, 0.0f}, {kSmpEnvLevel, 1.0f}, {kSmpRelease, 0.45f},
                                            {kSmpLoop, 1.0f}, {kSmpLevelVelocity, 0.6f}}),
                           80.0f, 0.1f);
    sends(keys, 45.0f, 35.0f, 50.0f);
    eq(keys, -0.2f, 0.05f, 0.1f);
    keys.balls = {ball("Echo / Chorus", 50, 50, {target(1, kMixSend2Level, 0, 110)}, {target(1, kMixSend3Level, 0, 110)}),
                  mixBall(80, 50)};
    p.tracks = {drums, bass, keys};

    Demo d(p.demo, 0);
    const std::initializer_list<int> chords[4] = {{51, 55, 58, 62}, {53, 56, 60, 63}, {51, 55, 58, 62}, {50, 53, 58, 62}};
    for (int bar = 0; bar < 8; ++bar) {
        d.chord(bar * 16 + 2, chords[bar % 4], 1.5, 95);
        d.chord(bar * 16 + 7, chords[bar % 4], 2.5, 85);
        d.chord(bar * 16 + 12, chords[bar % 4], 1.0, 90);
    }
    return p;
}

ProjectSpec electricKeys() {
    ProjectSpec p;
    p.name = "EPIANOSOUL";
    useStandardMaster(p);
    TrackSpec keys = track("E-Piano", sampler("Soul Piano", {{"EPiano_C3.wav", 48}, {"EPiano_C4.wav", 60}, {"EPiano_C5.wav", 72}},
                                              {{kSmpHold, 0.0f}, {kSmpEnvLevel, 1.0f}, {kSmpRelease, 0.5f},
                                               {kSmpLoop, 1.0f}, {kSmpLevelVelocity, 0.7f}}),
                           82.0f, 0.0f);
    sends(keys, 55.0f, 0.0f, 70.0f);
    eq(keys, 0.05f, -0.1f, 0.1f, 600.0f);
    keys.balls = {ball("Chorus / Hall", 50, 50, {target(1, kMixSend3Level, 0, 120)}, {target(1, kMixSend1Level, 0, 110)}),
                  ball("Tone", 64, 64, {target(1, 12, 20, 100)}, {target(1, 9, 20, 100)}), mixBall(84, 50)};
    TrackSpec bass = track("Bass", sampleBass("Finger Bass", "Bass_E1.wav", 28, 0.85f), 80.0f, 0.0f);
    bass.keyTo = kSplitKey;
    keys.keyFrom = kSplitKey;
    bass.balls = {mixBall(80, 10)};
    p.tracks = {keys, bass};
    Demo d(p.demo, 0);
    // Fmaj9 - Em7 - Dm9 - Cmaj7 in a slow soul feel.
    const std::initializer_list<int> chords[4] = {{57, 60, 64, 67}, {55, 59, 62, 64}, {53, 57, 60, 64}, {52, 55, 59, 64}};
    const int roots[4] = {41, 40, 38, 36};
    for (int bar = 0; bar < 8; ++bar) {
        const int c = bar % 4;
        d.chord(bar * 16, chords[c], 6, 90);
        d.chord(bar * 16 + 6, chords[c], 2, 70);
        d.chord(bar * 16 + 10, chords[c], 5, 85);
        d.note(bar * 16, roots[c], 5, 110);
        d.note(bar * 16 + 6, roots[c] + 12, 1.5, 80);
        d.note(bar * 16 + 10, roots[c] + 7, 4, 95);
    }
    return p;
}

ProjectSpec bellGarden() {
    ProjectSpec p;
    p.name = "BELLPADS";
    useStandardMaster(p);
    p.sends[0] = hall(0.8f, 0.35f);
    TrackSpec pad = track("Pad", sampler("Warm Pad", {{"Pad_C3.wav", 48}, {"Pad_C4.wav", 60}, {"Pad_C5.wav", 72}},
                                         {{kSmpHold, 0.0f}, {kSmpEnvLevel, 1.0f}, {kSmpAttack, 0.45f},
                                          {kSmpRelease, 0.6f}, {kSmpLoop, 1.0f}}),
                          84.0f, -0.2f);
    sends(pad, 70.0f, 0.0f, 60.0f);
    pad.balls = {ball("Space", 50, 50, {target(1, kMixSend1Level, 20, 120)}, {target(1, kMixSend3Level, 0, 120)}),
                 mixBall(78, 60)};
    TrackSpec bells = track("Bells", sampler("Glass Bells", {{"Bell_C4.aif", 60}, {"Bell_C5.aif", 72}, {"Bell_C6.aif", 84}},
                                             {{kSmpLevelVelocity, 0.5f}}),
                            84.0f, 0.25f);
    bells.midiChannel = 3;  // MIDI channel 2: the demonstration's melody
    sends(bells, 60.0f, 55.0f, 0.0f);
    bells.balls = {ball("Echo / Hall", 50, 50, {target(1, kMixSend2Level, 0, 120)}, {target(1, kMixSend1Level, 0, 120)}),
                   mixBall(80, 40)};
    pad.midiChannel = 2;
    p.tracks = {pad, bells};
    Demo chords(p.demo, 0), melody(p.demo, 1);
    const std::initializer_list<int> prog[4] = {{48, 55, 60, 64}, {45, 52, 57, 60}, {41, 48, 53, 57}, {43, 50, 55, 59}};
    for (int c = 0; c < 4; ++c) chords.chord(c * 32, prog[c], 30, 80);
    const int tune[] = {72, 76, 79, 84, 83, 79, 76, 74, 72, 69, 72, 76, 77, 74, 71, 67};
    for (int i = 0; i < 16; ++i) melody.note(i * 8, tune[i], 6, 80 + (i % 4 == 0 ? 30 : 0));
    return p;
}

ProjectSpec pluckArpeggio() {
    ProjectSpec p;
    p.name = "PLUCKARP";
    useStandardMaster(p);
    TrackSpec arp = track("Arp", sampler("Arp Pluck", {{"Pluck_C3.aif", 48}, {"Pluck_C4.aif", 60}, {"Pluck_C5.aif", 72}},
                                         {{kSmpLevelVelocity, 0.4f}, {kSmpFilterOn, 1.0f}, {kSmpFilterFreq, 0.8f},
                                          {kSmpFilterQ, 0.3f}}),
                          90.0f, 0.0f);
    // Up and down over the held chord, an octave extension, in sixteenths.
    arp.arpeggiator = {1.0f, 2.0f, 0.0f, 1.0f, 1.0f, 0.3f, 12.0f, 1.0f, 0.0f, 0.0f};
    sends(arp, 40.0f, 60.0f, 0.0f);
    arp.balls = {ball("Echo / Hall", 50, 50, {target(1, kMixSend2Level, 0, 120)}, {target(1, kMixSend1Level, 0, 110)}),
                 ball("Tone", 60, 50, {target(0, kSmpFilterFreq, 60, 127)}, {target(0, kSmpFilterQ, 0, 90)}),
                 mixBall(84, 50)};
    TrackSpec drums = houseDrums("Beat");
    drums.keyboardOn = 0.0f;
    drums.level = 84.0f;
    p.tracks = {arp, drums};
    Demo d(p.demo, 0);
    const std::initializer_list<int> chords[4] = {{57, 60, 64}, {53, 57, 60}, {55, 59, 62}, {52, 55, 59}};
    for (int c = 0; c < 8; ++c) d.chord(c * 16, chords[c % 4], 15.5, 100);
    return p;
}
}  // namespace

std::vector<ProjectSpec> soundLibrary() {
    return {acidLine(), deepPad(), syncLead(), fmBells(), brassSection(), pwmStrings(), pluckKeys(), wobbleBass(),
            ringSpace(), hooverStab(), houseGroove(), electricKeys(), bellGarden(), pluckArpeggio()};
}

}  // namespace projectgen
