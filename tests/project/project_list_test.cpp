#include <gtest/gtest.h>

#include <string>

#include "project/project_list.h"
#include "project/project_loader.h"
#include "tests/project/project_fixture.h"

TEST(ProjectList, ScrambledListRoundTripsAndYieldsPrgLines) {
    const std::string text = "ACBASS.prg\r\nREADME\r\nDeep Pad.prg\nnotes.PRG\n.prg\nLAST.prg";
    const auto scrambled = scrambleProjectList(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ASSERT_EQ(scrambled.size(), text.size());
    EXPECT_EQ(std::string(scrambled.begin(), scrambled.end()).find("ACBASS"), std::string::npos);
    const auto back = unscrambleProjectList(scrambled.data(), scrambled.size());
    EXPECT_EQ(std::string(back.begin(), back.end()), text);
    EXPECT_EQ(readProjectList(scrambled.data(), scrambled.size()),
              std::vector<std::string>({"ACBASS", "Deep Pad", "LAST"}));
    EXPECT_TRUE(readProjectList(nullptr, 0).empty());
}

TEST(ProjectList, MissingBuiltInProjectLeavesTheProjectAlone) {
    TestEngine engine;
    engine.load(synthTrack(line("TITLE", {"Kept"})));
    ASSERT_EQ(engine.project().tracks.size(), 1u);
    EXPECT_FALSE(loadBuiltInProject(*engine.effect, "NO SUCH PROJECT"));
    EXPECT_FALSE(loadBuiltInProject(*engine.effect, ""));
    ASSERT_EQ(engine.project().tracks.size(), 1u);
    EXPECT_EQ(engine.track(0).title, "Kept");
}
