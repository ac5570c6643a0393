// videoports: lists the machine's video ports through the library, as a host
// program would, and with --watch follows their changes; with --prometheus
// writes them as metrics for a fleet's monitoring. What it reads and how it
// watches are the library's (src/snapshot); this file chooses what to print.
#include "EdidJson.h"
#include "Interruption.h"
#include "Output.h"
#include "PortMetrics.h"
#include "PortReport.h"
#include "ReplaceFile.h"
#include "VideoportsOptions.h"

#include <Reading.h>
#include <Watch.h>
#include <edid/Edid.h>
#include <edid/EdidFile.h>
#include <tkl/Logging.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using snapshot::PortState;
using tools::exitPlatformFailure;
using tools::exitUsage;

namespace {

using Options = tools::VideoportsOptions;

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

void sayOnStandardError(const std::string& line) {
    std::fprintf(stderr, "videoports: %s\n", line.c_str());
    std::fflush(stderr);
}

// The ports now, or nothing after saying why.
std::optional<std::vector<PortState>> firstReading(snapshot::Reader reader) {
    snapshot::Reading reading = snapshot::readConfiguration(reader);
    if (!reading.ports) {
        sayOnStandardError(reading.reason);
    }
    return std::move(reading.ports);
}

// Tells a failed reading and a recovered one on standard error.
void tellReading(const snapshot::WatchEvent& event) {
    if (event.type == snapshot::WatchEvent::Type::ReadFailed) {
        if (!event.reasonLogged) { // the library's log line says it otherwise
            sayOnStandardError(event.reason);
        }
        sayOnStandardError("the display configuration could not be read; still watching");
    } else if (event.type == snapshot::WatchEvent::Type::ReadRecovered) {
        sayOnStandardError("the display configuration can be read again");
    }
}

// Follows the configuration until interrupted or `count` changes were shown;
// each change is one line, stamped with the local time.
int follow(snapshot::Watch& watch, const Options& options, tools::Output& out) {
    unsigned long shown = 0;
    while (!options.count || shown < *options.count) {
        const snapshot::Look look = watch.next();
        if (look.wake == snapshot::DisplayWatcher::Wake::Stop) {
            break;
        }
        std::size_t changes = 0;
        for (const snapshot::WatchEvent& event : look.events) {
            tellReading(event);
            changes += event.changes.size();
        }
        if (!look.read) {
            continue;
        }
        tools::traceWatch("watch: " + std::to_string(changes) + " change(s) after " +
                          (look.wake == snapshot::DisplayWatcher::Wake::Message
                               ? "a message"
                               : "the polling interval"));
        for (const snapshot::WatchEvent& event : look.events) {
            for (const snapshot::PortChange& change : event.changes) {
                if (watch.stopRequested() || (options.count && shown == *options.count)) {
                    return 0;
                }
                const std::string time = tools::localTimestamp(std::chrono::system_clock::now());
                out.write(options.json ? tools::changeJson(change, time).dump() + "\n"
                                       : time + " " + tools::changeText(change) + "\n");
                if (!out.flush()) {
                    return exitPlatformFailure;
                }
                ++shown;
            }
        }
    }
    return 0;
}

// `text` on standard output for "-", else replacing `file` in one step; 0,
// or the exit status after saying why it could not be written.
int writeFile(const std::string& file, const std::string& text, tools::Output& out) {
    if (file == "-") {
        out.write(text);
        return 0;
    }
    const std::string failure = tools::replaceFile(file, text);
    if (!failure.empty()) {
        sayOnStandardError("cannot write " + file + ": " + failure);
        return exitPlatformFailure;
    }
    return 0;
}

// --prometheus: the metrics, on standard output or replacing the -o file.
// A configuration that cannot be read still gives metrics, which say so:
// the port series of an earlier run do not linger as if they were current.
int writeMetrics(const Options& options, tools::Output& out) {
    const std::optional<std::vector<PortState>> ports = firstReading(snapshot::Reader::Snapshot);
    const int status = ports ? 0 : exitPlatformFailure;
    const int written =
        writeFile(options.output.value_or("-"), tools::metricsText(ports, VPI_VERSION), out);
    return written != 0 ? written : status;
}

// --edid: the EDID in a file (or standard input) decoded, as JSON. An EDID is
// at most 256 blocks of 128 bytes, written as hex at most about three times
// that; a file beyond the limit is no EDID.
int decodeEdidFile(const std::string& name, tools::Output& out) {
    constexpr std::size_t limit = 1 << 20;
    std::FILE* file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        sayOnStandardError("cannot read " + name + ": " + std::strerror(errno));
        return exitPlatformFailure;
    }
    std::string contents;
    char buffer[4096];
    std::size_t got = 0;
    while (contents.size() <= limit && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        contents.append(buffer, got);
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    if (file != stdin) {
        std::fclose(file);
    }
    if (failed) {
        sayOnStandardError("cannot read " + name + ": " + std::strerror(error));
        return exitPlatformFailure;
    }
    std::optional<edid::Edid> decoded;
    if (contents.size() <= limit) {
        if (const auto bytes = edid::bytesFromFile(contents)) {
            decoded = edid::decode(*bytes);
        }
    }
    if (!decoded) {
        sayOnStandardError(name + " holds no EDID");
        return exitPlatformFailure;
    }
    out.write(tools::edidJson(*decoded).dump(2) + "\n");
    return 0;
}

// --svg: the picture of the layout, on standard output or replacing FILE.
int writeLayout(const std::string& file, tools::Output& out) {
    const std::optional<std::vector<PortState>> ports = firstReading(snapshot::Reader::Snapshot);
    return ports ? writeFile(file, tools::layoutSvgText(*ports), out) : exitPlatformFailure;
}

// The listing: the table or the JSON document; with --watch, the first line
// of JSON Lines.
void writeListing(const std::vector<PortState>& ports, const Options& options, tools::Output& out) {
    const std::string source = configurationSource();
    if (!options.json) {
        noteBuiltInConfiguration(source);
        out.write(tools::tableText(ports, options.modes));
        return;
    }
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const PortState& port : ports) {
        list.push_back(tools::portJson(port));
    }
    if (options.watch) {
        const std::string time = tools::localTimestamp(std::chrono::system_clock::now());
        out.write(nlohmann::ordered_json{
                      {"time", time}, {"event", "listed"}, {"source", source}, {"ports", list}}
                      .dump() +
                  "\n");
    } else {
        out.write(nlohmann::ordered_json{{"source", source}, {"ports", list}}.dump(2) + "\n");
    }
}

