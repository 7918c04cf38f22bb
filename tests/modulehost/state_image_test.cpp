#include <cstring>

#include "modulehost/bank_image.h"
#include "slot_fixture.h"

namespace {

std::vector<uint8_t> bankChunkOf(CPlugin& slot) {
    void* data = nullptr;
    const auto size = static_cast<size_t>(slot.dispatch(effGetChunk, 0, 0, &data, 0.0f));
    std::vector<uint8_t> out(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    delete[] static_cast<char*>(data);
    return out;
}

std::string programName(CPlugin& slot, int program) {
    char text[64] = {};
    slot.dispatch(effGetProgramNameIndexed, program, 0, text, 0.0f);
    return text;
}

bool load(CPlugin& slot, const std::vector<uint8_t>& image) {
    return slot.loadStateImage(image.data(), image.size(), static_cast<int64_t>(image.size()));
}

const VstInt32 kEffectId = probe::kEffectInfo.uniqueId;

}  // namespace

TEST(BankImage, HeaderChecksAndBounds) {
    bankimage::Header h;
    auto image = probe::opaqueBankImage(kEffectId, std::vector<uint8_t>(40, 7));
    ASSERT_EQ(image.size(), 200u);
    ASSERT_TRUE(bankimage::readHeader(image.data(), image.size(), h));
    EXPECT_EQ(h.format, bankimage::Format::OpaqueChunk);
    EXPECT_EQ(h.pluginId, kEffectId);
    EXPECT_EQ(h.chunkBytes, 40u);
    EXPECT_EQ(h.chunk, image.data() + 160);
    // A chunk size running past the image, or negative, is refused.
    image[159] = 41;
    EXPECT_FALSE(bankimage::readHeader(image.data(), image.size(), h));
    image[156] = 0x80;
    EXPECT_FALSE(bankimage::readHeader(image.data(), image.size(), h));
    // Shorter than the fixed header.
    image = probe::opaqueBankImage(kEffectId, {});
    EXPECT_TRUE(bankimage::readHeader(image.data(), 160, h));
    EXPECT_FALSE(bankimage::readHeader(image.data(), 159, h));
    EXPECT_FALSE(bankimage::readHeader(image.data(), 20, h));
    // The byte size field is not looked at.
    image[4] = 0x7F;
    image[7] = 0x55;
    EXPECT_TRUE(bankimage::readHeader(image.data(), image.size(), h));
}

TEST_F(SlotTest, OpaqueBankImageIsHandedToTheModule) {
    ASSERT_TRUE(createEffect());
    const auto chunk = probe::probeBankChunk(0.5f, "Loaded");
    probe::record().calls.clear();
    ASSERT_TRUE(load(slot, probe::opaqueBankImage(kEffectId, chunk)));
    EXPECT_EQ(probe::opcodes(), (std::vector<VstInt32>{effBeginSetProgram, effSetChunk, effEndSetProgram}));
    EXPECT_EQ(probe::record().calls[1].index, 0);  // bank, not program
    EXPECT_EQ(probe::record().calls[1].value, static_cast<VstIntPtr>(chunk.size()));
    EXPECT_EQ(bankChunkOf(slot), chunk);
    EXPECT_EQ(programName(slot, 3), "Loaded 3");
}

TEST_F(SlotTest, ByteReversedChunkMagicIsAccepted) {
    ASSERT_TRUE(createEffect());
    const auto chunk = probe::probeBankChunk(0.25f, "Reversed");
    ASSERT_TRUE(load(slot, probe::opaqueBankImage(kEffectId, chunk, "KncC")));
    EXPECT_EQ(bankChunkOf(slot), chunk);
}

TEST_F(SlotTest, RefusedImagesLeaveTheModuleAsItWas) {
    ASSERT_TRUE(createEffect());
    const auto before = bankChunkOf(slot);
    const auto chunk = probe::probeBankChunk(0.75f, "Other");
    probe::record().calls.clear();

    EXPECT_FALSE(load(slot, probe::opaqueBankImage(kEffectId + 1, chunk)));          // another module's ID
    EXPECT_FALSE(load(slot, probe::opaqueBankImage(kEffectId, chunk, "CcnQ")));      // chunk magic
    EXPECT_FALSE(load(slot, probe::opaqueBankImage(kEffectId, chunk, "CcnK", 2)));   // format version
    auto wrongFormat = probe::opaqueBankImage(kEffectId, chunk);
    std::memcpy(&wrongFormat[8], "FPCh", 4);
    EXPECT_FALSE(load(slot, wrongFormat));
    // The module itself refuses a chunk of the wrong size.
    auto shortChunk = chunk;
    shortChunk.pop_back();
    EXPECT_FALSE(load(slot, probe::opaqueBankImage(kEffectId, shortChunk)));
    EXPECT_EQ(bankChunkOf(slot), before);
    // Only that last image reached the module.
    EXPECT_EQ(probe::count(effSetChunk), 1);
}

TEST_F(SlotTest, ImageLongerThanTheBytesLeftIsRefusedUnread) {
    const auto whole = probe::opaqueBankImage(kEffectId, probe::probeBankChunk(0.5f, "X"));
    EXPECT_FALSE(load(slot, whole));  // no module yet
    ASSERT_TRUE(createEffect());
    const auto before = bankChunkOf(slot);
    const auto image = probe::opaqueBankImage(kEffectId, probe::probeBankChunk(0.5f, "Cut"));
    // Only part of the image is readable; the copy holds exactly that part,
    // so any read beyond it is caught by the address sanitizer.
    const std::vector<uint8_t> available(image.begin(), image.begin() + 300);
    EXPECT_FALSE(slot.loadStateImage(available.data(), available.size(), static_cast<int64_t>(image.size())));
    EXPECT_FALSE(slot.loadStateImage(available.data(), available.size(), -1));
    EXPECT_FALSE(slot.loadStateImage(nullptr, 0, 10));
    EXPECT_EQ(bankChunkOf(slot), before);
    EXPECT_EQ(probe::count(effSetChunk), 0);
}

TEST_F(SlotTest, OpaqueImageNeedsAModuleWithProgramChunks) {
    probe::record().noChunkFlag = true;
    ASSERT_TRUE(createEffect());
    EXPECT_FALSE(load(slot, probe::opaqueBankImage(kEffectId, probe::probeBankChunk(0.5f, "X"))));
    EXPECT_EQ(probe::count(effSetChunk), 0);
}

TEST_F(SlotTest, ProgramBankRestoresTheProgramThatWasCurrent) {
    ASSERT_TRUE(createEffect());
    ASSERT_TRUE(slot.selectProgram(2));
    const auto image = probe::programBankImage(kEffectId, {{"Alpha", {0.9f, 0.8f, 0.7f}},
                                                           {"Beta", {0.6f, 0.5f, 0.4f}},
                                                           {"Gamma", {0.3f, 0.2f, 0.1f}}});
    ASSERT_TRUE(load(slot, image));
    EXPECT_EQ(slot.dispatch(effGetProgram, 0, 0, nullptr, 0.0f), 2);
    EXPECT_EQ(programName(slot, 0), "Alpha");
    EXPECT_EQ(programName(slot, 1), "Beta");
    EXPECT_EQ(programName(slot, 2), "Gamma");
    EXPECT_EQ(programName(slot, 3), "Probe 3");
    // The live values are those of the restored program as the image left it.
    EXPECT_FLOAT_EQ(slot.getParameter(0), 0.3f);
    EXPECT_FLOAT_EQ(slot.getParameter(2), 0.1f);
    ASSERT_TRUE(slot.selectProgram(0));
    EXPECT_FLOAT_EQ(slot.getParameter(1), 0.8f);
    EXPECT_EQ(slot.programCount(), 3);
    EXPECT_FALSE(slot.selectProgram(3));  // beyond the count the image declared
}

TEST_F(SlotTest, ProgramBankNeverWritesBeyondTheModulesPrograms) {
    ASSERT_TRUE(createEffect());
    ASSERT_TRUE(slot.selectProgram(3));
    std::vector<probe::ProgramImage> programs;
    for (int p = 0; p < 6; ++p) programs.push_back({"Bank " + std::to_string(p), {0.5f, 0.5f, 0.5f}});
    programs[4].values = {0.99f, 0.99f, 0.99f};
    programs[5].name = "Intruder";
    ASSERT_TRUE(load(slot, probe::programBankImage(kEffectId, programs)));
    EXPECT_EQ(programName(slot, 3), "Bank 3");
    EXPECT_FLOAT_EQ(slot.getParameter(0), 0.5f);
    EXPECT_EQ(slot.programCount(), probe::kPrograms);
}

TEST_F(SlotTest, TruncatedProgramBankAppliesOnlyWhatItHolds) {
    ASSERT_TRUE(createEffect());
    auto image = probe::programBankImage(kEffectId, {{"One", {0.9f, 0.8f, 0.7f}},
                                                     {"Two", {0.6f, 0.5f, 0.4f}},
                                                     {"Three", {0.3f, 0.2f, 0.1f}}});
    // Cut inside the second record's values: its first value stays, the
    // rest and the third record are missing.
    image.resize(156 + 68 + 56 + 4 + 2);
    ASSERT_TRUE(load(slot, image));
    EXPECT_EQ(programName(slot, 0), "One");
    EXPECT_EQ(programName(slot, 1), "Two");
    EXPECT_EQ(programName(slot, 2), "Probe 2");
    ASSERT_TRUE(slot.selectProgram(1));
    EXPECT_FLOAT_EQ(slot.getParameter(0), 0.6f);
    EXPECT_FLOAT_EQ(slot.getParameter(1), 0.11f);  // the factory value
}

TEST_F(SlotTest, ProgramRecordsWithMoreValuesThanParametersStopAtTheParameters) {
    ASSERT_TRUE(createEffect());
    const auto image = probe::programBankImage(kEffectId, {{"Wide", {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}}});
    probe::record().calls.clear();
    ASSERT_TRUE(load(slot, image));
    EXPECT_FLOAT_EQ(slot.getParameter(2), 0.3f);
    // Refused outright: a negative parameter count.
    auto bad = image;
    bad[156 + 24] = 0xFF;
    EXPECT_FALSE(load(slot, bad));
}

TEST_F(SlotTest, StateChangesEndWithEditIdleWhenAsked) {
    ASSERT_TRUE(createEffect());
    slot.setEditIdle(true);
    probe::record().calls.clear();
    ASSERT_TRUE(load(slot, probe::opaqueBankImage(kEffectId, probe::probeBankChunk(0.5f, "Idle"))));
    EXPECT_EQ(probe::opcodes().back(), effEditIdle);
}

TEST_F(SlotTest, SelectProgramIsOneProgramChangeAndFetchesTheName) {
    ASSERT_TRUE(createEffect());
    probe::record().calls.clear();
    ASSERT_TRUE(slot.selectProgram(3));
    EXPECT_EQ(probe::opcodes(),
              (std::vector<VstInt32>{effBeginSetProgram, effSetProgram, effEndSetProgram, effGetProgramName}));
    EXPECT_EQ(probe::record().calls[1].value, 3);
    EXPECT_STREQ(slot.programName(), "Probe 3");
    probe::record().calls.clear();
    EXPECT_FALSE(slot.selectProgram(probe::kPrograms));
    EXPECT_FALSE(slot.selectProgram(-1));
    EXPECT_TRUE(probe::record().calls.empty());
    EXPECT_STREQ(slot.programName(), "Probe 3");
}

TEST_F(SlotTest, ProgramChunkIsASingleProgram) {
    ASSERT_TRUE(createEffect());
    const float values[probe::kParams] = {0.25f, 0.5f, 0.75f};
    probe::record().calls.clear();
    ASSERT_TRUE(slot.loadProgramChunk(values, sizeof(values)));
    EXPECT_EQ(probe::opcodes(), (std::vector<VstInt32>{effBeginSetProgram, effSetChunk, effEndSetProgram}));
    EXPECT_EQ(probe::record().calls[1].index, 1);
    EXPECT_EQ(probe::record().calls[1].value, static_cast<VstIntPtr>(sizeof(values)));
    EXPECT_FLOAT_EQ(slot.getParameter(2), 0.75f);
    EXPECT_FALSE(slot.loadProgramChunk(values, sizeof(values) - 1));
    EXPECT_FALSE(slot.loadProgramChunk(nullptr, 12));
    EXPECT_FLOAT_EQ(slot.getParameter(2), 0.75f);
}
