#pragma once

#include <libVideoPortInfo/ExtDevMode.h>
#include <libVideoPortInfo/Monitor.h>
#include <libVideoPortInfo/Platform.h>
#include <libVideoPortInfo/VideoPort.h>
#include <tkl/Array.h>
#include <tkl/SharedResource.h>
#include <tkl/String.h>

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

private:
    friend class VideoPortFactoryWin7;

    /// Builds the port from `path` and its own copy of the mode table. Throws
    /// tkl::IndexOutOfBounds for a mode index outside the table.
    VideoPortWin7(const DISPLAYCONFIG_PATH_INFO& path, tkl::Array<DISPLAYCONFIG_MODE_INFO> modes);

    /// Stores the path and asks the platform for the display id and, for an
    /// active path, the monitor's records. Failures are logged; always true.
    bool update(const DISPLAYCONFIG_PATH_INFO& path);
    void setSourceInfoMode(const DISPLAYCONFIG_MODE_INFO& mode);
    void setTargetInfoMode(const DISPLAYCONFIG_MODE_INFO& mode);

    DISPLAYCONFIG_PATH_INFO path_;
    DISPLAYCONFIG_MODE_INFO sourceMode_;
    DISPLAYCONFIG_MODE_INFO targetMode_;
    tkl::String displayId_;
    tkl::SharedResource<tkl::PointerStorage<Monitor, 0, 3>, 0> monitor_;
};

} // namespace libVideoPortInfo
