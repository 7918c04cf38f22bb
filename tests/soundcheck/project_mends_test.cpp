// Faults a musician heard in single projects, measured on the rendered
// output of the whole plug-in (the library test measures every project for
// the rest). Each figure is printed, so that a change of
// the project's description shows what it did.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/soundcheck/project_session.h"
#include "tools/audio_measure/loudness.h"
#include "tools/audio_measure/spectrum.h"
#include "track/instrument.h"

namespace {

using soundcheck::ProjectSession;
using soundcheck::Stereo;

using soundcheck::kRate;

// RMS level of both channels from fromSeconds to toSeconds, dBFS.
double levelDb(const Stereo& s, double fromSeconds, double toSeconds) {
    const auto first = static_cast<size_t>(fromSeconds * kRate);
    return measure::rmsDb(s, first, static_cast<size_t>(toSeconds * kRate) - first);
}

void report(const char* what, double value) {
    std::printf("[ figure   ] %s = %.3f\n", what, value);
    ::testing::Test::RecordProperty(what, std::to_string(value));
}

// Loudest 100 ms window of a render from fromSeconds on, dB.
double loudestWindowDb(const Stereo& s, double fromSeconds) {
    double loudest = -200.0;
    for (double t = fromSeconds; t + 0.1 <= static_cast<double>(s.frames()) / kRate; t += 0.05)
        loudest = std::max(loudest, levelDb(s, t, t + 0.1));
    return loudest;
}

TEST(ProjectMends, EpianoSoulBassSoundsAsLongAsItsKeyIsHeld) {
    ProjectSession session("EPIANOSOUL");
    ASSERT_TRUE(session.loaded());
    session.noteOn(36, 100);  // below C3: the bass
    const Stereo held = session.render(3.0);
    const double early = levelDb(held, 0.1, 0.5), late = levelDb(held, 2.5, 3.0);
    report("EPIANOSOUL bass 0.1-0.5 s dB", early);
    report("EPIANOSOUL bass 2.5-3.0 s dB", late);
    // A plucked bass fades while held, but does not stop: within 15 dB of
    // its start after three seconds.
    EXPECT_GT(late, early - 15.0);
    session.noteOff(36);
    const Stereo released = session.render(1.5);
    report("EPIANOSOUL bass 1.0-1.5 s after release dB", levelDb(released, 1.0, 1.5));
    EXPECT_LT(levelDb(released, 1.0, 1.5), late - 20.0);
}

// The largest rise of the 50 ms level from one window to the next, after
// the first 0.3 s: a looped sample that restarts its attack jumps here by
// 20 to 30 dB, while chorus, beating partials and a pad's slow swell move
// it by at most about 4 dB; 6 dB lies between.
double largestRiseDb(const Stereo& s) {
    double largest = -200.0, previous = levelDb(s, 0.25, 0.3);
    for (double t = 0.3; t + 0.05 <= static_cast<double>(s.frames()) / kRate; t += 0.05) {
        const double level = levelDb(s, t, t + 0.05);
        if (level - previous > largest && std::getenv("SOUNDCHECK_TRACE")) std::printf("  rise %.2f dB at %.2f s\n", level - previous, t);
        largest = std::max(largest, level - previous);
        previous = level;
    }
    return largest;
}

TEST(ProjectMends, HeldSampledKeysNeverStrikeAgain) {
    for (const auto& [project, key] : {std::pair<const char*, int>{"EPIANOSOUL", 60}, {"EPIANOSOUL", 84}, {"EPIANOSOUL", 52},
                                       {"EPIANOSOUL", 40}, {"HOUSEGROOVE", 60}, {"BELLPADS", 60}}) {
        ProjectSession session(project);
        ASSERT_TRUE(session.loaded());
        session.noteOn(key, 100);
        const double rise = largestRiseDb(session.render(6.0));
        std::printf("[ figure   ] %s key %d: largest 50 ms level rise while held %.2f dB\n", project, key, rise);
        EXPECT_LT(rise, 6.0) << project << " key " << key;
    }
}

TEST(ProjectMends, WobbleBassSitsWhereSpeakersPlayIt) {
    ProjectSession session("WOBBLEBASS");
    ASSERT_TRUE(session.loaded());
    const std::vector<double> power = measure::averagePowerSpectrum(session.demonstration(14.0).mono());
    const double below30 = measure::bandEnergyShare(power, kRate, 0.0, 30.0);
    const double below60 = measure::bandEnergyShare(power, kRate, 0.0, 60.0);
    report("WOBBLEBASS energy share below 30 Hz", below30);
    report("WOBBLEBASS energy share below 60 Hz", below60);
    report("WOBBLEBASS spectral peak Hz", measure::spectralPeakHz(power, kRate));
    // Small speakers give little below 60 Hz: the bass must live above it.
    EXPECT_LT(below30, 0.03);
    EXPECT_LT(below60, 0.5);
}

TEST(ProjectMends, RingSpaceNotesDoNotSwellAfterTheirRelease) {
    // Short and long notes, low and high: the loudest moment after the key
    // is let go may not exceed the last moment the key was held.
    double worst = -200.0;
    for (const int key : {48, 60, 69})
        for (const double holdSeconds : {0.3, 0.8, 1.6, 3.0}) {
            ProjectSession session("RINGSPACE");
            ASSERT_TRUE(session.loaded());
            session.noteOn(key, 100);
            const Stereo held = session.render(holdSeconds);
            session.noteOff(key);
            const Stereo released = session.render(4.0);
            const double heldDb = levelDb(held, holdSeconds - 0.2, holdSeconds);
            const double afterDb = loudestWindowDb(released, 0.1);
            worst = std::max(worst, afterDb - heldDb);
            std::printf("[ figure   ] RINGSPACE key %d held %.1f s: %.1f dB held, %.1f dB loudest after release\n", key,
                        holdSeconds, heldDb, afterDb);
        }
    report("RINGSPACE largest rise after release dB", worst);
    // A hall swells a short note's tail a little; a filter sweep that outruns the
    // release swelled it by 13 dB.
    EXPECT_LT(worst, 1.5);
}

TEST(ProjectMends, PluckArpArpeggioIsNotBuriedUnderItsBeat) {
    double arp = 0.0, beat = 0.0;
    for (const char* muted : {"Beat", "Arp"}) {
        ProjectSession session("PLUCKARP");
        ASSERT_TRUE(session.loaded());
        CInstrument* track = session.track(muted);
        ASSERT_NE(track, nullptr) << muted;
        track->mute = 1.0f;
        const double lufs = measure::measureLoudness(session.demonstration(14.0)).integratedLufs;
        (std::string(muted) == "Beat" ? arp : beat) = lufs;
    }
    report("PLUCKARP arpeggio alone LUFS", arp);
    report("PLUCKARP beat alone LUFS", beat);
    // The arpeggio carries the project: at least as loud as the beat, less 1 LU.
    EXPECT_GT(arp, beat - 1.0);
}

}  // namespace
