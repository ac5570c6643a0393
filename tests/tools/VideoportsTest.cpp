// Runs the videoports program as a user would and checks what it prints
// against what the library itself reports for the same configuration.
#include "../support/Environment.h"

#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <standin/ConfigurationJson.h>
#include <standin/StandIn.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

using libVideoPortInfo::DisplayResolution;
using libVideoPortInfo::VideoPort;
using nlohmann::json;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void setConfigFile(const std::string& path) {
    if (path.empty()) {
        clearEnvironment("VPI_DISPLAY_CONFIG");
    } else {
        setEnvironment("VPI_DISPLAY_CONFIG", path);
    }
}

/// A scratch file name of the running test case's own: CTest runs the cases
/// in parallel, each in a process of its own, in one working directory.
std::string scratchFile(const std::string& suffix) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string("videoports_test.") + test->name() + suffix;
}

/// Runs videoports with `arguments`; the configuration file, if any, reaches
/// it through the inherited environment.
Result runVideoports(const std::string& arguments) {
    const char* program = std::getenv("VPI_VIDEOPORTS");
    EXPECT_NE(program, nullptr) << "VPI_VIDEOPORTS names the program under test";
    const std::string errFile = scratchFile(".stderr");
    const std::string command = std::string("\"") + (program ? program : "videoports") + "\" " +
                                arguments + " 2>" + errFile;
    Result result;
#ifdef _WIN32
    // cmd.exe drops the first and the last quote of a command holding more
    // than two: one more pair keeps the program's and the arguments' quotes.
    FILE* pipe = _popen(("\"" + command + "\"").c_str(), "rb");
#else
    FILE* pipe = popen(command.c_str(), "r");
#endif
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return result;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.out.append(buffer, n);
    }
#ifdef _WIN32
    result.status = _pclose(pipe);
#else
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    result.err = readFile(errFile);
    std::remove(errFile.c_str());
    return result;
}

json modeJson(const DisplayResolution& mode) {
    return json{{"width", mode.width()},
                {"height", mode.height()},
                {"refreshRate", mode.frequency()},
                {"bitsPerPixel", mode.bitsPerPixel()}};
}

/// What videoports --json must print for port `index`, from the library.
json expectedPort(unsigned index, const VideoPort& port) {
    json expected;
    expected["index"] = index;
    expected["connector"] = libVideoPortInfo::connectorTypeName(port.connectorType());
    expected["connectorType"] = static_cast<int>(port.connectorType());
    expected["monitorAttached"] = port.hasAttachedMonitor();
    expected["displayId"] = port.displayId().toUtf8();
    if (port.monitor()) {
        const auto& monitor = *port.monitor();
        expected["monitor"] = json{{"name", monitor.name().toUtf8()},
                                   {"devicePath", monitor.devicePath().toUtf8()},
                                   {"displayId", monitor.displayId().toUtf8()},
                                   {"preferredMode", modeJson(monitor.preferredResolution())}};
    } else {
        expected["monitor"] = nullptr;
    }
    tkl::Array<DisplayResolution> modes;
    port.supportedResolution(modes);
    expected["modes"] = json::array();
    for (unsigned i = 0; i < modes.size(); ++i) {
        expected["modes"].push_back(modeJson(modes[i]));
    }
    return expected;
}

/// The library's own view of the configuration now served.
json expectedDocument() {
    standin::resetConfiguration(); // picks up VPI_DISPLAY_CONFIG again
    auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    EXPECT_TRUE(factory->refresh());
    json ports = json::array();
    for (unsigned i = 0; i < factory->numVideoPorts(); ++i) {
        ports.push_back(expectedPort(i, *factory->videoPort(i)));
    }
    return json{{"ports", ports}};
}

