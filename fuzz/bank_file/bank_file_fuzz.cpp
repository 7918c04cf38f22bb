// Bank files as the editor's "Load Bank ..." reads them: arbitrary file
// contents are either refused, leaving every program as it was, or taken,
// and then a saved copy of the bank loads back to the same programs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/engine_fuzz_support.h"

namespace {

std::vector<uint8_t> bankChunk(Effect& effect) {
    void* data = nullptr;
    const VstInt32 size = effect.getChunk(&data, false);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + (size > 0 ? size : 0));
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Effect& effect = engine_fuzz::sharedEffect();
    static const std::string input = engine_fuzz::settingsFolder() + "/input.fxb";
    static const std::string saved = engine_fuzz::settingsFolder() + "/saved";
    // The programs as the last accepted file left them.
    static std::vector<uint8_t> known = bankChunk(effect);
    writeFile(input, data, size);
    if (!effect.loadBankFile(input)) {
        if (bankChunk(effect) != known) std::abort();  // a refused file changed the programs
        return 0;
    }
    const std::vector<uint8_t> taken = bankChunk(effect);
    known = taken;
    const std::string name = effect.saveBankFile(saved);
    if (name != saved + ".fxb") std::abort();
    if (!effect.loadBankFile(name)) std::abort();
    if (bankChunk(effect) != taken) std::abort();
    return 0;
}
