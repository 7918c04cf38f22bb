#include "effects/limiter_core.h"

LimiterCore::LimiterCore() {
    for (int i = 0; i < kRingSize; ++i) ringL_[i] = ringR_[i] = 0.0f;
}

void LimiterCore::clearSignal() {
    for (int i = 0; i < kRingSize; ++i) ringL_[i] = ringR_[i] = 0.0f;
    writeIndex_ = 0;
    envelopeL_ = envelopeR_ = 1.0f;
}

void LimiterCore::setLookaheadSamples(int samples) {
    if (samples < 0) samples = 0;
    if (samples > kRingMask) samples = kRingMask;
    lookaheadSamples_ = samples;
}
