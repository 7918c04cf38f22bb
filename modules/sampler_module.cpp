#include "modules/sampler_module.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <emmintrin.h>

#include "modules/chunk_fields.h"
#include "modules/dsp_tables.h"

using namespace sampler;

namespace {

const ModuleInfo kInfo = {"KAVO Sampler (1.46)", "KAVO Sampler", fourCharCode("p0g8"), 0, 2, true};

// The voices' control updates run on the module's render schedule.
static_assert(kControlPeriod == EffectSampler::kControlFrames);

}  // namespace

EffectSampler::EffectSampler(audioMasterCallback audioMaster, const SampleLibrary* library)
    : KavoInstrument(audioMaster, kPrograms, kParams, kInfo),
      library_(library != nullptr ? *library : SampleLibrary::shared()) {
    dsp::dspTables();  // built here, never on the audio thread
    Program fresh;
    defaultProgram(fresh);
    programs_.assign(kPrograms, fresh);
    std::memset(fileNames_, 0, sizeof(fileNames_));
    std::memset(baseFolder_, 0, sizeof(baseFolder_));
    for (int p = 1; p < kPartParams; ++p)
        for (int k = 0; k < kParts; ++k) live(p, k) = fresh.value(p, k);
    for (int p = 0; p < kParts; ++p) live(kWave, p) = 0.0f;
    recomputeAllParts();
}

EffectSampler::~EffectSampler() = default;

// ---------------------------------------------------------------------------
// Parts and samples

void EffectSampler::gatherPartValues(int part, float* out) const {
    for (int p = 0; p < kPartParams; ++p) out[p] = live(p, part);
}

void EffectSampler::recomputePart(int part) {
    float values[kPartParams];
    gatherPartValues(part, values);
    computeSettings(parts_[part], values, sampleRate, bend_);
}

void EffectSampler::recomputeAllParts() {
    for (int k = 0; k < kParts; ++k) recomputePart(k);
}

void EffectSampler::recomputeIncrements() {
    float values[kPartParams];
    for (int k = 0; k < kParts; ++k) {
        gatherPartValues(k, values);
        computeIncrement(parts_[k], values, sampleRate, bend_);
    }
}

void EffectSampler::setPartFileName(int part, const char* name) {
    if (part < 0 || part >= kParts || name == nullptr) return;
    chunk_fields::copyNameField(fileNames_[part], name, kFileNameBytes);
}

void EffectSampler::loadSample(int part) {
    char* name = fileNames_[part];
    // A name inside the base folder is kept relative to it.
    const size_t baseLength = std::strlen(baseFolder_);
    if (name[0] != 0 && baseLength > 1) {
        const size_t stem = baseLength - 1;  // without the separator the folder was given
        if (chunk_fields::insideFolder(name, baseFolder_)) {
            const size_t rest = std::strlen(name + stem + 1);
            std::memmove(name, name + stem + 1, rest + 1);
            std::memset(name + rest, 0, kFileNameBytes - rest);
            std::memcpy(programs_[static_cast<size_t>(curProgram)].fileNames[part], name, kFileNameBytes);
        }
    }

    PartSample& sample = parts_[part].sample;
    sample = PartSample();
    if (name[0] != 0) {
        // A lookup and a reference change: nothing decodes or allocates here.
        std::shared_ptr<const DecodedSample> found = library_.find(name, SampleChannels::AsStored);
        if (found != nullptr && !found->empty()) {
            sample.frames = found->samples.data();
            sample.frameCount = found->frameCount;
            sample.stereo = found->stereo;
            sample.rateHz = found->sampleRateHz;
            sample.fileLoopStart = found->loopStartFraction();
            sample.fileLoopEnd = found->loopEndFraction();
            sample.owner = std::move(found);
        }
    }
    recomputePart(part);
    silenceAllPositions();
}

void EffectSampler::countPartsInUse() {
    partsInUse_ = 0;
    for (int k = 0; k < kParts; ++k)
        if (fileNames_[k][0] != 0) partsInUse_ = k + 1;
}

int EffectSampler::splitNoteFor(int part) const {
    return live(kMultiLayerOn, 0) != 0.0f ? parts_[0].splitNote : parts_[part].splitNote;
}

// ---------------------------------------------------------------------------
// Parameters and programs

