// Host program and bank chunks: arbitrary bytes are either refused or read
// into records that write back to a chunk which reads the same again. An
// accepted chunk is then applied, as a host's program selection applies it,
// and the instance renders with it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/engine_fuzz_support.h"
#include "host/program_chunk.h"

namespace {

void check(const uint8_t* data, size_t size, bool isPreset) {
    const int count = isPreset ? 1 : 24;
    std::vector<ProgramRecord> records;
    if (!parseProgramChunk(data, size, isPreset, records, count)) return;
    if (static_cast<int>(records.size()) != count) std::abort();
    const std::vector<uint8_t> again = buildProgramChunk(records.data(), count, isPreset);
    std::vector<ProgramRecord> reread;
    if (!parseProgramChunk(again.data(), again.size(), isPreset, reread, count)) std::abort();
    if (buildProgramChunk(reread.data(), count, isPreset) != again) std::abort();
}

// Hands the chunk to the instance in an exact-size copy (a read past the end
// is caught); when it is accepted, selects a program so that a record from
// it is applied, and renders.
void apply(const uint8_t* data, size_t size, bool isPreset) {
    Effect& effect = engine_fuzz::sharedEffect();
    std::vector<uint8_t> copy(data, data + size);
    if (effect.setChunk(copy.empty() ? nullptr : copy.data(), static_cast<VstInt32>(copy.size()), isPreset) != 1)
        return;
    const int program = isPreset ? effect.getProgram() : static_cast<int>(size % kNumUserPrograms);
    effect.setProgram(program);
    engine_fuzz::renderChecked(effect, 3, 512);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check(data, size, true);
    check(data, size, false);
    // Inputs seldom carry their own size and product key; give every input
    // a second chance with a valid header in front.
    std::vector<uint8_t> framed(68 + size, 0);
    const uint32_t total = static_cast<uint32_t>(framed.size());
    std::memcpy(framed.data(), &total, 4);
    std::memcpy(framed.data() + 4, "TalvexBass", 10);
    std::memcpy(framed.data() + 36, "1.1", 3);
    if (size > 0) std::memcpy(framed.data() + 68, data, size);
    check(framed.data(), framed.size(), true);
    check(framed.data(), framed.size(), false);
    // The first byte picks program or bank for the instance.
    const bool isPreset = size > 0 && (data[0] & 1) != 0;
    apply(data, size, isPreset);
    apply(framed.data(), framed.size(), isPreset);
    return 0;
}
