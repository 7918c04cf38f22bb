// The MIDI waiting for a module slot's next render. Two lists: immediate
// events carry a frame offset inside the coming block; live events carry
// the frame at which the renderer dispatched them plus a delay in
// milliseconds (the MIDI input filter sends played notes this way, so that
// they keep the frame the host gave them).
// Everything here runs on the audio thread; other threads hand their events
// to the renderer instead of writing these lists.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/zeroed_pages.h"
#include "vst/aeffectx.h"

struct SlotEvent {
    VstInt32 offset = 0;  // frame offset (immediate) or delay in ms (live)
    VstInt32 frame = 0;   // live: the block frame it was dispatched at
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

// Fixed capacity; an event sent to a full list is dropped.
class SlotEventList {
public:
    static constexpr int kCapacity = 2000;

    bool push(const SlotEvent& event) {
        if (count_ >= kCapacity) return false;
        events_[count_++] = event;
        return true;
    }
    void clear() { count_ = 0; }
    int size() const { return count_; }
    const SlotEvent& operator[](int i) const { return events_[i]; }

private:
    SlotEvent events_[kCapacity];
    int count_ = 0;
};

enum SlotEventListKind : int {
    kImmediateEvents = 0,
    kLiveEvents = 1,
};

// Storage for one VstEvents record of up to 2 × 2000 MIDI events, allocated
// once with the slot so that delivery never allocates.
class SlotEventDelivery {
public:
    static constexpr int kMaxEvents = 2 * SlotEventList::kCapacity;

    SlotEventDelivery();

    // Builds the record from both lists, immediate first. Immediate events
    // keep their offsets; a live event's offset is its dispatch frame +
    // delay · rate / 1000, limited to 0 ... frames - 1.
    // Answers the record, or null when there is no event.
    VstEvents* build(const SlotEventList& immediate, const SlotEventList& live, VstInt32 frames,
                     VstInt32 sampleRateHz);
    // Makes the records of an ordinary block's events resident (the first
    // page of them), so that its delivery takes no first-touch fault.
    void prepareFirstRecords();

private:
    // Sized for the most events a block can carry; the pages a block's
    // events do not reach stay out of memory.
    platform::ZeroedArray<unsigned char> header_;  // VstEvents with its pointer array
    platform::ZeroedArray<VstMidiEvent> events_;
};
