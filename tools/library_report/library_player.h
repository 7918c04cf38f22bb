// One instance of the plug-in, driven directly as a host would: loads
// built-in projects, plays their demonstrations or notes, moves
// satellites, and collects the stereo output at 44.1 kHz. Shared by the
// library tests and the catalogue tool. One player per thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/audio_measure/stereo_signal.h"

class Effect;
struct Project;

namespace library {

constexpr double kRenderRateHz = 44100.0;
constexpr int kRenderBlockFrames = 512;

class LibraryPlayer {
public:
    LibraryPlayer();
    ~LibraryPlayer();
    LibraryPlayer(const LibraryPlayer&) = delete;
    LibraryPlayer& operator=(const LibraryPlayer&) = delete;

    bool valid() const { return effect_ != nullptr; }
    Effect& effect() { return *effect_; }
    Project& project();
    const std::vector<std::string>& projectNames() const;

    // Loads built-in project `index` as the editor's project list does
    // (again, from its initial state, when it is the loaded one).
    bool load(int index);
    // Frames of the loaded project's demonstration at its own tempo, from
    // its start to its last event.
    size_t demonstrationFrames();
    // Starts the demonstration and renders it, then `tailSeconds` more.
    measure::StereoSignal renderDemonstration(double tailSeconds);

    // MIDI to the plug-in, delivered at the start of the next block.
    void midi(uint8_t status, uint8_t data1, uint8_t data2);
    // A host parameter (0 .. 1), as a host's automation sets it.
    void setParameter(int index, float value);
    void startDemonstration();
    void stopDemonstration();

    // Renders and appends to `out` (whole blocks: at least `seconds`).
    void render(double seconds, measure::StereoSignal& out);
    measure::StereoSignal render(double seconds);

private:
    Effect* effect_ = nullptr;
    std::vector<uint8_t> pending_;  // status, data1, data2 triples
};

}  // namespace library
