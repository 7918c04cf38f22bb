// The editor's bitmaps, decoded once from the plug-in's PNG resources and
// kept for the editor's life. A missing resource gives an empty bitmap,
// which draws nothing.
#pragma once

#include <map>
#include <string>

#include "gui/bitmap.h"

class EditorSkin {
public:
    // Decodes every bitmap the editor uses (the first call does the work).
    void load();
    const gui::Bitmap* get(const std::string& name) const;
    // True when every bitmap was found.
    bool complete() const { return complete_; }

private:
    std::map<std::string, gui::Bitmap> bitmaps_;
    bool loaded_ = false;
    bool complete_ = false;
};

namespace skin {
constexpr const char* kBackground = "background_0_0.png";
constexpr const char* kSave = "btn_save_312_286.png";
constexpr const char* kPresets = "presets_25_54.png";
constexpr const char* kSelectedPreset = "selected_preset_bg_41_67.png";
constexpr const char* kPreview = "btn_preview_311_209.png";
constexpr const char* kPlay = "btn_play_772_367.png";
constexpr const char* kSolo = "btn_solo_801_213.png";
constexpr const char* kArpeggiator = "Arp.png";
constexpr const char* kMuteKey = "btn_mmk_339_367.png";
constexpr const char* kLed = "led_813_59.png";
constexpr const char* kPorthole = "hublot_354_4.png";
constexpr const char* kGrid = "grille_395_45.png";
constexpr const char* kParamsTab = "params_841_128.png";
constexpr const char* kSoundsTab = "sounds_841_128.png";
constexpr const char* kMenu = "btn_menu_338_61.png";
// The planet pad's sprites: ten-frame glow strips and two-frame moons, one
// colour per track (index mod 8).
constexpr int kSpriteColours = 8;
constexpr const char* kPlanets[kSpriteColours] = {"planet_0.png", "planet_1.png", "planet_2.png", "planet_3.png",
                                                  "planet_4.png", "planet_5.png", "planet_6.png", "planet_7.png"};
constexpr const char* kSatellites[kSpriteColours] = {"satellite_0.png", "satellite_1.png", "satellite_2.png",
                                                     "satellite_3.png", "satellite_4.png", "satellite_5.png",
                                                     "satellite_6.png", "satellite_7.png"};
constexpr const char* kHalo = "haloring.png";
constexpr const char* kKeyStrip = "KeySelect.png";
constexpr const char* kPlanetListSelected = "planet_12-2.png";
constexpr const char* kPlanetListIcon = "sphereGgrey08.png";
constexpr const char* kSelectedSound = "selected_sound_bg_855_148.png";
constexpr const char* kFullRange = "btn_fullrange_861_150.png";
constexpr const char* kRandomSelector = "random_selector_+_btn_861_188.png";
constexpr const char* kFly = "btn_fly_861_284.png";
}  // namespace skin
