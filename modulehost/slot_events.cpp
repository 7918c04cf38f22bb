#include "modulehost/slot_events.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace {

// The VstEvents record ends in a two-entry array that really runs on for
// numEvents entries.
constexpr size_t kHeaderBytes = offsetof(VstEvents, events) + sizeof(VstEvent*) * SlotEventDelivery::kMaxEvents;

void fill(VstMidiEvent& out, const SlotEvent& in, VstInt32 deltaFrames) {
    std::memset(&out, 0, sizeof(out));
    out.type = kVstMidiType;
    out.byteSize = sizeof(VstMidiEvent);
    out.deltaFrames = deltaFrames;
    out.flags = kVstMidiEventIsRealtime;
    out.midiData[0] = static_cast<char>(in.status);
    out.midiData[1] = static_cast<char>(in.data1);
    out.midiData[2] = static_cast<char>(in.data2);
}

}  // namespace

SlotEventDelivery::SlotEventDelivery()
    : header_(kHeaderBytes), events_(kMaxEvents) {
    if (header_.data() == nullptr || events_.data() == nullptr) throw std::bad_alloc();
    new (header_.data()) VstEvents{};
}

void SlotEventDelivery::prepareFirstRecords() {
    constexpr size_t kFirstRecordBytes = 4096;
    const size_t bytes = events_.size() * sizeof(VstMidiEvent);
    platform::touchPages(events_.data(), bytes < kFirstRecordBytes ? bytes : kFirstRecordBytes);
}

VstEvents* SlotEventDelivery::build(const SlotEventList& immediate, const SlotEventList& live, VstInt32 frames,
                                    VstInt32 sampleRateHz) {
    const int total = immediate.size() + live.size();
    if (total == 0) return nullptr;
    auto* list = reinterpret_cast<VstEvents*>(header_.data());
    VstEvent** slots = list->events;
    int n = 0;
    for (int i = 0; i < immediate.size(); ++i, ++n) {
        fill(events_[n], immediate[i], immediate[i].offset);
        slots[n] = reinterpret_cast<VstEvent*>(&events_[n]);
    }
    const int64_t lastFrame = frames > 0 ? frames - 1 : 0;
    for (int i = 0; i < live.size(); ++i, ++n) {
        int64_t offset =
            static_cast<int64_t>(live[i].frame) + static_cast<int64_t>(live[i].offset) * sampleRateHz / 1000;
        if (offset > lastFrame) offset = lastFrame;
        if (offset < 0) offset = 0;
        fill(events_[n], live[i], static_cast<VstInt32>(offset));
        slots[n] = reinterpret_cast<VstEvent*>(&events_[n]);
    }
    list->numEvents = n;
    list->reserved = 0;
    return list;
}
