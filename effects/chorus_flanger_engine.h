// The signal path shared by the chorus and the flanger: one delay ring per
// channel, both read around a base delay that a triangle oscillator sweeps in
// octaves, the left read moving up while the right one moves down (the ratio k
// lengthens one side and shortens the other), so the two channels never
// detune the same way and the image widens. The flanger feeds the read back
// into its ring; the chorus does not.
//
// DSP state only: the module maps its parameters to SweptDelayTargets and
// sweep increments, the engine smooths towards them and renders.
#pragma once

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstddef>

#include "common/cpu_features.h"
#include "common/portable_math.h"
#include "effects/dsp/balance_law.h"
#include "effects/dsp/delay_ring.h"
#include "effects/dsp/portable_lanes.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"
#include "effects/swept_delay_wide.h"

struct SweptDelayTargets {
    double delaySamples = 0.0;  // base delay D
    float depthOctaves = 0.0f;  // sweep depth
    float feedback = 0.0f;      // 0 for the chorus
    float mix = 0.5f;           // Mix parameter, 0..1
    double level = 1.0;         // output gain e
};

template <int kRingBits>
class SweptDelayEngine {
public:
    using Ring = fxdsp::DelayRing<kRingBits>;

    static constexpr float kReadLimit = fxdsp::kSweptReadLimit;

    // Eight frames at a time in AVX2 lanes where the processor has them
    // (the same bits as four at a time); tests turn them off to compare.
    void allowWideLanes(bool allowed) { wide_ = allowed && cpuHasAvx2(); }

    // Oscillator step per sample, in units of the ±1 triangle (4 units a
    // cycle). The oscillator always continues upward from where it is.
    void setSweepIncrement(double perSample) {
        increment_ = perSample;
        reflection_ = perSample;
    }

    void smooth(const SweptDelayTargets& t, float factor) {
        fxdsp::glide(delay_, t.delaySamples, factor);
        fxdsp::glide(depth_, t.depthOctaves, factor);
        fxdsp::glide(feedback_, t.feedback, factor);
        const fxdsp::MixGains mix = fxdsp::mixGains(t.mix);
        fxdsp::glide(dry_, mix.dry, factor);
        fxdsp::glide(wet_, mix.wet, factor);
        fxdsp::glide(level_, t.level, factor);
    }

    // Reads both inputs of a frame before writing its outputs: may run in place.
    // In three passes over each stretch of up to kStretch frames: the
    // oscillator frame by frame, then the read distances (eight or four
    // frames at a time in AVX2 or SSE lanes), then the reads, ring writes and
    // mixes (eight or four frames at a time where every read of the group
    // lies behind its writes).
    // Every frame gets the arithmetic of the plain frame loop in the same
    // order, so the output is that loop's bit for bit; the passes only free
    // the processor to overlap the work of neighbouring frames.
    void render(const float* inL, const float* inR, float* outL, float* outR, int count) {
        written_.add(count);
        while (count > 0) {
            const int n = count < kStretch ? count : kStretch;
            renderStretch(inL, inR, outL, outR, n);
            inL += n;
            inR += n;
            outL += n;
            outR += n;
            count -= n;
        }
    }

    double sweepValue() const { return sweep_; }

    // The oscillator moves on by count frames, the rings stay as they are
    // (the module rests only once they hold silence): the same steps as
    // render's, so the sweep is bit for bit where rendering would have left
    // it.
    void advanceSweep(int count) {
        double sweep = sweep_, increment = increment_;
        for (int n = 0; n < count; ++n) stepSweep(sweep, increment);
        sweep_ = sweep;
        increment_ = increment;
    }

    // Silence in the rings and the sweep back at its start, rising. Only
    // the slots written since the rings last held silence are cleared;
    // returns the bytes cleared.
    std::size_t clearSignal() {
        const std::size_t bytes = left_.clearFirst(written_.frames()) + right_.clearFirst(written_.frames());
        written_.reset();
        write_ = 0;
        sweep_ = 0.0;
        increment_ = reflection_;
        return bytes;
    }

private:
    static constexpr int kStretch = 16;

