// The desktop picture read back: each display where the desktop has it, the
// work area inside it, its text inside it, the primary one marked, well-formed
// XML whatever the names hold, and rsvg-convert draws it.
#include <LayoutSvg.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace layout_svg_test {

using tools::LayoutDisplay;
using tools::LayoutPort;
using tools::LayoutRect;

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;
    int display = -1; // the display group it is in
    std::string get(const std::string& attribute) const {
        const auto found = attributes.find(attribute);
        return found == attributes.end() ? "" : found->second;
    }
    double operator[](const std::string& attribute) const { return std::stod(get(attribute)); }
};

// Character data with its entities resolved; a bare '<' or '&' fails.
std::string unescaped(std::string raw) {
    EXPECT_FALSE(std::regex_search(raw, std::regex("<|&(?!(amp|lt|gt|quot|apos);)"))) << raw;
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : entities) {
        raw = std::regex_replace(raw, std::regex(entity), character);
    }
    return raw;
}

// The start tags in document order, each with the character data after it
// and the display group it is in. Anything but a tag or an end tag between
// them, such as a '<' left bare, fails.
std::vector<Element> parse(const std::string& svg) {
    static const std::regex tag(
        R"re(<(?:([\w:]+)((?:\s+[\w:-]+="[^"<]*")*)\s*/?|/[\w:]+)>([^<]*))re");
    static const std::regex attribute(R"re(([\w:-]+)="([^"]*)")re");
    EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
    std::vector<Element> elements;
    int display = -1;
    int displays = 0;
    const std::string body = svg.substr(svg.find("?>") + 3);
    for (std::sregex_iterator m(body.begin(), body.end(), tag), end; m != end; ++m) {
        EXPECT_EQ(m->prefix().length(), 0) << m->prefix();
        const std::string text = unescaped((*m)[3]);
        if ((*m)[1].matched) {
            Element element{(*m)[1], {}, text, display};
            const std::string attributes = (*m)[2];
            for (std::sregex_iterator a(attributes.begin(), attributes.end(), attribute); a != end;
                 ++a) {
                element.attributes[(*a)[1]] = unescaped((*a)[2]);
            }
            const std::string cls = element.get("class");
            if (element.name == "g" && !cls.empty()) {
                display = element.display = cls.rfind("display", 0) == 0 ? displays++ : -1;
            }
            elements.push_back(element);
        }
    }
    return elements;
}

LayoutDisplay display(unsigned number, LayoutRect at, std::string name, bool primary = false) {
    const LayoutRect work{at.x, at.y, at.width, at.height - 48};
    return {number, std::move(name), "HDMI", "2560x1440 @ 59.95 Hz", 1.5, at, work, primary};
}

std::vector<LayoutDisplay> threeDisplays() {
    return {display(1, {-1920, 0, 1920, 1080}, "<Dell & \"Co\"> 'U2719D'"),
            display(2, {0, 0, 2560, 1440}, "LG ULTRAGEAR", true),
            display(3, {2560, 200, 1920, 1080},
                    "\xC3\x28\x01 \xE6\x98\xBE\xE7\xA4\xBA\xF0\x9F\x98\x80")};
}

const std::vector<LayoutPort> kOthers{{4, "DisplayPort", "free"}, {5, "DVI", "off: <A&B> \"x\""}};

struct Layout {
    const char* name;
    std::vector<LayoutDisplay> displays; // and the ports kOthers not in use
};

const Layout kLayouts[] = {
    {"One", {display(0, {0, 0, 1920, 1080}, "DELL U2719D", true)}},
    {"ThreeWithEscapingNamesOneAtNegativeX", threeDisplays()},
    {"TallRotated",
     {display(1, {0, 0, 2560, 1440}, "", true), display(2, {2560, -560, 1440, 2560}, "ROTATED")}},
    {"SixteenInAGrid",
     [] {
         std::vector<LayoutDisplay> grid;
         for (unsigned i = 0; i < 16; ++i) {
             grid.push_back(display(i + 1, {int(i % 4) * 1920, int(i / 4) * 1080, 1920, 1080},
                                    "A monitor with a very long name indeed", i == 5));
         }
         return grid;
     }()},
    {"GapAndASmallOne",
     {display(7, {0, 0, 3840, 2160}, "BIG"),
      display(8, {4800, 900, 800, 600}, "Projector with a long name")}},
    {"Duplicated",
     {display(1, {0, 0, 1920, 1080}, "TV", true), display(2, {0, 0, 1920, 1080}, "Projector")}},
    {"NoneInUse", {}},
};

struct Box {
    double left, top, right, bottom;
};

Box boxOf(const Element& rect) {
    return {rect["x"], rect["y"], rect["x"] + rect["width"], rect["y"] + rect["height"]};
}

// `inner` lies inside `outer`, give or take the two decimals written.
bool inside(const Box& inner, const Box& outer) {
    return inner.left >= outer.left - 0.01 && inner.top >= outer.top - 0.01 &&
           inner.right <= outer.right + 0.01 && inner.bottom <= outer.bottom + 0.01;
}

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.name;
}

