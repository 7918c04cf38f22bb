// The Windows builds' check of the editor's pictures, run under wine by
// tests/windows/smoke.sh: the plug-in's editor, drawn offscreen with the
// DLL-style resources (skin, fonts, projects), must give the same bytes as
// the references the native snapshot test compares against. The in-window
// menu and question box are Linux's own (Windows shows native ones) and are
// not drawn here.
//   editor_check REFERENCE_DIR
#include <cstdio>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/main_menu.h"
#include "editor/planet_pad.h"
#include "tests/editor/pad_states.h"
#include "tests/editor/right_panel_states.h"
#include "tests/host/test_host_fixture.h"
#include "gui/canvas.h"
#include "gui/exact_math.h"
#include "gui/snapshot.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "track/instrument.h"
#include "host/effect.h"
#include "host/standalone_host.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

int failures = 0;
bool standalone = false;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion) return standalone ? kStandaloneHostVersion : 2400;
    return 0;
}

void check(Editor& editor, const std::string& path) {
    const gui::SnapshotResult r = gui::matchSnapshot(editor.renderOffscreen(), path, gui::SnapshotMode::kCompareOnly);
    std::printf("%s %s%s%s\n", r.matched ? "same" : "DIFFERENT", path.c_str(), r.report.empty() ? "" : ": ",
                r.report.c_str());
    if (!r.matched) ++failures;
}

// The pad and its porthole, as the native pad pictures cut them out.
void checkPad(Editor& editor, const std::string& path) {
    const gui::SnapshotResult r =
        gui::matchSnapshot(pad_states::padPicture(editor), path, gui::SnapshotMode::kCompareOnly);
    std::printf("%s %s%s%s\n", r.matched ? "same" : "DIFFERENT", path.c_str(), r.report.empty() ? "" : ": ",
                r.report.c_str());
    if (!r.matched) ++failures;
}

void click(Editor& editor, int x, int y, bool doubleClick = false) {
    gui::MouseEvent e;
    e.x = x;
    e.y = y;
    e.buttons = platform::kMouseLeft;
    e.doubleClick = doubleClick;
    editor.view()->frame().mouseDown(e);
    editor.view()->frame().mouseUp(e);
    editor.view()->sync();
}

// The native pad pictures of the built-in single-planet project.
void drawPadStates(Effect& main, Editor& editor, const std::string& references) {
    if (!pad_states::loadSinglePlanetProject(main)) {
        std::printf("FAIL: no single-planet project\n");
        ++failures;
        return;
    }
    main.roundPad = true;
    editor.openOffscreen();
    editor.model().selectPlanet(0);
    editor.model().selectSatellite(1);
    checkPad(editor, references + "/pad_one_planet_selected.png");
    // Each picture starts as a fresh editor would: nothing selected.
    auto reopen = [&editor] {
        editor.closeOffscreen();
        editor.model().selectPlanet(-1);
        editor.model().setKeyStripOpen(false);
        editor.openOffscreen();
    };
    reopen();
    main.project()->tracks[0]->keyTransposition = 5.0f;
    editor.model().selectPlanet(0);
    editor.model().setKeyStripOpen(true);
    checkPad(editor, references + "/pad_key_strip.png");
    reopen();
    if (!editor.model().scopeOn()) editor.model().menuCommand(main_menu::kScope);
    std::vector<float> left(2000), right(2000);
    for (size_t i = 0; i < left.size(); ++i) {
        const double t = static_cast<double>(i);
        left[i] = static_cast<float>(0.5 * gui::exactSin(t * 2.0 * gui::kPi / 347.0));
        right[i] = static_cast<float>(1.5 * gui::exactSin(t * 2.0 * gui::kPi / 1389.0));
    }
    editor.model().mirror().scope.write(left.data(), right.data(), static_cast<int>(left.size()));
    checkPad(editor, references + "/pad_scope_two_traces.png");
    editor.view()->pad().setSingleTrace(true);
    checkPad(editor, references + "/pad_scope_average.png");
    editor.model().menuCommand(main_menu::kScope);
    editor.closeOffscreen();
}

