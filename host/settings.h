// Persistent settings of the plug-in. Read once at construction, written when
// the plug-in closes.
#pragma once

struct Settings {
    bool scopeOn = false;
    bool multiOutputsMode = false;  // stereo unless the user chose otherwise
    bool tooltipsOn = true;
    int bankSelected = 0;
    bool saveDefaultBank = false;   // no saving at close unless chosen
    bool firstUse = true;
    char audioDevice[128] = {0};
    char midiDevice[128] = {0};
    int sampleRate = 44100;
    int bufferSize = 1024;
};
