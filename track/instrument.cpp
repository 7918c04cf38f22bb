#include "track/instrument.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/random_colour.h"
#include "modulehost/cplugin.h"
#include "track/gain_tables.h"

namespace {

struct MixParameterSpec {
    const char* name;
    float minimum;
    float maximum;
    float steps;
    int display;
};

// Display codes: 0 plain, 1..3 band frequencies, 4 gain, 5 resonance,
// 6 level 0..127, 7 program number.
constexpr MixParameterSpec kMixParameters[kNumMixParameters] = {
    {"Level", 0, 127, 0, 6},       {"Pan", -1, 1, 0, 0},          {"Mute", 0, 1, 2, 0},
    {"EQ ON", 0, 1, 2, 0},         {"LP Freq", 0, 1, 0, 1},       {"LP Q", 0, 1, 0, 5},
    {"LP Gain", -1, 1, 0, 4},      {"BP Freq", 0, 1, 0, 2},       {"BP Q", 0, 1, 0, 5},
    {"BP Gain", -1, 1, 0, 4},      {"HP Freq", 0, 1, 0, 3},       {"HP Q", 0, 1, 0, 5},
    {"HP Gain", -1, 1, 0, 4},      {"Insert1 ON", 0, 1, 2, 0},    {"Insert2 ON", 0, 1, 2, 0},
    {"Send1 ON", 0, 1, 2, 0},      {"Send1 Level", 0, 127, 0, 6}, {"Send2 ON", 0, 1, 2, 0},
    {"Send2 Level", 0, 127, 0, 6}, {"Send3 ON", 0, 1, 2, 0},      {"Send3 Level", 0, 127, 0, 6},
    {"Send4 ON", 0, 1, 2, 0},      {"Send4 Level", 0, 127, 0, 6}, {"Synchro", 0, 1, 2, 0},
    {"CrossfadeA", 0, 1, 2, 0},    {"CrossfadeB", 0, 1, 2, 0},
};

constexpr const char* kMidiParameterNames[kNumMidiParameters] = {"Pitch Bend", "Modulation Wheel", "Aftertouch",
                                                                 "ProgramChange", "Sustain"};

constexpr float kDefaultBandFrequency[3] = {0.2407676f, 0.4815352f, 0.6889311f};  // 100, 500, 2000 Hz
constexpr float kDefaultBandResonance = 0.707f;
constexpr VstInt32 kDrumMachineId = vstFourCC('1', '6', 'c', 'x');
constexpr float kSilence = 0.000001f;
// A track may sleep after this long with its module silent and what leaves
// its inserts moving by no more than kSleepSwing (peak to peak, -114 dBFS).
constexpr double kSleepQuietSeconds = 7.0;
constexpr float kSleepSwing = 2.0e-6f;

bool allZero(float* const* channels, int count, int frames) {
    for (int c = 0; c < count; ++c) {
        const float* x = channels[c];
        if (x == nullptr) continue;
        // Any bit but the sign; NaN counts as sound.
        uint32_t bits = 0;
        for (int i = 0; i < frames; ++i) bits |= std::bit_cast<uint32_t>(x[i]) & 0x7fffffffu;
        if (bits != 0) return false;
    }
    return true;
}

}  // namespace

bool restsWhenQuiet(const AEffect* effect) {
    if (effect == nullptr) return true;
    switch (effect->uniqueID) {
        case vstFourCC('8', '1', '0', '3'):  // delay
        case vstFourCC('6', 'x', '3', '1'):  // reverb
        case vstFourCC('4', '9', '4', '4'):  // compressor
        case vstFourCC('z', '3', 't', '0'):  // limiter
        case vstFourCC('3', '1', 'r', '4'):  // overdrive
            return true;
        default:
            return keepsClockWhileResting(effect);
    }
}

bool keepsClockWhileResting(const AEffect* effect) {
    if (effect == nullptr) return false;
    switch (effect->uniqueID) {
        case vstFourCC('7', 'v', '6', '0'):  // chorus
        case vstFourCC('1', '2', '8', '3'):  // flanger
        case vstFourCC('9', '6', 'r', '5'):  // filter
            return true;
        default:
            return false;
    }
}

const char* mixParameterName(int index) {
    return index >= 0 && index < kNumMixParameters ? kMixParameters[index].name : "";
}

