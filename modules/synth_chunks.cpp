// Preset and bank chunks of the synthesizer, the older single-part bank
// form, and the repairs applied to every bank on loading.
#include <cmath>
#include <initializer_list>
#include <cstring>

#include "modules/chunk_fields.h"
#include "modules/synth_module.h"

using namespace synth;

using namespace chunk_fields;

namespace {

// The older single-part form held 69 floats per program (two oscillator
// levels instead of the mix, and its own envelope sets).
constexpr int kLegacyFloats = 69;

// LFO2 as a modulation-wheel vibrato: about 6.26 Hz, a quarter tone deep
// at full wheel. Older banks relied on it being there.
constexpr float kVibratoRate = 0.81321675f;
constexpr float kVibratoDepth = 0.49648017f;

}  // namespace

VstInt32 EffectSynth::bankChunkSize() const {
    const VstInt32 perProgram = 4 * numParams + kVstMaxProgNameLen;
    return numPrograms * perProgram + (flavour_ == kFlavourII ? 4 * kMaxParts : 0);
}

VstInt32 EffectSynth::legacyBankChunkSize() const { return numPrograms * (4 * numParams + 28); }

VstInt32 EffectSynth::getChunk(void** data, bool isPreset) {
    if (data == nullptr) return 0;
    const VstInt32 size = isPreset ? 4 * numParams : bankChunkSize();
    // The caller owns the buffer.
    char* buffer = new char[static_cast<size_t>(size)];
    std::memset(buffer, 0, static_cast<size_t>(size));
    if (isPreset) {
        for (VstInt32 i = 0; i < numParams; ++i) writeFloat(buffer + kFloat * static_cast<size_t>(i), getParameter(i));
    } else {
        writeBank(buffer);
    }
    *data = buffer;
    return size;
}

void EffectSynth::writeBank(char* out) const {
    if (flavour_ == kFlavourII) {
        for (int k = 0; k < kMaxParts; ++k, out += kFloat) writeFloat(out, triggerNotes_[k]);
    }
    for (const SynthProgram& program : programs_) {
        std::memcpy(out, program.name, kVstMaxProgNameLen);
        out += kVstMaxProgNameLen;
        for (int k = 0; k < parts_; ++k)
            for (int p = 0; p < kPartParams; ++p, out += kFloat) writeFloat(out, program.values[slot(p, k)]);
        if (flavour_ == kFlavourI) {
            writeFloat(out, program.mono);
            out += kFloat;
        }
    }
}

VstInt32 EffectSynth::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (data == nullptr || byteSize <= 0) return 0;
    const char* in = static_cast<const char*>(data);
    if (isPreset) {
        if (byteSize != 4 * numParams) return 0;
        for (VstInt32 i = 0; i < numParams; ++i) storeParameter(i, readFloat(in + kFloat * static_cast<size_t>(i)));
        recomputeAllParts();
        return 1;
    }
    if (byteSize == bankChunkSize())
        readBank(in);
    else if (flavour_ == kFlavourI && byteSize == legacyBankChunkSize())
        readLegacyBank(in);
    else
        return 0;
    for (SynthProgram& program : programs_) repairProgram(program);
    setProgram(curProgram);
    return 1;
}

void EffectSynth::readBank(const char* in) {
    if (flavour_ == kFlavourII) {
        for (int k = 0; k < kMaxParts; ++k, in += kFloat) {
            const float note = readFloat(in);
            triggerNotes_[k] = std::isfinite(note) ? note : static_cast<float>(36 + k);
        }
    }
    for (SynthProgram& program : programs_) {
        std::memcpy(program.name, in, kVstMaxProgNameLen);
        program.name[kVstMaxProgNameLen - 1] = 0;
        in += kVstMaxProgNameLen;
        for (int k = 0; k < parts_; ++k)
            for (int p = 0; p < kPartParams; ++p, in += kFloat) program.values[slot(p, k)] = sanitise(p, readFloat(in));
        if (flavour_ == kFlavourI) {
            const float mono = readFloat(in);
            program.mono = std::isfinite(mono) ? mono : 0.0f;
            in += kFloat;
        }
    }
}

void EffectSynth::readLegacyBank(const char* in) {
    for (SynthProgram& program : programs_) {
        std::memcpy(program.name, in, kVstMaxProgNameLen);
        program.name[kVstMaxProgNameLen - 1] = 0;
        in += kVstMaxProgNameLen;
        float f[kLegacyFloats];
        for (int i = 0; i < kLegacyFloats; ++i, in += kFloat) f[i] = readFloat(in);

        float v[kPartParams];
        for (int p = 0; p <= 11; ++p) v[p] = f[p];
        for (int p = 13; p <= 24; ++p) v[p] = f[p + 6];
        for (int p = 32; p <= 57; ++p) v[p] = f[p + 6];
        v[kOutVelocity] = f[13];
        // The old program had an envelope per oscillator; the louder
        // oscillator's envelope becomes the output envelope.
        const int envelopeBase = f[12] < f[31] ? 34 : 15;
        for (int i = 0; i < 4; ++i) v[kOutEnvAttack + i] = f[envelopeBase + i];
        for (int i = 0; i < 4; ++i) v[kOutLevel + i] = f[64 + i];
        v[kDco1EnvFreq] = 0.5f;
        v[kDco2EnvFreq] = 0.5f;
        v[kDcoSynchro] = 0.0f;
        v[kDcoEnvAttack] = 0.0f;
        v[kDcoEnvDecay] = 0.2f;
        v[kDcoEnvSustain] = 0.2f;
        v[kDcoEnvRelease] = 0.3f;
        // The two old oscillator levels become one mix position.
        const float a1 = sanitise(kDcoMix, f[12]);
        const float a2 = sanitise(kDcoMix, f[31]);
        if (a2 < 0.02f)
            v[kDcoMix] = 0.0f;
        else if (a1 < 0.02f)
            v[kDcoMix] = 1.0f;
        else if (a1 >= a2)
            v[kDcoMix] = a2 / a1 * 0.5f;
        else
            v[kDcoMix] = 1.0f - (a1 / a2) * 0.5f;

        for (int p = 0; p < kPartParams; ++p) program.values[slot(p, 0)] = sanitise(p, v[p]);
        program.mono = std::isfinite(f[68]) ? f[68] : 0.0f;
    }
}

void EffectSynth::repairProgram(SynthProgram& program) {
    for (int k = 0; k < parts_; ++k) {
        float* v = program.values;
        // A centred bend range (0 semitones) in old banks meant the usual
        // one octave up.
        for (int p : {kDco1PitchBend, kDco2PitchBend}) {
            float& range = v[slot(p, k)];
            if (range > 0.48f && range < 0.52f) range = 0.75f;
        }
        bool usesLfo2 = false;
        for (int p : kSelectors)
            if (v[slot(p, k)] == 2.0f) usesLfo2 = true;
        if (usesLfo2) continue;
        // An unused LFO2 becomes a wheel vibrato on every oscillator that
        // has no pitch LFO.
        v[slot(kLfo2Wave, k)] = 0.0f;
        v[slot(kLfo2Delay, k)] = 0.0f;
        v[slot(kLfo2Rate, k)] = kVibratoRate;
        v[slot(kLfo2Depth, k)] = kVibratoDepth;
        v[slot(kLfo2Sync, k)] = 0.0f;
        v[slot(kLfo2ModWheel, k)] = 1.0f;
        for (int p : {kDco1LfoFrequency, kDco2LfoFrequency})
            if (v[slot(p, k)] == 0.0f) v[slot(p, k)] = 2.0f;
    }
}
