// The editor's controls without pixels: note names, the tempo entry, the
// program panel's hit tests and actions, the buttons, Solo, the Save blink
// and the audio thread's mirror, checked against the real plug-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "editor/editor_model.h"
#include "editor/note_names.h"
#include "editor/program_panel_layout.h"
#include "editor/tempo_text.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "tests/editor/recording_host.h"
#include "track/instrument.h"

namespace {

TEST(NoteNames, PitchClassAndOctaveFromMiddleCAtC3) {
    EXPECT_EQ(noteName(60), "C3");
    EXPECT_EQ(noteName(61), "C#3");
    EXPECT_EQ(noteName(0), "C-2");
    EXPECT_EQ(noteName(127), "G8");
    EXPECT_EQ(noteName(69), "A3");
    EXPECT_EQ(noteName(11), "B-2");
    EXPECT_EQ(noteName(22), "A#-1");
    EXPECT_EQ(noteName(-1), "");
    EXPECT_EQ(noteName(128), "");
}

TEST(TempoEntry, ClampsTo40And240AndReadsJunkAs40) {
    EXPECT_EQ(parseTempoText("10"), 40.0f);
    EXPECT_EQ(parseTempoText("300"), 240.0f);
    EXPECT_EQ(parseTempoText("junk"), 40.0f);
    EXPECT_EQ(parseTempoText(""), 40.0f);
    EXPECT_EQ(parseTempoText("-120"), 40.0f);
    EXPECT_EQ(parseTempoText("120"), 120.0f);
    EXPECT_EQ(parseTempoText("  97.5bpm"), 97.5f);
    EXPECT_EQ(parseTempoText("99999999999999999999999999999999"), 240.0f);
    EXPECT_EQ(parseTempoText("nan"), 40.0f);
    EXPECT_EQ(tempoText(97.5f), "97");
    EXPECT_EQ(tempoText(240.0f), "240");
    EXPECT_EQ(tempoText(std::numeric_limits<float>::quiet_NaN()), "40");
}

TEST(ProgramPanel, HitTestsOfListAndTabs) {
    using program_panel::hitTest;
    using Kind = program_panel::Hit::Kind;
    struct Case {
        int x, y;
        Kind kind;
        int index;
    };
    const Case cases[] = {
        {10, 12, Kind::kEntry, 0},   {10, 38, Kind::kEntry, 0},    {10, 39, Kind::kEntry, 1},
        {130, 12, Kind::kEntry, 0},  {131, 12, Kind::kEntry, 12},  {257, 309, Kind::kEntry, 23},
        {10, 0, Kind::kEntry, 0},    {10, 336, Kind::kEntry, 12},  {200, 336, Kind::kEntry, 24},
        {258, 65, Kind::kNone, -1},  {258, 66, Kind::kTab, 0},     {300, 109, Kind::kTab, 0},
        {258, 110, Kind::kTab, 1},   {258, 285, Kind::kTab, 4},    {258, 286, Kind::kNone, -1},
    };
    for (const Case& c : cases) {
        const program_panel::Hit hit = hitTest(c.x, c.y);
        EXPECT_EQ(hit.kind, c.kind) << c.x << "," << c.y;
        if (c.kind != Kind::kNone) {
            EXPECT_EQ(hit.index, c.index) << c.x << "," << c.y;
        }
    }
}

TEST(ProgramPanel, NameEntrySitsOverItsSlot) {
    const platform::PixelRect first = program_panel::nameEntryRect(0);
    EXPECT_EQ(first.left, 43);
    EXPECT_EQ(first.right, 151);
    EXPECT_EQ(first.top, 68);
    EXPECT_EQ(first.bottom, 87);
    const platform::PixelRect r = program_panel::nameEntryRect(13);
    EXPECT_EQ(r.left, 160);
    EXPECT_EQ(r.right, 268);
    EXPECT_EQ(r.top, 95);
    EXPECT_EQ(r.bottom, 114);
    // The entry lies over the list row the hit test gives for its slot.
    for (int slot = 0; slot < 24; ++slot) {
        const platform::PixelRect e = program_panel::nameEntryRect(slot);
        const program_panel::Hit hit = program_panel::hitTest((e.left + e.right) / 2 - program_panel::kLeft,
                                                              (e.top + e.bottom) / 2 - program_panel::kTop);
        EXPECT_EQ(hit.index, slot);
    }
}

TEST(ScopeRingTest, ReadsTheNewestFramesOldestFirst) {
    auto ring = std::make_unique<ScopeRing>();
    std::vector<float> left(40000), right(40000);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<float>(i);
        right[i] = -static_cast<float>(i);
    }
    ring->write(left.data(), right.data(), 25000);
    ring->write(left.data() + 25000, right.data() + 25000, 15000);
    std::vector<float> l(1389), r(1389);
    EXPECT_EQ(ring->readLatest(l.data(), r.data(), 1389), 40000u);
    for (size_t i = 0; i < l.size(); ++i) {
        ASSERT_EQ(l[i], static_cast<float>(40000 - 1389 + i));
        ASSERT_EQ(r[i], -l[i]);
    }
}

