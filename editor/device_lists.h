// The devices the stand-alone host's Settings menu offers: audio outputs
// and MIDI inputs by name, as the system lists them.
#pragma once

#include <string>
#include <vector>

#include "host/standalone_host.h"

// Windows: the wave-out devices followed by at most eight ASIO drivers
// registered under HKEY_LOCAL_MACHINE\software\asio. Elsewhere the system
// offers no list the stand-alone host reads: empty.
std::vector<std::string> audioOutputDeviceNames();
// Windows: the MIDI input devices that answer. Elsewhere empty.
std::vector<std::string> midiInputDeviceNames();

// The texts the stand-alone host answers to one of its queries
// (host/standalone_host.h); empty from any other host.
std::vector<std::string> standaloneHostTexts(audioMasterCallback host, AEffect* effect, VstIntPtr query);
