// bench_compare: CPU cost of Talvex's synthesizer and effects against peer
// VST 2.4 plug-ins, all driven through the VST ABI by this one host.
//
//   bench_compare [--only NAME[,NAME..]] [--seconds S] [--repetitions N]
//                 [--rate HZ] [--block N] [--vst-folder DIR] [--no-ftz]
//                 [--markdown FILE] [--voices-scan]
//                 [--talvex-set NAME=VALUE].. [--peer-set NAME=VALUE]..
//                 [--side talvex|peer]
//   bench_compare --list SOURCE     parameters of a plug-in and their displays
//
// --side opens and times one side only: for counting instructions under
// valgrind --tool=callgrind --toggle-collect='*RenderTimer::timePass*', where
// a busy machine makes CPU times too noisy (scripts/bench.sh --instructions).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define BENCH_HAS_MXCSR 1
#endif

#include "bench/compare/bench_plugin.h"
#include "bench/compare/comparisons.h"
#include "bench/compare/render_timing.h"
#include "tools/talvex_render/render_host.h"

using namespace benchcompare;

namespace {

struct Options {
    TimingPlan plan;
    std::vector<std::string> only;
    std::string vstFolder = "/usr/lib/vst";
    std::string markdownPath;
    std::string listSource;
    bool ftz = true;
    bool voicesScan = false;
    std::string side;  // empty: both
    // Extra settings for the selected comparisons, applied after their own.
    std::vector<Setting> talvexSettings, peerSettings;
};

bool parseSetting(const char* text, Setting& setting) {
    const char* equals = std::strchr(text, '=');
    if (equals == nullptr || equals == text) {
        std::fprintf(stderr, "a setting is NAME=VALUE, not %s\n", text);
        return false;
    }
    setting.parameter.assign(text, equals);
    setting.target = equals + 1;
    return true;
}

void usage() {
    std::fprintf(stderr,
                 "usage: bench_compare [--only NAME,..] [--seconds S] [--repetitions N] [--rate HZ]\n"
                 "                     [--block N] [--vst-folder DIR] [--no-ftz] [--markdown FILE]\n"
                 "                     [--voices-scan] [--talvex-set NAME=VALUE].. [--peer-set NAME=VALUE]..\n"
                 "                     [--side talvex|peer]\n"
                 "       bench_compare --list SOURCE   (SOURCE: talvex:KavoReverb or a .so path)\n");
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs %s\n", arg.c_str(), what);
                return nullptr;
            }
            return argv[++i];
        };
        const char* v = nullptr;
        if (arg == "--only") {
            if (!(v = value("names"))) return false;
            std::stringstream list(v);
            for (std::string name; std::getline(list, name, ',');)
                if (!name.empty()) options.only.push_back(name);
        } else if (arg == "--seconds") {
            if (!(v = value("seconds"))) return false;
            options.plan.seconds = std::atof(v);
        } else if (arg == "--repetitions") {
            if (!(v = value("a count"))) return false;
            options.plan.repetitions = std::atoi(v);
        } else if (arg == "--rate") {
            if (!(v = value("a rate"))) return false;
            options.plan.sampleRate = std::atof(v);
        } else if (arg == "--block") {
            if (!(v = value("frames"))) return false;
            options.plan.blockSize = std::atoi(v);
        } else if (arg == "--vst-folder") {
            if (!(v = value("a folder"))) return false;
            options.vstFolder = v;
        } else if (arg == "--markdown") {
            if (!(v = value("a file"))) return false;
            options.markdownPath = v;
        } else if (arg == "--list") {
            if (!(v = value("a plug-in"))) return false;
            options.listSource = v;
        } else if (arg == "--talvex-set" || arg == "--peer-set") {
            if (!(v = value("NAME=VALUE"))) return false;
            Setting setting;
            if (!parseSetting(v, setting)) return false;
            (arg == "--talvex-set" ? options.talvexSettings : options.peerSettings).push_back(setting);
        } else if (arg == "--side") {
            if (!(v = value("talvex or peer"))) return false;
            options.side = v;
            if (options.side != "talvex" && options.side != "peer") {
                std::fprintf(stderr, "--side takes talvex or peer\n");
                return false;
            }
        } else if (arg == "--no-ftz") {
            options.ftz = false;
        } else if (arg == "--voices-scan") {
            options.voicesScan = true;
        } else {
            usage();
            return false;
        }
    }
    if (!(options.plan.seconds > 0.0) || options.plan.repetitions < 1 || !(options.plan.sampleRate > 0.0) ||
        options.plan.blockSize < 1) {
        std::fprintf(stderr, "seconds, repetitions, rate and block must be positive\n");
        return false;
    }
    return true;
}