class EditorLogic : public EditorTest {};

TEST_F(EditorLogic, SingleClickOnABuiltInEntryLoadsThatProject) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    const std::vector<std::string>& projects = main->projectNames();
    model.clickPanel(300, 66 + 44 + 10, false);  // tab 1
    ASSERT_EQ(model.tab(), 1);
    EXPECT_EQ(main->settings().bankSelected, 1);
    // Tab 1 lists projects 24 to 47, as far as they exist.
    const std::vector<std::string> names = model.entryNames();
    for (size_t i = 0; i < 24; ++i) EXPECT_EQ(names[i], 24 + i < projects.size() ? projects[24 + i] : "");
    model.clickPanel(300, 66 + 5, false);  // tab 0
    const int entry = std::min<int>(13, static_cast<int>(projects.size()) - 1);
    const int row = entry % 12;
    model.clickPanel(entry >= 12 ? 140 : 20, 12 + 27 * row + 5, false);
    EXPECT_EQ(main->currentProjectName(), projects[static_cast<size_t>(entry)]);
    EXPECT_EQ(main->loadedProjectName(), projects[static_cast<size_t>(entry)]);
    EXPECT_EQ(model.markedEntry(), entry);
    // A double click on a built-in entry edits nothing.
    model.clickPanel(entry >= 12 ? 140 : 20, 12 + 27 * row + 5, true);
    EXPECT_EQ(model.editingSlot(), -1);
    // An entry past the last project loads nothing.
    if (projects.size() < 48) {
        model.selectTab(1);
        model.clickEntry(23);
        EXPECT_EQ(main->loadedProjectName(), projects[static_cast<size_t>(entry)]);
    }
}

TEST_F(EditorLogic, SaveIntoASlotOutsideTheBankStoresNothingAndStaysOn) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.selectTab(4);
    model.setSave(true);
    {
        // Slot 0 starts as the first project's own program, which is what
        // storing would write; emptied, the store shows in the bank.
        std::lock_guard<std::recursive_mutex> lock(main->programMutex());
        main->programRecords()[0] = ProgramRecord{};
    }
    const std::vector<uint8_t> before = bankBytes();
    model.clickPanel(200, 12 + 27 * 12 + 3, false);  // second column, row 24
    EXPECT_TRUE(model.saveOn());
    EXPECT_EQ(bankBytes(), before);

    // A real slot takes the current state under the project's name, becomes
    // the current program without a reload, and Save goes off.
    model.clickPanel(0, 0, false);  // slot 0: the margin above the first row counts as row 0
    EXPECT_FALSE(model.saveOn());
    EXPECT_EQ(main->getProgram(), 0);
    EXPECT_EQ(main->userProgramName(0), main->currentProjectName());
    EXPECT_NE(bankBytes(), before);
}

