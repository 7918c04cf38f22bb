// The settings store on hostile files: a key file holding two values of one
// name (hand-edited, or written by another program) reads the first; a value
// written over it must then read back as written.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/registry_store.h"
#include "tests/campaign/campaign_host.h"

namespace {

void appendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void appendDword(std::vector<uint8_t>& out, const std::string& name, uint32_t value) {
    appendU32(out, static_cast<uint32_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    appendU32(out, 4);  // DWORD
    appendU32(out, 4);
    appendU32(out, value);
}

TEST(SettingsStore, AValueWrittenOverTwoCopiesOfItsNameReadsBackAsWritten) {
    campaign::useFreshSettingsFolder("store_duplicates");
    const std::string key = "software\\TalvexBass\\Settings";
    const std::string path = platform::RegistryStore::keyFilePath(key);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::vector<uint8_t> file = {'T', 'V', 'X', 'R', 'E', 'G', '1', 0};
    appendU32(file, 3);
    appendDword(file, "ScopeOn", 1);
    appendDword(file, "TooltipsOn", 0);
    appendDword(file, "ScopeOn", 2);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
    uint32_t v = 0;
    ASSERT_TRUE(platform::RegistryStore::readDword(key, "ScopeOn", v));
    EXPECT_EQ(v, 1u);

    ASSERT_TRUE(platform::RegistryStore::writeDword(key, "ScopeOn", 5));
    ASSERT_TRUE(platform::RegistryStore::readDword(key, "ScopeOn", v));
    EXPECT_EQ(v, 5u);
    ASSERT_TRUE(platform::RegistryStore::readDword(key, "TooltipsOn", v));
    EXPECT_EQ(v, 0u);
    // One copy of the name is left: the file is the header and two values.
    EXPECT_EQ(std::filesystem::file_size(path), 12u + 2u * (4u + 4u + 4u + 4u) + 7u + 10u);
}

}  // namespace
