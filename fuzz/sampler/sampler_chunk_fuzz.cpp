// Arbitrary bytes as preset and bank chunks of the sampler. The first byte
// picks the chunk kind and, for the sizes that are accepted, one of the
// forms to stretch the input to, so that the fuzzer reaches the readers and
// not only the size checks. A base folder may be set first. An accepted
// chunk is written back, its names and values shown, and notes rendered.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "modules/sample_store.h"
#include "modules/sampler_module.h"

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

// An empty library: the fuzzer exercises the chunk readers, not the store.
const SampleLibrary& emptyLibrary() {
    static const SampleLibrary library(SampleLibrary::ResourceLookup{});
    return library;
}

constexpr EffectSampler::ChunkForm kForms[] = {
    {31, true}, {26, true}, {26, false}, {24, false}, {20, false}, {19, false}, {18, false}, {17, false},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const bool preset = (mode & 1) != 0;
    const bool stretch = (mode & 2) != 0;
    const bool withFolder = (mode & 4) != 0;
    const EffectSampler::ChunkForm& form = kForms[(mode >> 3) & 7];
    EffectSampler sampler(host, &emptyLibrary());
    if (withFolder) {
        std::vector<char> folder(256, 0);
        std::memcpy(folder.data(), "C:\\Fuzz", 7);
        sampler.setChunk(folder.data(), 256, true);
    }

    std::vector<char> bytes(reinterpret_cast<const char*>(data + 1), reinterpret_cast<const char*>(data + size));
    if (stretch) {
        const VstInt32 target = preset ? EffectSampler::presetBytes(form) : EffectSampler::bankBytes(form);
        std::vector<char> filled(static_cast<size_t>(target), 0);
        if (!bytes.empty())
            for (size_t i = 0; i < filled.size(); ++i) filled[i] = bytes[i % bytes.size()];
        bytes.swap(filled);
    }
    // An exact-size heap copy, so that a read past the end is caught.
    char* chunk = new char[bytes.size() + (bytes.empty() ? 1 : 0)];
    if (!bytes.empty()) std::memcpy(chunk, bytes.data(), bytes.size());
    const VstInt32 accepted = sampler.setChunk(chunk, static_cast<VstInt32>(bytes.size()), preset);
    delete[] chunk;
    if (accepted == 0) return 0;

    for (bool p : {true, false}) {
        void* out = nullptr;
        sampler.getChunk(&out, p);
        delete[] static_cast<char*>(out);
    }
    for (int i = 0; i < sampler.parameterCount(); i += 7) {
        char text[64];
        sampler.getParameterDisplay(i, text);
        sampler.getParameterName(i, text);
    }
    for (int program = 0; program < sampler.programCount(); ++program) sampler.setProgram(program);

    std::vector<float> left(256), right(256);
    float* outs[2] = {left.data(), right.data()};
    VstMidiEvent notes[3] = {};
    std::vector<char> list(sizeof(VstEvents) + 3 * sizeof(VstEvent*));
    auto* events = reinterpret_cast<VstEvents*>(list.data());
    events->numEvents = 3;
    for (int i = 0; i < 3; ++i) {
        notes[i].type = kVstMidiType;
        notes[i].byteSize = sizeof(VstMidiEvent);
        notes[i].deltaFrames = i * 10;
        notes[i].midiData[0] = static_cast<char>(0x90);
        notes[i].midiData[1] = static_cast<char>(36 + i * 12);
        notes[i].midiData[2] = 100;
        events->events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
    }
    sampler.processEvents(events);
    sampler.processReplacing(nullptr, outs, 256);
    return 0;
}
