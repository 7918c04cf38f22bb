// Where the user manual is: on Windows the installer's folder under the
// program-files folder; on Linux the PDF beside the plug-in (or its HTML
// form when no PDF was installed).
#pragma once

#include <string>

std::string manualLocation();
