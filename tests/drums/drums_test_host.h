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
        std::string key = sample_store::storeKey(fileName.c_str());
        entries_[key] = sample_store::packEntry(sample_store::kMarkerWav, file.data(), file.size());
        index_ += key + "\n";
    }
    std::unique_ptr<SampleLibrary> build() {
        entries_[sample_store::kIndexResourceName] = Bytes(index_.begin(), index_.end());
        return std::make_unique<SampleLibrary>([this](const char* type, const char* name, platform::ResourceData& out) {
            if (std::string(type) != "DATA") return false;
            auto it = entries_.find(name);
            if (it == entries_.end()) return false;
            out.data = it->second.data();
            out.size = it->second.size();
            return true;
        });
    }

private:
    std::map<std::string, Bytes> entries_;
    std::string index_;
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

class DrumsHost {
public:
    DrumsHost(const SampleLibrary& library, bool bass = false, float sampleRate = 44100.0f) {
        drums_ = new EffectDrums(hostCallback, bass, &library);
        fx_ = drums_->getAeffect();
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
        dispatch(effSetBlockSize, 0, 512);
        dispatch(effMainsChanged, 0, 1);
        automation().clear();
    }
    ~DrumsHost() { dispatch(effClose); }
    DrumsHost(const DrumsHost&) = delete;
    DrumsHost& operator=(const DrumsHost&) = delete;

    EffectDrums& drums() { return *drums_; }
    AEffect* fx() { return fx_; }

    VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return fx_->dispatcher(fx_, op, index, value, ptr, opt);
    }
    void set(VstInt32 index, float value) { fx_->setParameter(fx_, index, value); }
    float get(VstInt32 index) { return fx_->getParameter(fx_, index); }
    void setPad(int pad, int param, float value) { set(pad * drums::kParamsPerPad + param, value); }
    std::string text(VstInt32 op, VstInt32 index) {
        char buffer[256] = {};
        dispatch(op, index, 0, buffer);
        return buffer;
    }

    void midi(int status, int d1, int d2, int delta = 0) {
        VstMidiEvent e;
        std::memset(&e, 0, sizeof(e));
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = delta;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(d1);
        e.midiData[2] = static_cast<char>(d2);
        VstEvents list;
        std::memset(&list, 0, sizeof(list));
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&e);
        dispatch(effProcessEvents, 0, 0, &list);
    }
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
    EffectDrums* drums_ = nullptr;
    AEffect* fx_ = nullptr;
};

inline double rms(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i) sum += static_cast<double>(x[i]) * x[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

inline double peak(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i) p = std::max(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

// Fundamental from upward zero crossings with linear interpolation.
inline double pitchHz(const std::vector<float>& x, double sampleRate, size_t from, size_t to) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = std::max<size_t>(from, 1); i < to && i < x.size(); ++i) {
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

// Amplitude of the component at hz (Hann-windowed correlation).
inline double toneAmplitude(const std::vector<float>& x, double hz, double sampleRate, size_t from, size_t to) {
    double s = 0.0, c = 0.0, wsum = 0.0;
    const double n = static_cast<double>(to - from);
    for (size_t i = from; i < to; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i - from) / n);
        const double a = 2.0 * kPi * hz * static_cast<double>(i) / sampleRate;
        s += w * x[i] * std::sin(a);
        c += w * x[i] * std::cos(a);
        wsum += w;
    }
    return 2.0 * std::sqrt(s * s + c * c) / wsum;
}

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
