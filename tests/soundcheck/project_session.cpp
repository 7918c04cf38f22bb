#include "tests/soundcheck/project_session.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "project/project.h"
#include "project/project_loader.h"
#include "track/instrument.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace soundcheck {

ProjectSession::ProjectSession(const std::string& projectName) {
    effect_ = VSTPluginMain(&TestHost::callback);
    if (effect_ == nullptr) return;
    main_ = static_cast<Effect*>(static_cast<AudioEffect*>(effect_->object));
    host_.time.flags = kVstTempoValid | kVstTimeSigValid;
    host_.time.tempo = 130.0;
    host_.time.sampleRate = kRate;
    host_.time.timeSigNumerator = 4;
    host_.time.timeSigDenominator = 4;
    // A designer measures a changed description before rebuilding the
    // plug-in: TALVEX_SOUNDCHECK_PROJECTS names a folder of projectgen's
    // output, read instead of the built-in project of the same name.
    if (const char* folder = std::getenv("TALVEX_SOUNDCHECK_PROJECTS")) {
        std::ifstream in(std::string(folder) + "/" + projectName + ".prg", std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.empty()) return;
        loadProject(*main_, bytes.data(), bytes.size());
        loaded_ = true;
        render(0.05);
        return;
    }
    const std::vector<std::string>& names = main_->projectNames();
    const auto found = std::find(names.begin(), names.end(), projectName);
    if (found == names.end()) return;
    main_->changeProgram(static_cast<int>(found - names.begin()), false, true);
    loaded_ = main_->loadedProjectName() == projectName;
    // Let the first block apply the balls, as a host's first block does.
    render(0.05);
}

ProjectSession::~ProjectSession() {
    if (effect_ != nullptr) effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
}

void ProjectSession::midi(int status, int data1, int data2) {
    pending_.push_back(midiEvent(0, static_cast<uint8_t>(status), static_cast<uint8_t>(data1), static_cast<uint8_t>(data2)));
}

Stereo ProjectSession::render(double seconds) {
    Stereo out;
    const size_t frames = static_cast<size_t>(seconds * kRate);
    std::vector<float> left, right;
    while (out.frames() < frames) {
        if (!pending_.empty()) {
            std::vector<VstMidiEvent> storage;
            std::vector<char> events = makeEvents(pending_, storage);
            main_->processEvents(reinterpret_cast<VstEvents*>(events.data()));
            pending_.clear();
        }
        renderBlock(*main_, 512, left, right);
        out.left.insert(out.left.end(), left.begin(), left.end());
        out.right.insert(out.right.end(), right.begin(), right.end());
    }
    out.left.resize(frames);
    out.right.resize(frames);
    return out;
}

Stereo ProjectSession::demonstration(double seconds) {
    main_->requestDemonstration(1);
    Stereo s = render(seconds);
    main_->requestDemonstration(0);
    render(0.05);
    return s;
}

CInstrument* ProjectSession::track(const std::string& title) {
    for (auto& t : main_->project()->tracks)
        if (t->title == title) return t.get();
    return nullptr;
}

}  // namespace soundcheck
