// PNG decoding of arbitrary bytes: refuses or gives a bitmap within the
// size limit whose pixels can be drawn and encoded again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "gui/canvas.h"
#include "gui/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gui::Bitmap bitmap;
    if (!gui::decodePng(data, size, bitmap)) {
        if (!bitmap.empty()) std::abort();  // refusal leaves the target alone
        return 0;
    }
    if (bitmap.width() <= 0 || bitmap.height() <= 0 || bitmap.width() > 4096 || bitmap.height() > 4096 ||
        static_cast<long>(bitmap.width()) * bitmap.height() > 4L * 1024 * 1024) std::abort();
    // Small images go round again; big ones are only drawn from.
    gui::Bitmap target(64, 64);
    gui::Canvas canvas(target);
    canvas.drawFrame(bitmap, 3, 1, gui::StripLayout::kHorizontal, -5, 7);
    if (static_cast<long>(bitmap.width()) * bitmap.height() <= 4096) {
        gui::Bitmap again;
        const auto bytes = gui::encodePng(bitmap);
        if (!gui::decodePng(bytes.data(), bytes.size(), again) || !(again == bitmap)) std::abort();
    }
    return 0;
}
