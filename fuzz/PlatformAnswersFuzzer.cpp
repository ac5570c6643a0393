// Fuzzes the platform's answers. The input becomes a whole display
// configuration served by the stand-in (paths and mode records in any number,
// duplicate targets, mode indexes in and out of range, names filled to the end
// of their fields, error answers, raw mode lists with duplicates), faults
// injected into any of the four platform calls and a configuration that
// changes between the size query and the query. The factory then refreshes
// one to three times; after each refresh every operation of every port, and
// of copies and assignments of ports and monitors, is checked against a small
// model of what the library must answer, and so is every log line.
//
// The model knows the platform's rules (what the stand-in answers, as the
// platform does) and the library's documented behaviour; it shares no code
// with the library. Each input starts from an empty port list, so inputs do
// not depend on one another.
//
// The input is read through FuzzedDataProvider, so any bytes describe a
// scenario and long ones describe rich configurations: the seed corpus
// (corpus/PlatformAnswersFuzzer) is random bytes of 200 to 4000 bytes, and the
// inputs of past findings.
#include "../tests/support/ConfigurationBuilders.h"

#include <libVideoPortInfo/Monitor.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <libVideoPortInfo/VideoPortWin7.h>
#include <standin/StandIn.h>
#include <tkl/Exception.h>
#include <tkl/Logging.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using libVideoPortInfo::DisplayResolution;
using libVideoPortInfo::Monitor;
using libVideoPortInfo::VideoPort;
using libVideoPortInfo::VideoPortFactory;
using libVideoPortInfo::VideoPortWin7;
using standin::Configuration;
using standin::Operation;

[[noreturn]] void mismatch(const std::string& what) {
    std::fprintf(stderr, "PlatformAnswersFuzzer: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

#define EXPECT(condition, what)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            mismatch(std::string(what) + " (" #condition ")");                                     \
        }                                                                                          \
    } while (0)

// ---------------------------------------------------------------- input

const LUID kAdapters[] = {standin::makeLuid(0x10, 0), standin::makeLuid(0x10, 1),
                          standin::makeLuid(0x20, 0)};

const std::int32_t kTechnologies[] = {-1, 0,  1,  2,  3,  4,  5,  6,  7,         8,
                                      9,  10, 11, 12, 13, 14, 15, 16, INT32_MIN, INT32_MIN + 1};

const LONG kErrors[] = {ERROR_GEN_FAILURE,
                        ERROR_INVALID_PARAMETER,
                        ERROR_INSUFFICIENT_BUFFER,
                        ERROR_NOT_SUPPORTED,
                        LONG(5) /* access denied */,
                        -5,
                        static_cast<LONG>(0x80000000)};

// Units names are made of: ASCII, a BMP letter, both halves of a surrogate
// pair (also apart), and NUL, which ends a name inside its field.
const char16_t kUnits[] = {u'A', u'z', u'1', u'\\', u'.', u'#', 0xE9, 0x6A5F, 0xD83D, 0xDDB5, 0};

LUID pickAdapter(FuzzedDataProvider& in) {
    return kAdapters[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kAdapters) - 1)];
}

LONG pickError(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.PickValueInArray(kErrors) : in.ConsumeIntegral<std::int32_t>();
}

// A name for a field of `field` units: empty, short, one short of the field,
// or filling it with no terminator.
std::u16string pickName(FuzzedDataProvider& in, std::size_t field) {
    std::size_t length = 0;
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        length = 0;
        break;
    case 1:
        length = in.ConsumeIntegralInRange<std::size_t>(1, 12);
        break;
    case 2:
        length = field - 1;
        break;
    default:
        length = field;
        break;
    }
    std::u16string name;
    for (std::size_t i = 0; i < length; ++i) {
        name.push_back(in.ConsumeBool() ? u'a' + static_cast<char16_t>(i % 26)
                                        : in.PickValueInArray(kUnits));
    }
    return name;
}

