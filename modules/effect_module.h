// Base of the effect modules: a program store of plain parameter records
// (numParams floats and a 24-byte name each), the common preset and bank
// chunk forms, and MIDI that acts only on program change.
#pragma once

#include <vector>

#include "modules/module_base.h"

// effVendorSpecific with this index and a frame count as value asks an
// effect to let that many frames pass without audio while its input is
// silent and its tail has died away: its clock (control steps, oscillator,
// MIDI program changes) moves on exactly as if it had rendered them, so it
// wakes in step. Answers 1 when the module did so, 0 when it cannot rest
// that way (it must then render).
constexpr VstInt32 kModuleRestIndex = vstFourCC('R', 'e', 's', 't');
// Longest rest one call asks for.
constexpr VstIntPtr kModuleRestMaxFrames = 1 << 20;

class KavoEffectModule : public KavoModule {
public:
    KavoEffectModule(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams,
                     const ModuleInfo& info);

    void setSampleRate(float rate) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool copyProgram(VstInt32 destination) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // Values of program p as stored (p must be in range).
    float* programValues(VstInt32 program) { return &programValues_[static_cast<size_t>(program) * numParams]; }
    char* programNameField(VstInt32 program) { return &programNames_[static_cast<size_t>(program) * kVstMaxProgNameLen]; }

protected:
    // Lets frames pass without audio (see kModuleRestIndex); false where the
    // module keeps no clock that could run on without it.
    virtual bool rest(int /*frames*/) { return false; }
    // Derives the working coefficients of one parameter from its live value.
    virtual void parameterChanged(VstInt32 index) = 0;
    // Full recomputation after a rate or program change; the default applies
    // every parameter in order.
    virtual void recomputeAll();

    // Sets a program's values and name; used by constructors to fill the
    // factory programs.
    void storeProgram(VstInt32 program, const float* values, const char* name);
    // The value each parameter takes when a host or chunk delivers NaN for
    // it (0 until a constructor says otherwise).
    void setParameterDefaults(const float* values);
    float parameterDefault(VstInt32 index) const { return defaults_[static_cast<size_t>(index)]; }
    // A value for the program store as a chunk or bank image delivers it,
    // repaired; modules whose store holds something other than 0..1 for a
    // parameter say so here.
    virtual float repairedStoredValue(VstInt32 index, float value);
    // Writes an already repaired value to the live values and the current
    // program, then derives what depends on it.
    void storeValue(VstInt32 index, float value);

    // Per-frame MIDI drain of the effects: program change only.
    void drainEffectMidiFrame() {
        drainMidiFrame([this](const ModuleMidiEvent& e) {
            if ((e.data[0] & 0xF0) == 0xC0) setProgram(e.data[1]);
        });
    }

    std::vector<float> live_;
    std::vector<float> defaults_;
    std::vector<float> programValues_;
    std::vector<char> programNames_;
    std::vector<char> chunkScratch_;
};
