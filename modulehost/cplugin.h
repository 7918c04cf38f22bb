// One module slot: the main module of a track, one of its inserts, a master
// insert or a send effect. It creates an internal module from a project's
// module path, talks to it only through its AEffect record, owns the
// module's audio buffers and the MIDI waiting for it, and applies module
// states stored in projects.
//
// Threads: creating, unloading and the state calls run on the thread that
// loads projects, inside the owner's edit section (creation and unloading
// take it themselves). Sending events, delivery and processing run on the
// audio thread and never allocate.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "modulehost/module_registry.h"
#include "modulehost/parameter_descriptor.h"
#include "modulehost/slot_events.h"
#include "platform/zeroed_pages.h"
#include "vst/aeffectx.h"

class SlotOwner;
class SlotTrack;

// A track's main module must be an instrument (plug-in category synth);
// inserts and send effects take any other category.
enum class SlotKind { Instrument, Effect };

class CPlugin {
public:
    // Every buffer holds this many frames, which bounds a block's length.
    static constexpr VstInt32 kBufferFrames = 16384;
    static constexpr int kMinBuffers = 2;
    static constexpr size_t kPathBytes = 260;
    static constexpr size_t kTextBytes = 100;
    static constexpr size_t kProgramNameBytes = 300;
    static constexpr size_t kShortNameBytes = 9;

    CPlugin();
    virtual ~CPlugin();

    CPlugin(const CPlugin&) = delete;
    CPlugin& operator=(const CPlugin&) = delete;

    // Creates, opens and resumes the module named by the path's file title.
    // Unloads the previous module first. False leaves the slot empty: empty
    // path, unknown title, bad AEffect record, or a category that does not
    // fit the slot kind. track is null for master slots.
    bool createModule(SlotOwner& owner, const char* path, SlotKind kind, SlotTrack* track);
    // The same with the module class already chosen; the path is only
    // recorded. Used by createModule and by tests that bring classes of
    // their own.
    bool createModule(SlotOwner& owner, const char* path, const ModuleClassEntry& moduleClass, SlotKind kind,
                      SlotTrack* track);
    // Suspends, closes and releases the module, if any.
    void unload();

    // Applies a bank image of imageBytes bytes at image, of which only
    // bytesLeft are readable ("CcnK"/"KncC" with "FBCh" or "FxBk"). False
    // refuses it and leaves the module as it was: no module, an image
    // longer than the bytes left or negative, a failed check, or a chunk the
    // module refused. The caller moves its read position past the image
    // whenever the slot holds a module.
    bool loadStateImage(const uint8_t* image, size_t bytesLeft, int64_t imageBytes);
    // Program change to n as one edit (begin, set, end), then fetches the
    // program name. Ignored (false) when n is outside the program count.
    bool selectProgram(VstInt32 program);
    // One program's chunk (effSetChunk with index 1) between begin and end
    // of a program change; answers the module's verdict.
    bool loadProgramChunk(const void* bytes, VstInt32 byteCount);

    // The module's dispatcher; 0 for an empty slot.
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    // Descriptor number i of this slot's list maps x (0 to 1) onto its
    // range and sets the parameter the descriptor names. Nothing when the
    // slot is empty or i is not a descriptor number.
    void setMappedParameter(int descriptor, float x);
    // A main-module descriptor for parameter index with the module's name,
    // label, display and current value.
    ParameterDescriptor describeParameter(VstInt32 index);

    // Audio thread. Appends one MIDI event to the immediate list (offset in
    // frames) or the live list (delay in ms after dispatchFrame); false when
    // the list is full and the event was dropped.
    bool sendEvent(int list, VstInt32 offset, int status, int data1, int data2, VstInt32 dispatchFrame = 0);
    // Audio thread: empties both lists without delivering them.
    void discardEvents() {
        immediate_.clear();
        live_.clear();
    }
    // Delivers both lists to the module as one effProcessEvents call (none
    // when nothing is waiting or the module takes no MIDI) and empties them.
    void deliverEvents(VstInt32 frames, VstInt32 sampleRateHz);
    // The module from this slot's input buffers into its output buffers.
    // These run for every slot in every block: they stay inline.
    void processOwnBuffers(VstInt32 frames) {
        if (canProcessReplacing()) effect_->processReplacing(effect_, inputs(), outputs(), boundedFrames(frames));
    }
    // An insert on someone else's buffers, in place.
    void processInPlace(float** buffers, VstInt32 frames) {
        if (canProcessReplacing() && buffers != nullptr)
            effect_->processReplacing(effect_, buffers, buffers, boundedFrames(frames));
    }
    // Given inputs into this slot's output buffers (master inserts).
    void processInto(float** inputs, VstInt32 frames) {
        if (canProcessReplacing() && inputs != nullptr)
            effect_->processReplacing(effect_, inputs, outputs(), boundedFrames(frames));
    }
    // An effect resting on silence lets frames pass without audio, its
    // clock running on (kModuleRestIndex); false when it cannot.
    bool rest(VstInt32 frames);

