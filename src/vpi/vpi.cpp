// The C interface: copies everything the C++ interface tells into one
// self-contained block per snapshot. No C++ exception leaves this file.
#include <vpi/vpi.h>

#include <PortChanges.h>
#include <PortState.h>
#include <tkl/Exception.h>

#ifndef _WIN32
#include <standin/StandIn.h>
#endif

#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The block of one snapshot, in a single allocation:
//
//     [ vpi_snapshot | vpi_port x count | vpi_display_state x ports in use |
//       vpi_mode x all modes | text bytes ]
//
// Every pointer of the ports points into the same block, so freeing the block
// frees everything, and nothing a snapshot hands out depends on the factory.
struct vpi_snapshot {
    std::uint32_t count;
    vpi_port* ports;
};

namespace {

// Thread-local and of fixed size: recording an error never allocates. Room
// for a failed call with the stand-in's reason and a long file name.
thread_local char lastError[1024] = "";

void setLastError(const char* message) {
    std::strncpy(lastError, message, sizeof lastError - 1);
    lastError[sizeof lastError - 1] = '\0';
}

// The factory and its ports are used from one thread at a time.
std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}
bool firstTake = true; // guarded by libraryMutex()

vpi_mode modeOf(const snapshot::Mode& mode) {
    return vpi_mode{mode.width, mode.height, mode.refreshRate, mode.bitsPerPixel};
}

std::size_t alignUp(std::size_t offset, std::size_t alignment) {
    return (offset + alignment - 1) / alignment * alignment;
}

// Copies `text` with its NUL to `cursor` and advances it; returns the copy.
const char* placeText(char*& cursor, const std::string& text) {
    char* copy = cursor;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    cursor += text.size() + 1;
    return copy;
}

// The bytes of text a port's place in the block takes (each with its NUL).
std::size_t textBytesOf(const snapshot::PortState& port) {
    std::size_t bytes = port.connector.size() + port.displayId.size() + port.key.size() + 3;
    if (port.monitor) {
        bytes += port.monitor->name.size() + port.monitor->devicePath.size() + 2;
        if (port.monitor->ids) {
            bytes += sizeof port.monitor->ids->manufacturerId;
        }
    }
    return bytes;
}

vpi_display_state displayStateOf(const libVideoPortInfo::DisplayState& state) {
    vpi_display_state out{};
    out.width = state.width;
    out.height = state.height;
    out.x = state.x;
    out.y = state.y;
    out.refresh_numerator = state.refreshRate.numerator;
    out.refresh_denominator = state.refreshRate.denominator;
    out.refresh_hz = state.refreshRate.hertz();
    out.interlaced = state.interlaced ? 1 : 0;
    out.rotation = state.rotation;
    out.scaling = static_cast<std::uint32_t>(state.scaling);
    out.scaling_name = libVideoPortInfo::scalingName(state.scaling); // a static text
    out.primary = state.primary ? 1 : 0;
    return out;
}

