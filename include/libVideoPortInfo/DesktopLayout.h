// Which display shows a point of the desktop, over plain rectangles: the one
// rule that the C++, C and Python interfaces share. Header-only.
#pragma once

#include <libVideoPortInfo/Desktop.h>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace libVideoPortInfo {

/// A display found for a point: its index among the rectangles given, and
/// whether the point is on it (else it is the nearest one).
struct DisplayAtPoint {
    std::size_t index = 0;
    bool inside = false;

    friend bool operator==(const DisplayAtPoint& a, const DisplayAtPoint& b) {
        return a.index == b.index && a.inside == b.inside;
    }
    friend bool operator!=(const DisplayAtPoint& a, const DisplayAtPoint& b) { return !(a == b); }
};

namespace layout {

/// A squared distance of up to 2 × (2^32 - 1)^2, which needs 65 bits: the
/// carry and the low 64 bits.
struct SquaredDistance {
    std::uint64_t carry = 0;
    std::uint64_t low = 0;

    bool operator<(const SquaredDistance& o) const {
        return carry != o.carry ? carry < o.carry : low < o.low;
    }
};

/// How far `value` lies outside [low, high): 0 inside; the last point inside
/// is high - 1, as the right and bottom edges are outside.
inline std::uint64_t distanceOutside(std::int32_t value, std::int32_t low, std::int32_t high) {
    if (value < low) {
        return std::uint64_t(std::int64_t(low) - value);
    }
    if (value >= high) {
        return std::uint64_t(std::int64_t(value) - (std::int64_t(high) - 1));
    }
    return 0;
}

/// From (x, y) to the nearest point of a rectangle that is not empty.
inline SquaredDistance squaredDistance(const DesktopRect& r, std::int32_t x, std::int32_t y) {
    const std::uint64_t dx = distanceOutside(x, r.left, r.right);
    const std::uint64_t dy = distanceOutside(y, r.top, r.bottom);
    // Each square is below 2^64; their sum may carry into a 65th bit.
    SquaredDistance d;
    d.low = dx * dx + dy * dy;
    d.carry = d.low < dx * dx ? 1 : 0;
    return d;
}

} // namespace layout

/// The display that shows desktop point (x, y), as hosts place a window
/// there: the first of `displays[0, count)` whose rectangle holds the point
/// (right and bottom edges are outside, as on Windows); when none does, the
/// one nearest to it, measured from the point to the nearest point of each
/// rectangle, the first of equally near ones. Empty rectangles show nothing
/// and are skipped. Empty when no rectangle is left (no display in use).
/// Exact for every 32-bit coordinate; takes time linear in `count`.
inline std::optional<DisplayAtPoint> displayAtPoint(const DesktopRect* displays, std::size_t count,
                                                    std::int32_t x, std::int32_t y) {
    std::optional<DisplayAtPoint> nearest;
    layout::SquaredDistance best;
    for (std::size_t i = 0; i < count; ++i) {
        const DesktopRect& r = displays[i];
        if (r.empty()) {
            continue;
        }
        if (r.contains(x, y)) {
            return DisplayAtPoint{i, true};
        }
        const layout::SquaredDistance d = layout::squaredDistance(r, x, y);
        if (!nearest || d < best) {
            nearest = DisplayAtPoint{i, false};
            best = d;
        }
    }
    return nearest;
}

} // namespace libVideoPortInfo
