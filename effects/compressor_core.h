// Signal path of the compressor: input rings for the look-ahead, a 40-sample
// RMS detector on the mono average of both channels, an attack/release
// envelope follower and the soft-knee gain computer. Levels are counted at
// 6 units per doubling ("dB" of 6 * log2(v)), the unit this design has always
// used for its threshold, knee and make-up figures.
//
// The module owns the parameter mapping; this class only holds targets,
// their smoothed copies and the running state. Nothing here allocates.
#pragma once

#include <cstdint>

struct CompressorCurve {
    float thresholdUnits = 0.0f;  // T
    float kneeUnits = 0.0f;       // E, half-width of the knee
    float kneeSlope = 0.0f;       // K = (R - 1) / (2 E (R + 1)), 0 without a knee
    float ratio = 1.0f;           // R
    float makeUpGain = 1.0f;      // M, linear
};

class CompressorCore {
public:
    // 5 ms of look-ahead at 192 kHz is 960 samples: the ring holds it.
    static constexpr int kRingSize = 1024;
    static constexpr int kRingMask = kRingSize - 1;
    // The detector's RMS window.
    static constexpr int kPowerWindow = 40;
    // Added to every input sample (and the envelope's floor) so that the
    // logarithm of the level is always defined and nothing runs into
    // denormals on silence.
    static constexpr float kInputOffset = 0.00001f;

    CompressorCore();

    void setCurveTarget(const CompressorCurve& target) { target_ = target; }
    // smoothed += factor * (target - smoothed); factor 1 jumps.
    void smoothCurve(float factor);
    void setEnvelopeCoefficients(float attack, float release) {
        attackCoefficient_ = attack;
        releaseCoefficient_ = release;
    }
    void setLookaheadSamples(int samples);

    // Start of a processReplacing call: the power sum is rebuilt from the
    // ring on the next sample rather than carried over, so rounding never
    // accumulates beyond one block.
    void beginBlock() { rebuildPower_ = true; }
    // Silence in the lookahead ring and the level follower.
    void clearSignal();

    // One stereo frame; reads both inputs before writing, so in-place is fine.
    void process(float inL, float inR, float& outL, float& outR) { processRun(&inL, &inR, &outL, &outR, 1); }
    // count frames (any number) with the smoothed curve as it stands, the
    // same as count calls of process; in-place is fine.
    void processRun(const float* inL, const float* inR, float* outL, float* outR, int count);

    // The gain pass eight frames at a time where the processor has AVX2 (on
    // by default there; the same bits as without).
    void useWideGains(bool on);
    bool wideGains() const { return wideGains_; }

    const CompressorCurve& smoothedCurve() const { return smoothed_; }
    int lookaheadSamples() const { return lookaheadSamples_; }

private:
    float monoAt(int index) const { return 0.5f * ringL_[index] + 0.5f * ringR_[index]; }
    float reductionUnits(float levelUnits) const;
    // The detector and follower for count frames (at most kStretch): the
    // envelope after each frame, and the look-ahead samples it applies to
    // (delayedL and delayedR point to them: in the ring, or copied to the
    // buffers of kStretch frames).
    void follow(const float* inL, const float* inR, int count, float* envelope, float* bufferL, float* bufferR,
                const float*& delayedL, const float*& delayedR);
    static constexpr int kStretch = 16;

    CompressorCurve target_;
    CompressorCurve smoothed_;
    float oneMinusInverseRatio_ = 0.0f;  // of the smoothed ratio, per control step
    // An envelope below this lies certainly below the knee (its level in
    // units would not pass T - E), so its frame needs no logarithm: the
    // bound sits 0.0014 doubling under the knee's foot, far more than the
    // rounding of the level. 0 (nothing skipped) for knees out of range.
    void updateQuietBound();
    float quietBound_ = 0.0f;
    float quietBoundFoot_ = 0.0f;  // the T - E it was formed for
    bool wideGains_ = false;

    float attackCoefficient_ = 0.0f;
    float releaseCoefficient_ = 0.0f;
    int lookaheadSamples_ = 0;

    float ringL_[kRingSize];
    float ringR_[kRingSize];
    int writeIndex_ = 0;
    double powerSum_ = 0.0;
    bool rebuildPower_ = true;
    float envelope_ = 0.0f;
};
