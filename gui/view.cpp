#include "gui/view.h"

#include <algorithm>

namespace gui {

// ---- View ----

void View::setRect(const Rect& rect) {
    if (rect == rect_) return;
    invalidate();
    rect_ = rect;
    invalidate();
}

void View::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (frame_ != nullptr) frame_->invalidate(rect_);
    if (!visible && frame_ != nullptr && frame_->focus() == this) frame_->setFocus(nullptr);
}

void View::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    invalidate();
}

bool View::hitTest(int x, int y) const { return visible_ && enabled_ && rect_.contains(x, y); }

void View::invalidate() {
    if (frame_ != nullptr) frame_->invalidate(rect_);
}

// ---- DirtyRegion ----

void DirtyRegion::add(const Rect& r) {
    if (r.empty()) return;
    Rect merged = r;
    // Absorb every rectangle the new one touches, until none does.
    bool changed = true;
    while (changed) {
        changed = false;
        for (size_t i = 0; i < rects_.size(); ++i) {
            const Rect& o = rects_[i];
            const bool touches = merged.left <= o.right && o.left <= merged.right && merged.top <= o.bottom &&
                                 o.top <= merged.bottom;
            if (touches) {
                merged = merged.united(o);
                rects_.erase(rects_.begin() + static_cast<long>(i));
                changed = true;
                break;
            }
        }
    }
    rects_.push_back(merged);
    if (rects_.size() > kMaxRects) {
        const Rect all = bounds();
        rects_.assign(1, all);
    }
}

Rect DirtyRegion::bounds() const {
    Rect r;
    for (const Rect& o : rects_) r = r.united(o);
    return r;
}

// ---- Frame ----

Frame::Frame(int width, int height) : bounds_{0, 0, std::max(width, 0), std::max(height, 0)} { invalidateAll(); }

Frame::~Frame() {
    // Views may look at the frame while they go; keep it whole until then.
    overlays_.clear();
    views_.clear();
    graveyard_.clear();
}

void Frame::setBackground(const Bitmap* background, Color fill) {
    background_ = background;
    fill_ = fill;
    invalidateAll();
}

View* Frame::add(std::unique_ptr<View> view) {
    if (!view) return nullptr;
    view->frame_ = this;
    View* raw = view.get();
    views_.push_back(std::move(view));
    raw->invalidate();
    return raw;
}

void Frame::forget(View* view) {
    if (captured_ == view) captured_ = nullptr;
    if (focus_ == view) setFocus(nullptr);
}

void Frame::remove(View* view) {
    auto it = std::find_if(views_.begin(), views_.end(), [&](const auto& v) { return v.get() == view; });
    if (it == views_.end()) return;
    invalidate(view->rect());
    forget(view);
    graveyard_.push_back(std::move(*it));
    views_.erase(it);
    if (dispatchDepth_ == 0) collectGarbage();
}

View* Frame::pushOverlay(std::unique_ptr<View> overlay) {
    if (!overlay) return nullptr;
    overlay->frame_ = this;
    View* raw = overlay.get();
    // A press in progress belongs to the view underneath no more.
    captured_ = nullptr;
    overlays_.push_back(std::move(overlay));
    raw->invalidate();
    if (raw->wantsKeyboard()) setFocus(raw);
    return raw;
}

void Frame::closeOverlay(View* overlay) {
    auto it = std::find_if(overlays_.begin(), overlays_.end(), [&](const auto& v) { return v.get() == overlay; });
    if (it == overlays_.end()) return;
    invalidate(overlay->rect());
    forget(overlay);
    graveyard_.push_back(std::move(*it));
    overlays_.erase(it);
    if (dispatchDepth_ == 0) collectGarbage();
}

void Frame::collectGarbage() { graveyard_.clear(); }

void Frame::invalidate(const Rect& r) { dirty_.add(r.intersected(bounds_)); }

void Frame::drawArea(Canvas& canvas, const Rect& area) {
    canvas.pushClip(area);
    if (background_ != nullptr) {
        canvas.copyBitmap(*background_, area, area.left, area.top);
        // Any part the background does not reach gets the fill.
        if (!background_->bounds().contains(area)) {
            const Rect b = background_->bounds();
            canvas.copyRect(Rect{area.left, std::max(area.top, b.bottom), area.right, area.bottom}, fill_);
            canvas.copyRect(Rect{std::max(area.left, b.right), area.top, area.right, std::min(area.bottom, b.bottom)},
                            fill_);
        }
    } else {
        canvas.copyRect(area, fill_);
    }
    for (const auto& v : views_) {
        if (v->visible() && v->rect().intersects(area)) v->draw(canvas);
    }
    for (const auto& o : overlays_) {
        if (o->visible() && o->rect().intersects(area)) o->draw(canvas);
    }
    canvas.popClip();
}

