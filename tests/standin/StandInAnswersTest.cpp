// What the stand-in answers for the default machine, and its argument checks.
#include "StandInTestSupport.h"

#include <cstring>
#include <set>
#include <utility>

using namespace standin_test;

using StandInTables = StandInTest;

TEST_F(StandInTables, AllPathsListEverySourceTargetPairWithActivePathsFirst) {
    const Tables t = query(QDC_ALL_PATHS);
    ASSERT_EQ(t.result, ERROR_SUCCESS);
    ASSERT_EQ(t.paths.size(), 16u);
    ASSERT_EQ(t.modes.size(), 4u);

    std::set<std::pair<UINT32, UINT32>> pairs;
    for (std::size_t i = 0; i < t.paths.size(); ++i) {
        const DISPLAYCONFIG_PATH_INFO& p = t.paths[i];
        const bool active = (p.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0;
        EXPECT_EQ(active, i < 2) << "path " << i;
        EXPECT_TRUE(standin::sameLuid(p.sourceInfo.adapterId, kAdapter));
        EXPECT_TRUE(standin::sameLuid(p.targetInfo.adapterId, kAdapter));
        pairs.emplace(p.sourceInfo.id, p.targetInfo.id);
        if (!active) {
            EXPECT_EQ(p.sourceInfo.modeInfoIdx, DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
            EXPECT_EQ(p.targetInfo.modeInfoIdx, DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
        }
    }
    EXPECT_EQ(pairs.size(), 16u);
    EXPECT_EQ(t.paths[0].targetInfo.id, kPanel);
    EXPECT_EQ(t.paths[0].targetInfo.outputTechnology,
              DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EMBEDDED);
    EXPECT_EQ(t.paths[1].targetInfo.id, kHdmi);
    EXPECT_EQ(t.paths[1].targetInfo.outputTechnology, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI);
}

TEST_F(StandInTables, ActivePathsDesignateTheirOwnSourceAndTargetModes) {
    const Tables t = query(QDC_ALL_PATHS);
    ASSERT_EQ(t.result, ERROR_SUCCESS);
    for (std::size_t i = 0; i < 2; ++i) {
        const DISPLAYCONFIG_PATH_INFO& p = t.paths[i];
        ASSERT_LT(p.sourceInfo.modeInfoIdx, t.modes.size());
        ASSERT_LT(p.targetInfo.modeInfoIdx, t.modes.size());
        const DISPLAYCONFIG_MODE_INFO& source = t.modes[p.sourceInfo.modeInfoIdx];
        const DISPLAYCONFIG_MODE_INFO& target = t.modes[p.targetInfo.modeInfoIdx];
        EXPECT_EQ(source.infoType, DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE);
        EXPECT_EQ(source.id, p.sourceInfo.id);
        EXPECT_EQ(target.infoType, DISPLAYCONFIG_MODE_INFO_TYPE_TARGET);
        EXPECT_EQ(target.id, p.targetInfo.id);
    }
    const DISPLAYCONFIG_MODE_INFO& hdmi = t.modes[t.paths[1].targetInfo.modeInfoIdx];
    EXPECT_EQ(hdmi.targetMode.targetVideoSignalInfo.activeSize.cx, 2560u);
    EXPECT_EQ(hdmi.targetMode.targetVideoSignalInfo.vSyncFreq.Numerator, 241500000u);
}

TEST_F(StandInTables, OnlyActivePathsRenumberTheModesTheyUse) {
    standin::Configuration c;
    c.modes.push_back(standin::makeSourceMode(kAdapter, 5, 800, 600)); // used by no active path
    c.modes.push_back(standin::makeTargetMode(kAdapter, 9, 1024, 768, 60, 1));
    c.modes.push_back(standin::makeSourceMode(kAdapter, 0, 1024, 768));
    c.paths.push_back(standin::makePath(kAdapter, 5, 8, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI));
    c.paths.push_back(standin::makePath(kAdapter, 0, 9, DISPLAYCONFIG_PATH_ACTIVE,
                                        DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI, 2, 1));
    standin::setConfiguration(c);

    const Tables t = query(QDC_ONLY_ACTIVE_PATHS);
    ASSERT_EQ(t.result, ERROR_SUCCESS);
    ASSERT_EQ(t.paths.size(), 1u);
    ASSERT_EQ(t.modes.size(), 2u);
    EXPECT_EQ(t.paths[0].targetInfo.id, 9u);
    EXPECT_EQ(t.modes[t.paths[0].sourceInfo.modeInfoIdx].id, 0u);
    EXPECT_EQ(t.modes[t.paths[0].targetInfo.modeInfoIdx].id, 9u);

    EXPECT_EQ(query(QDC_ALL_PATHS).paths.size(), 2u);
}

TEST_F(StandInTables, ArgumentChecks) {
    UINT32 paths = 0;
    UINT32 modes = 0;
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, nullptr, &modes), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetDisplayConfigBufferSizes(0, &paths, &modes), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS | QDC_ONLY_ACTIVE_PATHS, &paths, &modes),
              ERROR_INVALID_PARAMETER);

    std::vector<DISPLAYCONFIG_PATH_INFO> p(16);
    std::vector<DISPLAYCONFIG_MODE_INFO> m(4);
    auto run = [&](UINT32 pathCount, UINT32 modeCount, bool nullPaths, bool nullModes,
                   DISPLAYCONFIG_TOPOLOGY_ID* topology = nullptr, UINT32 flags = QDC_ALL_PATHS) {
        return QueryDisplayConfig(flags, &pathCount, nullPaths ? nullptr : p.data(), &modeCount,
                                  nullModes ? nullptr : m.data(), topology);
    };
    EXPECT_EQ(run(16, 4, true, false), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(run(16, 4, false, true), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(run(0, 4, false, false), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(run(16, 0, false, false), ERROR_INVALID_PARAMETER);
    DISPLAYCONFIG_TOPOLOGY_ID topology{};
    EXPECT_EQ(run(16, 4, false, false, &topology), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(run(16, 4, false, false, nullptr, 0x40), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(run(15, 4, false, false), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(run(16, 3, false, false), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(run(16, 4, false, false), ERROR_SUCCESS);
    EXPECT_EQ(QueryDisplayConfig(QDC_ALL_PATHS, nullptr, p.data(), &modes, m.data(), nullptr),
              ERROR_INVALID_PARAMETER);
}

using StandInDeviceInfo = StandInTest;

TEST_F(StandInDeviceInfo, NamesAndPreferredModesOfTheDefaultMachine) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    ASSERT_EQ(ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, kAdapter, 1), ERROR_SUCCESS);
    EXPECT_EQ(standin::nameOf(source.viewGdiDeviceName), u"\\\\.\\DISPLAY2");
    // The caller's header is left as it was.
    EXPECT_EQ(source.header.size, sizeof source);
    EXPECT_EQ(source.header.id, 1u);

    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    ASSERT_EQ(ask(target, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, kAdapter, kHdmi),
              ERROR_SUCCESS);
    EXPECT_EQ(standin::nameOf(target.monitorFriendlyDeviceName), u"DELL U2719D");
    const std::u16string path = standin::nameOf(target.monitorDevicePath);
    EXPECT_EQ(path.rfind(u"\\\\?\\DISPLAY#", 0), 0u) << "device path prefix";
    EXPECT_EQ(path.substr(path.size() - 39), u"#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}");
    ASSERT_EQ(ask(target, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, kAdapter, kPanel),
              ERROR_SUCCESS);
    EXPECT_EQ(standin::nameOf(target.monitorFriendlyDeviceName), u"");

    DISPLAYCONFIG_TARGET_PREFERRED_MODE preferred{};
    ASSERT_EQ(ask(preferred, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, kAdapter, kHdmi),
              ERROR_SUCCESS);
    EXPECT_EQ(preferred.width, 2560u);
    EXPECT_EQ(preferred.height, 1440u);
    EXPECT_EQ(preferred.targetMode.targetVideoSignalInfo.vSyncFreq.Denominator, 4028320u);
    EXPECT_EQ(ask(preferred, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, kAdapter, kVga),
              ERROR_NOT_SUPPORTED);
}

TEST_F(StandInDeviceInfo, ArgumentChecks) {
    EXPECT_EQ(DisplayConfigGetDeviceInfo(nullptr), ERROR_INVALID_PARAMETER);

    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, kAdapter, 0);
    for (UINT32 size : {0u, 83u, 85u, 420u}) {
        source.header.size = size;
        EXPECT_EQ(DisplayConfigGetDeviceInfo(&source.header), ERROR_INVALID_PARAMETER) << size;
    }
    source.header.size = sizeof source;
    for (UINT32 type : {0u, 12u, 0xFFFFFFFFu}) {
        source.header.type = static_cast<DISPLAYCONFIG_DEVICE_INFO_TYPE>(type);
        EXPECT_EQ(DisplayConfigGetDeviceInfo(&source.header), ERROR_INVALID_PARAMETER) << type;
    }
    EXPECT_EQ(ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, kAdapter, 4),
              ERROR_GEN_FAILURE);
    EXPECT_EQ(
        ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, standin::makeLuid(0xd6a1, 1), 0),
        ERROR_GEN_FAILURE);
    DISPLAYCONFIG_ADAPTER_NAME adapter{};
    EXPECT_EQ(ask(adapter, DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, kAdapter, 0),
              ERROR_NOT_SUPPORTED);
}

using StandInDisplayModes = StandInTest;

TEST_F(StandInDisplayModes, RawListsEndWithZeroAndHoldTwinsOfEqualResolution) {
    const std::vector<DEVMODEW> panel = rawModes(u"\\\\.\\DISPLAY1");
    ASSERT_GE(panel.size(), 24u);
    EXPECT_EQ(panel[0].dmPelsWidth, 640u);
    EXPECT_EQ(panel[0].dmBitsPerPel, 32u);
    EXPECT_EQ(panel[0].dmDisplayFrequency, 60u);

    // Modes equal in width, height, frequency and depth, differing elsewhere.
    unsigned twins = 0;
    for (std::size_t i = 0; i < panel.size(); ++i) {
        for (std::size_t k = i + 1; k < panel.size(); ++k) {
            const DEVMODEW& a = panel[i];
            const DEVMODEW& b = panel[k];
            twins += a.dmPelsWidth == b.dmPelsWidth && a.dmPelsHeight == b.dmPelsHeight &&
                     a.dmDisplayFrequency == b.dmDisplayFrequency &&
                     a.dmBitsPerPel == b.dmBitsPerPel;
        }
    }
    EXPECT_GE(twins, 3u);

    EXPECT_TRUE(rawModes(u"\\\\.\\DISPLAY9").empty());
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsExW(nullptr, 0, &mode, EDS_RAWMODE)) << "primary display";
    EXPECT_EQ(std::memcmp(&mode, &panel[0], sizeof mode), 0);
    EXPECT_FALSE(EnumDisplaySettingsExW(nullptr, 0, nullptr, EDS_RAWMODE));
}

TEST_F(StandInDisplayModes, CurrentSettingsFollowTheActivePath) {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    const std::vector<WCHAR> monitor = wide(u"\\\\.\\DISPLAY2");
    ASSERT_TRUE(EnumDisplaySettingsExW(monitor.data(), ENUM_CURRENT_SETTINGS, &mode, 0));
    EXPECT_EQ(mode.dmPelsWidth, 2560u);
    EXPECT_EQ(mode.dmPelsHeight, 1440u);
    EXPECT_EQ(mode.dmDisplayFrequency, 59u);
    EXPECT_EQ(mode.dmBitsPerPel, 32u);
    EXPECT_EQ(mode.dmPosition.x, 1920);
    const std::vector<WCHAR> idle = wide(u"\\\\.\\DISPLAY3");
    EXPECT_FALSE(EnumDisplaySettingsExW(idle.data(), ENUM_CURRENT_SETTINGS, &mode, 0));
}

TEST_F(StandInDisplayModes, WritesNoMoreThanTheCallersRecordSize) {
    struct Buffer {
        DEVMODEW mode;
        unsigned char extra[64];
    };
    const std::vector<WCHAR> name = wide(u"\\\\.\\DISPLAY1");
    for (WORD size : {WORD(sizeof(DEVMODEW)), WORD(188)}) {
        Buffer buffer;
        std::memset(&buffer, 0xAB, sizeof buffer);
        buffer.mode.dmSize = size;
        buffer.mode.dmDriverExtra = 32;
        ASSERT_TRUE(EnumDisplaySettingsExW(name.data(), 0, &buffer.mode, EDS_RAWMODE)) << size;
        EXPECT_EQ(buffer.mode.dmPelsWidth, 640u);
        EXPECT_EQ(buffer.mode.dmDisplayFrequency, 60u);
        EXPECT_EQ(buffer.mode.dmSize, size);
        EXPECT_EQ(buffer.mode.dmDriverExtra, 0u);
        const auto* bytes = reinterpret_cast<const unsigned char*>(&buffer);
        for (std::size_t i = size; i < sizeof buffer; ++i) {
            ASSERT_EQ(bytes[i], 0xAB) << "byte " << i << " with dmSize " << size;
        }
    }
    DEVMODEW tooSmall{};
    tooSmall.dmSize = 187;
    EXPECT_FALSE(EnumDisplaySettingsExW(name.data(), 0, &tooSmall, EDS_RAWMODE));
}
