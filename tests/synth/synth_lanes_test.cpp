// The fast voice path (four voices per SSE2 vector or eight per AVX2 vector,
// control updates with shortcuts) against the reference path (one voice at a
// time, every control update in full): the same patches and the same MIDI
// must give the same samples, bit for bit. Every path does the same
// single-precision operations in the same order, so the tolerance is zero.
// Each performance runs once per lane width.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <algorithm>
#include <cmath>
#include <random>

#include "common/portable_math.h"
#include "modules/synth_voice_lanes.h"
#include "tests/synth/synth_test_host.h"

namespace {

using namespace synth;
using synth_test::SynthHost;

// The lane width a test runs with (the test's parameter).
int testedWidth = kLanes;

bool widthAvailable(int width) { return width == kLanes || widestLanes() == width; }

// A pair of synths, one rendering the reference way, driven alike; the
// fast one renders its lanes at the tested width.
class Pair {
public:
    explicit Pair(const char* key, float rate = 44100.0f) : fast_(key, rate), reference_(key, rate) {
        reference_.synth().setReferenceRendering(true);
        fast_.synth().setLaneWidth(testedWidth);
        EXPECT_EQ(fast_.synth().laneWidth(), testedWidth);
    }
    void set(int index, float value) {
        fast_.set(index, value);
        reference_.set(index, value);
    }
    void send(const std::vector<SynthHost::Midi>& events) {
        fast_.send(events);
        reference_.send(events);
    }
    // Renders one block on both; the first differing sample, or -1.
    int renderAndCompare(int frames) {
        std::vector<float> fr, rr;
        const std::vector<float> fl = fast_.render(frames, &fr, frames);
        const std::vector<float> rl = reference_.render(frames, &rr, frames);
        for (int i = 0; i < frames; ++i) {
            const size_t k = static_cast<size_t>(i);
            if (std::memcmp(&fl[k], &rl[k], sizeof(float)) != 0 || std::memcmp(&fr[k], &rr[k], sizeof(float)) != 0)
                return i;
            energy_ += static_cast<double>(fl[k]) * fl[k];
        }
        return -1;
    }
    double energy() const { return energy_; }
    SynthHost& fast() { return fast_; }

private:
    SynthHost fast_;
    SynthHost reference_;
    double energy_ = 0.0;
};

// Plays a random performance of `seconds` on the pair in blocks of varied
// length; events fall anywhere inside the blocks. Fails at the first sample
// that differs.
void playAndCompare(Pair& pair, std::mt19937& rng, double seconds, int lowNote, int highNote,
                    const std::string& what) {
    const int blockSizes[] = {1, 7, 16, 33, 64, 100, 512};
    std::uniform_int_distribution<int> pick(0, 6), note(lowNote, highNote), value(0, 127), dice(0, 99);
    int rendered = 0;
    const int total = static_cast<int>(seconds * 44100.0);
    while (rendered < total) {
        const int frames = blockSizes[pick(rng)];
        std::vector<SynthHost::Midi> events;
        const int count = dice(rng) < 70 ? 1 + dice(rng) % 3 : 0;
        for (int e = 0; e < count; ++e) {
            const int delta = frames > 1 ? dice(rng) % frames : 0;
            const int d = dice(rng);
            if (d < 45)
                events.push_back({delta, 0x90, note(rng), 1 + value(rng) % 127});
            else if (d < 85)
                events.push_back({delta, 0x80, note(rng), 0});
            else if (d < 89)
                events.push_back({delta, 0xB0, 1, value(rng)});  // modulation wheel
            else if (d < 93)
                events.push_back({delta, 0xB0, 64, value(rng)});  // pedal
            else if (d < 97)
                events.push_back({delta, 0xE0, 0, value(rng)});   // pitch bend
            else
                events.push_back({delta, 0xB0, 123, 0});
        }
        // Events arrive in frame order.
        std::sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.delta < b.delta; });
        pair.send(events);
        const int at = pair.renderAndCompare(frames);
        ASSERT_EQ(at, -1) << what << ": first difference at frame " << rendered + at;
        rendered += frames;
    }
}

// Every parameter of part `part` at random; the selectors and switches land
// on their states with the odds of a uniform value. Some waves only sound at
// exactly 1 (DCO1 noise, DCO2 frequency modulation): given a chance of their own.
void randomPatch(Pair& pair, std::mt19937& rng, int base) {
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int p = 0; p < kPartParams; ++p) pair.set(base + p, u(rng));
    if (u(rng) < 0.15f) pair.set(base + kDco1Wave, 1.0f);
    if (u(rng) < 0.15f) pair.set(base + kDco2Wave, 1.0f);
    // Audible: a level above the floor, both oscillators in the mix.
    pair.set(base + kOutLevel, 0.6f + 0.3f * u(rng));
    pair.set(base + kOutEnvRelease, 0.5f * u(rng));
}

class SynthLanes : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        testedWidth = GetParam();
        if (!widthAvailable(testedWidth)) GTEST_SKIP() << "this processor has no AVX2";
    }
    void TearDown() override { testedWidth = kLanes; }
};

TEST_P(SynthLanes, RandomPatchesSoundBitForBitLikeTheReferencePath) {
    std::mt19937 rng(1234);
    uint64_t laneRuns = 0;
    for (int patch = 0; patch < 40; ++patch) {
        Pair pair("KavoSynthI");
        randomPatch(pair, rng, 0);
        pair.set(kMonoMode, patch % 5 == 4 ? 1.0f : 0.0f);
        playAndCompare(pair, rng, 1.0, 36, 84, "patch " + std::to_string(patch));
        if (HasFatalFailure()) return;
        EXPECT_GT(pair.energy(), 0.0) << "patch " << patch << " made no sound";
        laneRuns += pair.fast().synth().laneVoiceRuns();
    }
    // The comparison means something only if the lanes did render.
    EXPECT_GT(laneRuns, 100000u);
}

