// Reading and writing a Configuration as JSON (docs/display-config-format.md).
// Used by the stand-in to replay a recorded machine and by the recorder.
#pragma once

#include <standin/Configuration.h>

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
// cannot hold (a record of a type other than the three name and mode requests).
std::string configurationToJson(const Configuration& configuration);

// UTF-16 <-> UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(const std::u16string& text);
std::u16string fromUtf8(const std::string& text);

} // namespace standin
