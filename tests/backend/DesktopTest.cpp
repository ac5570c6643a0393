// What ports tell of the desktop and of colour, asked on demand: the primary
// from the platform rather than the place, the desktop place, advanced
// colour and the display at a point.
#include "BackendTestSupport.h"

#include <libVideoPortInfo/DesktopLayout.h>

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
using Desktop = BackendTest;

const LUID kFirst = adapter(0x1234);

/// An active path from `source` (at 0, 0, named \\.\DISPLAYn) to `target`.
void addActive(Configuration& c, LUID luid, UINT32 source, UINT32 target, unsigned n) {
    const UINT32 mode = static_cast<UINT32>(c.modes.size());
    c.modes.push_back(standin::makeSourceMode(luid, source, 1920, 1080));
    c.paths.push_back(standin::makePath(luid, source, target, DISPLAYCONFIG_PATH_ACTIVE,
                                        DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI, mode));
    setSourceName(c, luid, source, gdiName(n));
}

// Both sources at (0, 0), on two adapters (a clone across adapters) or one
// source on two targets: the platform's primary device decides, every port
// of its source shares it; without a desktop told, the first at the origin.
TEST_F(Desktop, PrimaryIsThePlatformsNotTheSourceAtTheOrigin) {
    const struct {
        bool twoAdapters;
        int primary; // the device the platform names: \\.\DISPLAYn; -1: none told
        std::vector<bool> expected;
    } cases[] = {{true, 2, {false, true}},
                 {true, 1, {true, false}},
                 {true, -1, {true, false}},
                 {false, 1, {true, true}},
                 {false, 2, {false, false}}};
    for (const auto& c : cases) {
        Configuration config;
        addActive(config, kFirst, 0, 100, 1);
        addActive(config, c.twoAdapters ? adapter(0x5678) : kFirst, 0, 101, c.twoAdapters ? 2 : 1);
        for (int n = 1; n <= 2 && c.primary > 0; ++n) {
            const RECTL r = standin::makeRect(0, 0, 1920, 1080);
            setDesktopFacts(config, gdiName(n), c.primary == n, r, r);
        }
        serve(config);
        std::vector<bool> primaries;
        for (unsigned i = 0; i < factory->numVideoPorts(); ++i) {
            const bool primary = port(i).displayState()->primary;
            EXPECT_EQ(port(i).desktopPlace().value_or(DesktopPlace{}).primary, primary);
            primaries.push_back(primary);
        }
        EXPECT_EQ(primaries, c.expected) << c.twoAdapters << " " << c.primary;
    }
}

// The platform's place, asked at each call (a change shows without a
// refresh); none for a port not in use (which asks nothing) or a display the
// desktop does not know (logged at debug only). The port at a point is
// found among the places.
TEST_F(Desktop, PlaceIsThePlatformsAndAskedAtEachCall) {
    Configuration config = simpleConfiguration(3, 2);
    const RECTL bounds = standin::makeRect(0, 0, 1920, 1080);
    setDesktopFacts(config, gdiName(1), true, bounds, standin::makeRect(0, 0, 1920, 1040), 144);
    serve(config);
    const DesktopPlace place{
        true, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 144, DpiSource::Effective};
    EXPECT_EQ(port(0).desktopPlace(), place);
    EXPECT_EQ(place.scale(), 1.5);
    const auto& win7 = static_cast<const VideoPortFactoryWin7&>(*factory);
    EXPECT_EQ(win7.portAtPoint(10, 10), (DisplayAtPoint{0, true}));
    EXPECT_EQ(win7.portAtPoint(5000, 10), (DisplayAtPoint{0, false}));

    setDesktopFacts(config, gdiName(1), true, bounds, bounds, 120, VPI_DPI_SYSTEM);
    standin::setConfiguration(config);
    EXPECT_EQ(port(0).desktopPlace(), (DesktopPlace{true, place.bounds, place.bounds, 120}));

    EXPECT_EQ(callsOf([&] { EXPECT_FALSE(port(2).desktopPlace().has_value()) << "not in use"; }),
              Calls(6, 0));
    EXPECT_FALSE(port(1).desktopPlace().has_value()) << "not on the desktop";
    EXPECT_TRUE(lines.empty());
    tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_DEBUG);
    port(1).desktopPlace();
    EXPECT_EQ(lines, std::vector<std::string>{
                         "libVideoPortInfo DEBUG 89 Unable to get desktop facts 1168"});
}

