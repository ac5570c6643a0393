// A whole machine's display configuration, as the four display-configuration
// operations serve it: the path and mode tables, the answer to every
// device-information request and every device's raw mode list; and the
// monitors' EDIDs, which vpiReadMonitorEdid serves. Header-only, so
// that the stand-in, the recorder and tests can all use it without sharing
// state.
#pragma once

#include <libVideoPortInfo/Platform.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace standin {

inline LUID makeLuid(DWORD lowPart, LONG highPart = 0) {
    LUID luid{};
    luid.LowPart = lowPart;
    luid.HighPart = highPart;
    return luid;
}

inline bool sameLuid(const LUID& a, const LUID& b) {
    return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

// Identifies one device-information request: its type and the adapter and
// source or target id its header names.
struct DeviceInfoKey {
    UINT32 type = 0;
    LUID adapterId{};
    UINT32 id = 0;

    friend bool operator<(const DeviceInfoKey& a, const DeviceInfoKey& b) {
        return std::make_tuple(a.type, a.adapterId.HighPart, a.adapterId.LowPart, a.id) <
               std::make_tuple(b.type, b.adapterId.HighPart, b.adapterId.LowPart, b.id);
    }
};

// The answer to one request: an error code, or (with ERROR_SUCCESS) the whole
// record, header included, whose bytes after the header are copied to the
// caller.
struct DeviceInfoAnswer {
    LONG error = ERROR_SUCCESS;
    std::vector<unsigned char> record;
};

// Copies a UTF-16 name into a fixed field; a name as long as the field fills it
// with no terminator, a longer one is refused.
template <std::size_t N> void copyName(WCHAR (&field)[N], const std::u16string& name) {
    if (name.size() > N) {
        throw std::length_error("name longer than its field");
    }
    for (std::size_t i = 0; i < N; ++i) {
        field[i] = i < name.size() ? static_cast<WCHAR>(name[i]) : WCHAR(0);
    }
}

// Reads a fixed field up to its terminator or, without one, to its end.
template <std::size_t N> std::u16string nameOf(const WCHAR (&field)[N]) {
    std::u16string name;
    for (std::size_t i = 0; i < N && field[i] != 0; ++i) {
        name.push_back(static_cast<char16_t>(field[i]));
    }
    return name;
}

// One request helper for every client of the platform interface.
using libVideoPortInfo::makeDeviceInfoRequest;

// The record an answer carries; false for an error answer or a record of
// another size.
template <typename Record> bool recordOf(const DeviceInfoAnswer& answer, Record& record) {
    if (answer.error != ERROR_SUCCESS || answer.record.size() != sizeof(Record)) {
        return false;
    }
    std::memcpy(&record, answer.record.data(), sizeof(Record));
    return true;
}

template <typename Record> std::vector<unsigned char> bytesOf(const Record& record) {
    std::vector<unsigned char> bytes(sizeof(Record));
    std::memcpy(bytes.data(), &record, sizeof(Record));
    return bytes;
}

// The size of the record a device-information request of `type` carries, for
// the request types a configuration answers with records (the name and mode
// requests, advanced colour and the SDR white level); 0 for any other type.
inline UINT32 deviceInfoRecordSize(UINT32 type) {
    switch (type) {
    case DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO:
        return sizeof(DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO);
    case DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL:
        return sizeof(DISPLAYCONFIG_SDR_WHITE_LEVEL);
    case DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME:
        return sizeof(DISPLAYCONFIG_ADAPTER_NAME);
    case DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME:
        return sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME);
    case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME:
        return sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME);
    case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE:
        return sizeof(DISPLAYCONFIG_TARGET_PREFERRED_MODE);
    default:
        return 0;
    }
}

// The name and mode requests (types 1 to 4), which every platform answers:
// one with no answer names an unknown adapter or id. Platforms that do not
// know the other types answer them ERROR_NOT_SUPPORTED.
inline bool isNameOrModeRequest(UINT32 type) {
    return type >= DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME &&
           type <= DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME;
}

inline DEVMODEW makeDisplayMode(DWORD width, DWORD height, DWORD frequency, DWORD bitsPerPel,
                                DWORD orientation = DMDO_DEFAULT) {
    DEVMODEW mode{};
    mode.dmSpecVersion = DM_SPECVERSION;
    mode.dmSize = sizeof(DEVMODEW);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFLAGS |
                    DM_DISPLAYFREQUENCY | DM_POSITION | DM_DISPLAYORIENTATION |
                    DM_DISPLAYFIXEDOUTPUT;
    mode.dmDisplayOrientation = orientation;
    mode.dmBitsPerPel = bitsPerPel;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmDisplayFrequency = frequency;
    return mode;
}

// The adapter device path answered for an adapter that a configuration names
// but gives no adapter-name answer for, as recordings made before those were
// recorded: a path of the display-adapter interface class, one per adapter.
inline std::u16string madeUpAdapterPath(const LUID& adapter) {
    std::u16string path = u"\\\\?\\ROOT#DISPLAY#";
    const UINT64 luid = UINT64(UINT32(adapter.HighPart)) << 32 | adapter.LowPart;
    for (int shift = 60; shift >= 0; shift -= 4) {
        path.push_back(u"0123456789ABCDEF"[(luid >> shift) & 0xF]);
    }
    return path + u"#{5b45201d-f2f2-4f3b-85bb-30ff1f953599}";
}

