#include "BackendTestSupport.h"

namespace backend_test {
namespace {

using libVideoPortInfo::DisplayResolution;
using Resolutions = BackendTest;

std::vector<DisplayResolution> listOf(const tkl::Array<DisplayResolution>& modes) {
    std::vector<DisplayResolution> list;
    for (unsigned i = 0; i < modes.size(); ++i) {
        list.push_back(modes[i]);
    }
    return list;
}

TEST_F(Resolutions, DistinctModesInFirstSeenOrder) {
    Configuration config = simpleConfiguration(2, 1);
    const std::u16string device = gdiName(1);
    addDisplayMode(config, device, 1024, 768, 60, 32);
    addDisplayMode(config, device, 800, 600, 60, 32);
    addDisplayMode(config, device, 1024, 768, 60, 32);
    config.displayModes[device].back().dmDisplayFixedOutput = DMDFO_CENTER; // differs only there
    addDisplayMode(config, device, 1024, 768, 75, 32);
    addDisplayMode(config, device, 1024, 768, 60, 16);
    addDisplayMode(config, device, 800, 600, 60, 32);
    addDisplayMode(config, gdiName(2), 640, 480, 60, 8);
    serve(config);

    tkl::Array<DisplayResolution> modes;
    EXPECT_EQ(factory->videoPort(0)->supportedResolution(modes), 4u);
    EXPECT_EQ(listOf(modes),
              (std::vector<DisplayResolution>{
                  DisplayResolution(1024, 768, 60, 32), DisplayResolution(800, 600, 60, 32),
                  DisplayResolution(1024, 768, 75, 32), DisplayResolution(1024, 768, 60, 16)}));
    EXPECT_EQ(standin::callCount(standin::Operation::EnumDisplaySettingsExW), 7u)
        << "six modes, then the call that ends the list";
}

TEST_F(Resolutions, OutputIsEmptiedFirst) {
    Configuration config = simpleConfiguration(2, 1);
    addDisplayMode(config, gdiName(2), 640, 480, 60, 8);
    serve(config);
    tkl::Array<DisplayResolution> modes;
    for (unsigned i = 0; i < 20; ++i) {
        modes.append(DisplayResolution(i, i, i, i));
    }
    EXPECT_EQ(factory->videoPort(1)->supportedResolution(modes), 1u);
    EXPECT_EQ(listOf(modes), std::vector<DisplayResolution>{DisplayResolution(640, 480, 60, 8)});
    EXPECT_EQ(modes.capacity(), 8u);
}

TEST_F(Resolutions, NoModesGiveAnEmptyList) {
    serve(simpleConfiguration(1, 1));
    tkl::Array<DisplayResolution> modes;
    modes.append(DisplayResolution(1, 2, 3, 4));
    EXPECT_EQ(factory->videoPort(0)->supportedResolution(modes), 0u);
    EXPECT_EQ(modes.size(), 0u);
}

TEST_F(Resolutions, ManyModesGrowTheOutput) {
    Configuration config = simpleConfiguration(1, 1);
    for (DWORD width = 100; width < 400; ++width) {
        addDisplayMode(config, gdiName(1), width, 600, 60, 32);
        addDisplayMode(config, gdiName(1), width, 600, 60, 32);
    }
    serve(config);
    tkl::Array<DisplayResolution> modes;
    EXPECT_EQ(factory->videoPort(0)->supportedResolution(modes), 300u);
    EXPECT_EQ(modes.capacity(), 512u);
    EXPECT_EQ(modes[299], DisplayResolution(399, 600, 60, 32));
}

} // namespace
} // namespace backend_test
