#include "tools/vst_host/plugin_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
void* loadLibrary(const std::string& path, std::string& error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) error = "LoadLibrary failed with error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
}
void* findSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void unloadLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* loadLibrary(const std::string& path, std::string& error) {
    // RTLD_LOCAL: the plug-in's symbols stay its own, as in a real host.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = why != nullptr ? why : "dlopen failed";
    }
    return handle;
}
void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void unloadLibrary(void* handle) { dlclose(handle); }
#endif

}  // namespace

bool PluginLibrary::open(const std::string& path, std::string& error) {
    close();
    // A bare file name would make the loader search its paths, not the
    // current folder, which is not what a user typing a file name means.
    std::string loadPath = path;
#if !defined(_WIN32)
    if (loadPath.find('/') == std::string::npos) loadPath = "./" + loadPath;
#endif
    handle_ = loadLibrary(loadPath, error);
    if (handle_ == nullptr) {
        error = "cannot load " + path + ": " + error;
        return false;
    }
    static const char* const kEntryNames[] = {"VSTPluginMain", "main"};
    for (const char* name : kEntryNames) {
        if (void* symbol = findSymbol(handle_, name)) {
            entry_ = reinterpret_cast<VstPluginEntry>(symbol);
            entryName_ = name;
            return true;
        }
    }
    error = path + " exports neither VSTPluginMain nor main: not a VST 2.4 plug-in";
    close();
    return false;
}

void PluginLibrary::close() {
    if (handle_ != nullptr) unloadLibrary(handle_);
    handle_ = nullptr;
    entry_ = nullptr;
    entryName_ = "";
}
