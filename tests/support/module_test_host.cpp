#include "tests/support/module_test_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace test_support {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

VstIntPtr sendMidi(AEffect* fx, const std::vector<Midi>& events) {
    std::vector<VstMidiEvent> storage(events.size());
    // VstEvents declares two pointer slots; room for every event and one more.
    std::vector<char> list(sizeof(VstEvents) + sizeof(VstEvent*) * (events.size() + 1));
    auto* ve = reinterpret_cast<VstEvents*>(list.data());
    ve->numEvents = static_cast<VstInt32>(events.size());
    VstEvent** slots = ve->events;
    for (size_t i = 0; i < events.size(); ++i) {
        VstMidiEvent& e = storage[i];
        std::memset(&e, 0, sizeof(e));
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = events[i].delta;
        e.midiData[0] = static_cast<char>(events[i].status);
        e.midiData[1] = static_cast<char>(events[i].data1);
        e.midiData[2] = static_cast<char>(events[i].data2);
        slots[i] = reinterpret_cast<VstEvent*>(&e);
    }
    return fx->dispatcher(fx, effProcessEvents, 0, 0, ve, 0.0f);
}

void ModuleTestHost::open(AudioEffectX* module, float sampleRate) {
    if (module == nullptr) return;
    fx_ = module->getAeffect();
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(effSetBlockSize, 0, 512);
    dispatch(effMainsChanged, 0, 1);
}

std::vector<float> ModuleTestHost::renderStereo(int frames, std::vector<float>* right, int blockFrames) {
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

std::vector<char> ModuleTestHost::chunk(bool preset) {
    void* data = nullptr;
    const auto size = dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    std::vector<char> bytes(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    delete[] static_cast<char*>(data);
    return bytes;
}

VstIntPtr ModuleTestHost::setChunk(std::vector<char> bytes, bool preset) {
    return dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
}

double pitchHz(const std::vector<float>& x, double sampleRate, size_t from, size_t to) {
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

double rms(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i) sum += static_cast<double>(x[i]) * x[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

double peak(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i) p = std::max(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

double toneAmplitude(const std::vector<float>& x, double hz, double sampleRate, size_t from, size_t to) {
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

}  // namespace test_support
