#include "tests/effects_time/fx_test_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "modulehost/module_registry.h"

namespace fxtest {

namespace {

VstTimeInfo* gHostTime = nullptr;

VstIntPtr VSTCALLBACK testHostCallback(AEffect* /*effect*/, VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/,
                                       void* /*ptr*/, float /*opt*/) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterGetTime:
            return reinterpret_cast<VstIntPtr>(gHostTime);
        default:
            return 0;
    }
}

}  // namespace

void setHostTime(VstTimeInfo* info) { gHostTime = info; }

VstTimeInfo tempoRecord(double bpm) {
    VstTimeInfo info;
    std::memset(&info, 0, sizeof(info));
    info.sampleRate = 44100.0;
    info.tempo = bpm;
    info.flags = kVstTempoValid;
    return info;
}

HostedEffect::HostedEffect(const char* fileTitle, float sampleRate) {
    const ModuleClassEntry* entry = findModuleClass(fileTitle);
    if (entry == nullptr) throw std::runtime_error(std::string("no module class ") + fileTitle);
    AudioEffectX* object = entry->create(testHostCallback);
    effect_ = object->getAeffect();
    dispatch(effOpen);
    setSampleRate(sampleRate);
    dispatch(effSetBlockSize, 0, 256);
}

HostedEffect::~HostedEffect() {
    if (effect_ != nullptr) dispatch(effClose);
}

VstIntPtr HostedEffect::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void HostedEffect::setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }

void HostedEffect::set(int index, float value) { effect_->setParameter(effect_, index, value); }

float HostedEffect::get(int index) { return effect_->getParameter(effect_, index); }

std::string HostedEffect::name(int index) {
    char text[64];
    std::memset(text, 'x', sizeof(text));
    dispatch(effGetParamName, index, 0, text);
    return text;
}

std::string HostedEffect::display(int index) {
    char text[64];
    std::memset(text, 'x', sizeof(text));
    dispatch(effGetParamDisplay, index, 0, text);
    return text;
}

int HostedEffect::paramIndex(const std::string& parameterName) {
    for (int i = 0; i < effect_->numParams; ++i)
        if (name(i) == parameterName) return i;
    return -1;
}

Stereo HostedEffect::process(const Stereo& input, int blockFrames) {
    Stereo out(input.size());
    for (size_t at = 0; at < input.size(); at += static_cast<size_t>(blockFrames)) {
        const auto n = static_cast<VstInt32>(std::min(static_cast<size_t>(blockFrames), input.size() - at));
        float* ins[2] = {const_cast<float*>(input.left.data() + at), const_cast<float*>(input.right.data() + at)};
        float* outs[2] = {out.left.data() + at, out.right.data() + at};
        effect_->processReplacing(effect_, ins, outs, n);
    }
    return out;
}

Stereo HostedEffect::silence(size_t frames, int blockFrames) { return process(Stereo(frames), blockFrames); }

std::vector<char> HostedEffect::chunk(bool preset) {
    void* data = nullptr;
    const auto size = static_cast<VstInt32>(dispatch(effGetChunk, preset ? 1 : 0, 0, &data));
    std::vector<char> bytes(static_cast<char*>(data), static_cast<char*>(data) + size);
    delete[] static_cast<char*>(data);
    return bytes;
}

VstInt32 HostedEffect::setChunk(std::vector<char> bytes, bool preset) {
    return static_cast<VstInt32>(
        dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data()));
}

void HostedEffect::sendMidi(unsigned char status, unsigned char data1, VstInt32 deltaFrames) {
    VstMidiEvent event;
    std::memset(&event, 0, sizeof(event));
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    VstEvents list;
    std::memset(&list, 0, sizeof(list));
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&event);
    dispatch(effProcessEvents, 0, 0, &list);
}

Stereo impulse(size_t frames, size_t at, float amplitude) {
    Stereo s(frames);
    if (at < frames) s.left[at] = s.right[at] = amplitude;
    return s;
}

double rmsDb(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
    const double rms = std::sqrt(sum / static_cast<double>(to - from));
    return 20.0 * std::log10(std::max(rms, 1e-30));
}

double peakAbs(const std::vector<float>& x, size_t from, size_t to) {
    double peak = 0.0;
    for (size_t i = from; i < to; ++i) peak = std::max(peak, std::fabs(static_cast<double>(x[i])));
    return peak;
}

std::vector<float> minus(const std::vector<float>& a, const std::vector<float>& b) {
    std::vector<float> d(a.size());
    for (size_t i = 0; i < a.size(); ++i) d[i] = a[i] - b[i];
    return d;
}

}  // namespace fxtest
