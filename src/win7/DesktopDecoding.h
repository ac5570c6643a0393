// The platform's desktop and advanced-colour records as the library's values.
// Each rule lives here once.
#pragma once

#include <libVideoPortInfo/Desktop.h>
#include <libVideoPortInfo/Platform.h>

namespace libVideoPortInfo {
namespace decoding {

inline DesktopRect rectOf(const RECTL& r) {
    return DesktopRect{r.left, r.top, r.right, r.bottom};
}

inline DesktopPlace placeOf(const VpiDesktopFacts& facts) {
    DesktopPlace place;
    place.primary = (facts.flags & VPI_DESKTOP_PRIMARY) != 0;
    place.bounds = rectOf(facts.monitorRect);
    place.workArea = rectOf(facts.workArea);
    place.dpi = facts.dpi;
    place.dpiSource = static_cast<DpiSource>(facts.dpiSource);
    return place;
}

/// The bits of the record's flags union, read from its value so that no
/// bit-field layout is assumed: supported (bit 0), enabled (1), wide colour
/// enforced (2). `whiteLevel` is the SDR white-level record, null when that
/// request was not answered.
inline AdvancedColor advancedColorOf(const DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO& info,
                                     const DISPLAYCONFIG_SDR_WHITE_LEVEL* whiteLevel) {
    AdvancedColor color;
    color.supported = (info.value & 0x1u) != 0;
    color.enabled = (info.value & 0x2u) != 0;
    color.wideColorEnforced = (info.value & 0x4u) != 0;
    color.encoding = static_cast<ColorEncoding>(static_cast<std::uint32_t>(info.colorEncoding));
    color.bitsPerColorChannel = info.bitsPerColorChannel;
    if (whiteLevel != nullptr) {
        color.sdrWhiteLevel = static_cast<std::uint32_t>(whiteLevel->SDRWhiteLevel);
    }
    return color;
}

} // namespace decoding
} // namespace libVideoPortInfo
