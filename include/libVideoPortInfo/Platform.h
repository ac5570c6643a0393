// The platform's display-configuration records and operations: <windows.h> on
// Windows, the project's own declarations of the same names elsewhere (both
// through <libVideoPortInfo/DisplayConfig.h>), and the project's own desktop
// operation (<libVideoPortInfo/DesktopFacts.h>). The assertions pin every
// layout the library relies on, in both builds.
#pragma once

#include <libVideoPortInfo/DesktopFacts.h>
#include <libVideoPortInfo/DisplayConfig.h>
#include <libVideoPortInfo/MonitorEdid.h> // the library's own EDID operation

#include <cstddef>
#include <cstring>

static_assert(sizeof(WCHAR) == 2, "WCHAR is a UTF-16 code unit");
static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4 && sizeof(UINT32) == 4, "32-bit integers");

static_assert(sizeof(LUID) == 8, "LUID");
static_assert(offsetof(LUID, LowPart) == 0, "LUID::LowPart");
static_assert(offsetof(LUID, HighPart) == 4, "LUID::HighPart");

static_assert(sizeof(DISPLAYCONFIG_RATIONAL) == 8, "DISPLAYCONFIG_RATIONAL");
static_assert(sizeof(DISPLAYCONFIG_VIDEO_SIGNAL_INFO) == 48, "DISPLAYCONFIG_VIDEO_SIGNAL_INFO");
static_assert(offsetof(DISPLAYCONFIG_VIDEO_SIGNAL_INFO, vSyncFreq) == 16, "vSyncFreq");

static_assert(sizeof(DISPLAYCONFIG_PATH_SOURCE_INFO) == 20, "DISPLAYCONFIG_PATH_SOURCE_INFO");
static_assert(sizeof(DISPLAYCONFIG_PATH_TARGET_INFO) == 48, "DISPLAYCONFIG_PATH_TARGET_INFO");
static_assert(sizeof(DISPLAYCONFIG_PATH_INFO) == 72, "DISPLAYCONFIG_PATH_INFO");
static_assert(offsetof(DISPLAYCONFIG_PATH_INFO, sourceInfo.adapterId) == 0, "sourceInfo.adapterId");
static_assert(offsetof(DISPLAYCONFIG_PATH_INFO, sourceInfo.id) == 8, "sourceInfo.id");
static_assert(offsetof(DISPLAYCONFIG_PATH_INFO, sourceInfo.modeInfoIdx) == 12,
              "sourceInfo.modeInfoIdx");
static_assert(offsetof(DISPLAYCONFIG_PATH_INFO, targetInfo.adapterId) == 20,
              "targetInfo.adapterId");
static_assert(offsetof(DISPLAYCONFIG_PATH_INFO, targetInfo.id) == 28, "targetInfo.id");
static_assert(offsetof(DISPLAYCONFIG_PATH_INFO, targetInfo.modeInfoIdx) == 32,
              "targetInfo.modeInfoIdx");
static_assert(offsetof(DISPLAYCONFIG_PATH_INFO, targetInfo.outputTechnology) == 36,
              "targetInfo.outputTechnology");
static_assert(offsetof(DISPLAYCONFIG_PATH_INFO, flags) == 68, "flags");

static_assert(sizeof(DISPLAYCONFIG_SOURCE_MODE) == 20, "DISPLAYCONFIG_SOURCE_MODE");
static_assert(sizeof(DISPLAYCONFIG_TARGET_MODE) == 48, "DISPLAYCONFIG_TARGET_MODE");
static_assert(sizeof(DISPLAYCONFIG_DESKTOP_IMAGE_INFO) == 40, "DISPLAYCONFIG_DESKTOP_IMAGE_INFO");
static_assert(sizeof(DISPLAYCONFIG_MODE_INFO) == 64, "DISPLAYCONFIG_MODE_INFO");
static_assert(offsetof(DISPLAYCONFIG_MODE_INFO, infoType) == 0, "infoType");
static_assert(offsetof(DISPLAYCONFIG_MODE_INFO, id) == 4, "id");
static_assert(offsetof(DISPLAYCONFIG_MODE_INFO, adapterId) == 8, "adapterId");
static_assert(offsetof(DISPLAYCONFIG_MODE_INFO, targetMode) == 16, "targetMode");
static_assert(offsetof(DISPLAYCONFIG_MODE_INFO, sourceMode) == 16, "sourceMode");
static_assert(offsetof(DISPLAYCONFIG_MODE_INFO, targetMode.targetVideoSignalInfo.vSyncFreq) == 32,
              "targetMode.targetVideoSignalInfo.vSyncFreq");

static_assert(sizeof(DISPLAYCONFIG_DEVICE_INFO_HEADER) == 20, "DISPLAYCONFIG_DEVICE_INFO_HEADER");
static_assert(offsetof(DISPLAYCONFIG_DEVICE_INFO_HEADER, type) == 0, "header.type");
static_assert(offsetof(DISPLAYCONFIG_DEVICE_INFO_HEADER, size) == 4, "header.size");
static_assert(offsetof(DISPLAYCONFIG_DEVICE_INFO_HEADER, adapterId) == 8, "header.adapterId");
static_assert(offsetof(DISPLAYCONFIG_DEVICE_INFO_HEADER, id) == 16, "header.id");

