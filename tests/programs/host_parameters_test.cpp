// The host's view of the instrument with the built-in projects loaded: the
// satellite and planet parameters, user and built-in program changes, chunks
// that apply the current program, MIDI program changes carried out
// by the timer, and host threads meeting project changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <thread>

#include <unistd.h>

#include "host/effect.h"
#include "host/program_chunk.h"
#include "modulehost/edit_section.h"
#include "project/project.h"
#include "tests/host/test_host_fixture.h"
#include "track/instrument.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

// Every test starts from an empty settings store of its own.
class Plugin : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = std::filesystem::temp_directory_path() /
                  ("talvex_programs_" + std::to_string(getpid()) + "_" +
                   std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::remove_all(config_);
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        host.time.flags = kVstTempoValid | kVstTimeSigValid;
        host.time.tempo = 130.0;
        host.time.sampleRate = 44100.0;
        effect = VSTPluginMain(&TestHost::callback);
        ASSERT_NE(effect, nullptr);
        main = static_cast<Effect*>(static_cast<AudioEffect*>(effect->object));
        ASSERT_GE(main->projectNames().size(), 2u);
    }
    void TearDown() override {
        if (effect != nullptr) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        std::filesystem::remove_all(config_);
    }
    std::string parameterName(int index) {
        char text[64] = {};
        effect->dispatcher(effect, effGetParamName, index, 0, text, 0.0f);
        return text;
    }
    std::string programName(int index) {
        char text[64] = {};
        effect->dispatcher(effect, effGetProgramNameIndexed, index, 0, text, 0.0f);
        return text;
    }
    Project& project() { return *main->project(); }
    // A slot as it is before anything is stored in it: no project, named "-".
    void clearRecord(int slot) {
        std::lock_guard<std::recursive_mutex> lock(main->programMutex());
        main->programRecords()[static_cast<size_t>(slot)] = ProgramRecord{};
    }

    TestHost host;
    AEffect* effect = nullptr;
    Effect* main = nullptr;
    std::filesystem::path config_;
};

}  // namespace

TEST_F(Plugin, SatelliteParametersMapTheHostRangeOntoTheBall) {
    // The first project's first track has four balls with targets, the
    // second track two; satellites are numbered across both.
    ASSERT_EQ(project().tracks.size(), 2u);
    CInstrument& acid = *project().tracks[0];
    CInstrument& sub = *project().tracks[1];
    EXPECT_EQ(parameterName(0), std::string(acid.balls.ball(0).displayName) + " (X)");
    EXPECT_EQ(parameterName(1), std::string(acid.balls.ball(0).displayName) + " (Y)");
    EXPECT_EQ(parameterName(8), std::string(sub.balls.ball(0).displayName) + " (X)");
    EXPECT_EQ(parameterName(12), "Sat 6 (X)");
    EXPECT_EQ(parameterName(63), "Sat 31 (Y)");

    effect->setParameter(effect, 0, 1.0f);
    EXPECT_EQ(acid.balls.ball(0).x.load(), 127.0f);
    EXPECT_EQ(effect->getParameter(effect, 0), 0.9921875f);
    effect->setParameter(effect, 9, 0.25f);
    EXPECT_EQ(sub.balls.ball(0).y.load(), 32.0f);
    // The value also goes into the current program's record.
    std::lock_guard<std::recursive_mutex> lock(main->programMutex());
    EXPECT_EQ(main->programRecords()[0].satellites[0][0], 127.0f);
    EXPECT_EQ(main->programRecords()[0].satellites[4][1], 32.0f);
}

// A host automating a satellite or a planet while the tracks are being
// replaced (another thread's edit, a program change) loses nothing: the
// move reaches the tracks once they are back, before the next block renders.
TEST_F(Plugin, HostParametersSetWhileTheTracksAreReplacedReachThem) {
    std::vector<float> left, right;
    CInstrument* acid = project().tracks[0].get();
    ASSERT_NE(acid->balls.ball(0).x.load(), 0.0f);
    {
        EditSection section(*main, 0);
        effect->setParameter(effect, 0, 0.0f);
        effect->setParameter(effect, 65, 0.25f);
        renderBlock(*main, 64, left, right);  // kept out
    }
    renderBlock(*main, 64, left, right);
    EXPECT_EQ(acid->balls.ball(0).x.load(), 0.0f);
    EXPECT_EQ(acid->planetLevel.load(), 32.0f);
    EXPECT_EQ(effect->getParameter(effect, 0), 0.0f);

    // Moved while the other project loads: the move lands on the new tracks
    // and in the current program's record, with no block rendered between.
    ++main->programChangeCounter();
    effect->setParameter(effect, 1, 1.0f);
    effect->setParameter(effect, 64, 1.0f);
    main->changeProgram(1, false, true);
    --main->programChangeCounter();
    ASSERT_EQ(main->loadedProjectName(), main->projectNames()[1]);
    EXPECT_EQ(effect->getParameter(effect, 1), 127.0f / 128.0f);
    EXPECT_EQ(project().tracks[0]->pan.load(), 1.0f);
    std::lock_guard<std::recursive_mutex> lock(main->programMutex());
    EXPECT_EQ(main->programRecords()[0].satellites[0][1], 127.0f);
    EXPECT_EQ(main->programRecords()[0].trackPan[0], 1.0f);
}

