// The desktop operation as the stand-in answers it: from the configuration's
// own desktop, or for recordings made before that was recorded, derived from
// the paths; and the sizes of the colour requests.
#include "StandInTestSupport.h"

#include <standin/ConfigurationJson.h>

using namespace standin_test;

namespace {

LONG askFacts(const std::u16string& device, VpiDesktopFacts& facts,
              UINT32 size = sizeof(VpiDesktopFacts)) {
    facts = VpiDesktopFacts{};
    facts.size = size;
    return vpiGetDesktopFacts(wide(device).data(), &facts);
}

} // namespace

using StandInDesktop = StandInTest;

// The built-in machine's desktop as recorded, the caller's size kept; the
// arguments checked first; a source not in use not found; calls counted.
TEST_F(StandInDesktop, RecordedFactsAndArgumentChecks) {
    const standin::Configuration machine = standin::defaultConfiguration();
    ASSERT_EQ(machine.desktop.value_or(decltype(machine.desktop)::value_type{}).size(), 2u);
    for (const auto& [device, recorded] : *machine.desktop) {
        VpiDesktopFacts facts;
        ASSERT_EQ(askFacts(device, facts, sizeof facts + 8), ERROR_SUCCESS);
        EXPECT_TRUE(standin::sameDesktopFacts(facts, recorded));
        EXPECT_EQ(facts.size, sizeof facts + 8);
    }
    VpiDesktopFacts facts;
    EXPECT_EQ(askFacts(u"\\\\.\\DISPLAY3", facts), ERROR_NOT_FOUND);
    EXPECT_EQ(askFacts(u"\\\\.\\DISPLAY1", facts, sizeof facts - 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(vpiGetDesktopFacts(nullptr, &facts), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(vpiGetDesktopFacts(wide(u"\\\\.\\DISPLAY1").data(), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(standin::callCount(standin::Operation::vpiGetDesktopFacts), 6u);

    // The colour requests' sizes are checked as the name requests' are.
    DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO colour{};
    ask(colour, DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, kAdapter, kHdmi);
    colour.header.size = sizeof(DISPLAYCONFIG_SDR_WHITE_LEVEL);
    EXPECT_EQ(DisplayConfigGetDeviceInfo(&colour.header), ERROR_INVALID_PARAMETER);
}

// Without a desktop of its own, each device in use gets its source mode's
// rectangle as bounds and work area at 96 DPI, "system"; the primary is the
// first device at (0, 0), so that a clone across two adapters has one. An
// empty desktop is kept as such, and knows no device.
TEST_F(StandInDesktop, DerivedFromThePathsWithoutOne) {
    const struct {
        LONG firstX, secondX;
        int primary; // \\.\DISPLAYn; 0: none
    } cases[] = {{0, 1280, 1}, {0, 0, 1}, {-1280, 0, 2}, {-1280, 1280, 0}};
    for (const auto& c : cases) {
        standin::Configuration config;
        const LONG xs[] = {c.firstX, c.secondX};
        for (UINT32 i = 0; i < 2; ++i) {
            const LUID luid = standin::makeLuid(0xd6a1 + i); // one source on each of two adapters
            config.modes.push_back(standin::makeSourceMode(luid, 0, 1280, 1024, xs[i], 0));
            config.paths.push_back(standin::makePath(luid, 0, kPanel, DISPLAYCONFIG_PATH_ACTIVE,
                                                     DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI, i));
            setSourceName(config, luid, 0, u"\\\\.\\DISPLAY" + std::u16string(1, u'1' + i));
        }
        standin::setConfiguration(config);
        for (int n = 1; n <= 2; ++n) {
            VpiDesktopFacts facts;
            ASSERT_EQ(askFacts(u"\\\\.\\DISPLAY" + std::u16string(1, u'0' + n), facts),
                      ERROR_SUCCESS);
            const RECTL bounds = standin::makeRect(xs[n - 1], 0, xs[n - 1] + 1280, 1024);
            EXPECT_EQ(std::memcmp(&facts.monitorRect, &bounds, sizeof bounds), 0) << n;
            EXPECT_EQ(std::memcmp(&facts.workArea, &bounds, sizeof bounds), 0) << n;
            EXPECT_EQ(std::make_pair(facts.dpi, facts.dpiSource),
                      std::make_pair(96u, VPI_DPI_SYSTEM));
            EXPECT_EQ(facts.flags, c.primary == n ? VPI_DESKTOP_PRIMARY : 0u)
                << c.firstX << " " << c.secondX << ": " << n;
        }
        config.desktop.emplace();
        const std::string text = standin::configurationToJson(config);
        EXPECT_NE(text.find("\"desktop\": []"), std::string::npos);
        standin::setConfiguration(standin::configurationFromJson(text));
        VpiDesktopFacts facts;
        EXPECT_EQ(askFacts(u"\\\\.\\DISPLAY1", facts), ERROR_NOT_FOUND);
    }
}