TEST_P(SynthLanes, FlavourTwoPartsOfMixedShapesSoundLikeTheReferencePath) {
    std::mt19937 rng(99);
    uint64_t laneRuns = 0;
    for (int kit = 0; kit < 6; ++kit) {
        Pair pair("KavoSynthII");
        for (int part = 0; part < kMaxParts; ++part) randomPatch(pair, rng, part * kPartParams);
        playAndCompare(pair, rng, 1.0, 36, 51, "kit " + std::to_string(kit));
        if (HasFatalFailure()) return;
        EXPECT_GT(pair.energy(), 0.0);
        laneRuns += pair.fast().synth().laneVoiceRuns();
    }
    EXPECT_GT(laneRuns, 10000u);
}

// A held chord of the common kind (two saws, four-pole low pass, LFO on the
// pulse and cutoff), with releases that end inside a control run, hard sync
// and key sync switched on part of the time.
TEST_P(SynthLanes, HeldChordsWithSyncAndReleasesSoundLikeTheReferencePath) {
    for (int variant = 0; variant < 4; ++variant) {
        Pair pair("KavoSynthI");
        pair.set(kDco1Wave, 0.25f);
        pair.set(kDco2Wave, variant == 3 ? 0.8f : 0.5f);  // pulse, or ring modulation
        pair.set(kDco2Fine, 0.55f);
        pair.set(kDcoMix, 0.5f);
        pair.set(kDcoSynchro, variant == 1 ? 1.0f : 0.0f);
        pair.set(kDco1Sync, variant == 2 ? 1.0f : 0.0f);
        pair.set(kDco2Sync, variant == 2 ? 1.0f : 0.0f);
        pair.set(kDco1EnvFreq, variant == 1 ? 0.7f : 0.5f);
        pair.set(kDco2OutputEnv, variant == 3 ? 1.0f : 0.0f);
        pair.set(kDco2LfoPulse, 0.34f);
        pair.set(kLfo1Depth, 0.5f);
        pair.set(kLfo1Rate, 0.5f);
        pair.set(kFilterLfoFrequency, 0.34f);
        pair.set(kFilterDco1, 1.0f);
        pair.set(kFilterDco2, variant == 2 ? 0.0f : 1.0f);
        pair.set(kFilterPente, variant == 0 ? 1.0f : 0.0f);
        pair.set(kFilterQ, 0.7f);
        pair.set(kFilterEnvelop, 0.8f);
        pair.set(kOutEnvRelease, 0.05f);  // short: ends mid-run
        std::vector<SynthHost::Midi> chord;
        for (int i = 0; i < 16; ++i) chord.push_back({i * 3, 0x90, 40 + 3 * i, 60 + 4 * i});
        pair.send(chord);
        for (int b = 0; b < 40; ++b) ASSERT_EQ(pair.renderAndCompare(256), -1) << "variant " << variant;
        std::vector<SynthHost::Midi> release;
        for (int i = 0; i < 16; ++i) release.push_back({i * 11, 0x80, 40 + 3 * i, 0});
        pair.send(release);
        for (int b = 0; b < 40; ++b) ASSERT_EQ(pair.renderAndCompare(100), -1) << "variant " << variant;
        // Silence in blocks of odd length (the fast path passes them without
        // running the voices), then the chord again: its control ticks must
        // fall on the same frames.
        for (int b = 0; b < 37; ++b) ASSERT_EQ(pair.renderAndCompare(77), -1) << "variant " << variant;
        ASSERT_FALSE(pair.fast().synth().voice(0).sounding());
        pair.send(chord);
        for (int b = 0; b < 20; ++b) ASSERT_EQ(pair.renderAndCompare(256), -1) << "variant " << variant;
        EXPECT_GT(pair.energy(), 1.0);
        const EffectSynth& fast = pair.fast().synth();
        EXPECT_GT(fast.laneVoiceRuns(), 5000u) << "variant " << variant;
        // The groups fill the lanes: a 16-note chord makes groups of the full width.
        EXPECT_GT(static_cast<double>(fast.laneVoiceRuns()) / static_cast<double>(fast.laneGroupRuns()),
                  0.75 * testedWidth)
            << "variant " << variant;
    }
}

