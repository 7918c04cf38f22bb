#include "gui/bitmap.h"

#include <algorithm>

namespace gui {

Bitmap::Bitmap(int width, int height, Color fill)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * height_, fill) {}

Rect stripFrame(const Bitmap& strip, int count, int index, StripLayout layout) {
    if (count < 1) count = 1;
    index = std::clamp(index, 0, count - 1);
    if (layout == StripLayout::kHorizontal) {
        const int w = strip.width() / count;
        return Rect::fromSize(index * w, 0, w, strip.height());
    }
    const int h = strip.height() / count;
    return Rect::fromSize(0, index * h, strip.width(), h);
}

}  // namespace gui
