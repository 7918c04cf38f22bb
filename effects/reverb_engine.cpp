#include "effects/reverb_engine.h"

#include <emmintrin.h>

#include <algorithm>

#include "effects/dsp/balance_law.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"

using namespace reverb_tuning;

ReverbEngine::Channel::Channel(int extraSamples) {
    size_t total = 0;
    for (int c = 0; c < kCombCount; ++c) total += static_cast<size_t>(kCombLengthsLeft[c] + extraSamples);
    for (int a = 0; a < kAllpassCount; ++a) total += static_cast<size_t>(kAllpassLengthsLeft[a] + extraSamples);
    pool.assign(total, 0.0f);
    float* next = pool.data();
    for (int c = 0; c < kCombCount; ++c) {
        comb[c] = next;
        combLength[c] = kCombLengthsLeft[c] + extraSamples;
        combIndex[c] = 0;
        combStore[c] = 0.0f;
        next += combLength[c];
    }
    for (int a = 0; a < kAllpassCount; ++a) {
        allpass[a] = next;
        allpassLength[a] = kAllpassLengthsLeft[a] + extraSamples;
        allpassIndex[a] = 0;
        next += allpassLength[a];
    }
}

void ReverbEngine::Channel::run(float h, float feedback, float k1, float k2, float& combSum, float& diffused) {
    float sum = fxdsp::kAntiDenormalOffset;
    for (int c = 0; c < kCombCount; ++c) {
        float* line = comb[c];
        const int i = combIndex[c];
        const float y = line[i];
        const float store = y * k1 + combStore[c] * k2;
        combStore[c] = store;
        line[i] = h + store * feedback;
        combIndex[c] = i + 1 == combLength[c] ? 0 : i + 1;
        sum += y;
    }
    float a = sum;
    for (int p = 0; p < kAllpassCount; ++p) {
        float* line = allpass[p];
        const int i = allpassIndex[p];
        const float v = line[i];
        line[i] = a + kAllpassFeedback * v;
        allpassIndex[p] = i + 1 == allpassLength[p] ? 0 : i + 1;
        a = v - a;
    }
    combSum = sum;
    diffused = a;
}

namespace {

// The four slots of a line from index on, across its end where they reach it
// (kWrap: some line of the channel may reach its end within the four).
template <bool kWrap>
inline __m128 loadFour(const float* line, int index, int length) {
    if (!kWrap || index + 4 <= length) return _mm_loadu_ps(line + index);
    alignas(16) float v[4];
    for (int k = 0; k < 4; ++k) v[k] = line[index + k < length ? index + k : index + k - length];
    return _mm_load_ps(v);
}

// Stores four slots from index on; returns the index four slots later.
template <bool kWrap>
inline int storeFour(float* line, int index, int length, __m128 values) {
    if (!kWrap || index + 4 <= length) {
        _mm_storeu_ps(line + index, values);
    } else {
        alignas(16) float v[4];
        _mm_store_ps(v, values);
        for (int k = 0; k < 4; ++k) line[index + k < length ? index + k : index + k - length] = v[k];
    }
    const int next = index + 4;
    if (!kWrap) return next == length ? 0 : next;
    return next >= length ? next - length : next;
}

}  // namespace


