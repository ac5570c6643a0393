// The desktop as Windows' display settings draw it, as an SVG picture: each
// display in use at its place and size, with its number, name, connector,
// mode and scale, and the ports not in use listed below. Plain input types,
// so that the picture does not depend on how the ports were read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tools {

/// A rectangle in desktop pixels; x and y may be negative.
struct LayoutRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

/// A display in use.
struct LayoutDisplay {
    unsigned number = 0;                ///< the port's index
    std::string name;                   ///< the monitor's, UTF-8; may be empty
    std::string connector;              ///< "HDMI"
    std::string mode;                   ///< "2560x1440 @ 59.95 Hz"
    std::optional<double> scale;        ///< 1.5 for 150%
    LayoutRect bounds;                  ///< where it sits on the desktop
    std::optional<LayoutRect> workArea; ///< the desktop without the taskbar, inside bounds
    bool primary = false;
};

/// A port not in use: free, or with its monitor switched off.
struct LayoutPort {
    unsigned number = 0;
    std::string connector;
    std::string state; ///< "free", "off: DELL U2719D"
};

/// The picture's width in pixels, whatever the layout.
constexpr int kLayoutSvgWidth = 960;

/// The font metrics the text is fitted with, in ems: those of DejaVu Sans
/// (Verdana's), the widest of the families the picture names.
constexpr double kLayoutFontAscent = 0.93;
constexpr double kLayoutFontDescent = 0.24;

/// The width `utf8` takes at `fontSize` by those metrics; at least what it
/// takes in any of the picture's fonts. Whitespace is counted as written.
double layoutTextWidth(const std::string& utf8, double fontSize);

/// A scale as a percentage, "150%" for 1.5; "" when it is no scale.
std::string percentText(const std::optional<double>& scale);

/// The SVG 1.1 document, kLayoutSvgWidth pixels wide: the displays scaled
/// with one factor to fit, each a group of class "display" (and "primary")
/// with a <title> of its full text, a rect of class "screen", one of class
/// "work-area" when it has one, a "frame", and text clipped to the screen;
/// then the group of class "ports" listing `others`. The same input gives
/// the same bytes, in any locale.
std::string layoutSvg(const std::vector<LayoutDisplay>& displays,
                      const std::vector<LayoutPort>& others);

} // namespace tools
