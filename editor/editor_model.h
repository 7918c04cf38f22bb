// The editor's controls as state and actions, without pixels: what each
// button, the program panel, the tempo entry and the main menu do to the
// plug-in, its current program record and the host. The window (Editor)
// draws this state and turns mouse clicks into these calls.
//
// Threads: every call happens on the host's editor thread, except the
// AudioMirror, which the audio and timer threads write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editor/audio_mirror.h"
#include "editor/main_menu.h"

class Effect;

// Text and titles the editor shows.
extern const char* const kProductTitle;
extern const char* const kNewBankQuestion;
extern const char* const kMultiModeMessage;
extern const char* const kVersionText;

class EditorModel {
public:
    explicit EditorModel(Effect& effect);

    // Reads every control's state from the plug-in (on open).
    void initFromPlugin();

    // What changed since the editor last drew.
    enum DirtyBits : unsigned {
        kDirtyPanel = 1,
        kDirtyButtons = 2,
        kDirtyLed = 4,
        kDirtyPad = 8,
        kDirtyNameEntry = 16,
        kDirtySelection = 32,  // the selected planet or satellite changed
        kDirtyAll = 63,
    };
    unsigned takeDirty() {
        const unsigned d = dirty_;
        dirty_ = 0;
        return d;
    }
    void markDirty(unsigned bits) { dirty_ |= bits; }

    // ---- program panel -----------------------------------------------------
    int tab() const { return tab_; }
    // x, y relative to the panel's top-left corner.
    void clickPanel(int x, int y, bool doubleClick);
    void selectTab(int tab);
    // Entry 0..23 of the current tab: a built-in project or a user program.
    void clickEntry(int entry);
    void doubleClickEntry(int entry);
    // Names shown in the list (24, empty where the tab has no project).
    std::vector<std::string> entryNames();
    // The entry marked as current on this tab, or -1.
    int markedEntry();
    // Name editing of a user slot.
    int editingSlot() const { return editingSlot_; }
    const std::string& nameEntryText() const { return nameEntryText_; }
    void setNameEntryText(const std::string& text) { nameEntryText_ = text; markDirty(kDirtyNameEntry); }
    void confirmName();
    void cancelName();

    // ---- buttons -----------------------------------------------------------
    bool saveOn() const { return saveOn_; }
    bool saveShown() const { return tab_ == 4; }
    bool saveBlinkVisible() const { return saveBlinkVisible_; }
    void setSave(bool on);
    bool playOn() const { return playOn_; }
    void setPlay(bool on);
    bool previewOn() const { return previewOn_; }
    void setPreview(bool on);
    bool soloOn() const { return soloOn_; }
    void setSolo(bool on);
    bool arpeggiatorOn() const { return arpOn_; }
    void setArpeggiator(bool on);
    bool muteKeySwitchOn() const { return muteKeySwitchOn_; }
    void setMuteKeySwitch(bool on);
    bool ledOn() const { return ledOn_; }
    void clickLed();
    // Stand-alone host only: the tempo entry.
    bool tempoShown() const;
    const std::string& tempoEntryText() const { return tempoEntryText_; }
    void enterTempo(const std::string& text);

    // The planet the pad has selected (-1: none). Solo follows it. A new
    // planet drops the satellite selection.
    int selectedPlanet() const { return selectedPlanet_; }
    void selectPlanet(int track);
    // The satellite selected on the pad (its number across the project, as
    // host parameters 2·s and 2·s + 1 count them; -1: none). The right-hand
    // panel's satellite controls are bound to it. Both selections mark
    // kDirtySelection.
    int selectedSatellite() const { return selectedSatellite_; }
    // The pad's key strip for the selected planet's transposition; the
    // planet list closes it when it selects a planet.
    bool keyStripOpen() const { return keyStripOpen_; }
    void setKeyStripOpen(bool open) {
        keyStripOpen_ = open;
        markDirty(kDirtyPad);
    }
    // The planet pad's mapping, from the plug-in's round-pad setting as the
    // editor opened.
    bool circularPad() const { return circularPad_; }
    void selectSatellite(int satellite);
    // After a change on the pad or the satellite controls: the settings of
    // the selected planet's satellites go into the current program record.
    void storeSelectedBalls();

    // ---- main menu ---------------------------------------------------------
    main_menu::State menuState() const;
    std::vector<platform::NativeMenuItem> menuItems() const { return main_menu::build(menuState()); }
    // What the window must do after a menu command.
    enum class FollowUp { kNone, kAskNewBank, kChooseBankToLoad, kChooseBankToSave, kShowMultiModeMessage, kOpenManual };
    FollowUp menuCommand(int command);
    // Answers to the follow-ups.
    void confirmNewBank();
    bool loadBank(const std::string& path);
    // Returns the name written (".fxb" rule applied), empty on failure.
    std::string saveBankAs(const std::string& path);
    bool scopeOn() const { return scopeOn_; }
    void setDeviceLists(std::vector<std::string> audio, std::vector<std::string> midi, std::string formatRule = {});
    // The lists as the system gives them, else as the stand-alone host
    // answers its query (editor/device_lists.h).
    void refreshDeviceLists();

    // ---- host gestures -----------------------------------------------------
    // A drag of a host parameter: begin once, automate on every move, end
    // once, so that hosts record one gesture. A pad drag moves two
    // parameters at once (X and Y, pan and level): second >= 0 brackets it
    // too.
    void beginGesture(int parameter, int second = -1);
    void automate(int parameter, float value);
    void endGesture();
    int gestureParameter() const { return gestureParameter_; }

    // ---- idle --------------------------------------------------------------
    // The editor's idle work without pixels: LED, Save blink (every 200 ms of
    // nowMs), the audio thread's flags and the tracks' changed flags.
    void poll(uint32_t nowMs);

    AudioMirror& mirror() { return mirror_; }
    Effect& effect() { return effect_; }

private:
    void applySolo();

    Effect& effect_;
    AudioMirror mirror_;
    unsigned dirty_ = kDirtyAll;
    int tab_ = 0;
    int editingSlot_ = -1;
    std::string nameEntryText_;
    bool saveOn_ = false;
    bool saveBlinkVisible_ = true;
    uint32_t lastBlinkMs_ = 0;
    bool blinkStartPending_ = false;  // the next poll starts the 200 ms count
    bool playOn_ = false;
    bool previewOn_ = false;
    bool soloOn_ = false;
    bool arpOn_ = false;
    bool muteKeySwitchOn_ = false;
    bool ledOn_ = false;
    bool scopeOn_ = false;
    std::string tempoEntryText_;
    int selectedPlanet_ = -1;
    int selectedSatellite_ = -1;
    bool circularPad_ = true;
    bool keyStripOpen_ = false;
    int gestureParameter_ = -1;
    int gestureSecond_ = -1;
    std::vector<std::string> audioDevices_;
    std::vector<std::string> midiDevices_;
    std::string formatRule_;
};
