#include "effects/reverb_engine.h"

#include <emmintrin.h>

#include <algorithm>

#include "effects/dsp/balance_law.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"

using namespace reverb_tuning;

ReverbEngine::Channel::Channel(int extraSamples) {
    size_t total = 0;
    for (int c = 0; c < kCombCount; ++c) total += static_cast<size_t>(kCombLengthsLeft[c] + extraSamples + kGuardSlots);
    for (int a = 0; a < kAllpassCount; ++a)
        total += static_cast<size_t>(kAllpassLengthsLeft[a] + extraSamples + kGuardSlots);
    pool.assign(total, 0.0f);
    float* next = pool.data();
    for (int c = 0; c < kCombCount; ++c) {
        comb[c] = next;
        combLength[c] = kCombLengthsLeft[c] + extraSamples;
        combIndex[c] = 0;
        combStore[c] = 0.0f;
        next += combLength[c] + kGuardSlots;
    }
    for (int a = 0; a < kAllpassCount; ++a) {
        allpass[a] = next;
        allpassLength[a] = kAllpassLengthsLeft[a] + extraSamples;
        allpassIndex[a] = 0;
        next += allpassLength[a] + kGuardSlots;
    }
    room = framesBeforeWrap();
}

std::size_t ReverbEngine::Channel::clear(int frames) {
    std::size_t slots = 0;
    for (int c = 0; c < kCombCount; ++c) {
        const int n = std::clamp(frames, 0, combLength[c]);
        std::fill_n(comb[c], n, 0.0f);
        slots += static_cast<std::size_t>(n);
        combIndex[c] = 0;
        combStore[c] = 0.0f;
    }
    for (int a = 0; a < kAllpassCount; ++a) {
        const int n = std::clamp(frames, 0, allpassLength[a]);
        std::fill_n(allpass[a], n, 0.0f);
        slots += static_cast<std::size_t>(n);
        allpassIndex[a] = 0;
    }
    lowCutState = 0.0f;
    room = framesBeforeWrap();
    return slots * sizeof(float);
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
    // room only ever falls short of the true figure (four frames take it
    // down by four even where a line wraps and starts again), so four frames
    // run without the wrap tests only where no line can end inside them.
    int n = 0;
    int r = room;
    for (; count - n >= 4; n += 4) {
        if (r >= 4) {
            runFour<false>(h + n, feedback, k1, k2, combSum + n, diffused + n);
            r -= 4;
        } else {
            runFour<true>(h + n, feedback, k1, k2, combSum + n, diffused + n);
            r = framesBeforeWrap();
        }
    }
    for (; n < count; ++n) {
        run(h[n], feedback, k1, k2, combSum[n], diffused[n]);
        --r;
    }
    room = r;
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

std::size_t ReverbEngine::clearSignal() {
    flush();
    const int frames = written_.frames();
    std::size_t bytes = preLeft_.clearFirst(frames) + preRight_.clearFirst(frames);
    preWrite_ = 0;
    bytes += left_.clear(frames) + right_.clear(frames);
    written_.reset();
    return bytes;
}

void ReverbEngine::beginBlock() {
    // Queued frames run with the damping they were queued under.
    flush();
    // Damp 1 leaves the combs undamped (k1 = 1); Damp 0 averages the new and
    // the stored value.
    k1_ = 0.5f + 0.5f * damping_;
    k2_ = 1.0f - k1_;
}

namespace {

using PreDelayLine = ReverbEngine::PreDelayLine;

// A piece is short: copied here rather than through a library call.
inline void copyFloats(float* to, const float* from, int count) {
    int n = 0;
    for (; n + 4 <= count; n += 4) _mm_storeu_ps(to + n, _mm_loadu_ps(from + n));
    for (; n < count; ++n) to[n] = from[n];
}

// count slots from slot at on (at within the line), across the line's end.
void writeSlots(PreDelayLine& line, int at, const float* x, int count) {
    const int first = std::min(count, PreDelayLine::kSize - at);
    copyFloats(line.slots() + at, x, first);
    copyFloats(line.slots(), x + first, count - first);
}

void readSlots(const PreDelayLine& line, int at, float* u, int count) {
    const int first = std::min(count, PreDelayLine::kSize - at);
    copyFloats(u, line.slotsAt(at), first);
    copyFloats(u + first, line.slotsAt(0), count - first);
}

}  // namespace

void ReverbEngine::feedPiece(const float* inL, const float* inR, int count, bool mono, int preDelay, float* xL,
                             float* xR, float* uL, float* uR) {
    // The input gains, four frames at a time. The combs decay (feedback
    // below 1), so a bounded, finite input keeps every line finite.
    const __m128 offset = _mm_set1_ps(fxdsp::kAntiDenormalOffset), half = _mm_set1_ps(0.5f);
    int n = 0;
    for (; n + 4 <= count; n += 4) {
        const __m128 l = _mm_loadu_ps(inL + n), r = _mm_loadu_ps(inR + n);
        if (mono) {
            const __m128 x = _mm_add_ps(fxdsp::fedLanes(_mm_add_ps(_mm_mul_ps(half, l), _mm_mul_ps(half, r))), offset);
            _mm_storeu_ps(xL + n, x);
            _mm_storeu_ps(xR + n, x);
        } else {
            _mm_storeu_ps(xL + n, _mm_add_ps(fxdsp::fedLanes(l), offset));
            _mm_storeu_ps(xR + n, _mm_add_ps(fxdsp::fedLanes(r), offset));
        }
    }
    for (; n < count; ++n) {
        if (mono) {
            xL[n] = xR[n] = fxdsp::fedSample(0.5f * inL[n] + 0.5f * inR[n]) + fxdsp::kAntiDenormalOffset;
        } else {
            xL[n] = fxdsp::fedSample(inL[n]) + fxdsp::kAntiDenormalOffset;
            xR[n] = fxdsp::fedSample(inR[n]) + fxdsp::kAntiDenormalOffset;
        }
    }

    // The pre-delay: each frame writes its slot, then reads preDelay slots
    // back. Up to kSize - count back, no frame reads a slot a later frame of
    // the piece writes, so the piece's writes can all go first; a longer
    // delay reads slots the piece is about to overwrite, frame by frame.
    const int w = preWrite_;
    if (preDelay <= PreDelayLine::kSize - count) {
        writeSlots(preLeft_, w, xL, count);
        writeSlots(preRight_, w, xR, count);
        const int read = (w - preDelay) & PreDelayLine::kMask;
        readSlots(preLeft_, read, uL, count);
        readSlots(preRight_, read, uR, count);
    } else {
        for (int i = 0; i < count; ++i) {
            const int at = w + i;
            preLeft_.store(at, xL[i]);
            preRight_.store(at, xR[i]);
            uL[i] = preLeft_.at(at - preDelay);
            uR[i] = preRight_.at(at - preDelay);
        }
    }
    preWrite_ = (w + count) & PreDelayLine::kMask;
}

void ReverbEngine::lowCutPiece(float* hL, float* hR, int count) {
    // The low cut recurs from frame to frame.
    const fxdsp::OnePoleCoefficients lowCut = lowCut_;
    float stateL = left_.lowCutState, stateR = right_.lowCutState;
    for (int i = 0; i < count; ++i) {
        hL[i] = fxdsp::onePoleHighpassStep(stateL, hL[i], lowCut);
        hR[i] = fxdsp::onePoleHighpassStep(stateR, hR[i], lowCut);
    }
    left_.lowCutState = stateL;
    right_.lowCutState = stateR;
}

void ReverbEngine::render(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono) {
    queue(inL, inR, outL, outR, count, mono);
    flush();
}

void ReverbEngine::queue(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono) {
    if (!wide_) {
        renderFour(inL, inR, outL, outR, count, mono);
        return;
    }
    // The comb feedback is one for all the frames of a flush.
    if (queue_.frames > 0 && feedback_ != queue_.feedback) flush();
    queue_.feedback = feedback_;
    int p = static_cast<int>(preDelay_);
    if (p < 0) p = 0;
    if (p > PreDelayLine::kMask) p = PreDelayLine::kMask;
    written_.add(count);
    Queue& q = queue_;
    for (int start = 0; start < count;) {
        if (q.frames == kQueueFrames) flush();
        const int at = q.frames, m = std::min(count - start, kQueueFrames - at);
        feedPiece(inL + start, inR + start, m, mono, p, q.xL + at, q.xR + at, q.uL + at, q.uR + at);
        const __m128 lowCutInput = _mm_set1_ps(lowCut_.input), lowCutFeedback = _mm_set1_ps(lowCut_.feedback);
        const __m128 early = _mm_set1_ps(early_), dry = _mm_set1_ps(dry_), wet = _mm_set1_ps(wet_),
                     level = _mm_set1_ps(level_);
        for (int n = at; n < at + m; n += 4) {
            _mm_storeu_ps(q.lowCutInput + n, lowCutInput);
            _mm_storeu_ps(q.lowCutFeedback + n, lowCutFeedback);
            _mm_storeu_ps(q.early + n, early);
            _mm_storeu_ps(q.dry + n, dry);
            _mm_storeu_ps(q.wet + n, wet);
            _mm_storeu_ps(q.level + n, level);
        }
        q.runLeft[q.runs] = outL + start;
        q.runRight[q.runs] = outR + start;
        q.runStart[q.runs] = at;
        q.runFrames[q.runs] = m;
        ++q.runs;
        q.frames += m;
        start += m;
    }
}

void ReverbEngine::flush() {
    Queue& q = queue_;
    if (q.frames == 0) return;
    runQueueWide(left_, right_, q, k1_, k2_);
    for (int r = 0; r < q.runs; ++r) {
        std::copy_n(q.outL + q.runStart[r], q.runFrames[r], q.runLeft[r]);
        std::copy_n(q.outR + q.runStart[r], q.runFrames[r], q.runRight[r]);
    }
    q.frames = 0;
    q.runs = 0;
}

void ReverbEngine::renderFour(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono) {
    // Whole samples, no interpolation; held inside the line.
    int p = static_cast<int>(preDelay_);
    if (p < 0) p = 0;
    if (p > PreDelayLine::kMask) p = PreDelayLine::kMask;
    written_.add(count);
    const float feedback = feedback_, k1 = k1_, k2 = k2_;
    // In passes over pieces of the run: the inputs and pre-delay, then the
    // low cut, then each channel's combs and all-passes (four frames at a
    // time), then the mix (four frames at a time). Inputs are read before the
    // outputs of the same frames are written, so processing in place holds.
    alignas(16) float xL[kPiece], xR[kPiece], hL[kPiece], hR[kPiece];
    alignas(16) float sumL[kPiece], sumR[kPiece], diffL[kPiece], diffR[kPiece];
    const __m128 diffusedGain = _mm_set1_ps(kDiffusedGain), early = _mm_set1_ps(early_);
    const __m128 dry = _mm_set1_ps(dry_), wet = _mm_set1_ps(wet_), level = _mm_set1_ps(level_);
    for (int start = 0; start < count; start += kPiece) {
        const int m = std::min(kPiece, count - start);
        feedPiece(inL + start, inR + start, m, mono, p, xL, xR, hL, hR);
        lowCutPiece(hL, hR, m);
        left_.runFrames(hL, m, feedback, k1, k2, sumL, diffL);
        right_.runFrames(hR, m, feedback, k1, k2, sumR, diffR);
        float* outLeft = outL + start;
        float* outRight = outR + start;
        int n = 0;
        for (; n + 4 <= m; n += 4) {
            const __m128 tL = _mm_sub_ps(_mm_mul_ps(diffusedGain, _mm_load_ps(diffL + n)),
                                         _mm_mul_ps(early, _mm_load_ps(sumL + n)));
            const __m128 tR = _mm_sub_ps(_mm_mul_ps(diffusedGain, _mm_load_ps(diffR + n)),
                                         _mm_mul_ps(early, _mm_load_ps(sumR + n)));
            _mm_storeu_ps(outLeft + n,
                          _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(xL + n), dry), _mm_mul_ps(tL, wet)), level));
            _mm_storeu_ps(outRight + n,
                          _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(xR + n), dry), _mm_mul_ps(tR, wet)), level));
        }
        for (; n < m; ++n) {
            const float tL = kDiffusedGain * diffL[n] - early_ * sumL[n];
            const float tR = kDiffusedGain * diffR[n] - early_ * sumR[n];
            outLeft[n] = (xL[n] * dry_ + tL * wet_) * level_;
            outRight[n] = (xR[n] * dry_ + tR * wet_) * level_;
        }
    }
}
