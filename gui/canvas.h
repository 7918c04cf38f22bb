// The one software canvas everything is drawn into, on every platform: a
// view onto width × height 0xAARRGGBB words (rows `stride` words apart) with
// a stack of clip rectangles. Coordinates are window pixels; pixel (x, y)
// covers the square [x, x + 1) × [y, y + 1), so its centre is (x + 0.5,
// y + 0.5) for the anti-aliased shapes, which take float coordinates.
//
// Drawing is deterministic: integer blending, and shapes computed with IEEE
// arithmetic and square roots only (no sin, cos, pow or exp of the C
// library), so glibc and msvcrt builds give the same bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "gui/bitmap.h"
#include "gui/color.h"
#include "gui/font.h"
#include "gui/geometry.h"

namespace gui {

enum class Align { kLeft, kCenter, kRight };

class Canvas {
public:
    explicit Canvas(Bitmap& target);
    Canvas(uint32_t* pixels, int width, int height, int stride);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    Rect bounds() const { return Rect{0, 0, width_, height_}; }
    uint32_t* pixels() { return pixels_; }
    const uint32_t* pixels() const { return pixels_; }
    Color pixel(int x, int y) const { return pixels_[static_cast<size_t>(y) * stride_ + x]; }

    // Clipping: push intersects with the current clip; pop restores the one
    // before (popping the canvas bounds does nothing).
    void pushClip(const Rect& r);
    void popClip();
    const Rect& clip() const { return clips_.back(); }

    // Replaces the pixels of r (within the clip) by c, alpha included.
    void copyRect(const Rect& r, Color c);
    void fillRect(const Rect& r, Color c);
    void frameRect(const Rect& r, Color c, int thickness = 1);
    void blendPixel(int x, int y, Color c, unsigned coverage = 255);

    // Bitmaps with their alpha, at (x, y); opacity scales every pixel's.
    void drawBitmap(const Bitmap& b, int x, int y, unsigned opacity = 255);
    void drawBitmap(const Bitmap& b, const Rect& source, int x, int y, unsigned opacity = 255);
    // Frame `index` of a strip of `count` frames.
    void drawFrame(const Bitmap& strip, int count, int index, StripLayout layout, int x, int y,
                   unsigned opacity = 255);
    // Copies pixels without blending (backgrounds, saved areas).
    void copyBitmap(const Bitmap& b, const Rect& source, int x, int y);

    // Anti-aliased shapes.
    void drawLine(float x0, float y0, float x1, float y1, Color c, float width = 1.0f);
    void drawPolyline(const float* xy, int points, Color c, float width = 1.0f);
    void fillCircle(float cx, float cy, float radius, Color c);
    // A ring of the given width centred on the radius.
    void drawRing(float cx, float cy, float radius, float width, Color c);
    void fillRoundRect(const Rect& r, float radius, Color c);
    void frameRoundRect(const Rect& r, float radius, Color c, float width = 1.0f);

    // Text on a baseline starting at x; returns the pen's x after it.
    int drawText(const Font& font, std::string_view utf8, int x, int baseline, Color c);
    int drawText(const Font& font, const std::u32string& text, int x, int baseline, Color c);
    // Text inside r, aligned horizontally and centred vertically, clipped
    // to r.
    void drawText(const Font& font, std::string_view utf8, const Rect& r, Align align, Color c);

    // The copy of an area (snapshots, saving what a menu covers).
    Bitmap copyArea(const Rect& r) const;

private:
    void circleShape(float cx, float cy, float radius, float halfWidth, bool filled, Color c);
    uint32_t* at(int x, int y) { return pixels_ + static_cast<size_t>(y) * stride_ + x; }

    uint32_t* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<Rect> clips_;
};

}  // namespace gui
