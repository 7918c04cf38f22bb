// The loaded project: master values live in the main object; this record
// holds the tracks, the master insert and send-effect slots and the
// demonstration performance.
#pragma once

#include <memory>
#include <vector>

#include "common/relaxed_atomic.h"
#include "modulehost/parameter_descriptor.h"
#include "modulehost/cplugin.h"
#include "track/instrument.h"
#include "vst/aeffectx.h"

class Effect;

struct Project {
    explicit Project(Effect& owner);
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    // Destroys every track and unloads the master slots; loader thread, inside
    // the owner's edit section.
    void unload();
    // effClose to every module: tracks first, then master inserts, then
    // send effects.
    void closeModules();

    template <class F>
    void forEachSlot(F&& f) {
        for (auto& t : tracks) {
            f(t->mainSlot());
            f(t->insertSlot(0));
            f(t->insertSlot(1));
        }
        for (CPlugin& s : masterInserts) f(s);
        for (CPlugin& s : sendSlots) f(s);
    }

    Effect& owner;
    std::vector<std::unique_ptr<CInstrument>> tracks;
    CPlugin masterInserts[2];
    Relaxed<float> masterInsertOn[2];
    CPlugin sendSlots[4];
    std::vector<ParameterDescriptor> masterParameters;
    // Stored with the project and not used further (PRESET_SELECTED,
    // PRESET_MIDI).
    float presetSelected = -1.0f;
    int presetMidi[3] = {0, 0, 1};
    // Timed MIDI events; deltaFrames holds the time in frames since the start
    // of the performance.
    std::vector<VstMidiEvent> demoEvents;
    // The tempo the project was written at (its TEMPO line as loaded): the
    // demonstration's times are frames at 44100 Hz and this tempo.
    float writtenTempoBpm = 120.0f;
};
