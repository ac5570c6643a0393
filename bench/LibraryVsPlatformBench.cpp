// library_vs_platform: a full enumeration through the library against the
// same platform calls made directly by a plain host, in one process,
// interleaved, with their ratio and the machine's load.
//
//   library_vs_platform [--seconds S] [--expect-ports K] [--without-edids] CASE...
//
// A full enumeration is what a host does to list everything: through the
// library, refresh(), then every port's connector, monitor, display id,
// current state, EDID ids, connector instance, key (one adapter-name request
// per adapter), desktop place, advanced colour, the connected monitor's EDID
// (monitorEdid()) and supportedResolution(); directly,
// GetDisplayConfigBufferSizes and QueryDisplayConfig into std::vectors, the
// first path of every target kept with a std::unordered_set, the
// device-information requests of each kept path and of each adapter, the
// same fields decoded from the records, for each port in use
// vpiGetDesktopFacts (its primary flag and place) and the advanced-colour
// request (then the SDR white level where that is answered), the EDID of
// each connected monitor through vpiReadMonitorEdid (after a target-name
// request for a port not in use; SetupAPI on Windows), and the distinct raw
// modes of each port's device through EnumDisplaySettingsExW with a
// std::unordered_set, in first-seen order. --without-edids leaves the EDIDs
// out on both sides, for what reading them adds.
//
// On the stand-in platform a CASE is "builtin" (the built-in configuration)
// or a recording to replay (bench/generate-recording.py writes large ones); on
// Windows it is a name for whatever the platform answers. --expect-ports K
// first waits (up to 30 s) until the platform reports K paths whose devices
// list modes, twice in a row. Each case runs for S seconds (default 2).
//
// Before timing, the two results are compared; a difference ends the program
// with status 1.
//
// Columns: the ports and distinct modes found; the median time of one
// enumeration on each side; the median of the rounds' ratios library /
// direct and their quartiles; on Linux "allocs lib/dir/os", the allocations
// of one enumeration made by the library, by the direct host, and inside the
// platform's calls (the same calls on both sides, so counted once); the
// enumerations timed; the load average before and after the case.
#include "LoadAverage.h"

#include <libVideoPortInfo/DisplayResolution.h>
#include <libVideoPortInfo/Platform.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <standin/Configuration.h>
#include <tkl/Array.h>
#include <tkl/Logging.h>

#if VPI_BENCH_STANDIN
#include "../tests/support/FailingAllocator.h"
#include <standin/StandIn.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

using libVideoPortInfo::DisplayResolution;
using Text = std::basic_string<WCHAR>;

// --- What a host takes away from an enumeration -----------------------------

/// What a port tells beyond its names and modes, as both sides decode it.
struct PortFacts {
    Text key;
    std::int32_t technology = 0;
    bool embedded = false;
    std::int64_t connectorInstance = -1; // -1: unknown
    bool inUse = false;                  // the rest of the line only then
    std::int32_t x = 0, y = 0;
    std::uint32_t width = 0, height = 0, rateNumerator = 0, rateDenominator = 0;
    std::uint32_t rotation = 0, scaling = 0;
    bool interlaced = false, primary = false;
    char manufacturer[4] = {0, 0, 0, 0}; // empty: no valid ids
    std::uint32_t product = 0;
    bool placed = false; // the desktop place, only then
    std::int32_t bounds[4] = {0, 0, 0, 0}, work[4] = {0, 0, 0, 0};
    std::uint32_t dpi = 0, dpiSource = 0;
    bool coloured = false;    // the advanced colour, only then
    std::uint32_t colour = 0; // supported, enabled, wide colour enforced: bits 0 to 2
    std::uint32_t encoding = 0, bitsPerChannel = 0;
    std::int64_t white = -1; // -1: unknown

    bool operator==(const PortFacts& o) const {
        return key == o.key && technology == o.technology && embedded == o.embedded &&
               connectorInstance == o.connectorInstance && inUse == o.inUse && x == o.x &&
               y == o.y && width == o.width && height == o.height &&
               rateNumerator == o.rateNumerator && rateDenominator == o.rateDenominator &&
               rotation == o.rotation && scaling == o.scaling && interlaced == o.interlaced &&
               primary == o.primary && std::memcmp(manufacturer, o.manufacturer, 4) == 0 &&
               product == o.product && placed == o.placed &&
               std::memcmp(bounds, o.bounds, sizeof bounds) == 0 &&
               std::memcmp(work, o.work, sizeof work) == 0 && dpi == o.dpi &&
               dpiSource == o.dpiSource && coloured == o.coloured && colour == o.colour &&
               encoding == o.encoding && bitsPerChannel == o.bitsPerChannel && white == o.white;
    }
};

