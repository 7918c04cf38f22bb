// The sequencer on the render engine's step clock: note timing in frames at
// 120 BPM and 44100 Hz, pattern selection by controller 0, a synthesizer
// track sounding on its step, and the drum machine's pattern messages both
// ways.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "modulehost/cplugin.h"
#include "modules/drums_module.h"
#include "modules/synth_params.h"
#include "project/project.h"
#include "project/project_loader.h"
#include "tests/host/test_host_fixture.h"
#include "track/instrument.h"

namespace {

constexpr double kStepFrames = 5512.5;  // a sixteenth at 120 BPM, 44100 Hz

struct Engine {
    TestHost host;
    Effect* effect;
    long blockStart = 0;
    std::vector<float> left, right;
    // Note events the probe received, on the timeline from the first block.
    struct Note {
        long frame;
        int status, key, velocity;
    };
    std::vector<Note> notes;

    Engine() {
        effect = new Effect(&TestHost::callback);
        host.time.flags |= kVstTransportPlaying;
    }
    ~Engine() { effect->getAeffect()->dispatcher(effect->getAeffect(), effClose, 0, 0, nullptr, 0.0f); }
    void send(const std::vector<VstMidiEvent>& events) {
        std::vector<VstMidiEvent> storage;
        auto bytes = makeEvents(events, storage);
        effect->getAeffect()->dispatcher(effect->getAeffect(), effProcessEvents, 0, 0, bytes.data(), 0.0f);
    }
    void render(int frames) {
        ProbeInstrument::received.clear();
        renderBlock(*effect, frames, left, right);
        for (const auto& r : ProbeInstrument::received) {
            const int type = r.data[0] & 0xF0;
            if (type == 0x90 || type == 0x80) notes.push_back({blockStart + r.deltaFrames, type, r.data[1], r.data[2]});
        }
        blockStart += frames;
    }
    std::vector<Note> noteOns() const {
        std::vector<Note> out;
        for (const auto& n : notes)
            if (n.status == 0x90 && n.velocity > 0) out.push_back(n);
        return out;
    }
};

long stepFrame(int step) { return static_cast<long>(std::floor(step * kStepFrames)); }

}  // namespace

TEST(SequencerOnTheStepClock, PatternNotesFollowTheStepGridAt120Bpm) {
    Engine e;
    CInstrument& track = addProbeTrack(*e.effect);
    for (int s = 0; s < 16; ++s) track.patterns.patterns[0].notes.push_back({static_cast<float>(s), 0.5f, 60 + s, 100});
    for (int block = 0; block < 60; ++block) e.render(512);  // 30720 frames: steps 0..5

    const auto ons = e.noteOns();
    ASSERT_EQ(ons.size(), 6u);
    for (int s = 0; s < 6; ++s) {
        // Note-ons leave two frames after their step's boundary.
        EXPECT_EQ(ons[static_cast<size_t>(s)].frame, stepFrame(s) + 2) << "step " << s;
        EXPECT_EQ(ons[static_cast<size_t>(s)].key, 60 + s);
    }
    std::vector<long> offs;
    for (const auto& n : e.notes)
        if (n.status == 0x80) offs.push_back(n.frame);
    ASSERT_GE(offs.size(), 5u);
    EXPECT_EQ(offs[0], stepFrame(0) + static_cast<long>(kStepFrames / 2));
    EXPECT_EQ(offs[3], stepFrame(3) + static_cast<long>(kStepFrames / 2));
}

TEST(SequencerOnTheStepClock, NothingPlaysWhileTheTransportStands) {
    Engine e;
    e.host.time.flags &= ~kVstTransportPlaying;
    CInstrument& track = addProbeTrack(*e.effect);
    track.patterns.patterns[0].notes.push_back({0.0f, 1.0f, 60, 100});
    e.effect->playSwitch = 1.0f;
    for (int block = 0; block < 30; ++block) e.render(1024);
    EXPECT_TRUE(e.noteOns().empty());
}

