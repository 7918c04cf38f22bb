// Arbitrary bytes as preset and bank chunks of both synth flavours. The
// first byte picks the flavour and the chunk kind, and (for the sizes that
// are accepted) the rest may be stretched to the accepted size, so that the
// fuzzer reaches the parsers and not only the size checks. An accepted
// chunk is read back and rendered.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/chunk_fuzz_support.h"
#include "modules/synth_module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const auto flavour = (mode & 1) ? EffectSynth::kFlavourII : EffectSynth::kFlavourI;
    const bool preset = (mode & 2) != 0;
    const bool stretch = (mode & 4) != 0;
    const bool legacy = (mode & 8) != 0;
    EffectSynth synth(chunk_fuzz::host, flavour);

    std::vector<char> bytes(reinterpret_cast<const char*>(data + 1), reinterpret_cast<const char*>(data + size));
    if (stretch) {
        const VstInt32 target = preset ? 4 * synth.parameterCount()
                                       : (legacy ? synth.legacyBankChunkSize() : synth.bankChunkSize());
        bytes = chunk_fuzz::stretched(bytes, static_cast<size_t>(target));
    }
    if (chunk_fuzz::setChunkCopy(synth, bytes, preset) == 0) return 0;

    chunk_fuzz::writeChunk(synth, !preset);
    chunk_fuzz::showParameters(synth, synth.parameterCount(), 7);
    chunk_fuzz::playNotes(synth, 2, 3, 36, 12);
    return 0;
}