// Each flag from its own bit, the white level when answered; "unknown" where
// the platform does not answer (Wine: 87), without a white-level request or
// a log line above debug.
TEST_F(Desktop, AdvancedColourOrUnknown) {
    const struct {
        LONG colourResult; // 0: answered with value, encoding, bits
        UINT32 value, encoding, bits;
        LONG whiteResult; // 0: answered with 2500
        std::optional<AdvancedColor> expected;
    } cases[] = {
        {0, 0x3, 0, 10, 0, AdvancedColor{true, true, false, ColorEncoding::Rgb, 10, 2500}},
        {0, 0x5, 1, 8, 50, AdvancedColor{true, false, true, ColorEncoding::YCbCr444, 8, {}}},
        {0, 0x8, 7, 12, 0, AdvancedColor{false, false, false, ColorEncoding(7), 12, 2500}},
        {ERROR_INVALID_PARAMETER, 0, 0, 0, 0, std::nullopt},
        {ERROR_NOT_SUPPORTED, 0, 0, 0, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        Configuration config = simpleConfiguration(2, 1);
        setAdvancedColor(config, kFirst, 100, c.value, c.encoding, c.bits);
        setSdrWhiteLevel(config, kFirst, 100, 2500);
        if (c.colourResult != 0) {
            setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_ADVANCED_COLOR_INFO, kFirst,
                               100, c.colourResult);
        }
        if (c.whiteResult != 0) {
            setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL, kFirst, 100,
                               c.whiteResult);
        }
        serve(config);
        tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_INFO);
        const Calls calls = callsOf([&] {
            EXPECT_EQ(port(0).advancedColor(), c.expected) << c.value;
            EXPECT_FALSE(port(1).advancedColor().has_value()) << "not in use";
        });
        EXPECT_EQ(calls, (Calls{0, 0, c.colourResult == 0 ? 2u : 1u, 0, 0, 0}));
        EXPECT_TRUE(lines.empty());
    }
    EXPECT_EQ(cases[0].expected->sdrWhiteNits(), 200.0);
    EXPECT_EQ(cases[1].expected->sdrWhiteNits(), std::nullopt);
}

// Inside (right and bottom edges outside, as on Windows), else the nearest,
// the first of equals; empty rectangles skipped; exact over 32 bits.
TEST(DesktopLayout, DisplayAtPoint) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    // Left of the primary, the primary, and one right of a gap, lower down.
    const std::vector<DesktopRect> three = {
        {-1280, 0, 0, 1024}, {0, 0, 1920, 1080}, {2020, 200, 3300, 920}};
    const struct {
        std::vector<DesktopRect> displays;
        std::int32_t x, y;
        std::optional<DisplayAtPoint> expected;
    } cases[] = {
        {three, 0, 0, DisplayAtPoint{1, true}},       // the right edge is the next one's
        {three, 1919, 1079, DisplayAtPoint{1, true}}, // the last pixel
        {three, -1280, 1023, DisplayAtPoint{0, true}},
        {three, 1920, 500, DisplayAtPoint{1, false}}, // the right edge
        {three, 100, 1080, DisplayAtPoint{1, false}}, // the bottom edge
        {three, 1960, 500, DisplayAtPoint{1, false}}, // in the gap
        {three, 1990, 500, DisplayAtPoint{2, false}},
        {three, -1000, 5000, DisplayAtPoint{0, false}},
        {three, kMin, kMin, DisplayAtPoint{0, false}},
        {three, kMax, kMax, DisplayAtPoint{2, false}},
        {{{0, 0, 10, 10}, {19, 0, 30, 10}}, 14, 5, DisplayAtPoint{0, false}},  // equally near
        {{{0, 0, 800, 600}, {0, 0, 800, 600}}, 5, 5, DisplayAtPoint{0, true}}, // a clone
        {{{10, 10, 10, 50}, {400, 0, 500, 100}}, 10, 20, DisplayAtPoint{1, false}},
        // The first's squared distance is 2^64 + 18533: it needs a 65th bit.
        {{{kMin, 92682, kMin + 1, 92683}, {0, 0, 1, 1}}, kMax, 0, DisplayAtPoint{1, false}},
        {{}, 0, 0, std::nullopt},
        {{{0, 0, 0, 0}}, 0, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(libVideoPortInfo::displayAtPoint(c.displays.data(), c.displays.size(), c.x, c.y),
                  c.expected)
            << c.x << ", " << c.y;
    }
}

} // namespace
} // namespace backend_test
