// Writes a rendered sample as a WAV or AIFF file through libsndfile, with
// our own quantisation (so the bytes do not depend on the library's
// rounding) and, for pitched samples, a "smpl" chunk with the root note and
// the loop.
#pragma once

#include <string>

#include "tools/samplegen/sample_catalogue.h"

namespace samplegen {

bool writeSampleFile(const RenderedSample& sample, FileForm form, const std::string& path, std::string& error);

}  // namespace samplegen