CInstrument::CInstrument(TrackOwner& owner) : owner_(owner) {
    mainSlot_ = std::make_unique<CPlugin>();
    insertSlots_[0] = std::make_unique<CPlugin>();
    insertSlots_[1] = std::make_unique<CPlugin>();
    mixParameters_.resize(kNumMixParameters);
    for (int i = 0; i < kNumMixParameters; ++i) {
        ParameterDescriptor& d = mixParameters_[static_cast<size_t>(i)];
        std::snprintf(d.name, sizeof(d.name), "%s", kMixParameters[i].name);
        d.minimum = kMixParameters[i].minimum;
        d.maximum = kMixParameters[i].maximum;
        d.stepCount = kMixParameters[i].steps;
        d.displayCode = kMixParameters[i].display;
        d.index = i;
        d.kind = kParameterKindMix;
        d.colourRgb = randomLightColour();
    }
    midiParameters_.resize(kNumMidiParameters);
    for (int i = 0; i < kNumMidiParameters; ++i) {
        ParameterDescriptor& d = midiParameters_[static_cast<size_t>(i)];
        std::snprintf(d.name, sizeof(d.name), "%s", kMidiParameterNames[i]);
        d.minimum = 0.0f;
        d.maximum = 127.0f;
        d.displayCode = i == 3 ? 7 : 0;
        d.index = i;
        d.colourRgb = randomLightColour();
    }
    reset();
}

CInstrument::~CInstrument() = default;

void CInstrument::reset() {
    title.clear();
    colourRgb = randomColour(128, 128);
    midiChannel = 1;
    lowestKey = 0;
    keyLimit = 127;
    keyOffset = 0;
    passPitchBend = passModWheel = passAftertouch = passProgramChange = 1;
    keyboardOn = 0.0f;
    keyboardGated = 0.0f;
    stepNumber = 256;
    level = 73.67f;
    planetLevel = 64.0f;
    pan = 0.0f;
    mute = 0.0f;
    silencedBySolo = 0.0f;
    crossfadeA = 0.0f;
    crossfadeB = 0.0f;
    synchro = 0.0f;
    keyTransposition = 255.0f;
    for (auto& a : arpeggiator) a = 0.0f;
    for (auto& i : insertOn) i = 0.0f;
    for (int s = 0; s < kNumSends; ++s) {
        sendOn[s] = 0.0f;
        sendLevel[s] = 0.0f;
    }
    equaliserOn = 0.0f;
    for (int b = 0; b < 3; ++b) {
        bandFrequency[b] = kDefaultBandFrequency[b];
        bandResonance[b] = kDefaultBandResonance;
        bandGain[b] = 0.0f;
    }
    insertSlots_[0] = std::make_unique<CPlugin>();
    insertSlots_[1] = std::make_unique<CPlugin>();
    heldKeyCount_ = 0;
    gainLeft_ = gainRight_ = 0.0f;
    for (float& g : sendGain_) g = 0.0f;
    meter_ = 0.0f;
    quietFrames_ = 0;
    asleep_ = false;
    patterns.reset();
    patterns.editPattern.lengthSteps = 16.0f;
    patterns.editPattern.chain = 0;
    patterns.editPattern.notes.clear();
    patternSelectedOnLoad = 0;
    sequencer.reset();
    balls.clear();
    balls.padToDefaultCount();
    balls.seedRandom(owner_.nextTrackSeed());
    sequencer.seedRandom(owner_.nextTrackSeed());
    presets.clear();
    equaliser_.reset();
    recomputeAllBands();
}

void CInstrument::closeModules() {
    mainSlot_->unload();
    insertSlots_[0]->unload();
    insertSlots_[1]->unload();
}

void CInstrument::recomputeBand(int band) {
    if (band < 0 || band > 2) return;
    const int rate = owner_.moduleSampleRate();
    bandRateHz_ = rate;
    equaliser_.recomputeBand(band, bandFrequency[band], bandResonance[band], bandGain[band],
                             static_cast<double>(rate));
}

void CInstrument::recomputeAllBands() {
    for (int b = 0; b < 3; ++b) recomputeBand(b);
}

