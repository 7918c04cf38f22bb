// talvex-render with a VST 2.4 instrument that is not ours: Debian's
// amsynth must sound for a note and fall silent before it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "tests/render/render_test_support.h"

using namespace render_test;

namespace {

double levelDb(const std::vector<float>& channel, size_t begin, size_t end) {
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += static_cast<double>(channel[i]) * channel[i];
    double rms = std::sqrt(sum / static_cast<double>(end - begin));
    return 20.0 * std::log10(rms + 1e-12);
}

TEST(AmsynthRender, NoteSoundsThroughTheVstInterface) {
    struct stat info{};
    if (stat(AMSYNTH_VST_PATH, &info) != 0) GTEST_SKIP() << "amsynth is not installed (" << AMSYNTH_VST_PATH << ")";
    std::string events = tempPath("events.txt");
    std::string wav = tempPath("amsynth.wav");
    writeText(events, "0.5s note_on 0 57 110\n1.5s note_off 0 57\n");
    RunResult result = runRenderer({AMSYNTH_VST_PATH, "-e", events, "-o", wav, "--tail", "1s", "-r", "48000",
                                    "--no-progress"});
    ASSERT_EQ(result.exitCode, 0) << result.log;
    Wav out = readWav(wav);
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.frames, 72001 + 48000);
    // Silence before the note, sound while it is held.
    EXPECT_LT(levelDb(out.samples[0], 0, 24000), -90.0);
    EXPECT_GT(levelDb(out.samples[0], 28800, 67200), -40.0);
    EXPECT_GT(levelDb(out.samples[1], 28800, 67200), -40.0);
}

}  // namespace
