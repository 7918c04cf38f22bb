#include "tools/projectgen/project_reader.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "modulehost/module_registry.h"
#include "modules/drums_module.h"
#include "modules/drums_params.h"
#include "modules/sample_store.h"
#include "modules/sampler_module.h"
#include "modules/sampler_params.h"
#include "track/instrument.h"
#include "tools/projectgen/ball_placement.h"
#include "tools/projectgen/note_names.h"
#include "tools/projectgen/setting_values.h"

namespace projectgen {

namespace {

// Mixer parameters whose changes are heard only when their section is on:
// the send levels (16, 18, 20, 22) and the equaliser's bands (4 to 12).
constexpr int kMixFirstSendLevel = 16, kMixLastSendLevel = 22;
constexpr int kMixFirstBandParameter = 4, kMixLastBandParameter = 12;
// What the plug-in can hold: a user program records 8 tracks and 32
// satellites; the loader keeps four balls per track.
constexpr size_t kMaxTracks = 8, kMaxBallsPerTrack = 4, kMaxSatellites = 32;
constexpr size_t kMaxProjectName = 24, kMaxProgramName = 24, kMaxTitle = 63, kMaxBallName = 63;
constexpr int kSamplerParts = 16, kSynthIIParts = 16, kDrumPads = 8, kPatterns = 16;
constexpr double kMaxDemoSteps = 64 * 16;  // 64 bars
constexpr size_t kMaxDemoEvents = 20000, kMaxPatternNotes = 1024;

const char* const kInstrumentTitles[] = {"KavoSynthI", "KavoSynthII", "KavoSampler", "KavoDrums", "KavoBass"};

bool isInstrument(const std::string& title) {
    return std::find(std::begin(kInstrumentTitles), std::end(kInstrumentTitles), title) != std::end(kInstrumentTitles);
}

class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    ProjectSpec project(const YAML::Node& root);

private:
    [[noreturn]] void fail(const YAML::Node& at, const std::string& message) const {
        const YAML::Mark mark = at.Mark();
        std::ostringstream text;
        text << source_;
        if (mark.line >= 0) text << ":" << mark.line + 1;
        text << ": " << message;
        throw LibraryError(text.str());
    }

    // A map with only the given keys, each once.
    void keys(const YAML::Node& map, const std::string& what, std::initializer_list<const char*> allowed) const;
    void requireMap(const YAML::Node& node, const std::string& what) const {
        if (!node.IsMap()) fail(node, what + " must be a map of keys and values");
    }
    void requireList(const YAML::Node& node, const std::string& what) const {
        if (!node.IsSequence()) fail(node, what + " must be a list");
    }
    std::string scalar(const YAML::Node& node, const std::string& what) const {
        if (!node.IsScalar()) fail(node, what + " must be a single value");
        return node.Scalar();
    }
    double number(const YAML::Node& node, const std::string& what, double minimum, double maximum) const;
    int integer(const YAML::Node& node, const std::string& what, int minimum, int maximum) const;
    bool flag(const YAML::Node& node, const std::string& what) const;
    // Text that goes into the project file: printable, no field separator.
    std::string text(const YAML::Node& node, const std::string& what, size_t maxLength) const;
    int key(const YAML::Node& node, const std::string& what) const;

    // padNames, when given, receives the names of a drum kit's pads.
    SlotSpec slot(const YAML::Node& node, const std::string& what, bool instrument, bool insert,
                  std::vector<std::string>* padNames = nullptr) const;
    void applySetting(ModuleState& module, const std::string& title, const YAML::Node& name, const YAML::Node& value,
                      const std::string& prefix) const;
    void parts(ModuleState& module, const std::string& title, const YAML::Node& list, const YAML::Node& every,
               std::vector<std::string>& padNames) const;
    TrackSpec track(const YAML::Node& node);
    void sends(const YAML::Node& node, TrackSpec& track) const;
    void equaliser(const YAML::Node& node, TrackSpec& track) const;
    void arpeggiator(const YAML::Node& node, TrackSpec& track) const;
    void patterns(const YAML::Node& node, TrackSpec& track, const std::vector<std::string>& padNames) const;
    BallSpec ball(const YAML::Node& node, TrackSpec& track) const;
    void axis(const YAML::Node& node, TrackSpec& track, std::vector<BallTarget>& targets) const;
    void demo(const YAML::Node& node, ProjectSpec& project) const;

