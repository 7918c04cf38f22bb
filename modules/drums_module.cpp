#include "modules/drums_module.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/portable_math.h"
#include "modules/chunk_fields.h"
#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"

using namespace drums;

namespace {

const ModuleInfo kInfo = {"KAVO drums (1.44)", "KAVO drums", fourCharCode("16cx"), 0, kOutputs, true};

// The voices' control updates run on the module's render schedule.
static_assert(kControlPeriod == EffectDrums::kControlFrames);

DrumProgram defaultProgram() {
    DrumProgram p;
    std::memset(&p, 0, sizeof(p));
    for (int k = 0; k < kPadRecords; ++k) {
        std::snprintf(p.fileNames[k], kNameBytes, "%s%s.wav", drum_samples::kDefaultFolder,
                      drum_samples::kDefaultNames[k]);
    }
    float values[kStoredValues];
    defaultStoredValues(values);
    for (int param = 1; param < kParamsPerPad; ++param)
        for (int k = 0; k < kPadRecords; ++k) p.values[(param - 1) * kPadRecords + k] = values[param - 1];
    p.name[0] = '-';
    return p;
}

}  // namespace

EffectDrums::EffectDrums(audioMasterCallback audioMaster, bool bassMode, const SampleLibrary* library)
    : KavoInstrument(audioMaster, kNumPrograms, kNumParams, kInfo),
      bassMode_(bassMode),
      library_(library != nullptr ? *library : SampleLibrary::shared()),
      slots_(library_) {
    programs_.assign(static_cast<size_t>(numPrograms), defaultProgram());
    for (int k = 0; k < kPadRecords; ++k) {
        padNotes_[k] = kDefaultPadNotes[k];
        pads_[k].note = padNotes_[k];
    }
    for (int i = 0; i < kVoices; ++i) voices_[i].pad = bassMode_ ? 0 : i;
    setProgram(0);
}

EffectDrums::~EffectDrums() = default;

void EffectDrums::setBassMode(bool bass) {
    if (bass == bassMode_) return;
    bassMode_ = bass;
    for (int i = 0; i < kVoices; ++i) {
        stopVoice(voices_[i]);
        voices_[i].gate = false;
        voices_[i].noteFactor = 1.0;
        voices_[i].pad = bassMode_ ? 0 : i;
    }
}

// ---------------------------------------------------------------------------
// Parameters and programs

void EffectDrums::storeValue(int pad, int param, float value) {
    const float stored = storedValue(param, value);
    live_[param][pad] = stored;
    programs_[static_cast<size_t>(curProgram)].values[slot(param, pad)] = stored;
}

void EffectDrums::recomputePad(int pad) {
    PadSettings& s = pads_[pad];
    float v[kParamsPerPad];
    for (int p = 0; p < kParamsPerPad; ++p) v[p] = live_[p][pad];
    s.note = padNotes_[pad];
    s.pan = v[kPan];
    s.levelVelocity = v[kLevelVelocity];
    s.tuneVelocity = v[kTuneVelocity];
    s.decay = v[kDecay] != 0.0f;
    s.reverse = v[kReverse] != 0.0f;
    s.loop = v[kLoop] != 0.0f;
    s.mute = v[kMute] != 0.0f;
    s.waveBegin = v[kWaveBegin];
    s.waveEnd = v[kWaveEnd];
    s.levelGain = levelGain(v[kLevel], s.mute);
    s.send1Gain = sendGain(v[kEffect1]);
    s.send2Gain = sendGain(v[kEffect2]);
    s.tuneFactor = tuneFactor(v[kTune]);
}

void EffectDrums::updatePadWindow(int pad) {
    PadSettings& s = pads_[pad];
    const double frames = s.sample != nullptr ? static_cast<double>(s.sample->frameCount) : 0.0;
    const float end = std::max(s.waveBegin, s.waveEnd);
    s.windowBeginFrames = static_cast<double>(s.waveBegin) * frames;
    s.windowEndFrames = static_cast<double>(end) * frames;
    for (Voice& v : voices_)
        if (v.pad == pad) applyWindow(v, s);
}