// Mostly a valid index or none: an index outside the table ends the refresh,
// so it is rare enough to let most lists be built.
UINT32 pickModeIndex(FuzzedDataProvider& in, std::size_t modes) {
    const int choice = in.ConsumeIntegralInRange(0, 31);
    if (choice < 8 || (choice < 30 && modes == 0)) {
        return DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
    }
    if (choice < 30) {
        return in.ConsumeIntegralInRange<UINT32>(0, UINT32(modes - 1));
    }
    return choice == 30 ? static_cast<UINT32>(modes) // one past the end
                        : in.ConsumeIntegral<UINT32>();
}

// How a device-information request is answered: no entry, an error, a record
// of the wrong size, or a record.
enum class Answer { Missing, Error, WrongSize, Record };

Answer pickAnswer(FuzzedDataProvider& in) {
    const int n = in.ConsumeIntegralInRange(0, 9);
    return n == 0   ? Answer::Missing
           : n == 1 ? Answer::Error
           : n == 2 ? Answer::WrongSize
                    : Answer::Record;
}

// Gives the request `key` a non-record answer; false when a record is wanted.
bool answerOtherwise(FuzzedDataProvider& in, Configuration& c, const standin::DeviceInfoKey& key) {
    switch (pickAnswer(in)) {
    case Answer::Missing:
        return true;
    case Answer::Error:
        setDeviceInfoError(c, key.type, key.adapterId, key.id, pickError(in));
        return true;
    case Answer::WrongSize: {
        standin::DeviceInfoAnswer answer;
        answer.record.resize(in.ConsumeIntegralInRange<std::size_t>(0, 100));
        c.deviceInfo[key] = answer;
        return true;
    }
    case Answer::Record:
        return false;
    }
    return true;
}

Configuration pickConfiguration(FuzzedDataProvider& in) {
    Configuration c;
    const std::size_t modes = in.ConsumeIntegralInRange<std::size_t>(0, 6);
    const std::size_t paths = in.ConsumeIntegralInRange<std::size_t>(0, 8);
    for (std::size_t i = 0; i < modes; ++i) {
        const LUID adapter = pickAdapter(in);
        const UINT32 id = in.ConsumeIntegralInRange<UINT32>(0, 5);
        c.modes.push_back(in.ConsumeBool() ? standin::makeSourceMode(adapter, id, 1920, 1080)
                                           : standin::makeTargetMode(
                                                 adapter, id, 1920, 1080, 60000,
                                                 in.ConsumeBool() ? 1000 : 0)); // zero denominator
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
            c.modes.back().infoType = static_cast<DISPLAYCONFIG_MODE_INFO_TYPE>(
                in.ConsumeIntegral<std::uint32_t>()); // a type the platform never gives
        }
    }
    std::vector<std::pair<LUID, UINT32>> sources;
    std::vector<std::pair<LUID, UINT32>> targets;
    for (std::size_t i = 0; i < paths; ++i) {
        const LUID adapter = pickAdapter(in);
        const UINT32 source = in.ConsumeIntegralInRange<UINT32>(0, 3);
        const UINT32 target = in.ConsumeIntegralInRange<UINT32>(0, 5); // duplicates likely
        UINT32 flags = in.ConsumeBool() ? DISPLAYCONFIG_PATH_ACTIVE : 0;
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
            flags |= in.ConsumeIntegral<std::uint32_t>() & ~UINT32(1); // other flag bits
        }
        const auto tech = static_cast<DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY>(
            in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<std::int32_t>()
                                                 : in.PickValueInArray(kTechnologies));
        DISPLAYCONFIG_PATH_INFO path = standin::makePath(adapter, source, target, flags, tech);
        // The target may sit on another adapter than the source.
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
            path.targetInfo.adapterId = pickAdapter(in);
        }
        path.sourceInfo.modeInfoIdx = pickModeIndex(in, modes);
        path.targetInfo.modeInfoIdx = pickModeIndex(in, modes);
        c.paths.push_back(path);
        sources.emplace_back(path.sourceInfo.adapterId, source);
        targets.emplace_back(path.targetInfo.adapterId, target);
    }

    std::vector<std::u16string> devices{u""};
    for (const auto& [adapter, id] : sources) {
        const standin::DeviceInfoKey key{DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, adapter, id};
        if (c.deviceInfo.count(key) != 0 || answerOtherwise(in, c, key)) {
            continue;
        }
        const std::u16string name = in.ConsumeBool()
                                        ? u"\\\\.\\DISPLAY" + std::u16string(1, u'1' + char16_t(id))
                                        : pickName(in, 32);
        setSourceName(c, adapter, id, name);
        devices.push_back(name.substr(0, name.find(u'\0'))); // the name as a device has it
    }
    for (const auto& [adapter, id] : targets) {
        const standin::DeviceInfoKey nameKey{DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, adapter,
                                             id};
        if (c.deviceInfo.count(nameKey) == 0 && !answerOtherwise(in, c, nameKey)) {
            setTargetName(c, adapter, id, pickName(in, 64), pickName(in, 128));
        }
        const standin::DeviceInfoKey modeKey{DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE,
                                             adapter, id};
        if (c.deviceInfo.count(modeKey) == 0 && !answerOtherwise(in, c, modeKey)) {
            setPreferredMode(c, adapter, id, in.ConsumeIntegral<UINT32>(),
                             in.ConsumeIntegral<UINT32>(), in.ConsumeIntegral<UINT32>(),
                             in.ConsumeIntegralInRange<UINT32>(0, 1001)); // 0: no rate
        }
    }

    // Raw mode lists from a few values, so that duplicates are common; any
    // orientation, of which only the current one (the default) is listed.
    static const DWORD widths[] = {640, 1024, 1920};
    static const DWORD heights[] = {480, 768, 1080};
    static const DWORD rates[] = {0, 59, 60};
    static const DWORD depths[] = {8, 16, 32};
    for (const std::u16string& device : devices) {
        if (in.ConsumeIntegralInRange(0, 3) == 0) {
            continue;
        }
        const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 10);
        for (std::size_t i = 0; i < count; ++i) {
            addDisplayMode(c, device, in.PickValueInArray(widths), in.PickValueInArray(heights),
                           in.PickValueInArray(rates), in.PickValueInArray(depths),
                           in.ConsumeIntegralInRange<DWORD>(0, 3));
        }
    }
    return c;
}