/// A machine unlike the default: two adapters, a monitor with a non-ASCII
/// name, an unterminated device path and duplicate raw modes.
standin::Configuration recordedMachine() {
    standin::Configuration config;
    const LUID first = standin::makeLuid(0x51, 0);
    const LUID second = standin::makeLuid(0x77, 1);
    config.modes.push_back(standin::makeSourceMode(first, 0, 1280, 1024));
    config.modes.push_back(standin::makeTargetMode(first, 3, 1280, 1024, 75, 1));
    config.paths.push_back(standin::makePath(first, 0, 3, DISPLAYCONFIG_PATH_ACTIVE,
                                             DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI, 0, 1));
    config.paths.push_back(standin::makePath(first, 1, 3, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI));
    config.paths.push_back(
        standin::makePath(second, 0, 9, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HD15));
    config.setSourceName(first, 0, u"\\\\.\\DISPLAY1");
    config.setSourceName(first, 1, u"\\\\.\\DISPLAY2");
    config.setSourceName(second, 0, u"\\\\.\\DISPLAY3");
    config.setTargetName(first, 3, u"\u00C9cran 19\"", std::u16string(128, u'p'),
                         DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI);
    config.setPreferredMode(first, 3, 1280, 1024, 75025, 1000);
    for (int repeat = 0; repeat < 2; ++repeat) {
        config.addDisplayMode(u"\\\\.\\DISPLAY1", 1280, 1024, 75, 32);
        config.addDisplayMode(u"\\\\.\\DISPLAY1", 1024, 768, 60, 32);
        config.displayModes[u"\\\\.\\DISPLAY1"].back().dmDisplayFixedOutput = DMDFO_CENTER;
    }
    config.addDisplayMode(u"\\\\.\\DISPLAY3", 640, 480, 60, 16);
    return config;
}

class Videoports : public ::testing::Test {
protected:
    void SetUp() override { setConfigFile(""); }
    void TearDown() override {
        setConfigFile("");
        if (!file_.empty()) {
            std::remove(file_.c_str());
        }
    }
    void useRecordedMachine() {
        file_ = scratchFile(".machine.json");
        std::ofstream(file_, std::ios::binary) << standin::configurationToJson(recordedMachine());
        setConfigFile(file_);
    }
    std::string file_;
};

TEST_F(Videoports, JsonOfTheDefaultConfigurationIsWhatTheLibraryReports) {
    const Result result = runVideoports("--json");
    ASSERT_EQ(result.status, 0) << result.err;
    const json document = json::parse(result.out);
    EXPECT_EQ(document, expectedDocument());
    EXPECT_GE(document["ports"].size(), 2u);
}

TEST_F(Videoports, JsonOfARecordedConfiguration) {
    useRecordedMachine();
    const Result result = runVideoports("--json");
    ASSERT_EQ(result.status, 0) << result.err;
    const json document = json::parse(result.out);
    EXPECT_EQ(document, expectedDocument());
    // Two targets survive; the second path to target 3 was a duplicate.
    ASSERT_EQ(document["ports"].size(), 2u);
    const json& port = document["ports"][0];
    EXPECT_EQ(port["connector"], "DVI");
    EXPECT_EQ(port["monitor"]["name"], "\xC3\x89"
                                       "cran 19\"");
    EXPECT_EQ(port["monitor"]["devicePath"], std::string(128, 'p'));
    EXPECT_EQ(port["monitor"]["preferredMode"]["refreshRate"], 75);
    EXPECT_EQ(port["modes"].size(), 2u);
    EXPECT_EQ(document["ports"][1]["monitor"], nullptr);
    EXPECT_EQ(document["ports"][1]["connector"], "VGA");
}

TEST_F(Videoports, TableHasAHeaderAndOneAlignedRowPerPort) {
    useRecordedMachine();
    const Result result = runVideoports("");
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> rows;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 3u) << result.out;
    EXPECT_EQ(rows[0].rfind("PORT", 0), 0u);
    const std::size_t column = rows[0].find("DISPLAY ID");
    ASSERT_NE(column, std::string::npos);
    EXPECT_EQ(rows[1].find("\\\\.\\DISPLAY1"), column);
    EXPECT_EQ(rows[2].find("\\\\.\\DISPLAY3"), column);
    EXPECT_NE(rows[1].find("1280x1024 @ 75 Hz"), std::string::npos);
    EXPECT_NE(rows[2].find("VGA"), std::string::npos);
}

