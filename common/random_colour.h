// Colours drawn for new planets and parameter descriptors: each of the red,
// green and blue components from low to low + span - 1, packed as 0xRRGGBB.
#pragma once

#include <cstdint>
#include <cstdlib>

inline uint32_t randomColour(int low, int span) {
    auto component = [&]() { return static_cast<uint32_t>(low + std::rand() % span); };
    const uint32_t r = component(), g = component(), b = component();
    return (r << 16) | (g << 8) | b;
}

// The light colours of parameter descriptors: components 128 to 191.
inline uint32_t randomLightColour() { return randomColour(128, 64); }
