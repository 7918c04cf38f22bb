#include "modules/sampler_voice_lanes_wide.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/cpu_features.h"
#include "common/float_lanes.h"
#include "modules/sampler_envelope_lanes.h"

namespace sampler::wide {

#if TALVEX_AVX2_LANES

namespace {

// Section states and coefficients are read as rows of four floats.
static_assert(sizeof(dsp::BiquadSection) == 4 * sizeof(float) && offsetof(dsp::BiquadSection, y2) == 12);
static_assert(offsetof(dsp::BiquadCoefficients, a1) == 12 && offsetof(dsp::BiquadCoefficients, a2) == 16);

const bool kAvailable = cpuHasAvx2();

#define SAMPLER_WIDE TALVEX_LANES_AVX2

// Lanes 0-3 from low, 4-7 from high.
SAMPLER_WIDE inline __m256 join(__m128 low, __m128 high) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
}

// Four rows of four in each half turned into four columns, each half on
// its own: row r's value c goes to register c's lane r.
SAMPLER_WIDE inline void transposeHalves(__m256& r0, __m256& r1, __m256& r2, __m256& r3) {
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1), t1 = _mm256_unpacklo_ps(r2, r3);
    const __m256 t2 = _mm256_unpackhi_ps(r0, r1), t3 = _mm256_unpackhi_ps(r2, r3);
    r0 = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(1, 0, 1, 0));
    r1 = _mm256_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 2, 3, 2));
    r2 = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(1, 0, 1, 0));
    r3 = _mm256_shuffle_ps(t2, t3, _MM_SHUFFLE(3, 2, 3, 2));
}

struct Section {
    __m256 x1, x2, y1, y2;
};

struct Coefficients {
    __m256 b0, b1, b2, a1, a2;
};

// BiquadSection::process() with the flush-to-zero guard, in the four-lane
// kernel's order.
SAMPLER_WIDE inline __m256 processSection(Section& s, const Coefficients& k, __m256 x) {
    __m256 y = _mm256_add_ps(_mm256_mul_ps(k.b0, x), _mm256_mul_ps(k.b1, s.x1));
    y = _mm256_add_ps(y, _mm256_mul_ps(k.b2, s.x2));
    y = _mm256_sub_ps(y, _mm256_mul_ps(k.a1, s.y1));
    y = _mm256_sub_ps(y, _mm256_mul_ps(k.a2, s.y2));
    // Magnitude at most 1e-10 becomes 0 ("not <=" keeps NaN).
    const __m256 magnitude = _mm256_and_ps(y, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    const __m256 keep = _mm256_cmp_ps(magnitude, _mm256_set1_ps(1e-10f), _CMP_NLE_US);
    if (_mm256_movemask_ps(keep) != 0xff) [[unlikely]]
        y = _mm256_and_ps(keep, y);
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

// One section of both channels' filters: the left one's state in the low
// lanes, the right one's in the high lanes.
SAMPLER_WIDE inline Section loadSection(Voice* const voices[kLanes],
                                        dsp::BiquadSection dsp::FourPoleFilter::*which) {
    __m256 rows[kLanes];
    for (int l = 0; l < kLanes; ++l)
        rows[l] = join(_mm_loadu_ps(&(voices[l]->filterLeft.*which).x1),
                       _mm_loadu_ps(&(voices[l]->filterRight.*which).x1));
    transposeHalves(rows[0], rows[1], rows[2], rows[3]);
    return {rows[0], rows[1], rows[2], rows[3]};
}

SAMPLER_WIDE inline void storeSection(const Section& s, Voice* const voices[kLanes], int count,
                                      dsp::BiquadSection dsp::FourPoleFilter::*which) {
    __m256 r0 = s.x1, r1 = s.x2, r2 = s.y1, r3 = s.y2;
    transposeHalves(r0, r1, r2, r3);
    const __m256 rows[kLanes] = {r0, r1, r2, r3};
    for (int l = 0; l < count; ++l) {
        _mm_storeu_ps(&(voices[l]->filterLeft.*which).x1, _mm256_castps256_ps128(rows[l]));
        _mm_storeu_ps(&(voices[l]->filterRight.*which).x1, _mm256_extractf128_ps(rows[l], 1));
    }
}

SAMPLER_WIDE inline Coefficients loadCoefficients(Voice* const voices[kLanes]) {
    __m128 b0 = _mm_loadu_ps(&voices[0]->filterCoefficients.b0);
    __m128 b1 = _mm_loadu_ps(&voices[1]->filterCoefficients.b0);
    __m128 b2 = _mm_loadu_ps(&voices[2]->filterCoefficients.b0);
    __m128 a1 = _mm_loadu_ps(&voices[3]->filterCoefficients.b0);
    _MM_TRANSPOSE4_PS(b0, b1, b2, a1);
    const __m128 a2 = _mm_setr_ps(voices[0]->filterCoefficients.a2, voices[1]->filterCoefficients.a2,
                                  voices[2]->filterCoefficients.a2, voices[3]->filterCoefficients.a2);
    return {join(b0, b0), join(b1, b1), join(b2, b2), join(a1, a1), join(a2, a2)};
}

// The 16-bit values of one lane's read, [L0 R0 L1 R1] of its frame and the
// next (a mono lane: [s0 s0 s1 s1]), in the low end of a register.
template <bool kStereo>
SAMPLER_WIDE inline __m128i readPair(const int16_t* data, int32_t index) {
    if constexpr (kStereo) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + 2 * static_cast<size_t>(index)));
    } else {
        int32_t bits;
        std::memcpy(&bits, data + index, sizeof bits);
        const __m128i pair = _mm_cvtsi32_si128(bits);
        return _mm_unpacklo_epi16(pair, pair);
    }
}

