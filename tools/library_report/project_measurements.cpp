#include "tools/library_report/project_measurements.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "host/effect.h"
#include "host/program_track_state.h"
#include "modulehost/cplugin.h"
#include "project/project.h"
#include "tools/audio_measure/envelope.h"
#include "tools/audio_measure/spectrum.h"
#include "track/instrument.h"

namespace library {

namespace {

size_t framesOf(double seconds) { return static_cast<size_t>(seconds * kRenderRateHz); }

bool playsKeysDirectly(Effect& effect, CInstrument& t) {
    if (!t.mainSlot().loaded() || t.keyboardOn.load() == 0.0f || t.keyboardGated.load() != 0.0f) return false;
    const bool arpeggiated = effect.arpeggiatorSwitch.load() != 0.0f && t.arpeggiator[0].load() != 0.0f;
    return !arpeggiated;
}

// A track that arpeggiates a key of channel 1 while it is held: a key in
// its range on its channel feeds its arpeggio.
bool arpeggiatesKey(Effect& effect, CInstrument& t, int channelCode, int key) {
    if (!t.mainSlot().loaded() || t.keyboardOn.load() == 0.0f || t.keyboardGated.load() != 0.0f) return false;
    if (t.midiChannel != 1 && t.midiChannel != channelCode) return false;
    if (key < t.lowestKey || key >= t.keyLimit) return false;
    return effect.arpeggiatorSwitch.load() != 0.0f && t.arpeggiator[0].load() != 0.0f;
}

bool someTrackArpeggiates(LibraryPlayer& player, int key) {
    for (auto& t : player.project().tracks)
        if (arpeggiatesKey(player.effect(), *t, 2, key)) return true;
    return false;
}

bool takesKey(Effect& effect, CInstrument& t, int channelCode, int key) {
    if (!playsKeysDirectly(effect, t)) return false;
    if (t.midiChannel != 1 && t.midiChannel != channelCode) return false;
    return key >= t.lowestKey && key < t.keyLimit;
}

double spread(const std::vector<double>& v) {
    if (v.size() < 2) return 0.0;
    double mean = 0.0;
    for (double x : v) mean += x;
    mean /= static_cast<double>(v.size());
    double sum = 0.0;
    for (double x : v) sum += (x - mean) * (x - mean);
    return std::sqrt(sum / static_cast<double>(v.size()));
}

// Seconds from `from` until the signal stays silent; -1 when it never does.
double secondsToSilence(const measure::StereoSignal& s, size_t from) {
    const std::vector<double> env = measure::envelopeDb(s, 0.01);
    const size_t silent = measure::silentFrom(env, kSilenceDb);
    if (silent >= env.size()) return -1.0;
    const double at = static_cast<double>(silent) * 0.01 - static_cast<double>(from) / kRenderRateHz;
    return std::max(0.0, at);
}

// Per-second centroids of the demonstration, over its sounding seconds.
double centroidSpreadOf(const measure::StereoSignal& s) {
    const std::vector<float> mono = s.mono();
    double lo = 1e9, hi = 0.0;
    const size_t second = framesOf(1.0);
    for (size_t first = 0; first + second <= mono.size(); first += second) {
        if (measure::rmsDb(s, first, second) < -45.0) continue;
        std::vector<float> piece(mono.begin() + static_cast<std::ptrdiff_t>(first),
                                 mono.begin() + static_cast<std::ptrdiff_t>(first + second));
        const double c = measure::spectralCentroidHz(piece, s.rateHz);
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
    return hi > 0.0 && lo < 1e9 ? hi / lo : 1.0;
}

void measureDemonstration(LibraryPlayer& player, ProjectFigures& f, const MeasureOptions& options) {
    player.load(f.index);
    const size_t demoFrames = player.demonstrationFrames();
    f.demoSeconds = static_cast<double>(demoFrames) / kRenderRateHz;
    measure::StereoSignal demo = player.renderDemonstration(options.demoTailSeconds);
    f.loudness = measure::measureLoudness(demo);
    f.clicks = measure::findClicks(demo);
    f.worstStepRatio = measure::worstStepRatio(demo);
    f.lowEnd = measure::measureLowEnd(demo);
    const std::vector<double> power = measure::averagePowerSpectrum(demo.mono());
    f.centroidHz = measure::spectralCentroidHz(power, demo.rateHz);
    f.peakHz = measure::spectralPeakHz(power, demo.rateHz);
    f.subShare = measure::bandEnergyShare(power, demo.rateHz, 0.0, 30.0);
    f.centroidSpread = centroidSpreadOf(demo);
    f.fingerprint = measure::fingerprint(demo);
    if (options.keepDemo) f.demo = std::move(demo);
}

void describe(LibraryPlayer& player, ProjectFigures& f) {
    Project& p = player.project();
    f.tempoBpm = player.effect().projectTempo.load();
    for (auto& t : p.tracks) {
        TrackSummary s;
        s.title = t->title;
        s.module = t->mainSlot().loaded() ? t->mainSlot().effectName() : "";
        for (int i = 0; i < 2; ++i)
            if (t->insertSlot(i).loaded()) s.inserts.push_back(t->insertSlot(i).effectName());
        f.tracks.push_back(std::move(s));
    }
    SatelliteRef ref;
    for (int s = 0; s < kProgramSatellites && findSatellite(p, s, ref); ++s)
        f.satellites.push_back(satelliteDisplayName(ref));
}

void measureLive(LibraryPlayer& player, ProjectFigures& f) {
    player.load(f.index);
    f.takenKeys = keysTakenOnChannelOne(player);
    if (f.takenKeys.empty()) return;
    bool arpeggiated = false;
    for (int key : f.takenKeys) arpeggiated = arpeggiated || someTrackArpeggiates(player, key);
    // Every key alone: held 0.4 s, then ended with the controller, so that
    // the next key starts from the quietest moment. An arpeggio layered
    // over the keys leaves notes that ring on after the controller stops
    // it, at other pitches than the key: the next key waits until they
    // have died down (1.5 s, the longest release of such a layer).
    constexpr double kHeld = 0.4, kBefore = 0.3;
    const double kGap = arpeggiated ? 1.5 : 0.3;
    measure::StereoSignal s;
    player.render(kBefore, s);
    // Keys in steps of about 18 semitones (wrapping round the keys taken),
    // so that no partial of one key lies on a partial of the next: its
    // tail cannot pass for it. The step shares no factor with the count,
    // so every key comes once.
    const int count = static_cast<int>(f.takenKeys.size());
    int step = 1;
    for (int candidate : {18, 17, 19, 16, 20, 15, 21, 13, 23}) {
        if (std::gcd(candidate, count) == 1) {
            step = candidate;
            break;
        }
    }
    std::vector<int> order;
    for (int i = 0; i < count; ++i) order.push_back(f.takenKeys[static_cast<size_t>((i * step) % count)]);
    for (int key : order) {
        const size_t start = s.frames();
        player.midi(0x90, static_cast<uint8_t>(key), 100);
        player.render(kHeld, s);
        player.midi(0x80, static_cast<uint8_t>(key), 0);
        player.midi(0xB0, 123, 0);
        player.render(kGap, s);
        LiveNote n;
        n.key = key;
        // The key is judged from 0.1 s on (a slow attack has begun), against
        // as long a stretch before it.
        const size_t held = start + framesOf(0.1), before = start - framesOf(kBefore), count = framesOf(kHeld - 0.1);
        n.levelDb = measure::rmsDb(s, start + framesOf(0.02), framesOf(kHeld - 0.02));
        n.riseDb = measure::rmsDb(s, held, count) - measure::rmsDb(s, before, count);
        // The key's own pitch rises out of what the key before left, even
        // under a slow attack and a long release.
        const std::vector<float> mono = s.mono();
        const double hz = 440.0 * std::pow(2.0, (key - 69) / 12.0);
        double now = 0.0, then = 0.0;
        for (double partial : {1.0, 2.0, 3.0}) {
            now += std::pow(10.0, measure::toneLevelDb(mono, held, count, hz * partial, s.rateHz) / 10.0);
            then += std::pow(10.0, measure::toneLevelDb(mono, before, count, hz * partial, s.rateHz) / 10.0);
        }
        n.toneRiseDb = 10.0 * std::log10((now + 1e-20) / (then + 1e-20));
        f.notes.push_back(n);
    }

    // A held note at velocity 100: the key nearest to middle C; its level,
    // then its ending by note-off and by All Notes Off.
    f.heldKey = *std::min_element(f.takenKeys.begin(), f.takenKeys.end(),
                                  [](int a, int b) { return std::abs(a - 60) < std::abs(b - 60); });
    f.arpeggiatedLayer = someTrackArpeggiates(player, f.heldKey);
    constexpr double kHold = 1.5;
    for (int ending = 0; ending < 2; ++ending) {
        player.load(f.index);
        player.midi(0x90, static_cast<uint8_t>(f.heldKey), 100);
        measure::StereoSignal held = player.render(kHold);
        if (ending == 0) {
            f.heldNoteLufs = measure::measureLoudness(held).integratedLufs;
            player.midi(0x80, static_cast<uint8_t>(f.heldKey), 0);
        } else {
            player.midi(0xB0, 123, 0);
        }
        const size_t endAt = held.frames();
        player.render(kEndingLimitSeconds, held);
        if (ending == 0) {
            // A held key is one sustained note, judged by its last 0.3 s;
            // with an arpeggio layered over it, it is a run of notes whose
            // level goes up and down from note to note, judged by its
            // loudest 50 ms from 0.3 s on: a release may ring on after the
            // key is let go, but never louder than the notes were.
            double heldDb = measure::rmsDb(held, endAt - framesOf(0.3), framesOf(0.3));
            if (f.arpeggiatedLayer) {
                heldDb = -240.0;
                for (size_t at = framesOf(0.3); at + framesOf(0.05) <= endAt; at += framesOf(0.05))
                    heldDb = std::max(heldDb, measure::rmsDb(held, at, framesOf(0.05)));
            }
            double loudest = -240.0;
            for (size_t at = endAt + framesOf(0.05); at + framesOf(0.05) <= held.frames(); at += framesOf(0.05))
                loudest = std::max(loudest, measure::rmsDb(held, at, framesOf(0.05)));
            f.releaseSwellDb = loudest - heldDb;
        }
        (ending == 0 ? f.releaseSeconds : f.allNotesOffSeconds) = secondsToSilence(held, endAt);
    }
}

// One axis at 0 and at 127: held notes on its track, or the
// demonstration's opening when the track plays only patterns.
void measureAxis(LibraryPlayer& player, ProjectFigures& f, int satellite, bool vertical) {
    SatelliteRef ref;
    if (!findSatellite(player.project(), satellite, ref)) return;
    const SoundBall& ball = ref.track->balls.ball(ref.ball);
    if ((vertical ? ball.vertical : ball.horizontal).empty()) return;
    AxisTravel a;
    a.satellite = satellite;
    a.vertical = vertical;
    a.name = satelliteDisplayName(ref);
    // Every load below builds the tracks anew: the satellite's track is
    // known by its place in the project, never by the object found here,
    // whose memory the next load frees (and may give to another track).
    const auto& tracks = player.project().tracks;
    const size_t trackIndex = static_cast<size_t>(
        std::find_if(tracks.begin(), tracks.end(), [&](const auto& t) { return t.get() == ref.track; }) - tracks.begin());
    if (trackIndex >= tracks.size()) return;
    CInstrument& before = *ref.track;
    const int channelCode = before.midiChannel == 1 ? 2 : before.midiChannel;
    const int key = std::clamp(60, before.lowestKey, std::max(before.lowestKey, before.keyLimit - 1));
    a.byDemonstration = !takesKey(player.effect(), before, channelCode, key);
    const uint8_t noteOn = static_cast<uint8_t>(0x90 | (channelCode - 2));
    const int parameter = 2 * satellite + (vertical ? 1 : 0);

    struct End {
        double level, tail, centroid, levelMotion, brightnessMotion, width;
    } ends[2]{};
    for (int end = 0; end < 2; ++end) {
        player.load(f.index);
        const CInstrument* track = player.project().tracks[trackIndex].get();
        player.setParameter(parameter, end == 0 ? 0.0f : 1.0f);
        player.render(0.05);  // the ball's move reaches its targets
        measure::StereoSignal s;
        double skip = 0.3, heldSeconds = 3.0;
        if (a.byDemonstration) {
            player.startDemonstration();
            player.render(heldSeconds, s);
            player.stopDemonstration();
        } else {
            // A chord on the track's own key: a fifth and an octave make
            // a filter's or a tone control's move audible on any sound.
            // Another track that arpeggiates the keys held would play its
            // own run of notes over the chord, different at each end of
            // the travel: it is muted (its satellites are measured on it).
            for (auto& other : player.project().tracks)
                for (int k : {key, key + 7, key + 12})
                    if (other.get() != track && arpeggiatesKey(player.effect(), *other, channelCode, k))
                        other->mute = 1.0f;
            heldSeconds = 1.0;
            skip = 0.15;
            for (int k : {key, key + 7, key + 12})
                if (k < 128) player.midi(noteOn, static_cast<uint8_t>(k), 100);
            player.render(heldSeconds, s);
            for (int k : {key, key + 7, key + 12})
                if (k < 128) player.midi(static_cast<uint8_t>(noteOn - 0x10), static_cast<uint8_t>(k), 0);
        }
        player.render(1.0, s);
        const size_t first = framesOf(skip), held = framesOf(heldSeconds) - first;
        End& e = ends[end];
        e.level = measure::rmsDb(s, first, held);
        e.tail = measure::rmsDb(s, framesOf(heldSeconds + 0.05), framesOf(0.95));
        const measure::StereoSignal window = s.slice(first, held);
        const std::vector<float> mono = window.mono();
        e.centroid = measure::spectralCentroidHz(mono, s.rateHz);
        double mid = 0.0, side = 0.0;
        for (size_t i = 0; i < window.frames(); ++i) {
            const double m = 0.5 * (window.left[i] + window.right[i]), d = 0.5 * (window.left[i] - window.right[i]);
            mid += m * m;
            side += d * d;
        }
        e.width = 10.0 * std::log10((side + 1e-12) / (mid + 1e-12));
        // Motion: the spread of level and brightness over 50 ms frames.
        std::vector<double> levels, octaves;
        const size_t frame = framesOf(0.05);
        for (size_t at = 0; at + frame <= mono.size(); at += frame) {
            const double dbLevel = measure::rmsDb(window, at, frame);
            if (dbLevel < -60.0) continue;
            levels.push_back(dbLevel);
            std::vector<float> piece(mono.begin() + static_cast<std::ptrdiff_t>(at),
                                     mono.begin() + static_cast<std::ptrdiff_t>(at + frame));
            octaves.push_back(std::log2(std::max(1.0, measure::spectralCentroidHz(piece, s.rateHz))));
        }
        e.levelMotion = spread(levels);
        e.brightnessMotion = spread(octaves);
    }
    a.levelChangeDb = ends[1].level - ends[0].level;
    a.tailChangeDb = ends[1].tail - ends[0].tail;
    a.centroidRatio = ends[0].centroid > 0.0 ? ends[1].centroid / ends[0].centroid : 1.0;
    a.levelMotionChangeDb = ends[1].levelMotion - ends[0].levelMotion;
    a.brightnessMotionChange = ends[1].brightnessMotion - ends[0].brightnessMotion;
    a.widthChangeDb = ends[1].width - ends[0].width;
    f.axes.push_back(a);
}

}  // namespace

std::vector<int> keysTakenOnChannelOne(LibraryPlayer& player) {
    std::vector<int> keys;
    for (int key = kLowestLiveNote; key <= kHighestLiveNote; ++key)
        for (auto& t : player.project().tracks)
            if (takesKey(player.effect(), *t, 2, key)) {
                keys.push_back(key);
                break;
            }
    return keys;
}

ProjectFigures measureProject(LibraryPlayer& player, int index, const MeasureOptions& options) {
    ProjectFigures f;
    f.index = index;
    f.tab = index / kProjectsPerTab + 1;
    f.name = player.projectNames()[static_cast<size_t>(index)];
    player.load(index);
    describe(player, f);
    measureDemonstration(player, f, options);
    if (options.live) measureLive(player, f);
    if (options.satellites)
        for (int s = 0; s < static_cast<int>(f.satellites.size()); ++s)
            for (bool vertical : {false, true}) measureAxis(player, f, s, vertical);
    return f;
}

}  // namespace library
