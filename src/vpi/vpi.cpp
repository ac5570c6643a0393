// The C interface: copies everything the C++ interface tells into one
// self-contained block per snapshot. No C++ exception leaves this file.
#include <vpi/vpi.h>

#include <Reading.h>
#include <Watch.h>
#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/DesktopLayout.h>
#include <tkl/Exception.h>
#include <tkl/Logging.h>

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifdef __GLIBCXX__
#include <cxxabi.h>
#endif
#ifndef _WIN32
#include <unistd.h>
#endif

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
    // Each port's rectangle on the desktop; empty for a port not in use.
    libVideoPortInfo::DesktopRect* bounds;
};

// The layouts hosts are built against: any change here is a new interface
// (a new minor version while 0.x), which the CHANGELOG tells.
static_assert(sizeof(void*) == 8, "the library is built for 64-bit hosts");
static_assert(sizeof(vpi_mode) == 16, "vpi_mode is frozen");
static_assert(offsetof(vpi_display_state, width) == 4 && offsetof(vpi_display_state, x) == 12 &&
                  offsetof(vpi_display_state, refresh_numerator) == 20 &&
                  offsetof(vpi_display_state, refresh_hz) == 32 &&
                  offsetof(vpi_display_state, interlaced) == 40 &&
                  offsetof(vpi_display_state, scaling_name) == 56 &&
                  offsetof(vpi_display_state, primary) == 64 &&
                  offsetof(vpi_display_state, has_desktop) == 68 &&
                  offsetof(vpi_display_state, dpi_source) == 96 &&
                  offsetof(vpi_display_state, hdr) == 112 &&
                  offsetof(vpi_display_state, sdr_white_level_nits) == 152 &&
                  sizeof(vpi_display_state) == 160,
              "vpi_display_state");
static_assert(offsetof(vpi_port, index) == 4 && offsetof(vpi_port, connector) == 8 &&
                  offsetof(vpi_port, connector_name) == 16 &&
                  offsetof(vpi_port, monitor_attached) == 24 &&
                  offsetof(vpi_port, display_id) == 32 && offsetof(vpi_port, monitor_name) == 40 &&
                  offsetof(vpi_port, monitor_device_path) == 48 &&
                  offsetof(vpi_port, preferred_mode) == 56 &&
                  offsetof(vpi_port, mode_count) == 72 && offsetof(vpi_port, modes) == 80 &&
                  offsetof(vpi_port, adapter_id_low) == 88 && offsetof(vpi_port, target_id) == 96 &&
                  offsetof(vpi_port, key) == 104 && offsetof(vpi_port, output_technology) == 112 &&
                  offsetof(vpi_port, connector_instance) == 120 &&
                  offsetof(vpi_port, current) == 128 &&
                  offsetof(vpi_port, monitor_manufacturer_id) == 136 &&
                  offsetof(vpi_port, monitor_product_code) == 144 &&
                  offsetof(vpi_port, monitor_connected) == 148 &&
                  offsetof(vpi_port, connected_monitor) == 152 && sizeof(vpi_port) == 160,
              "vpi_port");
static_assert(offsetof(vpi_monitor, name) == 8 && offsetof(vpi_monitor, manufacturer_id) == 24 &&
                  offsetof(vpi_monitor, preferred_mode) == 36 &&
                  offsetof(vpi_monitor, edid_size) == 52 && offsetof(vpi_monitor, edid) == 56 &&
                  offsetof(vpi_monitor, edid_info) == 64 && sizeof(vpi_monitor) == 72,
              "vpi_monitor");
static_assert(offsetof(vpi_edid, manufacturer_id) == 8 && offsetof(vpi_edid, version) == 56 &&
                  offsetof(vpi_edid, timing_refresh_numerator) == 112 &&
                  offsetof(vpi_edid, timing_hertz) == 128 &&
                  offsetof(vpi_edid, hdr_max_luminance) == 168 && sizeof(vpi_edid) == 200,
              "vpi_edid");
static_assert(offsetof(vpi_change, kind) == 4 && offsetof(vpi_change, event) == 8 &&
                  offsetof(vpi_change, key) == 16 && offsetof(vpi_change, before_index) == 24 &&
                  offsetof(vpi_change, modes_removed) == 36 && sizeof(vpi_change) == 40,
              "vpi_change");
