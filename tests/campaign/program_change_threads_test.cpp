// Program changes from every direction at once: the host's setProgram, the
// host's setChunk, the editor's built-in project loads, each on a thread of
// its own, and MIDI program changes that the renderer receives and the timer
// carries out, while a fourth thread renders and a fifth automates the 80
// host parameters. Every block must be finite and within the output limit,
// no audio call may be held up for as long as a program change takes, and
// no writer's wait for the renderer may reach the 5 s exclusion limit. (A
// change as a whole may take longer on a loaded machine: the three changing
// threads queue for one another, and the work itself runs under the
// sanitizer; only the wait for the renderer has the limit.)
//
// TALVEX_CAMPAIGN_CHANGES sets the number of changes made by the three
// changing threads together (300 by default; scripts/campaign-threads.sh
// runs 10,000); TALVEX_CAMPAIGN_SEED varies the random choices, so that a
// long campaign split into several runs does not repeat one sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "modulehost/edit_section.h"
#include "modulehost/render_wait_record.h"
#include "tests/campaign/campaign_host.h"
#include "tests/campaign/stdout_capture.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int changesWanted() {
    const char* text = std::getenv("TALVEX_CAMPAIGN_CHANGES");
    const int n = text != nullptr ? std::atoi(text) : 0;
    return n > 0 ? n : 300;
}

unsigned seedWanted() {
    const char* text = std::getenv("TALVEX_CAMPAIGN_SEED");
    return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 0u;
}

// Durations of the changes one thread made.
struct ChangeLog {
    std::vector<double> ms;
    void add(double d) { ms.push_back(d); }
};

