#include "bench/compare/parameter_setting.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace benchcompare {

namespace {

// Fine enough for stepped parameters of a few hundred steps; continuous ones
// are refined afterwards.
constexpr int kScanPoints = 2001;
constexpr int kRefineSteps = 40;

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool parseTarget(const std::string& target, double& number) {
    if (target.empty()) return false;
    char* end = nullptr;
    number = std::strtod(target.c_str(), &end);
    return end != target.c_str() && *end == 0;
}

double displayedAt(BenchPlugin& plugin, int index, float value) {
    plugin.session().setParameter(index, value);
    double number = 0.0;
    if (!displayNumber(plugin.parameterDisplay(index), number)) return std::numeric_limits<double>::quiet_NaN();
    return number;
}

float gridValue(int i) { return static_cast<float>(i) / static_cast<float>(kScanPoints - 1); }

// Middle of the run of grid points that share point i's score: the middle
// of a step for stepped parameters, not its edge.
int middleOfRun(const std::vector<double>& score, int i) {
    int first = i, last = i;
    while (first > 0 && score[static_cast<size_t>(first - 1)] == score[static_cast<size_t>(i)]) --first;
    while (last + 1 < kScanPoints && score[static_cast<size_t>(last + 1)] == score[static_cast<size_t>(i)]) ++last;
    return (first + last) / 2;
}

float searchNumber(BenchPlugin& plugin, int index, double target, bool& found) {
    std::vector<double> error(kScanPoints, std::numeric_limits<double>::infinity());
    int best = -1;
    for (int i = 0; i < kScanPoints; ++i) {
        const double shown = displayedAt(plugin, index, gridValue(i));
        if (std::isnan(shown)) continue;
        error[static_cast<size_t>(i)] = std::fabs(shown - target);
        if (best < 0 || error[static_cast<size_t>(i)] < error[static_cast<size_t>(best)]) best = i;
    }
    found = best >= 0;
    if (!found) return 0.0f;
    const int middle = middleOfRun(error, best);
    if (middle != best || error[static_cast<size_t>(best)] == 0.0) return gridValue(middle);
    // Continuous: narrow down between the neighbours.
    float lo = gridValue(best > 0 ? best - 1 : 0);
    float hi = gridValue(best + 1 < kScanPoints ? best + 1 : best);
    for (int step = 0; step < kRefineSteps; ++step) {
        const float a = lo + (hi - lo) / 3.0f;
        const float b = hi - (hi - lo) / 3.0f;
        const double ea = std::fabs(displayedAt(plugin, index, a) - target);
        const double eb = std::fabs(displayedAt(plugin, index, b) - target);
        if (!(ea <= eb)) lo = a;
        else hi = b;
    }
    return 0.5f * (lo + hi);
}

float searchText(BenchPlugin& plugin, int index, const std::string& target, bool& found) {
    const std::string wanted = lowered(target);
    int first = -1, last = -1;
    for (int i = 0; i < kScanPoints; ++i) {
        plugin.session().setParameter(index, gridValue(i));
        const bool match = lowered(plugin.parameterDisplay(index)).rfind(wanted, 0) == 0;
        if (match && first < 0) first = i;
        if (match) last = i;
        if (!match && first >= 0) break;
    }
    found = first >= 0;
    if (!found) return 0.0f;
    // A run that reaches an end of the range takes that end: a switch that
    // reads "off" everywhere below 1 acts on any value but 0, so the middle
    // of its "off" run would switch it on.
    if (first == 0) return gridValue(0);
    if (last == kScanPoints - 1) return gridValue(last);
    return gridValue((first + last) / 2);
}

}  // namespace

bool displayNumber(const std::string& display, double& number) {
    const char* text = display.c_str();
    while (*text == ' ') ++text;
    char* end = nullptr;
    number = std::strtod(text, &end);
    return end != text && std::isfinite(number);
}

AppliedSetting applySetting(BenchPlugin& plugin, const Setting& setting) {
    AppliedSetting applied;
    applied.parameter = setting.parameter;
    applied.target = setting.target;
    const int index = plugin.findParameter(setting.parameter);
    if (index < 0) {
        applied.display = "(no such parameter)";
        return applied;
    }
    double number = 0.0;
    bool found = false;
    applied.value = parseTarget(setting.target, number) ? searchNumber(plugin, index, number, found)
                                                        : searchText(plugin, index, setting.target, found);
    applied.found = found;
    plugin.session().setParameter(index, applied.value);
    applied.display = plugin.parameterDisplay(index);
    return applied;
}

std::vector<AppliedSetting> applySettings(BenchPlugin& plugin, const std::vector<Setting>& settings) {
    std::vector<AppliedSetting> applied;
    for (const Setting& setting : settings) applied.push_back(applySetting(plugin, setting));
    return applied;
}

}  // namespace benchcompare
