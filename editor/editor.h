// The plug-in window. The render engine and the programs talk to it only
// through the hooks below, which any thread may call: they set flags and
// feed a ring that the editor's idle call reads, and never touch a window.
#pragma once

#include <memory>

#include "editor/editor_model.h"
#include "editor/editor_skin.h"
#include "gui/bitmap.h"
#include "platform/editor_window.h"
#include "vst/audioeffectx.h"

class Effect;
class EditorView;

class Editor : public AEffEditor, private platform::EditorWindowListener {
public:
    static constexpr int kWidth = 1000;
    static constexpr int kHeight = 450;

    explicit Editor(Effect* effect);
    ~Editor() override;

    // Host's editor thread. getRect answers before open (hosts ask first,
    // or never check); open while open closes first; close is harmless
    // twice.
    bool getRect(ERect** rect) override;
    bool open(void* parent) override;
    void close() override;
    bool isOpen() const override { return view_ != nullptr && window_ != nullptr; }
    void idle() override;
    // Keys hosts forward through the dispatcher instead of the window: used
    // only while a text entry is being edited, so that hosts keep their own
    // shortcuts otherwise.
    bool onKeyDown(int character, int virtualKey, int modifiers) override;

    // The window's content without a native window, for pictures of the
    // editor: builds the controls from the plug-in's state and draws every
    // pixel into canvas().
    void openOffscreen();
    void closeOffscreen();
    const gui::Bitmap& renderOffscreen();
    EditorView* view() { return view_.get(); }

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
    void buildView(platform::EditorWindow* window);
    // Draws what changed and copies it to the window.
    void present();

    // EditorWindowListener.
    void onMouseDown(int x, int y, int buttons, int modifiers, bool doubleClick) override;
    void onMouseMove(int x, int y, int buttons, int modifiers) override;
    void onMouseUp(int x, int y, int buttons, int modifiers) override;
    void onMouseWheel(int x, int y, float steps, int modifiers) override;
    bool onKey(platform::EditKey key, char32_t character, int modifiers) override;
    void onExpose(const platform::PixelRect& area) override;

    std::unique_ptr<EditorModel> model_;
    EditorSkin skin_;
    ERect rect_{0, 0, kHeight, kWidth};
    gui::Bitmap canvas_;
    std::unique_ptr<EditorView> view_;
    std::unique_ptr<platform::EditorWindow> window_;
};

// Creates the window object, or null when the plug-in runs without one.
Editor* createEditor(Effect* effect);
