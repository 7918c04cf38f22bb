// Parameter numbers, names, display texts, the program record and the
// default program of the sampler. Sixteen parts of 32 parameters each; host
// index = part * 32 + parameter number.
#pragma once

#include <cstddef>

#include "vst/aeffectx.h"

namespace sampler {

constexpr int kParts = 16;
constexpr int kPartParams = 32;
constexpr int kParams = kParts * kPartParams;  // 512
constexpr int kPrograms = 8;
constexpr size_t kFileNameBytes = 256;

enum Param : int {
    kWave = 0,
    kLevel,
    kPan,
    kAttack,
    kDecay,
    kSustain,
    kRelease,
    kEnvTune,
    kEnvLevel,
    kTune,
    kTuneFine,
    kLevelVelocity,
    kTuneVelocity,
    kHold,
    kReverse,
    kLoop,
    kWaveBegin,
    kWaveEnd,
    kSplitNote,  // 18: a MIDI note number, not scaled
    kWaveLoop,
    kWaveAttackVelocity,
    kFilterFreq,
    kFilterQ,
    kFilterVelocity,
    kFilterEnv,
    kFilterOn,
    kWaveLoopEnd,
    kFrequencyKeyOn,
    kFilterKeyOn,
    kMonoMode,
    kMultiLayerOn,
    kPitchBend,
};

// The record keeps the values in two groups, each grouped by parameter and
// then part: first parameters 1 … 17, 19, 26, 20, then 18, 21 … 25, 27 … 31.
constexpr int kFirstGroupRows = 20;
constexpr int kSecondGroupRows = 11;

// One stored program, 6108 bytes.
struct Program {
    float firstGroup[kFirstGroupRows * kParts];
    char fileNames[kParts][kFileNameBytes];
    float secondGroup[kSecondGroupRows * kParts];
    float link;
    char name[kVstMaxProgNameLen];

    float& value(int param, int part);
    float value(int param, int part) const { return const_cast<Program*>(this)->value(param, part); }
};
static_assert(sizeof(Program) == 6108, "sampler program record layout");

// Default value of a parameter (1 … 31) of part `part`.
float defaultValue(int param, int part);
// A program at its defaults: empty file names, link flag 0, name "-".
void defaultProgram(Program& program);

// Values from hosts and chunks: nothing non-finite or outside 0 … 1 (the
// split note: 0 … 127) reaches the engine.
float sanitise(int param, int part, float value);

const char* paramName(int param);

// Host text buffers are in practice at least this large.
constexpr size_t kTextBytes = 32;
// "%.2f" of the value, or the parameter's own form; `fileName` is the
// part's file name for parameter 0.
void formatDisplay(int param, float value, const char* fileName, char* text, size_t size);

}  // namespace sampler
