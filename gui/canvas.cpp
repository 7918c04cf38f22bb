#include "gui/canvas.h"

#include <algorithm>
#include <cmath>

namespace gui {

namespace {
// Coverage 0…1 to 0…255, rounded; the same float steps on every target.
inline unsigned coverage255(float coverage) {
    if (!(coverage > 0.0f)) return 0;
    if (coverage >= 1.0f) return 255;
    return static_cast<unsigned>(coverage * 255.0f + 0.5f);
}

inline float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// Saturating conversions: shapes far outside the canvas (or a scope fed
// huge values) must neither overflow the int conversion nor loop for long;
// callers clamp the results to the clip anyway.
constexpr float kCoordinateLimit = 1.0e7f;
inline float limited(float v) { return v < -kCoordinateLimit ? -kCoordinateLimit : (v > kCoordinateLimit ? kCoordinateLimit : v); }
inline int floorToInt(float v) { return static_cast<int>(std::floor(limited(v))); }
inline int ceilToInt(float v) { return static_cast<int>(std::ceil(limited(v))); }
inline bool finite(float v) { return v - v == 0.0f; }
}  // namespace

Canvas::Canvas(Bitmap& target) : Canvas(target.pixels(), target.width(), target.height(), target.width()) {}

Canvas::Canvas(uint32_t* pixels, int width, int height, int stride)
    : pixels_(pixels), width_(std::max(width, 0)), height_(std::max(height, 0)), stride_(stride) {
    clips_.push_back(bounds());
}

void Canvas::pushClip(const Rect& r) { clips_.push_back(clips_.back().intersected(r)); }

void Canvas::popClip() {
    if (clips_.size() > 1) clips_.pop_back();
}

void Canvas::copyRect(const Rect& r, Color c) {
    const Rect a = r.intersected(clip());
    for (int y = a.top; y < a.bottom; ++y) std::fill(at(a.left, y), at(a.right, y), c);
}

void Canvas::fillRect(const Rect& r, Color c) {
    if (alphaOf(c) == 255) return copyRect(r, c);
    if (alphaOf(c) == 0) return;
    const Rect a = r.intersected(clip());
    for (int y = a.top; y < a.bottom; ++y) {
        uint32_t* p = at(a.left, y);
        for (int x = a.left; x < a.right; ++x, ++p) *p = blendOver(*p, c);
    }
}

void Canvas::frameRect(const Rect& r, Color c, int thickness) {
    if (r.empty() || thickness <= 0) return;
    const int t = std::min({thickness, (r.width() + 1) / 2, (r.height() + 1) / 2});
    fillRect(Rect{r.left, r.top, r.right, r.top + t}, c);
    fillRect(Rect{r.left, r.bottom - t, r.right, r.bottom}, c);
    fillRect(Rect{r.left, r.top + t, r.left + t, r.bottom - t}, c);
    fillRect(Rect{r.right - t, r.top + t, r.right, r.bottom - t}, c);
}

void Canvas::blendPixel(int x, int y, Color c, unsigned coverage) {
    if (!clip().contains(x, y)) return;
    uint32_t* p = at(x, y);
    *p = blendOver(*p, c, coverage);
}

void Canvas::drawBitmap(const Bitmap& b, int x, int y, unsigned opacity) {
    drawBitmap(b, b.bounds(), x, y, opacity);
}

void Canvas::drawBitmap(const Bitmap& b, const Rect& source, int x, int y, unsigned opacity) {
    const Rect src = source.intersected(b.bounds());
    if (src.empty() || opacity == 0) return;
    // Destination area, then back to the source through the offset.
    const Rect dst = Rect::fromSize(x + (src.left - source.left), y + (src.top - source.top), src.width(),
                                    src.height())
                         .intersected(clip());
    const int dx = src.left - (x + (src.left - source.left));
    const int dy = src.top - (y + (src.top - source.top));
    opacity = std::min(opacity, 255u);
    for (int row = dst.top; row < dst.bottom; ++row) {
        const uint32_t* s = b.row(row + dy) + dst.left + dx;
        uint32_t* d = at(dst.left, row);
        for (int col = dst.left; col < dst.right; ++col, ++s, ++d) *d = blendOver(*d, *s, opacity);
    }
}

void Canvas::drawFrame(const Bitmap& strip, int count, int index, StripLayout layout, int x, int y,
                       unsigned opacity) {
    drawBitmap(strip, stripFrame(strip, count, index, layout), x, y, opacity);
}

void Canvas::copyBitmap(const Bitmap& b, const Rect& source, int x, int y) {
    const Rect src = source.intersected(b.bounds());
    if (src.empty()) return;
    const int ox = x + (src.left - source.left);
    const int oy = y + (src.top - source.top);
    const Rect dst = Rect::fromSize(ox, oy, src.width(), src.height()).intersected(clip());
    for (int row = dst.top; row < dst.bottom; ++row) {
        const uint32_t* s = b.row(row - oy + src.top) + (dst.left - ox + src.left);
        std::copy(s, s + dst.width(), at(dst.left, row));
    }
}

void Canvas::drawLine(float x0, float y0, float x1, float y1, Color c, float width) {
    if (!finite(x0) || !finite(y0) || !finite(x1) || !finite(y1) || !finite(width)) return;
    const float hw = std::min(std::max(width, 0.0f), 1000.0f) * 0.5f;
    const float reach = hw + 0.5f;  // beyond it coverage is zero
    {
        // Cut the segment to the clip grown by the reach (Liang-Barsky), so
        // that far-away ends keep the arithmetic below in range. Inside that
        // box the cut segment covers the same pixels.
        const Rect& cl = clip();
        const double margin = reach + 2.0;
        const double bx0 = cl.left - margin, bx1 = cl.right + margin, by0 = cl.top - margin, by1 = cl.bottom + margin;
        const double dx = static_cast<double>(x1) - x0, dy = static_cast<double>(y1) - y0;
        double t0 = 0.0, t1 = 1.0;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {x0 - bx0, bx1 - x0, y0 - by0, by1 - y0};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0.0) {
                if (q[i] < 0.0) return;  // parallel and outside
                continue;
            }
            const double t = q[i] / p[i];
            if (p[i] < 0.0) t0 = std::max(t0, t);
            else t1 = std::min(t1, t);
        }
        if (t0 > t1) return;
        if (t0 > 0.0 || t1 < 1.0) {
            const double ox = x0, oy = y0;
            x0 = static_cast<float>(ox + t0 * dx);
            y0 = static_cast<float>(oy + t0 * dy);
            x1 = static_cast<float>(ox + t1 * dx);
            y1 = static_cast<float>(oy + t1 * dy);
        }
    }
    const float dx = x1 - x0;
    const float dy = y1 - y0;
    const float len2 = dx * dx + dy * dy;
    const Rect& cl = clip();
    const int top = std::max(floorToInt(std::min(y0, y1) - reach), cl.top);
    const int bottom = std::min(ceilToInt(std::max(y0, y1) + reach), cl.bottom);
    const int boxLeft = std::max(floorToInt(std::min(x0, x1) - reach), cl.left);
    const int boxRight = std::min(ceilToInt(std::max(x0, x1) + reach), cl.right);
    if (top >= bottom || boxLeft >= boxRight) return;
    const float len = std::sqrt(len2);
    // Points within `reach` of the line lie within this horizontal distance
    // of it on any row, which keeps long steep lines cheap.
    const bool useSpan = std::fabs(dy) > 0.001f;
    const float span = useSpan ? reach * len / std::fabs(dy) + 1.0f : 0.0f;
    for (int y = top; y < bottom; ++y) {
        const float py = static_cast<float>(y) + 0.5f;
        int left = boxLeft, right = boxRight;
        if (useSpan) {
            const float xl = x0 + (py - y0) * dx / dy;
            left = std::max(left, floorToInt(xl - span));
            right = std::min(right, ceilToInt(xl + span));
        }
        for (int x = left; x < right; ++x) {
            const float px = static_cast<float>(x) + 0.5f;
            float t = 0.0f;
            if (len2 > 0.0f) t = clamp01(((px - x0) * dx + (py - y0) * dy) / len2);
            const float ex = px - (x0 + t * dx);
            const float ey = py - (y0 + t * dy);
            const float d = std::sqrt(ex * ex + ey * ey);
            const unsigned cov = coverage255(reach - d);
            if (cov != 0) {
                uint32_t* p = at(x, y);
                *p = blendOver(*p, c, cov);
            }
        }
    }
}

