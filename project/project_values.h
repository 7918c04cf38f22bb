// Numbers in project text, read leniently and without regard to the C
// locale: leading blanks skipped, an optional sign, digits; the first other
// character ends the number and no digits give 0.
#pragma once

#include <string_view>

// Saturates at the int range. "-1.000000" reads -1.
int parseInteger(std::string_view text);
// An optional fraction after "." and an optional exponent; saturates at the
// float range instead of becoming infinite.
float parseReal(std::string_view text);

// Equaliser band frequencies are stored as 10 * 1.07656729^x for the
// normalised x; this is x, held to 0..1 (values of 0 or below give 0).
float equaliserFrequencyFromFile(float fileValue);
