// Switched off and on again (effMainsChanged 0, then 1), as hosts do before
// a bounce, around a block-size change or when a route's plug-ins change:
// the engine forgets what it played, so what it renders next no longer
// depends on how long, or what, it played before. (Ardour renders of one
// session used to come out one of two ways, depending on how many blocks the
// plug-in had idled through before the bounce began.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/host/project_instance.h"

namespace {

constexpr int kBlock = 512;
constexpr int kBlocksPerSecond = 44100 / kBlock;

double largestDifference(const std::vector<float>& a, const std::vector<float>& b) {
    double worst = 0.0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - b[i]));
    return worst;
}

double peak(const std::vector<float>& x) {
    double p = 0.0;
    for (float v : x) p = std::max(p, std::fabs(static_cast<double>(v)));
    return p;
}

// A phrase on MIDI channel 1: A3 for a second, then E4 and A4 together.
const std::vector<BlockNote> kPhrase = {{0, 0x90, 57, 100},
                                   {kBlocksPerSecond, 0x80, 57, 0},
                                   {kBlocksPerSecond + 10, 0x90, 64, 90},
                                   {kBlocksPerSecond + 10, 0x90, 69, 90},
                                   {2 * kBlocksPerSecond, 0x80, 64, 0},
                                   {2 * kBlocksPerSecond, 0x80, 69, 0}};
// Something else first, to fill the delay lines, reverbs and voices.
const std::vector<BlockNote> kBefore = {{0, 0x90, 45, 127}, {20, 0x90, 76, 127}, {60, 0x80, 45, 0}, {100, 0x80, 76, 0}};

class ResumeClear : public ::testing::TestWithParam<const char*> {};

TEST_P(ResumeClear, TheRenderAfterASwitchOnIsTheSameWhateverCameBefore) {
    const int project = builtInProjectIndex(GetParam());
    ASSERT_GE(project, 0) << GetParam();
    const int phraseBlocks = 3 * kBlocksPerSecond;
    std::vector<float> fresh;
    {
        TestHost host;
        ProjectInstance a(host, project, kBlock);
        a.switchOffAndOn();
        fresh = a.play(phraseBlocks, kPhrase);
    }
    ASSERT_GT(peak(fresh), 0.01);  // the phrase sounds

    for (int idleBlocks : {0, 37, 2 * kBlocksPerSecond}) {
        SCOPED_TRACE(idleBlocks);
        TestHost host;
        ProjectInstance b(host, project, kBlock);
        b.play(kBlocksPerSecond + idleBlocks, kBefore);
        b.switchOffAndOn();
        EXPECT_EQ(largestDifference(b.play(phraseBlocks, kPhrase), fresh), 0.0);
    }

    // Without the switch the tails of what came before are still heard:
    // the comparison above does see the instance's history.
    TestHost host;
    ProjectInstance c(host, project, kBlock);
    c.play(kBlocksPerSecond, kBefore);
    EXPECT_GT(largestDifference(c.play(phraseBlocks, kPhrase), fresh), 1e-4);
}

// A resonant mono bass, bells into a tempo echo, a ring-modulated space.
INSTANTIATE_TEST_SUITE_P(Projects, ResumeClear, ::testing::Values("ACIDLINE", "FMBELLS", "RINGSPACE"));

}  // namespace
