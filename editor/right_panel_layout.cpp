#include "editor/right_panel_layout.h"

#include <algorithm>
#include <cmath>

namespace right_panel {

bool pageAt(int x, int y, Page& page) {
    if (kHeader.contains(x, y)) {
        page = x >= kHeaderPlanetsLeft ? Page::kPlanets : Page::kSatellite;
        return true;
    }
    if (kTabs.contains(x, y)) {
        page = x - kTabs.left < kTabWidth ? Page::kParams : Page::kSounds;
        return true;
    }
    return false;
}

int listRow(int y) {
    if (y < kListFirstRow) return -1;
    const int row = (y - kListFirstRow) / kRowPixels;
    return row < kVisibleRows ? row : -1;
}

int randomCell(int x, int y, int width) {
    const int half = std::max(1, width / 2);
    const int cell = std::max(0, x) / half + 2 * (std::max(0, y) / kRandomRowPixels);
    return std::clamp(cell, 0, kRandomCells - 1);
}

namespace {
// Rates beyond any cell (damaged programs) count as off for the cells.
int rateNumber(float rate) {
    if (!(rate >= 0.0f) || rate >= static_cast<float>(kRandomCells)) return 0;
    return static_cast<int>(rate);
}
}  // namespace

float randomRateAfterClick(float rate, int cell) {
    const int current = rateNumber(rate);
    if (cell == 0 && current == 0) return 1.0f;
    if (cell == current) return 0.0f;
    return static_cast<float>(cell);
}

unsigned litRandomCells(float rate) {
    const int n = rateNumber(rate);
    if (n == 0) return 0;
    return 1u | (1u << n);
}

float faderAfterDrag(float valueAtPress, int dyPixels, int heightPixels, float minimum, float maximum, bool fine) {
    const float height = static_cast<float>(std::max(1, heightPixels));
    float change = static_cast<float>(dyPixels) / height / 20.0f * (maximum - minimum);
    if (fine) change /= 10.0f;
    return std::clamp(valueAtPress - change, minimum, maximum);
}

float faderAfterWheel(float value, float steps, float minimum, float maximum, bool fine) {
    const float notch = (fine ? 0.002f : 0.02f) * (maximum - minimum);
    return std::clamp(value + steps * notch, minimum, maximum);
}

int speedPercent(float speed) { return static_cast<int>(std::lround(std::clamp(speed, 0.0f, 1.0f) * 100.0f)); }

int directionDegrees(float direction) {
    return static_cast<int>(std::lround(std::clamp(direction, 0.0f, 1.0f) * 90.0f));
}

}  // namespace right_panel
