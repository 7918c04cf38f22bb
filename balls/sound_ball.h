// One sound ball (a satellite in the editor): an XY controller of a track.
// Its horizontal position drives one list of targets and its vertical
// position another. Plain record; the track's SoundBalls owns the list and
// the change queue that carries moves to the audio thread.
#pragma once

#include <vector>

#include "common/relaxed_atomic.h"
#include "modulehost/parameter_descriptor.h"

struct SoundBall {
    static constexpr int kNameBytes = 64;  // 63 characters and the terminator
    static constexpr float kDefaultPosition = 64.0f;

    // Targets are fixed once the project is loaded (names aside).
    std::vector<ParameterDescriptor> horizontal;
    std::vector<ParameterDescriptor> vertical;

    // Position on the 0..127 pad scale. Written by the editor, host
    // parameters, MIDI and the ball's own motion; read by the audio thread.
    Relaxed<float> x{kDefaultPosition};
    Relaxed<float> y{kDefaultPosition};
    // Integer part n: jump every 2^(n-1) steps; 0 = off.
    Relaxed<float> randomRate{0.0f};
    int randomCountdown = 0;  // audio thread

    // Channel code as the tracks use it: 1 any channel, 2..17 MIDI channels
    // 1..16, 0 nothing. Controller 0 means "not assigned".
    int midiChannel = 0;
    int xController = 0;
    int yController = 0;

    Relaxed<float> flyOn{0.0f};         // integer part used
    Relaxed<float> flySpeed{0.0f};      // 0..1
    Relaxed<float> flyDirection{0.0f};  // 0 horizontal, 0.5 diagonal, 1 vertical
    Relaxed<float> velocityX{0.0f};     // pad units per block, signed
    Relaxed<float> velocityY{0.0f};
    // Off: the targets see the ball through their own ranges. On: the
    // whole pad maps onto 0..1 (the modulation-wheel takeover sets it).
    Relaxed<float> fullRange{0.0f};

    char displayName[kNameBytes] = {};
    int size = 0;

    bool hasTargets() const { return !horizontal.empty() || !vertical.empty(); }
};

// A queued move of ball `ball`. flagA: resonance targets keep their range
// even in full-range mode. flagB: targets whose display text is
// "PatternRandom" are left alone.
struct BallChange {
    int ball = 0;
    bool flagA = false;
    bool flagB = false;
};

// Where a ball's targets land. The track implements it; tests bring their
// own. Audio thread.
class BallTargetSink {
public:
    virtual ~BallTargetSink() = default;
    // kind 0 main module, 2 insert 1, 3 insert 2. Empty slots and indices
    // outside the module's parameters are ignored.
    virtual void setBallModuleParameter(int kind, int index, float value) = 0;
    // Mix parameter index set to a fraction of its range.
    virtual void setBallMixParameter(int index, float fraction) = 0;
};

// The owner's pad: its position scales and rotates every ball when rotation
// mode is on; the round pad makes flying balls bounce off a circle instead
// of the square's edges.
struct PadState {
    float x = 128.0f;
    float y = 64.0f;
    bool rotation = false;
    bool roundPad = true;
};
