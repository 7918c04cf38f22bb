#include "tests/library/library_figures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <memory>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "tests/support/project_slices.h"

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

// The report's lines of one project: its row of the table, its satellite
// axes and its live notes.
struct ReportLines {
    std::string row;
    std::vector<std::string> axes;
    std::string live;
};

std::map<std::string, ReportLines>& gatheredLines() {
    static std::map<std::string, ReportLines> lines;
    return lines;
}

ReportLines reportLines(const library::ProjectFigures& f) {
    if (const auto found = gatheredLines().find(f.name); found != gatheredLines().end()) return found->second;
    ReportLines r;
    {
        char line[400];
        std::snprintf(line, sizeof line,
                      "%d   %-24s %6.1f %6.1f %8.5f %4zu %7.1f %7.2f %7.2f %8.0f %6.2f %5.2f %8.1f %8.2f %6.2f %5.1f\n", f.tab,
                      f.name.c_str(), f.loudness.integratedLufs, f.loudness.truePeakDbtp,
                      std::max(std::fabs(f.loudness.dcLeft), std::fabs(f.loudness.dcRight)), f.clicks.size(),
                      f.worstStepRatio, f.lowEnd.correlation, f.lowEnd.foldDownLossDb, f.centroidHz, f.centroidSpread,
                      f.subShare, f.heldNoteLufs, f.releaseSeconds, f.allNotesOffSeconds, f.releaseSwellDb);
        r.row = line;
        if (!r.row.empty() && r.row.back() == '\n') r.row.pop_back();
    }
    for (const auto& a : f.axes) {
        std::ostringstream out;
        out << "  " << f.name << " #" << a.satellite << (a.vertical ? " Y " : " X ") << a.name << ": "
            << format("%+.1f dB", a.levelChangeDb) << format(", tail %+.1f dB", a.tailChangeDb) << ", "
            << format("x%.2f", a.centroidRatio) << format(", motion %+.1f dB", a.levelMotionChangeDb)
            << format(" %+.2f oct", a.brightnessMotionChange) << format(", width %+.1f dB", a.widthChangeDb)
            << (a.byDemonstration ? " (demonstration)" : "");
        r.axes.push_back(out.str());
    }
    {
        std::ostringstream out;
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
        r.live = out.str();
    }
    return r;
}

void writeReport(const std::vector<library::ProjectFigures>& all) {
    std::vector<ReportLines> lines;
    for (const auto& f : all) lines.push_back(reportLines(f));
    std::ofstream out(LIBRARY_REPORT_FILE);
    out << "Built-in library, demonstrations and live playing rendered at 44.1 kHz\n\n";
    out << "tab name                      LUFS   dBTP  DC(max)  clicks  step  lowCorr lowLoss centroid spread sub30  held(LUFS) release allOff swell\n";
    for (const auto& l : lines) out << l.row << "\n";
    out << "\nSatellite travel (0 -> 127): level, tail level, centroid ratio, level motion, brightness motion, width\n";
    for (const auto& l : lines)
        for (const auto& a : l.axes) out << a << "\n";
    out << "\nLive notes (channel 1): keys taken, quietest key\n";
    for (const auto& l : lines) out << l.live << "\n";
    for (const auto& [section, lines] : notes()) {
        out << "\n" << section << "\n";
        for (const auto& l : lines) out << "  " << l << "\n";
    }
}

// How this run of the program is asked to work (see the CMake file):
// every project at once, one slice of the library, or the library as a
// whole from the figures the slices left.
struct Mode {
    int slice = -1, slices = 0;  // TALVEX_LIBRARY_SLICE=k/n
    int gather = 0;              // TALVEX_LIBRARY_GATHER=n
};

const Mode& mode() {
    static const Mode m = [] {
        Mode out;
        project_slices::parseSlice(std::getenv("TALVEX_LIBRARY_SLICE"), out.slice, out.slices);
        if (const char* n = std::getenv("TALVEX_LIBRARY_GATHER"); n != nullptr && *n != 0)
            out.gather = std::max(0, std::atoi(n));
        return out;
    }();
    return m;
}

std::string sliceFile(int slice, int slices) {
    return std::string(LIBRARY_SLICE_DIR) + "/figures-" + std::to_string(slice) + "-of-" + std::to_string(slices) +
           ".txt";
}

std::string number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// A slice's figures as the whole-library checks and the report need them,
// one record a line, fields apart by tabs.
void writeSlice(const std::vector<library::ProjectFigures>& all) {
    std::ofstream out(sliceFile(mode().slice, mode().slices));
    for (const auto& f : all) {
        out << "P\t" << f.index << "\t" << f.tab << "\t" << f.name << "\t" << f.heldKey << "\t"
            << number(f.heldNoteLufs) << "\n";
        for (const auto* values : {&f.fingerprint.bandsDb, &f.fingerprint.onsets}) {
            out << (values == &f.fingerprint.bandsDb ? "B" : "O");
            for (double v : *values) out << "\t" << number(v);
            out << "\n";
        }
        const ReportLines r = reportLines(f);
        out << "R\t" << r.row << "\n";
        for (const auto& a : r.axes) out << "A\t" << a << "\n";
        out << "L\t" << r.live << "\n";
    }
    for (const auto& [section, lines] : notes())
        for (const auto& l : lines) out << "N\t" << section << "\t" << l << "\n";
    out << "E\n";  // written to the end
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    size_t from = 0;
    while (true) {
        const size_t tab = line.find('\t', from);
        out.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
        if (tab == std::string::npos) return out;
        from = tab + 1;
    }
}