// The native pictures of four and eight probe planets, each from a fresh
// instance as the native test makes them; the test host gives the time
// information the glowing planets' block needs.
void drawProbePlanetStates(const std::string& references) {
    for (const int planets : {4, 8}) {
        TestHost host;
        AEffect* effect = VSTPluginMain(TestHost::callback);
        if (effect == nullptr) {
            std::printf("FAIL: no plug-in\n");
            ++failures;
            return;
        }
        auto* main = static_cast<Effect*>(static_cast<AudioEffect*>(effect->object));
        pad_states::makeProbePlanets(*main, planets);
        main->roundPad = planets == 8;
        auto* editor = static_cast<Editor*>(main->getEditor());
        editor->openOffscreen();
        if (planets == 4) {
            checkPad(*editor, references + "/pad_four_planets.png");
        } else {
            pad_states::glowProbePlanets(*main);
            const gui::Point centre = pad_states::planetCentre(*editor, *main, 5);
            click(*editor, centre.x, centre.y);
            editor->view()->pad().setNamesShown(true);
            checkPad(*editor, references + "/pad_eight_planets_names.png");
        }
        editor->closeOffscreen();
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
}

// The states of the native snapshot test, made the same way.
void drawStates(const std::string& references, bool asStandalone) {
    standalone = asStandalone;
    AEffect* effect = VSTPluginMain(hostCallback);
    if (effect == nullptr) {
        std::printf("FAIL: no plug-in\n");
        ++failures;
        return;
    }
    auto* main = static_cast<Effect*>(static_cast<AudioEffect*>(effect->object));
    // A bank left in this prefix's registry by an earlier run would change
    // the names shown: start from the empty one.
    main->resetUserBank();
    // Likewise the oscilloscope, which another test may have switched on.
    main->settings().scopeOn = false;
    main->changeProgram(0, true, true);
    auto* editor = static_cast<Editor*>(main->getEditor());
    if (asStandalone) {
        // The tab the previous run left in this prefix's registry.
        main->settings().bankSelected = 0;
        main->projectTempo = 133.0f;
        editor->openOffscreen();
        check(*editor, references + "/standalone_tempo.png");
    } else {
        editor->openOffscreen();
        for (int tab = 0; tab < 5; ++tab) {
            click(*editor, 25 + 270, 54 + 66 + 44 * tab + 20);
            check(*editor, references + "/tab_" + std::to_string(tab) + ".png");
        }
        editor->closeOffscreen();
        editor->openOffscreen();
        editor->model().selectTab(4);
        editor->view()->sync();
        click(*editor, 312 + 10, 286 + 10);
        check(*editor, references + "/save_mode.png");
        editor->closeOffscreen();
        editor->model().setSave(false);
        editor->openOffscreen();
        editor->model().selectTab(4);
        editor->view()->sync();
        click(*editor, 25 + 150, 54 + 12 + 27 * 2 + 8, true);
        check(*editor, references + "/name_entry.png");
        // The right-hand panel's pages, as the native test makes them.
        editor->closeOffscreen();
        editor->openOffscreen();
        for (int i = 0; i < right_panel_states::count(); ++i) {
            const std::string path = references + "/" + right_panel_states::make(*editor, *main, i);
            const gui::SnapshotResult r =
                gui::matchSnapshot(right_panel_states::picture(*editor), path, gui::SnapshotMode::kCompareOnly);
            std::printf("%s %s%s%s\n", r.matched ? "same" : "DIFFERENT", path.c_str(), r.report.empty() ? "" : ": ",
                        r.report.c_str());
            if (!r.matched) ++failures;
        }
    }
    editor->closeOffscreen();
    if (!asStandalone) drawPadStates(*main, *editor, references);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: editor_check REFERENCE_DIR\n");
        return 2;
    }
    drawStates(argv[1], false);
    drawStates(argv[1], true);
    drawProbePlanetStates(argv[1]);
    std::printf("%s: %d picture(s) differ\n", failures == 0 ? "OK" : "FAIL", failures);
    return failures == 0 ? 0 : 1;
}
