#include "modules/synth_module.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/portable_math.h"

namespace {

using namespace synth;

const ModuleInfo kInfoI = {"KAVO synth I (2.1)", "KAVO synth I", fourCharCode("451t"), 0, 2, true};
const ModuleInfo kInfoII = {"KAVO synth II", "KAVO synth II", fourCharCode("1x5d"), 0, 2, true};

int partsOf(EffectSynth::Flavour f) { return f == EffectSynth::kFlavourI ? 1 : kMaxParts; }
int paramsPerPartOf(EffectSynth::Flavour f) { return f == EffectSynth::kFlavourI ? kPartParams + 1 : kPartParams; }
int programsOf(EffectSynth::Flavour f) { return f == EffectSynth::kFlavourI ? 128 : 16; }

// The voices' control updates run on the module's render schedule.
static_assert(kControlPeriod == EffectSynth::kControlFrames);

// Flavour II's parts answer the notes 36 .. 51 until a bank says otherwise.
constexpr int kFirstTriggerNote = 36;

}  // namespace

EffectSynth::EffectSynth(audioMasterCallback audioMaster, Flavour flavour)
    : KavoInstrument(audioMaster, programsOf(flavour), partsOf(flavour) * paramsPerPartOf(flavour),
                 flavour == kFlavourI ? kInfoI : kInfoII),
      flavour_(flavour),
      parts_(partsOf(flavour)),
      paramsPerPart_(paramsPerPartOf(flavour)) {
    dsp::dspTables();  // built here, never on the audio thread
    laneWidth_ = widestLanes();

    SynthProgram fresh;
    float part[kPartParams];
    defaultPartValues(part);
    for (int p = 0; p < kPartParams; ++p)
        for (int k = 0; k < kMaxParts; ++k) fresh.values[slot(p, k)] = part[p];
    fresh.mono = 0.0f;
    std::memset(fresh.name, 0, sizeof(fresh.name));
    fresh.name[0] = '-';
    programs_.assign(static_cast<size_t>(numPrograms), fresh);

    for (int k = 0; k < kMaxParts; ++k) triggerNotes_[k] = static_cast<float>(kFirstTriggerNote + k);
    std::memcpy(live_, programs_[0].values, sizeof(live_));
    initialiseVoices();
}

EffectSynth::~EffectSynth() = default;

void EffectSynth::initialiseVoices() {
    for (int i = 0; i < kVoices; ++i) {
        voices_[i] = Voice{};
        voices_[i].part = flavour_ == kFlavourII ? i : 0;
    }
    liveVoices_ = 0;
    recomputeAllParts();
    // A fresh voice sits at its initial note, so that a first note with
    // glide comes from a pitch rather than from 0 Hz.
    for (Voice& v : voices_) {
        const float ratio = portable::exp2(static_cast<float>(v.note) / 12.0f);
        for (int o = 0; o < 2; ++o) {
            v.osc[o].noteRatio = coefficients_[v.part].osc[o].keyboard ? ratio : kFixedNoteRatio;
            v.osc[o].targetIncrement = coefficients_[v.part].osc[o].baseIncrement * v.osc[o].noteRatio;
            v.osc[o].currentIncrement = v.osc[o].targetIncrement;
        }
    }
}

// ---------------------------------------------------------------------------
// Parameters and programs

float EffectSynth::sanitise(int param, float value) {
    // Values from hosts and chunks: NaN takes the parameter's default, and
    // nothing out of range reaches the engine.
    if (value != value) {
        float defaults[kPartParams];
        defaultPartValues(defaults);
        return param >= 0 && param < kPartParams ? defaults[param] : 0.0f;
    }
    const float top = isSelector(param) ? 3.0f : 1.0f;
    if (value < 0.0f) value = 0.0f;
    if (value > top) value = top;
    return isSelector(param) ? static_cast<float>(static_cast<int>(value)) : value;
}

