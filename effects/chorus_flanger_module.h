// The module frame shared by EffectChorus and EffectFlanger: parameter
// layout, mapping to the engine's targets, names, displays and the block loop.
// The two differ in ring length, delay range, program count and whether
// there is a Feedback parameter.
#pragma once

#include "effects/chorus_flanger_engine.h"
#include "effects/dsp/control_clock.h"
#include "effects/dsp/param_curves.h"
#include "effects/dsp/param_display.h"
#include "modules/effect_module.h"

struct SweptDelayLayout {
    double timeRangeRatio;       // longest base delay / shortest (0.5 ms)
    bool hasFeedback;            // Feedback sits between Depth and Mix
    const char* newProgramName;  // name of every program at construction
};

template <int kRingBits>
class SweptDelayModule : public KavoEffectModule {
public:
    // Shortest base delay, at Time 0.
    static constexpr double kShortestDelaySeconds = 0.0005;
    // Sweep rates 0.05 Hz .. 10 Hz.
    static constexpr double kSlowestRateHz = 0.05;
    static constexpr double kRateRangeRatio = 200.0;
    // The triangle travels -1 .. +1 .. -1: four units per cycle.
    static constexpr double kSweepUnitsPerCycle = 4.0;

    SweptDelayModule(audioMasterCallback audioMaster, VstInt32 programs, const ModuleInfo& info,
                     const SweptDelayLayout& layout)
        : KavoEffectModule(audioMaster, programs, layout.hasFeedback ? 6 : 5, info), layout_(layout) {
        float defaults[6];
        for (VstInt32 i = 0; i < numParams; ++i) defaults[i] = roleOf(i) == Role::kFeedback ? 0.0f : 0.5f;
        setParameterDefaults(defaults);
        for (VstInt32 p = 0; p < programs; ++p) storeProgram(p, defaults, layout.newProgramName);
        setProgram(0);
    }

    // Switched (back) on: nothing of what was heard before sounds on.
    void resume() override {
        engine_.clearSignal();
        clock_.reset();
        recomputeAll();
    }

    void setSampleRate(float rate) override {
        // A host that sends 0 or a negative rate would turn every coefficient
        // into infinity; keep the previous rate then.
        if (!(rate > 0.0f)) return;
        KavoEffectModule::setSampleRate(rate);
    }

    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        if (frames <= 0 || inputs == nullptr || outputs == nullptr) return;
        const float* inL = inputs[0];
        const float* inR = inputs[1];
        float* outL = outputs[0];
        float* outR = outputs[1];
        if (inL == nullptr || inR == nullptr || outL == nullptr || outR == nullptr) return;
        fxdsp::runControlledBlock(
            clock_, frames, [this] { return !midiIdle(); },
            [this] { engine_.smooth(targets_, fxdsp::kControlGlideFactor); }, [this] { drainEffectMidiFrame(); },
            [&](int offset, int count) {
                engine_.render(inL + offset, inR + offset, outL + offset, outR + offset, count);
            });
    }

protected:
    // Control steps, program changes and the oscillator run on; no audio.
    bool rest(int frames) override {
        fxdsp::runControlledBlock(
            clock_, frames, [this] { return !midiIdle(); },
            [this] { engine_.smooth(targets_, fxdsp::kControlGlideFactor); }, [this] { drainEffectMidiFrame(); },
            [&](int, int count) { engine_.advanceSweep(count); });
        return true;
    }

public:
    void getParameterName(VstInt32 index, char* text) override {
        static const char* const kNames[] = {"Time", "Rate", "Depth", "Feedback", "Mix", "Level"};
        if (index < 0 || index >= numParams) {
            text[0] = 0;
            return;
        }
        fxdsp::displayText(text, kNames[static_cast<int>(roleOf(index))]);
    }

    void getParameterDisplay(VstInt32 index, char* text) override {
        if (index < 0 || index >= numParams) {
            text[0] = 0;
            return;
        }
        const float x = live_[static_cast<size_t>(index)];
        switch (roleOf(index)) {
            case Role::kTime:
                fxdsp::displayFixed(text, 1000.0 * fxdsp::expCurve(kShortestDelaySeconds, layout_.timeRangeRatio, x), 2,
                                    "ms");
                break;
            case Role::kRate:
                fxdsp::displayFixed(text, fxdsp::expCurve(kSlowestRateHz, kRateRangeRatio, x), 2, "Hz");
                break;
            case Role::kDepth:
            case Role::kFeedback:
                fxdsp::displayFixed(text, x, 2);
                break;
            case Role::kMix:
                fxdsp::displayFixed(text, 2.0 * x - 1.0, 2);
                break;
            case Role::kLevel:
                fxdsp::displayFixed(text, fxdsp::levelDisplayDb(x), 1, "dB");
                break;
        }
    }

    // Position of the sweep oscillator, -1 .. 1 (for tests and meters).
    double sweepValue() const { return engine_.sweepValue(); }

protected:
    enum class Role { kTime, kRate, kDepth, kFeedback, kMix, kLevel };

    Role roleOf(VstInt32 index) const {
        if (index < 3 || layout_.hasFeedback) return static_cast<Role>(index);
        return static_cast<Role>(index + 1);
    }

    void parameterChanged(VstInt32 index) override {
        if (index < 0 || index >= numParams) return;
        const float x = fxdsp::unitParam(live_[static_cast<size_t>(index)]);
        switch (roleOf(index)) {
            case Role::kTime:
                targets_.delaySamples =
                    fxdsp::expCurve(kShortestDelaySeconds, layout_.timeRangeRatio, x) * static_cast<double>(sampleRate);
                break;
            case Role::kRate:
                engine_.setSweepIncrement(fxdsp::expCurve(kSlowestRateHz, kRateRangeRatio, x) * kSweepUnitsPerCycle /
                                          static_cast<double>(sampleRate));
                break;
            case Role::kDepth:
                targets_.depthOctaves = x;
                break;
            case Role::kFeedback:
                targets_.feedback = x;
                break;
            case Role::kMix:
                targets_.mix = x;
                break;
            case Role::kLevel:
                targets_.level = fxdsp::levelGain(x);
                break;
        }
    }

    void recomputeAll() override {
        for (VstInt32 i = 0; i < numParams; ++i) parameterChanged(i);
        engine_.smooth(targets_, fxdsp::kJumpFactor);
    }

    SweptDelayLayout layout_;
    SweptDelayTargets targets_;
    SweptDelayEngine<kRingBits> engine_;
    fxdsp::ControlClock clock_;
};
