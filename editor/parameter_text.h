// Parameter values written as their modules write them, without asking the
// modules that play: those belong to the audio thread, which sets their
// parameters while the editor would read them. The editor keeps a silent
// module of each class it needs, sets the value there and reads the display
// text and unit back.
//
// Threads: the editor's thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "vst/aeffectx.h"

class ParameterText {
public:
    ParameterText();
    ~ParameterText();
    ParameterText(const ParameterText&) = delete;
    ParameterText& operator=(const ParameterText&) = delete;

    // Display text and unit ("1.2 kHz") that the module named by a project's
    // module path gives parameter index at value (0..1); empty for a path
    // no module class answers to.
    std::string text(const char* modulePath, int index, float value);
    // The parameter's name as that module class gives it.
    std::string name(const char* modulePath, int index);
    // Silent modules made so far (one per module class).
    size_t moduleCount() const { return modules_.size(); }

private:
    AEffect* module(const char* modulePath);

    struct Entry {
        std::string fileTitle;
        AEffect* effect = nullptr;
    };
    std::vector<Entry> modules_;
};
