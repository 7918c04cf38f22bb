// AIFF reader: big-endian 16- or 24-bit integer samples, mono or stereo,
// from the COMM and SSND chunks; the sample rate is an 80-bit IEEE extended
// value. Everything becomes 16-bit (decoded_sample.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "modules/decoded_sample.h"

// Decodes a whole file held in memory. Returns true with a non-empty sample,
// or false with `out` cleared: no "FORM"…"AIFF" header, sample sizes other
// than 16 and 24 bits, more than two channels, an SSND chunk with a non-zero
// offset field (block-aligned data is not supported), or sound data that
// claims more bytes than the file has. Never reads outside [bytes, bytes+size).
// Any thread; allocates the sample's storage. `options.requireWaveTag` does
// not apply.
bool readAiffSample(const uint8_t* bytes, size_t size, const SampleReadOptions& options, DecodedSample& out);

// The 80-bit IEEE 754 extended value at `tenBytes` (big-endian): sign, 15-bit
// exponent, 64-bit mantissa with explicit integer bit. An exponent of all
// ones gives infinity; a zero exponent and mantissa give 0.
double aiffExtendedToDouble(const uint8_t* tenBytes);
