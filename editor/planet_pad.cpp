#include "editor/planet_pad.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/effect.h"
#include "host/program_track_state.h"
#include "project/project.h"
#include "track/instrument.h"

namespace {

constexpr gui::Color kLabelColour = gui::rgb(214, 226, 255);
constexpr gui::Color kNameColour = gui::rgb(255, 232, 176);
constexpr gui::Color kRingColour = gui::argb(200, 255, 244, 200);
constexpr gui::Color kLeftTrace = gui::argb(210, 96, 220, 255);
constexpr gui::Color kRightTrace = gui::argb(190, 255, 128, 208);
constexpr gui::Color kAverageTrace = gui::argb(210, 140, 255, 170);
constexpr gui::Color kStripHint = gui::argb(110, 20, 26, 60);
constexpr gui::Color kStripText = gui::rgb(200, 210, 240);
constexpr unsigned kFaintOpacity = 96;
constexpr int kLabelWidth = 90;

const char* const kPitchNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

CInstrument* trackAt(Project& project, int t) {
    if (t < 0 || static_cast<size_t>(t) >= project.tracks.size()) return nullptr;
    return project.tracks[static_cast<size_t>(t)].get();
}

// "Key D +2" for a transposition, "Key off" for a track that does not follow.
std::string keyText(float transposition) {
    if (transposition == pad::kNotFollowing) return "Key off";
    const pad::KeyChoice key = pad::keyOf(transposition);
    const int semitones = key.pitchClass + 12 * key.octave - 36;
    char text[32];
    std::snprintf(text, sizeof(text), "Key %s %+d", kPitchNames[key.pitchClass], semitones);
    return text;
}

}  // namespace

CKavoPlanetPad::CKavoPlanetPad(EditorModel& model, const EditorSkin& skin)
    : gui::View(kPadRect),
      model_(model),
      grid_(skin.get(skin::kGrid)),
      halo_(skin.get(skin::kHalo)),
      keyStrip_(skin.get(skin::kKeyStrip)),
      labelFont_("Agency FB", 13),
      nameFont_("Agency FB", 15) {
    for (int i = 0; i < skin::kSpriteColours; ++i) {
        planets_[i] = skin.get(skin::kPlanets[i]);
        satellites_[i] = skin.get(skin::kSatellites[i]);
    }
}

void CKavoPlanetPad::setNamesShown(bool shown) {
    if (shown == namesShown_) return;
    namesShown_ = shown;
    invalidate();
}

void CKavoPlanetPad::setSingleTrace(bool single) {
    singleTrace_ = single;
    invalidate();
}

void CKavoPlanetPad::readLayout(Project& project) {
    circular_ = model_.circularPad();
    const int selected = model_.selectedPlanet();
    planetAt_.clear();
    planetHit_.clear();
    satelliteAt_.clear();
    satelliteHit_.clear();
    otherSatellites_.clear();
    int number = 0;
    for (size_t t = 0; t < project.tracks.size(); ++t) {
        CInstrument& track = *project.tracks[t];
        const gui::Point at = pad::pixelOf(pad::planetPlace(track.pan.load(), track.planetLevel.load(), circular_));
        planetAt_.push_back(at);
        planetHit_.push_back(pad::hitRect(at, pad::kPlanetSize));
        SoundBalls& balls = track.balls;
        for (int b = 0; b < balls.count(); ++b) {
            const SoundBall& ball = balls.ball(b);
            if (!ball.hasTargets()) continue;
            Satellite s;
            s.number = number++;
            s.track = static_cast<int>(t);
            s.ball = b;
            s.at = pad::pixelOf(pad::satellitePlace(ball.x.load(), ball.y.load(), !ball.horizontal.empty(),
                                                    !ball.vertical.empty(), circular_));
            if (static_cast<int>(t) == selected) {
                satelliteAt_.push_back(s);
                satelliteHit_.push_back(pad::hitRect(s.at, pad::kSatelliteSize));
            } else {
                otherSatellites_.push_back(s);
            }
        }
    }
}

// ---- drawing ----------------------------------------------------------------

