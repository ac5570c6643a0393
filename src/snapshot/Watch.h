// The one watch of the display configuration, behind the C interface's
// watches (and through them Python's) and videoports --watch: it waits for
// the display watcher, looks at the configuration and tells what it found as
// events, each carrying the two lists it speaks of.
#pragma once

#include "DisplayWatcher.h"
#include "PortChanges.h"
#include "Reading.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace snapshot {

using Ports = std::vector<PortState>;
using SharedPorts = std::shared_ptr<const Ports>;

/// What a look found.
struct WatchEvent {
    enum class Type {
        Changes,       // the configuration changed: `changes`
        ReadFailed,    // it could not be read, the first time after a good read
        ReadRecovered, // it could be read again after failures
    };
    Type type = Type::Changes;
    /// For Changes, the lists compared, into which `changes` point: the last
    /// good list and the new one. For the two read events, both are the last
    /// good list, the one later changes are told against.
    SharedPorts before;
    SharedPorts after;
    std::vector<PortChange> changes;
    /// For ReadFailed: why (fullReason()), and whether the library has
    /// already logged it.
    std::string reason;
    bool reasonLogged = false;
};

/// One look at the configuration.
struct Look {
    DisplayWatcher::Wake wake = DisplayWatcher::Wake::Poll; // Stop: the watch has ended
    bool read = false; // the configuration was read, or the probe found it unchanged
    std::vector<WatchEvent> events;
};

/// Follows the configuration from a first list on. Each good list is
/// compared with the last good one; a run of failed readings is told once,
/// and so is the reading that succeeds after them.
///
/// Looking cheaply first: a full reading (every port's names and modes) can
/// cost far more than the platform's announcements and a fingerprint of the
/// configuration (tens of milliseconds under Wine against a fraction of one).
/// A poll reads in full only when the fingerprint of the display ids of the
/// last list changed, when a message woke the watcher, while readings fail,
/// or when enough polls have passed since the last full reading that full
/// readings cost at most 0.01% of the time between polls (every poll where a
/// reading is cheap, as on the stand-in platform).
///
/// Threads: a watch belongs to the thread that makes it and calls next()
/// (on Windows its watcher's window does). stop(), stopRequested() and
/// known() may be called from any thread; stop() also from a signal handler.
class Watch {
public:
    /// How the watch reads the configuration: the process's own readings
    /// unless a test says otherwise. A reading or probe that finds the
    /// process exiting ends the watch.
    struct Source {
        std::function<Reading()> read;
        std::function<std::optional<std::string>(const std::set<std::string>& displayIds)> probe;
    };
    static Source processSource();

    /// Starts the watcher, so that a change is seen from now on, even one
    /// that comes while the first list is read.
    Watch(unsigned long intervalMilliseconds, std::function<void(const std::string&)> trace = {},
          Source source = processSource());

    /// The first list, which the first changes are told against; before the
    /// first next().
    void begin(Ports first);

    /// Waits for the watcher's next wake and, unless it is a stop, looks.
    Look next();

    void stop() { watcher_.stop(); }
    bool stopRequested() const { return watcher_.stopRequested(); }
    DisplayWatcher& watcher() { return watcher_; }

    /// The list later changes are told against: the first list, or the last
    /// good one.
    SharedPorts known() const;

private:
    void setKnown(SharedPorts ports);

    DisplayWatcher watcher_;
    Source source_;
    unsigned long interval_;
    mutable std::mutex knownMutex_;
    SharedPorts known_;
    bool failing_ = false;
    std::set<std::string> displayIds_; // of the last list
    std::optional<std::string> lastFingerprint_;
    unsigned long pollsSinceRead_ = 0;
    unsigned long readEvery_ = 1; // polls
};

} // namespace snapshot
