// The four display-configuration operations, the desktop operation and
// vpiReadMonitorEdid, served from a Configuration.
#include <standin/ConfigurationJson.h>
#include <standin/StandIn.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace standin {
namespace {

// One call counter per operation: the last of them is ReadMonitorEdid.
constexpr std::size_t kOperations = static_cast<std::size_t>(Operation::ReadMonitorEdid) + 1;

struct Fault {
    Operation operation;
    unsigned call; // the call number (counted from the last reset) that fails
    LONG code;
};

// What identifies a version of a file: its modification time and size, each
// zero when it cannot be read.
using FileStamp = std::pair<std::filesystem::file_time_type, std::uintmax_t>;

FileStamp stampOf(const std::filesystem::path& path) noexcept {
    std::error_code timeError;
    std::error_code sizeError;
    const auto modified = std::filesystem::last_write_time(path, timeError);
    const auto size = std::filesystem::file_size(path, sizeError);
    return {timeError ? std::filesystem::file_time_type{} : modified, sizeError ? 0 : size};
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
Tables databaseTables(Tables t) {
    for (DISPLAYCONFIG_MODE_INFO& mode : t.modes) {
        if (mode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
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

// A path's orientation: its target's rotation.
DWORD orientationOf(const DISPLAYCONFIG_PATH_INFO& path) {
    const auto rotation = UINT32(path.targetInfo.rotation);
    return rotation >= DISPLAYCONFIG_ROTATION_IDENTITY &&
                   rotation <= DISPLAYCONFIG_ROTATION_ROTATE270
               ? rotation - DISPLAYCONFIG_ROTATION_IDENTITY
               : DMDO_DEFAULT;
}

// The current mode of an active path whose source mode index is in the table.
DEVMODEW currentModeOf(const Configuration& c, const DISPLAYCONFIG_PATH_INFO& path,
                       DWORD orientation) {
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
                                    format <= 4 ? bits[format] : 0, orientation);
    mode.dmPosition = source.position;
    return mode;
}

// What EnumDisplaySettingsExW answers for one GDI device name.
struct Device {
    const std::vector<DEVMODEW>* modes = nullptr; // its raw list, if it has one
    // The entries of `modes` in the device's orientation, in list order.
    std::vector<std::uint32_t> inOrientation;
    // The device's first active path (in table order) gives its orientation;
    // the first one that designates a source mode gives its current mode.
    bool active = false;
    DWORD orientation = DMDO_DEFAULT;
    std::optional<DEVMODEW> current;
};

// A configuration as served, with what the operations look up in it prepared
// when it starts being served, so that no call searches the configuration:
// every call takes the same time, whatever the number of paths and modes,
// but for copying the tables asked for. Never moved: the devices' names and
// lists point into it.
class Served {
public:
    explicit Served(Configuration configuration);
    Served(const Served&) = delete;
    Served& operator=(const Served&) = delete;

    const Configuration& configuration() const { return configuration_; }

    struct TablesView {
        const std::vector<DISPLAYCONFIG_PATH_INFO>& paths;
        const std::vector<DISPLAYCONFIG_MODE_INFO>& modes;
    };
    // One of the three tables tableOf() accepts.
    TablesView tables(UINT32 table) const {
        const Tables& t = table == QDC_DATABASE_CURRENT ? database_ : active_;
        return table == QDC_ALL_PATHS ? TablesView{configuration_.paths, configuration_.modes}
                                      : TablesView{t.paths, t.modes};
    }

    const Device* device(std::u16string_view name) const {
        const auto it = devices_.find(name);
        return it == devices_.end() ? nullptr : &it->second;
    }
    // The primary display, the source of the first active path; null when
    // there is none or it has no name.
    const Device* primary() const { return primary_; }

    // What vpiGetDesktopFacts answers for a device; null when it is not on
    // the desktop.
    const VpiDesktopFacts* desktopFacts(std::u16string_view device) const {
        const auto it = desktop_.find(device);
        return it == desktop_.end() ? nullptr : &it->second;
    }

    // The answer to the adapter-name request, whatever its id: the
    // configuration's, or for an adapter that its paths name, a made-up one.
    const DeviceInfoAnswer* adapterName(const LUID& adapter) const {
        const auto it = adapterNames_.find({adapter.HighPart, adapter.LowPart});
        return it == adapterNames_.end() ? nullptr : &it->second;
    }

private:
    Device& deviceNamed(const std::u16string& name);

    Configuration configuration_;
    Tables active_;
    Tables database_;
    std::unordered_map<std::u16string_view, Device> devices_;
    std::deque<std::u16string> names_; // the names of devices without a raw list
    const Device* primary_ = nullptr;
    std::map<std::pair<LONG, DWORD>, DeviceInfoAnswer> adapterNames_;
    // The configuration's desktop, or the one derived from its paths.
    std::map<std::u16string, VpiDesktopFacts, std::less<>> desktop_;
};

Device& Served::deviceNamed(const std::u16string& name) {
    const auto it = devices_.find(name);
    if (it != devices_.end()) {
        return it->second;
    }
    names_.push_back(name);
    return devices_[names_.back()];
}

Served::Served(Configuration configuration)
    : configuration_(std::move(configuration)), active_(activeTables(configuration_)),
      database_(databaseTables(active_)) {
    const Configuration& c = configuration_;
    const auto desktop = c.desktop ? *c.desktop : derivedDesktop(c);
    desktop_.insert(desktop.begin(), desktop.end());
    for (const auto& [name, modes] : c.displayModes) {
        devices_[name].modes = &modes;
    }
    bool first = true;
    for (const DISPLAYCONFIG_PATH_INFO& path : c.paths) {
        if ((path.flags & DISPLAYCONFIG_PATH_ACTIVE) == 0) {
            continue;
        }
        const std::optional<std::u16string> name =
            sourceName(c, path.sourceInfo.adapterId, path.sourceInfo.id);
        Device* device = name ? &deviceNamed(*name) : nullptr;
        if (first) {
            primary_ = device;
            first = false;
        }
        if (device == nullptr) {
            continue;
        }
        if (!device->active) {
            device->active = true;
            device->orientation = orientationOf(path);
        }
        if (!device->current && path.sourceInfo.modeInfoIdx < c.modes.size()) {
            device->current = currentModeOf(c, path, device->orientation);
        }
    }
    for (auto& [name, device] : devices_) {
        for (std::size_t i = 0; device.modes != nullptr && i < device.modes->size(); ++i) {
            if ((*device.modes)[i].dmDisplayOrientation == device.orientation) {
                device.inOrientation.push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    // Adapter names: the first recorded answer of each adapter, whatever its
    // id, then a made-up one for every other adapter that a path names.
    for (const auto& [key, answer] : c.deviceInfo) {
        if (key.type == DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME) {
            adapterNames_.emplace(std::pair(key.adapterId.HighPart, key.adapterId.LowPart), answer);
        }
    }
    for (const DISPLAYCONFIG_PATH_INFO& path : c.paths) {
        for (const LUID& adapter : {path.sourceInfo.adapterId, path.targetInfo.adapterId}) {
            const std::pair key(adapter.HighPart, adapter.LowPart);
            if (adapterNames_.count(key) == 0) {
                auto record = makeDeviceInfoRequest<DISPLAYCONFIG_ADAPTER_NAME>(
                    DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, adapter, 0);
                copyName(record.adapterDevicePath, madeUpAdapterPath(adapter));
                adapterNames_.emplace(key, DeviceInfoAnswer{ERROR_SUCCESS, bytesOf(record)});
            }
        }
    }
}

struct State {
    std::mutex mutex;
    // What is served; null while nothing is, and the operations then answer
    // `refusal` after their argument checks (EnumDisplaySettingsExW 0).
    std::unique_ptr<const Served> served;
    // ERROR_GEN_FAILURE for a refused VPI_DISPLAY_CONFIG file,
    // ERROR_NOT_ENOUGH_MEMORY when memory ran out while reading.
    LONG refusal = ERROR_GEN_FAILURE;
    // Whether the environment was looked at: at the first use, then again on
    // every reset; and whether the call under way did that (and so read).
    bool started = false;
    bool startedNow = false;
    // The VPI_DISPLAY_CONFIG file followed; empty while the built-in or a
    // scripted configuration is served. Its path too, made once, so that
    // looking at its stamp allocates nothing.
    std::string file;
    std::filesystem::path filePath;
    // The stamp the file had before its version now served was read; empty
    // until a read succeeds, so that a failed read is tried again.
    std::optional<FileStamp> fileStamp;
    // The last refusal reported (a hash of its reason), not to repeat it on
    // every try, and its line; a fixed buffer, so that refusing allocates
    // nothing. Empty while something is served.
    std::optional<std::size_t> told;
    char problem[512] = "";
    std::unique_ptr<const Served> pending;
    std::array<unsigned, kOperations> calls{};
    std::vector<Fault> faults;
};

std::size_t slot(Operation operation) {
    return static_cast<std::size_t>(operation);
}

// Serves nothing, and says why on one line, unless that was said last.
void refuse(State& s, LONG code, const char* reason) noexcept {
    s.served.reset();
    s.refusal = code;
    s.fileStamp.reset();
    const std::size_t said = std::hash<std::string_view>()(reason);
    if (s.told == said) {
        return;
    }
    s.told = said;
    if (s.file.empty()) {
        std::snprintf(s.problem, sizeof s.problem,
                      "display-configuration stand-in: cannot serve the built-in configuration: %s",
                      reason);
    } else {
        std::snprintf(
            s.problem, sizeof s.problem,
            "display-configuration stand-in: cannot use VPI_DISPLAY_CONFIG file \"%s\": %s",
            s.file.c_str(), reason);
    }
    std::fprintf(stderr, "%s\n", s.problem);
    std::fflush(stderr);
}

// Reads the configuration the environment named: the one loading routine, at
// the first use, on a reset, and again for a recording that was edited or
// replaced or whose last read failed. What was served before is dropped
// first: a read that fails serves nothing until a read succeeds. The stamp is
// taken before the file is read, so that a change while it is read is seen
// by the next check, and kept only once the read succeeded.
void read(State& s) noexcept {
    s.served.reset();
    try {
        const FileStamp stamp = stampOf(s.filePath);
        s.served = std::make_unique<const Served>(s.file.empty() ? defaultConfiguration()
                                                                 : loadConfigurationFile(s.file));
        s.fileStamp = stamp;
        s.told.reset();
        s.problem[0] = '\0';
    } catch (const std::bad_alloc&) {
        refuse(s, ERROR_NOT_ENOUGH_MEMORY, "not enough memory to read it");
    } catch (const std::exception& e) { // ConfigurationError: the file's fault
        refuse(s, ERROR_GEN_FAILURE, e.what());
    }
}

// Serves what the environment asks for, with no faults, changes or calls
// counted yet.
void load(State& s) noexcept {
    s.pending.reset();
    s.calls = {};
    s.faults.clear();
    s.fileStamp.reset();
    s.told.reset();
    try {
        const char* path = std::getenv("VPI_DISPLAY_CONFIG");
        s.file = path != nullptr ? path : "";
        s.filePath = s.file;
    } catch (const std::bad_alloc&) {
        s.served.reset(); // the environment is looked at again by the next call
        s.refusal = ERROR_NOT_ENOUGH_MEMORY;
        s.started = false;
        return;
    }
    s.started = true;
    read(s);
}

// A recording that was edited or replaced since it was read is a change of
// the machine's configuration, and one that could not be read is tried
// again: either is read now.
void reloadIfChanged(State& s) noexcept {
    if (!s.started || s.startedNow) {
        return; // read once per call at most; the next call looks again
    }
    const bool stale =
        s.file.empty() ? s.served == nullptr : !s.fileStamp || stampOf(s.filePath) != *s.fileStamp;
    if (stale) {
        read(s);
    }
}

// Never destroyed: the operations may be called while other libraries unload.
// What it serves is loaded under its lock, at the first use (locked()), so
// that a load that fails leaves nothing behind and is tried again.
State& state() {
    static State* const instance = new State;
    return *instance;
}

// Runs `use` on the state under its lock, once the environment was looked at.
template <typename Use> auto locked(Use&& use) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.startedNow = !s.started;
    if (s.startedNow) {
        load(s);
    }
    return use(s);
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

// Answers one call of `operation` under the state's lock, once counted,
// unless a scripted fault claims it: the fault's code is returned instead, or
// for EnumDisplaySettingsExW, which has no code to return, 0. Like the
// platform's, the operations never throw: only the first use allocates
// outside a read (which answers its failure itself), and running out of
// memory there is an error answer too.
template <typename Answer> auto serve(Operation operation, Answer&& answer) {
    using Result = decltype(answer(std::declval<State&>()));
    const auto failure = [operation](LONG code) {
        return Result(operation == Operation::EnumDisplaySettingsExW ? 0 : code);
    };
    try {
        return locked([&](State& s) {
            LONG code = ERROR_SUCCESS;
            return countCall(s, operation, code) ? failure(code) : answer(s);
        });
    } catch (const std::bad_alloc&) {
        return failure(ERROR_NOT_ENOUGH_MEMORY);
    }
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
    auto served = std::make_unique<const Served>(configuration);
    locked([&](State& s) {
        s.served = std::move(served);
        s.file.clear();
        s.filePath.clear();
        s.told.reset();
        s.problem[0] = '\0';
    });
}

void resetConfiguration() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    load(s);
}

void failCall(Operation operation, unsigned nth, LONG code) {
    locked([&](State& s) {
        s.faults.push_back({operation, s.calls[slot(operation)] + nth, code});
    });
}

void changeConfigurationAfterSizeQuery(const Configuration& next) {
    auto served = std::make_unique<const Served>(next);
    locked([&](State& s) { s.pending = std::move(served); });
}

unsigned callCount(Operation operation) {
    return locked([&](State& s) { return s.calls[slot(operation)]; });
}

std::string problem() {
    return locked([&](State& s) { return std::string(s.problem); });
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
        if (!s.served) {
            return s.refusal;
        }
        const auto tables = s.served->tables(table);
        *numPathArrayElements = static_cast<UINT32>(tables.paths.size());
        *numModeInfoArrayElements = static_cast<UINT32>(tables.modes.size());
        if (s.pending) {
            s.served = std::move(s.pending);
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
        if (!s.served) {
            return s.refusal;
        }
        const auto tables = s.served->tables(table);
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
        if (!s.served) {
            return s.refusal;
        }
        const standin::Configuration& c = s.served->configuration();
        const auto it = c.deviceInfo.find(
            standin::DeviceInfoKey{type, requestPacket->adapterId, requestPacket->id});
        const standin::DeviceInfoAnswer* found =
            type == DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME
                ? s.served->adapterName(requestPacket->adapterId)
            : it != c.deviceInfo.end() ? &it->second
                                       : nullptr;
        if (found == nullptr) {
            // The stand-in knows the name and mode requests; others it has no
            // answer for are not supported rather than unknown.
            return standin::isNameOrModeRequest(type) ? ERROR_GEN_FAILURE : ERROR_NOT_SUPPORTED;
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
        if (lpDevMode == nullptr || lpDevMode->dmSize < minimumSize || !s.served) {
            return FALSE;
        }
        // No name: the primary display. WCHAR is UTF-16.
        const standin::Device* device =
            lpszDeviceName == nullptr
                ? s.served->primary()
                : s.served->device(reinterpret_cast<const char16_t*>(lpszDeviceName));
        if (device == nullptr) {
            return FALSE;
        }
        DEVMODEW mode{};
        if (iModeNum == ENUM_CURRENT_SETTINGS || iModeNum == ENUM_REGISTRY_SETTINGS) {
            if (!device->current) {
                return FALSE;
            }
            mode = *device->current;
        } else {
            // Without EDS_ROTATEDMODE, only the modes in the device's orientation.
            // No monitor capabilities are known, so EDS_RAWMODE filters nothing.
            const bool all = (dwFlags & EDS_ROTATEDMODE) != 0;
            const std::size_t listed = device->modes == nullptr ? 0
                                       : all                    ? device->modes->size()
                                                                : device->inOrientation.size();
            if (iModeNum >= listed) {
                return FALSE;
            }
            mode = (*device->modes)[all ? iModeNum : device->inOrientation[iModeNum]];
        }
        // Only the caller's dmSize bytes are written, and no driver-private data.
        mode.dmSpecVersion = DM_SPECVERSION;
        mode.dmSize = lpDevMode->dmSize;
        mode.dmDriverExtra = 0;
        std::memcpy(lpDevMode, &mode, std::min<std::size_t>(lpDevMode->dmSize, sizeof(DEVMODEW)));
        return TRUE;
    });
}

VPI_STANDIN_API LONG WINAPI vpiGetDesktopFacts(const WCHAR* gdiDeviceName, VpiDesktopFacts* facts) {
    return standin::serve(Operation::vpiGetDesktopFacts, [&](standin::State& s) -> LONG {
        if (gdiDeviceName == nullptr || facts == nullptr || facts->size < sizeof(VpiDesktopFacts)) {
            return ERROR_INVALID_PARAMETER;
        }
        if (!s.served) {
            return s.refusal;
        }
        const VpiDesktopFacts* found =
            s.served->desktopFacts(reinterpret_cast<const char16_t*>(gdiDeviceName));
        if (found == nullptr) {
            return ERROR_NOT_FOUND;
        }
        const UINT32 size = facts->size; // the caller's, kept
        *facts = *found;
        facts->size = size;
        return ERROR_SUCCESS;
    });
}

VPI_STANDIN_API LONG WINAPI vpiReadMonitorEdid(LPCWSTR monitorDevicePath, BYTE* buffer,
                                               UINT32* size) {
    return standin::serve(Operation::ReadMonitorEdid, [&](standin::State& s) -> LONG {
        if (monitorDevicePath == nullptr || monitorDevicePath[0] == 0 || size == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        if (!s.served) {
            return s.refusal;
        }
        const auto& edids = s.served->configuration().edids;
        const auto it = edids.find(reinterpret_cast<const char16_t*>(monitorDevicePath));
        if (it == edids.end()) {
            return ERROR_FILE_NOT_FOUND;
        }
        const std::vector<unsigned char>& edid = it->second;
        const UINT32 capacity = *size;
        *size = static_cast<UINT32>(edid.size());
        if (buffer == nullptr) {
            return ERROR_SUCCESS;
        }
        if (capacity < edid.size()) {
            return ERROR_INSUFFICIENT_BUFFER;
        }
        std::copy(edid.begin(), edid.end(), buffer);
        return ERROR_SUCCESS;
    });
}

} // extern "C"
