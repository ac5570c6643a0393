// What a Windows 7 port tells beyond the VideoPort interface, as plain values:
// where and how its source is shown now, and the EDID identity of its
// monitor. VideoPortWin7 decodes them from the platform records it keeps.
#pragma once

#include <cmath>
#include <cstdint>

namespace libVideoPortInfo {

/// A refresh rate as the exact fraction the platform gives (59.95 Hz is
/// 241500000/4028320 on one machine and 5995/100 on another); 0/0 when the
/// platform gave none.
struct RefreshRate {
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 0;

    bool known() const { return denominator != 0; }
    /// In whole hertz, rounded to the nearest (60 for 59.95), as mode lists
    /// give rates; 0 when unknown.
    std::uint32_t wholeHertz() const {
        return known() ? static_cast<std::uint32_t>((std::uint64_t(numerator) + denominator / 2) /
                                                    denominator)
                       : 0;
    }
    /// In hertz, rounded to two decimals (59.95); 0 when unknown.
    double hertz() const {
        return known() ? std::round(100.0 * numerator / denominator) / 100.0 : 0.0;
    }
    friend bool operator==(const RefreshRate& a, const RefreshRate& b) {
        return a.numerator == b.numerator && a.denominator == b.denominator;
    }
    friend bool operator!=(const RefreshRate& a, const RefreshRate& b) { return !(a == b); }
};

/// How the source's image is fitted to the monitor: the platform's
/// DISPLAYCONFIG_SCALING values, which are not contiguous.
enum class Scaling : std::uint32_t {
    Identity = 1,
    Centered = 2,
    Stretched = 3,
    AspectRatioCenteredMax = 4,
    Custom = 5,
    Preferred = 128
};

/// "identity", "centered", "stretched", "aspectRatioCenteredMax", "custom",
/// "preferred"; "unknown" for any other value.
inline const char* scalingName(Scaling scaling) {
    switch (scaling) {
    case Scaling::Identity:
        return "identity";
    case Scaling::Centered:
        return "centered";
    case Scaling::Stretched:
        return "stretched";
    case Scaling::AspectRatioCenteredMax:
        return "aspectRatioCenteredMax";
    case Scaling::Custom:
        return "custom";
    case Scaling::Preferred:
        return "preferred";
    }
    return "unknown";
}

/// Where and how the source of a port in use is shown now. Only a port whose
/// path is active has one.
struct DisplayState {
    /// The source's size in desktop pixels (after rotation).
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    /// Its top-left corner on the desktop, whose origin is the primary
    /// display's top-left corner: other displays may sit at negative places.
    std::int32_t x = 0;
    std::int32_t y = 0;
    /// The signal's vertical refresh rate.
    RefreshRate refreshRate;
    bool interlaced = false;
    /// Clockwise rotation of the image in degrees: 0, 90, 180 or 270.
    unsigned rotation = 0;
    Scaling scaling = Scaling::Identity;
    /// The primary display: the one whose source is at the desktop's origin.
    bool primary = false;

    friend bool operator==(const DisplayState& a, const DisplayState& b) {
        return a.width == b.width && a.height == b.height && a.x == b.x && a.y == b.y &&
               a.refreshRate == b.refreshRate && a.interlaced == b.interlaced &&
               a.rotation == b.rotation && a.scaling == b.scaling && a.primary == b.primary;
    }
    friend bool operator!=(const DisplayState& a, const DisplayState& b) { return !(a == b); }
};

/// The identity a monitor's EDID gives: the three-letter manufacturer id of
/// its PNP id ("DEL") and the maker's product code, which the monitor's
/// device path shows too ("DISPLAY#DELA0E2#...": DEL, 0xA0E2).
struct MonitorIds {
    char manufacturerId[4] = {0, 0, 0,
                              0}; ///< three of '@' to '_' (A to Z for registered ids) and a NUL
    std::uint16_t productCode = 0;

    friend bool operator==(const MonitorIds& a, const MonitorIds& b) {
        return a.manufacturerId[0] == b.manufacturerId[0] &&
               a.manufacturerId[1] == b.manufacturerId[1] &&
               a.manufacturerId[2] == b.manufacturerId[2] && a.productCode == b.productCode;
    }
    friend bool operator!=(const MonitorIds& a, const MonitorIds& b) { return !(a == b); }
};

} // namespace libVideoPortInfo
