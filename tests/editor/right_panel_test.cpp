// The right-hand panel without pixels: the random selector's cells, the
// faders' drag and wheel arithmetic and the list rows; then its actions on
// the real plug-in (planet list, satellite controls and the program record,
// live target values, the sound list), and the chosen sound measured in the
// rendered signal.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>
#include <vector>

#include "editor/editor_model.h"
#include "editor/parameter_text.h"
#include "editor/right_panel_layout.h"
#include "editor/right_panel_model.h"
#include "host/program_track_state.h"
#include "modulehost/cplugin.h"
#include "project/project.h"
#include "tests/editor/recording_host.h"
#include "tests/editor/right_panel_states.h"
#include "track/instrument.h"

namespace {

using right_panel::Page;

// ---- arithmetic -----------------------------------------------------------------

TEST(RandomSelector, CellsAreTwoColumnsOfThreeRowsOf27Pixels) {
    using right_panel::randomCell;
    EXPECT_EQ(randomCell(0, 0, 90), 0);
    EXPECT_EQ(randomCell(44, 26, 90), 0);
    EXPECT_EQ(randomCell(45, 26, 90), 1);
    EXPECT_EQ(randomCell(44, 27, 90), 2);
    EXPECT_EQ(randomCell(89, 53, 90), 3);
    EXPECT_EQ(randomCell(0, 54, 90), 4);
    EXPECT_EQ(randomCell(89, 80, 90), 5);
    // Beyond the cells: limited to 0..5.
    EXPECT_EQ(randomCell(89, 200, 90), 5);
    EXPECT_EQ(randomCell(-5, -5, 90), 0);
    // Another width halves elsewhere.
    EXPECT_EQ(randomCell(50, 0, 120), 0);
    EXPECT_EQ(randomCell(60, 0, 120), 1);
}

TEST(RandomSelector, ClickRuleOffOnAndTheSameCellAgain) {
    using right_panel::randomRateAfterClick;
    EXPECT_EQ(randomRateAfterClick(0.0f, 0), 1.0f);  // RND switches on at the fastest rate
    EXPECT_EQ(randomRateAfterClick(1.0f, 0), 0.0f);  // and off again
    EXPECT_EQ(randomRateAfterClick(4.0f, 0), 0.0f);
    EXPECT_EQ(randomRateAfterClick(0.0f, 3), 3.0f);
    EXPECT_EQ(randomRateAfterClick(3.0f, 3), 0.0f);  // the current cell again: off
    EXPECT_EQ(randomRateAfterClick(3.0f, 5), 5.0f);
    EXPECT_EQ(randomRateAfterClick(2.7f, 2), 0.0f);  // the integer part counts
    // Damaged values count as off.
    EXPECT_EQ(randomRateAfterClick(std::numeric_limits<float>::quiet_NaN(), 0), 1.0f);
    EXPECT_EQ(randomRateAfterClick(1e30f, 2), 2.0f);
    EXPECT_EQ(randomRateAfterClick(-3.0f, 0), 1.0f);
}

TEST(RandomSelector, LitCellsShowOnAndTheRate) {
    using right_panel::litRandomCells;
    EXPECT_EQ(litRandomCells(0.0f), 0u);
    EXPECT_EQ(litRandomCells(1.0f), 0b11u);
    EXPECT_EQ(litRandomCells(5.0f), 0b100001u);
    EXPECT_EQ(litRandomCells(3.9f), 0b1001u);
    EXPECT_EQ(litRandomCells(6.0f), 0u);
    EXPECT_EQ(litRandomCells(std::numeric_limits<float>::quiet_NaN()), 0u);
}

TEST(SwitchFader, VerticalDragMovesATwentiethOfTheRangePerHeight) {
    using right_panel::faderAfterDrag;
    // 24 pixels high: 480 pixels up cover the whole range.
    EXPECT_FLOAT_EQ(faderAfterDrag(0.0f, -480, 24, 0.0f, 1.0f, false), 1.0f);
    EXPECT_FLOAT_EQ(faderAfterDrag(0.5f, -48, 24, 0.0f, 1.0f, false), 0.6f);
    EXPECT_FLOAT_EQ(faderAfterDrag(0.5f, 48, 24, 0.0f, 1.0f, false), 0.4f);
    EXPECT_FLOAT_EQ(faderAfterDrag(0.5f, 48, 24, 0.0f, 1.0f, true), 0.49f);
    EXPECT_FLOAT_EQ(faderAfterDrag(0.5f, -48, 24, -1.0f, 1.0f, false), 0.7f);
    EXPECT_EQ(faderAfterDrag(0.9f, -1000, 24, 0.0f, 1.0f, false), 1.0f);
    EXPECT_EQ(faderAfterDrag(0.1f, 1000, 24, 0.0f, 1.0f, false), 0.0f);
    EXPECT_FLOAT_EQ(faderAfterDrag(0.5f, 0, 0, 0.0f, 1.0f, false), 0.5f);
}

TEST(SwitchFader, WheelNotchesAndFineNotches) {
    using right_panel::faderAfterWheel;
    EXPECT_FLOAT_EQ(faderAfterWheel(0.5f, 1.0f, 0.0f, 1.0f, false), 0.52f);
    EXPECT_FLOAT_EQ(faderAfterWheel(0.5f, -3.0f, 0.0f, 1.0f, false), 0.44f);
    EXPECT_FLOAT_EQ(faderAfterWheel(0.5f, 1.0f, 0.0f, 1.0f, true), 0.502f);
    EXPECT_EQ(faderAfterWheel(0.99f, 5.0f, 0.0f, 1.0f, false), 1.0f);
    EXPECT_EQ(faderAfterWheel(0.01f, -5.0f, 0.0f, 1.0f, false), 0.0f);
    EXPECT_EQ(right_panel::speedPercent(0.355f), 36);
    EXPECT_EQ(right_panel::directionDegrees(0.5f), 45);
    EXPECT_EQ(right_panel::directionDegrees(2.0f), 90);
}

TEST(PlanetList, RowsOf27PixelsFrom21BelowTheTop) {
    using right_panel::listRow;
    EXPECT_EQ(listRow(0), -1);
    EXPECT_EQ(listRow(20), -1);
    EXPECT_EQ(listRow(21), 0);
    EXPECT_EQ(listRow(47), 0);
    EXPECT_EQ(listRow(48), 1);
    EXPECT_EQ(listRow(21 + 7 * 27), 7);
    EXPECT_EQ(listRow(21 + 8 * 27 - 1), 7);
    EXPECT_EQ(listRow(21 + 8 * 27), -1);
}

TEST(RightPanelLayout, HeaderAndTabsChooseThePage) {
    Page page = Page::kSounds;
    EXPECT_TRUE(right_panel::pageAt(850, 115, page));
    EXPECT_EQ(page, Page::kSatellite);
    EXPECT_TRUE(right_panel::pageAt(950, 115, page));
    EXPECT_EQ(page, Page::kPlanets);
    EXPECT_TRUE(right_panel::pageAt(841, 128, page));
    EXPECT_EQ(page, Page::kParams);
    EXPECT_TRUE(right_panel::pageAt(841 + 66, 148, page));
    EXPECT_EQ(page, Page::kSounds);
    EXPECT_FALSE(right_panel::pageAt(900, 149, page));
    EXPECT_FALSE(right_panel::pageAt(834, 110, page));
}

TEST(ParameterText, WritesAsTheModuleClassDoesWithOneSilentModuleEach) {
    ParameterText texts;
    EXPECT_EQ(texts.text("\\PluginEffects\\NoSuchModule.dll", 0, 0.5f), "");
    EXPECT_EQ(texts.moduleCount(), 0u);
    const std::string low = texts.text("\\Plugins\\KavoReverb.dll", 0, 0.0f);
    const std::string high = texts.text("/elsewhere/KavoReverb.dll", 0, 1.0f);
    EXPECT_FALSE(low.empty());
    EXPECT_NE(low, high);
    EXPECT_EQ(texts.moduleCount(), 1u);  // the same class by its file title
    EXPECT_EQ(texts.text("KavoReverb", 0, 0.0f), low);
    EXPECT_FALSE(texts.name("KavoReverb", 0).empty());
    EXPECT_EQ(texts.text("KavoReverb", -1, 0.5f), "");
    EXPECT_EQ(texts.text("KavoReverb", 100000, 0.5f), "");
    EXPECT_FALSE(texts.text("KavoSynthI", 3, 0.25f).empty());
    EXPECT_EQ(texts.moduleCount(), 2u);
}

// ---- on the plug-in -------------------------------------------------------------

class RightPanelOnPlugin : public EditorTest {
protected:
    void start() {
        startPlugin(false);
        model = std::make_unique<EditorModel>(*main);
        model->initFromPlugin();
        panel = std::make_unique<RightPanelModel>(*model);
        ASSERT_GE(main->project()->tracks.size(), 2u);
    }
    // The first satellite of track t, as the pad numbers them.
    int firstSatelliteOf(int t) { return right_panel_states::firstSatelliteOf(*main, t); }
    SoundBall& ballOf(int satellite) {
        SoundBall* ball = right_panel_states::ballOf(*main, satellite);
        if (ball == nullptr) throw std::runtime_error("no satellite " + std::to_string(satellite));
        return *ball;
    }
    const float* recordOf(int satellite) {
        return main->programRecords()[static_cast<size_t>(main->getProgram())].satellites[satellite];
    }
    void render(int frames) {
        std::vector<float> l, r;
        renderBlock(*main, frames, l, r);
    }
    std::unique_ptr<EditorModel> model;
    std::unique_ptr<RightPanelModel> panel;
};

TEST_F(RightPanelOnPlugin, PlanetListSelectsDeselectsAndIgnoresEmptyRows) {
    start();
    const std::vector<PlanetRow> rows = panel->planets();
    ASSERT_EQ(rows.size(), std::min<size_t>(8, main->project()->tracks.size()));
    EXPECT_EQ(rows[0].name, main->project()->tracks[0]->title);
    EXPECT_EQ(rows[0].module, main->project()->tracks[0]->mainSlot().product());
    EXPECT_FALSE(rows[0].module.empty());
    model->takeDirty();
    EXPECT_TRUE(panel->clickPlanetRow(1));
    EXPECT_EQ(model->selectedPlanet(), 1);
    EXPECT_TRUE(model->takeDirty() & EditorModel::kDirtySelection);
    EXPECT_TRUE(panel->clickPlanetRow(0));
    EXPECT_EQ(model->selectedPlanet(), 0);
    EXPECT_TRUE(panel->clickPlanetRow(0));  // the selected one again: deselected
    EXPECT_EQ(model->selectedPlanet(), -1);
    EXPECT_FALSE(panel->clickPlanetRow(static_cast<int>(rows.size())));  // no planet there
    EXPECT_FALSE(panel->clickPlanetRow(-1));
    EXPECT_EQ(model->selectedPlanet(), -1);
}

TEST_F(RightPanelOnPlugin, SatelliteControlsWriteTheBallAndTheProgramRecord) {
    start();
    const int s = firstSatelliteOf(0);
    ASSERT_GE(s, 0);
    model->selectPlanet(0);
    model->selectSatellite(s);
    SoundBall& ball = ballOf(s);
    ball.fullRange = 0.0f;
    ball.flyOn = 0.0f;
    ball.randomRate = 0.0f;
    SatelliteControls c = panel->satellite();
    ASSERT_TRUE(c.present);
    EXPECT_EQ(c.planet, main->project()->tracks[0]->title);
    EXPECT_FALSE(c.fly);

    panel->toggleFullRange();
    EXPECT_EQ(ball.fullRange.load(), 1.0f);
    panel->toggleFly();
    EXPECT_EQ(ball.flyOn.load(), 1.0f);
    panel->clickRandomCell(4);
    EXPECT_EQ(ball.randomRate.load(), 4.0f);
    panel->clickRandomCell(4);
    EXPECT_EQ(ball.randomRate.load(), 0.0f);
    panel->clickRandomCell(0);
    EXPECT_EQ(ball.randomRate.load(), 1.0f);
    panel->setFlySpeed(0.25f);
    panel->setFlyDirection(1.5f);
    EXPECT_EQ(ball.flySpeed.load(), 0.25f);
    EXPECT_EQ(ball.flyDirection.load(), 1.0f);

    // The record holds what the ball holds, in its own layout.
    float values[kSatelliteValues];
    SatelliteRef ref;
    ASSERT_TRUE(findSatellite(*main->project(), s, ref));
    readSatelliteValues(ref, values);
    for (int v = 0; v < kSatelliteValues; ++v) EXPECT_EQ(recordOf(s)[v], values[v]) << "value " << v;
    c = panel->satellite();
    EXPECT_TRUE(c.fullRange);
    EXPECT_TRUE(c.fly);
    EXPECT_EQ(c.randomRate, 1.0f);
    EXPECT_EQ(c.flySpeed, 0.25f);

    panel->toggleFly();
    EXPECT_EQ(ball.flyOn.load(), 0.0f);
    EXPECT_EQ(recordOf(s)[5], 0.0f);
}

TEST_F(RightPanelOnPlugin, WithoutASatelliteTheControlsChangeNothing) {
    start();
    const int s = firstSatelliteOf(0);
    ASSERT_GE(s, 0);
    model->selectPlanet(0);
    const std::vector<uint8_t> before = bankBytes();
    const float full = ballOf(s).fullRange.load();
    EXPECT_FALSE(panel->satellite().present);
    panel->toggleFullRange();
    panel->toggleFly();
    panel->clickRandomCell(2);
    panel->setFlySpeed(0.9f);
    EXPECT_EQ(ballOf(s).fullRange.load(), full);
    EXPECT_EQ(bankBytes(), before);
}

TEST_F(RightPanelOnPlugin, SelectingASatelliteBringsItsControlsFromThePlanetList) {
    start();
    EXPECT_EQ(panel->page(), Page::kPlanets);
    model->selectPlanet(0);
    panel->selectionChanged();
    EXPECT_EQ(panel->page(), Page::kPlanets);
    model->selectSatellite(firstSatelliteOf(0));
    panel->selectionChanged();
    EXPECT_EQ(panel->page(), Page::kSatellite);
    // The user's page choice stays while the same satellite is selected.
    panel->showPage(Page::kPlanets);
    panel->selectionChanged();
    EXPECT_EQ(panel->page(), Page::kPlanets);
    panel->showPage(Page::kSounds);
    model->selectSatellite(-1);
    model->selectSatellite(firstSatelliteOf(0));
    panel->selectionChanged();
    EXPECT_EQ(panel->page(), Page::kSounds);
}

TEST_F(RightPanelOnPlugin, ParamsFollowTheSatelliteAsItMoves) {
    start();
    const int s = firstSatelliteOf(0);
    ASSERT_GE(s, 0);
    model->selectPlanet(0);
    ParamsSheet sheet = panel->params();
    ASSERT_TRUE(sheet.planet);
    EXPECT_EQ(sheet.planetName, main->project()->tracks[0]->title);
    EXPECT_EQ(sheet.selected, -1);
    EXPECT_TRUE(sheet.targets.empty());
    EXPECT_EQ(static_cast<int>(sheet.satellites.size()), countSatellites(*main->project()->tracks[0]));

    model->selectSatellite(s);
    SoundBall& ball = ballOf(s);
    ASSERT_FALSE(ball.horizontal.empty());
    SatelliteRef ref;
    ASSERT_TRUE(findSatellite(*main->project(), s, ref));
    ref.track->balls.move(ref.ball, 0.0f, 0.0f, false, false);
    render(64);
    sheet = panel->params();
    ASSERT_EQ(sheet.selected, 0);
    ASSERT_EQ(sheet.targets.size(), ball.horizontal.size() + ball.vertical.size());
    EXPECT_EQ(sheet.targets[0].name, std::string(ball.horizontal[0].name));
    EXPECT_FALSE(sheet.targets[0].value.empty());

    // Everywhere on the pad, with and without full range, the sheet writes
    // what the playing module shows once the block has applied the ball
    // (the sheet asks a silent module of the same class, never the one
    // that plays).
    int compared = 0;
    std::set<std::string> seen;
    for (const float full : {0.0f, 1.0f}) {
        ball.fullRange = full;
        for (const float at : {0.0f, 37.0f, 64.0f, 127.0f}) {
            ref.track->balls.move(ref.ball, at, 127.0f - at, false, false);
            render(64);
            sheet = panel->params();
            ASSERT_EQ(sheet.targets.size(), ball.horizontal.size() + ball.vertical.size());
            size_t k = 0;
            for (const bool vertical : {false, true}) {
                for (const ParameterDescriptor& d : vertical ? ball.vertical : ball.horizontal) {
                    const ParamsSheet::Target& t = sheet.targets[k++];
                    EXPECT_EQ(t.vertical, vertical);
                    if (d.kind == kParameterKindMix || d.minimum == d.maximum) continue;
                    char display[256] = {}, label[256] = {};
                    CPlugin& slot =
                        d.kind == kParameterKindMainModule ? ref.track->mainSlot() : ref.track->insertSlot(d.kind - 2);
                    slot.dispatch(effGetParamDisplay, d.index, 0, display, 0.0f);
                    slot.dispatch(effGetParamLabel, d.index, 0, label, 0.0f);
                    std::string expected = display;
                    expected.erase(0, std::min(expected.find_first_not_of(' '), expected.size()));
                    if (label[0] != 0) expected += std::string(" ") + label;
                    EXPECT_EQ(t.value, expected) << d.name << " at " << at << " full range " << full;
                    seen.insert(t.value);
                    ++compared;
                }
            }
        }
    }
    EXPECT_GE(compared, 8);
    EXPECT_GE(seen.size(), 6u) << "the values must move with the satellite";
    model->selectPlanet(-1);
    EXPECT_FALSE(panel->params().planet);
}

TEST_F(RightPanelOnPlugin, SoundsAreTheModulesProgramsAndAChoicePlaysFromTheNextBlock) {
    start();
    EXPECT_TRUE(panel->sounds().empty());  // no planet
    EXPECT_FALSE(panel->chooseSound(0));
    model->selectPlanet(0);
    CPlugin& slot = main->project()->tracks[0]->mainSlot();
    const std::vector<SoundEntry> entries = panel->sounds();
    ASSERT_GE(entries.size(), 2u);
    // Every named program, in order, and one initial record.
    int named = 0, listedInit = 0;
    for (VstInt32 p = 0; p < slot.programCount(); ++p) {
        char name[256] = {};
        slot.dispatch(effGetProgramNameIndexed, p, 0, name, 0.0f);
        if (name[0] != 0 && std::string(name) != "-") ++named;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) {
            EXPECT_LT(entries[i - 1].program, entries[i].program);
        }
        char name[256] = {};
        slot.dispatch(effGetProgramNameIndexed, entries[i].program, 0, name, 0.0f);
        if (entries[i].init) {
            ++listedInit;
            EXPECT_EQ(entries[i].name, "Init");
            EXPECT_TRUE(name[0] == 0 || std::string(name) == "-");
        } else {
            EXPECT_EQ(entries[i].name, name);
        }
    }
    EXPECT_EQ(static_cast<int>(entries.size()), named + listedInit);
    EXPECT_EQ(listedInit, named < slot.programCount() ? 1 : 0);

