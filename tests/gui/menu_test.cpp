// In-window menus and message boxes: layout inside the window, columns,
// sub-menus on either side, choosing, dismissing, and their pictures.
#include <gtest/gtest.h>

#include "gui/menu.h"
#include "gui/snapshot.h"
#include "tests/gui/reference_scene.h"

namespace gui {
namespace {

using platform::kMouseLeft;

MouseEvent at(int x, int y, int buttons = kMouseLeft) { return MouseEvent{x, y, buttons, 0, false}; }

MenuItem item(const std::string& text, int id, bool checked = false, bool enabled = true) {
    MenuItem m;
    m.text = text;
    m.id = id;
    m.checked = checked;
    m.enabled = enabled;
    return m;
}
MenuItem separator() {
    MenuItem m;
    m.separator = true;
    return m;
}
MenuItem subMenu(const std::string& text, std::vector<MenuItem> items) {
    MenuItem m;
    m.text = text;
    m.subMenu = std::move(items);
    return m;
}

std::vector<MenuItem> noteItems(int breakEvery) {
    static const char* names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    std::vector<MenuItem> notes;
    for (int n = 0; n < 128; ++n) {
        notes.push_back(item(std::string(names[n % 12]) + std::to_string(n / 12 - 2), 1000 + n, n == 60));
        notes.back().columnBreakEvery = breakEvery;
    }
    return notes;
}

std::vector<MenuItem> mainMenu() {
    return {item("New", 1), separator(), item("Load Bank ...", 2), item("Save Bank As ...", 3),
            item("Save Default Bank when closing", 4, true), separator(),
            subMenu("Mute MIDI Key", noteItems(16)), item("Scope", 5, false), separator(),
            item("Version 1.1", 6, false, false)};
}

void expectInsideAndApart(const PopupMenu::Panel& p, const Rect& frame) {
    EXPECT_TRUE(frame.contains(p.rect));
    for (size_t i = 0; i < p.itemRects.size(); ++i) {
        EXPECT_TRUE(p.rect.contains(p.itemRects[i])) << i;
        for (size_t j = i + 1; j < p.itemRects.size(); ++j) ASSERT_FALSE(p.itemRects[i].intersects(p.itemRects[j]));
    }
}

TEST(PopupMenu, NoteMenuLaysOutInColumnsInsideTheWindow) {
    const Rect bounds{0, 0, 1000, 450};
    PopupMenu menu(bounds, {}, Point{0, 0}, nullptr);
    const std::vector<MenuItem> sixteen = noteItems(16);
    const PopupMenu::Panel p = menu.layoutPanel(sixteen, Point{600, 100}, 500);
    expectInsideAndApart(p, bounds);
    // Eight columns of sixteen: item 16 starts the second column at the top.
    EXPECT_EQ(p.itemRects[16].top, p.itemRects[0].top);
    EXPECT_EQ(p.itemRects[16].left, p.itemRects[0].right);
    EXPECT_EQ(p.itemRects[127].left, p.itemRects[0].left + 7 * p.itemRects[0].width());
    // Without breaks, the 128 items wrap into as many columns as the height needs.
    const std::vector<MenuItem> plain = noteItems(0);
    const PopupMenu::Panel q = menu.layoutPanel(plain, Point{10, 10}, -1);
    expectInsideAndApart(q, bounds);
    EXPECT_EQ(q.itemRects[27].left, q.itemRects[0].right);  // (450 − 6) / 16 = 27 rows
    EXPECT_EQ(q.itemRects[27].top, q.itemRects[0].top);
}

TEST(PopupMenu, ColumnBreaksSetOnTheSubMenuItemApplyToItsList) {
    // The editor's menu model (and the Windows menus) carry the break on the
    // item that holds the sub-menu, not on its notes.
    const Rect bounds{0, 0, 1000, 450};
    std::vector<MenuItem> items = mainMenu();
    items[6].subMenu = noteItems(0);
    items[6].columnBreakEvery = 12;
    Frame frame(1000, 450);
    auto* menu = static_cast<PopupMenu*>(
        frame.pushOverlay(std::make_unique<PopupMenu>(bounds, items, Point{338, 80}, nullptr)));
    const Rect muteKey = menu->panels()[0].itemRects[6];
    frame.mouseMove(at(muteKey.left + 5, muteKey.top + 3, 0));
    ASSERT_EQ(menu->panels().size(), 2u);
    const PopupMenu::Panel& notes = menu->panels()[1];
    expectInsideAndApart(notes, bounds);
    EXPECT_EQ(notes.itemRects[12].top, notes.itemRects[0].top);  // columns of twelve, not of 27
    EXPECT_EQ(notes.itemRects[12].left, notes.itemRects[0].right);
    EXPECT_EQ(notes.itemRects[127].left, notes.itemRects[0].left + 10 * notes.itemRects[0].width());
}

TEST(PopupMenu, SubMenuOpensBesideOnHoverAndOnTheLeftNearTheEdge) {
    const Rect bounds{0, 0, 1000, 450};
    int chosen = -2;
    Frame frame(1000, 450);
    auto* menu = static_cast<PopupMenu*>(
        frame.pushOverlay(std::make_unique<PopupMenu>(bounds, mainMenu(), Point{338, 80}, [&](int id) { chosen = id; })));
    ASSERT_EQ(menu->panels().size(), 1u);
    const Rect muteKey = menu->panels()[0].itemRects[6];
    frame.mouseMove(at(muteKey.left + 5, muteKey.top + 3, 0));
    ASSERT_EQ(menu->panels().size(), 2u);
    const PopupMenu::Panel& sub = menu->panels()[1];
    expectInsideAndApart(sub, bounds);
    EXPECT_GE(sub.rect.left, menu->panels()[0].rect.right - 2);
    // Choose note 61 (C#3) in the sub-menu.
    const Rect cSharp3 = sub.itemRects[61];
    frame.mouseMove(at(cSharp3.left + 4, cSharp3.top + 4, 0));
    ASSERT_EQ(menu->panels().size(), 2u);  // moving inside the sub-menu keeps it
    frame.mouseDown(at(cSharp3.left + 4, cSharp3.top + 4));
    EXPECT_EQ(chosen, -2);  // chosen on release
    frame.mouseUp(at(cSharp3.left + 4, cSharp3.top + 4));
    EXPECT_EQ(chosen, 1061);
    EXPECT_FALSE(frame.hasOverlay());

    // Opened near the right edge, the sub-menu goes to the left.
    PopupMenu right(bounds, mainMenu(), Point{900, 80}, nullptr);
    frame.pushOverlay(std::make_unique<PopupMenu>(bounds, mainMenu(), Point{900, 80}, nullptr));
    auto* rightMenu = static_cast<PopupMenu*>(frame.topOverlay());
    const Rect r = rightMenu->panels()[0].itemRects[6];
    frame.mouseMove(at(r.left + 5, r.top + 3, 0));
    ASSERT_EQ(rightMenu->panels().size(), 2u);
    EXPECT_LE(rightMenu->panels()[1].rect.right, rightMenu->panels()[0].rect.left + 2);
    expectInsideAndApart(rightMenu->panels()[1], bounds);
    // Hovering a plain item closes the sub-menu.
    const Rect scope = rightMenu->panels()[0].itemRects[7];
    frame.mouseMove(at(scope.left + 5, scope.top + 3, 0));
    EXPECT_EQ(rightMenu->panels().size(), 1u);
}

TEST(PopupMenu, DisabledItemsSeparatorsOutsideClicksAndEscape) {
    const Rect bounds{0, 0, 500, 300};
    Frame frame(500, 300);
    std::vector<int> chosen;
    auto open = [&] {
        return static_cast<PopupMenu*>(frame.pushOverlay(
            std::make_unique<PopupMenu>(bounds, mainMenu(), Point{20, 20}, [&](int id) { chosen.push_back(id); })));
    };
    PopupMenu* menu = open();
    const Rect version = menu->panels()[0].itemRects[9];
    const Rect sep = menu->panels()[0].itemRects[1];
    frame.mouseDown(at(version.left + 5, version.top + 5));
    frame.mouseUp(at(version.left + 5, version.top + 5));
    frame.mouseDown(at(sep.left + 5, sep.top + 3));
    frame.mouseUp(at(sep.left + 5, sep.top + 3));
    EXPECT_TRUE(chosen.empty());
    EXPECT_TRUE(frame.hasOverlay());
    frame.mouseDown(at(450, 280));  // outside: dismissed
    EXPECT_EQ(chosen, (std::vector<int>{-1}));
    EXPECT_FALSE(frame.hasOverlay());
    open();
    frame.key(EditKey::kEscape, 0, 0);
    EXPECT_EQ(chosen, (std::vector<int>{-1, -1}));
    EXPECT_FALSE(frame.hasOverlay());
}

TEST(MessageBox, AnswersFromButtonsAndKeys) {
    const Rect bounds{0, 0, 1000, 450};
    Frame frame(1000, 450);
    std::vector<int> answers;
    auto open = [&](MessageBox::Buttons b) {
        return static_cast<MessageBox*>(frame.pushOverlay(std::make_unique<MessageBox>(
            bounds, "Talvex", "This action will erase all user programs.\nDo you want to continue ?", b,
            [&](bool yes) { answers.push_back(yes); })));
    };
    MessageBox* box = open(MessageBox::Buttons::kYesNo);
    EXPECT_EQ(box->lines(), (std::vector<std::string>{"This action will erase all user programs.", "Do you want to continue ?"}));
    ASSERT_EQ(box->buttonRects().size(), 2u);
    EXPECT_TRUE(bounds.contains(box->boxRect()));
    // Centred in the window.
    EXPECT_NEAR(box->boxRect().left + box->boxRect().width() / 2, 500, 1);
    frame.mouseDown(at(10, 10));  // modal: nothing happens
    EXPECT_TRUE(answers.empty());
    const Rect no = box->buttonRects()[1];
    frame.mouseDown(at(no.left + 3, no.top + 3));
    EXPECT_EQ(answers, (std::vector<int>{0}));
    EXPECT_FALSE(frame.hasOverlay());
    box = open(MessageBox::Buttons::kYesNo);
    const Rect yes = box->buttonRects()[0];
    frame.mouseDown(at(yes.left + 3, yes.top + 3));
    open(MessageBox::Buttons::kOk);
    frame.key(EditKey::kReturn, 0, 0);
    open(MessageBox::Buttons::kYesNo);
    frame.key(EditKey::kEscape, 0, 0);
    EXPECT_EQ(answers, (std::vector<int>{0, 1, 1, 0}));
}

TEST(MessageBox, LongTextWrapsWithinTheWidth) {
    const Font font("Arial", 12);
    const std::string text =
        "The selected mode will be activated on the next reboot of the plugin.\n\nLe mode s\xC3\xA9lectionn\xC3\xA9 "
        "sera activ\xC3\xA9 lors du prochain red\xC3\xA9marrage du plugin.";
    const std::vector<std::string> lines = wrapText(font, text, 250);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0].substr(0, 4), "The ");
    bool blank = false;
    for (const std::string& l : lines) {
        EXPECT_LE(font.textWidth(l), 250) << l;
        blank |= l.empty();
    }
    EXPECT_TRUE(blank);  // the empty line between the two languages stays
    std::string joined;
    for (const std::string& l : lines) joined += l.empty() ? "|" : l + " ";
    EXPECT_NE(joined.find("reboot of the plugin."), std::string::npos);
}