struct Fault {
    Operation operation;
    unsigned nth;
    LONG code;
};

struct Scenario {
    Configuration configuration;
    std::optional<Configuration> changed; // served from right after the next size query
    std::vector<Fault> faults;            // armed before the first refresh
    unsigned refreshes = 1;
};

Scenario pickScenario(FuzzedDataProvider& in) {
    Scenario s;
    s.refreshes = in.ConsumeIntegralInRange(1u, 3u);
    for (Operation operation :
         {Operation::GetDisplayConfigBufferSizes, Operation::QueryDisplayConfig,
          Operation::DisplayConfigGetDeviceInfo, Operation::EnumDisplaySettingsExW}) {
        if (in.ConsumeIntegralInRange(0, 2) == 0) {
            const unsigned nth = operation == Operation::DisplayConfigGetDeviceInfo ||
                                         operation == Operation::EnumDisplaySettingsExW
                                     ? in.ConsumeIntegralInRange(1u, 24u)
                                     : in.ConsumeIntegralInRange(1u, 3u);
            // A fault is an error: the platform never reports success
            // without doing the work.
            const LONG code = pickError(in);
            s.faults.push_back(Fault{operation, nth, code == 0 ? ERROR_GEN_FAILURE : code});
        }
    }
    const bool changes = in.ConsumeIntegralInRange(0, 3) == 0;
    s.configuration = pickConfiguration(in);
    if (changes) {
        s.changed = pickConfiguration(in);
    }
    return s;
}

// ---------------------------------------------------------------- model

// The platform as the stand-in serves it: the configuration, the pending
// change, call counters and armed faults.
struct PlatformModel {
    Configuration served;
    std::optional<Configuration> pending;
    std::array<unsigned, 4> calls{};
    std::vector<Fault> faults;

    // Counts a call of `operation`; true (with the code) when a fault claims it.
    bool faulted(Operation operation, LONG& code) {
        const unsigned call = ++calls[static_cast<std::size_t>(operation)];
        for (auto it = faults.begin(); it != faults.end(); ++it) {
            if (it->operation == operation && it->nth == call) {
                code = it->code;
                faults.erase(it);
                return true;
            }
        }
        return false;
    }