/// Folds everything into one number, so that nothing is optimised away, at
/// a cost that is the same for both sides.
struct Checksum {
    std::uint64_t value = 0;
    void add(std::uint64_t v) { value = (value ^ v) * 0x100000001B3ull; }
    void port(bool attached, const WCHAR* displayId, const WCHAR* name, const WCHAR* path) {
        add(attached);
        add(displayId[0]);
        add(name != nullptr ? name[0] : 1);
        add(path != nullptr ? path[0] : 1);
    }
    void mode(unsigned width, unsigned height, unsigned frequency, unsigned bits) {
        add(width);
        add(std::uint64_t(height) << 32 | frequency);
        add(bits);
    }
    void edid(const std::vector<std::uint8_t>& bytes) {
        add(bytes.size());
        add(bytes.empty() ? 0 : bytes.front() ^ bytes.back());
    }
    void facts(const PortFacts& f) {
        add(f.key.size());
        add(std::uint64_t(std::uint32_t(f.technology)) << 32 | std::uint32_t(f.connectorInstance));
        add(std::uint64_t(std::uint32_t(f.x)) << 32 | std::uint32_t(f.y));
        add(std::uint64_t(f.width) << 32 | f.height);
        add(std::uint64_t(f.rateNumerator) << 32 | f.rateDenominator);
        add(f.rotation + f.scaling + f.interlaced + f.primary + f.embedded + f.inUse);
        add(std::uint64_t(std::uint8_t(f.manufacturer[0])) << 32 | f.product);
        add(std::uint64_t(std::uint32_t(f.bounds[0] ^ f.work[3])) << 32 | f.dpi);
        add(std::uint64_t(f.colour + f.encoding + f.bitsPerChannel) << 32 | std::uint32_t(f.white));
    }
};

const WCHAR noText[1] = {0};

/// Keeps everything, to compare the two sides.
struct Listing {
    struct Port {
        bool attached;
        Text displayId;
        bool monitor;
        Text name;
        Text path;
        std::vector<unsigned> modes; // four values per mode
        PortFacts facts;
        std::vector<std::uint8_t> edid;
        bool operator==(const Port& o) const {
            return attached == o.attached && displayId == o.displayId && monitor == o.monitor &&
                   name == o.name && path == o.path && modes == o.modes && facts == o.facts &&
                   edid == o.edid;
        }
    };
    std::vector<Port> ports;
    // The connector: the library's value and the platform's differ in kind
    // (the library maps one to the other), so they are not compared.
    void add(std::uint64_t) {}
    void port(bool attached, const WCHAR* displayId, const WCHAR* name, const WCHAR* path) {
        ports.push_back(Port{attached,
                             displayId,
                             name != nullptr,
                             name != nullptr ? name : noText,
                             path != nullptr ? path : noText,
                             {},
                             {},
                             {}});
    }
    void facts(const PortFacts& f) { ports.back().facts = f; }
    void edid(const std::vector<std::uint8_t>& bytes) { ports.back().edid = bytes; }
    void mode(unsigned width, unsigned height, unsigned frequency, unsigned bits) {
        ports.back().modes.insert(ports.back().modes.end(), {width, height, frequency, bits});
    }
    std::size_t modeCount() const {
        std::size_t count = 0;
        for (const Port& p : ports) {
            count += p.modes.size() / 4;
        }
        return count;
    }
};

// --- Through the library ------------------------------------------------------

const WCHAR* ucs2(const tkl::String& text) {
    return reinterpret_cast<const WCHAR*>(text.getUCS2Buffer());
}

/// Whether both sides read the connected monitors' EDIDs.
bool withEdids = true;

