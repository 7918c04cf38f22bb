#include "effects/swept_delay_wide.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include "common/portable_math.h"
#include "effects/dsp/portable_lanes.h"
#include "effects/dsp/portable_lanes_wide.h"
#include "effects/dsp/signal_floor.h"

#define TALVEX_AVX2 __attribute__((target("avx2")))
#define TALVEX_AVX2_INLINE __attribute__((target("avx2"), always_inline))

namespace fxdsp {
namespace {

using wide::exp2Eight;

// Two halves stored apart: each is forwarded from its own store.
TALVEX_AVX2 inline __m256 loadHalves(const float* p) {
    return _mm256_set_m128(_mm_load_ps(p + 4), _mm_load_ps(p));
}

TALVEX_AVX2 int distancesWide(const float* sweeps, float* distL, float* distR, int count, float depthValue,
                              float delayValue, float shortestValue, float longestValue) {
    const __m256 depth = _mm256_set1_ps(depthValue);
    const __m256 delay = _mm256_set1_ps(delayValue);
    const __m256 shortest = _mm256_set1_ps(shortestValue);
    const __m256 longest = _mm256_set1_ps(longestValue);
    const __m256 magnitudeMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    const __m256 inside = _mm256_set1_ps(static_cast<float>(kExp2LanesLimit));
    int n = 0;
    for (; n + 8 <= count; n += 8) {
        const __m256 exponent = _mm256_mul_ps(depth, loadHalves(sweeps + n));
        const __m256 within = _mm256_cmp_ps(_mm256_and_ps(exponent, magnitudeMask), inside, _CMP_LE_OQ);
        if (_mm256_movemask_ps(within) != 0xff) break;
        const __m256 k = exp2Eight(exponent);
        // max takes its second operand for NaN, as clampDelay does.
        _mm256_storeu_ps(distL + n, _mm256_min_ps(_mm256_max_ps(_mm256_mul_ps(k, delay), shortest), longest));
        _mm256_storeu_ps(distR + n, _mm256_min_ps(_mm256_max_ps(_mm256_div_ps(delay, k), shortest), longest));
    }
    return n;
}

template <int kBits>
struct Wide {
    static constexpr int kSize = 1 << kBits;
    static constexpr int kMask = kSize - 1;

    // Slot and fraction of four reads: writes minus distances, wrapped.
    TALVEX_AVX2 static void positions(__m256d writes, __m128 distances, __m128i& whole, __m128& frac) {
        __m256d r = _mm256_sub_pd(writes, _mm256_cvtps_pd(distances));
        r = _mm256_add_pd(
            r, _mm256_and_pd(_mm256_cmp_pd(r, _mm256_setzero_pd(), _CMP_LT_OS), _mm256_set1_pd(kSize)));
        whole = _mm256_cvttpd_epi32(r);
        frac = _mm256_cvtpd_ps(_mm256_sub_pd(r, _mm256_cvtepi32_pd(whole)));
    }

    TALVEX_AVX2 static __m128 pointsAround(const float* ring, int j) {
        if (j >= 1 && j <= kSize - 3) return _mm_loadu_ps(ring + j - 1);
        return _mm_setr_ps(ring[(j - 1) & kMask], ring[j & kMask], ring[(j + 1) & kMask], ring[(j + 2) & kMask]);
    }

    // The Hermite read of eight frames: lanes 0..3 from the first four
    // writes, lanes 4..7 from the last four.
    TALVEX_AVX2_INLINE static __m256 readEight(const float* ring, __m256d w0123, __m256d w4567, __m256 c) {
        __m128i j0123, j4567;
        __m128 f0123, f4567;
        positions(w0123, _mm256_castps256_ps128(c), j0123, f0123);
        positions(w4567, _mm256_extractf128_ps(c, 1), j4567, f4567);
        const __m256 f = _mm256_set_m128(f4567, f0123);
        alignas(32) int j[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(j), _mm256_set_m128i(j4567, j0123));
        // Row i holds frame i's four slots in its low half and frame i + 4's
        // in its high half; transposed within the halves, xm1 holds every
        // frame's slot j - 1, and so on.
        const __m256 r0 = _mm256_set_m128(pointsAround(ring, j[4]), pointsAround(ring, j[0]));
        const __m256 r1 = _mm256_set_m128(pointsAround(ring, j[5]), pointsAround(ring, j[1]));
        const __m256 r2 = _mm256_set_m128(pointsAround(ring, j[6]), pointsAround(ring, j[2]));
        const __m256 r3 = _mm256_set_m128(pointsAround(ring, j[7]), pointsAround(ring, j[3]));
        const __m256d t0 = _mm256_castps_pd(_mm256_unpacklo_ps(r0, r1));
        const __m256d t1 = _mm256_castps_pd(_mm256_unpacklo_ps(r2, r3));
        const __m256d t2 = _mm256_castps_pd(_mm256_unpackhi_ps(r0, r1));
        const __m256d t3 = _mm256_castps_pd(_mm256_unpackhi_ps(r2, r3));
        const __m256 xm1 = _mm256_castpd_ps(_mm256_unpacklo_pd(t0, t1));
        const __m256 x0 = _mm256_castpd_ps(_mm256_unpackhi_pd(t0, t1));
        const __m256 x1 = _mm256_castpd_ps(_mm256_unpacklo_pd(t2, t3));
        const __m256 x2 = _mm256_castpd_ps(_mm256_unpackhi_pd(t2, t3));
        const __m256 half = _mm256_set1_ps(0.5f);
        const __m256 c1 = _mm256_mul_ps(half, _mm256_sub_ps(x1, xm1));
        const __m256 c2 = _mm256_sub_ps(
            _mm256_add_ps(_mm256_sub_ps(xm1, _mm256_mul_ps(_mm256_set1_ps(2.5f), x0)),
                          _mm256_mul_ps(_mm256_set1_ps(2.0f), x1)),
            _mm256_mul_ps(half, x2));
        const __m256 c3 = _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(1.5f), _mm256_sub_ps(x0, x1)),
                                        _mm256_mul_ps(half, _mm256_sub_ps(x2, xm1)));
        return _mm256_add_ps(
            x0, _mm256_mul_ps(f, _mm256_add_ps(c1, _mm256_mul_ps(f, _mm256_add_ps(c2, _mm256_mul_ps(f, c3))))));
    }

