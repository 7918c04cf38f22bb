// What the library tests and the catalogue measure of one built-in
// project: its demonstration (loudness, peaks, DC, clicks, low end,
// spectrum, fingerprint), live playing (which keys of MIDI channel 1
// sound, a held note's level, how it ends on a note-off and on All Notes
// Off) and the travel of every satellite axis.
#pragma once

#include <string>
#include <vector>

#include "tools/audio_measure/click_detector.h"
#include "tools/audio_measure/loudness.h"
#include "tools/audio_measure/similarity.h"
#include "tools/audio_measure/stereo_image.h"
#include "tools/library_report/library_player.h"

namespace library {

constexpr int kProjectsPerTab = 24;
constexpr int kLowestLiveNote = 36;
constexpr int kHighestLiveNote = 84;

struct TrackSummary {
    std::string title;
    std::string module;  // the instrument module's name
    std::vector<std::string> inserts;
};

struct AxisTravel {
    int satellite = 0;
    bool vertical = false;
    std::string name;        // the satellite's name
    bool byDemonstration = false;  // its track takes no keys: measured on the demonstration
    // Each at 127 minus at 0 (the centroid: over).
    double levelChangeDb = 0.0;    // while the notes sound
    double tailChangeDb = 0.0;     // the second after they end: release, echo, reverb
    double centroidRatio = 1.0;
    double levelMotionChangeDb = 0.0;      // spread of the 50 ms level: tremolo, swells
    double brightnessMotionChange = 0.0;   // spread of the 50 ms centroid, octaves: sweeps, wobble
    double widthChangeDb = 0.0;            // side over mid energy: spread, chorus, ping-pong
};

struct LiveNote {
    int key = 0;
    double levelDb = -240.0;  // RMS while held
    double riseDb = 0.0;      // over as long a moment before it
    double toneRiseDb = 0.0;  // of its pitch (fundamental, 2nd and 3rd harmonic)
};

struct ProjectFigures {
    int index = 0;
    int tab = 0;  // 1 .. 4
    std::string name;
    double tempoBpm = 0.0;
    std::vector<TrackSummary> tracks;
    std::vector<std::string> satellites;

    // The demonstration with its tail.
    measure::StereoSignal demo;  // kept only when asked for
    measure::LoudnessFigures loudness;
    double demoSeconds = 0.0;
    std::vector<measure::Click> clicks;
    double worstStepRatio = 0.0;
    measure::LowEndImage lowEnd;
    double centroidHz = 0.0;
    double centroidSpread = 1.0;  // highest over lowest per-second centroid
    double peakHz = 0.0;
    double subShare = 0.0;  // of the energy below 30 Hz
    measure::Fingerprint fingerprint;

    // Live playing on MIDI channel 1.
    std::vector<int> takenKeys;      // keys a track plays directly
    std::vector<LiveNote> notes;     // one per taken key
    int heldKey = -1;                // the held note measured below
    double heldNoteLufs = -240.0;    // velocity 100, 1.5 s
    double releaseSeconds = -1.0;    // note-off to silence (-1: not silent in time)
    // Loudest 50 ms after the note-off over the held note: over its last
    // 0.3 s, or over its loudest 50 ms when a track arpeggiates the key.
    double releaseSwellDb = 0.0;
    bool arpeggiatedLayer = false;   // some track of channel 1 arpeggiates the held key
    double allNotesOffSeconds = -1.0;  // controller 123 to silence

    std::vector<AxisTravel> axes;
};

struct MeasureOptions {
    bool keepDemo = false;
    bool live = true;
    bool satellites = true;
    double demoTailSeconds = 3.0;
};

// Silence: every 10 ms frame below this level.
constexpr double kSilenceDb = -60.0;
// How long an ending may take to reach silence before it counts as never.
constexpr double kEndingLimitSeconds = 6.0;

ProjectFigures measureProject(LibraryPlayer& player, int index, const MeasureOptions& options);

// The keys 36 .. 84 of MIDI channel 1 that some track of the loaded
// project plays directly (keyboard on, in its range, not arpeggiated or
// gated: an arpeggiated track plays its own sequence from the keys held,
// a gated one only with the patterns).
std::vector<int> keysTakenOnChannelOne(LibraryPlayer& player);

}  // namespace library
