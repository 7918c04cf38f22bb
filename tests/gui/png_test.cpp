// PNG encoding and decoding: round trips, fixed bytes for fixed pixels,
// refusal of damaged data, and the reference scene against its image.
#include <gtest/gtest.h>

#include "gui/png.h"
#include "gui/snapshot.h"
#include "tests/gui/reference_scene.h"

namespace gui {
namespace {

Bitmap pattern(int w, int h) {
    Bitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, argb((x * 7 + y) & 255, x * 13, y * 29, (x ^ y) * 3));
    return b;
}

TEST(Png, RoundTripKeepsEveryPixelIncludingAlpha) {
    const Bitmap original = pattern(37, 23);
    const std::vector<uint8_t> bytes = encodePng(original);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
              (std::vector<uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));
    Bitmap decoded;
    ASSERT_TRUE(decodePng(bytes.data(), bytes.size(), decoded));
    EXPECT_EQ(decoded, original);
    EXPECT_EQ(encodePng(decoded), bytes);  // same pixels, same bytes
}

TEST(Png, DamagedDataIsRefusedAndLeavesTheTargetAlone) {
    const std::vector<uint8_t> bytes = encodePng(pattern(16, 16));
    Bitmap target(2, 2, 0x12345678);
    const Bitmap before = target;
    EXPECT_FALSE(decodePng(bytes.data(), bytes.size() / 2, target));
    EXPECT_FALSE(decodePng(bytes.data(), 7, target));
    EXPECT_FALSE(decodePng(nullptr, 0, target));
    std::vector<uint8_t> garbage(200, 0xAB);
    EXPECT_FALSE(decodePng(garbage.data(), garbage.size(), target));
    // A header claiming 100000 × 100000 pixels is refused before allocating.
    std::vector<uint8_t> huge = bytes;
    huge[16] = 0x00; huge[17] = 0x01; huge[18] = 0x86; huge[19] = 0xA0;
    huge[20] = 0x00; huge[21] = 0x01; huge[22] = 0x86; huge[23] = 0xA0;
    EXPECT_FALSE(decodePng(huge.data(), huge.size(), target));
    // 4096 × 2048 is within each side's limit but above 4 megapixels.
    huge[16] = 0x00; huge[17] = 0x00; huge[18] = 0x10; huge[19] = 0x00;
    huge[20] = 0x00; huge[21] = 0x00; huge[22] = 0x08; huge[23] = 0x00;
    EXPECT_FALSE(decodePng(huge.data(), huge.size(), target));
    // A chunk claiming more bytes than follow it (here the header's, 1 GiB).
    std::vector<uint8_t> longChunk = bytes;
    longChunk[8] = 0x40;
    EXPECT_FALSE(decodePng(longChunk.data(), longChunk.size(), target));
    // Missing the closing IEND chunk.
    EXPECT_FALSE(decodePng(bytes.data(), bytes.size() - 12, target));
    EXPECT_EQ(target, before);
}

TEST(Snapshot, ReferenceSceneMatchesItsCommittedImage) {
    const Bitmap scene = guitest::drawReferenceScene();
    ASSERT_EQ(scene.width(), guitest::kSceneWidth);
    const SnapshotResult r = matchSnapshot(scene, TALVEX_GUI_REFERENCE_DIR "/canvas_scene.png");
    EXPECT_TRUE(r.matched) << r.report;
}

TEST(Snapshot, MismatchIsReportedWithTheDifferingArea) {
    Bitmap a = pattern(10, 10);
    Bitmap b = a;
    b.setPixel(3, 4, 0);
    b.setPixel(6, 8, 0);
    const PixelDifference d = comparePixels(a, b);
    EXPECT_TRUE(d.sameSize);
    EXPECT_EQ(d.count, 2);
    EXPECT_EQ(d.bounds, (Rect{3, 4, 7, 9}));
    EXPECT_FALSE(comparePixels(a, pattern(10, 11)).sameSize);
}

}  // namespace
}  // namespace gui
