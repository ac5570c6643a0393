// Recorded configurations: the JSON round trip, a recording of a real
// platform, and the one message for each kind of unusable file.
#include "StandInTestSupport.h"

#include "ConfigurationRecorder.h"
#include <standin/ConfigurationJson.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace standin_test;
using Json = nlohmann::ordered_json;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string scratch(const std::string& name) {
    return std::string(VPI_TEST_SCRATCH_DIR) + "/" + name;
}

// Serves `path` and returns what the stand-in wrote to standard error.
std::string serveFile(const std::string& path) {
    setEnvironment("VPI_DISPLAY_CONFIG", path);
    ::testing::internal::CaptureStderr();
    standin::resetConfiguration();
    return ::testing::internal::GetCapturedStderr();
}

} // namespace

using RecordedConfiguration = StandInTest;

TEST_F(RecordedConfiguration, RecordingTheDefaultAndReplayingItRecordsTheSameFile) {
    const std::string first = standin::configurationToJson(standin::recordDisplayConfiguration());
    // The recorder asked for everything the default machine holds.
    EXPECT_EQ(first, standin::configurationToJson(standin::defaultConfiguration()));

    const std::string file = scratch("default-recording.json");
    writeFile(file, first);
    EXPECT_EQ(serveFile(file), "");
    EXPECT_EQ(standin::configurationToJson(standin::recordDisplayConfiguration()), first);
}

// The built-in machine is kept as a recording: it must be in the writer's own
// form (so that re-recording it changes nothing), and what the stand-in
// serves without VPI_DISPLAY_CONFIG must be the machine it describes.
TEST_F(RecordedConfiguration, TheBuiltInRecordingIsInTheWritersFormAndIsServed) {
    const std::string file = readFile(VPI_BUILT_IN_RECORDING);
    EXPECT_EQ(standin::configurationToJson(standin::configurationFromJson(file)), file);
    EXPECT_EQ(standin::configurationToJson(standin::defaultConfiguration()), file);
    EXPECT_EQ(standin::configurationToJson(standin::recordDisplayConfiguration()), file);
}

TEST_F(RecordedConfiguration, ARecordingOfWineReplaysAsWineAnswered) {
    const std::string file = std::string(VPI_TEST_DATA_DIR) + "/wine-null-driver.json";
    EXPECT_EQ(serveFile(file), "");
    const Tables t = query(QDC_ALL_PATHS);
    ASSERT_EQ(t.result, ERROR_SUCCESS);
    ASSERT_EQ(t.paths.size(), 1u);
    EXPECT_EQ(t.modes.size(), 2u);
    const LUID adapter = t.paths[0].targetInfo.adapterId;
    EXPECT_EQ(adapter.LowPart, 0x3f0u);

    DISPLAYCONFIG_TARGET_DEVICE_NAME target{};
    ASSERT_EQ(ask(target, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, adapter, 0), ERROR_SUCCESS);
    EXPECT_EQ(standin::nameOf(target.monitorFriendlyDeviceName), u"Display1");
    EXPECT_EQ(target.outputTechnology, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INTERNAL);
    DISPLAYCONFIG_TARGET_PREFERRED_MODE preferred{};
    EXPECT_EQ(ask(preferred, DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE, adapter, 0),
              ERROR_NOT_SUPPORTED);
    EXPECT_EQ(rawModes(u"\\\\.\\DISPLAY1").size(), 6u);

    EXPECT_EQ(standin::configurationToJson(standin::recordDisplayConfiguration()), readFile(file));
}

// Every recording in the tree loads, those made before EDIDs were recorded
// too, and records to the same file again when replayed.
TEST_F(RecordedConfiguration, EveryRecordingReplaysAndRecordsTheSameFile) {
    std::vector<std::string> files = {VPI_BUILT_IN_RECORDING, VPI_WINE_RECORDING,
                                      VPI_DESKTOP_RECORDING};
    for (const auto& entry : std::filesystem::directory_iterator(VPI_TEST_DATA_DIR)) {
        files.push_back(entry.path().string());
    }
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        EXPECT_EQ(serveFile(file), "");
        EXPECT_EQ(standin::configurationToJson(standin::recordDisplayConfiguration()),
                  readFile(file));
    }
    EXPECT_GE(files.size(), 5u);
}

