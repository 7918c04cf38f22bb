// The planet pad inside the real plug-in, driven through the editor's frame
// as a window would drive it: drags and what the plug-in and the host
// receive, the selection rules, the key strip, the names flag, the scope's
// feed, and pictures of the pad compared byte for byte with references.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_view.h"
#include "editor/main_menu.h"
#include "editor/pad_mapping.h"
#include "editor/planet_pad.h"
#include "gui/canvas.h"
#include "gui/exact_math.h"
#include "gui/snapshot.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "tests/editor/pad_states.h"
#include "tests/editor/recording_host.h"
#include "track/instrument.h"

namespace {

// Two sines of different periods and sizes, the right one louder than the
// envelope lets through; exact arithmetic, so every build draws the same.
void scopeTestSignal(std::vector<float>& left, std::vector<float>& right) {
    left.resize(2000);
    right.resize(2000);
    for (size_t i = 0; i < left.size(); ++i) {
        const double t = static_cast<double>(i);
        left[i] = static_cast<float>(0.5 * gui::exactSin(t * 2.0 * gui::kPi / 347.0));
        right[i] = static_cast<float>(1.5 * gui::exactSin(t * 2.0 * gui::kPi / 1389.0));
    }
}

class PlanetPad : public EditorTest {
protected:
    // The plug-in with a project of n probe planets.
    void startWithPlanets(int n, bool circular) {
        startPlugin(false);
        pad_states::makeProbePlanets(*main, n);
        openEditor(circular);
    }
    // The first built-in project with a single planet and at least two
    // satellites, in the default circular mode.
    void startWithOneBuiltInPlanet() {
        startPlugin(false);
        ASSERT_TRUE(pad_states::loadSinglePlanetProject(*main));
        openEditor(true);
    }
    void openEditor(bool circular) {
        main->roundPad = circular;
        editor = static_cast<Editor*>(main->getEditor());
        ASSERT_NE(editor, nullptr);
        editor->openOffscreen();
        hostCalls.clear();
    }
    EditorModel& model() { return editor->model(); }
    CKavoPlanetPad& pad() { return editor->view()->pad(); }
    gui::Frame& frame() { return editor->view()->frame(); }
    CInstrument& track(int t) { return *main->project()->tracks[static_cast<size_t>(t)]; }

    // Window pixel of a planet's or satellite's centre.
    gui::Point planetCentre(int t) { return pad_states::planetCentre(*editor, *main, t); }
    gui::Point satelliteCentre(int s) {
        SatelliteRef ref;
        EXPECT_TRUE(findSatellite(*main->project(), s, ref));
        const SoundBall& b = ref.track->balls.ball(ref.ball);
        const gui::Point at = pad::pixelOf(pad::satellitePlace(b.x.load(), b.y.load(), !b.horizontal.empty(),
                                                               !b.vertical.empty(), model().circularPad()));
        return gui::Point{kPadRect.left + at.x + pad::kSatelliteSize / 2,
                          kPadRect.top + at.y + pad::kSatelliteSize / 2};
    }

    gui::MouseEvent event(gui::Point p, int buttons = platform::kMouseLeft, bool doubleClick = false) {
        gui::MouseEvent e;
        e.x = p.x;
        e.y = p.y;
        e.buttons = buttons;
        e.doubleClick = doubleClick;
        return e;
    }
    void press(gui::Point p, bool doubleClick = false) { frame().mouseDown(event(p, platform::kMouseLeft, doubleClick)); }
    void moveTo(gui::Point p) { frame().mouseMove(event(p)); }
    void hover(gui::Point p) { frame().mouseMove(event(p, 0)); }
    void release(gui::Point p) {
        frame().mouseUp(event(p));
        editor->view()->sync();
    }
    void click(gui::Point p, bool doubleClick = false) {
        press(p, doubleClick);
        release(p);
    }
    void drag(gui::Point from, gui::Point to) {
        press(from);
        moveTo(gui::Point{(from.x + to.x) / 2, (from.y + to.y) / 2});
        moveTo(to);
        release(to);
    }
    // The last automation the host received for a parameter.
    float lastAutomation(int parameter) {
        for (auto it = hostCalls.rbegin(); it != hostCalls.rend(); ++it)
            if (it->opcode == audioMasterAutomate && it->index == parameter) return it->value;
        ADD_FAILURE() << "no automation of " << parameter;
        return -1.0f;
    }

