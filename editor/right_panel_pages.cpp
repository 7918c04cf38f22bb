#include "editor/right_panel_pages.h"

#include <algorithm>
#include <cstdio>

#include "editor/editor_model.h"
#include "gui/canvas.h"

using right_panel::Page;

namespace {
constexpr gui::Color kGround = gui::rgb(17, 19, 36);
constexpr gui::Color kGroundEdge = gui::rgb(52, 58, 96);
constexpr gui::Color kName = gui::rgb(206, 212, 240);
constexpr gui::Color kMarked = gui::rgb(255, 255, 255);
constexpr gui::Color kDim = gui::rgb(132, 142, 190);
constexpr gui::Color kHint = gui::rgb(150, 160, 205);
constexpr gui::Color kHeaderActive = gui::rgb(255, 255, 255);
constexpr gui::Color kHeaderPlain = gui::rgb(140, 150, 200);
constexpr gui::Color kValue = gui::rgb(150, 222, 255);
constexpr gui::Color kScrollTrack = gui::argb(90, 120, 130, 190);
constexpr gui::Color kScrollThumb = gui::rgb(150, 170, 230);

// Left edges inside a list row.
constexpr int kNumberRight = 855;
constexpr int kIconLeft = 858;
constexpr int kRowTextLeft = 859;
constexpr int kIconTextLeft = 880;
constexpr int kRowTextRight = 957;
constexpr int kScrollLeft = 962;
constexpr int kScrollWidth = 3;

int rowTop(int row) { return right_panel::kList.top + right_panel::kListFirstRow + row * right_panel::kRowPixels; }

}  // namespace

namespace right_panel {

void drawPageGround(gui::Canvas& canvas) {
    canvas.fillRoundRect(kPage, 5.0f, kGround);
    canvas.frameRoundRect(kPage, 5.0f, kGroundEdge, 1.0f);
}

void drawPageHint(gui::Canvas& canvas, const gui::Font& font, const std::string& text) {
    canvas.drawText(font, text, kPage, gui::Align::kCenter, kHint);
}

}  // namespace right_panel

// ---- header and tabs ----------------------------------------------------------

RightPanelTabs::RightPanelTabs(RightPanelModel& model, const EditorSkin& skin)
    : gui::View(right_panel::kHeader.united(right_panel::kTabs)),
      model_(model),
      params_(skin.get(skin::kParamsTab)),
      sounds_(skin.get(skin::kSoundsTab)),
      font_("Arial Narrow", 11) {}

void RightPanelTabs::draw(gui::Canvas& canvas) {
    const Page page = model_.page();
    const gui::Rect& tabs = right_panel::kTabs;
    const int w = right_panel::kTabWidth;
    // The header names the other two pages; the background writes
    // "SATELLITE" at its left, lit here while its page shows.
    if (page == Page::kSatellite) canvas.drawText(font_, "SATELLITE", 845, 118, kHeaderActive);
    const int planetsWidth = font_.textWidth("PLANETS");
    canvas.drawText(font_, "PLANETS", right_panel::kHeader.right - 10 - planetsWidth, 118,
                    page == Page::kPlanets ? kHeaderActive : kHeaderPlain);
    // A tab page shows its own bitmap; the other pages show both tabs
    // plain (the plain halves of the two bitmaps).
    if (page == Page::kParams) {
        canvas.drawBitmap(*params_, tabs.left, tabs.top);
    } else if (page == Page::kSounds) {
        canvas.drawBitmap(*sounds_, tabs.left, tabs.top);
    } else {
        canvas.drawBitmap(*sounds_, gui::Rect{0, 0, w, tabs.height()}, tabs.left, tabs.top);
        canvas.drawBitmap(*params_, gui::Rect{w, 0, 2 * w, tabs.height()}, tabs.left + w, tabs.top);
    }
}

bool RightPanelTabs::onMouseDown(const gui::MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    Page page;
    if (right_panel::pageAt(e.x, e.y, page)) {
        model_.showPage(page);
        invalidate();
        if (afterClick) afterClick();
    }
    return false;
}

// ---- planet list --------------------------------------------------------------

CKavoPlanetSelector::CKavoPlanetSelector(RightPanelModel& model, EditorModel& editor, const EditorSkin& skin)
    : gui::View(right_panel::kList),
      model_(model),
      editor_(editor),
      selectedIcon_(skin.get(skin::kPlanetListSelected)),
      icon_(skin.get(skin::kPlanetListIcon)),
      highlight_(skin.get(skin::kSelectedSound)),
      nameFont_("Arial Narrow", 13),
      smallFont_("Arial Narrow", 10) {}

bool CKavoPlanetSelector::hitTest(int x, int y) const {
    return gui::View::hitTest(x, y) && y >= rect().top + right_panel::kListFirstRow;
}

