// RIFF WAVE reader: integer PCM of 16, 24 or 32 bits, 32-bit float, plain or
// WAVE_FORMAT_EXTENSIBLE, mono or stereo, and the first loop of a "smpl"
// chunk. Everything becomes 16-bit (decoded_sample.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "modules/decoded_sample.h"

// Decodes a whole file held in memory. Returns true with a non-empty sample,
// or false with `out` cleared: an unsupported format (8-bit, ADPCM, more than
// two channels…), a header that contradicts itself, or a "data" chunk that
// claims more bytes than the file has. Never reads outside [bytes, bytes+size).
// Any thread; allocates the sample's storage.
bool readWavSample(const uint8_t* bytes, size_t size, const SampleReadOptions& options, DecodedSample& out);
