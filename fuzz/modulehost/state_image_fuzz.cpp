// Arbitrary bytes as the module state images of a project, applied to slots
// holding every registered module. The first byte picks the slot, the second
// how the rest is presented: raw, behind a valid opaque-chunk or program-bank
// header for that module (so the checks pass and the module's own parsing is
// reached), or as an image that claims more bytes than there are.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "modulehost/cplugin.h"
#include "modulehost/module_registry.h"
#include "modulehost/slot_owner.h"

namespace {

class FuzzOwner : public SlotOwner {
public:
    // Held like the project loader holds it, so that module creation does
    // not settle for every slot.
    FuzzOwner() { counter_ = 1; }
    int moduleSampleRate() const override { return 44100; }
    int moduleBlockSize() const override { return 512; }
    std::string pluginDirectory() const override { return "/fuzz"; }
    std::atomic<int>& editCounter() override { return counter_; }
    std::atomic<bool>& renderInProgress() override { return rendering_; }
    VstTimeInfo* moduleTimeInfo() override { return &timeInfo_; }

private:
    std::atomic<int> counter_{0};
    std::atomic<bool> rendering_{false};
    VstTimeInfo timeInfo_{};
};

struct Slots {
    FuzzOwner owner;
    std::vector<std::unique_ptr<CPlugin>> slots;
    Slots() {
        int count = 0;
        const ModuleClassEntry* entries = moduleClasses(count);
        for (int i = 0; i < count; ++i) {
            if (entries[i].create == nullptr) continue;
            auto slot = std::make_unique<CPlugin>();
            if (slot->createModule(owner, entries[i].fileTitle, entries[i], SlotKind::Instrument, nullptr) ||
                slot->createModule(owner, entries[i].fileTitle, entries[i], SlotKind::Effect, nullptr))
                slots.push_back(std::move(slot));
        }
    }
};

void putBigEndian(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

std::vector<uint8_t> header(const char* format, VstInt32 id, VstInt32 programs) {
    std::vector<uint8_t> out;
    out.insert(out.end(), {'C', 'c', 'n', 'K'});
    putBigEndian(out, 0);
    out.insert(out.end(), format, format + 4);
    putBigEndian(out, 1);
    putBigEndian(out, static_cast<uint32_t>(id));
    putBigEndian(out, 1);
    putBigEndian(out, static_cast<uint32_t>(programs));
    out.insert(out.end(), 128, 0);
    return out;
}

// Every module once, for the whole run. Creating them decodes the built-in
// sample store, which takes seconds under the sanitizers: done before the
// first input, so that it does not count against that input's time limit.
Slots& allSlots() {
    static Slots all;
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    allSlots();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Slots& all = allSlots();
    if (all.slots.empty() || size < 2) return 0;
    CPlugin& slot = *all.slots[data[0] % all.slots.size()];
    const uint8_t mode = data[1] % 4;
    const uint8_t* rest = data + 2;
    const size_t restSize = size - 2;
    const VstInt32 id = slot.effect()->uniqueID;

    std::vector<uint8_t> image;
    switch (mode) {
        case 0:
            image.assign(rest, rest + restSize);
            break;
        case 1:
            image = header("FBCh", id, slot.effect()->numPrograms);
            putBigEndian(image, static_cast<uint32_t>(restSize));
            image.insert(image.end(), rest, rest + restSize);
            break;
        case 2:
            image = header("FxBk", id, restSize > 0 ? rest[0] : 0);
            image.insert(image.end(), rest, rest + restSize);
            break;
        default: {
            // Claims up to 64 KiB more than is readable.
            image.assign(rest, rest + restSize);
            const size_t claimed = restSize + 1 + (restSize > 1 ? (rest[0] | rest[1] << 8) : 0);
            slot.loadStateImage(image.data(), image.size(), static_cast<int64_t>(claimed));
            return 0;
        }
    }
    // Exactly sized copy: a read past the image is caught by the sanitizer.
    // An empty raw image has no storage behind data(): copy only what exists.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[image.size() + 1]);
    if (!image.empty()) std::memcpy(exact.get(), image.data(), image.size());
    slot.loadStateImage(exact.get(), image.size(), static_cast<int64_t>(image.size()));
    // Whatever state was accepted must render.
    slot.processOwnBuffers(64);
    return 0;
}
