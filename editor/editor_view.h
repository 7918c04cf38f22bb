// The editor's window content: every control at its place, bound to the
// model. Draws into any canvas, with or without a native window (snapshots
// render it offscreen); menus and boxes are native where the platform has
// them and drawn in the window elsewhere.
#pragma once

#include <memory>
#include <string>

#include "editor/editor_model.h"
#include "editor/editor_skin.h"
#include "gui/controls.h"
#include "gui/view.h"
#include "platform/editor_window.h"

class CKavoPlanetPad;
class ProgramPanelView;
class RightPanel;

class EditorView : public gui::ControlListener {
public:
    enum Tag { kTagSave = 1, kTagPreview, kTagPlay, kTagSolo, kTagArpeggiator, kTagTempo, kTagMuteKey, kTagLed,
               kTagMenu, kTagName };

    // window: the native window for native menus, boxes and dialogs; null
    // offscreen.
    EditorView(EditorModel& model, const EditorSkin& skin, platform::EditorWindow* window);
    ~EditorView() override;

    gui::Frame& frame() { return *frame_; }
    CKavoPlanetPad& pad() { return *pad_; }

    // Where the main menu opens: under its button. Window tests place the
    // pointer on the drawn items from here.
    static constexpr gui::Point kMainMenuAt{338, 83};

    // Brings the controls in line with what changed in the model.
    void sync();
    // Idle work besides drawing: the file dialog's answer.
    void pollDialogs();
    // The pad animates: drawn again on every idle call.
    void invalidatePad();
    // The right-hand panel's moving values, on every idle call.
    void idleRightPanel();
    RightPanel& rightPanel() { return *rightPanel_; }

    // The main menu, at the menu button (Linux: drawn in the window).
    void openMainMenu();
    void menuChosen(int command);
    // Shows a message with an OK button.
    void showMessage(const std::string& text);

    void valueChanged(gui::Control& control) override;
    void beginEdit(gui::Control& control) override;
    void endEdit(gui::Control& control) override;

private:
    void followUp(EditorModel::FollowUp followUp);
    void askNewBank();
    void chooseBankFile(bool save);
    void bankFileChosen(bool save, const std::string& path);
    void startNameEntry();
    void openFileNameEntry(bool save);

    EditorModel& model_;
    platform::EditorWindow* window_;
    std::unique_ptr<gui::Frame> frame_;
    ProgramPanelView* panel_ = nullptr;
    CKavoPlanetPad* pad_ = nullptr;
    std::unique_ptr<RightPanel> rightPanel_;
    gui::ToggleButton* save_ = nullptr;
    gui::ToggleButton* preview_ = nullptr;
    gui::ToggleButton* play_ = nullptr;
    gui::ToggleButton* solo_ = nullptr;
    gui::ToggleButton* arpeggiator_ = nullptr;
    gui::TextEdit* tempo_ = nullptr;
    gui::ToggleButton* muteKey_ = nullptr;
    gui::ToggleButton* led_ = nullptr;
    gui::KickButton* menu_ = nullptr;
    gui::TextEdit* nameEntry_ = nullptr;
    std::unique_ptr<platform::FileDialog> fileDialog_;
    bool fileDialogSaves_ = false;
};