    // A device-information request for a record of `size` bytes: the result,
    // and on success the record's bytes.
    LONG deviceInfo(UINT32 type, const LUID& adapter, UINT32 id, std::size_t size,
                    std::vector<unsigned char>& record) {
        LONG code = ERROR_SUCCESS;
        if (faulted(Operation::DisplayConfigGetDeviceInfo, code)) {
            return code;
        }
        const auto it = served.deviceInfo.find(standin::DeviceInfoKey{type, adapter, id});
        if (it == served.deviceInfo.end()) {
            return ERROR_GEN_FAILURE;
        }
        if (it->second.error != ERROR_SUCCESS) {
            return it->second.error;
        }
        if (it->second.record.size() != size) {
            return ERROR_INVALID_PARAMETER;
        }
        record = it->second.record;
        return ERROR_SUCCESS;
    }
};

struct ModelPort {
    DISPLAYCONFIG_PATH_INFO path{};
    std::int32_t connector = 13;
    bool active = false;
    std::u16string displayId;
    bool hasMonitor = false;
    std::u16string name;
    std::u16string devicePath;
    unsigned width = 0;
    unsigned height = 0;
    unsigned rate = 0;
    // What the target-name record told besides the names, when it was read.
    bool targetNameRead = false;
    DISPLAYCONFIG_TARGET_DEVICE_NAME targetName{};
    // The source mode record the path designates, if any.
    bool hasSourceMode = false;
    DISPLAYCONFIG_MODE_INFO sourceMode{};
};

std::int32_t connectorOf(std::int32_t technology) {
    static const std::map<std::int32_t, std::int32_t> table = {
        {0, 0},  {1, 4},  {2, 5},  {3, 6},   {4, 1},   {5, 2},   {6, 8},        {8, 9},
        {9, 10}, {10, 3}, {11, 3}, {12, 11}, {13, 11}, {14, 12}, {INT32_MIN, 7}};
    const auto it = table.find(technology);
    return it == table.end() ? 13 : it->second;
}

template <typename Record, std::size_t N>
std::u16string nameIn(const std::vector<unsigned char>& bytes, WCHAR (Record::*field)[N]) {
    Record record{};
    std::memcpy(&record, bytes.data(), sizeof record);
    return standin::nameOf(record.*field);
}

// What one refresh must do.
struct RefreshModel {
    enum { Failed, Rebuilt, Throws } outcome = Failed;
    std::vector<ModelPort> ports;
    std::vector<std::string> log;
    unsigned thrownHigh = 0;
    unsigned thrownIndex = 0;
};

std::string logLine(const char* priority, const std::string& text, LONG code) {
    return std::string("libVideoPortInfo ") + priority + " " + text +
           std::to_string(static_cast<unsigned>(code));
}

