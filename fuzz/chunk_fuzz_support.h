// What the instrument chunk targets share: a silent host, an empty sample
// library, input stretched to an accepted chunk size, exact-size chunk
// copies, and a few notes played after an accepted chunk.
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

#include "modules/sample_store.h"
#include "vst/audioeffectx.h"

namespace chunk_fuzz {

inline VstIntPtr VSTCALLBACK host(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

// An empty library: the chunk parsers are under test, not the sample readers
// (they have their own targets).
inline const SampleLibrary& emptyLibrary() {
    static const SampleLibrary library{SampleLibrary::ResourceLookup{}};
    return library;
}

// The input repeated to fill exactly `target` bytes (zeros if it is empty),
// so that the fuzzer reaches the parsers and not only the size checks.
inline std::vector<char> stretched(const std::vector<char>& bytes, size_t target) {
    std::vector<char> filled(target, 0);
    if (!bytes.empty())
        for (size_t i = 0; i < filled.size(); ++i) filled[i] = bytes[i % bytes.size()];
    return filled;
}

// Hands the bytes over in an exact-size heap copy, so that a read past the
// end is caught; answers what setChunk answers.
inline VstInt32 setChunkCopy(AudioEffectX& module, const std::vector<char>& bytes, bool preset) {
    char* chunk = new char[bytes.size() + (bytes.empty() ? 1 : 0)];
    if (!bytes.empty()) std::memcpy(chunk, bytes.data(), bytes.size());
    const VstInt32 accepted = module.setChunk(chunk, static_cast<VstInt32>(bytes.size()), preset);
    delete[] chunk;
    return accepted;
}

// Writes a chunk of the given kind and frees it.
inline void writeChunk(AudioEffectX& module, bool preset) {
    void* out = nullptr;
    module.getChunk(&out, preset);
    delete[] static_cast<char*>(out);
}

// Shows the name and value of every step-th parameter.
inline void showParameters(AudioEffectX& module, VstInt32 parameters, int step) {
    char text[256];
    for (VstInt32 i = 0; i < parameters; i += step) {
        module.getParameterDisplay(i, text);
        module.getParameterName(i, text);
    }
}

// Queues `count` notes (velocity 100, ten frames apart, from firstNote in
// steps of noteStep) and renders `outputs` channels of 256 frames.
inline void playNotes(AudioEffectX& module, int outputs, int count, int firstNote, int noteStep) {
    std::vector<std::vector<float>> buffers(static_cast<size_t>(outputs), std::vector<float>(256, 0.0f));
    std::vector<float*> outs;
    for (auto& b : buffers) outs.push_back(b.data());
    std::vector<VstMidiEvent> notes(static_cast<size_t>(count));
    std::vector<char> list(sizeof(VstEvents) + static_cast<size_t>(count) * sizeof(VstEvent*));
    auto* events = reinterpret_cast<VstEvents*>(list.data());
    events->numEvents = count;
    // More slots than the two the struct declares, written through a pointer.
    VstEvent** slots = events->events;
    for (int i = 0; i < count; ++i) {
        VstMidiEvent& note = notes[static_cast<size_t>(i)];
        std::memset(&note, 0, sizeof(note));
        note.type = kVstMidiType;
        note.byteSize = sizeof(VstMidiEvent);
        note.deltaFrames = i * 10;
        note.midiData[0] = static_cast<char>(0x90);
        note.midiData[1] = static_cast<char>(firstNote + i * noteStep);
        note.midiData[2] = 100;
        slots[i] = reinterpret_cast<VstEvent*>(&note);
    }
    module.processEvents(events);
    module.processReplacing(nullptr, outs.data(), 256);
}

}  // namespace chunk_fuzz