TEST(ConfigurationText, Utf16AndUtf8ConvertBothWays) {
    const std::u16string text = u"Gr\u00FC\u00DFe \u6A5F \U0001F5B5";
    EXPECT_EQ(standin::toUtf8(text), "Gr\xC3\xBC\xC3\x9F"
                                     "e \xE6\xA9\x9F \xF0\x9F\x96\xB5");
    EXPECT_EQ(standin::fromUtf8(standin::toUtf8(text)), text);
    EXPECT_EQ(standin::toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

namespace {

struct Malformed {
    const char* name;
    std::function<void(Json&)> change; // applied to a recording of the default
    const char* message;               // expected within the one line
};

const Malformed kMalformed[] = {
    {"wrong-type", [](Json& d) { d["paths"][0]["flags"] = "1"; },
     "paths[0].flags: expected an integer, found string"},
    {"not-an-array", [](Json& d) { d["modes"] = Json::object(); },
     "modes: expected an array, found object"},
    {"missing-field", [](Json& d) { d["paths"][1]["targetInfo"].erase("outputTechnology"); },
     "paths[1].targetInfo: missing field \"outputTechnology\""},
    {"unknown-field", [](Json& d) { d["displayModes"][0]["colour"] = 1; },
     "displayModes[0]: unknown field \"colour\""},
    {"too-large", [](Json& d) { d["modes"][0]["id"] = 4294967296ull; },
     "modes[0].id: 4294967296 is out of range"},
    {"mode-index-out-of-range", [](Json& d) { d["paths"][1]["sourceInfo"]["modeInfoIdx"] = 9; },
     "paths[1].sourceInfo.modeInfoIdx: mode index 9 is out of range (4 modes)"},
    {"mode-of-wrong-kind", [](Json& d) { d["paths"][0]["targetInfo"]["modeInfoIdx"] = 0; },
     "paths[0].targetInfo.modeInfoIdx: mode 0 is not a target mode"},
    {"unknown-mode-type", [](Json& d) { d["modes"][2]["infoType"] = 4; },
     "modes[2].infoType: 4 is not a mode type"},
    {"wrong-record-size", [](Json& d) { d["deviceInfo"][0]["size"] = 80; },
     "deviceInfo[0].size: 80 is not the size of a type 1 record (84)"},
    {"name-too-long",
     [](Json& d) { d["deviceInfo"][0]["record"]["viewGdiDeviceName"] = std::string(33, 'x'); },
     "deviceInfo[0].record.viewGdiDeviceName: 33 UTF-16 units do not fit a field of 32"},
    {"record-beside-error", [](Json& d) { d["deviceInfo"][0]["result"] = 31; },
     "deviceInfo[0]: unknown field \"size\""},
    {"duplicate-answer", [](Json& d) { d["deviceInfo"].push_back(d["deviceInfo"][2]); },
     "deviceInfo[16]: a second answer to the request of type 1 for adapter 00000000:0000d6a1, id "
     "2"},
    {"duplicate-mode-list", [](Json& d) { d["displayModes"].push_back(d["displayModes"][0]); },
     "displayModes[4].device: a second mode list for \\\\.\\DISPLAY1"},
    {"wrong-version", [](Json& d) { d["version"] = 2; }, "version: only version 1"},
    {"record-of-unknown-type", [](Json& d) { d["deviceInfo"][0]["type"] = 6; },
     "deviceInfo[0].type: a record of type 6 cannot be given, only an error result"},
    {"colour-record-size", [](Json& d) { d["deviceInfo"][12]["size"] = 24; },
     "deviceInfo[12].size: 24 is not the size of a type 9 record (32)"},
    {"two-primaries", [](Json& d) { d["desktop"][1]["primary"] = true; },
     "desktop: more than one primary device (\\\\.\\DISPLAY1, \\\\.\\DISPLAY2)"},
    {"primary-not-a-boolean", [](Json& d) { d["desktop"][0]["primary"] = 1; },
     "desktop[0].primary: expected true or false, found number"},
    {"unknown-dpi-source", [](Json& d) { d["desktop"][1]["dpiSource"] = "monitor"; },
     "desktop[1].dpiSource: expected \"system\" or \"effective\", found \"monitor\""},
    {"no-dpi", [](Json& d) { d["desktop"][0]["dpi"] = 0; }, "desktop[0].dpi: 0 is not a DPI"},
    {"duplicate-desktop-device", [](Json& d) { d["desktop"].push_back(d["desktop"][0]); },
     "desktop[2].device: a second entry for \\\\.\\DISPLAY1"},
    {"edids-not-an-array", [](Json& d) { d["edids"] = Json::object(); },
     "edids: expected an array, found object"},
    {"edid-not-text", [](Json& d) { d["edids"][0]["edid"] = 0; },
     "edids[0].edid: expected a string of hexadecimal digits, found number"},
    {"edid-odd-digits", [](Json& d) { d["edids"][0]["edid"] = "00f"; },
     "edids[0].edid: an odd number of hexadecimal digits (3)"},
    {"edid-not-hex", [](Json& d) { d["edids"][1]["edid"] = "00FF 0"; },
     "edids[1].edid: character 4 is not a hexadecimal digit"},
    {"edid-without-path", [](Json& d) { d["edids"][0]["monitorDevicePath"] = ""; },
     "edids[0].monitorDevicePath: an empty path names no monitor"},
    {"duplicate-edid",
     [](Json& d) {
         Json twin = d["edids"][0];
         twin["monitorDevicePath"] = "\\\\?\\display#dela0e2#5&2A8B3C1F&0&uid28931#"
                                     "{E6F07B5F-EE97-4A90-B076-33F57BF4EAA7}";
         d["edids"].push_back(twin);
     },
     "edids[2].monitorDevicePath: a second EDID for \\\\?\\display#dela0e2"},
};

// Each unusable file gets one line naming it and its fault, and then the
// operations fail as documented until another configuration is served.
void expectRefused(const std::string& file, const std::string& message) {
    const std::string err = serveFile(file);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("\"" + file + "\""), std::string::npos) << err;
    EXPECT_NE(err.find(message), std::string::npos) << err;

    UINT32 paths = 0;
    UINT32 modes = 0;
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes), ERROR_GEN_FAILURE);
    std::vector<DISPLAYCONFIG_PATH_INFO> p(16);
    std::vector<DISPLAYCONFIG_MODE_INFO> m(4);
    paths = 16;
    modes = 4;
    EXPECT_EQ(QueryDisplayConfig(QDC_ALL_PATHS, &paths, p.data(), &modes, m.data(), nullptr),
              ERROR_GEN_FAILURE);
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    EXPECT_EQ(ask(source, DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, kAdapter, 0),
              ERROR_GEN_FAILURE);
    EXPECT_TRUE(rawModes(u"\\\\.\\DISPLAY1").empty());
}

} // namespace

