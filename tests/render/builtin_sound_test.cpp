// The sound of every built-in project, block by block, against the levels it
// had while the engine used the C library's exp, pow, log, sin and cos: the
// engine's own portable versions differ from those in the last bit of a few
// results, and the sound may move by no more than rounding does. The notes
// and demonstration match tests/hosts/wine64_same.sh, which holds the
// Windows build to the Linux one sample for sample.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "tests/render/render_test_support.h"
#include "tests/support/project_slices.h"

#ifdef TALVEX_PLUGIN_PATH
namespace {

using render_test::tempPath;

constexpr int kProjects = 22;
constexpr int kBlockFrames = 4410;
// Largest level change per 100 ms block; the portable functions moved no
// block by more than 0.0001 dB when they came in.
constexpr double kAllowedDb = 0.01;

// (project, block) -> level in dBFS, from the committed reference.
std::map<std::pair<int, int>, double> referenceLevels() {
    std::map<std::pair<int, int>, double> levels;
    std::ifstream in(TALVEX_RENDER_REFERENCE_DIR "/builtin_project_levels.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        int project = -1, block = -1;
        double db = 0.0;
        if (fields >> project >> block >> db) levels[{project, block}] = db;
    }
    return levels;
}

double blockLevelDb(const render_test::Wav& wav, int block) {
    double energy = 0.0;
    for (const auto& channel : wav.samples)
        for (int i = block * kBlockFrames; i < (block + 1) * kBlockFrames; ++i)
            energy += static_cast<double>(channel[static_cast<size_t>(i)]) * channel[static_cast<size_t>(i)];
    energy /= static_cast<double>(kBlockFrames) * static_cast<double>(wav.samples.size());
    return energy > 0.0 ? 10.0 * std::log10(energy) : -999.0;
}

// With TALVEX_UPDATE_SNAPSHOTS=1 (scripts/update-snapshots.sh
// BuiltInProjectSound) the test
// writes the reference anew from this render instead, on purpose, after a
// project's description has changed how it sounds.
bool updating() {
    const char* update = std::getenv("TALVEX_UPDATE_SNAPSHOTS");
    return update != nullptr && std::string(update) == "1" && !project_slices::kSampled;
}

void writeReference(const std::map<std::pair<int, int>, double>& levels) {
    std::ifstream old(TALVEX_RENDER_REFERENCE_DIR "/builtin_project_levels.txt");
    std::string header, line;
    while (std::getline(old, line) && !line.empty() && line[0] == '#') header += line + "\n";
    std::ofstream out(TALVEX_RENDER_REFERENCE_DIR "/builtin_project_levels.txt");
    out << header;
    for (const auto& [key, db] : levels) {
        char text[64];
        std::snprintf(text, sizeof text, "%d %d %.4f\n", key.first, key.second, db);
        out << text;
    }
}

TEST(BuiltInProjectSound, EveryProjectKeepsItsLevelsBlockByBlock) {
    const bool update = updating();
    auto reference = referenceLevels();
    if (!update) {
        ASSERT_EQ(reference.size(), static_cast<size_t>(kProjects * 60));
    }
    const std::string config = tempPath("config");
    std::filesystem::remove_all(config);
    std::filesystem::create_directories(config);
    const std::string notes = tempPath("notes.txt");
    render_test::writeText(notes, "0 note_on 0 69 100\n1s note_off 0 69 0\n1.5s note_on 0 45 110\n3s note_off 0 45 0\n");
    int compared = 0;
    // The sanitizer tree renders a spread sample of the projects.
    std::vector<int> projects = project_slices::spread(kProjects, kProjects);
    if (project_slices::kSampled) projects = project_slices::spread(kProjects, project_slices::kSanitizerSample);
    for (const int project : projects) {
        SCOPED_TRACE("project " + std::to_string(project));
        const std::string wavPath = tempPath("project.wav");
        const std::string command = "XDG_CONFIG_HOME=" + config + " " + TALVEX_RENDER_EXE + " " + TALVEX_PLUGIN_PATH +
                                    " --vendor-specific Tlvx,Proj," + std::to_string(project) +
                                    " --vendor-specific Tlvx,Demo,1 -e " + notes + " -d 6s --no-progress -o " + wavPath +
                                    " > /dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const render_test::Wav wav = render_test::readWav(wavPath);
        ASSERT_EQ(wav.channels, 2);
        ASSERT_EQ(wav.frames, 60 * kBlockFrames);
        double worst = 0.0;
        for (int block = 0; block < 60; ++block) {
            if (update) reference[{project, block}] = blockLevelDb(wav, block);
            const double expected = reference.at({project, block});
            const double got = blockLevelDb(wav, block);
            if (expected < -90.0 && got < -90.0) continue;  // both silent
            worst = std::max(worst, std::fabs(got - expected));
            ++compared;
        }
        EXPECT_LE(worst, kAllowedDb);
    }
    EXPECT_GE(compared, static_cast<int>(projects.size()) * 50);
    std::filesystem::remove_all(config);
    if (update) writeReference(reference);
}

}  // namespace
#endif
