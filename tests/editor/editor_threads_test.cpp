// The editor's thread rules under load: the audio thread renders and feeds
// the editor's hooks, a second thread changes programs (as the timer does),
// and the editor thread idles, draws and clicks Solo meanwhile. Run under
// ThreadSanitizer (label threads): any unguarded access between them is a
// failure there; here the editor must simply keep up and stay consistent.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/main_menu.h"
#include "editor/right_panel_view.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "tests/editor/recording_host.h"
#include "track/instrument.h"

namespace {

class EditorThreads : public EditorTest {};

TEST_F(EditorThreads, IdleAndSoloWhileProgramsChangeAndBlocksRender) {
    startPlugin(false);
    auto* editor = static_cast<Editor*>(main->getEditor());
    ASSERT_NE(editor, nullptr);
    editor->openOffscreen();
    editor->model().menuCommand(main_menu::kScope);  // the scope ring is fed too
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> l, r;
        while (!stop.load()) renderBlock(*main, 256, l, r);
    });
    std::thread timer([&] {
        for (int i = 0; i < 6; ++i) main->changeProgram(i % 2, false, true);
    });
    int frames = 0;
    for (int i = 0; i < 60; ++i) {
        editor->model().poll(static_cast<uint32_t>(i * 40));
        editor->model().setSolo(i % 2 == 0);
        editor->renderOffscreen();
        ++frames;
    }
    timer.join();
    stop.store(true);
    audio.join();
    EXPECT_EQ(frames, 60);
    // After the last change the Solo state still holds for the tracks in place.
    editor->model().setSolo(true);
    for (auto& t : main->project()->tracks) EXPECT_EQ(t->silencedBySolo.load(), 1.0f);
    editor->closeOffscreen();
}

// The right-hand panel reads live values from the modules and asks for
// sounds while the audio thread plays them, moves the satellites and changes
// their programs, and projects are replaced underneath.
TEST_F(EditorThreads, RightPanelPagesWhileSoundsChangeBallsFlyAndProgramsChange) {
    startPlugin(false);
    auto* editor = static_cast<Editor*>(main->getEditor());
    ASSERT_NE(editor, nullptr);
    editor->openOffscreen();
    RightPanelModel& panel = editor->view()->rightPanel().model();
    {
        Effect::ProjectAccess access(*main);
        ASSERT_TRUE(access.admitted());
        SatelliteRef ref;
        ASSERT_TRUE(findSatellite(*main->project(), 0, ref));
        ref.track->balls.ball(ref.ball).flyOn = 1.0f;
        ref.track->balls.ball(ref.ball).flySpeed = 1.0f;
    }
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> l, r;
        while (!stop.load()) renderBlock(*main, 256, l, r);
    });
    std::thread timer([&] {
        for (int i = 0; i < 6; ++i) {
            main->changeProgram(i % 2, false, true);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const right_panel::Page pages[] = {right_panel::Page::kPlanets, right_panel::Page::kSatellite,
                                       right_panel::Page::kParams, right_panel::Page::kSounds};
    int chosen = 0;
    for (int i = 0; i < 80; ++i) {
        editor->model().poll(static_cast<uint32_t>(i * 40));
        if (editor->model().selectedPlanet() < 0) {
            editor->model().selectPlanet(0);
            editor->model().selectSatellite(0);
        }
        panel.showPage(pages[i % 4]);
        editor->view()->sync();
        editor->view()->idleRightPanel();
        if (panel.chooseSound(i % 2)) ++chosen;
        panel.toggleFullRange();
        editor->renderOffscreen();
    }
    timer.join();
    stop.store(true);
    audio.join();
    EXPECT_GT(chosen, 0);
    editor->closeOffscreen();
}

}  // namespace