    // The first project's first planet: its own sound, and the initial one.
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].program, 0);
    EXPECT_TRUE(entries[1].init);
    const int before = main->mainModuleProgram(0);
    EXPECT_EQ(before, 0);
    EXPECT_EQ(before, static_cast<int>(slot.dispatch(effGetProgram, 0, 0, nullptr, 0.0f)));
    const int chosen = entries[1].program;
    const std::vector<uint8_t> bank = bankBytes();
    ASSERT_TRUE(panel->chooseSound(1));
    // Nothing happens on the editor's thread.
    EXPECT_EQ(main->mainModuleProgram(0), before);
    EXPECT_EQ(slot.dispatch(effGetProgram, 0, 0, nullptr, 0.0f), before);
    render(32);
    EXPECT_EQ(main->mainModuleProgram(0), chosen);
    EXPECT_EQ(panel->currentSound(), chosen);
    EXPECT_EQ(slot.dispatch(effGetProgram, 0, 0, nullptr, 0.0f), chosen);
    // The user programs do not hold it.
    EXPECT_EQ(bankBytes(), bank);
    EXPECT_FALSE(panel->chooseSound(static_cast<int>(entries.size())));
    EXPECT_FALSE(panel->chooseSound(-1));
    // A request for a program the module does not have is refused.
    EXPECT_FALSE(main->requestMainModuleProgram(0, slot.programCount()));
    EXPECT_FALSE(main->requestMainModuleProgram(static_cast<int>(main->project()->tracks.size()), 0));
}