TEST(ProgramChangeThreads, ChangesFromThreeThreadsNeverStallTheRendererNorTimeOut) {
    campaign::useFreshSettingsFolder("threads");
    TestHost host;
    host.time.flags = kVstTempoValid | kVstTimeSigValid | kVstTransportPlaying;
    host.time.tempo = 128.0;
    host.time.sampleRate = 44100.0;
    campaign::StdoutCapture captured;
    AEffect* effect = VSTPluginMain(&TestHost::callback);
    ASSERT_NE(effect, nullptr);
    Effect* main = campaign::mainObject(effect);
    const std::vector<std::string> names = main->projectNames();
    ASSERT_GE(names.size(), 4u);
    const int projects = static_cast<int>(std::min<size_t>(names.size(), kNumUserPrograms));
    // User program p holds project p; its program chunk is kept for the
    // setChunk thread.
    std::vector<std::vector<uint8_t>> programChunks;
    for (int p = 0; p < projects; ++p) {
        effect->dispatcher(effect, effSetProgram, 0, p, nullptr, 0.0f);
        ASSERT_TRUE(campaign::loadBuiltInProject(effect, p));
        void* data = nullptr;
        const VstInt32 size = static_cast<VstInt32>(effect->dispatcher(effect, effGetChunk, 1, 0, &data, 0.0f));
        ASSERT_GT(size, 0);
        programChunks.emplace_back(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    }
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    const int wanted = changesWanted();
    const unsigned seed = seedWanted();
    std::atomic<int> remaining{wanted};
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0}, excludedBlocks{0}, midiChanges{0}, badBlocks{0}, automationCalls{0};
    std::atomic<double> longestRenderMs{0.0}, longestExclusionMs{0.0};
    ChangeLog logs[3];

    // 4: the audio thread, paced at about real time (256 frames each 3 ms).
    std::thread renderer([&] {
        campaign::OutputBuffers out(2);
        campaign::EventList events(8);
        std::mt19937 random(4 + 4 * seed);
        Clock::time_point excludedSince{};
        bool excluded = false;
        while (!stop.load()) {
            events.clear();
            const long n = blocks.load();
            if (n % 40 == 0) {
                events.add(0, 0xC0, static_cast<uint8_t>(random() % projects), 0);
                ++midiChanges;
            }
            if (n % 8 == 0) events.add(3, 0x90, static_cast<uint8_t>(48 + random() % 24), 100);
            if (n % 8 == 4) events.add(5, 0xB0, 123, 0);
            const bool wasExcluded = main->programChangeCounter().load() > 0 || main->editCounter().load() > 0;
            const auto start = Clock::now();
            if (events.size() > 0) effect->dispatcher(effect, effProcessEvents, 0, 0, events.events(), 0.0f);
            effect->processReplacing(effect, nullptr, out.pointers(), 256);
            const double took = msSince(start);
            if (took > longestRenderMs.load()) longestRenderMs.store(took);
            if (!(out.peak(256, 0, 2) <= 0.99f)) ++badBlocks;
            host.time.samplePos += 256;
            if (wasExcluded) {
                ++excludedBlocks;
                if (!excluded) excludedSince = start;
                excluded = true;
                if (msSince(excludedSince) > longestExclusionMs.load()) longestExclusionMs.store(msSince(excludedSince));
            } else {
                excluded = false;
            }
            ++blocks;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });

    // 5: host automation of all 80 parameters, with the names a host shows.
    std::thread automation([&] {
        long step = 0;
        char name[64];
        while (!stop.load()) {
            const int index = static_cast<int>(step % kNumHostParameters);
            effect->setParameter(effect, index, 0.5f + 0.5f * std::sin(0.01f * static_cast<float>(step)));
            (void)effect->getParameter(effect, index);
            if (step % 16 == 0) effect->dispatcher(effect, effGetParamName, index, 0, name, 0.0f);
            ++step;
            ++automationCalls;
            if (step % 64 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    // 1 to 3: the changing threads.
    auto changer = [&](int kind) {
        std::mt19937 random(static_cast<unsigned>(kind + 1) + 4 * seed);
        while (remaining.fetch_sub(1) > 0) {
            const int p = static_cast<int>(random() % static_cast<unsigned>(projects));
            const auto start = Clock::now();
            switch (kind) {
                case 0:
                    effect->dispatcher(effect, effSetProgram, 0, p, nullptr, 0.0f);
                    break;
                case 1: {
                    std::vector<uint8_t> chunk = programChunks[static_cast<size_t>(p)];
                    effect->dispatcher(effect, effSetChunk, 1, static_cast<VstIntPtr>(chunk.size()), chunk.data(),
                                       0.0f);
                    void* data = nullptr;
                    effect->dispatcher(effect, effGetChunk, 0, 0, &data, 0.0f);
                    break;
                }
                default:
                    campaign::loadBuiltInProject(effect, p);
                    break;
            }
            logs[kind].add(msSince(start));
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 4));
        }
    };
    std::thread changers[3] = {std::thread(changer, 0), std::thread(changer, 1), std::thread(changer, 2)};
    for (auto& t : changers) t.join();
    // The timer carries out the last MIDI changes.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop.store(true);
    renderer.join();
    automation.join();
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    const std::string output = captured.finish();

    std::vector<double> all;
    for (const auto& log : logs) all.insert(all.end(), log.ms.begin(), log.ms.end());
    ASSERT_FALSE(all.empty());
    std::sort(all.begin(), all.end());
    const double median = all[all.size() / 2];
    const double longest = all.back();
    std::printf("[ figures  ] seed %u: %zu changes (setProgram %zu, setChunk %zu, project loads %zu) and %ld "
                "MIDI program changes sent; %ld blocks (%ld excluded), %ld automation calls\n",
                seed, all.size(), logs[0].ms.size(), logs[1].ms.size(), logs[2].ms.size(), midiChanges.load(),
                blocks.load(), excludedBlocks.load(), automationCalls.load());
    std::printf("[ figures  ] change took median %.1f ms, longest %.1f ms; longest audio call %.2f ms; "
                "longest silence while excluded %.1f ms; longest wait for the renderer %u ms\n",
                median, longest, longestRenderMs.load(), longestExclusionMs.load(), longestRenderWaitMs());

    EXPECT_EQ(badBlocks.load(), 0) << "blocks with a sample beyond 0.99 or not finite";
    EXPECT_GT(blocks.load() - excludedBlocks.load(), 0) << "nothing rendered outside the changes";
    // The renderer never waits: none of its calls lasts as long as a typical
    // program change.
    EXPECT_LT(longestRenderMs.load(), median);
    // No writer waited out the 5 s limit (an edit section's wait also
    // prints its line).
    EXPECT_LT(longestRenderWaitMs(), kRenderWaitLimitMs);
    EXPECT_EQ(output.find("InstruentTicks"), std::string::npos) << output;
}

}  // namespace
