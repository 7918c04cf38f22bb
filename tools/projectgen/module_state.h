// A module instance made the way the plug-in makes it (from the module
// table, through its AEffect), so that the states written into projects are
// exactly what the modules' own getChunk produces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vst/audioeffectx.h"

namespace projectgen {

class ModuleState {
public:
    // fileTitle as the module table knows it ("KavoSynthI", "KavoReverb").
    explicit ModuleState(const std::string& fileTitle);
    ~ModuleState();
    ModuleState(const ModuleState&) = delete;
    ModuleState& operator=(const ModuleState&) = delete;

    bool valid() const { return effect_ != nullptr; }
    // Parameter by name as the module reports it ("FILTER Q"); exits the tool
    // with a message when the module has no such parameter.
    ModuleState& set(const std::string& parameterName, float value);
    ModuleState& setIndex(int index, float value);
    float value(int index) const;
    int parameterIndex(const std::string& parameterName) const;
    ModuleState& name(const std::string& programName);
    std::string display(int index) const;
    std::string parameterName(int index) const;
    int parameterCount() const;
    // effGetProductString ("KAVO synth I"), what a pattern block names.
    void productName(char* text) const;

    // The module object itself, for what only its own class offers (a
    // sampler part's file name, a drum pad's sample); null for another class.
    template <class Module>
    Module* as() const {
        return effect_ == nullptr ? nullptr : dynamic_cast<Module*>(static_cast<AudioEffect*>(effect_->object));
    }

    // The module's bank as a VST bank-file image ("CcnK", "FBCh").
    std::vector<uint8_t> bankImage() const;

private:
    AEffect* effect_ = nullptr;
    std::string title_;
};

}  // namespace projectgen
