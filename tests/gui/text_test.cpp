// Text: the faces behind the layout's family names, their metrics, where
// drawn text lands, and the decoding of 8-bit and UTF-8 names.
#include <gtest/gtest.h>

#include "gui/canvas.h"
#include "gui/font.h"

namespace gui {
namespace {

TEST(Fonts, FamilyNamesMapOntoTheThreeBuiltInFaces) {
    EXPECT_EQ(familyForName("Arial"), FontFamily::kSans);
    EXPECT_EQ(familyForName("arial narrow"), FontFamily::kNarrow);
    EXPECT_EQ(familyForName("Agency FB"), FontFamily::kNarrow);
    EXPECT_EQ(familyForName("MS Gothic"), FontFamily::kMono);
    EXPECT_EQ(familyForName("Wingdings"), FontFamily::kSans);
    for (FontFamily f : {FontFamily::kSans, FontFamily::kNarrow, FontFamily::kMono}) {
        ASSERT_NE(builtInTypeface(f), nullptr);
    }
    EXPECT_NE(builtInTypeface(FontFamily::kSans), builtInTypeface(FontFamily::kNarrow));
    EXPECT_NE(builtInTypeface(FontFamily::kSans), builtInTypeface(FontFamily::kMono));
}

TEST(Fonts, SansHasArialAdvanceWidths) {
    // Arial's advances in its 2048-unit em; the metric-compatible face must
    // give the same, or every label would be laid out differently.
    const Font arial("Arial", 2048);
    EXPECT_EQ(arial.glyph(U' ').advanceUnits, 569);
    EXPECT_EQ(arial.glyph(U'a').advanceUnits, 1139);
    EXPECT_EQ(arial.glyph(U'i').advanceUnits, 455);
    EXPECT_EQ(arial.glyph(U'm').advanceUnits, 1706);
    EXPECT_EQ(arial.glyph(U'W').advanceUnits, 1933);
    EXPECT_EQ(arial.glyph(U'0').advanceUnits, 1139);
}

TEST(Fonts, MetricsAndWidths) {
    const Font sans("Arial", 13), narrow("Arial Narrow", 13), mono("MS Gothic", 13);
    ASSERT_TRUE(sans.valid());
    EXPECT_GE(sans.ascent(), 11);
    EXPECT_LE(sans.ascent(), 13);
    EXPECT_GE(sans.descent(), 2);
    EXPECT_GE(sans.lineHeight(), sans.ascent() + sans.descent());
    EXPECT_EQ(sans.textWidth(""), 0);
    const char* text = "Planet Satellite 123";
    EXPECT_LT(narrow.textWidth(text), sans.textWidth(text) * 95 / 100);
    EXPECT_EQ(mono.textWidth("iiiiiiii"), mono.textWidth("WWWWWWWW"));
    EXPECT_LT(sans.textWidth("iiiiiiii"), sans.textWidth("WWWWWWWW") / 2);
    // Width grows with size in proportion (within rounding).
    const Font big("Arial", 26);
    EXPECT_NEAR(big.textWidth(text), 2 * sans.textWidth(text), 2);
    const std::vector<int> caret = sans.caretPositions(U"AVA");
    ASSERT_EQ(caret.size(), 4u);
    EXPECT_EQ(caret[0], 0);
    EXPECT_EQ(caret[3], sans.textWidth("AVA"));
    EXPECT_LT(caret[1], caret[2]);
}

// Bounding box of pixels that differ from the background.
Rect inkBounds(const Bitmap& b, Color background) {
    Rect r;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.pixel(x, y) != background) r = r.united(Rect{x, y, x + 1, y + 1});
    return r;
}

TEST(Text, DrawnTextLiesBetweenPenAndAdvanceAndAroundTheBaseline) {
    const Font font("Arial", 20);
    Bitmap b(200, 60, rgb(0, 0, 0));
    Canvas c(b);
    const int end = c.drawText(font, "Halo", 30, 40, rgb(255, 255, 255));
    EXPECT_EQ(end, 30 + font.textWidth("Halo"));
    const Rect ink = inkBounds(b, rgb(0, 0, 0));
    EXPECT_GE(ink.left, 30);
    EXPECT_LE(ink.right, end + 1);
    EXPECT_GE(ink.bottom, 40);  // no descender in "Halo": the o's overshoot only
    EXPECT_LE(ink.bottom, 41);
    EXPECT_NEAR(40 - ink.top, 0.716 * 20, 1.5);  // Arial's cap height is 0.716 em
    // Full coverage inside the H's stem gives the text colour exactly.
    bool opaque = false;
    for (int y = ink.top; y < ink.bottom; ++y)
        for (int x = ink.left; x < ink.right; ++x) opaque |= b.pixel(x, y) == rgb(255, 255, 255);
    EXPECT_TRUE(opaque);
}

TEST(Text, AlignedTextIsCentredAndClippedToItsBox) {
    const Font font("Arial", 13);
    Bitmap b(120, 40, rgb(0, 0, 0));
    Canvas c(b);
    const Rect box{20, 10, 100, 30};
    c.drawText(font, "Mid", box, Align::kCenter, rgb(255, 255, 255));
    const Rect ink = inkBounds(b, rgb(0, 0, 0));
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 60.0, 2.0);
    EXPECT_TRUE(box.contains(ink));
    Bitmap clipped(120, 40, rgb(0, 0, 0));
    Canvas cc(clipped);
    cc.drawText(font, "A long name that does not fit", box, Align::kLeft, rgb(255, 255, 255));
    const Rect longInk = inkBounds(clipped, rgb(0, 0, 0));
    EXPECT_TRUE(box.contains(longInk));
    EXPECT_EQ(longInk.right, box.right);
}

TEST(Text, DecodesUtf8AndFallsBackToLatin1) {
    EXPECT_EQ(decodeText("s\xC3\xA9lection"), U"s\u00E9lection");
    EXPECT_EQ(decodeText("s\xE9lection"), U"s\u00E9lection");      // 8-bit name
    EXPECT_EQ(decodeText("\xC0\xAF"), U"\u00C0\u00AF");             // overlong form
    EXPECT_EQ(decodeText("\xE2\x82"), U"\u00E2\u0082");             // cut short
    EXPECT_EQ(decodeText("\xF0\x9F\x8E\xB5"), U"\U0001F3B5");
    EXPECT_EQ(decodeText(""), U"");
}

}  // namespace
}  // namespace gui
