// The maker's stand-alone host application identifies itself by answering
// the host-version query with this reserved value instead of a VST version
// ('KAVO'). Kept here, in one place, for the plug-in and for tools that act
// as that host.
#pragma once

#include "vst/aeffectx.h"

constexpr VstInt32 kStandaloneHostVersion = vstFourCC('K', 'A', 'V', 'O');

// Where the system has no device list of its own that the plug-in could
// read (Linux), the editor asks the stand-alone host through
// audioMasterVendorSpecific: index kStandaloneHostQuery, value one of the
// selectors below, ptr a StandaloneHostText that the host fills with
// zero-terminated texts one after the other, ended by an empty one. The
// answer is the number of texts; 0 from a host that does not know the query.
constexpr VstInt32 kStandaloneHostQuery = vstFourCC('T', 'l', 'v', 'x');
constexpr VstIntPtr kStandaloneQueryAudioDevices = vstFourCC('A', 'O', 'u', 't');
constexpr VstIntPtr kStandaloneQueryMidiDevices = vstFourCC('M', 'I', 'n', 'p');
// One text: why the sample rate and buffer size cannot be chosen (the sound
// server fixes them), or none when they can.
constexpr VstIntPtr kStandaloneQueryFormatRule = vstFourCC('R', 'u', 'l', 'e');

struct StandaloneHostText {
    char* bytes;
    VstInt32 capacity;
};
