#include <libVideoPortInfo/VideoPortWin7.h>

#include "DesktopQuery.h"
#include "DisplayDecoding.h"
#include "DistinctIndex.h"
#include "PlatformLog.h"

#include <libVideoPortInfo/ExtDevMode.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace libVideoPortInfo {

namespace {

tkl::Logger* portLogger = nullptr;

/// Equal for every two resolutions that operator== finds equal, which
/// compares all four values.
std::uint32_t hashOf(const DisplayResolution& mode) {
    return hashWords(std::uint64_t(mode.width()) << 32 | mode.height(),
                     std::uint64_t(mode.frequency()) << 32 | mode.bitsPerPixel());
}

/// The two records the platform keeps of a target's monitor, and what each
/// request answered. The records start zero-filled, so a failed request
/// leaves empty names and an all-zero mode.
struct MonitorRecords {
    DISPLAYCONFIG_TARGET_DEVICE_NAME name;
    DISPLAYCONFIG_TARGET_PREFERRED_MODE preferredMode;
    LONG nameResult;
    LONG preferredModeResult;
};

/// The target-name request, then the preferred-mode request.
MonitorRecords readMonitorRecords(const DISPLAYCONFIG_PATH_TARGET_INFO& target) {
    MonitorRecords records{
        makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_DEVICE_NAME>(
            DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, target.adapterId, target.id),
        makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_PREFERRED_MODE>(
            DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, target.adapterId, target.id),
        ERROR_SUCCESS, ERROR_SUCCESS};
    records.nameResult = DisplayConfigGetDeviceInfo(&records.name.header);
    records.preferredModeResult = DisplayConfigGetDeviceInfo(&records.preferredMode.header);
    return records;
}

template <std::size_t N> tkl::String nameField(const WCHAR (&field)[N]) {
    tkl::String text;
    text.assignBounded(reinterpret_cast<const unsigned short*>(field), N);
    return text;
}

/// The monitor as its records tell it; what a failed request would have
/// told stays empty.
ConnectedMonitor connectedMonitorOf(const MonitorRecords& records) {
    ConnectedMonitor monitor;
    if (records.nameResult == ERROR_SUCCESS) {
        const DISPLAYCONFIG_TARGET_DEVICE_NAME& name = records.name;
        monitor.targetNameRead = true;
        monitor.name = nameField(name.monitorFriendlyDeviceName);
        monitor.devicePath = nameField(name.monitorDevicePath);
        if (name.flags.edidIdsValid != 0) {
            monitor.ids = decoding::monitorIdsOf(name.edidManufactureId, name.edidProductCodeId);
        }
        monitor.connectorInstance = name.connectorInstance;
    }
    if (records.preferredModeResult == ERROR_SUCCESS) {
        monitor.preferredModeRead = true;
        monitor.preferredMode = decoding::preferredModeOf(records.preferredMode);
    }
    return monitor;
}

/// The most an EDID holds: 256 blocks of 128 bytes. A larger answer is taken
/// for a fault rather than allocated.
constexpr UINT32 kMaxEdidSize = 256 * 128;

/// The EDID that the platform keeps for the monitor device `path`; empty when
/// there is none or it cannot be read (logged at debug priority).
std::vector<std::uint8_t> readEdid(const tkl::String& path) {
    const LPCWSTR device = reinterpret_cast<LPCWSTR>(path.getUCS2Buffer());
    // Most EDIDs are one to four blocks: one read into a buffer of four gets
    // them, and the copy out is the one allocation. A larger EDID is read
    // again at the size the platform gives, a few times, as it may change
    // meanwhile.
    std::uint8_t first[512];
    UINT32 size = sizeof first;
    LONG result = vpiReadMonitorEdid(device, first, &size);
    if (result == ERROR_SUCCESS && size <= sizeof first) {
        return std::vector<std::uint8_t>(first, first + size);
    }
    std::vector<std::uint8_t> edid;
    for (int attempt = 0; attempt < 3 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        if (size > kMaxEdidSize) {
            break;
        }
        edid.resize(size);
        result = vpiReadMonitorEdid(device, edid.data(), &size);
        if (result == ERROR_SUCCESS && size <= edid.size()) {
            edid.resize(size);
            return edid;
        }
    }
    logPlatformResult(portLogger, platformLog::edidReadFailed,
                      result == ERROR_SUCCESS ? ERROR_INSUFFICIENT_BUFFER : result);
    return std::vector<std::uint8_t>();
}

} // namespace