// The figures every slice left, in the library's order; a slice file that
// is missing or cut short, or a project measured twice or not at all,
// fails the run.
std::vector<library::ProjectFigures> readSlices(int slices, int projects) {
    std::map<int, library::ProjectFigures> byIndex;
    for (int k = 0; k < slices; ++k) {
        std::ifstream in(sliceFile(k, slices));
        EXPECT_TRUE(in.good()) << "no figures from slice " << k << " of " << slices;
        std::string line;
        library::ProjectFigures* current = nullptr;
        bool ended = false;
        while (std::getline(in, line)) {
            const std::vector<std::string> f = fields(line);
            const std::string& kind = f[0];
            const auto rest = [&](size_t from) {
                std::string text;
                for (size_t i = from; i < f.size(); ++i) text += (i > from ? "\t" : "") + f[i];
                return text;
            };
            if (kind == "P" && f.size() == 6) {
                const int index = std::atoi(f[1].c_str());
                EXPECT_EQ(byIndex.count(index), 0u) << "project " << index << " measured twice";
                current = &byIndex[index];
                current->index = index;
                current->tab = std::atoi(f[2].c_str());
                current->name = f[3];
                current->heldKey = std::atoi(f[4].c_str());
                current->heldNoteLufs = std::strtod(f[5].c_str(), nullptr);
            } else if ((kind == "B" || kind == "O") && current != nullptr) {
                auto& values = kind == "B" ? current->fingerprint.bandsDb : current->fingerprint.onsets;
                for (size_t i = 1; i < f.size(); ++i) values.push_back(std::strtod(f[i].c_str(), nullptr));
            } else if (kind == "R" && current != nullptr) {
                gatheredLines()[current->name].row = rest(1);
            } else if (kind == "A" && current != nullptr) {
                gatheredLines()[current->name].axes.push_back(rest(1));
            } else if (kind == "L" && current != nullptr) {
                gatheredLines()[current->name].live = rest(1);
            } else if (kind == "N" && f.size() >= 3) {
                note(f[1], rest(2));
            } else if (kind == "E") {
                ended = true;
            }
        }
        EXPECT_TRUE(ended) << "slice " << k << " of " << slices << " left its figures unfinished";
    }
    std::vector<library::ProjectFigures> out;
    for (auto& [index, f] : byIndex) out.push_back(std::move(f));
    EXPECT_EQ(static_cast<int>(out.size()), projects) << "projects measured by the slices";
    for (int i = 0; i < static_cast<int>(out.size()); ++i)
        EXPECT_EQ(out[static_cast<size_t>(i)].index, i) << "project " << i << " measured by no slice";
    return out;
}

// Writes the report (or the slice's figures) once every test has run.
struct Reporter : ::testing::Environment {
    std::vector<library::ProjectFigures>* all = nullptr;
    void TearDown() override {
        if (all == nullptr) return;
        if (mode().slice >= 0)
            writeSlice(*all);
        else
            writeReport(*all);
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
        // The instances start from the settings and bank of a fresh install,
        // in a store of this process's own: the user's store is written by
        // whatever else runs (tests side by side among them), and a bank or
        // an output mode found there would change what is measured.
        struct OwnStore {
            std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                           ("talvex_library_" + std::to_string(getpid()));
            OwnStore() {
                std::filesystem::remove_all(folder);
                setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
            }
            ~OwnStore() { std::filesystem::remove_all(folder); }
        } store;
        std::vector<int> indices;
        {
            library::LibraryPlayer names;
            const int count = static_cast<int>(names.projectNames().size());
            if (mode().gather > 0) return readSlices(mode().gather, count);
#if LIBRARY_MEASURE_SUBSET
            // Under the sanitizers: the first and the last project, which
            // between them take the whole measuring path.
            indices = {0, count - 1};
#else
            if (mode().slice >= 0) {
                // One slice; what an earlier run left is gone first, so that
                // a slice that stops half-way leaves no figures behind.
                std::filesystem::remove(sliceFile(mode().slice, mode().slices));
                indices = project_slices::projectsOfSlice(mode().slice, mode().slices, count, false);
            } else {
                for (int i = 0; i < count; ++i) indices.push_back(i);
            }
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
        // CTest runs the slices side by side: each measures on one thread.
        if (mode().slice >= 0) {
            std::unique_ptr<library::LibraryPlayer> player = std::make_unique<library::LibraryPlayer>();
            library::MeasureOptions options;
            for (size_t i = 0; i < indices.size(); ++i) out[i] = library::measureProject(*player, indices[i], options);
        } else {
            std::thread second(work, 1);
            work(0);
            second.join();
        }
        return out;
    }();
    reporter->all = &all;
    return all;
}

}  // namespace library_test
