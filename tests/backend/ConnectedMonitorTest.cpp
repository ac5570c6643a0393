// Monitors connected to ports in use and not in use, and their EDIDs: what
// the ports answer, which platform calls they make for it (and that a
// refresh makes none of them), and how failures end.
#include "BackendTestSupport.h"
#include "DisplayDecoding.h"

#include <edid/Edid.h>
#include <standin/ConfigurationJson.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace backend_test {
namespace {

using libVideoPortInfo::ConnectedMonitor;
using libVideoPortInfo::MonitorMode;
using libVideoPortInfo::RefreshRate;
using standin::Operation;

std::vector<std::uint8_t> corpusEdid(const std::string& name) {
    std::ifstream in(std::string(VPI_EDID_CORPUS_DIR) + "/" + name + ".bin", std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

using ConnectedMonitors = BackendTest;

// A desktop's NVIDIA card: a Dell in use on DisplayPort, an LG TV on HDMI
// and a BenQ on DVI connected but not in use, a second DisplayPort free.
TEST_F(ConnectedMonitors, EveryConnectedMonitorInFullWhetherInUseOrNot) {
    serve(standin::loadConfigurationFile(std::string(VPI_BACKEND_DATA_DIR) +
                                         "/nvidia-desktop-idle-monitors.json"));
    const RefreshRate hz5995{241500000, 4028320};
    const struct {
        bool inUse, connected;
        const char *name, *edid, *ids;
        std::uint16_t product;
        MonitorMode preferred;
    } expected[] = {
        {true, true, "DELL U2719D", "Dell-U2719D", "DEL", 0x415A, {2560, 1440, hz5995}},
        {false, true, "LG TV", "LG-TV-GSM0001", "GSM", 0x0001, {1920, 1080, {148500000, 2475000}}},
        {false, true, "BenQ GW2765", "BenQ-GW2765", "BNQ", 0x78D6, {2560, 1440, hz5995}},
        {false, false, "", "", "", 0, {}},
    };
    // The refresh reads each port's source name and the two records of the
    // one in use; nothing of the idle monitors, of the desktop or of colour,
    // no EDID.
    EXPECT_EQ(callsOf([&] { ASSERT_TRUE(factory->refresh()); }), (Calls{1, 1, 4 + 2, 0, 0, 0}));
    ASSERT_EQ(factory->numVideoPorts(), std::size(expected));

    for (unsigned i = 0; i < std::size(expected); ++i) {
        const auto& e = expected[i];
        SCOPED_TRACE(i);
        const VideoPortWin7& p = port(i);
        EXPECT_EQ(p.hasAttachedMonitor(), e.inUse);
        EXPECT_EQ(p.isMonitorConnected(), e.connected);
        // A monitor in use answers from the refresh; an idle one asks again.
        const unsigned asked = e.connected && !e.inUse ? 2 : 0;
        std::optional<ConnectedMonitor> monitor;
        EXPECT_EQ(callsOf([&] { monitor = p.connectedMonitor(); }), (Calls{0, 0, asked, 0, 0, 0}));
        std::vector<std::uint8_t> edid;
        EXPECT_EQ(callsOf([&] { edid = p.monitorEdid(); }),
                  (Calls{0, 0, asked / 2, 0, 0, e.connected ? 1u : 0u}));
        EXPECT_EQ(edid, e.connected ? corpusEdid(e.edid) : std::vector<std::uint8_t>());
        ASSERT_EQ(monitor.has_value(), e.connected);
        if (monitor) {
            EXPECT_TRUE(monitor->targetNameRead && monitor->preferredModeRead);
            EXPECT_EQ(monitor->name.toUtf8(), e.name);
            char idsInPath[16];
            std::snprintf(idsInPath, sizeof idsInPath, "#%s%04X#", e.ids, unsigned(e.product));
            EXPECT_NE(monitor->devicePath.toUtf8().find(idsInPath), std::string::npos);
            ASSERT_TRUE(monitor->ids.has_value());
            EXPECT_STREQ(monitor->ids->manufacturerId, e.ids);
            EXPECT_EQ(monitor->ids->productCode, e.product);
            EXPECT_EQ(monitor->connectorInstance, 1u);
            EXPECT_EQ(monitor->preferredMode, e.preferred);
        }
    }
    EXPECT_TRUE(lines.empty());
}

// The built-in laptop's EDIDs agree with the ids its target names give.
TEST_F(ConnectedMonitors, TheBuiltInMonitorsEdidsAgreeWithTheirIds) {
    ASSERT_TRUE(factory->refresh());
    unsigned withEdid = 0;
    for (unsigned i = 0; i < factory->numVideoPorts(); ++i) {
        const auto ids = port(i).monitorIds();
        const auto decoded = edid::decode(port(i).monitorEdid());
        ASSERT_EQ(ids.has_value(), decoded.has_value()) << i;
        if (ids) {
            EXPECT_EQ(decoded->manufacturerId, ids->manufacturerId) << i;
            EXPECT_EQ(decoded->productCode, ids->productCode) << i;
            ++withEdid;
        }
    }
    EXPECT_EQ(withEdid, 2u);
}

// The platform hands the manufacturer id over byte-swapped; read back, every
// corpus EDID's ids are the decoder's.
TEST(EdidIds, ThePlatformsIdsReadAsTheDecoderReadsTheEdid) {
    unsigned files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VPI_EDID_CORPUS_DIR)) {
        if (entry.path().extension() != ".bin") {
            continue;
        }
        const std::vector<std::uint8_t> bytes = corpusEdid(entry.path().stem().string());
        const auto decoded = edid::decode(bytes);
        ASSERT_TRUE(decoded.has_value()) << entry.path();
        const auto ids = libVideoPortInfo::decoding::monitorIdsOf(
            static_cast<std::uint16_t>(bytes[9] << 8 | bytes[8]),
            static_cast<std::uint16_t>(bytes[11] << 8 | bytes[10]));
        EXPECT_EQ(ids.manufacturerId, decoded->manufacturerId) << entry.path();
        EXPECT_EQ(ids.productCode, decoded->productCode) << entry.path();
        ++files;
    }
    EXPECT_GT(files, 40u);
}

/// One adapter: target 100 in use, 101 connected and idle, 102 in use but
/// flagged unavailable; the idle monitor's path is "\\?\DISPLAY#IDLE".
Configuration idleMonitorConfiguration() {
    Configuration config = simpleConfiguration(3, 1);
    config.paths[1].targetInfo.targetAvailable = TRUE;
    setTargetName(config, adapter(0x1234), 101, u"Idle", u"\\\\?\\DISPLAY#IDLE",
                  DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI, 0x0000, 0x0001);
    setPreferredMode(config, adapter(0x1234), 101, 1280, 1024, 75, 0);
    config.paths[2].flags = DISPLAYCONFIG_PATH_ACTIVE;
    return config;
}

TEST_F(ConnectedMonitors, FailedRequestsLeaveTheirPartEmptyAndLogAtDebugOnly) {
    Configuration config = idleMonitorConfiguration();
    config.edids[u"\\\\?\\display#idle"] = {0x00, 0xFF}; // another case: the same path
    setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, adapter(0x1234),
                       100, ERROR_NOT_SUPPORTED); // as Wine answers
    serve(config);
    const ConnectedMonitor inUse = port(0).connectedMonitor().value();
    EXPECT_TRUE(inUse.targetNameRead);
    EXPECT_FALSE(inUse.preferredModeRead);
    EXPECT_EQ(inUse.preferredMode, MonitorMode{});
    const VideoPortWin7& idle = port(1);
    ConnectedMonitor monitor = idle.connectedMonitor().value();
    EXPECT_STREQ(monitor.ids->manufacturerId, "@@@") << "zero letters, as Windows spells them";
    EXPECT_EQ(monitor.preferredMode, (MonitorMode{1280, 1024, {}})) << "no rate over 0";
    EXPECT_EQ(idle.monitorEdid(), (std::vector<std::uint8_t>{0x00, 0xFF}));
    EXPECT_FALSE(port(2).isMonitorConnected()) << "in use, but not available";
    EXPECT_FALSE(port(2).connectedMonitor().has_value());
    EXPECT_EQ(callsOf([&] { EXPECT_TRUE(port(2).monitorEdid().empty()); }),
              (Calls{0, 0, 0, 0, 0, 0}));

