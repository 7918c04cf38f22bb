// Reader of the plain-text event lists that talvex-render plays. One event
// per line, '#' starts a comment:
//
//   <time> note_on    <channel> <key> <velocity>
//   <time> note_off   <channel> <key> [<velocity>]      (velocity 64 if left out)
//   <time> cc         <channel> <controller> <value>
//   <time> program    <channel> <program>
//   <time> pitch_bend <channel> <value 0..16383>        (8192 is the centre)
//   <time> pressure   <channel> <value>                 (channel aftertouch)
//   <time> poly_pressure <channel> <key> <value>
//   <time> raw        <hex bytes>                       (90 3C 64, or F0 ... F7)
//   <time> param      <index> <value 0..1>              (setParameter before the block)
//   <time> end                                          (the list lasts at least until here)
//
// Channels count from 0 to 15. A time is a frame number (22050), seconds
// (0.5s), milliseconds (500ms) or quarter notes at the starting tempo (1b).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/talvex_render/timed_event.h"

struct EventList {
    std::vector<TimedEvent> events;  // in the order of the file
    int64_t endFrame = 0;            // one past the last event, or the end marker if later
};

// False with "line N: ..." on the first malformed line; nothing is kept then.
bool parseEventList(std::string_view text, double sampleRate, double tempoBpm, EventList& out,
                    std::string& error);
