#include "ConfigurationRecorder.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

namespace standin {
namespace {

// The tables may change between the size query and the query (a monitor
// plugged in meanwhile answers ERROR_INSUFFICIENT_BUFFER); a few retries get a
// consistent pair. The library does not retry: its refresh() fails, keeps the
// last good list, and its host decides when to call it again. The recorder is
// a one-shot program whose only product is the recording, so it retries a
// bounded number of times rather than make its user run it again.
constexpr int kQueryAttempts = 5;
// A bound against a platform that never stops enumerating.
constexpr DWORD kMaxModesPerDevice = 100000;

template <typename Record>
void ask(Configuration& c, DISPLAYCONFIG_DEVICE_INFO_TYPE type, const LUID& adapter, UINT32 id) {
    const DeviceInfoKey key{static_cast<UINT32>(type), adapter, id};
    if (c.deviceInfo.count(key) != 0) {
        return;
    }
    Record record = makeDeviceInfoRequest<Record>(type, adapter, id);
    DeviceInfoAnswer answer;
    answer.error = DisplayConfigGetDeviceInfo(&record.header);
    if (answer.error == ERROR_SUCCESS) {
        answer.record = bytesOf(record);
    }
    c.deviceInfo[key] = answer;
}

void readTables(Configuration& c) {
    for (int attempt = 1;; ++attempt) {
        UINT32 pathCount = 0;
        UINT32 modeCount = 0;
        const LONG sizes = GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &pathCount, &modeCount);
        if (sizes != ERROR_SUCCESS) {
            throw RecordingError("GetDisplayConfigBufferSizes", sizes);
        }
        if (pathCount == 0) {
            c.paths.clear();
            c.modes.clear();
            return;
        }
        // The query refuses an empty buffer, so the mode table gets room for one.
        c.paths.assign(pathCount, DISPLAYCONFIG_PATH_INFO{});
        c.modes.assign(std::max<UINT32>(modeCount, 1), DISPLAYCONFIG_MODE_INFO{});
        pathCount = static_cast<UINT32>(c.paths.size());
        modeCount = static_cast<UINT32>(c.modes.size());
        const LONG query = QueryDisplayConfig(QDC_ALL_PATHS, &pathCount, c.paths.data(), &modeCount,
                                              c.modes.data(), nullptr);
        if (query == ERROR_INSUFFICIENT_BUFFER && attempt < kQueryAttempts) {
            continue;
        }
        if (query != ERROR_SUCCESS) {
            throw RecordingError("QueryDisplayConfig", query);
        }
        c.paths.resize(pathCount);
        c.modes.resize(modeCount);
        return;
    }
}

void readModes(Configuration& c, const std::u16string& device) {
    if (c.displayModes.count(device) != 0) {
        return;
    }
    std::vector<WCHAR> name(device.begin(), device.end());
    name.push_back(0);
    std::vector<DEVMODEW>& list = c.displayModes[device];
    for (DWORD i = 0; i < kMaxModesPerDevice; ++i) {
        DEVMODEW mode{};
        mode.dmSize = sizeof(DEVMODEW);
        mode.dmDriverExtra = 0;
        if (!EnumDisplaySettingsExW(name.data(), i, &mode, EDS_RAWMODE)) {
            break;
        }
        list.push_back(mode);
    }
}

// A device the desktop does not know (a source not in use) gets no entry,
// and so replays as unknown.
void readDesktop(Configuration& c, const std::u16string& device) {
    std::vector<WCHAR> name(device.begin(), device.end());
    name.push_back(0);
    VpiDesktopFacts facts{};
    facts.size = sizeof facts;
    if (vpiGetDesktopFacts(name.data(), &facts) == ERROR_SUCCESS) {
        c.desktop->emplace(device, facts);
    }
}

// The EDID of every monitor whose device path a target-name answer gave, as
// vpiReadMonitorEdid reads it. A monitor whose EDID cannot be read is left
// out, as one without an EDID is: its replay answers ERROR_FILE_NOT_FOUND.
void readEdids(Configuration& c) {
    for (const auto& [key, answer] : c.deviceInfo) {
        DISPLAYCONFIG_TARGET_DEVICE_NAME record{};
        if (key.type != DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME || !recordOf(answer, record)) {
            continue;
        }
        const std::u16string path = nameOf(record.monitorDevicePath);
        if (path.empty() || c.edids.count(path) != 0) {
            continue;
        }
        std::vector<WCHAR> name(path.begin(), path.end());
        name.push_back(0);
        // The size, then the bytes; the EDID may grow in between.
        UINT32 size = 0;
        if (vpiReadMonitorEdid(name.data(), nullptr, &size) != ERROR_SUCCESS) {
            continue;
        }
        for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
            std::vector<unsigned char> edid(size);
            const LONG result = vpiReadMonitorEdid(name.data(), edid.data(), &size);
            if (result == ERROR_SUCCESS) {
                edid.resize(size);
                c.edids[path] = std::move(edid);
                break;
            }
            if (result != ERROR_INSUFFICIENT_BUFFER) {
                break;
            }
        }
    }
}

} // namespace

Configuration recordDisplayConfiguration() {
    Configuration c;
    readTables(c);
    for (const DISPLAYCONFIG_PATH_INFO& path : c.paths) {
        const DISPLAYCONFIG_PATH_SOURCE_INFO& s = path.sourceInfo;
        const DISPLAYCONFIG_PATH_TARGET_INFO& t = path.targetInfo;
        ask<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(c, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME,
                                              s.adapterId, s.id);
        ask<DISPLAYCONFIG_TARGET_DEVICE_NAME>(c, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME,
                                              t.adapterId, t.id);
        ask<DISPLAYCONFIG_TARGET_PREFERRED_MODE>(
            c, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, t.adapterId, t.id);
        // The adapter-name request ignores the id.
        for (const LUID& adapter : {s.adapterId, t.adapterId}) {
            ask<DISPLAYCONFIG_ADAPTER_NAME>(c, DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, adapter,
                                            0);
        }
        // Colour, as the library asks for it: for the targets in use.
        if ((path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0) {
            ask<DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO>(
                c, DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, t.adapterId, t.id);
            ask<DISPLAYCONFIG_SDR_WHITE_LEVEL>(c, DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL,
                                               t.adapterId, t.id);
        }
    }
    c.desktop.emplace();
    for (const auto& [key, answer] : c.deviceInfo) {
        DISPLAYCONFIG_SOURCE_DEVICE_NAME record{};
        if (key.type == DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME && recordOf(answer, record)) {
            const std::u16string device = nameOf(record.viewGdiDeviceName);
            readModes(c, device);
            readDesktop(c, device);
        }
    }
    readEdids(c);
    return c;
}

} // namespace standin
