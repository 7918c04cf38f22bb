// Drawing helpers of the skin generator: shaded spheres, soft glows, metal
// and glass surfaces, button faces.
#pragma once

#include <cstdint>
#include <string>

#include "gui/canvas.h"

namespace skin {

// A small deterministic generator (stars, craters): the same sequence on
// every system.
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1u) {}
    uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    // 0 ≤ value < 1
    double unit() { return static_cast<double>(next() & 0xFFFFFF) / 16777216.0; }
    int below(int n) { return static_cast<int>(unit() * n); }

private:
    uint32_t state_;
};

struct SphereLook {
    gui::Color base;
    gui::Color shadow;
    double bands = 0.0;        // strength of latitude bands (gas giants)
    double bandFrequency = 9;  // bands across the diameter
    double specular = 0.5;
    double brighten = 0.0;     // added light, 0…1 (glow frames)
};

// A lit sphere with an anti-aliased edge, blended over what is there.
void paintSphere(gui::Canvas& canvas, double cx, double cy, double radius, const SphereLook& look);

// A radial glow: alpha peak·(1 − t)² from radius inner (t = 0) to outer.
void paintGlow(gui::Canvas& canvas, double cx, double cy, double inner, double outer, gui::Color color, double peak);

// A vertical gradient inside a rounded rectangle.
void paintGradientRoundRect(gui::Canvas& canvas, const gui::Rect& r, double radius, gui::Color top, gui::Color bottom);

enum class ButtonLook { kPlain, kAccent };

// A two-state button strip: off on top, on below, each width × height,
// with a label (and an optional drawing callback for icons).
gui::Bitmap buttonStrip(int width, int height, const std::string& label, int fontPx, ButtonLook look,
                        void (*icon)(gui::Canvas&, const gui::Rect&, bool on) = nullptr);

// Colour channels scaled by f (0…2), clamped.
gui::Color scaleColor(gui::Color c, double f);

}  // namespace skin