// Lays `ports` out in one block (see vpi_snapshot). Nothing can fail once
// the block is allocated.
vpi_snapshot* layOut(const std::vector<snapshot::PortState>& ports) {
    const std::uint32_t count = static_cast<std::uint32_t>(ports.size());
    std::size_t modeTotal = 0;
    std::size_t stateTotal = 0;
    std::size_t textBytes = 0;
    for (const snapshot::PortState& port : ports) {
        modeTotal += port.modes.size();
        stateTotal += port.current ? 1 : 0;
        textBytes += textBytesOf(port);
    }
    const std::size_t portsOffset = alignUp(sizeof(vpi_snapshot), alignof(vpi_port));
    const std::size_t statesOffset =
        alignUp(portsOffset + count * sizeof(vpi_port), alignof(vpi_display_state));
    const std::size_t modesOffset =
        alignUp(statesOffset + stateTotal * sizeof(vpi_display_state), alignof(vpi_mode));
    const std::size_t textOffset = modesOffset + modeTotal * sizeof(vpi_mode);
    unsigned char* block = static_cast<unsigned char*>(::operator new(textOffset + textBytes));

    vpi_snapshot* snapshot = new (block) vpi_snapshot{count, nullptr};
    vpi_port* placedPorts = reinterpret_cast<vpi_port*>(block + portsOffset);
    vpi_display_state* placedStates = reinterpret_cast<vpi_display_state*>(block + statesOffset);
    vpi_mode* placedModes = reinterpret_cast<vpi_mode*>(block + modesOffset);
    char* cursor = reinterpret_cast<char*>(block + textOffset);
    for (std::uint32_t i = 0; i < count; ++i) {
        const snapshot::PortState& from = ports[i];
        vpi_port& port = *new (&placedPorts[i]) vpi_port{};
        port.index = from.index;
        port.connector = from.connectorType;
        port.connector_name = placeText(cursor, from.connector);
        port.monitor_attached = from.monitorAttached ? 1 : 0;
        port.display_id = placeText(cursor, from.displayId);
        if (from.monitor) {
            port.monitor_name = placeText(cursor, from.monitor->name);
            port.monitor_device_path = placeText(cursor, from.monitor->devicePath);
            port.preferred_mode = modeOf(from.monitor->preferredMode);
            if (from.monitor->ids) {
                port.monitor_manufacturer_id = placeText(cursor, from.monitor->ids->manufacturerId);
                port.monitor_product_code = from.monitor->ids->productCode;
            }
        }
        port.mode_count = static_cast<std::uint32_t>(from.modes.size());
        if (!from.modes.empty()) {
            port.modes = placedModes;
            for (const snapshot::Mode& mode : from.modes) {
                *placedModes++ = modeOf(mode);
            }
        }
        port.adapter_id_low = from.target.adapterLow;
        port.adapter_id_high = from.target.adapterHigh;
        port.target_id = from.target.targetId;
        port.key = placeText(cursor, from.key);
        port.output_technology = from.outputTechnology;
        port.embedded = from.embedded ? 1 : 0;
        port.connector_instance =
            from.connectorInstance ? static_cast<std::int64_t>(*from.connectorInstance) : -1;
        if (from.current) {
            *placedStates = displayStateOf(*from.current);
            port.current = placedStates++;
        }
    }
    snapshot->ports = count != 0 ? placedPorts : nullptr;
    return snapshot;
}

// The ports now, or nothing (with the reason in lastError) when the
// configuration cannot be read. The first read of the process takes what
// factory() read when it built the factory: reading again at once would
// only repeat (and log again) a failure. Library exceptions pass on.
std::optional<std::vector<snapshot::PortState>> readConfiguration() {
    std::lock_guard<std::mutex> lock(libraryMutex());
    std::string reason;
    auto ports = snapshot::readConfiguration(!firstTake, reason);
    firstTake = false;
    if (!ports) {
#ifndef _WIN32
        // The stand-in platform says what it could not use.
        const std::string problem = standin::problem();
        if (!problem.empty()) {
            reason += ": " + problem;
        }
#endif
        setLastError(reason.c_str());
    }
    return ports;
}

// Runs `body`, turning every exception into a VPI_E_* code and the reason in
// lastError; the code of `body` otherwise (which set lastError itself).
template <typename Body> int guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        setLastError("out of memory");
        return VPI_E_NO_MEMORY;
    } catch (const tkl::Exception& e) {
        setLastError(e.what());
        return VPI_E_LIBRARY;
    } catch (const std::exception& e) {
        setLastError(e.what());
        return VPI_E_INTERNAL;
    } catch (...) {
        setLastError("an unknown exception");
        return VPI_E_INTERNAL;
    }
}

constexpr std::uint32_t defaultIntervalMilliseconds = 2000;
constexpr std::uint32_t shortestIntervalMilliseconds = 10;
constexpr std::uint32_t longestIntervalMilliseconds = 86400000;

} // namespace

