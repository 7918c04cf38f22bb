// What the renderer reads from and writes for a plug-in instance: what it
// declares (for --info), program and bank files, its final state.
#pragma once

#include <cstdio>
#include <string>

#include "tools/talvex_render/render_options.h"
#include "tools/vst_host/plugin_session.h"
#include "vst/aeffectx.h"

// What the plug-in declares, in the form of --info.
void printPluginInfo(PluginSession& session, std::FILE* out);

// Loads --chunk: a .fxp/.fxb file in any of its four forms, or raw chunk
// bytes (bank, or program for a .fxp name or --chunk-type program).
bool loadChunkFile(PluginSession& session, const RenderOptions& options, const std::string& path, std::string& error);

// Writes the plug-in's bank chunk: the raw bytes, or wrapped as an FBCh
// bank file.
bool saveBankChunk(PluginSession& session, const std::string& path, bool fxbForm, std::string& error);

// Writes the current program, its name, and each parameter's value and
// display text (with its label), one a line.
bool saveFinalState(PluginSession& session, const std::string& path, std::string& error);

std::string fourCharacterCode(VstInt32 code);
