#include <rtmidi/RtMidi.h>

#include <atomic>
#include <cstdlib>

#include "tools/player/midi_input.h"

namespace {

struct ApiChoice {
    RtMidi::Api api;
    const char* name;
};
const ApiChoice kApis[] = {{RtMidi::LINUX_ALSA, "alsa"}, {RtMidi::UNIX_JACK, "jack"}};

// The client names other programs see, and the player's own port.
constexpr const char* kClientName = "talvex-midi";
constexpr const char* kOwnPortName = "midi_in";

struct System {
    std::unique_ptr<RtMidiIn> input;
    const char* name;
};

class RtMidiInput final : public MidiInput {
public:
    explicit RtMidiInput(std::vector<System> systems) : systems_(std::move(systems)) {}
    ~RtMidiInput() override { close(); }

    std::string systemNames() const override {
        std::string names;
        for (const System& system : systems_) names += (names.empty() ? "" : ", ") + std::string(system.name);
        return names;
    }

    std::vector<std::string> portNames() override {
        std::vector<std::string> names;
        for (System& system : systems_) {
            try {
                const unsigned count = system.input->getPortCount();
                for (unsigned i = 0; i < count; ++i) {
                    const std::string name = system.input->getPortName(i);
                    // The player's own port is not a device to choose.
                    if (!name.empty() && name.find(kClientName) == std::string::npos) names.push_back(name);
                }
            } catch (const RtMidiError&) {
            }
        }
        return names;
    }

    bool open(const std::string& port, MidiReceiver* receiver, std::string& error) override {
        close();
        // Published before the callback is installed: the system's thread
        // sees the receiver and everything built before it.
        receiver_.store(receiver, std::memory_order_release);
        for (System& system : systems_) {
            try {
                if (port.empty()) {
                    system.input->setCallback(&RtMidiInput::callback, this);
                    system.input->openVirtualPort(kOwnPortName);
                    open_ = &system;
                    return true;
                }
                const unsigned count = system.input->getPortCount();
                for (unsigned i = 0; i < count; ++i) {
                    if (system.input->getPortName(i) != port) continue;
                    system.input->setCallback(&RtMidiInput::callback, this);
                    system.input->openPort(i, kOwnPortName);
                    open_ = &system;
                    return true;
                }
            } catch (const RtMidiError& failure) {
                error = failure.getMessage();
                closeSystem(system);
            }
        }
        if (error.empty()) error = port.empty() ? "no MIDI system to open a port on" : "no MIDI input named " + port;
        return false;
    }

    void close() override {
        if (open_ != nullptr) closeSystem(*open_);
        open_ = nullptr;
    }

private:
    static void closeSystem(System& system) {
        try {
            system.input->closePort();
            system.input->cancelCallback();
        } catch (const RtMidiError&) {
        }
    }

    static void callback(double /*delta*/, std::vector<unsigned char>* message, void* user) {
        auto* self = static_cast<RtMidiInput*>(user);
        if (message == nullptr || message->empty() || message->size() > 3) return;
        MidiReceiver* receiver = self->receiver_.load(std::memory_order_acquire);
        if (receiver != nullptr) receiver->receiveMidi(message->data(), message->size());
    }

    std::vector<System> systems_;
    System* open_ = nullptr;
    std::atomic<MidiReceiver*> receiver_{nullptr};
};

}  // namespace

std::unique_ptr<MidiInput> MidiInput::create(const std::string& preferred) {
    setenv("JACK_NO_START_SERVER", "1", 0);
    std::vector<System> systems;
    for (const ApiChoice& choice : kApis) {
        if (!preferred.empty() && preferred != choice.name) continue;
        // RtMidi's constructors throw where the system is missing (no ALSA
        // sequencer without /dev/snd): each is tried on its own.
        try {
            auto input = std::make_unique<RtMidiIn>(choice.api, kClientName, 1024);
            input->ignoreTypes(true, true, true);
            systems.push_back(System{std::move(input), choice.name});
        } catch (const RtMidiError&) {
        }
    }
    return std::make_unique<RtMidiInput>(std::move(systems));
}
