#include "editor/editor.h"

#include "editor/editor_view.h"
#include "gui/canvas.h"
#include "host/effect.h"
#include "platform/platform.h"

Editor::Editor(Effect* effect) : AEffEditor(effect), model_(std::make_unique<EditorModel>(*effect)) {}

Editor::~Editor() { close(); }

bool Editor::getRect(ERect** rect) {
    // A stable record: hosts keep the pointer and read it without checking.
    *rect = &rect_;
    return true;
}

void Editor::buildView(platform::EditorWindow* window) {
    skin_.load();
    model_->initFromPlugin();
    if (canvas_.empty()) canvas_ = gui::Bitmap(kWidth, kHeight);
    view_ = std::make_unique<EditorView>(*model_, skin_, window);
}

bool Editor::open(void* parent) {
    close();
    // The view is built before the window exists, so that the first expose
    // finds something to show; it learns of the window afterwards through
    // its native-menu calls, which take the window each time.
    window_ = platform::EditorWindow::open(parent, kWidth, kHeight, this);
    if (!window_) return false;
    buildView(window_.get());
    view_->frame().setFocusCallback([this](bool wanted) {
        if (window_) window_->setKeyboardFocus(wanted);
    });
    systemWindow_ = parent;
    present();
    return true;
}

void Editor::close() {
    if (view_) model_->endGesture();
    // The window goes first: it must not call into a view being destroyed.
    window_.reset();
    view_.reset();
    systemWindow_ = nullptr;
}

void Editor::idle() {
    if (!window_ || !view_) return;
    window_->processEvents();
    if (!window_ || !view_) return;  // closed from an event
    model_->poll(platform::tickCountMs());
    view_->sync();
    view_->pollDialogs();
    view_->invalidatePad();
    view_->idleRightPanel();
    present();
}

void Editor::present() {
    if (!view_) return;
    gui::Canvas canvas(canvas_);
    const std::vector<gui::Rect> areas = view_->frame().render(canvas);
    if (!window_) return;
    for (const gui::Rect& r : areas)
        window_->present(canvas_.pixels(), kWidth, kHeight, platform::PixelRect{r.left, r.top, r.right, r.bottom});
}

void Editor::openOffscreen() {
    closeOffscreen();
    buildView(nullptr);
}

void Editor::closeOffscreen() {
    if (window_) return;
    view_.reset();
}

const gui::Bitmap& Editor::renderOffscreen() {
    if (view_) {
        // No idle poll here: the Save blink and the LED would make the
        // picture depend on the clock.
        view_->sync();
        gui::Canvas canvas(canvas_);
        view_->frame().drawAll(canvas);
    }
    return canvas_;
}

// ---- window events ----------------------------------------------------------

namespace {
gui::MouseEvent mouseEvent(int x, int y, int buttons, int modifiers, bool doubleClick = false) {
    gui::MouseEvent e;
    e.x = x;
    e.y = y;
    e.buttons = buttons;
    e.modifiers = modifiers;
    e.doubleClick = doubleClick;
    return e;
}
}  // namespace

void Editor::onMouseDown(int x, int y, int buttons, int modifiers, bool doubleClick) {
    if (!view_) return;
    view_->frame().mouseDown(mouseEvent(x, y, buttons, modifiers, doubleClick));
    if (view_) view_->sync();
    present();
}

void Editor::onMouseMove(int x, int y, int buttons, int modifiers) {
    if (!view_) return;
    view_->frame().mouseMove(mouseEvent(x, y, buttons, modifiers));
    present();
}

void Editor::onMouseUp(int x, int y, int buttons, int modifiers) {
    if (!view_) return;
    view_->frame().mouseUp(mouseEvent(x, y, buttons, modifiers));
    if (view_) view_->sync();
    present();
}

void Editor::onMouseWheel(int x, int y, float steps, int modifiers) {
    if (view_) view_->frame().mouseWheel(mouseEvent(x, y, 0, modifiers), steps);
}

bool Editor::onKey(platform::EditKey key, char32_t character, int modifiers) {
    if (!view_) return false;
    const bool used = view_->frame().key(key, character, modifiers);
    if (view_) view_->sync();
    present();
    return used;
}

void Editor::onExpose(const platform::PixelRect& area) {
    if (!view_) return;
    view_->frame().invalidate(gui::Rect{area.left, area.top, area.right, area.bottom});
    present();
}

bool Editor::onKeyDown(int character, int virtualKey, int modifiers) {
    if (!view_ || view_->frame().focus() == nullptr) return false;
    // VstVirtualKey values.
    platform::EditKey key = platform::EditKey::kNone;
    switch (virtualKey) {
        case 1: key = platform::EditKey::kBackspace; break;
        case 2: key = platform::EditKey::kTab; break;
        case 4:
        case 19: key = platform::EditKey::kReturn; break;
        case 6: key = platform::EditKey::kEscape; break;
        case 9: key = platform::EditKey::kEnd; break;
        case 10: key = platform::EditKey::kHome; break;
        case 11: key = platform::EditKey::kLeft; break;
        case 13: key = platform::EditKey::kRight; break;
        case 22: key = platform::EditKey::kDelete; break;
        case 7: character = ' '; break;
        default: break;
    }
    if (key == platform::EditKey::kNone && (character < 0x20 || character > 0x7E)) return false;
    const int shift = (modifiers & 1) ? platform::kModifierShift : 0;
    return onKey(key, key == platform::EditKey::kNone ? static_cast<char32_t>(character) : 0, shift);
}

Editor* createEditor(Effect* effect) { return new Editor(effect); }
