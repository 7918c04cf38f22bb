#include "bench/compare/comparisons.h"

namespace benchcompare {

// Settings aim at what a musician would call the same sound; where a peer
// shows only raw 0..127 steps, its own default program stands and Talvex is
// set to match the sound of it. Settings that only change coefficients (a
// cutoff, a time) hardly move the cost; settings that switch work on or off
// (filters, early reflections, look-ahead, oversampling) are matched.
std::vector<Comparison> comparisons(const std::string& vstFolder) {
    const std::string dir = vstFolder + "/";
    std::vector<Comparison> list;

    // Two detuned saws through a 24 dB low pass, notes held at full sustain.
    list.push_back({"synth",
                    true,
                    {"talvex:KavoSynthI",
                     {{"DCO1 Wave", "Saw"},
                      {"DCO2 Wave", "Saw"},
                      {"DCO2 Fine", "10"},
                      {"DCO Mix", "0"},
                      {"FILTER Dco1", "on"},
                      {"FILTER Dco2", "on"},
                      {"FILTER Type", "Low Pass"},
                      {"FILTER Pente", "24dB"},
                      {"FILTER Frequency", "2000"},
                      {"FILTER Q", "0.3"},
                      {"FILTER Envelop", "0"},
                      {"OUTPUT EnvAttack", "2"},
                      {"OUTPUT EnvSustain", "1"},
                      {"OUTPUT Level", "0"}}},
                    {dir + "amsynth_vst.so",
                     {{"osc1_waveform", "2"},  // saw (harmonics at -6, -9.5, -12 dB)
                      {"osc2_waveform", "2"},
                      {"osc2_detune", "1.0058"},  // 10 cents
                      {"osc_mix", "0"},
                      {"filter_type", "0"},   // low pass
                      {"filter_slope", "1"},  // 24 dB
                      {"filter_cutoff", "8"},
                      {"filter_resonance", "0.3"},
                      {"filter_env_amount", "0"},
                      {"amp_attack", "0.002"},
                      {"amp_sustain", "1"},
                      {"reverb_wet", "0"},
                      {"distortion_crunch", "0"}}},
                    0.2});

    // Talvex stereo against a mono peer: compared per channel.
    list.push_back({"reverb",
                    false,
                    {"talvex:KavoReverb",
                     {{"PreDelay", "0"},
                      {"Size", "22.4"},
                      {"Damp", "0.5"},
                      {"LowCut", "10"},
                      {"EarlyRef", "0.5"},
                      {"Mix", "0"},
                      {"Level", "0"},
                      {"Mono", "off"}}},
                    {dir + "MaFreeverb-vst.so", {{"fb1", "0.9"}, {"fb2", "0.5"}, {"damp", "0.5"}, {"spread", "0"}}},
                    0.6});

    list.push_back({"delay",
                    false,
                    {"talvex:KavoDelay",
                     {{"Time", "0.3"},
                      {"Feedback", "0.46"},
                      {"PingPong", "off"},
                      {"Filter", "off"},
                      {"Mix", "0"},
                      {"Pan", "0"},
                      {"Mono", "off"},
                      {"Level", "0"}}},
                    {dir + "ZynEcho.so", {{"Delay", "35"}, {"Feedback", "59"}, {"High Damp", "0"}}},
                    0.6});

    list.push_back({"chorus",
                    false,
                    {"talvex:KavoChorus", {{"Time", "12"}, {"Rate", "1"}, {"Depth", "0.4"}, {"Mix", "0"}, {"Level", "0"}}},
                    {dir + "ZynChorus.so", {{"Flange Mode", "0"}, {"Subtract Output", "0"}}},
                    0.6});

    list.push_back({"overdrive",
                    false,
                    {"talvex:KavoOverdrive",
                     {{"OverDrive", "50"},
                      {"FilterType", "Low Pass"},
                      {"FilterFrequency", "8000"},
                      {"FilterQ", "0.2"},
                      {"Mix", "1"},
                      {"Level", "0"}}},
                    {dir + "ZynDistortion.so", {{"Drive", "56"}, {"Type", "0"}, {"Low-Pass Filter", "96"}, {"High-Pass Filte", "0"}}},
                    0.6});

    // No flanger of its own in Debian's VST plug-ins: ZynChorus in its flange
    // mode is the nearest.
    list.push_back({"flanger",
                    false,
                    {"talvex:KavoFlanger",
                     {{"Time", "2"}, {"Rate", "0.5"}, {"Depth", "0.5"}, {"Feedback", "0.5"}, {"Mix", "0"}, {"Level", "0"}}},
                    {dir + "ZynChorus.so", {{"Flange Mode", "1"}, {"Subtract Output", "0"}}},
                    0.6});

    // A swept resonant filter: ZynDynamicFilter (a filter moved by an LFO and
    // the input's envelope) is the nearest; Talvex's LFO sweeps its filter.
    list.push_back({"filter",
                    false,
                    {"talvex:KavoFilter",
                     {{"FilterType", "Low Pass"},
                      {"FilterFrequency", "1000"},
                      {"FilterQ", "0.5"},
                      {"LfoRate", "1"},
                      {"LfoDepth", "0.5"},
                      {"Mix", "1"},
                      {"Level", "0"}}},
                    {dir + "ZynDynamicFilter.so", {}},
                    0.6});

    // Both RMS detection, stereo linked, no look-ahead.
    list.push_back({"compressor",
                    false,
                    {"talvex:KavoCompressor",
                     {{"Threshold", "-12"},
                      {"Lookahead", "0"},
                      {"Ratio", "4"},
                      {"Attack", "20"},
                      {"Release", "0.1"},
                      {"Knee", "6"},
                      {"Level", "0"}}},
                    {dir + "lsp-plugins/compressor-stereo.so",
                     {{"bypass", "off"},
                      {"scm", "RMS"},
                      {"sla", "0"},
                      {"al", "-12"},
                      {"at", "20"},
                      {"rt", "100"},
                      {"cr", "4"},
                      {"kn", "-6"},
                      {"mk", "0"}}},
                    0.6});

    // 2.5 ms look-ahead on both, no oversampling or dither on the peer.
    list.push_back({"limiter",
                    false,
                    {"talvex:KavoLimiter", {{"Threshold", "-6"}, {"Release", "0.013"}, {"Level", "0"}}},
                    {dir + "lsp-plugins/limiter-stereo.so",
                     {{"bypass", "off"},
                      {"th", "-6"},
                      {"lk", "2.5"},
                      {"rt", "13"},
                      {"ovs", "None"},
                      {"dith", "None"}}},
                    0.6});
    return list;
}

}  // namespace benchcompare