void CKavoPlanetPad::draw(gui::Canvas& canvas) {
    canvas.drawBitmap(*grid_, 395, 45);
    canvas.pushClip(rect());
    if (model_.scopeOn()) drawScope(canvas);
    Effect::ProjectAccess access(model_.effect());
    if (access.admitted()) {
        Project& project = *model_.effect().project();
        readLayout(project);
        const int x0 = rect().left, y0 = rect().top;
        const int selected = model_.selectedPlanet();
        CInstrument* selectedTrack = trackAt(project, selected);
        if (selectedTrack != nullptr && !model_.keyStripOpen()) {
            // Closed, the strip is a faint bar that opens on a click.
            const gui::Rect bar = pad::kKeyStrip.offset(x0, y0);
            canvas.fillRoundRect(bar, 6.0f, kStripHint);
            canvas.drawText(nameFont_, keyText(selectedTrack->keyTransposition.load()), bar, gui::Align::kCenter,
                            kStripText);
        }
        const int colours = skin::kSpriteColours;
        for (size_t t = 0; t < planetAt_.size(); ++t) {
            if (static_cast<int>(t) == selected) continue;
            const gui::Point at = planetAt_[t];
            canvas.drawFrame(*planets_[t % colours], 10, pad::glowFrame(project.tracks[t]->peakMeter()),
                             gui::StripLayout::kHorizontal, x0 + at.x, y0 + at.y);
        }
        if (namesShown_) {
            for (const Satellite& s : otherSatellites_) {
                canvas.drawFrame(*satellites_[s.track % colours], 2, 0, gui::StripLayout::kHorizontal, x0 + s.at.x,
                                 y0 + s.at.y, kFaintOpacity);
            }
            for (size_t t = 0; t < planetAt_.size(); ++t) {
                const gui::Point at = planetAt_[t];
                const int cx = x0 + at.x + pad::kPlanetSize / 2;
                const gui::Rect label{cx - kLabelWidth / 2, y0 + at.y + pad::kPlanetSize, cx + kLabelWidth / 2,
                                      y0 + at.y + pad::kPlanetSize + pad::kLabelHeight};
                canvas.drawText(nameFont_, project.tracks[t]->title, label, gui::Align::kCenter, kNameColour);
            }
        }
        if (selectedTrack != nullptr) {
            const gui::Point at = planetAt_[static_cast<size_t>(selected)];
            const int off = (pad::kHaloSize - pad::kPlanetSize) / 2;
            canvas.drawBitmap(*halo_, x0 + at.x - off, y0 + at.y - off);
            const float cx = static_cast<float>(x0 + at.x) + pad::kPlanetSize / 2.0f;
            const float cy = static_cast<float>(y0 + at.y) + pad::kPlanetSize / 2.0f;
            canvas.drawRing(cx, cy, pad::kHaloSize / 2.0f - 2.0f, 1.5f, kRingColour);
            canvas.drawFrame(*planets_[selected % colours], 10, pad::glowFrame(selectedTrack->peakMeter()),
                             gui::StripLayout::kHorizontal, x0 + at.x, y0 + at.y);
            for (const Satellite& s : satelliteAt_) {
                const bool lit = s.number == model_.selectedSatellite();
                canvas.drawFrame(*satellites_[selected % colours], 2, lit ? 1 : 0, gui::StripLayout::kHorizontal,
                                 x0 + s.at.x, y0 + s.at.y);
                const int cx = x0 + s.at.x + pad::kSatelliteSize / 2;
                const gui::Rect label{cx - kLabelWidth / 2, y0 + s.at.y + pad::kSatelliteSize, cx + kLabelWidth / 2,
                                      y0 + s.at.y + pad::kSatelliteSize + pad::kLabelHeight};
                canvas.drawText(labelFont_, selectedTrack->balls.ball(s.ball).displayName, label, gui::Align::kCenter,
                                kLabelColour);
            }
            if (model_.keyStripOpen()) drawKeyStrip(canvas, project);
        }
    }
    canvas.popClip();
}