TEST(PromptBox, TakesTheKeyboardAndAnswersWithTheText) {
    const Rect bounds{0, 0, 1000, 450};
    Frame frame(1000, 450);
    std::vector<bool> keyboard;
    frame.setFocusCallback([&](bool wanted) { keyboard.push_back(wanted); });
    std::vector<std::pair<bool, std::string>> answers;
    auto open = [&](const std::string& initial) {
        return static_cast<PromptBox*>(frame.pushOverlay(std::make_unique<PromptBox>(
            bounds, "Save Bank", "File name:", initial,
            [&](bool ok, const std::string& text) { answers.emplace_back(ok, text); })));
    };
    PromptBox* box = open("/home/user/bank");
    EXPECT_EQ(keyboard, (std::vector<bool>{true}));
    EXPECT_TRUE(bounds.contains(box->boxRect()));
    EXPECT_TRUE(box->boxRect().contains(box->entryRect()));
    for (char32_t c : U".fxb") frame.key(EditKey::kNone, c, 0);
    frame.key(EditKey::kReturn, 0, 0);
    EXPECT_EQ(keyboard, (std::vector<bool>{true, false}));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], std::make_pair(true, std::string("/home/user/bank.fxb")));
    EXPECT_FALSE(frame.hasOverlay());

    box = open("x");
    frame.key(EditKey::kBackspace, 0, 0);
    frame.key(EditKey::kNone, U'y', 0);
    const Rect cancel = box->buttonRects()[1];
    frame.mouseDown(at(cancel.left + 2, cancel.top + 2));
    box = open("abc");
    frame.mouseDown(at(box->entryRect().left + 4, box->entryRect().top + 5));  // caret to the start
    frame.key(EditKey::kNone, U'_', 0);
    const Rect ok = box->buttonRects()[0];
    frame.mouseDown(at(ok.left + 2, ok.top + 2));
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[1], std::make_pair(false, std::string("y")));
    EXPECT_EQ(answers[2], std::make_pair(true, std::string("_abc")));
    EXPECT_EQ(keyboard.back(), false);
}

TEST(Snapshot, MenuWithOpenSubMenuAndQuestionBox) {
    SnapshotResult r = matchSnapshot(guitest::drawMenuScene(), TALVEX_GUI_REFERENCE_DIR "/menu_open.png");
    EXPECT_TRUE(r.matched) << r.report;
    r = matchSnapshot(guitest::drawQuestionScene(), TALVEX_GUI_REFERENCE_DIR "/question_box.png");
    EXPECT_TRUE(r.matched) << r.report;
    r = matchSnapshot(guitest::drawPromptScene(), TALVEX_GUI_REFERENCE_DIR "/prompt_box.png");
    EXPECT_TRUE(r.matched) << r.report;
}

}  // namespace
}  // namespace gui
