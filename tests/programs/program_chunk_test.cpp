// The chunk that carries the user programs: byte layout, sizes, names that
// fill their field, refusals, and round trips with patterns.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/program_chunk.h"

namespace {

int32_t int32At(const std::vector<uint8_t>& b, size_t at) {
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

float floatAt(const std::vector<uint8_t>& b, size_t at) {
    float v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::vector<ProgramRecord> emptyRecords(int n) { return std::vector<ProgramRecord>(static_cast<size_t>(n)); }

}  // namespace

TEST(ProgramChunk, EmptyBankAndProgramHaveTheirFixedSizesAndHeader) {
    const auto records = emptyRecords(24);
    const std::vector<uint8_t> bank = buildProgramChunk(records.data(), 24, false);
    ASSERT_EQ(bank.size(), 35204u);
    EXPECT_EQ(int32At(bank, 0), 35204);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bank.data()) + 4), "TalvexBass");
    for (size_t i = 4 + 10; i < 36; ++i) EXPECT_EQ(bank[i], 0) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bank.data()) + 36), "1.1");
    for (size_t i = 36 + 3; i < 68; ++i) EXPECT_EQ(bank[i], 0) << i;

    const std::vector<uint8_t> program = buildProgramChunk(records.data(), 1, true);
    ASSERT_EQ(program.size(), 1508u);
    EXPECT_EQ(int32At(program, 0), 1508);
    // Project name, then the six floats: play switch, tempo, mute-key switch,
    // mute key, live transposition, play controller.
    EXPECT_FLOAT_EQ(floatAt(program, 68 + 128), 1.0f);
    EXPECT_FLOAT_EQ(floatAt(program, 68 + 128 + 4), 120.0f);
    EXPECT_FLOAT_EQ(floatAt(program, 68 + 128 + 12), 48.0f);
    // Track 1's entry follows the 40 reserved bytes: level 64, pan 0, no notes.
    const size_t track1 = 68 + 128 + 24 + 40;
    EXPECT_FLOAT_EQ(floatAt(program, track1), 64.0f);
    EXPECT_FLOAT_EQ(floatAt(program, track1 + 8), 0.0f);
}

TEST(ProgramChunk, NamesThatFillTheirFieldHaveNoTerminatorAndReadBack) {
    auto records = emptyRecords(24);
    const std::string longName = "ABCDEFGHIJKLMNOPQRSTUVWX";  // exactly 24
    std::memcpy(records[3].programName, longName.data(), 24);
    const std::vector<uint8_t> bank = buildProgramChunk(records.data(), 24, false);
    const size_t record3 = 68 + 3 * 1464;
    EXPECT_EQ(std::memcmp(bank.data() + record3 + 128, longName.data(), 24), 0);
    EXPECT_FLOAT_EQ(floatAt(bank, record3 + 128 + 24), 1.0f);  // play switch follows at once

    std::vector<ProgramRecord> back;
    ASSERT_TRUE(parseProgramChunk(bank.data(), bank.size(), false, back, 24));
    EXPECT_EQ(std::string(back[3].programName, 24), longName);
}

TEST(ProgramChunk, PatternsAndSatellitesRoundTrip) {
    auto records = emptyRecords(24);
    records[5].tempo = 133.0f;
    records[5].trackLevel[2] = 99.0f;
    records[5].trackPan[7] = -0.5f;
    records[5].satellites[31][8] = 1.0f;
    records[5].satellites[0][0] = 12.5f;
    auto pattern = std::make_unique<ProgramPattern>();
    pattern->lengthSteps = 32.0f;
    pattern->notes = {{0.0f, 1.0f, 36, 100}, {3.5f, 0.5f, 60, 0}};
    records[5].editPatterns[1] = std::move(pattern);

    const std::vector<uint8_t> bank = buildProgramChunk(records.data(), 24, false);
    EXPECT_EQ(bank.size(), 35204u + 4 + 2 * 16);  // a non-empty pattern adds its length and its notes
    std::vector<ProgramRecord> back;
    ASSERT_TRUE(parseProgramChunk(bank.data(), bank.size(), false, back, 24));
    EXPECT_EQ(back[5].tempo, 133.0f);
    EXPECT_EQ(back[5].trackLevel[2], 99.0f);
    EXPECT_EQ(back[5].trackPan[7], -0.5f);
    EXPECT_EQ(back[5].satellites[31][8], 1.0f);
    EXPECT_EQ(back[5].satellites[0][0], 12.5f);
    ASSERT_NE(back[5].editPatterns[1], nullptr);
    EXPECT_EQ(back[5].editPatterns[1]->lengthSteps, 32.0f);
    ASSERT_EQ(back[5].editPatterns[1]->notes.size(), 2u);
    EXPECT_EQ(back[5].editPatterns[1]->notes[1].position, 3.5f);
    EXPECT_EQ(back[5].editPatterns[1]->notes[1].key, 60);
    EXPECT_EQ(back[5].editPatterns[0], nullptr);
    EXPECT_EQ(buildProgramChunk(back.data(), 24, false), bank);
}

TEST(ProgramChunk, RefusesWrongSizeKeyVersionAndCountsThatDoNotFit) {
    const auto records = emptyRecords(24);
    std::vector<uint8_t> bank = buildProgramChunk(records.data(), 24, false);
    std::vector<ProgramRecord> out;
    auto refused = [&](std::vector<uint8_t> bytes, bool isPreset) {
        return !parseProgramChunk(bytes.data(), bytes.size(), isPreset, out, isPreset ? 1 : 24);
    };

    auto oldVersion = bank;
    std::memcpy(oldVersion.data() + 36, "1.0", 3);
    EXPECT_TRUE(refused(oldVersion, false));
    auto otherKey = bank;
    otherKey[4] = 'X';
    EXPECT_TRUE(refused(otherKey, false));
    auto shortened = bank;
    shortened.pop_back();
    EXPECT_TRUE(refused(shortened, false));  // the size field no longer matches
    std::vector<uint8_t> header(bank.begin(), bank.begin() + 67);
    EXPECT_TRUE(refused(header, false));

    // A note count that cannot fit in the bytes left is refused, not read.
    auto program = buildProgramChunk(records.data(), 1, true);
    const size_t countAt = 68 + 128 + 24 + 40 + 8;
    const float huge = 1.0e6f;
    std::memcpy(program.data() + countAt, &huge, 4);
    EXPECT_TRUE(refused(program, true));
    const float negative = -3.0f;
    std::memcpy(program.data() + countAt, &negative, 4);
    EXPECT_TRUE(refused(program, true));
}