void CInstrument::setMixParameter(int index, float fraction) {
    // Fractions come from automation lanes and balls read from project text
    // and chunks: a NaN changes nothing, and the rest stays inside the
    // parameter's range.
    if (index < 0 || index >= kNumMixParameters || !std::isfinite(fraction)) return;
    fraction = std::clamp(fraction, 0.0f, 1.0f);
    const MixParameterSpec& range = kMixParameters[index];
    const float v = range.minimum + fraction * (range.maximum - range.minimum);
    switch (index) {
        case 0: level = v; break;
        case 1: pan = v; break;
        case 2: mute = v; break;
        case 3: equaliserOn = v; break;
        case 13: insertOn[0] = v; break;
        case 14: insertOn[1] = v; break;
        case 23: synchro = v; break;
        case 24: crossfadeA = v; break;
        case 25: crossfadeB = v; break;
        default:
            if (index >= 4 && index <= 12) {
                const int band = (index - 4) / 3;
                const int field = (index - 4) % 3;
                if (field == 0) bandFrequency[band] = v;
                if (field == 1) bandResonance[band] = v;
                if (field == 2) bandGain[band] = v;
                recomputeBand(band);
            } else if (index >= 15 && index <= 22) {
                const int send = (index - 15) / 2;
                if ((index - 15) % 2 == 0)
                    sendOn[send] = v;
                else
                    sendLevel[send] = v;
            }
            break;
    }
    changed = true;
    const MixChangeHook hook = mixChangeHook_.load(std::memory_order_acquire);
    if (hook != nullptr) hook(mixChangeContext_.load(std::memory_order_acquire), *this, index);
}

void CInstrument::setMixChangeHook(MixChangeHook hook, void* context) {
    mixChangeContext_.store(context, std::memory_order_release);
    mixChangeHook_.store(hook, std::memory_order_release);
}

float CInstrument::mixParameterValue(int index) const {
    switch (index) {
        case 0: return level;
        case 1: return pan;
        case 2: return mute;
        case 3: return equaliserOn;
        case 13: return insertOn[0];
        case 14: return insertOn[1];
        case 23: return synchro;
        case 24: return crossfadeA;
        case 25: return crossfadeB;
        default: break;
    }
    if (index >= 4 && index <= 12) {
        const int band = (index - 4) / 3;
        const int field = (index - 4) % 3;
        return field == 0 ? bandFrequency[band] : field == 1 ? bandResonance[band] : bandGain[band];
    }
    if (index >= 15 && index <= 22) {
        const int send = (index - 15) / 2;
        return (index - 15) % 2 == 0 ? sendOn[send] : sendLevel[send];
    }
    return 0.0f;
}

namespace {
// A transposition held as a float (project text, program records): NaN is
// none, and anything beyond ±255 semitones takes every key out of range
// alike, without an out-of-range conversion.
int semitones(float value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<int>(std::clamp(value, -255.0f, 255.0f));
}
}  // namespace

void CInstrument::deliverMain(const uint8_t data[3], int frame) {
    owner_.sendLiveToSlot(mainSlot_.get(), frame, data[0], data[1], data[2]);
}

void CInstrument::routeMidi(const uint8_t data[3], int channelCode, int frame) {
    if (!mainSlot_->loaded()) return;
    if (midiChannel != 1 && midiChannel != channelCode) return;
    const bool keyboard = keyboardOn.load() != 0.0f;
    const int type = data[0] & 0xF0;
    const int channel = data[0] & 0x0F;

    if (type == 0x90 || type == 0x80) {
        if (!keyboard) return;
        const int key = data[1];
        const bool release = type == 0x80 || data[2] == 0;
        const bool inRange = key >= lowestKey && key < keyLimit;
        // A key outside the track's range belongs to another part of the
        // keyboard: it neither feeds the arpeggio nor transposes a gated
        // pattern. A release is taken whatever the range, so that a key
        // held while the range moved is not left behind.
        if (release) {
            int kept = 0;
            for (int i = 0; i < heldKeyCount_; ++i)
                if (heldKeys_[i] != key) heldKeys_[kept++] = heldKeys_[i];
            heldKeyCount_ = kept;
        } else if (inRange && heldKeyCount_ < kMaxHeldKeys) {
            heldKeys_[heldKeyCount_++] = key;
        }
        if (!inRange) return;
        int played = key + keyOffset;
        const float transpose = keyTransposition.load();
        if (transpose != 255.0f)
            played += semitones(transpose) + semitones(owner_.liveTranspositionValue());
        if (played < 0 || played > 127) return;
        const bool arpeggiated = owner_.arpeggiatorsOn() && arpeggiator[0].load() != 0.0f;
        if (arpeggiated || keyboardGated.load() != 0.0f) return;
        // A note-off reaches the module as a note-on with velocity 0.
        const uint8_t out[3] = {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(played),
                                static_cast<uint8_t>(release ? 0 : data[2])};
        deliverMain(out, frame);
        return;
    }
    if (!keyboard) return;
    if (type == 0xB0) {
        if ((data[1] == 1 && passModWheel != 0) || data[1] == 64) deliverMain(data, frame);
    } else if (type == 0xD0) {
        if (passAftertouch != 0) deliverMain(data, frame);
    } else if (type == 0xE0) {
        if (passPitchBend != 0) {
            const uint8_t out[3] = {data[0], 0, data[2]};
            deliverMain(out, frame);
        }
    }
}

