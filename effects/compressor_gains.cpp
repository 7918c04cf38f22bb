#include "effects/compressor_gains.h"

#include <emmintrin.h>

#include "common/cpu_features.h"
#include "effects/dsp/portable_lanes.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include "effects/dsp/portable_lanes_wide.h"
#endif

namespace fxdsp {
namespace {

// SSE2 is in every build: the four-frame pass runs wherever the eight-frame
// one cannot, and on the frames of a stretch left over from it.
namespace sse2 {

using F = __m128;
using M = __v4si;  // all bits set in the lanes where a comparison holds
constexpr int W = 4;
#define LANE_FN

inline F broadcast(float x) { return _mm_set1_ps(x); }
inline F load(const float* p) { return _mm_loadu_ps(p); }
inline void store(float* p, F x) { _mm_storeu_ps(p, x); }
inline int laneBits(M mask) { return _mm_movemask_ps(_mm_castsi128_ps(__m128i(mask))); }

#include "effects/compressor_gains_kernel.inc"
#undef LANE_FN

}  // namespace sse2

#if defined(__x86_64__)
// The eight-frame pass, only called where the processor has AVX2.
namespace avx2 {

using F = __m256;
using M = __v8si;
constexpr int W = 8;
#define LANE_FN __attribute__((target("avx2")))
using wide::exp2Eight;
using wide::log2Eight;

LANE_FN inline F broadcast(float x) { return _mm256_set1_ps(x); }
LANE_FN inline F load(const float* p) { return _mm256_loadu_ps(p); }
LANE_FN inline void store(float* p, F x) { _mm256_storeu_ps(p, x); }
LANE_FN inline int laneBits(M mask) { return _mm256_movemask_ps(_mm256_castsi256_ps(__m256i(mask))); }
LANE_FN inline F log2Lanes(F x) { return log2Eight(x); }
LANE_FN inline F exp2Lanes(F x) { return exp2Eight(x); }

#include "effects/compressor_gains_kernel.inc"
#undef LANE_FN

}  // namespace avx2
#endif

}  // namespace

bool compressorGainsFour(const CompressorGainCurve& curve, const float* envelope, const float* dL, const float* dR,
                         float* outL, float* outR) {
    return sse2::gainLanes(curve, envelope, dL, dR, outL, outR);
}

#if defined(__x86_64__)
bool compressorGainsEight(const CompressorGainCurve& curve, const float* envelope, const float* dL, const float* dR,
                          float* outL, float* outR) {
    return avx2::gainLanes(curve, envelope, dL, dR, outL, outR);
}
bool compressorWideGainsAvailable() { return cpuHasAvx2(); }
#else
bool compressorGainsEight(const CompressorGainCurve&, const float*, const float*, const float*, float*, float*) {
    return false;
}
bool compressorWideGainsAvailable() { return false; }
#endif

}  // namespace fxdsp
