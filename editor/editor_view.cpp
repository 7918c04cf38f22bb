#include "editor/editor_view.h"

#include <cstdlib>

#include "editor/device_lists.h"
#include "editor/manual_location.h"
#include "editor/planet_pad.h"
#include "editor/program_panel_layout.h"
#include "editor/program_panel_view.h"
#include "editor/right_panel_view.h"
#include "gui/menu.h"

namespace {

// A picture that takes no clicks.
class PictureView : public gui::View {
public:
    PictureView(gui::Point at, const gui::Bitmap* bitmap)
        : gui::View(gui::Rect::fromSize(at.x, at.y, bitmap->width(), bitmap->height())), bitmap_(bitmap) {}
    void draw(gui::Canvas& canvas) override { canvas.drawBitmap(*bitmap_, rect().left, rect().top); }
    bool hitTest(int, int) const override { return false; }

private:
    const gui::Bitmap* bitmap_;
};

// The Save button blinks by not drawing itself every other 200 ms, and
// still takes clicks then: switching Save off must not depend on the phase.
class BlinkingButton : public gui::ToggleButton {
public:
    using gui::ToggleButton::ToggleButton;
    void setLit(bool lit) {
        if (lit == lit_) return;
        lit_ = lit;
        invalidate();
    }
    void draw(gui::Canvas& canvas) override {
        if (lit_) gui::ToggleButton::draw(canvas);
    }

private:
    bool lit_ = true;
};

constexpr gui::Rect kTempoRect{772, 340, 812, 354};

// The native boxes take 8-bit text in the system's code page (Latin-1 in
// the west): our UTF-8 texts are converted, characters beyond it shown as '?'.
std::string nativeText(const std::string& utf8) {
    std::string out;
    for (char32_t c : gui::decodeText(utf8)) out += c < 256 ? static_cast<char>(c) : '?';
    return out;
}
gui::TextStyle entryStyle(int sizePx) {
    gui::TextStyle style;
    style.font = gui::Font("Arial Narrow", sizePx);
    style.color = gui::rgb(240, 242, 255);
    style.background = gui::rgb(30, 34, 62);
    return style;
}

}  // namespace

EditorView::EditorView(EditorModel& model, const EditorSkin& skin, platform::EditorWindow* window)
    : model_(model), window_(window), frame_(std::make_unique<gui::Frame>(1000, 450)) {
    using gui::Point;
    frame_->setBackground(skin.get(skin::kBackground));
    // The porthole is wider than the pad and reaches under the buttons
    // beside it: it and the pad go first, the buttons over them.
    frame_->make<PictureView>(Point{354, 4}, skin.get(skin::kPorthole));
    pad_ = frame_->make<CKavoPlanetPad>(model_, skin);
    // Then in the order of the window's layout table.
    save_ = frame_->make<BlinkingButton>(Point{312, 286}, skin.get(skin::kSave), this, kTagSave);
    panel_ = frame_->make<ProgramPanelView>(model, skin);
    panel_->afterClick = [this] {
        if (model_.editingSlot() >= 0 && !nameEntry_->editing()) startNameEntry();
        sync();
    };
    gui::TextStyle nameStyle = entryStyle(13);
    nameStyle.background = gui::rgb(62, 74, 140);
    nameEntry_ = frame_->make<gui::TextEdit>(gui::Rect{43, 68, 151, 87}, this, kTagName, nameStyle, 23);
    nameEntry_->setVisible(false);
    nameEntry_->onEnd = [this](gui::TextEdit& entry, bool confirmed) {
        if (confirmed) {
            model_.setNameEntryText(entry.text());
            model_.confirmName();
        } else {
            model_.cancelName();
        }
        entry.setVisible(false);
        panel_->invalidate();
    };
    preview_ = frame_->make<gui::ToggleButton>(Point{311, 209}, skin.get(skin::kPreview), this, kTagPreview);
    play_ = frame_->make<gui::ToggleButton>(Point{772, 367}, skin.get(skin::kPlay), this, kTagPlay);
    solo_ = frame_->make<gui::ToggleButton>(Point{801, 213}, skin.get(skin::kSolo), this, kTagSolo);
    arpeggiator_ = frame_->make<gui::ToggleButton>(Point{772, 340}, skin.get(skin::kArpeggiator), this, kTagArpeggiator);
    arpeggiator_->setVisible(false);
    tempo_ = frame_->make<gui::TextEdit>(kTempoRect, this, kTagTempo, entryStyle(12), 8);
    tempo_->onEnd = [this](gui::TextEdit& entry, bool) { entry.setText(model_.tempoEntryText()); };
    muteKey_ = frame_->make<gui::ToggleButton>(Point{339, 367}, skin.get(skin::kMuteKey), this, kTagMuteKey);
    led_ = frame_->make<gui::ToggleButton>(Point{813, 59}, skin.get(skin::kLed), this, kTagLed);
    rightPanel_ = std::make_unique<RightPanel>(*frame_, model_, skin);
    menu_ = frame_->make<gui::KickButton>(Point{338, 61}, skin.get(skin::kMenu), this, kTagMenu);
    model_.markDirty(EditorModel::kDirtyAll);
    sync();
    frame_->invalidateAll();
}

