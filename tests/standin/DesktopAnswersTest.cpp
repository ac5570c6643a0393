// The desktop operation and the colour requests as the stand-in answers them:
// from the configuration's own desktop and records, or, for recordings made
// before those were recorded, a desktop derived from the paths.
#include "StandInTestSupport.h"

#include "ConfigurationRecorder.h"
#include <standin/ConfigurationJson.h>

using namespace standin_test;

namespace {

LONG askFacts(const std::u16string& device, VpiDesktopFacts& facts,
              UINT32 size = sizeof(VpiDesktopFacts)) {
    facts = VpiDesktopFacts{};
    facts.size = size;
    const std::vector<WCHAR> name = wide(device);
    return vpiGetDesktopFacts(name.data(), &facts);
}

const LUID kOther = standin::makeLuid(0xd6b2, 0);

// Adds an active path from `source` to `target` on `adapter`, its source mode
// at (x, y) and its source's GDI name.
void addActive(standin::Configuration& c, LUID adapter, UINT32 source, UINT32 target, LONG x,
               LONG y, const std::u16string& device) {
    const UINT32 mode = static_cast<UINT32>(c.modes.size());
    c.modes.push_back(standin::makeSourceMode(adapter, source, 1280, 1024, x, y));
    c.paths.push_back(standin::makePath(adapter, source, target, DISPLAYCONFIG_PATH_ACTIVE,
                                        DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI, mode));
    setSourceName(c, adapter, source, device);
}

} // namespace

using StandInDesktop = StandInTest;

