// Track presets: PRESET_ADD appends one, the PRESET_* keys that follow fill
// the most recent one. Read so that the project reads correctly; nothing
// plays them.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "modulehost/cplugin.h"
#include "project/loader_context.h"
#include "project/project_values.h"
#include "track/instrument.h"

namespace {

float* presetReal(TrackPreset& p, std::string_view key) {
    static constexpr std::pair<std::string_view, int> kKeys[] = {
        {"PRESET_LEVEL", 0},          {"PRESET_PAN", 1},           {"PRESET_MUTE", 2},
        {"PRESET_CROSSFADEA", 3},     {"PRESET_CROSSFADEB", 4},    {"PRESET_SYNCHRO", 5},
        {"PRESET_TRANSPOSE", 6},      {"PRESET_INSERT1_ON", 7},    {"PRESET_INSERT2_ON", 8},
        {"PRESET_EFFECT1_ON", 9},     {"PRESET_EFFECT2_ON", 10},   {"PRESET_EFFECT3_ON", 11},
        {"PRESET_EFFECT4_ON", 12},    {"PRESET_EFFECT1_LEVEL", 13}, {"PRESET_EFFECT2_LEVEL", 14},
        {"PRESET_EFFECT3_LEVEL", 15}, {"PRESET_EFFECT4_LEVEL", 16}, {"PRESET_EQ_ON", 17},
        {"PRESET_EQ1_RES", 18},       {"PRESET_EQ2_RES", 19},      {"PRESET_EQ3_RES", 20},
        {"PRESET_EQ1_GAIN", 21},      {"PRESET_EQ2_GAIN", 22},     {"PRESET_EQ3_GAIN", 23},
    };
    float* fields[] = {&p.level,        &p.pan,          &p.mute,          &p.crossfadeA,   &p.crossfadeB,
                       &p.synchro,      &p.transpose,    &p.insertOn[0],   &p.insertOn[1],  &p.sendOn[0],
                       &p.sendOn[1],    &p.sendOn[2],    &p.sendOn[3],     &p.sendLevel[0], &p.sendLevel[1],
                       &p.sendLevel[2], &p.sendLevel[3], &p.equaliserOn,   &p.bandResonance[0],
                       &p.bandResonance[1], &p.bandResonance[2], &p.bandGain[0], &p.bandGain[1], &p.bandGain[2]};
    for (const auto& [name, i] : kKeys)
        if (key == name) return fields[i];
    return nullptr;
}

int* presetInteger(TrackPreset& p, std::string_view key) {
    if (key == "PRESET_KEYBOARDON") return &p.keyboardOn;
    if (key == "PRESET_KEYBOARDGATED") return &p.keyboardGated;
    if (key == "PRESET_KEYBOARD_POSITION") return &p.keyboardPosition;
    if (key == "PRESET_PATTERNSELECTED") return &p.selectedPattern;
    return nullptr;
}

bool isPresetKey(std::string_view key) { return key.substr(0, 7) == "PRESET_"; }

// The preset's copy of the track's fixed mix or MIDI descriptors, made on
// first use.
std::vector<ParameterDescriptor>& fixedList(CInstrument& track, TrackPreset& p, bool mix) {
    std::vector<ParameterDescriptor>& list = mix ? p.mixParameters : p.midiParameters;
    if (list.empty()) {
        const int n = mix ? kNumMixParameters : kNumMidiParameters;
        for (int i = 0; i < n; ++i) {
            ParameterDescriptor d = mix ? track.mixParameter(i) : track.midiParameter(i);
            d.events.clear();
            for (auto& lane : d.lanes) lane.clear();
            list.push_back(std::move(d));
        }
    }
    return list;
}

void readPresetLaneEvents(const ProjectLine& line, std::vector<ParameterDescriptor>& list) {
    if (line.count() < 5) return;
    const int lane = line.integer(1);
    const int index = line.integer(2);
    if (lane < 0 || lane >= ParameterDescriptor::kLaneCount || index < 0 ||
        static_cast<size_t>(index) >= list.size())
        return;
    std::vector<EventPoint>& points = list[static_cast<size_t>(index)].lanes[static_cast<size_t>(lane)];
    points.clear();
    appendEventPairs(points, line, 3);
}

}  // namespace

