// Arbitrary bytes as preset and bank chunks of every registered module,
// handed over through effSetChunk as a host would. Byte 0 picks the module
// class, byte 1 the form: raw preset, raw bank, or the bytes cut or padded
// to the size the module itself produces, so that its parsing of a chunk of
// an accepted size is reached. The module then reports its state and renders
// a block, so a chunk that left it in a bad state shows up here too.
#include <cstdint>
#include <cstring>
#include <vector>

#include "modulehost/module_host_callback.h"
#include "modulehost/module_registry.h"

namespace {

VstIntPtr call(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
               float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

size_t ownChunkSize(AEffect* e, bool preset) {
    void* chunk = nullptr;
    const VstIntPtr size = call(e, effGetChunk, preset ? 1 : 0, 0, &chunk);
    delete[] static_cast<char*>(chunk);
    return size > 0 ? static_cast<size_t>(size) : 0;
}

std::vector<const ModuleClassEntry*> registered() {
    std::vector<const ModuleClassEntry*> out;
    int count = 0;
    const ModuleClassEntry* entries = moduleClasses(count);
    for (int i = 0; i < count; ++i)
        if (entries[i].create != nullptr) out.push_back(&entries[i]);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<const ModuleClassEntry*> classes = registered();
    if (classes.empty() || size < 2) return 0;
    const ModuleClassEntry& entry = *classes[data[0] % classes.size()];
    const uint8_t mode = data[1] % 4;
    const bool preset = (mode & 1) == 0;

    AudioEffectX* module = entry.create(moduleHostCallback);
    AEffect* e = module->getAeffect();
    call(e, effOpen);
    call(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    call(e, effSetBlockSize, 0, 512);
    call(e, effMainsChanged, 0, 1);

    size_t chunkSize = size - 2;
    if (mode >= 2) chunkSize = ownChunkSize(e, preset);
    // Exactly sized heap copy so that reads past the chunk are caught.
    std::vector<uint8_t> chunk(chunkSize, 0);
    const size_t copied = chunkSize < size - 2 ? chunkSize : size - 2;
    if (copied > 0) std::memcpy(chunk.data(), data + 2, copied);
    call(e, effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(chunk.size()),
         chunk.empty() ? nullptr : chunk.data());

    ownChunkSize(e, true);
    ownChunkSize(e, false);
    char text[256];
    for (VstInt32 i = 0; i < e->numParams; ++i) {
        e->getParameter(e, i);
        call(e, effGetParamDisplay, i, 0, text);
        call(e, effGetParamName, i, 0, text);
    }
    call(e, effGetProgramName, 0, 0, text);

    const VstInt32 channels = e->numInputs > e->numOutputs ? e->numInputs : e->numOutputs;
    std::vector<std::vector<float>> buffers(static_cast<size_t>(channels > 2 ? channels : 2),
                                            std::vector<float>(64, 0.0f));
    std::vector<float*> pointers;
    for (auto& b : buffers) pointers.push_back(b.data());
    std::vector<std::vector<float>> outs = buffers;
    std::vector<float*> outPointers;
    for (auto& b : outs) outPointers.push_back(b.data());
    e->processReplacing(e, pointers.data(), outPointers.data(), 64);

    call(e, effMainsChanged, 0, 0);
    call(e, effClose);
    return 0;
}