// Noise and frequency modulation in chords: every noise voice draws from the
// module's one generator, between the control updates' draws (sample-and-hold
// LFOs) and those of voices still on the one-voice loop (releases ending
// inside a run), in voice order. Key sync pending on both oscillators.
TEST_P(SynthLanes, NoiseAndFrequencyModulationChordsSoundLikeTheReferencePath) {
    for (int variant = 0; variant < 6; ++variant) {
        Pair pair("KavoSynthI");
        const bool noise = variant % 3 != 1, fm = variant % 3 != 0;
        pair.set(kDco1Wave, noise ? 1.0f : 0.25f * static_cast<float>(variant % 4));
        pair.set(kDco2Wave, fm ? 1.0f : 0.75f);  // FM, or ring modulation of the noise
        pair.set(kDco2Pulse, 0.3f);
        pair.set(kDco2LfoPulse, 0.34f);
        pair.set(kDco2Fine, 0.56f);
        pair.set(kDcoMix, 0.5f);
        pair.set(kDcoSynchro, variant == 2 ? 1.0f : 0.0f);
        pair.set(kDco1Sync, variant >= 3 ? 1.0f : 0.0f);
        pair.set(kDco2Sync, variant >= 3 ? 1.0f : 0.0f);
        pair.set(kLfo1Wave, variant == 4 ? 1.0f : 0.5f);  // sample and hold draws too
        pair.set(kLfo1Depth, 0.6f);
        pair.set(kLfo1Rate, 0.6f);
        pair.set(kLfo1Sync, 1.0f);
        pair.set(kFilterDco1, 1.0f);
        pair.set(kFilterDco2, variant == 5 ? 0.0f : 1.0f);
        pair.set(kFilterPente, variant % 2 == 0 ? 1.0f : 0.0f);
        pair.set(kFilterQ, 0.5f);
        pair.set(kOutEnvRelease, 0.05f + 0.05f * static_cast<float>(variant));
        std::vector<SynthHost::Midi> chord;
        for (int i = 0; i < 12; ++i) chord.push_back({i * 7, 0x90, 38 + 4 * i, 40 + 7 * i});
        pair.send(chord);
        for (int b = 0; b < 30; ++b) ASSERT_EQ(pair.renderAndCompare(128 + b), -1) << "variant " << variant;
        // Releases at odd frames, one new note among them.
        std::vector<SynthHost::Midi> release;
        for (int i = 0; i < 12; i += 2) release.push_back({i * 13 + 1, 0x80, 38 + 4 * i, 0});
        release.push_back({97, 0x90, 41, 100});
        pair.send(release);
        for (int b = 0; b < 60; ++b) ASSERT_EQ(pair.renderAndCompare(61), -1) << "variant " << variant;
        std::vector<SynthHost::Midi> rest;
        for (int i = 1; i < 12; i += 2) rest.push_back({i * 3, 0x80, 38 + 4 * i, 0});
        rest.push_back({40, 0x80, 41, 0});
        pair.send(rest);
        for (int b = 0; b < 60; ++b) ASSERT_EQ(pair.renderAndCompare(45), -1) << "variant " << variant;
        EXPECT_GT(pair.energy(), 1.0) << "variant " << variant;
        EXPECT_GT(pair.fast().synth().laneVoiceRuns(), 4000u) << "variant " << variant;
    }
}

// Chords of every size up to the polyphony: groups that leave lanes empty
// (5 voices in eight lanes, 13 in two groups), voices released one by one
// at odd frames so that the group sizes change from run to run.
TEST_P(SynthLanes, ChordsOfEverySizeSoundLikeTheReferencePath) {
    std::mt19937 rng(7);
    for (int notes = 1; notes <= 16; ++notes) {
        Pair pair("KavoSynthI");
        pair.set(kDco1Wave, notes % 2 == 0 ? 0.25f : 0.5f);
        pair.set(kDco2Wave, 0.5f);
        pair.set(kDco2Fine, 0.53f);
        pair.set(kFilterDco1, 1.0f);
        pair.set(kFilterDco2, 1.0f);
        pair.set(kFilterPente, notes % 3 == 0 ? 0.0f : 1.0f);
        pair.set(kFilterQ, 0.6f);
        pair.set(kOutEnvAttack, 0.1f);
        pair.set(kOutEnvRelease, 0.2f);
        std::vector<SynthHost::Midi> chord;
        for (int i = 0; i < notes; ++i) chord.push_back({i * 5, 0x90, 36 + 4 * i, 50 + 4 * i});
        pair.send(chord);
        for (int b = 0; b < 12; ++b) ASSERT_EQ(pair.renderAndCompare(333), -1) << notes << " notes";
        std::uniform_int_distribution<int> at(0, 99);
        for (int i = 0; i < notes; ++i) {
            pair.send({{at(rng), 0x80, 36 + 4 * i, 0}});
            ASSERT_EQ(pair.renderAndCompare(100), -1) << notes << " notes, " << i << " released";
        }
        for (int b = 0; b < 20; ++b) ASSERT_EQ(pair.renderAndCompare(512), -1) << notes << " notes, tails";
        EXPECT_GT(pair.energy(), 1.0) << notes << " notes";
        // A lone voice is rendered by the one-voice loop, groups in lanes.
        if (notes == 1)
            EXPECT_EQ(pair.fast().synth().laneVoiceRuns(), 0u);
        else
            EXPECT_GT(pair.fast().synth().laneVoiceRuns(), static_cast<uint64_t>(notes) * 200u) << notes << " notes";
    }
}

// The lane renderers directly against renderVoice(), voice states drawn at
// random (envelopes in every stage, filter histories down to the denormal
// guard, drives that clip): every group size from one voice to the full
// width, every run length up to a control period, twenty runs in a row so
// that the state written back is what the next run reads.
struct RandomVoices {
    PartCoefficients parts[2];
    std::vector<Voice> voices;
    std::vector<int> partOf;
};

