// A minimal host for driving the synth through its AEffect record, as the
// module host does, plus the signal measurements the tests share.
#pragma once

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <vector>

#include "modulehost/module_registry.h"
#include "modules/synth_module.h"
#include "modules/synth_params.h"

namespace synth_test {

inline VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class SynthHost {
public:
    explicit SynthHost(const char* moduleKey = "KavoSynthI", float sampleRate = 44100.0f) {
        const ModuleClassEntry* entry = findModuleClass(moduleKey);
        if (entry != nullptr) effect_ = entry->create(hostCallback);
        if (effect_ == nullptr) return;
        fx_ = effect_->getAeffect();
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
        dispatch(effSetBlockSize, 0, 512);
        dispatch(effMainsChanged, 0, 1);
    }
    ~SynthHost() {
        if (fx_ != nullptr) dispatch(effClose);  // deletes the module
    }
    SynthHost(const SynthHost&) = delete;
    SynthHost& operator=(const SynthHost&) = delete;

    bool ok() const { return fx_ != nullptr; }
    AEffect* fx() { return fx_; }
    EffectSynth& synth() { return *static_cast<EffectSynth*>(effect_); }

    VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return fx_->dispatcher(fx_, op, index, value, ptr, opt);
    }
    void set(VstInt32 index, float value) { fx_->setParameter(fx_, index, value); }
    float get(VstInt32 index) { return fx_->getParameter(fx_, index); }
    std::string display(VstInt32 index) {
        char text[64] = {};
        dispatch(effGetParamDisplay, index, 0, text);
        return text;
    }
    std::string name(VstInt32 index) {
        char text[64] = {};
        dispatch(effGetParamName, index, 0, text);
        return text;
    }

    // Queues MIDI events; each is {deltaFrames, status, data1, data2}.
    struct Midi {
        int delta;
        int status;
        int data1;
        int data2;
    };
    VstIntPtr send(std::initializer_list<Midi> events) { return send(std::vector<Midi>(events)); }
    VstIntPtr send(const std::vector<Midi>& events) {
        std::vector<VstMidiEvent> storage(events.size());
        std::vector<char> list(sizeof(VstEvents) + sizeof(VstEvent*) * events.size());
        auto* ve = reinterpret_cast<VstEvents*>(list.data());
        ve->numEvents = static_cast<VstInt32>(events.size());
        auto** slots = ve->events;
        size_t i = 0;
        for (const Midi& m : events) {
            VstMidiEvent& e = storage[i];
            std::memset(&e, 0, sizeof(e));
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = m.delta;
            e.midiData[0] = static_cast<char>(m.status);
            e.midiData[1] = static_cast<char>(m.data1);
            e.midiData[2] = static_cast<char>(m.data2);
            slots[i] = reinterpret_cast<VstEvent*>(&e);
            ++i;
        }
        return dispatch(effProcessEvents, 0, 0, ve);
    }
    void noteOn(int note, int velocity = 127, int delta = 0) { send({{delta, 0x90, note, velocity}}); }
    void noteOff(int note, int delta = 0) { send({{delta, 0x80, note, 0}}); }
    void controller(int number, int value, int delta = 0) { send({{delta, 0xB0, number, value}}); }

    // Renders frames in blocks of blockFrames; returns left, fills right.
    std::vector<float> render(int frames, std::vector<float>* right = nullptr, int blockFrames = 512) {
        std::vector<float> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
        for (int done = 0; done < frames;) {
            const int n = std::min(blockFrames, frames - done);
            float* outs[2] = {l.data() + done, r.data() + done};
            fx_->processReplacing(fx_, nullptr, outs, n);
            done += n;
        }
        if (right != nullptr) *right = r;
        return l;
    }

    std::vector<char> chunk(bool preset) {
        void* data = nullptr;
        const auto size = dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
        std::vector<char> bytes(static_cast<const char*>(data), static_cast<const char*>(data) + size);
        delete[] static_cast<char*>(data);
        return bytes;
    }
    VstIntPtr setChunk(std::vector<char> bytes, bool preset) {
        return dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
    }

private:
    AudioEffectX* effect_ = nullptr;
    AEffect* fx_ = nullptr;
};

// Fundamental frequency from upward zero crossings with linear
// interpolation, over the samples from `from` on.
inline double pitchHz(const std::vector<float>& x, double sampleRate, size_t from = 0) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = std::max<size_t>(from, 1); i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = static_cast<double>(i - 1) + x[i - 1] / static_cast<double>(x[i - 1] - x[i]);
            if (first < 0.0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * sampleRate / (last - first);
}

inline double rms(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

inline double peak(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0.0;
    for (size_t i = from; i < to; ++i) p = std::max(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

inline double toDb(double gain) { return 20.0 * std::log10(gain); }

// Amplitude of the component at hz (Hann-windowed correlation).
inline double toneAmplitude(const std::vector<float>& x, double hz, double sampleRate, size_t from, size_t to) {
    const double pi = 3.14159265358979323846;
    double s = 0.0, c = 0.0, wsum = 0.0;
    const double n = static_cast<double>(to - from);
    for (size_t i = from; i < to; ++i) {
        const double k = static_cast<double>(i - from);
        const double w = 0.5 - 0.5 * std::cos(2.0 * pi * k / n);
        const double a = 2.0 * pi * hz * static_cast<double>(i) / sampleRate;
        s += w * x[i] * std::sin(a);
        c += w * x[i] * std::cos(a);
        wsum += w;
    }
    return 2.0 * std::sqrt(s * s + c * c) / wsum;
}

// Mean power of x in the band lo..hi Hz, from an averaged periodogram of
// 4096-point Hann frames.
inline double bandPowerDb(const std::vector<float>& x, double sampleRate, double lo, double hi) {
    const double pi = 3.14159265358979323846;
    constexpr size_t kN = 4096;
    std::vector<double> power(kN / 2, 0.0);
    int frames = 0;
    for (size_t start = 0; start + kN <= x.size(); start += kN / 2, ++frames) {
        std::vector<std::complex<double>> a(kN);
        for (size_t i = 0; i < kN; ++i)
            a[i] = x[start + i] * (0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / kN));
        // Iterative radix-2 FFT.
        for (size_t i = 1, j = 0; i < kN; ++i) {
            size_t bit = kN >> 1;
            for (; j & bit; bit >>= 1) j ^= bit;
            j ^= bit;
            if (i < j) std::swap(a[i], a[j]);
        }
        for (size_t len = 2; len <= kN; len <<= 1) {
            const std::complex<double> w = std::polar(1.0, -2.0 * pi / static_cast<double>(len));
            for (size_t i = 0; i < kN; i += len) {
                std::complex<double> u(1.0, 0.0);
                for (size_t k = 0; k < len / 2; ++k) {
                    const auto t = a[i + k + len / 2] * u;
                    a[i + k + len / 2] = a[i + k] - t;
                    a[i + k] += t;
                    u *= w;
                }
            }
        }
        for (size_t k = 0; k < kN / 2; ++k) power[k] += std::norm(a[k]);
    }
    double sum = 0.0;
    int bins = 0;
    for (size_t k = 0; k < kN / 2; ++k) {
        const double hz = static_cast<double>(k) * sampleRate / kN;
        if (hz >= lo && hz <= hi) {
            sum += power[k];
            ++bins;
        }
    }
    if (bins == 0 || frames == 0) return -400.0;
    return 10.0 * std::log10(sum / bins / frames + 1e-30);
}

inline double noteHz(double note) { return 8.1757989 * std::pow(2.0, note / 12.0); }

}  // namespace synth_test