void EffectSynth::gatherPartValues(const float* grouped, int part, float* out) const {
    for (int p = 0; p < kPartParams; ++p) out[p] = grouped[slot(p, part)];
}

void EffectSynth::recomputePart(int part) {
    float values[kPartParams];
    gatherPartValues(live_, part, values);
    recomputePart(part, values);
}

void EffectSynth::recomputePart(int part, const float* values) {
    computePart(coefficients_[part], values, sampleRate, bend_);
    laneShapes_[part] = laneShape(coefficients_[part]);
    laneGroups_.voices = LaneGroups::kNone;
    for (Voice& v : voices_)
        if (v.part == part) updateTargetIncrements(v, coefficients_[part]);
}

void EffectSynth::recomputeAllParts() {
    for (int k = 0; k < parts_; ++k) recomputePart(k);
}

void EffectSynth::storeParameter(VstInt32 index, float value) {
    const int part = index / paramsPerPart_;
    const int param = index % paramsPerPart_;
    if (param == kMonoMode) {
        const bool mono = value > 0.5f;
        monoValue_ = mono ? 1.0f : 0.0f;
        programs_[static_cast<size_t>(curProgram)].mono = monoValue_;
        setMono(mono);
        return;
    }
    const float stored = sanitise(param, storedValue(param, value));
    live_[slot(param, part)] = stored;
    programs_[static_cast<size_t>(curProgram)].values[slot(param, part)] = stored;
}

void EffectSynth::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= numParams) return;
    const int part = index / paramsPerPart_;
    const int param = index % paramsPerPart_;
    storeParameter(index, value);
    if (param == kMonoMode) return;
    // Running voices pick the new coefficients up at their next control
    // tick (at most 16 frames away), smoothed like any other modulation.
    // Most parameters a performance moves (cutoff, resonance, envelopes,
    // levels) set a coefficient or two of their own.
    float values[kPartParams];
    gatherPartValues(live_, part, values);
    if (!computePartValue(coefficients_[part], values, param, sampleRate)) recomputePart(part, values);
}

float EffectSynth::getParameter(VstInt32 index) {
    if (index < 0 || index >= numParams) return 0.0f;
    const int param = index % paramsPerPart_;
    if (param == kMonoMode) return monoValue_;
    return hostValue(param, live_[slot(param, index / paramsPerPart_)]);
}

void EffectSynth::setProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms) return;
    curProgram = program;
    const SynthProgram& p = programs_[static_cast<size_t>(program)];
    std::memcpy(live_, p.values, sizeof(live_));
    if (flavour_ == kFlavourI) {
        const bool mono = p.mono > 0.5f;
        monoValue_ = mono ? 1.0f : 0.0f;
        setMono(mono);
    }
    recomputeAllParts();
}

void EffectSynth::getParameterDisplay(VstInt32 index, char* text) {
    if (text == nullptr) return;
    text[0] = 0;
    if (index < 0 || index >= numParams) return;
    const int param = index % paramsPerPart_;
    const float stored = param == kMonoMode ? monoValue_ : live_[slot(param, index / paramsPerPart_)];
    formatDisplay(param, stored, text, kDisplayBytes);
}

void EffectSynth::getParameterName(VstInt32 index, char* text) {
    if (text == nullptr) return;
    text[0] = 0;
    if (index < 0 || index >= numParams) return;
    const int param = index % paramsPerPart_;
    if (parts_ == 1)
        std::snprintf(text, kNameBytes, "%s", paramName(param));
    else
        std::snprintf(text, kNameBytes, "%i %s", index / paramsPerPart_ + 1, paramName(param));
}

