// Every built-in project measured as a listener would hear it: its
// demonstration through the whole plug-in at 44.1 kHz, live notes on
// MIDI channel 1, and each satellite moved across its travel. The figures
// go to the report file next to this test in the build tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "tests/library/library_figures.h"

namespace {

using library::ProjectFigures;
using library_test::figures;
using library_test::note;

std::string fmt(const char* f, double a, double b = 0.0) {
    char text[160];
    std::snprintf(text, sizeof text, f, a, b);
    return text;
}

// Projects that fall short of a target today, each named with its
// criterion. The tests hold every other project (and every new one) to the
// targets; these are written to the report under "Short of target" until
// they are mended, and a mended one is reported there as ready to leave
// its list.
bool knownShort(const std::set<std::string>& list, const std::string& what, bool meets, const std::string& criterion,
                const std::string& figures) {
    if (list.count(what) == 0) return false;
    note("Short of target, listed in the test (" + criterion + ")",
         what + ": " + figures + (meets ? "  -- now meets the target: take it off the list" : ""));
    return true;
}

const std::set<std::string> kDcShort = {};
const std::set<std::string> kLowEndShort = {};
const std::set<std::string> kAlikeShort = {};
const std::set<std::string> kTravelShort = {};
const std::set<std::string> kLiveKeyShort = {};
const std::set<std::string> kHeldNoteShort = {};

// Loudness of the demonstrations: one house level for the whole library,
// the level streaming services play at (-16 LUFS for stereo music), with
// 1.5 LU either side: a difference of about 1 LU is the least a listener
// notices when switching between projects.
constexpr double kHouseLufs = -16.0;
constexpr double kLoudnessToleranceLu = 1.5;
// True peak at most -1 dBTP, so that a lossy encoding or a converter's
// reconstruction does not clip.
constexpr double kTruePeakLimitDbtp = -1.0;
// DC below 0.001 of full scale (-60 dBFS): nothing a speaker or a
// following compressor would react to.
constexpr double kDcLimit = 0.001;

TEST(LibraryDemonstrations, LoudnessAtTheHouseLevel) {
    for (const ProjectFigures& f : figures()) {
        EXPECT_NEAR(f.loudness.integratedLufs, kHouseLufs, kLoudnessToleranceLu) << f.name;
    }
}

TEST(LibraryDemonstrations, TruePeakAndDcWithinLimits) {
    for (const ProjectFigures& f : figures()) {
        EXPECT_LE(f.loudness.truePeakDbtp, kTruePeakLimitDbtp) << f.name;
        const double dc = std::max(std::fabs(f.loudness.dcLeft), std::fabs(f.loudness.dcRight));
        if (knownShort(kDcShort, f.name, dc < kDcLimit, "DC below 0.001", fmt("DC %.4f", dc))) continue;
        EXPECT_LT(dc, kDcLimit) << f.name;
    }
}

TEST(LibraryDemonstrations, NoClicks) {
    for (const ProjectFigures& f : figures()) {
        for (const auto& c : f.clicks)
            note("Clicks", f.name + fmt(" at %.3f s", static_cast<double>(c.frame) / 44100.0) +
                               fmt(", step %.3f, %.1f times its context", c.step, c.ratio));
        EXPECT_TRUE(f.clicks.empty()) << f.name << ": " << f.clicks.size() << " clicks, first at frame "
                                      << (f.clicks.empty() ? 0 : f.clicks[0].frame);
    }
}

// Below 150 Hz left and right stay alike, so that a mono fold-down (a
// club system, a phone) keeps the bass: correlation at least 0.5 and a
// fold-down loss of at most 1.5 dB. A project with no low end to speak of
// (band below -50 dBFS) has nothing to lose.
constexpr double kLowCorrelationMin = 0.5;
constexpr double kFoldDownLossMaxDb = 1.5;
constexpr double kLowBandAudibleDb = -50.0;

TEST(LibraryDemonstrations, LowEndIsMonoCompatible) {
    for (const ProjectFigures& f : figures()) {
        if (f.lowEnd.levelDb < kLowBandAudibleDb) continue;
        const bool meets = f.lowEnd.correlation >= kLowCorrelationMin && f.lowEnd.foldDownLossDb <= kFoldDownLossMaxDb;
        if (knownShort(kLowEndShort, f.name, meets, "low end mono-compatible",
                       fmt("correlation %.2f, fold-down loss %.1f dB", f.lowEnd.correlation, f.lowEnd.foldDownLossDb)))
            continue;
        EXPECT_GE(f.lowEnd.correlation, kLowCorrelationMin) << f.name;
        EXPECT_LE(f.lowEnd.foldDownLossDb, kFoldDownLossMaxDb) << f.name;
    }
}

// A bass is heard on ordinary speakers, which give little below 60 Hz: at
// most a fifth of a demonstration's energy lies below 30 Hz (a bass with
// twice that spent its level where nobody hears it).
constexpr double kSubShareMax = 0.2;

TEST(LibraryDemonstrations, LittleEnergyBelowThirtyHertz) {
    for (const ProjectFigures& f : figures()) EXPECT_LE(f.subShare, kSubShareMax) << f.name << ", peak at " << f.peakHz << " Hz";
}

// Near-duplicates: the distance adds the RMS difference of the
// third-octave spectra (dB) and 10 dB per unit of missing rhythm
// correlation. Two projects built on one kit and beat with different
// melodic parts on top (a groove and an arpeggio over it) measured 8.3
// (spectra 4.0 dB apart, rhythm correlated 0.57) and were heard as the
// same groove; the next closest pair, two synth keyboard projects heard as
// different sounds, measured 10.0. The threshold lies between.
constexpr double kDistanceMin = 9.0;

TEST(LibraryAsAWhole, NoTwoProjectsAlike) {
    const auto& all = figures();
    struct Pair {
        size_t a, b;
        measure::Likeness l;
    };
    std::vector<Pair> pairs;
    for (size_t a = 0; a < all.size(); ++a)
        for (size_t b = a + 1; b < all.size(); ++b)
            pairs.push_back({a, b, measure::compare(all[a].fingerprint, all[b].fingerprint)});
    std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) { return x.l.distance < y.l.distance; });
    for (size_t i = 0; i < std::min<size_t>(10, pairs.size()); ++i) {
        const Pair& p = pairs[i];
        note("Closest pairs (distance = spectral dB + 10 x (1 - rhythm correlation))",
             all[p.a].name + " / " + all[p.b].name + fmt(": %.1f (spectra %.1f dB", p.l.distance, p.l.spectralDb) +
                 fmt(", rhythm %.2f)", p.l.rhythmCorrelation));
    }
    for (const Pair& p : pairs) {
        const std::string pair = all[p.a].name + " / " + all[p.b].name;
        if (knownShort(kAlikeShort, pair, p.l.distance >= kDistanceMin, "no two projects alike",
                       fmt("distance %.1f", p.l.distance)))
            continue;
        EXPECT_GE(p.l.distance, kDistanceMin) << pair;
    }
}