TEST_F(RightPanelOnPlugin, AnUnnamedProgramThatPlaysIsListedToo) {
    start();
    model->selectPlanet(0);
    CPlugin& slot = main->project()->tracks[0]->mainSlot();
    ASSERT_GT(slot.programCount(), 5);
    ASSERT_TRUE(main->requestMainModuleProgram(0, 5));
    render(32);
    const std::vector<SoundEntry> entries = panel->sounds();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].program, 5);
    EXPECT_TRUE(entries[2].init);
    EXPECT_EQ(panel->currentSound(), 5);
}

TEST_F(RightPanelOnPlugin, AChoiceLastsUntilTheProjectLoadsAgainAndStaleOnesAreDropped) {
    start();
    model->selectPlanet(0);
    ASSERT_GE(panel->sounds().size(), 2u);
    const int loaded = main->mainModuleProgram(0);
    ASSERT_EQ(loaded, 0);
    const int chosen = panel->sounds()[1].program;
    ASSERT_TRUE(panel->chooseSound(1));
    render(32);
    ASSERT_EQ(main->mainModuleProgram(0), chosen);
    render(32);
    EXPECT_EQ(main->mainModuleProgram(0), chosen);

    // Loading the project again undoes it.
    const std::string project = main->currentProjectName();
    ASSERT_TRUE(main->loadBuiltInProject(project));
    EXPECT_EQ(main->mainModuleProgram(0), loaded);
    // A request made for the previous load lands nowhere.
    ASSERT_TRUE(panel->chooseSound(1));
    ASSERT_TRUE(main->loadBuiltInProject(project));
    render(32);
    EXPECT_EQ(main->mainModuleProgram(0), loaded);
    EXPECT_EQ(main->project()->tracks[0]->mainSlot().dispatch(effGetProgram, 0, 0, nullptr, 0.0f), loaded);
}

