// Shared by the loader's section and block readers: the stream with the
// current line, and the readers themselves. Loader thread only, inside the
// owner's edit section.
#pragma once

#include <string>
#include <vector>

#include "common/random_colour.h"
#include "modulehost/parameter_descriptor.h"
#include "project/project_stream.h"

class CInstrument;
class CPlugin;
class Effect;
struct Project;
struct SoundBall;
struct TrackPreset;

// Bounds on what one project may create, far above any real project. They
// keep a damaged or hostile project from exhausting memory: each track holds
// module buffers, each descriptor sixty-four automation lanes.
constexpr size_t kMaxTracks = 64;
constexpr size_t kMaxModuleDescriptors = 1024;
constexpr size_t kMaxBallTargets = 256;
constexpr size_t kMaxTrackPresets = 64;
constexpr size_t kMaxPresetBalls = 64;

struct LoaderContext {
    LoaderContext(Effect& owner, Project& project, ProjectStream& stream)
        : owner(owner), project(project), stream(stream) {}

    // Reads and splits the next line; false at the end of the data.
    bool nextLine() {
        if (!stream.readLine(text)) return false;
        line.split(text);
        return true;
    }

    Effect& owner;
    Project& project;
    ProjectStream& stream;
    std::string text;
    ProjectLine line;
};

// A line whose key introduces raw bytes (PRESET_SIZE, PLUGIN_PRESET with a
// count, PRESET_*_PARAMS) but which its reader does not take: its bytes are
// skipped so that module states are never read as project lines.
void skipRawRun(LoaderContext& c);

// Appends the (position, value) pairs of the line from field `first` on; an
// unpaired trailing value is ignored.
void appendEventPairs(std::vector<EventPoint>& points, const ProjectLine& line, size_t first);


// A kind-0 descriptor for parameter index of the slot's module, with the
// module's name, label, display and current value when it has that
// parameter.
ParameterDescriptor describeModuleParameter(CPlugin& slot, int index);

// Sound-ball target from a line "kind; index; minimum; maximum"; the
// resonance flag is set when markResonance and the name is "FILTER Q".
ParameterDescriptor makeBallTarget(CInstrument& track, const ProjectLine& line, bool markResonance);
// Applies PRESET_SOUND_BALL / PRESET_BALL values to a ball.
void setBallFromLine(SoundBall& ball, const ProjectLine& line);

void readTrackSection(LoaderContext& c, CInstrument& track);
// Consumes up to and including "PRESET;END;"; applies it when the slot holds
// a module.
void readPresetBlock(LoaderContext& c, CPlugin& slot);
// Consumes up to and including "PARAM_EVENTS;END;".
void readParameterEventsBlock(LoaderContext& c, CPlugin& slot);
// Consumes up to and including "PATTERNS;END;".
void readPatternBlock(LoaderContext& c, CInstrument& track);
// A track-preset key (PRESET_ADD and the PRESET_* keys of a preset); false
// for any other key. currentPreset indexes the track's presets, -1 none.
bool readTrackPresetLine(LoaderContext& c, CInstrument& track, int& currentPreset);
