// Any bytes as an AIFF file, as stored and mixed down to mono.
#include <cstddef>
#include <cstdint>

#include "fuzz/samples/reader_invariants.h"
#include "modules/sample_reader_aiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodedSample s;
    checkDecodedSample(readAiffSample(data, size, SampleReadOptions{}, s), s);
    checkDecodedSample(readAiffSample(data, size, SampleReadOptions{SampleChannels::MonoMix, false}, s), s);
    return 0;
}
