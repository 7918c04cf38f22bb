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
    writeFile(input, data, size);
    const std::vector<uint8_t> before = bankChunk(effect);
    if (!effect.loadBankFile(input)) {
        if (bankChunk(effect) != before) std::abort();  // a refused file changed the programs
        return 0;
    }
    const std::vector<uint8_t> taken = bankChunk(effect);
    const std::string name = effect.saveBankFile(saved);
    if (name != saved + ".fxb") std::abort();
    if (!effect.loadBankFile(name)) std::abort();
    if (bankChunk(effect) != taken) std::abort();
    return 0;
}