template <int kStereoLanes, bool kFilter>
SAMPLER_WIDE void renderWide(Voice* const voices[kLanes], const PartSettings* const parts[kLanes], int count,
                             float* const left[kLanes], float* const right[kLanes], int frames) {
    if (frames < 1 || frames > kControlPeriod) return;
    const Voice &v0 = *voices[0], &v1 = *voices[1], &v2 = *voices[2], &v3 = *voices[3];
    const PartSettings &p0 = *parts[0], &p1 = *parts[1], &p2 = *parts[2], &p3 = *parts[3];
    const int16_t* const data[kLanes] = {p0.sample.frames, p1.sample.frames, p2.sample.frames, p3.sample.frames};
    __m256d pos = _mm256_setr_pd(v0.position, v1.position, v2.position, v3.position);
    const __m256d inc = _mm256_setr_pd(v0.increment, v1.increment, v2.increment, v3.increment);

    EnvelopeLanes env;
    env.level = _mm_setr_ps(v0.envelope, v1.envelope, v2.envelope, v3.envelope);
    env.stage = _mm_setr_epi32(v0.stage, v1.stage, v2.stage, v3.stage);
    env.attackIncrement = _mm_setr_ps(p0.attackIncrement, p1.attackIncrement, p2.attackIncrement, p3.attackIncrement);
    env.decayFactor = _mm_setr_ps(p0.decayFactor, p1.decayFactor, p2.decayFactor, p3.decayFactor);
    env.sustain = _mm_setr_ps(p0.sustain, p1.sustain, p2.sustain, p3.sustain);
    env.releaseFactor = _mm_setr_ps(p0.releaseFactor, p1.releaseFactor, p2.releaseFactor, p3.releaseFactor);
    // Lanes without an amplitude envelope read at full level; their
    // envelope steps all the same (the pitch and filter follow it).
    const __m128 envelopeMask = _mm_castsi128_ps(
        _mm_cmpeq_epi32(_mm_setr_epi32(p0.envelopeOn, p1.envelopeOn, p2.envelopeOn, p3.envelopeOn), _mm_set1_epi32(1)));
    const __m128 one = _mm_set1_ps(1.0f), scale = _mm_set1_ps(kSampleScale);

    // Envelopes that all keep their level: clamped once, as every step would.
    const bool stepping = !envelopesHold(env);
    const bool scaling = stepping && envelopesScale(env);
    const __m128 factors = envelopeFactors(env);
    if (!stepping) env.level = _mm_max_ps(_mm_min_ps(one, env.level), _mm_set1_ps(kEnvelopeFloor));
    __m128 amp4 = _mm_mul_ps(selectLanes(envelopeMask, env.level, one), scale);
    __m256 amp = join(amp4, amp4);

    // The reads, frame by frame: lanes 0-3 the left samples, 4-7 the right.
    __m256 out[kControlPeriod];
    __m256 lastRead = _mm256_setzero_ps();
    for (int n = 0; n < frames; ++n) {
        if (stepping) {
            if (scaling)
                scaleEnvelopes(env, factors);
            else
                stepEnvelopes(env);
            amp4 = _mm_mul_ps(selectLanes(envelopeMask, env.level, one), scale);
            amp = join(amp4, amp4);
        }
        pos = _mm256_add_pd(pos, inc);
        const __m128i indices = _mm256_cvttpd_epi32(pos);
        const __m128 frac4 = _mm256_cvtpd_ps(_mm256_sub_pd(pos, _mm256_cvtepi32_pd(indices)));
        int32_t index[kLanes];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(index), indices);
        const __m128i q0 = readPair<(0 < kStereoLanes)>(data[0], index[0]);
        const __m128i q1 = readPair<(1 < kStereoLanes)>(data[1], index[1]);
        const __m128i q2 = readPair<(2 < kStereoLanes)>(data[2], index[2]);
        const __m128i q3 = readPair<(3 < kStereoLanes)>(data[3], index[3]);
        const __m128i a = _mm_unpacklo_epi16(q0, q1);
        const __m128i b = _mm_unpacklo_epi16(q2, q3);
        const __m256i firsts = _mm256_cvtepi16_epi32(_mm_unpacklo_epi32(a, b));   // L0 x4, R0 x4
        const __m256i seconds = _mm256_cvtepi16_epi32(_mm_unpackhi_epi32(a, b));  // L1 x4, R1 x4
        // `s0 + (s1 - s0) * frac`, the difference in integers.
        const __m256 read = _mm256_add_ps(_mm256_cvtepi32_ps(firsts),
                                          _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(seconds, firsts)),
                                                        join(frac4, frac4)));
        out[n] = lastRead = _mm256_mul_ps(read, amp);
    }

    // Both sections of both channels' filters, frame by frame.
    if constexpr (kFilter) {
        const Coefficients k = loadCoefficients(voices);
        Section first = loadSection(voices, &dsp::FourPoleFilter::first);
        Section second = loadSection(voices, &dsp::FourPoleFilter::second);
        for (int n = 0; n < frames; ++n) out[n] = processSection(second, k, processSection(first, k, out[n]));
        storeSection(first, voices, count, &dsp::FourPoleFilter::first);
        storeSection(second, voices, count, &dsp::FourPoleFilter::second);
    }
    const __m256 gain = _mm256_setr_ps(v0.gainLeft, v1.gainLeft, v2.gainLeft, v3.gainLeft, v0.gainRight, v1.gainRight,
                                       v2.gainRight, v3.gainRight);
    for (int n = 0; n < frames; ++n) out[n] = _mm256_mul_ps(gain, out[n]);

    // Samples by frame to samples by voice, four frames at a time.
    for (int n = frames; n < (frames + 3) / 4 * 4; ++n) out[n] = _mm256_setzero_ps();
    for (int n = 0; n < frames; n += 4) {
        __m256 r0 = out[n], r1 = out[n + 1], r2 = out[n + 2], r3 = out[n + 3];
        transposeHalves(r0, r1, r2, r3);
        const __m256 rows[kLanes] = {r0, r1, r2, r3};
        for (int l = 0; l < count; ++l) {
            if (n + 4 <= frames) {
                _mm_storeu_ps(left[l] + n, _mm256_castps256_ps128(rows[l]));
                _mm_storeu_ps(right[l] + n, _mm256_extractf128_ps(rows[l], 1));
            } else {
                float scratch[2 * kLanes];
                _mm256_storeu_ps(scratch, rows[l]);
                for (int m = n; m < frames; ++m) {
                    left[l][m] = scratch[m - n];
                    right[l][m] = scratch[kLanes + m - n];
                }
            }
        }
    }

    double position[kLanes];
    int32_t stage[kLanes];
    float level[kLanes];
    _mm256_storeu_pd(position, pos);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(stage), env.stage);
    _mm_storeu_ps(level, env.level);
    float last[2 * kLanes];
    _mm256_storeu_ps(last, lastRead);
    for (int l = 0; l < count; ++l) {
        Voice& v = *voices[l];
        v.position = position[l];
        v.stage = stage[l];
        v.envelope = level[l];
        v.lastLeft = last[l];
        v.lastRight = last[kLanes + l];
    }
}

#undef SAMPLER_WIDE

}  // namespace

bool available() { return kAvailable; }

void renderLanes(Voice* const voices[kLanes], const PartSettings* const parts[kLanes], int count, int stereoLanes,
                 bool filter, float* const left[kLanes], float* const right[kLanes], int frames) {
    using Renderer = void (*)(Voice* const[kLanes], const PartSettings* const[kLanes], int, float* const[kLanes],
                              float* const[kLanes], int);
    static constexpr Renderer kRenderers[2][kLanes + 1] = {
        {&renderWide<0, false>, &renderWide<1, false>, &renderWide<2, false>, &renderWide<3, false>,
         &renderWide<4, false>},
        {&renderWide<0, true>, &renderWide<1, true>, &renderWide<2, true>, &renderWide<3, true>,
         &renderWide<4, true>}};
    kRenderers[filter ? 1 : 0][stereoLanes](voices, parts, count, left, right, frames);
}

#else

bool available() { return false; }

void renderLanes(Voice* const[kLanes], const PartSettings* const[kLanes], int, int, bool, float* const[kLanes],
                 float* const[kLanes], int) {}

#endif

}  // namespace sampler::wide
