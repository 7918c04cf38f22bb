// The committed skin is exactly what the generator draws, every bitmap is
// listed as a PNG resource and found through the plug-in's lookup, and
// each fits its place in the window without covering its neighbours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "gui/png.h"
#include "tools/skingen/skin.h"

namespace {

using gui::Bitmap;
using gui::Rect;

const std::string kSkinDir = TALVEX_SOURCE_DIR "/resources/skin";

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const std::vector<skin::SkinImage>& drawn() {
    static const std::vector<skin::SkinImage> images = skin::drawSkin();
    return images;
}

const Bitmap& bitmap(const std::string& name) {
    for (const auto& image : drawn()) {
        if (image.name == name) return image.bitmap;
    }
    ADD_FAILURE() << "no image " << name;
    static const Bitmap none;
    return none;
}

TEST(SkinFiles, CommittedFilesAreWhatTheGeneratorDraws) {
    std::set<std::string> names;
    for (const auto& image : drawn()) {
        names.insert(image.name);
        const std::vector<uint8_t> committed = readBytes(kSkinDir + "/" + image.name);
        EXPECT_TRUE(committed == gui::encodePng(image.bitmap))
            << image.name << " differs from the generator's drawing: run skingen resources/skin";
    }
    EXPECT_EQ(names.size(), drawn().size()) << "two images share a name";
    // No stale files beside them.
    for (const auto& entry : std::filesystem::directory_iterator(kSkinDir)) {
        if (entry.path().extension() == ".png") {
            EXPECT_TRUE(names.count(entry.path().filename().string())) << entry.path() << " is not drawn by skingen";
        }
    }
}

TEST(SkinFiles, EveryImageIsAPngResourceTheLookupFinds) {
    std::ifstream list(TALVEX_SOURCE_DIR "/resources/resources.list");
    std::map<std::string, std::string> listed;  // name -> path
    std::string line;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        std::string type, name, path;
        if (fields >> type >> name >> path && type == "PNG") listed[name] = path;
    }
    for (const auto& image : drawn()) {
        ASSERT_EQ(listed[image.name], "skin/" + image.name);
        Bitmap loaded;
        ASSERT_TRUE(gui::loadPngResource(image.name.c_str(), loaded)) << image.name;
        EXPECT_EQ(loaded, image.bitmap) << image.name;
    }
    Bitmap none;
    EXPECT_FALSE(gui::loadPngResource("no_such_bitmap.png", none));
}

// The control rectangle a positioned bitmap covers: buttons and the LED
// show one of two stacked states; the program panel one of five frames.
Rect placeOf(const std::string& name, int x, int y) {
    const Bitmap& b = bitmap(name);
    int w = b.width(), h = b.height();
    if (name.rfind("btn_", 0) == 0 || name.rfind("led_", 0) == 0 || name == "Arp.png" ||
        name.rfind("random_selector", 0) == 0) {
        h /= 2;
    }
    if (name == "presets_25_54.png") w /= 5;
    return Rect::fromSize(x, y, w, h);
}

