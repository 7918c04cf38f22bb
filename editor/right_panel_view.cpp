#include "editor/right_panel_view.h"

#include <string>

#include "editor/editor_model.h"
#include "editor/right_panel_controls.h"
#include "editor/right_panel_pages.h"

using right_panel::Page;

namespace {
std::string speedText(float v) { return std::to_string(right_panel::speedPercent(v)) + " %"; }
std::string directionText(float v) { return std::to_string(right_panel::directionDegrees(v)) + "\xc2\xb0"; }
}  // namespace

RightPanel::RightPanel(gui::Frame& frame, EditorModel& editor, const EditorSkin& skin)
    : model_(editor) {
    tabs_ = frame.make<RightPanelTabs>(model_, skin);
    tabs_->afterClick = [this] { sync(); };
    planets_ = frame.make<CKavoPlanetSelector>(model_, editor, skin);
    planets_->afterClick = [this] { sync(); };
    sounds_ = frame.make<CKavoSoundPresetSelector>(model_, skin);
    params_ = frame.make<ParamsSheetView>(model_);
    title_ = frame.make<SatelliteTitle>();
    fullRange_ = frame.make<CKavoPushButtonEx>(right_panel::kFullRangeAt, skin.get(skin::kFullRange), this,
                                               kTagFullRange);
    random_ = frame.make<CKavoRandomSelector>(right_panel::kRandomAt, skin.get(skin::kRandomSelector), this, kTagRandom);
    fly_ = frame.make<CKavoPushButtonEx>(right_panel::kFlyAt, skin.get(skin::kFly), this, kTagFly);
    speed_ = frame.make<CKavoSwitchFader>(right_panel::kSpeedFader, this, kTagFlySpeed, speedText);
    direction_ = frame.make<CKavoSwitchFader>(right_panel::kDirectionFader, this, kTagFlyDirection, directionText);
    sync();
}

RightPanel::~RightPanel() = default;

void RightPanel::sync() {
    model_.selectionChanged();
    const Page page = model_.page();
    tabs_->invalidate();
    planets_->setVisible(page == Page::kPlanets);
    sounds_->setVisible(page == Page::kSounds);
    params_->setVisible(page == Page::kParams);
    title_->setVisible(page == Page::kSatellite);
    planets_->invalidate();
    sounds_->invalidate();
    params_->invalidate();
    shown_ = model_.satellite();
    showControls(shown_);
}

void RightPanel::showControls(const SatelliteControls& c) {
    const bool controls = model_.page() == Page::kSatellite && c.present;
    title_->show(c);
    fullRange_->setVisible(controls);
    random_->setVisible(controls);
    fly_->setVisible(controls);
    speed_->setVisible(controls);
    direction_->setVisible(controls);
    fullRange_->setValue(c.fullRange ? 1.0f : 0.0f);
    fly_->setValue(c.fly ? 1.0f : 0.0f);
    random_->setValue(c.randomRate);
    // The faders are shown disabled while the satellite does not fly.
    speed_->setEnabled(c.fly);
    direction_->setEnabled(c.fly);
    speed_->setValue(c.flySpeed);
    direction_->setValue(c.flyDirection);
}

void RightPanel::idle() {
    const Page page = model_.page();
    if (page == Page::kParams) params_->idle();
    if (page == Page::kSounds) sounds_->idle();
    if (page == Page::kSatellite) {
        const SatelliteControls c = model_.satellite();
        if (!(c == shown_)) {
            shown_ = c;
            showControls(c);
        }
    }
}

void RightPanel::valueChanged(gui::Control& control) {
    switch (control.tag()) {
        case kTagFullRange: model_.toggleFullRange(); break;
        case kTagFly: model_.toggleFly(); break;
        case kTagRandom: model_.clickRandomCell(random_->clickedCell()); break;
        case kTagFlySpeed: model_.setFlySpeed(control.value()); break;
        case kTagFlyDirection: model_.setFlyDirection(control.value()); break;
        default: return;
    }
    // The controls show what the satellite holds now.
    shown_ = model_.satellite();
    showControls(shown_);
}
