// The loader's blocks: module states (preset blocks), parameter events and
// a track's patterns; and the helpers the section readers share.
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "modulehost/cplugin.h"
#include "project/loader_context.h"
#include "track/instrument.h"

namespace {

constexpr int kLaneGroups = 3;  // lanes p, 16 + p and 32 + p belong to pattern p

bool isEnd(const ProjectLine& line, std::string_view key) { return line.is(key) && line.field(1) == "END"; }

void clearPatternLanes(std::vector<ParameterDescriptor>& descriptors) {
    for (ParameterDescriptor& d : descriptors)
        for (int lane = 0; lane < kLaneGroups * kNumPatterns; ++lane) d.lanes[static_cast<size_t>(lane)].clear();
}

void clearPatternLanes(ParameterDescriptor& d) {
    for (int lane = 0; lane < kLaneGroups * kNumPatterns; ++lane) d.lanes[static_cast<size_t>(lane)].clear();
}

// "pattern; index; position; value; ..." into lane pattern of descriptor
// index; lines naming a lane or descriptor that does not exist are ignored.
template <class Descriptors>
void appendLaneEvents(const ProjectLine& line, int count, Descriptors descriptorAt) {
    const int lane = line.integer(1);
    const int index = line.integer(2);
    if (lane < 0 || lane >= ParameterDescriptor::kLaneCount || index < 0 || index >= count) return;
    appendEventPairs(descriptorAt(index).lanes[static_cast<size_t>(lane)], line, 3);
}

}  // namespace

void skipRawRun(LoaderContext& c) {
    const ProjectLine& line = c.line;
    if (line.count() < 2) return;
    const bool rawRun = line.is("PRESET_SIZE") || line.is("PRESET_PLUGIN_PARAMS") ||
                        line.is("PRESET_INSERT1_PARAMS") || line.is("PRESET_INSERT2_PARAMS") ||
                        (line.is("PLUGIN_PRESET") && line.field(1) != "START");
    if (rawRun) c.stream.skip(line.integer(1));
}

void appendEventPairs(std::vector<EventPoint>& points, const ProjectLine& line, size_t first) {
    for (size_t i = first; i + 1 < line.count(); i += 2) points.push_back(EventPoint{line.real(i), line.real(i + 1)});
}

ParameterDescriptor describeModuleParameter(CPlugin& slot, int index) {
    ParameterDescriptor d;
    if (slot.loaded() && slot.effect() != nullptr && index >= 0 && index < slot.effect()->numParams)
        d = slot.describeParameter(index);
    d.index = index;
    d.kind = kParameterKindMainModule;
    d.colourRgb = randomLightColour();
    return d;
}

void readPresetBlock(LoaderContext& c, CPlugin& slot) {
    // A block for an empty slot is consumed all the same (its state skipped):
    // read as outer lines, the bank bytes would be taken for project text.
    while (c.nextLine()) {
        const ProjectLine& line = c.line;
        if (isEnd(line, "PRESET")) return;
        if (line.count() < 2) continue;
        if (line.is("PRESET_SIZE")) {
            const int bytes = line.integer(1);
            if (bytes < 0 || static_cast<size_t>(bytes) > c.stream.remaining()) continue;  // refused
            if (slot.loaded()) slot.loadStateImage(c.stream.current(), c.stream.remaining(), bytes);
            c.stream.skip(bytes);
        } else if (line.is("PRESET_INDEX")) {
            if (slot.loaded()) slot.selectProgram(line.integer(1));
        } else {
            skipRawRun(c);
        }
    }
}

void readParameterEventsBlock(LoaderContext& c, CPlugin& slot) {
    std::vector<ParameterDescriptor>& descriptors = slot.parameterDescriptors();
    while (c.nextLine()) {
        const ProjectLine& line = c.line;
        if (isEnd(line, "PARAM_EVENTS")) return;
        if (line.count() < 2) continue;
        if (line.is("PARAM_EVENTS")) {
            const int index = line.integer(1);
            if (index >= 0 && static_cast<size_t>(index) < descriptors.size())
                appendEventPairs(descriptors[static_cast<size_t>(index)].events, line, 2);
        } else {
            skipRawRun(c);
        }
    }
}

void readPatternBlock(LoaderContext& c, CInstrument& track) {
    PatternStore& store = track.patterns;
    store.reset();
    clearPatternLanes(track.mainSlot().parameterDescriptors());
    for (int i = 0; i < kNumMixParameters; ++i) clearPatternLanes(track.mixParameter(i));
    for (int i = 0; i < kNumMidiParameters; ++i) clearPatternLanes(track.midiParameter(i));

    bool moduleMatched = false;
    while (c.nextLine()) {
        const ProjectLine& line = c.line;
        if (isEnd(line, "PATTERNS")) break;
        if (line.count() < 2) continue;
        if (line.is("STEPNUMBER_MODE")) {
            if (line.count() < 4) continue;
            track.stepNumber = std::max(line.integer(1), 256);
            store.stepMode[0] = 0.0f;
            const int mode = line.integer(2);
            if (mode >= 1 && mode <= 3) store.stepMode[mode - 1] = 1.0f;
            store.swing = line.real(3);
        } else if (line.is("PLUGIN_NAME")) {
            moduleMatched = track.mainSlot().loaded() && line.field(1) == std::string_view(track.mainSlot().product());
        } else if (line.is("PATTERN_NOTES")) {
            if (line.count() < 4) continue;
            const int p = line.integer(1);
            if (p < 0 || p >= kNumPatterns) continue;
            Pattern& pattern = store.patterns[p];
            pattern.lengthSteps = line.real(2);
            pattern.chain = line.integer(3);
            for (size_t f = 4; f + 3 < line.count(); f += 4) {
                // The sequencer inserts into patterns without allocating up to
                // this many notes; a project gets no more.
                if (pattern.notes.size() >= static_cast<size_t>(kPatternNoteCapacity)) break;
                pattern.notes.push_back(
                    PatternNote{line.real(f), line.real(f + 2), line.integer(f + 1), line.integer(f + 3)});
            }
        } else if (line.is("PATTERN_MIDIPARAM_EVENTS")) {
            if (line.count() < 3) continue;
            appendLaneEvents(line, kNumMidiParameters, [&](int i) -> ParameterDescriptor& { return track.midiParameter(i); });
        } else if (line.is("PATTERN_MIXPARAM_EVENTS")) {
            if (line.count() < 3) continue;
            appendLaneEvents(line, kNumMixParameters, [&](int i) -> ParameterDescriptor& { return track.mixParameter(i); });
        } else if (line.is("PATTERN_PLUGINPARAM_EVENTS")) {
            if (line.count() < 3 || !moduleMatched) continue;
            std::vector<ParameterDescriptor>& list = track.mainSlot().parameterDescriptors();
            appendLaneEvents(line, static_cast<int>(list.size()),
                             [&](int i) -> ParameterDescriptor& { return list[static_cast<size_t>(i)]; });
        } else {
            skipRawRun(c);
        }
    }
    // Playback finds a step's first note by a search that relies on order.
    for (Pattern& p : store.patterns) sortByPosition(p.notes);
}