bool readTrackPresetLine(LoaderContext& c, CInstrument& track, int& currentPreset) {
    const ProjectLine& line = c.line;
    const std::string_view key = line.key();
    if (key == "PRESET_ADD") {
        if (track.presets.size() < kMaxTrackPresets) {
            track.presets.emplace_back();
            currentPreset = static_cast<int>(track.presets.size()) - 1;
        } else {
            currentPreset = -1;  // beyond the bound: its keys are ignored
        }
        return true;
    }
    // The ball keys of the track itself share the prefix; they are read
    // before this.
    if (!isPresetKey(key)) return false;
    if (currentPreset < 0) {
        skipRawRun(c);
        return true;
    }
    TrackPreset& p = track.presets[static_cast<size_t>(currentPreset)];

    if (float* field = presetReal(p, key)) {
        *field = line.real(1);
    } else if (int* integer = presetInteger(p, key)) {
        *integer = line.integer(1);
    } else if (key == "PRESET_EQ1_FREQ" || key == "PRESET_EQ2_FREQ" || key == "PRESET_EQ3_FREQ") {
        p.bandFrequency[key[9] - '1'] = equaliserFrequencyFromFile(line.real(1));
    } else if (key == "PRESET_STEPNUMBER_MODE") {
        if (line.count() < 4) return true;
        p.stepMode[0] = 0.0f;
        const int mode = line.integer(2);
        if (mode >= 1 && mode <= 3) p.stepMode[mode - 1] = 1.0f;
        p.stepModeValue = line.real(3);
    } else if (key == "PRESET_PATTERN_NOTES") {
        if (line.count() < 4) return true;
        const int n = line.integer(1);
        if (n < 0 || n >= kNumPatterns) return true;
        TrackPresetPattern& pattern = p.patterns[n];
        pattern.lengthSteps = line.real(2);
        pattern.chain = line.integer(3);
        for (size_t f = 4; f + 3 < line.count(); f += 4)
            pattern.notes.push_back(PatternNote{line.real(f), line.real(f + 2), line.integer(f + 1), line.integer(f + 3)});
    } else if (key == "PRESET_KEYBOARD_KEYS") {
        for (size_t f = 1; f < line.count(); ++f) p.keyboardKeys.push_back(line.integer(f));
    } else if (key == "PRESET_BALL") {
        if (p.balls.size() < kMaxPresetBalls) {
            p.balls.emplace_back();
            setBallFromLine(p.balls.back(), line);
        }
    } else if (key == "PRESET_BALL_MIDI" || key == "PRESET_BALL_PARAMETERNAME" || key == "PRESET_BALL_BALLSIZE" ||
               key == "PRESET_BALL_FLY" || key == "PRESET_PARAM_HORZ" || key == "PRESET_PARAM_VERT") {
        if (p.balls.empty()) return true;
        SoundBall& ball = p.balls.back();
        if (key == "PRESET_BALL_MIDI") {
            ball.midiChannel = line.integer(1);
            ball.xController = line.integer(2);
            ball.yController = line.integer(3);
        } else if (key == "PRESET_BALL_PARAMETERNAME") {
            const std::string_view name = line.field(1);
            const size_t n = std::min(name.size(), sizeof(ball.displayName) - 1);
            std::memcpy(ball.displayName, name.data(), n);
            ball.displayName[n] = 0;
        } else if (key == "PRESET_BALL_BALLSIZE") {
            ball.size = line.integer(1);
        } else if (key == "PRESET_BALL_FLY") {
            ball.flyOn = line.real(1);
            ball.flySpeed = line.real(2);
            ball.flyDirection = static_cast<float>(line.integer(3));
        } else {
            std::vector<ParameterDescriptor>& targets = key == "PRESET_PARAM_HORZ" ? ball.horizontal : ball.vertical;
            if (targets.size() < kMaxBallTargets) targets.push_back(makeBallTarget(track, line, false));
        }
    } else if (key == "PRESET_EVENT_PLUGIN_PARAM") {
        CPlugin& slot = track.mainSlot();
        if (!slot.loaded()) return true;
        p.moduleParameters.clear();
        for (size_t f = 1; f < line.count() && p.moduleParameters.size() < kMaxModuleDescriptors; ++f)
            p.moduleParameters.push_back(describeModuleParameter(slot, line.integer(f)));
    } else if (key == "PRESET_PATTERN_MIDIPARAM_EVENTS") {
        readPresetLaneEvents(line, fixedList(track, p, false));
    } else if (key == "PRESET_PATTERN_MIXPARAM_EVENTS") {
        readPresetLaneEvents(line, fixedList(track, p, true));
    } else if (key == "PRESET_PATTERN_PLUGINPARAM_EVENTS") {
        readPresetLaneEvents(line, p.moduleParameters);
    } else if (key == "PRESET_PLUGIN_PARAMS" || key == "PRESET_INSERT1_PARAMS" || key == "PRESET_INSERT2_PARAMS") {
        const int which = key == "PRESET_PLUGIN_PARAMS" ? 0 : key == "PRESET_INSERT1_PARAMS" ? 1 : 2;
        c.stream.readRaw(line.integer(1), p.moduleStates[which]);
    } else {
        return false;
    }
    return true;
}
