// The whole engine on the audio thread: every built-in project's
// demonstration, played as a host plays it (live notes and controllers,
// automation of all 80 host parameters from the audio thread, MIDI program
// changes that the timer carries out, a transport that starts and stops, a
// sample-rate change mid-performance, block sizes from 1 to 4096), with
// every allocation, lock, wait and system call inside processEvents,
// setParameter and processReplacing counted by the probe.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "editor/editor.h"
#include "platform/registry_store.h"
#include "tests/campaign/audio_thread_probe.h"
#include "project/project.h"
#include "tests/campaign/campaign_host.h"
#include "tests/support/project_slices.h"

namespace {

using campaign::EventList;
using campaign::OutputBuffers;

struct Figures {
    long blocks = 0;
    long frames = 0;
    long audioCalls = 0;
    long programChanges = 0;
    long rateChanges = 0;
    long soundChoices = 0;
    float masterPeak = 0.0f;
    float peak = 0.0f;  // every output, the tracks' own pairs included
};

class RealtimeSafety : public ::testing::Test {
protected:
    // Plays the projects of one slice of the library (see project_slices.h):
    // user program j holds the slice's j-th project.
    void create(bool multiOutput, int slice) {
        campaign::useFreshSettingsFolder(multiOutput ? "realtime_multi" : "realtime");
        if (multiOutput)
            platform::RegistryStore::writeDword("software\\TalvexBass\\Settings", "MultiOutputsMode", 1);
        host.time.flags = kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
        host.time.tempo = 124.0;
        host.time.sampleRate = 44100.0;
        effect = VSTPluginMain(&TestHost::callback);
        ASSERT_NE(effect, nullptr);
        main = campaign::mainObject(effect);
        ASSERT_EQ(effect->numOutputs, multiOutput ? 20 : 2);
        names = main->projectNames();
        ASSERT_GE(names.size(), 8u);
        // User program j holds the slice's j-th project, so that a MIDI
        // program change j on the audio thread makes the timer load it.
        played = project_slices::projectsOfSlice(slice, static_cast<int>(names.size()));
        ASSERT_FALSE(played.empty());
        ASSERT_LE(played.size(), static_cast<size_t>(kNumUserPrograms));
        for (size_t j = 0; j < played.size(); ++j) {
            effect->dispatcher(effect, effSetProgram, 0, static_cast<VstIntPtr>(j), nullptr, 0.0f);
            ASSERT_TRUE(campaign::loadBuiltInProject(effect, played[j]));
        }
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        // The editor's oscilloscope on: every block also feeds its ring.
        static_cast<Editor*>(main->getEditor())->model().mirror().scopeWanted = true;
        audio_probe::reset();
    }
    // Frames the renderer handed to the oscilloscope so far.
    uint32_t scopeFrames() {
        return static_cast<Editor*>(main->getEditor())->model().mirror().scope.readLatest(nullptr, nullptr, 0);
    }
    void TearDown() override {
        if (effect != nullptr) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }

    // One host block: events, automation, render, all as audio calls.
    void block(int frames, EventList& events, bool automate) {
        {
            audio_probe::AudioCall call;
            if (events.size() > 0) effect->dispatcher(effect, effProcessEvents, 0, 0, events.events(), 0.0f);
            if (automate) {
                // Eight of the 80 parameters move each block, so that every
                // one moves within ten blocks, each on its own sweep.
                for (int k = 0; k < 8; ++k) {
                    const int index = static_cast<int>((automationStep * 8 + k) % kNumHostParameters);
                    const float v = 0.5f + 0.5f * std::sin(0.37f * static_cast<float>(automationStep) + index);
                    effect->setParameter(effect, index, v);
                }
                ++automationStep;
            }
            effect->processReplacing(effect, nullptr, buffers->pointers(), frames);
        }
        figures.audioCalls += 1;
        figures.blocks += 1;
        figures.frames += frames;
        figures.masterPeak = std::max(figures.masterPeak, buffers->peak(frames, 0, 2));
        figures.peak = std::max(figures.peak, buffers->peak(frames, 0, buffers->channels()));
        host.time.samplePos += frames;
        host.time.ppqPos = host.time.samplePos / host.time.sampleRate * host.time.tempo / 60.0;
        events.clear();
    }