void CKavoPlanetSelector::draw(gui::Canvas& canvas) {
    right_panel::drawPageGround(canvas);
    const std::vector<PlanetRow> rows = model_.planets();
    if (rows.empty()) {
        right_panel::drawPageHint(canvas, nameFont_, "No planets");
        return;
    }
    const int selected = editor_.selectedPlanet();
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const int top = rowTop(i);
        const bool marked = i == selected;
        if (marked) canvas.drawBitmap(*highlight_, right_panel::kSoundRowLeft, top);
        char number[16];
        std::snprintf(number, sizeof(number), "%d", i + 1);
        canvas.drawText(smallFont_, number, gui::Rect{841, top, kNumberRight - 3, top + right_panel::kRowPixels},
                        gui::Align::kRight, kDim);
        const gui::Bitmap& icon = marked ? *selectedIcon_ : *icon_;
        canvas.drawBitmap(icon, kIconLeft, top + (right_panel::kRowPixels - icon.height()) / 2);
        const PlanetRow& row = rows[static_cast<size_t>(i)];
        canvas.drawText(nameFont_, row.name, gui::Rect{kIconTextLeft, top + 1, kRowTextRight, top + 15},
                        gui::Align::kLeft, marked ? kMarked : kName);
        canvas.drawText(smallFont_, row.module, gui::Rect{kIconTextLeft, top + 14, kRowTextRight, top + 26},
                        gui::Align::kLeft, kDim);
    }
}

bool CKavoPlanetSelector::onMouseDown(const gui::MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    const int row = right_panel::listRow(e.y - rect().top);
    if (model_.clickPlanetRow(row)) {
        invalidate();
        if (afterClick) afterClick();
    }
    return false;
}

// ---- sounds -------------------------------------------------------------------

CKavoSoundPresetSelector::CKavoSoundPresetSelector(RightPanelModel& model, const EditorSkin& skin)
    : gui::View(right_panel::kList),
      model_(model),
      highlight_(skin.get(skin::kSelectedSound)),
      nameFont_("Arial Narrow", 13),
      smallFont_("Arial Narrow", 10) {}

bool CKavoSoundPresetSelector::hitTest(int x, int y) const {
    return gui::View::hitTest(x, y) && y >= rect().top + right_panel::kListFirstRow;
}

void CKavoSoundPresetSelector::draw(gui::Canvas& canvas) {
    right_panel::drawPageGround(canvas);
    const std::vector<SoundEntry>& entries = model_.sounds();
    if (entries.empty()) {
        right_panel::drawPageHint(canvas, nameFont_, "Select a planet");
        return;
    }
    const int current = model_.currentSound();
    shownCurrent_ = current;
    const int first = model_.soundScroll();
    const int count = static_cast<int>(entries.size());
    for (int row = 0; row < right_panel::kVisibleRows && first + row < count; ++row) {
        const SoundEntry& entry = entries[static_cast<size_t>(first + row)];
        const int top = rowTop(row);
        const bool marked = entry.program == current;
        if (marked) canvas.drawBitmap(*highlight_, right_panel::kSoundRowLeft, top);
        char number[16];
        std::snprintf(number, sizeof(number), "%d", entry.program + 1);
        canvas.drawText(smallFont_, number, gui::Rect{841, top, kNumberRight - 2, top + right_panel::kRowPixels},
                        gui::Align::kRight, kDim);
        canvas.drawText(nameFont_, entry.name, gui::Rect{kRowTextLeft + 3, top, kRowTextRight, top + right_panel::kRowPixels},
                        gui::Align::kLeft, marked ? kMarked : (entry.init ? kDim : kName));
    }
    // Where the visible rows lie in a longer list.
    if (count > right_panel::kVisibleRows) {
        const int trackTop = rowTop(0) + 2;
        const int trackHeight = right_panel::kVisibleRows * right_panel::kRowPixels - 4;
        canvas.fillRect(gui::Rect::fromSize(kScrollLeft, trackTop, kScrollWidth, trackHeight), kScrollTrack);
        const int thumbHeight = std::max(6, trackHeight * right_panel::kVisibleRows / count);
        const int thumbTop = trackTop + (trackHeight - thumbHeight) * first / (count - right_panel::kVisibleRows);
        canvas.fillRect(gui::Rect::fromSize(kScrollLeft, thumbTop, kScrollWidth, thumbHeight), kScrollThumb);
    }
}

bool CKavoSoundPresetSelector::onMouseDown(const gui::MouseEvent& e) {
    if (!(e.buttons & platform::kMouseLeft)) return false;
    const int row = right_panel::listRow(e.y - rect().top);
    if (row < 0) return false;
    if (e.x >= kScrollLeft - 2) {
        // The scroll bar: a page up or down.
        const int middle = rowTop(right_panel::kVisibleRows / 2);
        model_.scrollSounds(e.y < middle ? -right_panel::kVisibleRows : right_panel::kVisibleRows);
        invalidate();
        return false;
    }
    model_.chooseSound(model_.soundScroll() + row);
    invalidate();
    return false;
}

