// Program and bank chunks exchanged with the host.
#include <cstring>
#include <vector>

#include "host/effect.h"
#include "host/program_chunk.h"

VstInt32 Effect::getChunk(void** data, bool isPreset) {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    if (isPreset)
        chunkBuffer_ = buildProgramChunk(&programs_[static_cast<size_t>(currentProgram_.load())], 1, true);
    else
        chunkBuffer_ = buildProgramChunk(programs_.data(), kNumUserPrograms, false);
    *data = chunkBuffer_.data();
    return static_cast<VstInt32>(chunkBuffer_.size());
}

VstInt32 Effect::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    if (!readChunkIntoRecords(data, byteSize, isPreset)) return 0;
    // Hosts restore a session as setProgram(n) then setChunk (LMMS, Ardour)
    // and never select a program afterwards, so the records take effect at
    // once: the current program is applied as a program change would. A
    // project that has played since it was loaded is loaded again, because
    // its modules hold what no chunk carries (voices, LFO phases, effect
    // tails) and the restored sound must not depend on what played before.
    changeProgramLocked(currentProgram_, true, true, projectPlayed_.load());
    return 1;
}

bool Effect::readChunkIntoRecords(const void* data, VstInt32 byteSize, bool isPreset) {
    if (data == nullptr || byteSize <= 0) return false;
    std::vector<ProgramRecord> parsed;
    if (!parseProgramChunk(static_cast<const uint8_t*>(data), static_cast<size_t>(byteSize), isPreset, parsed,
                           isPreset ? 1 : kNumUserPrograms))
        return false;
    if (isPreset) {
        ProgramRecord& target = programs_[static_cast<size_t>(currentProgram_.load())];
        // A program chunk carries neither the program name nor the
        // arpeggiator switch; the record keeps its own.
        std::memcpy(parsed[0].programName, target.programName, kProgramNameBytes);
        parsed[0].arpeggiatorSwitch = target.arpeggiatorSwitch;
        target = parsed[0];
    } else {
        for (int i = 0; i < kNumUserPrograms; ++i) {
            parsed[static_cast<size_t>(i)].arpeggiatorSwitch = programs_[static_cast<size_t>(i)].arpeggiatorSwitch;
            programs_[static_cast<size_t>(i)] = parsed[static_cast<size_t>(i)];
        }
    }
    return true;
}
