// An image in memory: width × height 0xAARRGGBB words, rows packed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gui/color.h"
#include "gui/geometry.h"

namespace gui {

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height, Color fill = 0);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }
    Rect bounds() const { return Rect{0, 0, width_, height_}; }

    uint32_t* pixels() { return pixels_.data(); }
    const uint32_t* pixels() const { return pixels_.data(); }
    uint32_t* row(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
    const uint32_t* row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
    Color pixel(int x, int y) const { return row(y)[x]; }
    void setPixel(int x, int y, Color c) { row(y)[x] = c; }

    friend bool operator==(const Bitmap&, const Bitmap&) = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;
};

// How the frames of a strip lie in its bitmap.
enum class StripLayout { kHorizontal, kVertical };

// The source rectangle of frame `index` (clamped to 0…count−1) of a strip
// of `count` equal frames.
Rect stripFrame(const Bitmap& strip, int count, int index, StripLayout layout);

}  // namespace gui
