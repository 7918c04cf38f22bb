// Program changes of the tracks' main modules asked for by the editor's
// sound list. The editor thread queues a request; the audio thread carries
// it out at the start of its next block, so the module changes program
// between two blocks and never while it renders, and no one waits for the
// renderer. A request names the project load it was made for: after a new
// project has loaded it is dropped instead of landing on another module.
//
// The program each main module plays is mirrored here for the editor, which
// marks it in its list without asking the module from another thread.
#pragma once

#include <atomic>

#include "common/bounded_queue.h"

class ModuleProgramRequests {
public:
    static constexpr int kMaxTracks = 64;
    static constexpr size_t kCapacity = 64;

    ModuleProgramRequests() { forgetAll(); }

    struct Request {
        int track = -1;
        int program = -1;
        int projectLoad = 0;
    };

    // Any thread. False when the queue is full (the request is dropped).
    bool request(int track, int program, int projectLoad) {
        if (track < 0 || track >= kMaxTracks || program < 0) return false;
        return queue_.push(Request{track, program, projectLoad});
    }

    // Audio thread: hands every waiting request to apply(request), oldest
    // first; requests of another project load are dropped.
    template <class Apply>
    int drain(int projectLoad, Apply&& apply) {
        int applied = 0;
        Request r;
        while (queue_.pop(r)) {
            if (r.projectLoad != projectLoad) continue;
            apply(r);
            ++applied;
        }
        return applied;
    }

    // The program a track's main module plays (-1: unknown or no module).
    // Written by the loader (inside its edit section) and the audio thread.
    int current(int track) const {
        if (track < 0 || track >= kMaxTracks) return -1;
        return current_[track].load(std::memory_order_relaxed);
    }
    void setCurrent(int track, int program) {
        if (track < 0 || track >= kMaxTracks) return;
        current_[track].store(program, std::memory_order_relaxed);
    }
    void forgetAll() {
        for (auto& c : current_) c.store(-1, std::memory_order_relaxed);
    }

private:
    BoundedQueue<Request, kCapacity> queue_;
    std::atomic<int> current_[kMaxTracks] = {};
};
