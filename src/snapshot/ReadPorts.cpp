#include "PortState.h"

#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <libVideoPortInfo/VideoPortWin7.h>
#include <tkl/Utf16.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace snapshot {

namespace {

using libVideoPortInfo::DisplayResolution;
using libVideoPortInfo::VideoPort;
using libVideoPortInfo::VideoPortWin7;

Mode modeOf(const DisplayResolution& mode) {
    return Mode{mode.width(), mode.height(), mode.frequency(), mode.bitsPerPixel()};
}

// The adapters' device paths of one reading, each asked for once.
class AdapterPaths {
public:
    const tkl::String& of(const VideoPortWin7& port) {
        const LUID& adapter = port.portId();
        const auto id = std::make_pair(adapter.HighPart, adapter.LowPart);
        auto found = paths_.find(id);
        if (found == paths_.end()) {
            found = paths_.emplace(id, port.adapterDevicePath()).first;
        }
        return found->second;
    }

private:
    std::map<std::pair<LONG, DWORD>, tkl::String> paths_;
};

PortState stateOf(unsigned index, const VideoPort& port, AdapterPaths& adapterPaths) {
    PortState state;
    state.index = index;
    state.connector = libVideoPortInfo::connectorTypeName(port.connectorType());
    state.connectorType = static_cast<int>(port.connectorType());
    state.monitorAttached = port.hasAttachedMonitor();
    state.displayId = port.displayId().toUtf8();
    if (const auto monitor = port.monitor()) {
        state.monitor = MonitorState{monitor->name().toUtf8(), monitor->devicePath().toUtf8(),
                                     monitor->displayId().toUtf8(),
                                     modeOf(monitor->preferredResolution()), std::nullopt};
    }
    // The factory's ports are Windows 7 ports, which tell the rest.
    if (const auto* win7 = dynamic_cast<const VideoPortWin7*>(&port)) {
        const LUID& adapter = win7->portId();
        state.target = PortTarget{adapter.LowPart, adapter.HighPart, win7->targetId()};
        state.key = win7->portKey(adapterPaths.of(*win7)).toUtf8();
        state.outputTechnology = win7->outputTechnology();
        state.embedded = win7->isEmbedded();
        state.connectorInstance = win7->connectorInstance();
        state.current = win7->displayState();
        if (state.monitor) {
            state.monitor->ids = win7->monitorIds();
        }
    } else {
        state.key = "port#" + std::to_string(index);
    }
    tkl::Array<DisplayResolution> modes;
    port.supportedResolution(modes);
    state.modes.reserve(modes.size());
    for (unsigned i = 0; i < modes.size(); ++i) {
        state.modes.push_back(modeOf(modes[i]));
    }
    return state;
}

// The names of the codes the display-configuration operations return.
const char* codeName(long code) {
    switch (code) {
    case ERROR_NOT_ENOUGH_MEMORY:
        return "ERROR_NOT_ENOUGH_MEMORY";
    case ERROR_GEN_FAILURE:
        return "ERROR_GEN_FAILURE";
    case ERROR_NOT_SUPPORTED:
        return "ERROR_NOT_SUPPORTED";
    case ERROR_INVALID_PARAMETER:
        return "ERROR_INVALID_PARAMETER";
    case ERROR_INSUFFICIENT_BUFFER:
        return "ERROR_INSUFFICIENT_BUFFER";
    default:
        return nullptr;
    }
}

} // namespace

std::optional<std::vector<PortState>> readConfiguration(bool again, std::string& reason) {
    auto handle = libVideoPortInfo::VideoPortFactoryWin7::factory();
    auto& factory = static_cast<libVideoPortInfo::VideoPortFactoryWin7&>(*handle);
    if (again) {
        factory.refresh();
    }
    const auto failure = factory.lastReadFailure();
    if (failure.operation == nullptr) {
        return readPorts(factory);
    }
    const char* name = codeName(failure.code);
    reason = std::string("the display configuration could not be read: ") + failure.operation +
             " returned " + std::to_string(failure.code) +
             (name != nullptr ? std::string(" (") + name + ")" : std::string());
    return std::nullopt;
}

std::string probeConfiguration(const std::set<std::string>& displayIds) {
    std::string fingerprint;
    const auto add = [&](long value) { fingerprint += std::to_string(value) + ' '; };
    UINT32 paths = 0;
    UINT32 modes = 0;
    add(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes));
    add(static_cast<long>(paths));
    add(static_cast<long>(modes));
    for (const std::string& id : displayIds) {
        std::u16string name;
        tkl::utf16::appendUtf8(name, id.data(), id.size(), tkl::utf16::Units::Utf16);
        DEVMODEW mode;
        std::memset(static_cast<void*>(&mode), 0, sizeof mode);
        mode.dmSize = sizeof mode;
        if (name.empty() || !EnumDisplaySettingsExW(reinterpret_cast<LPCWSTR>(name.c_str()),
                                                    ENUM_CURRENT_SETTINGS, &mode, 0)) {
            fingerprint += "- ";
            continue;
        }
        for (const long value :
             {long(mode.dmPelsWidth), long(mode.dmPelsHeight), long(mode.dmDisplayFrequency),
              long(mode.dmBitsPerPel), long(mode.dmPosition.x), long(mode.dmPosition.y),
              long(mode.dmDisplayOrientation), long(mode.dmDisplayFlags)}) {
            add(value);
        }
    }
    return fingerprint;
}

std::vector<PortState> readPorts(const libVideoPortInfo::VideoPortFactory& factory) {
    AdapterPaths adapterPaths;
    std::vector<PortState> ports;
    const unsigned count = factory.numVideoPorts();
    ports.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        ports.push_back(stateOf(i, *factory.videoPort(i), adapterPaths));
    }
    return ports;
}

} // namespace snapshot
