// What changed between two lists of video ports. A host sees a new display
// configuration only through the factory's refresh(), which replaces every
// port object; to say what changed, it keeps a copy of what it read before
// (PortState) and compares. Nothing here talks to the library: the states are
// plain values.
#pragma once

#include "PortState.h"

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
        PrimaryChanged,
        MonitorConnected,
        MonitorDisconnected,
        MonitorChanged,
        WorkAreaChanged,
        ScaleChanged,
        AdvancedColorChanged
    };
    Kind kind;
    /// The port as it was and as it is, in the two lists that were compared
    /// (they live as long as those lists do); `before` is null for an added
    /// port, `after` for a removed one.
    const PortState* before = nullptr;
    const PortState* after = nullptr;
    /// For ModesChanged: how many modes the new list has that the old one
    /// had not, and the other way round.
    unsigned modesAdded = 0;
    unsigned modesRemoved = 0;

    /// The port the change is about: as it is, or for a removed port as it was.
    const PortState& port() const { return after != nullptr ? *after : *before; }
};

/// The changes from `before` to `after`, ports matched by their key: first
/// the ports that disappeared, in their old order; then, in the new order,
/// each port that appeared, or each change of a port that stayed (connector,
/// monitor attached or detached, a monitor not in use connected or
/// disconnected, another monitor in its place, the monitor's name and
/// preferred mode, display id, mode list, and while in use its current mode
/// (size, refresh rate, interlacing, scaling), position, rotation, whether
/// it is the primary display, its work area, its content scale (DPI) and its
/// advanced-colour state). A port whose only change is its place
/// in the list has none. A monitor attached or detached is one change: its
/// name, preferred mode and current state come with it (and it is connected
/// or disconnected with it). The changes point into both lists.
std::vector<PortChange> portChanges(const std::vector<PortState>& before,
                                    const std::vector<PortState>& after);

/// The kind's name, as the JSON Lines of videoports --watch and the C
/// interface give it: "portAdded", "portRemoved", "connectorChanged", ...
const char* eventName(PortChange::Kind kind);

} // namespace snapshot