// The built-in machine's recorded desktop, served as recorded, the caller's
// size kept; the arguments checked first; a device not in use is not found.
TEST_F(StandInDesktop, RecordedFactsAndArgumentChecks) {
    const standin::Configuration machine = standin::defaultConfiguration();
    ASSERT_TRUE(machine.desktop.has_value());
    ASSERT_EQ(machine.desktop->size(), 2u);
    for (const auto& [device, recorded] : *machine.desktop) {
        VpiDesktopFacts facts;
        ASSERT_EQ(askFacts(device, facts, sizeof facts + 8), ERROR_SUCCESS);
        EXPECT_TRUE(standin::sameDesktopFacts(facts, recorded));
        EXPECT_EQ(facts.size, sizeof facts + 8);
    }
    VpiDesktopFacts facts;
    EXPECT_EQ(askFacts(u"\\\\.\\DISPLAY3", facts), ERROR_NOT_FOUND) << "a source not in use";
    EXPECT_EQ(askFacts(u"\\\\.\\DISPLAY1", facts, sizeof facts - 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(vpiGetDesktopFacts(nullptr, &facts), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(vpiGetDesktopFacts(wide(u"\\\\.\\DISPLAY1").data(), nullptr),
              ERROR_INVALID_PARAMETER);

    standin::failCall(standin::Operation::vpiGetDesktopFacts, 2, ERROR_GEN_FAILURE);
    EXPECT_EQ(askFacts(u"\\\\.\\DISPLAY1", facts), ERROR_SUCCESS);
    EXPECT_EQ(askFacts(u"\\\\.\\DISPLAY1", facts), ERROR_GEN_FAILURE);
    EXPECT_EQ(standin::callCount(standin::Operation::vpiGetDesktopFacts), 8u) << "failed ones too";
}

// Without a desktop of its own, each device in use gets its source mode's
// rectangle as bounds and work area at 96 DPI, "system"; the primary is the
// first at (0, 0), so that a clone across two adapters has one.
TEST_F(StandInDesktop, DerivedFromThePathsWithoutOne) {
    const struct {
        const char* name;
        LONG secondX; // the first source is at (0, 0) or at (-1280, 0)
        bool firstAtOrigin;
        const char16_t* primary; // null: none
    } cases[] = {
        {"extended", 1280, true, u"\\\\.\\DISPLAY1"},
        {"clone across adapters", 0, true, u"\\\\.\\DISPLAY1"},
        {"primary second in path order", 0, false, u"\\\\.\\DISPLAY2"},
        {"nothing at the origin", 1280, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        standin::Configuration config;
        addActive(config, kAdapter, 0, kPanel, c.firstAtOrigin ? 0 : -1280, 0, u"\\\\.\\DISPLAY1");
        addActive(config, kOther, 0, kHdmi, c.secondX, 0, u"\\\\.\\DISPLAY2");
        setSourceName(config, kAdapter, 1, u"\\\\.\\DISPLAY3");
        config.paths.push_back(
            standin::makePath(kAdapter, 1, kVga, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HD15));
        standin::setConfiguration(config);
        unsigned primaries = 0;
        for (const DISPLAYCONFIG_MODE_INFO& mode : config.modes) {
            const std::u16string device = standin::sameLuid(mode.adapterId, kAdapter)
                                              ? u"\\\\.\\DISPLAY1"
                                              : u"\\\\.\\DISPLAY2";
            VpiDesktopFacts facts;
            ASSERT_EQ(askFacts(device, facts), ERROR_SUCCESS);
            const POINTL at = mode.sourceMode.position;
            const RECTL bounds = standin::makeRect(at.x, at.y, at.x + 1280, at.y + 1024);
            EXPECT_EQ(std::memcmp(&facts.monitorRect, &bounds, sizeof bounds), 0);
            EXPECT_EQ(std::memcmp(&facts.workArea, &bounds, sizeof bounds), 0);
            EXPECT_EQ(facts.dpi, 96u);
            EXPECT_EQ(facts.dpiSource, VPI_DPI_SYSTEM);
            const bool primary = (facts.flags & VPI_DESKTOP_PRIMARY) != 0;
            EXPECT_EQ(primary, c.primary != nullptr && device == c.primary);
            primaries += primary;
        }
        EXPECT_EQ(primaries, c.primary != nullptr ? 1u : 0u);
        VpiDesktopFacts facts;
        EXPECT_EQ(askFacts(u"\\\\.\\DISPLAY3", facts), ERROR_NOT_FOUND);
    }
}

// Colour requests: recorded answers copied, sizes checked like the name
// requests' (before anything is looked up), and a target without an answer
// not supported, as on a platform that does not know the request.
TEST_F(StandInDesktop, ColourRequestsAnswerWhatIsRecorded) {
    DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO colour{};
    ASSERT_EQ(ask(colour, DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, kAdapter, kHdmi),
              ERROR_SUCCESS);
    DISPLAYCONFIG_SDR_WHITE_LEVEL white{};
    ASSERT_EQ(ask(white, DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL, kAdapter, kHdmi),
              ERROR_SUCCESS);
    const standin::Configuration machine = standin::defaultConfiguration();
    DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO recordedColour{};
    DISPLAYCONFIG_SDR_WHITE_LEVEL recordedWhite{};
    ASSERT_TRUE(standin::recordOf(
        machine.deviceInfo.at({DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, kAdapter, kHdmi}),
        recordedColour));
    ASSERT_TRUE(standin::recordOf(
        machine.deviceInfo.at({DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL, kAdapter, kHdmi}),
        recordedWhite));
    EXPECT_EQ(std::memcmp(&colour, &recordedColour, sizeof colour), 0);
    EXPECT_EQ(white.SDRWhiteLevel, recordedWhite.SDRWhiteLevel);

    EXPECT_EQ(ask(colour, DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, kAdapter, kVga),
              ERROR_NOT_SUPPORTED);
    colour.header.size = sizeof(DISPLAYCONFIG_SDR_WHITE_LEVEL);
    EXPECT_EQ(DisplayConfigGetDeviceInfo(&colour.header), ERROR_INVALID_PARAMETER);
    white.header.size = sizeof(DISPLAYCONFIG_GET_ADVANCED_COLOR_INFO);
    EXPECT_EQ(DisplayConfigGetDeviceInfo(&white.header), ERROR_INVALID_PARAMETER);
}

// A desktop that knows no device is kept as such ("desktop": []), and replays
// as one where no device is found; the recorder records it so.
TEST_F(StandInDesktop, AnEmptyDesktopIsRecordedAndReplayed) {
    standin::Configuration config;
    addActive(config, kAdapter, 0, kPanel, 0, 0, u"\\\\.\\DISPLAY1");
    config.desktop.emplace();
    const std::string text = standin::configurationToJson(config);
    EXPECT_NE(text.find("\"desktop\": []"), std::string::npos) << text;
    standin::setConfiguration(standin::configurationFromJson(text));
    VpiDesktopFacts facts;
    EXPECT_EQ(askFacts(u"\\\\.\\DISPLAY1", facts), ERROR_NOT_FOUND);
    const std::string recorded =
        standin::configurationToJson(standin::recordDisplayConfiguration());
    EXPECT_NE(recorded.find("\"desktop\": []"), std::string::npos) << recorded;
}
