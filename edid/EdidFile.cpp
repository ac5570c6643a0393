#include <edid/EdidFile.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace edid {
namespace {

constexpr char edidHeader[] = "\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00";
constexpr std::size_t edidHeaderSize = sizeof edidHeader - 1;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

bool isBlankLine(const std::string& line) {
    return std::all_of(line.begin(), line.end(), isBlank);
}

bool isHexLine(const std::string& line) {
    return !isBlankLine(line) && std::all_of(line.begin(), line.end(),
                                             [](char c) { return isBlank(c) || isHexDigit(c); });
}

// "EDID:", "edid-decode (hex):", "EDID (hex):": a line that names EDID and
// ends in ':' (before trailing blanks).
bool isEdidHeading(const std::string& line) {
    std::string lower;
    for (char c : line)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto last = lower.find_last_not_of(" \t\r");
    return last != std::string::npos && lower[last] == ':' &&
           lower.find("edid") != std::string::npos;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

std::optional<std::vector<std::uint8_t>> bytesFromFile(const std::string& contents) {
    if (contents.size() >= edidHeaderSize &&
        std::memcmp(contents.data(), edidHeader, edidHeaderSize) == 0)
        return std::vector<std::uint8_t>(contents.begin(), contents.end());

    const std::vector<std::string> lines = linesOf(contents);
    // The hex starts after the first heading, or at the top without one.
    const auto heading = std::find_if(lines.begin(), lines.end(), isEdidHeading);
    auto line = heading == lines.end() ? lines.begin() : heading + 1;

    // Each run of digits is whole bytes: "0 0ff" is a typo, not 00 FF.
    std::string digits;
    for (; line != lines.end(); ++line) {
        if (isBlankLine(*line))
            continue;
        if (!isHexLine(*line))
            break;
        std::size_t run = 0;
        for (char c : *line + ' ') {
            if (isHexDigit(c)) {
                digits += c;
                ++run;
            } else if (run % 2 != 0) {
                return std::nullopt;
            } else {
                run = 0;
            }
        }
    }
    if (digits.empty())
        return std::nullopt;

    std::vector<std::uint8_t> bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(
            static_cast<std::uint8_t>(hexValue(digits[i]) << 4 | hexValue(digits[i + 1])));
    return bytes;
}

} // namespace edid