// ---- the chosen sound, heard ------------------------------------------------------

struct Heard {
    double rmsDb = -200.0;
    double centroidHz = 0.0;
};

// Level and spectral centroid of a mono signal (Hann window, plain DFT of
// 2048 frames, bins up to 11 kHz).
Heard listen(const std::vector<float>& x, double rateHz) {
    Heard h;
    const size_t n = 2048;
    const size_t start = x.size() - n;
    double sum = 0.0;
    for (size_t i = start; i < x.size(); ++i) sum += static_cast<double>(x[i]) * x[i];
    h.rmsDb = 10.0 * std::log10(sum / static_cast<double>(n) + 1e-30);
    double weighted = 0.0, total = 0.0;
    const size_t maxBin = static_cast<size_t>(11000.0 * static_cast<double>(n) / rateHz);
    for (size_t k = 1; k < maxBin; ++k) {
        double re = 0.0, im = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(n));
            const double a = 2.0 * M_PI * static_cast<double>(k * i) / static_cast<double>(n);
            re += w * x[start + i] * std::cos(a);
            im -= w * x[start + i] * std::sin(a);
        }
        const double mag = std::sqrt(re * re + im * im);
        weighted += mag * static_cast<double>(k) * rateHz / static_cast<double>(n);
        total += mag;
    }
    h.centroidHz = total > 0.0 ? weighted / total : 0.0;
    return h;
}

