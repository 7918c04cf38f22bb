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
    const fs::path out = fs::temp_directory_path() / "talvex_projectgen_check";
    fs::remove_all(out);
    const std::string command = std::string(PROJECTGEN_EXE) + " " + out.string() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        if (name == "resources.lines") continue;
        const fs::path committed = fs::path(PROJECTS_DIR) / name;
        ASSERT_TRUE(fs::exists(committed)) << name << " is written by the tool but not committed";
        EXPECT_TRUE(readFile(entry.path()) == readFile(committed)) << name << " differs from the tool's output";
        ++compared;
    }
    EXPECT_GE(compared, 9);  // at least eight projects and their list
    fs::remove_all(out);
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

TEST_F(LoadedPlugin, EveryProjectLoadsAndItsDemonstrationSounds) {
    const std::vector<std::string> names = main->projectNames();
    ASSERT_GE(names.size(), 8u);
    for (size_t k = 0; k < names.size(); ++k) {
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

TEST_F(LoadedPlugin, EveryBallSitsWhereItsTargetsAre) {
    // Loading a project sends every ball's position to its targets (at the
    // first block); a ball placed anywhere else would change the designed
    // sound. Positions are written with four decimals, which moves a
    // target by at most about 0.0001 of its range: the bound leaves room
    // for that and nothing more.
    const std::vector<std::string> names = main->projectNames();
    int checked = 0;
    for (size_t k = 0; k < names.size(); ++k) {
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
    EXPECT_GT(checked, 40);
}

}  // namespace
