#include "tools/library_report/pictures.h"

#include <algorithm>
#include <cmath>

#include "tools/audio_measure/spectrum.h"

namespace library {

namespace {

constexpr uint32_t kBackground = 0xFF101418;

// Dark blue through magenta and orange to pale yellow, for 0 .. 1.
uint32_t heat(double v) {
    v = std::clamp(v, 0.0, 1.0);
    struct Stop {
        double at;
        double r, g, b;
    };
    static const Stop stops[] = {{0.0, 16, 20, 24},   {0.25, 40, 30, 110}, {0.5, 170, 40, 120},
                                 {0.75, 245, 130, 40}, {1.0, 255, 245, 190}};
    for (size_t i = 1; i < std::size(stops); ++i) {
        if (v <= stops[i].at) {
            const Stop& a = stops[i - 1];
            const Stop& b = stops[i];
            const double t = (v - a.at) / (b.at - a.at);
            auto mix = [t](double x, double y) { return static_cast<uint32_t>(std::lround(x + (y - x) * t)); };
            return 0xFF000000u | mix(a.r, b.r) << 16 | mix(a.g, b.g) << 8 | mix(a.b, b.b);
        }
    }
    return 0xFFFFF5BEu;
}

}  // namespace

gui::Bitmap spectrogramPicture(const measure::StereoSignal& signal, int width, int height) {
    gui::Bitmap picture(width, height, kBackground);
    const std::vector<float> mono = signal.mono();
    constexpr size_t kFft = 2048;
    const size_t hop = std::max<size_t>(1, mono.size() / static_cast<size_t>(width));
    const auto frames = measure::spectrogramDb(mono, kFft, hop);
    const double nyquist = signal.rateHz / 2.0;
    for (int x = 0; x < width && static_cast<size_t>(x) < frames.size(); ++x) {
        const std::vector<float>& column = frames[static_cast<size_t>(x)];
        for (int y = 0; y < height; ++y) {
            // Row 0 at the top is 20 kHz, the bottom row 20 Hz.
            const double hzLow = 20.0 * std::pow(1000.0, static_cast<double>(height - 1 - y) / height);
            const double hzHigh = 20.0 * std::pow(1000.0, static_cast<double>(height - y) / height);
            size_t lo = static_cast<size_t>(hzLow / nyquist * (kFft / 2));
            size_t hi = static_cast<size_t>(std::ceil(hzHigh / nyquist * (kFft / 2)));
            lo = std::min(lo, column.size() - 1);
            hi = std::clamp(hi, lo + 1, column.size());
            float level = -200.0f;
            for (size_t k = lo; k < hi; ++k) level = std::max(level, column[k]);
            picture.setPixel(x, y, heat((level + 90.0) / 90.0));
        }
    }
    return picture;
}

gui::Bitmap waveformPicture(const measure::StereoSignal& signal, int width, int height) {
    gui::Bitmap picture(width, height, kBackground);
    const int half = height / 2;
    const size_t per = std::max<size_t>(1, signal.frames() / static_cast<size_t>(width));
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<float>& x = channel == 0 ? signal.left : signal.right;
        const int top = channel * half;
        const int middle = top + half / 2;
        for (int px = 0; px < width; ++px) picture.setPixel(px, middle, 0xFF3A4A58u);
        for (int px = 0; px < width; ++px) {
            const size_t first = static_cast<size_t>(px) * per;
            if (first >= x.size()) break;
            float lo = 0.0f, hi = 0.0f;
            for (size_t i = first; i < std::min(x.size(), first + per); ++i) {
                lo = std::min(lo, x[i]);
                hi = std::max(hi, x[i]);
            }
            const int yHi = std::clamp(middle - static_cast<int>(std::lround(hi * (half / 2 - 1))), top, top + half - 1);
            const int yLo = std::clamp(middle - static_cast<int>(std::lround(lo * (half / 2 - 1))), top, top + half - 1);
            const bool clipped = hi >= 0.999f || lo <= -0.999f;
            for (int y = yHi; y <= yLo; ++y) picture.setPixel(px, y, clipped ? 0xFFFF4040u : 0xFF7FC8F0u);
        }
    }
    return picture;
}

}  // namespace library
