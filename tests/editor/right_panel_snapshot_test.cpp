// The right-hand panel in the window: each page drawn offscreen and compared
// byte for byte with its reference (the panel's area only), and the
// satellite controls and lists driven by clicks, drags and the wheel
// through the window's frame.
#include <gtest/gtest.h>

#include <stdexcept>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/right_panel_layout.h"
#include "editor/right_panel_view.h"
#include "gui/snapshot.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "tests/editor/recording_host.h"
#include "tests/editor/right_panel_states.h"
#include "modulehost/cplugin.h"
#include "modulehost/parameter_descriptor.h"
#include "track/instrument.h"

namespace {

std::string reference(const std::string& name) { return std::string(TALVEX_EDITOR_REFERENCE_DIR) + "/" + name; }

class RightPanelWindow : public EditorTest {
protected:
    void open() {
        startPlugin(false);
        editor = static_cast<Editor*>(main->getEditor());
        ASSERT_NE(editor, nullptr);
        editor->openOffscreen();
    }
    // Selects the first planet's first satellite and returns its ball, its
    // switches as the test sets them, shown at the next idle.
    SoundBall& selectSatelliteOfFirstPlanet(float flyOn) {
        satellite = right_panel_states::firstSatelliteOf(*main, 0);
        EXPECT_GE(satellite, 0);
        editor->model().selectPlanet(0);
        editor->model().selectSatellite(satellite);
        editor->view()->sync();
        EXPECT_EQ(editor->view()->rightPanel().model().page(), right_panel::Page::kSatellite);
        SoundBall* ball = right_panel_states::ballOf(*main, satellite);
        if (ball == nullptr) throw std::runtime_error("no satellite on the first planet");
        ball->flyOn = flyOn;
        return *ball;
    }
    void mouse(int x, int y, int dyDrag, int modifiers = 0) {
        gui::MouseEvent e;
        e.x = x;
        e.y = y;
        e.buttons = platform::kMouseLeft;
        e.modifiers = modifiers;
        gui::Frame& frame = editor->view()->frame();
        frame.mouseDown(e);
        for (int step = 1; step <= 4; ++step) {
            e.y = y + dyDrag * step / 4;
            frame.mouseMove(e);
        }
        frame.mouseUp(e);
        editor->view()->sync();
    }
    void wheel(int x, int y, float steps, int modifiers = 0) {
        gui::MouseEvent e;
        e.x = x;
        e.y = y;
        e.modifiers = modifiers;
        editor->view()->frame().mouseWheel(e, steps);
        editor->view()->sync();
    }
    // The first planet's sound list in view.
    void openSoundsOfFirstPlanet() {
        editor->model().selectPlanet(0);
        editor->view()->sync();
        right_panel_states::click(*editor, 841 + 66 + 20, 138);  // SOUNDS
        ASSERT_EQ(editor->view()->rightPanel().model().page(), right_panel::Page::kSounds);
    }
    // The highlight left the first row of the sound list for the second
    // between the two pictures.
    static void expectMarkMovedToSecondRow(const gui::Bitmap& before, const gui::Bitmap& after) {
        const int x = right_panel::kSoundRowLeft + 50 - right_panel::kPanel.left;
        auto at = [x](const gui::Bitmap& b, int y) {
            return b.pixels()[static_cast<size_t>(y - right_panel::kPanel.top) * b.width() + x];
        };
        const int rowTop = right_panel::kList.top + right_panel::kListFirstRow + right_panel::kRowPixels;
        EXPECT_NE(at(before, rowTop - 2), at(after, rowTop - 2)) << "the first row is still marked";
        EXPECT_NE(at(before, rowTop + 25), at(after, rowTop + 25)) << "the second row is not marked";
    }
    Editor* editor = nullptr;
    int satellite = -1;
};

TEST_F(RightPanelWindow, EachPageMatchesItsReference) {
    open();
    for (int i = 0; i < right_panel_states::count(); ++i) {
        const std::string name = right_panel_states::make(*editor, *main, i);
        const gui::SnapshotResult r = gui::matchSnapshot(right_panel_states::picture(*editor), reference(name));
        EXPECT_TRUE(r.matched || r.updated) << name << ": " << r.report;
    }
}

TEST_F(RightPanelWindow, PushButtonsAndTheRandomSelectorFlipTheSatellitesSwitches) {
    open();
    SoundBall& ball = selectSatelliteOfFirstPlanet(0.0f);
    ball.fullRange = 0.0f;
    ball.randomRate = 0.0f;
    editor->view()->idleRightPanel();
    right_panel_states::click(*editor, 861 + 45, 150 + 11);  // Full range
    EXPECT_EQ(ball.fullRange.load(), 1.0f);
    right_panel_states::click(*editor, 861 + 45, 150 + 11);
    EXPECT_EQ(ball.fullRange.load(), 0.0f);
    right_panel_states::click(*editor, 861 + 20, 284 + 10);  // Fly
    EXPECT_EQ(ball.flyOn.load(), 1.0f);
    right_panel_states::click(*editor, 861 + 60, 188 + 27 + 10);  // right column, second row: cell 3
    EXPECT_EQ(ball.randomRate.load(), 3.0f);
    right_panel_states::click(*editor, 861 + 60, 188 + 27 + 10);  // again: off
    EXPECT_EQ(ball.randomRate.load(), 0.0f);
    right_panel_states::click(*editor, 861 + 5, 188 + 5);  // RND
    EXPECT_EQ(ball.randomRate.load(), 1.0f);
    // The program record follows each click.
    const float* record = main->programRecords()[static_cast<size_t>(main->getProgram())].satellites[satellite];
    float values[kSatelliteValues];
    SatelliteRef ref;
    ASSERT_TRUE(findSatellite(*main->project(), satellite, ref));
    readSatelliteValues(ref, values);
    for (int v = 0; v < kSatelliteValues; ++v) EXPECT_EQ(record[v], values[v]) << "value " << v;
}

TEST_F(RightPanelWindow, FadersFollowDragsAndTheWheelOnlyWhileTheSatelliteFlies) {
    open();
    SoundBall& ball = selectSatelliteOfFirstPlanet(0.0f);
    ball.flySpeed = 0.5f;
    ball.flyDirection = 0.5f;
    editor->view()->idleRightPanel();
    const gui::Rect speed = right_panel::kSpeedFader;
    const int h = speed.height();
    // Disabled while fly is off: a drag changes nothing.
    mouse(speed.left + 10, speed.top + 10, -2 * h);
    EXPECT_EQ(ball.flySpeed.load(), 0.5f);
    wheel(speed.left + 10, speed.top + 10, 3.0f);
    EXPECT_EQ(ball.flySpeed.load(), 0.5f);

    right_panel_states::click(*editor, 861 + 20, 284 + 10);  // Fly on
    ASSERT_EQ(ball.flyOn.load(), 1.0f);
    // Two heights up: a tenth of the range.
    mouse(speed.left + 10, speed.top + 10, -2 * h);
    EXPECT_NEAR(ball.flySpeed.load(), 0.6f, 1e-6f);
    // With Shift ten times finer.
    mouse(speed.left + 10, speed.top + 10, 2 * h, platform::kModifierShift);
    EXPECT_NEAR(ball.flySpeed.load(), 0.59f, 1e-6f);
    // The wheel: 2 % a notch, 0.2 % with Shift.
    const gui::Rect direction = right_panel::kDirectionFader;
    wheel(direction.left + 5, direction.top + 5, -2.0f);
    EXPECT_NEAR(ball.flyDirection.load(), 0.46f, 1e-6f);
    wheel(direction.left + 5, direction.top + 5, 1.0f, platform::kModifierShift);
    EXPECT_NEAR(ball.flyDirection.load(), 0.462f, 1e-6f);
    const float* record = main->programRecords()[static_cast<size_t>(main->getProgram())].satellites[satellite];
    EXPECT_EQ(record[6], ball.flySpeed.load());
    EXPECT_EQ(record[7], ball.flyDirection.load());
}

TEST_F(RightPanelWindow, ASwitchTheHostOrMidiChangesShowsAtTheNextIdle) {
    open();
    SoundBall& ball = selectSatelliteOfFirstPlanet(0.0f);
    editor->view()->idleRightPanel();
    const gui::Bitmap before = right_panel_states::picture(*editor);
    // The modulation wheel's takeover, as the audio thread does it.
    ball.fullRange = 1.0f;
    ball.flyOn = 1.0f;
    editor->view()->idleRightPanel();
    const gui::Bitmap after = right_panel_states::picture(*editor);
    // The Full range and Fly buttons and the faders now draw otherwise.
    auto differs = [&](const gui::Rect& r) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const int px = x - right_panel::kPanel.left, py = y - right_panel::kPanel.top;
                if (before.pixels()[static_cast<size_t>(py) * before.width() + px] !=
                    after.pixels()[static_cast<size_t>(py) * after.width() + px])
                    return true;
            }
        return false;
    };
    EXPECT_TRUE(differs(gui::Rect::fromSize(861, 150, 90, 22)));
    EXPECT_TRUE(differs(gui::Rect::fromSize(861, 284, 46, 20)));
    EXPECT_TRUE(differs(right_panel::kSpeedFader));
    EXPECT_FALSE(differs(gui::Rect::fromSize(861, 188, 90, 81)));  // the random selector did not change
}

