// Text faces and sizes. The plug-in carries three free faces as resources
// and maps the family names its layout asks for onto them: "Arial" onto
// Liberation Sans, "Arial Narrow" and "Agency FB" onto a condensed sans,
// "MS Gothic" onto Liberation Mono; any other name gets the sans.
//
// A Typeface is read-only once loaded and may be shared between threads. A
// Font (a face at one pixel size) caches rasterised glyphs and belongs to
// one thread at a time, normally the editor's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace gui {

enum class FontFamily { kSans, kNarrow, kMono };

FontFamily familyForName(std::string_view name);

class Typeface {
public:
    // The bytes must stay valid and unchanged for the typeface's life
    // (resources do). Null when they are not a TrueType font.
    static std::unique_ptr<Typeface> fromBytes(const uint8_t* data, size_t size);
    ~Typeface();
    Typeface(const Typeface&) = delete;
    Typeface& operator=(const Typeface&) = delete;

    struct Impl;
    const Impl& impl() const { return *impl_; }

private:
    explicit Typeface(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The built-in face of a family, loaded from the plug-in's resources on
// first use (thread-safe); null when the resource is missing.
const Typeface* builtInTypeface(FontFamily family);

// One decoded character of a string: UTF-8, with bytes that are not valid
// UTF-8 taken as Latin-1 characters (8-bit program names stay readable).
std::u32string decodeText(std::string_view text);

class Font {
public:
    struct Glyph {
        int left = 0;   // bitmap offset from the pen position
        int top = 0;    // bitmap offset from the baseline (negative: above)
        int width = 0;
        int height = 0;
        int advanceUnits = 0;  // in font units
        std::vector<uint8_t> coverage;  // width × height, 0…255
    };

    Font() = default;
    // sizePx is the em size in pixels (a Windows font height of −sizePx).
    Font(const Typeface* face, int sizePx);
    Font(FontFamily family, int sizePx);
    Font(std::string_view familyName, int sizePx);

    bool valid() const { return face_ != nullptr; }
    int size() const { return sizePx_; }
    // Pixels above and below the baseline (both positive) and the distance
    // between two baselines.
    int ascent() const { return ascentPx_; }
    int descent() const { return descentPx_; }
    int lineHeight() const { return lineHeightPx_; }

    int textWidth(std::string_view utf8) const;
    int textWidth(const std::u32string& text) const;
    // Pen x offsets (from the string's start) of every character and of
    // the end: size() + 1 entries. Text entries place their caret with it.
    std::vector<int> caretPositions(const std::u32string& text) const;

    const Glyph& glyph(char32_t c) const;
    int kernUnits(char32_t a, char32_t b) const;
    // Font units to whole pixels, rounded to nearest.
    int unitsToPixels(long units) const;

private:
    const Typeface* face_ = nullptr;
    int sizePx_ = 0;
    float scale_ = 0.0f;
    int ascentPx_ = 0;
    int descentPx_ = 0;
    int lineHeightPx_ = 0;
    mutable std::unordered_map<char32_t, Glyph> glyphs_;
};

}  // namespace gui
