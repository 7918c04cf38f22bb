// Project text from the fuzzer through the whole loader, modules included,
// then a few blocks with the demonstration started and the host's transport
// running, so that whatever the loader built is also played.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/engine_fuzz_support.h"
#include "project/project_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Effect& e = engine_fuzz::sharedEffect();
    // The loader must not rely on a terminator or on bytes past the end.
    std::vector<uint8_t> copy(data, data + size);
    loadProject(e, copy.data(), copy.size());
    e.requestDemonstration(1);
    engine_fuzz::renderChecked(e, 4, 512);
    e.requestDemonstration(0);
    engine_fuzz::renderChecked(e, 1, 64);
    return 0;
}
