// The decoder on hostile bytes, and the file formats users have.
#include "EdidJson.h"

#include <edid/EdidFile.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

namespace {

using Bytes = std::vector<std::uint8_t>;
using nlohmann::ordered_json;

Bytes corpusFile(const std::string& name) {
    std::ifstream stream(std::string(VPI_EDID_CORPUS_DIR) + "/" + name + ".bin", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(stream), {});
}

void fixChecksum(Bytes& bytes, std::size_t block) {
    std::uint8_t sum = 0;
    for (std::size_t i = block * 128; i < block * 128 + 127; ++i)
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    bytes[block * 128 + 127] = static_cast<std::uint8_t>(-sum);
}

// Sets byte `at` to `value` and makes its block's checksum right again.
std::function<void(Bytes&)> poke(std::size_t at, std::uint8_t value) {
    return [=](Bytes& bytes) { bytes[at] = value, fixChecksum(bytes, at / 128); };
}

// `changes` written over `json`, nulls included.
void overlay(ordered_json& json, const ordered_json& changes) {
    for (const auto& [key, value] : changes.items())
        if (value.is_object() && json[key].is_object())
            overlay(json[key], value);
        else
            json[key] = value;
}

struct HostileCase {
    const char* what;
    const char* file; // the corpus EDID the bytes start from
    std::function<void(Bytes&)> damage;
    const char* changes; // in the intact EDID's JSON; nullptr: refused
};

// LG-TV-GSM0001 has one CTA-861 extension; its HDMI block spans bytes 26-50,
// before the DTDs at 51. Eizo-FX2431 is a lone base block, 52 x 33 cm.
const HostileCase hostileCases[] = {
    {"no bytes", "Eizo-FX2431", [](Bytes& b) { b.clear(); }, nullptr},
    {"a block less one byte", "Eizo-FX2431", [](Bytes& b) { b.resize(127); }, nullptr},
    {"no header", "Eizo-FX2431", [](Bytes& b) { b[7] = 0xFF; }, nullptr},
    {"the extension cut short", "LG-TV-GSM0001", [](Bytes& b) { b.resize(200); },
     R"({"hdmi": false})"},
    {"a count beyond the data", "LG-TV-GSM0001", poke(126, 200), R"({"extensions": 200})"},
    {"32,768 bytes: 255 CTA-861 extensions", "LG-TV-GSM0001",
     [](Bytes& b) {
         b[126] = 255, fixChecksum(b, 0);
         while (b.size() < 32768)
             b.insert(b.end(), b.begin() + 128, b.begin() + 256);
     },
     R"({"extensions": 255})"},
    {"the HDMI block reaching past the DTD offset", "LG-TV-GSM0001", poke(128 + 2, 30),
     R"({"hdmi": false})"},
    {"a CTA-861 block past the stated count", "Eizo-FX2431",
     [](Bytes& b) {
         const Bytes tv = corpusFile("LG-TV-GSM0001");
         b.insert(b.end(), tv.begin() + 128, tv.end());
     },
     "{}"},
    {"DisplayID bytes that would read as HDMI in CTA-861", "LG-TV-GSM0001", poke(128, 0x70),
     R"({"hdmi": false})"},
    {"a bad checksum", "LG-TV-GSM0001", [](Bytes& b) { b[128 + 126] ^= 0x01; },
     R"({"checksumValid": false})"},
    {"an HDR block too short for its luminances", "Samsung-SDC4141-oled", poke(128 + 8, 0xE4),
     R"({"hdr": {"desiredContentMaxFrameAverageLuminance": null,
                 "desiredContentMinLuminance": null}})"},
    {"an aspect ratio where EDID 1.4 has no size", "Dell-E2417H", poke(22, 0),
     R"({"maxImageSizeCm": null})"},
    {"control characters and high bytes in the name", "Eizo-FX2431",
     [](Bytes& b) {
         const char name[] = "AB\x01"
                             "C\xFF\x7F"
                             "D\x00"
                             "E \t \nZ";
         std::copy(name, name + 13, b.begin() + 108 + 5), fixChecksum(b, 0);
     },
     R"({"name": "ABCDE"})"},
    {"no image size in the first timing", "Eizo-FX2431",
     [](Bytes& b) { b[66] = b[67] = b[68] = 0, fixChecksum(b, 0); },
     R"({"preferredTiming": {"imageSizeMm": null},
         "physicalSizeMm": {"width": 520, "height": 330}})"},
    {"01 01 filler for the first timing", "Eizo-FX2431",
     [](Bytes& b) { b[54] = b[55] = 0x01, fixChecksum(b, 0); },
     R"({"preferredTiming": null, "physicalSizeMm": {"width": 520, "height": 330}})"},
};

class EdidHostile : public testing::TestWithParam<HostileCase> {};

TEST_P(EdidHostile, ReadsOnlyTheBytesGivenAndKeepsWhatIsIntact) {
    SCOPED_TRACE(GetParam().what);
    Bytes bytes = corpusFile(GetParam().file);
    const auto intact = edid::decode(bytes);
    ASSERT_TRUE(intact);
    GetParam().damage(bytes);
    // A copy holds just the damaged bytes, so that a sanitizer sees any read past them.
    const Bytes exact = bytes;
    const auto decoded = edid::decode(exact);
    ASSERT_EQ(decoded.has_value(), GetParam().changes != nullptr);
    if (decoded) {
        ordered_json expected = tools::edidJson(*intact);
        overlay(expected, ordered_json::parse(GetParam().changes));
        EXPECT_EQ(tools::edidJson(*decoded), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EdidHostile, testing::ValuesIn(hostileCases));

TEST(EdidFile, ReadsRawAndHexAsEdidDecodeAndXrandrPrintThem) {
    const std::string raw("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00\x0A", 9);
    const Bytes header{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    const std::pair<std::string, std::optional<Bytes>> cases[] = {
        {raw, Bytes(raw.begin(), raw.end())},
        {"edid-decode (hex):\n\n00 ff ff ff\n\nff ff ff 00\n\n----------------\n\nBlock 0, Base "
         "EDID:\n  EDID Structure Version & Revision: 1.3\n",
         header},
        {"HDMI-1 connected 1920x1080+0+0\n\tEDID: \n\t\t00ffffff\n\t\tFFFFFF00\n\tnon-desktop: 0 "
         "\n\t\tsupported: 0, 1\n",
         header},
        {" 00  ff ff\r\nff ff  ff ff 00\r\n", header},
        {"00 ff f", std::nullopt},
        {"0 0ff", std::nullopt},
        {"EDID:\n00 fg\n", std::nullopt},
        {"no EDID here\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [contents, expected] : cases)
        EXPECT_EQ(edid::bytesFromFile(contents), expected) << contents;
}

} // namespace
