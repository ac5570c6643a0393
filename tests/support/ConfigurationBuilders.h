// Builders of the records that tests script configurations with: an
// adapter's path from a source to a target, the source and target mode
// records a path designates, the answers to device-information requests and
// the raw mode lists.
#pragma once

#include <standin/Configuration.h>

namespace standin {

inline DISPLAYCONFIG_PATH_INFO
makePath(LUID adapter, UINT32 sourceId, UINT32 targetId, UINT32 flags,
         DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY tech,
         UINT32 sourceModeIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID,
         UINT32 targetModeIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID) {
    DISPLAYCONFIG_PATH_INFO path{};
    path.sourceInfo.adapterId = adapter;
    path.sourceInfo.id = sourceId;
    path.sourceInfo.modeInfoIdx = sourceModeIdx;
    path.sourceInfo.statusFlags =
        (flags & DISPLAYCONFIG_PATH_ACTIVE) ? DISPLAYCONFIG_SOURCE_IN_USE : 0;
    path.targetInfo.adapterId = adapter;
    path.targetInfo.id = targetId;
    path.targetInfo.modeInfoIdx = targetModeIdx;
    path.targetInfo.outputTechnology = tech;
    path.targetInfo.rotation = DISPLAYCONFIG_ROTATION_IDENTITY;
    path.targetInfo.scaling = DISPLAYCONFIG_SCALING_IDENTITY;
    path.targetInfo.scanLineOrdering = DISPLAYCONFIG_SCANLINE_ORDERING_UNSPECIFIED;
    path.targetInfo.targetAvailable = (flags & DISPLAYCONFIG_PATH_ACTIVE) ? TRUE : FALSE;
    path.targetInfo.statusFlags =
        (flags & DISPLAYCONFIG_PATH_ACTIVE) ? DISPLAYCONFIG_TARGET_IN_USE : 0;
    path.flags = flags;
    return path;
}

inline DISPLAYCONFIG_MODE_INFO makeSourceMode(LUID adapter, UINT32 sourceId, UINT32 width,
                                              UINT32 height, LONG x = 0, LONG y = 0) {
    DISPLAYCONFIG_MODE_INFO mode{};
    mode.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE;
    mode.id = sourceId;
    mode.adapterId = adapter;
    mode.sourceMode.width = width;
    mode.sourceMode.height = height;
    mode.sourceMode.pixelFormat = DISPLAYCONFIG_PIXELFORMAT_32BPP;
    mode.sourceMode.position = {x, y};
    return mode;
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

inline DISPLAYCONFIG_MODE_INFO makeTargetMode(LUID adapter, UINT32 targetId, UINT32 width,
                                              UINT32 height, UINT32 vSyncNumerator,
                                              UINT32 vSyncDenominator) {
    DISPLAYCONFIG_MODE_INFO mode{};
    mode.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_TARGET;
    mode.id = targetId;
    mode.adapterId = adapter;
    mode.targetMode.targetVideoSignalInfo =
        makeSignalInfo(width, height, vSyncNumerator, vSyncDenominator);
    return mode;
}

// Sets the answer to the request that the record's header names.
template <typename Record> void setRecord(Configuration& c, const Record& record) {
    DeviceInfoAnswer answer;
    answer.record = bytesOf(record);
    const DISPLAYCONFIG_DEVICE_INFO_HEADER& h = record.header;
    c.deviceInfo[DeviceInfoKey{static_cast<UINT32>(h.type), h.adapterId, h.id}] = answer;
}

inline void setSourceName(Configuration& c, LUID adapter, UINT32 sourceId,
                          const std::u16string& gdiName) {
    auto record = makeDeviceInfoRequest<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(
        DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, adapter, sourceId);
    copyName(record.viewGdiDeviceName, gdiName);
    setRecord(c, record);
}

// Monitor names as long as their fields fill them with no terminator.
inline void
setTargetName(Configuration& c, LUID adapter, UINT32 targetId, const std::u16string& friendlyName,
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
    setRecord(c, record);
}

inline void setPreferredMode(Configuration& c, LUID adapter, UINT32 targetId, UINT32 width,
                             UINT32 height, UINT32 vSyncNumerator, UINT32 vSyncDenominator) {
    auto record = makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_PREFERRED_MODE>(
        DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, adapter, targetId);
    record.width = width;
    record.height = height;
    record.targetMode.targetVideoSignalInfo =
        makeSignalInfo(width, height, vSyncNumerator, vSyncDenominator);
    setRecord(c, record);
}

inline void setAdapterName(Configuration& c, LUID adapter, const std::u16string& devicePath) {
    auto record = makeDeviceInfoRequest<DISPLAYCONFIG_ADAPTER_NAME>(
        DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, adapter, 0);
    copyName(record.adapterDevicePath, devicePath);
    setRecord(c, record);
}

inline void setDeviceInfoError(Configuration& c, UINT32 type, LUID adapter, UINT32 id, LONG code) {
    DeviceInfoAnswer answer;
    answer.error = code;
    c.deviceInfo[DeviceInfoKey{type, adapter, id}] = answer;
}

inline void setAdvancedColor(Configuration& c, LUID adapter, UINT32 targetId, UINT32 value,
                             UINT32 encoding, UINT32 bitsPerColorChannel) {
    auto record = makeDeviceInfoRequest<DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO>(
        DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, adapter, targetId);
    record.value = value;
    record.colorEncoding = static_cast<DISPLAYCONFIG_COLOR_ENCODING>(encoding);
    record.bitsPerColorChannel = bitsPerColorChannel;
    setRecord(c, record);
}

inline void setSdrWhiteLevel(Configuration& c, LUID adapter, UINT32 targetId, UINT32 level) {
    auto record = makeDeviceInfoRequest<DISPLAYCONFIG_SDR_WHITE_LEVEL>(
        DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL, adapter, targetId);
    record.SDRWhiteLevel = level;
    setRecord(c, record);
}

inline RECTL makeRect(LONG left, LONG top, LONG right, LONG bottom) {
    return RECTL{left, top, right, bottom};
}

// Gives the configuration a desktop (it then answers no device but those
// given) and the device's facts on it.
inline void setDesktopFacts(Configuration& c, const std::u16string& device, bool primary,
                            RECTL monitorRect, RECTL workArea, UINT32 dpi = 96,
                            UINT32 dpiSource = VPI_DPI_EFFECTIVE) {
    VpiDesktopFacts facts{};
    facts.size = sizeof facts;
    facts.flags = primary ? VPI_DESKTOP_PRIMARY : 0;
    facts.monitorRect = monitorRect;
    facts.workArea = workArea;
    facts.dpi = dpi;
    facts.dpiSource = dpiSource;
    c.desktop.emplace(c.desktop.value_or(std::map<std::u16string, VpiDesktopFacts>{}));
    (*c.desktop)[device] = facts;
}

inline void addDisplayMode(Configuration& c, const std::u16string& device, DWORD width,
                           DWORD height, DWORD frequency, DWORD bitsPerPel,
                           DWORD orientation = DMDO_DEFAULT) {
    c.displayModes[device].push_back(
        makeDisplayMode(width, height, frequency, bitsPerPel, orientation));
}

} // namespace standin
