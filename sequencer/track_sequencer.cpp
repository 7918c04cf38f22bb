#include "sequencer/track_sequencer.h"

#include <atomic>
#include <climits>
#include <cmath>

#include "sequencer/pattern_player.h"

namespace {

constexpr int kRandomShift = 11;  // 0..32767 down to a pattern number 0..15
constexpr int kMaxPatternSteps = 1 << 20;

bool validPattern(int n) { return n >= 0 && n < kNumPatterns; }

int positiveModulo(int a, int n) {
    const int r = a % n;
    return r < 0 ? r + n : r;
}

bool anyStepMode(const PatternStore& patterns) {
    return patterns.stepMode[0] != 0.0f || patterns.stepMode[1] != 0.0f || patterns.stepMode[2] != 0.0f;
}

// Tracks draw different random sequences.
uint32_t nextSeed() {
    static std::atomic<uint32_t> instances{0};
    return 1u + 7919u * instances.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

TrackSequencer::TrackSequencer() : random_(nextSeed()) {}

int TrackSequencer::patternSteps(const Pattern& pattern) {
    const float length = pattern.lengthSteps;
    if (!(length > 0.0f)) return 0;
    if (length >= static_cast<float>(kMaxPatternSteps)) return kMaxPatternSteps;
    return static_cast<int>(std::ceil(length));
}

void TrackSequencer::reset() {
    current_ = 0;
    selected_ = 0;
    queued_ = kNone;
    restart_ = kNone;
    position_ = kNone;
    lockPending_ = false;
    arpeggiator_.restart();
}

bool TrackSequencer::select(int pattern, bool ownerPlaying) {
    if (!validPattern(pattern)) return false;
    if (pattern == selected_.load() || !ownerPlaying) {
        current_ = pattern;
        queued_ = kNone;
        if (ownerPlaying) restart_ = 0;
    } else if (pattern == queued_.load()) {
        // Asking twice for the waiting pattern: no more waiting.
        current_ = pattern;
        queued_ = kNone;
        restart_ = 0;
    } else {
        queued_ = pattern;
    }
    selected_ = pattern;
    if (position_.load() < 0) current_ = pattern;
    return true;
}

void TrackSequencer::transportStarted(const PatternStore& patterns, bool synchro) {
    if (anyStepMode(patterns)) {
        const int selected = selected_.load();
        if (validPattern(selected)) current_ = selected;
        queued_ = kNone;
        // A free-running track starts its pattern from the top on the first
        // step; a synchronised one takes its place from the song position.
        if (!synchro) restart_ = 0;
    }
    arpeggiator_.restart();
}

void TrackSequencer::lockToStep(const PatternStore& patterns, int ownerStep) {
    const int current = current_.load();
    if (!validPattern(current) || position_.load() < 0) return;
    const int n = patternSteps(patterns.patterns[current]);
    if (n <= 0) return;
    position_ = positiveModulo(ownerStep, n);
    lockedStep_ = ownerStep;
    lockPending_ = true;
}

void TrackSequencer::step(PatternStore& patterns, const StepEnvironment& env, double stepFrames, int offsetFrames,
                          StepSink& sink) {
    // A block that begins on a step boundary locks to that step and then
    // runs it: the lock stands for the step before, which the tick advances.
    if (lockPending_) {
        lockPending_ = false;
        const int current = current_.load();
        if (env.ownerStep == lockedStep_ && position_.load() >= 0 && validPattern(current)) {
            const int n = patternSteps(patterns.patterns[current]);
            if (n > 0) position_ = positiveModulo(lockedStep_ - 1, n);
        }
    }

    advancePosition(patterns, env);
    endOfPattern(patterns, env, sink);
    sink.randomBallJumps(position_.load());
    if (env.arpeggiatorEnabled && !env.keyboardGated) arpeggiator_.step(env, stepFrames, offsetFrames, random_, sink);

    const int position = position_.load();
    if (position < 0) return;
    PatternPlayContext play;
    play.stepFrames = stepFrames;
    play.offsetFrames = offsetFrames;
    play.swing = patterns.swing;
    play.transposition = env.followsTransposition ? env.transposition : 0;
    play.keyboardGated = env.keyboardGated;
    play.heldKeys = env.heldKeys;
    play.heldKeyCount = env.heldKeyCount;
    const int current = current_.load();
    if (validPattern(current)) playPatternStep(patterns.patterns[current], position, play, sink);
    play.editPattern = true;
    playPatternStep(patterns.editPattern, position, play, sink);
}

void TrackSequencer::arpeggiateWhileStopped(const StepEnvironment& env, double stepFrames, int offsetFrames,
                                            StepSink& sink) {
    if (!env.arpeggiatorEnabled || env.keyboardGated) return;
    if (env.heldKeyCount <= 0) {
        arpeggiator_.restart();
        return;
    }
    arpeggiator_.step(env, stepFrames, offsetFrames, random_, sink);
}

void TrackSequencer::advancePosition(const PatternStore& patterns, const StepEnvironment& env) {
    const bool synchro = env.synchro();
    const int request = restart_.load();
    if (request != kNone) {
        bool takeEffect = !synchro;
        if (synchro) {
            const int numerator = env.timeSignatureNumerator < 1 ? 1 : env.timeSignatureNumerator;
            takeEffect = positiveModulo(env.ownerStep, numerator) == 0 || env.ownerStep == 1;
        }
        if (takeEffect) {
            position_ = request;
            restart_ = kNone;
            return;
        }
        // A synchronised restart waits for its beat while the pattern goes
        // on; standing still would play the same step again.
    }
    const int current = current_.load();
    const int position = position_.load();
    if (!synchro || env.ownerStep != 0 || !validPattern(current)) {
        if (position != kNone && position < INT_MAX) position_ = position + 1;
    } else {
        // A synchronised start runs the end-of-pattern handling first.
        position_ = patternSteps(patterns.patterns[current]);
    }
}

void TrackSequencer::endOfPattern(PatternStore& patterns, const StepEnvironment& env, StepSink& sink) {
    const bool stepMode = anyStepMode(patterns);
    const int current = current_.load();
    const int position = position_.load();

    if (validPattern(current) && position >= 0) {
        const int steps = patternSteps(patterns.patterns[current]);
        if (!stepMode) {
            if (position >= env.stepNumber) sink.stepNumberReached();
            if (position >= steps) {
                const int queued = queued_.load();
                if (validPattern(queued)) {
                    current_ = queued;
                    queued_ = kNone;
                    position_ = 0;
                    sink.rewindAutomation();
                } else {
                    position_ = kNone;
                }
            }
        } else if (position >= steps) {
            const int next = nextPattern(patterns, current);
            current_ = next;
            position_ = 0;
            sink.rewindAutomation();
            if (env.followSelection && selected_.load() != next) {
                selected_ = next;
                sink.selectionFollowed();
            }
        }
        return;
    }
    if (!stepMode) return;

    if (validPattern(current)) {
        // A stopped track in a step mode starts again. Without synchro it
        // starts on this very step; waiting a step would put the pattern a
        // sixteenth behind the beat for good.
        if (env.synchro())
            restart_ = 0;
        else
            position_ = 0;
        sink.rewindAutomation();
        return;
    }
    // No pattern at all: the first chained one starts (merely queueing it
    // would never start it, as the queue is only read at a pattern's end).
    for (int p = 0; p < kNumPatterns; ++p) {
        if (patterns.patterns[p].chain == 0) continue;
        current_ = p;
        queued_ = kNone;
        position_ = 0;
        sink.rewindAutomation();
        if (selected_.load() != p) {
            selected_ = p;
            sink.selectionFollowed();
        }
        return;
    }
}

int TrackSequencer::nextPattern(const PatternStore& patterns, int current) {
    const int queued = queued_.load();
    if (validPattern(queued)) {
        queued_ = kNone;
        return queued;
    }
    if (patterns.stepMode[1] != 0.0f) {
        for (int i = 1; i <= kNumPatterns; ++i) {
            const int p = (current + i) % kNumPatterns;
            if (patterns.patterns[p].chain != 0) return p;
        }
        return current;
    }
    if (patterns.stepMode[2] != 0.0f) {
        for (int i = 0; i < kNumPatterns; ++i) {
            const int p = random_.next() >> kRandomShift;
            if (patterns.patterns[p].chain != 0) return p;
        }
        return current;
    }
    return current;
}
