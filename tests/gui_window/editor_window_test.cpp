// The editor's X11 window, in process, on a private Xvfb: the pixels it
// shows, the hints and colormap hosts read, mouse and keyboard input sent
// through the server's XTEST path, focus handed back, and a parent that goes
// first or never existed.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/editor_window.h"
#include "tests/gui_window/fixture/window_probe_pattern.h"
#include "tests/gui_window/x11_test_support.h"

namespace {

constexpr int kWidth = window_probe::kWidth;
constexpr int kHeight = window_probe::kHeight;

std::vector<uint32_t> patternCanvas() {
    std::vector<uint32_t> canvas(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) canvas[static_cast<size_t>(y) * kWidth + x] = window_probe::patternPixel(x, y);
    return canvas;
}

// Pixels that differ from the canvas (alpha aside), with the first one named.
size_t countDifferences(const std::vector<uint32_t>& screen, const std::vector<uint32_t>& canvas, std::string& first) {
    size_t differences = 0;
    for (size_t i = 0; i < canvas.size() && i < screen.size(); ++i) {
        if ((canvas[i] & 0xffffffu) == screen[i]) continue;
        if (differences++ == 0) {
            char text[120];
            std::snprintf(text, sizeof(text), "first at (%zu, %zu): screen %06x, canvas %06x", i % kWidth, i / kWidth,
                          screen[i], canvas[i] & 0xffffffu);
            first = text;
        }
    }
    return differences + (screen.size() != canvas.size() ? 1 : 0);
}

class EditorWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(display.ok()) << "no X display: run under tests/gui_window/run_with_xvfb.sh";
        frame = display.createFrame(kWidth, kHeight, true);
        window = platform::EditorWindow::open(reinterpret_cast<void*>(static_cast<uintptr_t>(frame)), kWidth,
                                              kHeight, &listener);
        ASSERT_NE(window, nullptr);
        child = static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(window->nativeHandle()));
        // The first exposure arrives once the server has mapped the window.
        ASSERT_TRUE(waitFor([&] { window->processEvents(); },
                            [&] { return listener.count(RecordedInput::Kind::Expose) > 0; }));
    }
    void TearDown() override {
        if (window) {
            EXPECT_EQ(window->windowSystemErrors(), 0);
        }
        window.reset();
        if (frame != 0) display.destroy(frame);
    }

    void pump() { window->processEvents(); }
    std::string at(int x, int y) { return std::to_string(x) + " " + std::to_string(y); }

    TestDisplay display;
    RecordingListener listener;
    xcb_window_t frame = 0;
    xcb_window_t child = 0;
    std::unique_ptr<platform::EditorWindow> window;
};

TEST_F(EditorWindowTest, ShowsEveryPresentedPixelAndOnlyTheDirtyArea) {
    std::vector<uint32_t> canvas = patternCanvas();
    window->present(canvas.data(), kWidth, kHeight, platform::PixelRect{0, 0, kWidth, kHeight});
    display.sync();
    std::string first;
    EXPECT_EQ(countDifferences(display.capture(child, kWidth, kHeight), canvas, first), 0u) << first;

    // A dirty area goes out alone: the pixels outside it stay as they were
    // on screen even though the canvas changed there too.
    std::vector<uint32_t> changed(canvas.size(), 0xff123456u);
    const platform::PixelRect area{333, 100, 777, 301};
    window->present(changed.data(), kWidth, kHeight, area);
    display.sync();
    std::vector<uint32_t> expected = canvas;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) expected[static_cast<size_t>(y) * kWidth + x] = 0xff123456u;
    EXPECT_EQ(countDifferences(display.capture(child, kWidth, kHeight), expected, first), 0u) << first;

    // Areas beyond the canvas or window are clipped, never sent raw.
    window->present(canvas.data(), kWidth, kHeight, platform::PixelRect{-50, -50, kWidth + 80, 40});
    window->present(canvas.data(), kWidth, kHeight, platform::PixelRect{500, 500, 400, 600});
    window->present(nullptr, kWidth, kHeight, platform::PixelRect{0, 0, kWidth, kHeight});
    display.sync();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < kWidth; ++x) expected[static_cast<size_t>(y) * kWidth + x] = canvas[static_cast<size_t>(y) * kWidth + x];
    EXPECT_EQ(countDifferences(display.capture(child, kWidth, kHeight), expected, first), 0u) << first;
    pump();
}

