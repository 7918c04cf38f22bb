// The widget model: dirty areas, what a render touches, mouse capture,
// focus and keys, and the controls' values and reports to their listener.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/controls.h"
#include "gui/view.h"

namespace gui {
namespace {

using platform::kMouseLeft;
using platform::kMouseRight;

MouseEvent at(int x, int y, int buttons = kMouseLeft) { return MouseEvent{x, y, buttons, 0, false}; }

// A view that paints itself one colour and records what reaches it.
class Probe : public View {
public:
    Probe(const Rect& r, Color c, bool capture = true) : View(r), color(c), capture(capture) {}
    void draw(Canvas& canvas) override {
        ++draws;
        canvas.fillRect(rect(), color);
    }
    bool onMouseDown(const MouseEvent& e) override {
        log.push_back("down " + std::to_string(e.x) + "," + std::to_string(e.y));
        if (onDown) onDown();
        return capture;
    }
    void onMouseMove(const MouseEvent& e) override { log.push_back("move " + std::to_string(e.x) + "," + std::to_string(e.y)); }
    void onMouseUp(const MouseEvent& e) override { log.push_back("up " + std::to_string(e.x) + "," + std::to_string(e.y)); }
    void onHover(const MouseEvent&) override { ++hovers; }
    Color color;
    bool capture;
    int draws = 0;
    int hovers = 0;
    std::vector<std::string> log;
    std::function<void()> onDown;
};

class Recorder : public ControlListener {
public:
    void valueChanged(Control& c) override { log.push_back("changed " + std::to_string(c.tag()) + "=" + std::to_string(c.value())); }
    void beginEdit(Control& c) override { log.push_back("begin " + std::to_string(c.tag())); }
    void endEdit(Control& c) override { log.push_back("end " + std::to_string(c.tag())); }
    std::vector<std::string> log;
};

TEST(DirtyRegion, MergesTouchingAreasAndCollapsesWhenThereAreMany) {
    DirtyRegion d;
    d.add(Rect{0, 0, 10, 10});
    d.add(Rect{10, 0, 20, 10});  // shares an edge: merged
    d.add(Rect{50, 50, 60, 60});
    d.add(Rect{});  // empty: ignored
    ASSERT_EQ(d.rects().size(), 2u);
    EXPECT_EQ(d.rects()[0], (Rect{0, 0, 20, 10}));
    d.add(Rect{15, 5, 55, 55});  // bridges both
    ASSERT_EQ(d.rects().size(), 1u);
    EXPECT_EQ(d.rects()[0], (Rect{0, 0, 60, 60}));
    DirtyRegion many;
    for (int i = 0; i < 9; ++i) many.add(Rect::fromSize(i * 20, 0, 5, 5));
    ASSERT_EQ(many.rects().size(), 1u);
    EXPECT_EQ(many.rects()[0], (Rect{0, 0, 165, 5}));
}

TEST(Frame, RenderDrawsOnlyWhatIsDirty) {
    Frame frame(100, 50);
    Bitmap background(100, 50, rgb(1, 2, 3));
    frame.setBackground(&background);
    auto* a = frame.make<Probe>(Rect{10, 10, 30, 30}, rgb(255, 0, 0));
    auto* b = frame.make<Probe>(Rect{60, 10, 80, 30}, rgb(0, 255, 0));
    Bitmap target(100, 50, rgb(9, 9, 9));
    Canvas canvas(target);
    std::vector<Rect> drawn = frame.render(canvas);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0], frame.bounds());
    EXPECT_EQ(target.pixel(0, 0), rgb(1, 2, 3));
    EXPECT_EQ(target.pixel(20, 20), rgb(255, 0, 0));
    EXPECT_FALSE(frame.needsDrawing());

    // Change b behind the frame's back, then only a is invalidated: b's
    // pixels must stay as they were.
    b->color = rgb(0, 0, 255);
    a->color = rgb(255, 255, 0);
    a->invalidate();
    drawn = frame.render(canvas);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0], a->rect());
    EXPECT_EQ(target.pixel(20, 20), rgb(255, 255, 0));
    EXPECT_EQ(target.pixel(70, 20), rgb(0, 255, 0));
    EXPECT_EQ(b->draws, 1);
    EXPECT_TRUE(frame.render(canvas).empty());

    // Hiding draws the background where the view was.
    a->setVisible(false);
    frame.render(canvas);
    EXPECT_EQ(target.pixel(20, 20), rgb(1, 2, 3));
}

TEST(Frame, CapturedDragFollowsThePointerOutsideTheView) {
    Frame frame(100, 100);
    auto* below = frame.make<Probe>(Rect{0, 0, 100, 100}, rgb(0, 0, 0));
    auto* knob = frame.make<Probe>(Rect{40, 40, 60, 60}, rgb(0, 0, 0));
    frame.mouseDown(at(50, 50));
    EXPECT_EQ(frame.captured(), knob);
    frame.mouseMove(at(90, 5));
    frame.mouseUp(at(3, 97, kMouseRight));  // another button: ignored
    frame.mouseUp(at(95, 2));
    EXPECT_EQ(frame.captured(), nullptr);
    EXPECT_EQ(knob->log, (std::vector<std::string>{"down 50,50", "move 90,5", "up 95,2"}));
    EXPECT_TRUE(below->log.empty());
    frame.mouseMove(at(10, 10, 0));
    EXPECT_EQ(below->hovers, 1);
    EXPECT_EQ(knob->hovers, 0);
}