void Canvas::drawPolyline(const float* xy, int points, Color c, float width) {
    for (int i = 1; i < points; ++i) drawLine(xy[2 * i - 2], xy[2 * i - 1], xy[2 * i], xy[2 * i + 1], c, width);
}

void Canvas::fillCircle(float cx, float cy, float radius, Color c) {
    circleShape(cx, cy, std::max(radius, 0.0f), 0.0f, true, c);
}

void Canvas::drawRing(float cx, float cy, float radius, float width, Color c) {
    circleShape(cx, cy, radius, std::max(width, 0.0f) * 0.5f, false, c);
}

void Canvas::circleShape(float cx, float cy, float radius, float hw, bool filled, Color c) {
    if (!finite(cx) || !finite(cy) || !finite(radius) || !finite(hw)) return;
    const float outer = radius + hw + 0.5f;
    const float inner = filled ? 0.0f : radius - hw - 0.5f;  // coverage is zero inside it
    const Rect& cl = clip();
    const int top = std::max(floorToInt(cy - outer), cl.top);
    const int bottom = std::min(ceilToInt(cy + outer), cl.bottom);
    for (int y = top; y < bottom; ++y) {
        const float py = static_cast<float>(y) + 0.5f - cy;
        const float o2 = outer * outer - py * py;
        if (o2 <= 0.0f) continue;
        const float half = std::sqrt(o2) + 1.0f;
        const int left = std::max(floorToInt(cx - half), cl.left);
        const int right = std::min(ceilToInt(cx + half), cl.right);
        int holeLeft = right, holeRight = right;  // columns with no coverage
        if (inner > 0.0f) {
            const float i2 = inner * inner - py * py;
            if (i2 > 0.0f) {
                const float ih = std::sqrt(i2) - 1.0f;
                if (ih > 0.0f) {
                    holeLeft = ceilToInt(cx - ih);
                    holeRight = floorToInt(cx + ih);
                }
            }
        }
        for (int x = left; x < right; ++x) {
            if (x >= holeLeft && x < holeRight) {
                x = holeRight - 1;
                continue;
            }
            const float px = static_cast<float>(x) + 0.5f - cx;
            const float d = std::sqrt(px * px + py * py);
            const unsigned cov =
                coverage255(filled ? radius + 0.5f - d : hw + 0.5f - std::fabs(d - radius));
            if (cov != 0) {
                uint32_t* p = at(x, y);
                *p = blendOver(*p, c, cov);
            }
        }
    }
}

