// The main menu: every item in order under both kinds of host, and what each
// command does to the plug-in, its settings, its bank and the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "editor/editor_model.h"
#include "editor/main_menu.h"
#include "platform/registry_store.h"
#include "tests/editor/recording_host.h"

namespace {

std::vector<std::string> texts(const std::vector<platform::NativeMenuItem>& items) {
    std::vector<std::string> t;
    for (const auto& i : items) t.push_back(i.separator ? "--" : i.text);
    return t;
}

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class MainMenu : public EditorTest {};

TEST_F(MainMenu, ItemsInOrderInsideANormalHost) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    const auto items = model.menuItems();
    const std::vector<std::string> expected = {
        "New", "--", "Load Bank ...", "Save Bank As ...", "Save Default Bank", "Save Default Bank when closing", "--",
        "Multi Mode", "Mute MIDI Key", "Play MIDI Control", "Scope", "--", "Version 1.1", "User Manual ..."};
    ASSERT_EQ(texts(items), expected);
    EXPECT_FALSE(items[12].enabled);
    EXPECT_TRUE(items[13].enabled);
    const auto& notes = items[8].subMenu;
    ASSERT_EQ(notes.size(), 128u);
    EXPECT_EQ(notes[0].text, "C-2");
    EXPECT_EQ(notes[60].text, "C3");
    EXPECT_EQ(notes[61].text, "C#3");
    EXPECT_EQ(notes[127].text, "G8");
    EXPECT_TRUE(notes[48].checked);  // the default mute key
    EXPECT_GT(items[8].columnBreakEvery, 0);
    const auto& controls = items[9].subMenu;
    ASSERT_EQ(controls.size(), 129u);
    EXPECT_EQ(controls[0].text, "OFF");
    EXPECT_EQ(controls[1].text, "1");
    EXPECT_EQ(controls[128].text, "128");
    // Every command number is unique, so a chosen item maps back to one action.
    std::vector<int> ids;
    std::function<void(const std::vector<platform::NativeMenuItem>&)> collect = [&](const auto& list) {
        for (const auto& i : list) {
            if (i.id >= 0) ids.push_back(i.id);
            collect(i.subMenu);
        }
    };
    collect(items);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

TEST_F(MainMenu, SettingsInsteadOfMultiModeUnderTheStandaloneHost) {
    startPlugin(true);
    EditorModel model(*main);
    model.initFromPlugin();
    model.setDeviceLists({"Speakers", "Headphones"}, {"Keyboard"});
    const auto items = model.menuItems();
    ASSERT_EQ(items.size(), 14u);
    EXPECT_EQ(items[7].text, "Settings");
    const auto& settings = items[7].subMenu;
    ASSERT_EQ(texts(settings),
              (std::vector<std::string>{"Audio Output Device", "Sample Rate", "Buffer Size", "MIDI Input Device"}));
    EXPECT_EQ(texts(settings[0].subMenu), (std::vector<std::string>{"Speakers", "Headphones"}));
    EXPECT_EQ(texts(settings[1].subMenu), (std::vector<std::string>{"44100", "48000", "88200", "96000"}));
    EXPECT_EQ(texts(settings[2].subMenu), (std::vector<std::string>{"32", "64", "128", "192", "256", "384", "512",
                                                                    "1024", "1536", "2048"}));
    EXPECT_TRUE(settings[1].subMenu[0].checked);  // 44100 by default
    EXPECT_TRUE(settings[2].subMenu[7].checked);  // 1024 by default
    EXPECT_EQ(texts(settings[3].subMenu), (std::vector<std::string>{"Keyboard"}));
}

TEST_F(MainMenu, StandaloneSettingsReachTheHostAsReservedParameters) {
    startPlugin(true);
    EditorModel model(*main);
    model.initFromPlugin();
    model.setDeviceLists({"Speakers", "Headphones"}, {"Keyboard"});
    model.menuCommand(main_menu::kSampleRateBase + 1);
    model.menuCommand(main_menu::kBufferSizeBase + 2);
    model.menuCommand(main_menu::kAudioDeviceBase + 1);
    model.menuCommand(main_menu::kMidiDeviceBase + 0);
    const std::vector<HostCall> expected = {
        {audioMasterAutomate, 131072, 48000.0f},
        {audioMasterAutomate, 131073, 128.0f},
        {audioMasterAutomate, 131074, 0.0f},
        {audioMasterAutomate, 131075, 0.0f},
    };
    EXPECT_EQ(hostCalls, expected);
    EXPECT_EQ(main->settings().sampleRate, 48000);
    EXPECT_EQ(main->settings().bufferSize, 128);
    char text[256] = {};
    effect->dispatcher(effect, effGetParamDisplay, kParamAudioDevice, 0, text, 0.0f);
    EXPECT_STREQ(text, "Headphones");
    effect->dispatcher(effect, effGetParamDisplay, kParamMidiDevice, 0, text, 0.0f);
    EXPECT_STREQ(text, "Keyboard");
    EXPECT_TRUE(model.menuItems()[7].subMenu[1].subMenu[1].checked);
    // A device number past the list does nothing.
    model.menuCommand(main_menu::kAudioDeviceBase + 2);
    EXPECT_EQ(hostCalls.size(), 4u);
}

TEST_F(MainMenu, MuteKeyAndPlayControlGoIntoThePluginAndTheProgram) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    model.menuCommand(main_menu::kMuteKeyBase + 61);
    model.menuCommand(main_menu::kPlayControlBase + 128);
    EXPECT_EQ(main->muteKey.load(), 61.0f);
    EXPECT_EQ(main->playController.load(), 128.0f);
    {
        std::lock_guard<std::recursive_mutex> lock(main->programMutex());
        const ProgramRecord& record = main->programRecords()[static_cast<size_t>(main->getProgram())];
        EXPECT_EQ(record.muteKey, 61.0f);
        EXPECT_EQ(record.playController, 128.0f);
    }
    EXPECT_TRUE(model.menuItems()[8].subMenu[61].checked);
    EXPECT_FALSE(model.menuItems()[8].subMenu[48].checked);
    model.menuCommand(main_menu::kPlayControlBase);
    EXPECT_EQ(main->playController.load(), 0.0f);
    EXPECT_TRUE(model.menuItems()[9].subMenu[0].checked);
}