bool selected(const Options& options, const std::string& name) {
    if (options.only.empty()) return true;
    for (const std::string& wanted : options.only)
        if (wanted == name) return true;
    return false;
}

int listParameters(const Options& options) {
    BenchPlugin plugin;
    std::string error;
    if (!plugin.open(options.listSource, options.plan.sampleRate, options.plan.blockSize, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    AEffect* effect = plugin.effect();
    std::printf("%s: %d inputs, %d outputs, %d parameters\n", plugin.name().c_str(), effect->numInputs,
                effect->numOutputs, effect->numParams);
    for (int i = 0; i < effect->numParams; ++i) {
        const float initial = plugin.session().getParameter(i);
        std::printf("%3d %-24s", i, plugin.parameterName(i).c_str());
        for (float x : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
            plugin.session().setParameter(i, x);
            std::printf(" | %s", plugin.parameterDisplay(i).c_str());
        }
        plugin.session().setParameter(i, initial);
        std::printf("   (now %s)\n", plugin.parameterDisplay(i).c_str());
    }
    return 0;
}

struct Measured {
    bool ok = false;
    std::string error;
    std::string name;
    Timing timing;
    std::vector<AppliedSetting> settings;
    int units = 1;  // voices or channels the cost is divided by
};

struct Pair {
    Measured talvex, peer;
};

bool openSide(BenchPlugin& plugin, Measured& m, const Contender& contender, const Options& options) {
    if (!plugin.open(contender.source, options.plan.sampleRate, options.plan.blockSize, m.error)) return false;
    m.name = plugin.name();
    m.settings = applySettings(plugin, contender.settings);
    plugin.resume();
    return true;
}

// Both plug-ins open side by side, their timed passes taken in turn.
Pair measure(const Comparison& c, const Options& options, const StereoSignal& noise, int notes) {
    Pair pair;
    BenchPlugin talvex, peer;
    const bool talvexOpen = options.side != "peer" && openSide(talvex, pair.talvex, c.talvex, options);
    const bool peerOpen = options.side != "talvex" && openSide(peer, pair.peer, c.peer, options);
    HeldChord chordT(notes, kChordLowestKey), chordP(notes, kChordLowestKey);
    const StereoSignal* input = c.instrument ? nullptr : &noise;
    std::unique_ptr<RenderTimer> timerT, timerP;
    if (talvexOpen) timerT = std::make_unique<RenderTimer>(talvex, options.plan, input, c.instrument ? chordT.events() : nullptr);
    if (peerOpen) timerP = std::make_unique<RenderTimer>(peer, options.plan, input, c.instrument ? chordP.events() : nullptr);
    for (int pass = 0; pass < options.plan.repetitions; ++pass) {
        if (timerT) timerT->timePass();
        if (timerP) timerP->timePass();
    }
    auto finish = [&](std::unique_ptr<RenderTimer>& timer, Measured& m) {
        if (!timer) return;
        m.timing = timer->finish();
        m.units = c.instrument ? notes : std::max(1, std::min(m.timing.inputs, m.timing.outputs));
        m.ok = true;
        timer.reset();
    };
    finish(timerT, pair.talvex);
    finish(timerP, pair.peer);
    return pair;
}

// CPU milliseconds per second of audio per voice or channel.
double unitCostMs(const Measured& m, const TimingPlan& plan) {
    return 1000.0 * m.timing.medianThreadSeconds / plan.seconds / m.units;
}

void printSide(const char* role, const Measured& m, const TimingPlan& plan) {
    if (!m.ok) {
        std::printf("  %-6s FAILED: %s\n", role, m.error.c_str());
        return;
    }
    std::printf("  %-6s %s: %.3f ms CPU per s of audio per %s (thread; process %.3f), output %.1f dBFS, change %.1f dB%s\n", role,
                m.name.c_str(), unitCostMs(m, plan), m.timing.inputs == 0 ? "voice" : "channel",
                1000.0 * m.timing.medianProcessSeconds / plan.seconds / m.units, m.timing.outputRmsDb,
                m.timing.changeRmsDb, m.timing.outputFinite ? "" : " NON-FINITE OUTPUT");
    std::printf("         units=%d\n", m.units);
    std::printf("         passes (thread s):");
    for (double s : m.timing.threadSeconds) std::printf(" %.4f", s);
    std::printf("\n");
    for (const AppliedSetting& s : m.settings)
        std::printf("         %-22s wanted %-12s -> %s%s\n", s.parameter.c_str(), s.target.c_str(), s.display.c_str(),
                    s.found ? "" : "  (NOT FOUND)");
}

struct Row {
    std::string name, talvexName, peerName, unit;
    double talvexMs = 0, peerMs = 0, ratio = 0, goal = 1;
    bool ok = false;
    std::string note;
};

void writeMarkdown(const std::string& path, const std::vector<Row>& rows, const Options& options) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return;
    }
    std::fprintf(out,
                 "CPU ms per second of audio (thread CPU time, median of %d passes of %.1f s, %.0f Hz, block %d%s)\n\n",
                 options.plan.repetitions, options.plan.seconds, options.plan.sampleRate, options.plan.blockSize,
                 options.ftz ? ", FTZ/DAZ on" : "");
    std::fprintf(out, "| comparison | Talvex | peer | per | Talvex ms | peer ms | ratio | goal | met |\n");
    std::fprintf(out, "|---|---|---|---|---:|---:|---:|---:|---|\n");
    for (const Row& r : rows) {
        if (!r.ok) {
            std::fprintf(out, "| %s | %s | %s | | | | | <= %.2f | not measured: %s |\n", r.name.c_str(),
                         r.talvexName.c_str(), r.peerName.c_str(), r.goal, r.note.c_str());
            continue;
        }
        std::fprintf(out, "| %s | %s | %s | %s | %.3f | %.3f | %.2f | <= %.2f | %s |\n", r.name.c_str(),
                     r.talvexName.c_str(), r.peerName.c_str(), r.unit.c_str(), r.talvexMs, r.peerMs, r.ratio, r.goal,
                     r.ratio <= r.goal ? "yes" : "NO");
    }
    std::fclose(out);
}