void CKavoPlanetPad::drawScope(gui::Canvas& canvas) {
    model_.mirror().scope.readLatest(scopeLeft_.data(), scopeRight_.data(), pad::kScopeReadSamples);
    const int start = pad::scopeTrigger(scopeLeft_.data(), scopeRight_.data());
    const float* left = scopeLeft_.data() + start;
    const float* right = scopeRight_.data() + start;
    // Points sit on pixel centres, so a flat trace is one pixel row.
    const float x0 = static_cast<float>(rect().left) + 0.5f, y0 = static_cast<float>(rect().top) + 0.5f;
    auto stroke = [&](int n, gui::Color colour) {
        for (int i = 0; i < n; ++i) {
            trace_[static_cast<size_t>(2 * i)] += x0;
            trace_[static_cast<size_t>(2 * i + 1)] += y0;
        }
        canvas.drawPolyline(trace_.data(), n, colour, 1.0f);
    };
    if (singleTrace_) {
        stroke(scopeShape_.averageTrace(left, right, trace_.data()), kAverageTrace);
    } else {
        stroke(scopeShape_.trace(left, trace_.data()), kLeftTrace);
        stroke(scopeShape_.trace(right, trace_.data()), kRightTrace);
    }
}

void CKavoPlanetPad::drawKeyStrip(gui::Canvas& canvas, Project& project) {
    CInstrument* track = trackAt(project, model_.selectedPlanet());
    if (track == nullptr) return;
    const int x = rect().left + pad::kKeyStrip.left;
    const int y = rect().top + pad::kKeyStrip.top + pad::kKeyStripDrawnBelow;
    const int rowHeight = keyStrip_->height() / 2;
    canvas.copyBitmap(*keyStrip_, gui::Rect{0, 0, keyStrip_->width(), rowHeight}, x, y);
    const float t = track->keyTransposition.load();
    const pad::KeyChoice key = pad::keyOf(t);
    if (t != pad::kNotFollowing) {
        const int kx = key.pitchClass * pad::kKeyWidth;
        canvas.copyBitmap(*keyStrip_, gui::Rect{kx, rowHeight, kx + pad::kKeyWidth, 2 * rowHeight}, x + kx, y);
    }
    // The choice in words above the strip.
    const gui::Rect words{x, y - pad::kLabelHeight, x + pad::kKeyStrip.width(), y};
    canvas.fillRoundRect(words.inset(60, 1), 5.0f, kStripHint);
    canvas.drawText(nameFont_, keyText(t), words, gui::Align::kCenter, kStripText);
}

// ---- mouse ------------------------------------------------------------------

bool CKavoPlanetPad::pressKeyStrip(Project& project, int x, int y) {
    CInstrument* track = trackAt(project, model_.selectedPlanet());
    if (track == nullptr || !model_.keyStripOpen()) return false;
    if (!pad::kKeyStrip.contains(x, y - pad::kKeyStripDrawnBelow)) return false;
    track->keyTransposition = pad::pressKeyStrip(x - pad::kKeyStrip.left, track->keyTransposition.load());
    model_.markDirty(EditorModel::kDirtyPad | EditorModel::kDirtySelection);
    invalidate();
    return true;
}

bool CKavoPlanetPad::onMouseDown(const gui::MouseEvent& e) {
    if ((e.buttons & platform::kMouseLeft) == 0) return false;
    const gui::Point p{e.x - rect().left, e.y - rect().top};
    hoverAnchored_ = true;
    hoverAnchor_ = p;
    if (e.doubleClick) setNamesShown(!namesShown_);
    Effect::ProjectAccess access(model_.effect());
    if (!access.admitted()) return false;
    Project& project = *model_.effect().project();
    readLayout(project);
    if (pressKeyStrip(project, p.x, p.y)) return false;
    if (model_.keyStripOpen()) {
        model_.setKeyStripOpen(false);
        invalidate();
    }
    bool dragging = false;
    const int satellite = pad::hitFirst(satelliteHit_, p.x, p.y);
    if (satellite >= 0) {
        startSatelliteDrag(project, satellite, p);
        dragging = true;
    } else {
        const int planet = pad::hitPlanet(planetHit_, model_.selectedPlanet(), p.x, p.y);
        if (planet >= 0) {
            startPlanetDrag(project, planet, p);
            dragging = true;
        } else if (model_.selectedPlanet() >= 0 && pad::kKeyStrip.contains(p.x, p.y)) {
            model_.setKeyStripOpen(true);
            invalidate();
        }
    }
    model_.storeSelectedBalls();
    return dragging;
}

