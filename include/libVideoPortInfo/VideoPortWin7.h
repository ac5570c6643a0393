#pragma once

#include <libVideoPortInfo/ConnectedMonitor.h>
#include <libVideoPortInfo/Desktop.h>
#include <libVideoPortInfo/DisplayState.h>
#include <libVideoPortInfo/ExtDevMode.h>
#include <libVideoPortInfo/Monitor.h>
#include <libVideoPortInfo/Platform.h>
#include <libVideoPortInfo/VideoPort.h>
#include <tkl/Array.h>
#include <tkl/SharedResource.h>
#include <tkl/String.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace libVideoPortInfo {

class VideoPortFactoryWin7;

/// A video port of the Windows 7 display configuration: one display target,
/// built by the factory from the surviving path to that target and the
/// snapshot's mode table.
///
/// Ownership: the port owns its monitor record through a reference-counted
/// handle; copies of a port share the record, which dies with the last of
/// them. Ports are never changed after construction.
class VPI_WIN7_API VideoPortWin7 : public VideoPort {
public:
    /// Copies the records and the display id; shares the monitor.
    VideoPortWin7(const VideoPortWin7& other);
    VideoPortWin7& operator=(const VideoPortWin7& other);
    ~VideoPortWin7() override;

    /// True exactly when the path is active.
    bool hasAttachedMonitor() const override;
    ConnectorType connectorType() const override;
    /// The source's GDI device name, such as "\\.\DISPLAY1".
    const tkl::String& displayId() const override;
    tkl::CopiedResource<tkl::PointerStorage<Monitor, 3, 2>> monitor() const override;
    /// Lists the distinct raw modes of the device named by the display id.
    unsigned supportedResolution(tkl::Array<DisplayResolution>& out) const override;

    /// The adapter identifier of the port's target; ports on one adapter
    /// report equal identifiers.
    const LUID& portId() const;
    /// The path record the port was built from.
    const DISPLAYCONFIG_PATH_INFO& pathInfo() const;

    // What the records the port was built from tell beyond the VideoPort
    // interface. None of these asks the platform again, but for the adapter
    // path, the key and the current state's primary flag.

    /// The target id; with portId() it names the display target until the
    /// next restart (adapter identifiers are new at every boot).
    UINT32 targetId() const;
    /// The platform's own output technology, which connectorType() maps: a
    /// DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY, read as a signed number (-1
    /// other, 0x80000000 internal).
    std::int32_t outputTechnology() const;
    /// Whether the connector is built into the machine: embedded DisplayPort
    /// or UDI, LVDS, internal.
    bool isEmbedded() const;
    /// Which connector of its kind on the adapter the port is. The platform
    /// tells it with the monitor's names, so only a port with a monitor
    /// knows it.
    std::optional<std::uint32_t> connectorInstance() const;
    /// Where and how the source is shown now; only for a port whose path is
    /// active (and designates its source mode). Its `primary` is the
    /// platform's (vpiGetDesktopFacts, asked at each call), never inferred
    /// from the place.
    std::optional<DisplayState> displayState() const;
    /// The same with the primary flag of `place`, as desktopPlace() gave it
    /// (none: not primary), without asking the platform again: a host that
    /// reads both asks once.
    std::optional<DisplayState> displayState(const std::optional<DesktopPlace>& place) const;
    /// The attached monitor's EDID ids; empty without a monitor, or when the
    /// platform does not flag them as valid.
    std::optional<MonitorIds> monitorIds() const;

    /// The device interface path of the port's adapter, from the platform's
    /// adapter-name request (made on every call); empty when the platform
    /// does not tell it.
    tkl::String adapterDevicePath() const;
    /// A text that names the port's connector across refreshes and restarts:
    /// the adapter's device path, "#" and the target id in decimal. Makes the
    /// adapter-name request; the other form takes a path already asked for
    /// (hosts with several ports on one adapter ask once). Without a path the
    /// adapter identifier stands in ("luid:HHHHHHHH:LLLLLLLL#<target id>"),
    /// which holds only until the next restart.
    tkl::String portKey() const;
    tkl::String portKey(const tkl::String& adapterDevicePath) const;

    // What the desktop and the display tell now, asked of the platform at
    // each call (the factory's refresh() never asks): one
    // vpiGetDesktopFacts, or one or two DisplayConfigGetDeviceInfo requests.

    /// Where the port's display sits on the desktop as windows see it,
    /// whether it is the primary one, and its DPI; empty for a port not in
    /// use, and when the desktop does not know its display id.
    std::optional<DesktopPlace> desktopPlace() const;
    /// The display's advanced-colour state; empty ("unknown") for a port not
    /// in use and when the platform does not answer the advanced-colour
    /// request (Windows before 10 1709, Wine), which is no error and logs at
    /// debug only. The SDR white level is asked for once that request is
    /// answered.
    std::optional<AdvancedColor> advancedColor() const;
    /// Whether a monitor is connected: the targetAvailable of the port's
    /// path, whether or not the path is in use (hasAttachedMonitor()).
    bool isMonitorConnected() const;
    /// The connected monitor; empty exactly when isMonitorConnected() is
    /// false. For a port in use it comes from the records read at the
    /// refresh; otherwise each call asks the platform (the target-name and
    /// preferred-mode requests; failures logged at debug priority).
    std::optional<ConnectedMonitor> connectedMonitor() const;
    /// The connected monitor's EDID, read through vpiReadMonitorEdid at each
    /// call (for a port not in use, after a target-name request for the
    /// monitor's device path). Empty when no monitor is connected, when it
    /// has no EDID and when the read failed (logged at debug priority).
    std::vector<std::uint8_t> monitorEdid() const;

private:
    friend class VideoPortFactoryWin7;

    /// Builds the port from `path` and its own copy of the mode table. Throws
    /// tkl::IndexOutOfBounds for a mode index outside the table.
    VideoPortWin7(const DISPLAYCONFIG_PATH_INFO& path, tkl::Array<DISPLAYCONFIG_MODE_INFO> modes);
    /// The same from the snapshot's own table, which the port reads while it
    /// is built and does not keep: no copy of a table that every port of a
    /// large configuration would otherwise copy whole.
    VideoPortWin7(const DISPLAYCONFIG_PATH_INFO& path,
                  const tkl::Array<DISPLAYCONFIG_MODE_INFO>* modes);

    /// Stores the path and asks the platform for the display id and, for an
    /// active path, the monitor's records. Failures are logged; always true.
    bool update(const DISPLAYCONFIG_PATH_INFO& path);
    void setSourceInfoMode(const DISPLAYCONFIG_MODE_INFO& mode);
    void setTargetInfoMode(const DISPLAYCONFIG_MODE_INFO& mode);

    /// What the target-name record tells besides the monitor's names, and
    /// the preferred mode. The records are read for an active path only;
    /// `known` and `preferredModeKnown` are false otherwise, and when their
    /// request failed.
    struct TargetFacts {
        bool known = false;
        bool edidIdsValid = false;
        std::uint16_t edidManufactureId = 0;
        std::uint16_t edidProductCodeId = 0;
        std::uint32_t connectorInstance = 0;
        bool preferredModeKnown = false;
        MonitorMode preferredMode;
    };

    DISPLAYCONFIG_PATH_INFO path_;
    DISPLAYCONFIG_MODE_INFO sourceMode_;
    DISPLAYCONFIG_MODE_INFO targetMode_;
    tkl::String displayId_;
    tkl::SharedResource<tkl::PointerStorage<Monitor, 0, 3>, 0> monitor_;
    TargetFacts target_;
};

} // namespace libVideoPortInfo