int run(const Options& options, tools::Output& out) {
    if (options.edidFile) {
        return decodeEdidFile(*options.edidFile, out);
    }
    if (options.svgFile) {
        return writeLayout(*options.svgFile, out);
    }
    if (options.prometheus) {
        return writeMetrics(options, out);
    }
    std::optional<snapshot::Watch> watch;
    std::optional<tools::StopOnInterruption> interruption;
    if (options.watch) {
        // Before the first reading: a change from now on is seen, and an
        // interruption ends the program between two lines of output.
        watch.emplace(options.intervalMilliseconds, tools::traceWatch);
        interruption.emplace(watch->watcher());
    }
    std::optional<std::vector<PortState>> ports =
        firstReading(options.watch ? snapshot::Reader::Watch : snapshot::Reader::Snapshot);
    if (!ports) {
        return exitPlatformFailure;
    }
    const unsigned count = static_cast<unsigned>(ports->size());
    if (options.port && *options.port >= count) {
        std::fprintf(stderr, "videoports: no port %u: this machine has %u port%s\n", *options.port,
                     count, count == 1 ? "" : "s");
        return exitUsage;
    }
    if (options.port) {
        writeListing({(*ports)[*options.port]}, options, out);
    } else {
        writeListing(*ports, options, out);
    }
    if (!watch) {
        return 0;
    }
    if (!out.flush()) {
        return exitPlatformFailure; // reported by main
    }
    watch->begin(std::move(*ports));
    const int status = follow(*watch, options, out);
    interruption->finished();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    tools::Output out;
    const tools::VideoportsRequest request = tools::parseVideoportsArguments(argc, argv);
    switch (request.action) {
    case tools::VideoportsRequest::Action::Help:
        out.write(tools::videoportsUsage);
        return out.finish(0);
    case tools::VideoportsRequest::Action::Version:
        out.write(std::string("videoports ") + VPI_VERSION + "\n");
        return out.finish(0);
    case tools::VideoportsRequest::Action::Error:
        std::fprintf(stderr, "videoports: %s (see --help)\n", request.error.c_str());
        return exitUsage;
    case tools::VideoportsRequest::Action::Run:
        break;
    }
    const Options& options = request.options;
    if (options.logLevel) {
        tkl::LogFactory::setPriority(
            static_cast<tkl::LoggerPriority::LOGGER_PRIORITY>(*options.logLevel));
    }
    int status = exitPlatformFailure;
    try {
        status = run(options, out);
    } catch (const std::exception& e) { // the library's exceptions among them
        sayOnStandardError(e.what());
    }
    return out.finish(status);
}