void CInstrument::render(const TrackRenderContext& context) {
    if (!mainSlot_->loaded()) return;
    const int frames = context.frames;

    const PadState& pad = context.pad;
    balls.applyPending(*this, pad);
    if (balls.fly(frames, static_cast<double>(context.sampleRate), pad)) changed = true;

    mainSlot_->deliverEvents(frames, context.sampleRate);
    const AEffect* module = mainSlot_->effect();
    if (module == nullptr || (module->flags & effFlagsCanReplacing) == 0) return;

    if (context.replayAutomation) replayAutomation(context);
    mainSlot_->processOwnBuffers(frames);
    const int outputs = mainSlot_->effect()->numOutputs;
    float* const* out = mainSlot_->outputs();
    const bool moduleSilent = outputs < 1 || allZero(out, outputs, frames);
    if (asleep_) {
        if (moduleSilent && context.sleepWhenQuiet) {
            if (outputs >= 1) {
                if (bandRateHz_.load() != owner_.moduleSampleRate()) recomputeAllBands();
                equaliser_.rest(frames, equaliserOn.load(), outputs > 1);
            }
            for (int i = 0; i < 2; ++i)
                if (insertOn[i].load() != 0.0f && insertSlots_[i]->loaded() &&
                    keepsClockWhileResting(insertSlots_[i]->effect()))
                    insertSlots_[i]->rest(frames);
            glideStripGains(context);
            return;
        }
        asleep_ = false;
        quietFrames_ = 0;
    }
    for (int i = 0; i < 2; ++i)
        if (insertOn[i].load() != 0.0f && insertSlots_[i]->loaded())
            insertSlots_[i]->processInPlace(mainSlot_->outputs(), frames);

    if (outputs < 1) return;
    const bool maySleep = quietAfterInserts(out, outputs, frames, moduleSilent, context.sampleRate);
    // Coefficients follow the host's rate: a rate change requeues the bands
    // before this block filters.
    if (bandRateHz_.load() != owner_.moduleSampleRate()) recomputeAllBands();
    equaliser_.process(out[0], outputs > 1 ? out[1] : nullptr, frames, equaliserOn.load());
    mixBlock(context);
    if (maySleep && context.sleepWhenQuiet) asleep_ = true;
}

bool CInstrument::quietAfterInserts(float* const* out, int outputs, int frames, bool moduleSilent, int sampleRate) {
    bool insertsRest = true;
    for (int i = 0; i < 2; ++i)
        if (insertOn[i].load() != 0.0f && insertSlots_[i]->loaded() && !restsWhenQuiet(insertSlots_[i]->effect()))
            insertsRest = false;
    if (!moduleSilent || !insertsRest) {
        quietFrames_ = 0;
        return false;
    }
    // A ringing tail moves; a constant offset (the effects' guard against
    // denormals) does not, and is not counted.
    for (int c = 0; c < std::min(outputs, 2); ++c) {
        const float* x = out[c];
        float lo = x[0], hi = x[0];
        for (int i = 1; i < frames; ++i) {
            lo = std::min(lo, x[i]);
            hi = std::max(hi, x[i]);
        }
        if (!(hi - lo <= kSleepSwing)) {
            quietFrames_ = 0;
            return false;
        }
    }
    const int needed = static_cast<int>(kSleepQuietSeconds * sampleRate);
    quietFrames_ = std::min(quietFrames_ + frames, needed);
    return quietFrames_ >= needed;
}

