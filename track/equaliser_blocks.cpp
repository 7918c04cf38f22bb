#include "track/equaliser_blocks.h"

#include <emmintrin.h>


namespace {

constexpr int kBands = TrackEqualiser::kBands;

struct Band4 {
    __m128 c[8];
    __m128 xm1, xm2, ym1, ym2;  // the frames before, in every lane
    __m128 wet, dry;
};

template <int kLane>
inline __m128 lane(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(kLane, kLane, kLane, kLane));
}

// Four frames of one band; kValid of them belong to the block (the rest are
// padding, which the earlier frames do not depend on), and the band's
// memories end on the last of those.
template <int kValid>
inline __m128 bandFour(Band4& s, __m128 in) {
    const __m128 zero = _mm_cmpeq_ps(in, _mm_setzero_ps());
    const __m128 x = _mm_or_ps(_mm_andnot_ps(zero, in), _mm_and_ps(zero, _mm_set1_ps(TrackEqualiser::kZeroInput)));
    const __m128 now = _mm_add_ps(_mm_add_ps(_mm_mul_ps(s.c[0], lane<0>(x)), _mm_mul_ps(s.c[1], lane<1>(x))),
                                      _mm_add_ps(_mm_mul_ps(s.c[2], lane<2>(x)), _mm_mul_ps(s.c[3], lane<3>(x))));
    const __m128 before = _mm_add_ps(_mm_mul_ps(s.c[4], s.xm1), _mm_mul_ps(s.c[5], s.xm2));
    const __m128 fed = _mm_add_ps(_mm_mul_ps(s.c[6], s.ym1), _mm_mul_ps(s.c[7], s.ym2));
    __m128 y = _mm_add_ps(_mm_add_ps(now, before), fed);
    const __m128 magnitude = _mm_and_ps(y, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    y = _mm_andnot_ps(_mm_cmple_ps(magnitude, _mm_set1_ps(TrackEqualiser::kOutputFloor)), y);
    const __m128 out = _mm_add_ps(_mm_mul_ps(x, s.dry), _mm_mul_ps(y, s.wet));
    if constexpr (kValid == 1) {
        s.xm2 = s.xm1, s.ym2 = s.ym1;
        s.xm1 = lane<0>(x), s.ym1 = lane<0>(y);
    } else {
        s.xm1 = lane<kValid - 1>(x), s.ym1 = lane<kValid - 1>(y);
        s.xm2 = lane<kValid - 2>(x), s.ym2 = lane<kValid - 2>(y);
    }
    return out;
}

template <int kValid>
inline __m128 bandsFour(Band4* s, __m128 in) {
    for (int k = 0; k < kBands; ++k) in = bandFour<kValid>(s[k], in);
    return in;
}

}  // namespace

EqBlockColumns eqBlockColumns(const EqBandState& band) {
    // Each column is the recursion run in double from one unit input, the
    // others zero; the coefficients are the float ones the per-frame form
    // uses, so both forms are the same filter.
    const double b0 = band.b0, b1 = band.b1, b2 = band.b2, a1 = band.a1, a2 = band.a2;
    EqBlockColumns out;
    for (int j = 0; j < 8; ++j) {
        double u[4] = {};
        if (j < 4) u[j] = 1.0;
        double x1 = j == 4 ? 1.0 : 0.0, x2 = j == 5 ? 1.0 : 0.0;
        double y1 = j == 6 ? 1.0 : 0.0, y2 = j == 7 ? 1.0 : 0.0;
        for (int i = 0; i < 4; ++i) {
            const double y = b0 * u[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1, x1 = u[i], y2 = y1, y1 = y;
            out.c[j][i] = out.c[j][i + 4] = static_cast<float>(y);
        }
    }
    return out;
}

void runEqBlocks(EqBandState* bands, const EqBlockColumns* columns, float* io, int ch, int frames) {
    Band4 s[kBands];
    for (int k = 0; k < kBands; ++k) {
        const EqBandState& b = bands[k];
        for (int j = 0; j < 8; ++j) s[k].c[j] = _mm_loadu_ps(columns[k].c[j]);
        s[k].xm1 = _mm_set1_ps(b.x1[ch]), s[k].xm2 = _mm_set1_ps(b.x2[ch]);
        s[k].ym1 = _mm_set1_ps(b.y1[ch]), s[k].ym2 = _mm_set1_ps(b.y2[ch]);
        s[k].wet = _mm_set1_ps(b.wet[ch]), s[k].dry = _mm_set1_ps(1.0f - b.wet[ch]);
    }
    int n = 0;
    for (; n + 4 <= frames; n += 4) _mm_storeu_ps(io + n, bandsFour<4>(s, _mm_loadu_ps(io + n)));
    const int tail = frames - n;
    if (tail > 0) {
        alignas(16) float part[4] = {};
        for (int i = 0; i < tail; ++i) part[i] = io[n + i];
        __m128 v = _mm_load_ps(part);
        v = tail == 1 ? bandsFour<1>(s, v) : tail == 2 ? bandsFour<2>(s, v) : bandsFour<3>(s, v);
        _mm_store_ps(part, v);
        for (int i = 0; i < tail; ++i) io[n + i] = part[i];
    }
    for (int k = 0; k < kBands; ++k) {
        EqBandState& b = bands[k];
        b.x1[ch] = _mm_cvtss_f32(s[k].xm1), b.x2[ch] = _mm_cvtss_f32(s[k].xm2);
        b.y1[ch] = _mm_cvtss_f32(s[k].ym1), b.y2[ch] = _mm_cvtss_f32(s[k].ym2);
    }
}
