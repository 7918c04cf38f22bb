// The shipped projects: what the authoring tool writes today is what is
// committed, and each project loads with its tracks and plays its
// demonstration at a sensible level through the whole plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/effect.h"
#include "modulehost/cplugin.h"
#include "project/project.h"
#include "tests/host/test_host_fixture.h"
#include "tests/support/project_slices.h"
#include "track/instrument.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

namespace {

namespace fs = std::filesystem;

std::vector<char> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

double db(double v) { return 20.0 * std::log10(v + 1e-12); }

TEST(BuiltInProjects, ToolOutputMatchesTheCommittedFiles) {
    // The tool writes into a copy of the resource folder: a project file
    // left from a dropped project goes, and the resource list, given with
    // that project and without one of today's, comes out as committed.
    const fs::path root = fs::temp_directory_path() / "talvex_projectgen_check";
    const fs::path out = root / "projects";
    fs::remove_all(root);
    fs::create_directories(out);
    std::ofstream(out / "GONE.prg") << "a project that is no longer listed";
    const std::vector<char> committedList = readFile(RESOURCES_LIST);
    std::string oldList(committedList.begin(), committedList.end());
    const std::string firstProject = "DATA ACIDLINE.prg projects/ACIDLINE.prg\n";
    ASSERT_NE(oldList.find(firstProject), std::string::npos);
    oldList.replace(oldList.find(firstProject), firstProject.size(), "DATA GONE.prg projects/GONE.prg\n");
    std::ofstream(root / "resources.list", std::ios::binary) << oldList;

    const std::string command = std::string(PROJECTGEN_EXE) + " " + out.string() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_FALSE(fs::exists(out / "GONE.prg"));
    EXPECT_TRUE(readFile(root / "resources.list") == committedList) << "the resource list differs from the tool's";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        const fs::path committed = fs::path(PROJECTS_DIR) / name;
        ASSERT_TRUE(fs::exists(committed)) << name << " is written by the tool but not committed";
        EXPECT_TRUE(readFile(entry.path()) == readFile(committed)) << name << " differs from the tool's output";
        ++compared;
    }
    int committedFiles = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(PROJECTS_DIR)) ++committedFiles;
    EXPECT_EQ(compared, committedFiles) << "a committed project file that the tool no longer writes";
    EXPECT_GE(compared, 9);  // at least eight projects and their list
    fs::remove_all(root);
}

class LoadedPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        effect = VSTPluginMain(&TestHost::callback);
        ASSERT_NE(effect, nullptr);
        main = static_cast<Effect*>(static_cast<AudioEffect*>(effect->object));
        host.time.flags = kVstTempoValid | kVstTimeSigValid;
        host.time.tempo = 130.0;
        host.time.sampleRate = 44100.0;
        host.time.timeSigNumerator = 4;
        host.time.timeSigDenominator = 4;
    }
    void TearDown() override {
        if (effect != nullptr) {
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        }
    }
    TestHost host;
    AEffect* effect = nullptr;
    Effect* main = nullptr;
};

// One test per slice of the library, so that CTest runs them side by side.
class LoadedPluginSlice : public LoadedPlugin, public ::testing::WithParamInterface<int> {};

TEST_P(LoadedPluginSlice, EveryProjectLoadsAndItsDemonstrationSounds) {
    const std::vector<std::string> names = main->projectNames();
    ASSERT_GE(names.size(), 8u);
    const std::vector<int> slice = project_slices::projectsOfSlice(GetParam(), static_cast<int>(names.size()));
    ASSERT_FALSE(slice.empty());
    for (const int index : slice) {
        const size_t k = static_cast<size_t>(index);
        SCOPED_TRACE(names[k]);
        ASSERT_EQ(effect->dispatcher(effect, effVendorSpecific, kVendorDemoIndex, kVendorProjectValue, nullptr,
                                     static_cast<float>(k)),
                  1);
        ASSERT_EQ(main->loadedProjectName(), names[k]);
        Project* project = main->project();
        ASSERT_FALSE(project->tracks.empty());
        for (auto& track : project->tracks) EXPECT_TRUE(track->mainSlot().loaded()) << track->title;
        ASSERT_FALSE(project->demoEvents.empty());

        main->requestDemonstration(1);
        std::vector<float> left, right;
        double sum = 0.0, peak = 0.0;
        size_t count = 0;
        for (int block = 0; block < 6 * 44100 / 512; ++block) {
            renderBlock(*main, 512, left, right);
            for (size_t i = 0; i < left.size(); ++i) {
                sum += left[i] * left[i] + right[i] * right[i];
                peak = std::max({peak, std::fabs(static_cast<double>(left[i])), std::fabs(static_cast<double>(right[i]))});
            }
            count += 2 * left.size();
        }
        main->requestDemonstration(0);
        renderBlock(*main, 512, left, right);
        const double rmsDb = db(std::sqrt(sum / static_cast<double>(count)));
        // Loud enough to be heard, never beyond the output limit.
        EXPECT_GT(rmsDb, -30.0);
        EXPECT_LT(rmsDb, -8.0);
        EXPECT_LE(peak, 0.99);
    }
}


