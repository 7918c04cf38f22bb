#include "track/equaliser.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>

#include "common/portable_math.h"
#include "track/equaliser_blocks.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr float kWetSmoothing = TrackEqualiser::kWetSmoothing;
constexpr float kWetAudible = 0.001f;
constexpr float kZeroInput = TrackEqualiser::kZeroInput;
constexpr float kOutputFloor = TrackEqualiser::kOutputFloor;
constexpr double kMaxBandFraction = 0.49;  // of the sample rate
}  // namespace

BiquadCoefficients designBiquad(BiquadShape shape, double frequencyHz, double gainDb, double q, double sampleRateHz) {
    const double A = portable::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * kPi * frequencyHz / sampleRateHz;
    const double c = portable::cos(w0);
    const double alpha = portable::sin(w0) / (2.0 * q);
    const double s = 2.0 * std::sqrt(A) * alpha;
    double b0 = 1, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
    switch (shape) {
        case BiquadShape::LowShelf:
            b0 = A * ((A + 1) - (A - 1) * c + s);
            b1 = 2 * A * ((A - 1) - (A + 1) * c);
            b2 = A * ((A + 1) - (A - 1) * c - s);
            a0 = (A + 1) + (A - 1) * c + s;
            a1 = -2 * ((A - 1) + (A + 1) * c);
            a2 = (A + 1) + (A - 1) * c - s;
            break;
        case BiquadShape::Peaking:
            b0 = 1 + alpha * A;
            b1 = -2 * c;
            b2 = 1 - alpha * A;
            a0 = 1 + alpha / A;
            a1 = -2 * c;
            a2 = 1 - alpha / A;
            break;
        case BiquadShape::HighShelf:
            b0 = A * ((A + 1) + (A - 1) * c + s);
            b1 = -2 * A * ((A - 1) + (A + 1) * c);
            b2 = A * ((A + 1) + (A - 1) * c - s);
            a0 = (A + 1) - (A - 1) * c + s;
            a1 = 2 * ((A - 1) - (A + 1) * c);
            a2 = (A + 1) - (A - 1) * c - s;
            break;
        case BiquadShape::BandPass:  // constant skirt gain
            b0 = q * alpha;
            b1 = 0;
            b2 = -q * alpha;
            a0 = 1 + alpha;
            a1 = -2 * c;
            a2 = 1 - alpha;
            break;
        case BiquadShape::LowPass:
            b0 = (1 - c) / 2;
            b1 = 1 - c;
            b2 = (1 - c) / 2;
            a0 = 1 + alpha;
            a1 = -2 * c;
            a2 = 1 - alpha;
            break;
    }
    return BiquadCoefficients{b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

void TrackEqualiser::recomputeBand(int band, float frequency, float resonance, float gain, double sampleRateHz) {
    if (band < 0 || band >= kBands) return;
    if (queue_.size() >= static_cast<size_t>(kQueueLimit)) return;
    if (!(sampleRateHz > 0.0)) return;
    // 16 kHz lies above Nyquist at low host rates; the band then sits just
    // below it instead of folding back down.
    const double f = std::min(20.0 * portable::pow(800.0, static_cast<double>(frequency)), kMaxBandFraction * sampleRateHz);
    const double gDb = 20.0 * static_cast<double>(gain);
    const double r = resonance;
    const BiquadShape shape = band == 0 ? BiquadShape::LowShelf : band == 1 ? BiquadShape::Peaking : BiquadShape::HighShelf;
    const double q = band == 1 ? 0.2 * portable::pow(25.0, r) : 0.2 * portable::pow(7.0, r);
    const BiquadCoefficients k = designBiquad(shape, f, gDb, q, sampleRateHz);
    // Extreme gains or resonances from project data overflow; such a band
    // keeps the coefficients it has.
    if (!std::isfinite(k.b0) || !std::isfinite(k.b1) || !std::isfinite(k.b2) || !std::isfinite(k.a1) ||
        !std::isfinite(k.a2))
        return;
    EqBandRecord record;
    record.band = band;
    record.b0 = static_cast<float>(k.b0);
    record.b1 = static_cast<float>(k.b1);
    record.b2 = static_cast<float>(k.b2);
    record.a1 = static_cast<float>(k.a1);
    record.a2 = static_cast<float>(k.a2);
    queue_.push(record);
}

TrackEqualiser::TrackEqualiser() {
    for (int k = 0; k < kBands; ++k) columns_[k] = eqBlockColumns(bands_[k]);
}

void TrackEqualiser::reset() {
    EqBandRecord r;
    while (queue_.pop(r)) {
    }
    for (int k = 0; k < kBands; ++k) {
        bands_[k] = EqBandState{};
        columns_[k] = eqBlockColumns(bands_[k]);
    }
}

void TrackEqualiser::clearSignal() {
    for (EqBandState& b : bands_) {
        for (int ch = 0; ch < 2; ++ch) {
            b.x1[ch] = b.x2[ch] = b.y1[ch] = b.y2[ch] = 0.0f;
            b.wet[ch] = 0.0f;
        }
    }
}

void TrackEqualiser::allowWideLanes(bool allowed) { wide_ = allowed && cpuHasAvx2(); }

void TrackEqualiser::applyQueued() {
    EqBandRecord r;
    while (queue_.pop(r)) {
        EqBandState& b = bands_[r.band];
        b.b0 = r.b0;
        b.b1 = r.b1;
        b.b2 = r.b2;
        b.a1 = r.a1;
        b.a2 = r.a2;
        columns_[r.band] = eqBlockColumns(b);
    }
}

void TrackEqualiser::rest(int frames, float equaliserOn, bool right) {
    applyQueued();
    for (EqBandState& b : bands_) {
        b.onTarget = equaliserOn;
        if (equaliserOn == 0.0f && b.wet[0] <= kWetAudible && b.wet[1] <= kWetAudible) continue;
        for (int ch = 0; ch < (right ? 2 : 1); ++ch) {
            float wet = b.wet[ch];
            const float target = b.onTarget;
            if (wet + (target - wet) * kWetSmoothing == wet) continue;  // settled
            for (int i = 0; i < frames; ++i) wet += (target - wet) * kWetSmoothing;
            b.wet[ch] = wet;
        }
    }
}

namespace {

// The three bands of one channel in the lanes of SSE registers (lane 3 idle),
// run as a pipeline: at step t band 0 takes frame t and bands 1 and 2 take
// what bands 0 and 1 gave at step t - 1, so that band 2 gives frame t - 2 and
// one step of the lanes advances all three bands. Each lane does a band's
// per-frame arithmetic in its order, so the output is bit for bit that of
// running the bands one after another over the block.
struct BandLanes {
    __m128 b0, b1, b2, a1, a2;
    __m128 x1, x2, y1, y2, wet;
    __m128 last;  // the bands' outputs of the step before
};

// One step. kAllMove: every band is on and inside the block, so every lane
// moves. Otherwise the lanes in both masks move, the others keep their state,
// and a band that is off passes its input on unchanged.
template <bool kAllMove>
inline __m128 stepBands(BandLanes& s, __m128 in, __m128 target, __m128 on, __m128 active) {
    const __m128 smoothing = _mm_set1_ps(kWetSmoothing);
    const __m128 wet = _mm_add_ps(s.wet, _mm_mul_ps(_mm_sub_ps(target, s.wet), smoothing));
    const __m128 zero = _mm_cmpeq_ps(in, _mm_setzero_ps());
    const __m128 x = _mm_or_ps(_mm_andnot_ps(zero, in), _mm_and_ps(zero, _mm_set1_ps(kZeroInput)));
    __m128 y = _mm_add_ps(_mm_mul_ps(s.b0, x), _mm_mul_ps(s.b1, s.x1));
    y = _mm_add_ps(y, _mm_mul_ps(s.b2, s.x2));
    y = _mm_sub_ps(y, _mm_mul_ps(s.a1, s.y1));
    y = _mm_sub_ps(y, _mm_mul_ps(s.a2, s.y2));
    const __m128 magnitude = _mm_and_ps(y, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    y = _mm_andnot_ps(_mm_cmple_ps(magnitude, _mm_set1_ps(kOutputFloor)), y);
    const __m128 mixed =
        _mm_add_ps(_mm_mul_ps(x, _mm_sub_ps(_mm_set1_ps(1.0f), wet)), _mm_mul_ps(y, wet));
    if constexpr (kAllMove) {
        s.wet = wet;
        s.x2 = s.x1;
        s.x1 = x;
        s.y2 = s.y1;
        s.y1 = y;
        s.last = mixed;
        return mixed;
    }
    const __m128 out = _mm_or_ps(_mm_and_ps(on, mixed), _mm_andnot_ps(on, in));
    const __m128 move = _mm_and_ps(active, on);
    const auto keep = [move](__m128 fresh, __m128 old) {
        return _mm_or_ps(_mm_and_ps(move, fresh), _mm_andnot_ps(move, old));
    };
    s.wet = keep(wet, s.wet);
    s.x2 = keep(s.x1, s.x2);
    s.x1 = keep(x, s.x1);
    s.y2 = keep(s.y1, s.y2);
    s.y1 = keep(y, s.y1);
    s.last = out;
    return out;
}

}  // namespace

void TrackEqualiser::process(float* left, float* right, int frames, float equaliserOn) {
    applyQueued();
    alignas(16) float on[4] = {0, 0, 0, 0};  // lane masks of the bands that run
    bool running[kBands] = {};
    bool any = false;
    for (int k = 0; k < kBands; ++k) {
        EqBandState& b = bands_[k];
        b.onTarget = equaliserOn;
        const bool skip = equaliserOn == 0.0f && b.wet[0] <= kWetAudible && b.wet[1] <= kWetAudible;
        on[k] = skip ? 0.0f : std::bit_cast<float>(0xffffffffu);
        running[k] = !skip;
        any = any || !skip;
    }
    if (!any || frames <= 0) return;
    // Once every band is on and no wet mix moves any more (the usual state,
    // some 1300 frames after the equaliser is switched), the bands run
    // four frames at a time; the per-frame pipeline below is for the glides.
    bool held = running[0] && running[1] && running[2];
    for (int k = 0; k < kBands && held; ++k) {
        for (int ch = 0; ch < (right != nullptr ? 2 : 1); ++ch) {
            const float wet = bands_[k].wet[ch];
            if (wet + (equaliserOn - wet) * kWetSmoothing != wet) held = false;
        }
    }
    if (held) {
        processHeld(left, right, frames);
        return;
    }
    if (wide_ && right != nullptr) {
        processWide(left, right, frames, equaliserOn, running);
        return;
    }
    const __m128 onMask = _mm_load_ps(on);
    const __m128 target = _mm_set1_ps(equaliserOn);
    float* channels[2] = {left, right};
    for (int ch = 0; ch < 2; ++ch) {
        float* io = channels[ch];
        if (io == nullptr) continue;
        alignas(16) float v[9][4] = {};
        for (int k = 0; k < kBands; ++k) {
            const EqBandState& b = bands_[k];
            v[0][k] = b.b0, v[1][k] = b.b1, v[2][k] = b.b2, v[3][k] = b.a1, v[4][k] = b.a2;
            v[5][k] = b.x1[ch], v[6][k] = b.x2[ch], v[7][k] = b.y1[ch], v[8][k] = b.y2[ch];
        }
        alignas(16) float wet[4] = {bands_[0].wet[ch], bands_[1].wet[ch], bands_[2].wet[ch], 0.0f};
        BandLanes s{_mm_load_ps(v[0]), _mm_load_ps(v[1]), _mm_load_ps(v[2]), _mm_load_ps(v[3]), _mm_load_ps(v[4]),
                    _mm_load_ps(v[5]), _mm_load_ps(v[6]), _mm_load_ps(v[7]), _mm_load_ps(v[8]), _mm_load_ps(wet),
                    _mm_setzero_ps()};
        // Step t: band j works on frame t - j where that lies in the block.
        const auto input = [&](int t) {
            const __m128 shifted = _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(s.last), 4));
            return t < frames ? _mm_move_ss(shifted, _mm_load_ss(io + t)) : shifted;
        };
        const auto activeAt = [&](int t) {
            alignas(16) float m[4];
            for (int j = 0; j < 4; ++j) m[j] = (j < kBands && t - j >= 0 && t - j < frames)
                                                   ? std::bit_cast<float>(0xffffffffu) : 0.0f;
            return _mm_load_ps(m);
        };
        const auto emit = [&](int t, __m128 out) {
            if (t - 2 >= 0 && t - 2 < frames)
                _mm_store_ss(io + t - 2, _mm_shuffle_ps(out, out, _MM_SHUFFLE(2, 2, 2, 2)));
        };
        const int steps = frames + kBands - 1;
        // Steps 2 .. frames - 1 have every band inside the block.
        const bool allOn = running[0] && running[1] && running[2];
        for (int t = 0; t < steps; ++t) {
            const bool edge = t < kBands - 1 || t >= frames;
            const __m128 in = input(t);
            if (edge) {
                emit(t, stepBands<false>(s, in, target, onMask, activeAt(t)));
            } else if (allOn) {
                // Lanes 0 .. 2 hold frames t, t - 1 and t - 2; lane 3 is idle.
                const __m128 out = stepBands<true>(s, in, target, onMask, onMask);
                _mm_store_ss(io + t - 2, _mm_shuffle_ps(out, out, _MM_SHUFFLE(2, 2, 2, 2)));
            } else {
                emit(t, stepBands<false>(s, in, target, onMask, onMask));
            }
        }
        _mm_store_ps(v[5], s.x1);
        _mm_store_ps(v[6], s.x2);
        _mm_store_ps(v[7], s.y1);
        _mm_store_ps(v[8], s.y2);
        _mm_store_ps(wet, s.wet);
        for (int k = 0; k < kBands; ++k) {
            if (!running[k]) continue;
            EqBandState& b = bands_[k];
            b.x1[ch] = v[5][k], b.x2[ch] = v[6][k], b.y1[ch] = v[7][k], b.y2[ch] = v[8][k];
            b.wet[ch] = wet[k];
        }
    }
}

void TrackEqualiser::processHeld(float* left, float* right, int frames) {
    if (wide_ && right != nullptr) {
        runEqBlocksWide(bands_, columns_, left, right, frames);
        return;
    }
    runEqBlocks(bands_, columns_, left, 0, frames);
    if (right != nullptr) runEqBlocks(bands_, columns_, right, 1, frames);
}