TEST_F(EditorLogic, SaveTakesTheNameEntryTextAndDoesNotReload) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.selectTab(0);
    model.clickEntry(1);
    const std::string project = main->projectNames()[1];
    ASSERT_EQ(main->loadedProjectName(), project);
    const Project* loaded = main->project();
    main->project()->tracks[0]->planetLevel = 33.0f;
    model.selectTab(4);
    model.doubleClickEntry(7);
    model.setNameEntryText("Deep Pad");
    model.confirmName();
    model.setSave(true);
    model.clickEntry(9);
    EXPECT_EQ(main->getProgram(), 9);
    EXPECT_EQ(main->userProgramName(9), "Deep Pad");
    EXPECT_EQ(main->project(), loaded);
    EXPECT_EQ(main->project()->tracks[0]->planetLevel.load(), 33.0f);
    std::lock_guard<std::recursive_mutex> lock(main->programMutex());
    const ProgramRecord& record = main->programRecords()[9];
    EXPECT_EQ(std::string(record.projectName), project);
    EXPECT_EQ(record.trackLevel[0], 33.0f);
}

TEST_F(EditorLogic, SaveWithEmptyOrDashEntryNamesTheSlotAfterTheProject) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.selectTab(0);
    model.clickEntry(1);
    model.selectTab(4);
    model.setNameEntryText("-");
    model.setSave(true);
    model.clickEntry(20);
    EXPECT_EQ(main->userProgramName(20), main->projectNames()[1]);
}

TEST_F(EditorLogic, DoubleClickEditsAUserNameAndAnEmptyNameBecomesDash) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.selectTab(4);
    model.clickPanel(140, 12 + 27 * 3 + 1, true);  // slot 15
    ASSERT_EQ(model.editingSlot(), 15);
    EXPECT_EQ(model.nameEntryText(), main->userProgramName(15));
    model.setNameEntryText("Bells");
    model.confirmName();
    EXPECT_EQ(model.editingSlot(), -1);
    EXPECT_EQ(main->userProgramName(15), "Bells");
    char text[64] = {};
    effect->dispatcher(effect, effGetProgramNameIndexed, 15, 0, text, 0.0f);
    EXPECT_STREQ(text, "Bells");
    model.doubleClickEntry(15);
    model.setNameEntryText("");
    model.confirmName();
    EXPECT_EQ(main->userProgramName(15), "-");
    model.doubleClickEntry(2);
    model.setNameEntryText("never kept");
    model.cancelName();
    EXPECT_NE(main->userProgramName(2), "never kept");
}

TEST_F(EditorLogic, SingleClickOnAUserEntryChangesProgram) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.selectTab(4);
    model.clickEntry(6);
    EXPECT_EQ(main->getProgram(), 6);
    EXPECT_EQ(model.markedEntry(), 6);
    model.clickEntry(30);
    EXPECT_EQ(main->getProgram(), 6);
}

TEST_F(EditorLogic, SoloWithNoPlanetSelectedSilencesEveryTrack) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    Project& project = *main->project();
    ASSERT_GE(project.tracks.size(), 2u);
    for (auto& t : project.tracks) t->mute = 0.0f;
    model.setSolo(true);
    for (auto& t : project.tracks) EXPECT_EQ(t->silencedBySolo.load(), 1.0f);
    model.selectPlanet(1);
    for (size_t t = 0; t < project.tracks.size(); ++t)
        EXPECT_EQ(project.tracks[t]->silencedBySolo.load(), t == 1 ? 0.0f : 1.0f);
    model.setSolo(false);
    for (auto& t : project.tracks) {
        EXPECT_EQ(t->silencedBySolo.load(), 0.0f);
        EXPECT_EQ(t->mute.load(), 0.0f);
    }
}

TEST_F(EditorLogic, PlayOffStopsEveryTrackAndIsStoredInTheProgram) {
    startPlugin(false);
    startEmpty(*main);
    addProbeTrack(*main);
    addProbeTrack(*main);
    EditorModel model(*main);
    model.initFromPlugin();
    model.setPlay(true);
    std::vector<float> l, r;
    renderBlock(*main, 256, l, r);
    ProbeInstrument::received.clear();
    model.setPlay(false);
    EXPECT_EQ(main->playSwitch.load(), 0.0f);
    {
        std::lock_guard<std::recursive_mutex> lock(main->programMutex());
        EXPECT_EQ(main->programRecords()[static_cast<size_t>(main->getProgram())].playSwitch, 0.0f);
    }
    renderBlock(*main, 256, l, r);
    int allNotesOff = 0;
    for (const auto& e : ProbeInstrument::received)
        if (e.data[0] == 0xB0 && e.data[1] == 123 && e.data[2] == 0) ++allNotesOff;
    EXPECT_EQ(allNotesOff, 2);
    // Only once: the next block sends nothing more.
    ProbeInstrument::received.clear();
    renderBlock(*main, 256, l, r);
    EXPECT_TRUE(ProbeInstrument::received.empty());
}

