// Soak: many refreshes, each followed by every port's mode listing, on the
// configuration the stand-in serves (the built-in laptop, or the recording
// that VPI_DISPLAY_CONFIG names). Prints the time per refresh against the same
// work done with the raw platform calls in the same process, in interleaved
// blocks, and the resident set at the start, after 1,000 refreshes and at the
// end. Every refresh must give the same port count and mode counts as the
// first; otherwise the program says so and exits with 1.
//
//   soak_bench [REFRESHES]   (default 100000)
#include <libVideoPortInfo/DisplayResolution.h>
#include <libVideoPortInfo/Platform.h>
#include <libVideoPortInfo/VideoPort.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <tkl/Array.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

std::string loadAverage() {
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// One refresh and every port's listing; the mode count of each port.
std::vector<unsigned> libraryRound(libVideoPortInfo::VideoPortFactory& factory) {
    if (!factory.refresh()) {
        std::fprintf(stderr, "soak: a refresh failed\n");
        std::exit(1);
    }
    std::vector<unsigned> counts;
    tkl::Array<libVideoPortInfo::DisplayResolution> modes;
    for (unsigned i = 0; i < factory.numVideoPorts(); ++i) {
        counts.push_back(factory.videoPort(i)->supportedResolution(modes));
    }
    return counts;
}

template <typename Record>
LONG request(Record& record, DISPLAYCONFIG_DEVICE_INFO_TYPE type, const LUID& adapter, UINT32 id) {
    record = libVideoPortInfo::makeDeviceInfoRequest<Record>(type, adapter, id);
    return DisplayConfigGetDeviceInfo(&record.header);
}

// The same work with the platform's calls alone: both tables, one path per
// target, its names and preferred mode, and its device's distinct modes.
std::vector<unsigned> rawRound() {
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    std::vector<unsigned> counts;
    if (GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &pathCount, &modeCount) != ERROR_SUCCESS ||
        pathCount == 0) {
        return counts;
    }
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(pathCount);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(std::max<UINT32>(modeCount, 1));
    modeCount = static_cast<UINT32>(modes.size());
    if (QueryDisplayConfig(QDC_ALL_PATHS, &pathCount, paths.data(), &modeCount, modes.data(),
                           nullptr) != ERROR_SUCCESS) {
        return counts;
    }
    paths.resize(pathCount);
    std::vector<DISPLAYCONFIG_PATH_INFO> kept;
    for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
        const bool seen = std::any_of(kept.begin(), kept.end(), [&](const auto& k) {
            return k.targetInfo.id == path.targetInfo.id &&
                   k.targetInfo.adapterId.LowPart == path.targetInfo.adapterId.LowPart &&
                   k.targetInfo.adapterId.HighPart == path.targetInfo.adapterId.HighPart;
        });
        if (!seen) {
            kept.push_back(path);
        }
    }
    for (const DISPLAYCONFIG_PATH_INFO& path : kept) {
        DISPLAYCONFIG_SOURCE_DEVICE_NAME source;
        request(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, path.sourceInfo.adapterId,
                path.sourceInfo.id);
        if (path.flags & DISPLAYCONFIG_PATH_ACTIVE) {
            DISPLAYCONFIG_TARGET_DEVICE_NAME target;
            request(target, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, path.targetInfo.adapterId,
                    path.targetInfo.id);
            DISPLAYCONFIG_TARGET_PREFERRED_MODE preferred;
            request(preferred, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE,
                    path.targetInfo.adapterId, path.targetInfo.id);
        }
        std::vector<std::tuple<DWORD, DWORD, DWORD, DWORD>> distinct;
        for (DWORD n = 0;; ++n) {
            DEVMODEW mode{};
            mode.dmSize = sizeof mode;
            if (!EnumDisplaySettingsExW(source.viewGdiDeviceName, n, &mode, EDS_RAWMODE)) {
                break;
            }
            const auto value = std::make_tuple(mode.dmPelsWidth, mode.dmPelsHeight,
                                               mode.dmDisplayFrequency, mode.dmBitsPerPel);
            if (std::find(distinct.begin(), distinct.end(), value) == distinct.end()) {
                distinct.push_back(value);
            }
        }
        counts.push_back(static_cast<unsigned>(distinct.size()));
    }
    return counts;
}

} // namespace

int main(int argc, char** argv) {
    const long refreshes = argc > 1 ? std::atol(argv[1]) : 100000;
    if (refreshes < 1000) {
        std::fprintf(stderr, "usage: soak_bench [REFRESHES >= 1000]\n");
        return 2;
    }
    auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    const std::vector<unsigned> first = libraryRound(*factory);
    if (rawRound() != first) {
        std::fprintf(stderr, "soak: the library and the raw calls disagree on the modes\n");
        return 1;
    }
    std::size_t modes = 0;
    for (unsigned count : first) {
        modes += count;
    }
    std::printf("soak: %ld refreshes of %zu ports (%zu distinct modes) with every listing\n",
                refreshes, first.size(), modes);
    std::printf("load average at the start: %s\n", loadAverage().c_str());
    const double atStart = residentMiB();
    double after1000 = 0;

    // Blocks of 500 rounds, library and raw calls in turn.
    constexpr long block = 500;
    Clock::duration library{};
    Clock::duration raw{};
    long rawRounds = 0;
    for (long done = 0; done < refreshes;) {
        const long n = std::min(block, refreshes - done);
        const Clock::time_point start = Clock::now();
        for (long i = 0; i < n; ++i) {
            if (libraryRound(*factory) != first) {
                std::fprintf(stderr, "soak: refresh %ld gave other ports or modes\n", done + i);
                return 1;
            }
        }
        const Clock::time_point middle = Clock::now();
        for (long i = 0; i < n; ++i) {
            if (rawRound().size() != first.size()) {
                std::fprintf(stderr, "soak: the raw calls failed\n");
                return 1;
            }
        }
        raw += Clock::now() - middle;
        library += middle - start;
        rawRounds += n;
        done += n;
        if (done == 1000) {
            after1000 = residentMiB();
        }
    }
    const double atEnd = residentMiB();
    const auto micros = [](Clock::duration d, long n) {
        return std::chrono::duration<double, std::micro>(d).count() / double(n);
    };
    const double perRefresh = micros(library, refreshes);
    const double perRaw = micros(raw, rawRounds);
    std::printf("time per refresh with listings: library %.2f us, raw platform calls %.2f us, "
                "ratio %.2f\n",
                perRefresh, perRaw, perRefresh / perRaw);
    std::printf("resident set: %.2f MiB at the start, %.2f MiB after 1000, %.2f MiB at the end\n",
                atStart, after1000, atEnd);
    std::printf("load average at the end: %s\n", loadAverage().c_str());
    return 0;
}
