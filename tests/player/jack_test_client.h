// The test's side of a JACK graph: a server on the dummy backend with a
// name of its own (so that tests running at once never meet), and a client
// that records two audio inputs and plays MIDI messages at chosen frames of
// the server's timeline.
#pragma once

#include <jack/jack.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class JackServer {
public:
    // Starts jackd -d dummy at the rate and period; JACK_DEFAULT_SERVER is
    // set for this process and its children.
    JackServer(const std::string& name, int rate, int period);
    ~JackServer();
    bool running() const { return pid_ > 0; }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    pid_t pid_ = -1;
};

class JackTestClient {
public:
    JackTestClient() = default;
    ~JackTestClient();
    // Registers in_1, in_2 and midi_out and activates; retries while the
    // server starts (up to timeoutMs).
    bool open(const std::string& name, int timeoutMs, std::string& error);
    bool connect(const std::string& from, const std::string& to);
    bool portExists(const std::string& port);

    int sampleRate() const { return rate_; }
    // Frames the server has run since the client activated.
    int64_t frame() const { return frame_.load(); }
    // Queues a message for the given frame of the client's timeline (a
    // frame already past plays at the next cycle's start).
    void send(int64_t atFrame, uint8_t status, uint8_t data1, uint8_t data2);
    // The recording of one input (0 or 1), frames 0 ... frame().
    std::vector<float> recorded(int input) const;

private:
    static int process(jack_nframes_t frames, void* self);

    struct Scheduled {
        int64_t frame;
        uint8_t bytes[3];
    };
    jack_client_t* client_ = nullptr;
    jack_port_t* inputs_[2] = {nullptr, nullptr};
    jack_port_t* midiOut_ = nullptr;
    int rate_ = 0;
    std::atomic<int64_t> frame_{0};
    std::vector<float> recording_[2];  // sized at open, never grown in process
    mutable std::mutex mutex_;         // the test's own thread against process (try_lock there)
    std::vector<Scheduled> pending_;
};