TEST_F(RightPanelWindow, AClickInTheSoundListMarksTheSoundOnceABlockHasPlayedIt) {
    open();
    openSoundsOfFirstPlanet();
    const int rowTop = right_panel::kList.top + right_panel::kListFirstRow + right_panel::kRowPixels;
    right_panel_states::click(*editor, 900, rowTop + 10);  // the second entry
    editor->view()->idleRightPanel();
    const gui::Bitmap asked = right_panel_states::picture(*editor);
    EXPECT_EQ(main->mainModuleProgram(0), 0);
    std::vector<float> l, r;
    renderBlock(*main, 64, l, r);
    EXPECT_EQ(main->mainModuleProgram(0), 1);
    editor->view()->idleRightPanel();
    expectMarkMovedToSecondRow(asked, right_panel_states::picture(*editor));
}

// A program change the track's automation lane sends its main module (as
// a host's automation lane drives any parameter) moves the mark in the
// sound list to the program that now plays.
TEST_F(RightPanelWindow, TheSoundMarkFollowsAProgramChangeFromTheTracksAutomationLane) {
    open();
    openSoundsOfFirstPlanet();
    CInstrument& track = *main->project()->tracks[0];
    CPlugin& slot = track.mainSlot();
    ASSERT_EQ(main->mainModuleProgram(0), 0);
    std::vector<float> l, r;
    renderBlock(*main, 64, l, r);
    editor->view()->idleRightPanel();
    const gui::Bitmap before = right_panel_states::picture(*editor);

    // Every pattern's program-change lane asks for the second program.
    ParameterDescriptor& lane = track.midiParameter(3);
    for (auto& points : lane.lanes) points = {EventPoint{0.0f, 1.0f}};
    main->playSwitch = 1.0f;
    host.time.flags |= kVstTransportPlaying;
    int blocks = 0;
    while (slot.dispatch(effGetProgram, 0, 0, nullptr, 0.0f) != 1 && blocks < 200) {
        renderBlock(*main, 256, l, r);
        ++blocks;
    }
    ASSERT_EQ(slot.dispatch(effGetProgram, 0, 0, nullptr, 0.0f), 1) << "the lane never reached the module";
    renderBlock(*main, 64, l, r);
    EXPECT_EQ(main->mainModuleProgram(0), 1);
    EXPECT_EQ(editor->view()->rightPanel().model().currentSound(), 1);
    editor->view()->idleRightPanel();
    expectMarkMovedToSecondRow(before, right_panel_states::picture(*editor));
}

}  // namespace
