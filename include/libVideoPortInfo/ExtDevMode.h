#pragma once

#include <libVideoPortInfo/Export.h>
#include <libVideoPortInfo/Platform.h>

namespace libVideoPortInfo {

/// A platform mode record followed at once by room for the display driver's
/// private data: the record handed to EnumDisplaySettingsExW.
struct ExtDevMode {
    DEVMODEW devMode;
    BYTE driverData[1024];

    /// Copies all 1244 bytes, the driver-private area included.
    VPI_WIN7_API ExtDevMode& operator=(const ExtDevMode& other);
};

static_assert(sizeof(ExtDevMode) == 1244, "DEVMODEW followed by 1024 bytes");

} // namespace libVideoPortInfo
