// The longest time any writer of this process has waited for the renderer
// to leave the project (edit sections and program changes alike). A figure
// for the thread campaign, which holds it against the wait limit: a wait
// that reaches the limit means the writer went ahead beside a block.
#pragma once

#include <cstdint>

// Writer threads only, after a wait; never the audio thread.
void recordRenderWait(uint32_t waitedMs);
uint32_t longestRenderWaitMs();