TEST(Frame, ViewRemovedInsideItsOwnHandlerIsDestroyedAfterward) {
    Frame frame(100, 100);
    auto* doomed = frame.make<Probe>(Rect{0, 0, 50, 50}, rgb(0, 0, 0));
    doomed->onDown = [&] { frame.remove(doomed); };
    frame.mouseDown(at(10, 10));  // ASan reports a use after free here if not
    EXPECT_EQ(frame.captured(), nullptr);
    EXPECT_TRUE(frame.views().empty());
    frame.mouseUp(at(10, 10));
}

TEST(Frame, OverlayTakesAllInputUntilClosed) {
    Frame frame(100, 100);
    auto* below = frame.make<Probe>(Rect{0, 0, 100, 100}, rgb(0, 0, 0));
    auto* overlay = static_cast<Probe*>(frame.pushOverlay(std::make_unique<Probe>(Rect{20, 20, 40, 40}, rgb(1, 1, 1), false)));
    frame.mouseDown(at(80, 80));
    frame.mouseUp(at(80, 80));
    EXPECT_TRUE(below->log.empty());
    EXPECT_EQ(overlay->log, (std::vector<std::string>{"down 80,80"}));
    frame.closeOverlay(overlay);
    EXPECT_FALSE(frame.hasOverlay());
    frame.mouseDown(at(80, 80));
    EXPECT_EQ(below->log.size(), 1u);
}

TEST(Frame, ViewOpeningAnOverlayOnPressDoesNotKeepThePointer) {
    Frame frame(100, 100);
    auto* button = frame.make<Probe>(Rect{0, 0, 20, 20}, rgb(0, 0, 0));
    button->onDown = [&] { frame.pushOverlay(std::make_unique<Probe>(frame.bounds(), rgb(0, 0, 0))); };
    frame.mouseDown(at(5, 5));
    EXPECT_EQ(frame.captured(), nullptr);
    frame.mouseMove(at(50, 50));
    EXPECT_EQ(button->log.size(), 1u);
}

Bitmap twoStates(int w, int h, Color off, Color on) {
    Bitmap b(w, 2 * h, off);
    for (int y = h; y < 2 * h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, on);
    return b;
}

TEST(Buttons, ToggleFlipsReportsAndShowsTheStateFromTheLowerHalf) {
    const Bitmap states = twoStates(12, 8, rgb(10, 10, 10), rgb(200, 0, 0));
    Recorder listener;
    Frame frame(40, 40);
    auto* button = frame.make<ToggleButton>(Point{5, 6}, &states, &listener, 7);
    EXPECT_EQ(button->rect(), (Rect{5, 6, 17, 14}));
    Bitmap target(40, 40);
    Canvas canvas(target);
    frame.render(canvas);
    EXPECT_EQ(target.pixel(10, 10), rgb(10, 10, 10));
    frame.mouseDown(at(16, 13));
    frame.mouseUp(at(16, 13));
    EXPECT_EQ(button->value(), 1.0f);
    frame.render(canvas);
    EXPECT_EQ(target.pixel(10, 10), rgb(200, 0, 0));
    EXPECT_EQ(target.pixel(10, 14), rgb(0, 0, 0));  // the lower half is not drawn below
    frame.mouseDown(at(5, 6));
    EXPECT_EQ(button->value(), 0.0f);
    frame.mouseDown(at(17, 6));  // just outside
    frame.mouseDown(at(8, 8, kMouseRight));  // right button: no change
    EXPECT_EQ(listener.log, (std::vector<std::string>{"begin 7", "changed 7=1.000000", "end 7", "begin 7",
                                                      "changed 7=0.000000", "end 7"}));
    // setValue from the program neither reports nor leaves the range.
    button->setValue(5.0f);
    EXPECT_EQ(button->value(), 1.0f);
    EXPECT_EQ(listener.log.size(), 6u);
}

