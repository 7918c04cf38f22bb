#include "tests/sequencer/sequencer_test_rig.h"

std::vector<ScheduledNote> RecordingSink::ons() const {
    std::vector<ScheduledNote> out;
    for (const auto& n : notes)
        if (n.velocity != 0) out.push_back(n);
    return out;
}

std::vector<ScheduledNote> RecordingSink::offs() const {
    std::vector<ScheduledNote> out;
    for (const auto& n : notes)
        if (n.velocity == 0) out.push_back(n);
    return out;
}

SequencerRig::SequencerRig() {
    sequencer.seedRandom(12345);
    env.followSelection = true;
}

void SequencerRig::step() { stepAt(ownerStep); }

void SequencerRig::stepAt(int stepCounter) {
    ownerStep = stepCounter;
    env.ownerStep = stepCounter;
    env.heldKeys = held.data();
    env.heldKeyCount = static_cast<int>(held.size());
    sequencer.step(patterns, env, kStepFrames, static_cast<int>(stepCounter * kStepFrames), sink);
    currentAfterStep.push_back(sequencer.currentPattern());
    ownerStep = stepCounter + 1;
}

void SequencerRig::steps(int n) {
    for (int i = 0; i < n; ++i) step();
}

void SequencerRig::addNote(int pattern, float position, float length, int key, int velocity) {
    Pattern& p = pattern < 0 ? patterns.editPattern : patterns.patterns[pattern];
    p.notes.push_back(PatternNote{position, length, key, velocity});
}

void SequencerRig::holdKeys(std::vector<int> keys) { held = std::move(keys); }
