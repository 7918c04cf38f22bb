// Resources compiled into the Linux build: the same entries the Windows build
// carries as real resources, generated from one list.
#pragma once

#include <cstddef>
#include <cstdint>

struct EmbeddedResource {
    const char* type;
    const char* name;
    const uint8_t* data;
    size_t size;
};

const EmbeddedResource* embeddedResources(size_t& count);
