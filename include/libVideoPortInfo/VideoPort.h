#pragma once

#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/DisplayResolution.h>
#include <libVideoPortInfo/Export.h>
#include <libVideoPortInfo/Monitor.h>
#include <tkl/Array.h>
#include <tkl/SharedResource.h>
#include <tkl/String.h>

namespace libVideoPortInfo {

/// One video output of the machine.
class VPI_WIN7_API VideoPort {
public:
    VideoPort();
    VideoPort(const VideoPort& other);
    virtual ~VideoPort();
    /// There is no state to copy.
    VideoPort& operator=(const VideoPort& other);

    /// Whether a monitor is attached to the port.
    virtual bool hasAttachedMonitor() const = 0;
    /// The kind of connector.
    virtual ConnectorType connectorType() const = 0;
    /// The name of the display device that drives the port; lives as long as
    /// the port. Empty when the platform did not tell it.
    virtual const tkl::String& displayId() const = 0;
    /// A non-owning handle to the attached monitor's record, empty when there
    /// is none; valid while the port, or a copy of it, lives.
    virtual tkl::CopiedResource<tkl::PointerStorage<Monitor, 3, 2>> monitor() const = 0;
    /// Replaces the content of `out` with the distinct modes the port supports,
    /// in the order the platform first reports them; returns their number.
    virtual unsigned supportedResolution(tkl::Array<DisplayResolution>& out) const = 0;
};

} // namespace libVideoPortInfo
