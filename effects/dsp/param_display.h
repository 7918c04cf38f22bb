// Parameter display texts of the effects, formatted without the C locale: a
// host that switches the process to a locale with a decimal comma must not
// change "0.50" into "0,50", and the Windows C runtime rounds differently from
// glibc. std::to_chars rounds the exact binary value, so the texts are the
// same on every target.
#pragma once

namespace fxdsp {

// Bytes the effects write into a display or name buffer, terminator included.
// The VST constant is 8, but hosts pass larger buffers and texts such as
// "300.00ms" or "PreDelay" need 9; 24 is what common plug-in frameworks write.
constexpr int kParamTextCapacity = 24;

// value with `decimals` digits after the point, then suffix ("%.2fHz").
void displayFixed(char* text, double value, int decimals, const char* suffix = "");
// value truncated toward zero, then suffix ("%iHz" of trunc(f)). Values
// outside the int range are limited to it.
void displayTruncated(char* text, double value, const char* suffix = "");
// "on" or "off".
void displayOnOff(char* text, bool on);
// A fixed text, such as a parameter name.
void displayText(char* text, const char* source);

}  // namespace fxdsp