void voicesScan(const Comparison& c, const Options& options, const StereoSignal& noise) {
    std::printf("\nvoice scaling (%s): CPU ms per s of audio, whole instrument\n", c.name.c_str());
    std::printf("  notes   Talvex     peer\n");
    for (int notes : {1, 2, 4, 8, 12, 16}) {
        const Pair pair = measure(c, options, noise, notes);
        const Measured& t = pair.talvex;
        const Measured& p = pair.peer;
        std::printf("  %5d %8.3f %8.3f\n", notes, t.ok ? unitCostMs(t, options.plan) * notes : -1.0,
                    p.ok ? unitCostMs(p, options.plan) * notes : -1.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) return 1;
#if defined(BENCH_HAS_MXCSR)
    // Hosts commonly run their audio threads with denormals flushed; both
    // sides get the same.
    if (options.ftz) _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
    RenderHost host(HostIdentity{}, options.plan.sampleRate, options.plan.blockSize);
    if (!options.listSource.empty()) return listParameters(options);

    const StereoSignal noise = swellingNoise(options.plan.sampleRate, options.plan.seconds);
    std::vector<Row> rows;
    for (Comparison c : comparisons(options.vstFolder)) {
        if (!selected(options, c.name)) continue;
        for (const Setting& s : options.talvexSettings) c.talvex.settings.push_back(s);
        for (const Setting& s : options.peerSettings) c.peer.settings.push_back(s);
        std::printf("%s\n", c.name.c_str());
        std::fflush(stdout);
        const Pair pair = measure(c, options, noise, kChordNotes);
        const Measured& t = pair.talvex;
        const Measured& p = pair.peer;
        printSide("Talvex", t, options.plan);
        printSide("peer", p, options.plan);
        Row row;
        row.name = c.name;
        row.talvexName = t.ok ? t.name : c.talvex.source;
        row.peerName = p.ok ? p.name : c.peer.source;
        row.goal = c.goalRatio;
        row.unit = c.instrument ? "voice-s" : "channel-s";
        row.ok = t.ok && p.ok;
        if (row.ok) {
            row.talvexMs = unitCostMs(t, options.plan);
            row.peerMs = unitCostMs(p, options.plan);
            row.ratio = row.talvexMs / row.peerMs;
            std::printf("  ratio %.3f (goal <= %.2f): %s\n", row.ratio, row.goal, row.ratio <= row.goal ? "met" : "NOT MET");
        } else {
            row.note = !t.ok ? t.error : p.error;
        }
        rows.push_back(row);
        std::fflush(stdout);
        if (c.instrument && options.voicesScan) voicesScan(c, options, noise);
    }
    if (!options.markdownPath.empty()) writeMarkdown(options.markdownPath, rows, options);
    return 0;
}
