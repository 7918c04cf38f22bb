#include "tests/campaign/campaign_host.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

namespace campaign {

std::string useFreshSettingsFolder(const std::string& tag) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("talvex_campaign_" + tag + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    return folder.string();
}

bool loadBuiltInProject(AEffect* effect, int index) {
    return effect->dispatcher(effect, effVendorSpecific, kVendorDemoIndex, kVendorProjectValue, nullptr,
                              static_cast<float>(index)) == 1;
}

void startDemonstration(AEffect* effect, bool on) {
    effect->dispatcher(effect, effVendorSpecific, kVendorDemoIndex, kVendorDemoValue, nullptr, on ? 1.0f : 0.0f);
}

EventList::EventList(int capacity)
    : storage_(static_cast<size_t>(capacity)),
      bytes_(sizeof(VstEvents) + sizeof(VstEvent*) * static_cast<size_t>(capacity)) {}

void EventList::clear() {
    count_ = 0;
    events()->numEvents = 0;
}

void EventList::add(VstInt32 deltaFrames, uint8_t status, uint8_t data1, uint8_t data2) {
    if (count_ >= static_cast<int>(storage_.size())) return;
    VstMidiEvent& e = storage_[static_cast<size_t>(count_)];
    std::memset(&e, 0, sizeof(e));
    e.type = kVstMidiType;
    e.byteSize = sizeof(e);
    e.deltaFrames = deltaFrames;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(data1);
    e.midiData[2] = static_cast<char>(data2);
    events()->events[count_] = reinterpret_cast<VstEvent*>(&e);
    events()->numEvents = ++count_;
}

OutputBuffers::OutputBuffers(int channels)
    : data_(static_cast<size_t>(channels), std::vector<float>(kMaxBlockFrames, 0.0f)),
      pointers_(static_cast<size_t>(channels)) {
    for (size_t c = 0; c < data_.size(); ++c) pointers_[c] = data_[c].data();
}

float OutputBuffers::peak(int frames, int first, int end) const {
    float p = 0.0f;
    for (int c = first; c < end && c < channels(); ++c)
        for (int i = 0; i < frames; ++i) {
            const float v = data_[static_cast<size_t>(c)][static_cast<size_t>(i)];
            if (!std::isfinite(v)) return std::numeric_limits<float>::infinity();
            p = std::max(p, std::fabs(v));
        }
    return p;
}

}  // namespace campaign
