#include "tools/projectgen/setting_values.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "tools/projectgen/patch_values.h"

namespace projectgen {

namespace {

bool isSynth(const std::string& module) { return module == "KavoSynthI" || module == "KavoSynthII"; }
bool isDrumMachine(const std::string& module) { return module == "KavoDrums" || module == "KavoBass"; }
bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Word {
    const char* word;
    float value;
};

// Words for the choices a parameter offers, at values inside each choice's
// span of the module's own rounding.
std::vector<Word> wordsFor(const std::string& module, const std::string& parameter) {
    std::vector<Word> words;
    if (isSynth(module)) {
        if (parameter == "DCO1 Wave")
            words = {{"sine", value::kSine}, {"saw", value::kSaw}, {"pulse", value::kPulse},
                     {"triangle", value::kTriangle}, {"noise", value::kTop}};
        else if (parameter == "DCO2 Wave")
            words = {{"sine", value::kSine}, {"saw", value::kSaw}, {"pulse", value::kPulse},
                     {"ring", value::kRingOrNoise}, {"fm", value::kTop}};
        else if (parameter == "LFO1 Wave" || parameter == "LFO2 Wave")
            words = {{"sine", 0.1f}, {"triangle", 0.3f}, {"saw-down", 0.5f},
                     {parameter == "LFO1 Wave" ? "saw-up" : "square", 0.7f}, {"random", 0.9f}};
        else if (parameter == "FILTER Type")
            words = {{"low-pass", 0.15f}, {"band-pass", 0.55f}, {"high-pass", 0.85f}};
        else if (parameter.find("Lfo") != std::string::npos)
            words = {{"lfo1", value::kLfo1}, {"lfo2", value::kLfo2}};
    }
    // Any switch: the modules read on as 1 and off as 0.
    words.push_back({"on", value::kOn});
    words.push_back({"off", value::kOff});
    return words;
}

using Conversion = float (*)(double);

struct Unit {
    const char* unit;
    Conversion convert;
    bool wholeNumbers;
};

float drumTuneSemitones(double st) { return value::clamp01(0.5 + st / 36.0); }
// Sampler envelope: attack 0.002 * 5000^v s; decay and release 0.01 * 1000^v s
// to a tenth.
float samplerAttackMs(double ms) { return value::clamp01(std::log(std::max(ms, 2.0) / 2.0) / std::log(5000.0)); }
float delaySteps(double steps) { return static_cast<float>(static_cast<int>(steps) - 1) / 15.0f + 0.01f; }
float coarseSemitones(double st) { return value::coarse(static_cast<int>(st)); }

// The unit a parameter takes, if any.
const Unit* unitFor(const std::string& module, const std::string& parameter) {
    static const Unit kCutoff{"Hz", [](double v) { return value::cutoffHz(v); }, false};
    static const Unit kLfoRate{"Hz", [](double v) { return value::lfoHz(v); }, false};
    static const Unit kAttack{"ms", [](double v) { return value::attackMs(v); }, false};
    static const Unit kDecay{"ms", [](double v) { return value::decayMs(v); }, false};
    static const Unit kCoarse{"st", coarseSemitones, true};
    static const Unit kFine{"cents", [](double v) { return value::fineCents(v); }, false};
    static const Unit kQ{"Q", [](double v) { return value::filterQ(v); }, false};
    static const Unit kLevel{"dB", [](double v) { return value::synthLevelDb(v); }, false};
    static const Unit kBipolar{"bipolar", [](double v) { return value::bipolar(v); }, false};
    static const Unit kDrumTune{"st", drumTuneSemitones, false};
    static const Unit kSteps{"steps", delaySteps, true};
    if (isSynth(module)) {
        if (parameter == "FILTER Frequency") return &kCutoff;
        if (parameter == "LFO1 Rate" || parameter == "LFO2 Rate") return &kLfoRate;
        if (endsWith(parameter, "EnvAttack")) return &kAttack;
        if (endsWith(parameter, "EnvDecay") || endsWith(parameter, "EnvRelease")) return &kDecay;
        if (endsWith(parameter, " Coarse")) return &kCoarse;
        if (endsWith(parameter, " Fine")) return &kFine;
        if (parameter == "FILTER Q") return &kQ;
        if (parameter == "OUTPUT Level") return &kLevel;
        if (endsWith(parameter, "EnvFreq") || parameter == "DCO Mix" || parameter == "FILTER Envelop" ||
            parameter == "OUTPUT Velocity" || parameter == "OUTPUT Balance")
            return &kBipolar;
    }
    if (isDrumMachine(module)) {
        if (parameter == "Tune") return &kDrumTune;
        if (parameter == "Pan") return &kBipolar;
    }
    if (module == "KavoSampler") {
        static const Unit kSamplerAttack{"ms", samplerAttackMs, false};
        if (parameter == "FilterFreq") return &kCutoff;
        if (parameter == "Attack") return &kSamplerAttack;
        if (parameter == "Decay" || parameter == "Release") return &kDecay;
        if (parameter == "Pan" || parameter == "Tune") return &kBipolar;
    }
    if (module == "KavoDelay" && parameter == "Step") return &kSteps;
    return nullptr;
}

std::string trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

std::optional<double> plainNumber(const std::string& text) {
    const std::string t = trimmed(text);
    if (t.empty()) return std::nullopt;
    // Decimal only: no hexadecimal, no "inf", no "nan".
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E')
            return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string acceptedForms(const std::string& moduleTitle, const std::string& parameter) {
    std::string forms;
    if (const Unit* unit = unitFor(moduleTitle, parameter)) forms = std::string("a number with ") + unit->unit + ", ";
    forms += "a plain value 0 to 1, or one of:";
    for (const Word& w : wordsFor(moduleTitle, parameter)) forms += std::string(" ") + w.word;
    return forms;
}

SettingValue settingValue(const std::string& moduleTitle, const std::string& parameter, const std::string& text) {
    SettingValue result;
    const std::string t = trimmed(text);
    for (const Word& w : wordsFor(moduleTitle, parameter))
        if (t == w.word) {
            result.value = w.value;
            return result;
        }
    if (const std::optional<double> plain = plainNumber(t)) {
        // Read as the single-precision number it names, exactly as a
        // literal in the module's own code would be.
        result.value = std::strtof(trimmed(t).c_str(), nullptr);
        if (*plain < 0.0 || *plain > 1.0) result.error = "plain value " + t + " is outside 0 to 1";
        return result;
    }
    const size_t space = t.find_last_of(" \t");
    if (space != std::string::npos) {
        const std::string number = trimmed(t.substr(0, space)), unit = t.substr(space + 1);
        const Unit* wanted = unitFor(moduleTitle, parameter);
        const std::optional<double> v = plainNumber(number);
        if (wanted != nullptr && unit == wanted->unit && v) {
            if (wanted->wholeNumbers && *v != std::floor(*v)) {
                result.error = "\"" + t + "\": " + parameter + " takes whole " + unit;
                return result;
            }
            result.value = wanted->convert(*v);
            return result;
        }
    }
    result.error = "\"" + t + "\" is not a value of " + parameter + " (" + acceptedForms(moduleTitle, parameter) + ")";
    return result;
}

}  // namespace projectgen