static_assert(offsetof(vpi_watch_event, type) == 4 && offsetof(vpi_watch_event, before) == 8 &&
                  offsetof(vpi_watch_event, after) == 16 &&
                  offsetof(vpi_watch_event, change_count) == 24 &&
                  offsetof(vpi_watch_event, reason) == 32 && sizeof(vpi_watch_event) == 40,
              "vpi_watch_event");
static_assert(VPI_CHANGE_PRIMARY == static_cast<int>(snapshot::PortChange::Kind::PrimaryChanged) &&
                  VPI_CHANGE_MONITOR_CHANGED ==
                      static_cast<int>(snapshot::PortChange::Kind::MonitorChanged) &&
                  VPI_CHANGE_ADVANCED_COLOR ==
                      static_cast<int>(snapshot::PortChange::Kind::AdvancedColorChanged) &&
                  VPI_CHANGE_MODES == static_cast<int>(snapshot::PortChange::Kind::ModesChanged) &&
                  VPI_CHANGE_PORT_ADDED == static_cast<int>(snapshot::PortChange::Kind::PortAdded),
              "VPI_CHANGE_* are the kinds of change");
static_assert(VPI_CONNECTOR_OTHER == static_cast<int>(libVideoPortInfo::Other) &&
                  VPI_CONNECTOR_HDMI == static_cast<int>(libVideoPortInfo::Hdmi) &&
                  VPI_CONNECTOR_INTERNAL == static_cast<int>(libVideoPortInfo::Internal),
              "VPI_CONNECTOR_* are the connector types");
static_assert(VPI_VERSION_NUMBER == VPI_MAKE_VERSION(VPI_PROJECT_VERSION_MAJOR,
                                                     VPI_PROJECT_VERSION_MINOR,
                                                     VPI_PROJECT_VERSION_PATCH),
              "vpi.h's version is the project's");

namespace {

// Thread-local and of fixed size: recording an error never allocates. Room
// for a failed call with the stand-in's reason and a long file name.
thread_local char lastError[1024] = "";

void setLastError(const char* message) {
    std::strncpy(lastError, message, sizeof lastError - 1);
    lastError[sizeof lastError - 1] = '\0';
}

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

// Copies `bytes` to `cursor` and advances it; returns the copy.
const std::uint8_t* placeBytes(char*& cursor, const std::vector<std::uint8_t>& bytes) {
    auto* copy = reinterpret_cast<std::uint8_t*>(cursor);
    std::memcpy(copy, bytes.data(), bytes.size());
    cursor += bytes.size();
    return copy;
}

const char* placeOptionalText(char*& cursor, const std::optional<std::string>& text) {
    return text ? placeText(cursor, *text) : nullptr;
}

// What one port takes in the block besides its vpi_port: the counts of each
// record kind, and the bytes of its text and EDIDs (each text with its NUL).
struct Needs {
    std::size_t states = 0;
    std::size_t monitors = 0;
    std::size_t edids = 0;
    std::size_t modes = 0;
    std::size_t bytes = 0;

    void add(const std::optional<std::string>& text) { bytes += text ? text->size() + 1 : 0; }
    void add(const std::string& text) { bytes += text.size() + 1; }

    void add(const snapshot::MonitorState& monitor) {
        ++monitors;
        add(monitor.name);
        add(monitor.devicePath);
        bytes += monitor.ids ? sizeof monitor.ids->manufacturerId : 0;
        bytes += monitor.edid.size();
        if (const auto& info = monitor.edidInfo) {
            ++edids;
            add(info->manufacturerId);
            add(info->version);
            add(info->serialString);
            add(info->name);
        }
    }

