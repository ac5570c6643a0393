#include "BackendTestSupport.h"

#include <tkl/Exception.h>

namespace backend_test {
namespace {

using Enumeration = BackendTest;

/// The (adapter low part, target id, source id) of every port, in order.
std::vector<std::tuple<DWORD, UINT32, UINT32>> portTargets(VideoPortFactory& factory) {
    std::vector<std::tuple<DWORD, UINT32, UINT32>> targets;
    for (unsigned i = 0; i < factory.numVideoPorts(); ++i) {
        const auto& path = dynamic_cast<const VideoPortWin7&>(*factory.videoPort(i)).pathInfo();
        targets.emplace_back(path.targetInfo.adapterId.LowPart, path.targetInfo.id,
                             path.sourceInfo.id);
    }
    return targets;
}

TEST_F(Enumeration, KeepsTheFirstPathOfEveryTargetInPlatformOrder) {
    Configuration config;
    const LUID a = adapter(1);
    const auto tech = DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI;
    // Targets 7, 8, 9 each reached from several sources, interleaved, the
    // duplicates of 7 not adjacent to it.
    for (UINT32 source = 0; source < 3; ++source) {
        for (UINT32 target : {7u, 8u, 9u}) {
            config.paths.push_back(standin::makePath(a, source, target, 0, tech));
        }
        setSourceName(config, a, source, gdiName(source + 1));
    }
    serve(config);
    using T = std::tuple<DWORD, UINT32, UINT32>;
    EXPECT_EQ(portTargets(*factory), (std::vector<T>{T{1, 7, 0}, T{1, 8, 0}, T{1, 9, 0}}));
}

TEST_F(Enumeration, TargetIdentityIsAdapterAndTargetId) {
    Configuration config;
    const auto tech = DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI;
    // Same id on two adapters (also differing only in the high part), two
    // ids on one adapter, and a path that differs only in its source.
    config.paths.push_back(standin::makePath(adapter(1), 0, 5, 0, tech));
    config.paths.push_back(standin::makePath(adapter(2), 0, 5, 0, tech));
    config.paths.push_back(standin::makePath(adapter(1, 1), 0, 5, 0, tech));
    config.paths.push_back(standin::makePath(adapter(1), 0, 6, 0, tech));
    config.paths.push_back(standin::makePath(adapter(2), 3, 5, 0, tech));
    serve(config);
    ASSERT_EQ(factory->numVideoPorts(), 4u);
    EXPECT_EQ(port(1).portId().LowPart, 2u);
    EXPECT_EQ(port(2).portId().HighPart, 1);
    EXPECT_EQ(port(3).pathInfo().targetInfo.id, 6u);
}

TEST_F(Enumeration, ActivePathIsNotPreferredOverAnEarlierInactiveOne) {
    Configuration config = simpleConfiguration(1, 1);
    // An inactive path to the same target, listed first.
    config.paths.insert(
        config.paths.begin(),
        standin::makePath(adapter(0x1234), 3, 100, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI));
    serve(config);
    ASSERT_EQ(factory->numVideoPorts(), 1u);
    EXPECT_FALSE(factory->videoPort(0)->hasAttachedMonitor());
    EXPECT_EQ(port(0).pathInfo().sourceInfo.id, 3u);
}

// The platform refuses a query with a null buffer or a zero count, as Windows
// does: a configuration with no paths is read from the size query alone.
TEST_F(Enumeration, NoPathsIsAnEmptyListWithoutAQuery) {
    Configuration modesOnly;
    modesOnly.modes.push_back(standin::makeSourceMode(adapter(0x1234), 0, 640, 480));
    for (const Configuration& empty : {Configuration(), modesOnly}) {
        serve(simpleConfiguration(2, 1));
        const unsigned queries = standin::callCount(standin::Operation::QueryDisplayConfig);
        standin::setConfiguration(empty);
        EXPECT_TRUE(factory->refresh());
        EXPECT_EQ(factory->numVideoPorts(), 0u);
        EXPECT_EQ(standin::callCount(standin::Operation::QueryDisplayConfig), queries);
        EXPECT_TRUE(lines.empty()) << lines.front();
        try {
            factory->videoPort(0);
            FAIL() << "no exception";
        } catch (const tkl::IndexOutOfBounds& e) {
            EXPECT_EQ(e.high(), 0xFFFFFFFFu);
        }
    }
    // And back again.
    serve(simpleConfiguration(2, 1));
    EXPECT_EQ(factory->numVideoPorts(), 2u);
}

// Paths with no mode records (every path inactive): the mode table is queried
// with room for one record, which the platform leaves unused.
TEST_F(Enumeration, PathsWithoutModeRecordsReplaceTheOldList) {
    serve(simpleConfiguration(2, 2));
    const Configuration idle = simpleConfiguration(3, 0);
    ASSERT_TRUE(idle.modes.empty());
    standin::setConfiguration(idle);
    EXPECT_TRUE(factory->refresh());
    EXPECT_TRUE(lines.empty()) << lines.front();
    ASSERT_EQ(factory->numVideoPorts(), 3u);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_FALSE(factory->videoPort(i)->hasAttachedMonitor());
        EXPECT_FALSE(factory->videoPort(i)->monitor()) << "a stale monitor is still shown";
        EXPECT_EQ(port(i).pathInfo().targetInfo.id, 100 + i);
    }
    // The one spare record is not taken for a written one.
    Configuration withInvalidIndex = idle;
    withInvalidIndex.paths[0].sourceInfo.modeInfoIdx = 0;
    standin::setConfiguration(withInvalidIndex);
    EXPECT_THROW(factory->refresh(), tkl::IndexOutOfBounds);
}

TEST_F(Enumeration, ModeRecordsAppearingAfterTheSizeQuery) {
    serve(simpleConfiguration(2, 0));
    // One record fits the room given for the empty table; two do not.
    standin::changeConfigurationAfterSizeQuery(simpleConfiguration(2, 1));
    EXPECT_FALSE(factory->refresh());
    EXPECT_EQ(lines, std::vector<std::string>{
                         "libVideoPortInfo WARNING 57 QueryDisplayConfig returns 122"});
    EXPECT_EQ(factory->numVideoPorts(), 2u);
    EXPECT_FALSE(factory->videoPort(0)->hasAttachedMonitor());

    lines.clear();
    Configuration oneMode = simpleConfiguration(2, 0);
    oneMode.modes.push_back(standin::makeSourceMode(adapter(0x1234), 0, 800, 600));
    oneMode.paths[1].sourceInfo.modeInfoIdx = 0;
    standin::setConfiguration(simpleConfiguration(2, 0));
    standin::changeConfigurationAfterSizeQuery(oneMode);
    EXPECT_TRUE(factory->refresh());
    EXPECT_TRUE(lines.empty()) << lines.front();
    ASSERT_EQ(factory->numVideoPorts(), 2u);
    EXPECT_EQ(port(1).pathInfo().sourceInfo.modeInfoIdx, 0u);
}

TEST_F(Enumeration, IndexPastTheLastPortThrows) {
    serve(simpleConfiguration(3, 1));
    try {
        factory->videoPort(3);
        FAIL() << "no exception";
    } catch (const tkl::IndexOutOfBounds& e) {
        EXPECT_EQ(e.high(), 2u);
        EXPECT_EQ(e.index(), 3u);
    }
}

TEST_F(Enumeration, UsesOnlyTheRecordsTheQueryWrote) {
    serve(simpleConfiguration(1, 1));
    // Sizes are taken from a larger configuration; the query then serves a
    // smaller one and writes fewer records.
    standin::setConfiguration(simpleConfiguration(4, 4));
    standin::changeConfigurationAfterSizeQuery(simpleConfiguration(2, 1));
    ASSERT_TRUE(factory->refresh());
    ASSERT_EQ(factory->numVideoPorts(), 2u);
    for (unsigned i = 0; i < 2; ++i) {
        EXPECT_EQ(port(i).pathInfo().targetInfo.id, 100 + i) << "a zero-filled path became a port";
        EXPECT_EQ(port(i).portId().LowPart, 0x1234u);
    }
    EXPECT_TRUE(lines.empty());
}

TEST_F(Enumeration, GrownConfigurationFailsTheQueryAndKeepsTheOldList) {
    serve(simpleConfiguration(2, 2));
    const VideoPort* before = factory->videoPort(1).get();
    standin::changeConfigurationAfterSizeQuery(simpleConfiguration(5, 5));
    EXPECT_FALSE(factory->refresh());
    EXPECT_EQ(lines, std::vector<std::string>{
                         "libVideoPortInfo WARNING 57 QueryDisplayConfig returns 122"});
    ASSERT_EQ(factory->numVideoPorts(), 2u);
    EXPECT_EQ(factory->videoPort(1).get(), before);
    EXPECT_EQ(before->displayId().toUtf8(), "\\\\.\\DISPLAY2");
    EXPECT_EQ(standin::callCount(standin::Operation::QueryDisplayConfig), 2u) << "no retry";
}

TEST_F(Enumeration, FailedSizeQueryKeepsTheOldList) {
    serve(simpleConfiguration(3, 2));
    const VideoPort* before = factory->videoPort(0).get();
    const unsigned queriesBefore = standin::callCount(standin::Operation::QueryDisplayConfig);
    standin::failCall(standin::Operation::GetDisplayConfigBufferSizes, 1, ERROR_GEN_FAILURE);
    EXPECT_FALSE(factory->refresh());
    EXPECT_EQ(lines, std::vector<std::string>{
                         "libVideoPortInfo WARNING 46 GetDisplayConfigBufferSizes returns 31"});
    EXPECT_EQ(standin::callCount(standin::Operation::QueryDisplayConfig), queriesBefore);
    EXPECT_EQ(factory->numVideoPorts(), 3u);
    EXPECT_EQ(factory->videoPort(0).get(), before);
    EXPECT_TRUE(before->hasAttachedMonitor());

    // The factory keeps why, until a reading succeeds.
    auto& win7 = static_cast<libVideoPortInfo::VideoPortFactoryWin7&>(*factory);
    EXPECT_STREQ(win7.lastReadFailure().operation, "GetDisplayConfigBufferSizes");
    EXPECT_EQ(win7.lastReadFailure().code, ERROR_GEN_FAILURE);
    standin::failCall(standin::Operation::QueryDisplayConfig, 1, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(factory->refresh());
    EXPECT_STREQ(win7.lastReadFailure().operation, "QueryDisplayConfig");
    EXPECT_EQ(win7.lastReadFailure().code, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(factory->refresh());
    EXPECT_EQ(win7.lastReadFailure().operation, nullptr);
}

TEST_F(Enumeration, ErrorCodesAreLoggedAsUnsignedNumbers) {
    standin::failCall(standin::Operation::QueryDisplayConfig, 1, -5);
    EXPECT_FALSE(factory->refresh());
    EXPECT_EQ(lines, std::vector<std::string>{
                         "libVideoPortInfo WARNING 57 QueryDisplayConfig returns 4294967291"});
}

TEST_F(Enumeration, ThresholdsSilenceFailureMessages) {
    tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_ERROR);
    standin::failCall(standin::Operation::GetDisplayConfigBufferSizes, 1, ERROR_GEN_FAILURE);
    EXPECT_FALSE(factory->refresh());
    EXPECT_TRUE(lines.empty());

    tkl::LogFactory::setPriority(tkl::LoggerPriority::PRIORITY_TRACE);
    tkl::Logger* logger = nullptr;
    tkl::LogFactory::createLogger("libVideoPortInfo", logger);
    logger->priority = tkl::LoggerPriority::PRIORITY_ERROR;
    standin::failCall(standin::Operation::GetDisplayConfigBufferSizes, 1, ERROR_GEN_FAILURE);
    EXPECT_FALSE(factory->refresh());
    logger->priority = tkl::LoggerPriority::PRIORITY_TRACE;
    EXPECT_TRUE(lines.empty());

    standin::failCall(standin::Operation::GetDisplayConfigBufferSizes, 1, ERROR_GEN_FAILURE);
    EXPECT_FALSE(factory->refresh());
    EXPECT_EQ(lines.size(), 1u);
}

TEST_F(Enumeration, ModeIndexOutsideTheTableThrowsAndKeepsTheOldList) {
    serve(simpleConfiguration(2, 2));
    const VideoPort* before = factory->videoPort(1).get();
    for (bool sourceSide : {true, false}) {
        Configuration broken = simpleConfiguration(3, 3);
        auto& info = broken.paths[2];
        (sourceSide ? info.sourceInfo.modeInfoIdx : info.targetInfo.modeInfoIdx) = 6;
        standin::setConfiguration(broken);
        try {
            factory->refresh();
            FAIL() << "no exception";
        } catch (const tkl::IndexOutOfBounds& e) {
            EXPECT_EQ(e.low(), 0u);
            EXPECT_EQ(e.high(), 5u);
            EXPECT_EQ(e.index(), 6u);
        }
        ASSERT_EQ(factory->numVideoPorts(), 2u);
        EXPECT_EQ(factory->videoPort(1).get(), before);
        EXPECT_EQ(before->monitor()->name().toUtf8(), "Monitor 1");
    }
}

TEST_F(Enumeration, InvalidModeIndexesAreNotLookedUp) {
    Configuration config = simpleConfiguration(1, 1);
    config.paths[0].sourceInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
    config.paths[0].targetInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
    config.modes.clear();
    serve(config);
    ASSERT_EQ(factory->numVideoPorts(), 1u);
    EXPECT_TRUE(factory->videoPort(0)->hasAttachedMonitor());
}

TEST_F(Enumeration, FactoryIsOneObject) {
    EXPECT_EQ(libVideoPortInfo::VideoPortFactoryWin7::factory().get(), factory);
    EXPECT_NE(dynamic_cast<libVideoPortInfo::VideoPortFactoryWin7*>(factory), nullptr);
}

} // namespace
} // namespace backend_test