VideoPortWin7::VideoPortWin7(const DISPLAYCONFIG_PATH_INFO& path,
                             tkl::Array<DISPLAYCONFIG_MODE_INFO> modes)
    : VideoPortWin7(path, &modes) {}

VideoPortWin7::VideoPortWin7(const DISPLAYCONFIG_PATH_INFO& path,
                             const tkl::Array<DISPLAYCONFIG_MODE_INFO>* modes)
    : VideoPort(), path_(), sourceMode_(), targetMode_(), displayId_(), monitor_(), target_() {
    update(path);
    // The array access throws IndexOutOfBounds for an index outside the table;
    // the members built so far (the monitor among them) are then released.
    if (path_.sourceInfo.modeInfoIdx != DISPLAYCONFIG_PATH_MODE_IDX_INVALID) {
        setSourceInfoMode((*modes)[path_.sourceInfo.modeInfoIdx]);
    }
    if (path_.targetInfo.modeInfoIdx != DISPLAYCONFIG_PATH_MODE_IDX_INVALID) {
        setTargetInfoMode((*modes)[path_.targetInfo.modeInfoIdx]);
    }
}

VideoPortWin7::VideoPortWin7(const VideoPortWin7& other)
    : VideoPort(other), path_(other.path_), sourceMode_(other.sourceMode_),
      targetMode_(other.targetMode_), displayId_(other.displayId_), monitor_(other.monitor_),
      target_(other.target_) {}

VideoPortWin7& VideoPortWin7::operator=(const VideoPortWin7& other) {
    path_ = other.path_;
    sourceMode_ = other.sourceMode_;
    targetMode_ = other.targetMode_;
    displayId_ = other.displayId_;
    // Self-assignment and a shared monitor leave the handle as it is.
    monitor_ = other.monitor_;
    target_ = other.target_;
    return *this;
}

VideoPortWin7::~VideoPortWin7() {}

