// The one platform operation of the project's own, beside the four
// display-configuration operations of user32: what the desktop knows of one
// GDI display device (whether it is the primary one, its monitor's rectangle
// and work area, and its DPI). On Windows it is made of user32, gdi32 and
// shcore calls (src/win7/DesktopFactsWin32.cpp); elsewhere the stand-in
// platform answers it from the served configuration.
//
// Declared without an export attribute, like the four operations: whatever
// library defines it supplies its own.
#pragma once

#include <libVideoPortInfo/DisplayConfig.h>

#ifndef ERROR_NOT_FOUND
#define ERROR_NOT_FOUND 1168
#endif

/// VpiDesktopFacts::flags: the device is the platform's primary display
/// device (MONITORINFOF_PRIMARY). At most one device has it.
#define VPI_DESKTOP_PRIMARY 0x00000001u

/// VpiDesktopFacts::dpiSource: where the DPI comes from.
#define VPI_DPI_SYSTEM 0u    /* the system DPI, GetDeviceCaps(LOGPIXELSX) */
#define VPI_DPI_EFFECTIVE 1u /* the monitor's own, GetDpiForMonitor(MDT_EFFECTIVE_DPI) */

/// The desktop facts of one GDI display device. Rectangles are half-open
/// (right and bottom outside) and in the coordinates of the calling thread's
/// DPI awareness, as GetMonitorInfoW gives them: a DPI-unaware caller sees
/// scaled ones, and a DPI of 96.
typedef struct VpiDesktopFacts {
    UINT32 size;       ///< set by the caller: sizeof(VpiDesktopFacts) or more
    UINT32 flags;      ///< VPI_DESKTOP_PRIMARY
    RECTL monitorRect; ///< the monitor's rectangle on the desktop
    RECTL workArea;    ///< the same without the taskbar and docked bars
    UINT32 dpi;        ///< dots per inch; 96 is a scale of 1
    UINT32 dpiSource;  ///< VPI_DPI_SYSTEM or VPI_DPI_EFFECTIVE
} VpiDesktopFacts;

#ifdef __cplusplus
extern "C" {
#endif

/// Fills `facts` (all but its `size`) for the monitor whose GDI device name
/// is `gdiDeviceName` ("\\.\DISPLAY1"). Returns ERROR_SUCCESS;
/// ERROR_INVALID_PARAMETER for a null argument or a `size` below the record's;
/// ERROR_NOT_FOUND when no monitor of that name is on the desktop (a source
/// not in use). Never changes the process's DPI awareness.
LONG WINAPI vpiGetDesktopFacts(const WCHAR* gdiDeviceName, VpiDesktopFacts* facts);

#ifdef __cplusplus
}
#endif
