#include "bench/compare/test_signals.h"

#include <cmath>
#include <cstddef>

namespace benchcompare {

namespace {

class NoiseSource {
public:
    explicit NoiseSource(uint32_t seed) : state_(seed) {}
    float next() {  // -1 .. 1
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<float>(state_) * (2.0f / 4294967296.0f) - 1.0f;
    }

private:
    uint32_t state_;
};

}  // namespace

StereoSignal swellingNoise(double sampleRate, double seconds) {
    constexpr double kPeak = 0.9;
    constexpr double kSwellHz = 2.0;
    constexpr double kDepthDb = 20.0;
    const size_t frames = static_cast<size_t>(std::llround(sampleRate * seconds));
    StereoSignal signal;
    signal.left.resize(frames);
    signal.right.resize(frames);
    NoiseSource left(0x1234567u), right(0x89abcdefu);
    const double twoPi = 6.283185307179586;
    for (size_t n = 0; n < frames; ++n) {
        const double phase = twoPi * kSwellHz * static_cast<double>(n) / sampleRate;
        const double db = -0.5 * kDepthDb * (1.0 - std::cos(phase));
        const float gain = static_cast<float>(kPeak * std::pow(10.0, db / 20.0));
        signal.left[n] = gain * left.next();
        signal.right[n] = gain * right.next();
    }
    return signal;
}

HeldChord::HeldChord(int notes, int lowestKey) : midi_(static_cast<size_t>(notes)) {
    // VstEvents is declared with two pointers; the list runs past them.
    const size_t bytes = sizeof(VstEvents) + sizeof(VstEvent*) * static_cast<size_t>(notes);
    storage_.assign((bytes + sizeof(VstIntPtr) - 1) / sizeof(VstIntPtr), 0);
    VstEvents* list = events();
    list->numEvents = notes;
    list->reserved = 0;
    for (int i = 0; i < notes; ++i) {
        VstMidiEvent& e = midi_[static_cast<size_t>(i)];
        e = VstMidiEvent{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = 0;
        e.midiData[0] = static_cast<char>(0x90);
        e.midiData[1] = static_cast<char>(lowestKey + 3 * i);
        e.midiData[2] = 100;
        list->events[i] = reinterpret_cast<VstEvent*>(&e);
    }
}

}  // namespace benchcompare
