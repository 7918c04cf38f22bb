// Writes the editor's skin: every bitmap as a PNG file in the given folder
// (resources/skin). With --list, prints the lines that resources.list
// carries for them instead; with --preview FILE, writes a mock-up of the
// whole window with every bitmap at its place (for looking at a restyle);
// with --icon FILE, writes the player's 128 × 128 application icon.
#include <cstdio>
#include <cstring>
#include <string>

#include "gui/canvas.h"
#include "gui/png.h"
#include "tools/skingen/skin.h"

namespace {

const gui::Bitmap* find(const std::vector<skin::SkinImage>& images, const std::string& name) {
    for (const auto& image : images) {
        if (image.name == name) return &image.bitmap;
    }
    return nullptr;
}

// The place a name like "btn_save_312_286.png" gives, if any.
bool placeOf(const std::string& name, int& x, int& y) {
    int a = 0, b = 0;
    const size_t dot = name.rfind('.');
    const size_t second = name.rfind('_', dot);
    if (second == std::string::npos || second == 0) return false;
    const size_t first = name.rfind('_', second - 1);
    if (first == std::string::npos) return false;
    if (std::sscanf(name.c_str() + first, "_%d_%d.", &a, &b) != 2) return false;
    x = a;
    y = b;
    return true;
}

gui::Bitmap preview(const std::vector<skin::SkinImage>& images) {
    using namespace gui;
    Bitmap window(1000, 450);
    Canvas c(window);
    c.drawBitmap(*find(images, "background_0_0.png"), 0, 0);
    c.drawBitmap(*find(images, "grille_395_45.png"), 395, 45);
    c.drawBitmap(*find(images, "hublot_354_4.png"), 354, 4);
    c.drawFrame(*find(images, "presets_25_54.png"), 5, 4, StripLayout::kHorizontal, 25, 54);
    c.drawBitmap(*find(images, "selected_preset_bg_41_67.png"), 41 + 117, 67 + 27 * 3);
    for (const auto& image : images) {
        int x = 0, y = 0;
        if (image.name.rfind("btn_", 0) == 0 && placeOf(image.name, x, y)) {
            c.drawFrame(image.bitmap, 2, image.name == "btn_play_772_367.png" ? 1 : 0, StripLayout::kVertical, x, y);
        }
    }
    c.drawFrame(*find(images, "led_813_59.png"), 2, 1, StripLayout::kVertical, 813, 59);
    c.drawFrame(*find(images, "Arp.png"), 2, 0, StripLayout::kVertical, 772, 340);
    c.drawBitmap(*find(images, "params_841_128.png"), 841, 128);
    c.drawFrame(*find(images, "random_selector_+_btn_861_188.png"), 2, 0, StripLayout::kVertical, 861, 188);
    // Planets over the pad, one selected with its halo and moons.
    const int px[8] = {60, 300, 170, 120, 250, 330, 30, 200};
    const int py[8] = {80, 60, 200, 300, 280, 200, 220, 340};
    for (int i = 0; i < 8; ++i) {
        c.drawFrame(*find(images, "planet_" + std::to_string(i) + ".png"), 10, (i * 3) % 10, StripLayout::kHorizontal,
                    374 + px[i], 26 + py[i]);
    }
    c.drawBitmap(*find(images, "haloring.png"), 374 + 170 - 12, 26 + 200 - 12);
    for (int k = 0; k < 4; ++k) {
        c.drawFrame(*find(images, "satellite_2.png"), 2, k == 1 ? 1 : 0, StripLayout::kHorizontal, 374 + 130 + 40 * k, 26 + 150);
    }
    c.drawFrame(*find(images, "KeySelect.png"), 2, 0, StripLayout::kVertical, 374 + 67, 26 + 300);
    return window;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: skingen OUTPUT_FOLDER | --list | --preview FILE | --icon FILE\n");
        return 2;
    }
    if (std::strcmp(argv[1], "--icon") == 0 && argc == 3) {
        return gui::writePngFile(argv[2], skin::drawAppIcon(128)) ? 0 : 1;
    }
    const std::vector<skin::SkinImage> images = skin::drawSkin();
    if (std::strcmp(argv[1], "--preview") == 0 && argc == 3) {
        return gui::writePngFile(argv[2], preview(images)) ? 0 : 1;
    }
    if (std::strcmp(argv[1], "--list") == 0) {
        for (const auto& image : images) std::printf("PNG %s skin/%s\n", image.name.c_str(), image.name.c_str());
        return 0;
    }
    for (const auto& image : images) {
        const std::string path = std::string(argv[1]) + "/" + image.name;
        if (!gui::writePngFile(path, image.bitmap)) {
            std::fprintf(stderr, "skingen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::printf("skingen: wrote %zu images to %s\n", images.size(), argv[1]);
    return 0;
}
