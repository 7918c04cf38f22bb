// A minimal host for driving the synth through its AEffect record, as the
// module host does, plus the signal measurements only the synth tests make.
#pragma once

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <vector>

#include "modulehost/module_registry.h"
#include "modules/synth_module.h"
#include "modules/synth_params.h"
#include "tests/support/module_test_host.h"

namespace synth_test {

inline VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class SynthHost : public test_support::ModuleTestHost {
public:
    explicit SynthHost(const char* moduleKey = "KavoSynthI", float sampleRate = 44100.0f) {
        const ModuleClassEntry* entry = findModuleClass(moduleKey);
        if (entry != nullptr) effect_ = entry->create(hostCallback);
        open(effect_, sampleRate);
    }

    bool ok() const { return fx_ != nullptr; }
    EffectSynth& synth() { return *static_cast<EffectSynth*>(effect_); }

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

    void noteOn(int note, int velocity = 127, int delta = 0) { send({{delta, 0x90, note, velocity}}); }
    void noteOff(int note, int delta = 0) { send({{delta, 0x80, note, 0}}); }
    void controller(int number, int value, int delta = 0) { send({{delta, 0xB0, number, value}}); }

    // Renders frames in blocks of blockFrames; returns left, fills right.
    std::vector<float> render(int frames, std::vector<float>* right = nullptr, int blockFrames = 512) {
        return renderStereo(frames, right, blockFrames);
    }

private:
    AudioEffectX* effect_ = nullptr;
};

using test_support::peak;
using test_support::pitchHz;
using test_support::rms;
using test_support::toneAmplitude;

inline double toDb(double gain) { return 20.0 * std::log10(gain); }

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