void EffectDrums::loadPadSample(int pad) {
    PadSettings& s = pads_[pad];
    char fullName[SampleSlots::kFullNameBytes];
    fullSampleName(baseFolder_, padNames_[pad], fullName, sizeof(fullName));
    const int index = slots_.resolve(fullName, [this](int entry) {
        for (const PadSettings& p : pads_)
            if (p.sampleIndex == entry) return true;
        return false;
    });
    const DecodedSample* sample = slots_.sample(index);
    if (index < 0 && padNames_[pad][0] != 0) {
        // A name the store does not know is dropped from the program, so
        // that the program says what the pad really plays.
        std::memset(programs_[static_cast<size_t>(curProgram)].fileNames[pad], 0, kNameBytes);
    }
    if (sample != s.sample)
        for (Voice& v : voices_)
            if (v.pad == pad) stopVoice(v);
    s.sampleIndex = index;
    s.sample = sample;
}

void EffectDrums::setPadFileName(int pad, const char* name) {
    if (pad < 0 || pad >= kPadRecords) return;
    chunk_fields::copyNameField(padNames_[pad], name, kNameBytes);
}

void EffectDrums::setParameter(VstInt32 index, float value) {
    if (index >= 0 && index < numParams) {
        const int pad = index / kParamsPerPad;
        const int param = index % kParamsPerPad;
        if (param == kWave) {
            live_[kWave][pad] = repairedUnitValue(value, 0.0f);
            std::memcpy(programs_[static_cast<size_t>(curProgram)].fileNames[pad], padNames_[pad], kNameBytes);
            loadPadSample(pad);
            updatePadWindow(pad);
            return;
        }
        storeValue(pad, param, value);
        recomputePad(pad);
        if (param == kWaveBegin || param == kWaveEnd) updatePadWindow(pad);
        // Running voices follow at their next control update, smoothed.
        return;
    }
    if (index >= kPatternRandomFirst && index < kPatternRandomFirst + kPads) {
        patternRandom(index - kPatternRandomFirst, value);
        return;
    }
    hostMessage(index, value);
}

float EffectDrums::getParameter(VstInt32 index) {
    if (index < 0 || index >= numParams) return 0.0f;
    return live_[index % kParamsPerPad][index / kParamsPerPad];
}

void EffectDrums::setProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms) return;
    curProgram = program;
    const DrumProgram& p = programs_[static_cast<size_t>(program)];
    for (int k = 0; k < kPadRecords; ++k) {
        std::memcpy(padNames_[k], p.fileNames[k], kNameBytes);
        padNames_[k][kNameBytes - 1] = 0;
        for (int param = 1; param < kParamsPerPad; ++param) live_[param][k] = p.values[slot(param, k)];
    }
    for (int k = 0; k < kPads; ++k) {
        recomputePad(k);
        loadPadSample(k);
        updatePadWindow(k);
        for (Voice& v : voices_)
            if (v.pad == k && v.active()) controlUpdate(v, pads_[k], sampleRate, false);
    }
}

void EffectDrums::getParameterName(VstInt32 index, char* text) {
    if (text == nullptr) return;
    text[0] = 0;
    if (index >= 0 && index < numParams)
        std::snprintf(text, kTextBytes, "%i %s", index / kParamsPerPad + 1, paramName(index % kParamsPerPad));
    else if (index >= kPatternRandomFirst && index < kPatternRandomFirst + kPads)
        std::snprintf(text, kTextBytes, "%i Pattern Random", index - kPatternRandomFirst + 1);
}

void EffectDrums::getParameterLabel(VstInt32 index, char* text) {
    if (text == nullptr) return;
    text[0] = 0;
    if (index >= kPatternRandomFirst && index < kPatternRandomFirst + kPads)
        std::snprintf(text, kTextBytes, "%i Pattern Random", index - kPatternRandomFirst + 1);
}