// A target's value as the ball sends it (0..1 of the module, or the mix
// parameter in its own units).
float targetValue(CInstrument& track, const ParameterDescriptor& t) {
    switch (t.kind) {
        case kParameterKindMix: return track.mixParameterValue(t.index);
        case kParameterKindInsert1: return track.insertSlot(0).getParameter(t.index);
        case kParameterKindInsert2: return track.insertSlot(1).getParameter(t.index);
        default: return track.mainSlot().getParameter(t.index);
    }
}

TEST_P(LoadedPluginSlice, EveryBallSitsWhereItsTargetsAre) {
    // Loading a project sends every ball's position to its targets (at the
    // first block); a ball placed anywhere else would change the designed
    // sound. Positions are written with four decimals, which moves a
    // target by at most about 0.0001 of its range: the bound leaves room
    // for that and nothing more.
    const std::vector<std::string> names = main->projectNames();
    int checked = 0;
    for (const int index : project_slices::projectsOfSlice(GetParam(), static_cast<int>(names.size()))) {
        const size_t k = static_cast<size_t>(index);
        SCOPED_TRACE(names[k]);
        main->changeProgram(static_cast<int>(k), false, true);
        Project* project = main->project();
        struct Seen {
            CInstrument* track;
            const ParameterDescriptor* target;
            float before;
        };
        std::vector<Seen> seen;
        for (auto& track : project->tracks)
            for (const SoundBall& ball : track->balls.list())
                for (const auto* axis : {&ball.horizontal, &ball.vertical})
                    for (const ParameterDescriptor& t : *axis)
                        if (t.minimum != t.maximum) seen.push_back({track.get(), &t, targetValue(*track, t)});
        std::vector<float> left, right;
        renderBlock(*main, 64, left, right);
        for (const Seen& s : seen) {
            const float after = targetValue(*s.track, *s.target);
            const float scale = s.target->kind == kParameterKindMix ? 127.0f : 1.0f;
            EXPECT_NEAR(after, s.before, 0.0005f * scale)
                << s.track->title << " target kind " << s.target->kind << " index " << s.target->index;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
}

INSTANTIATE_TEST_SUITE_P(Library, LoadedPluginSlice, ::testing::Range(0, project_slices::kProjectSlices));

}  // namespace

namespace {

// The slices the per-project tests are cut into: together they go through
// every project once, and the sanitizer trees' sample spans the library.
TEST(ProjectSlices, EveryProjectFallsInExactlyOneSliceAndTheSampleSpansTheLibrary) {
    for (int count : {1, 7, 8, 23, 96, 97}) {
        std::vector<int> seen(static_cast<size_t>(count), 0);
        for (int s = 0; s < project_slices::kProjectSlices; ++s)
            for (int p : project_slices::projectsOfSlice(s, project_slices::kProjectSlices, count, false)) ++seen[static_cast<size_t>(p)];
        for (int p = 0; p < count; ++p) EXPECT_EQ(seen[static_cast<size_t>(p)], 1) << count << " projects, project " << p;

        const std::vector<int> sample = project_slices::spread(count, project_slices::kSanitizerSample);
        ASSERT_EQ(sample.size(), static_cast<size_t>(std::min(count, project_slices::kSanitizerSample)));
        EXPECT_EQ(sample.front(), 0);
        EXPECT_EQ(sample.back(), count - 1);
        for (size_t i = 1; i < sample.size(); ++i) {
            EXPECT_GT(sample[i], sample[i - 1]);
            // Evenly spread: no gap more than one wider than the even one.
            EXPECT_LE(sample[i] - sample[i - 1], (count - 1) / (project_slices::kSanitizerSample - 1) + 1) << count;
        }
        size_t sampled = 0;
        for (int s = 0; s < project_slices::kProjectSlices; ++s)
            sampled += project_slices::projectsOfSlice(s, project_slices::kProjectSlices, count, true).size();
        EXPECT_EQ(sampled, sample.size());
    }
    int k = 0, n = 0;
    EXPECT_TRUE(project_slices::parseSlice("3/8", k, n));
    EXPECT_EQ(k, 3);
    EXPECT_EQ(n, 8);
    for (const char* bad : {"", "8/8", "-1/8", "3", "3/0", "3/8x", "a/8"}) EXPECT_FALSE(project_slices::parseSlice(bad, k, n)) << bad;
}

}  // namespace