bool VideoPortWin7::hasAttachedMonitor() const {
    return (path_.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0;
}

ConnectorType VideoPortWin7::connectorType() const {
    // Platform values are not contiguous (OTHER is -1, there is no 7,
    // INTERNAL is 0x80000000): read as a signed 32-bit number.
    const std::int32_t technology = static_cast<std::int32_t>(path_.targetInfo.outputTechnology);
    switch (technology) {
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HD15:
        return Vga;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_SVIDEO:
        return SVideo;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_COMPOSITE_VIDEO:
        return Composite;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_COMPONENT_VIDEO:
        return Component;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI:
        return Dvi;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI:
        return Hdmi;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_LVDS:
        return Lvds;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_D_JPN:
        return DJpn;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_SDI:
        return Sdi;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EXTERNAL:
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EMBEDDED:
        return DisplayPort;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_UDI_EXTERNAL:
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_UDI_EMBEDDED:
        return Udi;
    case DISPLAYCONFIG_OUTPUT_TECHNOLOGY_SDTVDONGLE:
        return SdtvDongle;
    case static_cast<std::int32_t>(DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INTERNAL):
        return Internal;
    default:
        return Other;
    }
}

const tkl::String& VideoPortWin7::displayId() const {
    return displayId_;
}

tkl::CopiedResource<tkl::PointerStorage<Monitor, 3, 2>> VideoPortWin7::monitor() const {
    return tkl::CopiedResource<tkl::PointerStorage<Monitor, 3, 2>>(monitor_.get());
}

unsigned VideoPortWin7::supportedResolution(tkl::Array<DisplayResolution>& out) const {
    out.clear();
    ExtDevMode record;
    std::memset(static_cast<void*>(&record), 0, sizeof(record));
    const LPCWSTR device = reinterpret_cast<LPCWSTR>(displayId_.getUCS2Buffer());
    DistinctIndex seen; // the entries of `out`
    for (DWORD modeNumber = 0;; ++modeNumber) {
        // Set before every call: the platform may rewrite both.
        record.devMode.dmSize = sizeof(DEVMODEW);
        record.devMode.dmDriverExtra = 0; // no driver-private data wanted
        if (EnumDisplaySettingsExW(device, modeNumber, &record.devMode, EDS_RAWMODE) == 0) {
            break;
        }
        const DisplayResolution resolution(record.devMode.dmPelsWidth, record.devMode.dmPelsHeight,
                                           record.devMode.dmDisplayFrequency,
                                           record.devMode.dmBitsPerPel);
        // The index narrows the search to the entries of the same hash and
        // operator== decides, as a search of the whole list would, in
        // expected constant time. A new entry goes after the others, so they
        // keep the order in which the platform first reported them.
        const bool isNew = seen.addIfNew(hashOf(resolution), out.size(),
                                         [&](std::uint32_t i) { return out[i] == resolution; });
        if (isNew) {
            out.append(resolution);
        }
    }
    return out.size();
}

const LUID& VideoPortWin7::portId() const {
    return path_.targetInfo.adapterId;
}

const DISPLAYCONFIG_PATH_INFO& VideoPortWin7::pathInfo() const {
    return path_;
}

UINT32 VideoPortWin7::targetId() const {
    return path_.targetInfo.id;
}

std::int32_t VideoPortWin7::outputTechnology() const {
    return static_cast<std::int32_t>(path_.targetInfo.outputTechnology);
}

bool VideoPortWin7::isEmbedded() const {
    return decoding::isEmbedded(outputTechnology());
}

std::optional<std::uint32_t> VideoPortWin7::connectorInstance() const {
    if (!target_.known) {
        return std::nullopt;
    }
    return target_.connectorInstance;
}

std::optional<DisplayState> VideoPortWin7::displayState() const {
    std::optional<DisplayState> state = displayState(std::nullopt);
    if (state) {
        // The platform's primary device, never the place: the sources of a
        // clone across two adapters both sit at the origin.
        const std::optional<VpiDesktopFacts> facts = desktopFactsOf(displayId_);
        state->primary = facts && (facts->flags & VPI_DESKTOP_PRIMARY) != 0;
    }
    return state;
}

std::optional<DisplayState>
VideoPortWin7::displayState(const std::optional<DesktopPlace>& place) const {
    if (!hasAttachedMonitor() || sourceMode_.infoType != DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
        return std::nullopt;
    }
    const DISPLAYCONFIG_SOURCE_MODE& source = sourceMode_.sourceMode;
    const bool hasTargetMode = targetMode_.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET;
    const DISPLAYCONFIG_VIDEO_SIGNAL_INFO& signal = targetMode_.targetMode.targetVideoSignalInfo;
    // The signal's own scan-line ordering when there is a signal that tells
    // one; else the path's.
    const std::uint32_t scanLineOrdering =
        hasTargetMode && signal.scanLineOrdering != DISPLAYCONFIG_SCANLINE_ORDERING_UNSPECIFIED
            ? signal.scanLineOrdering
            : path_.targetInfo.scanLineOrdering;
    DisplayState state;
    state.width = source.width;
    state.height = source.height;
    state.x = source.position.x;
    state.y = source.position.y;
    state.refreshRate = decoding::refreshRateOf(path_, hasTargetMode ? &targetMode_ : nullptr);
    state.interlaced = decoding::isInterlaced(scanLineOrdering);
    state.rotation = decoding::rotationDegrees(path_.targetInfo.rotation);
    state.scaling = static_cast<Scaling>(path_.targetInfo.scaling);
    state.primary = place && place->primary;
    return state;
}

std::optional<MonitorIds> VideoPortWin7::monitorIds() const {
    if (!target_.known || !target_.edidIdsValid) {
        return std::nullopt;
    }
    return decoding::monitorIdsOf(target_.edidManufactureId, target_.edidProductCodeId);
}

tkl::String VideoPortWin7::adapterDevicePath() const {
    // The platform ignores the request's id: the adapter alone is named.
    auto adapter = makeDeviceInfoRequest<DISPLAYCONFIG_ADAPTER_NAME>(
        DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, path_.targetInfo.adapterId, 0);
    tkl::String path;
    const LONG result = DisplayConfigGetDeviceInfo(&adapter.header);
    if (result == ERROR_SUCCESS) {
        path.assignBounded(reinterpret_cast<const unsigned short*>(adapter.adapterDevicePath),
                           sizeof(adapter.adapterDevicePath) / sizeof(WCHAR));
    } else {
        logPlatformResult(portLogger, platformLog::adapterNameFailed, result);
    }
    return path;
}

tkl::String VideoPortWin7::portKey() const {
    return portKey(adapterDevicePath());
}

tkl::String VideoPortWin7::portKey(const tkl::String& adapterDevicePath) const {
    std::string target = "#" + std::to_string(path_.targetInfo.id);
    if (!adapterDevicePath.empty()) {
        tkl::String key(adapterDevicePath);
        key += tkl::String(target.c_str());
        return key;
    }
    char adapter[32];
    std::snprintf(
        adapter, sizeof adapter, "luid:%08lx:%08lx",
        static_cast<unsigned long>(static_cast<std::uint32_t>(path_.targetInfo.adapterId.HighPart)),
        static_cast<unsigned long>(path_.targetInfo.adapterId.LowPart));
    return tkl::String((adapter + target).c_str());
}

bool VideoPortWin7::isMonitorConnected() const {
    return path_.targetInfo.targetAvailable != 0;
}

std::optional<ConnectedMonitor> VideoPortWin7::connectedMonitor() const {
    if (!isMonitorConnected()) {
        return std::nullopt;
    }
    if (!hasAttachedMonitor()) {
        const MonitorRecords records = readMonitorRecords(path_.targetInfo);
        if (records.nameResult != ERROR_SUCCESS) {
            logPlatformResult(portLogger, platformLog::connectedNameFailed, records.nameResult);
        }
        if (records.preferredModeResult != ERROR_SUCCESS) {
            logPlatformResult(portLogger, platformLog::connectedModeFailed,
                              records.preferredModeResult);
        }
        return connectedMonitorOf(records);
    }
    // In use: what update() read. Every active path has a monitor record.
    ConnectedMonitor monitor;
    if (const Monitor* record = monitor_.get()) {
        monitor.name = record->name();
        monitor.devicePath = record->devicePath();
    }
    monitor.ids = monitorIds();
    monitor.connectorInstance = connectorInstance();
    monitor.preferredMode = target_.preferredMode;
    monitor.targetNameRead = target_.known;
    monitor.preferredModeRead = target_.preferredModeKnown;
    return monitor;
}

std::vector<std::uint8_t> VideoPortWin7::monitorEdid() const {
    if (!isMonitorConnected()) {
        return std::vector<std::uint8_t>();
    }
    tkl::String path;
    if (hasAttachedMonitor()) {
        if (const Monitor* record = monitor_.get()) {
            path = record->devicePath();
        }
    } else {
        auto name = makeDeviceInfoRequest<DISPLAYCONFIG_TARGET_DEVICE_NAME>(
            DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, path_.targetInfo.adapterId,
            path_.targetInfo.id);
        const LONG result = DisplayConfigGetDeviceInfo(&name.header);
        if (result != ERROR_SUCCESS) {
            logPlatformResult(portLogger, platformLog::connectedNameFailed, result);
            return std::vector<std::uint8_t>();
        }
        path = nameField(name.monitorDevicePath);
    }
    // A monitor without a device path has no EDID to find.
    return path.empty() ? std::vector<std::uint8_t>() : readEdid(path);
}

bool VideoPortWin7::update(const DISPLAYCONFIG_PATH_INFO& path) {
    path_ = path;
    target_ = TargetFacts();

    auto source = makeDeviceInfoRequest<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(
        DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, path_.sourceInfo.adapterId, path_.sourceInfo.id);
    LONG result = DisplayConfigGetDeviceInfo(&source.header);
    if (result == ERROR_SUCCESS) {
        // The field may be filled to its end without a terminator.
        displayId_.assignBounded(reinterpret_cast<const unsigned short*>(source.viewGdiDeviceName),
                                 sizeof(source.viewGdiDeviceName) / sizeof(WCHAR));
    } else {
        logPlatformResult(portLogger, platformLog::sourceNameFailed, result);
    }

    if (!hasAttachedMonitor()) {
        return true;
    }

    const MonitorRecords records = readMonitorRecords(path_.targetInfo);
    const DISPLAYCONFIG_TARGET_DEVICE_NAME& targetName = records.name;
    if (records.nameResult != ERROR_SUCCESS) {
        logPlatformResult(portLogger, platformLog::monitorNameFailed, records.nameResult);
    } else {
        target_.known = true;
        target_.edidIdsValid = targetName.flags.edidIdsValid != 0;
        target_.edidManufactureId = targetName.edidManufactureId;
        target_.edidProductCodeId = targetName.edidProductCodeId;
        target_.connectorInstance = targetName.connectorInstance;
    }
    if (records.preferredModeResult != ERROR_SUCCESS) {
        logPlatformResult(portLogger, platformLog::preferredModeFailed,
                          records.preferredModeResult);
    } else {
        target_.preferredModeKnown = true;
        target_.preferredMode = decoding::preferredModeOf(records.preferredMode);
    }

    // A monitor record is made for every active path, also when a query failed.
    monitor_ = new Monitor(targetName, records.preferredMode, displayId_);
    return true;
}

void VideoPortWin7::setSourceInfoMode(const DISPLAYCONFIG_MODE_INFO& mode) {
    sourceMode_ = mode;
}

void VideoPortWin7::setTargetInfoMode(const DISPLAYCONFIG_MODE_INFO& mode) {
    targetMode_ = mode;
}

} // namespace libVideoPortInfo
