// Base of the instrument modules (synth, sampler, drums): a program store of
// the module's own records, the program-name operations common to them, and
// the render schedule that interleaves the per-frame MIDI drain with the
// 16-frame control rate.
#pragma once

#include <algorithm>
#include <vector>

#include "modules/module_base.h"

// Program is a record with a name field of kVstMaxProgNameLen bytes; copying
// a program copies the whole record.
template <class Program>
class KavoInstrument : public KavoModule {
public:
    // Control updates run once every this many frames.
    static constexpr int kControlFrames = 16;

    using KavoModule::KavoModule;

    void setBlockSize(VstInt32 size) override { blockSize = size; }

    void setProgramName(char* name) override {
        if (name == nullptr) return;
        copyProgramName(programs_[static_cast<size_t>(curProgram)].name, name);
    }
    void getProgramName(char* name) override {
        if (name == nullptr) return;
        copyProgramName(name, programs_[static_cast<size_t>(curProgram)].name);
    }
    bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) override {
        if (index < 0 || index >= numPrograms || text == nullptr) return false;
        copyProgramName(text, programs_[static_cast<size_t>(index)].name);
        return true;
    }
    bool copyProgram(VstInt32 destination) override {
        if (destination < 0 || destination >= numPrograms) return false;
        programs_[static_cast<size_t>(destination)] = programs_[static_cast<size_t>(curProgram)];
        return true;
    }

    // Inspection for tests and tools (read on the calling thread).
    const Program& program(int index) const { return programs_[static_cast<size_t>(index)]; }

protected:
    // Stores a new sample rate and answers true when the module must
    // recompute. The same rate again changes nothing, and a rate that is not
    // a positive finite number would poison every coefficient: the previous
    // one stays.
    bool takeSampleRate(float rate) {
        if (rate == sampleRate) return false;
        if (!(rate > 0.0f) || rate > 1.0e7f) return false;
        sampleRate = rate;
        return true;
    }

    // Renders `frames` frames. Each frame first advances the control counter
    // (controlTick() when it wraps), then drains MIDI, then renders. Frames
    // are rendered in runs, renderRun(firstFrame, count), that end at the
    // next control tick and at every frame where MIDI becomes due; the due
    // events go to handleMidi(event) after the voices have rendered up to
    // that frame. Runs are never longer than kControlFrames.
    template <class ControlTick, class RenderRun, class HandleMidi>
    void renderInRuns(int frames, ControlTick&& controlTick, RenderRun&& renderRun, HandleMidi&& handleMidi) {
        int f = 0;
        while (f < frames) {
            if (++controlCounter_ >= kControlFrames) {
                controlCounter_ = 0;
                controlTick();
            }
            const int run = std::min(frames - f, kControlFrames - controlCounter_);
            if (midiIdle()) {
                renderRun(f, run);
            } else {
                int start = f;
                for (int g = f; g < f + run; ++g) {
                    dueCount_ = 0;
                    drainMidiFrame([this](const ModuleMidiEvent& e) {
                        if (dueCount_ < ModulePendingMidi::kCapacity) due_[dueCount_++] = e;
                    });
                    if (dueCount_ == 0) continue;
                    if (g > start) renderRun(start, g - start);
                    for (int i = 0; i < dueCount_; ++i) handleMidi(due_[i]);
                    start = g;
                }
                if (f + run > start) renderRun(start, f + run - start);
            }
            controlCounter_ += run - 1;
            f += run;
        }
    }

    // `frames` frames in which nothing is due and nothing sounds: the control
    // counter moves on as renderInRuns() would move it (its ticks would find
    // no voice to update).
    void passSilentFrames(int frames) { controlCounter_ = (controlCounter_ + frames % kControlFrames) % kControlFrames; }

    std::vector<Program> programs_;

private:
    int controlCounter_ = 0;
    // Events that became due in one frame, executed after the voices have
    // rendered up to that frame.
    ModuleMidiEvent due_[ModulePendingMidi::kCapacity];
    int dueCount_ = 0;
};
