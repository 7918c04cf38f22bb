// Automation replay of a track: the lanes of the current pattern, replayed
// as the track's step position passes their points. Audio thread, once per
// block before the main module renders.
#include <algorithm>
#include <cmath>

#include "modulehost/cplugin.h"
#include "track/instrument.h"
#include "track/track_owner.h"

namespace {

// MIDI parameter lanes as channel messages: pitch bend, modulation wheel,
// channel pressure, program change, sustain.
// Lane values come from project text and program chunks: a NaN is 0 and
// the rest is limited before the conversion, which is undefined outside
// the int range.
void sendMidiParameter(TrackOwner& owner, CPlugin* slot, int lane, float value) {
    const int v = std::isnan(value) ? 0 : static_cast<int>(std::clamp(value, 0.0f, 127.0f));
    switch (lane) {
        case 0: owner.sendToSlot(slot, 0, 0, 0xE0, 0, v); break;
        case 1: owner.sendToSlot(slot, 0, 0, 0xB0, 1, v); break;
        case 2: owner.sendToSlot(slot, 0, 0, 0xD0, v, 0); break;
        case 3: owner.sendToSlot(slot, 0, 0, 0xC0, v, 0); break;
        case 4: owner.sendToSlot(slot, 0, 0, 0xB0, 64, v); break;
        default: break;
    }
}

// Walks one descriptor's lane up to position u, handing each due point to
// apply. The first point of a lane is applied whatever its position.
template <class Apply>
void replayLane(ParameterDescriptor& d, int pattern, double u, Apply&& apply) {
    if (d.replayExcluded || d.replayCursor < 0) return;
    const std::vector<EventPoint>& lane = d.lanes[static_cast<size_t>(pattern)];
    while (d.replayCursor < static_cast<int>(lane.size())) {
        const EventPoint& point = lane[static_cast<size_t>(d.replayCursor)];
        if (u < point.position && d.replayCursor != 0) break;
        apply(point.value);
        ++d.replayCursor;
    }
}

}  // namespace

void CInstrument::replayAutomation(const TrackRenderContext& context) {
    const int pattern = sequencer.currentPattern();
    const int position = sequencer.stepPosition();
    if (pattern < 0 || pattern >= ParameterDescriptor::kLaneCount || position < 0) return;
    const double u = position + context.automationFraction;

    CPlugin& slot = *mainSlot_;
    for (ParameterDescriptor& d : slot.parameterDescriptors()) {
        replayLane(d, pattern, u, [&](float value) {
            if (d.index < 0 || slot.effect() == nullptr || d.index >= slot.effect()->numParams) return;
            slot.setParameter(d.index, value);
            slot.markChanged();
        });
    }
    for (int i = 0; i < kNumMixParameters; ++i)
        replayLane(mixParameters_[static_cast<size_t>(i)], pattern, u, [&](float value) { setMixParameter(i, value); });
    for (int i = 0; i < kNumMidiParameters; ++i)
        replayLane(midiParameters_[static_cast<size_t>(i)], pattern, u,
                   [&](float value) { sendMidiParameter(owner_, &slot, i, value); });
}