TEST(SequencerOnTheStepClock, ControllerZeroSelectsAPatternOnEveryTrack) {
    Engine e;
    e.host.time.flags &= ~kVstTransportPlaying;
    CInstrument& a = addProbeTrack(*e.effect);
    CInstrument& b = addProbeTrack(*e.effect);
    b.midiChannel = 5;  // selection ignores the tracks' channels
    e.send({midiEvent(0, 0xB0, 0, 3)});
    e.render(256);
    EXPECT_EQ(a.sequencer.selectedPattern(), 3);
    EXPECT_EQ(b.sequencer.selectedPattern(), 3);
    EXPECT_EQ(a.sequencer.currentPattern(), 3);
    e.send({midiEvent(0, 0xB9, 0, 16), midiEvent(0, 0xB0, 0, 127)});
    e.render(256);
    EXPECT_EQ(a.sequencer.selectedPattern(), 3);
    EXPECT_EQ(b.sequencer.selectedPattern(), 3);
}

TEST(SequencerOnTheStepClock, ASelectionWhilePlayingWaitsForThePatternEnd) {
    Engine e;
    CInstrument& track = addProbeTrack(*e.effect);
    for (Pattern& p : track.patterns.patterns) p.lengthSteps = 4.0f;
    track.patterns.patterns[0].notes.push_back({0.0f, 1.0f, 60, 100});
    track.patterns.patterns[5].notes.push_back({0.0f, 1.0f, 65, 100});
    e.render(512);
    e.send({midiEvent(0, 0xB0, 0, 5)});
    for (int block = 0; block < 100; ++block) e.render(512);  // up to step 9

    const auto ons = e.noteOns();
    ASSERT_EQ(ons.size(), 3u);
    EXPECT_EQ(ons[0].key, 60);
    EXPECT_EQ(ons[1].key, 65);
    EXPECT_EQ(ons[1].frame, stepFrame(4) + 2);
    EXPECT_EQ(ons[2].key, 65);
    EXPECT_EQ(ons[2].frame, stepFrame(8) + 2);
}

TEST(SequencerOnTheStepClock, ArpeggiatorPlaysHeldKeysOnTheSteps) {
    Engine e;
    CInstrument& track = addProbeTrack(*e.effect);
    track.arpeggiator[0] = 1.0f;  // on
    track.arpeggiator[1] = 2.0f;  // up and down
    e.send({midiEvent(0, 0x90, 60, 100), midiEvent(0, 0x90, 64, 100), midiEvent(0, 0x90, 67, 100)});
    for (int block = 0; block < 70; ++block) e.render(512);  // steps 0..6

    const auto ons = e.noteOns();
    // The held keys themselves never reach the module: only the arpeggio.
    std::vector<int> keys;
    for (const auto& n : ons) keys.push_back(n.key);
    EXPECT_EQ(keys, (std::vector<int>{60, 64, 67, 67, 64, 60, 60}));
    for (size_t s = 0; s < ons.size(); ++s) EXPECT_EQ(ons[s].frame, stepFrame(static_cast<int>(s)) + 2);
}