template <class Sink> bool throughLibrary(Sink& sink) {
    const auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    if (!factory->refresh()) {
        return false;
    }
    const unsigned count = factory->numVideoPorts();
    // Each adapter's path asked for once, as the plain host does.
    std::vector<std::pair<LUID, tkl::String>> adapterPaths;
    for (unsigned i = 0; i < count; ++i) {
        const auto port = factory->videoPort(i);
        const auto monitor = port->monitor();
        sink.add(static_cast<std::uint64_t>(port->connectorType()));
        sink.port(port->hasAttachedMonitor(), ucs2(port->displayId()),
                  monitor ? ucs2(monitor->name()) : nullptr,
                  monitor ? ucs2(monitor->devicePath()) : nullptr);
        const auto& win7 = static_cast<const libVideoPortInfo::VideoPortWin7&>(*port);
        const LUID& adapter = win7.portId();
        auto known = std::find_if(adapterPaths.begin(), adapterPaths.end(), [&](const auto& a) {
            return a.first.LowPart == adapter.LowPart && a.first.HighPart == adapter.HighPart;
        });
        if (known == adapterPaths.end()) {
            known = adapterPaths.insert(adapterPaths.end(), {adapter, win7.adapterDevicePath()});
        }
        PortFacts facts;
        facts.key = ucs2(win7.portKey(known->second));
        facts.technology = win7.outputTechnology();
        facts.embedded = win7.isEmbedded();
        if (const auto instance = win7.connectorInstance()) {
            facts.connectorInstance = *instance;
        }
        if (const auto state = win7.displayState()) {
            facts.inUse = true;
            facts.x = state->x;
            facts.y = state->y;
            facts.width = state->width;
            facts.height = state->height;
            facts.rateNumerator = state->refreshRate.numerator;
            facts.rateDenominator = state->refreshRate.denominator;
            facts.rotation = state->rotation;
            facts.scaling = static_cast<std::uint32_t>(state->scaling);
            facts.interlaced = state->interlaced;
            facts.primary = state->primary;
        }
        if (const auto ids = win7.monitorIds()) {
            std::memcpy(facts.manufacturer, ids->manufacturerId, 4);
            facts.product = ids->productCode;
        }
        if (const auto place = win7.desktopPlace()) {
            facts.placed = true;
            const libVideoPortInfo::DesktopRect* rects[] = {&place->bounds, &place->workArea};
            std::int32_t* out[] = {facts.bounds, facts.work};
            for (int r = 0; r < 2; ++r) {
                out[r][0] = rects[r]->left;
                out[r][1] = rects[r]->top;
                out[r][2] = rects[r]->right;
                out[r][3] = rects[r]->bottom;
            }
            facts.dpi = place->dpi;
            facts.dpiSource = static_cast<std::uint32_t>(place->dpiSource);
        }
        if (const auto colour = win7.advancedColor()) {
            facts.coloured = true;
            facts.colour = (colour->supported ? 1u : 0u) | (colour->enabled ? 2u : 0u) |
                           (colour->wideColorEnforced ? 4u : 0u);
            facts.encoding = static_cast<std::uint32_t>(colour->encoding);
            facts.bitsPerChannel = colour->bitsPerColorChannel;
            if (colour->sdrWhiteLevel) {
                facts.white = *colour->sdrWhiteLevel;
            }
        }
        sink.facts(facts);
        if (withEdids) {
            sink.edid(win7.monitorEdid());
        }
        tkl::Array<DisplayResolution> modes;
        port->supportedResolution(modes);
        for (unsigned m = 0; m < modes.size(); ++m) {
            const DisplayResolution& mode = modes[m];
            sink.mode(mode.width(), mode.height(), mode.frequency(), mode.bitsPerPixel());
        }
    }
    return true;
}

// --- Directly -----------------------------------------------------------------

struct TargetKey {
    LONG high;
    DWORD low;
    UINT32 id;
    bool operator==(const TargetKey& o) const {
        return high == o.high && low == o.low && id == o.id;
    }
};
struct TargetKeyHash {
    std::size_t operator()(const TargetKey& k) const {
        return std::hash<std::uint64_t>()(std::uint64_t(std::uint32_t(k.high)) << 32 | k.low) ^
               (std::hash<std::uint32_t>()(k.id) * 31);
    }
};