    // The name of the project user program j holds.
    const std::string& nameOf(int j) const { return names[static_cast<size_t>(played[static_cast<size_t>(j)])]; }

    // Program change p over MIDI; blocks render (silence, mostly) until the
    // timer has loaded the program's project.
    void programChangeOverMidi(int p) {
        EventList events(4);
        events.add(0, 0xC0, static_cast<uint8_t>(p), 0);
        const auto start = std::chrono::steady_clock::now();
        block(256, events, false);
        while (!(main->getProgram() == p && main->loadedProjectName() == nameOf(p) &&
                 main->programChangeCounter().load() == 0)) {
            block(256, events, true);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10))
                << "the timer did not carry out program change " << p;
        }
        ++figures.programChanges;
    }

    // Plays program j's demonstration to its end (at most maxSeconds); the
    // block size, rate and transport follow the project's place in the
    // library.
    void playDemonstration(int j, double maxSeconds) {
        const int p = played[static_cast<size_t>(j)];
        static constexpr int kBlockSizes[] = {512, 64, 1024, 1, 7, 4096, 256, 333};
        static constexpr double kRates[] = {44100.0, 48000.0, 96000.0, 22050.0, 88200.0, 32000.0};
        const int frames = kBlockSizes[static_cast<size_t>(p) % std::size(kBlockSizes)];
        host.time.sampleRate = kRates[static_cast<size_t>(p) % std::size(kRates)];
        // Every other project plays against a running host transport.
        if (p % 2 == 1)
            host.time.flags |= kVstTransportPlaying;
        else
            host.time.flags &= ~kVstTransportPlaying;
        campaign::startDemonstration(effect, true);
        EventList events(64);
        const long limit = static_cast<long>(maxSeconds * host.time.sampleRate);
        long played = 0;
        bool started = false;
        bool rateChanged = false;
        int n = 0;
        while (played < limit) {
            // Live playing on top of the performance: a chord on each of the
            // first channels, released half a second later; the mod wheel,
            // pitch bend and a pattern change now and then.
            const long t = played % static_cast<long>(host.time.sampleRate);
            if (t < frames) {
                for (int c = 0; c < 4; ++c) events.add(frames / 2, static_cast<uint8_t>(0x90 + c), 60 + 4 * c, 100);
                events.add(0, 0xE0, 0, static_cast<uint8_t>(32 + n % 64));
                events.add(frames - 1, 0xB0, 0, static_cast<uint8_t>(n % 4));
            } else if (t >= static_cast<long>(host.time.sampleRate / 2) &&
                       t < static_cast<long>(host.time.sampleRate / 2) + frames) {
                for (int c = 0; c < 4; ++c) events.add(0, static_cast<uint8_t>(0x80 + c), 60 + 4 * c, 0);
                events.add(0, 0xB0, 1, 64);
            }
            block(frames, events, true);
            played += frames;
            ++n;
            if (main->demonstrationPlaying()) started = true;
            if (started && !main->demonstrationPlaying()) break;
            // Half-way through the host changes its rate.
            if (!rateChanged && played > limit / 4) {
                host.time.sampleRate = host.time.sampleRate == 44100.0 ? 48000.0 : 44100.0;
                rateChanged = true;
                ++figures.rateChanges;
            }
        }
        EXPECT_TRUE(started) << nameOf(j) << ": the demonstration never started";
        campaign::startDemonstration(effect, false);
        EventList none(1);
        block(frames, none, false);
    }

    void run(bool multiOutput, double secondsPerProject, int slice) {
        create(multiOutput, slice);
        if (HasFatalFailure()) return;
        buffers = std::make_unique<OutputBuffers>(effect->numOutputs);
        const int projects = static_cast<int>(played.size());
        for (int p = 0; p < projects; ++p) {
            programChangeOverMidi(p);
            if (HasFatalFailure()) return;
            playDemonstration(p, secondsPerProject);
        }
        const audio_probe::Counts c = audio_probe::counts();
        std::printf("[ figures  ] %s: %d projects, %ld blocks, %ld frames, %ld program changes by the timer, "
                    "%ld rate changes, master peak %.3f, peak of all outputs %.3f\n",
                    multiOutput ? "20 outputs" : "stereo", projects, figures.blocks, figures.frames,
                    figures.programChanges, figures.rateChanges, static_cast<double>(figures.masterPeak),
                    static_cast<double>(figures.peak));
        std::printf("[ figures  ] audio thread (%s): %ld allocations, %ld releases, %ld locks, %ld waits, "
                    "%ld system calls, %ld voluntary context switches, %ld major page faults\n",
                    audio_probe::allocationProbe(), c.allocations, c.frees, c.locks, c.waits, c.systemCalls,
                    c.voluntarySwitches, c.majorFaults);
        EXPECT_TRUE(c.clean()) << audio_probe::report();
        // A thread that blocked in the kernel without any of the calls above
        // (a futex reached some other way) still shows as a voluntary switch;
        // only a page brought back from disk may explain one.
        EXPECT_LE(c.voluntarySwitches, c.majorFaults);
        // The master pair is limited; the tracks' own pairs carry the module
        // output before the strip and may be loud, but never other than finite.
        EXPECT_LE(figures.masterPeak, 0.99f);
        EXPECT_TRUE(std::isfinite(figures.peak));
    }

    // The editor's sound list: program changes of every track's main module
    // asked for from this (the editor's) thread while notes sound, carried
    // out by the audio thread at the start of the next block.
    void chooseSoundsWhilePlaying(int p) {
        host.time.sampleRate = 44100.0;
        host.time.flags |= kVstTransportPlaying;
        Project& project = *main->project();
        const int tracks = static_cast<int>(project.tracks.size());
        EventList events(64);
        for (int c = 0; c < 4; ++c) events.add(0, static_cast<uint8_t>(0x90 + c), 48 + 7 * c, 110);
        block(256, events, false);
        for (int round = 0; round < 6; ++round) {
            std::vector<int> wanted(static_cast<size_t>(tracks), -1);
            for (int t = 0; t < tracks; ++t) {
                const int count = project.tracks[static_cast<size_t>(t)]->mainSlot().programCount();
                if (count <= 0) continue;
                // The last program, the first, one between, and back.
                const int choices[] = {count - 1, 0, count / 2, 1 % count, count - 1, 0};
                wanted[static_cast<size_t>(t)] = choices[round];
                // A request is refused while the timer carries out a program
                // change or an edit (the automation moves parameters that
                // cause some): the editor asks again at its next idle call.
                for (int attempt = 0; !main->requestMainModuleProgram(t, choices[round]); ++attempt) {
                    ASSERT_LT(attempt, 500) << nameOf(p) << ": refused for 500 blocks";
                    block(64, events, false);
                }
            }
            block(round % 2 == 0 ? 64 : 1024, events, round % 3 == 0);
            // A block that an edit of the timer's keeps out (the automation
            // moves parameters that cause some) carries out nothing: the
            // requests wait for the next block that renders.
            const auto carriedOut = [&] {
                for (int t = 0; t < tracks; ++t)
                    if (wanted[static_cast<size_t>(t)] >= 0 &&
                        main->mainModuleProgram(t) != wanted[static_cast<size_t>(t)])
                        return false;
                return true;
            };
            for (int wait = 0; !carriedOut() && wait < 500; ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                block(64, events, false);
            }
            for (int t = 0; t < tracks; ++t)
                if (wanted[static_cast<size_t>(t)] >= 0) {
                    EXPECT_EQ(main->mainModuleProgram(t), wanted[static_cast<size_t>(t)]) << nameOf(p);
                    ++figures.soundChoices;
                }
            for (int b = 0; b < 8; ++b) block(512, events, true);
        }
        for (int c = 0; c < 4; ++c) events.add(0, static_cast<uint8_t>(0x80 + c), 48 + 7 * c, 0);
        block(256, events, false);
        host.time.flags &= ~kVstTransportPlaying;
    }

    TestHost host;
    AEffect* effect = nullptr;
    Effect* main = nullptr;
    std::vector<std::string> names;
    std::vector<int> played;  // the built-in project each user program holds
    std::unique_ptr<OutputBuffers> buffers;
    Figures figures;
    long automationStep = 0;
};

