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

// The labels that name a port in each of its series. The EDID product code
// is in hexadecimal, as the monitor's device path shows it: DEL and A0E2 in
// "DISPLAY#DELA0E2#...".
std::string portLabels(const PortState& port) {
    const auto& monitor = port.monitor;
    const auto& ids = monitor ? monitor->ids : std::nullopt;
    char productCode[8] = "";
    if (ids) {
        std::snprintf(productCode, sizeof productCode, "%04X", unsigned{ids->productCode});
    }
    return "{key=" + labelValue(port.key) + ",connector=" + labelValue(port.connector) +
           ",display_id=" + labelValue(port.displayId) +
           ",monitor=" + labelValue(monitor ? monitor->name : "") +
           ",manufacturer=" + labelValue(ids ? ids->manufacturerId : "") +
           ",product_code=" + labelValue(productCode) + "}";
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
     "Whether a monitor is attached to the port (its path is active).",
     [](const PortState& port) -> std::optional<double> { return port.monitorAttached; }},
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
    std::vector<std::string> labels;
    for (const PortState& port : *ports) {
        labels.push_back(portLabels(port));
    }
    for (const PortGauge& gauge : portGauges) {
        openFamily(text, gauge.name, gauge.help);
        for (std::size_t i = 0; i < ports->size(); ++i) {
            if (const std::optional<double> value = gauge.value((*ports)[i])) {
                text += gauge.name + labels[i] + " " + sampleValue(*value) + "\n";
            }
        }
    }
    return text;
}

} // namespace tools
