// The track's sequencer hooks, called by the render engine on the audio
// thread, by pattern selection from any thread and by the module host for
// the drum machine's pattern edits.
#include "modulehost/cplugin.h"
#include "sequencer/drum_mirror.h"
#include "sequencer/edit_pattern.h"
#include "track/instrument.h"

namespace {

constexpr float kNotFollowing = 255.0f;

// Where one step of the track's sequencer lands: the owner's pending-note
// list, the track's automation cursors, its balls and the drum machine.
class TrackStepSink final : public StepSink {
public:
    using Mirror = void (*)(CInstrument&, TrackOwner&);
    TrackStepSink(CInstrument& track, TrackOwner& owner, Mirror mirror) : track_(track), owner_(owner), mirror_(mirror) {}

    void scheduleNote(int key, int velocity, int frameOffset, int transposition) override {
        owner_.addPendingNote(&track_.mainSlot(), key, velocity, frameOffset, transposition);
    }
    void stopKey(int key, int frameOffset) override { owner_.stopPendingKey(&track_.mainSlot(), key, frameOffset); }
    void rewindAutomation() override {
        for (ParameterDescriptor& d : track_.mainSlot().parameterDescriptors()) d.replayCursor = 0;
        for (int i = 0; i < kNumMixParameters; ++i) track_.mixParameter(i).replayCursor = 0;
        for (int i = 0; i < kNumMidiParameters; ++i) track_.midiParameter(i).replayCursor = 0;
    }
    void selectionFollowed() override {
        track_.changed = true;
        mirror_(track_, owner_);
    }
    void stepNumberReached() override {
        track_.stepNumber += 16;
        track_.changed = true;
    }
    void randomBallJumps(int stepPosition) override { track_.randomBallJumps(stepPosition); }

private:
    CInstrument& track_;
    TrackOwner& owner_;
    Mirror mirror_;
};

void mirrorToDrumMachine(CInstrument& track, TrackOwner& owner) {
    CPlugin& slot = track.mainSlot();
    if (!slot.loaded() || !slot.drumSlot()) return;
    const bool sendOn[2] = {track.sendOn[0].load() != 0.0f, track.sendOn[1].load() != 0.0f};
    drum_mirror::mirrorPattern(track.patterns, track.sequencer.selectedPattern(), track.sequencer.currentPattern(),
                               sendOn, [&slot](int32_t index, float value) { slot.setParameter(index, value); });
    // A float cannot carry a text, so the send effects' short names travel
    // beside the pattern as vendor-specific calls (no name: the send is off).
    for (int s = 0; s < 2; ++s) {
        CPlugin* bus = sendOn[s] ? owner.sendBus(s) : nullptr;
        const char* name = bus != nullptr ? bus->shortName() : nullptr;
        slot.dispatch(effVendorSpecific, drum_mirror::kSendName + s, 0, const_cast<char*>(name), 0.0f);
    }
}

}  // namespace

void CInstrument::onTransportStart() {
    const bool synchro = this->synchro.load() != 0.0f || owner_.synchroOn();
    sequencer.transportStarted(patterns, synchro);
}

void CInstrument::lockToStep(int step) { sequencer.lockToStep(patterns, step); }

StepEnvironment CInstrument::stepEnvironment() const {
    StepEnvironment env;
    env.trackSynchro = synchro.load() != 0.0f;
    env.masterSynchro = owner_.synchroOn();
    env.ownerStep = owner_.currentStep();
    env.timeSignatureNumerator = owner_.timeSignatureNumerator();
    env.followSelection = owner_.followsSelection();
    float arpeggiatorValues[10];
    for (int i = 0; i < 10; ++i) arpeggiatorValues[i] = arpeggiator[i].load();
    env.arpeggiator = ArpeggiatorSettings::fromValues(arpeggiatorValues);
    env.arpeggiatorEnabled = owner_.arpeggiatorsOn() && env.arpeggiator.on != 0.0f;
    env.keyboardGated = keyboardGated.load() != 0.0f;
    const float transposition = keyTransposition.load();
    env.followsTransposition = transposition != kNotFollowing;
    if (env.followsTransposition)
        env.transposition = integerPart(transposition, -1000, 1000) + integerPart(owner_.liveTranspositionValue(), -1000, 1000);
    env.stepNumber = stepNumber;
    env.heldKeys = heldKeys_;
    env.heldKeyCount = heldKeyCount_;
    return env;
}

void CInstrument::stepTick(int frameOffset) {
    if (!mainSlot_->loaded()) return;
    const StepEnvironment env = stepEnvironment();
    TrackStepSink sink(*this, owner_, &mirrorToDrumMachine);
    sequencer.step(patterns, env, owner_.samplesPerStep(), frameOffset, sink);
}

void CInstrument::stoppedStepTick(int frameOffset) {
    if (!mainSlot_->loaded()) return;
    const StepEnvironment env = stepEnvironment();
    TrackStepSink sink(*this, owner_, &mirrorToDrumMachine);
    sequencer.arpeggiateWhileStopped(env, owner_.samplesPerStep(), frameOffset, sink);
}

void CInstrument::selectPattern(int pattern) {
    if (!sequencer.select(pattern, owner_.sequencerRunning())) return;
    changed = true;
    mirrorToDrumMachine(*this, owner_);
}

void CInstrument::drumPatternEdit(int step, int key, bool setVelocity, float command) {
    applyDrumPatternEdit(patterns.editPattern, step, key, setVelocity, command);
}