TEST(SequencerOnTheStepClock, WithTheTransportStoppedTheArpeggioStillPlaysButPatternsWait) {
    // A musician playing a live arpeggio on a host that is not playing.
    Engine e;
    startEmpty(*e.effect);
    e.host.time.flags &= ~kVstTransportPlaying;
    CInstrument& track = addProbeTrack(*e.effect);
    track.arpeggiator[0] = 1.0f;  // on, up
    track.patterns.patterns[0].notes.push_back({1.0f, 1.0f, 40, 100});  // a pattern note: waits for the transport
    for (int block = 0; block < 10; ++block) e.render(512);  // past step 0
    EXPECT_TRUE(e.noteOns().empty());
    e.send({midiEvent(0, 0x90, 67, 100), midiEvent(0, 0x90, 60, 100), midiEvent(0, 0x90, 64, 100)});
    for (int block = 0; block < 70; ++block) e.render(512);  // through step 7

    // Held from step 1 (the first boundary after the keys) to step 7, in
    // the order pressed, one a step, on the plug-in's own steps.
    const auto ons = e.noteOns();
    std::vector<int> keys;
    for (const auto& n : ons) keys.push_back(n.key);
    EXPECT_EQ(keys, (std::vector<int>{67, 60, 64, 67, 60, 64, 67}));
    for (size_t s = 0; s < ons.size(); ++s) EXPECT_EQ(ons[s].frame, stepFrame(static_cast<int>(s) + 1) + 2) << s;

    // Let go: the arpeggio ends, and a new chord starts again from its first key.
    e.send({midiEvent(0, 0x80, 67, 0), midiEvent(0, 0x80, 60, 0), midiEvent(0, 0x80, 64, 0)});
    for (int block = 0; block < 22; ++block) e.render(512);  // two steps with nothing held
    const size_t before = e.noteOns().size();
    e.send({midiEvent(0, 0x90, 72, 100), midiEvent(0, 0x90, 76, 100)});
    for (int block = 0; block < 22; ++block) e.render(512);
    const auto later = e.noteOns();
    ASSERT_GE(later.size(), before + 2);
    EXPECT_EQ(later[before].key, 72);
    EXPECT_EQ(later[before + 1].key, 76);

    // All Notes Off lets the held keys go: the arpeggio stops at once.
    e.send({midiEvent(0, 0xB0, 123, 0)});
    const size_t atAllOff = e.noteOns().size();
    for (int block = 0; block < 44; ++block) e.render(512);  // four steps
    EXPECT_EQ(e.noteOns().size(), atAllOff);
}

TEST(SequencerOnTheStepClock, StopAllEndsALiveArpeggioWithTheTransportStopped) {
    // The keys a stopped demonstration or Stop all leaves held would keep
    // an arpeggio on the plug-in's own steps going for ever.
    for (const bool byRequest : {false, true}) {
        SCOPED_TRACE(byRequest ? "all notes off request" : "demonstration stopped");
        Engine e;
        startEmpty(*e.effect);
        e.host.time.flags &= ~kVstTransportPlaying;
        CInstrument& track = addProbeTrack(*e.effect);
        track.arpeggiator[0] = 1.0f;
        e.send({midiEvent(0, 0x90, 60, 100), midiEvent(0, 0x90, 64, 100)});
        for (int block = 0; block < 44; ++block) e.render(512);
        ASSERT_GE(e.noteOns().size(), 3u);  // the arpeggio runs
        if (byRequest)
            e.effect->requestAllNotesOff();
        else
            e.effect->requestDemonstration(0);
        e.render(512);
        const size_t atStop = e.noteOns().size();
        for (int block = 0; block < 44; ++block) e.render(512);  // four steps
        EXPECT_EQ(e.noteOns().size(), atStop);
    }
}

TEST(SequencerOnTheStepClock, ABuiltInArpeggioSoundsWithTheTransportStopped) {
    // GLASSHARP arpeggiates held chords; on a host that is not playing, a
    // held chord is heard as one bell onset per arpeggio step.
    Engine e;
    ASSERT_TRUE(loadBuiltInProject(*e.effect, "GLASSHARP"));
    e.host.time.flags &= ~kVstTransportPlaying;
    for (int block = 0; block < 20; ++block) e.render(512);
    e.send({midiEvent(0, 0x90, 60, 100), midiEvent(0, 0x90, 64, 100), midiEvent(0, 0x90, 67, 100)});
    std::vector<float> out;
    for (int block = 0; block < 3 * 44100 / 512; ++block) {
        e.render(512);
        for (size_t i = 0; i < e.left.size(); ++i) out.push_back(0.5f * (e.left[i] + e.right[i]));
    }
    // Onsets: a 10 ms frame above -45 dBFS and 6 dB over the frame before,
    // at least half a step after the onset before.
    // The arpeggio moves every 2^tempo steps.
    const CInstrument& harp = *e.effect->project()->tracks.at(0);
    const double stepFrames = e.effect->samplesPerStep() * (1 << static_cast<int>(harp.arpeggiator[8].load()));
    ASSERT_GT(stepFrames, 1000.0);
    constexpr size_t kFrame = 441;
    std::vector<long> onsets;
    double before = -200.0;
    for (size_t f = 0; f + kFrame <= out.size(); f += kFrame) {
        double sum = 0.0;
        for (size_t i = f; i < f + kFrame; ++i) sum += static_cast<double>(out[i]) * out[i];
        const double db = 10.0 * std::log10(sum / kFrame + 1e-30);
        const bool apart = onsets.empty() || static_cast<double>(f) - static_cast<double>(onsets.back()) > stepFrames / 2;
        if (db > -45.0 && db > before + 6.0 && apart) onsets.push_back(static_cast<long>(f));
        before = db;
    }
    // The arpeggio's steps alternate each key with its octave, and the
    // octave bell often sits under the key's ring: a clear onset comes
    // every one to four steps, always on the step grid, all through the
    // three seconds (with the arpeggio silent, there is none).
    const int steps = static_cast<int>(3.0 * 44100.0 / stepFrames);
    ASSERT_GE(static_cast<int>(onsets.size()), steps / 3);
    for (size_t k = 1; k < onsets.size(); ++k) {
        const double gap = static_cast<double>(onsets[k] - onsets[k - 1]);
        const double inSteps = std::round(gap / stepFrames);
        EXPECT_GE(inSteps, 1.0) << k;
        EXPECT_LE(inSteps, 4.0) << k;
        EXPECT_NEAR(gap, inSteps * stepFrames, static_cast<double>(kFrame)) << k;
    }
}

