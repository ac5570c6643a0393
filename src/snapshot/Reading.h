// The process's one way to the factory, for the C interface and videoports
// alike: readings and probes of the configuration, one at a time.
//
// The factory and its ports are used from one thread at a time; every
// reading and probe here holds one lock of the process's, so that snapshots
// and watches may come from any thread. The lock is also held across fork()
// (a child never inherits it taken), and once the process has begun to exit
// no reading touches the factory again: a watch's thread may still be
// running while the factory's static destructor runs.
#pragma once

#include "PortState.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace snapshot {

/// What one reading gave.
struct Reading {
    /// The ports; nothing when the configuration could not be read.
    std::optional<std::vector<PortState>> ports;
    /// Why not: "the display configuration could not be read:
    /// QueryDisplayConfig returned 31 (ERROR_GEN_FAILURE)", or the message of
    /// the library's exception.
    std::string reason;
    /// What the platform itself says of it, where it says anything (the
    /// stand-in, of a recording it refuses; it has said so on standard error).
    std::string detail;
    /// What failed: a platform call (which the library has logged), or the
    /// library itself (an exception: a record it refuses, for example).
    enum class Failure { None, Platform, Library, Internal } failure = Failure::None;
    /// True once the process is exiting: nothing was read, nor will be.
    bool closed = false;
};

/// The reason with the platform's detail after it, as the C interface gives it.
std::string fullReason(const Reading& reading);

/// Who reads: a watch's readings leave out the library's log lines that
/// merely repeat what the reading before logged (every poll reads again, and
/// the same warning every few seconds would bury what changed).
enum class Reader { Snapshot, Watch };

/// The ports now. The first reading of the process takes what factory() read
/// when it built the factory (reading again at once would only repeat, and
/// log again, a failure); every later one refreshes. Never throws but for
/// std::bad_alloc.
Reading readConfiguration(Reader reader);

/// A cheap fingerprint of the configuration, for a watch's polls: the path
/// and mode counts the platform reports, and the current mode, place and
/// orientation of each of the named devices (EnumDisplaySettingsExW's
/// current settings). A fraction of a millisecond under Wine, where reading
/// every port's modes takes tens. Nothing once the process is exiting.
std::optional<std::string> probeConfiguration(const std::set<std::string>& displayIds);

} // namespace snapshot
