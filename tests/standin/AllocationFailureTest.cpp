// Memory running out while the stand-in reads a recording, at each allocation
// in turn: at the stand-in's first use in this process, when the recording
// changed, and for a recording it refuses. Each failure is an error answer,
// never an abort or a leak; nothing is served until a read succeeds, and the
// next enumeration reads again. Linux only: on Windows the stand-in's
// allocations never reach the test's operator new.
#include "../support/FailingAllocator.h"
#include "StandInTestSupport.h"

#include <standin/ConfigurationJson.h>

#include <fstream>

using namespace standin_test;

namespace {

const LUID kCard = standin::makeLuid(0x51);

// One record of each kind, and few of them: the sweep reads the file once per
// allocation it makes.
standin::Configuration smallMachine(DWORD modes) {
    standin::Configuration c;
    c.modes.push_back(standin::makeSourceMode(kCard, 0, 1280, 1024));
    c.modes.push_back(standin::makeTargetMode(kCard, 3, 1280, 1024, 75, 1));
    c.paths.push_back(standin::makePath(kCard, 0, 3, DISPLAYCONFIG_PATH_ACTIVE,
                                        DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI, 0, 1));
    c.paths.push_back(standin::makePath(kCard, 1, 3, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI));
    setSourceName(c, kCard, 0, u"\\\\.\\DISPLAY1");
    setTargetName(c, kCard, 3, u"Panel", u"\\\\?\\DISPLAY#X", DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI);
    setPreferredMode(c, kCard, 3, 1280, 1024, 75, 1);
    setAdapterName(c, kCard, u"\\\\?\\PCI#VEN_1234");
    setDeviceInfoError(c, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, kCard, 4, 50);
    for (DWORD i = 0; i < modes; ++i) {
        addDisplayMode(c, u"\\\\.\\DISPLAY1", 640 + 8 * i, 480, 60, 32);
    }
    return c;
}

struct Step {
    const char* name;
    std::string text; // the recording as it is now
    LONG result;      // the size query's once memory suffices
    std::size_t modes;
};

} // namespace

TEST(StandInOutOfMemory, EveryAllocationOfAReadFailsInTurn) {
    const std::string file = std::string(VPI_TEST_SCRATCH_DIR) + "/out-of-memory.json";
    setEnvironment("VPI_DISPLAY_CONFIG", file);
    const std::string first = standin::configurationToJson(smallMachine(2));
    const std::string changed = standin::configurationToJson(smallMachine(3));
    const Step steps[] = {
        {"first use", first, ERROR_SUCCESS, 2},
        {"changed", changed, ERROR_SUCCESS, 3},
        {"refused", changed.substr(0, changed.size() - 4), ERROR_GEN_FAILURE, 0},
        {"good again", first, ERROR_SUCCESS, 2},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << step.text;
        std::size_t liveAfterFailure = 0;
        std::size_t k = 1;
        for (; k < 100000; ++k) {
            UINT32 paths = 0;
            UINT32 modes = 0;
            failing_allocator::failAllocation(k);
            const LONG result = GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes);
            const bool failed = failing_allocator::failureFired();
            failing_allocator::failAllocation(0);
            if (!failed) {
                EXPECT_EQ(result, step.result);
                break;
            }
            ASSERT_EQ(result, ERROR_NOT_ENOUGH_MEMORY) << "k=" << k;
            // A failed read keeps nothing: past the first points, where the
            // stand-in's own state is made, each failure leaves alive what
            // the one before left.
            const std::size_t live = failing_allocator::liveAllocations();
            if (k > 10) {
                ASSERT_EQ(live, liveAfterFailure) << "leak at k=" << k;
            }
            liveAfterFailure = live;
            if (&step == &steps[0]) {
                continue; // the next call may start the first use over
            }
            // Nothing is served meanwhile, not even what was served before.
            DISPLAYCONFIG_PATH_INFO path{};
            DISPLAYCONFIG_MODE_INFO mode{};
            paths = modes = 1;
            ASSERT_EQ(QueryDisplayConfig(QDC_ALL_PATHS, &paths, &path, &modes, &mode, nullptr),
                      ERROR_NOT_ENOUGH_MEMORY)
                << "k=" << k;
            DEVMODEW raw{};
            raw.dmSize = sizeof raw;
            ASSERT_FALSE(EnumDisplaySettingsExW(nullptr, ENUM_CURRENT_SETTINGS, &raw, 0));
        }
        EXPECT_GT(k, 100u) << "every allocation of a read was failed";
        EXPECT_EQ(rawModes(u"\\\\.\\DISPLAY1").size(), step.modes);
    }
}
