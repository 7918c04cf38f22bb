// The project's own sample library: every sample the generator makes, with
// the file form it is written in. The drum machine's sixteen default pads
// come first, under the names it looks for; then the sampler's melodic
// multi-samples, a few root notes per instrument.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace samplegen {

// A rendered sound before it is written: one or two channels of doubles in
// −1 … 1 and, for sustaining sounds, a loop as a half-open frame range.
struct RenderedSample {
    double rateHz = 44100.0;
    std::vector<std::vector<double>> channels;
    bool hasLoop = false;
    uint32_t loopStartFrame = 0;
    uint32_t loopEndFrame = 0;
    bool pitched = false;  // melodic: written with its root note
    int rootNote = 60;
};

// The file forms of the library, chosen so that every reader path is used
// by a real sample.
enum class FileForm {
    Wav16,
    Wav24,
    WavFloat,
    WavExtensible24,
    WavExtensibleFloat,
    Aiff16,
    Aiff24,
};

bool isAiff(FileForm form);

struct CatalogueEntry {
    std::string fileName;  // as a user or a program names it, e.g. "Snare 1.wav"
    FileForm form;
    RenderedSample (*render)();
};

const std::vector<CatalogueEntry>& sampleCatalogue();

}  // namespace samplegen
