// bench_projects: what a whole project costs through the plug-in object.
// For every built-in project: the time to load it (built-in project call)
// and to change to a user program that holds it, the render speed of its
// demonstration in host blocks of each size asked for (real-time factor on
// the thread's CPU clock and the worst block, on the monotonic clock, against
// its deadline), the cost
// of a block when the project sits idle (transport stopped, no note
// sounding, tails ended), and the resident memory. Then many project changes
// in a row, for memory growth.
//
// The demonstration is rendered --repetitions times per block size: the
// speed is the median, and a block's cost is the least it took over the
// repetitions (the render is the same each time, so a spike that the render
// makes shows in every one, while the machine's own stalls, a preempted
// virtual CPU or a timer interrupt, fall on other blocks each time).
//
//   bench_projects [--blocks 512,64] [--repetitions N] [--changes N]
//                  [--only NAME] [--markdown FILE] [--idle-only 1] [--worst-blocks N]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <time.h>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "host/effect.h"
#include "modules/sample_store.h"

namespace {

VstTimeInfo gTime{};

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterGetTime:
            return reinterpret_cast<VstIntPtr>(&gTime);
        default:
            return 0;
    }
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double wallSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Resident set size in MB, from the kernel's own count.
double residentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0.0;
}

double sampleStoreMb() {
    const SampleLibrary& library = SampleLibrary::shared();
    std::set<const DecodedSample*> seen;
    double bytes = 0.0;
    for (size_t i = 0; i < library.size(); ++i) {
        for (SampleChannels layout : {SampleChannels::AsStored, SampleChannels::MonoMix}) {
            const auto sample = library.find(library.keyAt(i).c_str(), layout);
            if (sample && seen.insert(sample.get()).second)
                bytes += static_cast<double>(sample->samples.capacity() * sizeof(int16_t));
        }
    }
    return bytes / (1024.0 * 1024.0);
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

struct Options {
    std::vector<int> blocks{512, 64};
    int repetitions = 5;
    int changes = 1000;
    std::string only;
    std::string markdown;
    bool demo = true;  // --idle-only: no demonstration, idle blocks only (profiling)
    int worstBlocks = 0;  // --worst-blocks N: where the N dearest blocks of each demonstration lie
};

Options gOptions;

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return false;
        const char* v = argv[++i];
        if (a == "--blocks") {
            o.blocks.clear();
            std::stringstream list(v);
            for (std::string s; std::getline(list, s, ',');)
                if (std::atoi(s.c_str()) > 0) o.blocks.push_back(std::atoi(s.c_str()));
        } else if (a == "--repetitions") {
            o.repetitions = std::max(1, std::atoi(v));
        } else if (a == "--changes") {
            o.changes = std::max(0, std::atoi(v));
        } else if (a == "--only") {
            o.only = v;
        } else if (a == "--idle-only") {
            o.demo = std::atoi(v) == 0;
        } else if (a == "--markdown") {
            o.markdown = v;
        } else if (a == "--worst-blocks") {
            o.worstBlocks = std::max(0, std::atoi(v));
        } else {
            return false;
        }
    }
    return !o.blocks.empty();
}

constexpr double kRate = 44100.0;
constexpr double kLongestDemoSeconds = 120.0;

class Instance {
public:
    Instance() {
        gTime = VstTimeInfo{};
        gTime.sampleRate = kRate;
        gTime.tempo = 120.0;
        gTime.timeSigNumerator = 4;
        gTime.timeSigDenominator = 4;
        gTime.flags = kVstTimeSigValid;  // transport stopped; the demonstration runs on the own clock
        effect_ = (new Effect(&hostCallback))->getAeffect();
        main_ = static_cast<Effect*>(static_cast<AudioEffect*>(effect_->object));
        effect_->dispatcher(effect_, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
        // Like a host, it announces the longest block it will send.
        if (!gOptions.blocks.empty()) {
            const int longest = *std::max_element(gOptions.blocks.begin(), gOptions.blocks.end());
            effect_->dispatcher(effect_, effSetBlockSize, 0, longest, nullptr, 0.0f);
        }
        effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
        left_.assign(16384, 0.0f);
        right_.assign(16384, 0.0f);
        // Multi-output instances ask for more pairs; every pin gets a buffer.
        pins_.assign(static_cast<size_t>(std::max(2, effect_->numOutputs)), std::vector<float>(16384, 0.0f));
        for (size_t i = 0; i < pins_.size(); ++i) outs_.push_back(pins_[i].data());
    }
    ~Instance() { effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f); }

