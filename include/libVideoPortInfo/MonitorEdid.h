// The platform operation the library adds to user32's four: a monitor's EDID,
// as Windows keeps it beside the monitor's device (the registry value "EDID"
// of the device's hardware key). Windows has no single call for it: the
// back-end DLL implements it with SetupAPI and exports it; on Linux the
// stand-in platform serves it from its recording. Declared like the four,
// without an export attribute: whatever library defines it supplies its own.
#pragma once

#include <libVideoPortInfo/DisplayConfig.h>

#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// Copies the EDID of the monitor whose device interface path is
/// `monitorDevicePath` (NUL-terminated, as the target-name request gives it;
/// ASCII letters compare without regard to case) into `buffer`.
///
/// `*size` is the buffer's capacity in bytes, and becomes the EDID's size
/// whenever that is known (ERROR_SUCCESS, ERROR_INSUFFICIENT_BUFFER). A null
/// `buffer` asks for the size alone. Answers:
///  - ERROR_SUCCESS: the EDID is in `buffer` (or, for a null one, its size
///    in `*size`); an EDID may be of any size the platform keeps, 0 included;
///  - ERROR_INSUFFICIENT_BUFFER: `*size` is below the EDID's size; nothing
///    is written;
///  - ERROR_FILE_NOT_FOUND: no present monitor has that path, or it has no
///    EDID;
///  - ERROR_INVALID_PARAMETER: a null or empty path, or a null `size`;
///  - any other code: the platform's own failure (ERROR_ACCESS_DENIED,
///    ERROR_NOT_ENOUGH_MEMORY, ...).
/// Each call reads the platform afresh: the EDID may change between a size
/// query and the read, which then answers ERROR_INSUFFICIENT_BUFFER.
LONG WINAPI vpiReadMonitorEdid(LPCWSTR monitorDevicePath, BYTE* buffer, UINT32* size);

#ifdef __cplusplus
}
#endif
