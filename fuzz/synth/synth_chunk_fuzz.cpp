// Arbitrary bytes as preset and bank chunks of both synth flavours. The
// first byte picks the flavour and the chunk kind, and (for the sizes that
// are accepted) the rest may be stretched to the accepted size, so that the
// fuzzer reaches the parsers and not only the size checks. An accepted
// chunk is read back and rendered.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "modules/synth_module.h"

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const auto flavour = (mode & 1) ? EffectSynth::kFlavourII : EffectSynth::kFlavourI;
    const bool preset = (mode & 2) != 0;
    const bool stretch = (mode & 4) != 0;
    const bool legacy = (mode & 8) != 0;
    EffectSynth synth(host, flavour);

    std::vector<char> bytes(reinterpret_cast<const char*>(data + 1), reinterpret_cast<const char*>(data + size));
    if (stretch) {
        const VstInt32 target = preset ? 4 * synth.parameterCount()
                                       : (legacy ? synth.legacyBankChunkSize() : synth.bankChunkSize());
        // Repeat the input to fill the accepted size exactly.
        std::vector<char> filled(static_cast<size_t>(target), 0);
        if (!bytes.empty())
            for (size_t i = 0; i < filled.size(); ++i) filled[i] = bytes[i % bytes.size()];
        bytes.swap(filled);
    }
    // An exact-size heap copy, so that a read past the end is caught.
    char* chunk = new char[bytes.size() + (bytes.empty() ? 1 : 0)];
    if (!bytes.empty()) std::memcpy(chunk, bytes.data(), bytes.size());
    const VstInt32 accepted = synth.setChunk(chunk, static_cast<VstInt32>(bytes.size()), preset);
    delete[] chunk;
    if (accepted == 0) return 0;

    void* out = nullptr;
    const VstInt32 n = synth.getChunk(&out, !preset);
    delete[] static_cast<char*>(out);
    (void)n;
    for (int i = 0; i < synth.parameterCount(); i += 7) {
        char text[64];
        synth.getParameterDisplay(i, text);
        synth.getParameterName(i, text);
    }
    std::vector<float> left(256), right(256);
    float* outs[2] = {left.data(), right.data()};
    VstMidiEvent notes[3] = {};
    VstEvents* list = reinterpret_cast<VstEvents*>(new char[sizeof(VstEvents) + 3 * sizeof(VstEvent*)]);
    list->numEvents = 3;
    for (int i = 0; i < 3; ++i) {
        notes[i].type = kVstMidiType;
        notes[i].byteSize = sizeof(VstMidiEvent);
        notes[i].deltaFrames = i * 10;
        notes[i].midiData[0] = static_cast<char>(0x90);
        notes[i].midiData[1] = static_cast<char>(36 + i * 12);
        notes[i].midiData[2] = 100;
        list->events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
    }
    synth.processEvents(list);
    delete[] reinterpret_cast<char*>(list);
    synth.processReplacing(nullptr, outs, 256);
    return 0;
}
