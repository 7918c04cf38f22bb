// The planet pad's geometry without pixels: where planets and satellites
// sit for their values, how a drag moves those values, which sprite a press
// hits, the key strip's arithmetic, the glow frame of a level meter and the
// oscilloscope's columns. Everything is relative to the pad's top-left
// corner.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "gui/geometry.h"

namespace pad {

constexpr int kWidth = 397;
constexpr int kHeight = 397;
constexpr int kPlanetSize = 40;
constexpr int kSatelliteSize = 16;
constexpr int kHaloSize = 64;
// Below each sprite its name label, which also takes presses.
constexpr int kLabelHeight = 19;

// Top-left corner of a sprite, in pad pixels (not rounded).
struct Place {
    float x = 0.0f;
    float y = 0.0f;
};

// Values x and y (0…128, high values at the top) to the top-left corner of
// a sprite of spriteSize pixels. The sprite size comes off the pad size
// first, so that 0 puts the sprite's edge on the pad's edge. In circular
// mode points outside the inscribed circle are drawn on it.
Place place(float x, float y, int spriteSize, bool circular);
// Whole pixels for drawing and hit tests (nearest).
gui::Point pixelOf(const Place& p);

// Planets: x from pan (−1…1), y from level (0…127).
Place planetPlace(float pan, float level, bool circular);
// Satellites: an axis without targets sits in the middle.
Place satellitePlace(float x, float y, bool hasHorizontal, bool hasVertical, bool circular);

// What a press can hit: the sprite and its label below.
gui::Rect hitRect(const gui::Point& spriteAt, int spriteSize);

// Drags. dx, dy: pointer offset since the press, in pixels.
struct PlanetValues {
    float pan = 0.0f;
    float level = 0.0f;
};
PlanetValues dragPlanet(const PlanetValues& start, int dx, int dy);
struct SatelliteValues {
    float x = 0.0f;
    float y = 0.0f;
};
SatelliteValues dragSatellite(const SatelliteValues& start, int dx, int dy);

// Host parameters of a move: satellite s is 2·s (X) and 2·s + 1 (Y),
// planet d is 64 + 2·d (pan) and 65 + 2·d (level), all as 0…1.
constexpr int satelliteXParameter(int s) { return 2 * s; }
constexpr int planetPanParameter(int d) { return 64 + 2 * d; }
inline float hostValueOfAxis(float v) { return v / 128.0f; }
inline float hostValueOfPan(float pan) { return (pan + 1.0f) / 2.0f; }

// Hit tests, in the order a press tries them. Satellites: the first whose
// rectangle holds the point. Planets: the selected one if its rectangle
// holds the point, else the last one found. -1: none.
int hitFirst(const std::vector<gui::Rect>& rects, int x, int y);
int hitPlanet(const std::vector<gui::Rect>& rects, int selected, int x, int y);

// The key strip: twelve keys of 20 pixels, then octave down (16) and octave
// up (14). A press tests the point 5 pixels higher than it is (the strip is
// drawn 5 pixels below its rectangle).
constexpr gui::Rect kKeyStrip{67, 300, 337, 320};
constexpr int kKeyStripDrawnBelow = 5;
constexpr int kKeyWidth = 20;
constexpr int kOctaveDownAt = 240;
constexpr int kOctaveUpAt = 256;
// A track that does not follow the transposition holds this value.
constexpr float kNotFollowing = 255.0f;
// The octave (0…9) and pitch class (0…11) a transposition shows; a track
// that does not follow reads as no transposition.
struct KeyChoice {
    int octave = 3;
    int pitchClass = 0;
};
KeyChoice keyOf(float transposition);
// New transposition after a press k pixels right of the strip's left edge
// (0 <= k < 270): a key sets the pitch class, the two octave buttons move
// the octave by one, held to 0…9.
float pressKeyStrip(int k, float transposition);

// Glow frame 0…9 of a planet sprite from its track's peak meter.
int glowFrame(float meter);

// The oscilloscope: kScopeSamples samples across the pad's width, each
// column held inside a half-sine envelope.
constexpr int kScopeSamples = 1389;
class ScopeShape {
public:
    ScopeShape();
    float envelope(int column) const { return envelope_[static_cast<size_t>(column)]; }
    // Polyline (x, y pairs, pad pixels) of one trace of kScopeSamples
    // samples; returns the number of points written (at most kWidth + 1).
    int trace(const float* samples, float* xy) const;
    // The same for the average of two buffers.
    int averageTrace(const float* left, const float* right, float* xy) const;

private:
    template <class Sample>
    int traceOf(Sample sample, float* xy) const;
    std::array<float, kWidth> envelope_{};
};
constexpr int kMaxTracePoints = kWidth + 1;
// The scope reads twice its visible length and shows the window that starts
// at the earliest rising zero crossing of the channels' sum in the older
// half, so that a steady tone stands still; without one it shows the newest
// samples. Returns the index of the first shown sample (0 … kScopeSamples).
constexpr int kScopeReadSamples = 2 * kScopeSamples;
int scopeTrigger(const float* left, const float* right);

}  // namespace pad
