// videoports: lists the machine's video ports through the library, as a host
// program would.
#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <tkl/Exception.h>
#include <tkl/Logging.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

using libVideoPortInfo::DisplayResolution;
using libVideoPortInfo::Monitor;
using libVideoPortInfo::VideoPort;

namespace {

constexpr int exitPlatformFailure = 1;
constexpr int exitUsage = 2;

const char* const usage =
    "Usage: videoports [options]\n"
    "Lists the video ports of this machine: connector, attached monitor, display id,\n"
    "monitor name and preferred mode.\n"
    "\n"
    "Options:\n"
    "  --modes          also list each port's distinct display modes\n"
    "  --port N         only port N (0-based)\n"
    "  --json           everything, as JSON (modes included)\n"
    "  --log-level N    log threshold: 0 trace, 1 debug, 2 info, 3 warning (default),\n"
    "                   4 error, 5 fatal\n"
    "  --help           this text\n"
    "  --version        the version\n"
    "\n"
    "Exit status: 0 success, 1 the display configuration could not be read or\n"
    "the output could not be written, 2 a bad argument or port index.\n";

struct Options {
    bool modes = false;
    bool json = false;
    bool hasPort = false;
    unsigned port = 0;
    bool hasLogLevel = false;
    int logLevel = 0;
};

// The reason of the first failed write to standard output, 0 while none failed.
int outputError = 0;

// Everything for standard output goes through here.
void emit(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && outputError == 0) {
        outputError = errno != 0 ? errno : EIO;
    }
}

// Everything written to standard output must have reached it: a full disk or
// a closed output is a failure, reported on standard error.
[[noreturn]] void exitAfterOutput(int status) {
    errno = 0;
    if (std::fflush(stdout) != 0 && outputError == 0) {
        outputError = errno != 0 ? errno : EIO;
    }
    if (outputError != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "videoports: cannot write the output: %s\n",
                     std::strerror(outputError != 0 ? outputError : EIO));
        std::exit(exitPlatformFailure);
    }
    std::exit(status);
}

// An argument as a message shows it: at most 60 bytes, cut at a character
// boundary, so that a huge argument does not flood the terminal.
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

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "videoports: %s (see --help)\n", message.c_str());
    std::exit(exitUsage);
}

// Only digits make a number: no sign, blank or base prefix.
unsigned long parseNumber(const std::string& option, const char* text, unsigned long maximum) {
    if (text == nullptr) {
        usageError(option + " needs a number");
    }
    const std::string digits = text;
    unsigned long value = 0;
    bool valid = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    for (std::size_t i = 0; valid && i < digits.size(); ++i) {
        const auto digit = static_cast<unsigned long>(digits[i] - '0');
        valid = digit <= maximum && value <= (maximum - digit) / 10; // value * 10 + digit fits
        value = value * 10 + digit;
    }
    if (!valid) {
        usageError(option + ": not a number from 0 to " + std::to_string(maximum) + ": '" +
                   shown(digits) + "'");
    }
    return value;
}

Options parseArguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            emit(usage);
            exitAfterOutput(0);
        } else if (argument == "--version") {
            emit(std::string("videoports ") + VPI_VERSION + "\n");
            exitAfterOutput(0);
        } else if (argument == "--modes") {
            options.modes = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--port") {
            options.port = static_cast<unsigned>(
                parseNumber(argument, i + 1 < argc ? argv[++i] : nullptr, 0xFFFFFFFEul));
            options.hasPort = true;
        } else if (argument == "--log-level") {
            options.logLevel =
                static_cast<int>(parseNumber(argument, i + 1 < argc ? argv[++i] : nullptr, 5));
            options.hasLogLevel = true;
        } else {
            usageError("unknown argument '" + shown(argument) + "'");
        }
    }
    return options;
}

std::string text(const tkl::String& s) {
    return s.toUtf8();
}

std::string modeText(const DisplayResolution& mode) {
    return std::to_string(mode.width()) + "x" + std::to_string(mode.height()) + " @ " +
           std::to_string(mode.frequency()) + " Hz";
}

std::string modeWithDepth(const DisplayResolution& mode) {
    return modeText(mode) + ", " + std::to_string(mode.bitsPerPixel()) + " bpp";
}

