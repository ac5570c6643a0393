// videoports: lists the machine's video ports through the library, as a host
// program would, and with --watch follows their changes; with --prometheus
// writes them as metrics for a fleet's monitoring.
#include "CommandLine.h"
#include "Interruption.h"
#include "PortMetrics.h"
#include "PortReport.h"
#include "ReplaceFile.h"

#include <PortState.h>
#include <tkl/Exception.h>
#include <tkl/Logging.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

using snapshot::PortState;

namespace {

constexpr int exitPlatformFailure = 1;
constexpr int exitUsage = 2;

constexpr unsigned long defaultIntervalMilliseconds = 2000;
constexpr unsigned long shortestIntervalMilliseconds = 10;
constexpr unsigned long longestIntervalMilliseconds = 86400000;

const char* const usage =
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
    "                      file beside it, renamed over it) instead of printing\n"
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

struct Options {
    bool modes = false;
    bool json = false;
    bool hasPort = false;
    unsigned port = 0;
    bool hasLogLevel = false;
    int logLevel = 0;
    bool watch = false;
    bool hasCount = false;
    unsigned long count = 0;
    bool hasInterval = false;
    unsigned long intervalMilliseconds = defaultIntervalMilliseconds;
    bool prometheus = false;
    std::optional<std::string> output; // the metrics file, from -o or --output
    const char* outputOption = "";     // which of the two named it
};

/// What the arguments ask for. Parsing never ends the program: main() alone
/// decides what to print and the exit status.
struct Request {
    enum class Action { Run, Help, Version, Error } action = Action::Run;
    Options options;
    std::string error; // for Error, the message without the program's name
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

// Pushes what was emitted out to standard output; false once a write failed.
bool flushOutput() {
    errno = 0;
    if (std::fflush(stdout) != 0 && outputError == 0) {
        outputError = errno != 0 ? errno : EIO;
    }
    return outputError == 0 && std::ferror(stdout) == 0;
}

// Everything written to standard output must have reached it: a full disk or
// a closed output is a failure, reported on standard error.
int statusAfterOutput(int status) {
    if (!flushOutput()) {
        std::fprintf(stderr, "videoports: cannot write the output: %s\n",
                     std::strerror(outputError != 0 ? outputError : EIO));
        return exitPlatformFailure;
    }
    return status;
}

Request parseArguments(int argc, char** argv) {
    Request request;
    Options& options = request.options;
    const auto fail = [&](std::string message) {
        request.action = Request::Action::Error;
        request.error = std::move(message);
        return request;
    };
    tools::CommandLine line(argc, argv);
    std::optional<std::string> value;
    while (line.next()) {
        const std::string& argument = line.current();
        unsigned long number = 0;
        std::string error;
        if (line.is("--help", "-h")) {
            request.action = Request::Action::Help;
            return request;
        } else if (line.is("--version")) {
            request.action = Request::Action::Version;
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
            options.outputOption = line.current().rfind("--", 0) == 0 ? "--output" : "-o";
            if (!value || value->empty()) {
                error = std::string(options.outputOption) + " needs a file name";
            }
            options.output = value;
        } else if (line.option("--port", value)) {
            error = tools::parseNumber("--port", value, 0xFFFFFFFEul, number);
            options.port = static_cast<unsigned>(number);
            options.hasPort = true;
        } else if (line.option("--log-level", value)) {
            error = tools::parseNumber("--log-level", value, 5, number);
            options.logLevel = static_cast<int>(number);
            options.hasLogLevel = true;
        } else if (line.option("--count", value)) {
            error = tools::parseNumber("--count", value, 0xFFFFFFFFul, options.count);
            options.hasCount = true;
        } else if (line.option("--interval", value)) {
            error = tools::parseSeconds("--interval", value, shortestIntervalMilliseconds,
                                        longestIntervalMilliseconds, options.intervalMilliseconds);
            options.hasInterval = true;
        } else {
            error = "unknown argument '" + tools::shown(argument) + "'";
        }
        if (!error.empty()) {
            return fail(error);
        }
    }
    if (!options.watch && (options.hasCount || options.hasInterval)) {
        return fail(std::string(options.hasCount ? "--count" : "--interval") + " needs --watch");
    }
    if (options.watch && options.hasPort) {
        return fail("--watch follows every port: it does not take --port");
    }
    if (options.output && !options.prometheus) {
        return fail(std::string(options.outputOption) + " needs --prometheus");
    }
    if (options.prometheus) {
        const std::pair<bool, const char*> others[] = {{options.json, "--json"},
                                                       {options.modes, "--modes"},
                                                       {options.watch, "--watch"},
                                                       {options.hasPort, "--port"}};
        for (const auto& [given, name] : others) {
            if (given) {
                return fail(std::string("--prometheus does not take ") + name);
            }
        }
    }
    return request;
}

// Where the configuration shown comes from: "system" on Windows; on the
// stand-in platform the recording named by VPI_DISPLAY_CONFIG, or its
// built-in sample.
std::string configurationSource() {
#ifdef VPI_VIDEOPORTS_ON_STANDIN
    const char* file = std::getenv("VPI_DISPLAY_CONFIG");
    return file != nullptr && *file != '\0' ? file : "built-in";
#else
    return "system";
#endif
}

// Said once before a table of the stand-in's built-in sample, which is easily
// taken for this machine's own configuration.
void noteBuiltInConfiguration(const std::string& source) {
#ifdef VPI_VIDEOPORTS_ON_STANDIN
    if (source == "built-in") {
        std::fprintf(stderr, "videoports: this is the stand-in platform's built-in sample "
                             "configuration; to replay a recorded one, set VPI_DISPLAY_CONFIG to "
                             "its file (vpi-record-display-config -o FILE records one)\n");
    }
#else
    (void)source;
#endif
}

/// In --watch, the library's log lines that merely repeat what the previous
/// enumeration logged are left out: every poll enumerates again, and the
/// same platform's warning every few seconds would bury the changes.
class RepeatFilter {
public:
    RepeatFilter() { tkl::LogFactory::setSink(&RepeatFilter::write, this); }
    ~RepeatFilter() { tkl::LogFactory::setSink(nullptr, nullptr); }
    RepeatFilter(const RepeatFilter&) = delete;
    RepeatFilter& operator=(const RepeatFilter&) = delete;

