// Pictures of the editor, drawn offscreen without any window system and
// compared byte for byte with the committed references in reference/.
// TALVEX_UPDATE_SNAPSHOTS=1 rewrites them after a deliberate change
// (scripts/update-editor-snapshots.sh); a mismatch leaves NAME.actual.png
// beside the reference.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/main_menu.h"
#include "gui/menu.h"
#include "gui/snapshot.h"
#include "project/project.h"
#include "tests/editor/recording_host.h"
#include "track/instrument.h"

namespace {

std::vector<uint8_t> fileBytesOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string reference(const std::string& name) { return std::string(TALVEX_EDITOR_REFERENCE_DIR) + "/" + name; }

class EditorSnapshot : public EditorTest {
protected:
    Editor& openEditor(bool standalone) {
        startPlugin(standalone);
        editor = static_cast<Editor*>(main->getEditor());
        EXPECT_NE(editor, nullptr);
        editor->openOffscreen();
        return *editor;
    }
    void expectSnapshot(const std::string& name) {
        const gui::SnapshotResult r = gui::matchSnapshot(editor->renderOffscreen(), reference(name));
        EXPECT_TRUE(r.matched || r.updated) << name << ": " << r.report;
    }
    void click(int x, int y, bool doubleClick = false) {
        gui::MouseEvent e;
        e.x = x;
        e.y = y;
        e.buttons = platform::kMouseLeft;
        e.doubleClick = doubleClick;
        editor->view()->frame().mouseDown(e);
        editor->view()->frame().mouseUp(e);
        editor->view()->sync();
    }
    Editor* editor = nullptr;
};

TEST_F(EditorSnapshot, EachTabOfTheProgramPanel) {
    openEditor(false);
    for (int tab = 0; tab < 5; ++tab) {
        click(25 + 270, 54 + 66 + 44 * tab + 20);  // the tab's button
        ASSERT_EQ(editor->model().tab(), tab);
        expectSnapshot("tab_" + std::to_string(tab) + ".png");
    }
}

TEST_F(EditorSnapshot, SaveModeOnTheUserTab) {
    openEditor(false);
    editor->model().selectTab(4);
    editor->view()->sync();
    click(312 + 10, 286 + 10);  // Save
    ASSERT_TRUE(editor->model().saveOn());
    expectSnapshot("save_mode.png");
}

TEST_F(EditorSnapshot, SaveBlinksInPixelsAndTakesClicksInBothPhases) {
    openEditor(false);
    editor->model().selectTab(4);
    editor->view()->sync();
    click(312 + 10, 286 + 10);
    ASSERT_TRUE(editor->model().saveOn());
    const gui::Rect save = gui::Rect::fromSize(312, 286, 40, 24);
    const gui::Bitmap lit = editor->renderOffscreen();
    editor->model().poll(10000);
    editor->model().poll(10200);
    ASSERT_FALSE(editor->model().saveBlinkVisible());
    const gui::Bitmap& dark = editor->renderOffscreen();
    long changed = 0, outside = 0;
    for (int y = 0; y < dark.height(); ++y)
        for (int x = 0; x < dark.width(); ++x) {
            const bool differs = dark.pixel(x, y) != lit.pixel(x, y);
            (save.contains(x, y) ? changed : outside) += differs ? 1 : 0;
        }
    EXPECT_GT(changed, 200);  // most of the button's 960 pixels
    EXPECT_EQ(outside, 0);
    click(312 + 10, 286 + 10);  // in the dark phase
    EXPECT_FALSE(editor->model().saveOn());
}

TEST_F(EditorSnapshot, NameEntryOverAUserSlot) {
    openEditor(false);
    editor->model().selectTab(4);
    click(25 + 150, 54 + 12 + 27 * 2 + 8, true);  // slot 14
    ASSERT_EQ(editor->model().editingSlot(), 14);
    expectSnapshot("name_entry.png");
}

TEST_F(EditorSnapshot, KeysTheHostForwardsEditANameOnlyWhileItIsEdited) {
    openEditor(false);
    // No entry open: the host keeps its keys.
    EXPECT_EQ(effect->dispatcher(effect, effEditKeyDown, 'a', 0, nullptr, 0.0f), 0);
    editor->model().selectTab(4);
    editor->view()->sync();
    click(25 + 20, 54 + 12 + 27 * 4 + 8, true);  // slot 4
    ASSERT_EQ(editor->model().editingSlot(), 4);
    for (int i = 0; i < 30; ++i) effect->dispatcher(effect, effEditKeyDown, 0, 1, nullptr, 0.0f);  // Backspace
    for (char c : std::string("Lead"))
        EXPECT_EQ(effect->dispatcher(effect, effEditKeyDown, c, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(effect->dispatcher(effect, effEditKeyDown, 0, 4, nullptr, 0.0f), 1);  // Return
    EXPECT_EQ(main->userProgramName(4), "Lead");
    EXPECT_EQ(editor->model().editingSlot(), -1);
    EXPECT_EQ(effect->dispatcher(effect, effEditKeyDown, 'b', 0, nullptr, 0.0f), 0);
}

TEST_F(EditorSnapshot, StandaloneHostShowsTheTempoEntry) {
    openEditor(true);
    main->projectTempo = 133.0f;
    editor->openOffscreen();
    expectSnapshot("standalone_tempo.png");
}

#ifndef _WIN32
TEST_F(EditorSnapshot, MainMenuWithTheMuteKeySubMenuOpen) {
    openEditor(false);
    click(338 + 10, 61 + 10);
    gui::View* overlay = editor->view()->frame().topOverlay();
    ASSERT_NE(overlay, nullptr);
    auto* menu = dynamic_cast<gui::PopupMenu*>(overlay);
    ASSERT_NE(menu, nullptr);
    const gui::Rect item = menu->panels()[0].itemRects[8];  // "Mute MIDI Key"
    gui::MouseEvent e;
    e.x = (item.left + item.right) / 2;
    e.y = (item.top + item.bottom) / 2;
    editor->view()->frame().mouseMove(e);
    ASSERT_EQ(menu->panels().size(), 2u);
    expectSnapshot("main_menu_mute_key.png");
    // Choosing a note there sets the mute key.
    const gui::Rect note = menu->panels()[1].itemRects[61];
    e.x = (note.left + note.right) / 2;
    e.y = (note.top + note.bottom) / 2;
    editor->view()->frame().mouseMove(e);
    e.buttons = platform::kMouseLeft;
    editor->view()->frame().mouseDown(e);
    editor->view()->frame().mouseUp(e);
    EXPECT_EQ(main->muteKey.load(), 61.0f);
    EXPECT_FALSE(editor->view()->frame().hasOverlay());
}

TEST_F(EditorSnapshot, SaveBankAsWithoutAFileDialogProgramAsksForTheName) {
    openEditor(false);
    // No zenity or kdialog on the path: the editor asks in a box of its own.
    const std::string path = getenv("PATH") != nullptr ? getenv("PATH") : "";
    setenv("PATH", config.c_str(), 1);
    editor->view()->menuChosen(main_menu::kSaveBankAs);
    setenv("PATH", path.c_str(), 1);
    auto* box = dynamic_cast<gui::PromptBox*>(editor->view()->frame().topOverlay());
    ASSERT_NE(box, nullptr);
    gui::Frame& frame = editor->view()->frame();
    frame.key(platform::EditKey::kEnd, 0, 0);
    while (!box->text().empty()) ASSERT_TRUE(frame.key(platform::EditKey::kBackspace, 0, 0));
    for (char c : (config / "mine.FXB").string()) frame.key(platform::EditKey::kNone, static_cast<char32_t>(c), 0);
    EXPECT_EQ(box->text(), (config / "mine.FXB").string());
    frame.key(platform::EditKey::kReturn, 0, 0);
    EXPECT_FALSE(frame.hasOverlay());
    EXPECT_EQ(fileBytesOf(config / "mine.FXB.fxb"), bankBytes());
}

TEST_F(EditorSnapshot, NewAsksBeforeErasingTheBank) {
    openEditor(false);
    const std::string factory = main->userProgramName(0);
    main->setUserProgramName(0, "Keep");
    editor->view()->menuChosen(main_menu::kNew);
    auto* box = dynamic_cast<gui::MessageBox*>(editor->view()->frame().topOverlay());
    ASSERT_NE(box, nullptr);
    expectSnapshot("new_bank_question.png");
    // No keeps the bank; Yes erases it.
    const gui::Rect no = box->buttonRects()[1];
    click((no.left + no.right) / 2, (no.top + no.bottom) / 2);
    EXPECT_EQ(main->userProgramName(0), "Keep");
    editor->view()->menuChosen(main_menu::kNew);
    box = dynamic_cast<gui::MessageBox*>(editor->view()->frame().topOverlay());
    ASSERT_NE(box, nullptr);
    const gui::Rect yes = box->buttonRects()[0];
    click((yes.left + yes.right) / 2, (yes.top + yes.bottom) / 2);
    EXPECT_EQ(main->userProgramName(0), factory);
}
#endif

TEST_F(EditorSnapshot, ClicksOnTheButtonsReachThePlugin) {
    openEditor(false);
    const bool play = main->playSwitch.load() != 0.0f;
    click(772 + 20, 367 + 10);
    EXPECT_EQ(main->playSwitch.load() != 0.0f, !play);
    click(339 + 10, 367 + 10);
    EXPECT_EQ(main->muteKeySwitch.load(), 1.0f);
    click(801 + 10, 213 + 10);
    EXPECT_TRUE(editor->model().soloOn());
    for (auto& t : main->project()->tracks) EXPECT_EQ(t->silencedBySolo.load(), 1.0f);
    // A single click on project 1 of tab 0 loads it.
    click(25 + 20, 54 + 12 + 27 + 5);
    EXPECT_EQ(main->currentProjectName(), main->projectNames()[1]);
}

}  // namespace