    Effect& main() { return *main_; }
    AEffect* effect() { return effect_; }

    bool loadProject(int k) {
        return effect_->dispatcher(effect_, effVendorSpecific, kVendorDemoIndex, kVendorProjectValue, nullptr,
                                   static_cast<float>(k)) == 1;
    }
    void setProgram(int p) { effect_->dispatcher(effect_, effSetProgram, 0, p, nullptr, 0.0f); }
    void demo(bool on) {
        effect_->dispatcher(effect_, effVendorSpecific, kVendorDemoIndex, kVendorDemoValue, nullptr, on ? 1.0f : 0.0f);
    }
    // One block; returns its wall seconds. The thread's CPU clock is a
    // system call here (about 1.4 us on a virtual machine, a tenth of a
    // 64-frame block of a heavy project), so it is read around whole runs
    // of blocks, and single blocks are timed on the monotonic clock (a few
    // tens of ns), whose preempted blocks the repetitions filter out.
    double block(int frames) {
        const double t0 = wallSeconds();
        effect_->processReplacing(effect_, nullptr, outs_.data(), frames);
        return wallSeconds() - t0;
    }
    float peak(int frames) const {
        float p = 0.0f;
        for (int i = 0; i < frames; ++i) p = std::max({p, std::fabs(outs_[0][i]), std::fabs(outs_[1][i])});
        return p;
    }

private:
    AEffect* effect_ = nullptr;
    Effect* main_ = nullptr;
    std::vector<float> left_, right_;
    std::vector<std::vector<float>> pins_;
    std::vector<float*> outs_;
};

struct DemoRun {
    double realTime = 0.0;       // audio seconds per CPU second
    double worstLoad = 0.0;      // worst block's time (monotonic clock) / its duration
    double p999Load = 0.0;       // 99.9th percentile of the same
    double seconds = 0.0;        // length rendered
};

// Kept out of line so that a profiler can count the demonstration alone
// (valgrind --toggle-collect='*renderDemo*').
#if defined(__GNUC__)
__attribute__((noinline))
#endif
DemoRun renderDemo(Instance& in, int block, std::vector<double>& blocks) {
    in.demo(true);
    blocks.clear();
    const long limit = static_cast<long>(kLongestDemoSeconds * kRate);
    blocks.reserve(static_cast<size_t>(limit / block + 1));
    long frames = 0;
    // The first block starts it; the demonstration ends when its request clears.
    const double t0 = threadSeconds();
    do {
        blocks.push_back(in.block(block));
        frames += block;
    } while ((in.main().demonstrationPlaying() || frames < block * 4) && frames < limit);
    const double total = threadSeconds() - t0;
    in.demo(false);
    DemoRun r;
    r.seconds = static_cast<double>(frames) / kRate;
    r.realTime = total > 0.0 ? r.seconds / total : 0.0;
    const double deadline = block / kRate;
    if (gOptions.worstBlocks > 0) {
        // Where the dearest blocks lie (seconds into the demonstration), to
        // tell a spike the render makes (the same blocks run after run) from
        // the machine's (others each time).
        std::vector<size_t> order(blocks.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        const size_t n = std::min(order.size(), static_cast<size_t>(gOptions.worstBlocks));
        std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n), order.end(),
                          [&](size_t a, size_t b) { return blocks[a] > blocks[b]; });
        std::printf("  worst @%d:", block);
        for (size_t i = 0; i < n; ++i)
            std::printf(" %.3f s %.1f%%", static_cast<double>(order[i]) * block / kRate,
                        100.0 * blocks[order[i]] / deadline);
        std::printf("\n");
    }
    return r;
}

