#include "modulehost/cplugin.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "modulehost/bank_image.h"
#include "modulehost/edit_section.h"
#include "modulehost/module_host_callback.h"
#include "modulehost/module_path.h"
#include "modulehost/slot_owner.h"
#include "modules/effect_module.h"
#include "modules/module_base.h"

namespace {

// Stands for "no class of that title": creation then fails after unloading,
// exactly as for a class that refuses the slot.
const ModuleClassEntry kNoModuleClass = {"", nullptr, false};

void terminate(char* text, size_t capacity) { text[capacity - 1] = 0; }

}  // namespace

CPlugin::CPlugin() = default;

CPlugin::~CPlugin() { unload(); }

VstIntPtr CPlugin::call(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

bool CPlugin::createModule(SlotOwner& owner, const char* path, SlotKind kind, SlotTrack* track) {
    const std::string given = path != nullptr ? path : "";
    const ModuleClassEntry* entry = nullptr;
    if (!given.empty())
        entry = findModuleClass(moduleFileTitle(absoluteModulePath(given, owner.pluginDirectory())).c_str());
    return createModule(owner, path, entry != nullptr ? *entry : kNoModuleClass, kind, track);
}

bool CPlugin::createModule(SlotOwner& owner, const char* path, const ModuleClassEntry& moduleClass, SlotKind kind,
                           SlotTrack* track) {
    unload();
    owner_ = &owner;
    vst_strncpy(path_, path, kPathBytes);
    if (path == nullptr || path[0] == 0 || moduleClass.create == nullptr) return false;

    AudioEffectX* module = moduleClass.create(moduleHostCallback);
    if (module == nullptr) return false;
    AEffect* effect = module->getAeffect();
    if (effect->user != nullptr) {
        auto* link = static_cast<HostLink*>(effect->user);
        link->owner = static_cast<void*>(&owner);
        link->track = static_cast<void*>(track);
        link->slot = static_cast<void*>(this);
    }
    // A module that fails these checks was never opened; it is released
    // directly rather than through effClose.
    if (effect->magic != kEffectMagic || effect->dispatcher == nullptr) {
        delete module;
        return false;
    }
    const VstIntPtr category = effect->dispatcher(effect, effGetPlugCategory, 0, 0, nullptr, 0.0f);
    const bool fits = kind == SlotKind::Instrument ? category == kPlugCategSynth : category != kPlugCategSynth;
    if (!fits) {
        delete module;
        return false;
    }

    EditSection section(owner);
    module_ = module;
    effect_ = effect;
    drumSlot_ = moduleClass.drumSlot;

    call(effOpen);
    call(effSetSampleRate, 0, 0, nullptr, static_cast<float>(owner.moduleSampleRate()));
    call(effSetBlockSize, 0, owner.moduleBlockSize());
    call(effGetVendorString, 0, 0, vendor_);
    terminate(vendor_, kTextBytes);
    call(effGetProductString, 0, 0, product_);
    terminate(product_, kTextBytes);
    call(effGetVendorVersion, 0, 0, versionText_);
    terminate(versionText_, kTextBytes);
    call(effGetEffectName, 0, 0, effectName_);
    terminate(effectName_, kTextBytes);
    if (product_[0] == 0) {
        call(effGetEffectName, 0, 0, product_);
        terminate(product_, kTextBytes);
    }
    vst_strncpy(shortName_, moduleShortName(product_), kShortNameBytes);

    allocateBuffers(effect_->numInputs, effect_->numOutputs);
    descriptors_.clear();
    rendersOutputs_ = kind == SlotKind::Instrument || track == nullptr;
    rendersInputs_ = kind == SlotKind::Effect && track == nullptr;

    char receiveMidi[] = "receiveVstMidiEvent";
    char receiveEvents[] = "receiveVstEvents";
    char programNames[] = "midiProgramNames";
    acceptsMidi_ = call(effCanDo, 0, 0, receiveMidi) == 1;
    call(effCanDo, 0, 0, receiveEvents);
    call(effCanDo, 0, 0, programNames);

    call(effMainsChanged, 0, 1);

    call(effGetProgramNameIndexed, 0, 0, programName_);
    terminate(programName_, kProgramNameBytes);
    call(effBeginSetProgram);
    call(effSetProgram, 0, 0);
    call(effEndSetProgram);
    if (editIdle_) call(effEditIdle);

    programCount_ = effect_->numPrograms;
    prepareBlockPages(owner.moduleBlockSize());
    loaded_.store(true, std::memory_order_relaxed);
    return true;
}

void CPlugin::unload() {
    if (owner_ == nullptr) return;
    loaded_.store(false, std::memory_order_relaxed);
    EditSection section(*owner_);
    if (effect_ != nullptr) {
        call(effMainsChanged, 0, 0);
        call(effEditClose);
        call(effClose);  // the module deletes itself
        effect_ = nullptr;
        module_ = nullptr;
        releaseBuffers();
    }
    editIdle_ = false;
    clearIdentity();
}

void CPlugin::clearIdentity() {
    shortName_[0] = 0;
    vendor_[0] = product_[0] = versionText_[0] = effectName_[0] = programName_[0] = 0;
    acceptsMidi_ = false;
    drumSlot_ = false;
    rendersInputs_ = rendersOutputs_ = false;
    programCount_ = 0;
    immediate_.clear();
    live_.clear();
}

void CPlugin::allocateBuffers(VstInt32 inputs, VstInt32 outputs) {
    const size_t inputCount = static_cast<size_t>(inputs > kMinBuffers ? inputs : kMinBuffers);
    const size_t outputCount = static_cast<size_t>(outputs > kMinBuffers ? outputs : kMinBuffers);
    bufferStorage_ = platform::ZeroedArray<float>((inputCount + outputCount) * kBufferFrames);
    if (bufferStorage_.data() == nullptr) throw std::bad_alloc();  // as the vector it replaces
    inputPointers_.resize(inputCount);
    outputPointers_.resize(outputCount);
    float* next = bufferStorage_.data();
    for (auto& p : inputPointers_) {
        p = next;
        next += kBufferFrames;
    }
    for (auto& p : outputPointers_) {
        p = next;
        next += kBufferFrames;
    }
}

void CPlugin::prepareBlockPages(VstInt32 frames) {
    if (effect_ == nullptr || frames <= 0) return;
    const size_t bytes = sizeof(float) * static_cast<size_t>(frames < kBufferFrames ? frames : kBufferFrames);
    if (rendersInputs_)
        for (float* buffer : inputPointers_) platform::touchPages(buffer, bytes);
    if (rendersOutputs_)
        for (float* buffer : outputPointers_) platform::touchPages(buffer, bytes);
    if (acceptsMidi_) delivery_.prepareFirstRecords();
}

void CPlugin::releaseBuffers() {
    inputPointers_.clear();
    outputPointers_.clear();
    bufferStorage_.reset();
}

void CPlugin::endStateChange() {
    if (editIdle_) call(effEditIdle);
}

bool CPlugin::loadStateImage(const uint8_t* image, size_t bytesLeft, int64_t imageBytes) {
    if (effect_ == nullptr) return false;
    if (imageBytes < 0 || static_cast<uint64_t>(imageBytes) > bytesLeft) return false;
    if (image == nullptr && imageBytes > 0) return false;
    // The module gets its own copy: the chunk pointer it is handed is not
    // const, and the project's bytes must stay as they are.
    const std::vector<uint8_t> copy(image, image + imageBytes);
    bankimage::Header header;
    if (!bankimage::readHeader(copy.data(), copy.size(), header)) return false;
    if (header.pluginId != effect_->uniqueID) return false;

    if (header.format == bankimage::Format::OpaqueChunk) {
        if ((effect_->flags & effFlagsProgramChunks) == 0) return false;
        call(effBeginSetProgram);
        const VstIntPtr accepted = call(effSetChunk, 0, static_cast<VstIntPtr>(header.chunkBytes),
                                        const_cast<uint8_t*>(header.chunk));
        call(effEndSetProgram);
        if (accepted == 0) return false;
    } else {
        const VstIntPtr savedProgram = call(effGetProgram);
        const VstInt32 modulePrograms = effect_->numPrograms;
        programCount_ = header.programCount < 0 ? 0
                        : header.programCount < modulePrograms ? header.programCount
                                                               : modulePrograms;
        // Records beyond the module's own programs would land on whichever
        // program is current (the module ignores the program change), so
        // they are not applied.
        for (VstInt32 program = 0; program < header.programCount && program < modulePrograms; ++program) {
            bankimage::ProgramRecord record;
            if (!bankimage::programRecord(copy.data(), copy.size(), header, program, record)) break;
            call(effSetProgram, 0, program);
            call(effSetProgramName, 0, 0, record.name);
            const VstInt32 values = record.valueCount < effect_->numParams ? record.valueCount : effect_->numParams;
            // A value that is not finite is no setting: the program keeps the
            // one it has. The module holds the rest to its own ranges (not
            // every module parameter is a 0..1 value).
            for (VstInt32 j = 0; j < values; ++j) {
                const float value = bankimage::readBigEndianFloat(record.values + 4 * j);
                if (std::isfinite(value)) effect_->setParameter(effect_, j, value);
            }
        }
        call(effSetProgram, 0, savedProgram);
    }
    endStateChange();
    return true;
}

bool CPlugin::selectProgram(VstInt32 program) {
    if (effect_ == nullptr || program < 0 || program >= programCount_) return false;
    call(effBeginSetProgram);
    call(effSetProgram, 0, program);
    call(effEndSetProgram);
    std::memset(programName_, 0, sizeof(programName_));
    call(effGetProgramName, 0, 0, programName_);
    terminate(programName_, kProgramNameBytes);
    endStateChange();
    return true;
}

bool CPlugin::loadProgramChunk(const void* bytes, VstInt32 byteCount) {
    if (effect_ == nullptr || byteCount < 0 || (bytes == nullptr && byteCount > 0)) return false;
    const auto* begin = static_cast<const uint8_t*>(bytes);
    std::vector<uint8_t> copy(begin, begin + byteCount);
    call(effBeginSetProgram);
    const VstIntPtr accepted = call(effSetChunk, 1, byteCount, copy.data());
    call(effEndSetProgram);
    endStateChange();
    return accepted != 0;
}

VstIntPtr CPlugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    // Closing goes through unload, which also forgets the module; a closed
    // module reached through this slot would be a dangling record.
    if (effect_ == nullptr || opcode == effClose) return 0;
    return call(opcode, index, value, ptr, opt);
}