RefreshModel modelRefresh(PlatformModel& platform) {
    RefreshModel r;
    LONG code = ERROR_SUCCESS;
    if (platform.faulted(Operation::GetDisplayConfigBufferSizes, code)) {
        r.log.push_back(logLine("WARNING", "46 GetDisplayConfigBufferSizes returns ", code));
        return r;
    }
    const std::size_t pathRoom = platform.served.paths.size();
    const std::size_t modeRoom = std::max<std::size_t>(platform.served.modes.size(), 1);
    if (platform.pending) {
        platform.served = *platform.pending;
        platform.pending.reset();
    }
    if (pathRoom == 0) {
        r.outcome = RefreshModel::Rebuilt; // an empty configuration, no query
        return r;
    }
    const Configuration& c = platform.served;
    if (platform.faulted(Operation::QueryDisplayConfig, code)) {
        r.log.push_back(logLine("WARNING", "57 QueryDisplayConfig returns ", code));
        return r;
    }
    if (c.paths.size() > pathRoom || c.modes.size() > modeRoom) {
        r.log.push_back(
            logLine("WARNING", "57 QueryDisplayConfig returns ", ERROR_INSUFFICIENT_BUFFER));
        return r;
    }
    // One port per display target, the first path to it, in the platform's order.
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    for (const DISPLAYCONFIG_PATH_INFO& path : c.paths) {
        const auto same = [&](const DISPLAYCONFIG_PATH_INFO& kept) {
            return kept.targetInfo.id == path.targetInfo.id &&
                   standin::sameLuid(kept.targetInfo.adapterId, path.targetInfo.adapterId);
        };
        if (std::none_of(paths.begin(), paths.end(), same)) {
            paths.push_back(path);
        }
    }
    for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
        ModelPort port;
        port.path = path;
        port.connector = connectorOf(static_cast<std::int32_t>(path.targetInfo.outputTechnology));
        port.active = (path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0;
        std::vector<unsigned char> record;
        LONG result = platform.deviceInfo(DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME,
                                          path.sourceInfo.adapterId, path.sourceInfo.id,
                                          sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME), record);
        if (result == ERROR_SUCCESS) {
            port.displayId = nameIn(record, &DISPLAYCONFIG_SOURCE_DEVICE_NAME::viewGdiDeviceName);
        } else {
            r.log.push_back(logLine("DEBUG", "47 DisplayConfigGetDeviceInfo returns ", result));
        }
        if (port.active) {
            port.hasMonitor = true;
            result = platform.deviceInfo(DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME,
                                         path.targetInfo.adapterId, path.targetInfo.id,
                                         sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME), record);
            if (result == ERROR_SUCCESS) {
                port.targetNameRead = true;
                std::memcpy(&port.targetName, record.data(), sizeof port.targetName);
                port.name =
                    nameIn(record, &DISPLAYCONFIG_TARGET_DEVICE_NAME::monitorFriendlyDeviceName);
                port.devicePath =
                    nameIn(record, &DISPLAYCONFIG_TARGET_DEVICE_NAME::monitorDevicePath);
            } else {
                r.log.push_back(logLine(
                    "WARNING", "60 Unable to get monitor name of an attached monitor ", result));
            }
            result = platform.deviceInfo(DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE,
                                         path.targetInfo.adapterId, path.targetInfo.id,
                                         sizeof(DISPLAYCONFIG_TARGET_PREFERRED_MODE), record);
            if (result == ERROR_SUCCESS) {
                DISPLAYCONFIG_TARGET_PREFERRED_MODE mode{};
                std::memcpy(&mode, record.data(), sizeof mode);
                port.width = mode.width;
                port.height = mode.height;
                const DISPLAYCONFIG_RATIONAL& v = mode.targetMode.targetVideoSignalInfo.vSyncFreq;
                // Rounded to the nearest hertz, halves up; no rate without a denominator.
                port.rate =
                    v.Denominator == 0
                        ? 0
                        : static_cast<unsigned>((2 * std::uint64_t(v.Numerator) + v.Denominator) /
                                                (2 * std::uint64_t(v.Denominator)));
            } else {
                r.log.push_back(
                    logLine("WARNING", "71 Unable to get preferred mode setting ", result));
            }
        }
        // A mode index outside the written table ends the refresh.
        for (UINT32 index : {path.sourceInfo.modeInfoIdx, path.targetInfo.modeInfoIdx}) {
            if (index != DISPLAYCONFIG_PATH_MODE_IDX_INVALID && index >= c.modes.size()) {
                r.outcome = RefreshModel::Throws;
                r.thrownHigh = static_cast<unsigned>(c.modes.size()) - 1;
                r.thrownIndex = index;
                return r;
            }
        }
        if (path.sourceInfo.modeInfoIdx != DISPLAYCONFIG_PATH_MODE_IDX_INVALID) {
            port.hasSourceMode = true;
            port.sourceMode = c.modes[path.sourceInfo.modeInfoIdx];
        }
        r.ports.push_back(port);
    }
    r.outcome = RefreshModel::Rebuilt;
    return r;
}