// Four frames of run(), each lane doing one frame's (or one comb's)
// arithmetic in run()'s order, so the results are bit for bit the same. Every
// line is longer than four samples, so the four slots read are written long
// before this block and each slot is read and rewritten by one frame only
// (a line whose end falls inside the four is read and written slot by slot).
// The combs' reads come in as rows (one comb, four frames); their sum runs
// down the rows in comb order. The damping low-pass recurs from frame to
// frame, so for it the rows are turned into columns (one frame, four combs)
// and the frames step one after another, four combs at a time.
template <bool kWrap>
void ReverbEngine::Channel::runFour(const float* h, float feedback, float k1, float k2, float* combSum,
                                    float* diffused) {
    const __m128 k1v = _mm_set1_ps(k1), k2v = _mm_set1_ps(k2), fb = _mm_set1_ps(feedback);
    const __m128 in = _mm_loadu_ps(h);
    const __m128 inFrame[4] = {_mm_shuffle_ps(in, in, _MM_SHUFFLE(0, 0, 0, 0)),
                               _mm_shuffle_ps(in, in, _MM_SHUFFLE(1, 1, 1, 1)),
                               _mm_shuffle_ps(in, in, _MM_SHUFFLE(2, 2, 2, 2)),
                               _mm_shuffle_ps(in, in, _MM_SHUFFLE(3, 3, 3, 3))};
    __m128 sum = _mm_set1_ps(fxdsp::kAntiDenormalOffset);
    for (int g = 0; g < kCombCount; g += 4) {
        __m128 r0 = loadFour<kWrap>(comb[g], combIndex[g], combLength[g]);
        __m128 r1 = loadFour<kWrap>(comb[g + 1], combIndex[g + 1], combLength[g + 1]);
        __m128 r2 = loadFour<kWrap>(comb[g + 2], combIndex[g + 2], combLength[g + 2]);
        __m128 r3 = loadFour<kWrap>(comb[g + 3], combIndex[g + 3], combLength[g + 3]);
        sum = _mm_add_ps(sum, r0);
        sum = _mm_add_ps(sum, r1);
        sum = _mm_add_ps(sum, r2);
        sum = _mm_add_ps(sum, r3);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);  // now r_t holds frame t of the four combs
        __m128 store = _mm_loadu_ps(combStore + g);
        __m128 column[4] = {r0, r1, r2, r3};
        for (int t = 0; t < 4; ++t) {
            store = _mm_add_ps(_mm_mul_ps(column[t], k1v), _mm_mul_ps(store, k2v));
            column[t] = _mm_add_ps(inFrame[t], _mm_mul_ps(store, fb));
        }
        _mm_storeu_ps(combStore + g, store);
        _MM_TRANSPOSE4_PS(column[0], column[1], column[2], column[3]);  // back to one comb per row
        for (int c = 0; c < 4; ++c) combIndex[g + c] = storeFour<kWrap>(comb[g + c], combIndex[g + c], combLength[g + c], column[c]);
    }
    const __m128 half = _mm_set1_ps(kAllpassFeedback);
    __m128 a = sum;
    for (int p = 0; p < kAllpassCount; ++p) {
        const __m128 v = loadFour<kWrap>(allpass[p], allpassIndex[p], allpassLength[p]);
        allpassIndex[p] = storeFour<kWrap>(allpass[p], allpassIndex[p], allpassLength[p], _mm_add_ps(a, _mm_mul_ps(half, v)));
        a = _mm_sub_ps(v, a);
    }
    _mm_storeu_ps(combSum, sum);
    _mm_storeu_ps(diffused, a);
}

int ReverbEngine::Channel::framesBeforeWrap() const {
    int room = combLength[0] - combIndex[0];
    for (int c = 1; c < kCombCount; ++c) room = std::min(room, combLength[c] - combIndex[c]);
    for (int a = 0; a < kAllpassCount; ++a) room = std::min(room, allpassLength[a] - allpassIndex[a]);
    return room;
}

void ReverbEngine::Channel::runFrames(const float* h, int count, float feedback, float k1, float k2,
                                      float* combSum, float* diffused) {
    int n = 0;
    int room = framesBeforeWrap();
    for (; count - n >= 4; n += 4) {
        if (room >= 4) {
            runFour<false>(h + n, feedback, k1, k2, combSum + n, diffused + n);
            room -= 4;
        } else {
            runFour<true>(h + n, feedback, k1, k2, combSum + n, diffused + n);
            room = framesBeforeWrap();
        }
    }
    for (; n < count; ++n) run(h[n], feedback, k1, k2, combSum[n], diffused[n]);
}

ReverbEngine::ReverbEngine() : left_(0), right_(kStereoSpreadSamples) {}

