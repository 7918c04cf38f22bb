#include "tests/library/library_figures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <memory>
#include <sstream>
#include <thread>

namespace library_test {

namespace {

std::map<std::string, std::vector<std::string>>& notes() {
    static std::map<std::string, std::vector<std::string>> n;
    return n;
}

std::string format(const char* f, double a) {
    char text[64];
    std::snprintf(text, sizeof text, f, a);
    return text;
}

void writeReport(const std::vector<library::ProjectFigures>& all) {
    std::ofstream out(LIBRARY_REPORT_FILE);
    out << "Built-in library, demonstrations and live playing rendered at 44.1 kHz\n\n";
    out << "tab name                      LUFS   dBTP  DC(max)  clicks  step  lowCorr lowLoss centroid spread sub30  held(LUFS) release allOff swell\n";
    for (const auto& f : all) {
        char line[400];
        std::snprintf(line, sizeof line,
                      "%d   %-24s %6.1f %6.1f %8.5f %4zu %7.1f %7.2f %7.2f %8.0f %6.2f %5.2f %8.1f %8.2f %6.2f %5.1f\n", f.tab,
                      f.name.c_str(), f.loudness.integratedLufs, f.loudness.truePeakDbtp,
                      std::max(std::fabs(f.loudness.dcLeft), std::fabs(f.loudness.dcRight)), f.clicks.size(),
                      f.worstStepRatio, f.lowEnd.correlation, f.lowEnd.foldDownLossDb, f.centroidHz, f.centroidSpread,
                      f.subShare, f.heldNoteLufs, f.releaseSeconds, f.allNotesOffSeconds, f.releaseSwellDb);
        out << line;
    }
    out << "\nSatellite travel (0 -> 127): level, tail level, centroid ratio, level motion, brightness motion, width\n";
    for (const auto& f : all)
        for (const auto& a : f.axes)
            out << "  " << f.name << " #" << a.satellite << (a.vertical ? " Y " : " X ") << a.name << ": "
                << format("%+.1f dB", a.levelChangeDb) << format(", tail %+.1f dB", a.tailChangeDb) << ", "
                << format("x%.2f", a.centroidRatio) << format(", motion %+.1f dB", a.levelMotionChangeDb)
                << format(" %+.2f oct", a.brightnessMotionChange) << format(", width %+.1f dB", a.widthChangeDb)
                << (a.byDemonstration ? " (demonstration)" : "")
                << "\n";
    out << "\nLive notes (channel 1): keys taken, quietest key\n";
    for (const auto& f : all) {
        out << "  " << f.name << ": " << f.takenKeys.size() << " keys";
        if (!f.notes.empty()) {
            const auto quiet = std::min_element(f.notes.begin(), f.notes.end(),
                                                [](const auto& a, const auto& b) { return a.levelDb < b.levelDb; });
            const auto flat = std::min_element(f.notes.begin(), f.notes.end(), [](const auto& a, const auto& b) {
                return std::max(a.riseDb, a.toneRiseDb) < std::max(b.riseDb, b.toneRiseDb);
            });
            out << ", quietest " << quiet->key << format(" at %.1f dBFS", quiet->levelDb) << ", least rise "
                << flat->key << format(" (%.1f dB,", flat->riseDb) << format(" %.1f dB at its pitch)", flat->toneRiseDb);
        }
        out << "\n";
    }
    for (const auto& [section, lines] : notes()) {
        out << "\n" << section << "\n";
        for (const auto& l : lines) out << "  " << l << "\n";
    }
}

// Writes the report once every test has run.
struct Reporter : ::testing::Environment {
    std::vector<library::ProjectFigures>* all = nullptr;
    void TearDown() override {
        if (all != nullptr) writeReport(*all);
    }
};

Reporter* const reporter = static_cast<Reporter*>(::testing::AddGlobalTestEnvironment(new Reporter));

}  // namespace

void note(const std::string& section, const std::string& line) { notes()[section].push_back(line); }

int family(const std::string& project) {
    static const std::map<std::string, int> families = [] {
        // Entries "  - 2-keys-plucks-bells/EPIANOSOUL": the folder's number
        // is the family.
        std::map<std::string, int> out;
        std::ifstream in(LIBRARY_INDEX_FILE);
        std::string line;
        while (std::getline(in, line)) {
            const size_t dash = line.find("- ");
            const size_t slash = line.rfind('/');
            if (dash == std::string::npos || slash == std::string::npos || dash + 2 >= line.size()) continue;
            const char digit = line[dash + 2];
            if (digit < '1' || digit > '9') continue;
            std::string name = line.substr(slash + 1);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\r')) name.pop_back();
            out[name] = digit - '0';
        }
        return out;
    }();
    const auto found = families.find(project);
    return found == families.end() ? 0 : found->second;
}

const std::vector<library::ProjectFigures>& figures() {
    static std::vector<library::ProjectFigures> all = [] {
        std::vector<int> indices;
        {
            library::LibraryPlayer names;
            const int count = static_cast<int>(names.projectNames().size());
#if LIBRARY_MEASURE_SUBSET
            // Under the sanitizers: the first and the last project, which
            // between them take the whole measuring path.
            indices = {0, count - 1};
#else
            for (int i = 0; i < count; ++i) indices.push_back(i);
#endif
            // TALVEX_LIBRARY_ONLY=NAME,NAME measures just those projects
            // (for a sound designer at work on a few of them).
            if (const char* only = std::getenv("TALVEX_LIBRARY_ONLY"); only != nullptr && *only != 0) {
                std::vector<int> chosen;
                std::stringstream list(only);
                std::string name;
                while (std::getline(list, name, ',')) {
                    const auto& all = names.projectNames();
                    const auto at = std::find(all.begin(), all.end(), name);
                    if (at != all.end()) chosen.push_back(static_cast<int>(at - all.begin()));
                }
                indices = chosen;
            }
        }
        std::vector<library::ProjectFigures> out(indices.size());
        std::mutex construction;
        auto work = [&](size_t first) {
            std::unique_ptr<library::LibraryPlayer> player;
            {
                std::lock_guard<std::mutex> lock(construction);
                player = std::make_unique<library::LibraryPlayer>();
            }
            library::MeasureOptions options;
            for (size_t i = first; i < indices.size(); i += 2) out[i] = library::measureProject(*player, indices[i], options);
            std::lock_guard<std::mutex> lock(construction);
            player.reset();
        };
        std::thread second(work, 1);
        work(0);
        second.join();
        return out;
    }();
    reporter->all = &all;
    return all;
}

}  // namespace library_test