// The distinct modes the device now reports, in first-seen order, as the
// listing reads them: mode 0, 1, ... until the first refusal. The listing asks
// without EDS_ROTATEDMODE and every path is unrotated, so only the modes in
// the default orientation are listed.
std::vector<std::tuple<unsigned, unsigned, unsigned, unsigned>>
modelModes(PlatformModel& platform, const std::u16string& device) {
    std::vector<std::tuple<unsigned, unsigned, unsigned, unsigned>> distinct;
    std::vector<DEVMODEW> listed;
    const auto it = platform.served.displayModes.find(device);
    if (it != platform.served.displayModes.end()) {
        std::copy_if(it->second.begin(), it->second.end(), std::back_inserter(listed),
                     [](const DEVMODEW& m) { return m.dmDisplayOrientation == DMDO_DEFAULT; });
    }
    for (std::size_t mode = 0;; ++mode) {
        LONG code = ERROR_SUCCESS;
        if (platform.faulted(Operation::EnumDisplaySettingsExW, code) || mode >= listed.size()) {
            return distinct;
        }
        const DEVMODEW& m = listed[mode];
        const auto value =
            std::make_tuple(unsigned(m.dmPelsWidth), unsigned(m.dmPelsHeight),
                            unsigned(m.dmDisplayFrequency), unsigned(m.dmBitsPerPel));
        if (std::find(distinct.begin(), distinct.end(), value) == distinct.end()) {
            distinct.push_back(value);
        }
    }
}

// ---------------------------------------------------------------- checks

std::vector<std::string> logged;

// The configuration the stand-in serves while a list is checked.
const Configuration* servedNow = nullptr;

void captureLine(const char* line, void*) {
    logged.emplace_back(line);
}

bool sameText(const tkl::String& text, const std::u16string& expected) {
    if (text.size() != expected.size()) {
        return false;
    }
    const unsigned short* units = text.getUCS2Buffer();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (units[i] != expected[i]) {
            return false;
        }
    }
    return units[expected.size()] == 0;
}

void checkMonitor(const Monitor& monitor, const ModelPort& model) {
    EXPECT(sameText(monitor.name(), model.name), "monitor name");
    EXPECT(sameText(monitor.devicePath(), model.devicePath), "monitor device path");
    EXPECT(sameText(monitor.displayId(), model.displayId), "monitor display id");
    const DisplayResolution& preferred = monitor.preferredResolution();
    EXPECT(preferred.width() == model.width && preferred.height() == model.height &&
               preferred.frequency() == model.rate && preferred.bitsPerPixel() == 0,
           "preferred mode");
}

// What the port decodes from its records: present exactly when the records
// are, taken from them, and within the values the decoding promises.
void checkDecoded(const VideoPortWin7& port, const ModelPort& model) {
    const DISPLAYCONFIG_TARGET_DEVICE_NAME& name = model.targetName;
    const auto instance = port.connectorInstance();
    EXPECT(instance.has_value() == model.targetNameRead &&
               (!instance || *instance == name.connectorInstance),
           "connector instance");
    const auto ids = port.monitorIds();
    EXPECT(ids.has_value() == (model.targetNameRead && name.flags.edidIdsValid != 0),
           "EDID ids presence");
    if (ids) {
        EXPECT(ids->productCode == name.edidProductCodeId && ids->manufacturerId[3] == '\0',
               "EDID product code");
        // Windows spells every 5-bit value as '@' + value; the platform's
        // word has its two bytes swapped.
        const unsigned word =
            (name.edidManufactureId >> 8) | ((name.edidManufactureId & 0xFFu) << 8);
        for (int i = 0; i < 3; ++i) {
            EXPECT(ids->manufacturerId[i] == char('@' + ((word >> (10 - 5 * i)) & 0x1Fu)),
                   "EDID letter");
        }
    }
    EXPECT(port.isMonitorConnected() == (model.path.targetInfo.targetAvailable != 0),
           "monitor connected");
    // A port in use answers from its refresh, with no platform call that a
    // scripted fault could meet.
    if (model.active && port.isMonitorConnected()) {
        const auto monitor = port.connectedMonitor();
        EXPECT(monitor && monitor->targetNameRead == model.targetNameRead &&
                   monitor->ids.has_value() == ids.has_value() &&
                   monitor->name == port.monitor()->name() &&
                   monitor->devicePath == port.monitor()->devicePath(),
               "connected monitor in use");
    }
    const auto state = port.displayState();
    EXPECT(state.has_value() == (model.active && model.hasSourceMode &&
                                 model.sourceMode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE),
           "current state presence");
    if (state) {
        const DISPLAYCONFIG_SOURCE_MODE& source = model.sourceMode.sourceMode;
        EXPECT(state->width == source.width && state->height == source.height &&
                   state->x == source.position.x && state->y == source.position.y,
               "current size and place");
        // Asked of the platform at the call: what it serves now, whose
        // desktop these configurations leave to be derived from the paths.
        const auto desktop = standin::derivedDesktop(*servedNow);
        const auto facts = desktop.find(model.displayId);
        EXPECT(state->primary == (!model.displayId.empty() && facts != desktop.end() &&
                                  (facts->second.flags & VPI_DESKTOP_PRIMARY) != 0),
               "primary");
        EXPECT(state->rotation % 90 == 0 && state->rotation < 360, "rotation");
        EXPECT(state->refreshRate.known() == (state->refreshRate.denominator != 0) &&
                   state->refreshRate.hertz() >= 0,
               "refresh rate");
    }
}