RandomVoices randomVoices(std::mt19937& rng, int count, const LaneShape& shape) {
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    RandomVoices r;
    for (PartCoefficients& p : r.parts) {
        p.osc[0].wave = shape.wave1;
        p.osc[1].wave = shape.wave2;
        p.osc[0].useDcoEnvelope = shape.dco1Env;
        p.osc[1].useDcoEnvelope = shape.dco2Env;
        p.osc[0].throughFilter = shape.filter1;
        p.osc[1].throughFilter = shape.filter2;
        p.fourPole = shape.fourPole;
        p.hardSync = shape.hardSync;
        p.dcoEnvelopeNeeded = shape.dcoEnvNeeded;
        for (EnvelopeRates* e : {&p.outputEnv, &p.dcoEnv}) {
            e->attackIncrement = 0.2f * u(rng);
            e->decayFactor = 0.9f + 0.1f * u(rng);
            e->sustain = u(rng);
            e->releaseFactor = 0.95f + 0.05f * u(rng);
        }
    }
    const dsp::DspTables& t = dsp::dspTables();
    while (static_cast<int>(r.voices.size()) < count) {
        Voice v;
        const int part = static_cast<int>(u(rng) * 2.0f) & 1;
        v.gate = u(rng) < 0.7f;
        for (OscillatorState& o : v.osc) {
            o.phase = std::min(u(rng) * 16384.0f, 16383.0f);
            o.currentIncrement = u(rng) < 0.8f ? 400.0f * u(rng) : 8000.0f * u(rng);
            o.pulseWidth = 0.01f + 0.99f * u(rng);
            o.drive = 3.0f * u(rng);
            o.mix = u(rng);
            o.previousRaw = u(rng) - 0.5f;
            o.keySyncPending = u(rng) < 0.25f;
        }
        v.fmDepth = u(rng) < 0.2f ? 0.0f : u(rng);
        for (Envelope* e : {&v.outputEnv, &v.dcoEnv}) {
            e->stage = static_cast<int>(u(rng) * 5.0f) % 5;
            e->level = u(rng) < 0.1f ? 1.0f : std::max(u(rng), kEnvelopeFloor);
        }
        if (!v.gate) v.outputEnv.stage = kRelease;
        v.gainLeft = u(rng);
        v.gainRight = u(rng);
        v.filterCoefficients = dsp::designBiquad(t, static_cast<int>(u(rng) * 16383.0f),
                                                 static_cast<int>(u(rng) * 16383.0f),
                                                 static_cast<dsp::FilterMode>(static_cast<int>(u(rng) * 3.0f) % 3));
        for (dsp::BiquadSection* b : {&v.filter.first, &v.filter.second}) {
            const float scale = u(rng) < 0.3f ? 1e-9f : 0.5f;
            b->x1 = scale * (u(rng) - 0.5f);
            b->x2 = scale * (u(rng) - 0.5f);
            b->y1 = u(rng) < 0.2f ? 0.0f : scale * (u(rng) - 0.5f);
            b->y2 = scale * (u(rng) - 0.5f);
        }
        if (!laneEligible(v, r.parts[part], kControlPeriod)) continue;
        r.voices.push_back(v);
        r.partOf.push_back(part);
    }
    return r;
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof(float)) == 0; }

// Everything of a voice the lanes read or write.
bool sameState(const Voice& a, const Voice& b) {
    auto section = [](const dsp::BiquadSection& x, const dsp::BiquadSection& y) {
        return sameBits(x.x1, y.x1) && sameBits(x.x2, y.x2) && sameBits(x.y1, y.y1) && sameBits(x.y2, y.y2);
    };
    return sameBits(a.osc[0].phase, b.osc[0].phase) && sameBits(a.osc[1].phase, b.osc[1].phase) &&
           sameBits(a.osc[1].previousRaw, b.osc[1].previousRaw) && sameBits(a.fmDepth, b.fmDepth) &&
           a.osc[0].keySyncPending == b.osc[0].keySyncPending && a.osc[1].keySyncPending == b.osc[1].keySyncPending &&
           sameBits(a.outputEnv.level, b.outputEnv.level) &&
           a.outputEnv.stage == b.outputEnv.stage && sameBits(a.dcoEnv.level, b.dcoEnv.level) &&
           a.dcoEnv.stage == b.dcoEnv.stage && section(a.filter.first, b.filter.first) &&
           section(a.filter.second, b.filter.second);
}

// Lone voices take the one-voice loop, noise voices too, with the values
// drawn for them in voice order before any voice renders: a monophonic
// noise patch whose sample-and-hold LFO draws between them, and a kit
// where a noise part stands alone among parts of other shapes.
TEST_P(SynthLanes, LoneNoiseVoicesSoundLikeTheReferencePath) {
    for (int variant = 0; variant < 3; ++variant) {
        Pair pair("KavoSynthI");
        pair.set(kDco1Wave, 1.0f);  // noise
        pair.set(kDco2Wave, 0.25f * static_cast<float>(variant + 1));
        pair.set(kDcoMix, 0.4f);
        pair.set(kLfo1Wave, 1.0f);  // sample and hold
        pair.set(kLfo1Depth, 0.7f);
        pair.set(kLfo1Rate, 0.7f);
        pair.set(kFilterLfoFrequency, 0.34f);
        pair.set(kFilterDco1, 1.0f);
        pair.set(kFilterQ, 0.6f);
        pair.set(kOutEnvRelease, 0.1f);
        pair.set(kMonoMode, variant == 2 ? 0.0f : 1.0f);
        std::mt19937 rng(31 + variant);
        playAndCompare(pair, rng, 1.5, 40, variant == 2 ? 40 : 70, "variant " + std::to_string(variant));
        if (HasFatalFailure()) return;
        EXPECT_GT(pair.energy(), 1.0) << "variant " << variant;
        EXPECT_EQ(pair.fast().synth().laneVoiceRuns(), 0u) << "variant " << variant;
    }
    std::mt19937 rng(77);
    Pair kit("KavoSynthII");
    for (int part = 0; part < kMaxParts; ++part) {
        randomPatch(kit, rng, part * kPartParams);
        if (part != 5) kit.set(part * kPartParams + kDco1Wave, 0.5f);  // pulse everywhere else
        kit.set(part * kPartParams + kLfo1Wave, 1.0f);
    }
    kit.set(5 * kPartParams + kDco1Wave, 1.0f);
    playAndCompare(kit, rng, 2.0, 36, 51, "kit");
    EXPECT_GT(kit.energy(), 0.0);
}

