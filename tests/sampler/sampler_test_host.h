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
        add("Ramp.wav", monoWav(ramp, 44100));
        add("Sine440.wav", sineWav(440.0, 44100, 2.0));
        add("Sine440Low.wav", sineWav(440.0, 22050, 2.0));
        add("One.wav", monoWav(std::vector<int16_t>(20000, 1000), 44100));
        add("Two.wav", monoWav(std::vector<int16_t>(20000, 2000), 44100));
        add("Three.wav", monoWav(std::vector<int16_t>(20000, 3000), 44100));
        for (const auto& e : entries_) index_ += e.first + "\n";
        library_ = std::make_unique<SampleLibrary>([this](const char* type, const char* name, platform::ResourceData& out) {
            if (std::strcmp(type, "DATA") != 0) return false;
            if (std::strcmp(name, "SampleIndex") == 0) {
                out.data = reinterpret_cast<const uint8_t*>(index_.data());
                out.size = index_.size();
                return true;
            }
            auto it = entries_.find(name);
            if (it == entries_.end()) return false;
            out.data = it->second.data();
            out.size = it->second.size();
            return true;
        });
    }
    const SampleLibrary& library() const { return *library_; }

private:
    void add(const std::string& key, const Bytes& file) {
        entries_[key] = sample_store::packEntry(sample_store::kMarkerWav, file.data(), file.size());
    }
    std::map<std::string, Bytes> entries_;
    std::string index_;
    std::unique_ptr<SampleLibrary> library_;
};

inline const SampleLibrary& testLibrary() {
    static TestLibrary library;
    return library.library();
}

class SamplerHost {
public:
    explicit SamplerHost(float sampleRate = 44100.0f, const SampleLibrary* library = &testLibrary()) {
        sampler_ = new EffectSampler(hostCallback, library);
        fx_ = sampler_->getAeffect();
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
        dispatch(effSetBlockSize, 0, 512);
        dispatch(effMainsChanged, 0, 1);
    }
    ~SamplerHost() { dispatch(effClose); }  // deletes the module
    SamplerHost(const SamplerHost&) = delete;
    SamplerHost& operator=(const SamplerHost&) = delete;

    EffectSampler& sampler() { return *sampler_; }
    AEffect* fx() { return fx_; }

    VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return fx_->dispatcher(fx_, op, index, value, ptr, opt);
    }
    void set(int part, int param, float value) { fx_->setParameter(fx_, part * 32 + param, value); }
    float get(int part, int param) { return fx_->getParameter(fx_, part * 32 + param); }
    // Names a part's sample and loads it, as an editor would.
    void load(int part, const char* name) {
        sampler_->setPartFileName(part, name);
        set(part, sampler::kWave, 0.0f);
    }

    struct Midi {
        int delta;
        int status;
        int data1;
        int data2;
    };
    VstIntPtr send(const std::vector<Midi>& events) {
        std::vector<VstMidiEvent> storage(events.size());
        std::vector<char> list(sizeof(VstEvents) + sizeof(VstEvent*) * (events.size() + 1));
        auto* ve = reinterpret_cast<VstEvents*>(list.data());
        ve->numEvents = static_cast<VstInt32>(events.size());
        for (size_t i = 0; i < events.size(); ++i) {
            VstMidiEvent& e = storage[i];
            std::memset(&e, 0, sizeof(e));
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = events[i].delta;
            e.midiData[0] = static_cast<char>(events[i].status);
            e.midiData[1] = static_cast<char>(events[i].data1);
            e.midiData[2] = static_cast<char>(events[i].data2);
            ve->events[i] = reinterpret_cast<VstEvent*>(&e);
        }
        return dispatch(effProcessEvents, 0, 0, ve);
    }
    void noteOn(int note, int velocity = 127) { send({{0, 0x90, note, velocity}}); }
    void noteOff(int note) { send({{0, 0x80, note, 0}}); }
    void controller(int number, int value) { send({{0, 0xB0, number, value}}); }

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
    EffectSampler* sampler_ = nullptr;
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

inline double peak(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i) p = std::max(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

inline double rms(const std::vector<float>& x, size_t from, size_t to) {
    double s = 0.0;
    for (size_t i = from; i < to; ++i) s += static_cast<double>(x[i]) * x[i];
    return to > from ? std::sqrt(s / static_cast<double>(to - from)) : 0.0;
}

// Output value as a position in the ramp (unity gain, centre pan).
inline double rampPosition(float value) { return static_cast<double>(value) * 32768.0; }

}  // namespace sampler_test