void CPlugin::setParameter(VstInt32 index, float value) {
    if (effect_ != nullptr) effect_->setParameter(effect_, index, value);
}

float CPlugin::getParameter(VstInt32 index) {
    return effect_ != nullptr ? effect_->getParameter(effect_, index) : 0.0f;
}

void CPlugin::setMappedParameter(int descriptor, float x) {
    if (effect_ == nullptr || descriptor < 0 || descriptor >= static_cast<int>(descriptors_.size())) return;
    const ParameterDescriptor& d = descriptors_[static_cast<size_t>(descriptor)];
    effect_->setParameter(effect_, d.index, d.minimum + x * (d.maximum - d.minimum));
}

ParameterDescriptor CPlugin::describeParameter(VstInt32 index) {
    ParameterDescriptor d;
    d.index = index;
    d.kind = kParameterKindMainModule;
    if (effect_ == nullptr) return d;
    call(effGetParamName, index, 0, d.name);
    call(effGetParamLabel, index, 0, d.label);
    call(effGetParamDisplay, index, 0, d.display);
    terminate(d.name, ParameterDescriptor::kTextBytes);
    terminate(d.label, ParameterDescriptor::kTextBytes);
    terminate(d.display, ParameterDescriptor::kTextBytes);
    d.value = effect_->getParameter(effect_, index);
    return d;
}

bool CPlugin::sendEvent(int list, VstInt32 offset, int status, int data1, int data2, VstInt32 dispatchFrame) {
    SlotEvent event;
    event.offset = offset;
    event.frame = dispatchFrame;
    event.status = static_cast<uint8_t>(status);
    event.data1 = static_cast<uint8_t>(data1);
    event.data2 = static_cast<uint8_t>(data2);
    return (list == kLiveEvents ? live_ : immediate_).push(event);
}

void CPlugin::deliverEvents(VstInt32 frames, VstInt32 sampleRateHz) {
    if (effect_ != nullptr && acceptsMidi_) {
        VstEvents* events = delivery_.build(immediate_, live_, frames, sampleRateHz);
        if (events != nullptr) call(effProcessEvents, 0, 0, events);
    }
    immediate_.clear();
    live_.clear();
}

bool CPlugin::rest(VstInt32 frames) {
    if (effect_ == nullptr || frames <= 0) return false;
    return call(effVendorSpecific, kModuleRestIndex, boundedFrames(frames), nullptr, 0.0f) == 1;
}
