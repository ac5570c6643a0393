#include "EdidJson.h"

namespace tools {
namespace {

using nlohmann::ordered_json;

template <typename T> ordered_json orNull(const std::optional<T>& value) {
    return value ? ordered_json(*value) : ordered_json(nullptr);
}

ordered_json sizeJson(const std::optional<edid::Size>& size) {
    if (!size)
        return nullptr;
    return {{"width", size->width}, {"height", size->height}};
}

ordered_json timingJson(const std::optional<edid::DetailedTiming>& timing) {
    if (!timing)
        return nullptr;
    return {
        {"width", timing->width},
        {"height", timing->height},
        {"interlaced", timing->interlaced},
        {"pixelClockKhz", timing->pixelClockKhz},
        {"refreshRate",
         {{"numerator", timing->refreshRate.numerator},
          {"denominator", timing->refreshRate.denominator}}},
        {"hertz", timing->hertz},
        {"imageSizeMm", sizeJson(timing->imageSizeMm)},
    };
}

ordered_json hdrJson(const std::optional<edid::HdrStaticMetadata>& hdr) {
    if (!hdr)
        return nullptr;
    return {
        {"traditionalSdr", hdr->traditionalSdr},
        {"traditionalHdr", hdr->traditionalHdr},
        {"pq", hdr->pq},
        {"hlg", hdr->hlg},
        {"desiredContentMaxLuminance", orNull(hdr->desiredContentMaxLuminance)},
        {"desiredContentMaxFrameAverageLuminance",
         orNull(hdr->desiredContentMaxFrameAverageLuminance)},
        {"desiredContentMinLuminance", orNull(hdr->desiredContentMinLuminance)},
    };
}

} // namespace

ordered_json edidJson(const edid::Edid& edid) {
    return {
        {"manufacturerId", edid.manufacturerId},
        {"productCode", edid.productCode},
        {"serialNumber", orNull(edid.serialNumber)},
        {"serialString", orNull(edid.serialString)},
        {"name", orNull(edid.name)},
        {"week", orNull(edid.week)},
        {"year", orNull(edid.year)},
        {"modelYear", orNull(edid.modelYear)},
        {"version", edid.version},
        {"digital", edid.digital},
        {"extensions", edid.extensions},
        {"maxImageSizeCm", sizeJson(edid.maxImageSizeCm)},
        {"preferredTiming", timingJson(edid.preferredTiming)},
        {"hdmi", edid.hdmi},
        {"hdr", hdrJson(edid.hdr)},
        {"checksumValid", edid.checksumValid},
        {"physicalSizeMm", sizeJson(edid.physicalSizeMm)},
    };
}

} // namespace tools
