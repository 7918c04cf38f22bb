#include "tests/host/project_instance.h"

#include <algorithm>

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

int builtInProjectIndex(const std::string& name) {
    TestHost host;
    AEffect* effect = VSTPluginMain(&TestHost::callback);
    const std::vector<std::string> names = static_cast<Effect*>(static_cast<AudioEffect*>(effect->object))->projectNames();
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    const auto at = std::find(names.begin(), names.end(), name);
    return at == names.end() ? -1 : static_cast<int>(at - names.begin());
}

ProjectInstance::ProjectInstance(TestHost& host, int project, int blockFrames, bool sleepWhenQuiet)
    : blockFrames_(blockFrames),
      left_(static_cast<size_t>(blockFrames)),
      right_(static_cast<size_t>(blockFrames)) {
    host.time.flags = kVstTempoValid | kVstTimeSigValid;
    host.time.tempo = 120.0;
    host.time.sampleRate = 44100.0;
    host.time.timeSigNumerator = 4;
    host.time.timeSigDenominator = 4;
    effect_ = VSTPluginMain(&TestHost::callback);
    main_ = static_cast<Effect*>(static_cast<AudioEffect*>(effect_->object));
    main_->setSleepWhenQuiet(sleepWhenQuiet);
    effect_->dispatcher(effect_, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect_->dispatcher(effect_, effSetBlockSize, 0, blockFrames_, nullptr, 0.0f);
    effect_->dispatcher(effect_, effVendorSpecific, kVendorDemoIndex, kVendorProjectValue, nullptr,
                        static_cast<float>(project));
    effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
}

ProjectInstance::~ProjectInstance() { effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f); }

void ProjectInstance::play(int block, const std::vector<BlockNote>& notes, std::vector<float>& out) {
    std::vector<VstMidiEvent> due, storage;
    for (const BlockNote& n : notes)
        if (n.block == block) due.push_back(midiEvent(0, n.status, n.key, n.velocity));
    if (!due.empty()) {
        std::vector<char> events = makeEvents(due, storage);
        effect_->dispatcher(effect_, effProcessEvents, 0, 0, events.data(), 0.0f);
    }
    float* outputs[2] = {left_.data(), right_.data()};
    effect_->processReplacing(effect_, nullptr, outputs, blockFrames_);
    for (size_t i = 0; i < static_cast<size_t>(blockFrames_); ++i) {
        out.push_back(left_[i]);
        out.push_back(right_[i]);
    }
}

std::vector<float> ProjectInstance::play(int blocks, const std::vector<BlockNote>& notes) {
    std::vector<float> out;
    for (int b = 0; b < blocks; ++b) play(b, notes, out);
    return out;
}

void ProjectInstance::switchOffAndOn() {
    effect_->dispatcher(effect_, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect_->dispatcher(effect_, effSetBlockSize, 0, blockFrames_, nullptr, 0.0f);
    effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
}
