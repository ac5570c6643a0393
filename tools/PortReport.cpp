#include "PortReport.h"

#include "DisplayWidth.h"

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

Json monitorJson(const std::optional<MonitorState>& monitor) {
    if (!monitor) {
        return nullptr;
    }
    return Json{{"name", monitor->name},
                {"devicePath", monitor->devicePath},
                {"displayId", monitor->displayId},
                {"preferredMode", modeJson(monitor->preferredMode)}};
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

} // namespace

std::string modeText(const Mode& mode) {
    return std::to_string(mode.width) + "x" + std::to_string(mode.height) + " @ " +
           std::to_string(mode.refreshRate) + " Hz";
}

std::string tableText(const std::vector<PortState>& ports, bool withModes) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"PORT", "CONNECTOR", "MONITOR", "DISPLAY ID", "NAME", "PREFERRED MODE"});
    for (const PortState& port : ports) {
        const auto& monitor = port.monitor;
        rows.push_back({std::to_string(port.index), port.connector,
                        port.monitorAttached ? "yes" : "no", displayIdCell(port),
                        monitor && !monitor->name.empty() ? monitor->name : "-",
                        monitor ? preferredText(monitor->preferredMode) : "-"});
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
    return json;
}

std::string adapterText(const PortKey& key) {
    char text[24];
    std::snprintf(text, sizeof text, "%08lx:%08lx",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(key.adapterHigh)),
                  static_cast<unsigned long>(key.adapterLow));
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
    const PortState& port = change.kind == Kind::PortRemoved ? change.before : change.after;
    std::string text = "port " + std::to_string(port.index) + " (target " +
                       std::to_string(port.key.targetId) + " on adapter " + adapterText(port.key) +
                       "): ";
    const auto& before = change.before;
    const auto& after = change.after;
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
        text += "monitor name changed: " + quoted(before.monitor->name) + " -> " +
                quoted(after.monitor->name);
        break;
    case Kind::PreferredModeChanged:
        text += "preferred mode changed: " + preferredText(before.monitor->preferredMode) + " -> " +
                preferredText(after.monitor->preferredMode);
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
    }
    return text;
}

nlohmann::ordered_json changeJson(const PortChange& change, const std::string& time) {
    using Kind = PortChange::Kind;
    static const char* const events[] = {
        "portAdded",       "portRemoved", "connectorChanged",     "monitorAttached",
        "monitorDetached", "nameChanged", "preferredModeChanged", "displayIdChanged",
        "modesChanged"};
    const PortState& port = change.kind == Kind::PortRemoved ? change.before : change.after;
    Json json;
    json["time"] = time;
    json["event"] = events[static_cast<int>(change.kind)];
    json["index"] = port.index;
    json["adapterId"] = adapterText(port.key);
    json["targetId"] = port.key.targetId;
    const auto& before = change.before;
    const auto& after = change.after;
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
        break;
    case Kind::MonitorDetached:
        json["monitor"] = monitorJson(before.monitor);
        break;
    case Kind::NameChanged:
        json["before"] = before.monitor->name;
        json["after"] = after.monitor->name;
        break;
    case Kind::PreferredModeChanged:
        json["before"] = modeJson(before.monitor->preferredMode);
        json["after"] = modeJson(after.monitor->preferredMode);
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
    }
    return json;
}

} // namespace tools
