// How videoports shows ports and their changes: the aligned table, the JSON
// document, and one line per change (text or JSON Lines), each change line
// stamped with the local time.
#pragma once

#include <PortChanges.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace tools {

using snapshot::Mode;
using snapshot::MonitorState;
using snapshot::PortChange;
using snapshot::PortState;
using snapshot::PortTarget;

/// "1920x1080 @ 60 Hz".
std::string modeText(const Mode& mode);

/// Where and how a port in use is shown: "1920x1080+1920+0 @ 59.95 Hz", then
/// ", interlaced", ", rotated 90" and ", primary" where they apply.
std::string currentText(const libVideoPortInfo::DisplayState& state);

/// The aligned table of `ports` (header first) and, with `withModes`, each
/// port's modes after it. A preferred mode the platform did not tell shows as
/// "unknown"; the display id of a port without a monitor is in parentheses.
std::string tableText(const std::vector<PortState>& ports, bool withModes);

/// The desktop of `ports` as an SVG picture (LayoutSvg.h): each display in
/// use at its place, with its number, monitor name, connector, mode, scale,
/// work area and whether it is primary; the other ports listed, free or with
/// their monitor switched off.
std::string layoutSvgText(const std::vector<PortState>& ports);

/// One port as the JSON document lists it, fields in a stable order.
nlohmann::ordered_json portJson(const PortState& port);

/// The adapter identifier as text: its high and low part in hexadecimal,
/// "00000000:0000d6a1".
std::string adapterText(const PortTarget& target);

/// `time` as a local time with milliseconds and the offset from UTC:
/// "2025-06-01T14:03:07.250+02:00".
std::string localTimestamp(std::chrono::system_clock::time_point time);

/// One change as a line of text, without the time stamp and newline.
std::string changeText(const PortChange& change);

/// One change as one JSON object: "time", "event", the port's "index",
/// "adapterId", "targetId" and "key", then what the event carries.
nlohmann::ordered_json changeJson(const PortChange& change, const std::string& time);

} // namespace tools