TEST(SequencerOnTheStepClock, AnArpeggioTakesOnlyTheKeysOfItsRange) {
    // A split keyboard: a root below the arpeggiated track's range is held
    // with a key inside it. The arpeggio (up, each key and its octave)
    // plays only the inside key, whether the transport runs or not.
    for (const bool playing : {true, false}) {
        SCOPED_TRACE(playing ? "transport playing" : "transport stopped");
        Engine e;
        startEmpty(*e.effect);
        if (!playing) e.host.time.flags &= ~kVstTransportPlaying;
        CInstrument& track = addProbeTrack(*e.effect);
        track.lowestKey = 48;
        track.arpeggiator[0] = 1.0f;   // on, up
        track.arpeggiator[3] = 1.0f;   // one extension
        track.arpeggiator[6] = 12.0f;  // an octave apart
        e.send({midiEvent(0, 0x90, 36, 100), midiEvent(0, 0x90, 64, 100)});
        for (int block = 0; block < 70; ++block) e.render(512);
        const auto ons = e.noteOns();
        ASSERT_GE(ons.size(), 5u);
        for (size_t n = 0; n < ons.size(); ++n) EXPECT_EQ(ons[n].key, n % 2 == 0 ? 64 : 76) << n;
    }
}

TEST(SequencerOnTheStepClock, AGatedPatternFollowsOnlyTheKeysOfItsRange) {
    // A gated bass below C3 and a chord played above it: only the root
    // held in the bass's range transposes its pattern.
    Engine e;
    CInstrument& track = addProbeTrack(*e.effect);
    track.keyLimit = 48;
    track.keyboardGated = 1.0f;
    for (int s = 0; s < 16; ++s) track.patterns.patterns[0].notes.push_back({static_cast<float>(s), 0.5f, 36, 100});
    e.send({midiEvent(0, 0x90, 41, 100), midiEvent(0, 0x90, 60, 100), midiEvent(0, 0x90, 67, 100)});
    for (int block = 0; block < 60; ++block) e.render(512);  // steps 0..5
    const auto ons = e.noteOns();
    ASSERT_EQ(ons.size(), 6u);
    for (const auto& n : ons) EXPECT_EQ(n.key, 41);
}

