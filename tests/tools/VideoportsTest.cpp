// Runs the videoports program as a user would and checks what it prints
// against what the library itself reports for the same configuration.
#include "../support/ConfigurationBuilders.h"
#include "../support/Environment.h"

#include <DisplayWidth.h>
#include <Watch.h>
#include <libVideoPortInfo/ConnectorType.h>
#include <libVideoPortInfo/VideoPortFactoryWin7.h>
#include <standin/ConfigurationJson.h>
#include <standin/StandIn.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <chrono>
#include <csignal>
#include <optional>
#include <regex>

#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
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

/// `actual` with only the keys `expected` has, at every depth. The desktop,
/// colour and EDID fields are left to the golden files and to the Python
/// module's comparison through the C interface.
json projected(const json& actual, const json& expected) {
    json kept = actual;
    if (actual.is_object() && expected.is_object()) {
        kept = json::object();
        for (const auto& [key, value] : expected.items()) {
            if (actual.contains(key)) {
                kept[key] = projected(actual[key], value);
            }
        }
    } else if (actual.is_array() && expected.is_array() && actual.size() == expected.size()) {
        for (std::size_t i = 0; i < actual.size(); ++i) {
            kept[i] = projected(actual[i], expected[i]);
        }
    }
    return kept;
}

/// What videoports --json must print for port `index`, from the library.
json expectedPort(unsigned index, const VideoPort& port) {
    json expected;
    expected["index"] = index;
    expected["connector"] = libVideoPortInfo::connectorTypeName(port.connectorType());
    expected["connectorType"] = static_cast<int>(port.connectorType());
    expected["monitorAttached"] = port.hasAttachedMonitor();
    expected["displayId"] = port.displayId().toUtf8();
    const auto& win7 = dynamic_cast<const libVideoPortInfo::VideoPortWin7&>(port);
    const auto ids = win7.monitorIds();
    if (port.monitor()) {
        const auto& monitor = *port.monitor();
        expected["monitor"] = json{{"name", monitor.name().toUtf8()},
                                   {"devicePath", monitor.devicePath().toUtf8()},
                                   {"displayId", monitor.displayId().toUtf8()},
                                   {"preferredMode", modeJson(monitor.preferredResolution())},
                                   {"manufacturerId", ids ? json(ids->manufacturerId) : json()},
                                   {"productCode", ids ? json(ids->productCode) : json()}};
    } else {
        expected["monitor"] = nullptr;
    }
    tkl::Array<DisplayResolution> modes;
    port.supportedResolution(modes);
    expected["modes"] = json::array();
    for (unsigned i = 0; i < modes.size(); ++i) {
        expected["modes"].push_back(modeJson(modes[i]));
    }
    char adapter[24];
    std::snprintf(adapter, sizeof adapter, "%08x:%08x", unsigned(win7.portId().HighPart),
                  unsigned(win7.portId().LowPart));
    expected["adapterId"] = adapter;
    expected["targetId"] = win7.targetId();
    expected["key"] = win7.portKey().toUtf8();
    expected["outputTechnology"] = win7.outputTechnology();
    expected["embedded"] = win7.isEmbedded();
    const auto instance = win7.connectorInstance();
    expected["connectorInstance"] = instance ? json(*instance) : json();
    expected["current"] = nullptr;
    if (const auto state = win7.displayState()) {
        const auto& rate = state->refreshRate;
        expected["current"] =
            json{{"width", state->width},
                 {"height", state->height},
                 {"x", state->x},
                 {"y", state->y},
                 {"refreshRate", rate.known() ? json{{"numerator", rate.numerator},
                                                     {"denominator", rate.denominator}}
                                              : json()},
                 {"refreshHz", rate.known() ? json(rate.hertz()) : json()},
                 {"interlaced", state->interlaced},
                 {"rotation", state->rotation},
                 {"scaling", libVideoPortInfo::scalingName(state->scaling)},
                 {"primary", state->primary}};
    }
    expected["monitorConnected"] = port.hasAttachedMonitor() || win7.isMonitorConnected();
    expected["inactiveMonitor"] = nullptr;
    const auto connected = win7.connectedMonitor();
    if (!port.hasAttachedMonitor() && connected) {
        const auto& mode = connected->preferredMode;
        const auto& rate = mode.refreshRate;
        const auto& off = connected->ids;
        expected["connectorInstance"] =
            connected->connectorInstance ? json(*connected->connectorInstance) : json();
        expected["inactiveMonitor"] =
            json{{"name", connected->name.toUtf8()},
                 {"devicePath", connected->devicePath.toUtf8()},
                 {"displayId", ""},
                 {"preferredMode",
                  modeJson(DisplayResolution(mode.width, mode.height, rate.wholeHertz(), 0))},
                 {"manufacturerId", off ? json(off->manufacturerId) : json()},
                 {"productCode", off ? json(off->productCode) : json()}};
    }
    return expected;
}

