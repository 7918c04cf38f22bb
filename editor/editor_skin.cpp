#include "editor/editor_skin.h"

#include <vector>

#include "gui/png.h"

namespace {
const char* const kNames[] = {skin::kBackground, skin::kSave,     skin::kPresets,   skin::kSelectedPreset,
                              skin::kPreview,    skin::kPlay,     skin::kSolo,      skin::kArpeggiator,
                              skin::kMuteKey,    skin::kLed,      skin::kPorthole,  skin::kGrid,
                              skin::kParamsTab,  skin::kSoundsTab, skin::kMenu,
                              skin::kPlanetListSelected, skin::kPlanetListIcon, skin::kSelectedSound,
                              skin::kFullRange, skin::kRandomSelector, skin::kFly};
}  // namespace

void EditorSkin::load() {
    if (loaded_) return;
    loaded_ = true;
    complete_ = true;
    for (const char* name : kNames) {
        gui::Bitmap bitmap;
        if (!gui::loadPngResource(name, bitmap)) complete_ = false;
        bitmaps_.emplace(name, std::move(bitmap));
    }
    std::vector<const char*> pad = {skin::kHalo, skin::kKeyStrip};
    for (int i = 0; i < skin::kSpriteColours; ++i) {
        pad.push_back(skin::kPlanets[i]);
        pad.push_back(skin::kSatellites[i]);
    }
    for (const char* name : pad) {
        gui::Bitmap bitmap;
        if (!gui::loadPngResource(name, bitmap)) complete_ = false;
        bitmaps_.emplace(name, std::move(bitmap));
    }
}

const gui::Bitmap* EditorSkin::get(const std::string& name) const {
    static const gui::Bitmap kEmpty;
    const auto it = bitmaps_.find(name);
    return it == bitmaps_.end() ? &kEmpty : &it->second;
}
