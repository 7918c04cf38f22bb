#include "tools/vst_host/command_line.h"

#include <charconv>
#include <cmath>

bool parseDouble(std::string_view text, double& out) {
    if (text.empty()) return false;
    if (text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    if (!std::isfinite(value)) return false;
    out = value;
    return true;
}

bool parseInteger(std::string_view text, int64_t& out) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    uint64_t magnitude = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
    if (magnitude > static_cast<uint64_t>(INT64_MAX)) return false;
    out = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool OptionReader::value(std::string& out, std::string& error) {
    if (at_ + 1 >= arguments_.size()) {
        error = argument() + " needs a value";
        return false;
    }
    out = arguments_[++at_];
    return true;
}

bool OptionReader::refuse(const std::string& text, std::string& error) const {
    error = "bad value '" + text + "' for " + argument();
    return false;
}

bool OptionReader::integer(int64_t low, int64_t high, int64_t& out, std::string& error) {
    std::string text;
    if (!value(text, error)) return false;
    int64_t read = 0;
    if (!parseInteger(text, read) || read < low || read > high) return refuse(text, error);
    out = read;
    return true;
}

bool OptionReader::number(double low, double high, double& out, std::string& error) {
    std::string text;
    if (!value(text, error)) return false;
    double read = 0.0;
    if (!parseDouble(text, read) || read < low || read > high) return refuse(text, error);
    out = read;
    return true;
}
