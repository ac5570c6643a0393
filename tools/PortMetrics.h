// The ports as Prometheus metrics, in the text exposition format (version
// 0.0.4) that the textfile collectors of the node and Windows exporters read.
#pragma once

#include <PortState.h>

#include <optional>
#include <string>
#include <vector>

namespace tools {

/// `text` as a label value between double quotes: a backslash, a double
/// quote and a line feed escaped with a backslash, all else as it is
/// (UTF-8, which the format requires, is what PortState holds).
std::string labelValue(const std::string& text);

/// The metrics of `ports`, every family with its HELP and TYPE lines; `ports`
/// is empty when the display configuration could not be read, which
/// videoports_read_success 0 then says, with no port series. By the
/// info-metric convention, videoports_port_info{key, connector, display_id}
/// and, for each connected monitor, videoports_monitor_info{key,
/// manufacturer, product_code, serial, name, year} carry the descriptive
/// labels once (value 1); every other series of a port has the key label
/// alone. The current mode's series are there for a port in use only, its
/// refresh rate only when the platform told it. No time stamps: the
/// collectors refuse them.
std::string metricsText(const std::optional<std::vector<snapshot::PortState>>& ports,
                        const std::string& version);

} // namespace tools
