// User banks saved to and loaded from files the user names.
#include <fstream>
#include <vector>

#include "host/effect.h"
#include "host/program_chunk.h"
#include "platform/atomic_file_write.h"

namespace {
// A bank chunk with every record full of notes stays far below this; a
// larger file is not a bank of ours and is not read.
constexpr std::streamoff kMaxBankFileBytes = 64 << 20;
}  // namespace

std::string Effect::saveBankFile(const std::string& path) {
    std::string name = path;
    const std::string extension = ".fxb";
    if (name.size() < 5 || name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
        name += extension;
    // The bank is built into a buffer of its own under the program lock: the
    // object's chunk buffer belongs to the host's getChunk, which may replace
    // it at any time while the file is written.
    std::vector<uint8_t> bank;
    {
        std::lock_guard<std::recursive_mutex> lock(programMutex_);
        bank = buildProgramChunk(programs_.data(), kNumUserPrograms, false);
    }
    // Replaced in one step: a save that is interrupted leaves the previous
    // bank under the name, never a truncated one.
    if (bank.empty() || !platform::writeFileAtomically(name, bank.data(), bank.size())) return {};
    return name;
}

bool Effect::loadBankFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > kMaxBankFileBytes) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return false;
    return setChunk(bytes.data(), static_cast<VstInt32>(bytes.size()), false) == 1;
}
