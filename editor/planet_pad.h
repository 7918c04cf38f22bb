// The planet pad: every track of the project as a planet (across: pan, up:
// level, glowing with its level meter), the selected planet's satellites
// with their names, all draggable; behind them the oscilloscope of the
// plug-in's output, and in front the key strip of the selected planet's
// transposition.
//
// Every move goes to the plug-in as the host would send it (setParameter),
// and to the host as automation bracketed by begin and end edit, so hosts
// record a drag as one gesture. The pad keeps no pointer into the project:
// each draw and each press reads the tracks afresh while admitted, so a
// program change on another thread never leaves it holding freed tracks.
//
// Its own flag, "names": a double click toggles it, and moving the pointer
// more than 8 pixels over the pad without a drag sets it. With it on, every
// planet carries its track's name and the other planets' satellites show
// faintly at their places, so one sees the whole project's controls at a
// glance; double click again for the bare pad.
#pragma once

#include <array>
#include <vector>

#include "editor/editor_model.h"
#include "editor/editor_skin.h"
#include "editor/pad_mapping.h"
#include "gui/font.h"
#include "gui/view.h"

struct Project;

// Pad rectangle in the editor: 374,26 to 771,423.
constexpr gui::Rect kPadRect{374, 26, 771, 423};

class CKavoPlanetPad : public gui::View {
public:
    CKavoPlanetPad(EditorModel& model, const EditorSkin& skin);

    void draw(gui::Canvas& canvas) override;
    bool onMouseDown(const gui::MouseEvent& e) override;
    void onMouseMove(const gui::MouseEvent& e) override;
    void onMouseUp(const gui::MouseEvent& e) override;
    void onHover(const gui::MouseEvent& e) override;

    // After a program change, or anything else the pad shows.
    void refresh() { invalidate(); }

    bool namesShown() const { return namesShown_; }
    void setNamesShown(bool shown);
    // One trace of the average of both channels instead of two traces.
    bool singleTrace() const { return singleTrace_; }
    void setSingleTrace(bool single);
    int draggedPlanet() const { return draggedPlanet_; }
    int draggedSatellite() const { return draggedSatellite_; }

    // Hover moves of more than this (either axis) set the names flag.
    static constexpr int kHoverSetsNamesPx = 8;

private:
    struct Satellite {
        int number = -1;  // across the project
        int track = -1;
        int ball = -1;    // in its track
        gui::Point at;
    };
    // Where everything is this moment, read while admitted.
    void readLayout(Project& project);
    void drawScope(gui::Canvas& canvas);
    void drawKeyStrip(gui::Canvas& canvas, Project& project);
    bool pressKeyStrip(Project& project, int x, int y);
    void startSatelliteDrag(Project& project, int index, const gui::Point& p);
    void startPlanetDrag(Project& project, int track, const gui::Point& p);
    void moveSatellite(Project& project, int number, const pad::SatelliteValues& v);
    void movePlanet(Project& project, int track, const pad::PlanetValues& v);

    EditorModel& model_;
    const gui::Bitmap* grid_;
    const gui::Bitmap* halo_;
    const gui::Bitmap* keyStrip_;
    const gui::Bitmap* planets_[skin::kSpriteColours];
    const gui::Bitmap* satellites_[skin::kSpriteColours];
    gui::Font labelFont_;
    gui::Font nameFont_;

    // Layout of the last read (pad coordinates).
    bool circular_ = true;
    std::vector<gui::Point> planetAt_;
    std::vector<gui::Rect> planetHit_;
    std::vector<Satellite> satelliteAt_;  // the selected planet's
    std::vector<gui::Rect> satelliteHit_;
    std::vector<Satellite> otherSatellites_;  // the rest, for the names flag

    // Drag state.
    int draggedPlanet_ = -1;
    int draggedSatellite_ = -1;  // number across the project
    gui::Point dragStart_;
    pad::PlanetValues planetStart_;
    pad::SatelliteValues satelliteStart_;

    bool namesShown_ = false;
    bool hoverAnchored_ = false;
    gui::Point hoverAnchor_;
    bool singleTrace_ = false;

    pad::ScopeShape scopeShape_;
    std::array<float, pad::kScopeReadSamples> scopeLeft_{};
    std::array<float, pad::kScopeReadSamples> scopeRight_{};
    std::array<float, 2 * pad::kMaxTracePoints> trace_{};
};