TEST_F(Videoports, OnePortWithItsModes) {
    useRecordedMachine();
    const Result result = runVideoports("--modes --port 0");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find(
                  "Port 0: 2 modes\n  1280x1024 @ 75 Hz, 32 bpp\n  1024x768 @ 60 Hz, 32 bpp\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("DISPLAY3"), std::string::npos);

    const Result single = runVideoports("--json --port 1");
    ASSERT_EQ(single.status, 0) << single.err;
    const json document = json::parse(single.out);
    ASSERT_EQ(document["ports"].size(), 1u);
    EXPECT_EQ(document["ports"][0]["index"], 1);
}

TEST_F(Videoports, BadArgumentsExitWithTwoAndOneMessage) {
    useRecordedMachine();
    // Only digits are a number: no sign, no blank, nothing after it.
    for (const char* arguments :
         {"--frobnicate", "--port", "--port x", "--port -1", "--log-level 9", "--port 2",
          "--port \" 1\"", "--port +1", "--port \"1 \"", "--port \"\"", "--log-level +1",
          "--port 0x1", "--port 4294967295", "--port 99999999999999999999"}) {
        const Result result = runVideoports(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_TRUE(result.out.empty()) << arguments;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
            << arguments << ": " << result.err;
        EXPECT_EQ(result.err.rfind("videoports: ", 0), 0u) << result.err;
    }
}

TEST_F(Videoports, AVeryLongArgumentIsShortenedInTheMessage) {
#ifdef _WIN32
    const std::size_t length = 4000; // the command line of cmd.exe holds 8191 characters
#else
    const std::size_t length = 100000;
#endif
    const std::string unknown = "--" + std::string(length, 'x');
    const std::string number(length, '7');
    for (const auto& [arguments, argument] :
         {std::make_pair(unknown, unknown), std::make_pair("--port " + number, number)}) {
        const Result result = runVideoports(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
        EXPECT_LT(result.err.size(), 200u) << result.err.substr(0, 200);
        EXPECT_NE(result.err.find("'" + argument.substr(0, 40)), std::string::npos)
            << "the message shows how the argument starts: " << result.err.substr(0, 200);
        EXPECT_NE(result.err.find("...'"), std::string::npos) << result.err.substr(0, 200);
    }
}

#ifndef _WIN32
// Output that cannot be written is a failure, not a success with nothing
// shown: a full device, and a standard output that was closed.
TEST_F(Videoports, OutputThatCannotBeWrittenExitsWithOne) {
    for (const char* arguments : {"--json >/dev/full", "--modes >/dev/full", "--help >/dev/full",
                                  "--version >/dev/full", "--json >&-", ">&-"}) {
        const Result result = runVideoports(arguments);
        EXPECT_EQ(result.status, 1) << arguments;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
            << arguments << ": " << result.err;
        EXPECT_EQ(result.err.rfind("videoports: cannot write the output: ", 0), 0u)
            << arguments << ": " << result.err;
    }
}
#endif

TEST_F(Videoports, UnreadableConfigurationExitsWithOneAndTheLoggedReason) {
    file_ = scratchFile(".broken.json");
    std::ofstream(file_) << "{ \"paths\": [";
    setConfigFile(file_);
    const Result result = runVideoports("");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("libVideoPortInfo WARNING 46 GetDisplayConfigBufferSizes returns 31"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(file_), std::string::npos) << "the stand-in names the file";
}

TEST_F(Videoports, HelpAndVersion) {
    const Result help = runVideoports("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--modes"), std::string::npos);
    const Result version = runVideoports("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "videoports " VPI_VERSION "\n");
}

} // namespace
