// What the stand-in answers for the default machine, and its argument checks.
#include "StandInTestSupport.h"

#include <standin/ConfigurationJson.h>

#include <cstring>
#include <iterator>
#include <set>
#include <string>
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
    // A missing count is refused before the other is written, whatever the
    // flags.
    for (UINT32 flags : {UINT32(QDC_ALL_PATHS), 0u}) {
        UINT32 paths = 7;
        UINT32 modes = 7;
        EXPECT_EQ(GetDisplayConfigBufferSizes(flags, nullptr, &modes), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(GetDisplayConfigBufferSizes(flags, &paths, nullptr), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(paths, 7u) << flags;
        EXPECT_EQ(modes, 7u) << flags;
    }
    UINT32 paths = 0;
    UINT32 modes = 0;
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
    EXPECT_EQ(DisplayConfigGetDeviceInfo(nullptr), ERROR_GEN_FAILURE);

    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, kAdapter, 0);
    for (UINT32 size : {83u, 85u, 420u}) {
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
    EXPECT_EQ(ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_BASE_TYPE, kAdapter, 0),
              ERROR_NOT_SUPPORTED);
}

using StandInEdids = StandInTest;

// The HDMI monitor's EDID, asked by the path its target name gives, in every
// way the operation is called.
TEST_F(StandInEdids, ServedByPathWithSizeQueriesAndShortBuffers) {
    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    ASSERT_EQ(ask(target, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, kAdapter, kHdmi),
              ERROR_SUCCESS);
    const std::vector<WCHAR> path = wide(standin::nameOf(target.monitorDevicePath));
    std::u16string upper = standin::nameOf(target.monitorDevicePath);
    for (char16_t& c : upper) {
        c = c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
    }
    const std::vector<WCHAR> otherCase = wide(upper);
    const std::vector<WCHAR> unknown = wide(u"\\\\?\\DISPLAY#NONE0000#1");
    const WCHAR empty[1] = {0};
    // The Dell's, the first by path: a base block and a CTA-861 block.
    const std::vector<unsigned char> edid = standin::defaultConfiguration().edids.begin()->second;
    const UINT32 edidSize = 256;
    ASSERT_EQ(edid.size(), edidSize);
    const struct {
        const char* what;
        const WCHAR* path;
        bool buffer;
        bool size;
        UINT32 capacity;
        LONG result;
        UINT32 sizeAfter; // the capacity when left alone
        bool written;
    } cases[] = {
        {"whole", path.data(), true, true, 300, ERROR_SUCCESS, edidSize, true},
        {"exact", path.data(), true, true, edidSize, ERROR_SUCCESS, edidSize, true},
        {"path in another case", otherCase.data(), true, true, 300, ERROR_SUCCESS, edidSize, true},
        {"size query", path.data(), false, true, 0, ERROR_SUCCESS, edidSize, false},
        {"short buffer", path.data(), true, true, edidSize - 1, ERROR_INSUFFICIENT_BUFFER, edidSize,
         false},
        {"unknown monitor", unknown.data(), true, true, 300, ERROR_FILE_NOT_FOUND, 300, false},
        {"null path", nullptr, true, true, 300, ERROR_INVALID_PARAMETER, 300, false},
        {"empty path", empty, true, true, 300, ERROR_INVALID_PARAMETER, 300, false},
        {"null size", path.data(), true, false, 0, ERROR_INVALID_PARAMETER, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BYTE> buffer(300, 0xA5);
        UINT32 size = c.capacity;
        EXPECT_EQ(vpiReadMonitorEdid(c.path, c.buffer ? buffer.data() : nullptr,
                                     c.size ? &size : nullptr),
                  c.result);
        EXPECT_EQ(size, c.sizeAfter);
        EXPECT_EQ(std::equal(edid.begin(), edid.end(), buffer.begin()), c.written);
        EXPECT_EQ(buffer[edidSize], 0xA5) << "nothing written past the EDID";
    }
    EXPECT_EQ(standin::callCount(standin::Operation::ReadMonitorEdid), std::size(cases));
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

// Where the platform's answers are easy to simplify, the stand-in answers as
// Windows 7 does.
using StandInLikeWindows7 = StandInTest;

TEST_F(StandInLikeWindows7, OnlyOneOfTheThreeTableFlagsIsKnown) {
    std::vector<DISPLAYCONFIG_PATH_INFO> p(16);
    std::vector<DISPLAYCONFIG_MODE_INFO> m(4);
    DISPLAYCONFIG_TOPOLOGY_ID topology{};
    for (UINT32 flags :
         {0u, UINT32(QDC_ALL_PATHS | QDC_ONLY_ACTIVE_PATHS),
          UINT32(QDC_ALL_PATHS | QDC_VIRTUAL_MODE_AWARE),
          UINT32(QDC_ONLY_ACTIVE_PATHS | QDC_INCLUDE_HMD), UINT32(QDC_DATABASE_CURRENT | 0x8),
          UINT32(QDC_ALL_PATHS | 0x40), UINT32(QDC_ONLY_ACTIVE_PATHS | 0x80000000u),
          UINT32(QDC_VIRTUAL_MODE_AWARE)}) {
        SCOPED_TRACE(flags);
        UINT32 paths = 99;
        UINT32 modes = 99;
        EXPECT_EQ(GetDisplayConfigBufferSizes(flags, &paths, &modes), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(paths, 0u);
        EXPECT_EQ(modes, 0u);
        paths = 16;
        modes = 4;
        DISPLAYCONFIG_TOPOLOGY_ID* id = (flags & QDC_DATABASE_CURRENT) ? &topology : nullptr;
        EXPECT_EQ(QueryDisplayConfig(flags, &paths, p.data(), &modes, m.data(), id),
                  ERROR_INVALID_PARAMETER);
    }
    for (UINT32 flags : {QDC_ALL_PATHS, QDC_ONLY_ACTIVE_PATHS, QDC_DATABASE_CURRENT}) {
        UINT32 paths = 0;
        UINT32 modes = 0;
        EXPECT_EQ(GetDisplayConfigBufferSizes(flags, &paths, &modes), ERROR_SUCCESS) << flags;
        EXPECT_NE(paths, 0u) << flags;
    }
}

TEST_F(StandInLikeWindows7, TheDatabaseViewHasTheActivePathsWithoutSignalTiming) {
    const Tables active = query(QDC_ONLY_ACTIVE_PATHS);
    ASSERT_EQ(active.result, ERROR_SUCCESS);
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    ASSERT_EQ(GetDisplayConfigBufferSizes(QDC_DATABASE_CURRENT, &pathCount, &modeCount),
              ERROR_SUCCESS);
    EXPECT_EQ(pathCount, active.paths.size());
    EXPECT_EQ(modeCount, active.modes.size());
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(pathCount);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(modeCount);
    DISPLAYCONFIG_TOPOLOGY_ID topology{};
    ASSERT_EQ(QueryDisplayConfig(QDC_DATABASE_CURRENT, &pathCount, paths.data(), &modeCount,
                                 modes.data(), &topology),
              ERROR_SUCCESS);
    EXPECT_EQ(topology, DISPLAYCONFIG_TOPOLOGY_EXTEND);
    ASSERT_EQ(paths.size(), active.paths.size());
    ASSERT_EQ(modes.size(), active.modes.size());
    EXPECT_EQ(std::memcmp(paths.data(), active.paths.data(), paths.size() * sizeof paths[0]), 0);

    unsigned targets = 0;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        if (modes[i].infoType != DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
            EXPECT_EQ(std::memcmp(&modes[i], &active.modes[i], sizeof modes[i]), 0) << i;
            continue;
        }
        ++targets;
        const DISPLAYCONFIG_VIDEO_SIGNAL_INFO& stored = modes[i].targetMode.targetVideoSignalInfo;
        const DISPLAYCONFIG_VIDEO_SIGNAL_INFO& live =
            active.modes[i].targetMode.targetVideoSignalInfo;
        EXPECT_NE(live.totalSize.cx, 0u) << "the live view has a timing to leave out";
        EXPECT_EQ(stored.totalSize.cx, 0u);
        EXPECT_EQ(stored.totalSize.cy, 0u);
        EXPECT_EQ(stored.pixelRate, 0u);
        EXPECT_EQ(stored.hSyncFreq.Numerator, 0u);
        EXPECT_EQ(stored.activeSize.cx, live.activeSize.cx);
        EXPECT_EQ(stored.activeSize.cy, live.activeSize.cy);
        EXPECT_EQ(stored.vSyncFreq.Numerator, live.vSyncFreq.Numerator);
        EXPECT_EQ(stored.vSyncFreq.Denominator, live.vSyncFreq.Denominator);
    }
    EXPECT_EQ(targets, 2u);
}

TEST_F(StandInLikeWindows7, EmptyRequestsFailAndWrongSizesAreRefusedFirst) {
    EXPECT_EQ(DisplayConfigGetDeviceInfo(nullptr), ERROR_GEN_FAILURE);
    for (UINT32 type : {0u, 1u, 2u, 3u, 4u, 5u, 11u, 12u, 0xFFFFFFFFu}) {
        DISPLAYCONFIG_DEVICE_INFO_HEADER header{};
        header.type = static_cast<DISPLAYCONFIG_DEVICE_INFO_TYPE>(type);
        header.adapterId = kAdapter;
        EXPECT_EQ(DisplayConfigGetDeviceInfo(&header), ERROR_GEN_FAILURE) << type;
    }

    // A known type's wrong size is refused before the adapter is looked up,
    // and before an unusable configuration is; the right size then fails.
    const LUID unknown = standin::makeLuid(0xbad, 7);
    auto askWithSize = [&](UINT32 type, UINT32 size) {
        DISPLAYCONFIG_TARGET_DEVICE_NAME record{}; // room for every known type
        record.header.type = static_cast<DISPLAYCONFIG_DEVICE_INFO_TYPE>(type);
        record.header.size = size;
        record.header.adapterId = unknown;
        return DisplayConfigGetDeviceInfo(&record.header);
    };
    const UINT32 sizes[] = {
        sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME), sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME),
        sizeof(DISPLAYCONFIG_TARGET_PREFERRED_MODE), sizeof(DISPLAYCONFIG_ADAPTER_NAME)};
    for (int unusable = 0; unusable < 2; ++unusable) {
        if (unusable) {
            setEnvironment("VPI_DISPLAY_CONFIG", VPI_TEST_SCRATCH_DIR); // a directory
            ::testing::internal::CaptureStderr();
            standin::resetConfiguration();
            EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
        }
        for (UINT32 type = 1; type <= 4; ++type) {
            SCOPED_TRACE(std::to_string(type) + (unusable ? ", unusable" : ""));
            EXPECT_EQ(askWithSize(type, sizes[type - 1] - 1), ERROR_INVALID_PARAMETER);
            EXPECT_EQ(askWithSize(type, sizes[type % 4]), ERROR_INVALID_PARAMETER);
            EXPECT_EQ(askWithSize(type, sizes[type - 1]), ERROR_GEN_FAILURE);
        }
    }
}

