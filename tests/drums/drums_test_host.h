// Drives the drum machine through its AEffect record, as the module host
// does, over a sample library of test tones built here, and records the
// automation requests it sends to its host.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "modules/drums_module.h"
#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"
#include "tests/samples/sample_file_builder.h"
#include "tests/support/memory_resources.h"
#include "tests/support/module_test_host.h"

namespace drums_test {

using test_files::Bytes;

constexpr double kPi = 3.14159265358979323846;

// One 16-bit mono WAV of a sine (amplitude in full scale).
inline Bytes sineWav(double hz, int frames, uint32_t rateHz = 44100, double amplitude = 0.5) {
    Bytes data;
    for (int i = 0; i < frames; ++i) {
        const double v = std::sin(2.0 * kPi * hz * i / rateHz) * amplitude * 32767.0;
        test_files::putLe16(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v))));
    }
    test_files::WavFormatFields f;
    f.rateHz = rateHz;
    return test_files::wavFile(f, data);
}

// A constant value: a sound that never crosses zero.
inline Bytes constantWav(int16_t value, int frames) {
    Bytes data;
    for (int i = 0; i < frames; ++i) test_files::putLe16(data, static_cast<uint16_t>(value));
    return test_files::wavFile(test_files::WavFormatFields{}, data);
}

// Resources as the plug-in carries them: packed entries and an index.
class TestStore {
public:
    void add(const std::string& fileName, const Bytes& file) {
        resources_.addWav(sample_store::storeKey(fileName.c_str()), file);
    }
    std::unique_ptr<SampleLibrary> build() { return std::make_unique<SampleLibrary>(resources_.lookup()); }

private:
    test_support::MemoryResources resources_;
};

// Pad k's default sample is a sine of padHz(k), one second long; the tones
// are whole numbers of periods per 44100 frames and far enough apart to be
// told apart in a spectrum.
inline double padHz(int pad) { return 441.0 + 220.5 * pad; }

inline std::unique_ptr<SampleLibrary> defaultKit(TestStore& store) {
    for (int k = 0; k < drum_samples::kPadNameCount; ++k)
        store.add(std::string(drum_samples::kDefaultNames[k]) + ".wav", sineWav(padHz(k), 44100));
    return store.build();
}

// What the module asked of its host, in order.
struct Automation {
    VstInt32 index;
    float value;
};
inline std::vector<Automation>& automation() {
    static std::vector<Automation> list;
    return list;
}

inline VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterAutomate) automation().push_back({index, opt});
    return opcode == audioMasterVersion ? 2400 : 0;
}

class DrumsHost : public test_support::ModuleTestHost {
public:
    DrumsHost(const SampleLibrary& library, bool bass = false, float sampleRate = 44100.0f) {
        drums_ = new EffectDrums(hostCallback, bass, &library);
        open(drums_, sampleRate);
        automation().clear();
    }

    EffectDrums& drums() { return *drums_; }

    void set(VstInt32 index, float value) { fx_->setParameter(fx_, index, value); }
    float get(VstInt32 index) { return fx_->getParameter(fx_, index); }
    void setPad(int pad, int param, float value) { set(pad * drums::kParamsPerPad + param, value); }
    std::string text(VstInt32 op, VstInt32 index) {
        char buffer[256] = {};
        dispatch(op, index, 0, buffer);
        return buffer;
    }

    void midi(int status, int d1, int d2, int delta = 0) { send({{delta, status, d1, d2}}); }
    void noteOn(int note, int velocity = 127, int delta = 0) { midi(0x90, note, velocity, delta); }
    void noteOff(int note, int delta = 0) { midi(0x80, note, 0, delta); }

    // Renders all six outputs, appended to the recorded ones.
    void render(int frames, int blockFrames = 256) {
        for (int done = 0; done < frames;) {
            const int n = std::min(blockFrames, frames - done);
            float* outs[drums::kOutputs];
            for (int k = 0; k < drums::kOutputs; ++k) {
                out[k].resize(out[k].size() + static_cast<size_t>(n));
                outs[k] = out[k].data() + out[k].size() - n;
            }
            fx_->processReplacing(fx_, nullptr, outs, n);
            done += n;
        }
    }
    std::vector<float> out[drums::kOutputs];

private:
    EffectDrums* drums_ = nullptr;
};

using test_support::peak;
using test_support::pitchHz;
using test_support::rms;
using test_support::toneAmplitude;

// Last frame whose magnitude exceeds the threshold, or -1.
inline long lastAbove(const std::vector<float>& x, double threshold) {
    for (size_t i = x.size(); i-- > 0;)
        if (std::fabs(x[i]) > threshold) return static_cast<long>(i);
    return -1;
}

// First frame whose magnitude exceeds the threshold, or -1.
inline long firstAbove(const std::vector<float>& x, double threshold, size_t from = 0) {
    for (size_t i = from; i < x.size(); ++i)
        if (std::fabs(x[i]) > threshold) return static_cast<long>(i);
    return -1;
}

}  // namespace drums_test
