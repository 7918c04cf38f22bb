#include "tools/skingen/painting.h"

#include <algorithm>
#include <cmath>

#include "gui/exact_math.h"

namespace skin {

using namespace gui;

namespace {
unsigned channel(double v) { return static_cast<unsigned>(std::clamp(v, 0.0, 255.0) + 0.5); }
double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

// Light from the upper left, towards the viewer.
constexpr double kLightX = -0.55, kLightY = -0.62, kLightZ = 0.56;
}  // namespace

Color scaleColor(Color c, double f) {
    return argb(alphaOf(c), channel(redOf(c) * f), channel(greenOf(c) * f), channel(blueOf(c) * f));
}

void paintSphere(Canvas& canvas, double cx, double cy, double radius, const SphereLook& look) {
    const double len = std::sqrt(kLightX * kLightX + kLightY * kLightY + kLightZ * kLightZ);
    const double lx = kLightX / len, ly = kLightY / len, lz = kLightZ / len;
    const int x0 = static_cast<int>(std::floor(cx - radius - 1)), x1 = static_cast<int>(std::ceil(cx + radius + 1));
    const int y0 = static_cast<int>(std::floor(cy - radius - 1)), y1 = static_cast<int>(std::ceil(cy + radius + 1));
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const double dx = (x + 0.5 - cx) / radius, dy = (y + 0.5 - cy) / radius;
            const double d2 = dx * dx + dy * dy;
            const double coverage = clamp01(radius + 0.5 - std::sqrt(d2) * radius);
            if (coverage <= 0.0) continue;
            const double nz = std::sqrt(std::max(0.0, 1.0 - d2));
            const double diffuse = std::max(0.0, dx * lx + dy * ly + nz * lz);
            double light = clamp01(0.10 + diffuse * 1.05);
            // Latitude bands, slightly wavy along the longitude.
            if (look.bands > 0.0) {
                const double wave = exactSin(dy * kPi * look.bandFrequency * 0.5 + 0.6 * exactSin(dx * 3.1));
                light *= 1.0 + look.bands * 0.22 * wave;
            }
            const double reflect = 2.0 * diffuse * nz - lz;  // R·V with V = (0, 0, 1)
            const double specular = look.specular * powInt(std::max(0.0, reflect), 24);
            const double rim = powInt(1.0 - nz, 3) * 0.35;
            const double bright = 1.0 + look.brighten * 0.55;
            const Color s = look.shadow, b = look.base;
            auto mixChannel = [&](unsigned sc, unsigned bc) {
                const double base = sc + (static_cast<double>(bc) - sc) * clamp01(light);
                return base * bright + specular * 255.0 + rim * bc;
            };
            const Color c = argb(255, channel(mixChannel(redOf(s), redOf(b))), channel(mixChannel(greenOf(s), greenOf(b))),
                                 channel(mixChannel(blueOf(s), blueOf(b))));
            canvas.blendPixel(x, y, c, channel(coverage * 255.0));
        }
    }
}

void paintGlow(Canvas& canvas, double cx, double cy, double inner, double outer, Color color, double peak) {
    const int x0 = static_cast<int>(std::floor(cx - outer)), x1 = static_cast<int>(std::ceil(cx + outer));
    const int y0 = static_cast<int>(std::floor(cy - outer)), y1 = static_cast<int>(std::ceil(cy + outer));
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d >= outer) continue;
            const double t = clamp01((d - inner) / (outer - inner));
            const double a = peak * (1.0 - t) * (1.0 - t) * alphaOf(color);
            const unsigned alpha = channel(a);
            if (alpha != 0) canvas.blendPixel(x, y, withAlpha(color, alpha));
        }
    }
}

void paintGradientRoundRect(Canvas& canvas, const Rect& r, double radius, Color top, Color bottom) {
    for (int y = r.top; y < r.bottom; ++y) {
        const unsigned t = r.height() > 1 ? static_cast<unsigned>((y - r.top) * 255 / (r.height() - 1)) : 0;
        canvas.pushClip(Rect{r.left, y, r.right, y + 1});
        canvas.fillRoundRect(r, static_cast<float>(radius), mix(top, bottom, t));
        canvas.popClip();
    }
}

Bitmap buttonStrip(int width, int height, const std::string& label, int fontPx, ButtonLook look,
                   void (*icon)(Canvas&, const Rect&, bool on)) {
    Bitmap strip(width, 2 * height, 0);
    Canvas canvas(strip);
    const Font font(FontFamily::kNarrow, fontPx);
    for (int state = 0; state < 2; ++state) {
        const bool on = state == 1;
        const Rect cell = Rect::fromSize(0, state * height, width, height);
        const Rect face = cell.inset(1, 1);
        canvas.pushClip(cell);
        // Drop shadow, face, edge, top sheen.
        canvas.fillRoundRect(face.offset(0, 1), 4.0f, argb(120, 0, 0, 0));
        Color topColor = rgb(58, 64, 102), bottomColor = rgb(24, 27, 48), edge = rgb(100, 112, 170);
        Color text = rgb(168, 178, 218);
        if (on) {
            if (look == ButtonLook::kAccent) {
                topColor = rgb(60, 196, 130);
                bottomColor = rgb(18, 96, 70);
                edge = rgb(150, 255, 200);
            } else {
                topColor = rgb(46, 156, 226);
                bottomColor = rgb(16, 66, 132);
                edge = rgb(150, 222, 255);
            }
            text = rgb(255, 255, 255);
        }
        paintGradientRoundRect(canvas, face, 4.0, topColor, bottomColor);
        canvas.frameRoundRect(face, 4.0f, edge, 1.0f);
        canvas.fillRect(Rect{face.left + 4, face.top + 1, face.right - 4, face.top + 2}, argb(on ? 90 : 50, 255, 255, 255));
        if (icon != nullptr) icon(canvas, face, on);
        if (!label.empty()) canvas.drawText(font, label, face, Align::kCenter, text);
        canvas.popClip();
    }
    return strip;
}

}  // namespace skin
