// Long-term spectra of a mono signal: Welch-averaged power spectrum,
// spectral centroid, third-octave band levels, the share of energy in a
// band, and a spectrogram for pictures.
#pragma once

#include <cstddef>
#include <vector>

namespace measure {

constexpr size_t kSpectrumSize = 16384;  // 2.7 Hz bins at 44.1 kHz: room for a sub-bass

// Mean power per bin (kSpectrumSize / 2 + 1 bins) of Hann-windowed frames
// with half overlap; a signal shorter than one frame is zero-padded.
std::vector<double> averagePowerSpectrum(const std::vector<float>& mono);

// Amplitude-weighted mean frequency of the long-term spectrum, in Hz;
// 0 for silence.
double spectralCentroidHz(const std::vector<float>& mono, double rateHz);
double spectralCentroidHz(const std::vector<double>& power, double rateHz);

// Frequency of the strongest bin.
double spectralPeakHz(const std::vector<double>& power, double rateHz);

// Share (0..1) of the long-term energy between loHz and hiHz.
double bandEnergyShare(const std::vector<double>& power, double rateHz, double loHz, double hiHz);

// Centre frequencies of the third-octave bands used below: 25 Hz to 16 kHz.
const std::vector<double>& thirdOctaveCentresHz();
// Level of each third-octave band in dB (power summed over the band's bins).
std::vector<double> thirdOctaveLevelsDb(const std::vector<double>& power, double rateHz);

// Level in dB of the component at hz within frames first .. first + count
// (Hann-windowed single-bin transform; a full-scale sine reads 0 dB).
double toneLevelDb(const std::vector<float>& mono, size_t first, size_t count, double hz, double rateHz);

// Magnitudes in dB of frames of fftSize (a power of two) every hop
// frames: result[frame][bin], bins 0 .. fftSize / 2.
std::vector<std::vector<float>> spectrogramDb(const std::vector<float>& mono, size_t fftSize, size_t hop);

}  // namespace measure
