// watch_idle: what an idle watch costs. Runs a vpi watch at the default
// polling interval (or --interval MS) with a callback that does nothing, and
// after its first poll (a full reading, which tells the watch what readings
// cost) prints the process's CPU time over S seconds as a share of one core,
// with the CPU time of one full reading of the configuration and the
// machine's load.
//
//   watch_idle [--seconds S] [--interval MS]
//
// Under Wine, part of every platform call runs in the wineserver, another
// process: scripts/bench.sh --wine adds its CPU time from outside.
#include "LoadAverage.h"

#include <vpi/vpi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace {

// CPU seconds of the whole process, every thread.
double processCpuSeconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return (double(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
#else
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
#endif
}

using bench::loadAverage;

void ignore(const vpi_watch_event*, void*) {}

} // namespace

int main(int argc, char** argv) {
    double seconds = 20;
    unsigned interval = 0; // the library's default
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--interval") == 0 && i + 1 < argc) {
            interval = static_cast<unsigned>(std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: watch_idle [--seconds S] [--interval MS]\n");
            return 2;
        }
    }

    // One read of everything, as each poll does: the first read of the
    // process builds the factory, so the second is the one measured.
    vpi_snapshot* snapshot = nullptr;
    for (int round = 0; round < 2; ++round) {
        vpi_snapshot_free(snapshot);
        snapshot = nullptr;
        const double before = processCpuSeconds();
        if (vpi_snapshot_take(&snapshot) != VPI_OK) {
            std::fprintf(stderr, "watch_idle: %s\n", vpi_last_error());
            return 1;
        }
        if (round == 1) {
            std::printf("one read: %u ports, %.3f ms of CPU\n", vpi_port_count(snapshot),
                        (processCpuSeconds() - before) * 1e3);
        }
    }
    vpi_snapshot_free(snapshot);

    vpi_watch* watch = nullptr;
    if (vpi_watch_start(ignore, nullptr, interval, &watch) != VPI_OK) {
        std::fprintf(stderr, "watch_idle: %s\n", vpi_last_error());
        return 1;
    }
    // The first poll reads in full, and learns what a full reading costs:
    // what follows is the watch at rest.
    const unsigned firstPoll = interval != 0 && interval < 2000 ? interval : 2000;
    std::this_thread::sleep_for(std::chrono::milliseconds(firstPoll) + std::chrono::seconds(1));
    std::printf("watching\n");
    std::fflush(stdout);
    const std::string loadBefore = loadAverage();
    const double cpuBefore = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = processCpuSeconds() - cpuBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    vpi_watch_stop(watch);
    std::printf("idle watch, interval %u ms: %.4f%% of a core (%.1f ms of CPU in %.1f s); "
                "load %s -> %s\n",
                interval != 0 ? interval : 2000, 100.0 * cpu / wall, cpu * 1e3, wall,
                loadBefore.c_str(), loadAverage().c_str());
    return 0;
}
