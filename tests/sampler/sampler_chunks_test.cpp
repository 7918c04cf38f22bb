// Preset and bank chunks: byte layout, round trips, the base-folder chunk,
// the older shorter forms, refusals, linked editing and damaged fields.
#include <cstring>

#include "tests/sampler/sampler_test_host.h"

using namespace sampler;
using namespace sampler_test;

namespace {

float floatAt(const std::vector<char>& bytes, size_t offset) {
    float v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

void putFloat(std::vector<char>& bytes, size_t offset, float v) { std::memcpy(bytes.data() + offset, &v, 4); }

void putName(std::vector<char>& bytes, size_t offset, const char* name) {
    std::memset(bytes.data() + offset, 0, 256);
    std::memcpy(bytes.data() + offset, name, std::strlen(name));
}

// A preset of the given form: optional link flag, then per part a name and
// n values, each value = 0.01 * (part + 1) + 0.001 * parameter.
std::vector<char> presetOfForm(int valuesPerPart, bool hasLink, float link = 0.0f) {
    std::vector<char> bytes(static_cast<size_t>((hasLink ? 4 : 0) + 16 * (256 + 4 * valuesPerPart)), 0);
    size_t at = 0;
    if (hasLink) {
        putFloat(bytes, 0, link);
        at = 4;
    }
    for (int k = 0; k < 16; ++k) {
        putName(bytes, at, k == 2 ? "Ramp.wav" : "");
        at += 256;
        for (int p = 1; p <= valuesPerPart; ++p, at += 4)
            putFloat(bytes, at, p == kSplitNote ? 40.0f + k : 0.01f * (k + 1) + 0.001f * p);
    }
    return bytes;
}

std::vector<char> bankOfForm(int valuesPerPart, bool hasLink) {
    const std::vector<char> preset = presetOfForm(valuesPerPart, hasLink);
    std::vector<char> bytes(64, 0);
    for (int k = 0; k < 16; ++k) putFloat(bytes, static_cast<size_t>(4 * k), 90.0f);  // header: not what counts
    for (int program = 0; program < 8; ++program) {
        char name[24] = {};
        std::snprintf(name, sizeof(name), "Old %d", program);
        bytes.insert(bytes.end(), name, name + 24);
        bytes.insert(bytes.end(), preset.begin(), preset.end());
    }
    return bytes;
}

std::vector<char> baseFolderChunk(const char* folder) {
    std::vector<char> bytes(256, 0);
    std::memcpy(bytes.data(), folder, std::strlen(folder));
    return bytes;
}

}  // namespace

TEST(SamplerChunks, PresetLayoutCarriesLinkNamesAndValuesInOrder) {
    SamplerHost h;
    h.load(3, "Ramp.wav");
    h.set(3, kLevel, 0.25f);
    h.set(3, kPitchBend, 0.75f);
    h.set(3, kSplitNote, 64.0f);
    const auto bytes = h.chunk(true);
    ASSERT_EQ(bytes.size(), 6084u);
    const size_t part3 = 4 + 3 * 380;
    EXPECT_STREQ(bytes.data() + part3, "Ramp.wav");
    EXPECT_EQ(floatAt(bytes, part3 + 256 + 4 * (kLevel - 1)), 0.25f);
    EXPECT_EQ(floatAt(bytes, part3 + 256 + 4 * (kSplitNote - 1)), 64.0f);
    EXPECT_EQ(floatAt(bytes, part3 + 256 + 4 * (kPitchBend - 1)), 0.75f);
    EXPECT_EQ(floatAt(bytes, 0), 0.0f);
    EXPECT_EQ(h.chunk(false).size(), 48928u);
}

TEST(SamplerChunks, PresetAndBankRoundTripThroughAFreshModule) {
    SamplerHost a;
    a.load(0, "Ramp.wav");
    a.load(5, "Sine440.wav");
    for (int k = 0; k < 16; ++k)
        for (int p = 1; p < 32; ++p)
            if (p != kSplitNote) a.set(k, p, static_cast<float>((k * 31 + p) % 97) / 97.0f);
    a.dispatch(effSetProgram, 0, 3);
    a.load(1, "One.wav");
    char name[] = "Round trip";
    a.dispatch(effSetProgramName, 0, 0, name);
    const auto preset = a.chunk(true);
    const auto bank = a.chunk(false);

    SamplerHost b;
    b.dispatch(effSetProgram, 0, 3);
    ASSERT_EQ(b.setChunk(bank, false), 1);
    EXPECT_EQ(b.chunk(false), bank);
    EXPECT_STREQ(b.sampler().partFileName(1), "One.wav");
    EXPECT_EQ(b.sampler().partsInUse(), 2);
    char read[32] = {};
    b.dispatch(effGetProgramName, 0, 0, read);
    EXPECT_STREQ(read, "Round trip");

    SamplerHost c;
    ASSERT_EQ(c.setChunk(preset, true), 1);
    EXPECT_EQ(c.chunk(true), preset);
    EXPECT_EQ(c.get(1, kLevel), a.get(1, kLevel));
    EXPECT_NE(c.sampler().part(1).sample.frameCount, 0u);  // the sample was loaded
}

TEST(SamplerChunks, AChunkOf256BytesSetsTheBaseFolderAndNoProgram) {
    SamplerHost h;
    h.load(0, "Ramp.wav");
    std::vector<sampler::Program> before;
    for (int p = 0; p < 8; ++p) before.push_back(h.sampler().program(p));
    EXPECT_EQ(h.setChunk(baseFolderChunk("C:\\Banks\\Mine"), true), 1);
    EXPECT_STREQ(h.sampler().baseFolder(), "C:\\Banks\\Mine\\");
    EXPECT_EQ(h.setChunk(baseFolderChunk("D:\\Other"), false), 1);
    EXPECT_STREQ(h.sampler().baseFolder(), "D:\\Other\\");
    for (int p = 0; p < 8; ++p) EXPECT_EQ(std::memcmp(&before[p], &h.sampler().program(p), sizeof(before[p])), 0);

    // A bank written with a base folder names its samples relative to it...
    const auto bank = h.chunk(false);
    EXPECT_STREQ(bank.data() + 64 + 28, "\\Ramp.wav");
    EXPECT_STREQ(h.chunk(true).data() + 4, "Ramp.wav");  // (presets never do)
    // ...and read back, the name lands in the folder, then loads from the store.
    SamplerHost other;
    other.setChunk(baseFolderChunk("D:\\Other"), true);
    ASSERT_EQ(other.setChunk(bank, false), 1);
    EXPECT_STREQ(other.sampler().partFileName(0), "Ramp.wav");
    EXPECT_NE(other.sampler().part(0).sample.frameCount, 0u);

    // A 256-byte chunk without text clears the folder.
    EXPECT_EQ(h.setChunk(std::vector<char>(256, 0), true), 1);
    EXPECT_STREQ(h.sampler().baseFolder(), "");
}

TEST(SamplerChunks, BankNamesEndingInASeparatorAreEmptied) {
    SamplerHost h;
    auto bank = bankOfForm(31, true);
    putName(bank, 64 + 28, "C:\\Samples\\");
    ASSERT_EQ(h.setChunk(bank, false), 1);
    EXPECT_STREQ(h.sampler().program(0).fileNames[0], "");
}

TEST(SamplerChunks, OlderPresetFormsKeepTheValuesTheyLack) {
    const struct {
        int values;
        bool link;
        size_t bytes;
    } forms[] = {{17, false, 5184}, {18, false, 5248}, {19, false, 5312}, {20, false, 5376},
                 {24, false, 5632}, {26, false, 5760}, {26, true, 5764}};
    for (const auto& form : forms) {
        SamplerHost h;
        h.set(4, kPitchBend, 0.9f);  // parameter 31: in none of the older forms
        const auto preset = presetOfForm(form.values, form.link);
        ASSERT_EQ(preset.size(), form.bytes);
        ASSERT_EQ(h.setChunk(preset, true), 1) << form.bytes;
        EXPECT_FLOAT_EQ(h.get(4, kLevel), 0.05f + 0.001f) << form.bytes;
        EXPECT_FLOAT_EQ(h.get(4, form.values), form.values == kSplitNote ? 44.0f : 0.05f + 0.001f * form.values);
        EXPECT_FLOAT_EQ(h.get(4, kPitchBend), 0.9f) << form.bytes;
        EXPECT_STREQ(h.sampler().partFileName(2), "Ramp.wav");
    }
}

TEST(SamplerChunks, OlderBankFormsFillTheRestWithDefaults) {
    const struct {
        int values;
        bool link;
        size_t bytes;
    } forms[] = {{17, false, 41728}, {18, false, 42240}, {19, false, 42752}, {20, false, 43264},
                 {24, false, 45312}, {26, false, 46336}, {26, true, 46368}};
    for (const auto& form : forms) {
        SamplerHost h;
        h.set(4, kPitchBend, 0.9f);
        const auto bank = bankOfForm(form.values, form.link);
        ASSERT_EQ(bank.size(), form.bytes);
        ASSERT_EQ(h.setChunk(bank, false), 1) << form.bytes;
        EXPECT_FLOAT_EQ(h.get(4, kLevel), 0.05f + 0.001f) << form.bytes;
        EXPECT_FLOAT_EQ(h.get(4, kPitchBend), 0.5f) << form.bytes;  // the default program's
        // The oldest form has no split notes: part k answers up to 36 + k.
        EXPECT_FLOAT_EQ(h.get(4, kSplitNote), form.values >= kSplitNote ? 44.0f : 40.0f) << form.bytes;
        char name[32] = {};
        h.dispatch(effGetProgramNameIndexed, 7, 0, name);
        EXPECT_STREQ(name, "Old 7");
    }
}

TEST(SamplerChunks, OtherSizesAreRefusedAndChangeNothing) {
    SamplerHost h;
    h.set(0, kLevel, 0.3f);
    const auto preset = h.chunk(true);
    const auto bank = h.chunk(false);
    for (size_t size : {size_t{1}, size_t{255}, size_t{257}, size_t{5183}, size_t{6083}, size_t{6085}, size_t{48927},
                        size_t{48929}}) {
        std::vector<char> bytes(size, 0x7F);
        EXPECT_EQ(h.setChunk(bytes, true), 0) << size;
        EXPECT_EQ(h.setChunk(bytes, false), 0) << size;
    }
    EXPECT_EQ(h.setChunk(std::vector<char>(6084, 0), false), 0);  // a preset is no bank
    EXPECT_EQ(h.setChunk(std::vector<char>(48928, 0), true), 0);
    EXPECT_EQ(h.dispatch(effSetChunk, 1, 6084, nullptr), 0);
    EXPECT_EQ(h.chunk(true), preset);
    EXPECT_EQ(h.chunk(false), bank);
}

TEST(SamplerChunks, DamagedFieldsAreBoundedAndSanitised) {
    SamplerHost h;
    auto preset = presetOfForm(31, true);
    std::memset(preset.data() + 4, 'A', 256);  // a name without terminator
    putFloat(preset, 4 + 256, std::nanf(""));  // Level
    putFloat(preset, 4 + 256 + 4, 1e30f);      // Pan
    putFloat(preset, 4 + 256 + 4 * (kSplitNote - 1), -1e30f);
    ASSERT_EQ(h.setChunk(preset, true), 1);
    EXPECT_EQ(std::strlen(h.sampler().partFileName(0)), 255u);
    EXPECT_FLOAT_EQ(h.get(0, kLevel), 0.7686218f);
    EXPECT_FLOAT_EQ(h.get(0, kPan), 1.0f);
    EXPECT_FLOAT_EQ(h.get(0, kSplitNote), 0.0f);

    auto bank = bankOfForm(31, true);
    std::memset(bank.data() + 64, 'N', 24);  // program name without terminator
    ASSERT_EQ(h.setChunk(bank, false), 1);
    char name[64] = {};
    h.dispatch(effGetProgramNameIndexed, 0, 0, name);
    EXPECT_EQ(std::strlen(name), 23u);
}

TEST(SamplerLinkedEditing, TheLinkFlagSpreadsAValueOverAllParts) {
    SamplerHost h;
    ASSERT_EQ(h.setChunk(presetOfForm(31, true, 1.0f), true), 1);
    EXPECT_TRUE(h.sampler().linked());
    h.set(5, kLevel, 0.5f);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(h.get(k, kLevel), 0.5f) << k;
    EXPECT_EQ(h.sampler().program(0).value(kLevel, 9), 0.5f);  // the program holds it too

    ASSERT_EQ(h.setChunk(presetOfForm(31, true, 0.0f), true), 1);
    EXPECT_FALSE(h.sampler().linked());
    h.set(5, kLevel, 0.4f);
    EXPECT_EQ(h.get(5, kLevel), 0.4f);
    EXPECT_FLOAT_EQ(h.get(6, kLevel), 0.07f + 0.001f);
}

TEST(SamplerPrograms, ProgramsKeepTheirOwnSamplesAndValues) {
    SamplerHost h;
    h.load(0, "One.wav");
    h.set(0, kLevel, 0.2f);
    h.dispatch(effSetProgram, 0, 1);
    EXPECT_STREQ(h.sampler().partFileName(0), "");
    EXPECT_EQ(h.sampler().partsInUse(), 0);
    h.load(2, "Two.wav");
    h.dispatch(effSetProgram, 0, 0);
    EXPECT_STREQ(h.sampler().partFileName(0), "One.wav");
    EXPECT_STREQ(h.sampler().partFileName(2), "");
    EXPECT_EQ(h.get(0, kLevel), 0.2f);
    EXPECT_EQ(h.sampler().partsInUse(), 1);
    h.dispatch(effSetProgram, 0, 8);  // out of range: ignored
    EXPECT_EQ(h.dispatch(effGetProgram), 0);
    EXPECT_EQ(h.dispatch(effCopyProgram, 8), 0);
    EXPECT_EQ(h.dispatch(effCopyProgram, 5), 1);
    EXPECT_STREQ(h.sampler().program(5).fileNames[0], "One.wav");
}
