// Drawing a whole 1000 × 450 editor frame with the committed skin: the
// background, program panel, buttons, porthole, grid, eight glowing planets
// with a halo, satellites with their names, a 1389-sample scope trace and
// the panel's text. The editor redraws the pad on every idle call, so this
// must stay far below a host's 40 ms idle period (target: 5 ms).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "gui/canvas.h"
#include "gui/exact_math.h"
#include "gui/png.h"

namespace {

using namespace gui;

struct Skin {
    Bitmap background, presets, porthole, grid, halo, keys, tabs, row;
    std::vector<Bitmap> buttons, planets, moons;
    Skin() {
        loadPngResource("background_0_0.png", background);
        loadPngResource("presets_25_54.png", presets);
        loadPngResource("hublot_354_4.png", porthole);
        loadPngResource("grille_395_45.png", grid);
        loadPngResource("haloring.png", halo);
        loadPngResource("KeySelect.png", keys);
        loadPngResource("params_841_128.png", tabs);
        loadPngResource("selected_preset_bg_41_67.png", row);
        for (const char* name : {"btn_save_312_286.png", "btn_preview_311_209.png", "btn_play_772_367.png",
                                 "btn_solo_801_213.png", "btn_mmk_339_367.png", "btn_menu_338_61.png", "led_813_59.png",
                                 "btn_fullrange_861_150.png", "btn_fly_861_284.png"}) {
            buttons.emplace_back();
            loadPngResource(name, buttons.back());
        }
        for (int i = 0; i < 8; ++i) {
            planets.emplace_back();
            loadPngResource(("planet_" + std::to_string(i) + ".png").c_str(), planets.back());
            moons.emplace_back();
            loadPngResource(("satellite_" + std::to_string(i) + ".png").c_str(), moons.back());
        }
    }
};

void drawFrame(Canvas& c, const Skin& s, const std::vector<float>& scope, const Font& label, const Font& list, int tick) {
    c.copyBitmap(s.background, s.background.bounds(), 0, 0);
    c.drawFrame(s.presets, 5, 4, StripLayout::kHorizontal, 25, 54);
    c.drawBitmap(s.row, 41, 67 + 27 * 3);
    for (int row = 0; row < 24; ++row) {
        c.drawText(list, "Program " + std::to_string(row + 1), Rect::fromSize(row < 12 ? 43 : 160, 68 + (row % 12) * 27, 108, 19),
                   Align::kLeft, rgb(220, 225, 245));
    }
    const int bx[] = {312, 311, 772, 801, 339, 338, 813, 861, 861}, by[] = {286, 209, 367, 213, 367, 61, 59, 150, 284};
    for (size_t i = 0; i < s.buttons.size(); ++i) c.drawFrame(s.buttons[i], 2, static_cast<int>(i) & 1, StripLayout::kVertical, bx[i], by[i]);
    c.drawBitmap(s.tabs, 841, 128);

    // The pad.
    c.pushClip(Rect{374, 26, 771, 423});
    c.drawBitmap(s.grid, 395, 45);
    const float mid = 26 + 397 / 2.0f;
    for (size_t i = 1; i < scope.size(); ++i) {
        c.drawLine(374 + (i - 1) * 397.0f / scope.size(), mid + scope[i - 1], 374 + i * 397.0f / scope.size(), mid + scope[i],
                   argb(200, 90, 255, 140));
    }
    for (int p = 0; p < 8; ++p) {
        const int x = 374 + 20 + p * 42, y = 26 + 40 + (p * 97 + tick) % 300;
        c.drawFrame(s.planets[p], 10, (p + tick) % 10, StripLayout::kHorizontal, x, y);
        if (p == 3) {
            c.drawBitmap(s.halo, x - 12, y - 12);
            for (int k = 0; k < 4; ++k) {
                const int sx = 374 + 60 + k * 80, sy = 26 + 250 - k * 30;
                c.drawFrame(s.moons[p], 2, k == 1, StripLayout::kHorizontal, sx, sy);
                c.drawText(label, "Cutoff / Reso", Rect::fromSize(sx - 30, sy + 16, 76, 14), Align::kCenter, rgb(200, 210, 240));
            }
        }
    }
    c.drawFrame(s.keys, 2, 0, StripLayout::kVertical, 374 + 67, 26 + 300);
    c.popClip();
    c.drawBitmap(s.porthole, 354, 4);
}

void BM_FullEditorFrame(benchmark::State& state) {
    const Skin skin;
    Bitmap window(1000, 450);
    Canvas canvas(window);
    std::vector<float> scope(1389);
    for (size_t i = 0; i < scope.size(); ++i) scope[i] = static_cast<float>(120.0 * exactSin(i * 0.05) * exactSin(i * 0.0023));
    const Font label("Agency FB", 13), list("Arial", 11);
    int tick = 0;
    for (auto _ : state) {
        drawFrame(canvas, skin, scope, label, list, tick++);
        benchmark::DoNotOptimize(window.pixels());
    }
}
BENCHMARK(BM_FullEditorFrame)->Unit(benchmark::kMillisecond);

void BM_ScopeTrace(benchmark::State& state) {
    Bitmap window(1000, 450, rgb(0, 0, 0));
    Canvas canvas(window);
    std::vector<float> xy;
    for (int i = 0; i < 1389; ++i) {
        xy.push_back(374 + i * 397.0f / 1389);
        xy.push_back(static_cast<float>(224.5 + 150.0 * exactSin(i * 0.05)));
    }
    for (auto _ : state) {
        canvas.drawPolyline(xy.data(), 1389, argb(200, 90, 255, 140));
        benchmark::DoNotOptimize(window.pixels());
    }
}
BENCHMARK(BM_ScopeTrace)->Unit(benchmark::kMicrosecond);

void BM_BackgroundCopy(benchmark::State& state) {
    Bitmap background(1000, 450, rgb(1, 2, 3)), window(1000, 450);
    Canvas canvas(window);
    for (auto _ : state) {
        canvas.copyBitmap(background, background.bounds(), 0, 0);
        benchmark::DoNotOptimize(window.pixels());
    }
}
BENCHMARK(BM_BackgroundCopy)->Unit(benchmark::kMicrosecond);

}  // namespace
