#include "CommandLine.h"

#include <cstring>

namespace tools {

std::string shown(const std::string& argument) {
    constexpr std::size_t limit = 60;
    if (argument.size() <= limit) {
        return argument;
    }
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(argument[cut]) & 0xC0) == 0x80) {
        --cut; // inside a UTF-8 sequence
    }
    return argument.substr(0, cut) + "...";
}

CommandLine::CommandLine(int argc, char** argv) : argc_(argc), argv_(argv) {}

bool CommandLine::next() {
    if (index_ + 1 >= argc_) {
        return false;
    }
    current_ = argv_[++index_];
    return true;
}

bool CommandLine::is(const char* name, const char* alias) const {
    return current_ == name || (alias != nullptr && current_ == alias);
}

bool CommandLine::option(const char* name, std::optional<std::string>& value) {
    const std::size_t length = std::strlen(name);
    const bool longName = length > 2;
    if (longName && current_.size() > length && current_.compare(0, length, name) == 0 &&
        current_[length] == '=') {
        value = current_.substr(length + 1);
        return true;
    }
    if (current_ != name) {
        return false;
    }
    if (index_ + 1 < argc_) {
        value = std::string(argv_[++index_]);
    } else {
        value.reset();
    }
    return true;
}

std::string parseNumber(const std::string& option, const std::optional<std::string>& text,
                        unsigned long maximum, unsigned long& value) {
    if (!text) {
        return option + " needs a number";
    }
    const std::string& digits = *text;
    value = 0;
    bool valid = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    for (std::size_t i = 0; valid && i < digits.size(); ++i) {
        const auto digit = static_cast<unsigned long>(digits[i] - '0');
        valid = digit <= maximum && value <= (maximum - digit) / 10; // value * 10 + digit fits
        value = value * 10 + digit;
    }
    if (!valid) {
        return option + ": not a number from 0 to " + std::to_string(maximum) + ": '" +
               shown(digits) + "'";
    }
    return std::string();
}

std::string parseSeconds(const std::string& option, const std::optional<std::string>& text,
                         unsigned long minimum, unsigned long maximum,
                         unsigned long& milliseconds) {
    if (!text) {
        return option + " needs a number of seconds";
    }
    const std::string& number = *text;
    const std::size_t point = number.find('.');
    std::string whole = number.substr(0, point);
    std::string fraction = point == std::string::npos ? std::string() : number.substr(point + 1);
    bool valid =
        !whole.empty() && fraction.size() <= 3 && (point == std::string::npos || !fraction.empty());
    unsigned long seconds = 0;
    unsigned long thousandths = 0;
    valid = valid && parseNumber(option, whole, maximum / 1000, seconds).empty();
    fraction.resize(3, '0');
    valid = valid && parseNumber(option, fraction, 999, thousandths).empty();
    milliseconds = seconds * 1000 + thousandths;
    if (!valid || milliseconds < minimum || milliseconds > maximum) {
        const auto inSeconds = [](unsigned long value) {
            std::string text = std::to_string(value / 1000);
            if (value % 1000 != 0) {
                std::string decimals = std::to_string(1000 + value % 1000).substr(1);
                decimals.erase(decimals.find_last_not_of('0') + 1);
                text += "." + decimals;
            }
            return text;
        };
        return option + ": not a number of seconds from " + inSeconds(minimum) + " to " +
               inSeconds(maximum) + ": '" + shown(number) + "'";
    }
    return std::string();
}

} // namespace tools
