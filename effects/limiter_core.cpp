#include "effects/limiter_core.h"

#include <emmintrin.h>

#include "common/cpu_features.h"
#include "effects/dsp/ring_copy.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/stereo_four_pole.h"

LimiterCore::LimiterCore() {
    for (int i = 0; i < kRingSize; ++i) ringL_[i] = ringR_[i] = 0.0f;
    useWideLanes(true);
}

void LimiterCore::clearSignal() {
    for (int i = 0; i < kRingSize; ++i) ringL_[i] = ringR_[i] = 0.0f;
    writeIndex_ = 0;
    envelope_[0] = envelope_[1] = 1.0f;
}

void LimiterCore::setLookaheadSamples(int samples) {
    if (samples < 0) samples = 0;
    if (samples > kRingMask) samples = kRingMask;
    lookaheadSamples_ = samples;
}

void LimiterCore::useWideLanes(bool on) { wide_ = on && cpuHasAvx2(); }

void LimiterCore::processRun(const float* inL, const float* inR, float* outL, float* outR, int count) {
    while (count > 0) {
        const int n = count < kStretch ? count : kStretch;
#if defined(__x86_64__)
        if (wide_)
            stretchWide(inL, inR, outL, outR, n);
        else
#endif
            stretchBaseline(inL, inR, outL, outR, n);
        inL += n;
        inR += n;
        outL += n;
        outR += n;
        count -= n;
    }
}

// Per channel and frame: a = drive x enters the ring and (see followed) the follower, the
// sample lookaheadSamples_ older leaves the ring; the follower jumps half-way
// to a rising |a| and otherwise decays by the release coefficient (floored);
// the delayed sample is divided by the follower where it is above 1, scaled
// to the ceiling and clipped.
//
// In passes over a stretch: the driven samples four frames at a time; the
// ring's writes and look-ahead reads as copies; both channels' followers
// frame by frame (left and right in two SSE lanes, both of the follower's
// branches formed and one selected, which keeps the unpredictable choice off
// the branch predictor); the division and clip four frames at a time. Each
// frame gets the arithmetic of the plain frame loop in the same order:
// dividing by max(follower, 1) is the division where the follower is above 1
// and leaves the sample as it is elsewhere (also for NaN), and the min/max
// operand order keeps a NaN where the plain comparisons keep it.
namespace {

// What the follower takes of a driven sample: its magnitude, at most
// kLargestFedSample, and 0 for NaN. A NaN would stay in the follower for
// good and switch the limiting off; an infinity would hold it at infinity
// and silence the output for good.
__attribute__((always_inline)) inline __m128 followed(__m128 a) {
    const __m128 magnitude = _mm_min_ps(fxdsp::absLanes(a), _mm_set1_ps(fxdsp::kLargestFedSample));
    return _mm_and_ps(magnitude, _mm_cmpord_ps(a, a));
}

}  // namespace

