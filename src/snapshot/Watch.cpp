#include "Watch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace snapshot {

namespace {

std::set<std::string> displayIdsOf(const Ports& ports) {
    std::set<std::string> ids;
    for (const PortState& port : ports) {
        ids.insert(port.displayId);
    }
    return ids;
}

} // namespace

Watch::Source Watch::processSource() {
    return Source{[] { return readConfiguration(Reader::Watch); }, probeConfiguration};
}

Watch::Watch(unsigned long intervalMilliseconds, std::function<void(const std::string&)> trace,
             Source source)
    : watcher_(intervalMilliseconds, std::move(trace)), source_(std::move(source)),
      interval_(intervalMilliseconds), known_(std::make_shared<const Ports>()) {}

void Watch::begin(Ports first) {
    displayIds_ = displayIdsOf(first);
    setKnown(std::make_shared<const Ports>(std::move(first)));
}

SharedPorts Watch::known() const {
    std::lock_guard<std::mutex> lock(knownMutex_);
    return known_;
}

void Watch::setKnown(SharedPorts ports) {
    std::lock_guard<std::mutex> lock(knownMutex_);
    known_ = std::move(ports);
}

Look Watch::next() {
    Look look;
    look.wake = watcher_.wait();
    if (look.wake == DisplayWatcher::Wake::Stop) {
        return look;
    }
    const auto ended = [&] {
        watcher_.stop();
        look.wake = DisplayWatcher::Wake::Stop;
        return look;
    };
    std::optional<std::string> fingerprint;
    if (source_.probe) {
        fingerprint = source_.probe(displayIds_);
        if (!fingerprint) {
            return ended();
        }
        const bool due = look.wake == DisplayWatcher::Wake::Message || failing_ ||
                         fingerprint != lastFingerprint_ || ++pollsSinceRead_ >= readEvery_;
        if (!due) {
            look.read = true; // nothing to tell
            return look;
        }
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Reading reading = source_.read();
    if (reading.closed) {
        return ended();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // Full readings at most 0.01% of the time between polls.
    const double budget = interval_ * 1e-3 * 1e-4;
    readEvery_ =
        budget > 0 ? static_cast<unsigned long>(std::min(std::ceil(seconds / budget), 1e9)) : 1;
    pollsSinceRead_ = 0;
    lastFingerprint_ = std::move(fingerprint);

    const SharedPorts last = known();
    if (!reading.ports) {
        if (!failing_) {
            failing_ = true;
            WatchEvent failed{WatchEvent::Type::ReadFailed,
                              last,
                              last,
                              {},
                              fullReason(reading),
                              reading.failure == Reading::Failure::Platform};
            look.events.push_back(std::move(failed));
        }
        return look;
    }
    look.read = true;
    if (failing_) {
        failing_ = false;
        look.events.push_back(
            WatchEvent{WatchEvent::Type::ReadRecovered, last, last, {}, {}, false});
    }
    const auto now = std::make_shared<const Ports>(std::move(*reading.ports));
    displayIds_ = displayIdsOf(*now);
    std::vector<PortChange> changes = portChanges(*last, *now);
    setKnown(now);
    if (!changes.empty()) {
        look.events.push_back(
            WatchEvent{WatchEvent::Type::Changes, last, now, std::move(changes), {}, false});
    }
    return look;
}

} // namespace snapshot
