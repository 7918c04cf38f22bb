// The right-hand panel as state and actions, without pixels: which page it
// shows, the planet list, the controls of the satellite selected on the pad,
// the targets that satellite drives with their live values, and the sounds
// of the selected planet's module. Reads the project only through the
// plug-in's non-blocking admission; a refused read shows nothing new.
//
// Threads: the editor's thread only.
#pragma once

#include <string>
#include <vector>

#include "editor/parameter_text.h"
#include "editor/right_panel_layout.h"

class CInstrument;
class EditorModel;
struct ParameterDescriptor;
struct SoundBall;

struct PlanetRow {
    std::string name;
    std::string module;
};

// The satellite selected on the pad, as its controls show it.
struct SatelliteControls {
    bool present = false;
    std::string planet;
    std::string name;
    bool fullRange = false;
    bool fly = false;
    float randomRate = 0.0f;
    float flySpeed = 0.0f;
    float flyDirection = 0.0f;
    friend bool operator==(const SatelliteControls&, const SatelliteControls&) = default;
};

// The selected planet and what its satellites drive.
struct ParamsSheet {
    struct Target {
        bool vertical = false;
        std::string name;
        std::string value;  // the module's own display text and unit
        friend bool operator==(const Target&, const Target&) = default;
    };
    bool planet = false;
    std::string planetName;
    std::string moduleName;
    std::vector<std::string> satellites;  // display names, in satellite order
    int selected = -1;                    // index into satellites
    std::vector<Target> targets;          // of the selected satellite
    friend bool operator==(const ParamsSheet&, const ParamsSheet&) = default;
};

// One entry of the sound list: a program of the module. Programs without a
// name (written "-") are the module's initial records, alike: the list shows
// the first of them, as "Init", and the one that plays if it is another.
struct SoundEntry {
    int program = -1;
    std::string name;
    bool init = false;
    friend bool operator==(const SoundEntry&, const SoundEntry&) = default;
};

class RightPanelModel {
public:
    explicit RightPanelModel(EditorModel& editor);

    right_panel::Page page() const { return page_; }
    void showPage(right_panel::Page page);
    // After the pad's selection changed: a newly selected satellite brings
    // its controls forward when the planet list is showing.
    void selectionChanged();

    // ---- planet list ----------------------------------------------------
    // Up to eight planets, in track order.
    std::vector<PlanetRow> planets();
    // A click on row i: deselects the selected planet, or selects another
    // one and closes the pad's key strip. True when the selection changed.
    bool clickPlanetRow(int row);

    // ---- satellite controls ---------------------------------------------
    SatelliteControls satellite();
    void toggleFullRange();
    void toggleFly();
    void clickRandomCell(int cell);
    void setFlySpeed(float speed);
    void setFlyDirection(float direction);

    // ---- params ---------------------------------------------------------
    // The values are what the selected satellite sends its targets now,
    // written by the targets' module classes.
    ParamsSheet params();

    // ---- sounds ---------------------------------------------------------
    // The programs of the selected planet's main module, in program order
    // (empty without a selected planet or module).
    const std::vector<SoundEntry>& sounds();
    // The program the module plays now, -1 when unknown.
    int currentSound();
    // Asks for the program of list entry i on the selected planet's main
    // module; it plays from the next block on.
    bool chooseSound(int entry);
    int soundScroll() const { return soundScroll_; }
    void scrollSounds(int rows);

private:
    // Writes one field of the selected satellite's ball, then stores the
    // planet's satellites in the current program.
    template <class Write>
    void writeBall(Write write);

    ParamsSheet::Target describeTarget(CInstrument& track, const SoundBall& ball, const ParameterDescriptor& d,
                                       bool vertical, float position);

    EditorModel& editor_;
    ParameterText texts_;
    right_panel::Page page_ = right_panel::Page::kPlanets;
    int shownSatellite_ = -1;
    // The sound names, read once per project load and planet.
    std::vector<SoundEntry> sounds_;
    int soundsTrack_ = -1;
    int soundsCurrent_ = -1;
    int soundsLoad_ = -1;
    int soundScroll_ = 0;
};
