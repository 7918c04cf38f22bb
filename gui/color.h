// Colours are 32-bit 0xAARRGGBB words with straight (not premultiplied)
// alpha: the layout of an X11 TrueColor image and of a Win32 32-bit DIB.
#pragma once

#include <cstdint>

namespace gui {

using Color = uint32_t;

constexpr Color argb(unsigned a, unsigned r, unsigned g, unsigned b) {
    return (Color(a & 255) << 24) | (Color(r & 255) << 16) | (Color(g & 255) << 8) | Color(b & 255);
}
constexpr Color rgb(unsigned r, unsigned g, unsigned b) { return argb(255, r, g, b); }
constexpr unsigned alphaOf(Color c) { return c >> 24; }
constexpr unsigned redOf(Color c) { return (c >> 16) & 255; }
constexpr unsigned greenOf(Color c) { return (c >> 8) & 255; }
constexpr unsigned blueOf(Color c) { return c & 255; }
constexpr Color withAlpha(Color c, unsigned a) { return (c & 0x00FFFFFFu) | (Color(a & 255) << 24); }

// x / 255 rounded to nearest, exact for 0 <= x <= 255 * 255.
constexpr unsigned div255(unsigned x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

// Linear mix of two colours, all four channels: t = 0 gives a, 255 gives b.
constexpr Color mix(Color a, Color b, unsigned t) {
    const unsigned u = 255 - t;
    return argb(div255(alphaOf(a) * u + alphaOf(b) * t), div255(redOf(a) * u + redOf(b) * t),
                div255(greenOf(a) * u + greenOf(b) * t), div255(blueOf(a) * u + blueOf(b) * t));
}

// Source over destination, straight alpha. coverage scales the source's
// alpha (anti-aliased edges). An opaque destination stays opaque and takes
// the exact result round((s·a + d·(255 − a)) / 255) per channel.
constexpr Color blendOver(Color dst, Color src, unsigned coverage = 255) {
    const unsigned a = coverage == 255 ? alphaOf(src) : div255(alphaOf(src) * coverage);
    if (a == 0) return dst;
    if (a == 255) return src | 0xFF000000u;
    const unsigned da = alphaOf(dst);
    if (da == 255) {
        const unsigned u = 255 - a;
        return argb(255, div255(redOf(src) * a + redOf(dst) * u), div255(greenOf(src) * a + greenOf(dst) * u),
                    div255(blueOf(src) * a + blueOf(dst) * u));
    }
    // General case for transparent targets (the skin generator's sprites):
    // out alpha = a + da·(1 − a); colours weighted by their contributions.
    const unsigned dw = da * (255 - a);  // destination weight, scaled by 255²
    const unsigned sw = a * 255;         // source weight, same scale
    const unsigned total = sw + dw;
    if (total == 0) return 0;
    const unsigned outA = (total + 127) / 255;
    auto channel = [&](unsigned s, unsigned d) { return (s * sw + d * dw + total / 2) / total; };
    return argb(outA, channel(redOf(src), redOf(dst)), channel(greenOf(src), greenOf(dst)),
                channel(blueOf(src), blueOf(dst)));
}

}  // namespace gui
