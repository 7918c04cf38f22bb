// The maker's stand-alone host application identifies itself by answering
// the host-version query with this reserved value instead of a VST version
// ('KAVO'). Kept here, in one place, for the plug-in and for tools that act
// as that host.
#pragma once

#include "vst/aeffectx.h"

constexpr VstInt32 kStandaloneHostVersion = vstFourCC('K', 'A', 'V', 'O');