// A satellite's travel is useful when moving it end to end changes the
// sound clearly, in any of these ways:
// - the level while notes sound by 2 dB (two to four times the smallest
//   level change heard on music);
// - the level of the second after the notes end by 3 dB (a release, an
//   echo or a reverb tail; tails are judged less finely than the notes);
// - the spectral centroid by 15 % (a brightness change well past the few
//   per cent a listener can just tell apart);
// - the spread of the 50 ms level by 1 dB (a tremolo or swell appearing or
//   going) or of the 50 ms centroid by 0.1 octave (a sweep or a wobble);
// - the stereo width (side over mid energy) by 3 dB (a spread, a chorus
//   or a ping-pong echo; width changes are heard less finely than level).
constexpr double kTravelLevelDb = 2.0;
constexpr double kTravelTailDb = 3.0;
constexpr double kTravelCentroidRatio = 1.15;
constexpr double kTravelLevelMotionDb = 1.0;
constexpr double kTravelBrightnessMotionOctaves = 0.1;
constexpr double kTravelWidthDb = 3.0;

bool travelHeard(const library::AxisTravel& a) {
    const double ratio = std::max(a.centroidRatio, 1.0 / std::max(a.centroidRatio, 1e-9));
    return std::fabs(a.levelChangeDb) >= kTravelLevelDb || std::fabs(a.tailChangeDb) >= kTravelTailDb ||
           ratio >= kTravelCentroidRatio || std::fabs(a.levelMotionChangeDb) >= kTravelLevelMotionDb ||
           std::fabs(a.brightnessMotionChange) >= kTravelBrightnessMotionOctaves ||
           std::fabs(a.widthChangeDb) >= kTravelWidthDb;
}

