// The C interface: copies everything the C++ interface tells into one
// self-contained block per snapshot. No C++ exception leaves this file.
#include <vpi/vpi.h>

#include <PortState.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <tkl/Exception.h>

#include <cstddef>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <vector>

using libVideoPortInfo::VideoPortFactoryWin7;

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

// Thread-local and of fixed size: recording an error never allocates.
thread_local char lastError[256] = "";

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

vpi_snapshot* takeSnapshot() {
    std::lock_guard<std::mutex> lock(libraryMutex());
    auto factory = VideoPortFactoryWin7::factory();
    // factory() enumerates when it creates the factory, without telling
    // whether that worked; a first list with ports is current, so the first
    // snapshot of the process reads the configuration only once then.
    const bool current = firstTake && factory->numVideoPorts() != 0;
    if (!current && !factory->refresh()) {
        return nullptr;
    }
    firstTake = false;
    return layOut(snapshot::readPorts(*factory));
}

} // namespace

extern "C" {

VPI_API int vpi_snapshot_take(vpi_snapshot** out) {
    if (out == nullptr) {
        setLastError("vpi_snapshot_take: out is NULL");
        return VPI_E_INVALID_ARGUMENT;
    }
    *out = nullptr;
    try {
        vpi_snapshot* snapshot = takeSnapshot();
        if (snapshot == nullptr) {
            setLastError("the display configuration could not be read");
            return VPI_E_PLATFORM;
        }
        *out = snapshot;
        lastError[0] = '\0';
        return VPI_OK;
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

} // extern "C"