bool CKavoSoundPresetSelector::onMouseWheel(const gui::MouseEvent&, float steps) {
    const int rows = steps > 0.0f ? -1 : (steps < 0.0f ? 1 : 0);
    model_.scrollSounds(rows);
    invalidate();
    return true;
}

void CKavoSoundPresetSelector::idle() {
    if (visible() && model_.currentSound() != shownCurrent_) invalidate();
}

// ---- params -------------------------------------------------------------------

ParamsSheetView::ParamsSheetView(RightPanelModel& model)
    : gui::View(right_panel::kPage),
      model_(model),
      titleFont_("Arial Narrow", 14),
      font_("Arial Narrow", 12),
      smallFont_("Arial Narrow", 11) {}

void ParamsSheetView::idle() {
    if (!visible()) return;
    ParamsSheet sheet = model_.params();
    if (sheet == sheet_) return;
    sheet_ = std::move(sheet);
    invalidate();
}

void ParamsSheetView::draw(gui::Canvas& canvas) {
    right_panel::drawPageGround(canvas);
    sheet_ = model_.params();
    if (!sheet_.planet) {
        right_panel::drawPageHint(canvas, font_, "Select a planet");
        return;
    }
    const gui::Rect page = right_panel::kPage;
    const int left = page.left + 6, right = page.right - 6;
    canvas.pushClip(page);
    canvas.drawText(titleFont_, sheet_.planetName, gui::Rect{left, page.top + 3, right, page.top + 19},
                    gui::Align::kLeft, kMarked);
    canvas.drawText(smallFont_, sheet_.moduleName, gui::Rect{left, page.top + 18, right, page.top + 31},
                    gui::Align::kLeft, kDim);
    int y = page.top + 36;
    constexpr int kLine = 14;
    for (int s = 0; s < static_cast<int>(sheet_.satellites.size()); ++s) {
        const bool selected = s == sheet_.selected;
        const std::string& name = sheet_.satellites[static_cast<size_t>(s)];
        if (selected)
            canvas.fillRoundRect(gui::Rect{page.left + 3, y, page.right - 3, y + kLine + 1}, 3.0f,
                                 gui::argb(150, 40, 110, 190));
        canvas.fillCircle(static_cast<float>(left) + 2.5f, static_cast<float>(y) + 7.5f, 2.0f,
                          selected ? kMarked : kDim);
        canvas.drawText(font_, name.empty() ? "-" : name, gui::Rect{left + 8, y, right, y + kLine + 1},
                        gui::Align::kLeft, selected ? kMarked : kName);
        y += kLine + 1;
        if (!selected) continue;
        for (const ParamsSheet::Target& t : sheet_.targets) {
            const gui::Rect line{left + 8, y, right, y + kLine};
            canvas.drawText(smallFont_, t.vertical ? "Y" : "X", gui::Rect{left, y, left + 8, y + kLine},
                            gui::Align::kLeft, kDim);
            const int valueWidth = std::min(smallFont_.textWidth(t.value), line.width() / 2);
            canvas.drawText(smallFont_, t.name, gui::Rect{line.left, y, line.right - valueWidth - 3, y + kLine},
                            gui::Align::kLeft, kName);
            canvas.drawText(smallFont_, t.value, gui::Rect{line.right - valueWidth, y, line.right, y + kLine},
                            gui::Align::kRight, kValue);
            y += kLine;
        }
        y += 2;
    }
    if (sheet_.selected < 0)
        canvas.drawText(smallFont_, "Select a satellite on the pad", gui::Rect{left, page.bottom - 20, right, page.bottom - 4},
                        gui::Align::kCenter, kHint);
    canvas.popClip();
}

// ---- satellite page title -----------------------------------------------------

SatelliteTitle::SatelliteTitle() : gui::View(right_panel::kPage), font_("Arial Narrow", 12) {}

void SatelliteTitle::show(const SatelliteControls& controls) {
    if (controls == controls_) return;
    const bool wholePage = controls.present != controls_.present;
    const bool title = controls.planet != controls_.planet || controls.name != controls_.name;
    controls_ = controls;
    if (wholePage)
        invalidate();
    else if (title && frame() != nullptr)
        frame()->invalidate(gui::Rect{right_panel::kPage.left, 172, right_panel::kPage.right, 188});
}

void SatelliteTitle::draw(gui::Canvas& canvas) {
    if (!controls_.present) {
        right_panel::drawPageGround(canvas);
        right_panel::drawPageHint(canvas, font_, "Select a satellite on the pad");
        return;
    }
    const std::string text = controls_.name.empty() ? controls_.planet : controls_.planet + " \xc2\xb7 " + controls_.name;
    canvas.drawText(font_, text, gui::Rect{right_panel::kPage.left + 4, 173, right_panel::kPage.right - 4, 187},
                    gui::Align::kCenter, kName);
}
