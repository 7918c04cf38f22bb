#include "tools/talvex_render/fx_file_reader.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void putBig(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}
void putFloat(std::vector<uint8_t>& out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    putBig(out, bits);
}

std::vector<uint8_t> parameterProgram(const char* name, std::initializer_list<float> values, uint32_t id = 0x54527062) {
    std::vector<uint8_t> out;
    putTag(out, "CcnK");
    putBig(out, static_cast<uint32_t>(48 + 4 * values.size()));
    putTag(out, "FxCk");
    putBig(out, 1);
    putBig(out, id);
    putBig(out, 3);
    putBig(out, static_cast<uint32_t>(values.size()));
    uint8_t nameBytes[28] = {};
    std::strncpy(reinterpret_cast<char*>(nameBytes), name, 27);
    out.insert(out.end(), nameBytes, nameBytes + 28);
    for (float v : values) putFloat(out, v);
    return out;
}

TEST(FxFile, ChunkFormsAreByteExact) {
    const uint8_t chunk[5] = {1, 2, 3, 4, 5};
    std::vector<uint8_t> program = makeFxChunkFile(false, 0x38303535, 1, 80, "Lead", chunk, sizeof(chunk));
    ASSERT_EQ(program.size(), 65u);  // 60-byte header and the chunk
    const uint8_t programHead[] = {'C', 'c', 'n', 'K', 0, 0, 0, 57, 'F', 'P', 'C', 'h', 0, 0, 0, 1,
                                   '8', '0', '5', '5', 0, 0, 0, 1,  0,   0,   0,   80, 'L', 'e', 'a', 'd'};
    EXPECT_EQ(std::memcmp(program.data(), programHead, sizeof(programHead)), 0);
    EXPECT_EQ(program[32], 0);  // name zero-padded through byte 55
    EXPECT_EQ(program[55], 0);
    EXPECT_EQ(std::vector<uint8_t>(program.begin() + 56, program.begin() + 60), (std::vector<uint8_t>{0, 0, 0, 5}));
    EXPECT_EQ(program[60], 1);
    EXPECT_EQ(program[64], 5);

    std::vector<uint8_t> bank = makeFxChunkFile(true, 0x38303535, 1, 24, "", chunk, sizeof(chunk));
    ASSERT_EQ(bank.size(), 165u);
    EXPECT_EQ(std::memcmp(bank.data() + 8, "FBCh", 4), 0);
    EXPECT_EQ(bank[7], 157);
    EXPECT_EQ(bank[27], 24);
    for (size_t i = 28; i < 156; ++i) ASSERT_EQ(bank[i], 0) << i;
    EXPECT_EQ(bank[159], 5);
    EXPECT_EQ(bank[160], 1);

    FxFile parsed;
    std::string error;
    ASSERT_TRUE(parseFxFile(bank.data(), bank.size(), parsed, error)) << error;
    EXPECT_EQ(parsed.kind, FxFile::Kind::BankChunk);
    EXPECT_EQ(parsed.pluginId, 0x38303535);
    EXPECT_EQ(parsed.count, 24);
    EXPECT_EQ(parsed.chunk, std::vector<uint8_t>(chunk, chunk + 5));
    ASSERT_TRUE(parseFxFile(program.data(), program.size(), parsed, error)) << error;
    EXPECT_EQ(parsed.kind, FxFile::Kind::ProgramChunk);
    EXPECT_EQ(parsed.program.name, "Lead");
}

TEST(FxFile, ParameterProgramsAndBanks) {
    std::vector<uint8_t> program = parameterProgram("Soft pad", {0.25f, -1.5f, 1.0f});
    FxFile parsed;
    std::string error;
    ASSERT_TRUE(parseFxFile(program.data(), program.size(), parsed, error)) << error;
    EXPECT_EQ(parsed.kind, FxFile::Kind::ProgramParameters);
    EXPECT_EQ(parsed.program.name, "Soft pad");
    EXPECT_EQ(parsed.program.parameters, (std::vector<float>{0.25f, -1.5f, 1.0f}));
    EXPECT_EQ(parsed.pluginVersion, 3);

    std::vector<uint8_t> bank;
    putTag(bank, "CcnK");
    putBig(bank, 0);  // byteSize is not trusted either way
    putTag(bank, "FxBk");
    putBig(bank, 2);
    putBig(bank, 0x54527062);
    putBig(bank, 7);
    putBig(bank, 2);
    putBig(bank, 1);  // version 2: current program
    bank.resize(156, 0);
    for (const auto& p : {parameterProgram("A", {0.5f}), parameterProgram("B", {0.75f})})
        bank.insert(bank.end(), p.begin(), p.end());
    ASSERT_TRUE(parseFxFile(bank.data(), bank.size(), parsed, error)) << error;
    EXPECT_EQ(parsed.kind, FxFile::Kind::BankParameters);
    EXPECT_EQ(parsed.pluginVersion, 7);
    EXPECT_EQ(parsed.currentProgram, 1);
    ASSERT_EQ(parsed.programs.size(), 2u);
    EXPECT_EQ(parsed.programs[1].name, "B");
    EXPECT_EQ(parsed.programs[1].parameters, (std::vector<float>{0.75f}));

    bank.pop_back();  // the last program's parameter is cut short
    EXPECT_FALSE(parseFxFile(bank.data(), bank.size(), parsed, error));
    EXPECT_NE(error.find("program 1"), std::string::npos);
}

TEST(FxFile, RefusesSizesBeyondTheFile) {
    const uint8_t chunk[4] = {9, 9, 9, 9};
    std::vector<uint8_t> program = makeFxChunkFile(false, 1, 1, 1, "x", chunk, sizeof(chunk));
    FxFile parsed;
    std::string error;
    for (uint8_t size : {uint8_t{5}, uint8_t{0xff}}) {
        std::vector<uint8_t> bad = program;
        bad[59] = size;
        if (size == 0xff) bad[56] = 0x80;  // negative
        EXPECT_FALSE(parseFxFile(bad.data(), bad.size(), parsed, error));
    }
    std::vector<uint8_t> huge = parameterProgram("x", {1.0f});
    huge[24] = 0x10;  // 268 million parameters in a 60-byte file
    EXPECT_FALSE(parseFxFile(huge.data(), huge.size(), parsed, error));

    std::vector<uint8_t> bank = makeFxChunkFile(true, 1, 1, 1, "", chunk, sizeof(chunk));
    std::memcpy(bank.data() + 8, "FxBk", 4);
    bank[24] = 0x7f;  // program count far beyond the file
    EXPECT_FALSE(parseFxFile(bank.data(), bank.size(), parsed, error));

    std::vector<uint8_t> unknown = program;
    std::memcpy(unknown.data() + 8, "FxZz", 4);
    EXPECT_FALSE(parseFxFile(unknown.data(), unknown.size(), parsed, error));
    for (size_t cut : {size_t{0}, size_t{11}, size_t{40}, size_t{59}})
        EXPECT_FALSE(parseFxFile(program.data(), cut, parsed, error)) << cut;
    EXPECT_FALSE(looksLikeFxFile(chunk, sizeof(chunk)));
}

}  // namespace