// stretch() is compiled twice: for the SSE2 every build assumes and, where
// the processor has AVX2, for it. The AVX2 copy is the same sequence of
// single-precision operations on the same 128-bit lanes (no fused
// multiply-adds), so both give the same bits; the VEX encoding's three
// operands spare the register copies of SSE2's two-operand forms.
void LimiterCore::stretchBaseline(const float* inL, const float* inR, float* outL, float* outR, int count) {
    stretch(inL, inR, outL, outR, count);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void LimiterCore::stretchWide(const float* inL, const float* inR, float* outL,
                                                              float* outR, int count) {
    stretch(inL, inR, outL, outR, count);
}
#endif

__attribute__((always_inline)) inline void LimiterCore::stretch(const float* inL, const float* inR, float* outL,
                                                                float* outR, int count) {
    alignas(16) float magnitudes[2 * kStretch];
    alignas(16) float bufferL[kStretch], bufferR[kStretch];
    alignas(16) float envelopes[2 * kStretch];
    // The ring: a read lookaheadSamples_ back sees the writes of the
    // stretch's earlier frames (and its own) and none of its later ones. The
    // reads follow the writes, except within a stretch of the whole ring
    // back, where a later frame of the stretch writes the slot an earlier
    // frame reads; there the reads are copied first. Where neither the writes
    // nor the reads cross the ring's end, the driven samples go straight into
    // the ring and the delayed ones are read where they lie.
    const int w = writeIndex_;
    const int read = (w - lookaheadSamples_) & kRingMask;
    const bool readFirst = lookaheadSamples_ > kRingSize - kStretch;
    const bool straight = !readFirst && w + count <= kRingSize && read + count <= kRingSize;
    if (readFirst) {
        fxdsp::copyFromRing<kRingSize>(ringL_, read, bufferL, count);
        fxdsp::copyFromRing<kRingSize>(ringR_, read, bufferR, count);
    }
    alignas(16) float drivenL[kStretch], drivenR[kStretch];
    float* aL = straight ? ringL_ + w : drivenL;
    float* aR = straight ? ringR_ + w : drivenR;
    const __m128 drive = _mm_set1_ps(drive_);
    int n = 0;
    for (; n + 4 <= count; n += 4) {
        const __m128 l = _mm_mul_ps(drive, _mm_loadu_ps(inL + n));
        const __m128 r = _mm_mul_ps(drive, _mm_loadu_ps(inR + n));
        _mm_storeu_ps(aL + n, l);
        _mm_storeu_ps(aR + n, r);
        _mm_store_ps(magnitudes + 2 * n, followed(_mm_unpacklo_ps(l, r)));
        _mm_store_ps(magnitudes + 2 * n + 4, followed(_mm_unpackhi_ps(l, r)));
    }
    for (; n < count; ++n) {
        aL[n] = drive_ * inL[n];
        aR[n] = drive_ * inR[n];
        _mm_storel_pi(reinterpret_cast<__m64*>(magnitudes + 2 * n), followed(_mm_setr_ps(aL[n], aR[n], 0.0f, 0.0f)));
    }
    if (!straight) {
        fxdsp::copyToRing<kRingSize>(ringL_, w, drivenL, count);
        fxdsp::copyToRing<kRingSize>(ringR_, w, drivenR, count);
        if (!readFirst) {
            fxdsp::copyFromRing<kRingSize>(ringL_, read, bufferL, count);
            fxdsp::copyFromRing<kRingSize>(ringR_, read, bufferR, count);
        }
    }
    const float* delayedL = straight ? ringL_ + read : bufferL;
    const float* delayedR = straight ? ringR_ + read : bufferR;
    writeIndex_ = (w + count) & kRingMask;

    const auto loadPair = [](const float* p) {
        return _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p));
    };
    const __m128 attack = _mm_set1_ps(kAttackCoefficient);
    const __m128 attackRest = _mm_set1_ps(1.0f - kAttackCoefficient);
    const __m128 release = _mm_set1_ps(releaseCoefficient_);
    const __m128 releaseRest = _mm_set1_ps(1.0f - releaseCoefficient_);
    const __m128 floor = _mm_set1_ps(kEnvelopeFloor);
    __m128 envelope = loadPair(envelope_);
    for (n = 0; n < count; ++n) {
        const __m128 h = loadPair(magnitudes + 2 * n);
        const __m128 rising = _mm_cmplt_ps(envelope, h);
        const __m128 attacked = _mm_add_ps(_mm_mul_ps(attack, envelope), _mm_mul_ps(attackRest, h));
        const __m128 released = _mm_add_ps(_mm_mul_ps(release, envelope), _mm_mul_ps(releaseRest, h));
        // The floor is taken only where a released value falls below it (a
        // well predicted branch: in silence it is taken every frame,
        // otherwise hardly ever), which keeps max() off the follower's
        // frame-to-frame dependency chain. max(floor, x) keeps a NaN x, as
        // "x < floor" does, and the branch leaves NaN alone as well.
        if (_mm_movemask_ps(_mm_cmplt_ps(released, floor)) & 3) [[unlikely]]
            envelope = fxdsp::selectLanes(rising, attacked, _mm_max_ps(floor, released));
        else
            envelope = fxdsp::selectLanes(rising, attacked, released);
        _mm_storel_pi(reinterpret_cast<__m64*>(envelopes + 2 * n), envelope);
    }
    _mm_storel_pi(reinterpret_cast<__m64*>(envelope_), envelope);

    const __m128 one = _mm_set1_ps(1.0f), minusOne = _mm_set1_ps(-1.0f);
    const __m128 ceiling = _mm_set1_ps(kCeiling);
    const auto limit = [&](__m128 delayed, __m128 follower) {
        // max(follower, 1) is 1 for a NaN follower, which divides by nothing.
        const __m128 y = _mm_mul_ps(_mm_div_ps(delayed, _mm_max_ps(follower, one)), ceiling);
        return _mm_max_ps(minusOne, _mm_min_ps(one, y));
    };
    for (n = 0; n + 4 <= count; n += 4) {
        const __m128 e01 = _mm_load_ps(envelopes + 2 * n), e23 = _mm_load_ps(envelopes + 2 * n + 4);
        const __m128 left = _mm_shuffle_ps(e01, e23, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 right = _mm_shuffle_ps(e01, e23, _MM_SHUFFLE(3, 1, 3, 1));
        _mm_storeu_ps(outL + n, limit(_mm_loadu_ps(delayedL + n), left));
        _mm_storeu_ps(outR + n, limit(_mm_loadu_ps(delayedR + n), right));
    }
    for (; n < count; ++n) {
        const __m128 y = limit(_mm_setr_ps(delayedL[n], delayedR[n], 0.0f, 0.0f), loadPair(envelopes + 2 * n));
        fxdsp::storeStereo(y, outL + n, outR + n);
    }
}