TEST(SequencerOnTheStepClock, SynthTrackSoundsOnItsStepAtThePatternsPitch) {
    Engine e;
    auto owned = std::make_unique<CInstrument>(*e.effect);
    CInstrument& track = *owned;
    ASSERT_TRUE(track.mainSlot().createModule(*e.effect, "\\KavoSynthI.dll", SlotKind::Instrument, &track));
    e.effect->project()->tracks.push_back(std::move(owned));
    // A plain sine with an instant attack.
    track.mainSlot().setParameter(synth::kDcoMix, 0.0f);
    track.mainSlot().setParameter(synth::kOutEnvAttack, 0.0f);
    track.mainSlot().setParameter(synth::kOutEnvSustain, 1.0f);
    track.patterns.patterns[0].notes.push_back({2.0f, 4.0f, 69, 127});

    std::vector<float> out;
    for (int block = 0; block < 60; ++block) {
        e.render(512);
        out.insert(out.end(), e.left.begin(), e.left.end());
    }
    long onset = -1;
    for (size_t i = 0; i < out.size(); ++i)
        if (std::fabs(out[i]) > 1e-4f) {
            onset = static_cast<long>(i);
            break;
        }
    // The note-on is sent two frames after step 2's boundary and a module
    // takes an event with offset d at frame d - 1; the synth's own response
    // may start a little later, but well inside the step.
    EXPECT_GE(onset, stepFrame(2) + 1);
    EXPECT_LT(onset, stepFrame(2) + 256);

    // Pitch from rising zero crossings over the held part.
    const size_t from = static_cast<size_t>(stepFrame(3));
    const size_t to = static_cast<size_t>(stepFrame(5));
    ASSERT_LT(to, out.size());
    size_t first = 0, last = 0;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i)
        if (out[i - 1] < 0.0f && out[i] >= 0.0f) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    ASSERT_GT(crossings, 10);
    const double hz = 44100.0 * (crossings - 1) / static_cast<double>(last - first);
    EXPECT_NEAR(hz, 440.0, 2.0);
}

namespace {

// A drum-slot module that keeps the pattern messages it is sent and can
// report pattern edits the way the drum machine does.
class DrumProbe : public ProbeInstrument {
public:
    explicit DrumProbe(audioMasterCallback audioMaster) : ProbeInstrument(audioMaster) {}
    void setParameter(VstInt32 index, float value) override {
        if (index >= 0x400000) messages.emplace_back(index, value);
    }
    void reportHit(int key, int step, float velocity) {
        setParameterAutomated(0x27c000 + key * 128 + step, 1.0f);
        setParameterAutomated(0x2fc000 + key * 128 + step, velocity);
    }
    static std::vector<std::pair<VstInt32, float>> messages;
};
std::vector<std::pair<VstInt32, float>> DrumProbe::messages;

AudioEffectX* createDrumProbe(audioMasterCallback audioMaster) { return new DrumProbe(audioMaster); }
const ModuleClassEntry kDrumProbeClass{"KavoDrums", &createDrumProbe, true};

}  // namespace

TEST(SequencerOnTheStepClock, DrumSlotsHearOfSelectionsAndEditTheEditPattern) {
    Engine e;
    e.host.time.flags &= ~kVstTransportPlaying;
    auto owned = std::make_unique<CInstrument>(*e.effect);
    CInstrument& track = *owned;
    ASSERT_TRUE(
        track.mainSlot().createModule(*e.effect, "\\KavoDrums.dll", kDrumProbeClass, SlotKind::Instrument, &track));
    e.effect->project()->tracks.push_back(std::move(owned));
    track.patterns.patterns[2].notes.push_back({4.0f, 1.0f, 36, 99});

    DrumProbe::messages.clear();
    track.selectPattern(2);
    ASSERT_GE(DrumProbe::messages.size(), 5u);
    EXPECT_EQ(DrumProbe::messages[0], std::make_pair(0x500002, 2.0f));
    EXPECT_EQ(DrumProbe::messages[1], std::make_pair(0x500009, 2.0f));
    EXPECT_EQ(DrumProbe::messages[2], std::make_pair(0x500004, 0.0f));
    EXPECT_EQ(DrumProbe::messages[3], std::make_pair(0x400000 + 4 + 128 * 36, 1.0f));
    EXPECT_EQ(DrumProbe::messages[4], std::make_pair(0x480000 + 4 + 128 * 36, 99.0f));

    auto* drum = static_cast<DrumProbe*>(static_cast<AudioEffect*>(track.mainSlot().effect()->object));
    drum->reportHit(38, 6, 80.0f);
    drum->reportHit(42, 1, 127.0f);
    const auto& edit = track.patterns.editPattern.notes;
    ASSERT_EQ(edit.size(), 2u);
    EXPECT_EQ(edit[0].key, 42);
    EXPECT_FLOAT_EQ(edit[0].position, 1.0f);
    EXPECT_EQ(edit[1].key, 38);
    EXPECT_EQ(edit[1].velocity, 80);

    // A non-drum track ignores edits and is sent nothing.
    DrumProbe::messages.clear();
    CInstrument& plain = addProbeTrack(*e.effect);
    plain.selectPattern(4);
    EXPECT_TRUE(DrumProbe::messages.empty());
}

