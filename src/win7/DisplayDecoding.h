// The platform's display-configuration values as the library's: rotation in
// degrees, embedded connectors, interlacing, the refresh rate's source and the
// EDID ids' byte order. Each rule lives here once.
#pragma once

#include <libVideoPortInfo/ConnectedMonitor.h>
#include <libVideoPortInfo/DisplayState.h>
#include <libVideoPortInfo/Platform.h>

#include <cstdint>

namespace libVideoPortInfo {
namespace decoding {

/// Clockwise degrees of a DISPLAYCONFIG_ROTATION; 0 for the identity and for
/// values the platform does not define.
inline unsigned rotationDegrees(std::uint32_t rotation) {
    switch (rotation) {
    case DISPLAYCONFIG_ROTATION_ROTATE90:
        return 90;
    case DISPLAYCONFIG_ROTATION_ROTATE180:
        return 180;
    case DISPLAYCONFIG_ROTATION_ROTATE270:
        return 270;
    default:
        return 0;
    }
}

/// Whether a connector of this output technology is built into the machine:
/// embedded DisplayPort or UDI, LVDS, or the platform's "internal".
inline bool isEmbedded(std::int32_t technology) {
    switch (technology) {
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EMBEDDED:
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_UDI_EMBEDDED:
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_LVDS:
    case static_cast<std::int32_t>(DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INTERNAL):
        return true;
    default:
        return false;
    }
}

/// Both field orders of a DISPLAYCONFIG_SCANLINE_ORDERING are interlaced;
/// "unspecified" is taken as progressive.
inline bool isInterlaced(std::uint32_t scanLineOrdering) {
    return scanLineOrdering == DISPLAYCONFIG_SCANLINE_ORDERING_INTERLACED_UPPERFIELDFIRST ||
           scanLineOrdering == DISPLAYCONFIG_SCANLINE_ORDERING_INTERLACED_LOWERFIELDFIRST;
}

/// The vertical sync of the signal, which the target mode (null when the path
/// designates none) gives exactly; else the path's own refresh rate, which
/// some drivers leave at 0/0; else unknown.
inline RefreshRate refreshRateOf(const DISPLAYCONFIG_PATH_INFO& path,
                                 const DISPLAYCONFIG_MODE_INFO* targetMode) {
    if (targetMode != nullptr) {
        const DISPLAYCONFIG_RATIONAL& vSync =
            targetMode->targetMode.targetVideoSignalInfo.vSyncFreq;
        if (vSync.Denominator != 0) {
            return RefreshRate{vSync.Numerator, vSync.Denominator};
        }
    }
    const DISPLAYCONFIG_RATIONAL& rate = path.targetInfo.refreshRate;
    return rate.Denominator != 0 ? RefreshRate{rate.Numerator, rate.Denominator} : RefreshRate{};
}

/// The EDID ids as the target-name record carries them. The EDID stores the
/// manufacturer id as a big-endian word of three 5-bit letters (1 = 'A'); the
/// platform hands it over with the word's two bytes swapped, so "DEL"
/// (0x10AC in the EDID) arrives as 0xAC10. Every 5-bit value reads '@' plus
/// the value, as Windows spells it in device paths and as the EDID decoder
/// (edid/) reads it: zero ids read "@@@", and the values above 26, which no
/// registered id has, read '[' to '_'. The product code arrives as the
/// number the device path shows in hexadecimal.
inline MonitorIds monitorIdsOf(std::uint16_t edidManufactureId, std::uint16_t edidProductCodeId) {
    const unsigned word = (edidManufactureId >> 8) | ((edidManufactureId & 0xFFu) << 8);
    MonitorIds ids;
    for (int i = 0; i < 3; ++i) {
        ids.manufacturerId[i] = static_cast<char>('@' + ((word >> (10 - 5 * i)) & 0x1Fu));
    }
    ids.productCode = edidProductCodeId;
    return ids;
}

/// The preferred-mode record's mode: its size and the exact vertical sync
/// of its timing (0/0 when the platform gave a zero denominator).
inline MonitorMode preferredModeOf(const DISPLAYCONFIG_TARGET_PREFERRED_MODE& record) {
    const DISPLAYCONFIG_RATIONAL& vSync = record.targetMode.targetVideoSignalInfo.vSyncFreq;
    MonitorMode mode;
    mode.width = record.width;
    mode.height = record.height;
    if (vSync.Denominator != 0) {
        mode.refreshRate = RefreshRate{vSync.Numerator, vSync.Denominator};
    }
    return mode;
}

} // namespace decoding
} // namespace libVideoPortInfo
