// The resource generator: the compiled-in table holds exactly the bytes of
// the listed files, and malformed lists are refused.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstring>
#include <string>

#include "resources/embedded_resources.h"
#include "tests/render/render_test_support.h"

const EmbeddedResource* testEmbeddedResources(size_t& count);

namespace {

TEST(EmbeddedResources, TableHoldsTheFilesByteForByte) {
    size_t count = 0;
    const EmbeddedResource* table = testEmbeddedResources(count);
    ASSERT_EQ(count, 4u);
    const struct {
        const char* type;
        const char* name;
        const char* file;
    } expected[] = {{"DATA", "empty", "empty.bin"},
                    {"DATA", "all_bytes", "all_bytes.bin"},
                    {"PNG", "Mixed.Case-name_1", "tricky.txt"},
                    {"DATA", "blob", "blob.bin"}};
    for (size_t i = 0; i < count; ++i) {
        EXPECT_STREQ(table[i].type, expected[i].type);
        EXPECT_STREQ(table[i].name, expected[i].name);
        std::vector<uint8_t> bytes = render_test::readBytes(std::string(EMBED_INPUT_DIR) + "/" + expected[i].file);
        ASSERT_EQ(table[i].size, bytes.size()) << expected[i].name;
        if (!bytes.empty()) {
            EXPECT_EQ(std::memcmp(table[i].data, bytes.data(), bytes.size()), 0) << expected[i].name;
        }
    }
    EXPECT_EQ(table[0].size, 0u);
    EXPECT_EQ(table[1].size, 256u);
    EXPECT_GT(table[3].size, 1u << 20);
}

TEST(EmbeddedResources, GeneratorRefusesMalformedLists) {
    std::string output = render_test::tempPath("bad_table.cpp");
    std::string command = std::string(EMBED_GENERATOR) + " --list " + EMBED_BAD_LIST + " --base " + EMBED_INPUT_DIR +
                          " --output " + output + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[1024] = {};
    size_t got = std::fread(buffer, 1, sizeof(buffer) - 1, pipe);
    int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(std::string(buffer, got).find("bad.list:3:"), std::string::npos) << buffer;

    std::string missing = render_test::tempPath("missing.list");
    render_test::writeText(missing, "DATA gone no-such-file.bin\n");
    command = std::string(EMBED_GENERATOR) + " --list " + missing + " --output " + output + " 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
}

}  // namespace