    void renderStretch(const float* inL, const float* inR, float* outL, float* outR, int count) {
        alignas(16) float sweeps[kStretch];
        alignas(16) float distL[kStretch];
        alignas(16) float distR[kStretch];
        // The oscillator runs in double; the exponent takes it in float.
        // Stored four at a time, so that the lanes' loads below are each
        // forwarded from one store rather than waiting for four.
        double sweep = sweep_, increment = increment_;
        int n = 0;
        for (; n + 4 <= count; n += 4) {
            const float s0 = static_cast<float>(stepSweep(sweep, increment));
            const float s1 = static_cast<float>(stepSweep(sweep, increment));
            const float s2 = static_cast<float>(stepSweep(sweep, increment));
            const float s3 = static_cast<float>(stepSweep(sweep, increment));
            _mm_store_ps(sweeps + n, _mm_setr_ps(s0, s1, s2, s3));
        }
        for (; n < count; ++n) sweeps[n] = static_cast<float>(stepSweep(sweep, increment));
        sweep_ = sweep;
        increment_ = increment;

        // Read distances: k = 2^(depth sweep) lengthens the left read and
        // shortens the right one, both clamped into the Hermite range (a
        // clamped distance is a float value, so floats hold them exactly).
        const __m128 depth = _mm_set1_ps(depth_);
        const __m128 delay = _mm_set1_ps(delay_);
        const __m128 shortest = _mm_set1_ps(static_cast<float>(Ring::kMinHermiteDelay));
        const __m128 longest = _mm_set1_ps(static_cast<float>(Ring::kMaxHermiteDelay));
        n = 0;
        if (wide_)
            n = fxdsp::sweptDistancesWide(sweeps, distL, distR, count, depth_, delay_,
                                          static_cast<float>(Ring::kMinHermiteDelay),
                                          static_cast<float>(Ring::kMaxHermiteDelay));
        for (; n + 4 <= count; n += 4) {
            const __m128 exponent = _mm_mul_ps(depth, _mm_load_ps(sweeps + n));
            if (!fxdsp::insideExp2Lanes(exponent)) break;
            const __m128 k = fxdsp::exp2Lanes(exponent);
            // clampDelay: max takes its second operand for NaN.
            _mm_store_ps(distL + n, _mm_min_ps(_mm_max_ps(_mm_mul_ps(k, delay), shortest), longest));
            _mm_store_ps(distR + n, _mm_min_ps(_mm_max_ps(_mm_div_ps(delay, k), shortest), longest));
        }
        for (; n < count; ++n) {
            const float k = portable::exp2(depth_ * sweeps[n]);
            distL[n] = static_cast<float>(fxdsp::clampDelay(k * delay_, Ring::kMinHermiteDelay, Ring::kMaxHermiteDelay));
            distR[n] = static_cast<float>(fxdsp::clampDelay(delay_ / k, Ring::kMinHermiteDelay, Ring::kMaxHermiteDelay));
        }

        int w = write_;
        n = 0;
        if (wide_)
            n = fxdsp::sweptRenderWide<kRingBits>(left_.slots(), right_.slots(), w, distL, distR, inL, inR, outL, outR,
                                                   count, fxdsp::SweptMixGains{feedback_, dry_, wet_, level_});
        for (; n + 4 <= count; n += 4) {
            const __m128 cL = _mm_load_ps(distL + n), cR = _mm_load_ps(distR + n);
            // Reads more than 5 samples back lie behind the four writes.
            if (_mm_movemask_ps(_mm_cmpgt_ps(_mm_min_ps(cL, cR), _mm_set1_ps(5.0f))) == 15) {
                renderFour(inL + n, inR + n, outL + n, outR + n, cL, cR, w);
            } else {
                for (int i = 0; i < 4; ++i)
                    renderFrame(inL[n + i], inR[n + i], outL[n + i], outR[n + i], distL[n + i], distR[n + i], w + i);
            }
            w = (w + 4) & Ring::kMask;
        }
        for (; n < count; ++n) {
            renderFrame(inL[n], inR[n], outL[n], outR[n], distL[n], distR[n], w);
            w = (w + 1) & Ring::kMask;
        }
        write_ = w;
    }

    void renderFrame(float inL, float inR, float& outL, float& outR, float cL, float cR, int w) {
        const float xL = inL + fxdsp::kAntiDenormalOffset;
        const float xR = inR + fxdsp::kAntiDenormalOffset;
        w &= Ring::kMask;
        const float yL = limitRead(left_.readHermite(w, cL));
        const float yR = limitRead(right_.readHermite(w, cR));
        left_.store(w, yL * feedback_ + xL);
        right_.store(w, yR * feedback_ + xR);
        outL = (yL * wet_ + xL * dry_) * level_;
        outR = (yR * wet_ + xR * dry_) * level_;
    }

    // Four frames of renderFrame in SSE lanes, all four reads before the
    // four writes.
    void renderFour(const float* inL, const float* inR, float* outL, float* outR, __m128 cL, __m128 cR, int w) {
        const __m128d w01 = _mm_setr_pd(w, (w + 1) & Ring::kMask);
        const __m128d w23 = _mm_setr_pd((w + 2) & Ring::kMask, (w + 3) & Ring::kMask);
        const __m128 yL = limitLanes(readFour(left_, w01, w23, cL));
        const __m128 yR = limitLanes(readFour(right_, w01, w23, cR));
        const __m128 offset = _mm_set1_ps(fxdsp::kAntiDenormalOffset);
        const __m128 xL = _mm_add_ps(_mm_loadu_ps(inL), offset);
        const __m128 xR = _mm_add_ps(_mm_loadu_ps(inR), offset);
        const __m128 g = _mm_set1_ps(feedback_);
        storeFour(left_, w, _mm_add_ps(_mm_mul_ps(yL, g), xL));
        storeFour(right_, w, _mm_add_ps(_mm_mul_ps(yR, g), xR));
        const __m128 dry = _mm_set1_ps(dry_), wet = _mm_set1_ps(wet_), level = _mm_set1_ps(level_);
        _mm_storeu_ps(outL, _mm_mul_ps(_mm_add_ps(_mm_mul_ps(yL, wet), _mm_mul_ps(xL, dry)), level));
        _mm_storeu_ps(outR, _mm_mul_ps(_mm_add_ps(_mm_mul_ps(yR, wet), _mm_mul_ps(xR, dry)), level));
    }