// The one-voice loop given the noise values takes them in place of its own
// draws, for every second wave, and leaves the generator alone.
TEST(SynthVoice, NoiseGivenIsNoiseDrawn) {
    for (int wave2 = 0; wave2 <= 4; ++wave2) {
        PartCoefficients part;
        part.osc[0].wave = 4;
        part.osc[1].wave = wave2;
        part.osc[0].throughFilter = true;
        part.outputEnv = {0.01f, 0.999f, 0.5f, 0.999f};
        Voice drawing;
        drawing.gate = true;
        drawing.outputEnv.stage = kAttack;
        drawing.osc[0].currentIncrement = 120.0f;
        drawing.osc[1].currentIncrement = 333.0f;
        drawing.osc[0].drive = drawing.osc[1].drive = 1.0f;
        drawing.osc[0].mix = drawing.osc[1].mix = 0.7f;
        drawing.gainLeft = 0.9f;
        drawing.gainRight = 0.4f;
        drawing.filterCoefficients = dsp::designBiquad(dsp::dspTables(), 4000, 3000, dsp::FilterMode::LowPass);
        Voice given = drawing;
        dsp::Random15 random(17), untouched(555);
        for (int run = 0; run < 50; ++run) {
            const int frames = 1 + run % kControlPeriod;
            dsp::Random15 draws = random;
            float noise[kControlPeriod];
            for (int n = 0; n < frames; ++n) noise[n] = draws.nextBipolar();
            float l1[kControlPeriod] = {}, r1[kControlPeriod] = {}, l2[kControlPeriod] = {}, r2[kControlPeriod] = {};
            ASSERT_TRUE(renderVoice(drawing, part, l1, r1, frames, random));
            const dsp::Random15 before = untouched;
            ASSERT_TRUE(renderVoice(given, part, l2, r2, frames, untouched, noise));
            dsp::Random15 a = before, b = untouched, c = draws, d = random;
            ASSERT_EQ(a.next(), b.next()) << "the given noise drew from the generator";
            ASSERT_EQ(c.next(), d.next()) << "the drawing voice drew other than once a frame";
            for (int n = 0; n < frames; ++n)
                ASSERT_TRUE(std::memcmp(&l1[n], &l2[n], sizeof(float)) == 0 &&
                            std::memcmp(&r1[n], &r2[n], sizeof(float)) == 0)
                    << "wave " << wave2 << " run " << run << " frame " << n;
            ASSERT_NE(l1[0], 0.0f);
        }
    }
}

// An envelope that sustains (or idles) under a held note is clamped once
// and not stepped: it must sound as one stepped every frame that does not
// move (a decay by a factor of one toward a sustain it never reaches), out
// of range levels included.
TEST(SynthVoice, HeldEnvelopesSoundAsEnvelopesSteppedInPlace) {
    for (float level : {0.5f, 1.7f, 0.0f, -0.3f, 1.0f, kEnvelopeFloor}) {
        for (int held : {kSustain, kIdle}) {
            PartCoefficients part;
            part.osc[0].wave = 1;
            part.osc[1].wave = 0;
            part.osc[0].useDcoEnvelope = true;
            part.osc[1].envFreqExponent = 0.2f;
            part.dcoEnvelopeNeeded = true;
            part.osc[1].throughFilter = true;
            part.outputEnv = {0.0f, 1.0f, -1.0f, 1.0f};
            part.dcoEnv = part.outputEnv;
            Voice holding;
            holding.gate = true;
            holding.osc[0].currentIncrement = 200.0f;
            holding.osc[1].currentIncrement = 50.0f;
            holding.osc[0].drive = holding.osc[1].drive = 1.0f;
            holding.osc[0].mix = holding.osc[1].mix = 0.6f;
            holding.gainLeft = holding.gainRight = 0.8f;
            holding.filterCoefficients = dsp::designBiquad(dsp::dspTables(), 5000, 2000, dsp::FilterMode::LowPass);
            holding.outputEnv = {level, held};
            holding.dcoEnv = {level * 0.5f, held};
            Voice stepping = holding;
            stepping.outputEnv.stage = kDecay;
            stepping.dcoEnv.stage = kDecay;
            dsp::Random15 r1, r2;
            for (int run = 0; run < 8; ++run) {
                const int frames = 1 + (run * 5) % kControlPeriod;
                float a[2][kControlPeriod] = {}, b[2][kControlPeriod] = {};
                ASSERT_TRUE(renderVoice(holding, part, a[0], a[1], frames, r1));
                ASSERT_TRUE(renderVoice(stepping, part, b[0], b[1], frames, r2));
                ASSERT_EQ(std::memcmp(a, b, sizeof(a)), 0) << "level " << level << " stage " << held;
                ASSERT_TRUE(sameBits(holding.outputEnv.level, stepping.outputEnv.level));
                ASSERT_TRUE(sameBits(holding.dcoEnv.level, stepping.dcoEnv.level));
                EXPECT_EQ(holding.outputEnv.stage, held);
            }
        }
    }
}