    // The pad and its porthole, cut out of the whole window, against a
    // reference: the panels beside it do not take part.
    void expectPadSnapshot(const std::string& name) {
        const gui::SnapshotResult r = gui::matchSnapshot(pad_states::padPicture(*editor),
                                                         std::string(TALVEX_EDITOR_REFERENCE_DIR) + "/" + name);
        EXPECT_TRUE(r.matched || r.updated) << name << ": " << r.report;
    }

    Editor* editor = nullptr;
};

TEST_F(PlanetPad, APlanetDraggedFollowsThePointerAndTheHostRecordsOneGesture) {
    for (bool circular : {false, true}) {
        startWithPlanets(4, circular);
        const float pan = track(2).pan.load(), level = track(2).planetLevel.load();
        const gui::Point from = planetCentre(2);
        const gui::Point to{from.x + 30, from.y - 25};
        drag(from, to);
        EXPECT_EQ(model().selectedPlanet(), 2);
        EXPECT_NEAR(track(2).pan.load(), pan + 2.0f * 30.0f / 357.0f, 1e-5);
        EXPECT_NEAR(track(2).planetLevel.load(), level + 127.0f * 25.0f / 357.0f, 1e-4);
        // The sprite is under the pointer again, within 1 pixel per 128.
        const gui::Point now = planetCentre(2);
        EXPECT_NEAR(now.x, to.x, 1 + 30 / 128);
        EXPECT_NEAR(now.y, to.y, 1 + 25 / 128);
        // Begin both, automation of both at the press and every move, end both.
        ASSERT_GE(hostCalls.size(), 10u);
        EXPECT_EQ(hostCalls[0], (HostCall{audioMasterBeginEdit, 68, 0.0f}));
        EXPECT_EQ(hostCalls[1], (HostCall{audioMasterBeginEdit, 69, 0.0f}));
        EXPECT_EQ(hostCalls[hostCalls.size() - 2], (HostCall{audioMasterEndEdit, 68, 0.0f}));
        EXPECT_EQ(hostCalls.back(), (HostCall{audioMasterEndEdit, 69, 0.0f}));
        const long automations = std::count_if(hostCalls.begin(), hostCalls.end(),
                                               [](const HostCall& c) { return c.opcode == audioMasterAutomate; });
        EXPECT_EQ(automations, 6);  // press and two moves, two parameters each
        EXPECT_FLOAT_EQ(lastAutomation(68), (track(2).pan.load() + 1.0f) / 2.0f);
        EXPECT_EQ(lastAutomation(69), track(2).planetLevel.load() / 128.0f);
        // The current program holds the new values.
        const ProgramRecord& record = main->programRecords()[static_cast<size_t>(main->getProgram())];
        EXPECT_EQ(record.trackLevel[2], track(2).planetLevel.load());
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        effect = nullptr;
    }
}

TEST_F(PlanetPad, APlanetDraggedFarRightStopsAtPanOneAndTheHostReadsOne) {
    startWithPlanets(4, false);
    const gui::Point from = planetCentre(1);
    drag(from, gui::Point{from.x + 5000, from.y + 5000});
    EXPECT_EQ(track(1).pan.load(), 1.0f);
    EXPECT_EQ(track(1).planetLevel.load(), 0.0f);
    EXPECT_EQ(lastAutomation(66), 1.0f);
    EXPECT_EQ(lastAutomation(67), 0.0f);
    EXPECT_EQ(main->getParameter(66), 1.0f);
}

TEST_F(PlanetPad, ASatelliteDraggedUpPastTheEdgeStopsAt127) {
    startWithPlanets(4, false);
    click(planetCentre(1));
    ASSERT_EQ(model().selectedPlanet(), 1);
    hostCalls.clear();
    // Planet 1's satellites are numbers 3, 4 and 5 of the project.
    const gui::Point from = satelliteCentre(3);
    drag(from, gui::Point{from.x - 20, from.y - 1000});
    EXPECT_EQ(model().selectedSatellite(), 3);
    const SoundBall& ball = track(1).balls.ball(0);
    EXPECT_EQ(ball.y.load(), 127.0f);
    EXPECT_NEAR(ball.x.load(), 30.0f - 127.0f * 20.0f / 381.0f, 1e-4);
    EXPECT_EQ(lastAutomation(7), 127.0f / 128.0f);
    EXPECT_EQ(main->getParameter(7), 127.0f / 128.0f);
    EXPECT_EQ(hostCalls.front(), (HostCall{audioMasterBeginEdit, 6, 0.0f}));
    EXPECT_EQ(hostCalls.back(), (HostCall{audioMasterEndEdit, 7, 0.0f}));
    const ProgramRecord& record = main->programRecords()[static_cast<size_t>(main->getProgram())];
    EXPECT_EQ(record.satellites[3][1], 127.0f);
    EXPECT_EQ(record.satellites[3][0], ball.x.load());
}

TEST_F(PlanetPad, TheLabelBelowASatelliteTakesPressesAndTheSatelliteWinsOverPlanets) {
    startWithPlanets(1, false);
    click(planetCentre(0));
    // Satellite 1 has no vertical targets: it sits half-way up.
    const gui::Point s1 = satelliteCentre(1);
    const gui::Point label{s1.x, s1.y + pad::kSatelliteSize / 2 + pad::kLabelHeight - 1};
    press(label);
    EXPECT_EQ(pad().draggedSatellite(), 1);
    release(label);
    // Put the planet under satellite 2: the satellite still wins.
    track(0).pan = 0.0f;
    track(0).planetLevel = 64.0f;
    SoundBall& b2 = track(0).balls.ball(2);
    b2.x = 64.0f;
    b2.y = 64.0f;
    press(satelliteCentre(2));
    EXPECT_EQ(pad().draggedSatellite(), 2);
    EXPECT_EQ(pad().draggedPlanet(), -1);
    release(satelliteCentre(2));
}

TEST_F(PlanetPad, AProgramChangeDuringADragEndsTheGesture) {
    startWithPlanets(4, false);
    const gui::Point from = planetCentre(1);
    press(from);
    moveTo(gui::Point{from.x + 10, from.y});
    ASSERT_EQ(pad().draggedPlanet(), 1);
    model().clickEntry(1);  // another project, as the timer or the list loads it
    ASSERT_EQ(model().selectedPlanet(), -1);
    hostCalls.clear();
    moveTo(gui::Point{from.x + 60, from.y});
    release(gui::Point{from.x + 60, from.y});
    const std::vector<HostCall> ended = {{audioMasterEndEdit, 66, 0.0f}, {audioMasterEndEdit, 67, 0.0f}};
    EXPECT_EQ(hostCalls, ended);
    EXPECT_EQ(pad().draggedPlanet(), -1);
}

TEST_F(PlanetPad, AClickOnNothingLeavesTheSelection) {
    startWithPlanets(4, false);
    click(planetCentre(3));
    ASSERT_EQ(model().selectedPlanet(), 3);
    hostCalls.clear();
    click(gui::Point{kPadRect.left + 200, kPadRect.top + 5});
    EXPECT_EQ(model().selectedPlanet(), 3);
    EXPECT_TRUE(hostCalls.empty());
    // A press where two planets overlap takes the selected one.
    track(0).pan = track(3).pan.load();
    track(0).planetLevel = track(3).planetLevel.load();
    press(planetCentre(3));
    EXPECT_EQ(pad().draggedPlanet(), 3);
    release(planetCentre(3));
    model().selectPlanet(-1);
    press(planetCentre(3));
    EXPECT_EQ(pad().draggedPlanet(), 3);  // the last found
    release(planetCentre(3));
}

TEST_F(PlanetPad, TheKeyStripOpensSetsThePitchClassAndTheOctave) {
    startWithPlanets(1, false);
    track(0).planetLevel = 127.0f;  // out of the strip's way
    click(planetCentre(0));
    ASSERT_EQ(model().selectedPlanet(), 0);
    ASSERT_EQ(track(0).keyTransposition.load(), pad::kNotFollowing);
    const int left = kPadRect.left + pad::kKeyStrip.left;
    const int top = kPadRect.top + pad::kKeyStrip.top;
    click(gui::Point{left + 100, top + 2});
    ASSERT_TRUE(model().keyStripOpen());
    // Keys are 5 pixels lower than the strip's rectangle.
    click(gui::Point{left + 45, top + 5 + 10});  // D
    EXPECT_EQ(track(0).keyTransposition.load(), 2.0f);
    EXPECT_TRUE(model().keyStripOpen());
    click(gui::Point{left + 260, top + 5 + 19});  // octave up
    EXPECT_EQ(track(0).keyTransposition.load(), 14.0f);
    for (int i = 0; i < 12; ++i) click(gui::Point{left + 241, top + 5});  // octave down, to the end
    EXPECT_EQ(track(0).keyTransposition.load(), 2.0f - 36.0f);
    // A press outside closes it.
    click(gui::Point{left + 45, top - 30});
    EXPECT_FALSE(model().keyStripOpen());
    EXPECT_EQ(track(0).keyTransposition.load(), -34.0f);
    // No planet selected: no strip.
    model().selectPlanet(-1);
    click(gui::Point{left + 100, top + 10});
    EXPECT_FALSE(model().keyStripOpen());
}

TEST_F(PlanetPad, DoubleClickTogglesTheNamesAndMovingOverThePadSetsThem) {
    startWithPlanets(4, false);
    const gui::Point empty{kPadRect.left + 200, kPadRect.top + 6};
    EXPECT_FALSE(pad().namesShown());
    click(empty);
    click(empty, true);
    EXPECT_TRUE(pad().namesShown());
    click(empty, true);
    EXPECT_FALSE(pad().namesShown());
    // Small moves do not count; more than 8 pixels does.
    hover(gui::Point{empty.x + 8, empty.y});
    hover(gui::Point{empty.x - 8, empty.y + 8});
    EXPECT_FALSE(pad().namesShown());
    hover(gui::Point{empty.x, empty.y + 9});
    EXPECT_TRUE(pad().namesShown());
    // A drag is no hover.
    click(empty, true);
    ASSERT_FALSE(pad().namesShown());
    drag(planetCentre(0), gui::Point{planetCentre(0).x + 40, planetCentre(0).y});
    EXPECT_FALSE(pad().namesShown());
}

TEST_F(PlanetPad, TheRendererFeedsTheScopeOnlyWhileScopeIsOn) {
    startWithPlanets(1, false);
    ASSERT_FALSE(model().scopeOn());
    ProbeInstrument::outputLevel = 0.5f;
    std::vector<float> l, r;
    std::vector<float> left(64), right(64);
    renderBlock(*main, 256, l, r);
    EXPECT_EQ(model().mirror().scope.readLatest(left.data(), right.data(), 64), 0u);
    model().menuCommand(main_menu::kScope);
    ASSERT_TRUE(model().scopeOn());
    renderBlock(*main, 256, l, r);
    EXPECT_EQ(model().mirror().scope.readLatest(left.data(), right.data(), 64), 256u);
    // What the scope holds is what the host received.
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(left[static_cast<size_t>(i)], l[static_cast<size_t>(192 + i)]);
        EXPECT_EQ(right[static_cast<size_t>(i)], r[static_cast<size_t>(192 + i)]);
    }
    model().menuCommand(main_menu::kScope);
    renderBlock(*main, 256, l, r);
    EXPECT_EQ(model().mirror().scope.readLatest(left.data(), right.data(), 64), 256u);
    ProbeInstrument::outputLevel = 0.0f;
}

