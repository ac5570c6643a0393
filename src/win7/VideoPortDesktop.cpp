// What a port's display tells of the desktop and of its colour, asked of the
// platform at each call: never by the factory's refresh(), so that listing
// the ports costs what it cost before these facts existed.
#include "DesktopDecoding.h"
#include "DesktopQuery.h"
#include "PlatformLog.h"

#include <libVideoPortInfo/DesktopLayout.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>

#include <cstring>
#include <vector>

namespace libVideoPortInfo {

namespace {
tkl::Logger* desktopLogger = nullptr;
} // namespace

std::optional<VpiDesktopFacts> desktopFactsOf(const tkl::String& displayId) {
    if (displayId.empty()) {
        return std::nullopt;
    }
    VpiDesktopFacts facts;
    std::memset(&facts, 0, sizeof facts);
    facts.size = sizeof facts;
    const LONG result =
        vpiGetDesktopFacts(reinterpret_cast<const WCHAR*>(displayId.getUCS2Buffer()), &facts);
    if (result != ERROR_SUCCESS) {
        logPlatformResult(desktopLogger, platformLog::desktopFactsFailed, result);
        return std::nullopt;
    }
    return facts;
}

std::optional<DesktopPlace> VideoPortWin7::desktopPlace() const {
    if (!hasAttachedMonitor()) {
        return std::nullopt;
    }
    const std::optional<VpiDesktopFacts> facts = desktopFactsOf(displayId_);
    if (!facts) {
        return std::nullopt;
    }
    return decoding::placeOf(*facts);
}

std::optional<AdvancedColor> VideoPortWin7::advancedColor() const {
    if (!hasAttachedMonitor()) {
        return std::nullopt;
    }
    const LUID& adapter = path_.targetInfo.adapterId;
    const UINT32 target = path_.targetInfo.id;
    auto info = makeDeviceInfoRequest<DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO>(
        DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, adapter, target);
    const LONG result = DisplayConfigGetDeviceInfo(&info.header);
    if (result != ERROR_SUCCESS) {
        logPlatformResult(desktopLogger, platformLog::advancedColorFailed, result);
        return std::nullopt;
    }
    // Answered wherever the request above is (both came with 10 1709); a
    // failure leaves only the white level unknown.
    auto white = makeDeviceInfoRequest<DISPLAYCONFIG_SDR_WHITE_LEVEL>(
        DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL, adapter, target);
    const bool whiteKnown = DisplayConfigGetDeviceInfo(&white.header) == ERROR_SUCCESS;
    return decoding::advancedColorOf(info, whiteKnown ? &white : nullptr);
}

std::optional<DisplayAtPoint> VideoPortFactoryWin7::portAtPoint(std::int32_t x,
                                                                std::int32_t y) const {
    std::vector<DesktopRect> bounds;
    std::vector<unsigned> ports; // the port index of each rectangle
    for (unsigned i = 0; i < ports_.size(); ++i) {
        if (const auto place = ports_[i]->desktopPlace()) {
            bounds.push_back(place->bounds);
            ports.push_back(i);
        }
    }
    std::optional<DisplayAtPoint> found = displayAtPoint(bounds.data(), bounds.size(), x, y);
    if (found) {
        found->index = ports[found->index];
    }
    return found;
}

} // namespace libVideoPortInfo
