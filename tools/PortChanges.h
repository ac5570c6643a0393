// What changed between two lists of video ports. A host sees a new display
// configuration only through the factory's refresh(), which replaces every
// port object; to say what changed, it keeps a copy of what it read before
// (PortState) and compares. Nothing here talks to the library: the states are
// plain values, so the comparison can be copied into any host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tools {

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

/// A port's identity across refreshes: the display target, that is its
/// adapter identifier and target id. The index in the list is not one: the
/// platform may list the same targets in another order, or another target at
/// the same place.
struct PortKey {
    std::uint32_t adapterLow = 0;
    std::int32_t adapterHigh = 0;
    std::uint32_t targetId = 0;

    friend bool operator==(const PortKey& a, const PortKey& b) {
        return a.adapterLow == b.adapterLow && a.adapterHigh == b.adapterHigh &&
               a.targetId == b.targetId;
    }
    friend bool operator<(const PortKey& a, const PortKey& b);
};

struct MonitorState {
    std::string name;
    std::string devicePath;
    std::string displayId;
    Mode preferredMode;
};

/// Everything a host reads from one port, as UTF-8 text and numbers.
struct PortState {
    unsigned index = 0;
    PortKey key;
    std::string connector; // the connector type's name
    int connectorType = 0;
    bool monitorAttached = false;
    std::string displayId;
    std::optional<MonitorState> monitor;
    std::vector<Mode> modes; // distinct, in the order the platform reported them
};

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
        ModesChanged
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

/// The changes from `before` to `after`: first the ports that disappeared, in
/// their old order; then, in the new order, each port that appeared, or each
/// change of a port that stayed (connector, monitor attached or detached, the
/// monitor's name and preferred mode while attached, display id, mode list).
/// A port whose only change is its place in the list has none. A monitor
/// attached or detached is one change: its name and mode come with it.
std::vector<PortChange> portChanges(const std::vector<PortState>& before,
                                    const std::vector<PortState>& after);

/// Follows a port list from refresh to refresh: each good list is compared
/// with the last good one, and a run of failed refreshes is told once.
class PortWatch {
public:
    explicit PortWatch(std::vector<PortState> first) : last_(std::move(first)) {}

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
};

} // namespace tools
