#include "modules/synth_part.h"

#include <cmath>

#include "common/portable_math.h"
#include "modules/balance_law.h"
#include "modules/synth_params.h"

namespace synth {
namespace {

// ln(0.01): decay and release times are times to fall to 1 %.
constexpr double kLnOnePercent = -4.605170185988091;

EnvelopeRates envelopeRates(const float* v, int attackParam, double stepsPerSecond) {
    const double attackSeconds = 0.002 * portable::pow(1000.0, static_cast<double>(v[attackParam]));
    const double decaySeconds = 0.01 * portable::pow(1000.0, static_cast<double>(v[attackParam + 1]));
    const double releaseSeconds = 0.01 * portable::pow(1000.0, static_cast<double>(v[attackParam + 3]));
    EnvelopeRates r;
    r.attackIncrement = static_cast<float>(1.0 / (attackSeconds * stepsPerSecond));
    r.decayFactor = static_cast<float>(portable::exp(kLnOnePercent / (decaySeconds * stepsPerSecond)));
    r.sustain = v[attackParam + 2];
    r.releaseFactor = static_cast<float>(portable::exp(kLnOnePercent / (releaseSeconds * stepsPerSecond)));
    return r;
}

double semitones(double s) { return portable::pow(2.0, s / 12.0); }

// Mix law: the louder side stays at 1, the other falls off along two
// slopes that meet at a quarter of the range.
void setMix(PartCoefficients& part, float value) {
    const dsp::BalanceGains mix = dsp::balanceGains(value);
    part.osc[0].mixGain = mix.left;
    part.osc[1].mixGain = mix.right;
}

float levelGain(float level) {
    if (level > 0.5f) return static_cast<float>(portable::pow(50.0, static_cast<double>(level)) / 25.0);
    if (level > 0.01f) return static_cast<float>(portable::pow(200.0, static_cast<double>(level)) / 50.0);
    return 0.000001f;
}

}  // namespace

int truncClamped(float x, int lo, int hi) {
    if (!(x >= static_cast<float>(lo))) return lo;
    if (x >= static_cast<float>(hi)) return hi;
    return static_cast<int>(x);
}

void computeBaseIncrements(PartCoefficients& part, const float* v, float sampleRate, float bend) {
    for (int o = 0; o < 2; ++o) {
        const int base = o * kDco2Offset;
        const double coarse = std::floor(144.0 * v[base + kDco1Coarse]) - 72.0;
        const double fine = 2.0 * v[base + kDco1Fine] - 1.0;
        // DCO1's bend range is whole semitones, DCO2's is continuous.
        const double range = o == 0 ? std::floor(48.0 * v[kDco1PitchBend]) - 24.0 : 48.0 * v[kDco2PitchBend] - 24.0;
        part.osc[o].baseIncrement = static_cast<float>(16384.0 / sampleRate * kNoteZeroHz * semitones(coarse) *
                                                       semitones(fine) * semitones(range * bend));
    }
}

void computePart(PartCoefficients& part, const float* v, float sampleRate, float bend) {
    const double sr = sampleRate;
    computeBaseIncrements(part, v, sampleRate, bend);
    for (int o = 0; o < 2; ++o) {
        OscillatorSettings& s = part.osc[o];
        const int base = o * kDco2Offset;
        s.wave = truncClamped(4.0f * v[base + kDco1Wave], 0, 4);
        s.pulseWidth = v[base + kDco1Pulse];
        s.lfoPulse = selectedLfo(v[base + kDco1LfoPulse]);
        s.lfoFrequency = selectedLfo(v[base + kDco1LfoFrequency]);
        s.keySync = v[base + kDco1Sync] != 0.0f;
        s.glideDivisor = 1.0f + 200.0f * v[base + kDco1Glissando];
        s.keyboard = v[base + kDco1Keyboard] != 0.0f;
        s.driveGain = static_cast<float>(portable::pow(10.0, static_cast<double>(v[base + kDco1OverDrive])));
        s.useDcoEnvelope = v[base + kDco1OutputEnv] != 0.0f;
        s.envFreqExponent = v[base + kDco1EnvFreq] - 0.5f;
        s.throughFilter = v[kFilterDco1 + o] != 0.0f;
    }
    part.hardSync = v[kDcoSynchro] != 0.0f;

    setMix(part, v[kDcoMix]);

    part.dcoEnv = envelopeRates(v, kDcoEnvAttack, sr);
    part.filterEnv = envelopeRates(v, kFilterEnvAttack, sr / kControlPeriod);
    part.outputEnv = envelopeRates(v, kOutEnvAttack, sr);
    part.dcoEnvelopeNeeded = v[kDco1EnvFreq] > 0.0f || v[kDco2EnvFreq] > 0.0f || v[kDco1OutputEnv] > 0.0f ||
                             v[kDco2OutputEnv] > 0.0f;

    part.filterKeyboard = v[kFilterKeyboard] != 0.0f;
    part.filterMode = static_cast<dsp::FilterMode>(truncClamped(2.0f * v[kFilterType], 0, 2));
    part.fourPole = v[kFilterPente] != 0.0f;
    part.cutoff = v[kFilterFrequency];
    part.q = v[kFilterQ];
    part.filterEnvAmount = 2.0f * v[kFilterEnvelop] - 1.0f;
    part.lfoCutoff = selectedLfo(v[kFilterLfoFrequency]);
    part.lfoQ = selectedLfo(v[kFilterLfoQ]);

    const dsp::DspTables& tables = dsp::dspTables();
    for (int l = 0; l < 2; ++l) {
        LfoSettings& s = part.lfo[l];
        const int base = l == 0 ? kLfo1Wave : kLfo2Wave;
        const float waveValue = v[base];
        const float delay = v[base + 1];
        const float rate = v[base + 2];
        const float depth = v[base + 3];
        s.wave = truncClamped(4.0f * waveValue, 0, 4);
        s.waveIsRandom = waveValue == 1.0f;
        // LFO1 starts its delay above 0.01, LFO2 from 0.01 on.
        const bool delayed = l == 0 ? delay > 0.01f : delay >= 0.01f;
        s.delayTicks = delayed ? static_cast<float>(0.01 * portable::pow(200.0, static_cast<double>(delay)) * sr /
                                                    kControlPeriod)
                               : 0.0f;
        s.increment = static_cast<float>(portable::pow(500.0, static_cast<double>(rate)) / 25.0 * 16384.0 / sr *
                                         kControlPeriod);
        if (l == 0)
            s.depth = depth > 0.01f ? static_cast<float>(portable::pow(400.0, static_cast<double>(depth)) / 200.0) : 0.0f;
        else
            s.depth = depth > 0.0f ? static_cast<float>(portable::pow(100.0, static_cast<double>(depth)) / 100.0) : 0.0f;
        s.sync = v[base + 4] != 0.0f;
        s.syncExactlyOne = v[base + 4] == 1.0f;
        s.modWheel = v[base + 5] != 0.0f;
        s.sawTable = tables.sawTableNumberForIncrement(s.increment);
    }

    part.velocitySensitivity = v[kOutVelocity];
    part.levelGain = levelGain(v[kOutLevel]);
    part.balance = v[kOutBalance];
    part.lfoLevel = selectedLfo(v[kOutLfoLevel]);
    part.lfoBalance = selectedLfo(v[kOutLfoBalance]);
}

bool computePartValue(PartCoefficients& part, const float* v, int param, float sampleRate) {
    const double sr = sampleRate;
    switch (param) {
        case kDco1Pulse:
        case kDco2Pulse:
            part.osc[param == kDco1Pulse ? 0 : 1].pulseWidth = v[param];
            return true;
        case kDcoMix:
            setMix(part, v[kDcoMix]);
            return true;
        case kDcoEnvAttack:
        case kDcoEnvDecay:
        case kDcoEnvSustain:
        case kDcoEnvRelease:
            part.dcoEnv = envelopeRates(v, kDcoEnvAttack, sr);
            return true;
        case kFilterFrequency:
            part.cutoff = v[kFilterFrequency];
            return true;
        case kFilterQ:
            part.q = v[kFilterQ];
            return true;
        case kFilterEnvelop:
            part.filterEnvAmount = 2.0f * v[kFilterEnvelop] - 1.0f;
            return true;
        case kFilterEnvAttack:
        case kFilterEnvDecay:
        case kFilterEnvSustain:
        case kFilterEnvRelease:
            part.filterEnv = envelopeRates(v, kFilterEnvAttack, sr / kControlPeriod);
            return true;
        case kOutEnvAttack:
        case kOutEnvDecay:
        case kOutEnvSustain:
        case kOutEnvRelease:
            part.outputEnv = envelopeRates(v, kOutEnvAttack, sr);
            return true;
        case kOutVelocity:
            part.velocitySensitivity = v[kOutVelocity];
            return true;
        case kOutLevel:
            part.levelGain = levelGain(v[kOutLevel]);
            return true;
        case kOutBalance:
            part.balance = v[kOutBalance];
            return true;
        default:
            return false;
    }
}

}  // namespace synth
