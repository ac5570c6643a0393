// Every corpus EDID decodes to what edid-decode prints for the same bytes.
#include "EdidJson.h"

#include <edid/EdidFile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <regex>

namespace {

using nlohmann::ordered_json;
using std::string;

// The first capture of `pattern` in `text`, or "".
string capture(const string& text, const string& pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern)) ? match.str(1) : "";
}

std::uint64_t number(const string& text, const string& pattern) {
    return std::stoull("0" + capture(text, pattern));
}

ordered_json numberOrNull(const string& text, const string& pattern) {
    const string digits = capture(text, pattern);
    return digits.empty() ? ordered_json() : ordered_json(std::stoull(digits));
}

// "52 cm x 33 cm" as {"width": 52 x scale, "height": 33 x scale}.
ordered_json size(const string& text, const string& unit, unsigned scale = 1) {
    const string pattern = "(\\d+) " + unit + " x (\\d+) " + unit;
    if (capture(text, pattern).empty())
        return nullptr;
    return {{"width", scale * number(text, pattern)},
            {"height", scale * number(text, "\\d+ " + unit + " x (\\d+) " + unit)}};
}

// "DTD 1: 1920x1080i 60.000000 Hz ... 74.250000 MHz (708 mm x 398 mm)" and its
// porches, vertical ones per field. A field is half a line longer than that.
ordered_json timing(const string& dtd) {
    if (dtd.empty())
        return nullptr;
    const auto porches = [&](char axis) {
        const string a(1, axis);
        return number(dtd, a + "front +(\\d+)") + number(dtd, a + "sync +(\\d+)") +
               number(dtd, a + "back +(\\d+)") + 2 * number(dtd, a + "border +(\\d+)");
    };
    const bool interlaced = !capture(dtd, "x\\d+(i)").empty();
    const std::uint64_t height = number(dtd, "x(\\d+)");
    const std::uint64_t hTotal = number(dtd, "(\\d+)x") + porches('H');
    const std::uint64_t lines = (interlaced ? height / 2 : height) + porches('V');
    const string mhz = capture(dtd, "([\\d.]+) MHz") + "000000";
    const auto point = mhz.find('.');
    const std::uint64_t pixelHz = std::stoull(mhz.substr(0, point) + mhz.substr(point + 1, 6));
    const std::uint64_t numerator = interlaced ? 2 * pixelHz : pixelHz;
    const std::uint64_t denominator = interlaced ? hTotal * (2 * lines + 1) : hTotal * lines;
    const std::uint64_t divisor = std::gcd(numerator, denominator);
    return {{"width", number(dtd, "(\\d+)x")},
            {"height", height},
            {"interlaced", interlaced},
            {"pixelClockKhz", pixelHz / 1000},
            {"refreshRate",
             {{"numerator", numerator / divisor}, {"denominator", denominator / divisor}}},
            {"hertz", std::stod(capture(dtd, "([\\d.]+) Hz"))},
            {"imageSizeMm", size(capture(dtd, "MHz \\(([^)]*)"), "mm")}};
}

ordered_json hdr(const string& block) {
    if (block.empty())
        return nullptr;
    const auto has = [&](const char* text) { return block.find(text) != string::npos; };
    const auto candela = [&](const string& which) {
        const string value = capture(block, "content " + which + " luminance: \\d+ \\(([\\d.]+)");
        return value.empty() ? ordered_json() : ordered_json(std::stod(value));
    };
    return {{"traditionalSdr", has("gamma - SDR")},
            {"traditionalHdr", has("gamma - HDR")},
            {"pq", has("SMPTE ST2084")},
            {"hlg", has("Hybrid Log-Gamma")},
            {"desiredContentMaxLuminance", candela("max")},
            {"desiredContentMaxFrameAverageLuminance", candela("max frame-average")},
            {"desiredContentMinLuminance", candela("min")}};
}

