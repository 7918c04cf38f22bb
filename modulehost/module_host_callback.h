// The host every internal module is constructed with. It answers what a
// module asks of its host, hands out the owner's time information, and
// carries the drum machine's pattern edits to the track that holds it.
#pragma once

#include "vst/aeffectx.h"

// Answers 2400 to audioMasterVersion, writes "KAVO Stack" for
// audioMasterGetProductString (answer 1), 1 to audioMasterGetVendorVersion
// and audioMasterUpdateDisplay, the owner's time record to
// audioMasterGetTime, 0 to anything else. Safe on any thread and while the
// module is still being constructed (before its host link is filled).
VstIntPtr VSTCALLBACK moduleHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                         void* ptr, float opt);

// A request whose index has bit 21 set is a pattern edit from a drum slot
// to its track, packed as: bits 0-6 step, bits 7-13 key, bits 14-18 all
// ones, bit 19 set-velocity, bit 20 clear; nothing above bit 21.
constexpr VstInt32 kDrumPatternMessageBit = 1 << 21;

struct DrumPatternMessage {
    int step = 0;
    int key = 0;
    bool setVelocity = false;
};

// False when the index is not a well-formed pattern edit.
bool decodeDrumPatternMessage(VstInt32 index, DrumPatternMessage& out);