void EffectDrums::getParameterDisplay(VstInt32 index, char* text) {
    if (text == nullptr) return;
    text[0] = 0;
    if (index >= kPatternRandomFirst && index < kPatternRandomFirst + kPads) {
        std::snprintf(text, kDisplayBytes, "PatternRandom");
        return;
    }
    if (index < 0 || index >= numParams) return;
    const int pad = index / kParamsPerPad;
    const int param = index % kParamsPerPad;
    if (param == kWave) {
        // The file name without its folders: the full path would not fit
        // the space hosts give a value.
        std::snprintf(text, kDisplayBytes, "%s", sample_store::fileNamePart(padNames_[pad]));
        return;
    }
    formatDisplay(param, live_[param][pad], text, kDisplayBytes);
}

VstIntPtr EffectDrums::vendorSpecific(VstInt32 index, VstIntPtr /*value*/, void* ptr, float /*opt*/) {
    if (index != kSendShortNameMessage && index != kSendShortNameMessage + 1) return 0;
    chunk_fields::copyNameField(sendShortNames_[index - kSendShortNameMessage], static_cast<const char*>(ptr),
                                kSendShortNameBytes);
    return 1;
}

void EffectDrums::resume() {
    for (drums::Voice& v : voices_) {
        const int pad = v.pad;
        v = drums::Voice{};
        v.pad = pad;
    }
}

void EffectDrums::setSampleRate(float rate) {
    if (!takeSampleRate(rate)) return;
    for (int k = 0; k < kPads; ++k) {
        recomputePad(k);
        loadPadSample(k);
        updatePadWindow(k);
    }
    for (Voice& v : voices_)
        if (v.active()) controlUpdate(v, pads_[v.pad], sampleRate, false);
}

// ---------------------------------------------------------------------------
// MIDI

void EffectDrums::drumNoteOn(int note, int velocity) {
    int pad = -1;
    for (int k = 0; k < kPads; ++k)
        if (padNotes_[k] == note) {
            pad = k;
            break;
        }
    if (pad < 0) return;
    // The hi-hats share one physical cymbal pair: any of them silences the
    // other two at once.
    for (int hat : kHatNotes) {
        if (hat != note) continue;
        for (int other : kHatNotes) {
            if (other == note) continue;
            for (int k = 0; k < kPads; ++k)
                if (padNotes_[k] == other) stopVoice(voices_[k]);
        }
    }
    Voice& v = voices_[pad];
    v.startOrder = ++startCounter_;
    v.note = note;
    v.velocity = velocity;
    v.gate = true;
    v.noteFactor = 1.0;
    updatePadWindow(pad);
    startVoice(v, pads_[pad]);
    controlUpdate(v, pads_[pad], sampleRate, false);
}

void EffectDrums::bassNoteOn(int note, int velocity) {
    for (int i = 1; i < kVoices; ++i) stopVoice(voices_[i]);
    Voice& v = voices_[0];
    v.pad = 0;
    v.startOrder = ++startCounter_;
    v.note = note;
    v.velocity = velocity;
    v.gate = true;
    v.noteFactor = portable::exp2(static_cast<double>(note - kBassRootNote) / 12.0);
    updatePadWindow(0);
    startVoice(v, pads_[0]);
    controlUpdate(v, pads_[0], sampleRate, false);
}

void EffectDrums::noteOff(int note) {
    if (bassMode_) {
        // Only the key that sounds releases it: in legato playing the
        // earlier key comes up after the new one went down.
        Voice& v = voices_[0];
        if (!pads_[0].decay && v.note == note) v.gate = false;
        return;
    }
    for (int k = 0; k < kPads; ++k)
        if (padNotes_[k] == note) {
            voices_[k].gate = false;
            return;
        }
}

