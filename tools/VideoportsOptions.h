// What videoports is asked to do: its options, their rules and its help.
// Parsing never ends the program: main() alone decides what to print and the
// exit status.
#pragma once

#include <optional>
#include <string>

namespace tools {

constexpr int exitPlatformFailure = 1;
constexpr int exitUsage = 2;

struct VideoportsOptions {
    bool modes = false;
    bool json = false;
    std::optional<unsigned> port;
    std::optional<int> logLevel;
    bool watch = false;
    std::optional<unsigned long> count;
    unsigned long intervalMilliseconds = 2000;
    bool hasInterval = false;
    bool prometheus = false;
    std::optional<std::string> output;   // the metrics file, from -o or --output
    std::optional<std::string> edidFile; // --edid: decode this file alone
    std::optional<std::string> svgFile;  // --svg: the layout's picture, "-" for standard output
};

struct VideoportsRequest {
    enum class Action { Run, Help, Version, Error } action = Action::Run;
    VideoportsOptions options;
    std::string error; // for Error, the message without the program's name
};

VideoportsRequest parseVideoportsArguments(int argc, char** argv);

/// The text of --help.
extern const char* const videoportsUsage;

} // namespace tools