TEST(SkinLayout, SizesFitTheLayout) {
    EXPECT_EQ(bitmap("background_0_0.png").width(), 1000);
    EXPECT_EQ(bitmap("background_0_0.png").height(), 450);
    const Rect window{0, 0, 1000, 450};
    for (const auto& image : drawn()) {
        int x = 0, y = 0;
        const std::string& n = image.name;
        const size_t dot = n.rfind('.');
        const size_t second = n.rfind('_', dot);
        const size_t first = second == std::string::npos || second == 0 ? std::string::npos : n.rfind('_', second - 1);
        if (first != std::string::npos && std::sscanf(n.c_str() + first, "_%d_%d.", &x, &y) == 2) {
            EXPECT_TRUE(window.contains(placeOf(n, x, y))) << n;
        }
        if (n.rfind("btn_", 0) == 0) {
            EXPECT_EQ(image.bitmap.height() % 2, 0) << n;
        }
    }
    // Program panel: five frames, list rows and the tab column inside it.
    const Bitmap& presets = bitmap("presets_25_54.png");
    EXPECT_EQ(presets.width() % 5, 0);
    EXPECT_GE(presets.width() / 5, 258 + 20);      // the tabs start 258 to the right
    EXPECT_GE(presets.height(), 12 + 12 * 27);      // twelve rows of 27 from 12 down
    EXPECT_GE(presets.height(), 66 + 5 * 44);       // five tabs of 44 from 66 down
    // The program panel ends before Preview and Save start.
    EXPECT_LE(25 + presets.width() / 5, 311);
    // Porthole and grid around the 397 × 397 pad at 374, 26.
    const Rect pad{374, 26, 771, 423};
    EXPECT_TRUE(placeOf("hublot_354_4.png", 354, 4).contains(pad));
    EXPECT_TRUE(pad.contains(placeOf("grille_395_45.png", 395, 45)));
    // Key strip: 67…337 by 20 (plain and lit).
    EXPECT_EQ(bitmap("KeySelect.png").width(), 337 - 67);
    EXPECT_EQ(bitmap("KeySelect.png").height(), 2 * 20);
    // Sprite strips: ten square glow frames per planet, moons, halo larger.
    for (int i = 0; i < skin::kSpriteStrips; ++i) {
        const Bitmap& planet = bitmap("planet_" + std::to_string(i) + ".png");
        EXPECT_EQ(planet.width(), skin::kPlanetSpritePx * skin::kPlanetGlowFrames);
        EXPECT_EQ(planet.height(), skin::kPlanetSpritePx);
        const Bitmap& moon = bitmap("satellite_" + std::to_string(i) + ".png");
        EXPECT_EQ(moon.width(), skin::kSatelliteSpritePx * skin::kSatelliteFrames);
        EXPECT_EQ(moon.height(), skin::kSatelliteSpritePx);
    }
    EXPECT_GT(bitmap("haloring.png").width(), skin::kPlanetSpritePx);
    // Random selector: two columns of cells 27 high, three rows.
    EXPECT_EQ(bitmap("random_selector_+_btn_861_188.png").height(), 2 * 3 * 27);
    // Planet list rows of 27 from 21 below 128, eight of them, inside 128…367.
    EXPECT_EQ(bitmap("selected_sound_bg_855_148.png").height(), 27);
    EXPECT_LE(148 + 21 + 7 * 27 + 27 - 21, 367);
    // Tabs header: the width of the list, 21 high.
    EXPECT_EQ(bitmap("params_841_128.png").width(), 973 - 841);
    EXPECT_EQ(bitmap("params_841_128.png").height(), 21);
    EXPECT_EQ(bitmap("sounds_841_128.png").width(), 973 - 841);
}

TEST(SkinLayout, NeighbouringControlsDoNotOverlap) {
    struct Placed {
        const char* name;
        int x, y;
    };
    const Placed controls[] = {
        {"btn_save_312_286.png", 312, 286}, {"btn_preview_311_209.png", 311, 209}, {"btn_play_772_367.png", 772, 367},
        {"btn_solo_801_213.png", 801, 213}, {"Arp.png", 772, 340},                  {"btn_mmk_339_367.png", 339, 367},
        {"led_813_59.png", 813, 59},        {"btn_menu_338_61.png", 338, 61},       {"btn_fullrange_861_150.png", 861, 150},
        {"random_selector_+_btn_861_188.png", 861, 188}, {"btn_fly_861_284.png", 861, 284},
        {"presets_25_54.png", 25, 54},
    };
    std::vector<std::pair<std::string, Rect>> rects;
    for (const Placed& p : controls) rects.emplace_back(p.name, placeOf(p.name, p.x, p.y));
    // The drawn faders and the tempo entry.
    rects.emplace_back("speed fader", Rect{910, 308, 955, 332});
    rects.emplace_back("direction fader", Rect{910, 335, 955, 359});
    for (size_t i = 0; i < rects.size(); ++i) {
        for (size_t j = i + 1; j < rects.size(); ++j) {
            EXPECT_FALSE(rects[i].second.intersects(rects[j].second)) << rects[i].first << " and " << rects[j].first;
        }
    }
    // Nothing but the pad's own frame reaches into the pad.
    const Rect pad{374, 26, 771, 423};
    for (const auto& [name, r] : rects) EXPECT_FALSE(r.intersects(pad)) << name;
    // The right panel's controls stay right of Solo and inside the list area.
    const Rect list{841, 128, 973, 367};
    for (const char* name : {"btn_fullrange_861_150.png", "random_selector_+_btn_861_188.png", "btn_fly_861_284.png"}) {
        const auto it = std::find_if(rects.begin(), rects.end(), [&](const auto& r) { return r.first == name; });
        EXPECT_TRUE(list.contains(it->second)) << name;
    }
}

}  // namespace