TEST_F(EditorLogic, PreviewStartsTheDemonstrationAndSwitchesPlayOn) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.setPlay(false);
    model.setPreview(true);
    EXPECT_TRUE(model.playOn());
    EXPECT_EQ(main->playSwitch.load(), 1.0f);
    std::vector<float> l, r;
    renderBlock(*main, 256, l, r);
    EXPECT_TRUE(main->demonstrationPlaying());
    model.setPreview(false);
    renderBlock(*main, 256, l, r);
    EXPECT_FALSE(main->demonstrationPlaying());
}

TEST_F(EditorLogic, SwitchesAndTempoGoIntoThePluginAndTheProgramRecord) {
    startPlugin(true);
    EditorModel model(*main);
    model.initFromPlugin();
    ASSERT_TRUE(model.tempoShown());
    model.setArpeggiator(false);
    model.setMuteKeySwitch(true);
    model.enterTempo("300");
    EXPECT_EQ(model.tempoEntryText(), "240");
    EXPECT_EQ(main->projectTempo.load(), 240.0f);
    model.enterTempo("abc");
    EXPECT_EQ(model.tempoEntryText(), "40");
    model.enterTempo("133.7");
    EXPECT_EQ(model.tempoEntryText(), "133");
    EXPECT_EQ(main->arpeggiatorSwitch.load(), 0.0f);
    EXPECT_EQ(main->muteKeySwitch.load(), 1.0f);
    std::lock_guard<std::recursive_mutex> lock(main->programMutex());
    const ProgramRecord& record = main->programRecords()[static_cast<size_t>(main->getProgram())];
    EXPECT_EQ(record.arpeggiatorSwitch, 0.0f);
    EXPECT_EQ(record.muteKeySwitch, 1.0f);
    EXPECT_FLOAT_EQ(record.tempo, 133.7f);
}

TEST_F(EditorLogic, TempoEntryOnlyUnderTheStandaloneHost) {
    startPlugin(false);
    EditorModel model(*main);
    EXPECT_FALSE(model.tempoShown());
}

TEST_F(EditorLogic, SaveBlinksEvery200Milliseconds) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.poll(500);
    model.setSave(true);
    model.poll(1000);  // the first idle call after switching on starts the count
    model.takeDirty();
    model.poll(1199);
    EXPECT_TRUE(model.saveBlinkVisible());
    EXPECT_EQ(model.takeDirty() & EditorModel::kDirtyButtons, 0u);
    model.poll(1200);
    EXPECT_FALSE(model.saveBlinkVisible());
    EXPECT_NE(model.takeDirty() & EditorModel::kDirtyButtons, 0u);
    model.poll(1399);
    EXPECT_FALSE(model.saveBlinkVisible());
    model.poll(1400);
    EXPECT_TRUE(model.saveBlinkVisible());
    // Tick counts wrap after 49 days; the blink goes on.
    model.poll(0xFFFFFF00u);
    const bool before = model.saveBlinkVisible();
    model.poll(0xFFFFFF00u + 250u);
    EXPECT_NE(model.saveBlinkVisible(), before);
    model.setSave(false);
    EXPECT_TRUE(model.saveBlinkVisible());
}

TEST_F(EditorLogic, IdleTakesTheAudioThreadsFlagsAndTheTracksChanges) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.setPlay(true);
    model.takeDirty();
    model.mirror().playButton.store(0);
    model.poll(0);
    EXPECT_FALSE(model.playOn());
    EXPECT_NE(model.takeDirty() & EditorModel::kDirtyButtons, 0u);
    main->project()->tracks[0]->changed = true;
    model.poll(0);
    EXPECT_NE(model.takeDirty() & EditorModel::kDirtyPad, 0u);
    EXPECT_FALSE(main->project()->tracks[0]->changed.load());
    model.poll(0);
    EXPECT_EQ(model.takeDirty() & EditorModel::kDirtyPad, 0u);
    // While a program change holds the project, idle leaves the tracks alone.
    main->project()->tracks[0]->changed = true;
    main->programChangeCounter().fetch_add(1);
    model.poll(0);
    main->programChangeCounter().fetch_sub(1);
    EXPECT_TRUE(main->project()->tracks[0]->changed.load());
}

