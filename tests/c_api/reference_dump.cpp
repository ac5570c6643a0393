// Prints the ports in the text form of dump.h, through the C++ interface: the
// answer the C interface's snapshot must repeat.
#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dump.h"

using namespace libVideoPortInfo;

namespace {

vpi_mode modeOf(const DisplayResolution& mode) {
    return vpi_mode{mode.width(), mode.height(), mode.frequency(), mode.bitsPerPixel()};
}

} // namespace

int main() {
    auto factory = VideoPortFactoryWin7::factory();
    if (!factory->refresh()) {
        std::fprintf(stderr, "reference_dump: the display configuration could not be read\n");
        return 1;
    }
    for (unsigned i = 0; i < factory->numVideoPorts(); ++i) {
        const VideoPort& port = *factory->videoPort(i);
        const std::string displayId = port.displayId().toUtf8();
        std::string name, path;
        vpi_port out{};
        out.index = i;
        out.connector = port.connectorType();
        out.connector_name = connectorTypeName(port.connectorType());
        out.monitor_attached = port.hasAttachedMonitor() ? 1 : 0;
        out.display_id = displayId.c_str();
        if (const auto monitor = port.monitor()) {
            name = monitor->name().toUtf8();
            path = monitor->devicePath().toUtf8();
            out.monitor_name = name.c_str();
            out.monitor_device_path = path.c_str();
            out.preferred_mode = modeOf(monitor->preferredResolution());
        }
        tkl::Array<DisplayResolution> resolutions;
        port.supportedResolution(resolutions);
        std::vector<vpi_mode> modes;
        for (unsigned k = 0; k < resolutions.size(); ++k) {
            modes.push_back(modeOf(resolutions[k]));
        }
        out.mode_count = static_cast<uint32_t>(modes.size());
        out.modes = modes.empty() ? nullptr : modes.data();

        const auto& win7 = static_cast<const VideoPortWin7&>(port);
        out.adapter_id_low = win7.portId().LowPart;
        out.adapter_id_high = win7.portId().HighPart;
        out.target_id = win7.targetId();
        const std::string key = win7.portKey().toUtf8();
        out.key = key.c_str();
        out.output_technology = win7.outputTechnology();
        out.embedded = win7.isEmbedded() ? 1 : 0;
        out.connector_instance =
            win7.connectorInstance() ? static_cast<int64_t>(*win7.connectorInstance()) : -1;
        vpi_display_state current{};
        if (const auto state = win7.displayState()) {
            current.size = sizeof current;
            current.width = state->width;
            current.height = state->height;
            current.x = state->x;
            current.y = state->y;
            current.refresh_numerator = state->refreshRate.numerator;
            current.refresh_denominator = state->refreshRate.denominator;
            current.refresh_hz = state->refreshRate.hertz();
            current.interlaced = state->interlaced ? 1 : 0;
            current.rotation = state->rotation;
            current.scaling = static_cast<uint32_t>(state->scaling);
            current.scaling_name = scalingName(state->scaling);
            current.primary = state->primary ? 1 : 0;
            out.current = &current;
        }
        const auto ids = win7.monitorIds();
        if (ids) {
            out.monitor_manufacturer_id = ids->manufacturerId;
            out.monitor_product_code = ids->productCode;
        }
        dumpPort(stdout, &out);
    }
    return 0;
}