    // Loading thread, renderer kept out: the pages that blocks of up to
    // frames frames write (the buffers this slot's kind renders into, the
    // first event records) become resident now, so that the audio thread
    // takes no first-touch fault for them. Done at creation with the
    // owner's block size; the owner repeats it when the host announces
    // another. Contents are kept.
    void prepareBlockPages(VstInt32 frames);

    bool loaded() const { return loaded_.load(std::memory_order_relaxed); }
    AEffect* effect() const { return effect_; }
    bool acceptsMidi() const { return acceptsMidi_; }
    bool drumSlot() const { return drumSlot_; }
    // The module declares replacing processing.
    bool canProcessReplacing() const {
        return effect_ != nullptr && (effect_->flags & effFlagsCanReplacing) != 0 &&
               effect_->processReplacing != nullptr;
    }
    VstInt32 programCount() const { return programCount_; }

    float** inputs() { return inputPointers_.empty() ? nullptr : inputPointers_.data(); }
    float** outputs() { return outputPointers_.empty() ? nullptr : outputPointers_.data(); }
    int inputBufferCount() const { return static_cast<int>(inputPointers_.size()); }
    int outputBufferCount() const { return static_cast<int>(outputPointers_.size()); }

    const char* path() const { return path_; }
    const char* vendor() const { return vendor_; }
    const char* product() const { return product_; }
    const char* versionText() const { return versionText_; }
    const char* effectName() const { return effectName_; }
    const char* programName() const { return programName_; }
    const char* shortName() const { return shortName_; }

    // Set by whoever wants state changes to end with effEditIdle.
    bool editIdle() const { return editIdle_; }
    void setEditIdle(bool on) { editIdle_ = on; }

    // The project's module parameters (EVENT_PLUGIN_PARAM); emptied whenever
    // a module is created.
    std::vector<ParameterDescriptor>& parameterDescriptors() { return descriptors_; }
    const std::vector<ParameterDescriptor>& parameterDescriptors() const { return descriptors_; }

    // Raised by automation replay, taken by the editor to refresh its view.
    void markChanged() { changed_.store(true, std::memory_order_relaxed); }
    bool takeChanged() { return changed_.exchange(false, std::memory_order_relaxed); }

private:
    // A block's length as the buffers hold it.
    static VstInt32 boundedFrames(VstInt32 frames) {
        return frames < 0 ? 0 : frames > kBufferFrames ? kBufferFrames : frames;
    }
    void allocateBuffers(VstInt32 inputs, VstInt32 outputs);
    void releaseBuffers();
    void clearIdentity();
    void endStateChange();
    VstIntPtr call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f);

    SlotOwner* owner_ = nullptr;
    AudioEffectX* module_ = nullptr;
    AEffect* effect_ = nullptr;
    std::atomic<bool> loaded_{false};
    std::atomic<bool> changed_{false};
    bool acceptsMidi_ = false;
    bool drumSlot_ = false;
    bool editIdle_ = false;
    // Which of its own buffers the render writes: an instrument its outputs,
    // a send its inputs and outputs, a master insert its outputs; a track's
    // insert works in the track's buffers.
    bool rendersInputs_ = false;
    bool rendersOutputs_ = false;
    VstInt32 programCount_ = 0;

    // Sized for the longest block; pages only a shorter block touches stay
    // out of memory.
    platform::ZeroedArray<float> bufferStorage_;
    std::vector<float*> inputPointers_;
    std::vector<float*> outputPointers_;

    char path_[kPathBytes] = {};
    char vendor_[kTextBytes] = {};
    char product_[kTextBytes] = {};
    char versionText_[kTextBytes] = {};
    char effectName_[kTextBytes] = {};
    char programName_[kProgramNameBytes] = {};
    char shortName_[kShortNameBytes] = {};

    std::vector<ParameterDescriptor> descriptors_;

    SlotEventList immediate_;
    SlotEventList live_;
    SlotEventDelivery delivery_;
};
