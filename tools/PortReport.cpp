#include "PortReport.h"

#include "DisplayWidth.h"
#include "EdidJson.h"
#include "LayoutSvg.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace tools {

namespace {

using Json = nlohmann::ordered_json;

std::string preferredText(const Mode& mode) {
    return mode.unknown() ? "unknown" : modeText(mode);
}

// A display id as the table shows it: "-" when the platform did not tell it,
// in parentheses on a port without a monitor, where it names the source that
// could drive the connector rather than one that does.
std::string displayIdCell(const PortState& port) {
    if (port.displayId.empty()) {
        return "-";
    }
    return port.monitorAttached ? port.displayId : "(" + port.displayId + ")";
}

Json modeJson(const Mode& mode) {
    return Json{{"width", mode.width},
                {"height", mode.height},
                {"refreshRate", mode.refreshRate},
                {"bitsPerPixel", mode.bitsPerPixel}};
}

// The EDID's bytes in hexadecimal and what they say (null when they are no
// EDID); null when the platform keeps none.
Json edidJsonOf(const MonitorState& monitor) {
    if (monitor.edid.empty()) {
        return nullptr;
    }
    std::string hex;
    for (const std::uint8_t byte : monitor.edid) {
        hex += "0123456789abcdef"[byte >> 4];
        hex += "0123456789abcdef"[byte & 0xF];
    }
    return Json{{"bytes", hex},
                {"decoded", monitor.edidInfo ? edidJson(*monitor.edidInfo) : Json(nullptr)}};
}

Json monitorJson(const MonitorState* monitor) {
    if (monitor == nullptr) {
        return nullptr;
    }
    const auto& ids = monitor->ids;
    return Json{{"name", monitor->name},
                {"devicePath", monitor->devicePath},
                {"displayId", monitor->displayId},
                {"preferredMode", modeJson(monitor->preferredMode)},
                {"manufacturerId", ids ? Json(ids->manufacturerId) : Json(nullptr)},
                {"productCode", ids ? Json(ids->productCode) : Json(nullptr)},
                {"edid", edidJsonOf(*monitor)}};
}

Json monitorJson(const std::optional<MonitorState>& monitor) {
    return monitorJson(monitor ? &*monitor : nullptr);
}

// "yes" for a monitor in use, "off" for one connected but not in use.
const char* monitorCell(const PortState& port) {
    return port.monitorAttached ? "yes" : port.monitorConnected ? "off" : "no";
}

Json refreshJson(const libVideoPortInfo::RefreshRate& rate) {
    if (!rate.known()) {
        return nullptr;
    }
    return Json{{"numerator", rate.numerator}, {"denominator", rate.denominator}};
}

// "150%": the scale content is drawn at; "-" where unknown.
std::string scaleText(const std::optional<libVideoPortInfo::DesktopPlace>& desktop) {
    return desktop ? percentText(desktop->scale()) : "-";
}

// "1920x1032+0+0": a rectangle as X geometry writes it.
std::string rectText(const libVideoPortInfo::DesktopRect& rect) {
    char text[64];
    std::snprintf(text, sizeof text, "%lldx%lld%+ld%+ld", static_cast<long long>(rect.width()),
                  static_cast<long long>(rect.height()), static_cast<long>(rect.left),
                  static_cast<long>(rect.top));
    return text;
}

Json rectJson(const libVideoPortInfo::DesktopRect& rect) {
    return Json{
        {"x", rect.left}, {"y", rect.top}, {"width", rect.width()}, {"height", rect.height()}};
}

Json colorJson(const std::optional<libVideoPortInfo::AdvancedColor>& color) {
    if (!color) {
        return nullptr;
    }
    const auto nits = color->sdrWhiteNits();
    return Json{{"supported", color->supported},
                {"enabled", color->enabled},
                {"wideColorEnforced", color->wideColorEnforced},
                {"colorEncoding", libVideoPortInfo::colorEncodingName(color->encoding)},
                {"bitsPerColorChannel", color->bitsPerColorChannel},
                {"sdrWhiteLevelNits", nits ? Json(*nits) : Json(nullptr)}};
}

// The display in use: where and how its source is shown, where windows go on
// it and how large content is drawn there, and its colour.
Json currentJson(const PortState& port) {
    if (!port.current) {
        return nullptr;
    }
    const libVideoPortInfo::DisplayState& state = *port.current;
    const auto& desktop = port.desktop;
    return Json{
        {"width", state.width},
        {"height", state.height},
        {"x", state.x},
        {"y", state.y},
        {"refreshRate", refreshJson(state.refreshRate)},
        {"refreshHz", state.refreshRate.known() ? Json(state.refreshRate.hertz()) : Json(nullptr)},
        {"interlaced", state.interlaced},
        {"rotation", state.rotation},
        {"scaling", libVideoPortInfo::scalingName(state.scaling)},
        {"primary", state.primary},
        {"workArea", desktop ? rectJson(desktop->workArea) : Json(nullptr)},
        {"dpi", desktop ? Json(desktop->dpi) : Json(nullptr)},
        {"dpiSource",
         desktop ? Json(libVideoPortInfo::dpiSourceName(desktop->dpiSource)) : Json(nullptr)},
        {"scale", desktop ? Json(desktop->scale()) : Json(nullptr)},
        {"hdr", snapshot::hdrName(port.color)},
        {"advancedColor", colorJson(port.color)}};
}

// "+1920+0", "-1024+0": a place on the desktop as X geometry writes it.
std::string positionText(const libVideoPortInfo::DisplayState& state) {
    char text[32];
    std::snprintf(text, sizeof text, "%+ld%+ld", static_cast<long>(state.x),
                  static_cast<long>(state.y));
    return text;
}

// "1920x1080 @ 59.95 Hz", with ", interlaced" and the scaling where it is
// not the identity; the refresh rate is left out when unknown.
std::string signalText(const libVideoPortInfo::DisplayState& state) {
    std::string text = std::to_string(state.width) + "x" + std::to_string(state.height);
    if (state.refreshRate.known()) {
        char rate[32];
        std::snprintf(rate, sizeof rate, " @ %.2f Hz", state.refreshRate.hertz());
        text += rate;
    }
    if (state.interlaced) {
        text += ", interlaced";
    }
    if (state.scaling != libVideoPortInfo::Scaling::Identity) {
        text += std::string(", scaling ") + libVideoPortInfo::scalingName(state.scaling);
    }
    return text;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

// The rows as lines, each column two blanks wider than its widest cell (in
// terminal columns, not bytes: names may hold wide or combining characters);
// the last column is not padded.
std::string alignedRows(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], displayWidth(row[c]));
        }
    }
    std::string text;
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            text += row[c];
            if (c + 1 < row.size()) {
                text += std::string(widths[c] - displayWidth(row[c]) + 2, ' ');
            }
        }
        text += "\n";
    }
    return text;
}

