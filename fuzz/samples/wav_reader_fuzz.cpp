// Any bytes as a WAV file, in the sampler's and the drum machine's reading.
#include <cstddef>
#include <cstdint>

#include "fuzz/samples/reader_invariants.h"
#include "modules/sample_reader_wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodedSample s;
    checkDecodedSample(readWavSample(data, size, SampleReadOptions{}, s), s);
    checkDecodedSample(readWavSample(data, size, SampleReadOptions{SampleChannels::MonoMix, true}, s), s);
    return 0;
}
