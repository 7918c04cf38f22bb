// The user bank as the settings store keeps it, and the bank every instance
// starts from.
#include <vector>

#include "host/effect.h"
#include "host/program_chunk.h"
#include "platform/registry_store.h"

namespace {

const std::string kDataKey = "software\\TalvexBass\\Data";
constexpr const char* kUserBankValue = "UserBank";
constexpr const char* kDefaultBankResource = "defaultbank.dat";

}  // namespace

void Effect::loadDefaultBank() {
    std::vector<uint8_t> bank;
    if (!platform::RegistryStore::readBinary(kDataKey, kUserBankValue, bank) || bank.empty()) return;
    // Only the records: construction loads the current program right after,
    // once.
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    readChunkIntoRecords(bank.data(), static_cast<VstInt32>(bank.size()), false);
}

void Effect::storeDefaultBank() {
    std::vector<uint8_t> bank;
    {
        std::lock_guard<std::recursive_mutex> lock(programMutex_);
        bank = buildProgramChunk(programs_.data(), kNumUserPrograms, false);
    }
    platform::RegistryStore::writeBinary(kDataKey, kUserBankValue, bank.data(), bank.size());
}

void Effect::createDefaultPrograms() {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    programs_.assign(kNumUserPrograms, ProgramRecord{});
    readDefaultProgramsLocked();
}

void Effect::resetUserBank() {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    // Assigned record by record: host parameter calls write into the current
    // record without the lock, so the array itself never moves.
    for (ProgramRecord& record : programs_) record = ProgramRecord{};
    readDefaultProgramsLocked();
}

void Effect::readDefaultProgramsLocked() {
    // Slot i holds built-in project i with its own performance, named after
    // it; the authoring tool writes them as a bank, so no project is loaded
    // for them here.
    platform::ResourceData bank;
    if (platform::findResource("DATA", kDefaultBankResource, bank))
        readChunkIntoRecords(bank.data, static_cast<VstInt32>(bank.size), false);
}