EditorView::~EditorView() = default;

void EditorView::sync() {
    const unsigned dirty = model_.takeDirty();
    if (dirty == 0) return;
    if (dirty & EditorModel::kDirtyButtons) {
        save_->setValue(model_.saveOn() ? 1.0f : 0.0f);
        save_->setVisible(model_.saveShown());
        static_cast<BlinkingButton*>(save_)->setLit(!model_.saveOn() || model_.saveBlinkVisible());
        preview_->setValue(model_.previewOn() ? 1.0f : 0.0f);
        play_->setValue(model_.playOn() ? 1.0f : 0.0f);
        solo_->setValue(model_.soloOn() ? 1.0f : 0.0f);
        arpeggiator_->setValue(model_.arpeggiatorOn() ? 1.0f : 0.0f);
        muteKey_->setValue(model_.muteKeySwitchOn() ? 1.0f : 0.0f);
        tempo_->setVisible(model_.tempoShown());
        if (!tempo_->editing()) tempo_->setText(model_.tempoEntryText());
    }
    if (dirty & EditorModel::kDirtyLed) led_->setValue(model_.ledOn() ? 1.0f : 0.0f);
    if (dirty & (EditorModel::kDirtyPanel | EditorModel::kDirtyNameEntry)) panel_->invalidate();
    if (dirty & EditorModel::kDirtyPad) pad_->refresh();
    if (dirty & (EditorModel::kDirtySelection | EditorModel::kDirtyPanel)) rightPanel_->sync();
}

void EditorView::invalidatePad() { pad_->invalidate(); }

void EditorView::idleRightPanel() { rightPanel_->idle(); }

void EditorView::startNameEntry() {
    const platform::PixelRect r = program_panel::nameEntryRect(model_.editingSlot());
    nameEntry_->setRect(gui::Rect{r.left, r.top, r.right, r.bottom});
    nameEntry_->setText(model_.nameEntryText());
    nameEntry_->setVisible(true);
    nameEntry_->beginEditing();
}

void EditorView::valueChanged(gui::Control& control) {
    const bool on = control.value() >= 0.5f;
    switch (control.tag()) {
        case kTagSave: model_.setSave(on); break;
        case kTagPreview: model_.setPreview(on); break;
        case kTagPlay: model_.setPlay(on); break;
        case kTagSolo: model_.setSolo(on); break;
        case kTagArpeggiator: model_.setArpeggiator(on); break;
        case kTagMuteKey: model_.setMuteKeySwitch(on); break;
        case kTagLed:
            model_.clickLed();
            break;
        case kTagTempo: model_.enterTempo(tempo_->text()); break;
        case kTagMenu:
            if (menu_->clicked()) openMainMenu();
            break;
        default: break;
    }
    sync();
}

// Controls that drag a host parameter (the pad's) bracket it; the buttons
// here move no host parameter.
void EditorView::beginEdit(gui::Control&) {}
void EditorView::endEdit(gui::Control&) {}