TEST_F(EditorLogic, AGestureReachesTheHostBracketedByBeginAndEndEdit) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.beginGesture(65);
    model.automate(65, 0.25f);
    model.automate(65, 0.5f);
    model.endGesture();
    model.endGesture();
    const std::vector<HostCall> expected = {
        {audioMasterBeginEdit, 65, 0.0f},
        {audioMasterAutomate, 65, 0.25f},
        {audioMasterAutomate, 65, 0.5f},
        {audioMasterEndEdit, 65, 0.0f},
    };
    EXPECT_EQ(hostCalls, expected);
    EXPECT_EQ(main->project()->tracks[0]->planetLevel.load(), 64.0f);
}

TEST_F(EditorLogic, SelectionOfPlanetAndSatelliteIsSharedAndStoresOnlyThatPlanetsBalls) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.takeDirty();
    Project& project = *main->project();
    // The first planet that has satellites, and a satellite of another one.
    int planet = -1, own = -1, other = -1;
    for (int s = 0; s < kProgramSatellites; ++s) {
        SatelliteRef ref;
        if (!findSatellite(project, s, ref)) break;
        const int t = static_cast<int>(std::find_if(project.tracks.begin(), project.tracks.end(),
                                                    [&](auto& p) { return p.get() == ref.track; }) -
                                       project.tracks.begin());
        if (planet < 0) planet = t;
        if (t == planet && own < 0) own = s;
        if (t != planet && other < 0) other = s;
    }
    ASSERT_GE(own, 0);
    ASSERT_GE(other, 0) << "the start project needs satellites on two planets";
    model.selectPlanet(planet);
    EXPECT_EQ(model.takeDirty() & EditorModel::kDirtySelection, EditorModel::kDirtySelection);
    model.selectSatellite(own);
    EXPECT_EQ(model.selectedSatellite(), own);
    EXPECT_NE(model.takeDirty() & EditorModel::kDirtySelection, 0u);
    // Every satellite moves; only the selected planet's reach the record.
    for (int s : {own, other}) {
        SatelliteRef ref;
        ASSERT_TRUE(findSatellite(project, s, ref));
        ref.track->balls.ball(ref.ball).x = 3.0f + static_cast<float>(s);
        ref.track->balls.ball(ref.ball).flySpeed = 0.25f;
    }
    const ProgramRecord before = main->programRecords()[static_cast<size_t>(main->getProgram())];
    model.storeSelectedBalls();
    const ProgramRecord& after = main->programRecords()[static_cast<size_t>(main->getProgram())];
    EXPECT_EQ(after.satellites[own][0], 3.0f + static_cast<float>(own));
    EXPECT_EQ(after.satellites[own][6], 0.25f);
    for (int v = 0; v < kSatelliteValues; ++v) EXPECT_EQ(after.satellites[other][v], before.satellites[other][v]);
    // Another planet drops the satellite; so does a program change.
    model.selectPlanet(planet == 0 ? 1 : 0);
    EXPECT_EQ(model.selectedSatellite(), -1);
    model.selectPlanet(planet);
    model.selectSatellite(own);
    model.clickEntry(1);
    EXPECT_EQ(model.selectedPlanet(), -1);
    EXPECT_EQ(model.selectedSatellite(), -1);
}

TEST_F(EditorLogic, ATwoParameterGestureBracketsBoth) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.beginGesture(2, 3);
    model.automate(2, 0.5f);
    model.endGesture();
    const std::vector<HostCall> expected = {
        {audioMasterBeginEdit, 2, 0.0f}, {audioMasterBeginEdit, 3, 0.0f}, {audioMasterAutomate, 2, 0.5f},
        {audioMasterEndEdit, 2, 0.0f},   {audioMasterEndEdit, 3, 0.0f},
    };
    EXPECT_EQ(hostCalls, expected);
}

}  // namespace