    /// The lines of the enumeration before are the ones not to repeat.
    void nextEnumeration() { previous_.swap(current_), current_.clear(); }

private:
    static void write(const char* line, void* context) {
        auto* self = static_cast<RepeatFilter*>(context);
        const std::string text = line;
        const bool library = text.rfind("libVideoPortInfo ", 0) == 0;
        self->current_.insert(text);
        if (!library || self->previous_.count(text) == 0) {
            std::fprintf(stderr, "%s\n", line);
            std::fflush(stderr);
        }
    }

    std::set<std::string> previous_;
    std::set<std::string> current_;
};

// Prints one change line; false once the output cannot be written.
bool printChange(const snapshot::PortChange& change, const Options& options) {
    const std::string time = tools::localTimestamp(std::chrono::system_clock::now());
    if (options.json) {
        emit(tools::changeJson(change, time).dump() + "\n");
    } else {
        emit(time + " " + tools::changeText(change) + "\n");
    }
    return flushOutput();
}

// Follows the configuration from `ports` on, until interrupted or `count`
// changes were shown.
int watch(std::vector<PortState> ports, const Options& options, snapshot::DisplayWatcher& watcher,
          RepeatFilter& filter) {
    snapshot::PortWatch followed(std::move(ports), options.intervalMilliseconds,
                                 snapshot::probeConfiguration);
    const snapshot::PortWatch::Reader read = [&]() -> std::optional<std::vector<PortState>> {
        filter.nextEnumeration();
        try {
            std::string reason; // the library's log line says it
            return snapshot::readConfiguration(true, reason);
        } catch (const tkl::Exception& e) {
            std::fprintf(stderr, "videoports: %s\n", e.what());
        }
        return std::nullopt;
    };
    unsigned long shown = 0;
    while (!options.hasCount || shown < options.count) {
        const snapshot::PortWatch::Look look = followed.next(watcher, read);
        if (look.wake == snapshot::DisplayWatcher::Wake::Stop) {
            break;
        }
        if (look.firstFailure) {
            std::fprintf(stderr, "videoports: the display configuration could not be read; "
                                 "still watching\n");
            std::fflush(stderr);
        }
        if (!look.read) {
            continue;
        }
        if (look.recovered) {
            std::fprintf(stderr, "videoports: the display configuration can be read again\n");
            std::fflush(stderr);
        }
        tools::traceWatch("watch: " + std::to_string(look.changes.size()) + " change(s) after " +
                          (look.wake == snapshot::DisplayWatcher::Wake::Message
                               ? "a message"
                               : "the polling interval"));
        for (const snapshot::PortChange& change : look.changes) {
            if (watcher.stopRequested() || (options.hasCount && shown == options.count)) {
                break;
            }
            if (!printChange(change, options)) {
                return exitPlatformFailure;
            }
            ++shown;
        }
    }
    return 0;
}

// The ports as factory() read them when it built the factory: reading again
// at once would only repeat (and log again) a failure. Nothing, after saying
// why, when the configuration could not be read.
std::optional<std::vector<PortState>> firstReading() {
    std::string reason;
    std::optional<std::vector<PortState>> ports = snapshot::readConfiguration(false, reason);
    if (!ports) {
        std::fprintf(stderr, "videoports: %s\n", reason.c_str());
    }
    return ports;
}

// --prometheus: the metrics, on standard output or replacing the -o file.
// A configuration that cannot be read still gives metrics, which say so:
// the port series of an earlier run do not linger as if they were current.
int writeMetrics(const Options& options) {
    std::optional<std::vector<PortState>> ports;
    try {
        ports = firstReading();
    } catch (const std::exception& e) { // the library's exceptions among them
        std::fprintf(stderr, "videoports: %s\n", e.what());
    }
    const std::string text = tools::metricsText(ports, VPI_VERSION);
    const int status = ports ? 0 : exitPlatformFailure;
    if (!options.output) {
        emit(text);
        return status;
    }
    const std::string failure = tools::replaceFile(*options.output, text);
    if (!failure.empty()) {
        std::fprintf(stderr, "videoports: cannot write %s: %s\n", options.output->c_str(),
                     failure.c_str());
        return exitPlatformFailure;
    }
    return status;
}

int run(const Options& options) {
    if (options.prometheus) {
        return writeMetrics(options);
    }
    std::unique_ptr<RepeatFilter> filter;
    std::unique_ptr<snapshot::DisplayWatcher> watcher;
    std::unique_ptr<tools::StopOnInterruption> interruption;
    if (options.watch) {
        // Before the first enumeration: its log lines are the first not to
        // repeat, and an interruption from now on ends the program between
        // two lines of output.
        filter.reset(new RepeatFilter);
        watcher.reset(
            new snapshot::DisplayWatcher(options.intervalMilliseconds, tools::traceWatch));
        interruption.reset(new tools::StopOnInterruption(*watcher));
    }
    std::optional<std::vector<PortState>> read = firstReading();
    if (!read) {
        return exitPlatformFailure;
    }
    std::vector<PortState> ports = std::move(*read);
    const unsigned count = static_cast<unsigned>(ports.size());
    if (options.hasPort && options.port >= count) {
        std::fprintf(stderr, "videoports: no port %u: this machine has %u port%s\n", options.port,
                     count, count == 1 ? "" : "s");
        return exitUsage;
    }
    std::vector<PortState> shown;
    for (const PortState& port : ports) {
        if (!options.hasPort || options.port == port.index) {
            shown.push_back(port);
        }
    }
    const std::string source = configurationSource();
    if (options.json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const PortState& port : shown) {
            list.push_back(tools::portJson(port));
        }
        if (options.watch) {
            // JSON Lines from the first line on: the listing is one object.
            const std::string time = tools::localTimestamp(std::chrono::system_clock::now());
            emit(nlohmann::ordered_json{
                     {"time", time}, {"event", "listed"}, {"source", source}, {"ports", list}}
                     .dump() +
                 "\n");
        } else {
            emit(nlohmann::ordered_json{{"source", source}, {"ports", list}}.dump(2) + "\n");
        }
    } else {
        noteBuiltInConfiguration(source);
        emit(tools::tableText(shown, options.modes));
    }
    if (!options.watch) {
        return 0;
    }
    if (!flushOutput()) {
        return exitPlatformFailure; // reported by main
    }
    const int status = watch(std::move(ports), options, *watcher, *filter);
    interruption->finished();
    return status;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The same bytes on every platform: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const Request request = parseArguments(argc, argv);
    switch (request.action) {
    case Request::Action::Help:
        emit(usage);
        return statusAfterOutput(0);
    case Request::Action::Version:
        emit(std::string("videoports ") + VPI_VERSION + "\n");
        return statusAfterOutput(0);
    case Request::Action::Error:
        std::fprintf(stderr, "videoports: %s (see --help)\n", request.error.c_str());
        return exitUsage;
    case Request::Action::Run:
        break;
    }
    const Options& options = request.options;
    if (options.hasLogLevel) {
        tkl::LogFactory::setPriority(
            static_cast<tkl::LoggerPriority::LOGGER_PRIORITY>(options.logLevel));
    }
    int status = exitPlatformFailure;
    try {
        status = run(options);
    } catch (const std::exception& e) { // the library's exceptions among them
        std::fprintf(stderr, "videoports: %s\n", e.what());
    }
    return statusAfterOutput(status);
}