using UnusableConfigurationFile = StandInTest;

TEST_F(UnusableConfigurationFile, MissingFile) {
    expectRefused(scratch("no-such-file.json"), "cannot open the file");
}

TEST_F(UnusableConfigurationFile, JsonSyntaxError) {
    const std::string file = scratch("syntax-error.json");
    const std::string text = standin::configurationToJson(standin::defaultConfiguration());
    writeFile(file, text.substr(0, text.size() / 2));
    expectRefused(file, "JSON syntax error: parse error at line");
}

TEST_F(UnusableConfigurationFile, EachKindOfMalformedOrInconsistentContent) {
    const Json good = Json::parse(standin::configurationToJson(standin::defaultConfiguration()));
    for (const Malformed& m : kMalformed) {
        SCOPED_TRACE(m.name);
        Json document = good;
        m.change(document);
        const std::string file = scratch(std::string("malformed-") + m.name + ".json");
        writeFile(file, document.dump(2));
        expectRefused(file, m.message);
    }
    // A good file is served again after a refused one.
    const std::string file = scratch("good.json");
    writeFile(file, good.dump());
    EXPECT_EQ(serveFile(file), "");
    EXPECT_EQ(query(QDC_ALL_PATHS).paths.size(), 16u);
}

namespace {

// The default machine's recording with the first `from` replaced by `to`.
std::string defaultRecordingWith(const std::string& from, const std::string& to) {
    std::string text = standin::configurationToJson(standin::defaultConfiguration());
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string repeated(const std::string& text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// A text written to a file of its own, and what its refusal must say.
struct RefusedText {
    const char* name;
    std::string text;
    std::string message;
};

void expectEachRefused(const std::string& group, const std::vector<RefusedText>& cases) {
    for (const RefusedText& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = scratch(group + "-" + c.name + ".json");
        writeFile(file, c.text);
        expectRefused(file, c.message);
    }
}

} // namespace

TEST_F(UnusableConfigurationFile, NumbersTooLargeForAnyType) {
    expectEachRefused(
        "number",
        {
            {"float-alone", "1e400", ": 1e400 is out of range"},
            {"float-field", defaultRecordingWith("\"flags\":1}", "\"flags\":1e400}"),
             "paths[0].flags: 1e400 is out of range"},
            {"negative-float", defaultRecordingWith("\"id\":4160", "\"id\":-1e400"),
             "paths[0].targetInfo.id: -1e400 is out of range"},
            {"integer-field",
             defaultRecordingWith("\"flags\":1}", "\"flags\":99999999999999999999999999999999}"),
             "paths[0].flags: 99999999999999999999999999999999 is out of range"},
            {"negative-integer",
             defaultRecordingWith("\"version\": 1", "\"version\": -99999999999999999999"),
             "version: -99999999999999999999 is out of range"},
        });
}

// Nesting is limited while the text is read, so no value of any depth reaches
// the code that walks it, wherever it stands. The document itself is the first
// level; the message names the place of the first value too deep.
TEST_F(UnusableConfigurationFile, DeepNestingAnywhere) {
    const std::size_t deep = 200000;
    const std::string arrays = repeated("[", deep) + "1" + repeated("]", deep);
    const std::string objects = repeated("{\"a\":", deep) + "1" + repeated("}", deep);
    const std::string mixed = repeated("[{\"a\":", deep / 2) + "[]" + repeated("}]", deep / 2);
    const std::string tooDeep = ": nested deeper than 32 levels";
    expectEachRefused(
        "deep",
        {
            {"top-level-array", arrays, repeated("[0]", 32) + tooDeep},
            {"top-level-object", objects, "a" + repeated(".a", 31) + tooDeep},
            {"in-a-table", defaultRecordingWith("\"paths\": [", "\"paths\": [" + arrays + ","),
             "paths" + repeated("[0]", 31) + tooDeep},
            {"in-a-field", defaultRecordingWith("\"flags\":1}", "\"flags\":" + objects + "}"),
             "paths[0].flags" + repeated(".a", 29) + tooDeep},
            {"mixed-in-the-last-field", defaultRecordingWith("\n}\n", ",\"x\":" + mixed + "\n}\n"),
             "x" + repeated("[0].a", 15) + "[0]" + tooDeep},
        });

    // 32 levels are read, and then refused for what they hold.
    const std::string file = scratch("deep-enough.json");
    writeFile(file, repeated("[", 32) + repeated("]", 32));
    expectRefused(file, ": expected an object, found array");
}

TEST_F(UnusableConfigurationFile, DuplicateFieldsAreNotTakenSilently) {
    expectEachRefused(
        "duplicate",
        {
            {"top-level",
             defaultRecordingWith("\"version\": 1,", "\"version\": 1, \"version\": 1,"),
             ": a second field \"version\""},
            {"in-a-record", defaultRecordingWith("\"id\":4160,", "\"id\":4160,\"id\":4161,"),
             "paths[0].targetInfo: a second field \"id\""},
            {"in-a-device-info-record",
             defaultRecordingWith("\"viewGdiDeviceName\":",
                                  "\"viewGdiDeviceName\":\"x\",\"viewGdiDeviceName\":"),
             "deviceInfo[0].record: a second field \"viewGdiDeviceName\""},
        });
}

TEST_F(UnusableConfigurationFile, EscapedNulInsideAText) {
    const std::string name = scratch("nul-in-name.json");
    writeFile(name, defaultRecordingWith("\"viewGdiDeviceName\":\"\\\\\\\\.\\\\DISPLAY1\"",
                                         "\"viewGdiDeviceName\":\"\\\\\\\\.\\\\DIS\\u0000PLAY1\""));
    expectRefused(name, "deviceInfo[0].record.viewGdiDeviceName: the text holds a NUL character");

    const std::string key = scratch("nul-in-field-name.json");
    writeFile(key, defaultRecordingWith("\"flags\":1}", "\"fl\\u0000ags\":1}"));
    expectRefused(key, "paths[0]: a field name holds a NUL character");
}

namespace {

#ifndef _WIN32
// A FIFO at `path` in place of whatever was there.
void makeFifo(const std::string& path) {
    std::remove(path.c_str());
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
}
#endif

} // namespace

// Only a regular file is read; anything else is refused at once, as a FIFO
// with no writer, or a terminal, would block the reading for good.
TEST_F(UnusableConfigurationFile, SomethingOtherThanARegularFile) {
    const std::string notRegular = ", not a regular file";
    expectRefused(VPI_TEST_SCRATCH_DIR, "cannot read the file: it is a directory" + notRegular);
    const std::string large = scratch("larger-than-16-MiB.json");
    std::ofstream(large).close();
    std::filesystem::resize_file(large, (std::uintmax_t(16) << 20) + 1); // sparse: nothing written
    expectRefused(large, "cannot read the file: larger than 16 MiB");
    std::remove(large.c_str());
#ifndef _WIN32
    const std::string fifo = scratch("recording.fifo");
    makeFifo(fifo);
    const std::string socket = scratch("recording.socket");
    std::remove(socket.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket.size(), sizeof address.sun_path);
    socket.copy(address.sun_path, socket.size());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    for (const auto& [path, kind] : {std::pair(fifo, "a FIFO"), std::pair(socket, "a socket"),
                                     std::pair(std::string("/dev/zero"), "a character device")}) {
        expectRefused(path, std::string("cannot read the file: it is ") + kind + notRegular);
    }
    ::close(listener);
    std::remove(socket.c_str());
    std::remove(fifo.c_str());
#endif
}

// The whole file is the document: only whitespace may follow it. The reader
// would take a NUL byte for the end of the text.
TEST_F(UnusableConfigurationFile, AnythingButWhitespaceAfterTheDocument) {
    const std::string recording = standin::configurationToJson(standin::defaultConfiguration());
    const auto lines = std::count(recording.begin(), recording.end(), '\n');
    std::string noise(1000, ' ');
    std::generate(noise.begin(), noise.end(), std::mt19937(18));
    expectEachRefused(
        "after-the-document",
        {
            {"nul-and-noise", recording + '\0' + noise,
             "JSON syntax error: a NUL byte at line " + std::to_string(lines + 1) + ", column 1"},
            {"nul-in-the-whitespace", recording + std::string(" \n\t\0", 4),
             "JSON syntax error: a NUL byte at line " + std::to_string(lines + 2) + ", column 2"},
            {"text", recording + " x", "JSON syntax error: parse error at line"},
        });
    const std::string file = scratch("after-the-document-whitespace.json");
    writeFile(file, recording + " \t\r\n\n");
    EXPECT_EQ(serveFile(file), "");
    EXPECT_EQ(query(QDC_ALL_PATHS).paths.size(), 16u);
}

using ChangedConfigurationFile = StandInTest;

// A recording edited or replaced while it is served is a new configuration
// from the next enumeration on (its modification time or size changed), and
// one that cannot be used is refused until a read succeeds; a configuration
// set by a test is not replaced by the file.
TEST_F(ChangedConfigurationFile, IsReadAgainAtTheNextEnumeration) {
    const std::string file = scratch("changing.json");
    standin::Configuration machine = standin::defaultConfiguration();
    writeFile(file, standin::configurationToJson(machine));
    ASSERT_EQ(serveFile(file), "");
    const auto pathCount = [] {
        UINT32 paths = 0;
        UINT32 modes = 0;
        const LONG result = GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes);
        return result == ERROR_SUCCESS ? static_cast<long>(paths) : -result;
    };
    EXPECT_EQ(pathCount(), static_cast<long>(machine.paths.size()));

    machine.paths.pop_back();
    writeFile(file, standin::configurationToJson(machine));
    EXPECT_EQ(pathCount(), static_cast<long>(machine.paths.size()));

#ifndef _WIN32
    // Replaced by a FIFO while served: refused at once, not waited on.
    makeFifo(file);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(pathCount(), -ERROR_GEN_FAILURE);
    const std::string fifo = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(fifo.find("it is a FIFO"), std::string::npos) << fifo;
    std::remove(file.c_str());
#endif

    ::testing::internal::CaptureStderr();
    writeFile(file, "{");
    EXPECT_EQ(pathCount(), -ERROR_GEN_FAILURE);
    EXPECT_EQ(pathCount(), -ERROR_GEN_FAILURE);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1)
        << "tried at every enumeration, told once: " << err;

