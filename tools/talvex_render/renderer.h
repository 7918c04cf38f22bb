// One talvex-render run: load the plug-in, set it up, play the timeline
// into it block by block and write what it renders.
#pragma once

#include <cstdio>

#include "tools/talvex_render/render_options.h"

// Exit codes of the command.
enum RenderExit {
    kRenderOk = 0,
    kRenderBadCommandLine = 1,
    kRenderBadInput = 2,
    kRenderPluginFailed = 3,
    kRenderOutputFailed = 4,
};

// Messages (errors, --verbose reports, the progress bar) go to log; --info
// and an automation log named "-" go to out.
int runRender(const RenderOptions& options, std::FILE* out, std::FILE* log);