TEST_F(Plugin, PlanetParametersAndTheirFallbackNames) {
    CInstrument& acid = *project().tracks[0];
    EXPECT_EQ(parameterName(64), acid.title + " (Pan)");
    EXPECT_EQ(parameterName(65), acid.title + " (Level)");
    effect->setParameter(effect, 65, 0.5f);
    EXPECT_EQ(acid.planetLevel.load(), 64.0f);
    effect->setParameter(effect, 64, 0.5f);
    EXPECT_EQ(acid.pan.load(), 0.0f);
    effect->setParameter(effect, 64, 1.0f);
    EXPECT_EQ(acid.pan.load(), 1.0f);
    EXPECT_EQ(effect->getParameter(effect, 64), 1.0f);

    // Two tracks: planet 2 does not exist.
    EXPECT_EQ(parameterName(68), "Planet 2 (Pan)");
    EXPECT_EQ(parameterName(69), "Planet 2 (Level)");
    effect->setParameter(effect, 69, 1.0f);
    EXPECT_EQ(effect->getParameter(effect, 69), 0.0f);
    EXPECT_EQ(parameterName(80), "");
}

TEST_F(Plugin, UserProgramsReloadOnlyAnotherProjectAndBuiltInsAlwaysReload) {
    const std::vector<std::string> names = main->projectNames();
    EXPECT_EQ(main->loadedProjectName(), names[0]);
    // A mark on the loaded project's track shows whether it was replaced.
    project().tracks[0]->title = "marked";
    clearRecord(3);
    effect->dispatcher(effect, effSetProgram, 0, 3, nullptr, 0.0f);  // record 3 names no project: the first
    EXPECT_EQ(effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f), 3);
    EXPECT_EQ(project().tracks[0]->title, "marked");

    main->changeProgram(0, false, true);  // the same built-in project: reloaded
    EXPECT_NE(project().tracks[0]->title, "marked");
    project().tracks[0]->title = "marked";
    main->changeProgram(0, false, true);
    EXPECT_NE(project().tracks[0]->title, "marked");

    // Loading a built-in project stores it into the current slot, naming a
    // slot called "-" after its number and keeping any other name.
    EXPECT_EQ(programName(3), "Preset 4");
    main->changeProgram(1, false, true);
    EXPECT_EQ(main->loadedProjectName(), names[1]);
    EXPECT_EQ(programName(3), "Preset 4");
    char bass[] = "Bass";
    effect->dispatcher(effect, effSetProgramName, 0, 0, bass, 0.0f);
    main->changeProgram(0, false, true);
    EXPECT_EQ(programName(3), "Bass");
    {
        std::lock_guard<std::recursive_mutex> lock(main->programMutex());
        EXPECT_EQ(std::string(main->programRecords()[3].projectName), names[0]);
    }
    EXPECT_EQ(effect->dispatcher(effect, effSetProgram, 0, 24, nullptr, 0.0f), 0);
    EXPECT_EQ(effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f), 3);
}

