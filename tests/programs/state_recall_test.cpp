// Exact state recall: what a host saves (a bank or program chunk) brings the
// same sound back in a fresh instance, whichever order the host restores
// program and chunk in, for every built-in project; construction loads the
// project once; a first start holds the built-in projects as their own
// programs and plays the first one as it was designed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "host/effect.h"
#include "host/program_chunk.h"
#include "modulehost/cplugin.h"
#include "project/project.h"
#include "tests/host/test_host_fixture.h"
#include "tests/support/project_slices.h"
#include "track/instrument.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

constexpr int kBlock = 512;
constexpr int kRate = 44100;

double rmsDb(const std::vector<float>& s) {
    double sum = 0.0;
    for (float v : s) sum += static_cast<double>(v) * v;
    return 10.0 * std::log10(sum / static_cast<double>(s.empty() ? 1 : s.size()) + 1e-30);
}

// Frames at which two renders differ (0 for a null result), and the
// largest difference.
struct NullResult {
    size_t differing = 0;
    double largest = 0.0;
};

NullResult compare(const std::vector<float>& a, const std::vector<float>& b) {
    NullResult r;
    if (a.size() != b.size()) return NullResult{std::max(a.size(), b.size()), 1.0};
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) {
            ++r.differing;
            r.largest = std::max(r.largest, std::fabs(static_cast<double>(a[i]) - b[i]));
        }
    return r;
}

class Instance {
public:
    Instance() {
        effect = VSTPluginMain(&TestHost::callback);
        main = static_cast<Effect*>(static_cast<AudioEffect*>(effect->object));
    }
    ~Instance() { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void loadBuiltIn(int project) {
        ASSERT_EQ(dispatch(effVendorSpecific, kVendorDemoIndex, kVendorProjectValue, nullptr,
                           static_cast<float>(project)),
                  1);
    }
    std::vector<uint8_t> chunk(bool program) {
        void* data = nullptr;
        const VstIntPtr size = dispatch(effGetChunk, program ? 1 : 0, 0, &data);
        return std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    }
    VstIntPtr restore(std::vector<uint8_t> bytes, bool program) {
        return dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
    }
    void midi(uint8_t status, uint8_t d1, uint8_t d2) {
        std::vector<VstMidiEvent> storage;
        auto events = makeEvents({midiEvent(0, status, d1, d2)}, storage);
        dispatch(effProcessEvents, 0, 0, events.data());
    }
    // Interleaved stereo of `seconds` of output.
    std::vector<float> render(double seconds) {
        std::vector<float> out, left, right;
        const int blocks = static_cast<int>(seconds * kRate / kBlock);
        out.reserve(static_cast<size_t>(blocks) * kBlock * 2);
        for (int b = 0; b < blocks; ++b) {
            renderBlock(*main, kBlock, left, right);
            for (int i = 0; i < kBlock; ++i) {
                out.push_back(left[static_cast<size_t>(i)]);
                out.push_back(right[static_cast<size_t>(i)]);
            }
        }
        return out;
    }
    std::vector<float> renderDemo(double seconds) {
        main->requestDemonstration(1);
        std::vector<float> out = render(seconds);
        main->requestDemonstration(0);
        return out;
    }

    AEffect* effect = nullptr;
    Effect* main = nullptr;
};

// Every test starts from an empty settings store of its own.
class StateRecall : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = std::filesystem::temp_directory_path() /
                  ("talvex_recall_" + std::to_string(getpid()) + "_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::remove_all(config_);
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        host.time.flags = kVstTempoValid | kVstTimeSigValid;
        host.time.tempo = 120.0;
        host.time.sampleRate = kRate;
    }
    void TearDown() override { std::filesystem::remove_all(config_); }

    TestHost host;
    std::filesystem::path config_;
};

// One test per slice of the library, so that CTest runs them side by side.
class StateRecallSlice : public StateRecall, public ::testing::WithParamInterface<int> {};

