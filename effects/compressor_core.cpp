#include "effects/compressor_core.h"

#include <cmath>

#include "common/portable_math.h"
#include "effects/compressor_gains.h"
#include "effects/dsp/smoothing.h"

CompressorCore::CompressorCore() {
    for (int i = 0; i < kRingSize; ++i) ringL_[i] = ringR_[i] = 0.0f;
    smoothCurve(1.0f);
    useWideGains(true);
}

void CompressorCore::useWideGains(bool on) { wideGains_ = on && fxdsp::compressorWideGainsAvailable(); }

void CompressorCore::clearSignal() {
    for (int i = 0; i < kRingSize; ++i) ringL_[i] = ringR_[i] = 0.0f;
    writeIndex_ = 0;
    powerSum_ = 0.0;
    rebuildPower_ = true;
    envelope_ = 0.0f;
}

void CompressorCore::smoothCurve(float factor) {
    fxdsp::glide(smoothed_.thresholdUnits, target_.thresholdUnits, factor);
    fxdsp::glide(smoothed_.kneeUnits, target_.kneeUnits, factor);
    fxdsp::glide(smoothed_.kneeSlope, target_.kneeSlope, factor);
    fxdsp::glide(smoothed_.ratio, target_.ratio, factor);
    fxdsp::glide(smoothed_.makeUpGain, target_.makeUpGain, factor);
    oneMinusInverseRatio_ = smoothed_.ratio > 0.0f ? 1.0f - 1.0f / smoothed_.ratio : 0.0f;
    updateQuietBound();
}

void CompressorCore::updateQuietBound() {
    const float foot = smoothed_.thresholdUnits - smoothed_.kneeUnits;
    if (foot == quietBoundFoot_ && quietBound_ != 0.0f) return;  // glides settle: most steps change nothing
    quietBoundFoot_ = foot;
    // Within +-600 units the level's rounding (a few 1e-5 units) stays far
    // inside the margin; the test of the bound fails for NaN envelopes.
    if (!(foot > -600.0f && foot < 600.0f)) {
        quietBound_ = 0.0f;
        return;
    }
    quietBound_ = static_cast<float>(portable::exp2(static_cast<double>(foot) / 6.0) * (1.0 - 1.0 / 1024));
}

void CompressorCore::setLookaheadSamples(int samples) {
    if (samples < 0) samples = 0;
    if (samples > kRingMask) samples = kRingMask;
    lookaheadSamples_ = samples;
}

float CompressorCore::reductionUnits(float v) const {
    const float t = smoothed_.thresholdUnits;
    const float e = smoothed_.kneeUnits;
    if (!(v > t - e)) return 0.0f;
    if (v < t + e) {
        // Inside the knee the ratio rises smoothly from 1 to R; this meets
        // the straight line above the knee at V = T + E.
        const float k = v - t + e;
        const float g = 1.0f + smoothed_.kneeSlope * k;
        return k * (1.0f - 1.0f / g);
    }
    return oneMinusInverseRatio_ * (v - t);
}

// In two passes over each stretch of frames: the detector and follower,
// whose states carry from frame to frame, and then the gain of each frame,
// which depends on that frame's envelope only. Every frame gets the
// arithmetic of a frame-by-frame loop in the same order; the second pass
// leaves the processor free to overlap the logarithms and exponentials of
// neighbouring frames.
void CompressorCore::processRun(const float* inL, const float* inR, float* outL, float* outR, int count) {
    float envelope[kStretch], dL[kStretch], dR[kStretch];
    while (count > 0) {
        const int n = count < kStretch ? count : kStretch;
        follow(inL, inR, n, envelope, dL, dR);
        const CompressorGainCurve curve{smoothed_.thresholdUnits, smoothed_.kneeUnits, smoothed_.kneeSlope,
                                        oneMinusInverseRatio_, smoothed_.makeUpGain, quietBound_};
        int i = 0;
        if (wideGains_)
            for (; i + 8 <= n; i += 8)
                if (!fxdsp::compressorGainsEight(curve, envelope + i, dL + i, dR + i, outL + i, outR + i)) break;
        for (; i + 4 <= n; i += 4)
            if (!fxdsp::compressorGainsFour(curve, envelope + i, dL + i, dR + i, outL + i, outR + i)) break;
        const float makeUp = smoothed_.makeUpGain;
        for (; i < n; ++i) {
            if (envelope[i] < quietBound_) {
                outL[i] = makeUp * dL[i];
                outR[i] = makeUp * dR[i];
                continue;
            }
            const float levelUnits = 6.0f * portable::log2(envelope[i]);
            const float r = reductionUnits(levelUnits);
            float l = dL[i], rr = dR[i];
            if (r != 0.0f) {
                const float gain = portable::exp2(-r / 6.0f);
                l *= gain;
                rr *= gain;
            }
            outL[i] = makeUp * l;
            outR[i] = makeUp * rr;
        }
        inL += n;
        inR += n;
        outL += n;
        outR += n;
        count -= n;
    }
}

// The states of the detector and the follower are carried in locals through
// the stretch: as members every frame's power sum would make a round trip
// through memory (the ring's stores may alias it), which puts a store and a
// load on the chain of double additions that runs from frame to frame.
void CompressorCore::follow(const float* inL, const float* inR, int count, float* envelope, float* delayedL,
                            float* delayedR) {
    const float attack = attackCoefficient_, release = releaseCoefficient_;
    const float attackRest = 1.0f - attack, releaseRest = 1.0f - release;
    const int lookahead = lookaheadSamples_;
    int w = writeIndex_;
    double sum = powerSum_;
    float env = envelope_;
    for (int i = 0; i < count; ++i) {
        const float l = inL[i] + kInputOffset, r = inR[i] + kInputOffset;
        ringL_[w] = l;
        ringR_[w] = r;

        if (rebuildPower_) [[unlikely]] {
            rebuildPower_ = false;
            sum = 0.0;
            for (int k = 0; k < kPowerWindow; ++k) {
                const double u = monoAt((w - k) & kRingMask);
                sum += u * u;
            }
        } else {
            const double oldest = monoAt((w - kPowerWindow) & kRingMask);
            const double newest = 0.5f * l + 0.5f * r;
            sum = sum - oldest * oldest + newest * newest;
        }
        float meanSquare = static_cast<float>(sum) / static_cast<float>(kPowerWindow);
        if (meanSquare < 0.0f) meanSquare = 0.0f;  // rounding of the running sum
        const float rms = std::sqrt(meanSquare);

        // rms (1 - c) + c env, c the attack coefficient where the level
        // rises above the envelope and the release one elsewhere (and for
        // NaN). Written as two whole updates the compiler keeps a jump, so
        // that the envelope's chain from frame to frame is one product and
        // one sum; picking c without a jump would add the selection and the
        // product rms (1 - c) to it.
        if (rms > env)
            env = rms * attackRest + attack * env;
        else
            env = rms * releaseRest + release * env;
        if (env < kInputOffset) env = kInputOffset;
        envelope[i] = env;

        const int j = (w - lookahead) & kRingMask;
        delayedL[i] = ringL_[j];
        delayedR[i] = ringR_[j];
        w = (w + 1) & kRingMask;
    }
    writeIndex_ = w;
    powerSum_ = sum;
    envelope_ = env;
}
