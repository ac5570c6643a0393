// The factory's first use, in a process of its own: nothing else may call
// factory() before this test.
#include "BackendTestSupport.h"

#include <tkl/Exception.h>

namespace backend_test {
namespace {

using libVideoPortInfo::VideoPortFactoryWin7;

TEST(FactoryFirstUse, ConstructionRetriesAfterAThrowAndEnumeratesOnce) {
    standin::resetConfiguration();
    std::vector<std::string> lines;
    tkl::LogFactory::setSink(
        [](const char* line, void* context) {
            static_cast<std::vector<std::string>*>(context)->push_back(line);
        },
        &lines);

    // A first construction that throws leaves no factory behind.
    Configuration broken = simpleConfiguration(1, 1);
    broken.paths[0].targetInfo.modeInfoIdx = 40;
    standin::setConfiguration(broken);
    EXPECT_THROW(VideoPortFactoryWin7::factory(), tkl::IndexOutOfBounds);

    // The next call starts afresh; its failed enumeration is not reported and
    // leaves an empty list.
    standin::setConfiguration(simpleConfiguration(2, 1));
    standin::failCall(standin::Operation::QueryDisplayConfig, 1, ERROR_GEN_FAILURE);
    const unsigned sizeQueries =
        standin::callCount(standin::Operation::GetDisplayConfigBufferSizes);
    auto factory = VideoPortFactoryWin7::factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->numVideoPorts(), 0u);
    try {
        factory->videoPort(0);
        FAIL() << "no exception";
    } catch (const tkl::IndexOutOfBounds& e) {
        EXPECT_EQ(e.low(), 0u);
        EXPECT_EQ(e.high(), 0xFFFFFFFFu);
        EXPECT_EQ(e.index(), 0u);
    }
    EXPECT_EQ(lines, std::vector<std::string>{
                         "libVideoPortInfo WARNING 57 QueryDisplayConfig returns 31"});

    // Later calls return the same object without enumerating again.
    EXPECT_EQ(VideoPortFactoryWin7::factory(), factory);
    EXPECT_EQ(standin::callCount(standin::Operation::GetDisplayConfigBufferSizes), sizeQueries + 1);

    EXPECT_TRUE(factory->refresh());
    EXPECT_EQ(factory->numVideoPorts(), 2u);
    tkl::LogFactory::setSink(nullptr, nullptr);
}

} // namespace
} // namespace backend_test
