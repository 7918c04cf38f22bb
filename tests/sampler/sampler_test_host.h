// Drives the sampler through its AEffect record as the module host does,
// with a sample library of test signals whose values tell where playback
// is, and a host callback whose time information the tests control.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"
#include "modules/sampler_module.h"
#include "tests/samples/sample_file_builder.h"
#include "tests/support/memory_resources.h"
#include "tests/support/module_test_host.h"

namespace sampler_test {

using test_files::Bytes;

// What the host answers to audioMasterGetTime; null: no time information.
inline VstTimeInfo*& hostTime() {
    static VstTimeInfo* time = nullptr;
    return time;
}

inline VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(hostTime());
    return 0;
}

// Ramp: frame i holds the value i, so output × 32768 reads the play
// position. Sine440 / Sine440Low: 440 Hz at 44.1 and 22.05 kHz. One, Two,
// Three: constant 1000, 2000, 3000 (a part is told apart by its level).
constexpr int kRampFrames = 30000;

inline Bytes monoWav(const std::vector<int16_t>& values, uint32_t rateHz) {
    test_files::WavFormatFields f;
    f.rateHz = rateHz;
    Bytes data;
    for (int16_t v : values) test_files::putLe16(data, static_cast<uint16_t>(v));
    return test_files::wavFile(f, data);
}

inline Bytes sineWav(double hz, uint32_t rateHz, double seconds) {
    std::vector<int16_t> v(static_cast<size_t>(rateHz * seconds));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<int16_t>(std::lround(16000.0 * std::sin(2.0 * 3.14159265358979 * hz * i / rateHz)));
    return monoWav(v, rateHz);
}

class TestLibrary {
public:
    TestLibrary() {
        std::vector<int16_t> ramp(kRampFrames);
        for (int i = 0; i < kRampFrames; ++i) ramp[static_cast<size_t>(i)] = static_cast<int16_t>(i);
        resources_.addWav("Ramp.wav", monoWav(ramp, 44100));
        resources_.addWav("Sine440.wav", sineWav(440.0, 44100, 2.0));
        resources_.addWav("Sine440Low.wav", sineWav(440.0, 22050, 2.0));
        resources_.addWav("One.wav", monoWav(std::vector<int16_t>(20000, 1000), 44100));
        resources_.addWav("Two.wav", monoWav(std::vector<int16_t>(20000, 2000), 44100));
        resources_.addWav("Three.wav", monoWav(std::vector<int16_t>(20000, 3000), 44100));
        library_ = std::make_unique<SampleLibrary>(resources_.lookup());
    }
    const SampleLibrary& library() const { return *library_; }

private:
    test_support::MemoryResources resources_;
    std::unique_ptr<SampleLibrary> library_;
};

inline const SampleLibrary& testLibrary() {
    static TestLibrary library;
    return library.library();
}

class SamplerHost : public test_support::ModuleTestHost {
public:
    explicit SamplerHost(float sampleRate = 44100.0f, const SampleLibrary* library = &testLibrary()) {
        sampler_ = new EffectSampler(hostCallback, library);
        open(sampler_, sampleRate);
    }

    EffectSampler& sampler() { return *sampler_; }

    void set(int part, int param, float value) { fx_->setParameter(fx_, part * 32 + param, value); }
    float get(int part, int param) { return fx_->getParameter(fx_, part * 32 + param); }
    // Names a part's sample and loads it, as an editor would.
    void load(int part, const char* name) {
        sampler_->setPartFileName(part, name);
        set(part, sampler::kWave, 0.0f);
    }

    void noteOn(int note, int velocity = 127) { send({{0, 0x90, note, velocity}}); }
    void noteOff(int note) { send({{0, 0x80, note, 0}}); }
    void controller(int number, int value) { send({{0, 0xB0, number, value}}); }

    std::vector<float> render(int frames, std::vector<float>* right = nullptr, int blockFrames = 512) {
        return renderStereo(frames, right, blockFrames);
    }

private:
    EffectSampler* sampler_ = nullptr;
};

using test_support::peak;
using test_support::pitchHz;
using test_support::rms;

// Output value as a position in the ramp (unity gain, centre pan).
inline double rampPosition(float value) { return static_cast<double>(value) * 32768.0; }

}  // namespace sampler_test
