#pragma once

// Shared setup of the back-end tests: the stand-in platform serves a scripted
// configuration, log lines are captured, and the process-wide factory is
// rebuilt from the configuration by refresh().
#include "../support/ConfigurationBuilders.h"

#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <libVideoPortInfo/VideoPortWin7.h>
#include <standin/StandIn.h>
#include <tkl/Logging.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace backend_test {

using libVideoPortInfo::VideoPort;
using libVideoPortInfo::VideoPortFactory;
using libVideoPortInfo::VideoPortWin7;
using standin::Configuration;

inline LUID adapter(DWORD low, LONG high = 0) {
    return standin::makeLuid(low, high);
}

inline std::u16string gdiName(unsigned n) {
    const std::string text = "\\\\.\\DISPLAY" + std::to_string(n);
    return std::u16string(text.begin(), text.end());
}

inline std::u16string ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

/// One adapter; `targets` target ids 100, 101, ...; target i is reached
/// from source i by an active path when i < active, else by inactive paths.
/// Every source has a GDI name and every active target a name and a
/// preferred mode.
inline Configuration simpleConfiguration(
    unsigned targets, unsigned active,
    DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY tech = DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI) {
    Configuration config;
    const LUID luid = adapter(0x1234);
    for (unsigned i = 0; i < targets; ++i) {
        const UINT32 target = 100 + i;
        setSourceName(config, luid, i, gdiName(i + 1));
        if (i < active) {
            const UINT32 sourceMode = static_cast<UINT32>(config.modes.size());
            config.modes.push_back(standin::makeSourceMode(luid, i, 1920, 1080));
            config.modes.push_back(standin::makeTargetMode(luid, target, 1920, 1080, 60, 1));
            config.paths.push_back(standin::makePath(luid, i, target, DISPLAYCONFIG_PATH_ACTIVE,
                                                     tech, sourceMode, sourceMode + 1));
            setTargetName(config, luid, target, ascii("Monitor " + std::to_string(i)),
                          ascii("\\\\?\\DISPLAY#MON" + std::to_string(i)), tech);
            setPreferredMode(config, luid, target, 1920, 1080, 60000, 1000);
        } else {
            config.paths.push_back(standin::makePath(luid, i, target, 0, tech));
        }
    }
    return config;
}

// Calls as {sizes, queries, device information, mode lists, desktop facts,
// EDID reads}: every operation the stand-in counts.
using Calls = std::vector<unsigned>;

/// Platform calls made by `action`, by operation.
template <typename Action> Calls callsOf(Action&& action) {
    constexpr unsigned operations = unsigned(standin::Operation::ReadMonitorEdid) + 1;
    Calls calls;
    for (unsigned op = 0; op < operations; ++op) {
        calls.push_back(standin::callCount(static_cast<standin::Operation>(op)));
    }
    action();
    for (unsigned op = 0; op < operations; ++op) {
        calls[op] = standin::callCount(static_cast<standin::Operation>(op)) - calls[op];
    }
    return calls;
}

/// Fixture: resets the stand-in, captures log lines (global threshold 3
/// unless a test changes it) and restores everything afterwards.
class BackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_WARNING);
        tkl::LogFactory::setSink(&BackendTest::capture, &lines);
        // The first call in the process enumerates; counters start after it.
        factory = libVideoPortInfo::VideoPortFactoryWin7::factory().get();
        standin::resetConfiguration();
        lines.clear();
    }
    void TearDown() override {
        tkl::LogFactory::setSink(nullptr, nullptr);
        tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_WARNING);
        standin::resetConfiguration();
    }

    /// Serves `config` and rebuilds the factory's list from it.
    void serve(const Configuration& config) {
        standin::setConfiguration(config);
        ASSERT_TRUE(factory->refresh());
        lines.clear();
    }

    const VideoPortWin7& port(unsigned index) {
        const VideoPortWin7* win7 =
            dynamic_cast<const VideoPortWin7*>(factory->videoPort(index).get());
        EXPECT_NE(win7, nullptr);
        return *win7;
    }

    static void capture(const char* line, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(line);
    }

    VideoPortFactory* factory = nullptr;
    std::vector<std::string> lines;
};

} // namespace backend_test
