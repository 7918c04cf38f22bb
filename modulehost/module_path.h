// Projects name modules by plug-in file paths ("\PluginEffects\KavoReverb.dll")
// as if each module were a plug-in file of its own. Only the file title picks
// the module class; these helpers turn a path into it.
#pragma once

#include <string>

// The text after the last "\", "/" or ":" and before the first "." after it.
std::string moduleFileTitle(const std::string& path);

// A path rooted with "\" or "/" is taken relative to the plug-in's own
// folder; any other path stands as given.
std::string absoluteModulePath(const std::string& path, const std::string& pluginDirectory);

// The short display name of a module by its product string ("KAVO delay" ->
// "Delay"); empty for modules that have none.
const char* moduleShortName(const char* productName);