    std::string source_;
};

void Reader::keys(const YAML::Node& map, const std::string& what, std::initializer_list<const char*> allowed) const {
    requireMap(map, what);
    std::set<std::string> seen;
    for (const auto& entry : map) {
        const std::string name = scalar(entry.first, "a key of " + what);
        if (!seen.insert(name).second) fail(entry.first, "\"" + name + "\" is given twice in " + what);
        if (std::none_of(allowed.begin(), allowed.end(), [&](const char* k) { return name == k; })) {
            std::string known;
            for (const char* k : allowed) known += std::string(known.empty() ? "" : ", ") + k;
            fail(entry.first, "unknown key \"" + name + "\" in " + what + " (known: " + known + ")");
        }
    }
}

double Reader::number(const YAML::Node& node, const std::string& what, double minimum, double maximum) const {
    const std::string t = scalar(node, what);
    const std::optional<double> v = plainNumber(t);
    if (!v) fail(node, what + " must be a number, not \"" + t + "\"");
    if (*v < minimum || *v > maximum) {
        std::ostringstream m;
        m << what << " " << t << " is outside " << minimum << " to " << maximum;
        fail(node, m.str());
    }
    return *v;
}

int Reader::integer(const YAML::Node& node, const std::string& what, int minimum, int maximum) const {
    const double v = number(node, what, minimum, maximum);
    if (v != std::floor(v)) fail(node, what + " must be a whole number");
    return static_cast<int>(v);
}

bool Reader::flag(const YAML::Node& node, const std::string& what) const {
    const std::string t = scalar(node, what);
    if (t == "on" || t == "true" || t == "yes" || t == "1") return true;
    if (t == "off" || t == "false" || t == "no" || t == "0") return false;
    fail(node, what + " must be on or off, not \"" + t + "\"");
}

std::string Reader::text(const YAML::Node& node, const std::string& what, size_t maxLength) const {
    const std::string t = scalar(node, what);
    if (t.size() > maxLength) fail(node, what + " \"" + t + "\" is longer than " + std::to_string(maxLength) + " characters");
    for (char c : t)
        if (c == ';' || static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126)
            fail(node, what + " may hold printable ASCII characters other than \";\" only");
    return t;
}

int Reader::key(const YAML::Node& node, const std::string& what) const {
    const std::string t = scalar(node, what);
    const std::optional<int> k = keyFromText(t);
    if (!k) fail(node, what + " \"" + t + "\" is not a key (0 to 127, or a name such as C3, F#2, Bb4)");
    return *k;
}

// A parameter by the name the module reports; "Step (2)" is the second
// parameter named "Step".
int parameterByName(const ModuleState& module, const std::string& name) {
    std::string base = name;
    int occurrence = 1;
    const size_t open = name.rfind(" (");
    if (open != std::string::npos && name.back() == ')') {
        const std::string digits = name.substr(open + 2, name.size() - open - 3);
        if (!digits.empty() && digits.size() < 3 && std::all_of(digits.begin(), digits.end(), ::isdigit)) {
            occurrence = std::stoi(digits);
            base = name.substr(0, open);
        }
    }
    for (int i = 0; i < module.parameterCount(); ++i)
        if (module.parameterName(i) == base && --occurrence == 0) return i;
    return -1;
}

void Reader::applySetting(ModuleState& module, const std::string& title, const YAML::Node& name, const YAML::Node& value,
                          const std::string& prefix) const {
    const std::string parameter = scalar(name, "a parameter name");
    const int index = parameterByName(module, prefix + parameter);
    if (index < 0) fail(name, title + " has no parameter \"" + prefix + parameter + "\" (projectgen --parameters " + title + " lists them)");
    const SettingValue v = settingValue(title, parameter, scalar(value, parameter));
    if (!v.error.empty()) fail(value, v.error);
    module.setIndex(index, v.value);
}

void Reader::parts(ModuleState& module, const std::string& title, const YAML::Node& list, const YAML::Node& every,
                   std::vector<std::string>& padNames) const {
    const bool sampler = title == "KavoSampler", drums = title == "KavoDrums" || title == "KavoBass";
    const int count = sampler ? kSamplerParts : drums ? (title == "KavoBass" ? 1 : kDrumPads) : kSynthIIParts;
    const std::string word = drums ? "pad" : "part";
    requireList(list, word + "s");
    if (list.size() > static_cast<size_t>(count))
        fail(list, title + " has " + std::to_string(count) + " " + word + (count == 1 ? "" : "s") + ", not " + std::to_string(list.size()));
    if (every) requireMap(every, "every_" + word);
    for (size_t k = 0; k < list.size(); ++k) {
        const YAML::Node entry = list[k];
        const std::string what = word + " " + std::to_string(k + 1);
        requireMap(entry, what);
        const std::string prefix = std::to_string(k + 1) + " ";
        std::set<std::string> seen;
        for (const auto& e : entry) {
            const std::string name = scalar(e.first, "a key of " + what);
            if (!seen.insert(name).second) fail(e.first, "\"" + name + "\" is given twice in " + what);
        }
        if (const YAML::Node sample = entry["sample"]) {
            if (!sampler && !drums) fail(sample, title + " plays no samples");
            const std::string file = text(sample, "sample", 255);
            const auto layout = sampler ? SampleChannels::AsStored : SampleChannels::MonoMix;
            if (SampleLibrary::shared().find(file.c_str(), layout) == nullptr)
                fail(sample, "the sample store holds no \"" + file + "\"");
            if (sampler) module.as<EffectSampler>()->setPartFileName(static_cast<int>(k), file.c_str());
            else module.as<EffectDrums>()->setPadFileName(static_cast<int>(k), file.c_str());
            module.setIndex(parameterByName(module, prefix + "Wave"), 1.0f);  // load the named sample
        }
        if (const YAML::Node top = entry["top_note"]) {
            if (!sampler) fail(top, "top_note belongs to sampler parts");
            // The part's split note: it plays keys up to here.
            module.setIndex(static_cast<int>(k) * sampler::kPartParams + sampler::kSplitNote,
                            static_cast<float>(key(top, "top_note")));
        }
        if (const YAML::Node loop = entry["loop"]) {
            // The sample's own loop, as its file names it: the part loops
            // there instead of over the whole sample.
            if (!sampler) fail(loop, "loop belongs to sampler parts");
            if (scalar(loop, "loop") != "file") fail(loop, "loop: file is the one form (the sample's own loop)");
            if (!entry["sample"]) fail(loop, "loop: file needs the part's sample");
            const auto found = SampleLibrary::shared().find(entry["sample"].Scalar().c_str(), SampleChannels::AsStored);
            if (!found->hasFileLoop) fail(loop, "\"" + entry["sample"].Scalar() + "\" names no loop of its own");
            module.setIndex(parameterByName(module, prefix + "WaveLoop"), found->loopStartFraction());
            module.setIndex(parameterByName(module, prefix + "WaveLoopEnd"), found->loopEndFraction());
            module.setIndex(parameterByName(module, prefix + "Loop"), 1.0f);
        }
        std::string padName;
        if (const YAML::Node name = entry["name"]) {
            if (!drums) fail(name, "only drum pads have names");
            padName = text(name, "pad name", 24);
            if (std::find(padNames.begin(), padNames.end(), padName) != padNames.end())
                fail(name, "two pads are named \"" + padName + "\"");
        }
        padNames.push_back(padName);
        if (every)
            for (const auto& e : every) applySetting(module, title, e.first, e.second, prefix);
        for (const auto& e : entry) {
            const std::string name = e.first.Scalar();
            if (name == "sample" || name == "top_note" || name == "name" || name == "loop") continue;
            applySetting(module, title, e.first, e.second, prefix);
        }
    }
}

SlotSpec Reader::slot(const YAML::Node& node, const std::string& what, bool instrument, bool insert,
                      std::vector<std::string>* padNames) const {
    if (insert) keys(node, what, {"module", "program", "on", "settings"});
    else if (instrument) keys(node, what, {"module", "program", "settings", "parts", "every_part", "pads", "every_pad"});
    else keys(node, what, {"module", "program", "settings"});
    if (!node["module"]) fail(node, what + " names no module");
    const std::string title = scalar(node["module"], "module");
    if (findModuleClass(title.c_str()) == nullptr) fail(node["module"], "no module is called \"" + title + "\"");
    if (isInstrument(title) != instrument)
        fail(node["module"], what + (instrument ? " must be an instrument" : " must be an effect") + ", and " + title + " is " +
                                 (instrument ? "an effect" : "an instrument"));
    if (!node["program"]) fail(node, what + " gives its module no program name");
    const std::string program = text(node["program"], "program", kMaxProgramName);
    SlotSpec s;
    s.path = std::string(instrument ? "\\PluginInstruments\\" : "\\PluginEffects\\") + title + ".dll";
    s.module = std::make_shared<ModuleState>(title);
    if (insert && node["on"]) s.on = flag(node["on"], "on") ? 1.0f : 0.0f;
    if (const YAML::Node settings = node["settings"]) {
        requireMap(settings, "settings");
        std::set<std::string> seen;
        for (const auto& e : settings) {
            if (!seen.insert(scalar(e.first, "a parameter name")).second)
                fail(e.first, "\"" + e.first.Scalar() + "\" is set twice");
            applySetting(*s.module, title, e.first, e.second, "");
        }
    }
    const bool drums = title == "KavoDrums" || title == "KavoBass";
    const YAML::Node list = node[drums ? "pads" : "parts"], every = node[drums ? "every_pad" : "every_part"];
    if (node[drums ? "parts" : "pads"] || node[drums ? "every_part" : "every_pad"])
        fail(node, title + (drums ? " has pads, not parts" : " has parts, not pads"));
    if ((list || every) && title == "KavoSynthI") fail(list ? list : every, "KavoSynthI has one part: use settings");
    if (every && !list) fail(every, "every_" + std::string(drums ? "pad" : "part") + " without a list to apply it to");
    std::vector<std::string> names;
    if (list) parts(*s.module, title, list, every, names);
    s.module->name(program);
    if (padNames != nullptr) *padNames = names;
    return s;
}


void Reader::sends(const YAML::Node& node, TrackSpec& track) const {
    keys(node, "sends", {"1", "2", "3", "4"});
    for (const auto& e : node) {
        const size_t k = static_cast<size_t>(std::stoi(e.first.Scalar()) - 1);
        const float level = static_cast<float>(number(e.second, "send " + e.first.Scalar() + " level", 0, 127));
        track.sendLevel[k] = level;
        track.sendOn[k] = level > 0.0f ? 1.0f : 0.0f;
    }
}

void Reader::equaliser(const YAML::Node& node, TrackSpec& track) const {
    keys(node, "eq", {"on", "low", "mid", "high"});
    track.eqOn = node["on"] ? (flag(node["on"], "eq on") ? 1.0f : 0.0f) : 1.0f;
    const char* const bands[3] = {"low", "mid", "high"};
    for (size_t b = 0; b < 3; ++b) {
        const YAML::Node band = node[bands[b]];
        if (!band) continue;
        const std::string what = std::string(bands[b]) + " band";
        keys(band, what, {"hz", "gain", "resonance"});
        if (band["hz"]) track.eqFrequencyHz[b] = static_cast<float>(number(band["hz"], what + " hz", 20, 16000));
        if (band["resonance"]) track.eqResonance[b] = static_cast<float>(number(band["resonance"], what + " resonance", 0, 1));
        if (const YAML::Node gain = band["gain"]) {
            const std::string t = scalar(gain, what + " gain");
            const size_t space = t.find(' ');
            const std::optional<double> db = space == std::string::npos ? std::nullopt : plainNumber(t.substr(0, space));
            if (!db || t.substr(space + 1) != "dB") fail(gain, what + " gain must be written in dB (\"-3 dB\"), not \"" + t + "\"");
            if (*db < -20.0 || *db > 20.0) fail(gain, what + " gain " + t + " is outside -20 to 20 dB");
            track.eqGain[b] = static_cast<float>(*db / 20.0);
        }
    }
}

void Reader::arpeggiator(const YAML::Node& node, TrackSpec& track) const {
    keys(node, "arpeggiator",
         {"on", "mode", "hole", "extension", "extension_mode", "velocity", "interval", "gate_time", "tempo", "swing"});
    auto& a = track.arpeggiator;
    a[0] = node["on"] ? (flag(node["on"], "arpeggiator on") ? 1.0f : 0.0f) : 1.0f;
    if (const YAML::Node mode = node["mode"]) {
        const std::string t = scalar(mode, "arpeggiator mode");
        const char* const names[4] = {"up", "down", "up-down", "random"};
        const auto found = std::find(std::begin(names), std::end(names), t);
        if (found == std::end(names)) fail(mode, "arpeggiator mode must be up, down, up-down or random, not \"" + t + "\"");
        a[1] = static_cast<float>(found - std::begin(names));
    }
    if (node["hole"]) a[2] = static_cast<float>(integer(node["hole"], "arpeggiator hole", 0, 16));
    if (node["extension"]) a[3] = static_cast<float>(integer(node["extension"], "arpeggiator extension", 0, 8));
    if (node["extension_mode"]) a[4] = static_cast<float>(integer(node["extension_mode"], "arpeggiator extension_mode", 0, 3));
    if (node["velocity"]) a[5] = static_cast<float>(number(node["velocity"], "arpeggiator velocity", 0, 32));
    if (node["interval"]) a[6] = static_cast<float>(integer(node["interval"], "arpeggiator interval", -24, 24));
    if (node["gate_time"]) a[7] = static_cast<float>(integer(node["gate_time"], "arpeggiator gate_time", 0, 5));
    if (node["tempo"]) a[8] = static_cast<float>(integer(node["tempo"], "arpeggiator tempo", 0, 4));
    if (node["swing"]) a[9] = static_cast<float>(number(node["swing"], "arpeggiator swing", 0, 1));
}

void Reader::patterns(const YAML::Node& node, TrackSpec& track, const std::vector<std::string>& padNames) const {
    requireList(node, "patterns");
    std::set<int> numbers;
    for (const YAML::Node& p : node) {
        keys(p, "a pattern", {"number", "length", "chain", "copy", "notes", "hits"});
        PatternSpec pattern;
        if (!p["number"]) fail(p, "a pattern needs its number (0 to 15)");
        pattern.number = integer(p["number"], "pattern number", 0, kPatterns - 1);
        if (!numbers.insert(pattern.number).second) fail(p["number"], "pattern " + std::to_string(pattern.number) + " is given twice");
        if (p["length"]) pattern.lengthSteps = static_cast<float>(integer(p["length"], "pattern length", 1, 256));
        if (p["chain"]) pattern.chain = flag(p["chain"], "pattern chain") ? 1 : 0;
        if (const YAML::Node copy = p["copy"]) {
            const int from = integer(copy, "copy", 0, kPatterns - 1);
            const auto source = std::find_if(track.patterns.begin(), track.patterns.end(),
                                             [&](const PatternSpec& q) { return q.number == from; });
            if (source == track.patterns.end()) fail(copy, "copy names pattern " + std::to_string(from) + ", which is not given before it");
            pattern.notes = source->notes;
        }
        if (const YAML::Node notes = p["notes"]) {
            requireList(notes, "notes");
            for (const YAML::Node& n : notes) {
                if (!n.IsSequence() || n.size() != 4) fail(n, "a pattern note is [step, key, length, velocity]");
                pattern.notes.push_back({static_cast<float>(number(n[0], "note step", 0, pattern.lengthSteps - 0.001)),
                                         key(n[1], "note key"),
                                         static_cast<float>(number(n[2], "note length", 0.01, 256)),
                                         integer(n[3], "note velocity", 1, 127)});
            }
        }
        if (const YAML::Node hits = p["hits"]) {
            requireList(hits, "hits");
            for (const YAML::Node& h : hits) {
                keys(h, "hits", {"pad", "key", "steps", "velocity", "length"});
                int k = 0;
                if (h["pad"] && !h["key"]) {
                    const std::string name = scalar(h["pad"], "pad");
                    const auto found = std::find(padNames.begin(), padNames.end(), name);
                    if (name.empty() || found == padNames.end()) fail(h["pad"], "this track's kit has no pad named \"" + name + "\"");
                    k = drums::kDefaultPadNotes[found - padNames.begin()];
                } else if (h["key"] && !h["pad"]) {
                    k = key(h["key"], "hit key");
                } else {
                    fail(h, "hits name either a pad or a key");
                }
                if (!h["steps"]) fail(h, "hits without steps");
                const YAML::Node steps = h["steps"];
                requireList(steps, "steps");
                const int velocity = h["velocity"] ? integer(h["velocity"], "velocity", 1, 127) : 110;
                const float length = h["length"] ? static_cast<float>(number(h["length"], "length", 0.01, 256)) : 1.0f;
                for (const YAML::Node& st : steps)
                    pattern.notes.push_back({static_cast<float>(number(st, "step", 0, pattern.lengthSteps - 0.001)), k, length, velocity});
            }
        }
        if (pattern.notes.size() > kMaxPatternNotes) fail(p, "a pattern holds at most " + std::to_string(kMaxPatternNotes) + " notes");
        std::stable_sort(pattern.notes.begin(), pattern.notes.end(),
                         [](const PatternNoteSpec& a, const PatternNoteSpec& b) { return a.position < b.position; });
        track.patterns.push_back(pattern);
    }
}

void Reader::axis(const YAML::Node& node, TrackSpec& track, std::vector<BallTarget>& targets) const {
    const bool many = node.IsSequence();
    if (!many && !node.IsMap()) fail(node, "an axis is a target, or a list of targets");
    for (size_t i = 0; i < (many ? node.size() : 1); ++i) {
        const YAML::Node t = many ? node[i] : node;
        keys(t, "a ball target", {"module", "mix", "insert1", "insert2", "range"});
        const char* const kinds[4] = {"module", "mix", "insert1", "insert2"};
        BallTarget target;
        int given = 0;
        for (int k = 0; k < 4; ++k)
            if (t[kinds[k]]) {
                target.kind = k;
                ++given;
            }
        if (given != 1) fail(t, "a ball target names one of module, mix, insert1 or insert2");
        const YAML::Node nameNode = t[kinds[target.kind]];
        const std::string name = scalar(nameNode, "target");
        if (target.kind == 1) {
            target.index = -1;
            for (int m = 0; m < kNumMixParameters; ++m)
                if (name == mixParameterName(m)) target.index = m;
            if (target.index < 0) fail(nameNode, "the mixer has no parameter \"" + name + "\"");
        } else {
            const SlotSpec& s = target.kind == 0 ? track.instrument : track.inserts[target.kind - 2];
            if (!s.used()) fail(nameNode, std::string("the track has no ") + (target.kind == 2 ? "insert 1" : "insert 2"));
            target.index = parameterByName(*s.module, name);
            if (target.index < 0) fail(nameNode, "the module has no parameter \"" + name + "\"");
        }
        if (!placeable(track, target)) fail(nameNode, "a ball cannot be placed from \"" + name + "\" (mix targets: Level, Pan, Send levels, band gains)");
        // A send at level 0 is switched off and the equaliser without an eq
        // section is off: a ball moving their levels would not be heard.
        if (target.kind == 1 && target.index >= kMixFirstSendLevel && target.index <= kMixLastSendLevel) {
            const size_t send = static_cast<size_t>((target.index - kMixFirstSendLevel) / 2);
            if (track.sendOn[send] == 0.0f)
                fail(nameNode, "\"" + name + "\" moves a send that is off on this track: give send " +
                                   std::to_string(send + 1) + " a level under sends");
        }
        if (target.kind == 1 && target.index >= kMixFirstBandParameter && target.index <= kMixLastBandParameter &&
            track.eqOn == 0.0f)
            fail(nameNode, "\"" + name + "\" moves a band of an equaliser that is off: give the track an eq section");
        const YAML::Node range = t["range"];
        if (!range) fail(t, "a ball target needs its range [from, to] on the 0-128 scale");
        if (!range.IsSequence() || range.size() != 2) fail(range, "a range is [from, to]");
        target.minimum = static_cast<float>(number(range[0], "range start", 0, 128));
        target.maximum = static_cast<float>(number(range[1], "range end", 0, 128));
        if (target.minimum == target.maximum) fail(range, "a range from a value to itself does nothing");
        targets.push_back(target);
    }
}

BallSpec Reader::ball(const YAML::Node& node, TrackSpec& track) const {
    keys(node, "a ball", {"name", "x", "y", "x_position", "y_position", "random_rate", "midi", "fly"});
    BallSpec b;
    if (!node["name"]) fail(node, "every ball is named for what it does");
    b.name = text(node["name"], "ball name", kMaxBallName);
    if (node["x"]) axis(node["x"], track, b.horizontal);
    if (node["y"]) axis(node["y"], track, b.vertical);
    if (b.horizontal.empty() && b.vertical.empty()) fail(node, "ball \"" + b.name + "\" has no targets");
    if (const YAML::Node p = node["x_position"]) {
        if (!b.horizontal.empty()) fail(p, "x_position is where a ball without x targets rests; with targets the position comes from them");
        b.x = static_cast<float>(number(p, "x_position", 0, 127));
    }
    if (const YAML::Node p = node["y_position"]) {
        if (!b.vertical.empty()) fail(p, "y_position is where a ball without y targets rests; with targets the position comes from them");
        b.y = static_cast<float>(number(p, "y_position", 0, 127));
    }
    if (node["random_rate"]) b.randomRate = integer(node["random_rate"], "random_rate", 0, 64);
    if (const YAML::Node midi = node["midi"]) {
        keys(midi, "ball midi", {"channel", "x_controller", "y_controller"});
        if (midi["channel"]) b.midiChannel = integer(midi["channel"], "ball midi channel", 0, 16);
        if (midi["x_controller"]) b.xController = integer(midi["x_controller"], "x_controller", 0, 127);
        if (midi["y_controller"]) b.yController = integer(midi["y_controller"], "y_controller", 0, 127);
    }
    if (const YAML::Node fly = node["fly"]) {
        keys(fly, "ball fly", {"on", "speed", "direction"});
        b.flyOn = fly["on"] ? (flag(fly["on"], "fly on") ? 1.0f : 0.0f) : 1.0f;
        if (fly["speed"]) b.flySpeed = static_cast<float>(number(fly["speed"], "fly speed", 0, 1));
        if (fly["direction"]) b.flyDirection = static_cast<float>(number(fly["direction"], "fly direction", 0, 1));
    }
    return b;
}

TrackSpec Reader::track(const YAML::Node& node) {
    keys(node, "a track", {"title", "instrument", "inserts", "level", "pan", "midi_channel", "key_from", "key_to", "keyboard",
                           "keyboard_gated", "crossfade_group", "arpeggiator", "sends", "eq", "pattern_mode", "swing", "pattern_selected",
                           "patterns", "balls"});
    TrackSpec t;
    if (!node["title"]) fail(node, "every track has a title");
    t.title = text(node["title"], "track title", kMaxTitle);
    if (!node["instrument"]) fail(node, "track \"" + t.title + "\" has no instrument");
    std::vector<std::string> padNames;
    t.instrument = slot(node["instrument"], "the instrument", true, false, &padNames);
    if (const YAML::Node inserts = node["inserts"]) {
        keys(inserts, "inserts", {"1", "2"});
        for (const auto& e : inserts) {
            const size_t k = e.first.Scalar() == "1" ? 0 : 1;
            t.inserts[k] = slot(e.second, "insert " + e.first.Scalar(), false, true);
        }
    }
    if (node["level"]) t.level = static_cast<float>(number(node["level"], "level", 0, 127));
    if (node["pan"]) t.pan = static_cast<float>(number(node["pan"], "pan", -1, 1));
    if (const YAML::Node c = node["midi_channel"]) t.midiChannel = scalar(c, "midi_channel") == "all" ? 1 : integer(c, "midi_channel", 1, 16) + 1;
    if (node["key_from"]) t.keyFrom = key(node["key_from"], "key_from");
    if (node["key_to"]) t.keyTo = key(node["key_to"], "key_to");
    if (t.keyFrom >= t.keyTo) fail(node, "key_from must lie below key_to");
    if (node["keyboard"]) t.keyboardOn = flag(node["keyboard"], "keyboard") ? 1.0f : 0.0f;
    if (node["keyboard_gated"]) t.keyboardGated = flag(node["keyboard_gated"], "keyboard_gated") ? 1.0f : 0.0f;
    if (const YAML::Node group = node["crossfade_group"]) {
        const std::string g = scalar(group, "crossfade_group");
        if (g == "A") t.crossfadeA = 1.0f;
        else if (g == "B") t.crossfadeB = 1.0f;
        else fail(group, "crossfade_group is A or B, not \"" + g + "\"");
    }
    if (node["arpeggiator"]) arpeggiator(node["arpeggiator"], t);
    if (node["sends"]) sends(node["sends"], t);
    if (node["eq"]) equaliser(node["eq"], t);
    if (const YAML::Node m = node["pattern_mode"]) {
        const std::string mode = scalar(m, "pattern_mode");
        if (mode == "loop") t.stepMode = 1;
        else if (mode == "chain") t.stepMode = 2;
        else if (mode == "random") t.stepMode = 3;
        else fail(m, "pattern_mode must be loop, chain or random, not \"" + mode + "\"");
    }
    if (node["swing"]) t.swing = static_cast<float>(number(node["swing"], "swing", 0, 1));
    if (node["pattern_selected"]) t.patternSelected = integer(node["pattern_selected"], "pattern_selected", 0, kPatterns - 1);
    if (node["patterns"]) patterns(node["patterns"], t, padNames);
    if (const YAML::Node balls = node["balls"]) {
        requireList(balls, "balls");
        if (balls.size() > kMaxBallsPerTrack) fail(balls, "a track has at most four balls");
        for (const YAML::Node& b : balls) t.balls.push_back(ball(b, t));
    }
    return t;
}

void Reader::demo(const YAML::Node& node, ProjectSpec& project) const {
    requireList(node, "demo");
    for (const YAML::Node& part : node) {
        keys(part, "a demo part", {"channel", "events", "repeat", "every", "transpose"});
        const int channel = part["channel"] ? integer(part["channel"], "channel", 1, 16) - 1 : 0;
        const int repeat = part["repeat"] ? integer(part["repeat"], "repeat", 1, 64) : 1;
        double every = 0.0;
        if (part["every"]) every = number(part["every"], "every", 1, kMaxDemoSteps);
        else if (repeat > 1) fail(part, "a repeated part says how many steps apart its repeats start (every)");
        std::vector<int> transpose;
        if (const YAML::Node t = part["transpose"]) {
            requireList(t, "transpose");
            if (t.size() == 0) fail(t, "transpose lists at least one shift");
            for (const YAML::Node& s : t) transpose.push_back(integer(s, "transpose", -48, 48));
        }
        if (!part["events"]) fail(part, "a demo part without events");
        const YAML::Node events = part["events"];
        requireList(events, "events");
        for (int r = 0; r < repeat; ++r) {
            const int shift = transpose.empty() ? 0 : transpose[static_cast<size_t>(r) % transpose.size()];
            for (const YAML::Node& e : events) {
                if (!e.IsSequence() || e.size() < 3)
                    fail(e, "a demo event is [step, key, length, velocity], [step, pedal, down|up], [step, cc, number, value] or [step, bend, value]");
                const double step = static_cast<double>(r) * every + number(e[0], "event step", 0, kMaxDemoSteps);
                const std::string kind = e[1].IsScalar() ? e[1].Scalar() : std::string();
                if (kind == "pedal") {
                    if (e.size() != 3) fail(e, "a pedal event is [step, pedal, down|up]");
                    const std::string state = scalar(e[2], "pedal");
                    if (state != "down" && state != "up") fail(e[2], "the pedal goes down or up");
                    project.demo.push_back({step, 0xB0 | channel, 64, state == "down" ? 127 : 0});
                } else if (kind == "cc") {
                    if (e.size() != 4) fail(e, "a controller event is [step, cc, number, value]");
                    project.demo.push_back({step, 0xB0 | channel, integer(e[2], "controller", 0, 119), integer(e[3], "controller value", 0, 127)});
                } else if (kind == "bend") {
                    if (e.size() != 3) fail(e, "a bend event is [step, bend, value -8192 to 8191]");
                    const int bend = integer(e[2], "bend", -8192, 8191) + 8192;
                    project.demo.push_back({step, 0xE0 | channel, bend & 127, bend >> 7});
                } else {
                    // A note, or a chord: [step, [key, key, ...], length, velocity].
                    if (e.size() != 4) fail(e, "a note is [step, key, length, velocity]");
                    const double length = number(e[2], "note length", 0.01, kMaxDemoSteps);
                    const int velocity = integer(e[3], "note velocity", 1, 127);
                    const bool chord = e[1].IsSequence();
                    if (chord && e[1].size() == 0) fail(e[1], "a chord holds at least one key");
                    for (size_t i = 0; i < (chord ? e[1].size() : 1); ++i) {
                        const YAML::Node keyNode = chord ? e[1][i] : e[1];
                        const int k = key(keyNode, "note key") + shift;
                        if (k < 0 || k > 127) fail(keyNode, "the transposed key lies outside 0 to 127");
                        project.demo.push_back({step, 0x90 | channel, k, velocity});
                        project.demo.push_back({step + length, 0x80 | channel, k, 0});
                    }
                }
                if (project.demo.back().step > kMaxDemoSteps) fail(e, "the demonstration runs past 64 bars");
                if (project.demo.size() > kMaxDemoEvents) fail(e, "the demonstration holds too many events");
            }
        }
    }
}

ProjectSpec Reader::project(const YAML::Node& root) {
    keys(root, "a project", {"name", "about", "tempo", "mute_key", "master", "tracks", "demo"});
    ProjectSpec p;
    if (!root["name"]) fail(root, "the project has no name");
    p.name = text(root["name"], "name", kMaxProjectName);
    for (char c : p.name)
        if (!std::isupper(static_cast<unsigned char>(c)) && !std::isdigit(static_cast<unsigned char>(c)))
            fail(root["name"], "a project name is upper-case letters and digits, not \"" + p.name + "\"");
    if (root["about"]) scalar(root["about"], "about");
    if (root["tempo"]) p.tempo = static_cast<float>(number(root["tempo"], "tempo", 40, 300));
    if (const YAML::Node mute = root["mute_key"]) {
        // "mute_key: C1", or "mute_key: {key: C1, switch: on}".
        p.muteKeyGiven = true;
        if (mute.IsMap()) {
            keys(mute, "mute_key", {"key", "switch"});
            if (!mute["key"]) fail(mute, "mute_key names its key");
            p.muteKey = key(mute["key"], "mute key");
            if (mute["switch"]) p.muteKeySwitch = flag(mute["switch"], "mute key switch");
        } else {
            p.muteKey = key(mute, "mute key");
        }
    }
    if (const YAML::Node master = root["master"]) {
        keys(master, "master", {"level", "crossfade", "inserts", "sends"});
        if (master["level"]) p.masterLevel = static_cast<float>(number(master["level"], "master level", 0, 127));
        if (master["crossfade"]) p.crossfade = static_cast<float>(number(master["crossfade"], "crossfade", 0, 127));
        if (const YAML::Node inserts = master["inserts"]) {
            keys(inserts, "master inserts", {"1", "2"});
            for (const auto& e : inserts)
                p.masterInserts[e.first.Scalar() == "1" ? 0 : 1] = slot(e.second, "master insert " + e.first.Scalar(), false, true);
        }
        if (const YAML::Node sends = master["sends"]) {
            keys(sends, "master sends", {"1", "2", "3", "4"});
            for (const auto& e : sends)
                p.sends[static_cast<size_t>(std::stoi(e.first.Scalar()) - 1)] = slot(e.second, "send " + e.first.Scalar(), false, false);
        }
    }
    if (!root["tracks"]) fail(root, "the project has no tracks");
    const YAML::Node tracks = root["tracks"];
    requireList(tracks, "tracks");
    if (tracks.size() == 0 || tracks.size() > kMaxTracks) fail(tracks, "a project has 1 to 8 tracks");
    size_t satellites = 0;
    for (const YAML::Node& t : tracks) {
        p.tracks.push_back(track(t));
        satellites += p.tracks.back().balls.size();
    }
    if (satellites > kMaxSatellites) fail(tracks, "the host reaches 32 satellites; this project has " + std::to_string(satellites));
    if (!root["demo"]) fail(root, "the project has no demonstration");
    demo(root["demo"], p);
    if (p.demo.empty()) fail(root["demo"], "the demonstration plays nothing");
    return p;
}

}  // namespace

ProjectSpec readProjectText(const std::string& text, const std::string& sourceName) {
    YAML::Node root;
    try {
        root = YAML::Load(text);
    } catch (const YAML::Exception& e) {
        std::ostringstream m;
        m << sourceName;
        if (e.mark.line >= 0) m << ":" << e.mark.line + 1;
        m << ": " << e.msg;
        throw LibraryError(m.str());
    }
    try {
        return Reader(sourceName).project(root);
    } catch (const YAML::Exception& e) {
        // Conversions the reader did not foresee still name their place.
        std::ostringstream m;
        m << sourceName;
        if (e.mark.line >= 0) m << ":" << e.mark.line + 1;
        m << ": " << e.msg;
        throw LibraryError(m.str());
    }
}

ProjectSpec readProjectFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw LibraryError(file.string() + ": cannot be read");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ProjectSpec project = readProjectText(text, file.string());
    if (file.stem().string() != project.name || file.extension() != ".yaml")
        throw LibraryError(file.string() + ": the file of project " + project.name + " is called " + project.name + ".yaml");
    return project;
}

}  // namespace projectgen
