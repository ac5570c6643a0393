#include <libVideoPortInfo/DisplayResolution.h>

namespace libVideoPortInfo {

DisplayResolution::DisplayResolution(unsigned width, unsigned height, unsigned frequency,
                                     unsigned bitsPerPixel)
    : width_(width), height_(height), frequency_(frequency), bitsPerPixel_(bitsPerPixel) {}

DisplayResolution::DisplayResolution(const DisplayResolution& other) = default;
DisplayResolution& DisplayResolution::operator=(const DisplayResolution& other) = default;
DisplayResolution::~DisplayResolution() = default;

bool operator==(const DisplayResolution& a, const DisplayResolution& b) {
    return a.width() == b.width() && a.height() == b.height() && a.frequency() == b.frequency() &&
           a.bitsPerPixel() == b.bitsPerPixel();
}

} // namespace libVideoPortInfo
