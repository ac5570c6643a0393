#include "PortMetrics.h"

#include <charconv>
#include <cstdio>

namespace tools {

namespace {

using snapshot::PortState;

// The HELP and TYPE lines that open a family; every metric here is a gauge.
void openFamily(std::string& text, const char* name, const char* help) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
}

// A sample's value: the shortest text that reads back as `value`, without an
// exponent ("1920", "59.95").
std::string sampleValue(double value) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, written.ptr);
}

// The one label of every series of a port: what names it across restarts.
std::string keyLabel(const PortState& port) {
    return "{key=" + labelValue(port.key) + "}";
}

// What describes a port, once, in videoports_port_info.
std::string portInfoLabels(const PortState& port) {
    return "{key=" + labelValue(port.key) + ",connector=" + labelValue(port.connector) +
           ",display_id=" + labelValue(port.displayId) + "}";
}

// What describes a connected monitor, once, in videoports_monitor_info: the
// EDID ids as the platform gives them (else as the EDID does), the product
// code in hexadecimal as the device path shows it (DEL and A0E2 in
// "DISPLAY#DELA0E2#..."), the serial text or else number, and the year of
// manufacture or model year; "" where nothing tells.
std::string monitorInfoLabels(const PortState& port, const snapshot::MonitorState& monitor) {
    const auto& ids = monitor.ids;
    const auto& info = monitor.edidInfo;
    std::string manufacturer = ids ? ids->manufacturerId : info ? info->manufacturerId : "";
    char productCode[8] = "";
    if (ids || info) {
        std::snprintf(productCode, sizeof productCode, "%04X",
                      unsigned{ids ? ids->productCode : info->productCode});
    }
    std::string serial;
    std::string year;
    if (info) {
        serial = info->serialString   ? *info->serialString
                 : info->serialNumber ? std::to_string(*info->serialNumber)
                                      : "";
        const auto& made = info->year ? info->year : info->modelYear;
        year = made ? std::to_string(*made) : "";
    }
    return "{key=" + labelValue(port.key) + ",manufacturer=" + labelValue(manufacturer) +
           ",product_code=" + labelValue(productCode) + ",serial=" + labelValue(serial) +
           ",name=" + labelValue(monitor.name) + ",year=" + labelValue(year) + "}";
}

/// One gauge of every port: its value for a port, or none where the port
/// has no such value (a free port has no current mode).
struct PortGauge {
    const char* name;
    const char* help;
    std::optional<double> (*value)(const PortState&);
};

const PortGauge portGauges[] = {
    {"videoports_monitor_attached",
     "Whether a monitor is attached to the port and in use (its path is active).",
     [](const PortState& port) -> std::optional<double> { return port.monitorAttached; }},
    {"videoports_monitor_connected",
     "Whether a monitor is connected to the port, in use or not (the target is available).",
     [](const PortState& port) -> std::optional<double> { return port.monitorConnected; }},
    {"videoports_primary", "Whether the port shows the primary display.",
     [](const PortState& port) -> std::optional<double> {
         return port.current && port.current->primary;
     }},
    {"videoports_modes", "How many distinct display modes the port's device reports.",
     [](const PortState& port) -> std::optional<double> {
         return static_cast<double>(port.modes.size());
     }},
    {"videoports_current_width_pixels", "The width of the port's current mode on the desktop.",
     [](const PortState& port) -> std::optional<double> {
         if (!port.current) {
             return std::nullopt;
         }
         return port.current->width;
     }},
    {"videoports_current_height_pixels", "The height of the port's current mode on the desktop.",
     [](const PortState& port) -> std::optional<double> {
         if (!port.current) {
             return std::nullopt;
         }
         return port.current->height;
     }},
    {"videoports_current_refresh_rate_hertz",
     "The refresh rate of the port's current mode, to two decimals.",
     [](const PortState& port) -> std::optional<double> {
         if (!port.current || !port.current->refreshRate.known()) {
             return std::nullopt;
         }
         return port.current->refreshRate.hertz();
     }},
    {"videoports_work_area_width_pixels",
     "The width of the display's work area: the desktop without taskbar and docked bars.",
     [](const PortState& port) -> std::optional<double> {
         return port.desktop ? std::optional<double>(port.desktop->workArea.width()) : std::nullopt;
     }},
    {"videoports_work_area_height_pixels", "The height of the display's work area.",
     [](const PortState& port) -> std::optional<double> {
         return port.desktop ? std::optional<double>(port.desktop->workArea.height())
                             : std::nullopt;
     }},
    {"videoports_dpi", "The display's DPI: 96 draws content at its size, 144 at 150%.",
     [](const PortState& port) -> std::optional<double> {
         return port.desktop ? std::optional<double>(port.desktop->dpi) : std::nullopt;
     }},
    {"videoports_hdr_supported",
     "Whether the display can show advanced colour (HDR); only where the platform tells.",
     [](const PortState& port) -> std::optional<double> {
         return port.color ? std::optional<double>(port.color->supported) : std::nullopt;
     }},
    {"videoports_hdr_enabled", "Whether the display shows advanced colour (HDR) now.",
     [](const PortState& port) -> std::optional<double> {
         return port.color ? std::optional<double>(port.color->enabled) : std::nullopt;
     }},
};

} // namespace

std::string labelValue(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string metricsText(const std::optional<std::vector<PortState>>& ports,
                        const std::string& version) {
    std::string text;
    openFamily(text, "videoports_read_success",
               "Whether the display configuration could be read; without it, no port series.");
    text += std::string("videoports_read_success ") + (ports ? "1" : "0") + "\n";
    openFamily(text, "videoports_build_info", "The version of videoports that wrote the metrics.");
    text += "videoports_build_info{version=" + labelValue(version) + "} 1\n";
    if (!ports) {
        return text;
    }
    // The info-metric convention: the descriptive labels once, in an info
    // series of value 1, and every other series with the key alone, so that
    // a renamed monitor changes one series rather than all.
    openFamily(text, "videoports_port_info", "The port's connector and display id; always 1.");
    for (const PortState& port : *ports) {
        text += "videoports_port_info" + portInfoLabels(port) + " 1\n";
    }
    openFamily(text, "videoports_monitor_info",
               "The connected monitor's EDID identity, serial, name and year; always 1.");
    for (const PortState& port : *ports) {
        if (const snapshot::MonitorState* monitor = port.connectedMonitor()) {
            text += "videoports_monitor_info" + monitorInfoLabels(port, *monitor) + " 1\n";
        }
    }
    for (const PortGauge& gauge : portGauges) {
        openFamily(text, gauge.name, gauge.help);
        for (const PortState& port : *ports) {
            if (const std::optional<double> value = gauge.value(port)) {
                text += gauge.name + keyLabel(port) + " " + sampleValue(*value) + "\n";
            }
        }
    }
    return text;
}

} // namespace tools
