// What every internal module has in common: identification, the MIDI event
// ring and its per-frame drain, capabilities, output pins and the host link.
// Modules are AudioEffectX objects; the module host reaches them only through
// their AEffect record.
#pragma once

#include <cstdint>

#include "vst/audioeffectx.h"

// Filled by the module host after creation. The module only hands its
// descriptor to the host callback; the host reads this record back from the
// descriptor's user field.
struct HostLink {
    void* owner = nullptr;
    void* track = nullptr;
    void* slot = nullptr;
};

// Unique identifiers: four characters, the first in the most significant byte.
constexpr VstInt32 fourCharCode(const char (&c)[5]) {
    return static_cast<VstInt32>((static_cast<uint32_t>(static_cast<uint8_t>(c[0])) << 24) |
                                 (static_cast<uint32_t>(static_cast<uint8_t>(c[1])) << 16) |
                                 (static_cast<uint32_t>(static_cast<uint8_t>(c[2])) << 8) |
                                 static_cast<uint32_t>(static_cast<uint8_t>(c[3])));
}

struct ModuleInfo {
    const char* effectName;
    const char* productString;
    VstInt32 uniqueId;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    bool instrument;  // category synth (2) when true, effect (1) otherwise
};

struct ModuleMidiEvent {
    VstInt32 deltaFrames = 0;
    uint8_t data[4] = {0, 0, 0, 0};
};

// 256 slots, read and write indices wrapped with a mask; one slot stays free
// so that full and empty differ, hence at most 255 queued events. Written by
// processEvents, read by processReplacing.
class ModuleMidiRing {
public:
    static constexpr int kSlots = 256;

    bool empty() const { return readIndex_ == writeIndex_; }
    bool full() const { return ((writeIndex_ + 1) & (kSlots - 1)) == readIndex_; }
    bool push(const ModuleMidiEvent& event) {
        if (full()) return false;
        slots_[writeIndex_] = event;
        writeIndex_ = (writeIndex_ + 1) & (kSlots - 1);
        return true;
    }
    bool pop(ModuleMidiEvent& event) {
        if (empty()) return false;
        event = slots_[readIndex_];
        readIndex_ = (readIndex_ + 1) & (kSlots - 1);
        return true;
    }
    int size() const { return (writeIndex_ - readIndex_) & (kSlots - 1); }
    void clear() { readIndex_ = writeIndex_ = 0; }

private:
    ModuleMidiEvent slots_[kSlots];
    int writeIndex_ = 0;
    int readIndex_ = 0;
};

// Events taken from the ring and waiting for their delay to run out. Fixed
// capacity: the ring releases at most one event per frame, so this only fills
// up when a host sends events with delays far beyond its block length; those
// beyond the capacity are dropped.
class ModulePendingMidi {
public:
    static constexpr int kCapacity = 512;

    bool add(const ModuleMidiEvent& event) {
        if (count_ >= kCapacity) return false;
        entries_[count_++] = event;
        return true;
    }
    // Walks the list once: a positive delay counts down by one; an entry whose
    // delay is then below one is executed and removed, keeping the order of
    // the rest.
    template <class Execute>
    void tick(Execute&& execute) {
        int kept = 0;
        for (int i = 0; i < count_; ++i) {
            ModuleMidiEvent& e = entries_[i];
            if (e.deltaFrames > 0) --e.deltaFrames;
            if (e.deltaFrames < 1) {
                execute(e);
            } else {
                if (kept != i) entries_[kept] = e;
                ++kept;
            }
        }
        count_ = kept;
    }
    int size() const { return count_; }
    void clear() { count_ = 0; }

private:
    ModuleMidiEvent entries_[kCapacity];
    int count_ = 0;
};

class KavoModule : public AudioEffectX {
public:
    KavoModule(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams, const ModuleInfo& info);

    VstInt32 processEvents(VstEvents* events) override;
    VstInt32 canDo(char* text) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return 1; }
    VstInt32 getVstVersion() override { return kVstVersion; }
    VstPlugCategory getPlugCategory() override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;

    HostLink& hostLink() { return hostLink_; }
    const ModuleInfo& info() const { return info_; }
    VstInt32 programCount() const { return numPrograms; }
    VstInt32 parameterCount() const { return numParams; }

protected:
    // Per output frame, before the frame's sample: at most one event moves from
    // the ring to the pending list, then the pending list is walked.
    template <class Execute>
    void drainMidiFrame(Execute&& execute) {
        ModuleMidiEvent event;
        if (midiRing_.pop(event)) pending_.add(event);
        if (pending_.size() > 0) pending_.tick(execute);
    }
    bool midiIdle() const { return midiRing_.empty() && pending_.size() == 0; }
    void clearMidi() {
        midiRing_.clear();
        pending_.clear();
    }

    ModuleInfo info_;
    HostLink hostLink_;
    ModuleMidiRing midiRing_;
    ModulePendingMidi pending_;
};

// A module parameter as a host, a chunk or a bank image delivers it: values
// travel as 0..1, so anything outside is held to the nearest end, and NaN,
// which carries no value at all, becomes the parameter's default.
inline float repairedUnitValue(float value, float fallback) {
    if (value != value) return fallback;
    if (value < 0.0f) return 0.0f;
    if (value > 1.0f) return 1.0f;
    return value;
}

// Copies a 24-byte program name field: at most 23 characters and a terminator.
void copyProgramName(char* destination, const char* source);
