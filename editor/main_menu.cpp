#include "editor/main_menu.h"

#include <iterator>

#include "editor/note_names.h"

namespace main_menu {
namespace {

using platform::NativeMenuItem;

NativeMenuItem item(const std::string& text, int id, bool checked = false) {
    NativeMenuItem i;
    i.text = text;
    i.id = id;
    i.checked = checked;
    return i;
}

NativeMenuItem separator() {
    NativeMenuItem i;
    i.separator = true;
    return i;
}

NativeMenuItem subMenu(const std::string& text, std::vector<NativeMenuItem> items, int columnRows = 0) {
    NativeMenuItem i;
    i.text = text;
    i.subMenu = std::move(items);
    i.columnBreakEvery = columnRows;
    return i;
}

NativeMenuItem deviceMenu(const std::string& title, const std::vector<std::string>& names,
                          const std::string& current, int base) {
    std::vector<NativeMenuItem> items;
    for (size_t d = 0; d < names.size() && d < static_cast<size_t>(kMaxDevices); ++d)
        items.push_back(item(names[d], base + static_cast<int>(d), names[d] == current));
    NativeMenuItem menu = subMenu(title, std::move(items));
    menu.enabled = !menu.subMenu.empty();
    return menu;
}

}  // namespace

std::vector<NativeMenuItem> build(const State& state) {
    std::vector<NativeMenuItem> menu;
    menu.push_back(item("New", kNew));
    menu.push_back(separator());
    menu.push_back(item("Load Bank ...", kLoadBank));
    menu.push_back(item("Save Bank As ...", kSaveBankAs));
    menu.push_back(item("Save Default Bank", kSaveDefaultBank));
    menu.push_back(item("Save Default Bank when closing", kSaveOnClose, state.saveOnClose));
    menu.push_back(separator());
    if (state.standaloneHost) {
        std::vector<NativeMenuItem> settings;
        settings.push_back(deviceMenu("Audio Output Device", state.audioDevices, state.audioDevice, kAudioDeviceBase));
        // The rule heads both lists as a disabled line; the choices stay,
        // for when the host runs without the server.
        auto ruleHeader = [&](std::vector<NativeMenuItem>& items) {
            if (state.formatRule.empty()) return;
            NativeMenuItem rule = item(state.formatRule, kVersion);
            rule.enabled = false;
            items.push_back(rule);
            items.push_back(separator());
        };
        std::vector<NativeMenuItem> rates;
        ruleHeader(rates);
        for (size_t i = 0; i < std::size(kSampleRates); ++i)
            rates.push_back(item(std::to_string(kSampleRates[i]), kSampleRateBase + static_cast<int>(i),
                                 kSampleRates[i] == state.sampleRate));
        settings.push_back(subMenu("Sample Rate", std::move(rates)));
        std::vector<NativeMenuItem> sizes;
        ruleHeader(sizes);
        for (size_t i = 0; i < std::size(kBufferSizes); ++i)
            sizes.push_back(item(std::to_string(kBufferSizes[i]), kBufferSizeBase + static_cast<int>(i),
                                 kBufferSizes[i] == state.bufferSize));
        settings.push_back(subMenu("Buffer Size", std::move(sizes)));
        settings.push_back(deviceMenu("MIDI Input Device", state.midiDevices, state.midiDevice, kMidiDeviceBase));
        menu.push_back(subMenu("Settings", std::move(settings)));
    } else {
        menu.push_back(item("Multi Mode", kMultiMode, state.multiMode));
    }
    std::vector<NativeMenuItem> notes;
    for (int n = 0; n < 128; ++n) notes.push_back(item(noteName(n), kMuteKeyBase + n, n == state.muteKey));
    menu.push_back(subMenu("Mute MIDI Key", std::move(notes), kNoteColumnRows));
    std::vector<NativeMenuItem> controls;
    controls.push_back(item("OFF", kPlayControlBase, state.playControl == 0));
    for (int c = 1; c <= 128; ++c) controls.push_back(item(std::to_string(c), kPlayControlBase + c, c == state.playControl));
    menu.push_back(subMenu("Play MIDI Control", std::move(controls), kPlayControlColumnRows));
    menu.push_back(item("Scope", kScope, state.scopeOn));
    menu.push_back(separator());
    NativeMenuItem version = item("Version " + state.versionText, kVersion);
    version.enabled = false;
    menu.push_back(version);
    menu.push_back(item("User Manual ...", kUserManual));
    return menu;
}

}  // namespace main_menu