// Every operation of `port` but the mode listing.
void checkPort(const VideoPortWin7& port, const ModelPort& model) {
    const VideoPort& asInterface = port;
    EXPECT(asInterface.hasAttachedMonitor() == model.active, "monitor attached");
    EXPECT(static_cast<std::int32_t>(asInterface.connectorType()) == model.connector, "connector");
    EXPECT(sameText(asInterface.displayId(), model.displayId), "display id");
    EXPECT(std::memcmp(&port.pathInfo(), &model.path, sizeof model.path) == 0, "path record");
    EXPECT(standin::sameLuid(port.portId(), model.path.targetInfo.adapterId), "port id");
    const auto monitor = asInterface.monitor();
    EXPECT(static_cast<bool>(monitor) == model.hasMonitor, "monitor presence");
    if (monitor) {
        checkMonitor(*monitor, model);
    }
    checkDecoded(port, model);
}

void checkModes(const VideoPort& port, const ModelPort& model, PlatformModel& platform) {
    tkl::Array<DisplayResolution> modes;
    modes.append(DisplayResolution(1, 2, 3, 4)); // emptied first
    const unsigned count = port.supportedResolution(modes);
    const auto expected = modelModes(platform, model.displayId);
    EXPECT(count == modes.size() && count == expected.size(), "number of modes");
    for (unsigned i = 0; i < count; ++i) {
        const DisplayResolution& m = modes[i];
        EXPECT(std::make_tuple(m.width(), m.height(), m.frequency(), m.bitsPerPixel()) ==
                   expected[i],
               "mode " + std::to_string(i));
    }
}

const VideoPortWin7& portAt(VideoPortFactory& factory, unsigned index) {
    const auto* port = dynamic_cast<const VideoPortWin7*>(factory.videoPort(index).get());
    EXPECT(port != nullptr, "a port is a VideoPortWin7");
    return *port;
}

// The whole list against the model: order, every port, modes, copies and
// assignments of ports and monitors, and the index check.
void checkList(VideoPortFactory& factory, const std::vector<ModelPort>& model,
               PlatformModel& platform) {
    servedNow = &platform.served;
    const unsigned count = factory.numVideoPorts();
    EXPECT(count == model.size(), "number of ports");
    for (unsigned i = 0; i < count; ++i) {
        checkPort(portAt(factory, i), model[i]);
        checkModes(*factory.videoPort(i), model[i], platform);
    }
    try {
        factory.videoPort(count);
        mismatch("no exception for the index past the last port");
    } catch (const tkl::IndexOutOfBounds& e) {
        EXPECT(e.low() == 0 && e.high() == count - 1 && e.index() == count, "index bounds");
    }
    for (unsigned i = 0; i < count; ++i) {
        const VideoPortWin7& port = portAt(factory, i);
        const unsigned other = (i + 1) % count;
        {
            VideoPortWin7 copy(port);
            checkPort(copy, model[i]);
            EXPECT(copy.monitor().get() == port.monitor().get(), "a copy shares the monitor");
            checkModes(copy, model[i], platform);
            copy = portAt(factory, other);
            checkPort(copy, model[other]);
            EXPECT(copy.monitor().get() == portAt(factory, other).monitor().get(),
                   "an assigned port shares the monitor");
            VideoPortWin7& alias = copy;
            copy = alias;
            checkPort(copy, model[other]);
            VideoPortWin7 second(copy);
            second = port;
            checkPort(second, model[i]);
            checkPort(copy, model[other]);
            if (port.monitor()) {
                Monitor monitorCopy(*port.monitor());
                checkMonitor(monitorCopy, model[i]);
                if (portAt(factory, other).monitor()) {
                    monitorCopy = *portAt(factory, other).monitor();
                    checkMonitor(monitorCopy, model[other]);
                }
            }
        }
        // The copies are gone; the port and its monitor are not.
        checkPort(port, model[i]);
    }
}