TEST_P(SynthLanes, GroupsOfEverySizeMatchTheOneVoiceLoopSampleForSample) {
    const int width = GetParam();
    std::mt19937 rng(2024 + width);
    // Waves 0 .. 4: noise on DCO1 and frequency modulation on DCO2 included.
    std::uniform_int_distribution<int> wave(0, 4), coin(0, 1), runFrames(1, kControlPeriod);
    int compared = 0, syncsDone = 0;
    for (int trial = 0; trial < 300; ++trial) {
        LaneShape shape;
        shape.wave1 = wave(rng);
        shape.wave2 = wave(rng);
        shape.dco1Env = coin(rng) != 0;
        shape.dco2Env = coin(rng) != 0;
        shape.filter1 = coin(rng) != 0;
        shape.filter2 = coin(rng) != 0;
        shape.fourPole = coin(rng) != 0;
        shape.hardSync = coin(rng) != 0;
        shape.dcoEnvNeeded = shape.dco1Env || shape.dco2Env || coin(rng) != 0;
        const int count = 1 + trial % width;
        RandomVoices reference = randomVoices(rng, count, shape);
        RandomVoices lanes = reference;
        // One generator for the group, drawn in voice order, as the module's.
        dsp::Random15 random(static_cast<uint32_t>(trial) * 7919u + 1u);
        dsp::Random15 laneRandom = random;
        for (int run = 0; run < 20; ++run) {
            const int frames = runFrames(rng);
            float expectL[kMaxLanes][kControlPeriod] = {}, expectR[kMaxLanes][kControlPeriod] = {};
            for (int l = 0; l < count; ++l) {
                syncsDone += reference.voices[l].osc[1].keySyncPending ? 1 : 0;
                ASSERT_TRUE(renderVoice(reference.voices[l], reference.parts[reference.partOf[l]], expectL[l],
                                        expectR[l], frames, random));
                syncsDone -= reference.voices[l].osc[1].keySyncPending ? 1 : 0;
            }
            float noise[kMaxLanes][kControlPeriod];
            for (int l = 0; l < count; ++l)
                for (int n = 0; n < frames; ++n) noise[l][n] = shape.wave1 == 4 ? laneRandom.nextBipolar() : 0.0f;
            // Fresh buffers full of NaN: the lanes must write every frame.
            float gotL[kMaxLanes][kControlPeriod], gotR[kMaxLanes][kControlPeriod];
            std::fill_n(&gotL[0][0], kMaxLanes * kControlPeriod, std::nanf(""));
            std::fill_n(&gotR[0][0], kMaxLanes * kControlPeriod, std::nanf(""));
            Voice* group[kMaxLanes];
            const PartCoefficients* parts[kMaxLanes];
            float* left[kMaxLanes];
            float* right[kMaxLanes];
            const float* noiseOf[kMaxLanes];
            for (int l = 0; l < kMaxLanes; ++l) {
                const int from = l < count ? l : 0;
                noiseOf[l] = noise[from];
                group[l] = &lanes.voices[from];
                parts[l] = &lanes.parts[lanes.partOf[from]];
                left[l] = gotL[from];
                right[l] = gotR[from];
            }
            renderVoiceLanes(group, parts, count, shape, noiseOf, left, right, frames, width);
            dsp::Random15 nextOfLanes = laneRandom, nextOfReference = random;
            ASSERT_EQ(nextOfLanes.next(), nextOfReference.next()) << "trial " << trial << " run " << run;
            for (int l = 0; l < count; ++l) {
                for (int n = 0; n < frames; ++n) {
                    ASSERT_TRUE(sameBits(gotL[l][n], expectL[l][n]) && sameBits(gotR[l][n], expectR[l][n]))
                        << "trial " << trial << " run " << run << " voice " << l << " of " << count << " frame "
                        << n << ": " << gotL[l][n] << " against " << expectL[l][n];
                }
                for (int n = frames; n < kControlPeriod; ++n) ASSERT_TRUE(std::isnan(gotL[l][n]));
                ASSERT_TRUE(sameState(lanes.voices[l], reference.voices[l]))
                    << "trial " << trial << " run " << run << " voice " << l;
                ++compared;
            }
            // Voices may fall out of the lanes' reach on the way (a release
            // nearing the floor); the comparison stops there.
            bool allEligible = true;
            for (int l = 0; l < count; ++l)
                allEligible = allEligible && laneEligible(lanes.voices[l], lanes.parts[lanes.partOf[l]], kControlPeriod);
            if (!allEligible) break;
        }
    }
    EXPECT_GT(compared, 300 * 4);
    // DCO2's key sync did fire inside runs.
    EXPECT_GT(syncsDone, 50);
}

