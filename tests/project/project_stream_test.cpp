#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "project/project_stream.h"
#include "project/project_values.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
    ProjectStream stream(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::vector<std::string> out;
    std::string l;
    while (stream.readLine(l)) out.push_back(l);
    return out;
}

std::vector<std::string> fields(const std::string& text) {
    ProjectLine line;
    line.split(text);
    std::vector<std::string> out;
    for (size_t i = 0; i < line.count(); ++i) out.emplace_back(line.field(i));
    return out;
}

}  // namespace

TEST(ProjectStream, CrLfAndLfLinesReadAlikeAndCrVanishesEverywhere) {
    EXPECT_EQ(lines("TEMPO;130.000000;\r\nLEVEL;90;\r\n"), lines("TEMPO;130.000000;\nLEVEL;90;\n"));
    EXPECT_EQ(lines("TI\rTLE;a\rb;\n"), std::vector<std::string>({"TITLE;ab;"}));
    // The last line may lack its LF; an empty line is still a line.
    EXPECT_EQ(lines("A;\n\nB;"), std::vector<std::string>({"A;", "", "B;"}));
    EXPECT_TRUE(lines("").empty());
}

TEST(ProjectStream, FieldsEndAtSemicolonsAndTrailingTextIsDropped) {
    EXPECT_EQ(fields("PLAYLIST;"), std::vector<std::string>({"PLAYLIST"}));
    EXPECT_TRUE(fields("no semicolon at all").empty());
    EXPECT_EQ(fields("PRESET_SOUND_PARAMETERNAME;;"), std::vector<std::string>({"PRESET_SOUND_PARAMETERNAME", ""}));
    EXPECT_EQ(fields("A;1;tail"), std::vector<std::string>({"A", "1"}));
    // A NUL byte ends the line.
    EXPECT_EQ(fields(std::string("A;1;\0B;2;", 10)), std::vector<std::string>({"A", "1"}));
}

TEST(ProjectStream, LongFieldsKeep512CharactersAndStillEndAtTheirSemicolon) {
    const std::string longField(700, 'x');
    const auto f = fields("TITLE;" + longField + ";next;");
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[1].size(), 512u);
    EXPECT_EQ(f[2], "next");
}

TEST(ProjectStream, RawRunsNeverPassTheEnd) {
    const std::string text = "abcdef";
    ProjectStream stream(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    uint8_t buffer[8] = {};
    EXPECT_FALSE(stream.readRaw(-1, buffer));
    EXPECT_FALSE(stream.readRaw(7, buffer));
    EXPECT_EQ(stream.position(), 0u);
    EXPECT_TRUE(stream.readRaw(6, buffer));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 6), text);
    EXPECT_TRUE(stream.atEnd());
    // At the end even an empty run is refused.
    EXPECT_FALSE(stream.readRaw(0, buffer));
}

TEST(ProjectValues, IntegersAreLenient) {
    EXPECT_EQ(parseInteger("-1.000000"), -1);
    EXPECT_EQ(parseInteger("      2272"), 2272);
    EXPECT_EQ(parseInteger("+12abc"), 12);
    EXPECT_EQ(parseInteger("abc"), 0);
    EXPECT_EQ(parseInteger(""), 0);
    EXPECT_EQ(parseInteger("99999999999999999999"), 2147483647);
    EXPECT_EQ(parseInteger("-99999999999999999999"), -2147483647 - 1);
}

TEST(ProjectValues, RealsReadFractionsAndExponentsWithoutLocale) {
    EXPECT_FLOAT_EQ(parseReal("90.9489"), 90.9489f);
    EXPECT_FLOAT_EQ(parseReal(" -0.5x"), -0.5f);
    EXPECT_FLOAT_EQ(parseReal("1.5e3"), 1500.0f);
    EXPECT_FLOAT_EQ(parseReal("2E-2"), 0.02f);
    EXPECT_FLOAT_EQ(parseReal("7e"), 7.0f);
    EXPECT_FLOAT_EQ(parseReal(".25"), 0.25f);
    EXPECT_EQ(parseReal("."), 0.0f);
    EXPECT_EQ(parseReal("0,5"), 0.0f);  // a comma is not a decimal mark
    EXPECT_FLOAT_EQ(parseReal("0.000000000000000000000000123456789"), 1.23456789e-25f);
    EXPECT_TRUE(std::isfinite(parseReal("1e999999")));
    EXPECT_EQ(parseReal("1e-999999"), 0.0f);
}

TEST(ProjectValues, EqualiserFrequenciesConvertAndClamp) {
    EXPECT_NEAR(equaliserFrequencyFromFile(10.3617f), 0.4816f, 0.0005f);
    EXPECT_EQ(equaliserFrequencyFromFile(10.0f), 0.0f);
    EXPECT_NEAR(equaliserFrequencyFromFile(10.765673f), 1.0f, 1e-6f);
    EXPECT_EQ(equaliserFrequencyFromFile(0.0f), 0.0f);
    EXPECT_EQ(equaliserFrequencyFromFile(-3.0f), 0.0f);
    EXPECT_EQ(equaliserFrequencyFromFile(500.0f), 1.0f);
}
