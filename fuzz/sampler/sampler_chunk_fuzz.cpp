// Arbitrary bytes as preset and bank chunks of the sampler. The first byte
// picks the chunk kind and, for the sizes that are accepted, one of the
// forms to stretch the input to, so that the fuzzer reaches the readers and
// not only the size checks. A base folder may be set first. An accepted
// chunk is written back, its names and values shown, and notes rendered.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/chunk_fuzz_support.h"
#include "modules/sampler_module.h"

namespace {

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
    EffectSampler sampler(chunk_fuzz::host, &chunk_fuzz::emptyLibrary());
    if (withFolder) {
        std::vector<char> folder(256, 0);
        std::memcpy(folder.data(), "C:\\Fuzz", 7);
        sampler.setChunk(folder.data(), 256, true);
    }

    std::vector<char> bytes(reinterpret_cast<const char*>(data + 1), reinterpret_cast<const char*>(data + size));
    if (stretch) {
        const VstInt32 target = preset ? EffectSampler::presetBytes(form) : EffectSampler::bankBytes(form);
        bytes = chunk_fuzz::stretched(bytes, static_cast<size_t>(target));
    }
    if (chunk_fuzz::setChunkCopy(sampler, bytes, preset) == 0) return 0;

    for (bool p : {true, false}) chunk_fuzz::writeChunk(sampler, p);
    chunk_fuzz::showParameters(sampler, sampler.parameterCount(), 7);
    for (int program = 0; program < sampler.programCount(); ++program) sampler.setProgram(program);
    chunk_fuzz::playNotes(sampler, 2, 3, 36, 12);
    return 0;
}