    // NaN to 0, then held within +-limit.
    TALVEX_AVX2 static __m256 limitRead(__m256 y, __m256 limit) {
        const __m256 ordered = _mm256_and_ps(y, _mm256_cmp_ps(y, y, _CMP_ORD_Q));
        return _mm256_min_ps(_mm256_max_ps(ordered, _mm256_sub_ps(_mm256_setzero_ps(), limit)), limit);
    }

    TALVEX_AVX2 static void storeEight(float* ring, int w, __m256 v) {
        if (w <= kSize - 8) {
            _mm256_storeu_ps(ring + w, v);
            return;
        }
        alignas(32) float values[8];
        _mm256_store_ps(values, v);
        for (int i = 0; i < 8; ++i) ring[(w + i) & kMask] = values[i];
    }

    TALVEX_AVX2 static int render(float* ringL, float* ringR, int& write, const float* distL, const float* distR,
                                  const float* inL, const float* inR, float* outL, float* outR, int count,
                                  const SweptMixGains& gains, float readLimit) {
        const __m256 g = _mm256_set1_ps(gains.feedback);
        const __m256 dry = _mm256_set1_ps(gains.dry), wet = _mm256_set1_ps(gains.wet);
        const __m256 level = _mm256_set1_ps(gains.level);
        const __m256 offset = _mm256_set1_ps(kAntiDenormalOffset);
        const __m256 limit = _mm256_set1_ps(readLimit);
        // Reads more than 9 samples back lie behind the eight writes.
        const __m256 behind = _mm256_set1_ps(9.0f);
        const __m128i steps0123 = _mm_setr_epi32(0, 1, 2, 3);
        const __m128i steps4567 = _mm_setr_epi32(4, 5, 6, 7);
        const __m128i mask = _mm_set1_epi32(kMask);
        int w = write;
        int n = 0;
        for (; n + 8 <= count; n += 8) {
            const __m256 cL = _mm256_loadu_ps(distL + n), cR = _mm256_loadu_ps(distR + n);
            const __m256 far = _mm256_cmp_ps(_mm256_min_ps(cL, cR), behind, _CMP_GT_OQ);
            if (_mm256_movemask_ps(far) != 0xff) break;
            // The write index of each frame, wrapped, as doubles.
            const __m128i base = _mm_set1_epi32(w);
            const __m256d w0123 = _mm256_cvtepi32_pd(_mm_and_si128(_mm_add_epi32(base, steps0123), mask));
            const __m256d w4567 = _mm256_cvtepi32_pd(_mm_and_si128(_mm_add_epi32(base, steps4567), mask));
            const __m256 yL = limitRead(readEight(ringL, w0123, w4567, cL), limit);
            const __m256 yR = limitRead(readEight(ringR, w0123, w4567, cR), limit);
            const __m256 xL = _mm256_add_ps(_mm256_loadu_ps(inL + n), offset);
            const __m256 xR = _mm256_add_ps(_mm256_loadu_ps(inR + n), offset);
            storeEight(ringL, w, _mm256_add_ps(_mm256_mul_ps(yL, g), xL));
            storeEight(ringR, w, _mm256_add_ps(_mm256_mul_ps(yR, g), xR));
            _mm256_storeu_ps(outL + n, _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(yL, wet), _mm256_mul_ps(xL, dry)), level));
            _mm256_storeu_ps(outR + n, _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(yR, wet), _mm256_mul_ps(xR, dry)), level));
            w = (w + 8) & kMask;
        }
        write = w;
        return n;
    }
};

}  // namespace

int sweptDistancesWide(const float* sweeps, float* distL, float* distR, int count, float depth, float delay,
                       float shortest, float longest) {
    return distancesWide(sweeps, distL, distR, count, depth, delay, shortest, longest);
}

template <int kBits>
int sweptRenderWide(float* ringL, float* ringR, int& write, const float* distL, const float* distR, const float* inL,
                    const float* inR, float* outL, float* outR, int count, const SweptMixGains& gains) {
    return Wide<kBits>::render(ringL, ringR, write, distL, distR, inL, inR, outL, outR, count, gains, kSweptReadLimit);
}

}  // namespace fxdsp

#else

namespace fxdsp {

int sweptDistancesWide(const float*, float*, float*, int, float, float, float, float) { return 0; }

template <int kBits>
int sweptRenderWide(float*, float*, int&, const float*, const float*, const float*, const float*, float*, float*, int,
                    const SweptMixGains&) {
    return 0;
}

}  // namespace fxdsp

#endif

// The ring lengths of the flanger and the chorus.
template int fxdsp::sweptRenderWide<13>(float*, float*, int&, const float*, const float*, const float*, const float*,
                                        float*, float*, int, const fxdsp::SweptMixGains&);
template int fxdsp::sweptRenderWide<17>(float*, float*, int&, const float*, const float*, const float*, const float*,
                                        float*, float*, int, const fxdsp::SweptMixGains&);
