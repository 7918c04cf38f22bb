// The drum machine's parameters: numbering, names, stored forms, the value
// mappings of one pad, and the packed indices the track uses to mirror its
// pattern into the module.
#pragma once

#include <cstddef>
#include <cstdint>

namespace drums {

// Eight pads are played; program records, notes and names exist for sixteen.
constexpr int kPads = 8;
constexpr int kPadRecords = 16;
constexpr int kParamsPerPad = 15;
constexpr int kNumParams = kPads * kParamsPerPad;  // 120
constexpr int kNumPrograms = 8;
constexpr int kVoices = 16;

enum PadParam : int {
    kWave = 0,
    kLevel,
    kPan,
    kEffect1,
    kEffect2,
    kTune,
    kLevelVelocity,
    kTuneVelocity,
    kDecay,
    kReverse,
    kLoop,
    kWaveBegin,
    kWaveEnd,
    kRandomPreset,
    kMute,
};

// Parameters 1 .. 14 are stored in program records and chunks.
constexpr int kStoredValues = kParamsPerPad - 1;
// Chunks of older versions lack Mute.
constexpr int kOlderStoredValues = kStoredValues - 1;

constexpr int kNameBytes = 256;  // pad file names, in records and chunks
constexpr int kProgramNameBytes = 24;

// MIDI notes of the pads, in pad order; the last eight are never played but
// travel with the records.
constexpr int kDefaultPadNotes[kPadRecords] = {36, 38, 39, 42, 44, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56};
// The hi-hat notes that cut one another off: closed, pedal, open.
constexpr int kHatNotes[3] = {42, 44, 46};
// Bass mode pitches pad 1's sample from this note up or down.
constexpr int kBassRootNote = 36;

// Pattern Random: host indices 512 .. 519 run pad 0 .. 7's generator.
constexpr int kPatternRandomFirst = 512;

// Pattern messages to the host (automation requests the module host turns
// into edits of the track's edit pattern): step on/off and step velocity,
// each + note * 128 + step.
constexpr int32_t kPatternStepMessage = 0x27c000;
constexpr int32_t kPatternVelocityMessage = 0x2fc000;

// Side channel for the send short names the track mirrors (a text cannot
// travel as a parameter value): effVendorSpecific with index
// kSendShortNameMessage + send (0 or 1) and a pointer to the zero-terminated
// name, or null when the send is off.
constexpr int32_t kSendShortNameMessage = 0x510000;
constexpr size_t kSendShortNameBytes = 9;  // eight characters and the terminator

// Name and value texts; hosts hand out buffers of at least this size in
// practice (the module host's are 256 bytes).
constexpr size_t kTextBytes = 32;
constexpr size_t kDisplayBytes = 24;

// What a packed setParameter index above the parameters means.
struct HostMessage {
    enum Kind { kNone, kPatternLength, kClearGrid, kGridStep };
    Kind kind = kNone;
    int note = 0;
    int step = 0;
};
// Indices from 0x200000 with bit 21 clear and not both bits 16 and 20 set;
// every other index gives kNone.
HostMessage decodeHostMessage(int32_t index);

// Value as stored for a value from the host or a chunk: Decay is a switch,
// non-finite values become 0, the others are kept within 0 .. 1 except the
// unused RandomPreset, which is only kept finite.
float storedValue(int param, float value);

// "Wave", "Level", ...
const char* paramName(int param);
// Display text of a stored value; Wave is handled by the module (file name).
void formatDisplay(int param, float stored, char* text, size_t capacity);

// Values of parameters 1 .. 14 of a fresh pad, in parameter order.
void defaultStoredValues(float* values);

// Gains of the mappings; silence on a smoothed path is 0.000001, never 0.
constexpr float kSilentGain = 0.000001f;
float levelGain(float level, bool mute);
float sendGain(float send);
// Playback rate factor of Tune: 8^(v - 0.5), +- 1.5 octaves.
float tuneFactor(float tune);

// The instrument's balance law, both channels (gains 0 .. 1).
struct StereoGains {
    float left;
    float right;
};
StereoGains balance(float pan);

}  // namespace drums
