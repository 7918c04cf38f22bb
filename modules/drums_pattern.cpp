// The track's pattern as the drum machine sees it (mirrored through packed
// setParameter indices), and the per-pad random-pattern generator that
// writes its result back into the track's edit pattern through the host.
#include <cmath>

#include "modules/drums_module.h"

using namespace drums;

void EffectDrums::hostMessage(VstInt32 index, float value) {
    const HostMessage message = decodeHostMessage(index);
    switch (message.kind) {
        case HostMessage::kPatternLength: {
            // Step positions travel in seven bits; a longer pattern cannot
            // be addressed, a negative one is empty.
            const float steps = std::isfinite(value) ? std::fmin(std::fmax(value, 0.0f), kMaxPatternSteps) : 0.0f;
            patternLength_ = static_cast<int>(steps);
            break;
        }
        case HostMessage::kClearGrid:
            for (auto& row : grid_)
                for (float& step : row) step = 0.0f;
            break;
        case HostMessage::kGridStep:
            // The grid holds 64 steps; later steps of a longer pattern are
            // simply not mirrored.
            if (message.step >= kGridSteps) break;
            for (int k = 0; k < kPads; ++k)
                if (padNotes_[k] == message.note) {
                    grid_[k][message.step] = std::isfinite(value) ? value : 0.0f;
                    break;
                }
            break;
        case HostMessage::kNone:
            break;
    }
}

void EffectDrums::patternRandom(int pad, float density) {
    const int n = patternLength_;
    if (n <= 0) return;
    bool hit[kMaxPatternSteps] = {};
    int velocity[kMaxPatternSteps] = {};
    // Densities beyond 1 add nothing (every free step is taken by then) and
    // would only spin the loop.
    const float v = std::isfinite(density) ? std::fmin(std::fmax(density, 0.0f), 1.0f) : 0.0f;
    const int draws = static_cast<int>((v + 0.05f) * static_cast<float>(n));
    for (int d = 0; d < draws; ++d) {
        const int s = random_.next() % n;
        for (int t = 0; t < n; ++t) {
            const int q = (s + t) % n;
            const bool occupied = q < kGridSteps && grid_[pad][q] != 0.0f;
            if (hit[q] || occupied) continue;
            hit[q] = true;
            velocity[q] = random_.next() % 128;
            if (velocity[q] == 0) velocity[q] = 1;
            break;
        }
    }
    const int note = padNotes_[pad];
    if (note < 0 || note > 127) return;
    for (int s = 0; s < n; ++s) {
        const VstInt32 at = note * 128 + s;
        setParameterAutomated(kPatternStepMessage + at, hit[s] ? 1.0f : 0.0f);
        if (hit[s]) setParameterAutomated(kPatternVelocityMessage + at, static_cast<float>(velocity[s]));
    }
}