// The fast path keeps the voices that may sound and its lane groups from
// one run to the next; the reference visits every voice on every run. A kit
// whose parts change shape under held notes (waves, filter routing, slope,
// hard sync, envelope routing) must regroup its voices on the run after each
// change: parts that stop sharing a shape leave a group, parts that come to
// share one join it.
TEST_P(SynthLanes, ShapesChangedUnderHeldVoicesSoundLikeTheReferencePath) {
    std::mt19937 rng(4711);
    std::uniform_int_distribution<int> part(0, kMaxParts - 1), which(0, 5), step(0, 3), length(1, 200);
    const int shapeParams[] = {kDco1Wave, kDco2Wave, kFilterDco1, kFilterPente, kDcoSynchro, kDco1OutputEnv};
    Pair kit("KavoSynthII");
    for (int k = 0; k < kMaxParts; ++k) {
        const int base = k * kPartParams;
        kit.set(base + kDco1Wave, 0.5f);
        kit.set(base + kDco2Wave, 0.25f);
        kit.set(base + kDco2Fine, 0.52f + 0.002f * static_cast<float>(k));
        kit.set(base + kFilterDco1, 1.0f);
        kit.set(base + kFilterQ, 0.5f);
        kit.set(base + kOutEnvSustain, 0.8f);
        kit.set(base + kOutLevel, 0.5f);
    }
    std::vector<SynthHost::Midi> all;
    for (int k = 0; k < kMaxParts; ++k) all.push_back({k, 0x90, 36 + k, 100});
    kit.send(all);
    for (int change = 0; change < 300; ++change) {
        // A value of 0 .. 1 in quarters: every wave, switches on and off.
        const int p = shapeParams[which(rng)];
        kit.set(part(rng) * kPartParams + p, 0.25f * static_cast<float>(step(rng)) + (p == kDco1Wave ? 0.0f : 0.1f));
        ASSERT_EQ(kit.renderAndCompare(length(rng)), -1) << "after change " << change;
    }
    EXPECT_GT(kit.energy(), 1.0);
    EXPECT_GT(kit.fast().synth().laneGroupRuns(), 1000u);
}

// Voices leave the set the fast path renders when they fall silent and come
// back with a note; a mode switch rests them all, a program change (MIDI)
// changes the patch under them. Either path must keep the same voices
// sounding and updating.
TEST_P(SynthLanes, VoicesRestingAndComingBackSoundLikeTheReferencePath) {
    std::mt19937 rng(2718);
    std::uniform_int_distribution<int> dice(0, 99), note(40, 70), length(1, 300);
    Pair pair("KavoSynthI");
    randomPatch(pair, rng, 0);
    pair.set(kLfo1Wave, 1.0f);  // sample and hold: the control updates draw
    pair.set(kLfo1Depth, 0.5f);
    pair.set(kOutEnvRelease, 0.02f);  // voices end soon after their release
    uint64_t silentBlocks = 0;
    for (int block = 0; block < 1500; ++block) {
        const int frames = length(rng);
        std::uniform_int_distribution<int> at(0, frames - 1);
        const int d = dice(rng);
        if (d < 3)
            pair.set(kMonoMode, dice(rng) < 50 ? 1.0f : 0.0f);
        else if (d < 5)
            pair.send({{at(rng), 0xC0, dice(rng) < 50 ? 1 : 0, 0}});  // program 1: the default patch
        else if (d < 50)
            pair.send({{at(rng), 0x90, note(rng), 90}});
        else if (d < 90)
            pair.send({{at(rng), 0x80, note(rng), 0}});
        else
            pair.send({{at(rng), 0xB0, 123, 0}});  // all notes off
        ASSERT_EQ(pair.renderAndCompare(frames), -1) << "block " << block;
        bool sounding = false;
        for (int v = 0; v < EffectSynth::kVoices; ++v) sounding = sounding || pair.fast().synth().voice(v).sounding();
        silentBlocks += sounding ? 0 : 1;
    }
    EXPECT_GT(pair.energy(), 1.0);
    // The performance did rest every voice now and then.
    EXPECT_GT(silentBlocks, 20u);
}

// controlTick() updates the running voices among those it is given, in
// voice order, as controlUpdate() one voice after the other: the same
// states and the same draws from the generator; voices not given or not
// running stay as they were.
TEST(SynthVoice, ControlTickUpdatesTheRunningVoicesGivenInOrder) {
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int trial = 0; trial < 200; ++trial) {
        PartCoefficients parts[3];
        for (PartCoefficients& p : parts) {
            for (int l = 0; l < 2; ++l) {
                p.lfo[l].wave = static_cast<int>(u(rng) * 5.0f) % 5;  // sample and hold draws
                p.lfo[l].increment = 2000.0f * u(rng);
                p.lfo[l].depth = u(rng);
            }
            for (int o = 0; o < 2; ++o) {
                p.osc[o].lfoFrequency = static_cast<int>(u(rng) * 3.0f) % 3;
                p.osc[o].envFreqExponent = u(rng) - 0.5f;
                p.osc[o].lfoPulse = static_cast<int>(u(rng) * 3.0f) % 3;
                p.osc[o].glideDivisor = 1.0f + 200.0f * u(rng);
            }
            p.lfoCutoff = static_cast<int>(u(rng) * 3.0f) % 3;
            p.lfoBalance = static_cast<int>(u(rng) * 3.0f) % 3;
            p.filterEnv = {0.01f, 0.99f, 0.5f, 0.99f};
        }
        Voice voices[EffectSynth::kVoices];
        for (int i = 0; i < EffectSynth::kVoices; ++i) {
            Voice& v = voices[i];
            v.part = static_cast<int>(u(rng) * 3.0f) % 3;
            v.running = u(rng) < 0.7f;
            v.note = 30 + i * 3;
            v.filterEnv.stage = kAttack;
            v.dcoEnv.level = u(rng);
            for (LfoState& l : v.lfo) l.phase = 16384.0f * u(rng);
            for (OscillatorState& o : v.osc) o.targetIncrement = 500.0f * u(rng);
        }
        Voice expected[EffectSynth::kVoices];
        std::copy(std::begin(voices), std::end(voices), std::begin(expected));
        const uint32_t given = static_cast<uint32_t>(rng()) & 0xFFFFu;
        ModulationInputs inputs;
        inputs.modWheel = u(rng);
        dsp::Random15 random(static_cast<uint32_t>(trial) + 1u), expectedRandom = random;
        for (int tick = 0; tick < 10; ++tick) {
            for (int i = 0; i < EffectSynth::kVoices; ++i)
                if (((given >> i) & 1u) != 0 && expected[i].running)
                    controlUpdate(expected[i], parts[expected[i].part], inputs, true, expectedRandom);
            controlTick(voices, given, parts, inputs, random);
        }
        for (int i = 0; i < EffectSynth::kVoices; ++i) {
            ASSERT_EQ(std::memcmp(&voices[i].lfo, &expected[i].lfo, sizeof(voices[i].lfo)), 0) << trial << " " << i;
            ASSERT_TRUE(sameBits(voices[i].osc[0].currentIncrement, expected[i].osc[0].currentIncrement));
            ASSERT_TRUE(sameBits(voices[i].osc[1].pulseWidth, expected[i].osc[1].pulseWidth));
            ASSERT_TRUE(sameBits(voices[i].smoothedCutoff, expected[i].smoothedCutoff));
            ASSERT_TRUE(sameBits(voices[i].gainLeft, expected[i].gainLeft));
            ASSERT_TRUE(sameBits(voices[i].gainRight, expected[i].gainRight));
            ASSERT_EQ(voices[i].filterEnv.stage, expected[i].filterEnv.stage);
            ASSERT_EQ(std::memcmp(&voices[i].filterCoefficients, &expected[i].filterCoefficients,
                                  sizeof(dsp::BiquadCoefficients)),
                      0);
        }
        ASSERT_EQ(random.next(), expectedRandom.next()) << "trial " << trial;
    }
}