// Orders monitor device paths as the platform compares them: ASCII letters
// without regard to case (the target-name request and SetupAPI spell the
// same path in different cases).
struct DevicePathLess {
    static char16_t folded(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }
    bool operator()(const std::u16string& a, const std::u16string& b) const {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](char16_t x, char16_t y) { return folded(x) < folded(y); });
    }
};

struct Configuration {
    // The QDC_ALL_PATHS table, in the order it is served; QDC_ONLY_ACTIVE_PATHS
    // serves its active paths with their mode records renumbered.
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    std::vector<DISPLAYCONFIG_MODE_INFO> modes;
    // The answer to every device-information request; a request not found
    // here fails with ERROR_GEN_FAILURE (an unknown adapter or id), but for
    // the adapter-name request of an adapter that the paths name, which
    // answers madeUpAdapterPath(). An adapter-name answer is found by the
    // adapter alone, as the platform ignores that request's id.
    std::map<DeviceInfoKey, DeviceInfoAnswer> deviceInfo;
    // Raw mode lists, keyed by GDI device name ("\\.\DISPLAY1"), in the order
    // EnumDisplaySettingsExW serves them.
    std::map<std::u16string, std::vector<DEVMODEW>> displayModes;
    // What vpiGetDesktopFacts answers, keyed by GDI device name; a device
    // not found here is not on the desktop (ERROR_NOT_FOUND). None for a
    // configuration that does not tell (recordings made before these facts
    // were recorded): it answers derivedDesktop() instead.
    std::optional<std::map<std::u16string, VpiDesktopFacts>> desktop;
    // Monitors' EDIDs, keyed by monitor device path, as vpiReadMonitorEdid
    // serves them; a monitor without an entry has none (ERROR_FILE_NOT_FOUND).
    std::map<std::u16string, std::vector<unsigned char>, DevicePathLess> edids;

    // Whether a path's source or target is on the adapter.
    bool namesAdapter(const LUID& adapter) const {
        return std::any_of(paths.begin(), paths.end(), [&](const DISPLAYCONFIG_PATH_INFO& path) {
            return sameLuid(path.sourceInfo.adapterId, adapter) ||
                   sameLuid(path.targetInfo.adapterId, adapter);
        });
    }
};

inline bool sameDesktopFacts(const VpiDesktopFacts& a, const VpiDesktopFacts& b) {
    const auto same = [](const RECTL& x, const RECTL& y) {
        return x.left == y.left && x.top == y.top && x.right == y.right && x.bottom == y.bottom;
    };
    return a.flags == b.flags && same(a.monitorRect, b.monitorRect) &&
           same(a.workArea, b.workArea) && a.dpi == b.dpi && a.dpiSource == b.dpiSource;
}

// The desktop of a configuration that does not tell its own: one entry per
// GDI device named by an active path whose source mode is in the table, in
// path order. Its rectangle is the source mode's, its work area the same, its
// DPI 96 "system"; the primary is the first such device at (0, 0), as the
// origin of the desktop is the primary display's corner (a clone across two
// adapters has two there, of which this picks the first).
inline std::map<std::u16string, VpiDesktopFacts> derivedDesktop(const Configuration& c) {
    std::map<std::u16string, VpiDesktopFacts> desktop;
    bool primaryFound = false;
    for (const DISPLAYCONFIG_PATH_INFO& path : c.paths) {
        const UINT32 index = path.sourceInfo.modeInfoIdx;
        if ((path.flags & DISPLAYCONFIG_PATH_ACTIVE) == 0 || index >= c.modes.size() ||
            c.modes[index].infoType != DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
            continue;
        }
        const auto name =
            c.deviceInfo.find(DeviceInfoKey{DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME,
                                            path.sourceInfo.adapterId, path.sourceInfo.id});
        DISPLAYCONFIG_SOURCE_DEVICE_NAME record{};
        if (name == c.deviceInfo.end() || !recordOf(name->second, record)) {
            continue;
        }
        const std::u16string device = nameOf(record.viewGdiDeviceName);
        if (desktop.count(device) != 0) {
            continue;
        }
        const DISPLAYCONFIG_SOURCE_MODE& source = c.modes[index].sourceMode;
        VpiDesktopFacts facts{};
        facts.size = sizeof facts;
        facts.monitorRect.left = source.position.x;
        facts.monitorRect.top = source.position.y;
        facts.monitorRect.right = LONG(std::int64_t(source.position.x) + source.width);
        facts.monitorRect.bottom = LONG(std::int64_t(source.position.y) + source.height);
        facts.workArea = facts.monitorRect;
        facts.dpi = 96;
        facts.dpiSource = VPI_DPI_SYSTEM;
        if (!primaryFound && source.position.x == 0 && source.position.y == 0) {
            facts.flags = VPI_DESKTOP_PRIMARY;
            primaryFound = true;
        }
        desktop.emplace(device, facts);
    }
    return desktop;
}

} // namespace standin
