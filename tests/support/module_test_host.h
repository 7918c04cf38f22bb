// What the module tests share: a minimal host that drives a module through
// its AEffect record as the module host does (open, rate, block size, MIDI
// event lists, stereo rendering, chunks), and the signal measurements the
// tests make on what it renders.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <limits>
#include <vector>

#include "vst/audioeffectx.h"

namespace test_support {

// One MIDI event: {deltaFrames, status, data1, data2}.
struct Midi {
    int delta;
    int status;
    int data1;
    int data2;
};

// Hands the events to the module in one VstEvents list; answers what
// effProcessEvents answers.
VstIntPtr sendMidi(AEffect* fx, const std::vector<Midi>& events);

class ModuleTestHost {
public:
    using Midi = test_support::Midi;

    ModuleTestHost(const ModuleTestHost&) = delete;
    ModuleTestHost& operator=(const ModuleTestHost&) = delete;

    AEffect* fx() { return fx_; }

    VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return fx_->dispatcher(fx_, op, index, value, ptr, opt);
    }

    VstIntPtr send(std::initializer_list<Midi> events) { return sendMidi(fx_, std::vector<Midi>(events)); }
    VstIntPtr send(const std::vector<Midi>& events) { return sendMidi(fx_, events); }

    std::vector<char> chunk(bool preset);
    VstIntPtr setChunk(std::vector<char> bytes, bool preset);

protected:
    ModuleTestHost() = default;
    // Closing deletes the module.
    ~ModuleTestHost() {
        if (fx_ != nullptr) dispatch(effClose);
    }

    // Opens the module and sets the rate, a block size of 512 and mains on;
    // a null module leaves the host empty.
    void open(AudioEffectX* module, float sampleRate);
    // Renders two outputs in blocks of blockFrames; returns left, fills right.
    std::vector<float> renderStereo(int frames, std::vector<float>* right, int blockFrames);

    AEffect* fx_ = nullptr;
};

// Fundamental frequency from upward zero crossings with linear
// interpolation, over the samples from `from` up to `to`.
double pitchHz(const std::vector<float>& x, double sampleRate, size_t from = 0,
               size_t to = std::numeric_limits<size_t>::max());
// Over the samples from `from` up to `to`, those past the end counting as
// silence in rms.
double rms(const std::vector<float>& x, size_t from, size_t to);
double peak(const std::vector<float>& x, size_t from, size_t to);
// Amplitude of the component at hz (Hann-windowed correlation).
double toneAmplitude(const std::vector<float>& x, double hz, double sampleRate, size_t from, size_t to);

}  // namespace test_support