TEST_F(MainMenu, CheckItemsToggleTheirSettings) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    ASSERT_FALSE(main->settings().saveDefaultBank);
    model.menuCommand(main_menu::kSaveOnClose);
    EXPECT_TRUE(main->settings().saveDefaultBank);
    EXPECT_TRUE(model.menuItems()[5].checked);
    ASSERT_FALSE(main->settings().scopeOn);
    model.menuCommand(main_menu::kScope);
    EXPECT_TRUE(main->settings().scopeOn);
    EXPECT_TRUE(model.mirror().scopeWanted.load());
    EXPECT_TRUE(model.menuItems()[10].checked);
    // Multi Mode is stored at once and tells the user when it takes effect.
    EXPECT_EQ(model.menuCommand(main_menu::kMultiMode), EditorModel::FollowUp::kShowMultiModeMessage);
    uint32_t stored = 0;
    ASSERT_TRUE(platform::RegistryStore::readDword("software\\TalvexBass\\Settings", "MultiOutputsMode", stored));
    EXPECT_EQ(stored, 1u);
    EXPECT_FALSE(main->multiOutputMode());  // only after a restart
    EXPECT_EQ(model.menuCommand(main_menu::kNew), EditorModel::FollowUp::kAskNewBank);
    EXPECT_EQ(model.menuCommand(main_menu::kLoadBank), EditorModel::FollowUp::kChooseBankToLoad);
    EXPECT_EQ(model.menuCommand(main_menu::kSaveBankAs), EditorModel::FollowUp::kChooseBankToSave);
    EXPECT_EQ(model.menuCommand(main_menu::kUserManual), EditorModel::FollowUp::kOpenManual);
    EXPECT_EQ(model.menuCommand(main_menu::kVersion), EditorModel::FollowUp::kNone);
    EXPECT_EQ(std::string(kMultiModeMessage).find("The selected mode will be activated on the next reboot"), 0u);
}

TEST_F(MainMenu, NewReplacesTheBankOnlyWhenConfirmed) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    const std::vector<uint8_t> empty = bankBytes();
    model.selectTab(4);
    model.setSave(true);
    model.clickEntry(4);
    main->setUserProgramName(11, "Keep me?");
    const std::vector<uint8_t> filled = bankBytes();
    ASSERT_NE(filled, empty);
    model.menuCommand(main_menu::kNew);
    EXPECT_EQ(bankBytes(), filled);  // the question comes first
    model.confirmNewBank();
    EXPECT_EQ(bankBytes(), empty);
    // "New" brings back the first start's programs: built-in project i in
    // slot i, named after it.
    const std::vector<std::string>& names = main->projectNames();
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(main->userProgramName(i), i < static_cast<int>(names.size()) ? names[static_cast<size_t>(i)] : "-");
}

TEST_F(MainMenu, SaveBankAsAppendsFxbCaseSensitivelyAndLoadBankRestores) {
    startPlugin(false);
    EditorModel model(*main);
    model.initFromPlugin();
    main->setUserProgramName(3, "Saved name");
    const std::vector<uint8_t> bank = bankBytes();
    struct Case {
        const char* chosen;
        const char* written;
    };
    const Case cases[] = {{"a", "a.fxb"}, {"bank.fxb", "bank.fxb"}, {"bank.FXB", "bank.FXB.fxb"}, {"b.fx", "b.fx.fxb"}};
    for (const Case& c : cases) {
        const std::filesystem::path chosen = config / c.chosen;
        const std::string written = model.saveBankAs(chosen.string());
        EXPECT_EQ(written, (config / c.written).string());
        EXPECT_EQ(fileBytes(config / c.written), bank) << c.chosen;
    }
    EXPECT_FALSE(std::filesystem::exists(config / "a"));
    EXPECT_FALSE(std::filesystem::exists(config / "bank.FXB"));
    model.confirmNewBank();
    EXPECT_EQ(main->userProgramName(3), main->projectNames()[3]);
    EXPECT_TRUE(model.loadBank((config / "bank.fxb").string()));
    EXPECT_EQ(main->userProgramName(3), "Saved name");
    EXPECT_EQ(bankBytes(), bank);
    EXPECT_FALSE(model.loadBank((config / "missing.fxb").string()));
}

TEST_F(MainMenu, SaveDefaultBankIsReadBackByTheNextInstance) {
    startPlugin(false);
    {
        EditorModel model(*main);
        model.initFromPlugin();
        main->setUserProgramName(0, "Default kept");
        model.menuCommand(main_menu::kSaveDefaultBank);
    }
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    effect = nullptr;
    startPlugin(false);
    EXPECT_EQ(main->userProgramName(0), "Default kept");
}

}  // namespace
