#pragma once

#include <libVideoPortInfo/Export.h>

namespace libVideoPortInfo {

/// One display mode: width and height in pixels, refresh frequency in hertz
/// and colour depth in bits per pixel. A plain value, stored in that order.
class VPI_BASE_API DisplayResolution {
public:
    DisplayResolution(unsigned width, unsigned height, unsigned frequency, unsigned bitsPerPixel);
    DisplayResolution(const DisplayResolution& other);
    DisplayResolution& operator=(const DisplayResolution& other);
    ~DisplayResolution();

    unsigned width() const { return width_; }
    unsigned height() const { return height_; }
    unsigned frequency() const { return frequency_; }
    unsigned bitsPerPixel() const { return bitsPerPixel_; }

private:
    unsigned width_;
    unsigned height_;
    unsigned frequency_;
    unsigned bitsPerPixel_;
};

/// True when all four values are equal.
VPI_BASE_API bool operator==(const DisplayResolution& a, const DisplayResolution& b);

inline bool operator!=(const DisplayResolution& a, const DisplayResolution& b) {
    return !(a == b);
}

} // namespace libVideoPortInfo
