// What a track needs from the engine that owns it: the gain tables, the step
// clock, the performance switches, and the way into its modules' event lists
// and the send buses. The main object implements it; a track sees nothing
// else of its owner.
#pragma once

#include <cstdint>

class CPlugin;
struct GainTables;

class TrackOwner {
public:
    // Loader thread: a seed for one of a new track's random generators.
    virtual uint32_t nextTrackSeed() = 0;

    // Any thread.
    virtual const GainTables& gainTables() const = 0;
    virtual int moduleSampleRate() const = 0;
    // The step clock: the step now playing, its length, whether it runs, and
    // the bar length in steps' numerator.
    virtual int currentStep() const = 0;
    virtual double samplesPerStep() const = 0;
    virtual bool sequencerRunning() const = 0;
    virtual int timeSignatureNumerator() const = 0;
    // Performance switches of the whole instrument.
    virtual bool synchroOn() const = 0;
    virtual bool arpeggiatorsOn() const = 0;
    virtual float liveTranspositionValue() const = 0;
    virtual bool followsSelection() const = 0;
    // Where the pad the sound balls move on stands, and its shape.
    virtual float padPositionX() const = 0;
    virtual float padPositionY() const = 0;
    virtual bool padIsRound() const = 0;

    // Audio thread: events into a module slot's lists, and notes the step
    // tick schedules for later frames (velocity 0 is a note-off).
    virtual void sendToSlot(CPlugin* slot, int frameOffset, int list, int status, int data1, int data2) = 0;
    virtual void sendLiveToSlot(CPlugin* slot, int dispatchFrame, int status, int data1, int data2) = 0;
    virtual bool addPendingNote(CPlugin* slot, int key, int velocity, int frameOffset, int transposition) = 0;
    virtual void stopPendingKey(const CPlugin* slot, int key, int frameOffset) = 0;
    // Send bus s (0..3) of the loaded project; null while there is none.
    virtual CPlugin* sendBus(int s) = 0;

protected:
    ~TrackOwner() = default;
};
