#include "effects/delay_engine.h"

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
    const double target = fxdsp::clampDelay(targetDelay, kShortestDelaySamples, kLongestDelaySamples);
    // The switches hold for the run: one loop per combination keeps their
    // tests out of the per-sample path.
    if (switches.pingPong) {
        if (switches.filter)
            renderRun<true, true>(inL, inR, outL, outR, count, target, switches.mono);
        else
            renderRun<true, false>(inL, inR, outL, outR, count, target, switches.mono);
    } else {
        if (switches.filter)
            renderRun<false, true>(inL, inR, outL, outR, count, target, switches.mono);
        else
            renderRun<false, false>(inL, inR, outL, outR, count, target, switches.mono);
    }
}

template <bool kPingPong, bool kFilter>
void EchoEngine::renderRun(const float* inL, const float* inR, float* outL, float* outR, int count, double target,
                           bool mono) {
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
        const float tapL = left_.readLinear(at);
        const float tapR = right_.readLinear(at);
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