TEST(LibrarySatellites, EveryAxisChangesTheSound) {
    int axes = 0;
    for (const ProjectFigures& f : figures()) {
        for (const auto& a : f.axes) {
            ++axes;
            const std::string axis = f.name + " #" + std::to_string(a.satellite) + (a.vertical ? " Y" : " X");
            if (knownShort(kTravelShort, axis, travelHeard(a), "every satellite axis changes the sound",
                           a.name + fmt(": %+.1f dB, tail %+.1f dB", a.levelChangeDb, a.tailChangeDb) +
                               fmt(", centroid x%.2f, motion %+.1f dB", a.centroidRatio, a.levelMotionChangeDb) +
                               fmt(" %+.2f oct, width %+.1f dB", a.brightnessMotionChange, a.widthChangeDb)))
                continue;
            EXPECT_TRUE(travelHeard(a)) << f.name << " satellite " << a.satellite << (a.vertical ? " Y " : " X ")
                                        << a.name << ": " << a.levelChangeDb << " dB, tail " << a.tailChangeDb
                                        << " dB, centroid x" << a.centroidRatio;
        }
    }
    EXPECT_GT(axes, 0);
}

// Live keys: a key sounds when it reaches -45 dBFS and rises out of what
// the key before it left: by 6 dB in level, or by 10 dB at its own pitch
// (a slow pad's attack under the long release of the key before).
constexpr double kKeyAudibleDb = -45.0;
constexpr double kKeyRiseDb = 6.0;
constexpr double kKeyToneRiseDb = 10.0;

TEST(LibraryLivePlaying, EveryTakenKeySounds) {
    int projectsPlayed = 0;
    for (const ProjectFigures& f : figures()) {
        if (!f.takenKeys.empty()) ++projectsPlayed;
        const auto sounds = [](const library::LiveNote& n) {
            return n.levelDb >= kKeyAudibleDb && (n.riseDb >= kKeyRiseDb || n.toneRiseDb >= kKeyToneRiseDb);
        };
        std::string silent;
        for (const auto& n : f.notes)
            if (!sounds(n)) silent += " " + std::to_string(n.key);
        if (knownShort(kLiveKeyShort, f.name, silent.empty(), "every taken key sounds",
                       "keys not heard:" + (silent.empty() ? std::string(" none") : silent)))
            continue;
        for (const auto& n : f.notes) {
            EXPECT_GE(n.levelDb, kKeyAudibleDb) << f.name << " key " << n.key;
            EXPECT_TRUE(n.riseDb >= kKeyRiseDb || n.toneRiseDb >= kKeyToneRiseDb)
                << f.name << " key " << n.key << ": rise " << n.riseDb << " dB, at its pitch " << n.toneRiseDb << " dB";
        }
    }
    EXPECT_GT(projectsPlayed, 0);
}

TEST(LibraryLivePlaying, AllNotesOffEndsWithinTheReleaseTime) {
    // After controller 123 the output is silent (every 10 ms below -60
    // dBFS) no later than after a note-off, give or take 50 ms.
    for (const ProjectFigures& f : figures()) {
        if (f.heldKey < 0) continue;
        EXPECT_GE(f.allNotesOffSeconds, 0.0) << f.name << ": not silent within " << library::kEndingLimitSeconds << " s";
        if (f.releaseSeconds >= 0.0) {
            EXPECT_LE(f.allNotesOffSeconds, f.releaseSeconds + 0.05) << f.name;
        }
    }
}

