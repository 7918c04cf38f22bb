#include "tools/library_report/library_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/effect.h"
#include "project/project.h"

namespace library {

namespace {

// The host's time information: transport stopped, so the plug-in runs its
// own clock (and the demonstration its project's tempo).
thread_local VstTimeInfo tTime{};

VstIntPtr VSTCALLBACK hostCallback(AEffect* /*effect*/, VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/,
                                   void* /*ptr*/, float /*opt*/) {
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&tTime);
        default: return 0;
    }
}

}  // namespace

LibraryPlayer::LibraryPlayer() {
    std::memset(&tTime, 0, sizeof(tTime));
    tTime.sampleRate = kRenderRateHz;
    tTime.tempo = 120.0;
    tTime.timeSigNumerator = 4;
    tTime.timeSigDenominator = 4;
    tTime.flags = kVstTempoValid | kVstTimeSigValid;
    effect_ = new Effect(&hostCallback);
    effect_->setSampleRate(static_cast<float>(kRenderRateHz));
    AEffect* e = effect_->getAeffect();
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
}

LibraryPlayer::~LibraryPlayer() {
    if (effect_ != nullptr) {
        AEffect* e = effect_->getAeffect();
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    }
}

Project& LibraryPlayer::project() { return *effect_->project(); }

const std::vector<std::string>& LibraryPlayer::projectNames() const { return effect_->projectNames(); }

bool LibraryPlayer::load(int index) {
    AEffect* e = effect_->getAeffect();
    pending_.clear();
    return e->dispatcher(e, effVendorSpecific, kVendorDemoIndex, kVendorProjectValue, nullptr,
                         static_cast<float>(index)) == 1;
}

size_t LibraryPlayer::demonstrationFrames() {
    const Project& p = project();
    if (p.demoEvents.empty()) return 0;
    VstInt32 last = 0;
    for (const VstMidiEvent& ev : p.demoEvents) last = std::max(last, ev.deltaFrames);
    const double written = p.writtenTempoBpm > 0.0f ? p.writtenTempoBpm : 120.0;
    const double tempo = effect_->projectTempo.load() > 0.0f ? effect_->projectTempo.load() : written;
    return static_cast<size_t>(static_cast<double>(last) * written / tempo);
}

void LibraryPlayer::startDemonstration() { effect_->requestDemonstration(1); }
void LibraryPlayer::stopDemonstration() { effect_->requestDemonstration(0); }

measure::StereoSignal LibraryPlayer::renderDemonstration(double tailSeconds) {
    const size_t frames = demonstrationFrames();
    startDemonstration();
    measure::StereoSignal out = render(static_cast<double>(frames) / kRenderRateHz + tailSeconds);
    stopDemonstration();
    return out;
}

void LibraryPlayer::midi(uint8_t status, uint8_t data1, uint8_t data2) {
    pending_.insert(pending_.end(), {status, data1, data2});
}

void LibraryPlayer::setParameter(int index, float value) {
    AEffect* e = effect_->getAeffect();
    e->setParameter(e, index, value);
}

void LibraryPlayer::render(double seconds, measure::StereoSignal& out) {
    out.rateHz = kRenderRateHz;
    const size_t wanted = static_cast<size_t>(std::ceil(seconds * kRenderRateHz));
    AEffect* e = effect_->getAeffect();
    std::vector<float> left(kRenderBlockFrames), right(kRenderBlockFrames);
    out.left.reserve(out.left.size() + wanted + kRenderBlockFrames);
    out.right.reserve(out.right.size() + wanted + kRenderBlockFrames);
    for (size_t done = 0; done < wanted; done += kRenderBlockFrames) {
        if (!pending_.empty()) {
            const size_t count = pending_.size() / 3;
            std::vector<VstMidiEvent> events(count);
            std::vector<char> list(sizeof(VstEvents) + sizeof(VstEvent*) * count);
            auto* header = reinterpret_cast<VstEvents*>(list.data());
            header->numEvents = static_cast<VstInt32>(count);
            for (size_t i = 0; i < count; ++i) {
                std::memset(&events[i], 0, sizeof(VstMidiEvent));
                events[i].type = kVstMidiType;
                events[i].byteSize = sizeof(VstMidiEvent);
                for (int b = 0; b < 3; ++b) events[i].midiData[b] = static_cast<char>(pending_[3 * i + static_cast<size_t>(b)]);
                header->events[i] = reinterpret_cast<VstEvent*>(&events[i]);
            }
            pending_.clear();
            e->dispatcher(e, effProcessEvents, 0, 0, header, 0.0f);
        }
        float* outputs[2] = {left.data(), right.data()};
        e->processReplacing(e, nullptr, outputs, kRenderBlockFrames);
        tTime.samplePos += kRenderBlockFrames;
        out.left.insert(out.left.end(), left.begin(), left.end());
        out.right.insert(out.right.end(), right.begin(), right.end());
    }
}

measure::StereoSignal LibraryPlayer::render(double seconds) {
    measure::StereoSignal out;
    render(seconds, out);
    return out;
}

}  // namespace library