// The probe itself: each kind of call it claims to see, made inside an audio
// call, is counted, and the same calls outside are not.
TEST(AudioThreadProbe, CountsAllocationsLocksWaitsAndSystemCallsOnlyInsideAudioCalls) {
    std::mutex mutex;
    auto everything = [&mutex] {
        delete new int(3);
        std::free(std::malloc(100));
        { std::lock_guard<std::mutex> lock(mutex); }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        std::FILE* f = std::fopen("/dev/null", "w");
        if (f != nullptr) {
            std::fprintf(f, "%d\n", 1);
            std::fclose(f);
        }
    };
    audio_probe::reset();
    everything();
    EXPECT_TRUE(audio_probe::counts().clean()) << audio_probe::report();
    {
        audio_probe::AudioCall call;
        everything();
    }
    const audio_probe::Counts c = audio_probe::counts();
    EXPECT_GE(c.allocations, 2);
    EXPECT_GE(c.frees, 2);
    EXPECT_GE(c.locks, 1);
    EXPECT_GE(c.waits, 1);
    EXPECT_GE(c.systemCalls, 2);
    EXPECT_GE(c.voluntarySwitches, 1);  // the sleep
    EXPECT_NE(audio_probe::report().find("first "), std::string::npos);
    audio_probe::reset();
}