struct ModeKey {
    DWORD width, height, frequency, bits;
    bool operator==(const ModeKey& o) const {
        return width == o.width && height == o.height && frequency == o.frequency && bits == o.bits;
    }
};
struct ModeKeyHash {
    std::size_t operator()(const ModeKey& k) const {
        const std::hash<std::uint64_t> h;
        return h(std::uint64_t(k.width) << 32 | k.height) * 31 +
               h(std::uint64_t(k.frequency) << 32 | k.bits);
    }
};

template <std::size_t N> Text boundedName(const WCHAR (&field)[N]) {
    std::size_t length = 0;
    while (length < N && field[length] != 0) {
        ++length;
    }
    return Text(field, length);
}

/// What the plain host keeps of a port: the same as the library's port.
struct RawPort {
    DISPLAYCONFIG_PATH_INFO path;
    DISPLAYCONFIG_MODE_INFO sourceMode;
    DISPLAYCONFIG_MODE_INFO targetMode;
    Text displayId;
    bool monitor = false;
    Text name;
    Text devicePath;
    UINT32 preferredWidth = 0;
    UINT32 preferredHeight = 0;
    bool targetNameRead = false;
    DISPLAYCONFIG_TARGET_DEVICE_NAME_FLAGS nameFlags{};
    UINT16 manufacturer = 0;
    UINT16 product = 0;
    UINT32 connectorInstance = 0;
    // Asked on demand, for a port in use.
    bool placed = false;
    VpiDesktopFacts desktop{};
    bool coloured = false;
    DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO colour{};
    std::int64_t white = -1;
};

