#include "editor/manual_location.h"

#include <cstdlib>
#include <fstream>

#include "platform/platform.h"

std::string manualLocation() {
#ifdef _WIN32
    const char* programFiles = std::getenv("ProgramFiles");
    return std::string(programFiles != nullptr ? programFiles : "C:\\Program Files") +
           "\\KESTRALA\\KestralaTalvex_UserManual.pdf";
#else
    const std::string folder = platform::pluginDirectory();
    const std::string candidates[] = {folder + "/Talvex_UserManual.pdf", "/usr/share/doc/talvex/Talvex_UserManual.pdf",
                                      folder + "/Talvex_UserManual.html"};
    for (const std::string& path : candidates)
        if (std::ifstream(path).good()) return path;
    return candidates[0];
#endif
}
