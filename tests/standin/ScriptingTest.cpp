// The stand-in's scripting interface: faults, configuration changes between
// the size query and the query, odd records, call counts.
#include "StandInTestSupport.h"

#include <algorithm>
#include <stdexcept>

using namespace standin_test;
using standin::Operation;

namespace {

// One active path with its two modes.
standin::Configuration onePath() {
    standin::Configuration c;
    c.modes.push_back(standin::makeSourceMode(kAdapter, 0, 1280, 1024));
    c.modes.push_back(standin::makeTargetMode(kAdapter, 7, 1280, 1024, 60, 1));
    c.paths.push_back(standin::makePath(kAdapter, 0, 7, DISPLAYCONFIG_PATH_ACTIVE,
                                        DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI, 0, 1));
    return c;
}

} // namespace

using StandInFaults = StandInTest;

TEST_F(StandInFaults, FailCallFailsExactlyTheNthCallAndCountsEveryCall) {
    UINT32 paths = 0;
    UINT32 modes = 0;
    standin::failCall(Operation::GetDisplayConfigBufferSizes, 2, ERROR_GEN_FAILURE);
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes), ERROR_SUCCESS);
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes), ERROR_GEN_FAILURE);
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes), ERROR_SUCCESS);
    EXPECT_EQ(standin::callCount(Operation::GetDisplayConfigBufferSizes), 3u);
    EXPECT_EQ(standin::callCount(Operation::QueryDisplayConfig), 0u);

    standin::failCall(Operation::QueryDisplayConfig, 1, ERROR_NOT_SUPPORTED);
    EXPECT_EQ(query(QDC_ALL_PATHS).result, ERROR_NOT_SUPPORTED);
    EXPECT_EQ(query(QDC_ALL_PATHS).result, ERROR_SUCCESS);

    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    standin::failCall(Operation::DisplayConfigGetDeviceInfo, 1, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, kAdapter, 0),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, kAdapter, 0), ERROR_SUCCESS);

    const std::size_t all = rawModes(u"\\\\.\\DISPLAY1").size();
    standin::failCall(Operation::EnumDisplaySettingsExW, 3, ERROR_GEN_FAILURE);
    EXPECT_EQ(rawModes(u"\\\\.\\DISPLAY1").size(), 2u);
    EXPECT_EQ(standin::callCount(Operation::EnumDisplaySettingsExW), all + 1 + 3);
}

TEST_F(StandInFaults, ResetClearsFaultsCountsAndScriptedConfigurations) {
    standin::setConfiguration(onePath());
    standin::failCall(Operation::QueryDisplayConfig, 1, ERROR_GEN_FAILURE);
    standin::changeConfigurationAfterSizeQuery(standin::Configuration{});
    UINT32 paths = 0;
    UINT32 modes = 0;
    GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes);
    EXPECT_EQ(paths, 1u);

    standin::changeConfigurationAfterSizeQuery(onePath());
    standin::resetConfiguration();
    EXPECT_EQ(standin::callCount(Operation::GetDisplayConfigBufferSizes), 0u);
    const Tables t = query(QDC_ALL_PATHS);
    EXPECT_EQ(t.result, ERROR_SUCCESS);
    EXPECT_EQ(t.paths.size(), 16u);
    EXPECT_EQ(query(QDC_ALL_PATHS).paths.size(), 16u) << "no change pending after the reset";
}

using StandInChanges = StandInTest;

