// The devices the stand-alone host's Settings menu offers: audio outputs
// and MIDI inputs by name, as the system lists them.
#pragma once

#include <string>
#include <vector>

// Windows: the wave-out devices followed by at most eight ASIO drivers
// registered under HKEY_LOCAL_MACHINE\software\asio. Elsewhere the system
// offers no list the stand-alone host reads: empty.
std::vector<std::string> audioOutputDeviceNames();
// Windows: the MIDI input devices that answer. Elsewhere empty.
std::vector<std::string> midiInputDeviceNames();
