#include "tests/editor/right_panel_states.h"

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/right_panel_layout.h"
#include "editor/right_panel_view.h"
#include "gui/canvas.h"
#include "host/effect.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "track/instrument.h"

namespace right_panel_states {

namespace {

// Tab and header places.
constexpr int kParamsTabX = 841 + 20, kSoundsTabX = 841 + 66 + 20, kTabY = 138;
constexpr int kPlanetsX = 950, kHeaderY = 114;

}  // namespace

int firstSatelliteOf(Effect& effect, int track) {
    Project& project = *effect.project();
    for (int s = 0; s < kProgramSatellites; ++s) {
        SatelliteRef ref;
        if (!findSatellite(project, s, ref)) break;
        if (ref.track == project.tracks[static_cast<size_t>(track)].get()) return s;
    }
    return -1;
}

SoundBall* ballOf(Effect& effect, int satellite) {
    SatelliteRef ref;
    if (!findSatellite(*effect.project(), satellite, ref)) return nullptr;
    return &ref.track->balls.ball(ref.ball);
}

int count() { return 5; }

void click(Editor& editor, int x, int y) {
    gui::MouseEvent e;
    e.x = x;
    e.y = y;
    e.buttons = platform::kMouseLeft;
    editor.view()->frame().mouseDown(e);
    editor.view()->frame().mouseUp(e);
    editor.view()->sync();
}

std::string make(Editor& editor, Effect& effect, int i) {
    EditorModel& model = editor.model();
    RightPanelModel& panel = editor.view()->rightPanel().model();
    const int satellite = firstSatelliteOf(effect, 0);
    SoundBall* ball = satellite >= 0 ? ballOf(effect, satellite) : nullptr;
    model.selectSatellite(-1);
    model.selectPlanet(-1);
    editor.view()->sync();
    click(editor, kPlanetsX, kHeaderY);
    switch (i) {
        case 0:
            // The second planet chosen in the list.
            click(editor, 900, right_panel::kList.top + right_panel::kListFirstRow + right_panel::kRowPixels + 10);
            return "right_planets.png";
        case 1:
        case 2:
            model.selectPlanet(0);
            model.selectSatellite(satellite);
            editor.view()->sync();
            if (ball != nullptr) {
                const bool moving = i == 1;  // flying and jumping
                ball->fullRange = moving ? 1.0f : 0.0f;
                ball->flyOn = moving ? 1.0f : 0.0f;
                ball->randomRate = moving ? 3.0f : 0.0f;
                ball->flySpeed = 0.35f;
                ball->flyDirection = 0.5f;
            }
            panel.showPage(right_panel::Page::kSatellite);
            editor.view()->sync();
            return i == 1 ? "right_satellite.png" : "right_satellite_still.png";
        case 3:
            model.selectPlanet(0);
            model.selectSatellite(satellite);
            editor.view()->sync();
            click(editor, kParamsTabX, kTabY);
            return "right_params.png";
        default:
            model.selectPlanet(0);
            editor.view()->sync();
            click(editor, kSoundsTabX, kTabY);
            return "right_sounds.png";
    }
}

gui::Bitmap picture(Editor& editor) {
    gui::Bitmap& whole = const_cast<gui::Bitmap&>(editor.renderOffscreen());
    gui::Canvas canvas(whole);
    return canvas.copyArea(right_panel::kPanel);
}

}  // namespace right_panel_states
