// The overdrive against a plain per-sample rendering of its algorithm (one
// channel at a time, scalar filter sections, control step every 16 samples):
// the module runs both channels in SSE lanes and in runs between control
// steps, and must come out bit for bit the same, through parameter moves,
// odd block sizes, in-place processing and a program change over MIDI.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "common/portable_math.h"
#include "effects/dsp/param_curves.h"
#include "effects/filter_stage.h"
#include "tests/effects_dynamics/hosted_effect.h"

namespace {

enum { kDrive, kFilterType, kFilterFrequency, kFilterQ, kMix, kLevel, kNumParameters };

// What the module does to a frame, written out sample by sample.
class ReferenceOverdrive {
public:
    ReferenceOverdrive() : stage_(dsp::dspTables()) {
        const float defaults[kNumParameters] = {0.5f, 0.0f, 1.0f, 0.5f, 1.0f, 0.5f};
        std::memcpy(live_, defaults, sizeof(live_));
        recompute();
    }
    void set(int index, float value) { live_[index] = value; }
    // A program change or a new sample rate: everything jumps.
    void recompute() { controlStep(false); }
    void loadDefaults() {
        const float defaults[kNumParameters] = {0.5f, 0.0f, 1.0f, 0.5f, 1.0f, 0.5f};
        std::memcpy(live_, defaults, sizeof(live_));
    }

    // One frame: the control step every 16th frame, then the audio.
    void frame(float l, float r, float& outL, float& outR) {
        if (++count_ == 16) {
            count_ = 0;
            controlStep(true);
        }
        render(l, r, outL, outR);
    }
    // The frame of a program change: the control step (if due) comes first,
    // then the change, then the audio.
    void frameWithProgramChange(float l, float r, float& outL, float& outR) {
        if (++count_ == 16) {
            count_ = 0;
            controlStep(true);
        }
        loadDefaults();
        recompute();
        render(l, r, outL, outR);
    }

private:
    static float softClip(float y) {
        if (y > 1.0f) return std::sqrt(y);
        if (y < -1.0f) return -std::sqrt(-y);
        return y;
    }
    void controlStep(bool smoothing) {
        const float level = static_cast<float>(fxdsp::levelGain(live_[kLevel]));
        const float factor = smoothing ? 0.01f : 1.0f;
        stage_.glideGains(live_[kMix], level, level, factor);
        stage_.glideCutoff(live_[kFilterFrequency], live_[kFilterQ], smoothing);
        stage_.design(0.0f, filterModeFor(live_[kFilterType]));
    }
    void render(float l, float r, float& outL, float& outR) {
        const double g = portable::pow(1000.0, static_cast<double>(live_[kDrive]));
        const float gain = static_cast<float>(g);
        const float compensation = static_cast<float>(1.0 / std::sqrt(g));
        stage_.process(l, r, softClip(gain * l) * compensation, softClip(gain * r) * compensation, outL, outR);
    }

    StereoFilterStage stage_;
    float live_[kNumParameters];
    int count_ = 0;
};

uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof(b));
    return b;
}

// Frames where module and reference differ in any bit.
size_t differingFrames(const StereoBuffer& a, const StereoBuffer& b) {
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (bitsOf(a.left[i]) != bitsOf(b.left[i]) || bitsOf(a.right[i]) != bitsOf(b.right[i])) ++count;
    return count;
}

// Noise with a slow swell from -40 dB to +6 dB (well past the clipper's knee
// at every drive), different on the two channels, with a stretch of exact
// silence so that the filters decay through the flush-to-zero guard.
StereoBuffer testSignal(size_t frames) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    StereoBuffer in(frames);
    for (size_t i = 0; i < frames; ++i) {
        const float swell = std::pow(10.0f, (-40.0f + 46.0f * static_cast<float>(i) / frames) / 20.0f);
        const bool silent = i >= frames / 2 && i < frames / 2 + 4000;
        in.left[i] = silent ? 0.0f : swell * u(rng);
        in.right[i] = silent ? 0.0f : swell * (0.5f * u(rng) + 0.3f);
    }
    return in;
}

}  // namespace

TEST(OverdriveNull, MatchesThePerSampleAlgorithmBitForBit) {
    HostedEffect fx("KavoOverdrive", 44100.0f);
    ASSERT_TRUE(fx.valid());
    ReferenceOverdrive ref;

    const StereoBuffer in = testSignal(60000);
    StereoBuffer expected(in.size()), actual(in.size());
    // Block sizes that cut control periods at every phase; parameter moves
    // between blocks glide; one block is processed in place.
    const size_t blocks[] = {512, 37, 1, 16, 100, 511, 3, 2048};
    struct Move {
        size_t atFrame;
        int index;
        float value;
    };
    const Move moves[] = {{3000, kDrive, 1.0f},           {9000, kFilterFrequency, 0.55f}, {12000, kFilterQ, 0.95f},
                          {18000, kFilterType, 0.5f},     {24000, kMix, 0.6f},             {27000, kLevel, 0.8f},
                          {33000, kFilterType, 1.0f},     {36000, kDrive, 0.0f},           {42000, kFilterQ, 0.1f},
                          {45000, kFilterFrequency, 0.2f}, {50000, kMix, 0.3f}};
    const size_t programChangeFrame = 54321;  // MIDI program change to the untouched program 1

    size_t at = 0, b = 0, m = 0;
    bool programChanged = false;
    while (at < in.size()) {
        const size_t frames = std::min(blocks[b++ % std::size(blocks)], in.size() - at);
        while (m < std::size(moves) && moves[m].atFrame <= at) {
            fx.setParameter(moves[m].index, moves[m].value);
            ref.set(moves[m].index, moves[m].value);
            ++m;
        }
        size_t changeAt = frames;
        if (!programChanged && programChangeFrame >= at && programChangeFrame < at + frames) {
            // An event of offset d leaving the module's ring at frame 0 acts
            // at frame d - 1.
            changeAt = programChangeFrame - at;
            fx.sendMidi(0xC0, 1, 0, static_cast<VstInt32>(changeAt + 1));
            programChanged = true;
        }
        for (size_t i = 0; i < frames; ++i) {
            const size_t n = at + i;
            if (i == changeAt)
                ref.frameWithProgramChange(in.left[n], in.right[n], expected.left[n], expected.right[n]);
            else
                ref.frame(in.left[n], in.right[n], expected.left[n], expected.right[n]);
        }
        std::copy_n(in.left.begin() + at, frames, actual.left.begin() + at);
        std::copy_n(in.right.begin() + at, frames, actual.right.begin() + at);
        if (frames == 100) {
            fx.processInPlace(&actual.left[at], &actual.right[at], static_cast<VstInt32>(frames));
        } else {
            StereoBuffer block(frames);
            std::copy_n(in.left.begin() + at, frames, block.left.begin());
            std::copy_n(in.right.begin() + at, frames, block.right.begin());
            const StereoBuffer out = fx.process(block, frames);
            std::copy_n(out.left.begin(), frames, actual.left.begin() + at);
            std::copy_n(out.right.begin(), frames, actual.right.begin() + at);
        }
        at += frames;
    }
    ASSERT_TRUE(programChanged);
    EXPECT_EQ(fx.program(), 1);
    EXPECT_EQ(differingFrames(actual, expected), 0u);
    // The comparison means something: the drive pushed the output up.
    float peak = 0.0f;
    for (float v : actual.left) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.5f);
}