TEST_F(Plugin, ChunksApplyTheCurrentProgramAtOnceAndSurviveASaveAndReload) {
    const std::vector<std::string> names = main->projectNames();
    // Store the second project with a moved planet and satellite into slot 2.
    effect->dispatcher(effect, effSetProgram, 0, 2, nullptr, 0.0f);
    main->changeProgram(1, false, true);
    effect->setParameter(effect, 65, 100.0f / 128.0f);
    effect->setParameter(effect, 0, 20.0f / 128.0f);
    void* data = nullptr;
    const VstIntPtr size = effect->dispatcher(effect, effGetChunk, 0, 0, &data, 0.0f);
    ASSERT_EQ(size, static_cast<VstIntPtr>(buildProgramChunk(main->programRecords().data(), 24, false).size()));
    const std::vector<uint8_t> bank(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);

    // A fresh instance on program 0 takes the bank: program 0 is applied
    // (it names no project, so the first one stays loaded); choosing
    // program 2 then brings its project and performance.
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    effect = VSTPluginMain(&TestHost::callback);
    main = static_cast<Effect*>(static_cast<AudioEffect*>(effect->object));
    EXPECT_EQ(main->loadedProjectName(), names[0]);
    ASSERT_EQ(effect->dispatcher(effect, effSetChunk, 0, static_cast<VstIntPtr>(bank.size()),
                                 const_cast<uint8_t*>(bank.data()), 0.0f),
              1);
    EXPECT_EQ(main->loadedProjectName(), names[0]);
    effect->dispatcher(effect, effSetProgram, 0, 2, nullptr, 0.0f);
    EXPECT_EQ(main->loadedProjectName(), names[1]);
    EXPECT_EQ(project().tracks[0]->planetLevel.load(), 100.0f);
    EXPECT_EQ(project().tracks[0]->balls.ball(0).x.load(), 20.0f);
    EXPECT_EQ(programName(2), names[2]);  // the slot keeps the name it had

    // A program chunk of program 2 goes into the current program and is
    // applied at once.
    void* one = nullptr;
    const VstIntPtr programSize = effect->dispatcher(effect, effGetChunk, 1, 0, &one, 0.0f);
    EXPECT_EQ(programSize, 1508);
    const std::vector<uint8_t> program(static_cast<uint8_t*>(one), static_cast<uint8_t*>(one) + programSize);
    clearRecord(4);
    effect->dispatcher(effect, effSetProgram, 0, 4, nullptr, 0.0f);
    EXPECT_EQ(main->loadedProjectName(), names[0]);
    ASSERT_EQ(effect->dispatcher(effect, effSetChunk, 1, static_cast<VstIntPtr>(program.size()),
                                 const_cast<uint8_t*>(program.data()), 0.0f),
              1);
    EXPECT_EQ(main->loadedProjectName(), names[1]);
    EXPECT_EQ(project().tracks[0]->planetLevel.load(), 100.0f);
    EXPECT_EQ(programName(4), "-");  // a program chunk carries no name
    std::vector<uint8_t> old = bank;
    std::memcpy(old.data() + 36, "1.0", 3);
    EXPECT_EQ(effect->dispatcher(effect, effSetChunk, 0, static_cast<VstIntPtr>(old.size()), old.data(), 0.0f), 0);
}

TEST_F(Plugin, EditPatternNotesFromAChunkArriveSortedAndWithoutNotesThatHaveNoPlace) {
    // A bank written by another writer lists the notes of program 4's first
    // edit pattern backwards, with one note at no finite position.
    std::vector<ProgramRecord> records(24);
    std::strncpy(records[4].projectName, main->projectNames()[0].c_str(), kProjectNameBytes - 1);
    auto pattern = std::make_unique<ProgramPattern>();
    pattern->lengthSteps = 16.0f;
    const float positions[] = {12.0f, 8.5f, std::numeric_limits<float>::quiet_NaN(), 4.0f, 0.0f, 8.5f};
    for (int i = 0; i < 6; ++i) pattern->notes.push_back(ProgramNote{positions[i], 1.0f, 40 + i, 100});
    records[4].editPatterns[0] = std::move(pattern);
    std::vector<uint8_t> bank = buildProgramChunk(records.data(), 24, false);
    ASSERT_EQ(effect->dispatcher(effect, effSetChunk, 0, static_cast<VstIntPtr>(bank.size()), bank.data(), 0.0f), 1);
    effect->dispatcher(effect, effSetProgram, 0, 4, nullptr, 0.0f);

    const std::vector<PatternNote>& notes = project().tracks[0]->patterns.editPattern.notes;
    ASSERT_EQ(notes.size(), 5u);
    const float sorted[] = {0.0f, 4.0f, 8.5f, 8.5f, 12.0f};
    const int keys[] = {44, 43, 41, 45, 40};  // equal positions keep their order
    for (size_t i = 0; i < notes.size(); ++i) {
        EXPECT_EQ(notes[i].position, sorted[i]) << i;
        EXPECT_EQ(notes[i].key, keys[i]) << i;
    }
}