TEST_F(EditorWindowTest, ChildOfTheParentWithFixedSizeHintsAndItsOwnColormap) {
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(display.connection(), xcb_query_tree(display.connection(), child), nullptr);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->parent, frame);
    std::free(tree);

    std::vector<uint32_t> hints = display.property32(child, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS);
    ASSERT_EQ(hints.size(), 18u);
    EXPECT_EQ(hints[0] & 0x38u, 0x38u);  // PSize, PMinSize, PMaxSize
    EXPECT_EQ(hints[5], static_cast<uint32_t>(kWidth));
    EXPECT_EQ(hints[6], static_cast<uint32_t>(kHeight));
    EXPECT_EQ(hints[7], static_cast<uint32_t>(kWidth));
    EXPECT_EQ(hints[8], static_cast<uint32_t>(kHeight));

    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        display.connection(), xcb_get_window_attributes(display.connection(), child), nullptr);
    ASSERT_NE(attributes, nullptr);
    EXPECT_NE(attributes->colormap, 0u);
    EXPECT_NE(attributes->colormap, display.screen()->default_colormap);
    EXPECT_EQ(attributes->map_state, XCB_MAP_STATE_VIEWABLE);
    std::free(attributes);
}

TEST_F(EditorWindowTest, ClicksDoubleClicksWheelAndDragsArriveWhereTheyHappen) {
    const std::string id = std::to_string(child);
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 120 45 click 1"));
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 640 300 click 3"));
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 500 200 click --repeat 2 --delay 80 1"));
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 10 440 click 4 click 5 click 5"));
    ASSERT_TRUE(xdotool("mousemove --window " + id + " 100 100 mousedown 1 mousemove --window " + id +
                        " 180 130 mouseup 1"));
    ASSERT_TRUE(waitFor([&] { pump(); }, [&] { return listener.count(RecordedInput::Kind::Up) >= 5; }));

    std::vector<RecordedInput> downs, ups, wheels, drags;
    for (const RecordedInput& e : listener.events) {
        if (e.kind == RecordedInput::Kind::Down) downs.push_back(e);
        if (e.kind == RecordedInput::Kind::Up) ups.push_back(e);
        if (e.kind == RecordedInput::Kind::Wheel) wheels.push_back(e);
        if (e.kind == RecordedInput::Kind::Move && e.buttons == platform::kMouseLeft) drags.push_back(e);
    }
    ASSERT_EQ(downs.size(), 5u);
    EXPECT_EQ(downs[0].x, 120);
    EXPECT_EQ(downs[0].y, 45);
    EXPECT_EQ(downs[0].buttons, platform::kMouseLeft);
    EXPECT_FALSE(downs[0].doubleClick);
    EXPECT_EQ(downs[1].x, 640);
    EXPECT_EQ(downs[1].y, 300);
    EXPECT_EQ(downs[1].buttons, platform::kMouseRight);
    EXPECT_FALSE(downs[2].doubleClick);
    EXPECT_TRUE(downs[3].doubleClick);  // the second of two presses 80 ms apart
    EXPECT_EQ(downs[3].x, 500);
    EXPECT_FALSE(downs[4].doubleClick);
    ASSERT_EQ(ups.size(), 5u);
    EXPECT_EQ(ups[1].buttons, platform::kMouseRight);
    EXPECT_EQ(ups[4].x, 180);
    EXPECT_EQ(ups[4].y, 130);
    ASSERT_EQ(wheels.size(), 3u);
    EXPECT_EQ(wheels[0].steps, 1.0f);
    EXPECT_EQ(wheels[1].steps, -1.0f);
    EXPECT_EQ(wheels[2].y, 440);
    ASSERT_FALSE(drags.empty());
    EXPECT_EQ(drags.back().x, 180);
    EXPECT_EQ(drags.back().y, 130);
}

