#include "modules/drums_sample_slots.h"

#include <cstring>

#include "modules/sample_store.h"

namespace drums {

std::shared_ptr<const DecodedSample> SampleSlots::lookUp(const char* fullName) const {
    // The store is keyed by file name; mono, with the WAV "WAVE" check.
    return library_->find(fullName, SampleChannels::MonoMix);
}

int SampleSlots::used() const {
    int n = 0;
    for (const Entry& e : entries_)
        if (e.sample != nullptr) ++n;
    return n;
}

void fullSampleName(const char* baseFolder, const char* padName, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) return;
    out[0] = 0;
    if (padName == nullptr) return;
    size_t n = 0;
    auto append = [&](const char* text) {
        for (; *text != 0 && n + 1 < outSize; ++text) out[n++] = *text;
    };
    if ((padName[0] == '\\' || padName[0] == '/') && baseFolder != nullptr) append(baseFolder);
    append(padName);
    out[n] = 0;
}

}  // namespace drums
