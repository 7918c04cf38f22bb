// A track (a planet in the editor): one hosted instrument module with two
// inserts, a MIDI input filter, a three-band equaliser, level, pan, mute,
// crossfade group and four sends. Patterns, arpeggiator and sound balls hang
// off the same record.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "balls/sound_balls.h"
#include "common/relaxed_atomic.h"
#include "modulehost/parameter_descriptor.h"
#include "modulehost/slot_owner.h"
#include "sequencer/pattern.h"
#include "sequencer/track_sequencer.h"
#include "track/equaliser.h"
#include "track/strip_mix.h"
#include "track/track_owner.h"
#include "track/track_preset.h"

class CPlugin;
struct GainTables;

constexpr int kNumMixParameters = 26;
constexpr int kNumMidiParameters = 5;
constexpr int kMaxHeldKeys = 128;

// Name of mix parameter index ("Level", "Send1 Level"); empty outside
// 0 .. kNumMixParameters - 1.
const char* mixParameterName(int index);

// Everything one track render needs from the engine for one block.
struct TrackRenderContext {
    int frames = 0;
    int sampleRate = 44100;
    float* master[2] = {nullptr, nullptr};
    float* ownPair[2] = {nullptr, nullptr};  // multi-output pair, or none
    double automationFraction = 0.0;
    bool replayAutomation = false;
    float crossfadeGainA = 0.0f;
    float crossfadeGainB = 0.0f;
    // Tracks whose signal has died away sleep (see CInstrument::asleep()).
    bool sleepWhenQuiet = true;
    // What every track of the block asks its owner for, asked once: the
    // gain tables (the owner's own when none), the inputs of the loaded
    // send buses (none for a bus without a module) and the pad.
    const GainTables* gains = nullptr;
    float* const* sendInputs[kNumSends] = {};
    PadState pad;
};

// Whether an effect module, fed silence once its tail has died away, may
// rest: those that only decay (delay, reverb, dynamics, overdrive) skip their
// work, those with an oscillator of their own (chorus, flanger, filter) are
// told how many frames they rested (keepsClockWhileResting), so that they
// wake at the phase a render that never rested would have.
bool restsWhenQuiet(const AEffect* effect);
bool keepsClockWhileResting(const AEffect* effect);

// Where the owner's pad stands and its shape, as the sound balls see it.
PadState padStateOf(const TrackOwner& owner);

class CInstrument;
// Called after every mix-parameter change, on the thread that made it.
using MixChangeHook = void (*)(void* context, CInstrument& track, int index);

class CInstrument : public SlotTrack, public BallTargetSink {
public:
    explicit CInstrument(TrackOwner& owner);
    ~CInstrument() override;
    CInstrument(const CInstrument&) = delete;
    CInstrument& operator=(const CInstrument&) = delete;

    // Loader thread, inside the owner's edit section.
    void reset();
    // Audio thread, when the plug-in is switched back on: the equaliser,
    // the strip and send gains and the meter as after a project load.
    void clearSignal() {
        equaliser_.clearSignal();
        gainLeft_ = gainRight_ = 0.0f;
        for (float& g : sendGain_) g = 0.0f;
        meter_ = 0.0f;
        heldKeyCount_ = 0;  // the voices those keys held are gone
        quietFrames_ = 0;
        asleep_ = false;
    }
    // Audio thread, on All Notes Off: the keys the track counted as held
    // are let go, so that an arpeggio or a gated pattern stops with them.
    void releaseHeldKeys() { heldKeyCount_ = 0; }
    CPlugin& mainSlot() { return *mainSlot_; }
    CPlugin& insertSlot(int i) { return *insertSlots_[i]; }
    // Closes every module of the track (effClose), main first.
    void closeModules();

    // Any thread.
    void setMixParameter(int index, float fraction);
    float mixParameterValue(int index) const;
    void recomputeBand(int band);
    void recomputeAllBands();
    ParameterDescriptor& mixParameter(int i) { return mixParameters_[static_cast<size_t>(i)]; }
    ParameterDescriptor& midiParameter(int i) { return midiParameters_[static_cast<size_t>(i)]; }

    // Audio thread: MIDI input filter for one channel message from the host
    // or the demonstration (channelCode = (status & 15) + 2), dispatched at
    // this block frame.
    void routeMidi(const uint8_t data[3], int channelCode, int frame);
    // Audio thread: the per-block processing.
    void render(const TrackRenderContext& context);

    // Sequencer and sound-ball hooks of the render engine, audio thread.
    void onTransportStart();
    void lockToStep(int step);
    void stepTick(int frameOffset);
    // A step of the plug-in's own clock while the sequencer stands: only
    // the arpeggiator plays, on the keys held.
    void stoppedStepTick(int frameOffset);
    void selectPattern(int pattern);
    void resetBallMovement();
    void applyBallController(int channelCode, int controller, int value);
    // Audio thread, once per sequencer step: random sound-ball jumps at the
    // track's step position.
    void randomBallJumps(int stepPosition);
    // The owner's pad as the balls see it.
    PadState padState() const;

