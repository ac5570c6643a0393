// A decoded EDID as JSON, for videoports --edid and the --json report.
#pragma once

#include <edid/Edid.h>

#include <nlohmann/json.hpp>

namespace tools {

/// Every field of `edid` under its own name, in the order of edid::Edid, with
/// null where a value is absent.
nlohmann::ordered_json edidJson(const edid::Edid& edid);

} // namespace tools