/// The library's own view of the configuration now served, from `source`.
json expectedDocument(const std::string& source) {
    standin::resetConfiguration(); // picks up VPI_DISPLAY_CONFIG again
    auto factory = libVideoPortInfo::VideoPortFactoryWin7::factory();
    EXPECT_TRUE(factory->refresh());
    json ports = json::array();
    for (unsigned i = 0; i < factory->numVideoPorts(); ++i) {
        ports.push_back(expectedPort(i, *factory->videoPort(i)));
    }
    return json{{"source", source}, {"ports", ports}};
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
    setSourceName(config, first, 0, u"\\\\.\\DISPLAY1");
    setSourceName(config, first, 1, u"\\\\.\\DISPLAY2");
    setSourceName(config, second, 0, u"\\\\.\\DISPLAY3");
    setTargetName(config, first, 3, u"\u00C9cran 19\"", std::u16string(128, u'p'),
                  DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI);
    setPreferredMode(config, first, 3, 1280, 1024, 75025, 1000);
    for (int repeat = 0; repeat < 2; ++repeat) {
        addDisplayMode(config, u"\\\\.\\DISPLAY1", 1280, 1024, 75, 32);
        addDisplayMode(config, u"\\\\.\\DISPLAY1", 1024, 768, 60, 32);
        config.displayModes[u"\\\\.\\DISPLAY1"].back().dmDisplayFixedOutput = DMDFO_CENTER;
    }
    addDisplayMode(config, u"\\\\.\\DISPLAY3", 640, 480, 60, 16);
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

// The built-in sample, and a desktop with monitors connected but not in use.
TEST_F(Videoports, JsonIsWhatTheLibraryReports) {
    for (const std::string file : {"", VPI_IDLE_MONITORS_RECORDING}) {
        setConfigFile(file);
        const Result result = runVideoports("--json");
        ASSERT_EQ(result.status, 0) << result.err;
        const json document = json::parse(result.out);
        const json expected = expectedDocument(file.empty() ? "built-in" : file);
        EXPECT_EQ(projected(document, expected), expected);
        EXPECT_GE(document["ports"].size(), 2u);
        EXPECT_EQ(result.err, "") << "the JSON names its source; no note";
    }
}

TEST_F(Videoports, JsonOfARecordedConfiguration) {
    useRecordedMachine();
    const Result result = runVideoports("--json");
    ASSERT_EQ(result.status, 0) << result.err;
    const json document = json::parse(result.out);
    const json expected = expectedDocument(file_);
    EXPECT_EQ(projected(document, expected), expected);
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
    // No monitor: the source that could drive the connector, in parentheses.
    EXPECT_EQ(rows[2].find("(\\\\.\\DISPLAY3)"), column);
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
    for (const char* arguments : {"--frobnicate",
                                  "--port",
                                  "--port x",
                                  "--port -1",
                                  "--log-level 9",
                                  "--port 2",
                                  "--port \" 1\"",
                                  "--port +1",
                                  "--port \"1 \"",
                                  "--port \"\"",
                                  "--log-level +1",
                                  "--port 0x1",
                                  "--port 4294967295",
                                  "--port 99999999999999999999",
                                  "--port=",
                                  "--port=x",
                                  "--json=1",
                                  "--log-level=6",
                                  "--count 1",
                                  "--interval 1",
                                  "--watch --port 0",
                                  "--watch --count",
                                  "--watch --count -1",
                                  "--watch --interval 0",
                                  "--watch --interval .5",
                                  "--watch --interval 1.",
                                  "--watch --interval 0.0001",
                                  "--watch --interval 86400.001",
                                  "--watch --interval=x",
                                  "--output=metrics.prom --json",
                                  "--prometheus -o",
                                  "--prometheus --json",
                                  "--prometheus --watch",
                                  "--prometheus --port 0"}) {
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
    useRecordedMachine(); // the built-in sample's note would be one more line
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

// -o replaces the file whole, through a temporary file beside it; a file that
// cannot be written is one message and exit 1, and leaves nothing behind. A
// device or a FIFO is refused and stays: as root, /dev/null was replaced.
TEST_F(Videoports, PrometheusOutputReplacesTheFileInOneStep) {
    namespace fs = std::filesystem;
    useRecordedMachine();
    const fs::path folder = scratchFile(".metrics");
    fs::remove_all(folder);
    fs::create_directories(folder / "taken.prom");
    const std::string file = (folder / "metrics.prom").generic_string();
    std::ofstream(file, std::ios::binary) << "old metrics, longer than nothing\n";
    const Result printed = runVideoports("--prometheus");
    ASSERT_EQ(printed.status, 0) << printed.err;

    const Result written = runVideoports("--prometheus -o " + file);
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.out + written.err, "");
    EXPECT_EQ(readFile(file), printed.out);
    std::vector<std::string> failing = {(folder / "missing" / "metrics.prom").generic_string(),
                                        (folder / "taken.prom").generic_string()};
    std::vector<std::string> kept = {"metrics.prom", "taken.prom"};
#ifndef _WIN32
    const std::string fifo = (folder / "fifo.prom").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    failing.insert(failing.end(), {"/dev/null", fifo});
    kept.insert(kept.begin(), "fifo.prom");
#endif
    for (const std::string& target : failing) {
        const Result failed = runVideoports("--prometheus --output " + target);
        EXPECT_EQ(failed.status, 1) << target;
        EXPECT_EQ(failed.out, "");
        EXPECT_EQ(failed.err.rfind("videoports: cannot write " + target + ": ", 0), 0u)
            << failed.err;
        EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
    }
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, kept);
    EXPECT_EQ(readFile(file), printed.out);
#ifndef _WIN32
    struct stat node {};
    EXPECT_TRUE(stat("/dev/null", &node) == 0 && S_ISCHR(node.st_mode));
    EXPECT_TRUE(stat(fifo.c_str(), &node) == 0 && S_ISFIFO(node.st_mode));
#endif
    fs::remove_all(folder);
}

TEST_F(Videoports, UnreadableConfigurationExitsWithOneAndTheLoggedReason) {
    file_ = scratchFile(".broken.json");
    std::ofstream(file_) << "{ \"paths\": [";
    setConfigFile(file_);
    const Result result = runVideoports("");
    EXPECT_EQ(result.status, 1);
    // Logged once: the start does not read again what factory() failed to.
    const std::string logged = "libVideoPortInfo WARNING 46 GetDisplayConfigBufferSizes returns 31";
    const std::size_t first = result.err.find(logged);
    EXPECT_NE(first, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(logged, first + 1), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("videoports: the display configuration could not be read: "
                              "GetDisplayConfigBufferSizes returned 31 (ERROR_GEN_FAILURE)"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(file_), std::string::npos) << "the stand-in names the file";
}

TEST_F(Videoports, HelpAndVersion) {
    const Result help = runVideoports("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* named :
         {"--modes", "--watch", "--count", "--interval", "-h,", "VPI_DISPLAY_CONFIG",
          "TKL_LOG_PRIORITY", "--port=1", "--prometheus", "-o, --output FILE"}) {
        EXPECT_NE(help.out.find(named), std::string::npos) << named << " in\n" << help.out;
    }
    EXPECT_EQ(runVideoports("-h").out, help.out);
    const Result version = runVideoports("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "videoports " VPI_VERSION "\n");
}

TEST_F(Videoports, OptionValuesMayFollowAnEqualsSign) {
    useRecordedMachine();
    const Result twoWords = runVideoports("--json --port 1 --log-level 4");
    ASSERT_EQ(twoWords.status, 0) << twoWords.err;
    const Result oneWord = runVideoports("--json --port=1 --log-level=4");
    EXPECT_EQ(oneWord.status, 0) << oneWord.err;
    EXPECT_EQ(oneWord.out, twoWords.out);
    EXPECT_EQ(json::parse(oneWord.out)["ports"][0]["index"], 1);
}

// Without VPI_DISPLAY_CONFIG the table is the stand-in's sample, not this
// machine: one line on standard error says so, before the table only.
TEST_F(Videoports, TheBuiltInSampleIsPointedOutBeforeItsTable) {
    for (const char* arguments : {"", "--modes"}) {
        const Result result = runVideoports(arguments);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find("built-in sample configuration"), std::string::npos);
        EXPECT_NE(result.err.find("VPI_DISPLAY_CONFIG"), std::string::npos) << result.err;
    }
    useRecordedMachine();
    EXPECT_EQ(runVideoports("").err, "") << "a recording is no sample";
}

// factory() enumerates once; videoports asks again only when it found no
// port, so a warning the platform causes is logged once, not twice. The mode
// the platform did not give is all zeros in the JSON and "unknown" in the
// table.
TEST_F(Videoports, AnUnknownPreferredModeIsLoggedOnceAndShownAsUnknown) {
    standin::Configuration config = recordedMachine();
    const DISPLAYCONFIG_PATH_INFO& active = config.paths[0];
    setDeviceInfoError(config, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE,
                       active.targetInfo.adapterId, active.targetInfo.id, ERROR_NOT_SUPPORTED);
    file_ = scratchFile(".unknown-mode.json");
    std::ofstream(file_, std::ios::binary) << standin::configurationToJson(config);
    setConfigFile(file_);
    const std::string warning =
        "Unable to get preferred mode setting " + std::to_string(ERROR_NOT_SUPPORTED);

    const Result table = runVideoports("");
    ASSERT_EQ(table.status, 0) << table.err;
    std::istringstream rows(table.out);
    std::string header, row;
    std::getline(rows, header);
    std::getline(rows, row);
    // In terminal columns: the name before it starts with a two-byte É.
    EXPECT_EQ(tools::displayWidth(row.substr(0, row.find("unknown"))),
              header.find("PREFERRED MODE"))
        << table.out;
    const Result document = runVideoports("--json");
    ASSERT_EQ(document.status, 0) << document.err;
    EXPECT_EQ(json::parse(document.out)["ports"][0]["monitor"]["preferredMode"],
              (json{{"width", 0}, {"height", 0}, {"refreshRate", 0}, {"bitsPerPixel", 0}}));
    for (const Result* result : {&table, &document}) {
        EXPECT_EQ(std::count(result->err.begin(), result->err.end(), '\n'), 1) << result->err;
        EXPECT_NE(result->err.find(warning), std::string::npos) << result->err;
    }
}

// Two adapters that report the same device path and the same target ids
// (seen on machines with two cards of one model): the keys stay unique, with
// a suffix in the platform's order, and an unchanged configuration is never
// a change.
TEST_F(Videoports, AdaptersWithOneDevicePathKeepKeysUniqueAndChangeNothing) {
    standin::Configuration config;
    const std::u16string path =
        u"\\\\?\\PCI#VEN_10DE&DEV_1C82#{5b45201d-f2f2-4f3b-85bb-30ff1f953599}";
    const std::u16string displays[] = {u"\\\\.\\DISPLAY1", u"\\\\.\\DISPLAY2"};
    for (const DWORD adapter : {0x51u, 0x77u}) {
        const LUID luid = standin::makeLuid(adapter);
        for (const UINT32 target : {1u, 2u}) {
            config.paths.push_back(
                standin::makePath(luid, 0, target, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI));
        }
        setSourceName(config, luid, 0, displays[adapter == 0x77u]);
        setAdapterName(config, luid, path);
    }
    standin::setConfiguration(config);
    // Where the cases share a process, the first reading would take the list
    // factory() read for an earlier case.
    libVideoPortInfo::VideoPortFactoryWin7::factory()->refresh();
    snapshot::Reading reading = snapshot::readConfiguration(snapshot::Reader::Snapshot);
    ASSERT_TRUE(reading.ports) << reading.reason;
    std::vector<std::string> keys;
    for (const auto& port : *reading.ports) {
        keys.push_back(port.key);
    }
    const std::string base(path.begin(), path.end());
    EXPECT_EQ(keys,
              (std::vector<std::string>{base + "#1", base + "#2", base + "#1~2", base + "#2~2"}));
    snapshot::Watch watch(1);
    watch.begin(std::move(*reading.ports));
    for (int poll = 0; poll < 5; ++poll) {
        const snapshot::Look look = watch.next();
        EXPECT_TRUE(look.read);
        EXPECT_TRUE(look.events.empty());
    }
    standin::resetConfiguration();
}

#ifndef _WIN32
/// videoports started in the background, its standard output and error read
/// through pipes. Every wait is bounded: a program that does not answer
/// fails the test instead of hanging it.
class Background {
public:
    explicit Background(const std::vector<std::string>& arguments) {
        const char* program = std::getenv("VPI_VIDEOPORTS");
        int out[2];
        int err[2];
        if (program == nullptr || pipe(out) != 0 || pipe(err) != 0) {
            ADD_FAILURE() << "cannot start videoports";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        for (const int end : {out[0], out[1], err[0], err[1]}) {
            posix_spawn_file_actions_addclose(&actions, end);
        }
        std::vector<std::string> words{program};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(&word[0]);
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program, &actions, nullptr, argv.data(), environ) != 0) {
            ADD_FAILURE() << "cannot start " << program;
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }

    ~Background() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (const int fd : {out_, err_}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }

    /// The next line of standard output, without its newline; empty when none
    /// came in time or the output ended.
    std::optional<std::string> line() {
        const Clock::time_point deadline = Clock::now() + timeout;
        for (;;) {
            const std::size_t end = out.find('\n', taken_);
            if (end != std::string::npos) {
                const std::string text = out.substr(taken_, end - taken_);
                taken_ = end + 1;
                return text;
            }
            if (out_ < 0 || !pump(deadline)) {
                return std::nullopt;
            }
        }
    }

    /// Waits until standard error holds `text` `times` times; false when it
    /// did not in time.
    bool errorHolds(const std::string& text, std::size_t times = 1) {
        const Clock::time_point deadline = Clock::now() + timeout;
        while (occurrences(err, text) < times) {
            if (err_ < 0 || !pump(deadline)) {
                return false;
            }
        }
        return true;
    }

    /// Reads both outputs to their end, then the exit status; -1 when the
    /// program did not end in time or ended by a signal.
    int exitStatus() {
        const Clock::time_point deadline = Clock::now() + timeout;
        while (out_ >= 0 || err_ >= 0) {
            if (!pump(deadline)) {
                return -1;
            }
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void signal(int number) { kill(pid_, number); }

    static std::size_t occurrences(const std::string& text, const std::string& part) {
        std::size_t count = 0;
        for (std::size_t at = text.find(part); at != std::string::npos;
             at = text.find(part, at + 1)) {
            ++count;
        }
        return count;
    }

    std::string out; // everything read so far
    std::string err;

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds timeout{20};

    // Reads what either output has; false when the deadline passed first.
    bool pump(Clock::time_point deadline) {
        std::vector<pollfd> fds;
        for (const int fd : {out_, err_}) {
            if (fd >= 0) {
                fds.push_back(pollfd{fd, POLLIN, 0});
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (fds.empty() || left.count() <= 0 ||
            poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0) {
            return false;
        }
        for (const pollfd& ready : fds) {
            if (ready.revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(ready.fd, buffer, sizeof buffer);
            int& fd = ready.fd == out_ ? out_ : err_;
            (fd == out_ ? out : err).append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            if (n <= 0) {
                close(fd);
                fd = -1;
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::size_t taken_ = 0;
};

/// Replaces `path` by a file holding `text` in one step, as a program that
/// saves a recording would.
void replaceFile(const std::string& path, const std::string& text) {
    const std::string next = path + ".next";
    std::ofstream(next, std::ios::binary) << text;
    ASSERT_EQ(std::rename(next.c_str(), path.c_str()), 0);
}

/// `machine` with its first path made inactive: the monitor unplugged.
standin::Configuration withFirstMonitorDetached(standin::Configuration machine) {
    DISPLAYCONFIG_PATH_INFO& path = machine.paths[0];
    path.flags &= ~UINT32(DISPLAYCONFIG_PATH_ACTIVE);
    path.targetInfo.targetAvailable = FALSE;
    machine.deviceInfo.erase(standin::DeviceInfoKey{DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME,
                                                    path.targetInfo.adapterId, path.targetInfo.id});
    return machine;
}

json parsed(const std::optional<std::string>& line) {
    return line ? json::parse(*line, nullptr, false) : json();
}

// Editing the recording is a change of the configuration: one JSON line per
// change, the first line listing the ports. A broken recording in between is
// told once on standard error, and the next good one is compared with the
// last good one.
TEST_F(Videoports, WatchPrintsOneJsonLinePerChangeOfTheRecording) {
    useRecordedMachine();
    const json first = expectedDocument(file_);
    Background watch({"--watch", "--json", "--count", "2", "--interval", "0.05"});
    const json listed = parsed(watch.line());
    EXPECT_EQ(listed["event"], "listed") << watch.out;
    EXPECT_EQ(listed["source"], file_);
    EXPECT_EQ(projected(listed["ports"], first["ports"]), first["ports"]);

    const standin::Configuration detached = withFirstMonitorDetached(recordedMachine());
    replaceFile(file_, standin::configurationToJson(detached));
    const json change = parsed(watch.line());
    EXPECT_EQ(change["event"], "monitorDetached") << watch.out << watch.err;
    EXPECT_EQ(change["index"], 0);
    EXPECT_EQ(change["targetId"], detached.paths[0].targetInfo.id);
    EXPECT_EQ(projected(change["monitor"], first["ports"][0]["monitor"]),
              first["ports"][0]["monitor"]);
    EXPECT_TRUE(
        std::regex_match(change["time"].get<std::string>(),
                         std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
        << change;

    // Broken twice: two failed reads of the file, one message of each kind.
    replaceFile(file_, "{");
    ASSERT_TRUE(watch.errorHolds("cannot use VPI_DISPLAY_CONFIG file")) << watch.err;
    replaceFile(file_, "{ ");
    ASSERT_TRUE(watch.errorHolds("cannot use VPI_DISPLAY_CONFIG file", 2)) << watch.err;

    // Back with one more port: compared with the last good list, only it is new.
    standin::Configuration grown = detached;
    grown.paths.push_back(standin::makePath(standin::makeLuid(0x77, 1), 1, 12, 0,
                                            DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI));
    replaceFile(file_, standin::configurationToJson(grown));
    const json added = parsed(watch.line());
    EXPECT_EQ(added["event"], "portAdded") << watch.out << watch.err;
    const json now = expectedDocument(file_);
    ASSERT_EQ(now["ports"].size(), 3u);
    EXPECT_EQ(projected(added["port"], now["ports"][2]), now["ports"][2]);

    EXPECT_EQ(watch.exitStatus(), 0) << "--count 2: done after two changes";
    EXPECT_EQ(watch.line(), std::nullopt) << watch.out;
    EXPECT_EQ(Background::occurrences(watch.err, "could not be read; still watching"), 1u)
        << watch.err;
    EXPECT_EQ(Background::occurrences(watch.err, "GetDisplayConfigBufferSizes returns"), 1u)
        << "the library's warning, not repeated at every poll: " << watch.err;
    EXPECT_EQ(Background::occurrences(watch.err, "can be read again"), 1u) << watch.err;
}

TEST_F(Videoports, WatchTellsAChangeAsTextAfterTheTable) {
    useRecordedMachine();
    Background watch({"--watch", "--count=1", "--interval=0.05"});
    for (int row = 0; row < 3; ++row) { // the header and two ports
        ASSERT_TRUE(watch.line()) << watch.out << watch.err;
    }
    replaceFile(file_, standin::configurationToJson(withFirstMonitorDetached(recordedMachine())));
    const std::optional<std::string> change = watch.line();
    ASSERT_TRUE(change) << watch.out << watch.err;
    EXPECT_TRUE(std::regex_match(*change, std::regex(R"(\S+ port 0 \(target 3 on adapter )"
                                                     R"(00000000:00000051\): monitor detached: )"
                                                     "\"\xC3\x89"
                                                     "cran 19\"\"")))
        << *change;
    EXPECT_EQ(watch.exitStatus(), 0);
}

// An interruption ends the watch with 0 and whole lines only.
TEST_F(Videoports, WatchEndsWithZeroWhenInterrupted) {
    useRecordedMachine();
    for (const int signal : {SIGINT, SIGTERM}) {
        Background watch({"--watch", "--json"});
        ASSERT_TRUE(watch.line()) << watch.err;
        watch.signal(signal);
        EXPECT_EQ(watch.exitStatus(), 0) << "signal " << signal << ": " << watch.err;
        EXPECT_EQ(watch.out.back(), '\n');
        EXPECT_EQ(std::count(watch.out.begin(), watch.out.end(), '\n'), 1);
        EXPECT_EQ(watch.err, "");
    }
}
#endif

} // namespace
