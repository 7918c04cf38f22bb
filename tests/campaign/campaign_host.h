// Driving whole plug-in instances the way a host does, for the campaign
// tests: a settings folder of the test process's own, creation through the
// entry point, the vendor-specific calls of the editor, event lists built
// ahead of the audio calls, and blocks rendered into caller-owned buffers.
#pragma once

#include <string>
#include <vector>

#include "host/effect.h"
#include "tests/host/test_host_fixture.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace campaign {

// Points XDG_CONFIG_HOME at an empty folder named after the test process
// and tag, so the stored bank and settings of the user (or of another test
// run at the same time) never reach the instance. Returns the folder.
std::string useFreshSettingsFolder(const std::string& tag);

inline Effect* mainObject(AEffect* effect) {
    return static_cast<Effect*>(static_cast<AudioEffect*>(effect->object));
}

// The editor's project list: loads built-in project index into the current
// program.
bool loadBuiltInProject(AEffect* effect, int index);
// The editor's Preview switch.
void startDemonstration(AEffect* effect, bool on);

// A VstEvents list with room for up to `capacity` MIDI events, built before
// the audio call so that filling it allocates nothing.
class EventList {
public:
    explicit EventList(int capacity);
    void clear();
    void add(VstInt32 deltaFrames, uint8_t status, uint8_t data1, uint8_t data2);
    VstEvents* events() { return reinterpret_cast<VstEvents*>(bytes_.data()); }
    int size() const { return count_; }

private:
    std::vector<VstMidiEvent> storage_;
    std::vector<char> bytes_;
    int count_ = 0;
};

// Output buffers for up to 20 channels of kMaxBlockFrames frames.
class OutputBuffers {
public:
    explicit OutputBuffers(int channels);
    float** pointers() { return pointers_.data(); }
    const float* channel(int c) const { return data_[static_cast<size_t>(c)].data(); }
    int channels() const { return static_cast<int>(data_.size()); }
    // Largest magnitude over the first frames of channels first to end - 1;
    // +inf when a sample is not finite.
    float peak(int frames, int first, int end) const;

private:
    std::vector<std::vector<float>> data_;
    std::vector<float*> pointers_;
};

}  // namespace campaign
