// Figures for the back-end on the stand-in platform: a full refresh (snapshot,
// de-duplication, one port per target) and a resolution listing, for machines
// of growing size.
#include "../tests/support/ConfigurationBuilders.h"

#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <standin/StandIn.h>

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::u16string gdiName(unsigned n) {
    const std::string text = "\\\\.\\DISPLAY" + std::to_string(n);
    return std::u16string(text.begin(), text.end());
}

/// Mode records in every machine's table, whatever its size: enough for the
/// active paths of the largest machine, so that the refresh figures grow with
/// the number of paths alone.
constexpr unsigned modeTableSize = 2 * 32;

/// One adapter with `targets` targets and as many sources; every source can
/// drive every target, so QDC_ALL_PATHS lists targets x targets paths: the
/// active path of each target first, then all the others.
standin::Configuration machine(unsigned targets, unsigned modesPerDevice) {
    standin::Configuration config;
    const LUID adapter = standin::makeLuid(0x42);
    for (unsigned source = 0; source < targets; ++source) {
        setSourceName(config, adapter, source, gdiName(source + 1));
        for (unsigned m = 0; m < modesPerDevice; ++m) {
            addDisplayMode(config, gdiName(source + 1), 640 + (m / 2) * 16, 480, 60, 32);
        }
    }
    for (unsigned target = 0; target < targets; ++target) {
        const UINT32 index = static_cast<UINT32>(config.modes.size());
        config.modes.push_back(standin::makeSourceMode(adapter, target, 1920, 1080));
        config.modes.push_back(standin::makeTargetMode(adapter, 100 + target, 1920, 1080, 60, 1));
        config.paths.push_back(
            standin::makePath(adapter, target, 100 + target, DISPLAYCONFIG_PATH_ACTIVE,
                              DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI, index, index + 1));
        setTargetName(config, adapter, 100 + target, u"Monitor", u"\\\\?\\DISPLAY#MON");
        setPreferredMode(config, adapter, 100 + target, 1920, 1080, 60, 1);
    }
    while (config.modes.size() < modeTableSize) {
        config.modes.push_back(standin::makeSourceMode(adapter, 0, 640, 480));
    }
    for (unsigned source = 0; source < targets; ++source) {
        for (unsigned target = 0; target < targets; ++target) {
            if (source != target) {
                config.paths.push_back(standin::makePath(adapter, source, 100 + target, 0,
                                                         DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI));
            }
        }
    }
    return config;
}

// Over the number of paths (targets x sources, 4 to 1024), with a mode table
// of the same size throughout: de-duplication and port building should make
// this linear.
void refresh(benchmark::State& state) {
    const unsigned targets = static_cast<unsigned>(state.range(0));
    standin::setConfiguration(machine(targets, 0));
    auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    for (auto _ : state) {
        if (!factory->refresh()) {
            state.SkipWithError("refresh failed");
            break;
        }
    }
    state.counters["targets"] = targets;
    state.SetComplexityN(targets * targets);
}
BENCHMARK(refresh)->RangeMultiplier(2)->Range(2, 32)->Complexity(benchmark::oAuto);

// Over the number of raw modes of one device, each reported twice in a row.
void supportedResolution(benchmark::State& state) {
    const unsigned modes = static_cast<unsigned>(state.range(0));
    standin::setConfiguration(machine(1, modes));
    auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    factory->refresh();
    const auto port = factory->videoPort(0);
    tkl::Array<libVideoPortInfo::DisplayResolution> out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(port->supportedResolution(out));
    }
    state.SetComplexityN(modes);
}
BENCHMARK(supportedResolution)
    ->Arg(12)
    ->Arg(156)
    ->Arg(1024)
    ->Arg(5000)
    ->Complexity(benchmark::oAuto);

} // namespace

BENCHMARK_MAIN();
