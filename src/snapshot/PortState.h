// Everything the library tells about the ports at one moment, copied out as
// plain values (UTF-8 text and numbers): what the C interface hands to its
// hosts and what videoports prints, read in one place so that both say the
// same. A refresh replaces the factory's port objects; these copies stay.
#pragma once

#include <edid/Edid.h>
#include <libVideoPortInfo/Desktop.h>
#include <libVideoPortInfo/DisplayState.h>
#include <libVideoPortInfo/VideoPortFactory.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snapshot {

struct Mode {
    unsigned width = 0;
    unsigned height = 0;
    unsigned refreshRate = 0;
    unsigned bitsPerPixel = 0;

    /// True when the platform did not tell the mode: every value zero.
    bool unknown() const { return width == 0 && height == 0 && refreshRate == 0; }
    friend bool operator==(const Mode& a, const Mode& b) {
        return a.width == b.width && a.height == b.height && a.refreshRate == b.refreshRate &&
               a.bitsPerPixel == b.bitsPerPixel;
    }
    friend bool operator!=(const Mode& a, const Mode& b) { return !(a == b); }
    friend bool operator<(const Mode& a, const Mode& b);
};

/// The display target as the platform numbers it on this boot: the adapter
/// identifier (new at every boot) and the target id.
struct PortTarget {
    std::uint32_t adapterLow = 0;
    std::int32_t adapterHigh = 0;
    std::uint32_t targetId = 0;
};

struct MonitorState {
    std::string name;
    std::string devicePath;
    /// The port's display id for a monitor in use; "" for one switched off.
    std::string displayId;
    Mode preferredMode;
    /// The EDID ids, when the platform flags them as valid.
    std::optional<libVideoPortInfo::MonitorIds> ids;
    /// The monitor's EDID as the platform keeps it (empty when it keeps
    /// none or it could not be read), and what it says when it is one.
    std::vector<std::uint8_t> edid;
    std::optional<edid::Edid> edidInfo;

    /// Whether `other` is another monitor, rather than this one renamed:
    /// other EDID ids, or another serial number or serial text.
    bool isOtherThan(const MonitorState& other) const;
};

/// Everything a host reads from one port.
struct PortState {
    unsigned index = 0;
    /// The port's identity across refreshes and restarts
    /// (VideoPortWin7::portKey()); the index is not one: the platform may
    /// list the same targets in another order, or another target at the same
    /// place. Unique within a list: when two adapters report the same device
    /// path, the second port of a key gets "~2" after it, the third "~3", in
    /// the platform's order.
    std::string key;
    PortTarget target;
    std::string connector; // the connector type's name
    int connectorType = 0;
    std::int32_t outputTechnology = 0; // the platform's own value
    bool embedded = false;
    std::optional<std::uint32_t> connectorInstance;
    /// A monitor is in use on the port (its path is active).
    bool monitorAttached = false;
    std::string displayId;
    /// The monitor in use; nothing without one.
    std::optional<MonitorState> monitor;
    /// A monitor is connected, in use or not (the target is available).
    bool monitorConnected = false;
    /// The monitor connected but not in use (switched off in the desktop's
    /// settings, or in a configuration not applied); nothing otherwise.
    std::optional<MonitorState> inactiveMonitor;
    /// Where and how the port's source is shown; only for a port in use. Its
    /// primary flag is the platform's.
    std::optional<libVideoPortInfo::DisplayState> current;
    /// For a port in use, where its display sits as windows see it (its
    /// work area, DPI and scale), when the desktop knows it; and its
    /// advanced-colour (HDR) state, when the platform tells it.
    std::optional<libVideoPortInfo::DesktopPlace> desktop;
    std::optional<libVideoPortInfo::AdvancedColor> color;
    std::vector<Mode> modes; // distinct, in the order the platform reported them

    /// The rectangle a host lays windows on: the desktop's, else the current
    /// state's; nothing for a port not in use.
    std::optional<libVideoPortInfo::DesktopRect> bounds() const {
        if (desktop) {
            return desktop->bounds;
        }
        if (!current) {
            return std::nullopt;
        }
        return libVideoPortInfo::DesktopRect{
            current->x, current->y, static_cast<std::int32_t>(current->x + current->width),
            static_cast<std::int32_t>(current->y + current->height)};
    }

    /// The connected monitor, in use or not; nothing without one.
    const MonitorState* connectedMonitor() const {
        return monitor ? &*monitor : inactiveMonitor ? &*inactiveMonitor : nullptr;
    }
    MonitorState* connectedMonitor() {
        return const_cast<MonitorState*>(static_cast<const PortState&>(*this).connectedMonitor());
    }
};

/// The advanced-colour state in a word: "on", "off", "unsupported", or
/// "unknown" where the platform does not tell.
inline const char* hdrName(const std::optional<libVideoPortInfo::AdvancedColor>& color) {
    return !color ? "unknown" : !color->supported ? "unsupported" : color->enabled ? "on" : "off";
}

/// Every port of the factory's list, copied. Asks the platform for each
/// adapter's device path once (for the keys), and for each port's modes.
/// Keys are unique within the list: see PortState::key.
std::vector<PortState> readPorts(const libVideoPortInfo::VideoPortFactory& factory);

} // namespace snapshot
