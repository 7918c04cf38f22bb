// Names of any bytes (program names from chunks and banks are 8-bit text)
// decode, measure and draw without reading outside anything; valid UTF-8
// survives a round trip through the text entry's encoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gui/canvas.h"
#include "gui/controls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size > 256 ? 256 : size);
    const std::u32string chars = gui::decodeText(text);
    if (chars.size() > text.size()) std::abort();
    const std::u32string again = gui::decodeText(gui::encodeUtf8(chars));
    if (again != chars) std::abort();
    static const gui::Font font("Arial", 11);
    gui::Bitmap target(120, 20);
    gui::Canvas canvas(target);
    canvas.drawText(font, text, gui::Rect{2, 2, 118, 18}, gui::Align::kCenter, gui::rgb(255, 255, 255));
    if (font.textWidth(chars) < 0) std::abort();
    return 0;
}
