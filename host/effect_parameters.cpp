// Host parameters: satellite positions, track levels and pans.
#include <cmath>
#include <cstdio>

#include "host/effect.h"
#include "editor/editor.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "track/instrument.h"

namespace {

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Host range 0..1 onto a ball's axis, a planet's pan or its level.
float satellitePosition(float value) { return clampf(value * 128.0f, 0.0f, 127.0f); }
float planetValue(bool isPan, float value) {
    return isPan ? clampf(value * 2.0f - 1.0f, -1.0f, 1.0f) : clampf(value * 128.0f, 0.0f, 127.0f);
}

}  // namespace

static_assert(HeldHostParameters::kCount == kNumHostParameters, "a slot for every host parameter");

void Effect::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= kNumHostParameters) return;
    // A NaN carries no position: the parameter keeps the one it has. (The
    // clamps below hold infinities to the ends of the range.)
    if (std::isnan(value)) return;
    if (editorView_ != nullptr) editorView_->parameterChanged(index);
    // While a project or program change replaces the tracks, the value is
    // held and reaches them when the change is over (never blocks); the
    // program record takes it now, so a user program being applied gets it.
    ProjectAccess reader(*this);
    if (reader.admitted()) {
        applyHostParameter(index, value);
        return;
    }
    heldParameters_.hold(index, value);
    ProgramRecord* record = &programs_[static_cast<size_t>(currentProgram_.load())];
    if (index < 64) {
        relaxedStore(record->satellites[index / 2][index % 2], satellitePosition(value));
        return;
    }
    const int t = (index - 64) / 2;
    const bool isPan = index % 2 == 0;
    if (t < kProgramTracks)
        relaxedStore(isPan ? record->trackPan[t] : record->trackLevel[t], planetValue(isPan, value));
}

void Effect::applyHostParameter(int index, float value) {
    // The record array is never resized after construction, and these fields
    // are written with relaxed stores, so no lock is needed here.
    ProgramRecord* record = &programs_[static_cast<size_t>(currentProgram_.load())];
    if (index < 64) {
        const int s = index / 2;
        const bool vertical = index % 2 == 1;
        const float v = satellitePosition(value);
        SatelliteRef ref;
        if (!findSatellite(*project_, s, ref)) return;
        setSatelliteAxis(ref, vertical, v);
        relaxedStore(record->satellites[s][vertical ? 1 : 0], v);
        return;
    }
    const size_t t = static_cast<size_t>((index - 64) / 2);
    const bool isPan = index % 2 == 0;
    const float v = planetValue(isPan, value);
    if (t >= project_->tracks.size()) return;
    CInstrument& track = *project_->tracks[t];
    if (isPan)
        track.pan = v;
    else
        track.planetLevel = v;
    if (t < static_cast<size_t>(kProgramTracks)) relaxedStore(isPan ? record->trackPan[t] : record->trackLevel[t], v);
}

void Effect::applyHeldHostParameters() {
    if (!project_) return;
    heldParameters_.drain([this](int index, float value) { applyHostParameter(index, value); });
}

float Effect::getParameter(VstInt32 index) {
    if (index == kParamSampleRateSetting) return static_cast<float>(settings_.sampleRate);
    if (index == kParamBufferSizeSetting) return static_cast<float>(settings_.bufferSize);
    if (index < 0 || index >= kNumHostParameters) return 0.0f;
    ProjectAccess reader(*this);
    if (!reader.admitted()) return 0.0f;
    if (index < 64) {
        SatelliteRef ref;
        if (!findSatellite(*project_, index / 2, ref)) return 0.0f;
        return satelliteAxis(ref, index % 2 == 1) / 128.0f;
    }
    const size_t t = static_cast<size_t>((index - 64) / 2);
    if (t >= project_->tracks.size()) return 0.0f;
    const CInstrument& track = *project_->tracks[t];
    return index % 2 == 0 ? (track.pan.load() + 1.0f) / 2.0f : track.planetLevel.load() / 128.0f;
}

void Effect::getParameterName(VstInt32 index, char* text) {
    text[0] = 0;
    if (index < 0 || index >= kNumHostParameters) return;
    // Hosts pass buffers of at least 32 bytes for names, whatever the
    // constant says; longer names are cut there.
    char name[96];
    ProjectAccess reader(*this);
    const bool changing = !reader.admitted();
    if (index < 64) {
        SatelliteRef ref;
        if (!changing && findSatellite(*project_, index / 2, ref))
            std::snprintf(name, sizeof(name), "%s (%s)", satelliteDisplayName(ref), index % 2 == 0 ? "X" : "Y");
        else
            std::snprintf(name, sizeof(name), "Sat %i (%s)", index / 2, index % 2 == 0 ? "X" : "Y");
    } else {
        const size_t t = static_cast<size_t>((index - 64) / 2);
        const char* axis = index % 2 == 0 ? "Pan" : "Level";
        if (!changing && t < project_->tracks.size())
            std::snprintf(name, sizeof(name), "%s (%s)", project_->tracks[t]->title.c_str(), axis);
        else
            std::snprintf(name, sizeof(name), "Planet %i (%s)", static_cast<int>(t), axis);
    }
    vst_strncpy(text, name, 32);
}

void Effect::getParameterDisplay(VstInt32 index, char* text) {
    text[0] = 0;
    if (index == kParamAudioDevice) vst_strncpy(text, settings_.audioDevice, sizeof(settings_.audioDevice));
    if (index == kParamMidiDevice) vst_strncpy(text, settings_.midiDevice, sizeof(settings_.midiDevice));
}

void Effect::getParameterLabel(VstInt32 /*index*/, char* text) { text[0] = 0; }
