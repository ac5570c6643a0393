// Records what the platform's four display-configuration operations, the
// desktop operation and vpiReadMonitorEdid answer, whichever implementation
// of them the program is
// linked with.
#pragma once

#include <standin/Configuration.h>

#include <stdexcept>

namespace standin {

class RecordingError : public std::runtime_error {
public:
    RecordingError(const std::string& what, LONG code)
        : std::runtime_error(what + " returned " + std::to_string(code)), code_(code) {}
    LONG code() const { return code_; }

private:
    LONG code_;
};

// The QDC_ALL_PATHS tables; the answer to the source-name request of every
// path's source, to the target-name and preferred-mode requests of every
// path's target, to the adapter-name request of both their adapters, and to
// the advanced-colour and SDR white-level requests of every active path's
// target; for every source name obtained, the EDS_RAWMODE list and the
// desktop facts (vpiGetDesktopFacts); and for every monitor device path
// obtained, the EDID that vpiReadMonitorEdid reads (none when it fails).
// Throws RecordingError when the tables cannot be read.
Configuration recordDisplayConfiguration();

} // namespace standin
