// The editor's thread rules under load: the audio thread renders and feeds
// the editor's hooks, a second thread changes programs (as the timer does),
// and the editor thread idles, draws and clicks Solo meanwhile. Run under
// ThreadSanitizer (label threads): any unguarded access between them is a
// failure there; here the editor must simply keep up and stay consistent.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/main_menu.h"
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

}  // namespace
