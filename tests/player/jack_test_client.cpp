#include "tests/player/jack_test_client.h"

#include <fcntl.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace {
constexpr int64_t kRecordingSeconds = 120;
}  // namespace

JackServer::JackServer(const std::string& name, int rate, int period) : name_(name) {
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    std::vector<std::string> arguments = {"jackd", "-n", name, "--no-realtime", "-d", "dummy", "-r",
                                          std::to_string(rate), "-p", std::to_string(period)};
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = "/tmp/" + name + ".jackd.log";
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (posix_spawnp(&pid_, "jackd", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

JackServer::~JackServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
}

JackTestClient::~JackTestClient() {
    if (client_ != nullptr) {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
}

bool JackTestClient::open(const std::string& name, int timeoutMs, std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while ((client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr)) == nullptr) {
        if (std::chrono::steady_clock::now() > deadline) {
            error = "no JACK server answered";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    rate_ = static_cast<int>(jack_get_sample_rate(client_));
    for (auto& recording : recording_) recording.assign(static_cast<size_t>(rate_ * kRecordingSeconds), 0.0f);
    pending_.reserve(4096);
    inputs_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    inputs_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    midiOut_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (inputs_[0] == nullptr || inputs_[1] == nullptr || midiOut_ == nullptr) {
        error = "cannot register the test's ports";
        return false;
    }
    jack_set_process_callback(client_, &JackTestClient::process, this);
    if (jack_activate(client_) != 0) {
        error = "cannot activate the test's client";
        return false;
    }
    return true;
}

bool JackTestClient::connect(const std::string& from, const std::string& to) {
    const int result = jack_connect(client_, from.c_str(), to.c_str());
    return result == 0 || result == EEXIST;
}

bool JackTestClient::portExists(const std::string& port) { return jack_port_by_name(client_, port.c_str()) != nullptr; }

void JackTestClient::send(int64_t atFrame, uint8_t status, uint8_t data1, uint8_t data2) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(Scheduled{atFrame, {status, data1, data2}});
}

std::vector<float> JackTestClient::recorded(int input) const {
    const size_t frames = std::min(static_cast<size_t>(frame_.load()), recording_[input].size());
    return std::vector<float>(recording_[input].begin(), recording_[input].begin() + static_cast<ptrdiff_t>(frames));
}

int JackTestClient::process(jack_nframes_t frames, void* user) {
    auto* self = static_cast<JackTestClient*>(user);
    const int64_t start = self->frame_.load();
    for (int i = 0; i < 2; ++i) {
        const auto* in = static_cast<const float*>(jack_port_get_buffer(self->inputs_[i], frames));
        std::vector<float>& recording = self->recording_[i];
        for (jack_nframes_t f = 0; f < frames; ++f) {
            const size_t at = static_cast<size_t>(start) + f;
            if (at < recording.size()) recording[at] = in[f];
        }
    }
    void* midi = jack_port_get_buffer(self->midiOut_, frames);
    jack_midi_clear_buffer(midi);
    if (self->mutex_.try_lock()) {
        // Due messages in frame order; the rest wait.
        std::stable_sort(self->pending_.begin(), self->pending_.end(),
                         [](const Scheduled& a, const Scheduled& b) { return a.frame < b.frame; });
        size_t sent = 0;
        for (; sent < self->pending_.size() && self->pending_[sent].frame < start + frames; ++sent) {
            const int64_t offset = std::max<int64_t>(self->pending_[sent].frame - start, 0);
            const uint8_t status = self->pending_[sent].bytes[0];
            const size_t size = (status & 0xE0) == 0xC0 ? 2 : 3;  // program change, channel pressure
            jack_midi_event_write(midi, static_cast<jack_nframes_t>(offset), self->pending_[sent].bytes, size);
        }
        self->pending_.erase(self->pending_.begin(), self->pending_.begin() + static_cast<ptrdiff_t>(sent));
        self->mutex_.unlock();
    }
    self->frame_.store(start + frames);
    return 0;
}
