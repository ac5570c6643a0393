// The stand-in for user32's display-configuration operations and the
// project's own operations (the desktop facts, and vpiReadMonitorEdid, which
// it serves from the configuration's EDIDs), scripted by tests. The
// operations themselves are declared by <libVideoPortInfo/Platform.h>; this
// header adds the controls.
//
// What is served: the configuration named by the environment variable
// VPI_DISPLAY_CONFIG (a regular JSON file, see docs/display-config-format.md)
// or, when it is unset or empty, defaultConfiguration(). The file is read again
// by the next GetDisplayConfigBufferSizes once its modification time or size
// has changed, and by every one while it could not be used (until another
// configuration is set). A file that cannot be used is reported by one line on
// standard error; until a read succeeds, GetDisplayConfigBufferSizes and
// QueryDisplayConfig then answer ERROR_GEN_FAILURE (ERROR_NOT_ENOUGH_MEMORY when
// memory ran out while reading) after their argument checks, and so do
// DisplayConfigGetDeviceInfo and vpiReadMonitorEdid; EnumDisplaySettingsExW
// answers 0. The operations never throw.
//
// The operations answer as Windows 7 does where it is easy to simplify (its
// flags, argument checks, database view, adapter names and orientation rule:
// docs/display-config-format.md has the details).
//
// All functions may be called from any thread; the stand-in serialises them.
#pragma once

#include <standin/Configuration.h>

// The stand-in's exports: these controls, and its definitions of the
// operations, which <libVideoPortInfo/Platform.h> declares without one.
#if defined(_WIN32)
#if defined(VPI_BUILDING_STANDIN)
#define VPI_STANDIN_API __declspec(dllexport)
#else
#define VPI_STANDIN_API __declspec(dllimport)
#endif
#else
#define VPI_STANDIN_API __attribute__((visibility("default")))
#endif

namespace standin {

enum class Operation {
    GetDisplayConfigBufferSizes,
    QueryDisplayConfig,
    DisplayConfigGetDeviceInfo,
    EnumDisplaySettingsExW,
    vpiGetDesktopFacts,
    // The library's own operation, <libVideoPortInfo/MonitorEdid.h>. The
    // last: the stand-in keeps one counter per operation up to it.
    ReadMonitorEdid
};

// A realistic laptop, the recording standin/data/built-in.json compiled in:
// an embedded panel (\\.\DISPLAY1) and an HDMI monitor (\\.\DISPLAY2) in
// use, an idle DisplayPort and VGA connector, every source x target pair as a
// path, and a few dozen raw modes per device, some differing only in fields a
// resolution does not carry; the panel is the primary display at 144 DPI
// with a taskbar, and the HDMI monitor can show HDR.
VPI_STANDIN_API Configuration defaultConfiguration();

// Serves `configuration` from now on. It is not checked: out-of-range mode
// indexes, unterminated names and the like are served as they are.
VPI_STANDIN_API void setConfiguration(const Configuration& configuration);

// Back to what VPI_DISPLAY_CONFIG (read again now) or the default gives; clears
// pending faults, a pending change and the call counters.
VPI_STANDIN_API void resetConfiguration();

// The nth call of `operation` from now (1 = the next one) returns `code`
// without doing anything else; EnumDisplaySettingsExW returns 0 instead. Calls
// failed this way still count.
VPI_STANDIN_API void failCall(Operation operation, unsigned nth, LONG code);

// `next` is served from right after the next successful
// GetDisplayConfigBufferSizes, as if the machine changed between the size
// query and the query.
VPI_STANDIN_API void changeConfigurationAfterSizeQuery(const Configuration& next);

// Calls of `operation` since the last reset, failed ones included.
VPI_STANDIN_API unsigned callCount(Operation operation);

// Why nothing is served now: the line the stand-in wrote to standard error
// when it refused the recording (or the built-in configuration), without
// its ending; empty while a configuration is served.
VPI_STANDIN_API std::string problem();

} // namespace standin
