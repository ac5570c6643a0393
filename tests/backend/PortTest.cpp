#include "BackendTestSupport.h"

#include <libVideoPortInfo/ExtDevMode.h>
#include <libVideoPortInfo/Monitor.h>

#include <cstring>
#include <utility>

namespace backend_test {
namespace {

using libVideoPortInfo::ConnectorType;
using Port = BackendTest;

TEST_F(Port, ConnectorMappingOfEveryPlatformValue) {
    const std::vector<std::pair<UINT32, ConnectorType>> cases = {
        {0, libVideoPortInfo::Vga},
        {1, libVideoPortInfo::SVideo},
        {2, libVideoPortInfo::Composite},
        {3, libVideoPortInfo::Component},
        {4, libVideoPortInfo::Dvi},
        {5, libVideoPortInfo::Hdmi},
        {6, libVideoPortInfo::Lvds},
        {7, libVideoPortInfo::Other},
        {8, libVideoPortInfo::DJpn},
        {9, libVideoPortInfo::Sdi},
        {10, libVideoPortInfo::DisplayPort},
        {11, libVideoPortInfo::DisplayPort},
        {12, libVideoPortInfo::Udi},
        {13, libVideoPortInfo::Udi},
        {14, libVideoPortInfo::SdtvDongle},
        {15, libVideoPortInfo::Other},
        {0xFFFFFFFFu, libVideoPortInfo::Other}, // OTHER, -1
        {0x80000000u, libVideoPortInfo::Internal},
        {0x80000001u, libVideoPortInfo::Other},
        {0x7FFFFFFFu, libVideoPortInfo::Other},
    };
    Configuration config;
    for (UINT32 i = 0; i < cases.size(); ++i) {
        DISPLAYCONFIG_PATH_INFO path =
            standin::makePath(adapter(1), 0, i, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI);
        std::memcpy(&path.targetInfo.outputTechnology, &cases[i].first, sizeof(UINT32));
        config.paths.push_back(path);
    }
    setSourceName(config, adapter(1), 0, gdiName(1));
    serve(config);
    ASSERT_EQ(factory->numVideoPorts(), cases.size());
    for (unsigned i = 0; i < cases.size(); ++i) {
        const ConnectorType type = factory->videoPort(i)->connectorType();
        EXPECT_EQ(type, cases[i].second) << "platform value " << cases[i].first;
        EXPECT_GE(static_cast<int>(type), 0);
        EXPECT_LE(static_cast<int>(type), 13);
    }
}

TEST_F(Port, ActivePathGetsItsMonitorRecord) {
    Configuration config = simpleConfiguration(1, 1);
    setPreferredMode(config, adapter(0x1234), 100, 2560, 1440, 59951, 1000);
    serve(config);
    const VideoPort& port = *factory->videoPort(0);
    EXPECT_TRUE(port.hasAttachedMonitor());
    EXPECT_EQ(port.displayId().toUtf8(), "\\\\.\\DISPLAY1");
    const auto monitor = port.monitor();
    ASSERT_TRUE(monitor);
    EXPECT_EQ(monitor->name().toUtf8(), "Monitor 0");
    EXPECT_EQ(monitor->devicePath().toUtf8(), "\\\\?\\DISPLAY#MON0");
    EXPECT_EQ(monitor->displayId(), port.displayId());
    const auto& preferred = monitor->preferredResolution();
    EXPECT_EQ(preferred.width(), 2560u);
    EXPECT_EQ(preferred.height(), 1440u);
    EXPECT_EQ(preferred.frequency(), 60u); // 59.951 Hz rounded
    EXPECT_EQ(preferred.bitsPerPixel(), 0u);
}

TEST_F(Port, InactivePathAsksForNoMonitor) {
    serve(simpleConfiguration(2, 0));
    const unsigned before = standin::callCount(standin::Operation::DisplayConfigGetDeviceInfo);
    ASSERT_TRUE(factory->refresh());
    EXPECT_EQ(standin::callCount(standin::Operation::DisplayConfigGetDeviceInfo) - before, 2u)
        << "only the two source names";
    for (unsigned i = 0; i < 2; ++i) {
        EXPECT_FALSE(factory->videoPort(i)->hasAttachedMonitor());
        EXPECT_FALSE(factory->videoPort(i)->monitor());
        EXPECT_EQ(factory->videoPort(i)->displayId().toUtf8(),
                  "\\\\.\\DISPLAY" + std::to_string(i + 1));
    }
}

TEST_F(Port, FailedNameAndModeQueriesStillGiveAMonitor) {
    Configuration config = simpleConfiguration(1, 1);
    setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, adapter(0x1234), 100,
                       ERROR_GEN_FAILURE);
    setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, adapter(0x1234),
                       100, ERROR_NOT_SUPPORTED);
    standin::setConfiguration(config);
    ASSERT_TRUE(factory->refresh());
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "libVideoPortInfo WARNING 60 Unable to get monitor name of an attached monitor 31",
            "libVideoPortInfo WARNING 71 Unable to get preferred mode setting 50"}));
    const auto monitor = factory->videoPort(0)->monitor();
    ASSERT_TRUE(monitor);
    EXPECT_TRUE(monitor->name().empty());
    EXPECT_TRUE(monitor->devicePath().empty());
    EXPECT_EQ(monitor->displayId().toUtf8(), "\\\\.\\DISPLAY1");
    EXPECT_EQ(monitor->preferredResolution(), libVideoPortInfo::DisplayResolution(0, 0, 0, 0));
}

