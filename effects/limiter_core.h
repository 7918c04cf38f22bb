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

    void process(float inL, float inR, float& outL, float& outR) {
        const int w = writeIndex_;
        const int j = (w - lookaheadSamples_) & kRingMask;
        outL = channel(ringL_, envelopeL_, w, j, inL);
        outR = channel(ringR_, envelopeR_, w, j, inR);
        writeIndex_ = (w + 1) & kRingMask;
    }

private:
    // The follower only matters above 1; flooring its decay keeps long
    // silences out of the denormal range (a difference of at most 5e-7 in
    // the follower, far below anything audible).
    static constexpr float kEnvelopeFloor = 1e-6f;

    float channel(float* ring, float& envelope, int w, int j, float x) const {
        const float a = drive_ * x;
        ring[w] = a;
        float y = ring[j];
        const float h = a < 0.0f ? -a : a;
        if (envelope < h) {
            envelope = kAttackCoefficient * envelope + (1.0f - kAttackCoefficient) * h;
        } else {
            envelope = releaseCoefficient_ * envelope + (1.0f - releaseCoefficient_) * h;
            if (envelope < kEnvelopeFloor) envelope = kEnvelopeFloor;
        }
        if (envelope > 1.0f) y = y / envelope;
        y *= kCeiling;
        if (y > 1.0f) y = 1.0f;
        if (y < -1.0f) y = -1.0f;
        return y;
    }

    float drive_ = 1.0f;
    float releaseCoefficient_ = 0.0f;
    int lookaheadSamples_ = 0;
    float ringL_[kRingSize];
    float ringR_[kRingSize];
    int writeIndex_ = 0;
    float envelopeL_ = 1.0f;
    float envelopeR_ = 1.0f;
};
