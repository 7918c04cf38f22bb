// Any bytes as a store entry (marker, scrambled file) and as the index, and
// a library built over them.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/samples/reader_invariants.h"
#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodedSample s;
    checkDecodedSample(sample_store::decodeEntry(data, size, SampleReadOptions{}, s), s);

    for (const std::string& key : sample_store::parseIndex(data, size)) {
        if (key.empty() || key.size() > sample_store::kMaxKeyLength) std::abort();
    }

    // The same bytes serve as index and as every entry it names.
    SampleLibrary library([data, size](const char*, const char*, platform::ResourceData& out) {
        out.data = data;
        out.size = size;
        return true;
    });
    for (size_t i = 0; i < library.size(); ++i) {
        auto sample = library.find(library.keyAt(i).c_str(), SampleChannels::MonoMix);
        if (sample && sample->stereo) std::abort();
    }
    return 0;
}
