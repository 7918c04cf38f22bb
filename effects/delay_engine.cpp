#include "effects/delay_engine.h"

#include <emmintrin.h>

#include <algorithm>
#include <type_traits>

#include "effects/dsp/balance_law.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"

namespace {
// Once the glide is this close the delay lands exactly on its target, so a
// whole-sample delay reads one slot without interpolation. A jump of a
// thousandth of a sample is far below anything audible.
constexpr double kDelaySnapSamples = 0.001;
}  // namespace

void EchoEngine::smooth(const EchoTargets& t, bool filterOn, float factor) {
    fxdsp::glide(feedback_, t.feedback, factor);
    if (filterOn) {
        fxdsp::glide(hiCut_, t.hiCut, factor);
        fxdsp::glide(lowCut_, t.lowCut, factor);
    }
    const fxdsp::MixGains mix = fxdsp::mixGains(t.mix);
    fxdsp::glide(dry_, mix.dry, factor);
    fxdsp::glide(wet_, mix.wet, factor);
    const fxdsp::SideGains pan = fxdsp::balanceGains(t.pan);
    fxdsp::glide(leftGain_, t.level * pan.first, factor);
    fxdsp::glide(rightGain_, t.level * pan.second, factor);
}

void EchoEngine::render(const float* inL, const float* inR, float* outL, float* outR, int count, double targetDelay,
                        const EchoSwitches& switches) {
    if (count <= 0) return;
    const double target = fxdsp::clampDelay(targetDelay, kShortestDelaySamples, kLongestDelaySamples);
    const int fresh = written_.frames();
    if (staleEnd_ > fresh) {
        // A stretch of the stale slots is cleared for good, from the top
        // down, towards the writes that come up from slot 0.
        const int stretch = std::min(staleEnd_ - fresh, kClearSlotsPerFrame * std::min(count, Line::kSize));
        staleEnd_ -= stretch;
        left_.clearSlots(staleEnd_, stretch);
        right_.clearSlots(staleEnd_, stretch);
    }
    const bool stale = staleEnd_ > fresh;
    // The switches hold for the run: one loop per combination keeps their
    // tests out of the per-sample path.
    const auto run = [&](auto pingPong, auto filter) {
        if (stale)
            renderRun<decltype(pingPong)::value, decltype(filter)::value, true>(inL, inR, outL, outR, count, target, switches.mono);
        else
            renderRun<decltype(pingPong)::value, decltype(filter)::value, false>(inL, inR, outL, outR, count, target, switches.mono);
    };
    using On = std::true_type;
    using Off = std::false_type;
    if (switches.pingPong) {
        if (switches.filter)
            run(On{}, On{});
        else
            run(On{}, Off{});
    } else {
        if (switches.filter)
            run(Off{}, On{});
        else
            run(Off{}, Off{});
    }
    written_.add(count);
    if (staleEnd_ <= written_.frames()) staleEnd_ = 0;
}

