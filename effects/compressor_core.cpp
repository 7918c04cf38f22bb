#include "effects/compressor_core.h"

#include <emmintrin.h>

#include <cmath>

#include "common/portable_math.h"
#include "effects/compressor_gains.h"
#include "effects/dsp/ring_copy.h"
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
    alignas(16) float envelope[kStretch], bufferL[kStretch], bufferR[kStretch];
    while (count > 0) {
        const int n = count < kStretch ? count : kStretch;
        const float* dL;
        const float* dR;
        follow(inL, inR, n, envelope, bufferL, bufferR, dL, dR);
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

namespace {

// The square of a mono sample (0.5 l + 0.5 r in single precision) in double
// precision.
inline double monoSquare(float l, float r) {
    const double u = 0.5f * l + 0.5f * r;
    return u * u;
}

// The same for four frames.
inline void monoSquaresFour(__m128 l, __m128 r, double* squares) {
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 m = _mm_add_ps(_mm_mul_ps(half, l), _mm_mul_ps(half, r));
    const __m128d low = _mm_cvtps_pd(m), high = _mm_cvtps_pd(_mm_movehl_ps(m, m));
    _mm_storeu_pd(squares, _mm_mul_pd(low, low));
    _mm_storeu_pd(squares + 2, _mm_mul_pd(high, high));
}

// count frames' squares from two contiguous stretches of samples.
inline void monoSquares(const float* l, const float* r, int count, double* squares) {
    int i = 0;
    for (; i + 4 <= count; i += 4) monoSquaresFour(_mm_loadu_ps(l + i), _mm_loadu_ps(r + i), squares + i);
    for (; i < count; ++i) squares[i] = monoSquare(l[i], r[i]);
}

}  // namespace

// In passes over the stretch, each frame with the arithmetic of a frame
// loop in the same order: the offset inputs into the ring, with the squares
// of the mono samples entering the window, four frames at a time; the
// squares of those leaving it; the power sum from frame to frame (its chain
// of double additions is all that recurs there); its mean, floor and root
// four frames at a time; the envelope from frame to frame.
//
// The look-ahead samples are read where they lie in the ring (delayedL and
// delayedR point there) unless the stretch crosses the ring's end, when they
// are copied to the buffers. A read
// lookahead frames back sees the writes of the stretch's earlier frames and
// none of its later ones: it follows the writes, except within a stretch of
// the whole ring back, where a later frame of the stretch writes the slot
// an earlier frame reads; there the reads are copied first.
void CompressorCore::follow(const float* inL, const float* inR, int count, float* envelope, float* bufferL,
                            float* bufferR, const float*& delayedL, const float*& delayedR) {
    alignas(16) double newest[kStretch], oldest[kStretch], sums[kStretch + 4];
    alignas(16) float rms[kStretch];
    const int w = writeIndex_;
    const int read = (w - lookaheadSamples_) & kRingMask;
    const int leaving = (w - kPowerWindow) & kRingMask;  // before the stretch's slots
    const bool readFirst = lookaheadSamples_ > kRingSize - kStretch;
    const bool straight = !readFirst && w + count <= kRingSize && read + count <= kRingSize &&
                          leaving + count <= kRingSize;
    if (straight) [[likely]] {
        const __m128 offset = _mm_set1_ps(kInputOffset);
        float* toL = ringL_ + w;
        float* toR = ringR_ + w;
        int i = 0;
        for (; i + 4 <= count; i += 4) {
            const __m128 l = _mm_add_ps(_mm_loadu_ps(inL + i), offset);
            const __m128 r = _mm_add_ps(_mm_loadu_ps(inR + i), offset);
            _mm_storeu_ps(toL + i, l);
            _mm_storeu_ps(toR + i, r);
            monoSquaresFour(l, r, newest + i);
        }
        for (; i < count; ++i) {
            toL[i] = inL[i] + kInputOffset;
            toR[i] = inR[i] + kInputOffset;
            newest[i] = monoSquare(toL[i], toR[i]);
        }
        monoSquares(ringL_ + leaving, ringR_ + leaving, count, oldest);
        delayedL = ringL_ + read;
        delayedR = ringR_ + read;
    } else {
        if (readFirst) {
            fxdsp::copyFromRing<kRingSize>(ringL_, read, bufferL, count);
            fxdsp::copyFromRing<kRingSize>(ringR_, read, bufferR, count);
        }
        alignas(16) float l[kStretch], r[kStretch];
        for (int i = 0; i < count; ++i) {
            l[i] = inL[i] + kInputOffset;
            r[i] = inR[i] + kInputOffset;
        }
        fxdsp::copyToRing<kRingSize>(ringL_, w, l, count);
        fxdsp::copyToRing<kRingSize>(ringR_, w, r, count);
        monoSquares(l, r, count, newest);
        if (!readFirst) {
            fxdsp::copyFromRing<kRingSize>(ringL_, read, bufferL, count);
            fxdsp::copyFromRing<kRingSize>(ringR_, read, bufferR, count);
        }
        delayedL = bufferL;
        delayedR = bufferR;
        fxdsp::copyFromRing<kRingSize>(ringL_, leaving, l, count);
        fxdsp::copyFromRing<kRingSize>(ringR_, leaving, r, count);
        monoSquares(l, r, count, oldest);
    }

    double sum = powerSum_;
    int i = 0;
    if (rebuildPower_) [[unlikely]] {
        rebuildPower_ = false;
        sum = 0.0;
        for (int k = 0; k < kPowerWindow; ++k) {
            const double u = monoAt((w - k) & kRingMask);
            sum += u * u;
        }
        sums[0] = sum;
        i = 1;
    }
    for (; i < count; ++i) {
        sum = sum - oldest[i] + newest[i];
        sums[i] = sum;
    }
    powerSum_ = sum;

    // The mean square floored at 0 (max(0, x) keeps a NaN x, as "x < 0" does)
    // and its root; lanes past count are formed and not used.
    _mm_storeu_pd(sums + count, _mm_setzero_pd());
    _mm_storeu_pd(sums + count + 2, _mm_setzero_pd());
    const __m128 window = _mm_set1_ps(static_cast<float>(kPowerWindow));
    for (i = 0; i < count; i += 4) {
        const __m128 low = _mm_cvtpd_ps(_mm_load_pd(sums + i)), high = _mm_cvtpd_ps(_mm_load_pd(sums + i + 2));
        const __m128 meanSquare = _mm_div_ps(_mm_movelh_ps(low, high), window);
        _mm_store_ps(rms + i, _mm_sqrt_ps(_mm_max_ps(_mm_setzero_ps(), meanSquare)));
    }

    const float attack = attackCoefficient_, release = releaseCoefficient_;
    const float attackRest = 1.0f - attack, releaseRest = 1.0f - release;
    float env = envelope_;
#pragma GCC unroll 4
    for (i = 0; i < count; ++i) {
        // rms (1 - c) + c env, c the attack coefficient where the level
        // rises above the envelope and the release one elsewhere (and for
        // NaN). Written as two whole updates the compiler keeps a jump, so
        // that the envelope's chain from frame to frame is one product and
        // one sum; picking c without a jump would add the selection and the
        // product rms (1 - c) to it.
        const float level = rms[i];
        if (level > env)
            env = level * attackRest + attack * env;
        else
            env = level * releaseRest + release * env;
        if (env < kInputOffset) env = kInputOffset;
        envelope[i] = env;
    }
    envelope_ = env;
    writeIndex_ = (w + count) & kRingMask;
}
