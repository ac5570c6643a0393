// The one place the back-end asks the desktop about a display (the ports'
// primary flag and desktop place share it). Internal to the back-end.
#pragma once

#include <libVideoPortInfo/Platform.h>
#include <tkl/String.h>

#include <optional>

namespace libVideoPortInfo {

/// vpiGetDesktopFacts for the GDI device `displayId`; empty for an empty id
/// and when the platform does not know it (logged at debug).
std::optional<VpiDesktopFacts> desktopFactsOf(const tkl::String& displayId);

} // namespace libVideoPortInfo