std::vector<DisplayResolution> modesOf(const VideoPort& port) {
    tkl::Array<DisplayResolution> modes;
    port.supportedResolution(modes);
    std::vector<DisplayResolution> list;
    for (unsigned i = 0; i < modes.size(); ++i) {
        list.push_back(modes[i]);
    }
    return list;
}

nlohmann::ordered_json modeJson(const DisplayResolution& mode) {
    return nlohmann::ordered_json{{"width", mode.width()},
                                  {"height", mode.height()},
                                  {"refreshRate", mode.frequency()},
                                  {"bitsPerPixel", mode.bitsPerPixel()}};
}

nlohmann::ordered_json portJson(unsigned index, const VideoPort& port) {
    nlohmann::ordered_json json;
    json["index"] = index;
    json["connector"] = libVideoPortInfo::connectorTypeName(port.connectorType());
    json["connectorType"] = static_cast<int>(port.connectorType());
    json["monitorAttached"] = port.hasAttachedMonitor();
    json["displayId"] = text(port.displayId());
    const auto monitor = port.monitor();
    if (monitor) {
        json["monitor"] =
            nlohmann::ordered_json{{"name", text(monitor->name())},
                                   {"devicePath", text(monitor->devicePath())},
                                   {"displayId", text(monitor->displayId())},
                                   {"preferredMode", modeJson(monitor->preferredResolution())}};
    } else {
        json["monitor"] = nullptr;
    }
    nlohmann::ordered_json modes = nlohmann::ordered_json::array();
    for (const DisplayResolution& mode : modesOf(port)) {
        modes.push_back(modeJson(mode));
    }
    json["modes"] = modes;
    return json;
}

void printTable(const std::vector<std::pair<unsigned, const VideoPort*>>& ports, bool withModes) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"PORT", "CONNECTOR", "MONITOR", "DISPLAY ID", "NAME", "PREFERRED MODE"});
    for (const auto& entry : ports) {
        const VideoPort& port = *entry.second;
        const auto monitor = port.monitor();
        rows.push_back({std::to_string(entry.first),
                        libVideoPortInfo::connectorTypeName(port.connectorType()),
                        port.hasAttachedMonitor() ? "yes" : "no",
                        port.displayId().empty() ? "-" : text(port.displayId()),
                        monitor && !monitor->name().empty() ? text(monitor->name()) : "-",
                        monitor ? modeText(monitor->preferredResolution()) : "-"});
    }
    std::vector<std::size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) {
                line += std::string(widths[c] - row[c].size() + 2, ' ');
            }
        }
        emit(line + "\n");
    }
    if (!withModes) {
        return;
    }
    for (const auto& entry : ports) {
        const std::vector<DisplayResolution> modes = modesOf(*entry.second);
        emit("\nPort " + std::to_string(entry.first) + ": " + std::to_string(modes.size()) +
             (modes.size() == 1 ? " mode\n" : " modes\n"));
        for (const DisplayResolution& mode : modes) {
            emit("  " + modeWithDepth(mode) + "\n");
        }
    }
}

int run(const Options& options) {
    auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    // The first enumeration's result is not reported: ask again to know.
    if (!factory->refresh()) {
        std::fprintf(stderr, "videoports: the display configuration could not be read\n");
        return exitPlatformFailure;
    }
    const unsigned count = factory->numVideoPorts();
    if (options.hasPort && options.port >= count) {
        std::fprintf(stderr, "videoports: no port %u: this machine has %u port%s\n", options.port,
                     count, count == 1 ? "" : "s");
        return exitUsage;
    }
    std::vector<std::pair<unsigned, const VideoPort*>> ports;
    for (unsigned i = 0; i < count; ++i) {
        if (!options.hasPort || options.port == i) {
            ports.emplace_back(i, factory->videoPort(i).get());
        }
    }
    if (options.json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& entry : ports) {
            list.push_back(portJson(entry.first, *entry.second));
        }
        emit(nlohmann::ordered_json{{"ports", list}}.dump(2) + "\n");
    } else {
        printTable(ports, options.modes);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The same bytes on every platform: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const Options options = parseArguments(argc, argv);
    if (options.hasLogLevel) {
        tkl::LogFactory::setPriority(
            static_cast<tkl::LoggerPriority::LOGGER_PRIORITY>(options.logLevel));
    }
    int status = exitPlatformFailure;
    try {
        status = run(options);
    } catch (const tkl::Exception& e) {
        std::fprintf(stderr, "videoports: %s\n", e.what());
    }
    exitAfterOutput(status);
}
