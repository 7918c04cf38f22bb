// What a test plug-in exports: VSTPluginMain and the older "main" give a host
// that answers the version query a new instance (none otherwise), and on
// Windows DllMain records the module handle. A test plug-in compiles
// probe_plugin_entry.cpp beside its own source and defines
// createProbeInstance.
#pragma once

#include "vst/aeffectx.h"

class AudioEffect;

// A new instance of the plug-in for this host.
AudioEffect* createProbeInstance(audioMasterCallback host);
