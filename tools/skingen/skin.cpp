// Deep-space theme: a starfield with faint nebulae, metal panels with
// glass fronts, a porthole around the planet pad, planets as lit spheres
// with a glow that grows over ten frames, small moons for satellites.
// Places and sizes follow the editor's layout (the numbers in the names).
#include "tools/skingen/skin.h"

#include <algorithm>
#include <cmath>

#include "gui/canvas.h"
#include "gui/exact_math.h"
#include "tools/skingen/painting.h"

namespace skin {

using namespace gui;

namespace {

// Layout the bitmaps must fit (window pixels).
constexpr Rect kWindow{0, 0, 1000, 450};
constexpr Rect kProgramPanel = Rect::fromSize(25, 54, 286, 340);  // list and tabs
constexpr int kPanelRowTop = 12, kPanelRowPx = 27, kPanelTabsLeft = 258, kPanelTabTop = 66, kPanelTabPx = 44;
constexpr Rect kPad{374, 26, 771, 423};
constexpr Rect kPorthole = Rect::fromSize(354, 4, 437, 441);
constexpr Rect kGrid = Rect::fromSize(395, 45, 355, 355);
constexpr Rect kRightPanel{835, 100, 979, 404};

// Eight planet palettes: base colour, shadow colour, band strength.
struct PlanetPalette {
    Color base, shadow, glow;
    double bands;
};
constexpr PlanetPalette kPlanets[kSpriteStrips] = {
    {rgb(236, 150, 70), rgb(60, 22, 18), rgb(255, 170, 80), 1.0},   // amber giant
    {rgb(70, 150, 240), rgb(10, 20, 60), rgb(90, 170, 255), 0.3},   // ocean
    {rgb(220, 80, 70), rgb(50, 12, 20), rgb(255, 100, 90), 0.5},    // rust
    {rgb(110, 210, 120), rgb(12, 44, 30), rgb(120, 255, 150), 0.4}, // jungle
    {rgb(170, 110, 240), rgb(34, 16, 70), rgb(190, 140, 255), 0.8}, // violet giant
    {rgb(120, 230, 230), rgb(16, 50, 70), rgb(140, 255, 250), 0.2}, // ice
    {rgb(240, 210, 100), rgb(70, 44, 12), rgb(255, 230, 120), 0.9}, // gold giant
    {rgb(240, 120, 180), rgb(64, 16, 46), rgb(255, 140, 200), 0.6}, // rose
};

SkinImage image(std::string name, Bitmap b) { return SkinImage{std::move(name), std::move(b)}; }

// ---- background ----

void paintStars(Canvas& c, uint32_t seed, int count) {
    Random random(seed);
    for (int i = 0; i < count; ++i) {
        const double x = random.unit() * kWindow.width(), y = random.unit() * kWindow.height();
        const double bright = 0.25 + 0.75 * powInt(random.unit(), 3);
        const int tint = random.below(3);
        Color color = tint == 0 ? rgb(255, 255, 255) : (tint == 1 ? rgb(200, 220, 255) : rgb(255, 236, 210));
        if (bright > 0.8) {
            paintGlow(c, x, y, 0.0, 3.5, withAlpha(color, 255), 0.35 * bright);
            c.drawLine(static_cast<float>(x - 3), static_cast<float>(y), static_cast<float>(x + 3), static_cast<float>(y),
                       withAlpha(color, 90), 0.6f);
            c.drawLine(static_cast<float>(x), static_cast<float>(y - 3), static_cast<float>(x), static_cast<float>(y + 3),
                       withAlpha(color, 90), 0.6f);
        }
        c.fillCircle(static_cast<float>(x), static_cast<float>(y), 0.45f + 0.5f * static_cast<float>(bright),
                     withAlpha(color, static_cast<unsigned>(255 * bright)));
    }
}

void paintPanel(Canvas& c, const Rect& r, double radius) {
    c.fillRoundRect(r.offset(0, 2), static_cast<float>(radius), argb(110, 0, 0, 0));
    paintGradientRoundRect(c, r, radius, argb(200, 26, 30, 56), argb(220, 12, 14, 30));
    c.frameRoundRect(r, static_cast<float>(radius), argb(200, 88, 100, 160), 1.0f);
    c.frameRoundRect(r.inset(1, 1), static_cast<float>(radius - 1), argb(40, 255, 255, 255), 1.0f);
}

Bitmap background() {
    Bitmap b(kWindow.width(), kWindow.height());
    Canvas c(b);
    for (int y = 0; y < b.height(); ++y) {
        const unsigned t = static_cast<unsigned>(y * 255 / (b.height() - 1));
        c.copyRect(Rect{0, y, b.width(), y + 1}, mix(rgb(5, 7, 20), rgb(16, 10, 34), t));
    }
    // Nebulae: soft clouds of colour.
    paintGlow(c, 560, 210, 0, 330, rgb(70, 40, 130), 0.35);
    paintGlow(c, 180, 380, 0, 260, rgb(20, 90, 120), 0.30);
    paintGlow(c, 900, 60, 0, 220, rgb(120, 30, 90), 0.25);
    paintGlow(c, 700, 420, 0, 180, rgb(30, 60, 140), 0.25);
    paintStars(c, 7, 650);

    // Title and the small engraved labels.
    const Font title(FontFamily::kNarrow, 30), small(FontFamily::kNarrow, 11);
    c.drawText(title, "TALVEX", 31, 44, argb(90, 0, 0, 0));
    c.drawText(title, "TALVEX", 29, 42, rgb(150, 210, 255));
    c.drawText(small, "PLANETARY GROOVE INSTRUMENT", 29 + title.textWidth("TALVEX") + 12, 41, rgb(110, 126, 180));
    c.drawText(small, "MIDI", 831, 70, rgb(140, 150, 200));

    paintPanel(c, kRightPanel, 10);
    c.drawText(small, "SATELLITE", kRightPanel.left + 10, kRightPanel.top + 18, rgb(140, 150, 200));
    c.drawText(small, "SPEED", 862, 324, rgb(140, 150, 200));
    c.drawText(small, "DIRECTION", 862, 351, rgb(140, 150, 200));
    // Fader wells (the faders draw their values inside).
    c.fillRoundRect(Rect{909, 307, 956, 333}, 3.0f, argb(255, 12, 14, 26));
    c.fillRoundRect(Rect{909, 334, 956, 360}, 3.0f, argb(255, 12, 14, 26));
    // A shelf under the transport buttons, right of the porthole.
    paintPanel(c, Rect{766, 334, 834, 420}, 8);
    return b;
}

// ---- program panel ----

Bitmap programPanel() {
    const int w = kProgramPanel.width(), h = kProgramPanel.height();
    Bitmap strip(5 * w, h, 0);
    Canvas c(strip);
    const Font tabFont(FontFamily::kNarrow, 14);
    const char* tabLabels[5] = {"1", "2", "3", "4", "U"};
    for (int frame = 0; frame < 5; ++frame) {
        const int ox = frame * w;
        c.pushClip(Rect::fromSize(ox, 0, w, h));
        const Rect list = Rect{ox, 0, ox + kPanelTabsLeft, h};
        paintPanel(c, list.inset(0, 0), 10);
        // Row stripes of the two columns.
        for (int row = 0; row < 12; ++row) {
            const int top = kPanelRowTop + row * kPanelRowPx;
            if (row % 2 == 0) c.fillRect(Rect{ox + 6, top, ox + kPanelTabsLeft - 6, top + kPanelRowPx}, argb(22, 150, 170, 255));
            c.fillCircle(static_cast<float>(ox + 11), static_cast<float>(top + 13.5), 2.0f, argb(120, 120, 150, 230));
            c.fillCircle(static_cast<float>(ox + 11 + 131), static_cast<float>(top + 13.5), 2.0f, argb(120, 120, 150, 230));
        }
        c.fillRect(Rect{ox + 130, 8, ox + 131, h - 8}, argb(60, 150, 170, 255));
        // Tabs on the right edge; the selected one joins the list.
        for (int tab = 0; tab < 5; ++tab) {
            const Rect r = Rect::fromSize(ox + kPanelTabsLeft - 4, kPanelTabTop + tab * kPanelTabPx + 2, w - kPanelTabsLeft + 3,
                                          kPanelTabPx - 4);
            const bool selected = tab == frame;
            if (selected) {
                paintGradientRoundRect(c, r, 6, argb(235, 40, 110, 190), argb(235, 20, 56, 120));
                c.frameRoundRect(r, 6.0f, rgb(140, 210, 255), 1.0f);
            } else {
                paintGradientRoundRect(c, r, 6, argb(210, 34, 38, 66), argb(210, 18, 20, 38));
                c.frameRoundRect(r, 6.0f, argb(200, 80, 90, 140), 1.0f);
            }
            c.drawText(tabFont, tabLabels[tab], r.offset(2, 0), Align::kCenter,
                       selected ? rgb(255, 255, 255) : rgb(140, 150, 200));
        }
        c.popClip();
    }
    return strip;
}

Bitmap rowHighlight(int w, int h) {
    Bitmap b(w, h, 0);
    Canvas c(b);
    paintGradientRoundRect(c, b.bounds(), 5, argb(150, 50, 140, 230), argb(150, 24, 70, 150));
    c.frameRoundRect(b.bounds(), 5.0f, argb(220, 140, 210, 255), 1.0f);
    return b;
}

// ---- porthole, grid, key strip, halo ----

// Signed distance to a rounded rectangle (negative inside), pixel centres.
double roundRectDistance(double px, double py, double left, double top, double right, double bottom, double radius) {
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double qx = std::fabs(px - cx) - ((right - left) / 2 - radius);
    const double qy = std::fabs(py - cy) - ((bottom - top) / 2 - radius);
    const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

Bitmap porthole() {
    Bitmap b(kPorthole.width(), kPorthole.height(), 0);
    Canvas c(b);
    const Rect inner = kPad.offset(-kPorthole.left, -kPorthole.top);
    const double w = b.width(), h = b.height();
    for (int y = 0; y < b.height(); ++y) {
        for (int x = 0; x < b.width(); ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double outerD = roundRectDistance(px, py, 0, 0, w, h, 64);
            const double innerD = roundRectDistance(px, py, inner.left, inner.top, inner.right, inner.bottom, 30);
            const double coverage = std::clamp(0.5 - outerD, 0.0, 1.0) * std::clamp(0.5 + innerD, 0.0, 1.0);
            if (coverage <= 0.0) continue;
            // Brushed metal lit from the upper left, bevels at both edges.
            const double slope = 0.5 - 0.35 * ((px / w - 0.5) + (py / h - 0.5));
            const double innerBevel = std::clamp(1.0 - innerD / 5.0, 0.0, 1.0);
            const double outerBevel = std::clamp(1.0 + outerD / 4.0, 0.0, 1.0);
            const double grain = 0.04 * exactSin(py * 1.7 + exactSin(px * 0.31) * 2.0);
            double light = 0.30 + 0.45 * slope + grain;
            // The inner lip catches light at the bottom right, the outer at the top left.
            const double lipSide = ((px - w / 2) + (py - h / 2)) / (w + h) * 2.0;
            light += innerBevel * 0.35 * lipSide - outerBevel * 0.3 * lipSide;
            light = std::clamp(light, 0.0, 1.0);
            const Color metal = mix(rgb(22, 26, 44), rgb(150, 164, 205), static_cast<unsigned>(light * 255));
            c.blendPixel(x, y, metal, static_cast<unsigned>(coverage * 255 + 0.5));
        }
    }
    // Bolts around the ring, and a thin glowing line at the window's edge.
    const double midX = w / 2, midY = h / 2;
    const double boltX[] = {midX, midX, 10.5, w - 10.5, 26, w - 26, 26, w - 26};
    const double boltY[] = {11.5, h - 11.5, midY, midY, 26, 26, h - 26, h - 26};
    for (int i = 0; i < 8; ++i) {
        SphereLook bolt{rgb(170, 180, 210), rgb(30, 34, 50), 0.0, 0.0, 0.8, 0.0};
        paintSphere(c, boltX[i], boltY[i], 3.2, bolt);
    }
    c.frameRoundRect(inner.inset(-1, -1), 31.0f, argb(160, 110, 190, 255), 1.2f);
    return b;
}

Bitmap grid() {
    Bitmap b(kGrid.width(), kGrid.height(), 0);
    Canvas c(b);
    const float size = static_cast<float>(b.width());
    const float mid = size / 2;
    for (int i = 1; i < 8; ++i) {
        const float p = size * static_cast<float>(i) / 8.0f;
        const Color line = i == 4 ? argb(80, 130, 170, 255) : argb(34, 130, 170, 255);
        c.drawLine(p, 0, p, size, line, 1.0f);
        c.drawLine(0, p, size, p, line, 1.0f);
    }
    c.drawRing(mid, mid, mid - 1.0f, 1.2f, argb(90, 130, 170, 255));
    c.drawRing(mid, mid, mid / 2, 1.0f, argb(40, 130, 170, 255));
    // Ticks on the centre lines.
    for (int i = 1; i < 32; ++i) {
        const float p = size * static_cast<float>(i) / 32.0f;
        c.drawLine(p, mid - 3, p, mid + 3, argb(60, 130, 170, 255), 1.0f);
        c.drawLine(mid - 3, p, mid + 3, p, argb(60, 130, 170, 255), 1.0f);
    }
    return b;
}

// Twelve keys of 20 pixels, then octave down (16) and up (14): 270 × 20,
// plain above and lit below.
Bitmap keyStrip() {
    constexpr int kKeyPx = 20, kHeight = 20;
    Bitmap b(270, 2 * kHeight, 0);
    Canvas c(b);
    const Font font(FontFamily::kNarrow, 10);
    const char* names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    for (int state = 0; state < 2; ++state) {
        const int top = state * kHeight;
        const bool lit = state == 1;
        for (int k = 0; k < 12; ++k) {
            const bool sharp = names[k][1] == '#';
            const Rect r = Rect::fromSize(k * kKeyPx, top, kKeyPx, kHeight).inset(1, 1);
            Color face = sharp ? rgb(28, 30, 52) : rgb(196, 204, 232);
            Color text = sharp ? rgb(180, 190, 230) : rgb(30, 34, 60);
            if (lit) {
                face = sharp ? rgb(30, 110, 200) : rgb(120, 210, 255);
                text = sharp ? rgb(255, 255, 255) : rgb(10, 30, 60);
            }
            c.fillRoundRect(r, 3.0f, face);
            c.drawText(font, names[k], r, Align::kCenter, text);
        }
        for (int arrow = 0; arrow < 2; ++arrow) {
            const Rect r = arrow == 0 ? Rect{240, top, 256, top + kHeight}.inset(1, 1) : Rect{256, top, 270, top + kHeight}.inset(1, 1);
            c.fillRoundRect(r, 3.0f, lit ? rgb(46, 156, 226) : rgb(58, 64, 102));
            const float cx = static_cast<float>(r.left + r.right) / 2, cy = static_cast<float>(r.top + r.bottom) / 2;
            const float dir = arrow == 0 ? -1.0f : 1.0f;
            c.drawLine(cx - 2 * dir, cy - 4, cx + 2 * dir, cy, rgb(230, 236, 255), 1.5f);
            c.drawLine(cx + 2 * dir, cy, cx - 2 * dir, cy + 4, rgb(230, 236, 255), 1.5f);
        }
    }
    return b;
}

Bitmap halo() {
    Bitmap b(64, 64, 0);
    Canvas c(b);
    // A glow that peaks on the ring and fades to both sides, leaving the
    // planet in the middle clear.
    for (int y = 0; y < b.height(); ++y) {
        for (int x = 0; x < b.width(); ++x) {
            const double dx = x + 0.5 - 32, dy = y + 0.5 - 32;
            const double t = std::fabs(std::sqrt(dx * dx + dy * dy) - 22.0) / 9.0;
            if (t >= 1.0) continue;
            c.blendPixel(x, y, rgb(150, 220, 255), static_cast<unsigned>(140.0 * (1.0 - t) * (1.0 - t) + 0.5));
        }
    }
    c.drawRing(32.0f, 32.0f, 22.0f, 1.6f, argb(230, 170, 230, 255));
    c.drawRing(32.0f, 32.0f, 26.0f, 0.8f, argb(110, 170, 230, 255));
    return b;
}

// ---- sprites ----

Bitmap planetStrip(int index) {
    const PlanetPalette& p = kPlanets[index];
    constexpr int s = kPlanetSpritePx;
    Bitmap b(s * kPlanetGlowFrames, s, 0);
    Canvas c(b);
    for (int f = 0; f < kPlanetGlowFrames; ++f) {
        const double cx = f * s + s / 2.0, cy = s / 2.0;
        c.pushClip(Rect::fromSize(f * s, 0, s, s));
        const double strength = f / 9.0;
        paintGlow(c, cx, cy, 11.0, 19.5, p.glow, 0.15 + 0.75 * strength);
        SphereLook look{p.base, p.shadow, p.bands, 7.0 + index % 3, 0.45, 0.5 * strength};
        paintSphere(c, cx, cy, 12.5, look);
        // Ringed giants carry a thin tilted ring.
        if (p.bands >= 0.8) {
            for (int side = 0; side < 2; ++side) {
                const float y0 = static_cast<float>(cy) + 2.0f;
                c.drawLine(static_cast<float>(cx - 18), y0 + 3.5f, static_cast<float>(cx + 18), y0 - 3.5f,
                           withAlpha(scaleColor(p.glow, 0.9), side == 0 ? 150 : 60), side == 0 ? 1.4f : 3.0f);
            }
        }
        c.popClip();
    }
    return b;
}

Bitmap satelliteStrip(int index) {
    const PlanetPalette& p = kPlanets[index];
    constexpr int s = kSatelliteSpritePx;
    Bitmap b(s * kSatelliteFrames, s, 0);
    Canvas c(b);
    Random random(100 + index);
    const Color base = mix(rgb(190, 192, 200), p.base, 70);
    for (int f = 0; f < kSatelliteFrames; ++f) {
        const double cx = f * s + s / 2.0, cy = s / 2.0;
        c.pushClip(Rect::fromSize(f * s, 0, s, s));
        if (f == 1) paintGlow(c, cx, cy, 5.0, 8.0, p.glow, 0.9);
        paintSphere(c, cx, cy, 5.2, SphereLook{base, rgb(30, 30, 40), 0.0, 0.0, 0.3, f == 1 ? 0.4 : 0.0});
        Random craters(200 + index);
        for (int k = 0; k < 3; ++k) {
            const double ox = (craters.unit() - 0.5) * 5.0, oy = (craters.unit() - 0.5) * 5.0;
            c.fillCircle(static_cast<float>(cx + ox), static_cast<float>(cy + oy), 0.9f, argb(70, 20, 20, 30));
        }
        if (f == 1) c.drawRing(static_cast<float>(cx), static_cast<float>(cy), 6.6f, 1.0f, argb(230, 220, 240, 255));
        c.popClip();
    }
    (void)random;
    return b;
}

Bitmap listIcon(bool coloured) {
    Bitmap b(18, 18, 0);
    Canvas c(b);
    if (coloured) {
        paintGlow(c, 9, 9, 5, 9, rgb(120, 200, 255), 0.5);
        paintSphere(c, 9, 9, 6.0, SphereLook{rgb(90, 180, 250), rgb(12, 24, 60), 0.4, 6.0, 0.5, 0.2});
        c.drawLine(1.5f, 11.5f, 16.5f, 6.5f, argb(170, 170, 225, 255), 1.2f);
    } else {
        paintSphere(c, 9, 9, 6.0, SphereLook{rgb(120, 124, 136), rgb(24, 24, 30), 0.0, 0.0, 0.3, 0.0});
    }
    return b;
}

// ---- right panel ----

Bitmap panelTabs(bool paramsActive) {
    Bitmap b(132, 21, 0);
    Canvas c(b);
    const Font font(FontFamily::kNarrow, 12);
    for (int tab = 0; tab < 2; ++tab) {
        const Rect r = Rect::fromSize(tab * 66, 0, 66, 21).inset(1, 1);
        const bool active = (tab == 0) == paramsActive;
        if (active) {
            paintGradientRoundRect(c, r, 5, rgb(46, 150, 220), rgb(18, 70, 132));
            c.frameRoundRect(r, 5.0f, rgb(150, 222, 255), 1.0f);
        } else {
            paintGradientRoundRect(c, r, 5, rgb(40, 44, 74), rgb(20, 22, 40));
            c.frameRoundRect(r, 5.0f, rgb(80, 90, 140), 1.0f);
        }
        c.drawText(font, tab == 0 ? "PARAMS" : "SOUNDS", r, Align::kCenter, active ? rgb(255, 255, 255) : rgb(140, 150, 200));
    }
    return b;
}

// Six cells of 45 × 27 in two columns: cell c at column c mod 2, row c / 2.
Bitmap randomSelector() {
    constexpr int kCellW = 45, kCellH = 27;
    Bitmap b(2 * kCellW, 2 * 3 * kCellH, 0);
    Canvas c(b);
    const Font font(FontFamily::kNarrow, 12);
    const char* labels[6] = {"RND", "1/16", "1/8", "1/4", "1/2", "1/1"};
    for (int state = 0; state < 2; ++state) {
        for (int cell = 0; cell < 6; ++cell) {
            const Rect r = Rect::fromSize((cell % 2) * kCellW, state * 3 * kCellH + (cell / 2) * kCellH, kCellW, kCellH).inset(2, 2);
            if (state == 1) {
                paintGradientRoundRect(c, r, 4, rgb(220, 150, 60), rgb(140, 70, 20));
                c.frameRoundRect(r, 4.0f, rgb(255, 220, 150), 1.0f);
            } else {
                paintGradientRoundRect(c, r, 4, rgb(52, 58, 92), rgb(24, 27, 48));
                c.frameRoundRect(r, 4.0f, rgb(100, 112, 170), 1.0f);
            }
            c.drawText(font, labels[cell], r, Align::kCenter, state == 1 ? rgb(255, 255, 255) : rgb(168, 178, 218));
        }
    }
    return b;
}

// ---- buttons and their icons ----

void menuIcon(Canvas& c, const Rect& r, bool on) {
    const Color color = on ? rgb(255, 255, 255) : rgb(190, 200, 235);
    const float left = static_cast<float>(r.left) + 7, right = static_cast<float>(r.right) - 7;
    const float mid = static_cast<float>(r.top + r.bottom) / 2;
    for (int i = -1; i <= 1; ++i) c.drawLine(left, mid + 5.0f * i, right, mid + 5.0f * i, color, 2.0f);
}

void playIcon(Canvas& c, const Rect& r, bool on) {
    const float x = static_cast<float>(r.left) + 9, y = static_cast<float>(r.top + r.bottom) / 2;
    const Color color = on ? rgb(255, 255, 255) : rgb(190, 200, 235);
    for (int i = 0; i < 9; ++i) {
        const float h = 6.0f * (1.0f - static_cast<float>(i) / 9.0f);
        c.drawLine(x + static_cast<float>(i), y - h, x + static_cast<float>(i), y + h, color, 1.0f);
    }
}

Bitmap led() {
    Bitmap b(14, 28, 0);
    Canvas c(b);
    paintSphere(c, 7, 7, 5.5, SphereLook{rgb(60, 30, 40), rgb(10, 6, 10), 0.0, 0.0, 0.5, 0.0});
    paintGlow(c, 7, 21, 4, 7, rgb(120, 255, 170), 0.8);
    paintSphere(c, 7, 21, 5.5, SphereLook{rgb(120, 255, 170), rgb(20, 90, 50), 0.0, 0.0, 0.7, 0.3});
    return b;
}

}  // namespace

Bitmap drawAppIcon(int size) {
    // The pad's amber giant with its ring and a moon, on the pad's night
    // sky, scaled to the icon.
    Bitmap b(size, size, 0);
    Canvas c(b);
    const double k = size / 128.0;
    c.fillRoundRect(Rect::fromSize(0, 0, size, size), static_cast<float>(22 * k), rgb(14, 16, 34));
    paintGlow(c, 60 * k, 64 * k, 0, 70 * k, rgb(70, 40, 130), 0.45);
    const PlanetPalette& p = kPlanets[0];
    paintGlow(c, 60 * k, 66 * k, 30 * k, 52 * k, p.glow, 0.55);
    paintSphere(c, 60 * k, 66 * k, 34 * k, SphereLook{p.base, p.shadow, p.bands, 7.0, 0.45, 0.15});
    for (int side = 0; side < 2; ++side) {
        c.drawLine(static_cast<float>(10 * k), static_cast<float>(84 * k), static_cast<float>(110 * k),
                   static_cast<float>(56 * k), withAlpha(scaleColor(p.glow, 0.9), side == 0 ? 170 : 70),
                   static_cast<float>((side == 0 ? 3.0 : 7.0) * k));
    }
    const PlanetPalette& moon = kPlanets[1];
    paintGlow(c, 104 * k, 26 * k, 8 * k, 16 * k, moon.glow, 0.8);
    paintSphere(c, 104 * k, 26 * k, 10 * k, SphereLook{moon.base, moon.shadow, 0.0, 0.0, 0.5, 0.2});
    return b;
}

std::vector<SkinImage> drawSkin() {
    std::vector<SkinImage> images;
    images.push_back(image("background_0_0.png", background()));
    images.push_back(image("presets_25_54.png", programPanel()));
    images.push_back(image("selected_preset_bg_41_67.png", rowHighlight(113, 25)));
    images.push_back(image("btn_save_312_286.png", buttonStrip(40, 24, "SAVE", 11, ButtonLook::kPlain)));
    images.push_back(image("btn_preview_311_209.png", buttonStrip(42, 24, "PREVIEW", 10, ButtonLook::kPlain)));
    images.push_back(image("btn_play_772_367.png", buttonStrip(56, 24, "   PLAY", 12, ButtonLook::kAccent, playIcon)));
    images.push_back(image("btn_solo_801_213.png", buttonStrip(36, 22, "SOLO", 11, ButtonLook::kPlain)));
    images.push_back(image("Arp.png", buttonStrip(56, 24, "ARP", 12, ButtonLook::kPlain)));
    images.push_back(image("btn_mmk_339_367.png", buttonStrip(30, 22, "MUTE", 10, ButtonLook::kPlain)));
    images.push_back(image("led_813_59.png", led()));
    images.push_back(image("btn_menu_338_61.png", buttonStrip(32, 22, "", 11, ButtonLook::kPlain, menuIcon)));
    images.push_back(image("hublot_354_4.png", porthole()));
    images.push_back(image("grille_395_45.png", grid()));
    images.push_back(image("KeySelect.png", keyStrip()));
    images.push_back(image("haloring.png", halo()));
    for (int i = 0; i < kSpriteStrips; ++i) {
        images.push_back(image("planet_" + std::to_string(i) + ".png", planetStrip(i)));
    }
    for (int i = 0; i < kSpriteStrips; ++i) {
        images.push_back(image("satellite_" + std::to_string(i) + ".png", satelliteStrip(i)));
    }
    images.push_back(image("params_841_128.png", panelTabs(true)));
    images.push_back(image("sounds_841_128.png", panelTabs(false)));
    images.push_back(image("planet_12-2.png", listIcon(true)));
    images.push_back(image("sphereGgrey08.png", listIcon(false)));
    images.push_back(image("selected_sound_bg_855_148.png", rowHighlight(104, 27)));
    images.push_back(image("btn_fullrange_861_150.png", buttonStrip(90, 22, "FULL RANGE", 12, ButtonLook::kPlain)));
    images.push_back(image("random_selector_+_btn_861_188.png", randomSelector()));
    images.push_back(image("btn_fly_861_284.png", buttonStrip(46, 20, "FLY", 12, ButtonLook::kAccent)));
    return images;
}

}  // namespace skin