// edid-decode's account of an EDID, in the shape of tools::edidJson().
ordered_json printedFacts(const string& printed) {
    // A section per block present, "Block N, <kind>:" to the next rule. The
    // findings after them name blocks too, but only ones found before.
    std::vector<string> blocks;
    for (std::size_t at;
         (at = printed.find("\nBlock " + std::to_string(blocks.size()) + ", ")) != string::npos;)
        blocks.push_back(printed.substr(at, printed.find("\n----------------\n", at) - at) + "\n");
    const string& base = blocks.at(0);
    // edid-decode keeps the blanks that end a descriptor's text; the decoder does not.
    const auto text = [&](const string& label) {
        std::smatch match;
        if (!std::regex_search(base, match, std::regex(label + ": '(.*?) *'\n")))
            return ordered_json();
        return ordered_json(match.str(1));
    };
    const unsigned extensions = number(base, "Extension blocks: (\\d+)");
    // Extensions count as far as both the stated count and the bytes go.
    bool checksumValid = true;
    string cta;
    for (std::size_t index = 0; index <= extensions && index < blocks.size(); ++index) {
        checksumValid =
            checksumValid && capture(blocks[index], "\nChecksum: 0x\\w+ \\((should)").empty();
        if (blocks[index].find(", CTA-861 Extension Block:") != string::npos)
            cta += blocks[index];
    }
    const ordered_json preferred = timing(capture(base, "Descriptors:\n(    DTD +1:.*\n.*\n.*)"));
    ordered_json physical = size(capture(base, "Maximum image size: (.*)"), "cm", 10);
    if (!preferred.is_null() && !preferred["imageSizeMm"].is_null() &&
        preferred["imageSizeMm"]["width"] != 0 && preferred["imageSizeMm"]["height"] != 0)
        physical = preferred["imageSizeMm"];
    return {{"manufacturerId", capture(base, "Manufacturer: (\\S+)")},
            {"productCode", number(base, "Model: (\\d+)")},
            {"serialNumber", numberOrNull(base, "\n    Serial Number: (\\d+)")},
            {"serialString", text("Display Product Serial Number")},
            {"name", text("Display Product Name")},
            {"week", numberOrNull(base, "Made in: week (\\d+)")},
            {"year", numberOrNull(base, "Made in: (?:week \\d+ of )?(\\d+)")},
            {"modelYear", numberOrNull(base, "Model year: (\\d+)")},
            {"version", capture(base, "Revision: (\\d+\\.\\d+)")},
            {"digital", base.find("\n    Digital display") != string::npos},
            {"extensions", extensions},
            {"maxImageSizeCm", size(capture(base, "Maximum image size: (.*)"), "cm")},
            {"preferredTiming", preferred},
            {"hdmi", cta.find("Data Block (HDMI), OUI 00-0C-03:") != string::npos},
            {"hdr", hdr(capture(cta, "  HDR Static Metadata Data Block:\n((    .*\n)*)"))},
            {"checksumValid", checksumValid},
            {"physicalSizeMm", physical}};
}

// Equal, keys in the same order, but for edid-decode rounding to 3 or 6 decimals.
void expectAgreement(const ordered_json& decoded, const ordered_json& printed) {
    const ordered_json ours = decoded.flatten(), theirs = printed.flatten();
    std::vector<string> ourKeys, theirKeys;
    for (auto at = ours.begin(); at != ours.end(); ++at)
        ourKeys.push_back(at.key());
    for (auto at = theirs.begin(); at != theirs.end(); ++at)
        theirKeys.push_back(at.key());
    ASSERT_EQ(ourKeys, theirKeys);
    for (const string& key : theirKeys)
        if (theirs[key].is_number_float())
            EXPECT_NEAR(ours[key].get<double>(), theirs[key].get<double>(), 0.0005) << key;
        else
            EXPECT_EQ(ours[key], theirs[key]) << key;
}

std::vector<string> corpusNames() {
    std::vector<string> names;
    for (const auto& entry : std::filesystem::directory_iterator(VPI_EDID_CORPUS_DIR))
        if (entry.path().extension() == ".bin")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

string outputOf(const string& command) {
    string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(pipe)) != EOF;)
            output += static_cast<char>(c);
        pclose(pipe);
    }
    return output;
}

class EdidAgreement : public testing::TestWithParam<string> {};

TEST_P(EdidAgreement, DecodesWhatEdidDecodePrints) {
    const string file = string(VPI_EDID_CORPUS_DIR) + "/" + GetParam() + ".bin";
    std::ifstream stream(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(stream), {});
    const string printed = outputOf(VPI_EDID_DECODE " '" + file + "' 2>&1");
    ASSERT_NE(printed.find("\nBlock 0, Base EDID:"), string::npos)
        << "edid-decode did not run (scripts/setup.sh installs it):\n"
        << printed;
    // The hex that heads edid-decode's output reads back as the file.
    EXPECT_EQ(edid::bytesFromFile(printed), bytes);
    const auto decoded = edid::decode(bytes);
    ASSERT_TRUE(decoded);
    expectAgreement(tools::edidJson(*decoded), printedFacts(printed));
    // And videoports --edid prints the same.
    const ordered_json program = ordered_json::parse(
        outputOf(string("'") + std::getenv("VPI_VIDEOPORTS") + "' --edid '" + file + "'"), nullptr,
        false);
    EXPECT_EQ(program, tools::edidJson(*decoded));
}

INSTANTIATE_TEST_SUITE_P(Corpus, EdidAgreement, testing::ValuesIn(corpusNames()),
                         [](const testing::TestParamInfo<string>& info) {
                             return std::regex_replace(info.param, std::regex("\\W"), "_");
                         });

} // namespace