void EffectSampler::storeValue(int param, int part, float value) {
    const float stored = sanitise(param, part, value);
    live(param, part) = stored;
    programs_[static_cast<size_t>(curProgram)].value(param, part) = stored;
}

void EffectSampler::applyParameter(int param, int part, float value) {
    storeValue(param, part, value);
    recomputePart(part);
}

void EffectSampler::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= numParams) return;
    const int part = index / kPartParams;
    const int param = index % kPartParams;
    if (param == kWave) {
        std::memcpy(programs_[static_cast<size_t>(curProgram)].fileNames[part], fileNames_[part], kFileNameBytes);
        loadSample(part);
        countPartsInUse();
        return;
    }
    if (link_ != 0.0f) {
        for (int k = 0; k < kParts; ++k) applyParameter(param, k, value);
    } else {
        applyParameter(param, part, value);
    }
    switch (param) {
        case kEnvLevel:
            for (Voice& v : voices_) v.envelope = kEnvelopeFloor;
            break;
        case kHold:
            stopAll();
            break;
        case kSplitNote:
        case kMonoMode:
        case kMultiLayerOn:
            releaseAll();
            break;
        default:
            break;
    }
}

float EffectSampler::getParameter(VstInt32 index) {
    if (index < 0 || index >= numParams) return 0.0f;
    const int param = index % kPartParams;
    return param == kWave ? 0.0f : live(param, index / kPartParams);
}

void EffectSampler::setProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms) return;
    curProgram = program;
    const Program& p = programs_[static_cast<size_t>(program)];
    bool changed[kParts];
    for (int k = 0; k < kParts; ++k) {
        changed[k] = std::strncmp(p.fileNames[k], fileNames_[k], kFileNameBytes) != 0;
        if (changed[k]) chunk_fields::copyNameField(fileNames_[k], p.fileNames[k], kFileNameBytes);
        for (int param = 1; param < kPartParams; ++param) live(param, k) = p.value(param, k);
    }
    link_ = p.link;
    recomputeAllParts();
    for (int k = 0; k < kParts; ++k)
        if (changed[k]) loadSample(k);
    countPartsInUse();
}

void EffectSampler::getParameterDisplay(VstInt32 index, char* text) {
    if (text == nullptr) return;
    text[0] = 0;
    if (index < 0 || index >= numParams) return;
    const int part = index / kPartParams;
    const int param = index % kPartParams;
    formatDisplay(param, live(param, part), fileNames_[part], text, kTextBytes);
}

void EffectSampler::getParameterName(VstInt32 index, char* text) {
    if (text == nullptr) return;
    text[0] = 0;
    if (index < 0 || index >= numParams) return;
    std::snprintf(text, kTextBytes, "%i %s", index / kPartParams + 1, paramName(index % kPartParams));
}

void EffectSampler::setSampleRate(float rate) {
    if (!takeSampleRate(rate)) return;
    for (int k = 0; k < kParts; ++k) loadSample(k);
}

// ---------------------------------------------------------------------------
// Voices and MIDI

int EffectSampler::splitPartFor(int note) const {
    int best = -1;
    for (int k = 0; k < partsInUse_; ++k) {
        const int split = parts_[k].splitNote;
        if (split >= note && (best < 0 || split < parts_[best].splitNote)) best = k;
    }
    if (best >= 0) return best;
    for (int k = 0; k < partsInUse_; ++k)
        if (best < 0 || parts_[k].splitNote > parts_[best].splitNote) best = k;
    return best;
}

Voice* EffectSampler::chooseVoice(int note, int part, bool matchPart, bool matchNote) {
    for (Voice& v : voices_)
        if (v.active() && (!matchPart || v.part == part) && (!matchNote || v.note == note)) return &v;
    // Free voices first, the one whose note started longest ago; then the
    // oldest of all is stolen. The order is a counter, so every voice
    // qualifies however fast the host renders.
    Voice* found = nullptr;
    for (Voice& v : voices_)
        if (!v.gate && (found == nullptr || v.startOrder < found->startOrder)) found = &v;
    if (found != nullptr) return found;
    for (Voice& v : voices_)
        if (found == nullptr || v.startOrder < found->startOrder) found = &v;
    return found;
}

