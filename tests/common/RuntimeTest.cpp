#include <tkl/Exception.h>
#include <tkl/Logging.h>
#include <tkl/Serializable.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using tkl::LoggerPriority;

static_assert(std::is_base_of<tkl::Exception, tkl::IndexOutOfBounds>::value, "");
static_assert(std::is_base_of<tkl::Exception, tkl::NullPointer>::value, "");
static_assert(std::is_base_of<tkl::Exception, tkl::SerializationFailed>::value, "");
static_assert(std::has_virtual_destructor<tkl::Exception>::value, "");

TEST(Exceptions, CarryTheirValuesThroughCopies) {
    try {
        throw tkl::IndexOutOfBounds(0, 4294967295u, 7);
    } catch (const tkl::Exception& e) {
        const auto* bounds = dynamic_cast<const tkl::IndexOutOfBounds*>(&e);
        ASSERT_NE(bounds, nullptr);
        tkl::IndexOutOfBounds copy(*bounds);
        EXPECT_EQ(copy.low(), 0u);
        EXPECT_EQ(copy.high(), 4294967295u);
        EXPECT_EQ(copy.index(), 7u);
        const std::string text = copy.what();
        EXPECT_NE(text.find("4294967295"), std::string::npos) << text;
        EXPECT_NE(text.find('7'), std::string::npos) << text;
        EXPECT_EQ(text, e.what());
    }
    tkl::NullPointer nullPointer(tkl::String("Asked for array of size: 9"));
    tkl::NullPointer nullCopy(nullPointer);
    EXPECT_STREQ(nullCopy.what(), "Asked for array of size: 9");
    tkl::SerializationFailed failed(tkl::String("no"));
    EXPECT_STREQ(tkl::SerializationFailed(failed).what(), "no");
    EXPECT_EQ(failed.message(), tkl::String("no"));
}

// Captures log lines through the sink for one test, and puts the global
// threshold back afterwards.
class LoggingTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = tkl::LogFactory::getPriority();
        tkl::LogFactory::setSink(&LoggingTest::capture, &lines_);
    }
    void TearDown() override {
        tkl::LogFactory::setSink(nullptr, nullptr);
        tkl::LogFactory::setPriority(saved_);
    }
    static void capture(const char* line, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(line);
    }
    std::vector<std::string> lines_;
    LoggerPriority::LOGGER_PRIORITY saved_ = LoggerPriority::PRIORITY_WARNING;
};

TEST_F(LoggingTest, LineHoldsNamePriorityAndMessage) {
    tkl::Logger* logger = nullptr;
    tkl::LogFactory::createLogger("libVideoPortInfo", logger);
    ASSERT_NE(logger, nullptr);
    tkl::LoggerStream stream;
    stream + "46 " + "GetDisplayConfigBufferSizes returns ";
    stream << 5u;
    EXPECT_TRUE(logger->log(LoggerPriority::PRIORITY_WARNING, stream));
    EXPECT_EQ(lines_, std::vector<std::string>{
                          "libVideoPortInfo WARNING 46 GetDisplayConfigBufferSizes returns 5"});
}

TEST_F(LoggingTest, SameNameGivesTheSameLogger) {
    tkl::Logger* a = nullptr;
    tkl::Logger* b = nullptr;
    tkl::Logger* c = nullptr;
    tkl::LogFactory::createLogger("one", a);
    tkl::LogFactory::createLogger("one", b);
    tkl::LogFactory::createLogger("two", c);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(a->name(), "one");
    EXPECT_EQ(a->priority, LoggerPriority::PRIORITY_TRACE);
}

TEST_F(LoggingTest, ThresholdsDecideWhatIsWritten) {
    tkl::Logger* logger = nullptr;
    tkl::LogFactory::createLogger("thresholds", logger);
    tkl::LoggerStream stream;
    stream + "text";

    tkl::LogFactory::setPriority(LoggerPriority::PRIORITY_WARNING);
    EXPECT_FALSE(logger->log(LoggerPriority::PRIORITY_DEBUG, stream));
    EXPECT_TRUE(logger->log(LoggerPriority::PRIORITY_ERROR, stream));
    EXPECT_EQ(logger->resolvePriority(), LoggerPriority::PRIORITY_WARNING);

    tkl::LogFactory::setPriority(LoggerPriority::PRIORITY_DEBUG);
    EXPECT_TRUE(logger->log(LoggerPriority::PRIORITY_DEBUG, stream));

    logger->priority = LoggerPriority::PRIORITY_FATAL;
    EXPECT_EQ(logger->resolvePriority(), LoggerPriority::PRIORITY_FATAL);
    EXPECT_FALSE(logger->log(LoggerPriority::PRIORITY_ERROR, stream));
    logger->priority = LoggerPriority::PRIORITY_TRACE;

    // The logger's own threshold is a plain int: values past the enumeration
    // count as its ends.
    logger->priority = 8;
    EXPECT_EQ(logger->resolvePriority(), LoggerPriority::PRIORITY_FATAL);
    EXPECT_TRUE(logger->log(LoggerPriority::PRIORITY_FATAL, stream));
    logger->priority = -4;
    EXPECT_EQ(logger->resolvePriority(), LoggerPriority::PRIORITY_DEBUG);
    logger->priority = LoggerPriority::PRIORITY_TRACE;

    EXPECT_EQ(lines_, (std::vector<std::string>{"thresholds ERROR text", "thresholds DEBUG text",
                                                "thresholds FATAL text"}));
}

// Registered again by CTest with TKL_LOG_PRIORITY set, and
// VPI_EXPECTED_LOG_PRIORITY naming the threshold that must result.
TEST(LogPriority, ComesFromTheEnvironment) {
    const char* expected = std::getenv("VPI_EXPECTED_LOG_PRIORITY");
    const int want = expected != nullptr ? std::atoi(expected) : LoggerPriority::PRIORITY_WARNING;
    const LoggerPriority::LOGGER_PRIORITY priority = tkl::LogFactory::getPriority();
    EXPECT_EQ(static_cast<int>(priority), want);
    EXPECT_STRNE(LoggerPriority::name(priority), "UNKNOWN");
}

class Sample : public tkl::Serializable {
public:
    void serializeMembers(tkl::String& out) override { out = tkl::String("<v>1</v>"); }
    void serializeMember(const tkl::String&) override {}
    const tkl::String& className() override {
        static const tkl::String name("Sample");
        return name;
    }
};

TEST(Serializable, WritesAnElementAndRefusesToRead) {
    Sample sample;
    tkl::String xml;
    sample.doSerialization(tkl::String("item"), xml);
    EXPECT_EQ(xml.toUtf8(), "<item><v>1</v></item>");
    try {
        sample.deserializeUtf8("<item/>");
        FAIL() << "no exception";
    } catch (const tkl::SerializationFailed& e) {
        EXPECT_NE(std::string(e.what()).find("Sample"), std::string::npos);
    }
}

} // namespace
