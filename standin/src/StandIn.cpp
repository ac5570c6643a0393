// The four display-configuration operations, served from a Configuration.
#include <standin/ConfigurationJson.h>
#include <standin/StandIn.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

namespace standin {
namespace {

constexpr std::size_t kOperations = 4;

struct Fault {
    Operation operation;
    unsigned call; // the call number (counted from the last reset) that fails
    LONG code;
};

// What identifies a version of a file: its modification time and size, each
// zero when it cannot be read.
using FileStamp = std::pair<std::filesystem::file_time_type, std::uintmax_t>;

FileStamp stampOf(const std::string& path) {
    std::error_code timeError;
    std::error_code sizeError;
    const auto modified = std::filesystem::last_write_time(path, timeError);
    const auto size = std::filesystem::file_size(path, sizeError);
    return {timeError ? std::filesystem::file_time_type{} : modified, sizeError ? 0 : size};
}

struct State {
    std::mutex mutex;
    Configuration configuration;
    bool unusable = false; // a VPI_DISPLAY_CONFIG file was refused
    // The VPI_DISPLAY_CONFIG file served, and its stamp when it was read;
    // empty while another configuration is served.
    std::string file;
    FileStamp fileStamp;
    std::optional<Configuration> pending;
    std::array<unsigned, kOperations> calls{};
    std::vector<Fault> faults;
};

std::size_t slot(Operation operation) {
    return static_cast<std::size_t>(operation);
}

// Reads `state.file`, reporting a refused file on one line. The stamp is
// taken first: a change while the file is read is seen by the next check.
void loadFile(State& state) {
    state.fileStamp = stampOf(state.file);
    state.unusable = false;
    try {
        state.configuration = loadConfigurationFile(state.file);
    } catch (const ConfigurationError& e) {
        state.configuration = Configuration{};
        state.unusable = true;
        std::fprintf(
            stderr,
            "display-configuration stand-in: cannot use VPI_DISPLAY_CONFIG file \"%s\": %s\n",
            state.file.c_str(), e.what());
        std::fflush(stderr);
    }
}

// Loads what the environment asks for.
void load(State& state) {
    state.pending.reset();
    state.calls = {};
    state.faults.clear();
    state.unusable = false;
    const char* path = std::getenv("VPI_DISPLAY_CONFIG");
    state.file = path != nullptr ? path : "";
    if (state.file.empty()) {
        state.configuration = defaultConfiguration();
        return;
    }
    loadFile(state);
}

// A recording that was edited or replaced since it was read is a change of
// the machine's configuration: it is read again.
void reloadIfChanged(State& state) {
    if (!state.file.empty() && stampOf(state.file) != state.fileStamp) {
        loadFile(state);
    }
}

// Never destroyed: the operations may be called while other libraries unload.
State& state() {
    static State* instance = [] {
        auto* s = new State;
        load(*s);
        return s;
    }();
    return *instance;
}

// Counts the call; true (with `code`) when a scripted fault claims it.
bool countCall(State& s, Operation operation, LONG& code) {
    const unsigned call = ++s.calls[slot(operation)];
    for (auto it = s.faults.begin(); it != s.faults.end(); ++it) {
        if (it->operation == operation && it->call == call) {
            code = it->code;
            s.faults.erase(it);
            return true;
        }
    }
    return false;
}

// Runs `use` on the state under its lock.
template <typename Use> auto locked(Use&& use) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return use(s);
}

// Answers one call of `operation` under the state's lock, once counted,
// unless a scripted fault claims it: the fault's code is returned instead, or
// for EnumDisplaySettingsExW, which has no code to return, 0.
template <typename Answer> auto serve(Operation operation, Answer&& answer) {
    return locked([&](State& s) {
        LONG code = ERROR_SUCCESS;
        if (countCall(s, operation, code)) {
            return decltype(answer(s))(operation == Operation::EnumDisplaySettingsExW ? 0 : code);
        }
        return answer(s);
    });
}

// The table asked for: exactly one of QDC_ALL_PATHS, QDC_ONLY_ACTIVE_PATHS
// and QDC_DATABASE_CURRENT, as Windows 7 knows no other flag; 0 for anything
// else.
UINT32 tableOf(UINT32 flags) {
    return (flags == QDC_ALL_PATHS || flags == QDC_ONLY_ACTIVE_PATHS ||
            flags == QDC_DATABASE_CURRENT)
               ? flags
               : 0;
}

struct Tables {
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    std::vector<DISPLAYCONFIG_MODE_INFO> modes;
};

// The active paths and the mode records they use, renumbered in order of first
// use. Indexes outside the mode table are passed on as they are.
Tables activeTables(const Configuration& c) {
    Tables t;
    std::vector<UINT32> renumbered(c.modes.size(), DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
    auto remap = [&](UINT32& index) {
        if (index == DISPLAYCONFIG_PATH_MODE_IDX_INVALID || index >= c.modes.size()) {
            return;
        }
        if (renumbered[index] == DISPLAYCONFIG_PATH_MODE_IDX_INVALID) {
            renumbered[index] = static_cast<UINT32>(t.modes.size());
            t.modes.push_back(c.modes[index]);
        }
        index = renumbered[index];
    };
    for (DISPLAYCONFIG_PATH_INFO path : c.paths) {
        if ((path.flags & DISPLAYCONFIG_PATH_ACTIVE) == 0) {
            continue;
        }
        UINT32 source = path.sourceInfo.modeInfoIdx;
        UINT32 target = path.targetInfo.modeInfoIdx;
        remap(source);
        remap(target);
        path.sourceInfo.modeInfoIdx = source;
        path.targetInfo.modeInfoIdx = target;
        t.paths.push_back(path);
    }
    return t;
}

// QDC_DATABASE_CURRENT: the active paths as the configuration database
// stores them, whose target modes keep the mode but not the signal timing.
Tables tablesFor(const Configuration& c, UINT32 table) {
    if (table == QDC_ALL_PATHS) {
        return Tables{c.paths, c.modes};
    }
    Tables t = activeTables(c);
    for (DISPLAYCONFIG_MODE_INFO& mode : t.modes) {
        if (table == QDC_DATABASE_CURRENT && mode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
            DISPLAYCONFIG_VIDEO_SIGNAL_INFO& signal = mode.targetMode.targetVideoSignalInfo;
            signal.pixelRate = 0;
            signal.hSyncFreq = DISPLAYCONFIG_RATIONAL{};
            signal.totalSize = DISPLAYCONFIG_2DREGION{};
        }
    }
    return t;
}

std::optional<std::u16string> sourceName(const Configuration& c, const LUID& adapter, UINT32 id) {
    const auto it =
        c.deviceInfo.find(DeviceInfoKey{DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, adapter, id});
    DISPLAYCONFIG_SOURCE_DEVICE_NAME record{};
    if (it == c.deviceInfo.end() || !recordOf(it->second, record)) {
        return std::nullopt;
    }
    return nameOf(record.viewGdiDeviceName);
}

// The active paths whose source is the device, in table order.
std::vector<DISPLAYCONFIG_PATH_INFO> activePaths(const Configuration& c,
                                                 const std::u16string& device) {
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    for (const DISPLAYCONFIG_PATH_INFO& path : c.paths) {
        const std::optional<std::u16string> name =
            sourceName(c, path.sourceInfo.adapterId, path.sourceInfo.id);
        if ((path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0 && name && *name == device) {
            paths.push_back(path);
        }
    }
    return paths;
}

// The device's orientation now: its first active path's rotation.
DWORD orientationOf(const Configuration& c, const std::u16string& device) {
    const std::vector<DISPLAYCONFIG_PATH_INFO> paths = activePaths(c, device);
    const UINT32 rotation = paths.empty() ? 0u : UINT32(paths.front().targetInfo.rotation);
    return rotation >= DISPLAYCONFIG_ROTATION_IDENTITY &&
                   rotation <= DISPLAYCONFIG_ROTATION_ROTATE270
               ? rotation - DISPLAYCONFIG_ROTATION_IDENTITY
               : DMDO_DEFAULT;
}

// The device's current mode, from the first active path whose source it is
// that designates a source mode.
std::optional<DEVMODEW> currentMode(const Configuration& c, const std::u16string& device) {
    for (const DISPLAYCONFIG_PATH_INFO& path : activePaths(c, device)) {
        if (path.sourceInfo.modeInfoIdx >= c.modes.size()) {
            continue;
        }
        const DISPLAYCONFIG_SOURCE_MODE& source = c.modes[path.sourceInfo.modeInfoIdx].sourceMode;
        DWORD frequency = 0;
        if (path.targetInfo.modeInfoIdx < c.modes.size()) {
            const DISPLAYCONFIG_RATIONAL& v =
                c.modes[path.targetInfo.modeInfoIdx].targetMode.targetVideoSignalInfo.vSyncFreq;
            frequency = v.Denominator == 0 ? 0 : v.Numerator / v.Denominator;
        }
        static const DWORD bits[] = {0, 8, 16, 24, 32};
        const UINT32 format = source.pixelFormat;
        DEVMODEW mode = makeDisplayMode(source.width, source.height, frequency,
                                        format <= 4 ? bits[format] : 0, orientationOf(c, device));
        mode.dmPosition = source.position;
        return mode;
    }
    return std::nullopt;
}

// The answer to the adapter-name request, whatever its id: the configuration's,
// or for an adapter that its paths name, a made-up one.
std::optional<DeviceInfoAnswer> adapterName(const Configuration& c, const LUID& adapter) {
    const auto it = c.deviceInfo.lower_bound(
        DeviceInfoKey{DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, adapter, 0});
    if (it != c.deviceInfo.end() && it->first.type == DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME &&
        sameLuid(it->first.adapterId, adapter)) {
        return it->second;
    }
    if (!c.namesAdapter(adapter)) {
        return std::nullopt;
    }
    auto record = makeDeviceInfoRequest<DISPLAYCONFIG_ADAPTER_NAME>(
        DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, adapter, 0);
    copyName(record.adapterDevicePath, madeUpAdapterPath(adapter));
    return DeviceInfoAnswer{ERROR_SUCCESS, bytesOf(record)};
}

} // namespace

// The machine served when no recording is named is a recording too, the one
// format's sample, edited as data (standin/data/built-in.json). It is read
// once: every reset serves it again.
Configuration defaultConfiguration() {
    static const Configuration machine = configurationFromJson(
#include "BuiltInRecording.inc"
    );
    return machine;
}

void setConfiguration(const Configuration& configuration) {
    locked([&](State& s) {
        s.configuration = configuration;
        s.unusable = false;
        s.file.clear();
    });
}

void resetConfiguration() {
    locked(load);
}

void failCall(Operation operation, unsigned nth, LONG code) {
    locked([&](State& s) {
        s.faults.push_back({operation, s.calls[slot(operation)] + nth, code});
    });
}

void changeConfigurationAfterSizeQuery(const Configuration& next) {
    locked([&](State& s) { s.pending = next; });
}

unsigned callCount(Operation operation) {
    return locked([&](State& s) { return s.calls[slot(operation)]; });
}

} // namespace standin

using standin::Operation;

extern "C" {

VPI_STANDIN_API LONG WINAPI GetDisplayConfigBufferSizes(UINT32 flags, UINT32* numPathArrayElements,
                                                        UINT32* numModeInfoArrayElements) {
    return standin::serve(Operation::GetDisplayConfigBufferSizes, [&](standin::State& s) -> LONG {
        standin::reloadIfChanged(s); // every enumeration starts here
        // A missing count is refused before anything is written; with both
        // counts there, bad flags zero them, as Windows does.
        if (numPathArrayElements == nullptr || numModeInfoArrayElements == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        const UINT32 table = standin::tableOf(flags);
        if (table == 0) {
            *numPathArrayElements = 0;
            *numModeInfoArrayElements = 0;
            return ERROR_INVALID_PARAMETER;
        }
        if (s.unusable) {
            return ERROR_GEN_FAILURE;
        }
        const standin::Tables tables = standin::tablesFor(s.configuration, table);
        *numPathArrayElements = static_cast<UINT32>(tables.paths.size());
        *numModeInfoArrayElements = static_cast<UINT32>(tables.modes.size());
        if (s.pending) {
            s.configuration = *s.pending;
            s.pending.reset();
        }
        return ERROR_SUCCESS;
    });
}

VPI_STANDIN_API LONG WINAPI QueryDisplayConfig(UINT32 flags, UINT32* numPathArrayElements,
                                               DISPLAYCONFIG_PATH_INFO* pathArray,
                                               UINT32* numModeInfoArrayElements,
                                               DISPLAYCONFIG_MODE_INFO* modeInfoArray,
                                               DISPLAYCONFIG_TOPOLOGY_ID* currentTopologyId) {
    return standin::serve(Operation::QueryDisplayConfig, [&](standin::State& s) -> LONG {
        const UINT32 table = standin::tableOf(flags);
        if (numPathArrayElements == nullptr || numModeInfoArrayElements == nullptr ||
            pathArray == nullptr || modeInfoArray == nullptr || *numPathArrayElements == 0 ||
            *numModeInfoArrayElements == 0 || table == 0 ||
            (table == QDC_DATABASE_CURRENT) != (currentTopologyId != nullptr)) {
            return ERROR_INVALID_PARAMETER;
        }
        if (s.unusable) {
            return ERROR_GEN_FAILURE;
        }
        const standin::Tables tables = standin::tablesFor(s.configuration, table);
        if (tables.paths.size() > *numPathArrayElements ||
            tables.modes.size() > *numModeInfoArrayElements) {
            return ERROR_INSUFFICIENT_BUFFER;
        }
        std::copy(tables.paths.begin(), tables.paths.end(), pathArray);
        std::copy(tables.modes.begin(), tables.modes.end(), modeInfoArray);
        *numPathArrayElements = static_cast<UINT32>(tables.paths.size());
        *numModeInfoArrayElements = static_cast<UINT32>(tables.modes.size());
        if (currentTopologyId != nullptr) {
            *currentTopologyId = tables.paths.size() > 1 ? DISPLAYCONFIG_TOPOLOGY_EXTEND
                                                         : DISPLAYCONFIG_TOPOLOGY_INTERNAL;
        }
        return ERROR_SUCCESS;
    });
}

VPI_STANDIN_API LONG WINAPI
DisplayConfigGetDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* requestPacket) {
    return standin::serve(Operation::DisplayConfigGetDeviceInfo, [&](standin::State& s) -> LONG {
        if (requestPacket == nullptr || requestPacket->size == 0) {
            return ERROR_GEN_FAILURE;
        }
        const UINT32 type = requestPacket->type;
        const UINT32 expected = standin::deviceInfoRecordSize(type);
        if (type < DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME ||
            type > DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL ||
            (expected != 0 && requestPacket->size != expected)) {
            return ERROR_INVALID_PARAMETER;
        }
        if (s.unusable) {
            return ERROR_GEN_FAILURE;
        }
        const auto it = s.configuration.deviceInfo.find(
            standin::DeviceInfoKey{type, requestPacket->adapterId, requestPacket->id});
        const std::optional<standin::DeviceInfoAnswer> found =
            type == DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME
                ? standin::adapterName(s.configuration, requestPacket->adapterId)
            : it != s.configuration.deviceInfo.end() ? std::optional(it->second)
                                                     : std::nullopt;
        if (!found) {
            // The stand-in knows the name and mode requests; others it has no
            // answer for are not supported rather than unknown.
            return expected != 0 ? ERROR_GEN_FAILURE : ERROR_NOT_SUPPORTED;
        }
        const standin::DeviceInfoAnswer& answer = *found;
        if (answer.error != ERROR_SUCCESS) {
            return answer.error;
        }
        if (requestPacket->size != answer.record.size() ||
            answer.record.size() < sizeof(DISPLAYCONFIG_DEVICE_INFO_HEADER)) {
            return ERROR_INVALID_PARAMETER;
        }
        // The caller's header stays as it is; the rest of the record is the answer.
        const std::size_t header = sizeof(DISPLAYCONFIG_DEVICE_INFO_HEADER);
        std::memcpy(reinterpret_cast<unsigned char*>(requestPacket) + header,
                    answer.record.data() + header, answer.record.size() - header);
        return ERROR_SUCCESS;
    });
}

VPI_STANDIN_API BOOL WINAPI EnumDisplaySettingsExW(LPCWSTR lpszDeviceName, DWORD iModeNum,
                                                   DEVMODEW* lpDevMode, DWORD dwFlags) {
    return standin::serve(Operation::EnumDisplaySettingsExW, [&](standin::State& s) -> BOOL {
        // The record must at least reach the last display field.
        constexpr std::size_t minimumSize = offsetof(DEVMODEW, dmDisplayFrequency) + sizeof(DWORD);
        if (lpDevMode == nullptr || lpDevMode->dmSize < minimumSize || s.unusable) {
            return FALSE;
        }
        const standin::Configuration& c = s.configuration;
        std::u16string device;
        if (lpszDeviceName != nullptr) {
            device = reinterpret_cast<const char16_t*>(lpszDeviceName); // WCHAR is UTF-16
        } else {
            // No name: the primary display, the source of the first active path.
            const auto active = std::find_if(c.paths.begin(), c.paths.end(), [](const auto& path) {
                return (path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0;
            });
            const std::optional<std::u16string> primary =
                active == c.paths.end()
                    ? std::nullopt
                    : standin::sourceName(c, active->sourceInfo.adapterId, active->sourceInfo.id);
            if (!primary) {
                return FALSE;
            }
            device = *primary;
        }

        DEVMODEW mode{};
        if (iModeNum == ENUM_CURRENT_SETTINGS || iModeNum == ENUM_REGISTRY_SETTINGS) {
            const std::optional<DEVMODEW> current = standin::currentMode(c, device);
            if (!current) {
                return FALSE;
            }
            mode = *current;
        } else {
            // Without EDS_ROTATEDMODE, only the modes in the device's orientation.
            // No monitor capabilities are known, so EDS_RAWMODE filters nothing.
            const auto it = c.displayModes.find(device);
            const DWORD orientation = standin::orientationOf(c, device);
            DWORD index = 0;
            for (std::size_t i = 0; it != c.displayModes.end() && i < it->second.size(); ++i) {
                const bool listed = (dwFlags & EDS_ROTATEDMODE) != 0 ||
                                    it->second[i].dmDisplayOrientation == orientation;
                if (listed && index++ == iModeNum) {
                    mode = it->second[i];
                    break;
                }
            }
            if (index <= iModeNum) {
                return FALSE;
            }
        }
        // Only the caller's dmSize bytes are written, and no driver-private data.
        mode.dmSpecVersion = DM_SPECVERSION;
        mode.dmSize = lpDevMode->dmSize;
        mode.dmDriverExtra = 0;
        std::memcpy(lpDevMode, &mode, std::min<std::size_t>(lpDevMode->dmSize, sizeof(DEVMODEW)));
        return TRUE;
    });
}

} // extern "C"
