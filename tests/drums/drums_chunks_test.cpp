// Preset, bank and base-folder chunks: sizes, layouts, name completion,
// round-trips and refusals.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "drums_test_host.h"

using namespace drums_test;
using namespace drums;

namespace {

class DrumsChunks : public ::testing::Test {
protected:
    void SetUp() override { library = defaultKit(store); }
    TestStore store;
    std::unique_ptr<SampleLibrary> library;
};

float floatAt(const std::vector<char>& bytes, size_t offset) {
    float v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

void putFloat(std::vector<char>& bytes, size_t offset, float v) { std::memcpy(bytes.data() + offset, &v, 4); }

void putName(std::vector<char>& bytes, size_t offset, const char* name, size_t field = 256) {
    std::memset(bytes.data() + offset, 0, field);
    std::memcpy(bytes.data() + offset, name, std::strlen(name));
}

}  // namespace

TEST_F(DrumsChunks, PresetLayoutAndRoundTrip) {
    DrumsHost host(*library);
    host.setPad(2, kLevel, 0.3f);
    host.setPad(7, kMute, 1.0f);
    host.setPad(0, kRandomPreset, 5.0f);
    const std::vector<char> preset = host.chunk(true);
    ASSERT_EQ(preset.size(), 2496u);
    EXPECT_STREQ(preset.data(), "\\Samples\\Drums\\Default\\Kick.wav");
    EXPECT_STREQ(preset.data() + 2 * 312, "\\Samples\\Drums\\Default\\Snare 1.wav");
    EXPECT_EQ(floatAt(preset, 2 * 312 + 256), 0.3f);            // pad 3 Level
    EXPECT_EQ(floatAt(preset, 7 * 312 + 256 + 13 * 4), 1.0f);   // pad 8 Mute
    EXPECT_EQ(floatAt(preset, 256 + 12 * 4), 5.0f);             // pad 1 RandomPreset
    EXPECT_EQ(floatAt(preset, 256 + (kWaveEnd - 1) * 4), 1.0f);

    DrumsHost other(*library);
    ASSERT_EQ(other.setChunk(preset, true), 1);
    const std::vector<char> back = other.chunk(true);
    ASSERT_EQ(back.size(), preset.size());
    for (size_t i = 0; i < back.size(); ++i) ASSERT_EQ(back[i], preset[i]) << "at byte " << i;
    EXPECT_EQ(other.get(2 * 15 + kLevel), 0.3f);
    EXPECT_NE(other.drums().pad(2).sample, nullptr);
}

TEST_F(DrumsChunks, BankLayoutAndRoundTrip) {
    DrumsHost host(*library);
    host.dispatch(effSetProgram, 0, 3);
    char name[] = "Breaks";
    host.dispatch(effSetProgramName, 0, 0, name);
    host.setPad(4, kTune, 0.8f);
    const std::vector<char> bank = host.chunk(false);
    ASSERT_EQ(bank.size(), 20192u);
    EXPECT_EQ(floatAt(bank, 0), 36.0f);
    EXPECT_EQ(floatAt(bank, 28), 48.0f);
    const size_t program3 = 32 + 3 * (24 + 8 * 312);
    EXPECT_STREQ(bank.data() + program3, "Breaks");
    EXPECT_STREQ(bank.data() + 32, "-");
    EXPECT_STREQ(bank.data() + program3 + 24 + 4 * 312, "\\Samples\\Drums\\Default\\Tom 1.wav");
    EXPECT_EQ(floatAt(bank, program3 + 24 + 4 * 312 + 256 + (kTune - 1) * 4), 0.8f);

    DrumsHost other(*library);
    other.dispatch(effSetProgram, 0, 3);
    ASSERT_EQ(other.setChunk(bank, false), 1);
    EXPECT_EQ(other.chunk(false), bank);
    EXPECT_EQ(other.get(4 * 15 + kTune), 0.8f);
    EXPECT_EQ(other.text(effGetProgramName, 0), "Breaks");
    char indexed[64] = {};
    EXPECT_EQ(other.dispatch(effGetProgramNameIndexed, 0, 0, indexed), 0 + 1);
    EXPECT_STREQ(indexed, "-");
    EXPECT_EQ(other.dispatch(effGetProgramNameIndexed, 8, 0, indexed), 0);
}

TEST_F(DrumsChunks, PadNamesAreCompletedIntoTheDefaultFolder) {
    DrumsHost host(*library);
    std::vector<char> preset = host.chunk(true);
    putName(preset, 0, "Kick");
    putName(preset, 1 * 312, "Claps.wav");
    putName(preset, 2 * 312, "");
    putName(preset, 3 * 312, "Crash 1");
    putName(preset, 4 * 312, "C:\\Kits\\Block.wav");
    // A field without a terminator stays inside its 256 bytes.
    std::memset(preset.data() + 5 * 312, 'x', 256);
    ASSERT_EQ(host.setChunk(preset, true), 1);
    const DrumProgram& p = host.drums().program(0);
    EXPECT_STREQ(p.fileNames[0], "\\Samples\\Drums\\Default\\Kick.wav");
    EXPECT_STREQ(p.fileNames[1], "\\Samples\\Drums\\Default\\Claps.wav");
    EXPECT_STREQ(p.fileNames[2], "\\Samples\\Drums\\Default\\Snare 1.wav");
    EXPECT_STREQ(p.fileNames[3], "\\Samples\\Drums\\Default\\Crash 1.wav");
    EXPECT_STREQ(p.fileNames[4], "C:\\Kits\\Block.wav");
    EXPECT_STREQ(p.fileNames[5], "");  // no such sample: dropped
    for (int k = 0; k < 5; ++k) EXPECT_NE(host.drums().pad(k).sample, nullptr) << k;
    EXPECT_EQ(host.drums().pad(5).sample, nullptr);
    // Pad 2 now plays the claps: the sample follows the name.
    host.noteOn(38);
    host.render(4096);
    EXPECT_NEAR(toneAmplitude(host.out[0], padHz(6), 44100, 0, 4096), 0.5 * 127 / 128, 0.01);
}

TEST_F(DrumsChunks, OlderFormsWithoutMute) {
    DrumsHost host(*library);
    host.setPad(1, kMute, 1.0f);
    std::vector<char> older(2464, 0);
    for (int k = 0; k < 8; ++k) {
        putName(older, static_cast<size_t>(k) * 308, drum_samples::kDefaultNames[k]);
        for (int p = 1; p <= 13; ++p) putFloat(older, static_cast<size_t>(k) * 308 + 256 + 4 * (p - 1), 0.5f);
    }
    ASSERT_EQ(host.setChunk(older, true), 1);
    EXPECT_EQ(host.get(15 + kMute), 1.0f);  // left as it was
    EXPECT_EQ(host.get(15 + kLevel), 0.5f);
    EXPECT_EQ(host.get(15 + kDecay), 0.0f);  // 0.5 is not above 0.5

    std::vector<char> olderBank(19936, 0);
    for (int k = 0; k < 8; ++k) putFloat(olderBank, 4 * static_cast<size_t>(k), static_cast<float>(60 + k));
    for (int prog = 0; prog < 8; ++prog) {
        const size_t base = 32 + static_cast<size_t>(prog) * (24 + 8 * 308);
        putName(olderBank, base, "Old", 24);
        for (int k = 0; k < 8; ++k) {
            const size_t values = base + 24 + static_cast<size_t>(k) * 308 + 256;
            putFloat(olderBank, values + 4 * (kLevel - 1), 0.86916465f);
            putFloat(olderBank, values + 4 * (kWaveEnd - 1), 1.0f);
            putFloat(olderBank, values + 4 * (kRandomPreset - 1), 7.0f);
        }
    }
    ASSERT_EQ(host.setChunk(olderBank, false), 1);
    EXPECT_EQ(host.get(kRandomPreset), 7.0f);  // the last value an older pad carries
    EXPECT_EQ(host.get(15 + kMute), 0.0f);  // absent: the default
    EXPECT_EQ(host.text(effGetProgramName, 0), "Old");
    const std::vector<char> bank = host.chunk(false);
    EXPECT_EQ(floatAt(bank, 0), 60.0f);
    // The notes moved: pad 1 now answers 60.
    host.noteOn(60);
    host.render(2048);
    EXPECT_GT(peak(host.out[0], 0, 2048), 0.1);
}

TEST_F(DrumsChunks, WrongSizesAreRefusedAndChangeNothing) {
    DrumsHost host(*library);
    host.setPad(0, kLevel, 0.4f);
    const std::vector<char> bank = host.chunk(false);
    for (size_t size : {size_t(1), size_t(255), size_t(257), size_t(2463), size_t(2495), size_t(2497),
                        size_t(19935), size_t(20191), size_t(20193)}) {
        std::vector<char> junk(size, 'A');
        EXPECT_EQ(host.setChunk(junk, true), 0) << size;
        EXPECT_EQ(host.setChunk(junk, false), 0) << size;
    }
    // A preset size offered as a bank and the other way round.
    EXPECT_EQ(host.setChunk(std::vector<char>(2496, 0), false), 0);
    EXPECT_EQ(host.setChunk(std::vector<char>(20192, 0), true), 0);
    EXPECT_EQ(host.dispatch(effSetChunk, 0, 2496, nullptr), 0);
    EXPECT_EQ(host.chunk(false), bank);
}

TEST_F(DrumsChunks, NonFiniteValuesAndNotesAreRepaired) {
    DrumsHost host(*library);
    std::vector<char> bank = host.chunk(false);
    putFloat(bank, 0, std::nanf(""));
    putFloat(bank, 4, 300.0f);
    putFloat(bank, 32 + 24 + 256, std::numeric_limits<float>::infinity());
    putFloat(bank, 32 + 24 + 256 + 4, -3.0f);
    ASSERT_EQ(host.setChunk(bank, false), 1);
    const std::vector<char> back = host.chunk(false);
    EXPECT_EQ(floatAt(back, 0), 36.0f);
    EXPECT_EQ(floatAt(back, 4), 38.0f);
    EXPECT_EQ(host.get(kLevel), 1.0f);  // an infinity is held to the top of the range
    EXPECT_EQ(host.get(kPan), 0.0f);
    host.noteOn(36);
    host.render(1024);
    for (int k = 0; k < 6; ++k) EXPECT_TRUE(std::isfinite(peak(host.out[k], 0, 1024))) << k;
}

TEST_F(DrumsChunks, BaseFolderTakesTheSamplesAlongWithTheBank) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("talvex-drums-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    const fs::path kits = folder / "kits";
    fs::create_directories(kits);
    {
        std::ofstream(kits / "Ride.wav") << "ride bytes";
    }

    DrumsHost host(*library);
    std::vector<char> base(256, 0);
    const std::string folderText = folder.string() + "/";
    std::memcpy(base.data(), folderText.data(), folderText.size());
    ASSERT_EQ(host.setChunk(base, false), 1);
    EXPECT_EQ(std::string(host.drums().baseFolder()), folder.string());

    // Pad 1 names a file under the base folder, without an extension.
    std::vector<char> preset = host.chunk(true);
    putName(preset, 0, "\\kits\\Ride.wav");
    ASSERT_EQ(host.setChunk(preset, true), 1);
    EXPECT_NE(host.drums().pad(0).sample, nullptr);

    const std::vector<char> bank = host.chunk(false);
    EXPECT_STREQ(bank.data() + 32 + 24, "\\Ride.wav");
    EXPECT_STREQ(bank.data() + 32 + 24 + 312, "\\Kick2.wav");
    std::ifstream copied(folder / "Ride.wav");
    std::string content;
    std::getline(copied, content);
    EXPECT_EQ(content, "ride bytes");
    // The preset chunk keeps names as they are.
    EXPECT_STREQ(host.chunk(true).data(), "\\kits\\Ride.wav");
    fs::remove_all(folder);
}
