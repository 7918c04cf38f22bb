#include "host/effect.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>

#include "editor/editor.h"
#include "host/render_exclusion.h"
#include "host/standalone_host.h"
#include "modulehost/cplugin.h"
#include "modulehost/edit_section.h"
#include "modulehost/render_wait_record.h"
#include "project/project.h"
#include "track/instrument.h"

namespace {
constexpr VstInt32 kUniqueId = vstFourCC('8', '0', '5', '5');
constexpr uint32_t kTimerPeriodMs = 40;
constexpr VstInt32 kModuleTimeFlags = kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid |
                                      kVstClockValid;
}  // namespace

Effect::Effect(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumUserPrograms, kNumHostParameters) {
    // 1. Base set-up.
    setUniqueID(kUniqueId);
    cEffect.version = 1;
    isSynth(true);
    setNumInputs(0);

    // 2. Which host is this?
    if (audioMaster != nullptr &&
        static_cast<VstInt32>(audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f)) == kStandaloneHostVersion)
        standaloneHost_ = true;

    // 3, 4. Defaults, then the stored settings.
    settings_ = Settings{};
    currentProgram_ = 0;
    readSettings();

    // 5. Output layout, fixed for the life of this object.
    multiOutput_ = settings_.multiOutputsMode && !standaloneHost_;
    setNumOutputs(multiOutput_ ? 2 * kNumOutputPairsMulti : 2);
    canProcessReplacing(true);

    // 6. Editor.
    editorView_ = createEditor(this);
    setEditor(editorView_);
    programsAreChunks(true);

    // 7. Time information handed to modules.
    std::memset(&moduleTimeInfo_, 0, sizeof(moduleTimeInfo_));
    moduleTimeInfo_.flags = kModuleTimeFlags;
    moduleTimeInfo_.sampleRate = 44100.0;
    moduleTimeInfo_.tempo = 120.0;
    moduleTimeInfo_.timeSigNumerator = 4;
    moduleTimeInfo_.timeSigDenominator = 4;

    // 8. Render defaults (the member initialisers hold them); the mute gate
    // starts closed.
    muteGateOpen_ = false;

    // 9. The project with its empty master insert and send slots.
    project_ = std::make_unique<Project>(*this);

    // 10. Gain tables.
    gains_.build();

    // 11 to 15. Programs.
    buildProjectList();
    createDefaultPrograms();
    currentProjectName_.clear();
    currentProgramName_.clear();
    loadDefaultBank();
    changeProgram(currentProgram_, true, true);

    // 16. The program-change pump.
    timer_.start(kTimerPeriodMs, &Effect::timerTick, this);
}

Effect::~Effect() {
    timer_.stop();
    ++programChangeCounter_;
    waitForRenderer(renderInProgress_, kRendererWaitLimitMs);
    if (project_) {
        // Each slot's close takes the edit counter and, when it finds the
        // counter down, pauses to let a block finish; the renderer is already
        // out and stays out, so the counter is held here for all of them
        // (a host closing the plug-in otherwise waited 10 ms per module).
        EditSection section(*this, 0);
        project_->closeModules();
        project_.reset();
    }
    // The base class deletes the editor.
}

void Effect::timerTick(void* context) { static_cast<Effect*>(context)->pumpProgramChanges(); }

void Effect::pumpProgramChanges() {
    ProgramChangeQueue::Entry entry;
    if (programChanges_.pop(entry)) changeProgram(entry.program, true, entry.load);
}

void Effect::beginProgramChange() {
    ++programChangeCounter_;
    const uint32_t start = platform::tickCountMs();
    while (projectInUse() && platform::tickCountMs() - start <= kRendererWaitLimitMs) platform::sleepMs(1);
    recordRenderWait(platform::tickCountMs() - start);
}

void Effect::endProgramChange() {
    int c = programChangeCounter_.load();
    while (c > 0 && !programChangeCounter_.compare_exchange_weak(c, c - 1)) {
    }
}

void Effect::setBlockSize(VstInt32 frames) {
    std::lock_guard<std::recursive_mutex> lock(programMutex_);
    blockSize = frames;
    // Kept out like a program change, as the pages are written.
    beginProgramChange();
    if (project_) project_->forEachSlot([frames](CPlugin& slot) { slot.prepareBlockPages(frames); });
    endProgramChange();
}

void Effect::beginProjectLoad() {
    random_.seed(kRandomSeed);
    ownPosition_ = 0.0;
    for (int& frames : sendTailFrames_) frames = 0;
    for (int& frames : masterInsertQuietFrames_) frames = 0;
    muteGateOpen_ = false;
    meterLeft_ = 0.0f;
    meterRight_ = 0.0f;
    ++projectLoads_;
}

void Effect::endProjectLoad() {
    // The smoothed master gains start at the new project's values: its
    // modules are silent at this point, so nothing jumps, and what follows
    // does not depend on what the previous project left in the smoothers.
    const int fade = GainTables::index(crossfade.load());
    crossfadeGainA_ = gains_.crossfade[127 - fade];
    crossfadeGainB_ = gains_.crossfade[fade];
    masterLevelTarget_ = masterLevel.load();
    masterGain_ = gains_.level[GainTables::index(masterLevelTarget_)];
    projectPlayed_ = false;
    mirrorMainModulePrograms();
}

void Effect::close() {
    writeSettings();
    if (settings_.saveDefaultBank) storeDefaultBank();
}

std::string Effect::pluginDirectory() const { return platform::pluginDirectory(); }

CPlugin* Effect::sendBus(int s) {
    Project* loaded = project_.get();
    if (loaded == nullptr || s < 0 || s >= static_cast<int>(std::size(loaded->sendSlots))) return nullptr;
    return &loaded->sendSlots[s];
}

bool Effect::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index >= cEffect.numOutputs) return false;
    std::memset(properties, 0, sizeof(*properties));
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    if (index % 2 == 1) {
        vst_strncpy(properties->label, "R", kVstMaxLabelLen);
    } else {
        const int pair = index / 2;
        char name[32];
        if (pair == 0)
            std::snprintf(name, sizeof(name), "Master");
        else if (pair == 9)
            std::snprintf(name, sizeof(name), "Effects");
        else
            std::snprintf(name, sizeof(name), "Inst %i", pair);
        std::snprintf(properties->label, sizeof(properties->label), "%s L", name);
    }
    return true;
}

bool Effect::getEffectName(char* name) {
    vst_strncpy(name, "Talvex", kVstMaxEffectNameLen);
    return true;
}

bool Effect::getVendorString(char* text) {
    vst_strncpy(text, "KAVO", kVstMaxVendorStrLen);
    return true;
}

bool Effect::getProductString(char* text) {
    vst_strncpy(text, "Talvex", kVstMaxProductStrLen);
    return true;
}

VstIntPtr Effect::vendorSpecific(VstInt32 index, VstIntPtr value, void* /*ptr*/, float opt) {
    if (index == kVendorDemoIndex && value == kVendorDemoValue) {
        requestDemonstration(opt != 0.0f ? 1 : 0);
        return 1;
    }
    if (index == kVendorDemoIndex && value == kVendorProjectValue) {
        const int project = static_cast<int>(opt);
        if (project < 0 || project >= static_cast<int>(projectNames().size())) return 0;
        changeProgram(project, false, true);
        return 1;
    }
    return 0;
}
