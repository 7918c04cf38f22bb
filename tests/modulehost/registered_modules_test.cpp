// The module table as projects use it: every file title of the product,
// checked against the registered classes and held to what the module host
// promises projects. A title without its class fails: a project naming it
// would lose its track or effect.
#include <cstring>
#include <iterator>
#include <string>

#include "modulehost/module_path.h"
#include "slot_fixture.h"

namespace {

struct ExpectedModule {
    const char* fileTitle;
    const char* folder;
    const char* product;
    VstInt32 uniqueId;
    bool instrument;
    bool drumSlot;
    const char* shortName;
};

const ExpectedModule kExpected[] = {
    {"KavoDelay", "PluginEffects", "KAVO delay", vstFourCC('8', '1', '0', '3'), false, false, "Delay"},
    {"KavoReverb", "PluginEffects", "KAVO reverb", vstFourCC('6', 'x', '3', '1'), false, false, "Reverb"},
    {"KavoChorus", "PluginEffects", "KAVO chorus", vstFourCC('7', 'v', '6', '0'), false, false, "Chorus"},
    {"KavoFlanger", "PluginEffects", "KAVO flanger", vstFourCC('1', '2', '8', '3'), false, false, "Flanger"},
    {"KavoFilter", "PluginEffects", "KAVO Filter", vstFourCC('9', '6', 'r', '5'), false, false, "Filter"},
    {"KavoCompressor", "PluginEffects", "KAVO compressor", vstFourCC('4', '9', '4', '4'), false, false, "Compress"},
    {"KavoLimiter", "PluginEffects", "KAVO Limiter", vstFourCC('z', '3', 't', '0'), false, false, "Limiter"},
    {"KavoOverdrive", "PluginEffects", "KAVO Overdrive", vstFourCC('3', '1', 'r', '4'), false, false, ""},
    {"KavoSynthI", "PluginInstruments", "KAVO synth I", vstFourCC('4', '5', '1', 't'), true, false, ""},
    {"KavoSynthII", "PluginInstruments", "KAVO synth II", vstFourCC('1', 'x', '5', 'd'), true, false, ""},
    {"KavoSampler", "PluginInstruments", "KAVO Sampler", vstFourCC('p', '0', 'g', '8'), true, false, ""},
    {"KavoDrums", "PluginInstruments", "KAVO drums", vstFourCC('1', '6', 'c', 'x'), true, true, ""},
    {"KavoBass", "PluginInstruments", "KAVO drums", vstFourCC('1', '6', 'c', 'x'), true, true, ""},
};

class RegisteredModule : public SlotTest, public ::testing::WithParamInterface<ExpectedModule> {};

std::string lowerCase(std::string s) {
    for (auto& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

}  // namespace

TEST_P(RegisteredModule, CreatesFromAnyFolderAndFitsOnlyItsSlotKind) {
    const ExpectedModule& m = GetParam();
    ASSERT_NE(findModuleClass(m.fileTitle), nullptr) << m.fileTitle << " is not registered";
    // A slot already held: the loader creates modules inside its own edit
    // section, so these creations do not settle each time.
    owner.counter = 1;
    const SlotKind kind = m.instrument ? SlotKind::Instrument : SlotKind::Effect;
    const SlotKind wrongKind = m.instrument ? SlotKind::Effect : SlotKind::Instrument;
    const std::string projectPath = std::string("\\") + m.folder + "\\" + m.fileTitle + ".dll";

    ASSERT_TRUE(slot.createModule(owner, projectPath.c_str(), kind, &track));
    EXPECT_STREQ(slot.path(), projectPath.c_str());
    EXPECT_STREQ(slot.product(), m.product);
    EXPECT_EQ(slot.effect()->uniqueID, m.uniqueId);
    EXPECT_EQ(slot.drumSlot(), m.drumSlot);
    EXPECT_STREQ(slot.shortName(), m.shortName);
    EXPECT_STREQ(slot.vendor(), "KAVO");
    EXPECT_TRUE(slot.acceptsMidi());
    EXPECT_GE(slot.outputBufferCount(), 2);
    EXPECT_EQ(slot.programCount(), slot.effect()->numPrograms);
    const char* title = m.fileTitle;

    const std::string elsewhere = std::string("C:/Program Files/Other Host/") + title + ".DLL";
    EXPECT_TRUE(slot.createModule(owner, elsewhere.c_str(), kind, nullptr));
    EXPECT_EQ(slot.effect()->uniqueID, m.uniqueId);

    EXPECT_FALSE(slot.createModule(owner, projectPath.c_str(), wrongKind, &track));
    EXPECT_FALSE(slot.loaded());
    EXPECT_FALSE(slot.createModule(owner, (std::string("\\x\\") + title + "2.dll").c_str(), kind, &track));
    EXPECT_FALSE(slot.createModule(owner, ("\\x\\" + lowerCase(title) + ".dll").c_str(), kind, &track));
    EXPECT_FALSE(slot.loaded());
    slot.unload();
    owner.counter = 0;
}

TEST_P(RegisteredModule, OwnBankImageRoundTrips) {
    const ExpectedModule& m = GetParam();
    ASSERT_NE(findModuleClass(m.fileTitle), nullptr) << m.fileTitle << " is not registered";
    owner.counter = 1;
    const SlotKind kind = m.instrument ? SlotKind::Instrument : SlotKind::Effect;
    ASSERT_TRUE(slot.createModule(owner, m.fileTitle, kind, &track));
    void* data = nullptr;
    const auto size = static_cast<size_t>(slot.dispatch(effGetChunk, 0, 0, &data, 0.0f));
    ASSERT_GT(size, 0u);
    const std::vector<uint8_t> chunk(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    delete[] static_cast<char*>(data);
    // The image a project carries for this module's own bank is accepted;
    // one for another module is not.
    EXPECT_TRUE(slot.loadStateImage(probe::opaqueBankImage(m.uniqueId, chunk).data(), chunk.size() + 160,
                                    static_cast<int64_t>(chunk.size() + 160)));
    const auto other = probe::opaqueBankImage(m.uniqueId ^ 1, chunk);
    EXPECT_FALSE(slot.loadStateImage(other.data(), other.size(), static_cast<int64_t>(other.size())));
    slot.unload();
    owner.counter = 0;
}

INSTANTIATE_TEST_SUITE_P(ModuleTable, RegisteredModule, ::testing::ValuesIn(kExpected),
                         [](const ::testing::TestParamInfo<ExpectedModule>& info) {
                             return std::string(info.param.fileTitle);
                         });

TEST(ModuleTable, HoldsEveryTitleOfTheProductAndNothingElse) {
    int count = 0;
    const ModuleClassEntry* entries = moduleClasses(count);
    EXPECT_EQ(count, static_cast<int>(std::size(kExpected)));
    for (const auto& m : kExpected) {
        const ModuleClassEntry* entry = findModuleClass(m.fileTitle);
        ASSERT_NE(entry, nullptr) << m.fileTitle << " is not registered";
        EXPECT_NE(entry->create, nullptr) << m.fileTitle;
        EXPECT_GE(entry, entries);
        EXPECT_LT(entry, entries + count);
    }
}

TEST(ModuleTable, EveryRegisteredTitleIsAKnownOne) {
    int count = 0;
    const ModuleClassEntry* entries = moduleClasses(count);
    for (int i = 0; i < count; ++i) {
        if (entries[i].create == nullptr) continue;
        bool known = false;
        for (const auto& m : kExpected) {
            if (std::strcmp(m.fileTitle, entries[i].fileTitle) != 0) continue;
            known = true;
            EXPECT_EQ(entries[i].drumSlot, m.drumSlot) << m.fileTitle;
        }
        EXPECT_TRUE(known) << entries[i].fileTitle;
        EXPECT_EQ(findModuleClass(entries[i].fileTitle), &entries[i]);
        EXPECT_EQ(findModuleClass(lowerCase(entries[i].fileTitle).c_str()), nullptr);
    }
    EXPECT_EQ(findModuleClass(""), nullptr);
    EXPECT_EQ(findModuleClass(nullptr), nullptr);
}