TEST_F(EditorWindowTest, KeyboardFocusTakenForTextAndHandedBack) {
    xcb_set_input_focus(display.connection(), XCB_INPUT_FOCUS_POINTER_ROOT, frame, XCB_CURRENT_TIME);
    display.sync();
    ASSERT_EQ(display.inputFocus(), frame);

    window->setKeyboardFocus(true);
    EXPECT_EQ(display.inputFocus(), child);
    ASSERT_TRUE(xdotool("type --delay 20 'aZ5 '"));
    ASSERT_TRUE(xdotool("key BackSpace Left Return KP_Enter Delete Home End Tab ctrl+a"));
    ASSERT_TRUE(waitFor([&] { pump(); }, [&] { return listener.count(RecordedInput::Kind::Key) >= 12; }));
    std::vector<RecordedInput> keys;
    for (const RecordedInput& e : listener.events)
        if (e.kind == RecordedInput::Kind::Key) keys.push_back(e);
    ASSERT_EQ(keys.size(), 12u);
    EXPECT_EQ(keys[0].character, U'a');
    EXPECT_EQ(keys[1].character, U'Z');
    EXPECT_EQ(keys[1].modifiers, platform::kModifierShift);
    EXPECT_EQ(keys[2].character, U'5');
    EXPECT_EQ(keys[3].character, U' ');
    const platform::EditKey editing[] = {platform::EditKey::kBackspace, platform::EditKey::kLeft,
                                         platform::EditKey::kReturn,    platform::EditKey::kReturn,
                                         platform::EditKey::kDelete,    platform::EditKey::kHome,
                                         platform::EditKey::kEnd,       platform::EditKey::kTab};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(keys[4 + i].key, editing[i]) << i;
        EXPECT_EQ(keys[4 + i].character, 0u) << i;
    }
    // Control+A is a command, not the letter a: it is not delivered as text
    // (and with no editing meaning, not at all).
    window->setKeyboardFocus(false);
    EXPECT_EQ(display.inputFocus(), frame);
}

TEST(EditorWindowLifetime, StaleParentFailsAndParentDestroyedFirstIsHarmless) {
    TestDisplay display;
    ASSERT_TRUE(display.ok());
    RecordingListener listener;
    // An id no client owns: open declines, nothing ends the process.
    EXPECT_EQ(platform::EditorWindow::open(reinterpret_cast<void*>(uintptr_t{0x3fffff0}), kWidth, kHeight,
                                           &listener),
              nullptr);
    EXPECT_EQ(platform::EditorWindow::open(nullptr, kWidth, kHeight, &listener), nullptr);

    std::vector<uint32_t> canvas = patternCanvas();
    for (int round = 0; round < 20; ++round) {
        xcb_window_t frame = display.createFrame(kWidth, kHeight, round % 2 == 0);
        auto window = platform::EditorWindow::open(reinterpret_cast<void*>(static_cast<uintptr_t>(frame)), kWidth,
                                                   kHeight, &listener);
        ASSERT_NE(window, nullptr);
        window->present(canvas.data(), kWidth, kHeight, platform::PixelRect{0, 0, kWidth, kHeight});
        window->setKeyboardFocus(round % 4 == 0);
        display.destroy(frame);  // the host goes first, our window with it
        window->processEvents();
        window->present(canvas.data(), kWidth, kHeight, platform::PixelRect{0, 0, kWidth, kHeight});
        window->setKeyboardFocus(false);
        window.reset();  // its destroy request fails, and is only counted
    }
    // The server and the test's connection are fine afterwards.
    xcb_window_t frame = display.createFrame(64, 64, true);
    auto window = platform::EditorWindow::open(reinterpret_cast<void*>(static_cast<uintptr_t>(frame)), 64, 64,
                                               &listener);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowSystemErrors(), 0);
    window.reset();
    display.destroy(frame);
}

TEST(EditorWindowLifetime, NoDisplayMeansNoWindow) {
    const char* saved = std::getenv("DISPLAY");
    std::string keep = saved != nullptr ? saved : "";
    setenv("DISPLAY", ":4094", 1);  // nothing listens there
    RecordingListener listener;
    EXPECT_EQ(platform::EditorWindow::open(reinterpret_cast<void*>(uintptr_t{0x200000}), 10, 10, &listener), nullptr);
    setenv("DISPLAY", keep.c_str(), 1);
}

}  // namespace