TEST_F(StandInLikeWindows7, EveryAdapterOfTheConfigurationHasAName) {
    auto nameOf = [](const LUID& adapter, UINT32 id, LONG& result) {
        DISPLAYCONFIG_ADAPTER_NAME name{};
        result = ask(name, DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, adapter, id);
        EXPECT_EQ(name.header.id, id) << "the header stays as the caller set it";
        return standin::nameOf(name.adapterDevicePath);
    };
    const std::u16string suffix = u"#{5b45201d-f2f2-4f3b-85bb-30ff1f953599}";
    LONG result = ERROR_GEN_FAILURE;
    const std::u16string builtIn = nameOf(kAdapter, 0, result);
    ASSERT_EQ(result, ERROR_SUCCESS);
    EXPECT_EQ(builtIn.rfind(u"\\\\?\\", 0), 0u);
    EXPECT_EQ(builtIn.substr(builtIn.size() - suffix.size()), suffix);
    EXPECT_EQ(nameOf(kAdapter, 0x1041, result), builtIn) << "whatever the id";

    // Adapters with no answer of their own get one each; a recorded answer,
    // success or error, is served as it is.
    const LUID second = standin::makeLuid(0x51, 0);
    const LUID third = standin::makeLuid(0x52, 1);
    const LUID failing = standin::makeLuid(0x53, 0);
    standin::Configuration c;
    for (const LUID& adapter : {kAdapter, second, failing}) {
        c.paths.push_back(standin::makePath(adapter, 0, 1, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI));
    }
    c.paths.back().targetInfo.adapterId = third; // named by a target only
    const std::u16string recorded(128, u'r');
    setAdapterName(c, second, recorded);
    setDeviceInfoError(c, DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, failing, 0,
                       ERROR_NOT_SUPPORTED);
    standin::setConfiguration(c);

    const std::u16string first = nameOf(kAdapter, 3, result);
    EXPECT_EQ(result, ERROR_SUCCESS);
    EXPECT_EQ(first.substr(first.size() - suffix.size()), suffix);
    EXPECT_EQ(nameOf(second, 0, result), recorded);
    EXPECT_EQ(result, ERROR_SUCCESS);
    const std::u16string byTarget = nameOf(third, 0, result);
    EXPECT_EQ(result, ERROR_SUCCESS);
    EXPECT_FALSE(byTarget.empty());
    EXPECT_NE(byTarget, first);
    nameOf(failing, 0, result);
    EXPECT_EQ(result, ERROR_NOT_SUPPORTED);
    nameOf(standin::makeLuid(0x54, 0), 0, result);
    EXPECT_EQ(result, ERROR_GEN_FAILURE) << "an adapter the configuration does not name";
}

