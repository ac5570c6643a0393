#include "PortChanges.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

namespace snapshot {

bool MonitorState::isOtherThan(const MonitorState& other) const {
    const auto serialOf = [](const MonitorState& monitor) {
        const auto& info = monitor.edidInfo;
        return std::make_pair(info ? info->serialNumber : std::nullopt,
                              info ? info->serialString : std::nullopt);
    };
    return ids != other.ids || serialOf(*this) != serialOf(other);
}

bool operator<(const Mode& a, const Mode& b) {
    return std::tie(a.width, a.height, a.refreshRate, a.bitsPerPixel) <
           std::tie(b.width, b.height, b.refreshRate, b.bitsPerPixel);
}

namespace {

// How many modes of `modes` are not in `others`.
unsigned missingFrom(const std::vector<Mode>& modes, const std::set<Mode>& others) {
    return static_cast<unsigned>(std::count_if(
        modes.begin(), modes.end(), [&](const Mode& mode) { return others.count(mode) == 0; }));
}

void compare(const PortState& before, const PortState& after, std::vector<PortChange>& changes) {
    const auto add = [&](PortChange::Kind kind) {
        changes.push_back(PortChange{kind, &before, &after, 0, 0});
        return &changes.back();
    };
    if (before.connectorType != after.connectorType) {
        add(PortChange::Kind::ConnectorChanged);
    }
    const MonitorState* wasConnected = before.connectedMonitor();
    const MonitorState* isConnected = after.connectedMonitor();
    if (before.monitorAttached != after.monitorAttached) {
        add(after.monitorAttached ? PortChange::Kind::MonitorAttached
                                  : PortChange::Kind::MonitorDetached);
    } else if (before.monitorConnected != after.monitorConnected) {
        add(after.monitorConnected ? PortChange::Kind::MonitorConnected
                                   : PortChange::Kind::MonitorDisconnected);
    } else if (wasConnected != nullptr && isConnected != nullptr) {
        if (wasConnected->isOtherThan(*isConnected)) {
            add(PortChange::Kind::MonitorChanged);
        } else {
            if (wasConnected->name != isConnected->name) {
                add(PortChange::Kind::NameChanged);
            }
            if (wasConnected->preferredMode != isConnected->preferredMode) {
                add(PortChange::Kind::PreferredModeChanged);
            }
        }
    }
    if (before.displayId != after.displayId) {
        add(PortChange::Kind::DisplayIdChanged);
    }
    const std::set<Mode> oldModes(before.modes.begin(), before.modes.end());
    const std::set<Mode> newModes(after.modes.begin(), after.modes.end());
    const unsigned added = missingFrom(after.modes, oldModes);
    const unsigned removed = missingFrom(before.modes, newModes);
    if (added != 0 || removed != 0) {
        PortChange* change = add(PortChange::Kind::ModesChanged);
        change->modesAdded = added;
        change->modesRemoved = removed;
    }
    if (before.current && after.current) {
        const libVideoPortInfo::DisplayState& was = *before.current;
        const libVideoPortInfo::DisplayState& is = *after.current;
        if (was.width != is.width || was.height != is.height || was.refreshRate != is.refreshRate ||
            was.interlaced != is.interlaced || was.scaling != is.scaling) {
            add(PortChange::Kind::CurrentModeChanged);
        }
        if (was.x != is.x || was.y != is.y) {
            add(PortChange::Kind::PositionChanged);
        }
        if (was.rotation != is.rotation) {
            add(PortChange::Kind::RotationChanged);
        }
        if (was.primary != is.primary) {
            add(PortChange::Kind::PrimaryChanged);
        }
        const auto& wasPlace = before.desktop;
        const auto& isPlace = after.desktop;
        if (wasPlace && isPlace && wasPlace->workArea != isPlace->workArea) {
            add(PortChange::Kind::WorkAreaChanged);
        }
        if (wasPlace && isPlace &&
            (wasPlace->dpi != isPlace->dpi || wasPlace->dpiSource != isPlace->dpiSource)) {
            add(PortChange::Kind::ScaleChanged);
        }
        if (before.color != after.color) {
            add(PortChange::Kind::AdvancedColorChanged);
        }
    }
}

} // namespace

std::vector<PortChange> portChanges(const std::vector<PortState>& before,
                                    const std::vector<PortState>& after) {
    std::map<std::string, const PortState*> oldPorts;
    for (const PortState& port : before) {
        oldPorts.emplace(port.key, &port); // keys are unique within a list
    }
    std::map<std::string, const PortState*> newPorts;
    for (const PortState& port : after) {
        newPorts.emplace(port.key, &port);
    }
    std::vector<PortChange> changes;
    for (const PortState& port : before) {
        if (newPorts.count(port.key) == 0) {
            changes.push_back(PortChange{PortChange::Kind::PortRemoved, &port, nullptr, 0, 0});
        }
    }
    for (const PortState& port : after) {
        const auto old = oldPorts.find(port.key);
        if (old == oldPorts.end()) {
            changes.push_back(PortChange{PortChange::Kind::PortAdded, nullptr, &port, 0, 0});
        } else {
            compare(*old->second, port, changes);
        }
    }
    return changes;
}

const char* eventName(PortChange::Kind kind) {
    static const char* const names[] = {
        "portAdded",       "portRemoved",        "connectorChanged",     "monitorAttached",
        "monitorDetached", "nameChanged",        "preferredModeChanged", "displayIdChanged",
        "modesChanged",    "currentModeChanged", "positionChanged",      "rotationChanged",
        "primaryChanged",  "monitorConnected",   "monitorDisconnected",  "monitorChanged",
        "workAreaChanged", "scaleChanged",       "advancedColorChanged"};
    static_assert(sizeof names / sizeof names[0] ==
                      static_cast<std::size_t>(PortChange::Kind::AdvancedColorChanged) + 1,
                  "a name for every kind");
    return names[static_cast<std::size_t>(kind)];
}

} // namespace snapshot