    void add(const snapshot::PortState& port) {
        states += port.current ? 1 : 0;
        if (port.current) {
            add(std::string(snapshot::hdrName(port.color)));
        }
        modes += port.modes.size();
        add(port.connector);
        add(port.displayId);
        add(port.key);
        if (port.monitor) {
            add(port.monitor->name);
            add(port.monitor->devicePath);
            bytes += port.monitor->ids ? sizeof port.monitor->ids->manufacturerId : 0;
        }
        if (const snapshot::MonitorState* monitor = port.connectedMonitor()) {
            add(*monitor);
        }
    }
};

vpi_edid edidOf(const edid::Edid& info, char*& cursor) {
    vpi_edid out{};
    out.size = sizeof out;
    out.manufacturer_id = placeText(cursor, info.manufacturerId);
    out.product_code = info.productCode;
    out.serial_number = info.serialNumber.value_or(0);
    out.serial_string = placeOptionalText(cursor, info.serialString);
    out.name = placeOptionalText(cursor, info.name);
    out.week = info.week.value_or(0);
    out.year = info.year.value_or(0);
    out.model_year = info.modelYear.value_or(0);
    out.version = placeText(cursor, info.version);
    out.digital = info.digital ? 1 : 0;
    out.extensions = info.extensions;
    if (info.maxImageSizeCm) {
        out.max_image_width_cm = info.maxImageSizeCm->width;
        out.max_image_height_cm = info.maxImageSizeCm->height;
    }
    if (info.physicalSizeMm) {
        out.physical_width_mm = info.physicalSizeMm->width;
        out.physical_height_mm = info.physicalSizeMm->height;
    }
    if (const auto& timing = info.preferredTiming) {
        out.has_preferred_timing = 1;
        out.timing_width = timing->width;
        out.timing_height = timing->height;
        out.timing_interlaced = timing->interlaced ? 1 : 0;
        out.timing_pixel_clock_khz = timing->pixelClockKhz;
        out.timing_refresh_numerator = timing->refreshRate.numerator;
        out.timing_refresh_denominator = timing->refreshRate.denominator;
        out.timing_hertz = timing->hertz;
        if (timing->imageSizeMm) {
            out.timing_image_width_mm = timing->imageSizeMm->width;
            out.timing_image_height_mm = timing->imageSizeMm->height;
        }
    }
    out.hdmi = info.hdmi ? 1 : 0;
    if (const auto& hdr = info.hdr) {
        out.has_hdr = 1;
        out.hdr_traditional_sdr = hdr->traditionalSdr ? 1 : 0;
        out.hdr_traditional_hdr = hdr->traditionalHdr ? 1 : 0;
        out.hdr_pq = hdr->pq ? 1 : 0;
        out.hdr_hlg = hdr->hlg ? 1 : 0;
        out.hdr_max_luminance = hdr->desiredContentMaxLuminance.value_or(-1);
        out.hdr_max_frame_average_luminance =
            hdr->desiredContentMaxFrameAverageLuminance.value_or(-1);
        out.hdr_min_luminance = hdr->desiredContentMinLuminance.value_or(-1);
    }
    out.checksum_valid = info.checksumValid ? 1 : 0;
    return out;
}

// The current state of a port in use, with its desktop facts and colour.
vpi_display_state displayStateOf(const snapshot::PortState& port, char*& cursor) {
    const libVideoPortInfo::DisplayState& state = *port.current;
    vpi_display_state out{};
    out.size = sizeof out;
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
    if (const auto& desktop = port.desktop) {
        out.has_desktop = 1;
        out.work_area_x = desktop->workArea.left;
        out.work_area_y = desktop->workArea.top;
        out.work_area_width = static_cast<std::uint32_t>(desktop->workArea.width());
        out.work_area_height = static_cast<std::uint32_t>(desktop->workArea.height());
        out.dpi = desktop->dpi;
        out.dpi_source = libVideoPortInfo::dpiSourceName(desktop->dpiSource); // static
        out.scale = desktop->scale();
    }
    out.hdr = placeText(cursor, snapshot::hdrName(port.color));
    out.sdr_white_level_nits = -1;
    if (const auto& color = port.color) {
        out.has_advanced_color = 1;
        out.advanced_color_supported = color->supported ? 1 : 0;
        out.advanced_color_enabled = color->enabled ? 1 : 0;
        out.wide_color_enforced = color->wideColorEnforced ? 1 : 0;
        out.color_encoding = static_cast<std::uint32_t>(color->encoding);
        out.bits_per_color_channel = color->bitsPerColorChannel;
        out.color_encoding_name = libVideoPortInfo::colorEncodingName(color->encoding); // static
        out.sdr_white_level_nits = color->sdrWhiteNits().value_or(-1);
    }
    return out;
}

// Lays `ports` out in one block (see vpi_snapshot). Nothing can fail once
// the block is allocated.
vpi_snapshot* layOut(const std::vector<snapshot::PortState>& ports) {
    const std::uint32_t count = static_cast<std::uint32_t>(ports.size());
    Needs needs;
    for (const snapshot::PortState& port : ports) {
        needs.add(port);
    }
    const std::size_t portsOffset = alignUp(sizeof(vpi_snapshot), alignof(vpi_port));
    const std::size_t boundsOffset =
        alignUp(portsOffset + count * sizeof(vpi_port), alignof(libVideoPortInfo::DesktopRect));
    const std::size_t statesOffset = alignUp(
        boundsOffset + count * sizeof(libVideoPortInfo::DesktopRect), alignof(vpi_display_state));
    const std::size_t monitorsOffset =
        alignUp(statesOffset + needs.states * sizeof(vpi_display_state), alignof(vpi_monitor));
    const std::size_t edidsOffset =
        alignUp(monitorsOffset + needs.monitors * sizeof(vpi_monitor), alignof(vpi_edid));
    const std::size_t modesOffset =
        alignUp(edidsOffset + needs.edids * sizeof(vpi_edid), alignof(vpi_mode));
    const std::size_t textOffset = modesOffset + needs.modes * sizeof(vpi_mode);
    unsigned char* block = static_cast<unsigned char*>(::operator new(textOffset + needs.bytes));

    auto* placedBounds = reinterpret_cast<libVideoPortInfo::DesktopRect*>(block + boundsOffset);
    vpi_snapshot* snapshot = new (block) vpi_snapshot{count, nullptr, placedBounds};
    vpi_port* placedPorts = reinterpret_cast<vpi_port*>(block + portsOffset);
    vpi_display_state* placedStates = reinterpret_cast<vpi_display_state*>(block + statesOffset);
    vpi_monitor* placedMonitors = reinterpret_cast<vpi_monitor*>(block + monitorsOffset);
    vpi_edid* placedEdids = reinterpret_cast<vpi_edid*>(block + edidsOffset);
    vpi_mode* placedModes = reinterpret_cast<vpi_mode*>(block + modesOffset);
    char* cursor = reinterpret_cast<char*>(block + textOffset);
    for (std::uint32_t i = 0; i < count; ++i) {
        const snapshot::PortState& from = ports[i];
        vpi_port& port = *new (&placedPorts[i]) vpi_port{};
        port.size = sizeof port;
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
        new (&placedBounds[i])
            libVideoPortInfo::DesktopRect(from.bounds().value_or(libVideoPortInfo::DesktopRect{}));
        if (from.current) {
            *placedStates = displayStateOf(from, cursor);
            port.current = placedStates++;
        }
        port.monitor_connected = from.monitorConnected ? 1 : 0;
        if (const snapshot::MonitorState* connected = from.connectedMonitor()) {
            vpi_monitor& monitor = *new (placedMonitors) vpi_monitor{};
            monitor.size = sizeof monitor;
            monitor.in_use = from.monitorAttached ? 1 : 0;
            monitor.name = placeText(cursor, connected->name);
            monitor.device_path = placeText(cursor, connected->devicePath);
            if (connected->ids) {
                monitor.manufacturer_id = placeText(cursor, connected->ids->manufacturerId);
                monitor.product_code = connected->ids->productCode;
            }
            monitor.preferred_mode = modeOf(connected->preferredMode);
            if (!connected->edid.empty()) {
                monitor.edid_size = static_cast<std::uint32_t>(connected->edid.size());
                monitor.edid = placeBytes(cursor, connected->edid);
            }
            if (connected->edidInfo) {
                *new (placedEdids) vpi_edid{} = edidOf(*connected->edidInfo, cursor);
                monitor.edid_info = placedEdids++;
            }
            port.connected_monitor = placedMonitors++;
        }
    }
    snapshot->ports = count != 0 ? placedPorts : nullptr;
    return snapshot;
}

// The ports now, or nothing with the reason in lastError and the code to
// return in `code`. Only std::bad_alloc passes on.
std::optional<std::vector<snapshot::PortState>> readConfiguration(snapshot::Reader reader,
                                                                  int& code) {
    snapshot::Reading reading = snapshot::readConfiguration(reader);
    if (reading.ports) {
        return std::move(reading.ports);
    }
    setLastError(snapshot::fullReason(reading).c_str());
    code = reading.failure == snapshot::Reading::Failure::Library    ? VPI_E_LIBRARY
           : reading.failure == snapshot::Reading::Failure::Internal ? VPI_E_INTERNAL
                                                                     : VPI_E_PLATFORM;
    return std::nullopt;
}

// Runs `body`, turning every exception into a VPI_E_* code and the reason in
// lastError; the code of `body` otherwise (which set lastError itself). A
// thread's forced unwind (pthread_exit, pthread_cancel; Python ends its
// threads so at exit) is no exception of ours: it passes.
template <typename Body> int guarded(Body&& body) {
    try {
        return body();
#ifdef __GLIBCXX__
    } catch (abi::__forced_unwind&) {
        throw;
#endif
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

// The process a watch was started in; another is a child of fork().
#ifdef _WIN32
unsigned long thisProcess() {
    return 0;
}
#else
pid_t thisProcess() {
    return getpid();
}
#endif

constexpr std::uint32_t defaultIntervalMilliseconds = 2000;
constexpr std::uint32_t shortestIntervalMilliseconds = 10;
constexpr std::uint32_t longestIntervalMilliseconds = 86400000;

} // namespace

// A watch: its thread follows the configuration with a snapshot::Watch of
// its own and calls the host after each event.
//
// Ownership: vpi_watch_stop() from another thread joins the thread and
// deletes the watch; from inside the callback it detaches the thread, which
// deletes the watch when the callback has returned. In a child of fork(),
// where the thread does not exist, it only releases the child's descriptors
// and keeps the watch (see inherited). `mutex` guards `followed`, `stopping`
// and `stoppedInside`.
struct vpi_watch {
    vpi_watch_callback callback = nullptr;
    void* user = nullptr;
    unsigned long interval = defaultIntervalMilliseconds;
    std::vector<snapshot::PortState> first; // the list the first changes are told against
    decltype(thisProcess()) owner = thisProcess();

    std::thread thread;
    std::mutex mutex;
    std::condition_variable started;
    bool running = false;   // the thread has made its watch (or failed to)
    int startCode = VPI_OK; // why it failed to
    std::string startError;
    snapshot::Watch* followed = nullptr; // while the thread has one
    bool stopping = false;
    bool stoppedInside = false; // vpi_watch_stop() came from the callback
};

namespace {

// Watches a child of fork() inherited and stopped: their memory is the
// parent's image, which the child neither uses nor frees (the thread that
// owns it does not exist here). Kept reachable, so that no leak checker
// takes them for leaks.
std::vector<vpi_watch*>& inherited() {
    static auto* watches = new std::vector<vpi_watch*>;
    return *watches;
}

// An event as the callback receives it, with the changes vpi_change_at()
// reaches: a callback's event is always the first member of one of these.
struct EventBlock {
    vpi_watch_event event;
    const std::vector<vpi_change>* changes;
};
static_assert(offsetof(EventBlock, event) == 0, "an event's block starts with the event");

// The changes as the C interface gives them, their keys from the snapshots.
std::vector<vpi_change> changesOf(const std::vector<snapshot::PortChange>& changes,
                                  const vpi_snapshot& before, const vpi_snapshot& after) {
    std::vector<vpi_change> out;
    out.reserve(changes.size());
    for (const snapshot::PortChange& change : changes) {
        vpi_change c{};
        c.size = sizeof c;
        c.kind = static_cast<std::int32_t>(change.kind);
        c.event = snapshot::eventName(change.kind);
        c.before_index = change.before != nullptr ? change.before->index : VPI_NO_PORT;
        c.after_index = change.after != nullptr ? change.after->index : VPI_NO_PORT;
        c.key = change.after != nullptr ? after.ports[c.after_index].key
                                        : before.ports[c.before_index].key;
        c.modes_added = change.modesAdded;
        c.modes_removed = change.modesRemoved;
        out.push_back(c);
    }
    return out;
}

using SnapshotHandle = std::unique_ptr<vpi_snapshot, void (*)(vpi_snapshot*)>;

// Tells one event to the host. Memory that runs out leaves the event untold.
void tell(vpi_watch* watch, const snapshot::WatchEvent& event) {
    SnapshotHandle before(layOut(*event.before), vpi_snapshot_free);
    SnapshotHandle after(nullptr, vpi_snapshot_free);
    if (event.after != event.before) {
        after.reset(layOut(*event.after));
    }
    const vpi_snapshot* afterView = after ? after.get() : before.get();
    const std::vector<vpi_change> changes = changesOf(event.changes, *before, *afterView);
    EventBlock block{};
    block.event.size = sizeof block.event;
    block.event.before = before.get();
    block.event.after = afterView;
    block.event.change_count = static_cast<std::uint32_t>(changes.size());
    block.changes = &changes;
    switch (event.type) {
    case snapshot::WatchEvent::Type::Changes:
        block.event.type = VPI_EVENT_CHANGES;
        break;
    case snapshot::WatchEvent::Type::ReadFailed:
        block.event.type = VPI_EVENT_READ_FAILED;
        block.event.reason = event.reason.c_str();
        break;
    case snapshot::WatchEvent::Type::ReadRecovered:
        block.event.type = VPI_EVENT_READ_RECOVERED;
        break;
    }
    watch->callback(&block.event, watch->user);
}

// The watch's thread: looks and calls back until stopped.
void follow(vpi_watch* watch) {
    std::unique_ptr<snapshot::Watch> followed;
    {
        std::lock_guard<std::mutex> lock(watch->mutex);
        try {
            followed.reset(new snapshot::Watch(watch->interval));
            followed->begin(std::move(watch->first));
            watch->followed = followed.get();
        } catch (const std::bad_alloc&) {
            followed.reset();
            watch->startCode = VPI_E_NO_MEMORY;
            watch->startError = "out of memory";
        } catch (const std::exception& e) {
            followed.reset();
            watch->startCode = VPI_E_INTERNAL;
            watch->startError = std::string("vpi_watch_start: ") + e.what();
        }
        watch->running = true;
    }
    watch->started.notify_all();
    while (followed) {
        snapshot::Look look;
        try {
            look = followed->next();
#ifdef __GLIBCXX__
        } catch (abi::__forced_unwind&) {
            throw;
#endif
        } catch (...) { // memory ran out: look again later
            continue;
        }
        if (look.wake == snapshot::DisplayWatcher::Wake::Stop) {
            break;
        }
        for (const snapshot::WatchEvent& event : look.events) {
            if (followed->stopRequested()) {
                break;
            }
            try {
                tell(watch, event);
#ifdef __GLIBCXX__
            } catch (abi::__forced_unwind&) {
                throw;
#endif
            } catch (...) { // memory ran out: this event goes untold
            }
        }
    }
    bool deleteHere = false;
    {
        std::lock_guard<std::mutex> lock(watch->mutex);
        watch->followed = nullptr; // no stop() reaches it from now on
        deleteHere = watch->stoppedInside;
    }
    followed.reset();
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
    return guarded([&]() -> int {
        int code = VPI_OK;
        const auto ports = readConfiguration(snapshot::Reader::Snapshot, code);
        if (!ports) {
            return code;
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
    if (snapshot == nullptr) {
        setLastError("vpi_port_at: snapshot is NULL");
        return nullptr;
    }
    if (index >= snapshot->count) {
        std::snprintf(lastError, sizeof lastError, "vpi_port_at: no port %lu: the snapshot has %lu",
                      static_cast<unsigned long>(index),
                      static_cast<unsigned long>(snapshot->count));
        return nullptr;
    }
    return snapshot->ports + index;
}

VPI_API const vpi_change* vpi_change_at(const vpi_watch_event* event, uint32_t index) {
    if (event == nullptr) {
        setLastError("vpi_change_at: event is NULL");
        return nullptr;
    }
    if (index >= event->change_count) {
        std::snprintf(
            lastError, sizeof lastError, "vpi_change_at: no change %lu: the event has %lu",
            static_cast<unsigned long>(index), static_cast<unsigned long>(event->change_count));
        return nullptr;
    }
    const auto* block = reinterpret_cast<const EventBlock*>(event);
    return &(*block->changes)[index];
}

VPI_API const vpi_port* vpi_port_at_point(const vpi_snapshot* snapshot, int32_t x, int32_t y,
                                          int32_t* inside) {
    if (snapshot == nullptr) {
        setLastError("vpi_port_at_point: snapshot is NULL");
        return nullptr;
    }
    const auto found = libVideoPortInfo::displayAtPoint(snapshot->bounds, snapshot->count, x, y);
    if (!found) {
        setLastError("vpi_port_at_point: no port is in use");
        return nullptr;
    }
    if (inside != nullptr) {
        *inside = found->inside ? 1 : 0;
    }
    return snapshot->ports + found->index;
}

VPI_API const char* vpi_last_error(void) {
    return lastError;
}

VPI_API const char* vpi_version(void) {
    return VPI_VERSION;
}

VPI_API uint32_t vpi_version_number(void) {
    return VPI_VERSION_NUMBER;
}

VPI_API int vpi_set_log_level(int level) {
    if (level < tkl::LoggerPriority::PRIORITY_TRACE ||
        level > tkl::LoggerPriority::PRIORITY_FATAL) {
        setLastError("vpi_set_log_level: level is not 0 to 5");
        return VPI_E_INVALID_ARGUMENT;
    }
    tkl::LogFactory::setPriority(static_cast<tkl::LoggerPriority::LOGGER_PRIORITY>(level));
    lastError[0] = '\0';
    return VPI_OK;
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
    return guarded([&]() -> int {
        std::unique_ptr<vpi_watch> watch(new vpi_watch);
        watch->callback = callback;
        watch->user = user;
        watch->interval = interval_ms != 0 ? interval_ms : defaultIntervalMilliseconds;
        int code = VPI_OK;
        auto ports = readConfiguration(snapshot::Reader::Watch, code);
        if (!ports) {
            return code;
        }
        watch->first = std::move(*ports);
        watch->thread = std::thread(follow, watch.get());
        std::unique_lock<std::mutex> lock(watch->mutex);
        watch->started.wait(lock, [&] { return watch->running; });
        if (watch->followed == nullptr) {
            lock.unlock();
            watch->thread.join();
            setLastError(watch->startError.c_str());
            return watch->startCode;
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
    return guarded([&]() -> int {
        snapshot::SharedPorts known;
        {
            std::lock_guard<std::mutex> lock(watch->mutex);
            if (watch->followed == nullptr) {
                setLastError("vpi_watch_snapshot: the watch has ended");
                return VPI_E_INVALID_ARGUMENT;
            }
            known = watch->followed->known();
        }
        *out = layOut(*known);
        lastError[0] = '\0';
        return VPI_OK;
    });
}

VPI_API void vpi_watch_stop(vpi_watch* watch) {
    if (watch == nullptr) {
        return;
    }
    guarded([&]() -> int {
        if (watch->owner != thisProcess()) {
            // A child of fork(): its copy of the watch has no thread. Release
            // the child's descriptors only; the parent's watch goes on.
            if (watch->followed != nullptr) {
                watch->followed->watcher().releaseInherited();
            }
            inherited().push_back(watch);
            return VPI_OK;
        }
        std::unique_lock<std::mutex> lock(watch->mutex);
        watch->stopping = true;
        if (watch->followed != nullptr) {
            watch->followed->stop();
        }
        if (std::this_thread::get_id() == watch->thread.get_id()) {
            // Inside the callback: the thread ends when it returns, and frees
            // the watch.
            watch->stoppedInside = true;
            watch->thread.detach();
            return VPI_OK;
        }
        lock.unlock();
        watch->thread.join();
        delete watch;
        return VPI_OK;
    });
}

} // extern "C"
