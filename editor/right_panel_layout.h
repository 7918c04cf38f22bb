// Geometry and arithmetic of the right-hand panel, without pixels: where
// its parts lie, which list row or random cell a click hits, how a fader
// follows a drag or the mouse wheel. Editor coordinates unless stated.
#pragma once

#include "gui/geometry.h"

namespace right_panel {

// The glass panel of the background and its header line (the background
// writes "SATELLITE" at its left; the right part leads to the planet list).
constexpr gui::Rect kPanel{835, 100, 979, 404};
constexpr gui::Rect kHeader{835, 100, 979, 128};
constexpr int kHeaderPlanetsLeft = 907;  // x from here: the planet list

// The two tabs, 66 pixels each.
constexpr gui::Rect kTabs{841, 128, 973, 149};
constexpr int kTabWidth = 66;

// The lists (planets, sounds) and the pages below the tabs.
constexpr gui::Rect kList{841, 128, 973, 367};
constexpr gui::Rect kPage{841, 149, 973, 367};
constexpr int kListFirstRow = 21;  // below the list's top edge
constexpr int kRowPixels = 27;
constexpr int kVisibleRows = 8;
// The sound list's rows (the width of the row highlight bitmap).
constexpr int kSoundRowLeft = 855;
constexpr int kSoundRowWidth = 104;

// The satellite controls.
constexpr gui::Point kFullRangeAt{861, 150};
constexpr gui::Point kRandomAt{861, 188};
constexpr gui::Point kFlyAt{861, 284};
constexpr gui::Rect kSpeedFader{910, 308, 955, 332};
constexpr gui::Rect kDirectionFader{910, 335, 955, 359};
constexpr int kRandomCells = 6;
constexpr int kRandomRowPixels = 27;

enum class Page { kPlanets, kSatellite, kParams, kSounds };

// A click in the header or on the tabs: the page it opens, or false.
bool pageAt(int x, int y, Page& page);

// The list row under y, relative to the list's top edge; -1 above the first
// row or below the last visible one.
int listRow(int y);

// The random selector: cell under (x, y) relative to the control, for a
// control `width` pixels wide, limited to 0..5.
int randomCell(int x, int y, int width);
// The random rate after a click on a cell: the cell's rate, off again when
// it is the current one; the first cell ("RND") switches random on at the
// fastest rate when it is off, and off otherwise.
float randomRateAfterClick(float rate, int cell);
// Cells shown lit for a random rate: bit c for cell c. The first cell is
// lit while random mode is on at all.
unsigned litRandomCells(float rate);

// A fader's value during a vertical drag: up raises it, one twentieth of
// the range per control height; fine moves ten times slower. Limited to
// the range.
float faderAfterDrag(float valueAtPress, int dyPixels, int heightPixels, float minimum, float maximum, bool fine);
// A fader's value after `steps` notches of the mouse wheel (positive up):
// 2 % of the range a notch, 0.2 % with fine.
float faderAfterWheel(float value, float steps, float minimum, float maximum, bool fine);

// Texts of the two faders: fly speed in percent, fly direction in degrees
// from horizontal (0 horizontal, 45 diagonal, 90 vertical).
int speedPercent(float speed);
int directionDegrees(float direction);

}  // namespace right_panel