// Not the audio thread, but counted the same way: a host that closes an
// instance with a project loaded gets its thread back without sleeps (each
// module's close used to pause 10 ms to let a block finish, although the
// renderer was already shut out).
TEST(InstanceClose, ClosingWithAProjectLoadedDoesNotSleep) {
    campaign::useFreshSettingsFolder("close");
    TestHost host;
    AEffect* effect = VSTPluginMain(&TestHost::callback);
    ASSERT_NE(effect, nullptr);
    ASSERT_TRUE(campaign::loadBuiltInProject(effect, 10));  // drums, sampler and keys: many modules
    ASSERT_GE(campaign::mainObject(effect)->project()->tracks.size(), 2u);
    audio_probe::reset();
    {
        audio_probe::AudioCall call;
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    EXPECT_EQ(audio_probe::sleeps(), 0) << audio_probe::report();
    audio_probe::reset();
}

// The sanitizer tree renders about ten times slower; it plays the first
// seconds of each demonstration rather than all of it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kSecondsScale = 0.15;
#else
constexpr double kSecondsScale = 1.0;
#endif

// One test per slice of the library, so that CTest runs them side by side.
class RealtimeSafetySlice : public RealtimeSafety, public ::testing::WithParamInterface<int> {};

TEST_P(RealtimeSafetySlice, EveryDemonstrationInStereoNeitherAllocatesLocksNorWaits) {
    run(false, 40.0 * kSecondsScale, GetParam());
    EXPECT_GT(scopeFrames(), 0u);
}

TEST_P(RealtimeSafetySlice, SoundsChosenInTheEditorChangeProgramsWithoutAllocatingLockingOrWaiting) {
    create(false, GetParam());
    if (HasFatalFailure()) return;
    buffers = std::make_unique<OutputBuffers>(effect->numOutputs);
    const int projects = static_cast<int>(played.size());
    for (int p = 0; p < projects; ++p) {
        programChangeOverMidi(p);
        if (HasFatalFailure()) return;
        chooseSoundsWhilePlaying(p);
        if (HasFatalFailure()) return;
    }
    const audio_probe::Counts c = audio_probe::counts();
    std::printf("[ figures  ] %d projects, %ld module program changes on the audio thread, %ld blocks; "
                "%ld allocations, %ld releases, %ld locks, %ld waits, %ld system calls\n",
                projects, figures.soundChoices, figures.blocks, c.allocations, c.frees, c.locks, c.waits,
                c.systemCalls);
    EXPECT_GE(figures.soundChoices, 6L * projects);  // every project has a module with programs
    EXPECT_TRUE(c.clean()) << audio_probe::report();
    EXPECT_TRUE(std::isfinite(figures.peak));
}

TEST_P(RealtimeSafetySlice, EveryDemonstrationWithTwentyOutputsNeitherAllocatesLocksNorWaits) {
    run(true, 6.0 * kSecondsScale, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Library, RealtimeSafetySlice, ::testing::Range(0, project_slices::kProjectSlices));

}  // namespace
