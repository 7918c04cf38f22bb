// Arbitrary bytes as preset, bank and base-folder chunks of the drum
// machine, in both modes. The first byte picks the mode, the chunk kind and
// whether the rest is stretched to one of the accepted sizes, so that the
// fuzzer reaches the name and value parsing and not only the size checks.
// An accepted chunk is read back, displayed and played.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "modules/drums_module.h"
#include "modules/sample_store.h"

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

// An empty library: the parsers are under test, not the sample readers
// (they have their own targets).
const SampleLibrary& noSamples() {
    static const SampleLibrary library{SampleLibrary::ResourceLookup{}};
    return library;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const bool bass = (mode & 1) != 0;
    const bool preset = (mode & 2) != 0;
    const bool stretch = (mode & 4) != 0;
    const bool older = (mode & 8) != 0;
    const bool baseFolder = (mode & 16) != 0;
    EffectDrums drums(host, bass, &noSamples());

    std::vector<char> bytes(reinterpret_cast<const char*>(data + 1), reinterpret_cast<const char*>(data + size));
    if (stretch) {
        size_t target;
        if (baseFolder)
            target = EffectDrums::kBaseFolderChunkBytes;
        else if (preset)
            target = older ? EffectDrums::kOlderPresetChunkBytes : EffectDrums::kPresetChunkBytes;
        else
            target = older ? EffectDrums::kOlderBankChunkBytes : EffectDrums::kBankChunkBytes;
        std::vector<char> filled(target, 0);
        if (!bytes.empty())
            for (size_t i = 0; i < filled.size(); ++i) filled[i] = bytes[i % bytes.size()];
        bytes.swap(filled);
    }
    // An exact-size heap copy, so that a read past the end is caught.
    char* chunk = new char[bytes.size() + (bytes.empty() ? 1 : 0)];
    if (!bytes.empty()) std::memcpy(chunk, bytes.data(), bytes.size());
    const VstInt32 accepted = drums.setChunk(chunk, static_cast<VstInt32>(bytes.size()), preset);
    delete[] chunk;
    if (accepted == 0) return 0;

    for (bool kind : {true, false}) {
        // A bank stored under a base folder copies sample files; not here.
        if (!kind && drums.baseFolder()[0] != 0) continue;
        void* out = nullptr;
        drums.getChunk(&out, kind);
        delete[] static_cast<char*>(out);
    }
    char text[256];
    for (int i = 0; i < drums.parameterCount(); ++i) {
        drums.getParameterDisplay(i, text);
        drums.getParameterName(i, text);
    }
    drums.setParameter(0x500003, 16.0f);
    drums.setParameter(drums::kPatternRandomFirst, 1.0f);

    std::vector<float> buffers[drums::kOutputs];
    float* outs[drums::kOutputs];
    for (int k = 0; k < drums::kOutputs; ++k) {
        buffers[k].assign(256, 0.0f);
        outs[k] = buffers[k].data();
    }
    VstMidiEvent notes[2] = {};
    for (int i = 0; i < 2; ++i) {
        notes[i].type = kVstMidiType;
        notes[i].byteSize = sizeof(VstMidiEvent);
        notes[i].deltaFrames = i * 10;
        notes[i].midiData[0] = static_cast<char>(0x90);
        notes[i].midiData[1] = static_cast<char>(36 + 6 * i);
        notes[i].midiData[2] = 100;
    }
    VstEvents list = {};
    list.numEvents = 2;
    list.events[0] = reinterpret_cast<VstEvent*>(&notes[0]);
    list.events[1] = reinterpret_cast<VstEvent*>(&notes[1]);
    drums.processEvents(&list);
    drums.processReplacing(nullptr, outs, 256);
    return 0;
}
