// The signal path shared by the chorus and the flanger: one delay ring per
// channel, both read around a base delay that a triangle oscillator sweeps in
// octaves, the left read moving up while the right one moves down (the ratio k
// lengthens one side and shortens the other), so the two channels never
// detune the same way and the image widens. The flanger feeds the read back
// into its ring; the chorus does not.
//
// DSP state only: the module maps its parameters to SweptDelayTargets and
// sweep increments, the engine smooths towards them and renders.
#pragma once

#include <cmath>

#include "common/portable_math.h"
#include "effects/dsp/balance_law.h"
#include "effects/dsp/delay_ring.h"
#include "effects/dsp/signal_floor.h"
#include "effects/dsp/smoothing.h"

struct SweptDelayTargets {
    double delaySamples = 0.0;  // base delay D
    float depthOctaves = 0.0f;  // sweep depth
    float feedback = 0.0f;      // 0 for the chorus
    float mix = 0.5f;           // Mix parameter, 0..1
    double level = 1.0;         // output gain e
};

template <int kRingBits>
class SweptDelayEngine {
public:
    using Ring = fxdsp::DelayRing<kRingBits>;

    // Reads are limited to ±10 so that a flanger at full feedback stays bounded:
    // the ring then holds at most the input plus 10.
    static constexpr float kReadLimit = 10.0f;

    // Oscillator step per sample, in units of the ±1 triangle (4 units a
    // cycle). The oscillator always continues upward from where it is.
    void setSweepIncrement(double perSample) {
        increment_ = perSample;
        reflection_ = perSample;
    }

    void smooth(const SweptDelayTargets& t, float factor) {
        fxdsp::glide(delay_, t.delaySamples, factor);
        fxdsp::glide(depth_, t.depthOctaves, factor);
        fxdsp::glide(feedback_, t.feedback, factor);
        const fxdsp::MixGains mix = fxdsp::mixGains(t.mix);
        fxdsp::glide(dry_, mix.dry, factor);
        fxdsp::glide(wet_, mix.wet, factor);
        fxdsp::glide(level_, t.level, factor);
    }

    // Reads both inputs of a frame before writing its outputs: may run in place.
    void render(const float* inL, const float* inR, float* outL, float* outR, int count) {
        double sweep = sweep_;
        double increment = increment_;
        const double reflection = reflection_;
        int w = write_;
        const float delay = delay_, depth = depth_, g = feedback_;
        const float dry = dry_, wet = wet_, level = level_;
        for (int n = 0; n < count; ++n) {
            const float xL = inL[n] + fxdsp::kAntiDenormalOffset;
            const float xR = inR[n] + fxdsp::kAntiDenormalOffset;
            sweep += increment;
            if (sweep >= 1.0)
                increment = -reflection;
            else if (sweep <= -1.0)
                increment = reflection;
            const float k = portable::exp2(depth * static_cast<float>(sweep));
            const double cL = fxdsp::clampDelay(k * delay, Ring::kMinHermiteDelay, Ring::kMaxHermiteDelay);
            const double cR = fxdsp::clampDelay(delay / k, Ring::kMinHermiteDelay, Ring::kMaxHermiteDelay);
            const float yL = limitRead(left_.readHermite(w, cL));
            const float yR = limitRead(right_.readHermite(w, cR));
            left_.store(w, yL * g + xL);
            right_.store(w, yR * g + xR);
            w = (w + 1) & Ring::kMask;
            outL[n] = (yL * wet + xL * dry) * level;
            outR[n] = (yR * wet + xR * dry) * level;
        }
        sweep_ = sweep;
        increment_ = increment;
        write_ = w;
    }

    double sweepValue() const { return sweep_; }

    // Silence in the rings and the sweep back at its start, rising.
    void clearSignal() {
        left_.clear();
        right_.clear();
        write_ = 0;
        sweep_ = 0.0;
        increment_ = reflection_;
    }

private:
    static float limitRead(float y) {
        if (y >= kReadLimit) return kReadLimit;
        if (y < -kReadLimit) return -kReadLimit;
        if (y != y) return 0.0f;  // a NaN input must not circulate for ever
        return y;
    }

    Ring left_, right_;
    int write_ = 0;
    // The oscillator runs in double precision: at 0.05 Hz the step is below
    // 1e-5 and a float sweep would drift off its rate.
    double sweep_ = 0.0;
    double increment_ = 0.0;
    double reflection_ = 0.0;
    float delay_ = 0.0f, depth_ = 0.0f, feedback_ = 0.0f;
    float dry_ = 0.0f, wet_ = 0.0f, level_ = 0.0f;
};
