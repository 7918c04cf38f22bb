// Arbitrary bytes as preset, bank and base-folder chunks of the drum
// machine, in both modes. The first byte picks the mode, the chunk kind and
// whether the rest is stretched to one of the accepted sizes, so that the
// fuzzer reaches the name and value parsing and not only the size checks.
// An accepted chunk is read back, displayed and played.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/chunk_fuzz_support.h"
#include "modules/drums_module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const bool bass = (mode & 1) != 0;
    const bool preset = (mode & 2) != 0;
    const bool stretch = (mode & 4) != 0;
    const bool older = (mode & 8) != 0;
    const bool baseFolder = (mode & 16) != 0;
    EffectDrums drums(chunk_fuzz::host, bass, &chunk_fuzz::emptyLibrary());

    std::vector<char> bytes(reinterpret_cast<const char*>(data + 1), reinterpret_cast<const char*>(data + size));
    if (stretch) {
        size_t target;
        if (baseFolder)
            target = EffectDrums::kBaseFolderChunkBytes;
        else if (preset)
            target = older ? EffectDrums::kOlderPresetChunkBytes : EffectDrums::kPresetChunkBytes;
        else
            target = older ? EffectDrums::kOlderBankChunkBytes : EffectDrums::kBankChunkBytes;
        bytes = chunk_fuzz::stretched(bytes, target);
    }
    if (chunk_fuzz::setChunkCopy(drums, bytes, preset) == 0) return 0;

    for (bool kind : {true, false}) {
        // A bank stored under a base folder copies sample files; not here.
        if (!kind && drums.baseFolder()[0] != 0) continue;
        chunk_fuzz::writeChunk(drums, kind);
    }
    chunk_fuzz::showParameters(drums, drums.parameterCount(), 1);
    drums.setParameter(0x500003, 16.0f);
    drums.setParameter(drums::kPatternRandomFirst, 1.0f);
    chunk_fuzz::playNotes(drums, drums::kOutputs, 2, 36, 6);
    return 0;
}
