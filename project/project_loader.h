// Loading projects: the line-oriented project text with its embedded module
// states, turned into the owner's project (tracks, module slots, patterns,
// sound balls, master values, demonstration performance).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "project/project_list.h"

class Effect;

// No pause after raising the edit counter: the renderer raises its
// in-progress flag before it reads the counters (both sequentially
// consistent), so a block that read the counter just before it went up still
// shows its flag, and the edit section waits for that block to end.
constexpr uint32_t kLoaderSettleMs = 0;

struct ProjectLoadOptions {
    // A pause before waiting for the renderer (none by default).
    uint32_t settleMs = kLoaderSettleMs;
};

// Replaces the owner's project by the one in the bytes. A damaged project
// loads as far as it can be read. Any thread but the audio thread; the
// renderer is excluded (edit counter) while the project is replaced.
void loadProject(Effect& owner, const uint8_t* data, size_t size, const ProjectLoadOptions& options = {});

// Loads the built-in project of that name (resource "DATA", name + ".prg",
// compared without regard to case) from a copy of its bytes. False, with the
// current project untouched, when there is no such resource.
bool loadBuiltInProject(Effect& owner, const std::string& name);
