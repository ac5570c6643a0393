// What ports tell of the desktop and of colour, asked of the platform on
// demand: the primary display from the platform rather than the place, the
// desktop place, advanced colour, the display that shows a point, and a
// refresh that asks for none of it.
#include "BackendTestSupport.h"

#include <libVideoPortInfo/DesktopLayout.h>

#include <array>
#include <limits>

namespace backend_test {
namespace {

using libVideoPortInfo::AdvancedColor;
using libVideoPortInfo::ColorEncoding;
using libVideoPortInfo::DesktopPlace;
using libVideoPortInfo::DesktopRect;
using libVideoPortInfo::DisplayAtPoint;
using libVideoPortInfo::DpiSource;
using libVideoPortInfo::VideoPortFactoryWin7;

const LUID kFirst = adapter(0x1234);
const LUID kSecond = adapter(0x5678);

/// An active path on `luid` from source `source` (its mode at x, y, 1920 x
/// 1080, named `device`) to target `target`, with the target's name.
void addActive(Configuration& c, LUID luid, UINT32 source, UINT32 target, LONG x, LONG y,
               unsigned device) {
    const UINT32 mode = static_cast<UINT32>(c.modes.size());
    c.modes.push_back(standin::makeSourceMode(luid, source, 1920, 1080, x, y));
    c.modes.push_back(standin::makeTargetMode(luid, target, 1920, 1080, 60, 1));
    c.paths.push_back(standin::makePath(luid, source, target, DISPLAYCONFIG_PATH_ACTIVE,
                                        DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI, mode, mode + 1));
    setSourceName(c, luid, source, gdiName(device));
    setTargetName(c, luid, target, u"Monitor", u"\\\\?\\DISPLAY#MON");
}

RECTL rect(LONG x, LONG y) {
    return standin::makeRect(x, y, x + 1920, y + 1080);
}

class Desktop : public BackendTest {
protected:
    /// Which ports say they show the primary display, where the state and
    /// the place agree.
    std::vector<bool> primaries() {
        std::vector<bool> flags;
        for (unsigned i = 0; i < factory->numVideoPorts(); ++i) {
            const auto state = port(i).displayState();
            const auto place = port(i).desktopPlace();
            EXPECT_EQ(state.has_value(), place.has_value()) << i;
            EXPECT_EQ(state && state->primary, place && place->primary) << i;
            flags.push_back(state && state->primary);
        }
        return flags;
    }
};

// Two adapters that both show a source at (0, 0) (a clone across adapters):
// the platform's primary device decides, so exactly one source is primary;
// both targets of one cloned source share it; a recording without a desktop
// falls back on the first source at the origin.
TEST_F(Desktop, PrimaryIsThePlatformsNotTheSourceAtTheOrigin) {
    enum Layout { AcrossAdapters, OneSourceTwoTargets };
    const struct {
        const char* name;
        Layout layout;
        bool desktop;     // the platform tells its primary device
        unsigned primary; // that device: \\.\DISPLAYn
        std::vector<bool> expected;
    } cases[] = {
        {"clone across adapters, second primary", AcrossAdapters, true, 2, {false, true}},
        {"clone across adapters, first primary", AcrossAdapters, true, 1, {true, false}},
        {"clone across adapters, no desktop told", AcrossAdapters, false, 0, {true, false}},
        {"one source on two targets", OneSourceTwoTargets, true, 1, {true, true}},
        {"one source on two targets, not primary", OneSourceTwoTargets, true, 2, {false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Configuration config;
        addActive(config, kFirst, 0, 100, 0, 0, 1);
        if (c.layout == AcrossAdapters) {
            addActive(config, kSecond, 0, 200, 0, 0, 2);
        } else {
            addActive(config, kFirst, 0, 101, 0, 0, 1);
        }
        if (c.desktop) {
            setDesktopFacts(config, gdiName(1), c.primary == 1, rect(0, 0), rect(0, 0));
            setDesktopFacts(config, gdiName(2), c.primary == 2, rect(0, 0), rect(0, 0));
        }
        serve(config);
        EXPECT_EQ(primaries(), c.expected);
    }
}

// The place as the platform tells it, asked at each call: a change of the
// desktop is seen without a refresh. A port not in use has none, and asks
// nothing; a display the desktop does not know has none, logged at debug only.
TEST_F(Desktop, PlaceIsThePlatformsAndAskedAtEachCall) {
    Configuration config = simpleConfiguration(3, 2);
    setDesktopFacts(config, gdiName(1), true, rect(0, 0), standin::makeRect(0, 0, 1920, 1040), 144,
                    VPI_DPI_EFFECTIVE);
    serve(config);
    const auto place = port(0).desktopPlace();
    ASSERT_TRUE(place.has_value());
    EXPECT_EQ(
        *place,
        (DesktopPlace{true, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 144, DpiSource::Effective}));
    EXPECT_EQ(place->scale(), 1.5);

    // The desktop changes; the port, not refreshed, tells the new facts.
    setDesktopFacts(config, gdiName(1), true, rect(0, 0), rect(0, 0), 120, VPI_DPI_SYSTEM);
    standin::setConfiguration(config);
    const auto changed = port(0).desktopPlace();
    ASSERT_TRUE(changed.has_value());
    EXPECT_EQ(changed->dpi, 120u);
    EXPECT_EQ(changed->dpiSource, DpiSource::System);
    EXPECT_EQ(changed->workArea, (DesktopRect{0, 0, 1920, 1080}));

    const unsigned asked = standin::callCount(standin::Operation::vpiGetDesktopFacts);
    EXPECT_FALSE(port(2).desktopPlace().has_value()) << "not in use";
    EXPECT_EQ(standin::callCount(standin::Operation::vpiGetDesktopFacts), asked);

    EXPECT_FALSE(port(1).desktopPlace().has_value()) << "not on the desktop";
    EXPECT_FALSE(port(1).displayState()->primary);
    EXPECT_TRUE(lines.empty());
    tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_DEBUG);
    port(1).desktopPlace();
    EXPECT_EQ(lines, std::vector<std::string>{
                         "libVideoPortInfo DEBUG 89 Unable to get desktop facts 1168"});
}

// Advanced colour from the records, each flag from its own bit; the white
// level when answered; "unknown" where the platform does not answer (Wine:
// 87), with no log line above debug and no white-level request.
TEST_F(Desktop, AdvancedColourOrUnknown) {
    const struct {
        const char* name;
        LONG colourResult; // 0: answered with the record below
        UINT32 value, encoding, bits;
        LONG whiteResult; // 0: answered with `white`
        UINT32 white;
        std::optional<AdvancedColor> expected;
    } cases[] = {
        {"HDR on", 0, 0x3, 0, 10, 0, 2500,
         AdvancedColor{true, true, false, ColorEncoding::Rgb, 10, 2500}},
        {"wide colour forced, no white level", 0, 0x5, 1, 8, ERROR_NOT_SUPPORTED, 0,
         AdvancedColor{true, false, true, ColorEncoding::YCbCr444, 8, std::nullopt}},
        {"force-disabled bit and encoding 7", 0, 0x8, 7, 12, 0, 1000,
         AdvancedColor{false, false, false, ColorEncoding(7), 12, 1000}},
        {"not answered, as under Wine", ERROR_INVALID_PARAMETER, 0, 0, 0, 0, 0, std::nullopt},
        {"not supported", ERROR_NOT_SUPPORTED, 0, 0, 0, 0, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Configuration config = simpleConfiguration(2, 1);
        const UINT32 target = 100;
        if (c.colourResult == 0) {
            setAdvancedColor(config, kFirst, target, c.value, c.encoding, c.bits);
        } else {
            setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, kFirst,
                               target, c.colourResult);
        }
        if (c.whiteResult == 0) {
            setSdrWhiteLevel(config, kFirst, target, c.white);
        } else {
            setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL, kFirst,
                               target, c.whiteResult);
        }
        serve(config);
        tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_INFO);
        const unsigned before = standin::callCount(standin::Operation::DisplayConfigGetDeviceInfo);
        EXPECT_EQ(port(0).advancedColor(), c.expected);
        EXPECT_EQ(standin::callCount(standin::Operation::DisplayConfigGetDeviceInfo) - before,
                  c.colourResult == 0 ? 2u : 1u);
        EXPECT_FALSE(port(1).advancedColor().has_value()) << "not in use";
        EXPECT_EQ(standin::callCount(standin::Operation::DisplayConfigGetDeviceInfo) - before,
                  c.colourResult == 0 ? 2u : 1u);
        EXPECT_TRUE(lines.empty());
    }
    EXPECT_EQ(AdvancedColor{}.sdrWhiteNits(), std::nullopt);
    EXPECT_EQ(cases[0].expected->sdrWhiteNits(), 200.0);
}

// factory() and refresh() make exactly the calls they made before the
// desktop and colour facts existed: the tables, the source name of every
// path and the two monitor requests of every active one; nothing else.
TEST_F(Desktop, RefreshAsksForNoDesktopOrColourFact) {
    for (const Configuration& config :
         {simpleConfiguration(4, 2), standin::defaultConfiguration()}) {
        standin::setConfiguration(config);
        std::array<unsigned, 5> before{};
        for (unsigned op = 0; op < before.size(); ++op) {
            before[op] = standin::callCount(static_cast<standin::Operation>(op));
        }
        ASSERT_TRUE(factory->refresh());
        unsigned active = 0;
        for (const DISPLAYCONFIG_PATH_INFO& path : config.paths) {
            active += (path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0;
        }
        // Paths to one target are kept once; these configurations have none
        // such among the active ones, and the factory asks once per kept path.
        const unsigned kept = factory->numVideoPorts();
        const std::array<unsigned, 5> expected{1, 1, kept + 2 * active, 0, 0};
        for (unsigned op = 0; op < before.size(); ++op) {
            EXPECT_EQ(standin::callCount(static_cast<standin::Operation>(op)) - before[op],
                      expected[op])
                << "operation " << op;
        }
    }
}

// The display for a point, over plain rectangles: inside (right and bottom
// edges outside, as on Windows), else the nearest, the first of equals;
// empty rectangles skipped; exact at the ends of the 32-bit range.
TEST(DesktopLayout, DisplayAtPoint) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    // Left of the primary, the primary, and one right of a 100-pixel gap,
    // lower down.
    const std::vector<DesktopRect> three = {
        {-1280, 0, 0, 1024}, {0, 0, 1920, 1080}, {2020, 200, 3300, 920}};
    const struct {
        const char* name;
        std::vector<DesktopRect> displays;
        std::int32_t x, y;
        std::optional<DisplayAtPoint> expected;
    } cases[] = {
        {"origin", three, 0, 0, DisplayAtPoint{1, true}},
        {"last pixel of the primary", three, 1919, 1079, DisplayAtPoint{1, true}},
        {"right edge is the next one's", three, 0, 500, DisplayAtPoint{1, true}},
        {"negative coordinates", three, -1280, 1023, DisplayAtPoint{0, true}},
        {"right edge outside", three, 1920, 500, DisplayAtPoint{1, false}},
        {"bottom edge outside", three, 100, 1080, DisplayAtPoint{1, false}},
        {"in the gap, nearer the primary", three, 1960, 500, DisplayAtPoint{1, false}},
        {"in the gap, nearer the third", three, 1990, 500, DisplayAtPoint{2, false}},
        {"below the left one", three, -1000, 5000, DisplayAtPoint{0, false}},
        {"far up and left", three, kMin, kMin, DisplayAtPoint{0, false}},
        {"far down and right", three, kMax, kMax, DisplayAtPoint{2, false}},
        {"equally near: the first",
         {{0, 0, 10, 10}, {19, 0, 30, 10}},
         14,
         5,
         DisplayAtPoint{0, false}},
        {"a clone: the first of two",
         {{0, 0, 800, 600}, {0, 0, 800, 600}},
         5,
         5,
         DisplayAtPoint{0, true}},
        {"empty rectangles show nothing",
         {{10, 10, 10, 50}, {400, 0, 500, 100}},
         10,
         20,
         DisplayAtPoint{1, false}},
        {"at the far corners",
         {{kMin, kMin, kMin + 1, kMin + 1}, {kMax - 1, kMax - 1, kMax, kMax}},
         kMax,
         kMin,
         DisplayAtPoint{1, false}},
        {"beyond 64 bits",
         {{kMin, 92682, kMin + 1, 92683}, {0, 0, 1, 1}},
         kMax,
         0,
         DisplayAtPoint{1, false}},
        {"no display", {}, 0, 0, std::nullopt},
        {"only empty ones", {{0, 0, 0, 0}}, 0, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(libVideoPortInfo::displayAtPoint(c.displays.data(), c.displays.size(), c.x, c.y),
                  c.expected)
            << c.name;
    }
}

// The same over the factory's ports: the desktop places of the ports in use,
// named by port index.
TEST_F(Desktop, PortAtPoint) {
    Configuration config = simpleConfiguration(3, 0);
    config.paths.clear();
    config.paths.push_back(
        standin::makePath(kFirst, 2, 102, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI));
    addActive(config, kFirst, 0, 100, -1920, 0, 1);
    addActive(config, kFirst, 1, 101, 0, 0, 2);
    setDesktopFacts(config, gdiName(1), false, rect(-1920, 0), rect(-1920, 0));
    setDesktopFacts(config, gdiName(2), true, rect(0, 0), rect(0, 0));
    serve(config);
    const auto& factory7 = static_cast<const VideoPortFactoryWin7&>(*factory);
    EXPECT_EQ(factory7.portAtPoint(-1, 0), (DisplayAtPoint{1, true}));
    EXPECT_EQ(factory7.portAtPoint(0, 0), (DisplayAtPoint{2, true}));
    EXPECT_EQ(factory7.portAtPoint(5000, 10), (DisplayAtPoint{2, false}));
    serve(simpleConfiguration(2, 0));
    EXPECT_EQ(factory7.portAtPoint(0, 0), std::nullopt);
}

} // namespace
} // namespace backend_test
