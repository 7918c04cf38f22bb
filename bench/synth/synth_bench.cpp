// Synth render speed with 1, 4 and 16 sounding voices: two band-limited
// sawtooth oscillators through the four-pole low pass with its envelope,
// LFO1 on the pulse width, notes held at sustain. Reports frames per second
// and the cost of one voice-second.
#include <benchmark/benchmark.h>

#include <vector>

#include "modules/synth_module.h"

namespace {

using namespace synth;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

void sendNotes(EffectSynth& s, int voices) {
    std::vector<VstMidiEvent> events(static_cast<size_t>(voices));
    std::vector<char> storage(sizeof(VstEvents) + sizeof(VstEvent*) * static_cast<size_t>(voices));
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = voices;
    for (int i = 0; i < voices; ++i) {
        VstMidiEvent& e = events[static_cast<size_t>(i)];
        e = VstMidiEvent{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.midiData[0] = static_cast<char>(0x90);
        e.midiData[1] = static_cast<char>(40 + 3 * i);
        e.midiData[2] = 100;
        list->events[i] = reinterpret_cast<VstEvent*>(&e);
    }
    s.processEvents(list);
}

void BM_SynthVoices(benchmark::State& state) {
    const int voices = static_cast<int>(state.range(0));
    EffectSynth s(host, EffectSynth::kFlavourI);
    s.setSampleRate(44100.0f);
    s.setParameter(kDco1Wave, 0.25f);  // saw
    s.setParameter(kDco2Wave, 0.5f);   // pulse
    s.setParameter(kDco2Fine, 0.55f);
    s.setParameter(kDcoMix, 0.5f);
    s.setParameter(kDco2LfoPulse, 0.34f);
    s.setParameter(kLfo1Depth, 0.5f);
    s.setParameter(kLfo1Rate, 0.5f);
    s.setParameter(kFilterDco1, 1.0f);
    s.setParameter(kFilterDco2, 1.0f);
    s.setParameter(kFilterFrequency, 0.5f);
    s.setParameter(kFilterQ, 0.6f);
    s.setParameter(kFilterEnvelop, 0.8f);
    s.setParameter(kOutEnvSustain, 1.0f);
    s.setParameter(kOutEnvRelease, 1.0f);
    sendNotes(s, voices);
    constexpr int kBlock = 512;
    std::vector<float> left(kBlock), right(kBlock);
    float* outs[2] = {left.data(), right.data()};
    s.processReplacing(nullptr, outs, kBlock);  // notes start
    for (auto _ : state) {
        s.processReplacing(nullptr, outs, kBlock);
        benchmark::DoNotOptimize(left.data());
    }
    int sounding = 0;
    for (int i = 0; i < EffectSynth::kVoices; ++i) sounding += s.voice(i).sounding() ? 1 : 0;
    if (sounding != voices) state.SkipWithError("voices not sounding");
    const double frames = static_cast<double>(state.iterations()) * kBlock;
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["voice-s/s"] = benchmark::Counter(frames * voices / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SynthVoices)->Arg(1)->Arg(4)->Arg(16);

}  // namespace
