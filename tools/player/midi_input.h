// The player's MIDI input, behind a thin interface of our own: RtMidi on
// Linux (ALSA sequencer and JACK MIDI), the Windows multimedia midiIn API
// on Windows. Ports are named, never numbered.
//
// Threads: every call from the user-interface thread; the receiver is
// called on the system's MIDI thread between open and close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class MidiReceiver {
public:
    virtual ~MidiReceiver() = default;
    // One complete short message (system exclusive is not delivered).
    virtual void receiveMidi(const uint8_t* bytes, size_t size) = 0;
};

class MidiInput {
public:
    // Every MIDI system that starts here; an input without any lists no
    // ports and opens none. preferred names one system ("alsa", "jack",
    // "winmm") to use alone.
    static std::unique_ptr<MidiInput> create(const std::string& preferred);
    virtual ~MidiInput() = default;

    // The systems that started, for messages ("alsa, jack"; "" for none).
    virtual std::string systemNames() const = 0;
    virtual std::vector<std::string> portNames() = 0;
    // Connects to the named port. An empty name opens a port of the
    // player's own that other programs connect to, where the system has
    // them (ALSA, JACK); false on Windows. Closes what was open first.
    virtual bool open(const std::string& port, MidiReceiver* receiver, std::string& error) = 0;
    virtual void close() = 0;
};
