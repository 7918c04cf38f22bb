// What the hosts' command lines share: numbers read whole from text, and a
// reader that walks the arguments option by option.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A decimal or 0x-hexadecimal integer, with an optional sign; nothing may
// follow it.
bool parseInteger(std::string_view text, int64_t& out);
// A finite real number in the usual notations; nothing may follow it.
bool parseDouble(std::string_view text, double& out);

class OptionReader {
public:
    explicit OptionReader(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    // Moves to the next argument; false past the last.
    bool next() { return ++at_ < arguments_.size(); }
    const std::string& argument() const { return arguments_[at_]; }
    // Takes the argument after the current option as its value; false with
    // a message when there is none.
    bool value(std::string& out, std::string& error);
    // Takes the value as an integer or a real number within low ... high;
    // false with a message naming the option when it is missing or out of
    // range.
    bool integer(int64_t low, int64_t high, int64_t& out, std::string& error);
    bool number(double low, double high, double& out, std::string& error);
    // The message for a value the option does not take.
    bool refuse(const std::string& text, std::string& error) const;

private:
    const std::vector<std::string>& arguments_;
    size_t at_ = static_cast<size_t>(-1);
};
