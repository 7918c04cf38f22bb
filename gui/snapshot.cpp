#include "gui/snapshot.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "gui/png.h"

namespace gui {

PixelDifference comparePixels(const Bitmap& a, const Bitmap& b) {
    PixelDifference d;
    d.sameSize = a.width() == b.width() && a.height() == b.height();
    if (!d.sameSize) return d;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const Color p = a.pixel(x, y), q = b.pixel(x, y);
            if (p == q) continue;
            ++d.count;
            d.bounds = d.bounds.united(Rect{x, y, x + 1, y + 1});
            for (int shift = 0; shift < 32; shift += 8) {
                const int delta = std::abs(static_cast<int>((p >> shift) & 255) - static_cast<int>((q >> shift) & 255));
                if (delta > d.maxChannelDelta) d.maxChannelDelta = delta;
            }
        }
    }
    return d;
}

SnapshotResult matchSnapshot(const Bitmap& image, const std::string& referencePath, SnapshotMode mode) {
    SnapshotResult result;
    const std::vector<uint8_t> bytes = encodePng(image);
    const char* update = std::getenv("TALVEX_UPDATE_SNAPSHOTS");
    if (mode == SnapshotMode::kFromEnvironment && update != nullptr && std::strcmp(update, "1") == 0) {
        std::ofstream out(referencePath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        result.updated = result.matched = static_cast<bool>(out);
        result.report = (result.matched ? "wrote " : "could not write ") + referencePath;
        return result;
    }
    std::ifstream in(referencePath, std::ios::binary);
    std::vector<uint8_t> reference((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (reference == bytes) {
        result.matched = true;
        return result;
    }
    std::ostringstream report;
    if (reference.empty()) {
        report << "no reference image " << referencePath << " (TALVEX_UPDATE_SNAPSHOTS=1 writes it)";
    } else {
        Bitmap expected;
        if (!decodePng(reference.data(), reference.size(), expected)) {
            report << referencePath << " is not a PNG image";
        } else {
            const PixelDifference d = comparePixels(image, expected);
            if (!d.sameSize) {
                report << "size " << image.width() << "x" << image.height() << ", reference "
                       << expected.width() << "x" << expected.height();
            } else if (d.count == 0) {
                report << "same pixels, different PNG bytes (encoder changed?)";
            } else {
                report << d.count << " pixels differ in (" << d.bounds.left << "," << d.bounds.top << ")-("
                       << d.bounds.right << "," << d.bounds.bottom << "), by up to " << d.maxChannelDelta;
            }
        }
    }
    std::string actual = referencePath;
    if (actual.size() > 4 && actual.compare(actual.size() - 4, 4, ".png") == 0) actual.resize(actual.size() - 4);
    actual += ".actual.png";
    std::ofstream out(actual, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    report << "; rendered image: " << actual;
    result.report = report.str();
    return result;
}

}  // namespace gui