/// The rest of a port, decoded from its records as a plain host would.
PortFacts rawFacts(const RawPort& port, const Text& adapterPath) {
    const DISPLAYCONFIG_PATH_TARGET_INFO& t = port.path.targetInfo;
    PortFacts f;
    const std::string id = "#" + std::to_string(t.id);
    if (!adapterPath.empty()) {
        f.key = adapterPath + Text(id.begin(), id.end());
    } else {
        char luid[32];
        std::snprintf(luid, sizeof luid, "luid:%08x:%08x", unsigned(t.adapterId.HighPart),
                      unsigned(t.adapterId.LowPart));
        const std::string text = luid + id;
        f.key = Text(text.begin(), text.end());
    }
    f.technology = static_cast<std::int32_t>(t.outputTechnology);
    f.embedded = f.technology == 6 || f.technology == 11 || f.technology == 13 ||
                 t.outputTechnology == DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INTERNAL;
    if (port.targetNameRead) {
        f.connectorInstance = port.connectorInstance;
    }
    if ((port.path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0 &&
        port.sourceMode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
        const DISPLAYCONFIG_SOURCE_MODE& source = port.sourceMode.sourceMode;
        const bool target = port.targetMode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET;
        const DISPLAYCONFIG_VIDEO_SIGNAL_INFO& signal =
            port.targetMode.targetMode.targetVideoSignalInfo;
        const DISPLAYCONFIG_RATIONAL rate =
            target && signal.vSyncFreq.Denominator != 0 ? signal.vSyncFreq : t.refreshRate;
        const UINT32 scan = target && signal.scanLineOrdering != 0 ? UINT32(signal.scanLineOrdering)
                                                                   : UINT32(t.scanLineOrdering);
        f.inUse = true;
        f.x = source.position.x;
        f.y = source.position.y;
        f.width = source.width;
        f.height = source.height;
        f.rateNumerator = rate.Denominator != 0 ? rate.Numerator : 0;
        f.rateDenominator = rate.Denominator;
        f.rotation = t.rotation >= 2 && t.rotation <= 4 ? (t.rotation - 1) * 90 : 0;
        f.scaling = t.scaling;
        f.interlaced = scan == 2 || scan == 3;
        f.primary = port.placed && (port.desktop.flags & VPI_DESKTOP_PRIMARY) != 0;
    }
    if (port.placed) {
        const RECTL* rects[] = {&port.desktop.monitorRect, &port.desktop.workArea};
        std::int32_t* out[] = {f.bounds, f.work};
        for (int r = 0; r < 2; ++r) {
            out[r][0] = rects[r]->left;
            out[r][1] = rects[r]->top;
            out[r][2] = rects[r]->right;
            out[r][3] = rects[r]->bottom;
        }
        f.placed = true;
        f.dpi = port.desktop.dpi;
        f.dpiSource = port.desktop.dpiSource;
    }
    if (port.coloured) {
        f.coloured = true;
        f.colour = port.colour.value & 0x7u;
        f.encoding = static_cast<std::uint32_t>(port.colour.colorEncoding);
        f.bitsPerChannel = port.colour.bitsPerColorChannel;
        f.white = port.white;
    }
    if (port.targetNameRead && port.nameFlags.edidIdsValid) {
        const unsigned word = (port.manufacturer >> 8) | ((port.manufacturer & 0xFFu) << 8);
        for (int i = 0; i < 3; ++i) {
            f.manufacturer[i] = char('@' + ((word >> (10 - 5 * i)) & 0x1Fu));
        }
        f.product = port.product;
    }
    return f;
}

std::size_t allocationsSoFar();

/// The EDID of the monitor device `path` as a plain host reads it: into a
/// buffer of 512 bytes, again at the size given when it is larger.
template <class Platform>
std::vector<std::uint8_t> rawEdid(const Text& path, Platform&& platformCall) {
    std::uint8_t first[512];
    UINT32 size = sizeof first;
    LONG result = platformCall([&] { return vpiReadMonitorEdid(path.c_str(), first, &size); });
    if (result == ERROR_SUCCESS) {
        return std::vector<std::uint8_t>(first, first + size);
    }
    std::vector<std::uint8_t> edid;
    for (int attempt = 0; attempt < 3 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        edid.resize(size);
        result = platformCall([&] { return vpiReadMonitorEdid(path.c_str(), edid.data(), &size); });
        if (result == ERROR_SUCCESS) {
            edid.resize(size);
            return edid;
        }
    }
    return std::vector<std::uint8_t>();
}

/// Allocations made inside the platform's calls, counted by directly<true>.
std::size_t platformAllocations = 0;

/// Calls `call`; with `Count`, adds the allocations it made to
/// platformAllocations.
template <bool Count, class Call> auto platform(Call call) {
    if constexpr (Count) {
        const std::size_t before = allocationsSoFar();
        const auto result = call();
        platformAllocations += allocationsSoFar() - before;
        return result;
    } else {
        return call();
    }
}

/// What a port in use tells of the desktop and of colour, asked now.
template <bool Count> void askDesktopAndColour(RawPort& port) {
    if (!port.displayId.empty()) {
        port.desktop.size = sizeof port.desktop;
        port.placed = platform<Count>([&] {
                          return vpiGetDesktopFacts(port.displayId.c_str(), &port.desktop);
                      }) == ERROR_SUCCESS;
    }
    const DISPLAYCONFIG_PATH_TARGET_INFO& t = port.path.targetInfo;
    port.colour = standin::makeDeviceInfoRequest<DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO>(
        DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, t.adapterId, t.id);
    port.coloured = platform<Count>([&] {
                        return DisplayConfigGetDeviceInfo(&port.colour.header);
                    }) == ERROR_SUCCESS;
    if (port.coloured) {
        auto white = standin::makeDeviceInfoRequest<DISPLAYCONFIG_SDR_WHITE_LEVEL>(
            DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL, t.adapterId, t.id);
        if (platform<Count>([&] { return DisplayConfigGetDeviceInfo(&white.header); }) ==
            ERROR_SUCCESS) {
            port.white = white.SDRWhiteLevel;
        }
    }
}

template <bool CountPlatform = false, class Sink> bool directly(Sink& sink) {
    constexpr bool count = CountPlatform;
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    if (platform<count>([&] {
            return GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &pathCount, &modeCount);
        }) != ERROR_SUCCESS) {
        return false;
    }
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(pathCount);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(modeCount);
    if (platform<count>([&] {
            return QueryDisplayConfig(QDC_ALL_PATHS, &pathCount,
                                      paths.empty() ? nullptr : paths.data(), &modeCount,
                                      modes.empty() ? nullptr : modes.data(), nullptr);
        }) != ERROR_SUCCESS) {
        return false;
    }
    paths.resize(pathCount);
    modes.resize(modeCount);

    std::unordered_set<TargetKey, TargetKeyHash> targets;
    std::vector<RawPort> ports;
    for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
        const DISPLAYCONFIG_PATH_TARGET_INFO& t = path.targetInfo;
        if (!targets.insert(TargetKey{t.adapterId.HighPart, t.adapterId.LowPart, t.id}).second) {
            continue;
        }
        RawPort port{};
        port.path = path;
        if (path.sourceInfo.modeInfoIdx < modes.size()) {
            port.sourceMode = modes[path.sourceInfo.modeInfoIdx];
        }
        if (t.modeInfoIdx < modes.size()) {
            port.targetMode = modes[t.modeInfoIdx];
        }
        auto source = standin::makeDeviceInfoRequest<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(
            DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, path.sourceInfo.adapterId,
            path.sourceInfo.id);
        if (platform<count>([&] { return DisplayConfigGetDeviceInfo(&source.header); }) ==
            ERROR_SUCCESS) {
            port.displayId = boundedName(source.viewGdiDeviceName);
        }
        if ((path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0) {
            auto name = standin::makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_DEVICE_NAME>(
                DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, t.adapterId, t.id);
            if (platform<count>([&] { return DisplayConfigGetDeviceInfo(&name.header); }) ==
                ERROR_SUCCESS) {
                port.targetNameRead = true;
                port.nameFlags = name.flags;
                port.manufacturer = name.edidManufactureId;
                port.product = name.edidProductCodeId;
                port.connectorInstance = name.connectorInstance;
            }
            auto preferred = standin::makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_PREFERRED_MODE>(
                DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, t.adapterId, t.id);
            platform<count>([&] { return DisplayConfigGetDeviceInfo(&preferred.header); });
            port.monitor = true;
            port.name = boundedName(name.monitorFriendlyDeviceName);
            port.devicePath = boundedName(name.monitorDevicePath);
            port.preferredWidth = preferred.width;
            port.preferredHeight = preferred.height;
        }
        ports.push_back(std::move(port));
    }

    std::unordered_map<std::uint64_t, Text> adapterPaths; // one request per adapter
    for (RawPort& port : ports) {
        sink.add(static_cast<std::uint32_t>(port.path.targetInfo.outputTechnology));
        sink.port((port.path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0, port.displayId.c_str(),
                  port.monitor ? port.name.c_str() : nullptr,
                  port.monitor ? port.devicePath.c_str() : nullptr);
        const LUID& adapter = port.path.targetInfo.adapterId;
        const std::uint64_t adapterKey =
            std::uint64_t(std::uint32_t(adapter.HighPart)) << 32 | adapter.LowPart;
        auto known = adapterPaths.find(adapterKey);
        if (known == adapterPaths.end()) {
            auto name = standin::makeDeviceInfoRequest<DISPLAYCONFIG_ADAPTER_NAME>(
                DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, adapter, 0);
            const bool found = platform<count>([&] {
                                   return DisplayConfigGetDeviceInfo(&name.header);
                               }) == ERROR_SUCCESS;
            known = adapterPaths
                        .emplace(adapterKey, found ? boundedName(name.adapterDevicePath) : Text())
                        .first;
        }
        if ((port.path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0) {
            askDesktopAndColour<count>(port);
        }
        sink.facts(rawFacts(port, known->second));
        if (withEdids) {
            std::vector<std::uint8_t> edid;
            const DISPLAYCONFIG_PATH_TARGET_INFO& t = port.path.targetInfo;
            if (t.targetAvailable != 0) {
                Text path = port.devicePath;
                if ((port.path.flags & DISPLAYCONFIG_PATH_ACTIVE) == 0) {
                    auto name = standin::makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_DEVICE_NAME>(
                        DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, t.adapterId, t.id);
                    if (platform<count>([&] { return DisplayConfigGetDeviceInfo(&name.header); }) ==
                        ERROR_SUCCESS) {
                        path = boundedName(name.monitorDevicePath);
                    }
                }
                if (!path.empty()) {
                    edid = rawEdid(path, [](auto call) { return platform<count>(call); });
                }
            }
            sink.edid(edid);
        }
        std::unordered_set<ModeKey, ModeKeyHash> seen;
        std::vector<ModeKey> distinct;
        DEVMODEW mode;
        std::memset(static_cast<void*>(&mode), 0, sizeof(mode));
        for (DWORD number = 0;; ++number) {
            mode.dmSize = sizeof(DEVMODEW);
            mode.dmDriverExtra = 0;
            if (platform<count>([&] {
                    return EnumDisplaySettingsExW(port.displayId.c_str(), number, &mode,
                                                  EDS_RAWMODE);
                }) == 0) {
                break;
            }
            const ModeKey key{mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency,
                              mode.dmBitsPerPel};
            if (seen.insert(key).second) {
                distinct.push_back(key);
            }
        }
        for (const ModeKey& key : distinct) {
            sink.mode(key.width, key.height, key.frequency, key.bits);
        }
    }
    return true;
}

// --- Measuring ----------------------------------------------------------------

using Clock = std::chrono::steady_clock;

using bench::loadAverage;

std::size_t allocationsSoFar() {
#if VPI_BENCH_STANDIN
    return failing_allocator::totalAllocations();
#else
    return 0;
#endif
}

/// Seconds for `repeat` enumerations.
template <class Enumerate> double timed(Enumerate enumerate, unsigned repeat, Checksum& sink) {
    const Clock::time_point start = Clock::now();
    for (unsigned i = 0; i < repeat; ++i) {
        if (!enumerate(sink)) {
            std::fprintf(stderr, "library_vs_platform: an enumeration failed\n");
            std::exit(1);
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Figures {
    std::size_t ports = 0;
    std::size_t modes = 0;
    double library = 0; // median seconds per enumeration
    double direct = 0;
    double ratio = 0;                   // median of the rounds' library / direct
    double ratioLow = 0, ratioHigh = 0; // quartiles of the same
    std::size_t libraryAllocations = 0;
    std::size_t directAllocations = 0;
    std::size_t platformAllocations = 0; // of the direct side's, in the platform's calls
    std::size_t rounds = 0;
};

const auto library = [](Checksum& sink) { return throughLibrary(sink); };
const auto direct = [](Checksum& sink) { return directly(sink); };

bool measure(double seconds, Figures& figures) {
    Listing viaLibrary;
    Listing viaPlatform;
    if (!throughLibrary(viaLibrary) || !directly(viaPlatform)) {
        std::fprintf(stderr, "library_vs_platform: the platform's configuration cannot be read\n");
        return false;
    }
    if (!(viaLibrary.ports == viaPlatform.ports)) {
        std::fprintf(stderr, "library_vs_platform: the library and the platform calls differ\n");
        return false;
    }
    figures.ports = viaLibrary.ports.size();
    figures.modes = viaLibrary.modeCount();

    Checksum sink;
    std::size_t before = allocationsSoFar();
    throughLibrary(sink);
    figures.libraryAllocations = allocationsSoFar() - before;
    before = allocationsSoFar();
    platformAllocations = 0;
    directly<true>(sink);
    figures.directAllocations = allocationsSoFar() - before;
    figures.platformAllocations = platformAllocations;

    // Each sample lasts at least about 2 ms, so that the clock's resolution
    // and its own cost do not count.
    const double once = std::max(timed(library, 1, sink), timed(direct, 1, sink));
    const unsigned repeat = static_cast<unsigned>(std::max(1.0, 0.002 / std::max(once, 1e-9)));

    std::vector<double> libraryTimes, directTimes, ratios;
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    while (ratios.size() < 11 || (Clock::now() < end && ratios.size() < 100000)) {
        // Alternate which side goes first, so that neither always follows
        // the other's effect on the caches.
        double a, b;
        if (ratios.size() % 2 == 0) {
            a = timed(library, repeat, sink);
            b = timed(direct, repeat, sink);
        } else {
            b = timed(direct, repeat, sink);
            a = timed(library, repeat, sink);
        }
        libraryTimes.push_back(a / repeat);
        directTimes.push_back(b / repeat);
        ratios.push_back(a / b);
    }
    figures.library = median(libraryTimes);
    figures.direct = median(directTimes);
    figures.ratio = median(ratios);
    std::sort(ratios.begin(), ratios.end());
    figures.ratioLow = ratios[ratios.size() / 4];
    figures.ratioHigh = ratios[ratios.size() * 3 / 4];
    figures.rounds = ratios.size() * repeat;
    if (sink.value == 42) { // keeps the checksum alive
        std::printf(" ");
    }
    return true;
}

/// Serves the case's configuration; false if there is none.
bool serve(const std::string& name) {
#if VPI_BENCH_STANDIN
    if (name == "builtin") {
        unsetenv("VPI_DISPLAY_CONFIG");
    } else {
        setenv("VPI_DISPLAY_CONFIG", name.c_str(), 1);
    }
    standin::resetConfiguration(); // reports a file it cannot use
#else
    (void)name;
#endif
    return true;
}

void pause100ms() {
#if VPI_BENCH_STANDIN
    usleep(100000);
#else
    Sleep(100);
#endif
}

/// "paths=N modes=a,b,..." as the platform answers it now.
std::string platformState() {
    Listing listing;
    if (!directly(listing)) {
        return "failed";
    }
    std::string state = "paths=" + std::to_string(listing.ports.size()) + " modes=";
    for (const Listing::Port& port : listing.ports) {
        state += std::to_string(port.modes.size() / 4) + ",";
    }
    return state;
}

/// Waits until the platform reports `ports` ports that all list modes, the
/// same twice in a row: a desktop that has just changed takes a while to
/// settle. Gives up after about 30 s.
bool waitForPorts(unsigned ports) {
    std::string previous;
    for (int attempt = 0; attempt < 300; ++attempt) {
        const std::string state = platformState();
        const bool complete = state.rfind("paths=" + std::to_string(ports) + " ", 0) == 0 &&
                              state.find(",0,") == std::string::npos &&
                              state.find("=0,") == std::string::npos;
        if (complete && state == previous) {
            return true;
        }
        previous = state;
        pause100ms();
    }
    std::fprintf(stderr, "library_vs_platform: the platform does not report %u ports: %s\n", ports,
                 previous.c_str());
    return false;
}

std::string caseName(const std::string& argument) {
    const std::size_t slash = argument.find_last_of("/\\");
    return slash == std::string::npos ? argument : argument.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 2;
    unsigned expectPorts = 0;
    std::vector<std::string> cases;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (argument == "--expect-ports" && i + 1 < argc) {
            expectPorts = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (argument == "--without-edids") {
            withEdids = false;
        } else if (argument.rfind("--", 0) == 0) {
            std::fprintf(stderr, "usage: library_vs_platform [--seconds S] [--expect-ports K] "
                                 "[--without-edids] CASE...\n");
            return 2;
        } else {
            cases.push_back(argument);
        }
    }
    if (cases.empty()) {
        cases.push_back("builtin");
    }
    // The direct host logs nothing; nor does the library here (Wine's
    // preferred-mode requests fail and would be logged on every refresh).
    tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_ERROR);
    // The first use builds the factory; every later enumeration is a refresh.
    libVideoPortInfo::VideoPortFactoryWin7::factory();

    std::printf("%-22s %5s %9s %12s %12s %11s %17s %18s %8s  %s\n", "case", "ports", "modes",
                "library us", "direct us", "lib/direct", "(quartiles)", "allocs lib/dir/os",
                "rounds", "load (1, 5, 15 min)");
    int status = 0;
    for (const std::string& name : cases) {
        if (!serve(name) || (expectPorts != 0 && !waitForPorts(expectPorts))) {
            status = 1;
            continue;
        }
        const std::string load = loadAverage();
        Figures f;
        if (!measure(seconds, f)) {
            status = 1;
            continue;
        }
        char allocations[32] = "n/a";
#if VPI_BENCH_STANDIN
        std::snprintf(allocations, sizeof allocations, "%zu/%zu/%zu",
                      f.libraryAllocations - f.platformAllocations,
                      f.directAllocations - f.platformAllocations, f.platformAllocations);
#endif
        char quartiles[32];
        std::snprintf(quartiles, sizeof quartiles, "%.3f-%.3f", f.ratioLow, f.ratioHigh);
        std::printf("%-22s %5zu %9zu %12.1f %12.1f %11.3f %17s %18s %8zu  %s -> %s\n",
                    caseName(name).c_str(), f.ports, f.modes, f.library * 1e6, f.direct * 1e6,
                    f.ratio, quartiles, allocations, f.rounds, load.c_str(), loadAverage().c_str());
        std::fflush(stdout);
    }
    return status;
}
