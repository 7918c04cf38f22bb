// The page views of the right-hand panel (see RightPanel).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "editor/editor_skin.h"
#include "editor/right_panel_model.h"
#include "gui/font.h"
#include "gui/view.h"

class EditorModel;

namespace right_panel {
// The pages other than the satellite controls lie on a plain ground that
// hides the controls' labels of the background.
void drawPageGround(gui::Canvas& canvas);
// A short text centred in the page (what to do first).
void drawPageHint(gui::Canvas& canvas, const gui::Font& font, const std::string& text);
}  // namespace right_panel

// The header's two page names and the two tabs.
class RightPanelTabs : public gui::View {
public:
    RightPanelTabs(RightPanelModel& model, const EditorSkin& skin);
    void draw(gui::Canvas& canvas) override;
    bool onMouseDown(const gui::MouseEvent& e) override;
    std::function<void()> afterClick;

private:
    RightPanelModel& model_;
    const gui::Bitmap* params_;
    const gui::Bitmap* sounds_;
    gui::Font font_;
};

// The planets of the project, one row each.
class CKavoPlanetSelector : public gui::View {
public:
    CKavoPlanetSelector(RightPanelModel& model, EditorModel& editor, const EditorSkin& skin);
    void draw(gui::Canvas& canvas) override;
    bool hitTest(int x, int y) const override;
    bool onMouseDown(const gui::MouseEvent& e) override;
    std::function<void()> afterClick;

private:
    RightPanelModel& model_;
    EditorModel& editor_;
    const gui::Bitmap* selectedIcon_;
    const gui::Bitmap* icon_;
    const gui::Bitmap* highlight_;
    gui::Font nameFont_;
    gui::Font smallFont_;
};

// The sounds (programs) of the selected planet's module.
class CKavoSoundPresetSelector : public gui::View {
public:
    CKavoSoundPresetSelector(RightPanelModel& model, const EditorSkin& skin);
    void draw(gui::Canvas& canvas) override;
    bool hitTest(int x, int y) const override;
    bool onMouseDown(const gui::MouseEvent& e) override;
    bool onMouseWheel(const gui::MouseEvent& e, float steps) override;
    // Idle: draws again when the sound that plays changed.
    void idle();

private:
    RightPanelModel& model_;
    const gui::Bitmap* highlight_;
    gui::Font nameFont_;
    gui::Font smallFont_;
    int shownCurrent_ = -2;
};

// The selected planet, its satellites and the targets of the selected one
// with their live values.
class ParamsSheetView : public gui::View {
public:
    explicit ParamsSheetView(RightPanelModel& model);
    void draw(gui::Canvas& canvas) override;
    bool hitTest(int, int) const override { return false; }
    // Idle: reads the sheet again and draws it when anything changed.
    void idle();

private:
    RightPanelModel& model_;
    ParamsSheet sheet_;
    gui::Font titleFont_;
    gui::Font font_;
    gui::Font smallFont_;
};

// The satellite page's title line between Full range and the random
// selector, and its hint while no satellite is selected.
class SatelliteTitle : public gui::View {
public:
    SatelliteTitle();
    void show(const SatelliteControls& controls);
    void draw(gui::Canvas& canvas) override;
    bool hitTest(int, int) const override { return false; }

private:
    SatelliteControls controls_;
    gui::Font font_;
};
