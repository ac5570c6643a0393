// The current state, identity and EDID ids a port decodes from the records it
// was built from: the decoding rules on their own, then through ports.
#include "BackendTestSupport.h"
#include "DisplayDecoding.h"

#include <cstring>
#include <string>

namespace backend_test {
namespace {

namespace decoding = libVideoPortInfo::decoding;
using libVideoPortInfo::DisplayState;
using libVideoPortInfo::RefreshRate;
using libVideoPortInfo::Scaling;

// The ids as Windows answers them for monitors whose device path names them
// ("DISPLAY#DELA0E2#..."): the manufacturer word byte-swapped, the product
// code as the path shows it in hexadecimal.
TEST(DisplayDecoding, EdidIdsAsWindowsHandsThemOver) {
    const struct {
        const char* devicePath;
        UINT16 manufacturer;
        UINT16 product;
        const char* letters;
    } cases[] = {
        {"DISPLAY#DELA0E2#5&2a8b3c1f&0&UID28931", 0xAC10, 0xA0E2, "DEL"},
        {"DISPLAY#LGD05E5#4&1c3ae0d0&0&UID8388688", 0xE430, 0x05E5, "LGD"},
        {"DISPLAY#SAM0F9B#5&1a0b0c0d&0&UID4352", 0x2D4C, 0x0F9B, "SAM"},
        {"DISPLAY#GSM5B09#5&2c3d4e5f&0&UID4353", 0x6D1E, 0x5B09, "GSM"},
        {"DISPLAY#AUO213E#4&3b4c5d6e&0&UID265988", 0xAF06, 0x213E, "AUO"},
        // Windows spells every 5-bit value as '@' + value, letters or not.
        {"DISPLAY#@@@0000#(the zero ids)", 0x0000, 0, "@@@"},
        {"DISPLAY#[\\]ABCD#(values 27, 28, 29)", 0x9D6F, 0xABCD, "[\\]"},
        {"DISPLAY#___FFFF#(every bit set)", 0xFFFF, 0xFFFF, "___"},
    };
    for (const auto& c : cases) {
        const libVideoPortInfo::MonitorIds ids = decoding::monitorIdsOf(c.manufacturer, c.product);
        EXPECT_STREQ(ids.manufacturerId, c.letters) << c.devicePath;
        EXPECT_EQ(ids.productCode, c.product) << c.devicePath;
        const std::string path = c.devicePath;
        if (path.rfind("DISPLAY#", 0) == 0) { // the path spells both ids
            char code[5];
            std::snprintf(code, sizeof code, "%04X", unsigned(ids.productCode));
            EXPECT_EQ(path.substr(8, 7), std::string(ids.manufacturerId) + code);
        }
    }
}

TEST(DisplayDecoding, RotationsEmbeddedKindsAndInterlacing) {
    const std::pair<UINT32, unsigned> rotations[] = {{1, 0}, {2, 90}, {3, 180},       {4, 270},
                                                     {0, 0}, {5, 0},  {0xFFFFFFFF, 0}};
    for (const auto& [platform, degrees] : rotations) {
        EXPECT_EQ(decoding::rotationDegrees(platform), degrees) << platform;
    }
    // Embedded: DisplayPort and UDI embedded (11, 13), LVDS (6), internal.
    for (std::int32_t technology = -1; technology <= 16; ++technology) {
        const bool embedded = technology == 6 || technology == 11 || technology == 13;
        EXPECT_EQ(decoding::isEmbedded(technology), embedded) << technology;
    }
    EXPECT_TRUE(decoding::isEmbedded(static_cast<std::int32_t>(0x80000000u)));
    for (UINT32 ordering = 0; ordering <= 4; ++ordering) {
        EXPECT_EQ(decoding::isInterlaced(ordering), ordering == 2 || ordering == 3) << ordering;
    }
}

// The target mode's vertical sync when there is one that tells it, else the
// path's rate, else none; hertz to two decimals.
TEST(DisplayDecoding, RefreshRatesAndTheirHertz) {
    const struct {
        bool hasTargetMode;
        DISPLAYCONFIG_RATIONAL vSync, pathRate;
        RefreshRate expected;
        double hertz;
    } cases[] = {
        {true, {241500000, 4028320}, {60, 1}, {241500000, 4028320}, 59.95},
        {true, {148500000, 2475000}, {0, 0}, {148500000, 2475000}, 60.00},
        {true, {60000, 1001}, {0, 0}, {60000, 1001}, 59.94},
        {true, {0, 0}, {75, 1}, {75, 1}, 75.00},
        {false, {0, 0}, {5994, 100}, {5994, 100}, 59.94},
        {false, {0, 0}, {0, 0}, {0, 0}, 0.0},
        {true, {30, 0}, {0, 0}, {0, 0}, 0.0},
    };
    for (const auto& c : cases) {
        DISPLAYCONFIG_PATH_INFO path{};
        path.targetInfo.refreshRate = c.pathRate;
        DISPLAYCONFIG_MODE_INFO mode{};
        mode.targetMode.targetVideoSignalInfo.vSyncFreq = c.vSync;
        const RefreshRate rate = decoding::refreshRateOf(path, c.hasTargetMode ? &mode : nullptr);
        EXPECT_EQ(rate, c.expected) << c.vSync.Numerator << "/" << c.vSync.Denominator;
        EXPECT_EQ(rate.hertz(), c.hertz) << c.expected.numerator << "/" << c.expected.denominator;
    }
}

using PortState = BackendTest;

// Three targets: the primary at the origin, one left of it rotated and
// interlaced without a target mode, one free; each of the two in use gets
// the fields its records give, the free one none.
TEST_F(PortState, ActivePortsTellTheirStateAndFreeOnesNone) {
    Configuration config = simpleConfiguration(3, 2);
    const LUID luid = adapter(0x1234);
    DISPLAYCONFIG_PATH_INFO& left = config.paths[1];
    config.modes[left.sourceInfo.modeInfoIdx].sourceMode.position = {-1280, 120};
    config.modes[left.sourceInfo.modeInfoIdx].sourceMode.width = 1024;
    config.modes[left.sourceInfo.modeInfoIdx].sourceMode.height = 1280;
    left.targetInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
    left.targetInfo.refreshRate = {50, 1};
    left.targetInfo.scanLineOrdering = DISPLAYCONFIG_SCANLINE_ORDERING_INTERLACED;
    left.targetInfo.rotation = DISPLAYCONFIG_ROTATION_ROTATE270;
    left.targetInfo.scaling = DISPLAYCONFIG_SCALING_ASPECTRATIOCENTEREDMAX;
    left.targetInfo.outputTechnology = DISPLAYCONFIG_OUTPUT_TECHNOLOGY_LVDS;
    setTargetName(config, luid, 100, u"Dell", u"\\\\?\\DISPLAY#DELA0E2#1",
                  DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI, 0xAC10, 0xA0E2);
    setAdapterName(config, luid, u"\\\\?\\PCI#VEN_10DE&DEV_1C82#4&1e6d1de0&0&0008#{5b45201d}");
    serve(config);

    const auto primary = port(0).displayState();
    ASSERT_TRUE(primary.has_value());
    EXPECT_EQ(*primary,
              (DisplayState{1920, 1080, 0, 0, {60, 1}, false, 0, Scaling::Identity, true}));
    const auto ids = port(0).monitorIds();
    ASSERT_TRUE(ids.has_value());
    EXPECT_STREQ(ids->manufacturerId, "DEL");
    EXPECT_EQ(port(0).connectorInstance(), 1u);
    EXPECT_FALSE(port(0).isEmbedded());

    const auto rotated = port(1).displayState();
    ASSERT_TRUE(rotated.has_value());
    EXPECT_EQ(
        *rotated,
        (DisplayState{
            1024, 1280, -1280, 120, {50, 1}, true, 270, Scaling::AspectRatioCenteredMax, false}));
    EXPECT_FALSE(port(1).monitorIds().has_value()) << "ids not flagged as valid";
    EXPECT_TRUE(port(1).isEmbedded());
    EXPECT_EQ(port(1).outputTechnology(), DISPLAYCONFIG_OUTPUT_TECHNOLOGY_LVDS);

    EXPECT_FALSE(port(2).displayState().has_value());
    EXPECT_FALSE(port(2).connectorInstance().has_value());
    EXPECT_FALSE(port(2).monitorIds().has_value());

    // The key: the adapter's path and the target id, the same for every
    // port of the adapter but for the id.
    EXPECT_EQ(port(2).portKey().toUtf8(),
              "\\\\?\\PCI#VEN_10DE&DEV_1C82#4&1e6d1de0&0&0008#{5b45201d}#102");
    EXPECT_EQ(port(2).targetId(), 102u);
    EXPECT_TRUE(lines.empty());
}

// Without an answer to the adapter-name request (Wine answers 50), the
// adapter identifier stands in; a failed target-name request leaves the
// connector instance and the ids unknown.
TEST_F(PortState, KeysWithoutAnAdapterPathAndPortsWithoutTargetNames) {
    Configuration config = simpleConfiguration(2, 1);
    const LUID luid = adapter(0x3f0, 2);
    for (DISPLAYCONFIG_PATH_INFO& path : config.paths) {
        path.sourceInfo.adapterId = path.targetInfo.adapterId = luid;
    }
    for (auto& mode : config.modes) {
        mode.adapterId = luid;
    }
    setSourceName(config, luid, 0, gdiName(1));
    setSourceName(config, luid, 1, gdiName(2));
    setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, luid, 0,
                       ERROR_NOT_SUPPORTED);
    setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, luid, 100,
                       ERROR_GEN_FAILURE);
    serve(config);
    EXPECT_EQ(port(0).portKey().toUtf8(), "luid:00000002:000003f0#100");
    EXPECT_EQ(port(1).portKey().toUtf8(), "luid:00000002:000003f0#101");
    EXPECT_TRUE(port(0).adapterDevicePath().empty());
    EXPECT_TRUE(port(0).displayState().has_value());
    EXPECT_FALSE(port(0).connectorInstance().has_value());
    EXPECT_FALSE(port(0).monitorIds().has_value());
}

} // namespace
} // namespace backend_test