template <bool kPingPong, bool kFilter>
bool EchoEngine::renderLanded(const float* inL, const float* inR, float* outL, float* outR, int count, bool mono) {
    // The read position moves with the write index, one slot a sample, at a
    // fraction that stays the same (both are exact in double precision), so
    // a run whose taps all lie behind its own writes, with neither the reads
    // nor the writes crossing the end of the lines, is the same arithmetic
    // on four frames at a time.
    if (count > kMaxLandedRun || delay_ < count + 1.0) return false;
    const Line::Position at = Line::position(write_, delay_);
    if (at.index + count >= Line::kSize || write_ + count > Line::kSize) return false;

    const float* readL = left_.slots() + at.index;
    const float* readR = right_.slots() + at.index;
    float* writeL = left_.slots() + write_;
    float* writeR = right_.slots() + write_;
    const __m128 frac = _mm_set1_ps(at.frac);
    const __m128 g = _mm_set1_ps(feedback_);
    const __m128 offset = _mm_set1_ps(fxdsp::kAntiDenormalOffset);

    const auto feeds = [&](int n, __m128& a, __m128& b) {
        const __m128 l = _mm_loadu_ps(inL + n), r = _mm_loadu_ps(inR + n);
        if (mono) {
            a = b = _mm_add_ps(l, r);
        } else if (kPingPong) {
            a = _mm_add_ps(l, r);
            b = _mm_setzero_ps();
        } else {
            a = l;
            b = r;
        }
        a = _mm_add_ps(a, offset);
        b = _mm_add_ps(b, offset);
    };
    const auto tap = [&](const float* line, int n) {
        const __m128 x0 = _mm_loadu_ps(line + n), x1 = _mm_loadu_ps(line + n + 1);
        return _mm_add_ps(x0, _mm_mul_ps(frac, _mm_sub_ps(x1, x0)));
    };
    // The filter's recursion goes frame by frame, both channels in lanes 0
    // and 1 (each lane doing onePoleStep's arithmetic), four frames right
    // after their taps, and each group's outputs follow at once: the
    // recursion is a dependency chain that leaves most of the processor
    // idle, and the taps, writes and mixes of the neighbouring groups fill
    // that time only when they sit close to it in the instruction stream.
    // A group reads all its inputs before it writes its outputs, so the
    // module may run in place. Frames after the last group take the scalar
    // steps.
    const auto pairOf = [](const float* p) { return _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p)); };
    __m128 hiPair = pairOf(hiState_), lowPair = pairOf(lowState_);
    const __m128 hiIn = _mm_set1_ps(hiCut_.input), hiBack = _mm_set1_ps(hiCut_.feedback);
    const __m128 lowIn = _mm_set1_ps(lowCut_.input), lowBack = _mm_set1_ps(lowCut_.feedback);
    const auto filterPair = [&](__m128 taps) {
        hiPair = _mm_add_ps(_mm_mul_ps(hiIn, taps), _mm_mul_ps(hiBack, hiPair));
        lowPair = _mm_add_ps(_mm_mul_ps(lowIn, hiPair), _mm_mul_ps(lowBack, lowPair));
        return _mm_sub_ps(hiPair, lowPair);
    };
    float hiL = 0.0f, hiR = 0.0f, lowL = 0.0f, lowR = 0.0f;
    const fxdsp::OnePoleCoefficients hiCut = hiCut_, lowCut = lowCut_;
    const auto filterFrame = [&](float& echoL, float& echoR) {
        const float tl = echoL, tr = echoR;
        echoL = fxdsp::onePoleStep(hiL, tl, hiCut);
        echoL -= fxdsp::onePoleStep(lowL, hiL, lowCut);
        echoR = fxdsp::onePoleStep(hiR, tr, hiCut);
        echoR -= fxdsp::onePoleStep(lowR, hiR, lowCut);
    };
    const __m128 dry = _mm_set1_ps(dry_), wet = _mm_set1_ps(wet_);
    const __m128 leftGain = _mm_set1_ps(leftGain_), rightGain = _mm_set1_ps(rightGain_);
    const int whole = count & ~3;
    for (int n = 0; n < whole; n += 4) {
        __m128 a, b;
        feeds(n, a, b);
        __m128 tl = tap(readL, n), tr = tap(readR, n);
        _mm_storeu_ps(writeL + n, fxdsp::fedLanes(_mm_add_ps(a, _mm_mul_ps(g, kPingPong ? tr : tl))));
        _mm_storeu_ps(writeR + n, fxdsp::fedLanes(_mm_add_ps(b, _mm_mul_ps(g, kPingPong ? tl : tr))));
        if (kFilter) {
            const __m128 early = _mm_unpacklo_ps(tl, tr), late = _mm_unpackhi_ps(tl, tr);  // l0 r0 l1 r1, l2 r2 l3 r3
            const __m128 e0 = filterPair(early), e1 = filterPair(_mm_movehl_ps(early, early));
            const __m128 e2 = filterPair(late), e3 = filterPair(_mm_movehl_ps(late, late));
            const __m128 e01 = _mm_movelh_ps(e0, e1), e23 = _mm_movelh_ps(e2, e3);
            tl = _mm_shuffle_ps(e01, e23, _MM_SHUFFLE(2, 0, 2, 0));
            tr = _mm_shuffle_ps(e01, e23, _MM_SHUFFLE(3, 1, 3, 1));
        }
        const __m128 wl = _mm_mul_ps(tl, wet), wr = _mm_mul_ps(tr, wet);
        _mm_storeu_ps(outL + n, _mm_mul_ps(_mm_add_ps(_mm_mul_ps(kPingPong ? b : a, dry), wl), leftGain));
        _mm_storeu_ps(outR + n, _mm_mul_ps(_mm_add_ps(_mm_mul_ps(kPingPong ? a : b, dry), wr), rightGain));
    }
    if (kFilter) {
        alignas(16) float hi[4], low[4];
        _mm_store_ps(hi, hiPair);
        _mm_store_ps(low, lowPair);
        hiL = hi[0];
        hiR = hi[1];
        lowL = low[0];
        lowR = low[1];
    }
    for (int n = whole; n < count; ++n) {
        const float l = inL[n], r = inR[n];
        float a = l, b = r;
        if (mono) {
            a = b = l + r;
        } else if (kPingPong) {
            a = l + r;
            b = 0.0f;
        }
        a += fxdsp::kAntiDenormalOffset;
        b += fxdsp::kAntiDenormalOffset;
        float tl = readL[n] + at.frac * (readL[n + 1] - readL[n]);
        float tr = readR[n] + at.frac * (readR[n + 1] - readR[n]);
        writeL[n] = fxdsp::fedSample(a + feedback_ * (kPingPong ? tr : tl));
        writeR[n] = fxdsp::fedSample(b + feedback_ * (kPingPong ? tl : tr));
        if (kFilter) filterFrame(tl, tr);
        const float wl = tl * wet_, wr = tr * wet_;
        outL[n] = ((kPingPong ? b : a) * dry_ + wl) * leftGain_;
        outR[n] = ((kPingPong ? a : b) * dry_ + wr) * rightGain_;
    }
    write_ = (write_ + count) & Line::kMask;
    if (kFilter) {
        hiState_[0] = hiL;
        hiState_[1] = hiR;
        lowState_[0] = lowL;
        lowState_[1] = lowR;
    }
    return true;
}