TEST_P(StateRecallSlice, EveryProjectRoundTripsExactlyThroughBankAndProgramChunks) {
    Instance probe;
    const std::vector<std::string> names = probe.main->projectNames();
    ASSERT_GE(names.size(), 8u);
    const std::vector<int> slice = project_slices::projectsOfSlice(GetParam(), static_cast<int>(names.size()));
    ASSERT_FALSE(slice.empty());
    for (const int index : slice) {
        const size_t k = static_cast<size_t>(index);
        SCOPED_TRACE(names[k]);
        // The project as loaded, and as stored and restored elsewhere: the
        // same samples (the balls sit where the project's values are).
        Instance played;
        played.loadBuiltIn(static_cast<int>(k));
        const std::vector<uint8_t> asLoaded = played.chunk(false);
        const std::vector<float> original = played.renderDemo(2.0);
        ASSERT_GT(rmsDb(original), -40.0);
        {
            Instance restored;
            ASSERT_EQ(restored.restore(asLoaded, false), 1);
            EXPECT_EQ(restored.main->loadedProjectName(), names[k]);
            const std::vector<float> back = restored.renderDemo(2.0);
            const NullResult n = compare(original, back);
            EXPECT_EQ(n.differing, 0u) << "as loaded: " << rmsDb(original) << " dB, restored: " << rmsDb(back)
                                       << " dB, largest difference " << n.largest;
        }

        // Automated, then reset: notes off, tails out, demonstration
        // stopped, its own chunk applied again. A fresh instance restored
        // from that chunk plays the same samples.
        played.effect->setParameter(played.effect, 0, 0.3f);
        played.effect->setParameter(played.effect, 3, 0.8f);
        played.effect->setParameter(played.effect, 64, 0.7f);
        played.effect->setParameter(played.effect, 65, 0.6f);
        played.render(0.3);
        played.midi(0xB0, 123, 0);
        played.render(0.5);
        for (bool program : {false, true}) {
            SCOPED_TRACE(program ? "program chunk" : "bank chunk");
            const std::vector<uint8_t> chunk = played.chunk(program);
            ASSERT_EQ(played.restore(chunk, program), 1);
            const std::vector<float> again = played.renderDemo(2.0);
            played.midi(0xB0, 123, 0);
            played.render(0.3);

            Instance fresh;
            ASSERT_EQ(fresh.restore(chunk, program), 1);
            const std::vector<float> restored = fresh.renderDemo(2.0);
            const NullResult n = compare(again, restored);
            EXPECT_EQ(n.differing, 0u) << "re-applied: " << rmsDb(again) << " dB, fresh instance: " << rmsDb(restored)
                                       << " dB, largest difference " << n.largest;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Library, StateRecallSlice, ::testing::Range(0, project_slices::kProjectSlices));

TEST_F(StateRecall, HostsRestoringProgramThenChunkOrChunkThenProgramHearTheSavedSound) {
    // The session: user program 2 holds the second project with a moved
    // planet and satellite, and plays its demonstration.
    std::vector<uint8_t> bank;
    std::vector<float> saved;
    {
        Instance x;
        x.dispatch(effSetProgram, 0, 2);
        x.main->changeProgram(1, false, true);
        x.effect->setParameter(x.effect, 65, 100.0f / 128.0f);
        x.effect->setParameter(x.effect, 0, 20.0f / 128.0f);
        bank = x.chunk(false);
        saved = x.renderDemo(3.0);
    }
    // LMMS and Ardour: setProgram, then setChunk, and nothing after.
    Instance programFirst;
    programFirst.dispatch(effSetProgram, 0, 2);
    ASSERT_EQ(programFirst.restore(bank, false), 1);
    EXPECT_EQ(programFirst.main->project()->tracks[0]->planetLevel.load(), 100.0f);
    const std::vector<float> a = programFirst.renderDemo(3.0);
    // The other order.
    Instance chunkFirst;
    ASSERT_EQ(chunkFirst.restore(bank, false), 1);
    chunkFirst.dispatch(effSetProgram, 0, 2);
    const std::vector<float> b = chunkFirst.renderDemo(3.0);

    ASSERT_GT(rmsDb(saved), -40.0);
    const NullResult na = compare(saved, a), nb = compare(saved, b);
    EXPECT_EQ(na.differing, 0u) << rmsDb(saved) << " dB saved, " << rmsDb(a) << " dB restored";
    EXPECT_EQ(nb.differing, 0u) << rmsDb(saved) << " dB saved, " << rmsDb(b) << " dB restored";
}

TEST_F(StateRecall, ConstructionLoadsTheStoredProgramsProjectOnce) {
    {
        Instance fresh;
        EXPECT_EQ(fresh.main->projectLoadCount(), 1);
        // Store a default bank whose program 0 holds the second project.
        fresh.main->settings().saveDefaultBank = true;
        fresh.main->changeProgram(1, false, true);
        fresh.effect->setParameter(fresh.effect, 65, 90.0f / 128.0f);
    }
    Instance next;
    EXPECT_EQ(next.main->projectLoadCount(), 1);
    EXPECT_EQ(next.main->loadedProjectName(), next.main->projectNames()[1]);
    EXPECT_EQ(next.main->project()->tracks[0]->planetLevel.load(), 90.0f);
}

TEST_F(StateRecall, SetChunkAppliesAtOnceAndReloadsOnlyAProjectThatHasPlayed) {
    Instance x;
    x.main->changeProgram(1, false, true);
    const std::vector<uint8_t> bank = x.chunk(false);
    const int loads = x.main->projectLoadCount();
    // Nothing has played: the project stays and the records apply.
    ASSERT_EQ(x.restore(bank, false), 1);
    EXPECT_EQ(x.main->projectLoadCount(), loads);
    x.render(0.1);
    ASSERT_EQ(x.restore(bank, false), 1);
    EXPECT_EQ(x.main->projectLoadCount(), loads + 1);
    // A refused chunk changes nothing and loads nothing.
    std::vector<uint8_t> old = bank;
    std::memcpy(old.data() + 36, "1.0", 3);
    x.render(0.1);
    EXPECT_EQ(x.restore(old, false), 0);
    EXPECT_EQ(x.main->projectLoadCount(), loads + 1);
}


std::vector<uint8_t> defaultBankResource() {
    platform::ResourceData bank;
    if (!platform::findResource("DATA", "defaultbank.dat", bank)) return {};
    return std::vector<uint8_t>(bank.data, bank.data + bank.size);
}

TEST_F(StateRecall, DefaultProgramsHoldEachProjectAsStoreCurrentStateRecordsIt) {
    const std::vector<uint8_t> resource = defaultBankResource();
    std::vector<ProgramRecord> defaults;
    ASSERT_TRUE(parseProgramChunk(resource.data(), resource.size(), false, defaults, 24));
    Instance first;
    const std::vector<std::string> names = first.main->projectNames();
    EXPECT_EQ(first.chunk(false), resource);  // a first start holds exactly the default bank
    for (int i = 0; i < 24; ++i) {
        SCOPED_TRACE(i);
        char text[64] = {};
        first.dispatch(effGetProgramNameIndexed, i, 0, text);
        const std::string expected = i < static_cast<int>(names.size()) ? names[static_cast<size_t>(i)] : "-";
        EXPECT_EQ(std::string(text), expected);  // what a host's program list shows
        if (i >= static_cast<int>(names.size())) {
            const ProgramRecord empty;
            EXPECT_EQ(buildProgramChunk(&defaults[static_cast<size_t>(i)], 1, true), buildProgramChunk(&empty, 1, true));
            continue;
        }
        // Loading the built-in project into its own slot records the same
        // performance, byte for byte.
        first.dispatch(effSetProgram, 0, i);
        first.main->changeProgram(i, false, true);
        EXPECT_EQ(first.chunk(true), buildProgramChunk(&defaults[static_cast<size_t>(i)], 1, true));
    }
    // The editor's "New" brings the same records back.
    first.main->resetUserBank();
    EXPECT_EQ(first.chunk(false), resource);
}

TEST_F(StateRecall, AFirstStartPlaysTheFirstProjectAsDesigned) {
    Instance firstStart;
    ASSERT_EQ(firstStart.main->loadedProjectName(), firstStart.main->projectNames()[0]);
    const std::vector<float> program0 = firstStart.renderDemo(4.0);
    Instance chosen;
    chosen.loadBuiltIn(0);
    const std::vector<float> project = chosen.renderDemo(4.0);
    EXPECT_GT(rmsDb(project), -30.0);
    const NullResult n = compare(project, program0);
    EXPECT_EQ(n.differing, 0u) << "project " << rmsDb(project) << " dB, program 0 " << rmsDb(program0) << " dB";
}

}  // namespace
