#include "modules/synth_voice_lanes.h"

#include <cstddef>
#include <cstdint>

#include "common/float_lanes.h"

#if TALVEX_AVX2_LANES
#include <cpuid.h>
#endif

namespace synth {
namespace {

using lane_detail::kTableSizeF;

// Four lanes in SSE2, the baseline of every build.
namespace sse2 {

#define LANE_FN
using namespace float_lanes::sse2;

// The objects (voices or parts) of the lanes.
struct LaneAddresses {
    const char* at[4];
};

template <class T>
inline LaneAddresses laneAddresses(T* const objects[]) {
    return {{reinterpret_cast<const char*>(objects[0]), reinterpret_cast<const char*>(objects[1]),
             reinterpret_cast<const char*>(objects[2]), reinterpret_cast<const char*>(objects[3])}};
}

// The float or int at byte `offset` within each lane's object.
inline F loadF(const LaneAddresses& a, std::size_t offset) {
    auto at = [&](int l) { return *reinterpret_cast<const float*>(a.at[l] + offset); };
    return _mm_setr_ps(at(0), at(1), at(2), at(3));
}

inline I loadI(const LaneAddresses& a, std::size_t offset) {
    auto at = [&](int l) { return *reinterpret_cast<const int32_t*>(a.at[l] + offset); };
    return _mm_setr_epi32(at(0), at(1), at(2), at(3));
}

inline void storeF(F values, Voice* const voices[], int count, std::size_t offset) {
    alignas(16) float v[4];
    _mm_store_ps(v, values);
    for (int l = 0; l < count; ++l) *reinterpret_cast<float*>(reinterpret_cast<char*>(voices[l]) + offset) = v[l];
}


inline void storeI(I values, Voice* const voices[], int count, std::size_t offset) {
    alignas(16) int32_t v[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(v), values);
    for (int l = 0; l < count; ++l) *reinterpret_cast<int32_t*>(reinterpret_cast<char*>(voices[l]) + offset) = v[l];
}

// Samples by frame to samples by voice, four frames at a time.
inline void storeFrames(F out[kControlPeriod], float* const dest[], int count, int frames) {
    alignas(16) float scratch[4];
    for (int n = frames; n < (frames + 3) / 4 * 4; ++n) out[n] = _mm_setzero_ps();
    for (int n = 0; n < frames; n += 4) {
        __m128 r0 = out[n], r1 = out[n + 1], r2 = out[n + 2], r3 = out[n + 3];
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        const __m128 rows[4] = {r0, r1, r2, r3};
        for (int l = 0; l < count; ++l) {
            if (n + 4 <= frames) {
                _mm_storeu_ps(dest[l] + n, rows[l]);
            } else {
                _mm_store_ps(scratch, rows[l]);
                for (int m = n; m < frames; ++m) dest[l][m] = scratch[m - n];
            }
        }
    }
}

inline char* fieldOf(Voice* voice, std::size_t offset) { return reinterpret_cast<char*>(voice) + offset; }

// Four consecutive floats of each lane's voice at `offset`: a, b, c, d.
inline void storeFour(F a, F b, F c, F d, Voice* const voices[], int count, std::size_t offset) {
    _MM_TRANSPOSE4_PS(a, b, c, d);
    const F rows[4] = {a, b, c, d};
    for (int l = 0; l < count; ++l) _mm_storeu_ps(reinterpret_cast<float*>(fieldOf(voices[l], offset)), rows[l]);
}


// From frame n on: returns the first frame not added.
inline int addInOrder(float* left, float* right, const float* const lefts[], const float* const rights[], int count,
                      int frames, int n) {
    for (; n + 4 <= frames; n += 4) {
        __m128 l = _mm_loadu_ps(left + n);
        __m128 r = _mm_loadu_ps(right + n);
        for (int s = 0; s < count; ++s) {
            l = _mm_add_ps(l, _mm_loadu_ps(lefts[s] + n));
            r = _mm_add_ps(r, _mm_loadu_ps(rights[s] + n));
        }
        _mm_storeu_ps(left + n, l);
        _mm_storeu_ps(right + n, r);
    }
    return n;
}

#include "modules/synth_voice_lanes_kernel.inc"
#undef LANE_FN

}  // namespace sse2

#if TALVEX_AVX2_LANES
// Eight lanes in AVX2, chosen at run time. Memory is addressed unaligned
// throughout (Windows builds cannot align the stack to 32 bytes).
namespace avx2 {

#define LANE_FN TALVEX_LANES_AVX2
using namespace float_lanes::avx2;

// The objects of the lanes as 64-bit addresses, four per vector.
struct LaneAddresses {
    __m256i low, high;
};

template <class T>
LANE_FN inline LaneAddresses laneAddresses(T* const objects[]) {
    auto at = [&](int l) { return static_cast<long long>(reinterpret_cast<std::uintptr_t>(objects[l])); };
    return {_mm256_setr_epi64x(at(0), at(1), at(2), at(3)), _mm256_setr_epi64x(at(4), at(5), at(6), at(7))};
}

// The gathers add the lanes' addresses to a base that is the field's offset.
template <class T>
LANE_FN inline const T* offsetBase(std::size_t offset) {
    return reinterpret_cast<const T*>(static_cast<std::uintptr_t>(offset));
}

LANE_FN inline F loadF(const LaneAddresses& a, std::size_t offset) {
    const __m128 low = _mm256_i64gather_ps(offsetBase<float>(offset), a.low, 1);
    const __m128 high = _mm256_i64gather_ps(offsetBase<float>(offset), a.high, 1);
    return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
}

LANE_FN inline I loadI(const LaneAddresses& a, std::size_t offset) {
    const __m128i low = _mm256_i64gather_epi32(offsetBase<int>(offset), a.low, 1);
    const __m128i high = _mm256_i64gather_epi32(offsetBase<int>(offset), a.high, 1);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

LANE_FN inline void storeF(F values, Voice* const voices[], int count, std::size_t offset) {
    float v[8];
    _mm256_storeu_ps(v, values);
    for (int l = 0; l < count; ++l) *reinterpret_cast<float*>(reinterpret_cast<char*>(voices[l]) + offset) = v[l];
}


LANE_FN inline void storeI(I values, Voice* const voices[], int count, std::size_t offset) {
    int32_t v[8];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(v), values);
    for (int l = 0; l < count; ++l) *reinterpret_cast<int32_t*>(reinterpret_cast<char*>(voices[l]) + offset) = v[l];
}

// Samples by frame to samples by voice, eight frames at a time.
LANE_FN inline void storeFrames(F out[kControlPeriod], float* const dest[], int count, int frames) {
    for (int n = frames; n < (frames + 7) / 8 * 8; ++n) out[n] = _mm256_setzero_ps();
    for (int n = 0; n < frames; n += 8) {
        const F* r = out + n;
        const F t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
        const F t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
        const F t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
        const F t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
        const F s0 = _mm256_shuffle_ps(t0, t2, 0x44), s1 = _mm256_shuffle_ps(t0, t2, 0xEE);
        const F s2 = _mm256_shuffle_ps(t1, t3, 0x44), s3 = _mm256_shuffle_ps(t1, t3, 0xEE);
        const F s4 = _mm256_shuffle_ps(t4, t6, 0x44), s5 = _mm256_shuffle_ps(t4, t6, 0xEE);
        const F s6 = _mm256_shuffle_ps(t5, t7, 0x44), s7 = _mm256_shuffle_ps(t5, t7, 0xEE);
        const F rows[8] = {_mm256_permute2f128_ps(s0, s4, 0x20), _mm256_permute2f128_ps(s1, s5, 0x20),
                           _mm256_permute2f128_ps(s2, s6, 0x20), _mm256_permute2f128_ps(s3, s7, 0x20),
                           _mm256_permute2f128_ps(s0, s4, 0x31), _mm256_permute2f128_ps(s1, s5, 0x31),
                           _mm256_permute2f128_ps(s2, s6, 0x31), _mm256_permute2f128_ps(s3, s7, 0x31)};
        if (n + 8 <= frames) {
            for (int l = 0; l < count; ++l) _mm256_storeu_ps(dest[l] + n, rows[l]);
        } else {
            const __m256i within =
                _mm256_cmpgt_epi32(_mm256_set1_epi32(frames - n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
            for (int l = 0; l < count; ++l) _mm256_maskstore_ps(dest[l] + n, within, rows[l]);
        }
    }
}

inline char* fieldOf(Voice* voice, std::size_t offset) { return reinterpret_cast<char*>(voice) + offset; }

LANE_FN inline void storeFour(F a, F b, F c, F d, Voice* const voices[], int count, std::size_t offset) {
    const F t0 = _mm256_unpacklo_ps(a, b), t1 = _mm256_unpackhi_ps(a, b);
    const F t2 = _mm256_unpacklo_ps(c, d), t3 = _mm256_unpackhi_ps(c, d);
    // Lanes l and l + 4 in the halves of rows[l].
    const F rows[4] = {_mm256_shuffle_ps(t0, t2, 0x44), _mm256_shuffle_ps(t0, t2, 0xEE),
                       _mm256_shuffle_ps(t1, t3, 0x44), _mm256_shuffle_ps(t1, t3, 0xEE)};
    for (int l = 0; l < count; ++l) {
        const __m128 row = l < 4 ? _mm256_castps256_ps128(rows[l]) : _mm256_extractf128_ps(rows[l - 4], 1);
        _mm_storeu_ps(reinterpret_cast<float*>(fieldOf(voices[l], offset)), row);
    }
}


LANE_FN inline int addInOrder(float* left, float* right, const float* const lefts[], const float* const rights[],
                              int count, int frames, int n) {
    for (; n + 8 <= frames; n += 8) {
        __m256 l = _mm256_loadu_ps(left + n);
        __m256 r = _mm256_loadu_ps(right + n);
        for (int s = 0; s < count; ++s) {
            l = _mm256_add_ps(l, _mm256_loadu_ps(lefts[s] + n));
            r = _mm256_add_ps(r, _mm256_loadu_ps(rights[s] + n));
        }
        _mm256_storeu_ps(left + n, l);
        _mm256_storeu_ps(right + n, r);
    }
    return n;
}

#include "modules/synth_voice_lanes_kernel.inc"
#undef LANE_FN

}  // namespace avx2

// AVX2 present and its registers saved by the operating system.
bool avx2Usable() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool osxsave = (c & (1u << 27)) != 0, avx = (c & (1u << 28)) != 0;
    if (!osxsave || !avx) return false;
    unsigned low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    if ((low & 6u) != 6u) return false;  // SSE and AVX state
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & (1u << 5)) != 0;
}
#endif

}  // namespace

LaneShape laneShape(const PartCoefficients& part) {
    LaneShape s;
    s.wave1 = part.osc[0].wave;
    s.wave2 = part.osc[1].wave;
    s.dco1Env = part.osc[0].useDcoEnvelope;
    s.dco2Env = part.osc[1].useDcoEnvelope;
    s.filter1 = part.osc[0].throughFilter;
    s.filter2 = part.osc[1].throughFilter;
    s.fourPole = part.fourPole;
    s.hardSync = part.hardSync;
    s.dcoEnvNeeded = part.dcoEnvelopeNeeded;
    return s;
}

bool lane_detail::releaseOutlastsRun(const Voice& v, const PartCoefficients& part, int frames) {
    // A released voice that reaches the floor inside the run stops there.
    // Far above the floor (the factor over the whole run, from four
    // squarings, leaves it more than 1 % above), no step can reach it.
    if (v.outputEnv.stage == kRelease) {
        float f = part.outputEnv.releaseFactor;
        if (f > 0.0f && f <= 1.0f) {
            f *= f;
            f *= f;
            f *= f;
            f *= f;  // f^16, at least the factor over the run
            if (v.outputEnv.level * f > kEnvelopeFloor * 1.01f && v.outputEnv.level <= 1.0f) return true;
        }
    }
    Envelope e = v.outputEnv;
    for (int n = 0; n < frames; ++n) {
        if (!(e.level > kEnvelopeFloor)) return false;
        stepEnvelope(e, part.outputEnv);
    }
    return true;
}

int widestLanes() {
#if TALVEX_AVX2_LANES
    return avx2Usable() ? kMaxLanes : kLanes;
#else
    return kLanes;
#endif
}

void renderVoiceLanes(Voice* const voices[kMaxLanes], const PartCoefficients* const parts[kMaxLanes], int count,
                      const LaneShape& shape, const float* const noise[kMaxLanes], float* const left[kMaxLanes],
                      float* const right[kMaxLanes], int frames, int width) {
    if (frames <= 0 || frames > kControlPeriod) return;
#if TALVEX_AVX2_LANES
    if (width == kMaxLanes) {
        if (count >= 1 && count <= kMaxLanes)
            avx2::rendererFor(shape.wave1, shape.wave2)(voices, parts, count, shape, noise, left, right, frames);
        return;
    }
#endif
    if (width == kLanes && count >= 1 && count <= kLanes)
        sse2::rendererFor(shape.wave1, shape.wave2)(voices, parts, count, shape, noise, left, right, frames);
}

void addInOrder(float* left, float* right, const float* const lefts[], const float* const rights[], int count,
                int frames, int width) {
    int n = 0;
#if TALVEX_AVX2_LANES
    if (width == kMaxLanes) n = avx2::addInOrder(left, right, lefts, rights, count, frames, n);
#else
    (void)width;
#endif
    n = sse2::addInOrder(left, right, lefts, rights, count, frames, n);
    for (; n < frames; ++n) {
        float l = left[n];
        float r = right[n];
        for (int s = 0; s < count; ++s) {
            l += lefts[s][n];
            r += rights[s][n];
        }
        left[n] = l;
        right[n] = r;
    }
}

}  // namespace synth
