#include "tools/projectgen/default_bank.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "host/effect.h"
#include "host/program_chunk.h"
#include "project/project_loader.h"

namespace projectgen {

static_assert(kDefaultPrograms == kNumUserPrograms);

namespace {

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }

void setText(char* field, size_t bytes, const std::string& text) {
    std::memset(field, 0, bytes);
    std::memcpy(field, text.data(), std::min(text.size(), bytes));
}

}  // namespace

std::vector<uint8_t> defaultBank(const std::vector<WrittenProject>& projects) {
    // The plug-in itself records the performance: its loader and its Store
    // current state, run on the bytes just written (not on the resources
    // this tool was built with, which may be older).
    auto effect = std::make_unique<Effect>(&quietHost);
    std::vector<ProgramRecord>& records = effect->programRecords();
    {
        std::lock_guard<std::recursive_mutex> lock(effect->programMutex());
        for (ProgramRecord& record : records) record = ProgramRecord{};
    }
    ProjectLoadOptions options;
    options.settleMs = 0;
    for (size_t i = 0; i < projects.size() && i < static_cast<size_t>(kNumUserPrograms); ++i) {
        // A fresh plug-in's switches, which a project load leaves alone.
        const ProgramRecord fresh;
        effect->playSwitch = fresh.playSwitch;
        effect->arpeggiatorSwitch = fresh.arpeggiatorSwitch;
        effect->muteKeySwitch = fresh.muteKeySwitch;
        effect->muteKey = fresh.muteKey;
        effect->playController = fresh.playController;
        loadProject(*effect, projects[i].bytes.data(), projects[i].bytes.size(), options);
        // The project's own mute key, which the program holding it carries.
        effect->muteKey = static_cast<float>(projects[i].muteKey);
        effect->muteKeySwitch = projects[i].muteKeySwitch ? 1.0f : 0.0f;
        effect->storeCurrentState(static_cast<int>(i));
        std::lock_guard<std::recursive_mutex> lock(effect->programMutex());
        setText(records[i].projectName, kProjectNameBytes, projects[i].name);
        setText(records[i].programName, kProgramNameBytes, projects[i].name);
    }
    std::lock_guard<std::recursive_mutex> lock(effect->programMutex());
    return buildProgramChunk(records.data(), kNumUserPrograms, false);
}

}  // namespace projectgen
