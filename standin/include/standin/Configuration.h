// A whole machine's display configuration, as the four display-configuration
// operations serve it: the path and mode tables, the answer to every
// device-information request and every device's raw mode list. Header-only, so
// that the stand-in, the recorder and tests can all use it without sharing
// state.
#pragma once

#include <libVideoPortInfo/Platform.h>

#include <algorithm>
#include <cstring>
#include <map>
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

static_assert(sizeof(DISPLAYCONFIG_ADAPTER_NAME) == 276, "DISPLAYCONFIG_ADAPTER_NAME");

// The size of the record a device-information request of `type` carries, for
// the four request types a configuration answers; 0 for any other type.
inline UINT32 deviceInfoRecordSize(UINT32 type) {
    switch (type) {
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

// A progressive target mode with blanking as CVT reduced blanking gives it.
inline DISPLAYCONFIG_VIDEO_SIGNAL_INFO
makeSignalInfo(UINT32 width, UINT32 height, UINT32 vSyncNumerator, UINT32 vSyncDenominator) {
    DISPLAYCONFIG_VIDEO_SIGNAL_INFO signal{};
    const UINT32 totalWidth = width + 160;
    const UINT32 totalHeight = height + height / 27;
    const UINT64 denominator = vSyncDenominator == 0 ? 1 : vSyncDenominator;
    signal.pixelRate = UINT64(totalWidth) * totalHeight * vSyncNumerator / denominator;
    signal.hSyncFreq = {static_cast<UINT32>(UINT64(totalHeight) * vSyncNumerator),
                        static_cast<UINT32>(denominator)};
    signal.vSyncFreq = {vSyncNumerator, vSyncDenominator};
    signal.activeSize = {width, height};
    signal.totalSize = {totalWidth, totalHeight};
    signal.videoStandard = 255; // "other": a PC timing rather than a television standard
    signal.scanLineOrdering = DISPLAYCONFIG_SCANLINE_ORDERING_PROGRESSIVE;
    return signal;
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

    // Whether a path's source or target is on the adapter.
    bool namesAdapter(const LUID& adapter) const {
        return std::any_of(paths.begin(), paths.end(), [&](const DISPLAYCONFIG_PATH_INFO& path) {
            return sameLuid(path.sourceInfo.adapterId, adapter) ||
                   sameLuid(path.targetInfo.adapterId, adapter);
        });
    }

    void setSourceName(LUID adapter, UINT32 sourceId, const std::u16string& gdiName) {
        auto record = makeDeviceInfoRequest<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(
            DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, adapter, sourceId);
        copyName(record.viewGdiDeviceName, gdiName);
        setRecord(record);
    }

    // Monitor names as long as their fields fill them with no terminator.
    void
    setTargetName(LUID adapter, UINT32 targetId, const std::u16string& friendlyName,
                  const std::u16string& devicePath,
                  DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY tech = DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI,
                  UINT16 edidManufactureId = 0, UINT16 edidProductCodeId = 0) {
        auto record = makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_DEVICE_NAME>(
            DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, adapter, targetId);
        record.flags.friendlyNameFromEdid = friendlyName.empty() ? 0 : 1;
        record.flags.edidIdsValid = (edidManufactureId | edidProductCodeId) != 0 ? 1 : 0;
        record.outputTechnology = tech;
        record.edidManufactureId = edidManufactureId;
        record.edidProductCodeId = edidProductCodeId;
        record.connectorInstance = 1;
        copyName(record.monitorFriendlyDeviceName, friendlyName);
        copyName(record.monitorDevicePath, devicePath);
        setRecord(record);
    }

    void setPreferredMode(LUID adapter, UINT32 targetId, UINT32 width, UINT32 height,
                          UINT32 vSyncNumerator, UINT32 vSyncDenominator) {
        auto record = makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_PREFERRED_MODE>(
            DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, adapter, targetId);
        record.width = width;
        record.height = height;
        record.targetMode.targetVideoSignalInfo =
            makeSignalInfo(width, height, vSyncNumerator, vSyncDenominator);
        setRecord(record);
    }

    void setAdapterName(LUID adapter, const std::u16string& devicePath) {
        auto record = makeDeviceInfoRequest<DISPLAYCONFIG_ADAPTER_NAME>(
            DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, adapter, 0);
        copyName(record.adapterDevicePath, devicePath);
        setRecord(record);
    }

    void setDeviceInfoError(UINT32 type, LUID adapter, UINT32 id, LONG code) {
        DeviceInfoAnswer answer;
        answer.error = code;
        deviceInfo[DeviceInfoKey{type, adapter, id}] = answer;
    }

    void addDisplayMode(const std::u16string& device, DWORD width, DWORD height, DWORD frequency,
                        DWORD bitsPerPel, DWORD orientation = DMDO_DEFAULT) {
        displayModes[device].push_back(
            makeDisplayMode(width, height, frequency, bitsPerPel, orientation));
    }

private:
    template <typename Record> void setRecord(const Record& record) {
        DeviceInfoAnswer answer;
        answer.record = bytesOf(record);
        const DISPLAYCONFIG_DEVICE_INFO_HEADER& h = record.header;
        deviceInfo[DeviceInfoKey{static_cast<UINT32>(h.type), h.adapterId, h.id}] = answer;
    }
};

} // namespace standin
