// An in-place radix-2 FFT, enough for measuring spectra of renders.
#pragma once

#include <complex>
#include <vector>

namespace measure {

// data.size() must be a power of two; otherwise nothing is done and false
// is returned.
bool fft(std::vector<std::complex<double>>& data);

}  // namespace measure
