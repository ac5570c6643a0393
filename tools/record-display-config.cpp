// vpi-record-display-config: writes what this machine's display-configuration
// operations answer as a file that VPI_DISPLAY_CONFIG can replay.
#include "CommandLine.h"

#include "ConfigurationRecorder.h"
#include <standin/ConfigurationJson.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

namespace {

const char* const usage =
    "Usage: vpi-record-display-config [options]\n"
    "Records the display configuration (paths, modes, device names, preferred\n"
    "modes, raw mode lists and monitors' EDIDs) as JSON, to FILE or standard\n"
    "output.\n"
    "\n"
    "Options (a value may also follow an equals sign: --output=FILE):\n"
    "  -o, --output FILE  write the recording to FILE\n"
    "  -h, --help         this text\n"
    "  --version          the version\n"
    "\n"
    "Environment:\n"
    "  VPI_DISPLAY_CONFIG  on Linux, what is recorded is the stand-in platform's\n"
    "                      configuration: this recording, or the built-in sample\n"
    "\n"
    "Exit status: 0 success, 1 the configuration could not be read or the file\n"
    "not written, 2 a bad argument.\n";

struct Request {
    enum class Action { Record, Help, Version, Error } action = Action::Record;
    std::optional<std::string> output;
    std::string error;
};

// Parsing never ends the program: main() decides what to print and the
// exit status.
Request parseArguments(int argc, char** argv) {
    Request request;
    tools::CommandLine line(argc, argv);
    std::optional<std::string> value;
    while (line.next()) {
        if (line.is("--help", "-h")) {
            request.action = Request::Action::Help;
            return request;
        }
        if (line.is("--version")) {
            request.action = Request::Action::Version;
            return request;
        }
        if (line.option("-o", value) || line.option("--output", value)) {
            if (!value || value->empty()) {
                request.action = Request::Action::Error;
                request.error = line.current() + " needs a file name";
                return request;
            }
            request.output = value;
            continue;
        }
        request.action = Request::Action::Error;
        request.error = "unknown argument '" + tools::shown(line.current()) + "'";
        return request;
    }
    return request;
}

int record(const std::optional<std::string>& output) {
    std::string text;
    try {
        text = standin::configurationToJson(standin::recordDisplayConfiguration());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vpi-record-display-config: %s\n", e.what());
        return 1;
    }

    std::FILE* file = output ? std::fopen(output->c_str(), "wb") : stdout;
    if (file == nullptr) {
        std::fprintf(stderr, "vpi-record-display-config: cannot write %s: %s\n", output->c_str(),
                     std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = output ? std::fclose(file) == 0 : std::fflush(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "vpi-record-display-config: cannot write %s\n",
                     output ? output->c_str() : "standard output");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const Request request = parseArguments(argc, argv);
    switch (request.action) {
    case Request::Action::Help:
        std::fputs(usage, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case Request::Action::Version:
        std::printf("vpi-record-display-config %s\n", VPI_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case Request::Action::Error:
        std::fprintf(stderr, "vpi-record-display-config: %s (see --help)\n", request.error.c_str());
        return 2;
    case Request::Action::Record:
        break;
    }
    return record(request.output);
}
