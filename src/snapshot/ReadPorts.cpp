#include "Reading.h"

#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <libVideoPortInfo/VideoPortWin7.h>
#include <tkl/Exception.h>
#include <tkl/Logging.h>
#include <tkl/Utf16.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <utility>

#ifndef _WIN32
#include <standin/StandIn.h>

#include <pthread.h>
#endif

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
        state.monitor.emplace();
        state.monitor->name = monitor->name().toUtf8();
        state.monitor->devicePath = monitor->devicePath().toUtf8();
        state.monitor->displayId = monitor->displayId().toUtf8();
        state.monitor->preferredMode = modeOf(monitor->preferredResolution());
        state.monitorConnected = true;
    }
    // The factory's ports are Windows 7 ports, which tell the rest.
    if (const auto* win7 = dynamic_cast<const VideoPortWin7*>(&port)) {
        const LUID& adapter = win7->portId();
        state.target = PortTarget{adapter.LowPart, adapter.HighPart, win7->targetId()};
        state.key = win7->portKey(adapterPaths.of(*win7)).toUtf8();
        state.outputTechnology = win7->outputTechnology();
        state.embedded = win7->isEmbedded();
        state.connectorInstance = win7->connectorInstance();
        // The desktop's facts once per display: the current state takes its
        // primary flag from them.
        state.desktop = win7->desktopPlace();
        state.current = win7->displayState(state.desktop);
        state.color = win7->advancedColor();
        if (state.monitor) {
            state.monitor->ids = win7->monitorIds();
        }
        state.monitorConnected = state.monitorAttached || win7->isMonitorConnected();
        if (!state.monitorAttached && state.monitorConnected) {
            // Asked for here only: the refresh reads nothing of a monitor not
            // in use.
            if (const auto connected = win7->connectedMonitor()) {
                state.inactiveMonitor.emplace();
                MonitorState& monitor = *state.inactiveMonitor;
                monitor.name = connected->name.toUtf8();
                monitor.devicePath = connected->devicePath.toUtf8();
                monitor.ids = connected->ids;
                const auto& mode = connected->preferredMode;
                monitor.preferredMode =
                    Mode{mode.width, mode.height, mode.refreshRate.wholeHertz(), 0};
                state.connectorInstance = connected->connectorInstance;
            }
        }
        if (MonitorState* monitor = state.monitor           ? &*state.monitor
                                    : state.inactiveMonitor ? &*state.inactiveMonitor
                                                            : nullptr) {
            monitor->edid = win7->monitorEdid();
            monitor->edidInfo = edid::decode(monitor->edid);
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

// Keys unique within a list: the second port of a key gets "~2", the third
// "~3", in the list's order. Two adapters that report the same device path
// would otherwise make two ports one in every comparison of lists.
void makeKeysUnique(std::vector<PortState>& ports) {
    std::map<std::string, unsigned> seen;
    for (PortState& port : ports) {
        const unsigned count = ++seen[port.key];
        if (count > 1) {
            port.key += "~" + std::to_string(count);
        }
    }
}

// What every reading shares: the lock that makes the factory one caller's at
// a time, and what the process has done with it. Made on first use and never
// destroyed, as a watch's thread may still take the lock while the process
// exits.
struct Access {
    std::mutex mutex;
    bool firstReading = true; // guarded by mutex, as the rest
    bool closed = false;      // the process is exiting
    bool closeRegistered = false;

    // The library's log lines of a watch's reading that the watch's reading
    // before logged too are left out.
    std::set<std::string> previousLines;
    std::set<std::string> currentLines;
    tkl::LogFactory::Sink outerSink = nullptr;
    void* outerContext = nullptr;
};

Access& access();

void closeAtExit() {
    Access& a = access();
    std::lock_guard<std::mutex> lock(a.mutex); // waits for a reading in progress
    a.closed = true;
}

#ifndef _WIN32
// A child of fork() must not inherit the lock taken by another thread of its
// parent: the lock is held across the fork.
void lockForFork() {
    access().mutex.lock();
}
void unlockAfterFork() {
    access().mutex.unlock();
}
#endif

Access& access() {
    static Access* const instance = [] {
        auto* made = new Access;
#ifndef _WIN32
        pthread_atfork(lockForFork, unlockAfterFork, unlockAfterFork);
#endif
        return made;
    }();
    return *instance;
}

// Writes a line as the default sink would, or to the sink it replaced.
void passOn(const Access& a, const char* line) {
    if (a.outerSink != nullptr) {
        a.outerSink(line, a.outerContext);
    } else {
        std::fprintf(stderr, "%s\n", line);
        std::fflush(stderr);
    }
}

void filterRepeats(const char* line, void* context) {
    auto& a = *static_cast<Access*>(context);
    const std::string text = line;
    a.currentLines.insert(text);
    if (text.rfind("libVideoPortInfo ", 0) != 0 || a.previousLines.count(text) == 0) {
        passOn(a, line);
    }
}

// While it lives, the library's log lines are those of one watch's reading.
class WatchReadingLog {
public:
    explicit WatchReadingLog(Access& a) : access_(a) {
        access_.previousLines.swap(access_.currentLines);
        access_.currentLines.clear();
        access_.outerSink = tkl::LogFactory::getSink(access_.outerContext);
        tkl::LogFactory::setSink(filterRepeats, &access_);
    }
    ~WatchReadingLog() { tkl::LogFactory::setSink(access_.outerSink, access_.outerContext); }
    WatchReadingLog(const WatchReadingLog&) = delete;
    WatchReadingLog& operator=(const WatchReadingLog&) = delete;

private:
    Access& access_;
};

std::string failureText(const libVideoPortInfo::VideoPortFactoryWin7::ReadFailure& failure) {
    const char* name = codeName(failure.code);
    return std::string("the display configuration could not be read: ") + failure.operation +
           " returned " + std::to_string(failure.code) +
           (name != nullptr ? std::string(" (") + name + ")" : std::string());
}

} // namespace

std::string fullReason(const Reading& reading) {
    return reading.detail.empty() ? reading.reason : reading.reason + ": " + reading.detail;
}

Reading readConfiguration(Reader reader) {
    Access& a = access();
    std::lock_guard<std::mutex> lock(a.mutex);
    Reading reading;
    if (a.closed) {
        reading.closed = true;
        reading.reason = "the process is exiting";
        return reading;
    }
    std::optional<WatchReadingLog> filter;
    if (reader == Reader::Watch) {
        filter.emplace(a);
    }
    try {
        auto handle = libVideoPortInfo::VideoPortFactoryWin7::factory();
        if (!a.closeRegistered) {
            // After the factory's construction, so that this runs before its
            // static destructor.
            std::atexit(closeAtExit);
            a.closeRegistered = true;
        }
        auto& factory = static_cast<libVideoPortInfo::VideoPortFactoryWin7&>(*handle);
        if (!a.firstReading) {
            factory.refresh();
        }
        a.firstReading = false;
        const auto failure = factory.lastReadFailure();
        if (failure.operation == nullptr) {
            reading.ports = readPorts(factory);
            return reading;
        }
        reading.reason = failureText(failure);
        reading.failure = Reading::Failure::Platform;
#ifndef _WIN32
        // The stand-in platform says what it could not use.
        reading.detail = standin::problem();
#endif
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const tkl::Exception& e) {
        reading.ports.reset();
        reading.reason = e.what();
        reading.failure = Reading::Failure::Library;
    } catch (const std::exception& e) {
        reading.ports.reset();
        reading.reason = e.what();
        reading.failure = Reading::Failure::Internal;
    }
    return reading;
}

std::optional<std::string> probeConfiguration(const std::set<std::string>& displayIds) {
    Access& a = access();
    std::lock_guard<std::mutex> lock(a.mutex);
    if (a.closed) {
        return std::nullopt;
    }
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
    makeKeysUnique(ports);
    return ports;
}

} // namespace snapshot