namespace {
// Signed distance from a pixel centre to a rounded rectangle's edge
// (negative inside).
struct RoundRectShape {
    float cx, cy, hx, hy, radius;
    explicit RoundRectShape(const Rect& r, float rad) {
        cx = (static_cast<float>(r.left) + static_cast<float>(r.right)) * 0.5f;
        cy = (static_cast<float>(r.top) + static_cast<float>(r.bottom)) * 0.5f;
        hx = static_cast<float>(r.width()) * 0.5f;
        hy = static_cast<float>(r.height()) * 0.5f;
        radius = std::clamp(rad, 0.0f, std::min(hx, hy));
    }
    float distance(int x, int y) const {
        const float qx = std::fabs(static_cast<float>(x) + 0.5f - cx) - (hx - radius);
        const float qy = std::fabs(static_cast<float>(y) + 0.5f - cy) - (hy - radius);
        const float ox = std::max(qx, 0.0f);
        const float oy = std::max(qy, 0.0f);
        return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
    }
};
}  // namespace

void Canvas::fillRoundRect(const Rect& r, float radius, Color c) {
    if (r.empty() || !finite(radius)) return;
    const RoundRectShape shape(r, radius);
    const Rect a = r.intersected(clip());
    for (int y = a.top; y < a.bottom; ++y) {
        for (int x = a.left; x < a.right; ++x) {
            const unsigned cov = coverage255(0.5f - shape.distance(x, y));
            if (cov != 0) {
                uint32_t* p = at(x, y);
                *p = blendOver(*p, c, cov);
            }
        }
    }
}

