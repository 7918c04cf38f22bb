#include "gui/font.h"

#include <cmath>
#include <cstring>
#include <mutex>

#include <stb_truetype.h>

#include "platform/platform.h"

namespace gui {

struct Typeface::Impl {
    stbtt_fontinfo info{};
};

Typeface::Typeface(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Typeface::~Typeface() = default;

std::unique_ptr<Typeface> Typeface::fromBytes(const uint8_t* data, size_t size) {
    if (data == nullptr || size < 12 || size > 0x7FFFFFFF) return nullptr;
    const int offset = stbtt_GetFontOffsetForIndex(data, 0);
    if (offset < 0 || static_cast<size_t>(offset) >= size) return nullptr;
    auto impl = std::make_unique<Impl>();
    if (!stbtt_InitFont(&impl->info, data, offset)) return nullptr;
    return std::unique_ptr<Typeface>(new Typeface(std::move(impl)));
}

FontFamily familyForName(std::string_view name) {
    auto is = [&](const char* s) { return platform::equalsIgnoreCase(std::string(name).c_str(), s); };
    if (is("Arial Narrow") || is("Agency FB")) return FontFamily::kNarrow;
    if (is("MS Gothic") || is("Courier New") || is("Courier")) return FontFamily::kMono;
    return FontFamily::kSans;
}

namespace {
const char* resourceNameOf(FontFamily family) {
    switch (family) {
        case FontFamily::kNarrow: return "RobotoCondensed-Regular.ttf";
        case FontFamily::kMono: return "LiberationMono-Regular.ttf";
        case FontFamily::kSans: break;
    }
    return "LiberationSans-Regular.ttf";
}

std::unique_ptr<Typeface> loadBuiltIn(FontFamily family) {
    platform::ResourceData data;
    if (!platform::findResource("DATA", resourceNameOf(family), data)) return nullptr;
    return Typeface::fromBytes(data.data, data.size);
}
}  // namespace

const Typeface* builtInTypeface(FontFamily family) {
    // Function-local statics: initialised once, safely, by whichever
    // editor thread asks first.
    static const std::unique_ptr<Typeface> sans = loadBuiltIn(FontFamily::kSans);
    static const std::unique_ptr<Typeface> narrow = loadBuiltIn(FontFamily::kNarrow);
    static const std::unique_ptr<Typeface> mono = loadBuiltIn(FontFamily::kMono);
    switch (family) {
        case FontFamily::kNarrow: return narrow ? narrow.get() : sans.get();
        case FontFamily::kMono: return mono ? mono.get() : sans.get();
        case FontFamily::kSans: break;
    }
    return sans.get();
}

std::u32string decodeText(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        int length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if ((b0 & 0xE0) == 0xC0) { length = 2; c = b0 & 0x1F; minimum = 0x80; }
        else if ((b0 & 0xF0) == 0xE0) { length = 3; c = b0 & 0x0F; minimum = 0x800; }
        else if ((b0 & 0xF8) == 0xF0) { length = 4; c = b0 & 0x07; minimum = 0x10000; }
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80) valid = false;
            c = (c << 6) | (b & 0x3F);
        }
        if (valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(c);
            i += length;
        } else {
            out.push_back(b0);  // Latin-1
            ++i;
        }
    }
    return out;
}

Font::Font(const Typeface* face, int sizePx) : face_(face), sizePx_(sizePx < 1 ? 1 : sizePx) {
    if (face_ == nullptr) return;
    const stbtt_fontinfo& info = face_->impl().info;
    scale_ = stbtt_ScaleForMappingEmToPixels(&info, static_cast<float>(sizePx_));
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
    ascentPx_ = unitsToPixels(ascent);
    descentPx_ = unitsToPixels(-descent);
    lineHeightPx_ = unitsToPixels(ascent - descent + gap);
}

Font::Font(FontFamily family, int sizePx) : Font(builtInTypeface(family), sizePx) {}
Font::Font(std::string_view familyName, int sizePx) : Font(familyForName(familyName), sizePx) {}

int Font::unitsToPixels(long units) const {
    return static_cast<int>(std::floor(static_cast<float>(units) * scale_ + 0.5f));
}

const Font::Glyph& Font::glyph(char32_t c) const {
    auto found = glyphs_.find(c);
    if (found != glyphs_.end()) return found->second;
    Glyph g;
    if (face_ != nullptr) {
        const stbtt_fontinfo& info = face_->impl().info;
        const int index = stbtt_FindGlyphIndex(&info, static_cast<int>(c));
        int advance = 0, bearing = 0;
        stbtt_GetGlyphHMetrics(&info, index, &advance, &bearing);
        g.advanceUnits = advance;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        stbtt_GetGlyphBitmapBox(&info, index, scale_, scale_, &x0, &y0, &x1, &y1);
        if (x1 > x0 && y1 > y0 && x1 - x0 < 1024 && y1 - y0 < 1024) {
            g.left = x0;
            g.top = y0;
            g.width = x1 - x0;
            g.height = y1 - y0;
            g.coverage.assign(static_cast<size_t>(g.width) * g.height, 0);
            stbtt_MakeGlyphBitmap(&info, g.coverage.data(), g.width, g.height, g.width, scale_, scale_, index);
        }
    }
    return glyphs_.emplace(c, std::move(g)).first->second;
}

int Font::kernUnits(char32_t a, char32_t b) const {
    if (face_ == nullptr) return 0;
    return stbtt_GetCodepointKernAdvance(&face_->impl().info, static_cast<int>(a), static_cast<int>(b));
}

std::vector<int> Font::caretPositions(const std::u32string& text) const {
    std::vector<int> positions;
    positions.reserve(text.size() + 1);
    long units = 0;
    positions.push_back(0);
    for (size_t i = 0; i < text.size(); ++i) {
        units += glyph(text[i]).advanceUnits;
        if (i + 1 < text.size()) units += kernUnits(text[i], text[i + 1]);
        positions.push_back(unitsToPixels(units));
    }
    return positions;
}

int Font::textWidth(const std::u32string& text) const {
    if (text.empty()) return 0;
    return caretPositions(text).back();
}

int Font::textWidth(std::string_view utf8) const { return textWidth(decodeText(utf8)); }

}  // namespace gui
