// The editor's skin, drawn by program: every bitmap the editor loads, by
// resource name. Drawing uses only the canvas and exact arithmetic, so the
// same source always gives the same PNG bytes; tools/skingen writes them
// into resources/skin/ and a test checks the committed files against it.
#pragma once

#include <string>
#include <vector>

#include "gui/bitmap.h"

namespace skin {

struct SkinImage {
    std::string name;  // resource name and file name
    gui::Bitmap bitmap;
};

std::vector<SkinImage> drawSkin();

// The application's icon, size × size, in the skin's look.
gui::Bitmap drawAppIcon(int size);

// Sprite sizes the pad's mapping depends on (square sprites).
constexpr int kPlanetSpritePx = 40;
constexpr int kPlanetGlowFrames = 10;
constexpr int kSatelliteSpritePx = 16;
constexpr int kSatelliteFrames = 2;
constexpr int kSpriteStrips = 8;  // planet and satellite strips, one per track

}  // namespace skin