// The repetitions of one block size as one figure: the median speed, and the
// worst block and 99.9th percentile of each block's least cost.
DemoRun combineDemoRuns(const std::vector<DemoRun>& runs, const std::vector<std::vector<double>>& blockSeconds,
                        int block) {
    DemoRun r;
    if (runs.empty()) return r;
    std::vector<double> speeds;
    for (const DemoRun& run : runs) speeds.push_back(run.realTime);
    r.realTime = median(speeds);
    r.seconds = runs.front().seconds;
    size_t count = blockSeconds.front().size();
    for (const auto& b : blockSeconds) count = std::min(count, b.size());
    if (count == 0) return r;
    std::vector<double> least(count);
    for (size_t i = 0; i < count; ++i) {
        least[i] = blockSeconds.front()[i];
        for (const auto& b : blockSeconds) least[i] = std::min(least[i], b[i]);
    }
    std::sort(least.begin(), least.end());
    const double deadline = block / kRate;
    r.worstLoad = least.back() / deadline;
    r.p999Load = least[static_cast<size_t>(0.999 * static_cast<double>(count - 1))] / deadline;
    return r;
}

// Renders until the output has been silent for 8 s (tails ended, and the
// tracks past the 7 s after which they sleep), then times idle blocks;
// returns the mean cost against the deadline.
double idleLoad(Instance& in, int block) {
    const uint8_t allOff[3] = {0xB0, 123, 0};
    in.main().dispatchMidi(allOff, 0);
    const long limit = static_cast<long>(40.0 * kRate);
    long silentFrames = 0;
    for (long f = 0; f < limit && silentFrames < static_cast<long>(8.0 * kRate); f += block) {
        in.block(block);
        silentFrames = in.peak(block) < 1e-5f ? silentFrames + block : 0;
    }
    const int count = static_cast<int>(2.0 * kRate / block);
    const double t0 = threadSeconds();
    for (int i = 0; i < count; ++i) in.block(block);
    return (threadSeconds() - t0) / count / (block / kRate);
}

struct ProjectFigures {
    std::string name;
    // Thread CPU time of the loading thread (the work), and wall time (what a
    // user waits, which on a busy machine includes other processes' turns).
    double loadMs = 0.0, programChangeMs = 0.0, loadWallMs = 0.0, programChangeWallMs = 0.0, residentMb = 0.0;
    std::vector<DemoRun> runs;  // one per block size
    std::vector<double> idle;   // one per block size
};

// The project goals, each against the dearest project for it: the slowest
// demonstration at 512 and at 64 frames, the worst block at 64 frames, the
// dearest idle block, load and user program change, and the resident size
// with the heaviest project loaded (after every project before it, so an
// upper bound of what it needs alone) against 24 MB plus the decoded samples.
void writeGoals(std::FILE* out, const std::vector<ProjectFigures>& figures, const Options& options, double storeMb,
                double growthMb) {
    const auto column = [&](int block) {
        for (size_t b = 0; b < options.blocks.size(); ++b)
            if (options.blocks[b] == block) return static_cast<int>(b);
        return -1;
    };
    const auto met = [](bool ok) { return ok ? "yes" : "no"; };
    std::fprintf(out, "\n| goal | dearest project | measured | met |\n|---|---|---:|---|\n");
    for (const int block : {512, 64}) {
        const int b = column(block);
        if (b < 0 || !options.demo) continue;
        const double goal = block == 512 ? 150.0 : 100.0;
        size_t slowest = 0;
        for (size_t i = 1; i < figures.size(); ++i)
            if (figures[i].runs[b].realTime < figures[slowest].runs[b].realTime) slowest = i;
        const double speed = figures[slowest].runs[b].realTime;
        std::fprintf(out, "| demonstration at least %.0f x real time at %d frames | %s | %.0f x | %s |\n", goal, block,
                     figures[slowest].name.c_str(), speed, met(speed >= goal));
    }
    if (const int b = column(64); b >= 0 && options.demo) {
        size_t worst = 0;
        for (size_t i = 1; i < figures.size(); ++i)
            if (figures[i].runs[b].worstLoad > figures[worst].runs[b].worstLoad) worst = i;
        const double load = 100.0 * figures[worst].runs[b].worstLoad;
        std::fprintf(out, "| worst block under 10 %% of its deadline at 64 frames | %s | %.1f %% | %s |\n",
                     figures[worst].name.c_str(), load, met(load < 10.0));
    }
    size_t idlest = 0, idleBlock = 0, loads = 0, changes = 0, heaviest = 0;
    for (size_t i = 0; i < figures.size(); ++i) {
        for (size_t b = 0; b < figures[i].idle.size(); ++b)
            if (figures[i].idle[b] > figures[idlest].idle[idleBlock]) idlest = i, idleBlock = b;
        if (figures[i].loadMs > figures[loads].loadMs) loads = i;
        if (figures[i].programChangeMs > figures[changes].programChangeMs) changes = i;
        if (!figures[i].runs.empty() && figures[i].runs[0].realTime < figures[heaviest].runs[0].realTime)
            heaviest = i;
    }
    if (!figures[idlest].idle.empty()) {
        const double idle = 100.0 * figures[idlest].idle[idleBlock];
        std::fprintf(out, "| idle block under 1 %% of its deadline | %s (%d frames) | %.3f %% | %s |\n",
                     figures[idlest].name.c_str(), options.blocks[idleBlock], idle, met(idle < 1.0));
    }
    std::fprintf(out, "| project load at most 30 ms (CPU) | %s | %.1f ms | %s |\n", figures[loads].name.c_str(),
                 figures[loads].loadMs, met(figures[loads].loadMs <= 30.0));
    std::fprintf(out, "| user program change at most 15 ms (CPU) | %s | %.1f ms | %s |\n",
                 figures[changes].name.c_str(), figures[changes].programChangeMs,
                 met(figures[changes].programChangeMs <= 15.0));
    const double residentGoal = 24.0 + storeMb;
    std::fprintf(out, "| resident at most %.1f MB (24 MB and the decoded samples) with the heaviest project loaded, in this process | %s | %.1f MB | %s |\n",
                 residentGoal, figures[heaviest].name.c_str(), figures[heaviest].residentMb,
                 met(figures[heaviest].residentMb <= residentGoal));
    if (options.changes > 0)
        std::fprintf(out, "| no growth over %d project changes (at most +0.5 MB) | all | %+.2f MB | %s |\n",
                     options.changes, growthMb, met(growthMb <= 0.5));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: bench_projects [--blocks 512,64] [--repetitions N] [--changes N] [--only NAME]"
                     " [--markdown FILE] [--worst-blocks N]\n");
        return 1;
    }
    gOptions = options;
