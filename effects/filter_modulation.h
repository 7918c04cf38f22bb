// Modulation sources of the filter effect, both stepped at the control rate
// (once every 16 samples): an attack/release envelope restarted by the song
// triggers, and an LFO with sine, square, two saws and sample and hold.
#pragma once

#include "modules/dsp_tables.h"

class FilterEnvelope {
public:
    enum class State { Idle, Attack, Release };
    // The envelope never leaves 0.0001 .. 1 (-80 dB .. 0 dB).
    static constexpr float kFloor = 0.0001f;

    void trigger() {
        level_ = kFloor;
        state_ = State::Attack;
    }
    // Linear rise by the attack increment, then exponential fall by the
    // release factor; an idle envelope keeps its level.
    void step(float attackIncrement, float releaseFactor) {
        if (state_ == State::Attack && level_ >= 1.0f) state_ = State::Release;
        if (state_ == State::Attack)
            level_ += attackIncrement;
        else if (state_ == State::Release)
            level_ *= releaseFactor;
        if (!(level_ >= kFloor)) level_ = kFloor;
        if (level_ > 1.0f) level_ = 1.0f;
    }
    float level() const { return level_; }
    State state() const { return state_; }

private:
    float level_ = kFloor;
    State state_ = State::Idle;
};

class FilterLfo {
public:
    enum class Wave { Sine = 0, Square, SawDown, SawUp, SampleHold };

    // Wave of the parameter value: trunc(4x); sample and hold only at 1.0.
    static Wave waveFor(float x) {
        const float w = 4.0f * x;
        if (!(w >= 1.0f)) return Wave::Sine;
        if (w < 2.0f) return Wave::Square;
        if (w < 3.0f) return Wave::SawDown;
        if (w < 4.0f) return Wave::SawUp;
        return Wave::SampleHold;
    }

    void setIncrement(float tableStepsPerControlStep) { increment_ = tableStepsPerControlStep; }
    void setDepth(float depth) { depth_ = depth; }

    // A song trigger with sync on: the cycle restarts; sample and hold
    // takes a fresh value at once, the other waves start from 0.
    void restart(bool sampleAndHold, dsp::Random15& random) {
        phase_ = 0.0f;
        raw_ = sampleAndHold ? random.nextBipolar() : 0.0f;
    }

    // One control step. freeRunningHold: sample and hold draws once per
    // cycle, at the half-way point; when false it only draws at restarts.
    void step(Wave wave, bool freeRunningHold, const dsp::DspTables& tables, dsp::Random15& random);

    float output() const { return output_; }
    // Back to the start of its cycle, as when created.
    void clearPhase() {
        phase_ = 0.0f;
        raw_ = 0.0f;
        output_ = 0.0f;
    }
    float phase() const { return phase_; }

private:
    float phase_ = 0.0f;
    float increment_ = 0.0f;
    float raw_ = 0.0f;
    float depth_ = 0.0f;
    float output_ = 0.0f;
};