void CKavoPlanetPad::startSatelliteDrag(Project& project, int index, const gui::Point& p) {
    const Satellite& s = satelliteAt_[static_cast<size_t>(index)];
    CInstrument* track = trackAt(project, model_.selectedPlanet());
    const SoundBall& ball = track->balls.ball(s.ball);
    draggedSatellite_ = s.number;
    draggedPlanet_ = -1;
    dragStart_ = p;
    satelliteStart_ = pad::SatelliteValues{ball.x.load(), ball.y.load()};
    model_.selectSatellite(s.number);
    if (s.number < kProgramSatellites) {
        const int px = pad::satelliteXParameter(s.number);
        model_.beginGesture(px, px + 1);
    }
    moveSatellite(project, s.number, satelliteStart_);
    invalidate();
}

void CKavoPlanetPad::startPlanetDrag(Project& project, int track, const gui::Point& p) {
    CInstrument* t = trackAt(project, track);
    draggedPlanet_ = track;
    draggedSatellite_ = -1;
    dragStart_ = p;
    planetStart_ = pad::PlanetValues{t->pan.load(), t->planetLevel.load()};
    model_.selectPlanet(track);
    if (track < kProgramTracks) {
        const int pan = pad::planetPanParameter(track);
        model_.beginGesture(pan, pan + 1);
    }
    movePlanet(project, track, planetStart_);
    invalidate();
}

// Host parameters exist for the first 32 satellites and 8 planets; any
// beyond move in the plug-in only.
void CKavoPlanetPad::moveSatellite(Project& project, int number, const pad::SatelliteValues& v) {
    if (number < kProgramSatellites) {
        const int px = pad::satelliteXParameter(number);
        model_.automate(px, pad::hostValueOfAxis(v.x));
        model_.automate(px + 1, pad::hostValueOfAxis(v.y));
        return;
    }
    SatelliteRef ref;
    if (!findSatellite(project, number, ref)) return;
    SoundBall& ball = ref.track->balls.ball(ref.ball);
    ball.x = v.x;
    ball.y = v.y;
    ref.track->balls.notify(ref.ball, false, false);
}

void CKavoPlanetPad::movePlanet(Project& project, int track, const pad::PlanetValues& v) {
    if (track < kProgramTracks) {
        const int pan = pad::planetPanParameter(track);
        model_.automate(pan, pad::hostValueOfPan(v.pan));
        model_.automate(pan + 1, pad::hostValueOfAxis(v.level));
        return;
    }
    CInstrument* t = trackAt(project, track);
    if (t == nullptr) return;
    t->pan = v.pan;
    t->planetLevel = v.level;
}

void CKavoPlanetPad::onMouseMove(const gui::MouseEvent& e) {
    if (draggedPlanet_ < 0 && draggedSatellite_ < 0) return;
    // A program change took the dragged object away (the selection went
    // with it): the gesture ends here rather than move another project's.
    if ((draggedPlanet_ >= 0 && model_.selectedPlanet() != draggedPlanet_) ||
        (draggedSatellite_ >= 0 && model_.selectedSatellite() != draggedSatellite_)) {
        draggedPlanet_ = -1;
        draggedSatellite_ = -1;
        model_.endGesture();
        return;
    }
    const int dx = e.x - rect().left - dragStart_.x;
    const int dy = e.y - rect().top - dragStart_.y;
    Effect::ProjectAccess access(model_.effect());
    if (!access.admitted()) return;
    Project& project = *model_.effect().project();
    if (draggedSatellite_ >= 0)
        moveSatellite(project, draggedSatellite_, pad::dragSatellite(satelliteStart_, dx, dy));
    else if (trackAt(project, draggedPlanet_) != nullptr)
        movePlanet(project, draggedPlanet_, pad::dragPlanet(planetStart_, dx, dy));
    invalidate();
}

void CKavoPlanetPad::onMouseUp(const gui::MouseEvent&) {
    if (draggedPlanet_ < 0 && draggedSatellite_ < 0) return;
    draggedPlanet_ = -1;
    draggedSatellite_ = -1;
    model_.endGesture();
    model_.storeSelectedBalls();
    invalidate();
}

void CKavoPlanetPad::onHover(const gui::MouseEvent& e) {
    const gui::Point p{e.x - rect().left, e.y - rect().top};
    if (!hoverAnchored_) {
        hoverAnchored_ = true;
        hoverAnchor_ = p;
        return;
    }
    if (std::abs(p.x - hoverAnchor_.x) > kHoverSetsNamesPx || std::abs(p.y - hoverAnchor_.y) > kHoverSetsNamesPx)
        setNamesShown(true);
}
