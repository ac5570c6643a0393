// The Prometheus metrics of hand-made port states: label escaping, which
// series each kind of port has, and how values are written.
#include <PortMetrics.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using snapshot::PortState;

TEST(PortMetrics, LabelValuesEscapeBackslashQuoteAndLineFeedOnly) {
    const struct {
        std::string text;
        std::string label;
    } cases[] = {
        {"", R"("")"},
        {"DELL U2719D", R"("DELL U2719D")"},
        {R"(\\?\PCI#VEN_8086#4161)", R"("\\\\?\\PCI#VEN_8086#4161")"},
        {R"(Monitor 19")", R"("Monitor 19\"")"},
        {"two\nlines", R"("two\nlines")"},
        {R"(a \n that is no line feed)", R"("a \\n that is no line feed")"},
        {"\\\"\n", R"("\\\"\n")"},
        {"\xC3\x89"
         "cran\ttab\rreturn",
         "\"\xC3\x89"
         "cran\ttab\rreturn\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tools::labelValue(c.text), c.label) << c.text;
    }
}

PortState freePort() {
    PortState port;
    port.key = R"(\\?\PCI#adapter#4162)";
    port.connector = "VGA";
    port.displayId = R"(\\.\DISPLAY1)";
    port.modes.resize(3);
    return port;
}

PortState portInUse() {
    PortState port = freePort();
    port.key = R"(\\?\PCI#adapter#4161)";
    port.connector = "HDMI";
    port.monitorAttached = true;
    port.monitorConnected = true;
    port.displayId = R"(\\.\DISPLAY2)";
    port.monitor = snapshot::MonitorState{};
    port.monitor->name = "Say \"hi\"\nnow";
    libVideoPortInfo::MonitorIds ids;
    ids.manufacturerId[0] = 'D', ids.manufacturerId[1] = 'E', ids.manufacturerId[2] = 'L';
    ids.productCode = 0xA0E2;
    port.monitor->ids = ids;
    libVideoPortInfo::DisplayState current;
    current.width = 2560;
    current.height = 1440;
    current.refreshRate = {241500000, 4028320}; // 59.95 Hz
    current.primary = true;
    port.current = current;
    return port;
}

// The lines that are samples, in their order; comments left out.
std::vector<std::string> samples(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind('#', 0) != 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

// A monitor switched off: connected, not in use, named by its EDID.
PortState portWithMonitorOff() {
    PortState port = freePort();
    port.key = R"(\\?\PCI#adapter#4163)";
    port.monitorConnected = true;
    port.inactiveMonitor = snapshot::MonitorState{};
    port.inactiveMonitor->name = "Off";
    edid::Edid info;
    info.manufacturerId = "GSM";
    info.productCode = 0x5B7F;
    info.serialString = "204NTAB1X123";
    info.modelYear = 2021;
    port.inactiveMonitor->edidInfo = info;
    return port;
}

// The descriptive labels once per port and per connected monitor, in info
// series; every other series has the key alone, and each kind of port the
// series it has values for: the current mode's only for a port in use, its
// refresh rate only when told.
TEST(PortMetrics, InfoSeriesDescribeAndTheOthersHaveTheKeyAlone) {
    const std::string inUse = R"({key="\\\\?\\PCI#adapter#4161"})";
    const std::string free = R"({key="\\\\?\\PCI#adapter#4162"})";
    const std::string off = R"({key="\\\\?\\PCI#adapter#4163"})";
    const std::string header[] = {"videoports_read_success 1",
                                  "videoports_build_info{version=\"1.2.3\"} 1"};
    PortState unknownRate = portInUse();
    unknownRate.current->refreshRate = {};
    unknownRate.current->primary = false;
    unknownRate.current->width = 1000000;

    const struct {
        std::vector<PortState> ports;
        std::vector<std::string> expected;
    } cases[] = {
        {{}, {}},
        {{portInUse(), freePort(), portWithMonitorOff()},
         {R"(videoports_port_info{key="\\\\?\\PCI#adapter#4161",connector="HDMI",)"
          R"(display_id="\\\\.\\DISPLAY2"} 1)",
          R"(videoports_port_info{key="\\\\?\\PCI#adapter#4162",connector="VGA",)"
          R"(display_id="\\\\.\\DISPLAY1"} 1)",
          R"(videoports_port_info{key="\\\\?\\PCI#adapter#4163",connector="VGA",)"
          R"(display_id="\\\\.\\DISPLAY1"} 1)",
          R"(videoports_monitor_info{key="\\\\?\\PCI#adapter#4161",manufacturer="DEL",)"
          R"(product_code="A0E2",serial="",name="Say \"hi\"\nnow",year=""} 1)",
          R"(videoports_monitor_info{key="\\\\?\\PCI#adapter#4163",manufacturer="GSM",)"
          R"(product_code="5B7F",serial="204NTAB1X123",name="Off",year="2021"} 1)",
          "videoports_monitor_attached" + inUse + " 1",
          "videoports_monitor_attached" + free + " 0",
          "videoports_monitor_attached" + off + " 0",
          "videoports_monitor_connected" + inUse + " 1",
          "videoports_monitor_connected" + free + " 0",
          "videoports_monitor_connected" + off + " 1",
          "videoports_primary" + inUse + " 1",
          "videoports_primary" + free + " 0",
          "videoports_primary" + off + " 0",
          "videoports_modes" + inUse + " 3",
          "videoports_modes" + free + " 3",
          "videoports_modes" + off + " 3",
          "videoports_current_width_pixels" + inUse + " 2560",
          "videoports_current_height_pixels" + inUse + " 1440",
          "videoports_current_refresh_rate_hertz" + inUse + " 59.95"}},
        {{unknownRate},
         {R"(videoports_port_info{key="\\\\?\\PCI#adapter#4161",connector="HDMI",)"
          R"(display_id="\\\\.\\DISPLAY2"} 1)",
          R"(videoports_monitor_info{key="\\\\?\\PCI#adapter#4161",manufacturer="DEL",)"
          R"(product_code="A0E2",serial="",name="Say \"hi\"\nnow",year=""} 1)",
          "videoports_monitor_attached" + inUse + " 1",
          "videoports_monitor_connected" + inUse + " 1", "videoports_primary" + inUse + " 0",
          "videoports_modes" + inUse + " 3", "videoports_current_width_pixels" + inUse + " 1000000",
          "videoports_current_height_pixels" + inUse + " 1440"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> expected(std::begin(header), std::end(header));
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        const std::string text = tools::metricsText(c.ports, "1.2.3");
        EXPECT_EQ(samples(text), expected) << text;
        EXPECT_EQ(text.back(), '\n');
    }
}

TEST(PortMetrics, AnUnreadConfigurationSaysSoWithoutPortSeries) {
    const std::string text = tools::metricsText(std::nullopt, "1.2.3");
    EXPECT_EQ(samples(text),
              (std::vector<std::string>{"videoports_read_success 0",
                                        "videoports_build_info{version=\"1.2.3\"} 1"}));
}

} // namespace
