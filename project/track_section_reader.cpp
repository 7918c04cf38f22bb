// A track's section: from its PLUGIN line to "PLUGIN;END;". Track settings,
// sound balls and their targets, blocks, and the end-of-section steps.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "host/effect.h"
#include "modulehost/cplugin.h"
#include "project/loader_context.h"
#include "project/project_values.h"
#include "track/instrument.h"

namespace {

constexpr float kPadScale = 128.0f;
constexpr int kMinStepNumber = 256;
constexpr char kMixSuffix[] = " (MIX)";
constexpr char kInsertSuffix[2][14] = {" (INSERT 1)", " (INSERT 2)"};
constexpr char kResonanceName[] = "FILTER Q";

bool isStart(const ProjectLine& line) { return line.field(1) == "START"; }

void copyText(char* out, size_t capacity, std::string_view text) {
    const size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

// Track fields set from a real value, by key.
std::vector<std::pair<std::string_view, Relaxed<float>*>> realFields(CInstrument& t) {
    std::vector<std::pair<std::string_view, Relaxed<float>*>> f = {
        {"KEYBOARDON", &t.keyboardOn},       {"KEYBOARDGATED", &t.keyboardGated},
        {"LEVEL", &t.level},                 {"PAN", &t.pan},
        {"MUTE", &t.mute},                   {"CROSSFADEA", &t.crossfadeA},
        {"CROSSFADEB", &t.crossfadeB},       {"SYNCHRO_INST", &t.synchro},
        {"KEY_TRANSPOSE", &t.keyTransposition}, {"ARPEG_ON", &t.arpeggiator[0]},
        {"ARPEG_MODE", &t.arpeggiator[1]},   {"ARPEG_HOLE", &t.arpeggiator[2]},
        {"ARPEG_EXT", &t.arpeggiator[3]},    {"ARPEG_EXTMODE", &t.arpeggiator[4]},
        {"ARPEG_VELOCITY", &t.arpeggiator[5]}, {"ARPEG_INTERVAL", &t.arpeggiator[6]},
        {"ARPEG_GATETIME", &t.arpeggiator[7]}, {"ARPEG_TEMPO", &t.arpeggiator[8]},
        {"ARPEG_SWING", &t.arpeggiator[9]},  {"INSERT1_ON", &t.insertOn[0]},
        {"INSERT2_ON", &t.insertOn[1]},      {"EQ_ON", &t.equaliserOn},
        {"EQ1_RES", &t.bandResonance[0]},    {"EQ2_RES", &t.bandResonance[1]},
        {"EQ3_RES", &t.bandResonance[2]},    {"EQ1_GAIN", &t.bandGain[0]},
        {"EQ2_GAIN", &t.bandGain[1]},        {"EQ3_GAIN", &t.bandGain[2]},
        {"EFFECT1_ON", &t.sendOn[0]},        {"EFFECT2_ON", &t.sendOn[1]},
        {"EFFECT3_ON", &t.sendOn[2]},        {"EFFECT4_ON", &t.sendOn[3]},
        {"EFFECT1_LEVEL", &t.sendLevel[0]},  {"EFFECT2_LEVEL", &t.sendLevel[1]},
        {"EFFECT3_LEVEL", &t.sendLevel[2]},  {"EFFECT4_LEVEL", &t.sendLevel[3]},
    };
    return f;
}

std::vector<std::pair<std::string_view, int*>> integerFields(CInstrument& t) {
    return {
        {"MIDIINCHANNEL", &t.midiChannel},   {"MIDIKEYFROM", &t.lowestKey},
        {"MIDIKEYTO", &t.keyLimit},          {"MIDIKEYTRANSPOSE", &t.keyOffset},
        {"MIDIPITCH", &t.passPitchBend},     {"MIDIMODWHEEL", &t.passModWheel},
        {"MIDIAFTERTOUCH", &t.passAftertouch}, {"MIDIPROGRAMCHANGE", &t.passProgramChange},
        {"PATTERNSELECTED", &t.patternSelectedOnLoad},
    };
}

// Which axis a target key adds to: 0 horizontal, 1 vertical, -1 not one.
int targetAxis(const ProjectLine& line) {
    static constexpr std::string_view kHorizontal[] = {"PRESET_SOUND_PARAM_HORZ", "PRESET_SOUND_MIX_PARAM_HORZ",
                                                       "PRESET_SOUND_INSERT1_PARAM_HORZ",
                                                       "PRESET_SOUND_INSERT2_PARAM_HORZ"};
    static constexpr std::string_view kVertical[] = {"PRESET_SOUND_PARAM_VERT", "PRESET_SOUND_MIX_PARAM_VERT",
                                                     "PRESET_SOUND_INSERT1_PARAM_VERT",
                                                     "PRESET_SOUND_INSERT2_PARAM_VERT"};
    for (std::string_view k : kHorizontal)
        if (line.key() == k) return 0;
    for (std::string_view k : kVertical)
        if (line.key() == k) return 1;
    return -1;
}

bool readBallLine(const ProjectLine& line, CInstrument& track) {
    if (line.is("PRESET_SOUND_BALL")) {
        if (track.balls.appendLimited()) setBallFromLine(*track.balls.last(), line);
        return true;
    }
    const int axis = targetAxis(line);
    const bool perBall = axis >= 0 || line.is("PRESET_SOUND_MIDI") || line.is("PRESET_SOUND_PARAMETERNAME") ||
                         line.is("PRESET_SOUND_BALLSIZE") || line.is("PRESET_SOUND_FLY");
    if (!perBall) return false;
    SoundBall* ball = track.balls.last();
    if (ball == nullptr) return true;
    if (axis >= 0) {
        std::vector<ParameterDescriptor>& targets = axis == 0 ? ball->horizontal : ball->vertical;
        if (targets.size() < kMaxBallTargets) targets.push_back(makeBallTarget(track, line, true));
    } else if (line.is("PRESET_SOUND_MIDI")) {
        ball->midiChannel = line.integer(1);
        ball->xController = line.integer(2);
        ball->yController = line.integer(3);
    } else if (line.is("PRESET_SOUND_PARAMETERNAME")) {
        copyText(ball->displayName, SoundBall::kNameBytes, line.field(1));
    } else if (line.is("PRESET_SOUND_BALLSIZE")) {
        ball->size = line.integer(1);
    } else {
        ball->flyOn = line.real(1);
        ball->flySpeed = line.real(2);
        ball->flyDirection = line.real(3);
    }
    return true;
}

void nameInsertTargets(CInstrument& track, std::vector<ParameterDescriptor>& targets) {
    for (ParameterDescriptor& t : targets) {
        if (t.kind != kParameterKindInsert1 && t.kind != kParameterKindInsert2) continue;
        const int insert = t.kind == kParameterKindInsert1 ? 0 : 1;
        CPlugin& slot = track.insertSlot(insert);
        if (!slot.loaded() || slot.effect() == nullptr || t.index < 0 || t.index >= slot.effect()->numParams)
            continue;
        const ParameterDescriptor fetched = slot.describeParameter(t.index);
        std::snprintf(t.name, sizeof(t.name), "%.*s%s", static_cast<int>(sizeof(t.name) - sizeof(kInsertSuffix[0])),
                      fetched.name, kInsertSuffix[insert]);
        std::memcpy(t.label, fetched.label, sizeof(t.label));
        std::memcpy(t.display, fetched.display, sizeof(t.display));
    }
}

void endTrackSection(CInstrument& track) {
    track.balls.padToDefaultCount();
    for (TrackPreset& preset : track.presets)
        while (preset.balls.size() < static_cast<size_t>(SoundBalls::kBallsPerTrack)) preset.balls.emplace_back();
    for (SoundBall& ball : track.balls.list()) {
        nameInsertTargets(track, ball.horizontal);
        nameInsertTargets(track, ball.vertical);
    }
    sortByPosition(track.patterns.editPattern.notes);
    // The selected pattern becomes current (the owner counts as not playing
    // here); with a step mode it is also selected as a player would.
    track.sequencer.select(track.patternSelectedOnLoad, false);
    const float* flags = track.patterns.stepMode;
    if (flags[0] != 0.0f || flags[1] != 0.0f || flags[2] != 0.0f) track.selectPattern(track.patternSelectedOnLoad);
}

// Creates a module in one of the track's slots; false leaves it empty.
bool createSlotModule(Effect& owner, CInstrument& track, CPlugin& slot, std::string_view path, SlotKind kind) {
    const std::string text(path);
    return slot.createModule(owner, text.c_str(), kind, &track);
}

}  // namespace

void setBallFromLine(SoundBall& ball, const ProjectLine& line) {
    ball.x = line.real(1);
    ball.y = kPadScale - line.real(2);
    ball.randomRate = static_cast<float>(line.integer(3));
}

ParameterDescriptor makeBallTarget(CInstrument& track, const ProjectLine& line, bool markResonance) {
    const int kind = line.integer(1);
    const int index = line.integer(2);
    ParameterDescriptor d;
    if (kind == kParameterKindMainModule) d = describeModuleParameter(track.mainSlot(), index);
    d.kind = kind;
    d.index = index;
    if (kind == kParameterKindMix && index >= 0 && index < kNumMixParameters) {
        const ParameterDescriptor& mix = track.mixParameter(index);
        std::snprintf(d.name, sizeof(d.name), "%.*s%s", static_cast<int>(sizeof(d.name) - sizeof(kMixSuffix)),
                      mix.name, kMixSuffix);
        d.stepCount = mix.stepCount;
        d.displayCode = mix.displayCode;
    }
    d.minimum = line.real(3);
    d.maximum = line.real(4);
    if (markResonance && kind == kParameterKindMainModule && std::strcmp(d.name, kResonanceName) == 0)
        d.resonance = true;
    if (d.colourRgb == 0) d.colourRgb = randomLightColour();
    return d;
}

void readTrackSection(LoaderContext& c, CInstrument& track) {
    track.reset();
    track.balls.clear();
    const auto reals = realFields(track);
    const auto integers = integerFields(track);
    int currentPreset = -1;

    while (c.nextLine()) {
        const ProjectLine& line = c.line;
        if (line.count() < 2) {
            if (line.is("PRESET_ADD")) readTrackPresetLine(c, track, currentPreset);
            continue;
        }
        const std::string_view key = line.key();
        if (key == "PLUGIN") {
            if (line.field(1) == "END") break;
            // Replaces the main module; the section ends when that fails.
            if (!createSlotModule(c.owner, track, track.mainSlot(), line.field(1), SlotKind::Instrument)) break;
            continue;
        }
        bool handled = false;
        for (const auto& [name, field] : reals) {
            if (key == name) {
                *field = line.real(1);
                handled = true;
                break;
            }
        }
        if (handled) continue;
        for (const auto& [name, field] : integers) {
            if (key == name) {
                *field = line.integer(1);
                handled = true;
                break;
            }
        }
        if (handled) continue;

        if (key == "TITLE") {
            track.title = std::string(line.field(1));
        } else if (key == "STEPNUMBER") {
            track.stepNumber = std::max(line.integer(1), kMinStepNumber);
        } else if (key == "EQ1_FREQ" || key == "EQ2_FREQ" || key == "EQ3_FREQ") {
            track.bandFrequency[key[2] - '1'] = equaliserFrequencyFromFile(line.real(1));
        } else if (key == "INSERT1_PLUGIN" || key == "INSERT2_PLUGIN") {
            createSlotModule(c.owner, track, track.insertSlot(key[6] - '1'), line.field(1), SlotKind::Effect);
        } else if (key == "EVENT_PLUGIN_PARAM") {
            std::vector<ParameterDescriptor>& list = track.mainSlot().parameterDescriptors();
            list.clear();
            for (size_t f = 1; f < line.count() && list.size() < kMaxModuleDescriptors; ++f)
                list.push_back(describeModuleParameter(track.mainSlot(), line.integer(f)));
        } else if (readBallLine(line, track)) {
        } else if (key == "MIX_EVENTS") {
            const int index = line.integer(1);
            if (index >= 0 && index < kNumMixParameters) appendEventPairs(track.mixParameter(index).events, line, 2);
        } else if (key == "PATTERN_RANDOM") {
            Pattern& edit = track.patterns.editPattern;
            edit.lengthSteps = line.real(1);
            if (line.count() >= 6)
                for (size_t f = 2; f + 3 < line.count(); f += 4) {
                    if (edit.notes.size() >= static_cast<size_t>(kPatternNoteCapacity)) break;
                    edit.notes.push_back(
                        PatternNote{line.real(f), line.real(f + 2), line.integer(f + 1), line.integer(f + 3)});
                }
        } else if (key == "PATTERNS") {
            if (isStart(line)) readPatternBlock(c, track);
        } else if (key == "PLUGIN_PARAM_EVENTS") {
            if (isStart(line)) readParameterEventsBlock(c, track.mainSlot());
        } else if (key == "INSERT_PARAM_EVENTS_1" || key == "INSERT_PARAM_EVENTS_2") {
            if (isStart(line)) readParameterEventsBlock(c, track.insertSlot(key.back() - '1'));
        } else if (key == "PLUGIN_PRESET") {
            if (isStart(line)) {
                readPresetBlock(c, track.mainSlot());
            } else {
                // A single program's chunk for the main module.
                std::vector<uint8_t> chunk;
                const int bytes = line.integer(1);
                if (c.stream.readRaw(bytes, chunk) && track.mainSlot().loaded())
                    track.mainSlot().loadProgramChunk(chunk.data(), bytes);
            }
        } else if (key == "INSERT_PRESET_1" || key == "INSERT_PRESET_2") {
            if (isStart(line)) readPresetBlock(c, track.insertSlot(key.back() - '1'));
        } else if (!readTrackPresetLine(c, track, currentPreset)) {
            skipRawRun(c);
        }
    }
    endTrackSection(track);
}
