// list-ports: the smallest useful host of the library. It lists every video
// port with its connector, the attached monitor's name and preferred mode,
// and then the distinct display modes of one port (the first by default, or
// the one whose index is the first argument).
#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <tkl/Exception.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace libVideoPortInfo;

namespace {

// Library strings are UCS-2 inside; toUtf8() gives text for the terminal.
std::string text(const tkl::String& s) {
    return s.empty() ? "-" : s.toUtf8();
}

void printMode(const DisplayResolution& mode) {
    std::printf("%ux%u @ %u Hz", mode.width(), mode.height(), mode.frequency());
}

} // namespace

int main(int argc, char** argv) {
    try {
        // The one factory of the process. The handle owns nothing: the factory
        // lives until the library is unloaded.
        auto factory = VideoPortFactoryWin7::factory();

        // The configuration was read inside factory(), which does not report
        // a failure: the factory keeps it. (Reading again with refresh()
        // would only repeat a failure, and its log line.)
        const auto failure = static_cast<VideoPortFactoryWin7&>(*factory).lastReadFailure();
        if (failure.operation != nullptr) {
            std::fprintf(stderr,
                         "list-ports: the display configuration could not be read: %s "
                         "returned %ld\n",
                         failure.operation, failure.code);
            return 1;
        }

        const unsigned count = factory->numVideoPorts();
        std::printf("%u port%s\n", count, count == 1 ? "" : "s");
        for (unsigned i = 0; i < count; ++i) {
            // Valid until the next successful refresh().
            auto port = factory->videoPort(i);
            std::printf("port %u: %s", i, connectorTypeName(port->connectorType()));
            // Empty when the port has no monitor; valid while the port lives.
            auto monitor = port->monitor();
            if (monitor) {
                std::printf(", monitor %s, preferred ", text(monitor->name()).c_str());
                printMode(monitor->preferredResolution());
            } else {
                std::printf(", no monitor");
            }
            std::printf(", display %s\n", text(port->displayId()).c_str());
        }

        if (count == 0) {
            return 0;
        }
        const unsigned chosen =
            argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 0;
        // videoPort() throws tkl::IndexOutOfBounds for an index not below the
        // count; it is caught below like every other library exception.
        auto port = factory->videoPort(chosen);
        tkl::Array<DisplayResolution> modes;
        const unsigned distinct = port->supportedResolution(modes);
        std::printf("port %u: %u distinct mode%s\n", chosen, distinct, distinct == 1 ? "" : "s");
        for (unsigned i = 0; i < modes.size(); ++i) {
            std::printf("  ");
            printMode(modes[i]);
            std::printf(", %u bpp\n", modes[i].bitsPerPixel());
        }
        return 0;
    } catch (const tkl::Exception& e) {
        std::fprintf(stderr, "list-ports: %s\n", e.what());
        return 1;
    }
}
