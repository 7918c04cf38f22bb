// The host-version answer that makes a plug-in of this project take the
// renderer for the maker's stand-alone host. The plug-in keeps the reserved
// value in host/standalone_host.h; this header only refers to it.
#pragma once

#include "vst/aeffectx.h"

#include "host/standalone_host.h"

constexpr VstInt32 kRenderStandaloneHostVersion = kStandaloneHostVersion;