class SoundChoiceHeard : public RightPanelOnPlugin {
protected:
    // Only track 0 sounds; a held note, 0.25 s in.
    Heard playNote() {
        for (size_t t = 0; t < main->project()->tracks.size(); ++t)
            main->project()->tracks[t]->silencedBySolo = t == 0 ? 0.0f : 1.0f;
        note(0x80, 48, 0);
        std::vector<float> l, r, all;
        for (int b = 0; b < 40; ++b) renderBlock(*main, 512, l, r);  // the release dies away
        note(0x90, 48, 100);
        for (int b = 0; b < 22; ++b) {
            renderBlock(*main, 512, l, r);
            all.insert(all.end(), l.begin(), l.end());
        }
        return listen(all, 44100.0);
    }
    void note(uint8_t status, uint8_t key, uint8_t velocity) {
        std::vector<VstMidiEvent> storage;
        std::vector<char> events = makeEvents({midiEvent(0, status, key, velocity)}, storage);
        effect->dispatcher(effect, effProcessEvents, 0, 0, events.data(), 0.0f);
    }
};

TEST_F(SoundChoiceHeard, TheTrackSoundsAsItsModuleDoesWithThatProgram) {
    start();
    host.time.sampleRate = 44100.0;
    main->playSwitch = 0.0f;
    model->selectPlanet(0);
    const int loaded = main->mainModuleProgram(0);
    const Heard original = playNote();
    ASSERT_GT(original.rmsDb, -60.0) << "track 0 must sound";

    // The other sound in the list (the module's initial record): the same
    // note sounds otherwise.
    ASSERT_EQ(panel->sounds().size(), 2u);
    ASSERT_EQ(loaded, 0);
    const int chosen = panel->sounds()[1].program;
    ASSERT_TRUE(panel->chooseSound(1));
    const Heard changed = playNote();
    ASSERT_EQ(main->mainModuleProgram(0), chosen);
    const bool louder = std::fabs(changed.rmsDb - original.rmsDb) > 3.0;
    const bool brighter = std::fabs(changed.centroidHz - original.centroidHz) > 0.25 * original.centroidHz;
    EXPECT_TRUE(louder || brighter) << "level " << original.rmsDb << " -> " << changed.rmsDb << " dB, centroid "
                                    << original.centroidHz << " -> " << changed.centroidHz << " Hz";

    // And back: the first sound again, as measured before.
    ASSERT_TRUE(panel->chooseSound(0));
    const Heard again = playNote();
    EXPECT_NEAR(again.rmsDb, original.rmsDb, 0.5);
    EXPECT_NEAR(again.centroidHz, original.centroidHz, 0.05 * original.centroidHz);
}

}  // namespace
