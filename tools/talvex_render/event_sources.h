// Gathers what the renderer plays from its MIDI files and event lists onto
// one timeline in frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/talvex_render/render_options.h"
#include "tools/talvex_render/timed_event.h"

struct EventTimeline {
    std::vector<TimedEvent> events;  // sorted by frame
    int64_t endFrame = 0;            // where the input ends (0 without input)
    bool hasInput = false;
    // From the first MIDI file, for a transport the command line leaves open.
    bool midiTempoKnown = false;
    double midiTempoBpm = 120.0;
    bool midiTimeSignatureKnown = false;
    int midiTimeSigNumerator = 4;
    int midiTimeSigDenominator = 4;
};

// Reads every --midi and --events file. tempoBpm is the starting tempo for
// times in quarter notes; when the command line gave none, pass the MIDI
// file's (see loadMidiTempo).
bool loadEventTimeline(const RenderOptions& options, double tempoBpm, EventTimeline& out, std::string& error);

// The tempo and time signature at the start of the first MIDI file.
bool loadMidiTempo(const RenderOptions& options, EventTimeline& out, std::string& error);
