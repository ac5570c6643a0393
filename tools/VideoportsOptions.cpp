#include "VideoportsOptions.h"

#include "CommandLine.h"

#include <utility>

namespace tools {

namespace {

constexpr unsigned long shortestIntervalMilliseconds = 10;
constexpr unsigned long longestIntervalMilliseconds = 86400000;

} // namespace

const char* const videoportsUsage =
    "Usage: videoports [options]\n"
    "Lists the video ports of this machine: connector, attached monitor, display id,\n"
    "monitor name and preferred mode.\n"
    "\n"
    "Options (a value may also follow an equals sign: --port=1):\n"
    "  --modes             also list each port's distinct display modes\n"
    "  --port N            only port N (0-based)\n"
    "  --json              everything, as JSON (modes included)\n"
    "  --watch             list the ports, then print one line per change of the\n"
    "                      display configuration until interrupted (with --json,\n"
    "                      one JSON object per line)\n"
    "  --count N           with --watch: end after N changes\n"
    "  --interval SECONDS  with --watch: look for changes at least this often\n"
    "                      (default 2; decimals allowed, as in 0.5)\n"
    "  --prometheus        the ports as Prometheus metrics (text exposition format),\n"
    "                      for the textfile collector of the node or Windows exporter\n"
    "  -o, --output FILE   with --prometheus: replace FILE in one step (a temporary\n"
    "                      file beside it, renamed over it) instead of printing;\n"
    "                      - prints\n"
    "  --svg FILE          a picture of the desktop's layout as SVG, replacing FILE in\n"
    "                      one step (- prints it)\n"
    "  --edid FILE         decode the EDID in FILE (binary, or hex as edid-decode and\n"
    "                      xrandr --props print it; - reads standard input) and print\n"
    "                      it as JSON, instead of listing the ports\n"
    "  --log-level N       log threshold: 0 trace, 1 debug, 2 info, 3 warning (default),\n"
    "                      4 error, 5 fatal\n"
    "  -h, --help          this text\n"
    "  --version           the version\n"
    "\n"
    "Environment:\n"
    "  VPI_DISPLAY_CONFIG  on Linux, a recorded configuration (JSON) to show instead\n"
    "                      of the built-in sample; vpi-record-display-config records one\n"
    "  TKL_LOG_PRIORITY    the log threshold when --log-level is not given (0 to 5)\n"
    "\n"
    "Exit status: 0 success (with --watch: interrupted, or N changes shown), 1 the\n"
    "display configuration could not be read (--prometheus still writes its\n"
    "metrics, which say so) or the output could not be written, 2 a bad argument\n"
    "or port index.\n";

VideoportsRequest parseVideoportsArguments(int argc, char** argv) {
    VideoportsRequest request;
    VideoportsOptions& options = request.options;
    const auto fail = [&](std::string message) {
        request.action = VideoportsRequest::Action::Error;
        request.error = std::move(message);
        return request;
    };
    CommandLine line(argc, argv);
    std::optional<std::string> value;
    const char* outputOption = ""; // which of -o and --output named the file
    while (line.next()) {
        unsigned long number = 0;
        std::string error;
        if (line.is("--help", "-h")) {
            request.action = VideoportsRequest::Action::Help;
            return request;
        } else if (line.is("--version")) {
            request.action = VideoportsRequest::Action::Version;
            return request;
        } else if (line.is("--modes")) {
            options.modes = true;
        } else if (line.is("--json")) {
            options.json = true;
        } else if (line.is("--watch")) {
            options.watch = true;
        } else if (line.is("--prometheus")) {
            options.prometheus = true;
        } else if (line.option("-o", value) || line.option("--output", value)) {
            outputOption = line.current().rfind("--", 0) == 0 ? "--output" : "-o";
            if (!value || value->empty()) {
                error = std::string(outputOption) + " needs a file name";
            }
            options.output = value;
        } else if (line.option("--svg", value)) {
            if (!value || value->empty()) {
                error = "--svg needs a file name";
            }
            options.svgFile = value;
        } else if (line.option("--edid", value)) {
            if (!value || value->empty()) {
                error = "--edid needs a file name";
            }
            options.edidFile = value;
        } else if (line.option("--port", value)) {
            error = parseNumber("--port", value, 0xFFFFFFFEul, number);
            options.port = static_cast<unsigned>(number);
        } else if (line.option("--log-level", value)) {
            error = parseNumber("--log-level", value, 5, number);
            options.logLevel = static_cast<int>(number);
        } else if (line.option("--count", value)) {
            error = parseNumber("--count", value, 0xFFFFFFFFul, number);
            options.count = number;
        } else if (line.option("--interval", value)) {
            error = parseSeconds("--interval", value, shortestIntervalMilliseconds,
                                 longestIntervalMilliseconds, options.intervalMilliseconds);
            options.hasInterval = true;
        } else {
            error = "unknown argument '" + shown(line.current()) + "'";
        }
        if (!error.empty()) {
            return fail(error);
        }
    }
    if (!options.watch && (options.count || options.hasInterval)) {
        return fail(std::string(options.count ? "--count" : "--interval") + " needs --watch");
    }
    if (options.watch && options.port) {
        return fail("--watch follows every port: it does not take --port");
    }
    if (options.output && !options.prometheus) {
        return fail(std::string(outputOption) + " needs --prometheus");
    }
    // --edid, --svg and --prometheus each print something of their own, alone.
    const char* alone = options.edidFile     ? "--edid"
                        : options.svgFile    ? "--svg"
                        : options.prometheus ? "--prometheus"
                                             : nullptr;
    if (alone != nullptr) {
        const std::pair<bool, const char*> others[] = {
            {options.json, "--json"},
            {options.modes, "--modes"},
            {options.watch, "--watch"},
            {options.port.has_value(), "--port"},
            {options.svgFile && options.edidFile, "--svg"},
            {options.prometheus && (options.edidFile || options.svgFile), "--prometheus"}};
        for (const auto& [given, name] : others) {
            if (given) {
                return fail(std::string(alone) + " does not take " + name);
            }
        }
    }
    return request;
}

} // namespace tools
