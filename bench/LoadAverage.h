// The machine's load, which every benchmark prints beside its figures: the
// machine is shared, and a figure means little without it.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

/// The 1, 5 and 15 minute load averages, "1.22 1.92 3.04"; "unknown" where
/// they cannot be read. Under Wine, Z: is the host's root.
inline std::string loadAverage() {
#ifdef _WIN32
    const char* file = "Z:\\proc\\loadavg";
#else
    const char* file = "/proc/loadavg";
#endif
    char text[64] = {0};
    if (std::FILE* f = std::fopen(file, "r")) {
        if (std::fgets(text, sizeof text, f) == nullptr) {
            text[0] = '\0';
        }
        std::fclose(f);
    }
    std::string load(text);
    std::size_t end = 0;
    for (int field = 0; field < 3 && end != std::string::npos; ++field) {
        end = load.find(' ', end + (field != 0 ? 1 : 0));
    }
    load = load.substr(0, end);
    return load.empty() ? "unknown" : load;
}

} // namespace bench
