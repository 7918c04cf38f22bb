#include "tools/projectgen/ball_placement.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "project/project_values.h"
#include "tools/projectgen/project_text.h"

namespace projectgen {

namespace {

constexpr float kPadScale = 128.0f;
constexpr float kPadTop = 127.0f;
// Mix parameters the balls may address: level 0..127, pan -1..1, the three
// equaliser gains -1..1 and the four send levels 0..127 (the track's mixer
// maps a fraction onto these).
constexpr int kMixLevel = 0, kMixPan = 1, kMixFirstSendLevel = 16, kMixLastSendLevel = 22;
constexpr int kMixFirstBand = 4, kMixBandFields = 3, kMixBandGainField = 2;

// The 0..1 value a target receives at pad position p: the plug-in's own
// arithmetic, in floats, so the tool predicts it to the last bit.
float mappedValue(const BallTarget& t, float position) {
    const float minimum = t.minimum, maximum = t.maximum;
    const float m = minimum + (maximum - minimum) * position / kPadScale;
    return m / kPadScale;
}

// A position as the loader will read it back from the project text: x as
// written, y from the written 128 - y.
float asLoaded(float position, bool vertical) {
    if (!vertical) return parseReal(trackReal(position));
    return kPadScale - parseReal(trackReal(kPadScale - position));
}

bool isSendLevel(int index) { return index >= kMixFirstSendLevel && index <= kMixLastSendLevel && index % 2 == 0; }
// The band whose gain index is, or -1.
int gainBand(int index) {
    const int band = (index - kMixFirstBand) / kMixBandFields;
    const bool gain = index >= kMixFirstBand && (index - kMixFirstBand) % kMixBandFields == kMixBandGainField;
    return gain && band < 3 ? band : -1;
}

ModuleState* targetModule(TrackSpec& track, const BallTarget& t) {
    const SlotSpec* slot = t.kind == 0 ? &track.instrument : t.kind == 2 ? &track.inserts[0] : t.kind == 3 ? &track.inserts[1] : nullptr;
    return slot != nullptr && slot->used() ? slot->module.get() : nullptr;
}

// The target's current value as the fraction 0..1 that a ball sends.
bool readFraction(TrackSpec& track, const BallTarget& t, float& fraction) {
    if (t.kind == 1) {
        if (t.index == kMixLevel) {
            fraction = track.level / 127.0f;
        } else if (t.index == kMixPan) {
            fraction = (track.pan + 1.0f) / 2.0f;
        } else if (isSendLevel(t.index)) {
            fraction = track.sendLevel[static_cast<size_t>((t.index - kMixFirstSendLevel) / 2)] / 127.0f;
        } else if (gainBand(t.index) >= 0) {
            fraction = (track.eqGain[static_cast<size_t>(gainBand(t.index))] + 1.0f) / 2.0f;
        } else {
            return false;
        }
        return true;
    }
    ModuleState* module = targetModule(track, t);
    if (module == nullptr || t.index < 0 || t.index >= module->parameterCount()) return false;
    fraction = module->value(t.index);
    return true;
}

void writeFraction(TrackSpec& track, const BallTarget& t, float fraction) {
    if (t.kind == 1) {
        const float v = fraction * 127.0f;
        if (t.index == kMixLevel) track.level = v;
        else if (t.index == kMixPan) track.pan = -1.0f + fraction * 2.0f;
        else if (isSendLevel(t.index)) track.sendLevel[static_cast<size_t>((t.index - kMixFirstSendLevel) / 2)] = v;
        else if (gainBand(t.index) >= 0) track.eqGain[static_cast<size_t>(gainBand(t.index))] = -1.0f + fraction * 2.0f;
        return;
    }
    if (ModuleState* module = targetModule(track, t)) module->setIndex(t.index, fraction);
}

// Places one axis; returns false when the wanted value lay beyond the
// ball's range.
bool placeAxis(TrackSpec& track, std::vector<BallTarget>& targets, bool vertical, float& position) {
    const BallTarget* first = nullptr;
    float wanted = 0.0f;
    for (const BallTarget& t : targets) {
        if (t.minimum == t.maximum) continue;
        if (!readFraction(track, t, wanted)) {
            std::fprintf(stderr, "projectgen: track %s: a ball addresses target %d/%d, which the tool cannot read\n",
                         track.title.c_str(), t.kind, t.index);
            std::exit(1);
        }
        first = &t;
        break;
    }
    if (first == nullptr) return true;
    const float exact = (wanted * kPadScale - first->minimum) * kPadScale / (first->maximum - first->minimum);
    const float clamped = std::clamp(exact, 0.0f, kPadTop);
    position = asLoaded(clamped, vertical);
    for (const BallTarget& t : targets)
        if (t.minimum != t.maximum) writeFraction(track, t, mappedValue(t, position));
    return clamped == exact;
}

}  // namespace

bool placeable(TrackSpec& track, const BallTarget& target) {
    float unused = 0.0f;
    return readFraction(track, target, unused);
}

std::vector<std::string> placeBalls(ProjectSpec& project) {
    std::vector<std::string> notes;
    for (TrackSpec& track : project.tracks)
        for (BallSpec& ball : track.balls) {
            const std::string where = project.name + " / " + track.title + " / " + ball.name + ": ";
            if (!placeAxis(track, ball.horizontal, false, ball.x))
                notes.push_back(where + "horizontal value beyond the ball's range");
            if (!placeAxis(track, ball.vertical, true, ball.y))
                notes.push_back(where + "vertical value beyond the ball's range");
        }
    return notes;
}

}  // namespace projectgen