TEST_F(Plugin, DefaultBankIsStoredAtCloseWhenAskedAndLoadedByTheNextInstance) {
    main->settings().saveDefaultBank = true;
    clearRecord(5);
    effect->dispatcher(effect, effSetProgram, 0, 5, nullptr, 0.0f);
    main->changeProgram(1, false, true);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    effect = VSTPluginMain(&TestHost::callback);
    main = static_cast<Effect*>(static_cast<AudioEffect*>(effect->object));
    EXPECT_EQ(programName(5), "Preset 6");
    std::lock_guard<std::recursive_mutex> lock(main->programMutex());
    EXPECT_EQ(std::string(main->programRecords()[5].projectName), main->projectNames()[1]);
}

TEST_F(Plugin, ThreadsMidiProgramChangeIsCarriedOutByTheTimerWhileBlocksRender) {
    // User program 5 holds the second project.
    effect->dispatcher(effect, effSetProgram, 0, 5, nullptr, 0.0f);
    main->changeProgram(1, false, true);
    effect->dispatcher(effect, effSetProgram, 0, 0, nullptr, 0.0f);
    ASSERT_EQ(main->loadedProjectName(), main->projectNames()[0]);

    std::vector<VstMidiEvent> storage;
    auto events = makeEvents({midiEvent(0, 0xC0, 30, 0), midiEvent(1, 0xC0, 5, 0)}, storage);
    effect->dispatcher(effect, effProcessEvents, 0, 0, events.data(), 0.0f);
    std::vector<float> left, right;
    const auto start = std::chrono::steady_clock::now();
    while (main->loadedProjectName() != main->projectNames()[1] &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        renderBlock(*main, 256, left, right);
    EXPECT_EQ(main->loadedProjectName(), main->projectNames()[1]);
    EXPECT_EQ(effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f), 5);
    for (int i = 0; i < 20; ++i) renderBlock(*main, 256, left, right);
}

TEST_F(Plugin, ThreadsHostParametersMeetProjectChangesSafely) {
    std::atomic<bool> stop{false};
    std::thread parameters([&] {
        char text[64];
        int i = 0;
        while (!stop.load()) {
            effect->setParameter(effect, i % 80, static_cast<float>(i % 7) / 7.0f);
            effect->getParameter(effect, (i + 3) % 80);
            effect->dispatcher(effect, effGetParamName, (i + 5) % 80, 0, text, 0.0f);
            ++i;
        }
    });
    std::thread programs([&] {
        for (int k = 0; k < 6; ++k) main->changeProgram(k % 2, false, true);
        stop = true;
    });
    std::vector<float> left, right;
    while (!stop.load()) renderBlock(*main, 128, left, right);
    programs.join();
    parameters.join();
    EXPECT_FALSE(project().tracks.empty());
}

TEST_F(Plugin, BankFilesHoldTheBankChunkAndGetTheirExtension) {
    clearRecord(7);
    effect->dispatcher(effect, effSetProgram, 0, 7, nullptr, 0.0f);
    main->changeProgram(1, false, true);
    const std::filesystem::path folder = config_ / "banks";
    std::filesystem::create_directories(folder);
    EXPECT_EQ(main->saveBankFile((folder / "a").string()), (folder / "a.fxb").string());
    EXPECT_EQ(main->saveBankFile((folder / "bank.fxb").string()), (folder / "bank.fxb").string());
    EXPECT_EQ(main->saveBankFile((folder / "bank.FXB").string()), (folder / "bank.FXB.fxb").string());
    void* data = nullptr;
    const VstIntPtr size = effect->dispatcher(effect, effGetChunk, 0, 0, &data, 0.0f);
    EXPECT_EQ(std::filesystem::file_size(folder / "bank.fxb"), static_cast<uintmax_t>(size));

    char dash[] = "-";
    effect->dispatcher(effect, effSetProgramName, 0, 0, dash, 0.0f);
    EXPECT_TRUE(main->loadBankFile((folder / "bank.fxb").string()));
    EXPECT_EQ(programName(7), "Preset 8");
    EXPECT_FALSE(main->loadBankFile((folder / "missing.fxb").string()));
    std::ofstream(folder / "junk.fxb") << "not a bank";
    EXPECT_FALSE(main->loadBankFile((folder / "junk.fxb").string()));
    EXPECT_EQ(programName(7), "Preset 8");
}

