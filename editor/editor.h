// The plug-in window. The render engine and the programs talk to it only
// through the hooks below, which any thread may call: they set flags and
// feed a ring that the editor's idle call reads, and never touch a window.
#pragma once

#include <memory>

#include "editor/editor_model.h"
#include "vst/audioeffectx.h"

class Effect;

class Editor : public AEffEditor {
public:
    explicit Editor(Effect* effect);
    ~Editor() override;

    // Audio thread: mirrors of state the user can also set in the window.
    void setPlayButton(float value) { model_->mirror().playButton.store(value != 0.0f ? 1 : 0); }
    void setPreviewSwitch(float value) { model_->mirror().previewSwitch.store(value != 0.0f ? 1 : 0); }
    void redrawPad() { model_->mirror().padDirty.store(true); }
    // The two buffers that fed the master level stage, for the oscilloscope;
    // taken only while the scope is on.
    void feedScope(const float* left, const float* right, int frames) {
        if (model_->mirror().scopeWanted.load(std::memory_order_relaxed)) model_->mirror().scope.write(left, right, frames);
    }
    // Any thread: program data changed.
    void redraw() { model_->mirror().allDirty.store(true); }
    // Any thread: a host parameter (a planet or satellite) moved.
    void parameterChanged(int /*index*/) { model_->mirror().padDirty.store(true); }

    EditorModel& model() { return *model_; }

private:
    std::unique_ptr<EditorModel> model_;
};

// Creates the window object, or null when the plug-in runs without one.
Editor* createEditor(Effect* effect);