TEST(LibraryLivePlaying, ReleasedNotesNeverSwell) {
    // After its note-off a note only fades: no 50 ms stretch of the release
    // is more than 3 dB louder than the last 0.3 s of the held note. A
    // filter or an envelope that opens after the key is let go swells by
    // 10 dB and more; a slow pad's hall building up as the key is released
    // adds about 1 dB.
    for (const ProjectFigures& f : figures()) {
        if (f.heldKey < 0) continue;
        EXPECT_LE(f.releaseSwellDb, 3.0) << f.name << " key " << f.heldKey;
    }
}

// A held note at velocity 100 sits within 3 dB of its family's house
// level (the median of the family's held notes; the families are the
// library's folders), so that switching projects while playing keeps the
// level.
constexpr double kHeldNoteToleranceDb = 3.0;

TEST(LibraryAsAWhole, HeldNotesAtTheFamilyLevel) {
    std::map<int, std::vector<double>> families;
    for (const ProjectFigures& f : figures())
        if (f.heldKey >= 0) families[library_test::family(f.name)].push_back(f.heldNoteLufs);
    for (auto& [family, levels] : families) {
        std::sort(levels.begin(), levels.end());
        const size_t n = levels.size();
        const double house = n % 2 == 1 ? levels[n / 2] : 0.5 * (levels[n / 2 - 1] + levels[n / 2]);
        note("Held notes, family house levels", fmt("family %.0f: %.1f LUFS", family, house));
        for (const ProjectFigures& f : figures()) {
            if (library_test::family(f.name) == family && f.heldKey >= 0) {
                if (knownShort(kHeldNoteShort, f.name, std::fabs(f.heldNoteLufs - house) <= kHeldNoteToleranceDb,
                               "held note within 3 dB of its family",
                               fmt("%.1f LUFS against %.1f", f.heldNoteLufs, house)))
                    continue;
                EXPECT_NEAR(f.heldNoteLufs, house, kHeldNoteToleranceDb) << f.name << " key " << f.heldKey;
            }
        }
    }
}

}  // namespace

namespace {

// The click detector on a rendered note: clean as the plug-in plays it,
// and one click where 40 frames are cut out of it (a seam such as a bad
// loop or a stolen voice leaves).
TEST(ClickDetectorOnRenders, FindsACutInARenderedNoteAndNothingElse) {
    library::LibraryPlayer player;
    ASSERT_TRUE(player.load(0));
    const std::vector<int> keys = library::keysTakenOnChannelOne(player);
    ASSERT_FALSE(keys.empty());
    const int key = keys[keys.size() / 2];
    player.midi(0x90, static_cast<uint8_t>(key), 100);
    measure::StereoSignal note = player.render(1.5);
    EXPECT_TRUE(measure::findClicks(note).empty());
    // The cut lies where it joins the most different samples within a
    // 20 ms stretch after the first second: a seam that happens to join two
    // alike samples leaves no step for any detector to find.
    constexpr size_t kCutFrames = 40;
    size_t cutAt = 44100;
    for (size_t at = 44100; at < 44100 + 882; ++at)
        if (std::fabs(note.left[at + kCutFrames] - note.left[at - 1]) >
            std::fabs(note.left[cutAt + kCutFrames] - note.left[cutAt - 1]))
            cutAt = at;
    ASSERT_GT(std::fabs(note.left[cutAt + kCutFrames] - note.left[cutAt - 1]), 0.01f);
    for (auto* channel : {&note.left, &note.right})
        channel->erase(channel->begin() + cutAt, channel->begin() + cutAt + kCutFrames);
    const auto clicks = measure::findClicks(note);
    ASSERT_FALSE(clicks.empty());
    for (const auto& c : clicks) EXPECT_NEAR(static_cast<double>(c.frame), static_cast<double>(cutAt), 2.0);
}

}  // namespace