TEST(Buttons, KickClicksOnlyWhenReleasedOverIt) {
    const Bitmap states = twoStates(10, 10, rgb(1, 1, 1), rgb(2, 2, 2));
    Frame frame(50, 50);
    struct Clicks : ControlListener {
        KickButton* button = nullptr;
        int clicks = 0;
        std::vector<float> values;
        void valueChanged(Control& c) override {
            values.push_back(c.value());
            if (c.value() == 0.0f && button->clicked()) ++clicks;
        }
    } listener;
    auto* kick = frame.make<KickButton>(Point{0, 0}, &states, &listener, 1);
    listener.button = kick;
    frame.mouseDown(at(5, 5));
    EXPECT_EQ(kick->value(), 1.0f);
    frame.mouseMove(at(30, 30));
    EXPECT_EQ(kick->value(), 0.0f);
    frame.mouseUp(at(30, 30));
    EXPECT_EQ(listener.clicks, 0);
    frame.mouseDown(at(5, 5));
    frame.mouseMove(at(30, 30));
    frame.mouseMove(at(6, 6));
    frame.mouseUp(at(6, 6));
    EXPECT_EQ(listener.clicks, 1);
    EXPECT_EQ(listener.values, (std::vector<float>{1, 0, 1, 0}));
}

TEST(BitmapView, ShowsTheChosenFrameOfAStrip) {
    Bitmap strip(15, 4);
    for (int f = 0; f < 5; ++f)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 3; ++x) strip.setPixel(3 * f + x, y, rgb(10 * f, 0, 0));
    Frame frame(20, 20);
    auto* view = frame.make<BitmapView>(Point{4, 5}, &strip, 5);
    EXPECT_EQ(view->rect(), (Rect{4, 5, 7, 9}));
    Bitmap target(20, 20);
    Canvas canvas(target);
    frame.render(canvas);
    EXPECT_EQ(target.pixel(5, 6), rgb(0, 0, 0));
    view->setFrame(3);
    EXPECT_EQ(frame.render(canvas), (std::vector<Rect>{view->rect()}));
    EXPECT_EQ(target.pixel(5, 6), rgb(30, 0, 0));
    view->setFrame(42);  // clamped to the last frame
    frame.render(canvas);
    EXPECT_EQ(target.pixel(6, 8), rgb(40, 0, 0));
    frame.mouseDown(at(5, 6));  // takes no clicks
    EXPECT_EQ(frame.captured(), nullptr);
}

TEST(TextEntry, TypingEditingKeysAndConfirmation) {
    Frame frame(200, 40);
    Recorder listener;
    bool focusWanted = false;
    frame.setFocusCallback([&](bool wanted) { focusWanted = wanted; });
    TextStyle style{Font("Arial", 12), rgb(255, 255, 255), Align::kLeft, rgb(0, 0, 0)};
    auto* edit = frame.make<TextEdit>(Rect{10, 10, 150, 30}, &listener, 3, style, 8);
    int ends = 0;
    bool lastConfirmed = false;
    edit->onEnd = [&](TextEdit&, bool confirmed) { ++ends; lastConfirmed = confirmed; };
    edit->setText("Bass");
    frame.mouseDown(at(149, 20));  // right of the text: caret at the end
    frame.mouseUp(at(149, 20));
    ASSERT_TRUE(edit->editing());
    EXPECT_TRUE(focusWanted);
    EXPECT_EQ(edit->caret(), 4u);
    frame.key(EditKey::kNone, U'1', 0);
    frame.key(EditKey::kHome, 0, 0);
    frame.key(EditKey::kDelete, 0, 0);
    frame.key(EditKey::kNone, U'b', 0);
    frame.key(EditKey::kEnd, 0, 0);
    frame.key(EditKey::kLeft, 0, 0);
    frame.key(EditKey::kBackspace, 0, 0);
    EXPECT_EQ(edit->text(), "bas1");
    EXPECT_FALSE(frame.key(EditKey::kNone, 0x07, 0));  // control character
    // Eight bytes at most, whole characters only: "é" takes two.
    for (char32_t c : U"\u00E9\u00E9\u00E9") frame.key(EditKey::kNone, c, 0);
    EXPECT_EQ(edit->text(), "bas\xC3\xA9\xC3\xA9" "1");
    frame.key(EditKey::kReturn, 0, 0);
    EXPECT_FALSE(edit->editing());
    EXPECT_FALSE(focusWanted);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(lastConfirmed);
    EXPECT_EQ(listener.log, (std::vector<std::string>{"changed 3=0.000000"}));
    // Keys without focus go nowhere.
    EXPECT_FALSE(frame.key(EditKey::kNone, U'x', 0));
}

TEST(TextEntry, EscapeRestoresAndAClickElsewhereConfirms) {
    Frame frame(200, 60);
    Recorder listener;
    auto* edit = frame.make<TextEdit>(Rect{10, 10, 150, 30}, &listener, 4, TextStyle{Font("Arial", 12)});
    edit->setText("Lead");
    edit->beginEditing();
    frame.key(EditKey::kBackspace, 0, 0);
    frame.key(EditKey::kEscape, 0, 0);
    EXPECT_EQ(edit->text(), "Lead");
    EXPECT_TRUE(listener.log.empty());
    edit->beginEditing();
    frame.key(EditKey::kNone, U'!', 0);
    frame.mouseDown(at(180, 50));
    EXPECT_FALSE(edit->editing());
    EXPECT_EQ(edit->text(), "Lead!");
    EXPECT_EQ(listener.log.size(), 1u);
}

}  // namespace
}  // namespace gui