void EditorView::openMainMenu() {
    // The device lists are read as the menu opens, so devices plugged in
    // meanwhile appear.
    if (model_.tempoShown()) model_.refreshDeviceLists();
    std::vector<platform::NativeMenuItem> items = model_.menuItems();
    if (platform::hasNativeMenus() && window_ != nullptr) {
        const int id = platform::showNativePopupMenu(*window_, items, kMainMenuAt.x, kMainMenuAt.y);
        if (id >= 0) menuChosen(id);
        return;
    }
    frame_->pushOverlay(std::make_unique<gui::PopupMenu>(frame_->bounds(), std::move(items), kMainMenuAt, [this](int id) {
        if (id >= 0) menuChosen(id);
    }));
}

void EditorView::menuChosen(int command) {
    followUp(model_.menuCommand(command));
    sync();
}

void EditorView::followUp(EditorModel::FollowUp followUp) {
    switch (followUp) {
        case EditorModel::FollowUp::kNone: break;
        case EditorModel::FollowUp::kAskNewBank: askNewBank(); break;
        case EditorModel::FollowUp::kChooseBankToLoad: chooseBankFile(false); break;
        case EditorModel::FollowUp::kChooseBankToSave: chooseBankFile(true); break;
        case EditorModel::FollowUp::kShowMultiModeMessage: showMessage(kMultiModeMessage); break;
        case EditorModel::FollowUp::kOpenManual: platform::openDocument(manualLocation()); break;
    }
}

void EditorView::askNewBank() {
    if (platform::hasNativeMenus() && window_ != nullptr) {
        if (platform::askNativeYesNo(*window_, kProductTitle, nativeText(kNewBankQuestion))) model_.confirmNewBank();
        sync();
        return;
    }
    frame_->pushOverlay(std::make_unique<gui::MessageBox>(frame_->bounds(), kProductTitle, kNewBankQuestion,
                                                          gui::MessageBox::Buttons::kYesNo, [this](bool yes) {
                                                              if (yes) model_.confirmNewBank();
                                                              sync();
                                                          }));
}

void EditorView::showMessage(const std::string& text) {
    if (platform::hasNativeMenus() && window_ != nullptr) {
        platform::showNativeMessage(*window_, kProductTitle, nativeText(text));
        return;
    }
    frame_->pushOverlay(std::make_unique<gui::MessageBox>(frame_->bounds(), kProductTitle, text,
                                                          gui::MessageBox::Buttons::kOk, [](bool) {}));
}

void EditorView::chooseBankFile(bool save) {
    if (fileDialog_) return;  // one dialog at a time
    platform::FileDialog::Options options;
    options.save = save;
    options.title = save ? "Save Bank" : "Load Bank";
    options.filterName = "FXB File";
    options.extension = "fxb";
    fileDialog_ = platform::FileDialog::start(options, window_);
    fileDialogSaves_ = save;
    if (!fileDialog_) {
        openFileNameEntry(save);
        return;
    }
    pollDialogs();
}

void EditorView::pollDialogs() {
    if (!fileDialog_) return;
    std::string path;
    const platform::FileDialog::State state = fileDialog_->poll(path);
    if (state == platform::FileDialog::State::kPending) return;
    fileDialog_.reset();
    if (state == platform::FileDialog::State::kChosen) bankFileChosen(fileDialogSaves_, path);
}

void EditorView::bankFileChosen(bool save, const std::string& path) {
    if (path.empty()) return;
    if (save) {
        if (model_.saveBankAs(path).empty()) showMessage("The bank could not be written to\n" + path);
    } else {
        if (!model_.loadBank(path)) showMessage("This file is not a bank of user programs:\n" + path);
    }
    sync();
}

// Without zenity or kdialog: a file-name box of our own.
void EditorView::openFileNameEntry(bool save) {
    const char* home = std::getenv("HOME");
    const std::string initial = std::string(home != nullptr ? home : ".") + "/Talvex.fxb";
    frame_->pushOverlay(std::make_unique<gui::PromptBox>(
        frame_->bounds(), save ? "Save Bank" : "Load Bank", "FXB File name:", initial,
        [this, save](bool ok, const std::string& path) {
            if (ok) bankFileChosen(save, path);
        }));
}
