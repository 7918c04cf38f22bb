// PNG files to and from bitmaps. Decoding accepts any PNG colour type and
// gives straight-alpha 0xAARRGGBB; encoding writes 8-bit RGBA with one fixed
// compression, so the same pixels always give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gui/bitmap.h"

namespace gui {

// False (and out unchanged) for bytes that are not a PNG image, or one
// larger than 4096 pixels on a side or 4 megapixels in all.
bool decodePng(const uint8_t* data, size_t size, Bitmap& out);
std::vector<uint8_t> encodePng(const Bitmap& bitmap);

// A PNG compiled into the plug-in as a resource of type "PNG".
bool loadPngResource(const char* name, Bitmap& out);

// Files (tools and tests).
bool readPngFile(const std::string& path, Bitmap& out);
bool writePngFile(const std::string& path, const Bitmap& bitmap);

}  // namespace gui
