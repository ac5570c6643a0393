// Shared helpers of the stand-in's tests.
#pragma once

#include "../support/ConfigurationBuilders.h"
#include "../support/Environment.h"

#include <standin/StandIn.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace standin_test {

// Every test starts and ends with the default machine and no scripted faults.
class StandInTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearEnvironment("VPI_DISPLAY_CONFIG");
        standin::resetConfiguration();
    }
    void TearDown() override {
        clearEnvironment("VPI_DISPLAY_CONFIG");
        standin::resetConfiguration();
    }
};

const LUID kAdapter = standin::makeLuid(0xd6a1, 0);
constexpr UINT32 kPanel = 0x1040;
constexpr UINT32 kHdmi = 0x1041;
constexpr UINT32 kDisplayPort = 0x1042;
constexpr UINT32 kVga = 0x1043;

struct Tables {
    LONG result = ERROR_GEN_FAILURE;
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    std::vector<DISPLAYCONFIG_MODE_INFO> modes;
};

// Sizes, then the query with buffers of exactly those sizes.
inline Tables query(UINT32 flags) {
    Tables t;
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    t.result = GetDisplayConfigBufferSizes(flags, &pathCount, &modeCount);
    if (t.result != ERROR_SUCCESS) {
        return t;
    }
    t.paths.resize(pathCount);
    t.modes.resize(modeCount);
    t.result =
        QueryDisplayConfig(flags, &pathCount, t.paths.data(), &modeCount, t.modes.data(), nullptr);
    t.paths.resize(pathCount);
    t.modes.resize(modeCount);
    return t;
}

template <typename Record>
LONG ask(Record& record, DISPLAYCONFIG_DEVICE_INFO_TYPE type, LUID adapter, UINT32 id) {
    record = standin::makeDeviceInfoRequest<Record>(type, adapter, id);
    return DisplayConfigGetDeviceInfo(&record.header);
}

inline std::vector<WCHAR> wide(const std::u16string& text) {
    std::vector<WCHAR> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

// The whole raw mode list of a device (or what other flags list).
inline std::vector<DEVMODEW> rawModes(const std::u16string& device, DWORD flags = EDS_RAWMODE) {
    std::vector<DEVMODEW> modes;
    const std::vector<WCHAR> name = wide(device);
    for (DWORD i = 0;; ++i) {
        DEVMODEW mode{};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsExW(name.data(), i, &mode, flags)) {
            return modes;
        }
        modes.push_back(mode);
    }
}

} // namespace standin_test
