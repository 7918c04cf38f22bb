// Pictures of a render for the catalogue: a spectrogram (log frequency,
// 20 Hz to 20 kHz, 90 dB of range) and a waveform (peak envelope of each
// channel), as bitmaps ready for the PNG writer.
#pragma once

#include "gui/bitmap.h"
#include "tools/audio_measure/stereo_signal.h"

namespace library {

gui::Bitmap spectrogramPicture(const measure::StereoSignal& signal, int width, int height);
gui::Bitmap waveformPicture(const measure::StereoSignal& signal, int width, int height);

}  // namespace library