// A watch: its thread follows the configuration with a display watcher of
// its own and calls the host after each change.
//
// Ownership: vpi_watch_stop() from another thread joins the thread and
// deletes the watch; from inside the callback it detaches the thread, which
// deletes the watch when the callback has returned. `mutex` guards `known`,
// `watcher`, `stopping` and `stoppedInside`.
struct vpi_watch {
    vpi_watch_callback callback = nullptr;
    void* user = nullptr;
    unsigned long interval = defaultIntervalMilliseconds;
    std::vector<snapshot::PortState> known; // the last list the watch saw

    std::thread thread;
    std::mutex mutex;
    std::condition_variable started;
    bool running = false;                        // the thread has made its watcher (or failed to)
    std::string startError;                      // why it failed to
    snapshot::DisplayWatcher* watcher = nullptr; // while the thread has one
    bool stopping = false;
    bool stoppedInside = false; // vpi_watch_stop() came from the callback
};

namespace {

// The changes as the C interface gives them, their keys from the snapshots.
std::vector<vpi_change> changesOf(const std::vector<snapshot::PortChange>& changes,
                                  const vpi_snapshot& before, const vpi_snapshot& after) {
    std::vector<vpi_change> out;
    out.reserve(changes.size());
    for (const snapshot::PortChange& change : changes) {
        const bool removed = change.kind == snapshot::PortChange::Kind::PortRemoved;
        const bool added = change.kind == snapshot::PortChange::Kind::PortAdded;
        vpi_change c{};
        c.kind = static_cast<std::int32_t>(change.kind);
        c.event = snapshot::eventName(change.kind);
        c.before_index = added ? VPI_NO_PORT : change.before.index;
        c.after_index = removed ? VPI_NO_PORT : change.after.index;
        c.key = removed ? before.ports[c.before_index].key : after.ports[c.after_index].key;
        c.modes_added = change.modesAdded;
        c.modes_removed = change.modesRemoved;
        out.push_back(c);
    }
    return out;
}

// The watch's thread: waits, reads, compares and calls back until stopped.
void follow(vpi_watch* watch) {
    std::unique_ptr<snapshot::DisplayWatcher> watcher;
    vpi_snapshot* before = nullptr;
    {
        std::lock_guard<std::mutex> lock(watch->mutex);
        try {
            watcher.reset(new snapshot::DisplayWatcher(watch->interval));
            before = layOut(watch->known);
            watch->watcher = watcher.get();
        } catch (const std::exception& e) {
            watch->startError = e.what();
        }
        watch->running = true;
    }
    watch->started.notify_all();
    if (watch->watcher != nullptr) {
        snapshot::PortWatch followed(watch->known, watch->interval, snapshot::probeConfiguration);
        const snapshot::PortWatch::Reader read = [] {
            try {
                return readConfiguration();
            } catch (...) { // as a configuration that cannot be read
                return std::optional<std::vector<snapshot::PortState>>();
            }
        };
        for (;;) {
            const snapshot::PortWatch::Look look = followed.next(*watcher, read);
            if (look.wake == snapshot::DisplayWatcher::Wake::Stop) {
                break;
            }
            if (look.changes.empty()) {
                continue;
            }
            vpi_snapshot* after = nullptr;
            try {
                {
                    std::lock_guard<std::mutex> lock(watch->mutex);
                    watch->known = followed.last();
                }
                after = layOut(followed.last());
                const std::vector<vpi_change> changes = changesOf(look.changes, *before, *after);
                const vpi_watch_event event{
                    before, after, static_cast<std::uint32_t>(changes.size()), changes.data()};
                watch->callback(&event, watch->user);
            } catch (...) { // memory ran out: these changes go untold
            }
            if (after != nullptr) {
                vpi_snapshot_free(before);
                before = after;
            }
        }
    }
    bool deleteHere = false;
    {
        std::lock_guard<std::mutex> lock(watch->mutex);
        watch->watcher = nullptr; // no stop() reaches it from now on
        deleteHere = watch->stoppedInside;
    }
    vpi_snapshot_free(before);
    watcher.reset();
    if (deleteHere) {
        delete watch;
    }
}

} // namespace