CInstrument::StripTargets CInstrument::stripTargets(const TrackRenderContext& context) {
    const GainTables& gains = context.gains != nullptr ? *context.gains : owner_.gainTables();
    StripTargets t;
    // Control-rate targets, once per block.
    float g = gains.planetLevel[GainTables::index(planetLevel.load())] * gains.trackLevel[GainTables::index(level.load())];
    if (crossfadeA.load() != 0.0f)
        g *= context.crossfadeGainA;
    else if (crossfadeB.load() != 0.0f)
        g *= context.crossfadeGainB;
    t.left = g;
    t.right = g;
    const float p = pan.load();
    if (p > 0.0f)
        t.left = p < 0.5f ? g * (1.0f - 1.5f * p) : g * (0.5f - 0.5f * p);
    else
        t.right = p > -0.5f ? g * (1.0f + 1.5f * p) : g * (0.5f + 0.5f * p);
    if (mute.load() != 0.0f || silencedBySolo.load() != 0.0f) t.left = t.right = kSilence;

    const bool drums = mainSlot_->effect()->uniqueID == kDrumMachineId;
    for (int s = 0; s < kNumSends; ++s) {
        t.sendActive[s] = context.sendInputs[s] != nullptr;
        t.send[s] = sendOn[s].load() == 0.0f ? kSilence : gains.level[GainTables::index(sendLevel[s].load())];
        t.drumFloor[s] = drums && sendOn[s].load() != 0.0f;
    }
    return t;
}

void CInstrument::glideStripGains(const TrackRenderContext& context) {
    const StripTargets t = stripTargets(context);
    // Settled gains (a step no longer moves them) need no frames.
    const auto settled = [](float g, float target, float k) { return g + (target - g) * k == g; };
    bool moving = !settled(gainLeft_, t.left, kStripSmoothing) || !settled(gainRight_, t.right, kStripSmoothing);
    for (int s = 0; s < kNumSends; ++s)
        if (t.sendActive[s] &&
            (!settled(sendGain_[s], t.send[s], kSendSmoothing) || (t.drumFloor[s] && sendGain_[s] < kDrumSendFloor)))
            moving = true;
    if (!moving) return;
    for (int i = 0; i < context.frames; ++i) {
        gainLeft_ += (t.left - gainLeft_) * kStripSmoothing;
        gainRight_ += (t.right - gainRight_) * kStripSmoothing;
        for (int s = 0; s < kNumSends; ++s) {
            if (!t.sendActive[s]) continue;
            float& sg = sendGain_[s];
            sg += (t.send[s] - sg) * kSendSmoothing;
            if (t.drumFloor[s] && sg < kDrumSendFloor) sg = kDrumSendFloor;
        }
    }
}

void CInstrument::mixBlock(const TrackRenderContext& context) {
    float* const* out = mainSlot_->outputs();
    const int outputs = mainSlot_->effect()->numOutputs;
    const StripTargets targets = stripTargets(context);

    StripMixBuffers io;
    io.frames = context.frames;
    io.in[0] = out[0];
    io.in[1] = outputs > 1 ? out[1] : out[0];
    io.master[0] = context.master[0];
    io.master[1] = context.master[1];
    if (context.ownPair[0] != nullptr) {
        io.own[0] = context.ownPair[0];
        io.own[1] = context.ownPair[1];
    }
    StripMixTargets mixTargets;
    mixTargets.left = targets.left;
    mixTargets.right = targets.right;
    for (int s = 0; s < kNumSends; ++s) {
        if (!targets.sendActive[s]) continue;
        float* const* in = context.sendInputs[s];
        io.send[s][0] = in[0];
        io.send[s][1] = in[1];
        mixTargets.send[s] = targets.send[s];
        mixTargets.drumFloor[s] = targets.drumFloor[s];
    }
    // The drum machine's pad sends: outputs 3/4 feed send 1, 5/6 send 2.
    for (int k = 0; k < 2; ++k) {
        if (targets.drumFloor[k] && targets.sendActive[k] && outputs >= 4 + 2 * k) {
            io.pads[k][0] = out[2 + 2 * k];
            io.pads[k][1] = out[3 + 2 * k];
        }
    }

    StripMixState state;
    state.gainLeft = gainLeft_;
    state.gainRight = gainRight_;
    for (int s = 0; s < kNumSends; ++s) state.sendGain[s] = sendGain_[s];
    state.meter = meter_.load();
    mixStrip(io, mixTargets, state, true);
    gainLeft_ = state.gainLeft;
    gainRight_ = state.gainRight;
    for (int s = 0; s < kNumSends; ++s) sendGain_[s] = state.sendGain[s];
    meter_ = state.meter;
}