void checkLog(const std::vector<std::string>& expected) {
    if (logged != expected) {
        std::string text = "log lines differ; logged:";
        for (const std::string& line : logged) {
            text += "\n  " + line;
        }
        text += "\nexpected:";
        for (const std::string& line : expected) {
            text += "\n  " + line;
        }
        mismatch(text);
    }
    logged.clear();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tkl::LogFactory::setSink(&captureLine, nullptr);
    tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_DEBUG);
    // The first use enumerates once; every input then starts from an empty list.
    libVideoPortInfo::VideoPortFactoryWin7::factory();
    logged.clear();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const Scenario scenario = pickScenario(in);
    VideoPortFactory& factory = *libVideoPortInfo::VideoPortFactoryWin7::factory();

    standin::resetConfiguration();
    standin::setConfiguration(Configuration());
    EXPECT(factory.refresh() && factory.numVideoPorts() == 0, "an empty start");
    standin::resetConfiguration(); // counters from here
    logged.clear();

    standin::setConfiguration(scenario.configuration);
    if (scenario.changed) {
        standin::changeConfigurationAfterSizeQuery(*scenario.changed);
    }
    for (const Fault& fault : scenario.faults) {
        standin::failCall(fault.operation, fault.nth, fault.code);
    }
    PlatformModel platform;
    platform.served = scenario.configuration;
    platform.pending = scenario.changed;
    platform.faults = scenario.faults;

    std::vector<ModelPort> list; // the model of the factory's list
    for (unsigned round = 0; round < scenario.refreshes; ++round) {
        std::vector<const VideoPort*> before;
        for (unsigned i = 0; i < factory.numVideoPorts(); ++i) {
            before.push_back(factory.videoPort(i).get());
        }
        const RefreshModel expected = modelRefresh(platform);
        bool result = false;
        bool threw = false;
        try {
            result = factory.refresh();
        } catch (const tkl::IndexOutOfBounds& e) {
            threw = true;
            EXPECT(expected.outcome == RefreshModel::Throws, "an unexpected exception");
            EXPECT(e.low() == 0 && e.high() == expected.thrownHigh &&
                       e.index() == expected.thrownIndex,
                   "the exception's bounds");
        }
        EXPECT(threw == (expected.outcome == RefreshModel::Throws), "no exception");
        if (!threw) {
            EXPECT(result == (expected.outcome == RefreshModel::Rebuilt), "refresh result");
        }
        checkLog(expected.log);
        if (expected.outcome == RefreshModel::Rebuilt) {
            list = expected.ports;
        } else {
            // The old list stays: the same port objects, answering as before.
            EXPECT(factory.numVideoPorts() == before.size(), "the old list stays");
            for (unsigned i = 0; i < before.size(); ++i) {
                EXPECT(factory.videoPort(i).get() == before[i], "the old ports stay");
            }
        }
        checkList(factory, list, platform);
        checkLog({});
    }
    for (Operation operation :
         {Operation::GetDisplayConfigBufferSizes, Operation::QueryDisplayConfig,
          Operation::DisplayConfigGetDeviceInfo, Operation::EnumDisplaySettingsExW}) {
        EXPECT(standin::callCount(operation) == platform.calls[static_cast<std::size_t>(operation)],
               "calls of operation " + std::to_string(static_cast<int>(operation)));
    }
    return 0;
}