    // BallTargetSink, audio thread.
    void setBallModuleParameter(int kind, int index, float value) override;
    void setBallMixParameter(int index, float fraction) override;

    // Editor thread, before the track renders: hook called after every
    // mix-parameter change.
    void setMixChangeHook(MixChangeHook hook, void* context);

    float smoothedSendGain(int send) const { return sendGain_[send]; }
    // A track sleeps once its module has rendered nothing but zeros and what
    // its inserts gave out has not moved by more than -114 dBFS (a constant
    // offset aside) for 7 s: its inserts, equaliser and mix then rest, and
    // it adds nothing to the buses, until its module renders a sample that
    // is not zero. Audio thread.
    bool asleep() const { return asleep_; }
    float peakMeter() const { return meter_; }
    int heldKeyCount() const { return heldKeyCount_; }
    int heldKey(int i) const { return heldKeys_[i]; }

    // SlotTrack: drum-machine pattern edits (module host callback).
    void drumPatternEdit(int step, int key, bool setVelocity, float command) override;

    // Track record. Values written by host threads, the editor and balls
    // while the audio thread reads them are relaxed atomics.
    std::string title;
    uint32_t colourRgb = 0;
    int midiChannel = 1;  // 1 = all channels, 2..17 = MIDI channels 1..16
    int lowestKey = 0;
    int keyLimit = 127;   // excluded
    int keyOffset = 0;
    int passPitchBend = 1, passModWheel = 1, passAftertouch = 1, passProgramChange = 1;
    Relaxed<float> keyboardOn{0.0f};
    Relaxed<float> keyboardGated{0.0f};
    int stepNumber = 256;
    Relaxed<float> level{73.67f};
    Relaxed<float> planetLevel{64.0f};
    Relaxed<float> pan{0.0f};
    Relaxed<float> mute{0.0f};
    Relaxed<float> silencedBySolo{0.0f};
    Relaxed<float> crossfadeA{0.0f};
    Relaxed<float> crossfadeB{0.0f};
    Relaxed<float> synchro{0.0f};
    Relaxed<float> keyTransposition{255.0f};
    Relaxed<float> arpeggiator[10];
    Relaxed<float> insertOn[2];
    Relaxed<float> sendOn[kNumSends];
    Relaxed<float> sendLevel[kNumSends];
    Relaxed<float> equaliserOn{0.0f};
    Relaxed<float> bandFrequency[3];
    Relaxed<float> bandResonance[3];
    Relaxed<float> bandGain[3];
    Relaxed<bool> changed{false};

    // Patterns (filled by the loader, played by the sequencer).
    PatternStore patterns;
    // PATTERNSELECTED as the project gives it.
    int patternSelectedOnLoad = 0;
    // Which pattern plays and where; the arpeggiator.
    TrackSequencer sequencer;

    // Four sound balls after loading; their moves reach the targets through
    // the balls' change queue at the start of each block.
    SoundBalls balls;
    // Kept so the project reads correctly; nothing plays them.
    std::vector<TrackPreset> presets;

private:
    void deliverMain(const uint8_t data[3], int frame);
    // What a step of the sequencer sees of this track and its owner.
    StepEnvironment stepEnvironment() const;
    void mixBlock(const TrackRenderContext& context);
    // Strip and send gain targets of this block.
    struct StripTargets {
        float left = 0.0f, right = 0.0f;
        float send[kNumSends] = {};
        bool sendActive[kNumSends] = {};
        bool drumFloor[kNumSends] = {};
    };
    StripTargets stripTargets(const TrackRenderContext& context);
    // While asleep: the gains glide toward their targets as mixBlock() would
    // move them, without signal.
    void glideStripGains(const TrackRenderContext& context);
    // Counts the quiet frames after the inserts; true when the track may sleep.
    bool quietAfterInserts(float* const* out, int outputs, int frames, bool moduleSilent, int sampleRate);
    void replayAutomation(const TrackRenderContext& context);

    TrackOwner& owner_;
    std::unique_ptr<CPlugin> mainSlot_;
    std::unique_ptr<CPlugin> insertSlots_[2];
    std::vector<ParameterDescriptor> mixParameters_;
    std::vector<ParameterDescriptor> midiParameters_;
    TrackEqualiser equaliser_;
    Relaxed<int> bandRateHz_{0};  // rate the queued band coefficients were made for
    std::atomic<MixChangeHook> mixChangeHook_{nullptr};
    std::atomic<void*> mixChangeContext_{nullptr};
    float gainLeft_ = 0.0f, gainRight_ = 0.0f;
    float sendGain_[kNumSends] = {0, 0, 0, 0};
    Relaxed<float> meter_{0.0f};
    int quietFrames_ = 0;
    bool asleep_ = false;
    int heldKeys_[kMaxHeldKeys] = {};
    int heldKeyCount_ = 0;
};