    machine.paths.pop_back();
    writeFile(file, standin::configurationToJson(machine));
    EXPECT_EQ(pathCount(), static_cast<long>(machine.paths.size()));

    const standin::Configuration scripted = standin::defaultConfiguration();
    standin::setConfiguration(scripted);
    machine.paths.pop_back();
    writeFile(file, standin::configurationToJson(machine));
    EXPECT_EQ(pathCount(), static_cast<long>(scripted.paths.size()));
    std::remove(file.c_str());
}

// Adapter names: recorded, written and replayed; a recording made before they
// were recorded still answers them, and a made-up answer is not written.
TEST_F(RecordedConfiguration, AdapterNamesAreRecordedAndReplayed) {
    standin::Configuration c = standin::defaultConfiguration();
    const LUID other = standin::makeLuid(0x10de, 2);
    c.paths.push_back(standin::makePath(other, 0, 0x2000, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI));
    const std::u16string path = u"\\\\?\\PCI#VEN_10DE&DEV_1C82#4&2ad8b3c1&0&0008#"
                                u"{5b45201d-f2f2-4f3b-85bb-30ff1f953599}";
    setAdapterName(c, other, path);
    standin::setConfiguration(c);

    const standin::Configuration recorded = standin::recordDisplayConfiguration();
    DISPLAYCONFIG_ADAPTER_NAME name{};
    ASSERT_TRUE(standin::recordOf(
        recorded.deviceInfo.at({DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, other, 0}), name));
    EXPECT_EQ(standin::nameOf(name.adapterDevicePath), path);
    ASSERT_TRUE(standin::recordOf(
        recorded.deviceInfo.at({DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, kAdapter, 0}), name));
    const std::u16string madeUp = standin::nameOf(name.adapterDevicePath);
    EXPECT_FALSE(madeUp.empty());

    const std::string text = standin::configurationToJson(recorded);
    EXPECT_NE(text.find(standin::toUtf8(path.substr(4))), std::string::npos);
    EXPECT_EQ(text.find(standin::toUtf8(madeUp.substr(4))), std::string::npos);
    const std::string file = scratch("adapter-names.json");
    writeFile(file, text);
    EXPECT_EQ(serveFile(file), "");
    for (const auto& [adapter, expected] : {std::pair(other, path), std::pair(kAdapter, madeUp)}) {
        ASSERT_EQ(ask(name, DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, adapter, 0), ERROR_SUCCESS);
        EXPECT_EQ(standin::nameOf(name.adapterDevicePath), expected);
    }
    EXPECT_EQ(standin::configurationToJson(standin::recordDisplayConfiguration()), text);

    EXPECT_EQ(serveFile(std::string(VPI_TEST_DATA_DIR) + "/wine-null-driver.json"), "");
    ASSERT_EQ(ask(name, DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME, standin::makeLuid(0x3f0), 0),
              ERROR_SUCCESS);
    EXPECT_FALSE(standin::nameOf(name.adapterDevicePath).empty());
}

TEST_F(UnusableConfigurationFile, AdapterNamesOfTheWrongSizeOrTooLong) {
    const std::string entry =
        "{\"type\":4,\"adapterId\":{\"LowPart\":1,\"HighPart\":0},\"id\":0,\"result\":0,";
    expectEachRefused(
        "adapter-name",
        {
            {"wrong-size",
             defaultRecordingWith("\"deviceInfo\": [",
                                  "\"deviceInfo\": [" + entry +
                                      "\"size\":84,\"record\":{\"adapterDevicePath\":\"x\"}},"),
             "deviceInfo[0].size: 84 is not the size of a type 4 record (276)"},
            {"too-long",
             defaultRecordingWith("\"deviceInfo\": [",
                                  "\"deviceInfo\": [" + entry +
                                      "\"size\":276,\"record\":{\"adapterDevicePath\":\"" +
                                      std::string(129, 'p') + "\"}},"),
             "deviceInfo[0].record.adapterDevicePath: 129 UTF-16 units do not fit a field of 128"},
        });
}