static_assert(sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME) == 84, "DISPLAYCONFIG_SOURCE_DEVICE_NAME");
static_assert(offsetof(DISPLAYCONFIG_SOURCE_DEVICE_NAME, viewGdiDeviceName) == 20,
              "viewGdiDeviceName");

static_assert(sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME) == 420, "DISPLAYCONFIG_TARGET_DEVICE_NAME");
static_assert(offsetof(DISPLAYCONFIG_TARGET_DEVICE_NAME, flags) == 20, "flags");
static_assert(offsetof(DISPLAYCONFIG_TARGET_DEVICE_NAME, outputTechnology) == 24,
              "outputTechnology");
static_assert(offsetof(DISPLAYCONFIG_TARGET_DEVICE_NAME, monitorFriendlyDeviceName) == 36,
              "monitorFriendlyDeviceName");
static_assert(offsetof(DISPLAYCONFIG_TARGET_DEVICE_NAME, monitorDevicePath) == 164,
              "monitorDevicePath");

static_assert(sizeof(DISPLAYCONFIG_ADAPTER_NAME) == 276, "DISPLAYCONFIG_ADAPTER_NAME");

static_assert(sizeof(DISPLAYCONFIG_TARGET_PREFERRED_MODE) == 80,
              "DISPLAYCONFIG_TARGET_PREFERRED_MODE");
static_assert(offsetof(DISPLAYCONFIG_TARGET_PREFERRED_MODE, width) == 20, "width");
static_assert(offsetof(DISPLAYCONFIG_TARGET_PREFERRED_MODE, height) == 24, "height");
static_assert(offsetof(DISPLAYCONFIG_TARGET_PREFERRED_MODE, targetMode) == 32, "targetMode");
static_assert(offsetof(DISPLAYCONFIG_TARGET_PREFERRED_MODE,
                       targetMode.targetVideoSignalInfo.vSyncFreq) == 48,
              "preferred targetMode.targetVideoSignalInfo.vSyncFreq");

static_assert(sizeof(DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO) == 32,
              "DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO");
static_assert(offsetof(DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO, value) == 20,
              "advanced colour value");
static_assert(offsetof(DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO, bitsPerColorChannel) == 28,
              "bitsPerColorChannel");
static_assert(sizeof(DISPLAYCONFIG_SDR_WHITE_LEVEL) == 24, "DISPLAYCONFIG_SDR_WHITE_LEVEL");
static_assert(offsetof(DISPLAYCONFIG_SDR_WHITE_LEVEL, SDRWhiteLevel) == 20, "SDRWhiteLevel");

static_assert(sizeof(VpiDesktopFacts) == 48, "VpiDesktopFacts");
static_assert(offsetof(VpiDesktopFacts, workArea) == 24, "VpiDesktopFacts::workArea");
static_assert(offsetof(VpiDesktopFacts, dpiSource) == 44, "VpiDesktopFacts::dpiSource");

static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW");
static_assert(offsetof(DEVMODEW, dmSize) == 68, "dmSize");
static_assert(offsetof(DEVMODEW, dmDriverExtra) == 70, "dmDriverExtra");
static_assert(offsetof(DEVMODEW, dmFields) == 72, "dmFields");
static_assert(offsetof(DEVMODEW, dmPosition) == 76, "dmPosition");
static_assert(offsetof(DEVMODEW, dmDisplayOrientation) == 84, "dmDisplayOrientation");
static_assert(offsetof(DEVMODEW, dmBitsPerPel) == 168, "dmBitsPerPel");
static_assert(offsetof(DEVMODEW, dmPelsWidth) == 172, "dmPelsWidth");
static_assert(offsetof(DEVMODEW, dmPelsHeight) == 176, "dmPelsHeight");
static_assert(offsetof(DEVMODEW, dmDisplayFlags) == 180, "dmDisplayFlags");
static_assert(offsetof(DEVMODEW, dmDisplayFrequency) == 184, "dmDisplayFrequency");

namespace libVideoPortInfo {

/// A device-information request for `Record`: every byte zero, then the
/// header naming the request type, the record's size, the adapter and the
/// source or target id. Zero bytes first, so that a failed request leaves
/// empty names and an all-zero mode behind rather than stack garbage.
template <typename Record>
Record makeDeviceInfoRequest(DISPLAYCONFIG_DEVICE_INFO_TYPE type, const LUID& adapterId,
                             UINT32 id) {
    Record record;
    std::memset(static_cast<void*>(&record), 0, sizeof(record));
    record.header.type = type;
    record.header.size = sizeof(Record);
    record.header.adapterId = adapterId;
    record.header.id = id;
    return record;
}

} // namespace libVideoPortInfo
