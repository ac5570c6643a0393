// What changed between two lists of video ports. A host sees a new display
// configuration only through the factory's refresh(), which replaces every
// port object; to say what changed, it keeps a copy of what it read before
// (PortState) and compares. Nothing here talks to the library: the states are
// plain values.
#pragma once

#include "DisplayWatcher.h"
#include "PortState.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace snapshot {

struct PortChange {
    enum class Kind {
        PortAdded,
        PortRemoved,
        ConnectorChanged,
        MonitorAttached,
        MonitorDetached,
        NameChanged,
        PreferredModeChanged,
        DisplayIdChanged,
        ModesChanged,
        CurrentModeChanged,
        PositionChanged,
        RotationChanged,
        PrimaryChanged
    };
    Kind kind;
    /// The port as it was and as it is; for an added port `before` is
    /// empty, for a removed one `after`.
    PortState before;
    PortState after;
    /// For ModesChanged: how many modes the new list has that the old one
    /// had not, and the other way round.
    unsigned modesAdded = 0;
    unsigned modesRemoved = 0;
};

/// The changes from `before` to `after`, ports matched by their key: first
/// the ports that disappeared, in their old order; then, in the new order,
/// each port that appeared, or each change of a port that stayed (connector,
/// monitor attached or detached, the monitor's name and preferred mode while
/// attached, display id, mode list, and while in use its current mode (size,
/// refresh rate, interlacing, scaling), position, rotation and whether it is
/// the primary display). A port whose only change is its place in the list
/// has none. A monitor attached or detached is one change: its name,
/// preferred mode and current state come with it.
std::vector<PortChange> portChanges(const std::vector<PortState>& before,
                                    const std::vector<PortState>& after);

/// The kind's name, as the JSON Lines of videoports --watch and the C
/// interface give it: "portAdded", "portRemoved", "connectorChanged", ...
const char* eventName(PortChange::Kind kind);

/// Follows a port list from refresh to refresh: each good list is compared
/// with the last good one, and a run of failed refreshes is told once.
///
/// Looking cheaply first: a full reading (every port's names and modes) can
/// cost far more than the platform's announcements and a fingerprint of the
/// configuration (tens of milliseconds under Wine against a fraction of
/// one). With a probe, a poll reads in full only when the fingerprint
/// changed, when a message woke the watcher, while readings fail, or when
/// enough polls have passed since the last full reading that full readings
/// cost at most 0.01% of the time between polls (every poll where a reading
/// is cheap, as on the stand-in platform).
class PortWatch {
public:
    /// A cheap fingerprint of the configuration now, given the display ids
    /// of every port seen so far; equal fingerprints mean most likely no
    /// change.
    using Probe = std::function<std::string(const std::set<std::string>& displayIds)>;

    explicit PortWatch(std::vector<PortState> first, unsigned long intervalMilliseconds = 0,
                       Probe probe = {});

    /// Reads the configuration now: the ports, or nothing when it cannot be
    /// read.
    using Reader = std::function<std::optional<std::vector<PortState>>()>;

    /// What one look at the configuration found.
    struct Look {
        DisplayWatcher::Wake wake = DisplayWatcher::Wake::Poll;
        bool read = false;         // the configuration could be read (or looked unchanged)
        bool firstFailure = false; // it could not, the first time after a good read
        bool recovered = false;    // it could, the first time after failures
        std::vector<PortChange> changes;
    };

    /// Waits for the watcher's next wake and, unless it is a stop, looks at
    /// the configuration and compares it with the last good list.
    Look next(DisplayWatcher& watcher, const Reader& read);

    /// A refresh gave `now`: the changes since the last good list, which
    /// `now` becomes.
    std::vector<PortChange> update(std::vector<PortState> now);

    /// A refresh failed: true for the first failure after a good list (the
    /// one to report), false for the failures after it.
    bool failed();

    /// True while the last refresh failed.
    bool failing() const { return failing_; }

    const std::vector<PortState>& last() const { return last_; }

private:
    std::vector<PortState> last_;
    bool failing_ = false;
    unsigned long interval_;
    Probe probe_;
    std::set<std::string> displayIds_; // of every port seen
    std::string lastFingerprint_;
    unsigned long pollsSinceRead_ = 0;
    unsigned long readEvery_ = 1; // polls
};

} // namespace snapshot