class LayoutSvgDrawing : public ::testing::TestWithParam<Layout> {};

TEST_P(LayoutSvgDrawing, ShowsTheDesktopAsItIs) {
    const Layout& layout = GetParam();
    const std::vector<Element> elements = parse(tools::layoutSvg(layout.displays, kOthers));
    const Element& root = elements.at(0);
    ASSERT_EQ(root.name, "svg");
    EXPECT_EQ(root.get("xmlns"), "http://www.w3.org/2000/svg");
    EXPECT_EQ(root["width"], tools::kLayoutSvgWidth);
    EXPECT_EQ(root.get("viewBox"), "0 0 " + root.get("width") + " " + root.get("height"));

    std::vector<Element> screens(layout.displays.size());
    std::vector<std::pair<int, Box>> texts; // of the displays, by display
    std::vector<std::string> firstTexts(layout.displays.size());
    std::vector<std::string> listed;
    for (const Element& e : elements) {
        const LayoutDisplay* input = e.display < 0 ? nullptr : &layout.displays.at(e.display);
        if (!input) {
            listed.push_back(e.name == "text" ? e.text : "");
        } else if (e.name == "g" && !e.get("class").empty()) {
            EXPECT_EQ(e.get("class").find("primary") != std::string::npos, input->primary);
        } else if (e.get("class") == "screen") {
            // One scale for all: sizes and offsets in the desktop's proportions.
            screens[e.display] = e;
            const LayoutRect &r = input->bounds, &r0 = layout.displays[0].bounds;
            const double scale = screens[0]["width"] / r0.width;
            EXPECT_NEAR(e["width"], r.width * scale, 0.03);
            EXPECT_NEAR(e["height"], r.height * scale, 0.03);
            EXPECT_NEAR(e["x"] - screens[0]["x"], (r.x - r0.x) * scale, 0.03);
            EXPECT_NEAR(e["y"] - screens[0]["y"], (r.y - r0.y) * scale, 0.03);
            EXPECT_TRUE(inside(boxOf(e), {0, 0, root["width"], root["height"]}));
        } else if (e.get("class") == "work-area") {
            EXPECT_TRUE(inside(boxOf(e), boxOf(screens[e.display])));
        } else if (e.name == "text") {
            const double size = e["font-size"];
            const double half = tools::layoutTextWidth(e.text, size) / 2;
            const Box box{e["x"] - half, e["y"] - tools::kLayoutFontAscent * size, e["x"] + half,
                          e["y"] + tools::kLayoutFontDescent * size};
            EXPECT_EQ(e.get("text-anchor"), "middle");
            EXPECT_GE(size, 10) << e.text; // readable
            EXPECT_TRUE(inside(box, boxOf(screens[e.display]))) << e.text;
            if (firstTexts[e.display].empty()) {
                firstTexts[e.display] = e.text;
            }
            for (const auto& [display, other] : texts) {
                EXPECT_TRUE(display == e.display || box.right <= other.left ||
                            other.right <= box.left || box.bottom <= other.top ||
                            other.bottom <= box.top)
                    << e.text << " over display " << display; // even a duplicated one
            }
            texts.emplace_back(e.display, box);
        }
    }
    for (std::size_t i = 0; i < screens.size(); ++i) {
        EXPECT_EQ(firstTexts[i], std::to_string(layout.displays[i].number)); // always shown
    }
    for (const LayoutPort& port : kOthers) {
        for (const std::string& text : {std::to_string(port.number), port.connector, port.state}) {
            EXPECT_NE(std::find(listed.begin(), listed.end(), text), listed.end()) << text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutSvgDrawing, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32
// rsvg-convert (scripts/setup.sh installs it) reads the document as a real
// XML parser does and draws it at its size.
TEST(LayoutSvg, RsvgConvertDrawsIt) {
    const std::string svg = tools::layoutSvg(threeDisplays(), kOthers);
    const std::string path = ::testing::TempDir() + "layout_svg_test";
    std::ofstream(path + ".svg", std::ios::binary) << svg;
    ASSERT_EQ(std::system(("rsvg-convert -o '" + path + ".png' '" + path + ".svg'").c_str()), 0);
    std::ifstream in(path + ".png", std::ios::binary);
    const std::string png{std::istreambuf_iterator<char>(in), {}};
    const int width = tools::kLayoutSvgWidth;
    const int height = int(parse(svg).at(0)["height"]);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(16, 8), std::string({0, 0, char(width >> 8), char(width), 0, 0,
                                              char(height >> 8), char(height)}));
}
#endif

} // namespace layout_svg_test