// ---- pictures -----------------------------------------------------------------

// The pictures of the built-in single-planet project are drawn the same way
// by the Windows builds' check under wine (tests/editor/windows).
TEST_F(PlanetPad, PictureOfOneBuiltInPlanetSelectedWithItsLabelledSatellites) {
    startWithOneBuiltInPlanet();
    model().selectPlanet(0);
    model().selectSatellite(1);
    expectPadSnapshot("pad_one_planet_selected.png");
}

TEST_F(PlanetPad, PictureOfTheKeyStripOpen) {
    startWithOneBuiltInPlanet();
    track(0).keyTransposition = 5.0f;
    model().selectPlanet(0);
    model().setKeyStripOpen(true);
    expectPadSnapshot("pad_key_strip.png");
}

TEST_F(PlanetPad, PictureOfTheScopeWithAKnownSignal) {
    startWithOneBuiltInPlanet();
    model().menuCommand(main_menu::kScope);
    std::vector<float> left, right;
    scopeTestSignal(left, right);
    model().mirror().scope.write(left.data(), right.data(), static_cast<int>(left.size()));
    expectPadSnapshot("pad_scope_two_traces.png");
    pad().setSingleTrace(true);
    expectPadSnapshot("pad_scope_average.png");
}

TEST_F(PlanetPad, PictureOfFourPlanetsInNormalMode) {
    startWithPlanets(4, false);
    expectPadSnapshot("pad_four_planets.png");
}

TEST_F(PlanetPad, PictureOfEightGlowingPlanetsInCircularModeWithTheirNames) {
    startWithPlanets(8, true);
    // Meters from a rendered block: each planet's level sets its glow.
    pad_states::glowProbePlanets(*main);
    click(planetCentre(5));
    pad().setNamesShown(true);
    expectPadSnapshot("pad_eight_planets_names.png");
}

}  // namespace
