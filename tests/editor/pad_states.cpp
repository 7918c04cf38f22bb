#include "tests/editor/pad_states.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_model.h"
#include "editor/pad_mapping.h"
#include "editor/planet_pad.h"
#include "gui/canvas.h"
#include "host/effect.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "tests/host/test_host_fixture.h"
#include "track/instrument.h"

namespace pad_states {

namespace {
const char* const kBallNames[3] = {"Cutoff", "Drive & Tone", "Echo"};
}  // namespace

void makeProbePlanets(Effect& effect, int n) {
    startEmpty(effect);
    for (int i = 0; i < n; ++i) {
        CInstrument& t = addProbeTrack(effect);
        t.title = "Planet " + std::to_string(i + 1);
        t.pan = -0.8f + 1.6f * static_cast<float>(i) / static_cast<float>(std::max(1, n - 1));
        t.planetLevel = static_cast<float>(20 + (i * 37) % 100);
        t.balls.padToDefaultCount();
        for (int b = 0; b < 3; ++b) {
            SoundBall& ball = t.balls.ball(b);
            ball.horizontal.emplace_back();
            if (b != 1) ball.vertical.emplace_back();
            std::strcpy(ball.displayName, kBallNames[b]);
            ball.x = static_cast<float>(30 + 30 * b);
            ball.y = static_cast<float>(100 - 25 * b);
        }
    }
}

bool loadSinglePlanetProject(Effect& effect) {
    for (const std::string& name : effect.projectNames()) {
        if (!effect.loadBuiltInProject(name)) return false;
        if (effect.project()->tracks.size() == 1 && countSatellites(*effect.project()->tracks[0]) >= 2) return true;
    }
    return false;
}

void glowProbePlanets(Effect& effect) {
    ProbeInstrument::outputLevel = 0.3f;
    std::vector<float> left, right;
    renderBlock(effect, 64, left, right);
    ProbeInstrument::outputLevel = 0.0f;
}

gui::Point planetCentre(Editor& editor, Effect& effect, int t) {
    const CInstrument& track = *effect.project()->tracks[static_cast<size_t>(t)];
    const gui::Point at =
        pad::pixelOf(pad::planetPlace(track.pan.load(), track.planetLevel.load(), editor.model().circularPad()));
    return gui::Point{kPadRect.left + at.x + pad::kPlanetSize / 2, kPadRect.top + at.y + pad::kPlanetSize / 2};
}

gui::Bitmap padPicture(Editor& editor) {
    gui::Bitmap window = editor.renderOffscreen();
    gui::Canvas canvas(window);
    return canvas.copyArea(gui::Rect{354, 4, 791, 445});
}

}  // namespace pad_states
