// Reference images for drawing tests: a rendered bitmap is encoded as PNG
// and compared byte for byte with a committed file. Setting the environment
// variable TALVEX_UPDATE_SNAPSHOTS=1 writes the references instead (on
// purpose, after a deliberate change of the drawing); on a mismatch the
// rendered image is written beside the reference as NAME.actual.png for a
// look, and the report says how many pixels differ and where.
#pragma once

#include <string>

#include "gui/bitmap.h"

namespace gui {

struct SnapshotResult {
    bool matched = false;
    bool updated = false;  // the reference was (re)written
    std::string report;
};

// kFromEnvironment updates when TALVEX_UPDATE_SNAPSHOTS=1; kCompareOnly
// never writes the reference (checks of other builds against it).
enum class SnapshotMode { kFromEnvironment, kCompareOnly };
SnapshotResult matchSnapshot(const Bitmap& image, const std::string& referencePath,
                             SnapshotMode mode = SnapshotMode::kFromEnvironment);

// Pixel differences between two images: count and the bounding box.
struct PixelDifference {
    bool sameSize = false;
    long count = 0;
    Rect bounds;
    int maxChannelDelta = 0;
};
PixelDifference comparePixels(const Bitmap& a, const Bitmap& b);

}  // namespace gui
