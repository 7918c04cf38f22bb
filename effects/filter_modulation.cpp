#include "effects/filter_modulation.h"

#include <cmath>

void FilterLfo::step(Wave wave, bool freeRunningHold, const dsp::DspTables& tables, dsp::Random15& random) {
    constexpr float kCycle = static_cast<float>(dsp::kTableSize);
    constexpr int kHalfCycle = dsp::kTableSize / 2;
    phase_ += increment_;
    if (phase_ >= kCycle) {
        phase_ -= kCycle;
        if (phase_ >= kCycle) phase_ = std::fmod(phase_, kCycle);  // only at absurd rates
    }
    if (!(phase_ >= 0.0f)) phase_ = 0.0f;
    int j = static_cast<int>(phase_);
    if (j > dsp::kTableMask) j = dsp::kTableMask;
    switch (wave) {
        case Wave::Sine:
            raw_ = tables.sine[j];
            break;
        case Wave::Square:
            raw_ = j < kHalfCycle ? 1.0f : -1.0f;
            break;
        case Wave::SawDown:
            raw_ = tables.sawTableForIncrement(increment_)[j];
            break;
        case Wave::SawUp:
            raw_ = tables.sawTableForIncrement(increment_)[dsp::kTableMask - j];
            break;
        case Wave::SampleHold: {
            // A new value when the next step crosses into the second half.
            const int next = static_cast<int>(phase_ + increment_) & dsp::kTableMask;
            if (freeRunningHold && j < kHalfCycle && next >= kHalfCycle) raw_ = random.nextBipolar();
            break;
        }
    }
    output_ = depth_ * raw_;
}
