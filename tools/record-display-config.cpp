// vpi-record-display-config: writes what this machine's display-configuration
// operations answer as a file that VPI_DISPLAY_CONFIG can replay.
#include <standin/ConfigurationJson.h>
#include <standin/Recorder.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

void usage(std::FILE* out) {
    std::fputs("usage: vpi-record-display-config [-o FILE]\n"
               "Records the display configuration (paths, modes, device names, preferred\n"
               "modes and raw mode lists) as JSON, to FILE or standard output.\n",
               out);
}

} // namespace

int main(int argc, char** argv) {
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            usage(stdout);
            return 0;
        } else {
            usage(stderr);
            return 2;
        }
    }

    std::string text;
    try {
        text = standin::configurationToJson(standin::recordDisplayConfiguration());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vpi-record-display-config: %s\n", e.what());
        return 1;
    }

    std::FILE* file = output != nullptr ? std::fopen(output, "wb") : stdout;
    if (file == nullptr) {
        std::fprintf(stderr, "vpi-record-display-config: cannot write %s: %s\n", output,
                     std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = output != nullptr ? std::fclose(file) == 0 : std::fflush(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "vpi-record-display-config: cannot write %s\n",
                     output != nullptr ? output : "standard output");
        return 1;
    }
    return 0;
}