std::vector<Rect> Frame::render(Canvas& canvas) {
    if (dispatchDepth_ == 0) collectGarbage();
    std::vector<Rect> drawn = dirty_.rects();
    dirty_.clear();
    ++dispatchDepth_;
    for (const Rect& r : drawn) drawArea(canvas, r);
    --dispatchDepth_;
    return drawn;
}

void Frame::drawAll(Canvas& canvas) {
    dirty_.clear();
    ++dispatchDepth_;
    drawArea(canvas, bounds_);
    --dispatchDepth_;
}

View* Frame::viewAt(int x, int y) const {
    for (auto it = views_.rbegin(); it != views_.rend(); ++it) {
        if ((*it)->hitTest(x, y)) return it->get();
    }
    return nullptr;
}

namespace {
// Counts nested dispatches so that views removed inside a handler are
// destroyed only after it returns.
struct DispatchScope {
    int& depth;
    explicit DispatchScope(int& d) : depth(d) { ++depth; }
    ~DispatchScope() { --depth; }
};
}  // namespace

void Frame::mouseDown(const MouseEvent& e) {
    if (dispatchDepth_ == 0) collectGarbage();
    DispatchScope scope(dispatchDepth_);
    if (captured_ != nullptr) return;  // a second button during a drag
    View* target = topOverlay();
    const size_t overlaysBefore = overlays_.size();
    if (target == nullptr) {
        target = viewAt(e.x, e.y);
        // A press outside the focused text entry ends its editing.
        if (focus_ != nullptr && focus_ != target) setFocus(nullptr);
    }
    if (target != nullptr && target->onMouseDown(e)) {
        // The handler may have closed or removed the view.
        const bool alive = std::any_of(views_.begin(), views_.end(), [&](const auto& v) { return v.get() == target; }) ||
                           std::any_of(overlays_.begin(), overlays_.end(), [&](const auto& v) { return v.get() == target; });
        // A view that opened a menu or box hands the pointer to it.
        if (alive && overlays_.size() <= overlaysBefore) {
            captured_ = target;
            capturedButton_ = e.buttons;
        }
    }
}

void Frame::mouseMove(const MouseEvent& e) {
    if (dispatchDepth_ == 0) collectGarbage();
    DispatchScope scope(dispatchDepth_);
    if (captured_ != nullptr) {
        captured_->onMouseMove(e);
        return;
    }
    View* target = topOverlay();
    if (target == nullptr) target = viewAt(e.x, e.y);
    if (target != nullptr) target->onHover(e);
}

void Frame::mouseUp(const MouseEvent& e) {
    if (dispatchDepth_ == 0) collectGarbage();
    DispatchScope scope(dispatchDepth_);
    if (captured_ == nullptr) return;
    if ((e.buttons & capturedButton_) == 0 && e.buttons != 0) return;  // another button
    View* target = captured_;
    captured_ = nullptr;
    target->onMouseUp(e);
}

bool Frame::mouseWheel(const MouseEvent& e, float steps) {
    if (dispatchDepth_ == 0) collectGarbage();
    DispatchScope scope(dispatchDepth_);
    if (hasOverlay()) return topOverlay()->onMouseWheel(e, steps);
    View* target = viewAt(e.x, e.y);
    return target != nullptr && target->onMouseWheel(e, steps);
}

bool Frame::key(EditKey key, char32_t character, int modifiers) {
    if (dispatchDepth_ == 0) collectGarbage();
    DispatchScope scope(dispatchDepth_);
    View* target = hasOverlay() ? topOverlay() : focus_;
    return target != nullptr && target->onKey(key, character, modifiers);
}

void Frame::setFocus(View* view) {
    if (view == focus_) return;
    View* old = focus_;
    focus_ = view;
    if (old != nullptr) old->onFocusLost();
    // onFocusLost may have moved the focus itself; report the final state.
    if ((old != nullptr) != (focus_ != nullptr) && focusCallback_) focusCallback_(focus_ != nullptr);
}

}  // namespace gui
