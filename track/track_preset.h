// A track preset: a snapshot of one track's performance settings as the
// authoring tool stores it (PRESET_ADD and the PRESET_* keys). Projects carry
// them and the loader keeps them with their track so that the file reads
// correctly; playback does not use them.
#pragma once

#include <cstdint>
#include <vector>

#include "balls/sound_ball.h"
#include "modulehost/parameter_descriptor.h"
#include "sequencer/pattern.h"

struct TrackPresetPattern {
    float lengthSteps = 16.0f;
    int chain = 0;
    std::vector<PatternNote> notes;
};

struct TrackPreset {
    TrackPresetPattern patterns[kNumPatterns];
    int selectedPattern = 0;
    float level = 0.0f, pan = 0.0f, mute = 0.0f;
    float crossfadeA = 0.0f, crossfadeB = 0.0f, synchro = 0.0f, transpose = 0.0f;
    float insertOn[2] = {0, 0};
    float sendOn[4] = {0, 0, 0, 0};
    float sendLevel[4] = {0, 0, 0, 0};
    float equaliserOn = 0.0f;
    float bandFrequency[3] = {0, 0, 0};  // normalised
    float bandResonance[3] = {0, 0, 0};
    float bandGain[3] = {0, 0, 0};
    float stepMode[3] = {0, 0, 0};
    float stepModeValue = 0.0f;
    int keyboardOn = 0, keyboardGated = 0, keyboardPosition = 0;
    std::vector<int> keyboardKeys;
    std::vector<SoundBall> balls;  // no limit of four; padded to four after loading
    // Created on first use: the mix and MIDI lists as copies of the track's
    // fixed descriptors, the module list by PRESET_EVENT_PLUGIN_PARAM.
    std::vector<ParameterDescriptor> mixParameters;
    std::vector<ParameterDescriptor> midiParameters;
    std::vector<ParameterDescriptor> moduleParameters;
    // Raw stored states of the main module, insert 1 and insert 2.
    std::vector<uint8_t> moduleStates[3];
};
