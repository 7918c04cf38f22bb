// A VST 2.4 plug-in file opened through the operating system's loader
// (dlopen, LoadLibrary) and its entry point: VSTPluginMain, or main for
// plug-ins older than VST 2.4.
#pragma once

#include <string>

#include "vst/aeffectx.h"

typedef AEffect*(VSTCALLBACK* VstPluginEntry)(audioMasterCallback host);

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary() { close(); }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool open(const std::string& path, std::string& error);
    void close();
    VstPluginEntry entry() const { return entry_; }
    const char* entryName() const { return entryName_; }

private:
    void* handle_ = nullptr;
    VstPluginEntry entry_ = nullptr;
    const char* entryName_ = "";
};
