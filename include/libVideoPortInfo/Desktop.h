// The desktop as a host lays windows on it, and the colour a display shows,
// as plain values: where a display in use sits (its monitor's rectangle and
// work area), how large content is drawn there (its DPI), whether it is the
// primary one, and its advanced-colour (HDR) state. VideoPortWin7 asks the
// platform for them at each call (desktopPlace(), advancedColor()).
#pragma once

#include <cstdint>
#include <optional>

namespace libVideoPortInfo {

/// A rectangle of the desktop, half-open as the platform's RECT: `left` and
/// `top` are inside, `right` and `bottom` outside, so a 1920-pixel-wide
/// display at x 0 ends at 1920 and the next one may start there.
struct DesktopRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    /// 64 bits: the difference of two 32-bit coordinates.
    std::int64_t width() const { return std::int64_t(right) - left; }
    std::int64_t height() const { return std::int64_t(bottom) - top; }
    /// True when no point is inside.
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(std::int32_t x, std::int32_t y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }

    friend bool operator==(const DesktopRect& a, const DesktopRect& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
    friend bool operator!=(const DesktopRect& a, const DesktopRect& b) { return !(a == b); }
};

/// Where a display's DPI comes from.
enum class DpiSource : std::uint32_t {
    /// The system DPI (GetDeviceCaps(LOGPIXELSX)), the same for every
    /// display: Windows 7 and 8 have no other.
    System = 0,
    /// The display's own effective DPI (GetDpiForMonitor with
    /// MDT_EFFECTIVE_DPI, Windows 8.1 and later).
    Effective = 1
};

/// "system" or "effective"; "unknown" for any other value.
inline const char* dpiSourceName(DpiSource source) {
    switch (source) {
    case DpiSource::System:
        return "system";
    case DpiSource::Effective:
        return "effective";
    }
    return "unknown";
}

/// Where a display in use sits on the desktop, in the coordinates of the
/// calling thread's DPI awareness: a DPI-unaware process on a scaled display
/// gets scaled rectangles and a DPI of 96, as every window of it does. A
/// program that shows what the machine has declares per-monitor awareness
/// (videoports does, in its manifest); the library never changes it.
struct DesktopPlace {
    /// The display is the platform's primary one. Every port of the primary
    /// source shares it (both targets of a clone); no other port has it.
    bool primary = false;
    /// The monitor's rectangle on the desktop.
    DesktopRect bounds;
    /// The part of it that windows are laid on: without the taskbar and
    /// docked bars.
    DesktopRect workArea;
    /// Dots per inch of the display's content; 96 is a scale of 1.
    std::uint32_t dpi = 96;
    DpiSource dpiSource = DpiSource::System;

    /// How much larger than at 96 DPI content is drawn: 1.5 at 144 DPI.
    double scale() const { return dpi / 96.0; }

    friend bool operator==(const DesktopPlace& a, const DesktopPlace& b) {
        return a.primary == b.primary && a.bounds == b.bounds && a.workArea == b.workArea &&
               a.dpi == b.dpi && a.dpiSource == b.dpiSource;
    }
    friend bool operator!=(const DesktopPlace& a, const DesktopPlace& b) { return !(a == b); }
};

/// The signal's colour encoding: the platform's DISPLAYCONFIG_COLOR_ENCODING.
enum class ColorEncoding : std::uint32_t {
    Rgb = 0,
    YCbCr444 = 1,
    YCbCr422 = 2,
    YCbCr420 = 3,
    Intensity = 4
};

/// "rgb", "ycbcr444", "ycbcr422", "ycbcr420", "intensity"; "unknown" for any
/// other value.
inline const char* colorEncodingName(ColorEncoding encoding) {
    switch (encoding) {
    case ColorEncoding::Rgb:
        return "rgb";
    case ColorEncoding::YCbCr444:
        return "ycbcr444";
    case ColorEncoding::YCbCr422:
        return "ycbcr422";
    case ColorEncoding::YCbCr420:
        return "ycbcr420";
    case ColorEncoding::Intensity:
        return "intensity";
    }
    return "unknown";
}

/// A display's advanced-colour (HDR and wide colour) state, as Windows 10
/// 1709 and later tell it.
struct AdvancedColor {
    /// The display can show advanced colour.
    bool supported = false;
    /// It shows it now (HDR is on).
    bool enabled = false;
    /// Wide colour is forced on, without HDR.
    bool wideColorEnforced = false;
    ColorEncoding encoding = ColorEncoding::Rgb;
    std::uint32_t bitsPerColorChannel = 0;
    /// The SDR white level as the platform gives it (1000 is 80 nits);
    /// empty when the platform does not answer it.
    std::optional<std::uint32_t> sdrWhiteLevel;

    /// The SDR white level in nits: sdrWhiteLevel × 80 / 1000.
    std::optional<double> sdrWhiteNits() const {
        if (!sdrWhiteLevel) {
            return std::nullopt;
        }
        return *sdrWhiteLevel * 80.0 / 1000.0;
    }

    friend bool operator==(const AdvancedColor& a, const AdvancedColor& b) {
        return a.supported == b.supported && a.enabled == b.enabled &&
               a.wideColorEnforced == b.wideColorEnforced && a.encoding == b.encoding &&
               a.bitsPerColorChannel == b.bitsPerColorChannel && a.sdrWhiteLevel == b.sdrWhiteLevel;
    }
    friend bool operator!=(const AdvancedColor& a, const AdvancedColor& b) { return !(a == b); }
};

} // namespace libVideoPortInfo
