// Project descriptions from the fuzzer through the library reader: any text
// either reads into a project, which is then placed and written as project
// text, or is refused with a LibraryError. Nothing else may escape.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/projectgen/ball_placement.h"
#include "tools/projectgen/project_reader.h"
#include "tools/projectgen/project_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        projectgen::ProjectSpec project = projectgen::readProjectText(text, "fuzz.yaml");
        projectgen::placeBalls(project);
        projectgen::writeProject(project);
    } catch (const projectgen::LibraryError&) {
    }
    return 0;
}
