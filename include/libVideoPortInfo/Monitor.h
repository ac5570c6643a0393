#pragma once

#include <libVideoPortInfo/DisplayResolution.h>
#include <libVideoPortInfo/Export.h>
#include <libVideoPortInfo/Platform.h>
#include <tkl/String.h>

namespace libVideoPortInfo {

class VideoPortWin7;

/// The record of the monitor attached to a port: its preferred mode and three
/// texts. Made on the heap by the port and owned through a reference-counted
/// handle; hosts reach it through VideoPort::monitor().
class VPI_MONITOR_CLASS Monitor {
public:
    VPI_BASE_API virtual ~Monitor();

    /// Member-wise copies, in member order.
    VPI_WIN7_API Monitor(const Monitor& other);
    VPI_WIN7_API Monitor& operator=(const Monitor& other);

    /// The monitor's friendly name, as its EDID gives it; may be empty.
    const tkl::String& name() const { return name_; }
    /// The monitor's device interface path.
    const tkl::String& devicePath() const { return devicePath_; }
    /// The display id of the port the monitor is attached to.
    const tkl::String& displayId() const { return displayId_; }
    /// The preferred mode: width, height and refresh rate rounded to the
    /// nearest hertz (0 when unknown); bits per pixel is always 0, the
    /// platform record carries none.
    const DisplayResolution& preferredResolution() const { return resolution_; }

private:
    friend class VideoPortWin7;

    /// Built from the platform's target-name and preferred-mode records of the
    /// port's target and the port's display id. Name fields are read up to
    /// their first NUL or their end.
    VPI_BASE_API Monitor(const DISPLAYCONFIG_TARGET_DEVICE_NAME& targetName,
                         const DISPLAYCONFIG_TARGET_PREFERRED_MODE& preferredMode,
                         const tkl::String& displayId);

    DisplayResolution resolution_;
    tkl::String name_;
    tkl::String devicePath_;
    tkl::String displayId_;
};

} // namespace libVideoPortInfo
