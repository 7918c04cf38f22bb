#include "effects/compressor_core.h"

#include <cmath>

#include "common/portable_math.h"
#include "effects/compressor_gains_wide.h"
#include "effects/dsp/portable_lanes.h"
#include "effects/dsp/smoothing.h"
#include "effects/dsp/stereo_four_pole.h"

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
        int i = 0;
        if (wideGains_ && n >= 8) {
            const CompressorGainCurve curve{smoothed_.thresholdUnits, smoothed_.kneeUnits, smoothed_.kneeSlope,
                                            oneMinusInverseRatio_, smoothed_.makeUpGain, quietBound_};
            for (; i + 8 <= n; i += 8)
                if (!fxdsp::compressorGainsEight(curve, envelope + i, dL + i, dR + i, outL + i, outR + i)) break;
        }
        for (; i + 4 <= n; i += 4)
            if (!gainsFour(envelope + i, dL + i, dR + i, outL + i, outR + i)) break;
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

// The gain pass of four frames in SSE lanes, the scalar arithmetic lane by
// lane (both branches of the curve are formed and one is selected). False,
// having written nothing, where an envelope or an exponent lies outside the
// range of the lanes (only for samples that are not finite).
bool CompressorCore::gainsFour(const float* envelope, const float* dL, const float* dR, float* outL,
                               float* outR) const {
    const __m128 env = _mm_loadu_ps(envelope);
    const __m128 makeUp = _mm_set1_ps(smoothed_.makeUpGain);
    const __m128 l = _mm_loadu_ps(dL), rr = _mm_loadu_ps(dR);
    if (_mm_movemask_ps(_mm_cmplt_ps(env, _mm_set1_ps(quietBound_))) == 15) {  // all four quiet
        _mm_storeu_ps(outL, _mm_mul_ps(makeUp, l));
        _mm_storeu_ps(outR, _mm_mul_ps(makeUp, rr));
        return true;
    }
    if (!fxdsp::insideLog2Lanes(env)) return false;
    const __m128 v = _mm_mul_ps(_mm_set1_ps(6.0f), fxdsp::log2Lanes(env));
    const __m128 t = _mm_set1_ps(smoothed_.thresholdUnits);
    const __m128 e = _mm_set1_ps(smoothed_.kneeUnits);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 k = _mm_add_ps(_mm_sub_ps(v, t), e);
    const __m128 g = _mm_add_ps(one, _mm_mul_ps(_mm_set1_ps(smoothed_.kneeSlope), k));
    const __m128 inKnee = _mm_mul_ps(k, _mm_sub_ps(one, _mm_div_ps(one, g)));
    const __m128 aboveKnee = _mm_mul_ps(_mm_set1_ps(oneMinusInverseRatio_), _mm_sub_ps(v, t));
    const __m128 reducing = _mm_cmpgt_ps(v, _mm_sub_ps(t, e));
    const __m128 belowTop = _mm_cmplt_ps(v, _mm_add_ps(t, e));
    const __m128 r = _mm_and_ps(reducing, fxdsp::selectLanes(belowTop, inKnee, aboveKnee));
    const __m128 apply = _mm_cmpneq_ps(r, _mm_setzero_ps());
    if (_mm_movemask_ps(apply) == 0) {  // all four below the knee: no gain to form
        _mm_storeu_ps(outL, _mm_mul_ps(makeUp, l));
        _mm_storeu_ps(outR, _mm_mul_ps(makeUp, rr));
        return true;
    }
    const __m128 exponent = _mm_div_ps(_mm_sub_ps(_mm_setzero_ps(), r), _mm_set1_ps(6.0f));
    if (!fxdsp::insideExp2Lanes(exponent)) return false;
    const __m128 gain = fxdsp::exp2Lanes(exponent);
    _mm_storeu_ps(outL, _mm_mul_ps(makeUp, fxdsp::selectLanes(apply, _mm_mul_ps(l, gain), l)));
    _mm_storeu_ps(outR, _mm_mul_ps(makeUp, fxdsp::selectLanes(apply, _mm_mul_ps(rr, gain), rr)));
    return true;
}

void CompressorCore::follow(const float* inL, const float* inR, int count, float* envelope, float* delayedL,
                            float* delayedR) {
    int w = writeIndex_;
    float env = envelope_;
    for (int i = 0; i < count; ++i) {
        ringL_[w] = inL[i] + kInputOffset;
        ringR_[w] = inR[i] + kInputOffset;

        if (rebuildPower_) {
            rebuildPower_ = false;
            double sum = 0.0;
            for (int k = 0; k < kPowerWindow; ++k) {
                const double u = monoAt((w - k) & kRingMask);
                sum += u * u;
            }
            powerSum_ = sum;
        } else {
            const double oldest = monoAt((w - kPowerWindow) & kRingMask);
            const double newest = monoAt(w);
            powerSum_ = powerSum_ - oldest * oldest + newest * newest;
        }
        float meanSquare = static_cast<float>(powerSum_) / static_cast<float>(kPowerWindow);
        if (meanSquare < 0.0f) meanSquare = 0.0f;  // rounding of the running sum
        const float rms = std::sqrt(meanSquare);

        const float c = rms > env ? attackCoefficient_ : releaseCoefficient_;
        env = rms * (1.0f - c) + c * env;
        if (env < kInputOffset) env = kInputOffset;
        envelope[i] = env;

        const int j = (w - lookaheadSamples_) & kRingMask;
        delayedL[i] = ringL_[j];
        delayedR[i] = ringR_[j];
        w = (w + 1) & kRingMask;
    }
    writeIndex_ = w;
    envelope_ = env;
}
