// Instances made and destroyed as hosts do, again and again: create, open,
// resume, render with notes and the demonstration, suspend, close, in some
// cycles with a MIDI program change that the timer is carrying out when the
// host closes the instance. Under LeakSanitizer (the sanitizer tree) any
// leak fails the program; in the plain tree the heap in use after the cycles
// must come back to where it was after the first.
//
// TALVEX_CAMPAIGN_CYCLES sets the number of cycles (50 by default;
// scripts/campaign-lifecycle.sh runs 1,000).
#include <gtest/gtest.h>

#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "tests/campaign/campaign_host.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LIFECYCLE_SANITIZED 1
#endif

namespace {

int cyclesWanted() {
    const char* text = std::getenv("TALVEX_CAMPAIGN_CYCLES");
    const int n = text != nullptr ? std::atoi(text) : 0;
    return n > 0 ? n : 50;
}

size_t heapInUse() {
#ifdef LIFECYCLE_SANITIZED
    return 0;  // the sanitizer's allocator is not glibc's; LeakSanitizer judges
#else
    malloc_trim(0);
    return mallinfo2().uordblks;
#endif
}

// One cycle; midChange closes the instance while the timer is (most likely)
// carrying out a MIDI program change. Returns the rendered peak.
float cycle(TestHost& host, int n, bool midChange) {
    AEffect* effect = VSTPluginMain(&TestHost::callback);
    if (effect == nullptr) return -1.0f;
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, n % 2 == 0 ? 44100.0f : 48000.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    campaign::OutputBuffers out(effect->numOutputs);
    campaign::EventList events(8);
    if (n % 3 == 0) campaign::startDemonstration(effect, true);
    float peak = 0.0f;
    for (int b = 0; b < 8; ++b) {
        events.clear();
        if (b == 1) events.add(10, 0x90, static_cast<uint8_t>(48 + n % 24), 100);
        if (b == 6) events.add(0, 0x80, static_cast<uint8_t>(48 + n % 24), 0);
        if (midChange && b == 7) events.add(0, 0xC0, static_cast<uint8_t>(1 + n % 5), 0);
        if (events.size() > 0) effect->dispatcher(effect, effProcessEvents, 0, 0, events.events(), 0.0f);
        effect->processReplacing(effect, nullptr, out.pointers(), 256);
        host.time.samplePos += 256;
        peak = std::max(peak, out.peak(256, 0, effect->numOutputs));
    }
    if (midChange) {
        // The timer ticks every 40 ms; close somewhere inside the change.
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + n % 25));
    }
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return peak;
}

TEST(Lifecycle, InstancesComeAndGoWithoutLeaksEvenMidProgramChange) {
    campaign::useFreshSettingsFolder("lifecycle");
    TestHost host;
    host.time.flags = kVstTempoValid | kVstTimeSigValid | kVstTransportPlaying;
    host.time.sampleRate = 44100.0;
    host.time.tempo = 120.0;
    // User programs 1 to 5 name other projects, so that the MIDI changes
    // load one.
    {
        AEffect* effect = VSTPluginMain(&TestHost::callback);
        ASSERT_NE(effect, nullptr);
        for (int p = 1; p <= 5; ++p) {
            effect->dispatcher(effect, effSetProgram, 0, p, nullptr, 0.0f);
            ASSERT_TRUE(campaign::loadBuiltInProject(effect, p));
        }
        Effect* main = campaign::mainObject(effect);
        main->settings().saveDefaultBank = true;  // stored on close, read by every later instance
        effect->dispatcher(effect, effSetProgram, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    const int cycles = cyclesWanted();
    ASSERT_GE(cycle(host, 0, false), 0.0f);
    const size_t heapAfterFirst = heapInUse();
    int midChanges = 0;
    float peak = 0.0f;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 1; n < cycles; ++n) {
        const bool midChange = n % 4 == 1;
        midChanges += midChange ? 1 : 0;
        const float p = cycle(host, n, midChange);
        ASSERT_GE(p, 0.0f) << "cycle " << n << ": no instance";
        peak = std::max(peak, p);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const size_t heapAfterAll = heapInUse();
    std::printf("[ figures  ] %d cycles (%d closed mid program change) in %.1f s; peak %.3f; heap in use after the "
                "first %zu bytes, after all %zu bytes\n",
                cycles, midChanges, seconds, static_cast<double>(peak), heapAfterFirst, heapAfterAll);
    EXPECT_LE(peak, 0.99f);
#ifndef LIFECYCLE_SANITIZED
    // A few kilobytes of slack for the runtime's own bookkeeping; a leaked
    // instance, project or module is far larger.
    EXPECT_LT(heapAfterAll, heapAfterFirst + 64 * 1024);
#endif
}

}  // namespace