void ReverbEngine::smooth(const ReverbTargets& t, float factor) {
    fxdsp::glide(preDelay_, t.preDelaySamples, factor);
    feedback_ = t.roomFeedback;
    fxdsp::glide(damping_, t.damping, factor);
    fxdsp::glide(early_, t.earlyGain, factor);
    fxdsp::glide(lowCut_, t.lowCut, factor);
    const fxdsp::MixGains mix = fxdsp::mixGains(t.mix);
    fxdsp::glide(dry_, mix.dry, factor);
    fxdsp::glide(wet_, mix.wet, factor);
    fxdsp::glide(level_, t.level, factor);
}

void ReverbEngine::clearSignal() {
    preLeft_.clear();
    preRight_.clear();
    preWrite_ = 0;
    for (Channel* c : {&left_, &right_}) {
        std::fill(c->pool.begin(), c->pool.end(), 0.0f);
        for (int i = 0; i < kCombCount; ++i) {
            c->combIndex[i] = 0;
            c->combStore[i] = 0.0f;
        }
        for (int i = 0; i < kAllpassCount; ++i) c->allpassIndex[i] = 0;
        c->lowCutState = 0.0f;
    }
}

void ReverbEngine::beginBlock() {
    // Damp 1 leaves the combs undamped (k1 = 1); Damp 0 averages the new and
    // the stored value.
    k1_ = 0.5f + 0.5f * damping_;
    k2_ = 1.0f - k1_;
}

void ReverbEngine::render(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono) {
    // Whole samples, no interpolation; held inside the line.
    int p = static_cast<int>(preDelay_);
    if (p < 0) p = 0;
    if (p > PreDelayLine::kMask) p = PreDelayLine::kMask;
    const float feedback = feedback_, k1 = k1_, k2 = k2_;
    const float early = early_, dry = dry_, wet = wet_, level = level_;
    const fxdsp::OnePoleCoefficients lowCut = lowCut_;
    int w = preWrite_;
    // In three passes over pieces of the run: the inputs, pre-delay and low
    // cut frame by frame, then each channel's combs and all-passes (four
    // frames at a time), then the mix. Inputs are read before the outputs
    // of the same frames are written, so processing in place holds.
    constexpr int kPiece = 64;
    alignas(16) float xL[kPiece], xR[kPiece], hL[kPiece], hR[kPiece];
    alignas(16) float sumL[kPiece], sumR[kPiece], diffL[kPiece], diffR[kPiece];
    for (int start = 0; start < count; start += kPiece) {
        const int m = std::min(kPiece, count - start);
        const float* inLeft = inL + start;
        const float* inRight = inR + start;
        for (int n = 0; n < m; ++n) {
            // The combs decay (feedback below 1), so a bounded, finite input
            // keeps every line finite.
            if (mono) {
                xL[n] = xR[n] = fxdsp::fedSample(0.5f * inLeft[n] + 0.5f * inRight[n]) + fxdsp::kAntiDenormalOffset;
            } else {
                xL[n] = fxdsp::fedSample(inLeft[n]) + fxdsp::kAntiDenormalOffset;
                xR[n] = fxdsp::fedSample(inRight[n]) + fxdsp::kAntiDenormalOffset;
            }
            preLeft_.store(w, xL[n]);
            preRight_.store(w, xR[n]);
            const float uL = preLeft_.at(w - p);
            const float uR = preRight_.at(w - p);
            w = (w + 1) & PreDelayLine::kMask;
            hL[n] = fxdsp::onePoleHighpassStep(left_.lowCutState, uL, lowCut);
            hR[n] = fxdsp::onePoleHighpassStep(right_.lowCutState, uR, lowCut);
        }
        left_.runFrames(hL, m, feedback, k1, k2, sumL, diffL);
        right_.runFrames(hR, m, feedback, k1, k2, sumR, diffR);
        float* outLeft = outL + start;
        float* outRight = outR + start;
        for (int n = 0; n < m; ++n) {
            const float tL = kDiffusedGain * diffL[n] - early * sumL[n];
            const float tR = kDiffusedGain * diffR[n] - early * sumR[n];
            outLeft[n] = (xL[n] * dry + tL * wet) * level;
            outRight[n] = (xR[n] * dry + tR * wet) * level;
        }
    }
    preWrite_ = w;
}