void EffectSampler::startVoice(Voice& voice, int part, int note, int velocity) {
    voice.part = part;
    voice.startOrder = ++noteOrder_;
    voice.heldCount = 0;
    voiceNoteOn(voice, parts_[part], note, velocity);
    // The new note's pitch at once; a voice that is still sounding glides
    // its gains over from the old note.
    controlUpdate(voice, parts_[part], splitNoteFor(part), voice.running);
}

void EffectSampler::releaseVoice(Voice& voice) {
    if (pedal_)
        voice.pedalHeld = true;
    else
        voiceRelease(voice);
}

void EffectSampler::releaseAll() {
    for (Voice& v : voices_) {
        if (v.gate) voiceRelease(v);
        v.heldCount = 0;
    }
}

void EffectSampler::resume() { stopAll(); }

void EffectSampler::stopAll() {
    for (Voice& v : voices_) {
        voiceStop(v);
        v.heldCount = 0;
    }
}

void EffectSampler::silenceAllPositions() {
    for (Voice& v : voices_) v.position = -1.0;
}

void EffectSampler::noteOn(int note, int velocity) {
    if (live(kMultiLayerOn, 0) == 0.0f) {
        const int part = splitPartFor(note);
        if (part < 0) return;
        Voice* v = chooseVoice(note, part, false, true);
        if (v != nullptr) startVoice(*v, part, note, velocity);
        return;
    }
    for (int k = 0; k < partsInUse_; ++k) {
        const bool mono = parts_[k].mono;
        Voice* v = chooseVoice(note, k, true, !mono);
        if (v == nullptr) continue;
        if (mono && v->part == k && v->gate && v->heldCount > 0) {
            // Legato: the envelope starts again, the sample plays on.
            v->note = note;
            v->startOrder = ++noteOrder_;
            voiceRestartEnvelope(*v);
            controlUpdate(*v, parts_[k], splitNoteFor(k), true);
        } else {
            startVoice(*v, k, note, velocity);
        }
        if (mono) v->addHeld(note);
    }
}

void EffectSampler::noteOff(int note) {
    const bool layered = live(kMultiLayerOn, 0) != 0.0f;
    for (Voice& v : voices_) {
        if (layered && parts_[v.part].mono && v.heldCount > 0) {
            const int before = v.heldCount;
            v.removeHeld(note);
            if (v.heldCount == before) continue;
            if (v.heldCount > 0) {
                if (v.note != note) continue;
                v.note = v.held[v.heldCount - 1];
                voiceRestartEnvelope(v);
                controlUpdate(v, parts_[v.part], splitNoteFor(v.part), true);
            } else if (v.gate) {
                releaseVoice(v);
            }
        } else if (v.gate && v.note == note && !v.pedalHeld) {
            releaseVoice(v);
        }
    }
}

