// Signal path of the limiter: per channel a peak follower on the undelayed,
// driven input (fast fixed attack, adjustable release) and a short delay
// line; whenever the follower is above full scale the delayed sample is
// divided by it. A final 0.99 scale and a hard clip keep every output sample
// inside -1 .. +1.
#pragma once

class LimiterCore {
public:
    // 2.5 ms at 192 kHz is 480 samples.
    static constexpr int kRingSize = 512;
    static constexpr int kRingMask = kRingSize - 1;
    // Output ceiling, a hair below full scale.
    static constexpr float kCeiling = 0.99f;
    // The follower jumps half-way to a rising peak every sample.
    static constexpr float kAttackCoefficient = 0.5f;

    LimiterCore();

    void setDrive(float drive) { drive_ = drive; }
    void setReleaseCoefficient(float coefficient) { releaseCoefficient_ = coefficient; }
    void setLookaheadSamples(int samples);
    // Silence in the lookahead ring, the followers at rest.
    void clearSignal();
    int lookaheadSamples() const { return lookaheadSamples_; }
    // The passes in AVX2 code where the processor has it (on by default
    // there; the same bits as without).
    void useWideLanes(bool on);
    bool wideLanes() const { return wide_; }

    // One stereo frame; reads both inputs before writing, so in-place is fine.
    void process(float inL, float inR, float& outL, float& outR) { processRun(&inL, &inR, &outL, &outR, 1); }
    // count frames, the same as count calls of process; in-place is fine.
    void processRun(const float* inL, const float* inR, float* outL, float* outR, int count);

private:
    // The follower only matters above 1; flooring its decay keeps long
    // silences out of the denormal range (a difference of at most 5e-7 in
    // the follower, far below anything audible).
    static constexpr float kEnvelopeFloor = 1e-6f;

    static constexpr int kStretch = 16;
    void stretch(const float* inL, const float* inR, float* outL, float* outR, int count);
    void stretchBaseline(const float* inL, const float* inR, float* outL, float* outR, int count);
    void stretchWide(const float* inL, const float* inR, float* outL, float* outR, int count);
    bool wide_ = false;

    float drive_ = 1.0f;
    float releaseCoefficient_ = 0.0f;
    int lookaheadSamples_ = 0;
    float ringL_[kRingSize];
    float ringR_[kRingSize];
    int writeIndex_ = 0;
    // Both channels' followers (left, right), kept as a pair.
    alignas(8) float envelope_[2] = {1.0f, 1.0f};
};