    // Ring::readHermite for four frames: write indices in w01 and w23, read
    // distances (already clamped) in c.
    static __m128 readFour(const Ring& ring, __m128d w01, __m128d w23, __m128 c) {
        const auto positions = [](__m128d writes, __m128d distances, __m128i& whole, __m128& frac) {
            __m128d r = _mm_sub_pd(writes, distances);
            r = _mm_add_pd(r, _mm_and_pd(_mm_cmplt_pd(r, _mm_setzero_pd()), _mm_set1_pd(Ring::kSize)));
            whole = _mm_cvttpd_epi32(r);
            frac = _mm_cvtpd_ps(_mm_sub_pd(r, _mm_cvtepi32_pd(whole)));
        };
        __m128i j01, j23;
        __m128 f01, f23;
        positions(w01, _mm_cvtps_pd(c), j01, f01);
        positions(w23, _mm_cvtps_pd(_mm_movehl_ps(c, c)), j23, f23);
        const __m128 f = _mm_movelh_ps(f01, f23);
        alignas(16) int j[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(j), _mm_unpacklo_epi64(j01, j23));
        // Slots j - 1 .. j + 2 of each frame, then transposed: xm1 holds
        // the four frames' slot j - 1, and so on.
        __m128 xm1 = pointsAround(ring, j[0]), x0 = pointsAround(ring, j[1]);
        __m128 x1 = pointsAround(ring, j[2]), x2 = pointsAround(ring, j[3]);
        _MM_TRANSPOSE4_PS(xm1, x0, x1, x2);
        const __m128 half = _mm_set1_ps(0.5f);
        const __m128 c1 = _mm_mul_ps(half, _mm_sub_ps(x1, xm1));
        const __m128 c2 = _mm_sub_ps(
            _mm_add_ps(_mm_sub_ps(xm1, _mm_mul_ps(_mm_set1_ps(2.5f), x0)), _mm_mul_ps(_mm_set1_ps(2.0f), x1)),
            _mm_mul_ps(half, x2));
        const __m128 c3 =
            _mm_add_ps(_mm_mul_ps(_mm_set1_ps(1.5f), _mm_sub_ps(x0, x1)), _mm_mul_ps(half, _mm_sub_ps(x2, xm1)));
        return _mm_add_ps(x0, _mm_mul_ps(f, _mm_add_ps(c1, _mm_mul_ps(f, _mm_add_ps(c2, _mm_mul_ps(f, c3))))));
    }

    static __m128 pointsAround(const Ring& ring, int j) {
        if (j >= 1 && j <= Ring::kSize - 3) return _mm_loadu_ps(ring.slotsAt(j - 1));
        return _mm_setr_ps(ring.at(j - 1), ring.at(j), ring.at(j + 1), ring.at(j + 2));
    }

    static void storeFour(Ring& ring, int w, __m128 v) {
        if (w <= Ring::kSize - 4) {
            _mm_storeu_ps(ring.slots() + w, v);
            return;
        }
        alignas(16) float values[4];
        _mm_store_ps(values, v);
        for (int i = 0; i < 4; ++i) ring.store(w + i, values[i]);
    }

    // One oscillator step: up or down by the increment, turning at +-1.
    double stepSweep(double& sweep, double& increment) const {
        sweep += increment;
        if (sweep >= 1.0)
            increment = -reflection_;
        else if (sweep <= -1.0)
            increment = reflection_;
        return sweep;
    }

    // limitRead on four lanes: NaN to 0, then held within +-kReadLimit.
    static __m128 limitLanes(__m128 y) {
        const __m128 limit = _mm_set1_ps(kReadLimit);
        const __m128 ordered = _mm_and_ps(y, _mm_cmpord_ps(y, y));
        return _mm_min_ps(_mm_max_ps(ordered, _mm_sub_ps(_mm_setzero_ps(), limit)), limit);
    }

    static float limitRead(float y) {
        if (y >= kReadLimit) return kReadLimit;
        if (y < -kReadLimit) return -kReadLimit;
        if (y != y) return 0.0f;  // a NaN input must not circulate for ever
        return y;
    }

    bool wide_ = cpuHasAvx2();
    Ring left_, right_;
    // Both rings are written from slot 0 on after a clear, one slot a frame.
    int write_ = 0;
    fxdsp::WrittenSpan written_{Ring::kSize};
    // The oscillator runs in double precision: at 0.05 Hz the step is below
    // 1e-5 and a float sweep would drift off its rate.
    double sweep_ = 0.0;
    double increment_ = 0.0;
    double reflection_ = 0.0;
    float delay_ = 0.0f, depth_ = 0.0f, feedback_ = 0.0f;
    float dry_ = 0.0f, wet_ = 0.0f, level_ = 0.0f;
};
