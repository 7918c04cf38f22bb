#include "resources/embedded_resources.h"

const EmbeddedResource* embeddedResources(size_t& count) {
    static const EmbeddedResource kNone[1] = {{"", "", nullptr, 0}};
    count = 0;
    return kNone;
}
