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
/// videoports_read_success 0 then says, with no port series. Every series
/// of a port has the same labels: key, connector, display_id, monitor,
/// manufacturer, product_code (empty where the platform told nothing). The
/// current mode's series are there for a port in use only, its refresh rate
/// only when the platform told it. No time stamps: the collectors refuse them.
std::string metricsText(const std::optional<std::vector<snapshot::PortState>>& ports,
                        const std::string& version);

} // namespace tools
