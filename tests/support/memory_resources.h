// A resource table the tests fill, looked up like the plug-in's resources:
// sample files packed as the plug-in carries them and the index that lists
// them, for building a SampleLibrary from test signals.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"

namespace test_support {

class MemoryResources {
public:
    using Bytes = std::vector<uint8_t>;

    MemoryResources() = default;
    // lookup() refers to this object.
    MemoryResources(const MemoryResources&) = delete;
    MemoryResources& operator=(const MemoryResources&) = delete;

    // A resource as it stands.
    void add(const std::string& name, Bytes bytes) { entries_[name] = std::move(bytes); }
    // The index resource, replacing the one addWav keeps.
    void setIndex(const std::string& text) { add(sample_store::kIndexResourceName, Bytes(text.begin(), text.end())); }
    // A WAV file packed under `key` and listed in the index.
    void addWav(const std::string& key, const Bytes& file) {
        add(key, sample_store::packEntry(sample_store::kMarkerWav, file.data(), file.size()));
        index_ += key + "\n";
        setIndex(index_);
    }

    SampleLibrary::ResourceLookup lookup() {
        return [this](const char* type, const char* name, platform::ResourceData& out) {
            ++lookups;
            if (std::string(type) != "DATA") return false;
            auto it = entries_.find(name);
            if (it == entries_.end()) return false;
            out.data = it->second.data();
            out.size = it->second.size();
            return true;
        };
    }
    // How often the table was asked.
    int lookups = 0;

private:
    std::map<std::string, Bytes> entries_;
    std::string index_;
};

}  // namespace test_support
