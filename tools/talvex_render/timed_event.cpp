#include "tools/talvex_render/timed_event.h"

#include <algorithm>

void sortByFrame(std::vector<TimedEvent>& events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });
}