TEST_F(StandInChanges, GrownTablesMakeTheQueryAskForLargerBuffers) {
    standin::setConfiguration(onePath());
    standin::changeConfigurationAfterSizeQuery(standin::defaultConfiguration());
    const Tables t = query(QDC_ALL_PATHS);
    EXPECT_EQ(t.result, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(query(QDC_ALL_PATHS).paths.size(), 16u) << "the change stays";
}

TEST_F(StandInChanges, ShrunkTablesWriteFewerRecordsAndSayHowMany) {
    standin::changeConfigurationAfterSizeQuery(onePath());
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    ASSERT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &pathCount, &modeCount), ERROR_SUCCESS);
    EXPECT_EQ(pathCount, 16u);
    EXPECT_EQ(modeCount, 4u);

    DISPLAYCONFIG_PATH_INFO untouched{};
    untouched.flags = 0xFEEDu;
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(pathCount, untouched);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(modeCount);
    ASSERT_EQ(QueryDisplayConfig(QDC_ALL_PATHS, &pathCount, paths.data(), &modeCount, modes.data(),
                                 nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(pathCount, 1u);
    EXPECT_EQ(modeCount, 2u);
    EXPECT_EQ(paths[0].targetInfo.id, 7u);
    EXPECT_EQ(paths[1].flags, 0xFEEDu);
}

TEST_F(StandInChanges, OnlyASuccessfulSizeQueryTriggersTheChange) {
    standin::changeConfigurationAfterSizeQuery(onePath());
    standin::failCall(Operation::GetDisplayConfigBufferSizes, 1, ERROR_GEN_FAILURE);
    UINT32 paths = 0;
    UINT32 modes = 0;
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, nullptr),
              ERROR_GEN_FAILURE); // the fault claims the call before any check
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(query(QDC_ALL_PATHS).paths.size(), 1u);
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes), ERROR_SUCCESS);
    EXPECT_EQ(paths, 1u);
}

using StandInRecords = StandInTest;

TEST_F(StandInRecords, NamesAsLongAsTheirFieldsHaveNoTerminator) {
    const std::u16string friendly(64, u'F');
    const std::u16string path(128, u'P');
    const std::u16string gdi(32, u'G');
    standin::Configuration c = onePath();
    setTargetName(c, kAdapter, 7, friendly, path);
    setSourceName(c, kAdapter, 0, gdi);
    standin::setConfiguration(c);

    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    ASSERT_EQ(ask(target, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, kAdapter, 7), ERROR_SUCCESS);
    EXPECT_TRUE(std::all_of(std::begin(target.monitorFriendlyDeviceName),
                            std::end(target.monitorFriendlyDeviceName),
                            [](WCHAR ch) { return ch == u'F'; }));
    EXPECT_TRUE(std::all_of(std::begin(target.monitorDevicePath),
                            std::end(target.monitorDevicePath),
                            [](WCHAR ch) { return ch == u'P'; }));
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    ASSERT_EQ(ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, kAdapter, 0), ERROR_SUCCESS);
    EXPECT_EQ(standin::nameOf(source.viewGdiDeviceName), gdi);

    EXPECT_THROW(setSourceName(c, kAdapter, 0, std::u16string(33, u'G')), std::length_error);
    EXPECT_THROW(setTargetName(c, kAdapter, 7, std::u16string(65, u'F'), u""), std::length_error);
}

TEST_F(StandInRecords, ScriptedAnswersAndOutOfRangeModeIndexesAreServedAsGiven) {
    standin::Configuration c = onePath();
    c.paths[0].sourceInfo.modeInfoIdx = 7;
    setPreferredMode(c, kAdapter, 7, 1280, 1024, 75, 1);
    setDeviceInfoError(c, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, kAdapter, 7,
                       ERROR_NOT_SUPPORTED);
    standin::setConfiguration(c);

    for (UINT32 flags : {UINT32(QDC_ALL_PATHS), UINT32(QDC_ONLY_ACTIVE_PATHS)}) {
        const Tables t = query(flags);
        ASSERT_EQ(t.result, ERROR_SUCCESS);
        ASSERT_EQ(t.paths.size(), 1u);
        EXPECT_EQ(t.paths[0].sourceInfo.modeInfoIdx, 7u) << flags;
    }
    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    EXPECT_EQ(ask(target, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, kAdapter, 7),
              ERROR_NOT_SUPPORTED);
    DISPLAYCONFIG_TARGET_PREFERRED_MODE preferred{};
    ASSERT_EQ(ask(preferred, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, kAdapter, 7),
              ERROR_SUCCESS);
    EXPECT_EQ(preferred.targetMode.targetVideoSignalInfo.vSyncFreq.Numerator, 75u);
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    EXPECT_EQ(ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, kAdapter, 0),
              ERROR_GEN_FAILURE);
}
