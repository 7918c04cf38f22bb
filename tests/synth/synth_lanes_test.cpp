// The fast voice path (four voices per SSE2 vector, control updates with
// shortcuts) against the reference path (one voice at a time, every control
// update in full): the same patches and the same MIDI must give the same
// samples, bit for bit. Both paths do the same single-precision operations
// in the same order, so the tolerance is zero.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "common/portable_math.h"
#include "modules/synth_voice_lanes.h"
#include "tests/synth/synth_test_host.h"

namespace {

using namespace synth;
using synth_test::SynthHost;

// A pair of synths, one rendering the reference way, driven alike.
class Pair {
public:
    explicit Pair(const char* key, float rate = 44100.0f) : fast_(key, rate), reference_(key, rate) {
        reference_.synth().setReferenceRendering(true);
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

TEST(SynthLanes, RandomPatchesSoundBitForBitLikeTheReferencePath) {
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

TEST(SynthLanes, FlavourTwoPartsOfMixedShapesSoundLikeTheReferencePath) {
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
TEST(SynthLanes, HeldChordsWithSyncAndReleasesSoundLikeTheReferencePath) {
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
        EXPECT_GT(pair.fast().synth().laneVoiceRuns(), 5000u) << "variant " << variant;
    }
}

// The shortcut of the control update: exp2 of a zero exponent is one,
// exactly, for either zero.
TEST(SynthLanes, ExponentialOfZeroIsExactlyOne) {
    EXPECT_EQ(portable::exp2(0.0f), 1.0f);
    EXPECT_EQ(portable::exp2(-0.0f), 1.0f);
}

// A voice that would fall silent inside the run, or waits for its key sync,
// is left to the one-voice loop; a plain held voice is taken.
TEST(SynthLanes, EligibilityFollowsWhatTheLanesCarry) {
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
    EXPECT_FALSE(laneEligible(sync, part, 16));
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
    EXPECT_FALSE(laneEligible(v, noise, 16));
    Voice high = v;
    high.osc[0].currentIncrement = 9000.0f;
    EXPECT_FALSE(laneEligible(high, part, 16));
}

}  // namespace
