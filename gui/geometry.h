// Pixel geometry of the drawing layer. Rectangles are half-open: right and
// bottom are exclusive, so width = right - left and an empty rectangle has
// right <= left or bottom <= top.
#pragma once

#include <algorithm>

namespace gui {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static constexpr Rect fromSize(int x, int y, int width, int height) {
        return Rect{x, y, x + width, y + height};
    }
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr bool contains(int x, int y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    constexpr bool contains(const Rect& r) const {
        return r.empty() || (r.left >= left && r.top >= top && r.right <= right && r.bottom <= bottom);
    }
    constexpr bool intersects(const Rect& r) const {
        return !empty() && !r.empty() && left < r.right && r.left < right && top < r.bottom &&
               r.top < bottom;
    }
    constexpr Rect intersected(const Rect& r) const {
        Rect o{std::max(left, r.left), std::max(top, r.top), std::min(right, r.right),
               std::min(bottom, r.bottom)};
        if (o.empty()) return Rect{};
        return o;
    }
    // The smallest rectangle holding both; an empty side does not count.
    constexpr Rect united(const Rect& r) const {
        if (empty()) return r;
        if (r.empty()) return *this;
        return Rect{std::min(left, r.left), std::min(top, r.top), std::max(right, r.right),
                    std::max(bottom, r.bottom)};
    }
    constexpr Rect offset(int dx, int dy) const { return Rect{left + dx, top + dy, right + dx, bottom + dy}; }
    constexpr Rect inset(int dx, int dy) const { return Rect{left + dx, top + dy, right - dx, bottom - dy}; }
    constexpr long long area() const { return empty() ? 0 : 1LL * width() * height(); }
    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace gui