TEST_F(Port, FailedSourceNameIsLoggedAtDebugAndLeavesTheIdEmpty) {
    Configuration config = simpleConfiguration(1, 1);
    setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, adapter(0x1234), 0,
                       ERROR_GEN_FAILURE);
    standin::setConfiguration(config);
    ASSERT_TRUE(factory->refresh());
    EXPECT_TRUE(lines.empty()) << "priority 1 is below the default threshold";
    EXPECT_TRUE(factory->videoPort(0)->displayId().empty());
    EXPECT_TRUE(factory->videoPort(0)->monitor());

    tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_DEBUG);
    ASSERT_TRUE(factory->refresh());
    EXPECT_EQ(lines, std::vector<std::string>{
                         "libVideoPortInfo DEBUG 47 DisplayConfigGetDeviceInfo returns 31"});
}

TEST_F(Port, NamesFillingTheirFieldsAreReadToTheFieldEndOnly) {
    Configuration config = simpleConfiguration(1, 1);
    const std::u16string gdi(32, u'G');
    const std::u16string friendly(64, u'F');
    const std::u16string path(128, u'P');
    setSourceName(config, adapter(0x1234), 0, gdi);
    setTargetName(config, adapter(0x1234), 100, friendly, path);
    serve(config);
    const VideoPort& port = *factory->videoPort(0);
    EXPECT_EQ(port.displayId().toUtf8(), std::string(32, 'G'));
    EXPECT_EQ(port.monitor()->name().toUtf8(), std::string(64, 'F'));
    EXPECT_EQ(port.monitor()->devicePath().toUtf8(), std::string(128, 'P'));
}

TEST_F(Port, ZeroRefreshDenominatorGivesZeroHertz) {
    Configuration config = simpleConfiguration(1, 1);
    setPreferredMode(config, adapter(0x1234), 100, 1024, 768, 60, 0);
    serve(config);
    const auto& preferred = factory->videoPort(0)->monitor()->preferredResolution();
    EXPECT_EQ(preferred.width(), 1024u);
    EXPECT_EQ(preferred.frequency(), 0u);
}

TEST_F(Port, CopiesShareTheMonitorAndOutliveTheFactorysPort) {
    serve(simpleConfiguration(2, 2));
    const VideoPortWin7& original = port(1);
    VideoPortWin7 copy(original);
    EXPECT_EQ(copy.monitor().get(), original.monitor().get());
    EXPECT_EQ(copy.displayId(), original.displayId());
    EXPECT_EQ(std::memcmp(&copy.pathInfo(), &original.pathInfo(), sizeof(DISPLAYCONFIG_PATH_INFO)),
              0);
    EXPECT_NE(&copy.portId(), &original.portId());

    VideoPortWin7 other(port(0));
    other = copy;
    EXPECT_EQ(other.monitor().get(), copy.monitor().get());
    other = other;
    EXPECT_EQ(other.monitor().get(), copy.monitor().get());
    EXPECT_EQ(other.displayId().toUtf8(), "\\\\.\\DISPLAY2");

    // The factory's ports die on refresh; the copies keep the monitor alive.
    serve(simpleConfiguration(1, 0));
    ASSERT_TRUE(copy.monitor());
    EXPECT_EQ(copy.monitor()->name().toUtf8(), "Monitor 1");
    EXPECT_EQ(other.monitor()->name().toUtf8(), "Monitor 1");
}

TEST_F(Port, MonitorCopiesAreIndependent) {
    serve(simpleConfiguration(2, 2));
    const libVideoPortInfo::Monitor& first = *factory->videoPort(0)->monitor();
    const libVideoPortInfo::Monitor& second = *factory->videoPort(1)->monitor();
    libVideoPortInfo::Monitor copy(first);
    EXPECT_EQ(copy.name(), first.name());
    EXPECT_EQ(copy.preferredResolution(), first.preferredResolution());
    copy = second;
    EXPECT_EQ(copy.name().toUtf8(), "Monitor 1");
    EXPECT_EQ(copy.devicePath(), second.devicePath());
    EXPECT_EQ(first.name().toUtf8(), "Monitor 0");
    serve(simpleConfiguration(1, 0)); // destroys the originals
    EXPECT_EQ(copy.name().toUtf8(), "Monitor 1");
    EXPECT_EQ(copy.displayId().toUtf8(), "\\\\.\\DISPLAY2");
}

TEST(ExtDevMode, AssignmentCopiesTheDriverArea) {
    libVideoPortInfo::ExtDevMode source;
    libVideoPortInfo::ExtDevMode target;
    std::memset(static_cast<void*>(&source), 0x5A, sizeof(source));
    std::memset(static_cast<void*>(&target), 0, sizeof(target));
    source.driverData[1023] = 0x7E;
    target = source;
    EXPECT_EQ(std::memcmp(&target, &source, sizeof(source)), 0);
    EXPECT_EQ(target.driverData[1023], 0x7E);
}

} // namespace
} // namespace backend_test