std::string modeCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " mode" : " modes");
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
long daysFromCivil(long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}

long secondsOf(const std::tm& t) {
    return daysFromCivil(t.tm_year + 1900L, static_cast<unsigned>(t.tm_mon + 1),
                         static_cast<unsigned>(t.tm_mday)) *
               86400L +
           t.tm_hour * 3600L + t.tm_min * 60L + t.tm_sec;
}

// Stands for the side of an added or removed port that is not there.
const PortState& noPort() {
    static const PortState none;
    return none;
}

} // namespace

std::string currentText(const libVideoPortInfo::DisplayState& state) {
    const std::string signal = signalText(state);
    const std::size_t size = signal.find(' ');
    std::string text = signal.substr(0, size) + positionText(state) +
                       (size == std::string::npos ? "" : signal.substr(size));
    if (state.rotation != 0) {
        text += ", rotated " + std::to_string(state.rotation);
    }
    if (state.primary) {
        text += ", primary";
    }
    return text;
}

std::string modeText(const Mode& mode) {
    return std::to_string(mode.width) + "x" + std::to_string(mode.height) + " @ " +
           std::to_string(mode.refreshRate) + " Hz";
}

std::string tableText(const std::vector<PortState>& ports, bool withModes) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"PORT", "CONNECTOR", "MONITOR", "DISPLAY ID", "NAME", "PREFERRED MODE",
                    "CURRENT MODE", "SCALE"});
    for (const PortState& port : ports) {
        const MonitorState* monitor = port.connectedMonitor();
        rows.push_back({std::to_string(port.index), port.connector, monitorCell(port),
                        displayIdCell(port),
                        monitor && !monitor->name.empty() ? monitor->name : "-",
                        monitor ? preferredText(monitor->preferredMode) : "-",
                        port.current ? currentText(*port.current) : "-",
                        port.current ? scaleText(port.desktop) : "-"});
    }
    std::string text = alignedRows(rows);
    if (withModes) {
        for (const PortState& port : ports) {
            text +=
                "\nPort " + std::to_string(port.index) + ": " + modeCount(port.modes.size()) + "\n";
            for (const Mode& mode : port.modes) {
                text += "  " + modeText(mode) + ", " + std::to_string(mode.bitsPerPixel) + " bpp\n";
            }
        }
    }
    return text;
}