// The processor check agrees with the compiler's own.
TEST(SynthLanesRules, WidestLanesFollowTheProcessor) {
#if TALVEX_AVX2_LANES
    __builtin_cpu_init();
    EXPECT_EQ(widestLanes(), __builtin_cpu_supports("avx2") ? kMaxLanes : kLanes);
#else
    EXPECT_EQ(widestLanes(), kLanes);
#endif
}

INSTANTIATE_TEST_SUITE_P(Widths, SynthLanes, ::testing::Values(kLanes, kMaxLanes),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == kLanes ? std::string("Sse2") : std::string("Avx2");
                         });

// The shortcut of the control update: exp2 of a zero exponent is one,
// exactly, for either zero.
TEST(SynthLanesRules, ExponentialOfZeroIsExactlyOne) {
    EXPECT_EQ(portable::exp2(0.0f), 1.0f);
    EXPECT_EQ(portable::exp2(-0.0f), 1.0f);
}

// A voice that would fall silent inside the run is left to the one-voice
// loop; a held voice is taken, with noise, FM or a key sync pending too.
TEST(SynthLanesRules, EligibilityFollowsWhatTheLanesCarry) {
    PartCoefficients part;
    part.osc[0].wave = 1;
    part.osc[1].wave = 2;
    part.outputEnv.releaseFactor = 0.5f;
    Voice v;
    v.gate = true;
    v.outputEnv.level = 0.5f;
    v.outputEnv.stage = kSustain;
    v.osc[0].currentIncrement = v.osc[1].currentIncrement = 100.0f;
    EXPECT_TRUE(laneEligible(v, part, 16));
    Voice sync = v;
    sync.osc[1].keySyncPending = true;
    EXPECT_TRUE(laneEligible(sync, part, 16));
    Voice dying = v;
    dying.gate = false;
    dying.outputEnv.stage = kRelease;
    dying.outputEnv.level = 0.001f;  // four halvings reach the floor
    EXPECT_FALSE(laneEligible(dying, part, 16));
    EXPECT_TRUE(laneEligible(dying, part, 3));
    // Releasing voices near the floor: eligible exactly when the one-voice
    // loop would not stop inside the run.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> level(1.0e-4f, 2.0e-3f), factor(0.8f, 1.0f);
    int eligible = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        Voice r = v;
        r.gate = false;
        r.outputEnv.stage = kRelease;
        r.outputEnv.level = level(rng);
        PartCoefficients p = part;
        p.outputEnv.releaseFactor = factor(rng);
        Envelope e = r.outputEnv;
        bool staysAudible = true;
        for (int n = 0; n < 16; ++n) {
            if (!(e.level > kEnvelopeFloor)) staysAudible = false;
            stepEnvelope(e, p.outputEnv);
        }
        ASSERT_EQ(laneEligible(r, p, 16), staysAudible) << r.outputEnv.level << " " << p.outputEnv.releaseFactor;
        eligible += staysAudible ? 1 : 0;
    }
    EXPECT_GT(eligible, 1000);
    EXPECT_LT(eligible, 19000);
    PartCoefficients noise = part;
    noise.osc[0].wave = 4;
    EXPECT_TRUE(laneEligible(v, noise, 16));
    PartCoefficients fm = part;
    fm.osc[1].wave = 4;
    EXPECT_TRUE(laneEligible(v, fm, 16));
    Voice wild = v;
    wild.fmDepth = std::nanf("");
    EXPECT_FALSE(laneEligible(wild, fm, 16));
    EXPECT_TRUE(laneEligible(wild, part, 16));
    Voice high = v;
    high.osc[0].currentIncrement = 9000.0f;
    EXPECT_FALSE(laneEligible(high, part, 16));
}

}  // namespace
