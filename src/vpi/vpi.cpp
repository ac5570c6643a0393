// The C interface: copies everything the C++ interface tells into one
// self-contained block per snapshot. No C++ exception leaves this file.
#include <vpi/vpi.h>

#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <tkl/Exception.h>

#include <cstddef>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <vector>

using libVideoPortInfo::DisplayResolution;
using libVideoPortInfo::VideoPort;
using libVideoPortInfo::VideoPortFactoryWin7;

// The block of one snapshot, in a single allocation:
//
//     [ vpi_snapshot | vpi_port x count | vpi_mode x all modes | text bytes ]
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

// What one port tells, gathered before the block is laid out.
struct PortText {
    std::string connectorName;
    std::string displayId;
    bool hasMonitor = false;
    std::string monitorName;
    std::string monitorDevicePath;
};

vpi_mode modeOf(const DisplayResolution& mode) {
    return vpi_mode{mode.width(), mode.height(), mode.frequency(), mode.bitsPerPixel()};
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

    const std::uint32_t count = factory->numVideoPorts();
    std::vector<vpi_port> ports(count);
    std::vector<PortText> texts(count);
    std::vector<std::vector<vpi_mode>> modes(count);
    std::size_t modeTotal = 0;
    std::size_t textBytes = 0;
    tkl::Array<DisplayResolution> resolutions;
    for (std::uint32_t i = 0; i < count; ++i) {
        const VideoPort& port = *factory->videoPort(i);
        vpi_port& out = ports[i];
        PortText& text = texts[i];
        out.index = i;
        out.connector = static_cast<std::int32_t>(port.connectorType());
        out.monitor_attached = port.hasAttachedMonitor() ? 1 : 0;
        text.connectorName = libVideoPortInfo::connectorTypeName(port.connectorType());
        text.displayId = port.displayId().toUtf8();
        textBytes += text.connectorName.size() + text.displayId.size() + 2;
        const auto monitor = port.monitor();
        if (monitor) {
            text.hasMonitor = true;
            text.monitorName = monitor->name().toUtf8();
            text.monitorDevicePath = monitor->devicePath().toUtf8();
            textBytes += text.monitorName.size() + text.monitorDevicePath.size() + 2;
            out.preferred_mode = modeOf(monitor->preferredResolution());
        }
        port.supportedResolution(resolutions);
        modes[i].reserve(resolutions.size());
        for (unsigned k = 0; k < resolutions.size(); ++k) {
            modes[i].push_back(modeOf(resolutions[k]));
        }
        modeTotal += modes[i].size();
    }

    const std::size_t portsOffset = alignUp(sizeof(vpi_snapshot), alignof(vpi_port));
    const std::size_t modesOffset =
        alignUp(portsOffset + count * sizeof(vpi_port), alignof(vpi_mode));
    const std::size_t textOffset = modesOffset + modeTotal * sizeof(vpi_mode);
    unsigned char* block = static_cast<unsigned char*>(::operator new(textOffset + textBytes));

    // From here on nothing can fail.
    vpi_snapshot* snapshot = new (block) vpi_snapshot{count, nullptr};
    vpi_port* placedPorts = reinterpret_cast<vpi_port*>(block + portsOffset);
    vpi_mode* placedModes = reinterpret_cast<vpi_mode*>(block + modesOffset);
    char* cursor = reinterpret_cast<char*>(block + textOffset);
    for (std::uint32_t i = 0; i < count; ++i) {
        vpi_port& port = placedPorts[i];
        port = ports[i];
        port.connector_name = placeText(cursor, texts[i].connectorName);
        port.display_id = placeText(cursor, texts[i].displayId);
        if (texts[i].hasMonitor) {
            port.monitor_name = placeText(cursor, texts[i].monitorName);
            port.monitor_device_path = placeText(cursor, texts[i].monitorDevicePath);
        }
        port.mode_count = static_cast<std::uint32_t>(modes[i].size());
        if (!modes[i].empty()) {
            std::memcpy(placedModes, modes[i].data(), modes[i].size() * sizeof(vpi_mode));
            port.modes = placedModes;
            placedModes += modes[i].size();
        }
    }
    snapshot->ports = count != 0 ? placedPorts : nullptr;
    return snapshot;
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