TEST(SequencerOnTheStepClock, DrumMachineLearnsTheShortNamesOfTheSendsItFeeds) {
    Engine e;
    Project& project = *e.effect->project();
    ASSERT_TRUE(project.sendSlots[0].createModule(*e.effect, "\\PluginEffects\\KavoReverb.dll", SlotKind::Effect,
                                                  nullptr));
    ASSERT_TRUE(project.sendSlots[1].createModule(*e.effect, "\\PluginEffects\\KavoDelay.dll", SlotKind::Effect,
                                                  nullptr));
    auto owned = std::make_unique<CInstrument>(*e.effect);
    CInstrument& track = *owned;
    ASSERT_TRUE(track.mainSlot().createModule(*e.effect, "\\PluginInstruments\\KavoDrums.dll", SlotKind::Instrument,
                                              &track));
    project.tracks.push_back(std::move(owned));
    auto* drums = static_cast<EffectDrums*>(static_cast<AudioEffect*>(track.mainSlot().effect()->object));

    track.sendOn[0] = 1.0f;
    track.selectPattern(1);
    EXPECT_STREQ(drums->sendShortName(0), project.sendSlots[0].shortName());
    EXPECT_STRNE(drums->sendShortName(0), "");
    EXPECT_STREQ(drums->sendShortName(1), "");  // send 2 is off

    track.sendOn[0] = 0.0f;
    track.sendOn[1] = 1.0f;
    track.selectPattern(2);
    EXPECT_STREQ(drums->sendShortName(0), "");
    EXPECT_STREQ(drums->sendShortName(1), project.sendSlots[1].shortName());
}

// Automation lanes read from project text or a chunk may hold NaN or huge
// values: the MIDI lanes send them clamped to 0..127 (NaN as 0) and the mix
// lanes keep the track's level and pan finite and inside their ranges.
TEST(SequencerOnTheStepClock, LaneValuesOutOfRangeAreClampedBeforeTheyPlay) {
    Engine e;
    CInstrument& track = addProbeTrack(*e.effect);
    const float nan = std::nanf("");
    const float values[] = {nan, 1e30f, -1e30f, 64.5f, std::numeric_limits<float>::infinity()};
    for (int i = 0; i < 5; ++i) {
        track.midiParameter(1).lanes[0].push_back({static_cast<float>(i), values[i]});
        track.mixParameter(0).lanes[0].push_back({static_cast<float>(i), values[i]});
        track.mixParameter(1).lanes[0].push_back({static_cast<float>(i), -values[i]});
    }
    track.patterns.patterns[0].notes.push_back({0.0f, 8.0f, 60, 100});
    std::vector<int> wheel;
    std::vector<std::pair<float, float>> levelPan;
    for (int block = 0; block < 64; ++block) {  // 32768 frames: steps 0..5
        ProbeInstrument::received.clear();
        renderBlock(*e.effect, 512, e.left, e.right);
        for (const auto& r : ProbeInstrument::received)
            if ((r.data[0] & 0xF0) == 0xB0 && r.data[1] == 1) wheel.push_back(r.data[2]);
        levelPan.emplace_back(track.level.load(), track.pan.load());
        for (size_t i = 0; i < e.left.size(); ++i) {
            ASSERT_TRUE(std::isfinite(e.left[i]) && std::isfinite(e.right[i])) << "block " << block;
        }
    }
    EXPECT_EQ(wheel, (std::vector<int>{0, 127, 0, 64, 127}));
    for (const auto& [level, pan] : levelPan) {
        EXPECT_TRUE(std::isfinite(level) && level >= 0.0f && level <= 127.0f) << level;
        EXPECT_TRUE(std::isfinite(pan) && pan >= -1.0f && pan <= 1.0f) << pan;
    }
}
