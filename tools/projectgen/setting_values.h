// A module setting as a description writes it, turned into the 0..1 value
// the module takes. A plain number is that value itself; a number with a
// unit ("260 Hz", "-9 dB", "+7 st") or a word ("saw", "on") is converted by
// what the parameter means, with the same arithmetic the modules use to
// display it, so the written value is what the module then shows.
#pragma once

#include <optional>
#include <string>

namespace projectgen {

struct SettingValue {
    float value = 0.0f;
    std::string error;  // empty when the text was understood
};

// moduleTitle as the module table knows it ("KavoSynthI"); parameter is the
// name without a part number ("FILTER Frequency", "Level").
SettingValue settingValue(const std::string& moduleTitle, const std::string& parameter, const std::string& text);

// The units and words a parameter takes, for messages and the documentation
// ("Hz", "ms", "saw sine ..."); empty when it takes plain numbers only.
std::string acceptedForms(const std::string& moduleTitle, const std::string& parameter);

// A plain decimal number, the whole text; nothing for anything else.
std::optional<double> plainNumber(const std::string& text);

}  // namespace projectgen