extern "C" {

VPI_API int vpi_snapshot_take(vpi_snapshot** out) {
    if (out == nullptr) {
        setLastError("vpi_snapshot_take: out is NULL");
        return VPI_E_INVALID_ARGUMENT;
    }
    *out = nullptr;
    return guarded([&] {
        const auto ports = readConfiguration();
        if (!ports) {
            return VPI_E_PLATFORM;
        }
        *out = layOut(*ports);
        lastError[0] = '\0';
        return VPI_OK;
    });
}

VPI_API void vpi_snapshot_free(vpi_snapshot* snapshot) {
    if (snapshot != nullptr) {
        snapshot->~vpi_snapshot();
        ::operator delete(static_cast<void*>(snapshot));
    }
}

VPI_API uint32_t vpi_port_count(const vpi_snapshot* snapshot) {
    return snapshot != nullptr ? snapshot->count : 0;
}

VPI_API const vpi_port* vpi_port_at(const vpi_snapshot* snapshot, uint32_t index) {
    if (snapshot == nullptr || index >= snapshot->count) {
        return nullptr;
    }
    return snapshot->ports + index;
}

VPI_API const char* vpi_last_error(void) {
    return lastError;
}

VPI_API const char* vpi_version(void) {
    return VPI_VERSION;
}

VPI_API int vpi_watch_start(vpi_watch_callback callback, void* user, uint32_t interval_ms,
                            vpi_watch** out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    if (callback == nullptr || out == nullptr) {
        setLastError(callback == nullptr ? "vpi_watch_start: callback is NULL"
                                         : "vpi_watch_start: out is NULL");
        return VPI_E_INVALID_ARGUMENT;
    }
    if (interval_ms != 0 &&
        (interval_ms < shortestIntervalMilliseconds || interval_ms > longestIntervalMilliseconds)) {
        setLastError("vpi_watch_start: interval_ms is not 0 or 10 to 86400000");
        return VPI_E_INVALID_ARGUMENT;
    }
    return guarded([&] {
        std::unique_ptr<vpi_watch> watch(new vpi_watch);
        watch->callback = callback;
        watch->user = user;
        watch->interval = interval_ms != 0 ? interval_ms : defaultIntervalMilliseconds;
        auto ports = readConfiguration();
        if (!ports) {
            return VPI_E_PLATFORM;
        }
        watch->known = std::move(*ports);
        watch->thread = std::thread(follow, watch.get());
        std::unique_lock<std::mutex> lock(watch->mutex);
        watch->started.wait(lock, [&] { return watch->running; });
        if (watch->watcher == nullptr) {
            lock.unlock();
            watch->thread.join();
            setLastError(("vpi_watch_start: " + watch->startError).c_str());
            return VPI_E_INTERNAL;
        }
        lock.unlock();
        *out = watch.release();
        lastError[0] = '\0';
        return VPI_OK;
    });
}

VPI_API int vpi_watch_snapshot(vpi_watch* watch, vpi_snapshot** out) {
    if (out != nullptr) {
        *out = nullptr;
    }
    if (watch == nullptr || out == nullptr) {
        setLastError(watch == nullptr ? "vpi_watch_snapshot: watch is NULL"
                                      : "vpi_watch_snapshot: out is NULL");
        return VPI_E_INVALID_ARGUMENT;
    }
    return guarded([&] {
        std::lock_guard<std::mutex> lock(watch->mutex);
        *out = layOut(watch->known);
        lastError[0] = '\0';
        return VPI_OK;
    });
}

VPI_API void vpi_watch_stop(vpi_watch* watch) {
    if (watch == nullptr) {
        return;
    }
    std::unique_lock<std::mutex> lock(watch->mutex);
    watch->stopping = true;
    if (watch->watcher != nullptr) {
        watch->watcher->stop();
    }
    if (std::this_thread::get_id() == watch->thread.get_id()) {
        // Inside the callback: the thread ends when it returns, and frees
        // the watch.
        watch->stoppedInside = true;
        watch->thread.detach();
        return;
    }
    lock.unlock();
    watch->thread.join();
    delete watch;
}

} // extern "C"
