// The editor side of a talvex-render run: opens the plug-in's editor in the
// host's own windows and keeps it idle, in the order and at the rates real
// hosts use, while the render goes on elsewhere.
#pragma once

#include <cstdio>
#include <string>

#include "tools/talvex_render/session_files.h"
#include "tools/talvex_render/render_options.h"

// Runs on the calling thread, which becomes the editor thread, for
// options.showEditorSeconds. False with a message when the plug-in has no
// editor, refuses to open it or leaves its rectangle unanswered (a host that
// dereferences it, as LMMS does, would crash).
bool runEditorSchedule(PluginSession& session, const RenderOptions& options, std::FILE* out, std::string& error);
