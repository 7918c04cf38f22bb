// The right-hand panel in the window: a header and two tabs that choose the
// page, and the pages themselves (planet list, satellite controls, the
// selected satellite's targets, the planet's sounds). Owns nothing: its
// views live in the editor's frame; this object binds them to the model.
#pragma once

#include "editor/editor_skin.h"
#include "editor/right_panel_model.h"
#include "gui/controls.h"
#include "gui/view.h"

class EditorModel;
class CKavoPushButtonEx;
class CKavoRandomSelector;
class CKavoSwitchFader;
class CKavoPlanetSelector;
class CKavoSoundPresetSelector;
class ParamsSheetView;
class RightPanelTabs;
class SatelliteTitle;

class RightPanel : public gui::ControlListener {
public:
    enum Tag { kTagFullRange = 101, kTagRandom, kTagFly, kTagFlySpeed, kTagFlyDirection };

    // Adds the panel's views to frame.
    RightPanel(gui::Frame& frame, EditorModel& editor, const EditorSkin& skin);
    ~RightPanel() override;

    RightPanelModel& model() { return model_; }
    // The pad's selection or the page changed: shows the right page with
    // the selected planet's and satellite's values.
    void sync();
    // Idle: values that move by themselves (a flying satellite's targets,
    // the sound a block has just switched to, switches the host or MIDI
    // changed) are drawn again when they changed.
    void idle();

    void valueChanged(gui::Control& control) override;

private:
    void showControls(const SatelliteControls& c);

    RightPanelModel model_;
    RightPanelTabs* tabs_ = nullptr;
    CKavoPlanetSelector* planets_ = nullptr;
    CKavoSoundPresetSelector* sounds_ = nullptr;
    ParamsSheetView* params_ = nullptr;
    SatelliteTitle* title_ = nullptr;
    CKavoPushButtonEx* fullRange_ = nullptr;
    CKavoRandomSelector* random_ = nullptr;
    CKavoPushButtonEx* fly_ = nullptr;
    CKavoSwitchFader* speed_ = nullptr;
    CKavoSwitchFader* direction_ = nullptr;
    SatelliteControls shown_;
};