void EffectSynth::setSampleRate(float rate) {
    if (!takeSampleRate(rate)) return;
    recomputing_.store(true, std::memory_order_relaxed);
    recomputeAllParts();
    recomputing_.store(false, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Voices and MIDI

void EffectSynth::resume() {
    initialiseVoices();
    heldCount_ = 0;
    noteOrder_ = 0;
    pedal_ = false;
    random_ = dsp::Random15{};
}

void EffectSynth::resetVoices() {
    for (int i = 0; i < kVoices; ++i) {
        voiceReset(voices_[i]);
        voices_[i].part = flavour_ == kFlavourII ? i : 0;
    }
    liveVoices_ = 0;  // every voice at rest
    laneGroups_.voices = LaneGroups::kNone;
    heldCount_ = 0;
}

void EffectSynth::setMono(bool mono) {
    if (mono == mono_) return;
    mono_ = mono;
    resetVoices();
}

void EffectSynth::startNote(Voice& voice, int note, int velocity, bool retrigger) {
    voice.startOrder = ++noteOrder_;
    voice.pedalHeld = false;
    liveVoices_ |= 1u << (&voice - voices_);
    voiceNoteOn(voice, coefficients_[voice.part], note, velocity, retrigger, random_);
}

void EffectSynth::releaseNote(Voice& voice) {
    if (pedal_)
        voice.pedalHeld = true;
    else
        voiceRelease(voice);
}

void EffectSynth::polyNote(int note, int velocity) {
    Voice* found = nullptr;
    for (Voice& v : voices_)
        if (v.note == note) {
            found = &v;
            break;
        }
    if (velocity > 0) {
        if (found == nullptr) {
            // The free voice whose note started longest ago.
            for (Voice& v : voices_)
                if (!v.gate && (found == nullptr || v.startOrder < found->startOrder)) found = &v;
            if (found == nullptr) return;  // sixteen keys down: the note is dropped
        }
        startNote(*found, note, velocity, true);
    } else if (found != nullptr) {
        releaseNote(*found);
    }
}

void EffectSynth::monoNote(int note, int velocity) {
    const int heldBefore = heldCount_;
    int kept = 0;
    for (int i = 0; i < heldCount_; ++i)
        if (heldNotes_[i] != note) heldNotes_[kept++] = heldNotes_[i];
    heldCount_ = kept;
    if (velocity > 0 && heldCount_ < 128) heldNotes_[heldCount_++] = note;

    Voice& v = voices_[0];
    if (heldCount_ > 0) {
        if (velocity == 0) velocity = v.velocity;
        v.startOrder = ++noteOrder_;
        liveVoices_ |= 1u;
        // Legato: a key pressed or released while another is held moves the
        // pitch without restarting the envelopes.
        voiceNoteOn(v, coefficients_[0], heldNotes_[heldCount_ - 1], velocity, heldBefore == 0, random_);
    } else {
        voiceRelease(v);
    }
}

void EffectSynth::partNote(int note, int velocity) {
    const float key = static_cast<float>(note);
    for (int k = 0; k < parts_; ++k) {
        if (triggerNotes_[k] != key) continue;
        if (velocity > 0)
            startNote(voices_[k], note, velocity, true);
        else
            releaseNote(voices_[k]);
        return;
    }
}

void EffectSynth::noteEvent(int note, int velocity) {
    if (flavour_ == kFlavourII)
        partNote(note, velocity);
    else if (mono_)
        monoNote(note, velocity);
    else
        polyNote(note, velocity);
}

void EffectSynth::allNotesOff() {
    for (Voice& v : voices_) voiceRelease(v);
    heldCount_ = 0;
}

void EffectSynth::pitchBend(float bend) {
    bend_ = bend;
    float values[kPartParams];
    for (int k = 0; k < parts_; ++k) {
        gatherPartValues(live_, k, values);
        computeBaseIncrements(coefficients_[k], values, sampleRate, bend_);
    }
    for (Voice& v : voices_) updateTargetIncrements(v, coefficients_[v.part]);
}

void EffectSynth::handleMidi(const ModuleMidiEvent& e) {
    const int status = e.data[0] & 0xF0;
    const int d1 = e.data[1] & 0x7F;
    const int d2 = e.data[2] & 0x7F;
    switch (status) {
        case 0x90:
            noteEvent(d1, d2);
            break;
        case 0x80:
            noteEvent(d1, 0);
            break;
        case 0xB0:
            if (d1 == 1) {
                modulation_.modWheel = static_cast<float>(d2) / 127.0f;
            } else if (d1 == 64) {
                pedal_ = d2 >= 64;
                if (!pedal_)
                    for (Voice& v : voices_)
                        if (v.pedalHeld) voiceRelease(v);
            } else if (d1 == 123) {
                allNotesOff();
            }
            break;
        case 0xC0:
            setProgram(d1);
            break;
        case 0xE0:
            pitchBend(static_cast<float>(d2 - 64) / 64.0f);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------
// Audio

bool EffectSynth::noVoiceSounds() const {
    for (uint32_t live = liveVoices_; live != 0; live &= live - 1)
        if (voices_[std::countr_zero(live)].sounding()) return false;
    return true;
}

void EffectSynth::controlTick() {
    synth::controlTick(voices_, reference_ ? kEveryVoice : liveVoices_, coefficients_, modulation_, random_,
                       !reference_);
}

inline bool EffectSynth::startRun(Voice& v) {
    if (v.running && v.sounding()) [[likely]]
        return true;
    if (!v.sounding()) {
        v.running = false;
        return false;
    }
    if (!v.running) {
        v.running = true;
        controlUpdate(v, coefficients_[v.part], modulation_, false, random_, !reference_);
    }
    return true;
}

void EffectSynth::renderRunByVoice(float* left, float* right, int frames) {
    // The reference takes every voice, as if no voice were known to rest.
    for (uint32_t live = reference_ ? kEveryVoice : liveVoices_; live != 0; live &= live - 1) {
        const int i = std::countr_zero(live);
        if (startRun(voices_[i]))
            renderVoice(voices_[i], coefficients_[voices_[i].part], left, right, frames, random_);
        else
            liveVoices_ &= ~(1u << i);
    }
}

void EffectSynth::groupLanes(uint32_t laneVoices) {
    // Up to laneWidth_ voices of one shape (voices of one part share
    // theirs), each group led by the lowest voice not yet grouped.
    laneGroups_.voices = laneVoices;
    laneGroups_.count = 0;
    for (uint32_t rest = laneVoices; rest != 0;) {
        LaneGroups::Group& g = laneGroups_.groups[laneGroups_.count++];
        g.part = voices_[std::countr_zero(rest)].part;
        const LaneShape& shape = laneShapes_[g.part];
        int count = 0;
        int members[kMaxLanes];
        for (uint32_t b = rest; b != 0 && count < laneWidth_; b &= b - 1) {
            const int i = std::countr_zero(b);
            const int part = voices_[i].part;
            if (part != g.part && !(laneShapes_[part] == shape)) continue;
            members[count++] = i;
            rest &= ~(1u << i);
        }
        // Four or fewer take four lanes: the wider pass costs its gathers
        // in every lane, filled or not.
        g.count = count;
        g.lanes = count <= kLanes ? kLanes : laneWidth_;
        for (int l = 0; l < g.lanes; ++l) {
            const int i = members[l < count ? l : 0];
            g.voices[l] = &voices_[i];
            g.parts[l] = &coefficients_[voices_[i].part];
            g.left[l] = runLeft_[i];
            g.right[l] = runRight_[i];
            g.noise[l] = runNoise_[i];
        }
    }
}

void EffectSynth::renderRun(float* left, float* right, int frames) {
    if (frames <= 0) return;
    if (reference_ || frames > kControlFrames) {
        renderRunByVoice(left, right, frames);
        return;
    }
    // Voices in order, as renderRunByVoice() takes them, so that control
    // updates, the voices that stay on the one-voice loop and the noise of
    // the voices in lanes draw their random numbers in the same order.
    int sounding[kVoices];
    int soundingCount = 0;
    uint32_t laneVoices = 0;
    for (uint32_t live = liveVoices_; live != 0; live &= live - 1) {
        const int i = std::countr_zero(live);
        Voice& v = voices_[i];
        if (!startRun(v)) {
            liveVoices_ &= ~(1u << i);
            continue;
        }
        const PartCoefficients& part = coefficients_[v.part];
        sounding[soundingCount++] = i;
        if (laneEligible(v, part, frames)) {
            laneVoices |= 1u << i;
            // A voice in lanes runs the whole run: the one-voice loop
            // would draw one value per frame.
            if (part.osc[0].wave == 4)
                for (int n = 0; n < frames; ++n) runNoise_[i][n] = random_.nextBipolar();
            continue;
        }
        std::fill_n(runLeft_[i], frames, 0.0f);
        std::fill_n(runRight_[i], frames, 0.0f);
        renderVoice(v, part, runLeft_[i], runRight_[i], frames, random_);
    }
    if (soundingCount == 0) return;

    if (laneVoices != laneGroups_.voices) groupLanes(laneVoices);
    for (int k = 0; k < laneGroups_.count; ++k) {
        const LaneGroups::Group& g = laneGroups_.groups[k];
        const LaneShape& shape = laneShapes_[g.part];
        // Both give the same bits; a lone voice is cheapest on the one-voice
        // loop, noise taking the values drawn for it above.
        if (g.count == 1) {
            std::fill_n(g.left[0], frames, 0.0f);
            std::fill_n(g.right[0], frames, 0.0f);
            renderVoice(*g.voices[0], *g.parts[0], g.left[0], g.right[0], frames, random_,
                        shape.wave1 == 4 ? g.noise[0] : nullptr);
            continue;
        }
        renderVoiceLanes(g.voices, g.parts, g.count, shape, g.noise, g.left, g.right, frames, g.lanes);
        laneVoiceRuns_ += static_cast<uint64_t>(g.count);
        ++laneGroupRuns_;
    }

    // The sum in voice order, as the one-voice loop adds.
    const float* lefts[kVoices];
    const float* rights[kVoices];
    for (int s = 0; s < soundingCount; ++s) {
        lefts[s] = runLeft_[sounding[s]];
        rights[s] = runRight_[sounding[s]];
    }
    addInOrder(left, right, lefts, rights, soundingCount, frames, laneWidth_);
}

void EffectSynth::processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) {
    if (outputs == nullptr || outputs[0] == nullptr || outputs[1] == nullptr || frames <= 0) return;
    float* left = outputs[0];
    float* right = outputs[1];
    std::memset(left, 0, sizeof(float) * static_cast<size_t>(frames));
    std::memset(right, 0, sizeof(float) * static_cast<size_t>(frames));
    if (recomputing_.load(std::memory_order_relaxed)) return;

    // Nothing due and no voice sounding: the block is silence.
    if (!reference_ && midiIdle() && noVoiceSounds()) {
        for (uint32_t live = liveVoices_; live != 0; live &= live - 1) voices_[std::countr_zero(live)].running = false;
        liveVoices_ = 0;
        passSilentFrames(frames);
        return;
    }

    // Frame by frame: control tick first, then MIDI, then the voices.
    renderInRuns(
        frames, [this] { controlTick(); },
        [this, left, right](int from, int count) { renderRun(left + from, right + from, count); },
        [this](const ModuleMidiEvent& e) { handleMidi(e); });
}

AudioEffectX* createSynthI(audioMasterCallback audioMaster) {
    return new EffectSynth(audioMaster, EffectSynth::kFlavourI);
}

AudioEffectX* createSynthII(audioMasterCallback audioMaster) {
    return new EffectSynth(audioMaster, EffectSynth::kFlavourII);
}
