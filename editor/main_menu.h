// The editor's main menu as data: the same item list feeds the native menu
// on Windows and the drawn menu on Linux, and a chosen item comes back as
// one command number.
#pragma once

#include <string>
#include <vector>

#include "platform/editor_window.h"

namespace main_menu {

// Command numbers. Lists add the chosen position to their base.
enum Command : int {
    kNew = 1,
    kLoadBank = 2,
    kSaveBankAs = 3,
    kSaveDefaultBank = 4,
    kSaveOnClose = 5,
    kMultiMode = 6,
    kScope = 7,
    kVersion = 8,
    kUserManual = 9,
    kSampleRateBase = 100,
    kBufferSizeBase = 200,
    kAudioDeviceBase = 1000,
    kMidiDeviceBase = 2000,
    kMuteKeyBase = 3000,
    kPlayControlBase = 4000,
};

constexpr int kMaxDevices = 900;
constexpr int kSampleRates[] = {44100, 48000, 88200, 96000};
constexpr int kBufferSizes[] = {32, 64, 128, 192, 256, 384, 512, 1024, 1536, 2048};
// The 128 note names are shown in columns of this many.
constexpr int kNoteColumnRows = 32;
constexpr int kPlayControlColumnRows = 43;

struct State {
    bool standaloneHost = false;
    bool saveOnClose = false;
    bool multiMode = false;
    bool scopeOn = false;
    int muteKey = 48;
    int playControl = 0;
    int sampleRate = 44100;
    int bufferSize = 1024;
    std::string audioDevice;
    std::string midiDevice;
    std::vector<std::string> audioDevices;
    std::vector<std::string> midiDevices;
    // Why rate and buffer size are not the host's to choose (a sound server
    // fixes them), shown at the top of both sub-menus; empty when they are.
    std::string formatRule;
    std::string versionText;
};

std::vector<platform::NativeMenuItem> build(const State& state);

}  // namespace main_menu
