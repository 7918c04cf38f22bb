// What a module slot needs from the objects around it. The main plug-in
// object implements SlotOwner; a track implements SlotTrack. Keeping these
// small lets the module host be built and tested on its own.
#pragma once

#include <atomic>
#include <string>

#include "vst/aeffectx.h"

class SlotOwner {
public:
    virtual ~SlotOwner() = default;

    // Rate and block size handed to modules when they are created.
    virtual int moduleSampleRate() const = 0;
    virtual int moduleBlockSize() const = 0;
    // Folder of the plug-in file, used to make rooted module paths absolute.
    virtual std::string pluginDirectory() const = 0;
    // The renderer exclusion: writers raise the edit counter and wait for the
    // render-in-progress flag to clear (see EditSection).
    virtual std::atomic<int>& editCounter() = 0;
    virtual std::atomic<bool>& renderInProgress() = 0;
    // True while anything that walks the project without a lock is at work:
    // the renderer, and on the main object also setParameter calls from host
    // threads. Writers wait for this to become false.
    virtual bool projectInUse() { return renderInProgress().load(); }
    // The time information record handed to every module that asks.
    virtual VstTimeInfo* moduleTimeInfo() = 0;
};

class SlotTrack {
public:
    virtual ~SlotTrack() = default;

    // Drum-machine pattern edits on the track's edit pattern, already decoded
    // from the packed message: without setVelocity, remove the first note of
    // key at step and insert one according to command (1: velocity 127,
    // 2: velocity 0, anything else: none); with setVelocity, set the velocity
    // of the first such note to the command truncated to an integer.
    virtual void drumPatternEdit(int step, int key, bool setVelocity, float command) = 0;
};