    // Each failure, logged at debug priority only.
    tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_DEBUG);
    standin::failCall(Operation::DisplayConfigGetDeviceInfo, 1, ERROR_GEN_FAILURE);
    standin::failCall(Operation::DisplayConfigGetDeviceInfo, 2, ERROR_NOT_SUPPORTED);
    monitor = idle.connectedMonitor().value();
    EXPECT_FALSE(monitor.targetNameRead || monitor.preferredModeRead);
    EXPECT_TRUE(monitor.name.empty() && monitor.devicePath.empty());
    EXPECT_FALSE(monitor.ids.has_value() || monitor.connectorInstance.has_value());
    EXPECT_EQ(monitor.preferredMode, MonitorMode{});
    standin::failCall(Operation::DisplayConfigGetDeviceInfo, 1, ERROR_GEN_FAILURE);
    EXPECT_TRUE(idle.monitorEdid().empty());
    standin::failCall(Operation::ReadMonitorEdid, 1, 5); // ERROR_ACCESS_DENIED
    EXPECT_TRUE(idle.monitorEdid().empty());
    EXPECT_TRUE(port(0).monitorEdid().empty()) << "a monitor in use without an EDID";
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "libVideoPortInfo DEBUG 102 Unable to get monitor name of a connected monitor 31",
                  "libVideoPortInfo DEBUG 103 Unable to get preferred mode of a connected monitor "
                  "50",
                  "libVideoPortInfo DEBUG 102 Unable to get monitor name of a connected monitor 31",
                  "libVideoPortInfo DEBUG 101 Unable to read the EDID of a monitor 5",
                  "libVideoPortInfo DEBUG 101 Unable to read the EDID of a monitor 2"}));
}

// EDIDs of every size the first buffer does not hold are read again at
// theirs; an empty one is no EDID, and a platform that keeps giving larger
// sizes is given up on.
TEST_F(ConnectedMonitors, EdidsOfAnySizeAreReadWhole) {
    for (const std::size_t size : {0, 1, 128, 512, 513, 4096, 32768}) {
        SCOPED_TRACE(size);
        Configuration config = idleMonitorConfiguration();
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 7 + size);
        }
        config.edids[u"\\\\?\\DISPLAY#IDLE"] = bytes;
        serve(config);
        std::vector<std::uint8_t> edid;
        const Calls calls = callsOf([&] { edid = port(1).monitorEdid(); });
        EXPECT_EQ(edid, bytes);
        EXPECT_EQ(calls[5], size > 512 ? 2u : 1u);
    }
    EXPECT_TRUE(lines.empty());

    Configuration config = idleMonitorConfiguration();
    config.edids[u"\\\\?\\DISPLAY#IDLE"] = std::vector<unsigned char>(32769);
    serve(config);
    EXPECT_EQ(callsOf([&] { EXPECT_TRUE(port(1).monitorEdid().empty()); })[5], 1u);
}

} // namespace
} // namespace backend_test
