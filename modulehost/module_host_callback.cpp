#include "modulehost/module_host_callback.h"

#include "modulehost/cplugin.h"
#include "modulehost/slot_owner.h"
#include "modules/module_base.h"

namespace {

constexpr uint32_t kStepBits = 0x7F;
constexpr uint32_t kKeyShift = 7;
constexpr uint32_t kMarkerBits = 0x1F << 14;  // bits 14 to 18
constexpr uint32_t kSetVelocityBit = 1u << 19;
constexpr uint32_t kReservedBit = 1u << 20;
constexpr uint32_t kHighBits = ~((1u << 22) - 1);

constexpr VstIntPtr kHostVstVersion = 2400;
constexpr VstIntPtr kHostVendorVersion = 1;
const char kHostProductString[] = "KAVO Stack";

// The module fills nothing itself; the host link is empty until the module
// host has created it, and a module that is not one of ours has none.
const HostLink* linkOf(AEffect* effect) {
    if (effect == nullptr) return nullptr;
    return static_cast<const HostLink*>(effect->user);
}

VstIntPtr drumPatternEdit(AEffect* effect, VstInt32 index, float command) {
    DrumPatternMessage message;
    if (!decodeDrumPatternMessage(index, message)) return 0;
    const HostLink* link = linkOf(effect);
    if (link == nullptr || link->track == nullptr || link->slot == nullptr) return 0;
    const auto* slot = static_cast<const CPlugin*>(link->slot);
    if (!slot->drumSlot()) return 0;
    static_cast<SlotTrack*>(link->track)->drumPatternEdit(message.step, message.key, message.setVelocity, command);
    return 0;
}

}  // namespace

bool decodeDrumPatternMessage(VstInt32 index, DrumPatternMessage& out) {
    const auto bits = static_cast<uint32_t>(index);
    if ((bits & static_cast<uint32_t>(kDrumPatternMessageBit)) == 0) return false;
    if ((bits & kMarkerBits) != kMarkerBits || (bits & kReservedBit) != 0 || (bits & kHighBits) != 0) return false;
    out.step = static_cast<int>(bits & kStepBits);
    out.key = static_cast<int>((bits >> kKeyShift) & kStepBits);
    out.setVelocity = (bits & kSetVelocityBit) != 0;
    return true;
}

VstIntPtr VSTCALLBACK moduleHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr /*value*/,
                                         void* ptr, float opt) {
    if ((index & kDrumPatternMessageBit) != 0) return drumPatternEdit(effect, index, opt);
    switch (opcode) {
        case audioMasterVersion:
            return kHostVstVersion;
        case audioMasterGetTime: {
            const HostLink* link = linkOf(effect);
            if (link == nullptr || link->owner == nullptr) return 0;
            return reinterpret_cast<VstIntPtr>(static_cast<SlotOwner*>(link->owner)->moduleTimeInfo());
        }
        case audioMasterGetProductString:
            if (ptr == nullptr) return 0;
            vst_strncpy(static_cast<char*>(ptr), kHostProductString, kVstMaxProductStrLen);
            return 1;
        case audioMasterGetVendorVersion:
            return kHostVendorVersion;
        case audioMasterUpdateDisplay:
            return 1;
        default:
            return 0;
    }
}