template <bool kPingPong, bool kFilter, bool kStale>
void EchoEngine::renderRun(const float* inL, const float* inR, float* outL, float* outR, int count, double target,
                           bool mono) {
    if (!kStale && delay_ == target && renderLanded<kPingPong, kFilter>(inL, inR, outL, outR, count, mono)) return;
    // kStale: slots from the one this frame writes up to staleEnd_ still
    // hold what the lines took before their last clear, and read as silence.
    const int staleFrom = written_.frames();
    const int staleEnd = staleEnd_;
    const auto slot = [&](const Line& line, int index, int n) {
        index &= Line::kMask;
        return kStale && index >= staleFrom + n && index < staleEnd ? 0.0f : line.at(index);
    };
    const auto tap = [&](const Line& line, Line::Position at, int n) {
        if (!kStale) return line.readLinear(at);
        const float x0 = slot(line, at.index, n);
        const float x1 = slot(line, at.index + 1, n);
        return x0 + at.frac * (x1 - x0);
    };
    double d = delay_;
    int w = write_;
    const float g = feedback_;
    const float dry = dry_, wet = wet_, leftGain = leftGain_, rightGain = rightGain_;
    const fxdsp::OnePoleCoefficients hiCut = hiCut_, lowCut = lowCut_;
    float hiL = hiState_[0], hiR = hiState_[1], lowL = lowState_[0], lowR = lowState_[1];
    // Once the glide has landed it stays on the target for the whole run
    // (the target is fixed per run): no glide arithmetic per sample then.
    const bool gliding = d != target;

    for (int n = 0; n < count; ++n) {
        const float l = inL[n], r = inR[n];
        float a, b;
        if (mono) {
            a = b = l + r;
        } else if (kPingPong) {
            a = l + r;
            b = 0.0f;
        } else {
            a = l;
            b = r;
        }
        a += fxdsp::kAntiDenormalOffset;
        b += fxdsp::kAntiDenormalOffset;

        if (gliding) {
            const double distance = target - d;
            d = (distance > -kDelaySnapSamples && distance < kDelaySnapSamples) ? target
                                                                                : d + kDelayGlidePerSample * distance;
        }

        // Both lines share the write index, so one read position serves both.
        const Line::Position at = Line::position(w, d);
        const float tapL = tap(left_, at, n);
        const float tapR = tap(right_, at, n);
        if (kPingPong) {
            left_.store(w, fxdsp::fedSample(a + g * tapR));
            right_.store(w, fxdsp::fedSample(b + g * tapL));
        } else {
            left_.store(w, fxdsp::fedSample(a + g * tapL));
            right_.store(w, fxdsp::fedSample(b + g * tapR));
        }
        w = (w + 1) & Line::kMask;

        float echoL = tapL, echoR = tapR;
        if (kFilter) {
            echoL = fxdsp::onePoleStep(hiL, tapL, hiCut);
            echoL -= fxdsp::onePoleStep(lowL, hiL, lowCut);
            echoR = fxdsp::onePoleStep(hiR, tapR, hiCut);
            echoR -= fxdsp::onePoleStep(lowR, hiR, lowCut);
        }
        const float wl = echoL * wet, wr = echoR * wet;
        if (kPingPong) {
            outL[n] = (b * dry + wl) * leftGain;
            outR[n] = (a * dry + wr) * rightGain;
        } else {
            outL[n] = (a * dry + wl) * leftGain;
            outR[n] = (b * dry + wr) * rightGain;
        }
    }

    delay_ = d;
    write_ = w;
    hiState_[0] = hiL;
    hiState_[1] = hiR;
    lowState_[0] = lowL;
    lowState_[1] = lowR;
}
