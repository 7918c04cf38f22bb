// Counts what the audio thread does that a real-time thread must not:
// allocate, take a lock, wait, or enter the kernel. The test program that
// links audio_thread_probe.cpp interposes the C allocator (or, under the
// sanitizers, hooks theirs), the pthread lock, condition and semaphore
// functions and the libc wrappers of the system calls an engine could reach
// (files, console, sleeping, memory mapping), and counts a call only on a
// thread that is inside an "audio call" bracket.
#pragma once

#include <cstdint>
#include <string>

namespace audio_probe {

enum class Kind { Allocation, Lock, Wait, SystemCall };

struct Counts {
    long allocations = 0;
    long frees = 0;
    long locks = 0;
    long waits = 0;
    long systemCalls = 0;
    // Voluntary context switches of the bracketed calls, from the kernel's
    // per-thread accounting, and the major page faults that may explain
    // some of them (a page brought back from disk blocks the thread too).
    long voluntarySwitches = 0;
    long majorFaults = 0;
    bool clean() const { return allocations == 0 && frees == 0 && locks == 0 && waits == 0 && systemCalls == 0; }
};

// Marks the calling thread as inside an audio call until the matching end.
void beginAudioCall();
void endAudioCall();

struct AudioCall {
    AudioCall() { beginAudioCall(); }
    ~AudioCall() { endAudioCall(); }
    AudioCall(const AudioCall&) = delete;
    AudioCall& operator=(const AudioCall&) = delete;
};

Counts counts();
void reset();
// Of the waits, the sleeps (nanosleep, clock_nanosleep, usleep, sleep).
long sleeps();

// Names of the interposed functions that were hit inside audio calls, with
// the stack of the first hit of each kind (for the failure message).
std::string report();

// How allocations are seen in this build: "interposed malloc" or the
// sanitizer's allocation hooks.
const char* allocationProbe();

}  // namespace audio_probe
