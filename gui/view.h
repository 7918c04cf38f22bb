// A lean widget model on top of the canvas. A Frame is the editor window's
// content: it owns views (drawn in the order added, later ones on top),
// tracks which areas need drawing again, routes mouse and key input, and
// holds modal overlays (menus, question boxes) above everything.
//
// Threads: a frame and its views belong to the editor's thread; nothing
// here is safe to touch from another one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "gui/canvas.h"
#include "gui/geometry.h"
#include "platform/editor_window.h"

namespace gui {

using platform::EditKey;

struct MouseEvent {
    int x = 0;
    int y = 0;
    int buttons = 0;    // platform::MouseButtonBits
    int modifiers = 0;  // platform::KeyModifierBits
    bool doubleClick = false;
};

class Frame;

class View {
public:
    explicit View(const Rect& rect) : rect_(rect) {}
    virtual ~View() = default;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    const Rect& rect() const { return rect_; }
    // Moves or resizes; both the old and the new area are drawn again.
    void setRect(const Rect& rect);
    bool visible() const { return visible_; }
    void setVisible(bool visible);
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);

    // Draws the view; the canvas clip already excludes what need not change.
    virtual void draw(Canvas& canvas) = 0;
    // Whether a press at (x, y) belongs to this view (default: its rect,
    // while visible and enabled).
    virtual bool hitTest(int x, int y) const;

    // A view that returns true from onMouseDown receives every move and the
    // release of that button (mouse capture), wherever the pointer goes.
    virtual bool onMouseDown(const MouseEvent&) { return false; }
    virtual void onMouseMove(const MouseEvent&) {}
    virtual void onMouseUp(const MouseEvent&) {}
    // Moves without a captured press go to the view under the pointer.
    virtual void onHover(const MouseEvent&) {}
    virtual bool onMouseWheel(const MouseEvent&, float /*steps*/) { return false; }
    // Keys reach the view that holds the focus (Frame::setFocus).
    virtual bool onKey(EditKey /*key*/, char32_t /*character*/, int /*modifiers*/) { return false; }
    virtual void onFocusLost() {}
    // An overlay that types (a prompt) takes the keyboard focus when it
    // opens, and the window the keyboard with it.
    virtual bool wantsKeyboard() const { return false; }

    void invalidate();
    Frame* frame() const { return frame_; }

private:
    friend class Frame;
    Frame* frame_ = nullptr;
    Rect rect_;
    bool visible_ = true;
    bool enabled_ = true;
};

// Areas waiting to be drawn: a few rectangles, merged when they touch, and
// collapsed into one when there are many (one bigger copy costs less than
// many small ones).
class DirtyRegion {
public:
    void add(const Rect& r);
    void clear() { rects_.clear(); }
    bool empty() const { return rects_.empty(); }
    const std::vector<Rect>& rects() const { return rects_; }
    Rect bounds() const;

    static constexpr size_t kMaxRects = 8;

private:
    std::vector<Rect> rects_;
};

class Frame {
public:
    Frame(int width, int height);
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    int width() const { return bounds_.width(); }
    int height() const { return bounds_.height(); }
    const Rect& bounds() const { return bounds_; }

    // Drawn below every view; null for a plain colour fill.
    void setBackground(const Bitmap* background, Color fill = rgb(0, 0, 0));

    View* add(std::unique_ptr<View> view);
    template <class T, class... Args>
    T* make(Args&&... args) {
        return static_cast<T*>(add(std::make_unique<T>(std::forward<Args>(args)...)));
    }
    // Destroys the view (later, if it is handling an event right now).
    void remove(View* view);
    const std::vector<std::unique_ptr<View>>& views() const { return views_; }

    // Modal overlays: while one is open, input goes to the topmost only.
    View* pushOverlay(std::unique_ptr<View> overlay);
    void closeOverlay(View* overlay);
    bool hasOverlay() const { return !overlays_.empty(); }
    View* topOverlay() const { return overlays_.empty() ? nullptr : overlays_.back().get(); }

    void invalidate(const Rect& r);
    void invalidateAll() { invalidate(bounds_); }
    bool needsDrawing() const { return !dirty_.empty(); }
    const DirtyRegion& dirtyRegion() const { return dirty_; }

    // Draws what is dirty and returns those areas (for the window to copy);
    // afterwards nothing is dirty.
    std::vector<Rect> render(Canvas& canvas);
    // Draws everything (snapshots).
    void drawAll(Canvas& canvas);

    // Input in frame pixels.
    void mouseDown(const MouseEvent& e);
    void mouseMove(const MouseEvent& e);
    void mouseUp(const MouseEvent& e);
    bool mouseWheel(const MouseEvent& e, float steps);
    bool key(EditKey key, char32_t character, int modifiers);

    // Keyboard focus: the view that receives keys. The callback tells the
    // window to take (true) or give back (false) the keyboard.
    void setFocus(View* view);
    View* focus() const { return focus_; }
    void setFocusCallback(std::function<void(bool)> callback) { focusCallback_ = std::move(callback); }
    View* captured() const { return captured_; }

private:
    void drawArea(Canvas& canvas, const Rect& area);
    View* viewAt(int x, int y) const;
    void forget(View* view);
    void collectGarbage();

    Rect bounds_;
    const Bitmap* background_ = nullptr;
    Color fill_ = rgb(0, 0, 0);
    std::vector<std::unique_ptr<View>> views_;
    std::vector<std::unique_ptr<View>> overlays_;
    std::vector<std::unique_ptr<View>> graveyard_;  // removed while busy
    DirtyRegion dirty_;
    View* captured_ = nullptr;
    int capturedButton_ = 0;
    View* focus_ = nullptr;
    std::function<void(bool)> focusCallback_;
    int dispatchDepth_ = 0;
};

}  // namespace gui
