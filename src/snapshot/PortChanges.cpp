#include "PortChanges.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <tuple>

namespace snapshot {

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
        changes.push_back(PortChange{kind, before, after, 0, 0});
        return &changes.back();
    };
    if (before.connectorType != after.connectorType) {
        add(PortChange::Kind::ConnectorChanged);
    }
    if (before.monitorAttached != after.monitorAttached) {
        add(after.monitorAttached ? PortChange::Kind::MonitorAttached
                                  : PortChange::Kind::MonitorDetached);
    } else if (before.monitor && after.monitor) {
        if (before.monitor->name != after.monitor->name) {
            add(PortChange::Kind::NameChanged);
        }
        if (before.monitor->preferredMode != after.monitor->preferredMode) {
            add(PortChange::Kind::PreferredModeChanged);
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
    }
}

} // namespace

std::vector<PortChange> portChanges(const std::vector<PortState>& before,
                                    const std::vector<PortState>& after) {
    std::map<std::string, const PortState*> oldPorts;
    for (const PortState& port : before) {
        oldPorts.emplace(port.key, &port); // one port per target: the factory sees to it
    }
    std::map<std::string, const PortState*> newPorts;
    for (const PortState& port : after) {
        newPorts.emplace(port.key, &port);
    }
    std::vector<PortChange> changes;
    for (const PortState& port : before) {
        if (newPorts.count(port.key) == 0) {
            changes.push_back(PortChange{PortChange::Kind::PortRemoved, port, {}, 0, 0});
        }
    }
    for (const PortState& port : after) {
        const auto old = oldPorts.find(port.key);
        if (old == oldPorts.end()) {
            changes.push_back(PortChange{PortChange::Kind::PortAdded, {}, port, 0, 0});
        } else {
            compare(*old->second, port, changes);
        }
    }
    return changes;
}

PortWatch::PortWatch(std::vector<PortState> first, unsigned long intervalMilliseconds, Probe probe)
    : last_(std::move(first)), interval_(intervalMilliseconds), probe_(std::move(probe)) {
    for (const PortState& port : last_) {
        displayIds_.insert(port.displayId);
    }
}

std::vector<PortChange> PortWatch::update(std::vector<PortState> now) {
    std::vector<PortChange> changes = portChanges(last_, now);
    last_ = std::move(now);
    failing_ = false;
    return changes;
}

bool PortWatch::failed() {
    const bool first = !failing_;
    failing_ = true;
    return first;
}

PortWatch::Look PortWatch::next(DisplayWatcher& watcher, const Reader& read) {
    Look look;
    look.wake = watcher.wait();
    if (look.wake == DisplayWatcher::Wake::Stop) {
        return look;
    }
    std::string fingerprint;
    if (probe_) {
        fingerprint = probe_(displayIds_);
        const bool due = look.wake == DisplayWatcher::Wake::Message || failing_ ||
                         fingerprint != lastFingerprint_ || ++pollsSinceRead_ >= readEvery_;
        if (!due) {
            look.read = true; // nothing to tell
            return look;
        }
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::optional<std::vector<PortState>> now = read();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // Full readings at most 0.01% of the time between polls.
    const double budget = interval_ * 1e-3 * 1e-4;
    readEvery_ =
        budget > 0 ? static_cast<unsigned long>(std::min(std::ceil(seconds / budget), 1e9)) : 1;
    pollsSinceRead_ = 0;
    lastFingerprint_ = std::move(fingerprint);
    if (!now) {
        look.firstFailure = failed();
        return look;
    }
    look.read = true;
    look.recovered = failing_;
    for (const PortState& port : *now) {
        displayIds_.insert(port.displayId);
    }
    look.changes = update(std::move(*now));
    return look;
}

const char* eventName(PortChange::Kind kind) {
    static const char* const names[] = {
        "portAdded",       "portRemoved",        "connectorChanged",     "monitorAttached",
        "monitorDetached", "nameChanged",        "preferredModeChanged", "displayIdChanged",
        "modesChanged",    "currentModeChanged", "positionChanged",      "rotationChanged",
        "primaryChanged"};
    static_assert(sizeof names / sizeof names[0] ==
                      static_cast<std::size_t>(PortChange::Kind::PrimaryChanged) + 1,
                  "a name for every kind");
    return names[static_cast<std::size_t>(kind)];
}

} // namespace snapshot