void EffectSampler::handleMidi(const ModuleMidiEvent& e) {
    const int status = e.data[0] & 0xF0;
    const int d1 = e.data[1] & 0x7F;
    const int d2 = e.data[2] & 0x7F;
    switch (status) {
        case 0x90:
            if (d2 > 0)
                noteOn(d1, d2);
            else
                noteOff(d1);
            break;
        case 0x80:
            noteOff(d1);
            break;
        case 0xB0:
            if (d1 == 64) {
                pedal_ = d2 >= 64;
                if (!pedal_)
                    for (Voice& v : voices_)
                        if (v.pedalHeld) voiceRelease(v);
            } else if (d1 == 123) {
                releaseAll();
            }
            break;
        case 0xC0:
            setProgram(d1);
            break;
        case 0xE0:
            bend_ = static_cast<float>(d2 - 64) / 64.0f;
            recomputeIncrements();
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------
// Audio

void EffectSampler::checkTransport() {
    // The samples stop with the host's transport.
    const VstTimeInfo* time = getTimeInfo(0);
    if (time != nullptr && (time->flags & kVstTransportChanged) != 0 && (time->flags & kVstTransportPlaying) == 0)
        silenceAllPositions();
}

void EffectSampler::controlTick() {
    for (Voice& v : voices_)
        if (v.running) controlUpdate(v, parts_[v.part], splitNoteFor(v.part), true);
}

bool EffectSampler::startRun(Voice& v) {
    if (!v.active()) return false;
    if (!v.running) {
        if (v.position < 0.0) return false;  // stopped: nothing until the next note
        v.running = true;
        controlUpdate(v, parts_[v.part], splitNoteFor(v.part), false);
    }
    return true;
}

void EffectSampler::renderRunByVoice(float* left, float* right, int frames) {
    for (Voice& v : voices_)
        if (startRun(v)) renderVoice(v, parts_[v.part], left, right, frames);
}

void EffectSampler::renderRun(float* left, float* right, int frames) {
    if (frames <= 0) return;
    if (reference_ || frames > kControlFrames) {
        renderRunByVoice(left, right, frames);
        return;
    }
    // Each sounding voice into its own run, four at a time in lanes where
    // they can, then the runs summed in voice order as the one-voice loop
    // adds them. The lanes of a group are independent of each other: which
    // voices share a group changes no sample.
    int sounding[kVoices];
    int soundingCount = 0;
    // Lane voices by shape (the shape is only the filter switch).
    static_assert(sizeof(LaneShape) == sizeof(bool));
    int laneVoices[2][kVoices];
    int laneCount[2] = {0, 0};
    for (int i = 0; i < kVoices; ++i) {
        Voice& v = voices_[i];
        if (!startRun(v)) continue;
        const PartSettings& part = parts_[v.part];
        if (voiceAtRest(v, part)) {
            // Its envelope moves on; it adds nothing to the sum.
            renderVoiceAtRest(v, part, frames);
            continue;
        }
        sounding[soundingCount++] = i;
        if (laneEligible(v, part, frames)) {
            const int shape = laneShape(part).filterOn ? 1 : 0;
            laneVoices[shape][laneCount[shape]++] = i;
            continue;
        }
        std::fill_n(runLeft_[i], frames, 0.0f);
        std::fill_n(runRight_[i], frames, 0.0f);
        renderVoice(v, part, runLeft_[i], runRight_[i], frames);
    }
    if (soundingCount == 0) return;

    // Lane groups: up to four voices of one shape.
    for (int shape = 0; shape < 2; ++shape) {
        LaneShape groupShape;
        groupShape.filterOn = shape != 0;
        for (int first = 0; first < laneCount[shape]; first += kLanes) {
            const int count = std::min(kLanes, laneCount[shape] - first);
            Voice* group[kLanes];
            const PartSettings* parts[kLanes];
            float* groupLeft[kLanes];
            float* groupRight[kLanes];
            for (int l = 0; l < kLanes; ++l) {
                const int i = laneVoices[shape][first + std::min(l, count - 1)];
                group[l] = &voices_[i];
                parts[l] = &parts_[voices_[i].part];
                groupLeft[l] = runLeft_[i];
                groupRight[l] = runRight_[i];
            }
            renderVoiceLanes(group, parts, count, groupShape, groupLeft, groupRight, frames, laneKernel_);
            laneVoiceRuns_ += static_cast<uint64_t>(count);
        }
    }

    int n = 0;
    for (; n + 4 <= frames; n += 4) {
        __m128 l = _mm_loadu_ps(left + n);
        __m128 r = _mm_loadu_ps(right + n);
        for (int s = 0; s < soundingCount; ++s) {
            l = _mm_add_ps(l, _mm_loadu_ps(runLeft_[sounding[s]] + n));
            r = _mm_add_ps(r, _mm_loadu_ps(runRight_[sounding[s]] + n));
        }
        _mm_storeu_ps(left + n, l);
        _mm_storeu_ps(right + n, r);
    }
    for (; n < frames; ++n) {
        float l = left[n];
        float r = right[n];
        for (int s = 0; s < soundingCount; ++s) {
            l += runLeft_[sounding[s]][n];
            r += runRight_[sounding[s]][n];
        }
        left[n] = l;
        right[n] = r;
    }
}

void EffectSampler::processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) {
    if (outputs == nullptr || outputs[0] == nullptr || outputs[1] == nullptr || frames <= 0) return;
    float* left = outputs[0];
    float* right = outputs[1];
    std::memset(left, 0, sizeof(float) * static_cast<size_t>(frames));
    std::memset(right, 0, sizeof(float) * static_cast<size_t>(frames));
    checkTransport();

    // Frame by frame: control tick first, then MIDI, then the voices.
    renderInRuns(
        frames, [this] { controlTick(); },
        [this, left, right](int from, int count) { renderRun(left + from, right + from, count); },
        [this](const ModuleMidiEvent& e) { handleMidi(e); });
}

AudioEffectX* createSampler(audioMasterCallback audioMaster) { return new EffectSampler(audioMaster); }