std::string layoutSvgText(const std::vector<PortState>& ports) {
    std::vector<LayoutDisplay> displays;
    std::vector<LayoutPort> others;
    for (const PortState& port : ports) {
        if (!port.current) {
            others.push_back(LayoutPort{port.index, port.connector,
                                        port.inactiveMonitor
                                            ? "off: " + orDash(port.inactiveMonitor->name)
                                            : std::string("free")});
            continue;
        }
        const libVideoPortInfo::DisplayState& state = *port.current;
        LayoutDisplay display;
        display.number = port.index;
        display.name = port.monitor ? port.monitor->name : "";
        display.connector = port.connector;
        display.mode = signalText(state);
        display.bounds = LayoutRect{state.x, state.y, state.width, state.height};
        if (const auto& desktop = port.desktop) {
            display.scale = desktop->scale();
            const libVideoPortInfo::DesktopRect& area = desktop->workArea;
            display.workArea =
                LayoutRect{area.left, area.top, static_cast<std::uint32_t>(area.width()),
                           static_cast<std::uint32_t>(area.height())};
        }
        display.primary = state.primary;
        displays.push_back(display);
    }
    return layoutSvg(displays, others);
}

nlohmann::ordered_json portJson(const PortState& port) {
    Json json;
    json["index"] = port.index;
    json["connector"] = port.connector;
    json["connectorType"] = port.connectorType;
    json["monitorAttached"] = port.monitorAttached;
    json["displayId"] = port.displayId;
    json["monitor"] = monitorJson(port.monitor);
    Json modes = Json::array();
    for (const Mode& mode : port.modes) {
        modes.push_back(modeJson(mode));
    }
    json["modes"] = modes;
    json["adapterId"] = adapterText(port.target);
    json["targetId"] = port.target.targetId;
    json["key"] = port.key;
    json["outputTechnology"] = port.outputTechnology;
    json["embedded"] = port.embedded;
    json["connectorInstance"] =
        port.connectorInstance ? Json(*port.connectorInstance) : Json(nullptr);
    json["current"] = currentJson(port);
    json["monitorConnected"] = port.monitorConnected;
    json["inactiveMonitor"] = monitorJson(port.inactiveMonitor);
    return json;
}

std::string adapterText(const PortTarget& target) {
    char text[24];
    std::snprintf(text, sizeof text, "%08lx:%08lx",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(target.adapterHigh)),
                  static_cast<unsigned long>(target.adapterLow));
    return text;
}