TEST_F(Plugin, ThreadsBankFileSavedWhileTheHostTakesChunksHoldsTheWholeBank) {
    // A host may ask for the bank chunk (which replaces the object's chunk
    // buffer) while the editor writes a bank file: the file must still hold
    // exactly the bank.
    effect->dispatcher(effect, effSetProgram, 0, 3, nullptr, 0.0f);
    main->changeProgram(1, false, true);
    std::vector<uint8_t> expected;
    {
        std::lock_guard<std::recursive_mutex> lock(main->programMutex());
        expected = buildProgramChunk(main->programRecords().data(), 24, false);
    }
    const std::filesystem::path folder = config_ / "threaded-banks";
    std::filesystem::create_directories(folder);
    std::atomic<bool> stop{false};
    std::thread host([&] {
        while (!stop.load()) {
            void* data = nullptr;
            effect->dispatcher(effect, effGetChunk, 0, 0, &data, 0.0f);
        }
    });
    int torn = 0;
    constexpr int kSaves = 150;
    for (int i = 0; i < kSaves; ++i) {
        const std::string name = main->saveBankFile((folder / "bank.fxb").string());
        ASSERT_FALSE(name.empty());
        std::ifstream in(name, std::ios::binary);
        const std::vector<uint8_t> saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (saved != expected) ++torn;
    }
    stop = true;
    host.join();
    EXPECT_EQ(torn, 0) << "of " << kSaves << " saves";
}

TEST_F(Plugin, HostileHostValuesAndChunksNeverReachTheOutput) {
    // Every host entry point takes NaN, infinities and huge values: the 80
    // parameters (satellites reach module parameters through their balls),
    // and a program chunk with every float field poisoned. The output stays
    // finite and inside the master limit.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float hostile[] = {nan, inf, -inf, 1.0e30f, -1.0e30f};
    const std::vector<std::string> names = main->projectNames();
    std::vector<float> left, right;
    auto checkBlocks = [&](int blocks, const std::string& what) {
        for (int b = 0; b < blocks; ++b) {
            renderBlock(*main, 256, left, right);
            for (size_t i = 0; i < left.size(); ++i) {
                ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << what << " frame " << i;
                ASSERT_LE(std::fabs(left[i]), 0.99f) << what;
                ASSERT_LE(std::fabs(right[i]), 0.99f) << what;
            }
        }
    };
    for (const char* title : {"ACIDLINE", "HOUSEGROOVE", "RINGSPACE", "WOBBLEBASS"}) {
        const auto found = std::find(names.begin(), names.end(), title);
        ASSERT_NE(found, names.end()) << title;
        main->changeProgram(static_cast<int>(found - names.begin()), false, true);
        std::vector<VstMidiEvent> storage;
        auto events = makeEvents({midiEvent(0, 0x90, 36, 110), midiEvent(0, 0x90, 48, 110), midiEvent(0, 0x90, 60, 110),
                                  midiEvent(0, 0x91, 38, 110)},
                                 storage);
        effect->dispatcher(effect, effProcessEvents, 0, 0, events.data(), 0.0f);
        checkBlocks(2, std::string(title) + " before");
        for (VstInt32 index = 0; index < 80; ++index) {
            for (const float v : hostile) {
                effect->setParameter(effect, index, v);
                ASSERT_TRUE(std::isfinite(effect->getParameter(effect, index))) << title << " parameter " << index;
                checkBlocks(1, std::string(title) + " parameter " + std::to_string(index) + " = " + std::to_string(v));
            }
        }

        // A program chunk of the current program with every float poisoned.
        std::vector<ProgramRecord> record(1);
        std::strncpy(record[0].projectName, title, kProjectNameBytes - 1);
        for (const float v : hostile) {
            record[0].tempo = record[0].playSwitch = record[0].muteKeySwitch = record[0].muteKey = v;
            record[0].liveTransposition = record[0].playController = v;
            for (int t = 0; t < kProgramTracks; ++t) record[0].trackLevel[t] = record[0].trackPan[t] = v;
            for (auto& satellite : record[0].satellites)
                for (float& x : satellite) x = v;
            std::vector<uint8_t> chunk = buildProgramChunk(record.data(), 1, true);
            ASSERT_EQ(effect->dispatcher(effect, effSetChunk, 1, static_cast<VstIntPtr>(chunk.size()), chunk.data(), 0.0f),
                      1);
            effect->dispatcher(effect, effSetProgram, 0, effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f),
                               nullptr, 0.0f);
            effect->dispatcher(effect, effProcessEvents, 0, 0, events.data(), 0.0f);
            checkBlocks(8, std::string(title) + " chunk " + std::to_string(v));
        }
    }
}
