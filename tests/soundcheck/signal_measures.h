// Measures of rendered stereo signals at 44.1 kHz: levels, band energies,
// left/right correlation, third-octave spectra, rhythm envelopes and EBU
// R128 loudness.
#pragma once

#include <cstddef>
#include <vector>

namespace soundcheck {

constexpr double kRate = 44100.0;

struct Stereo {
    std::vector<float> left, right;
    size_t frames() const { return left.size(); }
    // Frames [from, to) in seconds.
    Stereo slice(double fromSeconds, double toSeconds) const;
    std::vector<float> mono() const;  // (L + R) / 2
};

double db(double power);  // 10 log10, floored at -200
// RMS level of both channels together, dB full scale.
double rmsDb(const Stereo& s);
// The signal through a fourth-order Butterworth low-pass (two biquads).
std::vector<float> lowPass(const std::vector<float>& x, double cutoffHz);
// Share of the signal's energy below cutoffHz, 0 to 1.
double energyShareBelow(const std::vector<float>& x, double cutoffHz);
// Normalised left/right correlation below cutoffHz.
double lowCorrelation(const Stereo& s, double cutoffHz);
// Energy lost below cutoffHz when left and right are summed to mono, dB:
// mean channel energy against the energy of (L + R) / 2.
double monoFoldLossDb(const Stereo& s, double cutoffHz);
// Third-octave band levels 31.5 Hz to 16 kHz (28 bands), dB relative to the
// whole spectrum, averaged over the signal.
std::vector<double> thirdOctaveLevels(const std::vector<float>& x);
// RMS difference of two band-level lists, dB.
double spectrumDistanceDb(const std::vector<double>& a, const std::vector<double>& b);
// Level envelope in 10 ms frames (RMS, linear).
std::vector<double> rhythmEnvelope(const std::vector<float>& x);
// Pearson correlation of two envelopes over their common length.
double envelopeCorrelation(const std::vector<double>& a, const std::vector<double>& b);
// EBU R128 integrated loudness, LUFS.
double loudnessLufs(const Stereo& s);
// Power-weighted mean frequency of the spectrum, Hz.
double spectralCentroidHz(const std::vector<float>& x);
// Frequency of the strongest spectrum bin, Hz.
double spectralPeakHz(const std::vector<float>& x);

}  // namespace soundcheck