std::string localTimestamp(std::chrono::system_clock::time_point time) {
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    std::time_t whole = static_cast<std::time_t>(seconds.count());
    if (milliseconds < 0) { // before 1970: the second before, plus the rest
        --whole;
        milliseconds += 1000;
    }
    std::tm local{};
    std::tm utc{};
#ifdef _WIN32
    localtime_s(&local, &whole);
    gmtime_s(&utc, &whole);
#else
    localtime_r(&whole, &local);
    gmtime_r(&whole, &utc);
#endif
    // strftime's %z is not an offset everywhere (the Windows runtime gives
    // the zone's name): the offset is the local clock minus the UTC clock.
    const long offset = (secondsOf(local) - secondsOf(utc)) / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[128];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(milliseconds),
                  offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

std::string changeText(const PortChange& change) {
    using Kind = PortChange::Kind;
    const PortState& port = change.port();
    std::string text = "port " + std::to_string(port.index) + " (target " +
                       std::to_string(port.target.targetId) + " on adapter " +
                       adapterText(port.target) + "): ";
    const PortState& before = change.before != nullptr ? *change.before : noPort();
    const PortState& after = change.after != nullptr ? *change.after : noPort();
    switch (change.kind) {
    case Kind::PortAdded:
        text += "added: " + after.connector + ", " +
                (after.monitor ? "monitor " + quoted(after.monitor->name) + " " +
                                     preferredText(after.monitor->preferredMode)
                               : std::string("no monitor")) +
                ", display " + displayIdCell(after) + ", " + modeCount(after.modes.size());
        break;
    case Kind::PortRemoved:
        text += "removed: " + before.connector + ", display " + displayIdCell(before);
        break;
    case Kind::ConnectorChanged:
        text += "connector changed: " + before.connector + " -> " + after.connector;
        break;
    case Kind::MonitorAttached:
        text += "monitor attached" +
                (after.monitor ? ": " + quoted(after.monitor->name) + ", preferred mode " +
                                     preferredText(after.monitor->preferredMode)
                               : std::string());
        break;
    case Kind::MonitorDetached:
        text += "monitor detached" +
                (before.monitor ? ": " + quoted(before.monitor->name) : std::string());
        break;
    case Kind::NameChanged:
        text += "monitor name changed: " + quoted(before.connectedMonitor()->name) + " -> " +
                quoted(after.connectedMonitor()->name);
        break;
    case Kind::PreferredModeChanged:
        text +=
            "preferred mode changed: " + preferredText(before.connectedMonitor()->preferredMode) +
            " -> " + preferredText(after.connectedMonitor()->preferredMode);
        break;
    case Kind::DisplayIdChanged:
        text +=
            "display id changed: " + orDash(before.displayId) + " -> " + orDash(after.displayId);
        break;
    case Kind::ModesChanged:
        text += "modes changed: " + std::to_string(change.modesAdded) + " added, " +
                std::to_string(change.modesRemoved) + " removed, " + modeCount(after.modes.size()) +
                " now";
        break;
    case Kind::CurrentModeChanged:
        text += "current mode changed: " + signalText(*before.current) + " -> " +
                signalText(*after.current);
        break;
    case Kind::PositionChanged:
        text += "moved: " + positionText(*before.current) + " -> " + positionText(*after.current);
        break;
    case Kind::RotationChanged:
        text += "rotation changed: " + std::to_string(before.current->rotation) + " -> " +
                std::to_string(after.current->rotation) + " degrees";
        break;
    case Kind::PrimaryChanged:
        text +=
            after.current->primary ? "became the primary display" : "no longer the primary display";
        break;
    case Kind::MonitorConnected:
        text += "monitor connected, not in use: " + quoted(after.inactiveMonitor->name);
        break;
    case Kind::MonitorDisconnected:
        text += "monitor disconnected: " + quoted(before.inactiveMonitor->name);
        break;
    case Kind::MonitorChanged:
        text += "another monitor: " + quoted(before.connectedMonitor()->name) + " -> " +
                quoted(after.connectedMonitor()->name);
        break;
    case Kind::WorkAreaChanged:
        text += "work area changed: " + rectText(before.desktop->workArea) + " -> " +
                rectText(after.desktop->workArea);
        break;
    case Kind::ScaleChanged:
        text += "scale changed: " + scaleText(before.desktop) + " -> " + scaleText(after.desktop);
        break;
    case Kind::AdvancedColorChanged:
        text += std::string("HDR changed: ") + snapshot::hdrName(before.color) + " -> " +
                snapshot::hdrName(after.color);
        break;
    }
    return text;
}

nlohmann::ordered_json changeJson(const PortChange& change, const std::string& time) {
    using Kind = PortChange::Kind;
    const PortState& port = change.port();
    Json json;
    json["time"] = time;
    json["event"] = snapshot::eventName(change.kind);
    json["index"] = port.index;
    json["adapterId"] = adapterText(port.target);
    json["targetId"] = port.target.targetId;
    json["key"] = port.key;
    const PortState& before = change.before != nullptr ? *change.before : noPort();
    const PortState& after = change.after != nullptr ? *change.after : noPort();
    switch (change.kind) {
    case Kind::PortAdded:
    case Kind::PortRemoved:
        json["port"] = portJson(port);
        break;
    case Kind::ConnectorChanged:
        json["before"] = before.connector;
        json["after"] = after.connector;
        break;
    case Kind::MonitorAttached:
        json["monitor"] = monitorJson(after.monitor);
        json["current"] = currentJson(after);
        break;
    case Kind::MonitorDetached:
        json["monitor"] = monitorJson(before.monitor);
        break;
    case Kind::NameChanged:
        json["before"] = before.connectedMonitor()->name;
        json["after"] = after.connectedMonitor()->name;
        break;
    case Kind::PreferredModeChanged:
        json["before"] = modeJson(before.connectedMonitor()->preferredMode);
        json["after"] = modeJson(after.connectedMonitor()->preferredMode);
        break;
    case Kind::DisplayIdChanged:
        json["before"] = before.displayId;
        json["after"] = after.displayId;
        break;
    case Kind::ModesChanged:
        json["added"] = change.modesAdded;
        json["removed"] = change.modesRemoved;
        json["modeCount"] = after.modes.size();
        break;
    case Kind::CurrentModeChanged:
        json["before"] = currentJson(before);
        json["after"] = currentJson(after);
        break;
    case Kind::PositionChanged:
        json["before"] = Json{{"x", before.current->x}, {"y", before.current->y}};
        json["after"] = Json{{"x", after.current->x}, {"y", after.current->y}};
        break;
    case Kind::RotationChanged:
        json["before"] = before.current->rotation;
        json["after"] = after.current->rotation;
        break;
    case Kind::PrimaryChanged:
        json["before"] = before.current->primary;
        json["after"] = after.current->primary;
        break;
    case Kind::MonitorConnected:
        json["monitor"] = monitorJson(after.inactiveMonitor);
        break;
    case Kind::MonitorDisconnected:
        json["monitor"] = monitorJson(before.inactiveMonitor);
        break;
    case Kind::MonitorChanged:
        json["before"] = monitorJson(before.connectedMonitor());
        json["after"] = monitorJson(after.connectedMonitor());
        break;
    case Kind::WorkAreaChanged:
        json["before"] = rectJson(before.desktop->workArea);
        json["after"] = rectJson(after.desktop->workArea);
        break;
    case Kind::ScaleChanged:
        json["before"] = Json{{"dpi", before.desktop->dpi}, {"scale", before.desktop->scale()}};
        json["after"] = Json{{"dpi", after.desktop->dpi}, {"scale", after.desktop->scale()}};
        break;
    case Kind::AdvancedColorChanged:
        json["before"] = colorJson(before.color);
        json["after"] = colorJson(after.color);
        break;
    }
    return json;
}

} // namespace tools