TEST_F(StandInLikeWindows7, WithoutRotatedModeOnlyTheCurrentOrientationIsListed) {
    standin::Configuration c;
    c.modes.push_back(standin::makeSourceMode(kAdapter, 0, 1080, 1920));
    c.paths.push_back(standin::makePath(kAdapter, 0, 7, DISPLAYCONFIG_PATH_ACTIVE,
                                        DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI, 0));
    c.paths.back().targetInfo.rotation = DISPLAYCONFIG_ROTATION_ROTATE90;
    c.paths.push_back(standin::makePath(kAdapter, 1, 8, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI));
    setSourceName(c, kAdapter, 0, u"\\\\.\\DISPLAY1");
    setSourceName(c, kAdapter, 1, u"\\\\.\\DISPLAY2");
    const DWORD orientations[] = {DMDO_DEFAULT, DMDO_90, DMDO_180, DMDO_90, DMDO_270, DMDO_DEFAULT};
    for (const std::u16string device : {u"\\\\.\\DISPLAY1", u"\\\\.\\DISPLAY2"}) {
        for (std::size_t i = 0; i < std::size(orientations); ++i) {
            addDisplayMode(c, device, 640 + 10 * DWORD(i), 480, 60, 32, orientations[i]);
        }
    }
    standin::setConfiguration(c);

    auto widths = [](const std::vector<DEVMODEW>& modes) {
        std::vector<DWORD> w;
        for (const DEVMODEW& mode : modes) {
            w.push_back(mode.dmPelsWidth);
        }
        return w;
    };
    // The rotated device lists its DMDO_90 modes, the idle one its default ones.
    for (const auto& [device, orientation] : {std::pair(u"\\\\.\\DISPLAY1", DWORD(DMDO_90)),
                                              std::pair(u"\\\\.\\DISPLAY2", DWORD(DMDO_DEFAULT))}) {
        SCOPED_TRACE(standin::toUtf8(device));
        std::vector<DEVMODEW> current;
        for (const DEVMODEW& mode : c.displayModes.at(device)) {
            if (mode.dmDisplayOrientation == orientation) {
                current.push_back(mode);
            }
        }
        ASSERT_EQ(current.size(), 2u);
        EXPECT_EQ(widths(rawModes(device, 0)), widths(current));
        EXPECT_EQ(widths(rawModes(device, EDS_RAWMODE)), widths(current));
        EXPECT_EQ(widths(rawModes(device, EDS_ROTATEDMODE)), widths(c.displayModes.at(device)));
        EXPECT_EQ(widths(rawModes(device, EDS_RAWMODE | EDS_ROTATEDMODE)),
                  widths(c.displayModes.at(device)));
    }
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    const std::vector<WCHAR> rotated = wide(u"\\\\.\\DISPLAY1");
    ASSERT_TRUE(EnumDisplaySettingsExW(rotated.data(), ENUM_CURRENT_SETTINGS, &mode, 0));
    EXPECT_EQ(mode.dmDisplayOrientation, DWORD(DMDO_90));
}

TEST_F(StandInLikeWindows7, TheBuiltInModesAreAllInTheCurrentOrientation) {
    for (const char16_t* device :
         {u"\\\\.\\DISPLAY1", u"\\\\.\\DISPLAY2", u"\\\\.\\DISPLAY3", u"\\\\.\\DISPLAY4"}) {
        const std::vector<DEVMODEW> raw = rawModes(device);
        const std::vector<DEVMODEW> all = rawModes(device, EDS_RAWMODE | EDS_ROTATEDMODE);
        ASSERT_FALSE(raw.empty());
        ASSERT_EQ(raw.size(), all.size()) << standin::toUtf8(device);
        EXPECT_EQ(std::memcmp(raw.data(), all.data(), raw.size() * sizeof raw[0]), 0);
    }
}
