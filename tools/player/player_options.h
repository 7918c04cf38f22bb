// The player's command line.
#pragma once

#include <string>
#include <vector>

struct PlayerOptions {
    std::string pluginPath;        // empty: the plug-in installed beside the player
    bool gui = true;
    bool listDevices = false;
    bool help = false;
    std::string audioSystem;       // "jack", "pulse", "alsa", "winmm"; empty: the first that works
    std::string midiSystem;        // "alsa", "jack", "winmm"; empty: every one that starts
    // Given on the command line, these win over the plug-in's stored
    // settings for this run; a choice in the Settings menu replaces them.
    std::string audioDevice;
    bool audioDeviceGiven = false;
    std::string midiDevice;
    bool midiDeviceGiven = false;
    int sampleRate = 0;            // 0: the stored setting
    int bufferFrames = 0;          // 0: the stored setting
    double tempoBpm = 120.0;
    bool stopped = false;
    int program = -1;              // -1: the plug-in's own choice
    bool keyboard = true;          // the computer keyboard plays when no MIDI device is chosen
    std::string editorInfoPath;    // writes the editor's window ids here once it is open
    double quitAfterSeconds = 0.0; // > 0: quits on its own after this long
};

// False with a message for an unknown option or a bad value.
bool parsePlayerOptions(const std::vector<std::string>& arguments, PlayerOptions& options, std::string& error);
const char* playerUsage();