#if defined(__SSE__) || defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() | 0x8040);  // hosts run their audio threads with denormals flushed
#endif
    const double startMb = residentMb();
    const double constructStart = wallSeconds();
    Instance in;
    const double constructMs = 1000.0 * (wallSeconds() - constructStart);
    const std::vector<std::string> names = in.main().projectNames();
    const double storeMb = sampleStoreMb();
    std::printf("instance construction %.1f ms, sample store %.1f MB decoded, resident %.1f MB (%.1f before)\n",
                constructMs, storeMb, residentMb(), startMb);

    std::vector<ProjectFigures> figures;
    for (size_t k = 0; k < names.size(); ++k) {
        if (!options.only.empty() && names[k] != options.only) continue;
        const int other = k == 0 ? 1 : 0;
        ProjectFigures f;
        f.name = names[k];
        std::vector<double> loads, changes, loadsWall, changesWall;
        for (int r = 0; r < options.repetitions; ++r) {
            in.loadProject(other);
            const double w0 = wallSeconds(), t0 = threadSeconds();
            in.loadProject(static_cast<int>(k));
            loads.push_back(threadSeconds() - t0);
            loadsWall.push_back(wallSeconds() - w0);
        }
        // User program 1 holds this project, user program 0 another one
        // (a built-in project load stores into the current program).
        in.setProgram(0);
        in.loadProject(static_cast<int>(k));
        in.main().storeCurrentState(1);
        in.loadProject(other);
        for (int r = 0; r < options.repetitions; ++r) {
            in.setProgram(0);
            const double w0 = wallSeconds(), t0 = threadSeconds();
            in.setProgram(1);
            changes.push_back(threadSeconds() - t0);
            changesWall.push_back(wallSeconds() - w0);
        }
        f.loadMs = 1000.0 * median(loads);
        f.programChangeMs = 1000.0 * median(changes);
        f.loadWallMs = 1000.0 * median(loadsWall);
        f.programChangeWallMs = 1000.0 * median(changesWall);
        f.residentMb = residentMb();
        for (int block : options.blocks) {
            std::vector<DemoRun> runs;
            std::vector<std::vector<double>> blockSeconds(static_cast<size_t>(options.repetitions));
            for (int r = 0; options.demo && r < options.repetitions; ++r) {
                in.loadProject(static_cast<int>(k));
                runs.push_back(renderDemo(in, block, blockSeconds[static_cast<size_t>(r)]));
            }
            if (!options.demo) in.loadProject(static_cast<int>(k));
            f.runs.push_back(options.demo ? combineDemoRuns(runs, blockSeconds, block) : DemoRun{});
            f.idle.push_back(idleLoad(in, block));
        }
        std::printf("%-20s load %5.1f ms (wall %5.1f)  program change %5.1f ms (wall %5.1f)  resident %5.1f MB",
                    f.name.c_str(), f.loadMs, f.loadWallMs, f.programChangeMs, f.programChangeWallMs, f.residentMb);
        for (size_t b = 0; b < options.blocks.size(); ++b)
            std::printf("  | %d: %6.0fx worst %5.1f%% idle %6.3f%%", options.blocks[b], f.runs[b].realTime,
                        100.0 * f.runs[b].worstLoad, 100.0 * f.idle[b]);
        if (options.demo && !f.runs.empty()) std::printf("  | demo %.2f s", f.runs[0].seconds);
        std::printf("\n");
        std::fflush(stdout);
        figures.push_back(f);
    }
    if (figures.empty()) {
        std::fprintf(stderr, "no project named %s\n", options.only.c_str());
        return 1;
    }

    // The heaviest project: the slowest demonstration at the first block size.
    size_t heaviest = 0;
    for (size_t i = 1; i < figures.size(); ++i)
        if (figures[i].runs[0].realTime < figures[heaviest].runs[0].realTime) heaviest = i;

    // Memory over many project changes.
    double beforeMb = residentMb(), afterMb = beforeMb;
    if (options.changes > 0) {
        for (int c = 0; c < options.changes / 2; ++c) in.loadProject(c % static_cast<int>(names.size()));
        beforeMb = residentMb();
        for (int c = 0; c < options.changes; ++c) in.loadProject(c % static_cast<int>(names.size()));
        afterMb = residentMb();
    }
    std::printf("heaviest %s; resident %.1f MB after %d warm-up changes, %.1f MB after %d more (growth %+.2f MB)\n",
                figures[heaviest].name.c_str(), beforeMb, options.changes / 2, afterMb, options.changes,
                afterMb - beforeMb);

    if (!options.markdown.empty()) {
        std::FILE* out = std::fopen(options.markdown.c_str(), "w");
        if (out == nullptr) {
            std::fprintf(stderr, "cannot write %s\n", options.markdown.c_str());
            return 1;
        }
        std::fprintf(out, "| project | load ms (CPU / wall) | user program change ms (CPU / wall) | resident MB |");
        for (int b : options.blocks) std::fprintf(out, " x real time @%d | worst block @%d | idle @%d |", b, b, b);
        std::fprintf(out, "\n|---|---:|---:|---:|");
        for (size_t b = 0; b < options.blocks.size(); ++b) std::fprintf(out, "---:|---:|---:|");
        std::fprintf(out, "\n");
        for (size_t i = 0; i < figures.size(); ++i) {
            const ProjectFigures& f = figures[i];
            std::fprintf(out, "| %s%s | %.1f / %.1f | %.1f / %.1f | %.1f |", f.name.c_str(),
                         i == heaviest ? " (heaviest)" : "", f.loadMs, f.loadWallMs, f.programChangeMs,
                         f.programChangeWallMs, f.residentMb);
            for (size_t b = 0; b < options.blocks.size(); ++b)
                std::fprintf(out, " %.0f | %.1f %% | %.3f %% |", f.runs[b].realTime, 100.0 * f.runs[b].worstLoad,
                             100.0 * f.idle[b]);
            std::fprintf(out, "\n");
        }
        std::fprintf(out,
                     "\nInstance construction %.1f ms. Decoded sample store %.1f MB. Resident size %.1f MB after %d "
                     "warm-up project changes, %.1f MB after %d more (growth %+.2f MB).\n",
                     constructMs, storeMb, beforeMb, options.changes / 2, afterMb, options.changes, afterMb - beforeMb);
        writeGoals(out, figures, options, storeMb, afterMb - beforeMb);
        std::fclose(out);
    }
    return 0;
}