void EffectDrums::handleMidi(const ModuleMidiEvent& e) {
    const int status = e.data[0] & 0xF0;
    const int d1 = e.data[1] & 0x7F;
    const int d2 = e.data[2] & 0x7F;
    switch (status) {
        case 0x90:
            if (d2 == 0)
                noteOff(d1);
            else if (bassMode_)
                bassNoteOn(d1, d2);
            else
                drumNoteOn(d1, d2);
            break;
        case 0x80:
            noteOff(d1);
            break;
        case 0xB0:
            if (d1 == 123)
                for (Voice& v : voices_) v.gate = false;
            break;
        case 0xC0:
            setProgram(d1);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------
// Audio

int EffectDrums::zeroWaitFrames() const {
    return static_cast<int>(kZeroCrossingWaitSeconds * static_cast<double>(sampleRate)) + 1;
}

void EffectDrums::controlTick() {
    for (Voice& v : voices_)
        if (v.active()) controlUpdate(v, pads_[v.pad], sampleRate, true);
}

// The voices render in spans: runs and control updates add up until MIDI
// is due, the span is full or an update would change a voice's pitch or
// targets; then the span renders in one go, voice by voice, with its
// updates at their frames. The same samples as rendering run by run.
void EffectDrums::queueTick() {
    if (tickCount_ < kMaxSpanTicks) {
        // Inputs move only between blocks and with MIDI: once every sounding
        // voice has been found settled (or updated), they stay so.
        if (!inputsSettled_) {
            inputsSettled_ = true;
            for (const Voice& v : voices_)
                if (v.active() && !controlInputsUnchanged(v, pads_[v.pad], sampleRate)) inputsSettled_ = false;
        }
        if (inputsSettled_) {
            ticks_[tickCount_++] = spanFrames_;
            return;
        }
    }
    flushSpan();
    controlTick();
    inputsSettled_ = true;
}

void EffectDrums::queueRun(int count) {
    if (spanFrames_ + count > kMaxSpanFrames) flushSpan();
    spanFrames_ += count;
}

void EffectDrums::flushSpan() {
    if (spanFrames_ > 0 || tickCount_ > 0) {
        Voice* active[kVoices];
        const PadSettings* pads[kVoices];
        int count = 0;
        for (Voice& v : voices_)
            if (v.active()) {
                active[count] = &v;
                pads[count] = &pads_[v.pad];
                ++count;
            }
        if (count > 0) {
            float* out[kOutputs];
            for (int k = 0; k < kOutputs; ++k)
                out[k] = spanOutputs_[k] != nullptr ? spanOutputs_[k] + spanStart_ : spanScratch_[k];
            renderVoiceSpan(active, pads, count, out, spanFrames_, ticks_, tickCount_, zeroWaitFrames());
        }
    }
    spanStart_ += spanFrames_;
    spanFrames_ = 0;
    tickCount_ = 0;
}

void EffectDrums::processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) {
    if (outputs == nullptr || frames <= 0) return;
    // An output the host left out is rendered into scratch space, which
    // nothing reads; spans never outgrow it.
    for (int k = 0; k < kOutputs; ++k) {
        spanOutputs_[k] = outputs[k];
        if (outputs[k] != nullptr) std::memset(outputs[k], 0, sizeof(float) * static_cast<size_t>(frames));
    }
    spanStart_ = 0;
    spanFrames_ = 0;
    tickCount_ = 0;
    inputsSettled_ = false;
    renderInRuns(
        frames, [this] { queueTick(); },
        [this](int from, int count) {
            if (from != spanStart_ + spanFrames_) {  // runs are contiguous; kept safe all the same
                flushSpan();
                spanStart_ = from;
            }
            queueRun(count);
        },
        [this](const ModuleMidiEvent& e) {
            flushSpan();
            handleMidi(e);
            inputsSettled_ = false;
        });
    flushSpan();
}

AudioEffectX* createDrums(audioMasterCallback audioMaster) { return new EffectDrums(audioMaster, false); }

AudioEffectX* createBass(audioMasterCallback audioMaster) { return new EffectDrums(audioMaster, true); }
