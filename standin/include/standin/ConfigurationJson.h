// Reading and writing a Configuration as JSON (docs/display-config-format.md).
// Used by the stand-in to replay a recorded machine and by the recorder.
#pragma once

#include <standin/Configuration.h>
#include <tkl/Utf16.h>

#include <stdexcept>
#include <string>

namespace standin {

// What is wrong with a configuration text, as one line: the place in the
// document ("paths[2].targetInfo.modeInfoIdx") and the fault.
class ConfigurationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses and checks a whole document; throws ConfigurationError.
Configuration configurationFromJson(const std::string& text);

// Reads and parses a file; throws ConfigurationError (without the file name).
Configuration loadConfigurationFile(const std::string& path);

// One record per line, fields in the platform's order, so that equal
// configurations give equal text. Throws ConfigurationError for what the format
// cannot hold (a record of a type other than the name and mode requests).
std::string configurationToJson(const Configuration& configuration);

// UTF-16 <-> UTF-8, as the whole tree converts (<tkl/Utf16.h>): an unpaired
// surrogate becomes U+FFFD, and so does ill-formed UTF-8.
inline std::string toUtf8(const std::u16string& text) {
    return tkl::utf16::toUtf8(text.data(), text.size());
}

inline std::u16string fromUtf8(const std::string& text) {
    std::u16string out;
    tkl::utf16::appendUtf8(out, text.data(), text.size(), tkl::utf16::Units::Utf16);
    return out;
}

} // namespace standin
