// What the platform tells of the monitor connected to a port, whether or not
// the port is in use: VideoPortWin7::connectedMonitor() gives it as a plain
// value that the host keeps.
#pragma once

#include <libVideoPortInfo/DisplayState.h>
#include <tkl/String.h>

#include <cstdint>
#include <optional>

namespace libVideoPortInfo {

/// A monitor's preferred mode: its size in pixels and the exact vertical
/// refresh rate of its timing (RefreshRate::hertz() rounds it to two
/// decimals). All zero when the platform did not tell it.
struct MonitorMode {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    RefreshRate refreshRate;

    friend bool operator==(const MonitorMode& a, const MonitorMode& b) {
        return a.width == b.width && a.height == b.height && a.refreshRate == b.refreshRate;
    }
    friend bool operator!=(const MonitorMode& a, const MonitorMode& b) { return !(a == b); }
};

/// The monitor connected to a port, from the platform's target-name and
/// preferred-mode requests for the port's target. A request that failed
/// leaves what it would have told empty (names, ids, instance) or zero
/// (mode), and says so.
struct ConnectedMonitor {
    /// The friendly name, as the EDID gives it; may be empty.
    tkl::String name;
    /// The monitor's device interface path, which names its EDID
    /// (VideoPortWin7::monitorEdid()); empty when unknown.
    tkl::String devicePath;
    /// The EDID ids; empty unless the target-name request succeeded and
    /// flagged them as valid.
    std::optional<MonitorIds> ids;
    /// Which connector of its kind on the adapter; empty when the
    /// target-name request failed.
    std::optional<std::uint32_t> connectorInstance;
    MonitorMode preferredMode;
    /// Whether each request succeeded.
    bool targetNameRead = false;
    bool preferredModeRead = false;
};

} // namespace libVideoPortInfo
