#include "modules/sampler_part.h"

#include <algorithm>
#include <cmath>

#include "common/portable_math.h"
#include "modules/sampler_params.h"

namespace sampler {

namespace {

// ln(0.1): decay and release times are times to fall to a tenth.
constexpr double kLnTenth = -2.302585092994046;

float fallFactor(double seconds, double sampleRate) {
    return static_cast<float>(portable::exp(kLnTenth / (seconds * sampleRate)));
}

}  // namespace

float levelGainOf(float value) {
    return value > 0.01f ? static_cast<float>(portable::pow(400.0, static_cast<double>(value)) / 100.0) : 0.000001f;
}

void computeIncrement(PartSettings& part, const float* v, float sampleRate, float bend) {
    const double bendRange = std::floor(48.0 * v[kPitchBend]) - 24.0;
    const double coarse = std::floor(144.0 * v[kTune]) - 72.0;
    const double fine = (static_cast<double>(v[kTuneFine]) - 0.5) * 2.0;  // semitones
    const double semitones = bendRange * bend + coarse + fine;
    part.increment = portable::exp2(semitones / 12.0) * part.sample.rateHz / sampleRate;
}

void computeWindow(PartSettings& part, const float* v) {
    const float begin = v[kWaveBegin];
    const float end = std::max(begin, v[kWaveEnd]);
    const float loopEnd = std::clamp(v[kWaveLoopEnd], std::min(begin, end), end);
    const float loopStart = std::clamp(v[kWaveLoop], begin, std::max(begin, loopEnd));
    const float velocityStart = std::clamp(v[kWaveAttackVelocity], begin, end);
    const double frames = static_cast<double>(part.sample.frameCount);
    part.window.beginFrames = begin * frames;
    part.window.endFrames = end * frames;
    part.window.loopStartFrames = loopStart * frames;
    part.window.loopEndFrames = loopEnd * frames;
    part.window.velocityStartFrames = velocityStart * frames;
}

void computeSettings(PartSettings& part, const float* v, float sampleRate, float bend) {
    const double sr = sampleRate;
    computeIncrement(part, v, sampleRate, bend);
    computeWindow(part, v);
    part.levelGain = levelGainOf(v[kLevel]);
    part.pan = v[kPan];
    const double attackSeconds = 0.002 * portable::pow(5000.0, static_cast<double>(v[kAttack]));
    part.attackIncrement = static_cast<float>(1.0 / (attackSeconds * sr));
    part.decayFactor = fallFactor(0.01 * portable::pow(1000.0, static_cast<double>(v[kDecay])), sr);
    part.sustain = v[kSustain];
    part.releaseFactor = fallFactor(0.01 * portable::pow(1000.0, static_cast<double>(v[kRelease])), sr);
    part.envTuneExponent = v[kEnvTune] - 0.5f;
    part.envelopeOn = v[kEnvLevel] != 0.0f;
    part.levelVelocity = v[kLevelVelocity];
    part.tuneVelocity = v[kTuneVelocity];
    part.hold = v[kHold] != 0.0f;
    part.reverse = v[kReverse] != 0.0f;
    part.loop = v[kLoop] != 0.0f;
    part.splitNote = static_cast<int>(std::clamp(v[kSplitNote], 0.0f, 127.0f));
    part.filterFreq = v[kFilterFreq];
    part.filterQ = v[kFilterQ];
    part.filterVelocity = v[kFilterVelocity];
    part.filterEnvAmount = 2.0f * v[kFilterEnv] - 1.0f;
    part.filterOn = v[kFilterOn] != 0.0f;
    part.frequencyKeyOn = v[kFrequencyKeyOn] != 0.0f;
    part.filterKeyOn = v[kFilterKeyOn] != 0.0f;
    part.mono = v[kMonoMode] != 0.0f;
}

}  // namespace sampler