void Canvas::frameRoundRect(const Rect& r, float radius, Color c, float width) {
    if (r.empty() || !finite(radius) || !finite(width)) return;
    const RoundRectShape shape(r, radius);
    const float hw = std::max(width, 0.0f) * 0.5f;
    const Rect a = r.intersected(clip());
    for (int y = a.top; y < a.bottom; ++y) {
        for (int x = a.left; x < a.right; ++x) {
            const float d = shape.distance(x, y);
            const unsigned cov = coverage255(std::min(hw + 0.5f - std::fabs(d + hw), 0.5f - d));
            if (cov != 0) {
                uint32_t* p = at(x, y);
                *p = blendOver(*p, c, cov);
            }
        }
    }
}

int Canvas::drawText(const Font& font, std::string_view utf8, int x, int baseline, Color c) {
    return drawText(font, decodeText(utf8), x, baseline, c);
}

int Canvas::drawText(const Font& font, const std::u32string& text, int x, int baseline, Color c) {
    if (!font.valid() || text.empty()) return x;
    const std::vector<int> pen = font.caretPositions(text);
    const Rect& cl = clip();
    for (size_t i = 0; i < text.size(); ++i) {
        const Font::Glyph& g = font.glyph(text[i]);
        if (g.coverage.empty()) continue;
        const int gx = x + pen[i] + g.left;
        const int gy = baseline + g.top;
        const Rect area = Rect::fromSize(gx, gy, g.width, g.height).intersected(cl);
        for (int y = area.top; y < area.bottom; ++y) {
            const uint8_t* cov = g.coverage.data() + static_cast<size_t>(y - gy) * g.width + (area.left - gx);
            uint32_t* p = at(area.left, y);
            for (int col = area.left; col < area.right; ++col, ++p, ++cov) {
                if (*cov != 0) *p = blendOver(*p, c, *cov);
            }
        }
    }
    return x + pen.back();
}

void Canvas::drawText(const Font& font, std::string_view utf8, const Rect& r, Align align, Color c) {
    if (!font.valid()) return;
    const std::u32string text = decodeText(utf8);
    const int w = font.textWidth(text);
    int x = r.left;
    if (align == Align::kCenter) x = r.left + (r.width() - w) / 2;
    if (align == Align::kRight) x = r.right - w;
    const int baseline = r.top + (r.height() - (font.ascent() + font.descent())) / 2 + font.ascent();
    pushClip(r);
    drawText(font, text, x, baseline, c);
    popClip();
}

Bitmap Canvas::copyArea(const Rect& r) const {
    const Rect a = r.intersected(bounds());
    Bitmap out(a.width(), a.height());
    for (int y = a.top; y < a.bottom; ++y) {
        const uint32_t* s = pixels_ + static_cast<size_t>(y) * stride_ + a.left;
        std::copy(s, s + a.width(), out.row(y - a.top));
    }
    return out;
}

}  // namespace gui
