#include "effects/compressor_gains_wide.h"

#include "common/cpu_features.h"
#include "common/portable_math.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include "effects/dsp/portable_lanes_wide.h"
#endif

namespace fxdsp {

#if defined(__x86_64__)
namespace {

#define LANE_FN __attribute__((target("avx2")))

using wide::exp2Eight;
using wide::log2Eight;

LANE_FN inline __m256 select(__m256 mask, __m256 a, __m256 b) {
    return _mm256_or_ps(_mm256_and_ps(mask, a), _mm256_andnot_ps(mask, b));
}

LANE_FN bool gainsEight(const CompressorGainCurve& curve, const float* envelope, const float* dL, const float* dR,
                        float* outL, float* outR) {
    const __m256 env = _mm256_loadu_ps(envelope);
    const __m256 makeUp = _mm256_set1_ps(curve.makeUpGain);
    const __m256 l = _mm256_loadu_ps(dL), rr = _mm256_loadu_ps(dR);
    if (_mm256_movemask_ps(_mm256_cmp_ps(env, _mm256_set1_ps(curve.quietBound), _CMP_LT_OQ)) == 255) {
        _mm256_storeu_ps(outL, _mm256_mul_ps(makeUp, l));
        _mm256_storeu_ps(outR, _mm256_mul_ps(makeUp, rr));
        return true;
    }
    const __m256 inside = _mm256_and_ps(_mm256_cmp_ps(env, _mm256_set1_ps(0x1p-126f), _CMP_GE_OQ),
                                        _mm256_cmp_ps(env, _mm256_set1_ps(0x1.fffffep127f), _CMP_LE_OQ));
    if (_mm256_movemask_ps(inside) != 255) return false;
    const __m256 v = _mm256_mul_ps(_mm256_set1_ps(6.0f), log2Eight(env));
    const __m256 t = _mm256_set1_ps(curve.thresholdUnits);
    const __m256 e = _mm256_set1_ps(curve.kneeUnits);
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 k = _mm256_add_ps(_mm256_sub_ps(v, t), e);
    const __m256 g = _mm256_add_ps(one, _mm256_mul_ps(_mm256_set1_ps(curve.kneeSlope), k));
    const __m256 inKnee = _mm256_mul_ps(k, _mm256_sub_ps(one, _mm256_div_ps(one, g)));
    const __m256 aboveKnee = _mm256_mul_ps(_mm256_set1_ps(curve.oneMinusInverseRatio), _mm256_sub_ps(v, t));
    const __m256 reducing = _mm256_cmp_ps(v, _mm256_sub_ps(t, e), _CMP_GT_OQ);
    const __m256 belowTop = _mm256_cmp_ps(v, _mm256_add_ps(t, e), _CMP_LT_OQ);
    const __m256 r = _mm256_and_ps(reducing, select(belowTop, inKnee, aboveKnee));
    const __m256 apply = _mm256_cmp_ps(r, _mm256_setzero_ps(), _CMP_NEQ_UQ);
    if (_mm256_movemask_ps(apply) == 0) {
        _mm256_storeu_ps(outL, _mm256_mul_ps(makeUp, l));
        _mm256_storeu_ps(outR, _mm256_mul_ps(makeUp, rr));
        return true;
    }
    const __m256 exponent = _mm256_div_ps(_mm256_sub_ps(_mm256_setzero_ps(), r), _mm256_set1_ps(6.0f));
    const __m256 magnitude = _mm256_and_ps(exponent, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    if (_mm256_movemask_ps(_mm256_cmp_ps(magnitude, _mm256_set1_ps(512.0f), _CMP_LE_OQ)) != 255) return false;
    const __m256 gain = exp2Eight(exponent);
    _mm256_storeu_ps(outL, _mm256_mul_ps(makeUp, select(apply, _mm256_mul_ps(l, gain), l)));
    _mm256_storeu_ps(outR, _mm256_mul_ps(makeUp, select(apply, _mm256_mul_ps(rr, gain), rr)));
    return true;
}

#undef LANE_FN

}  // namespace

bool compressorGainsEight(const CompressorGainCurve& curve, const float* envelope, const float* dL, const float* dR,
                          float* outL, float* outR) {
    return gainsEight(curve, envelope, dL, dR, outL, outR);
}
bool compressorWideGainsAvailable() { return cpuHasAvx2(); }
#else
bool compressorGainsEight(const CompressorGainCurve&, const float*, const float*, const float*, float*, float*) {
    return false;
}
bool compressorWideGainsAvailable() { return false; }
#endif

}  // namespace fxdsp
