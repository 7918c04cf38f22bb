// Settings named as a musician reads them: a parameter name and the value
// its display should show ("Ratio" = "4", "FilterType" = "Band Pass").
// Plug-ins map 0..1 each their own way, so the normalised value is found by
// searching the plug-in's own display: numbers by closest match, texts by
// prefix. The display it ends on is reported, so a mismatch shows.
#pragma once

#include <string>
#include <vector>

#include "bench/compare/bench_plugin.h"

namespace benchcompare {

struct Setting {
    std::string parameter;
    std::string target;  // a number in the plug-in's display unit, or a text
};

struct AppliedSetting {
    std::string parameter;
    std::string target;
    float value = 0.0f;
    std::string display;  // what the plug-in shows afterwards
    bool found = false;
};

// Leading number of a display text; "-inf" and "off"-like texts give no
// number.
bool displayNumber(const std::string& display, double& number);

AppliedSetting applySetting(BenchPlugin& plugin, const Setting& setting);
std::vector<AppliedSetting> applySettings(BenchPlugin& plugin, const std::vector<Setting>& settings);

}  // namespace benchcompare
