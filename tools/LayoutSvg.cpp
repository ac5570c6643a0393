#include "LayoutSvg.h"

#include "DisplayWidth.h"

#include <tkl/Utf16.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tools {

namespace {

// DejaVu Sans's advance widths of ' ' to '~', in thousandths of an em.
constexpr unsigned short kAsciiAdvance[95] = {
    318, 401, 460, 838, 636, 950, 780, 275, 390, 390, 500, 838, 318, 361,  318, 337, 636, 636, 636,
    636, 636, 636, 636, 636, 636, 636, 337, 337, 838, 838, 838, 531, 1000, 684, 686, 698, 770, 632,
    575, 775, 752, 295, 295, 656, 557, 863, 748, 787, 603, 787, 695, 635,  611, 732, 684, 989, 685,
    611, 685, 390, 337, 390, 838, 500, 500, 613, 635, 550, 635, 615, 352,  635, 634, 278, 278, 579,
    278, 974, 634, 612, 635, 635, 411, 521, 392, 634, 592, 818, 592, 592,  525, 636, 337, 636, 838};
// Beyond ASCII the glyph may come from any fallback font: U+FFFD is 1.03 em
// in DejaVu Sans, a color emoji 1.28.
constexpr double kNarrowEm = 1.05;
constexpr double kWideEm = 1.3;

constexpr double kMargin = 16;
constexpr double kMaxLayoutHeight = 540;
constexpr double kMaxFont = 18;
constexpr double kMinFont = 10; // smaller is hard to read at the picture's size
constexpr double kLineSpacing = 1.25;
constexpr double kNumberEm = 2;
constexpr double kListFont = 13;
constexpr double kListRow = 20;

const char* const kFontFamily = "'Segoe UI', 'DejaVu Sans', Verdana, sans-serif";
const char* const kEllipsis = "\xE2\x80\xA6";

// One character as drawn, and its width in ems.
struct Glyph {
    std::string utf8;
    double em;
};
using Glyphs = std::vector<Glyph>;

// `text` as characters an XML document may hold: ill-formed UTF-8, control
// characters and the non-characters U+FFFE and U+FFFF become U+FFFD.
Glyphs glyphsOf(const std::string& text) {
    std::u16string units;
    tkl::utf16::appendUtf8(units, text.data(), text.size(), tkl::utf16::Units::Utf16);
    Glyphs glyphs;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::size_t length = units[i] >= 0xD800 && units[i] <= 0xDBFF ? 2 : 1;
        char16_t& c = units[i];
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF) {
            c = tkl::utf16::kReplacement;
        }
        std::string utf8 = tkl::utf16::toUtf8(units.data() + i, length);
        double em = 0;
        if (c < 0x7F) {
            em = kAsciiAdvance[c - 0x20] / 1000.0;
        } else if (const std::size_t columns = displayWidth(utf8); columns > 0) {
            em = columns == 2 ? kWideEm : kNarrowEm;
        }
        glyphs.push_back({std::move(utf8), em});
        i += length - 1;
    }
    return glyphs;
}

double emWidth(const Glyphs& glyphs) {
    double width = 0;
    for (const Glyph& glyph : glyphs) {
        width += glyph.em;
    }
    return width;
}

std::string xmlEscaped(const Glyphs& glyphs) {
    std::string out;
    for (const Glyph& glyph : glyphs) {
        const char c = glyph.utf8[0];
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else if (c == '\'') {
            out += "&apos;";
        } else {
            out += glyph.utf8;
        }
    }
    return out;
}

std::string xmlEscaped(const std::string& text) {
    return xmlEscaped(glyphsOf(text));
}

// At most two decimals, without trailing zeros, with '.' in any locale.
std::string decimal(double value) {
    const long long hundredths = std::llround(value * 100);
    const unsigned long long magnitude =
        hundredths < 0 ? 0ULL - static_cast<unsigned long long>(hundredths) : hundredths;
    std::string text = (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100);
    if (const unsigned fraction = magnitude % 100; fraction != 0) {
        text += '.';
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) {
            text += static_cast<char>('0' + fraction % 10);
        }
    }
    return text;
}

double rounded(double value) {
    return std::round(value * 100) / 100;
}

struct Box {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

Box inset(const Box& box, double by) {
    const double dx = std::min(by, box.width / 2);
    const double dy = std::min(by, box.height / 2);
    return {box.x + dx, box.y + dy, box.width - 2 * dx, box.height - 2 * dy};
}

std::string rectAttributes(const Box& box) {
    return "x=\"" + decimal(box.x) + "\" y=\"" + decimal(box.y) + "\" width=\"" +
           decimal(box.width) + "\" height=\"" + decimal(box.height) + "\"";
}

// `text` escaped already; `extra` more attributes, each with a space before.
std::string textElement(double x, double y, double size, const std::string& anchor,
                        const std::string& text, const char* extra = "") {
    return "<text x=\"" + decimal(x) + "\" y=\"" + decimal(y) + "\" font-size=\"" + decimal(size) +
           "\" text-anchor=\"" + anchor + "\"" + extra + ">" + text + "</text>\n";
}

// `glyphs` cut to at most `width` ems with an ellipsis; nothing when not even
// one character would stay.
Glyphs shortened(Glyphs glyphs, double width) {
    double total = emWidth(glyphs);
    if (total <= width) {
        return glyphs;
    }
    const Glyph ellipsis{kEllipsis, kNarrowEm};
    while (!glyphs.empty() && (total + ellipsis.em > width || glyphs.back().utf8 == " ")) {
        total -= glyphs.back().em;
        glyphs.pop_back();
    }
    if (glyphs.empty()) {
        return {};
    }
    glyphs.push_back(ellipsis);
    return glyphs;
}

// A line of a display's text; `em` is its size in the display's base size.
struct Line {
    Glyphs glyphs;
    double em;
};

// The lines as <text> elements centred in `box`: as large as fits up to
// kMaxFont, never below kMinFont. Lines that do not fit in height go, the last
// first; text too wide for the box is shortened.
std::string fittedText(std::vector<Line> lines, const Box& box) {
    for (std::size_t count = lines.size(); count > 0; --count) {
        double heightEm = 0;
        for (std::size_t i = 0; i < count; ++i) {
            heightEm += lines[i].em * kLineSpacing;
        }
        double size = std::min(kMaxFont, box.height / heightEm);
        if (size < kMinFont) {
            continue;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const double width = emWidth(lines[i].glyphs) * lines[i].em;
            if (width > 0) {
                size = std::min(size, std::max(kMinFont, box.width / width));
            }
        }
        size = std::floor(size * 10) / 10;
        std::vector<double> sizes;
        double height = 0;
        for (std::size_t i = 0; i < count; ++i) {
            // The number may shrink on its own rather than be cut.
            const double width = emWidth(lines[i].glyphs);
            double lineSize = size * lines[i].em;
            if (width * lineSize > box.width) {
                lineSize = std::max(size, std::floor(box.width / width * 10) / 10);
            }
            sizes.push_back(lineSize);
            height += lineSize * kLineSpacing;
        }
        std::string out;
        double top = box.y + (box.height - height) / 2;
        const double centre = rounded(box.x + box.width / 2);
        for (std::size_t i = 0; i < count; ++i) {
            const double lineSize = sizes[i];
            const Glyphs glyphs = shortened(lines[i].glyphs, box.width / lineSize);
            const double slack =
                lineSize * (kLineSpacing - kLayoutFontAscent - kLayoutFontDescent) / 2;
            if (!glyphs.empty()) {
                out += textElement(centre, top + slack + lineSize * kLayoutFontAscent, lineSize,
                                   "middle", xmlEscaped(glyphs));
            }
            top += lineSize * kLineSpacing;
        }
        return out;
    }
    if (!lines.empty() && lines[0].em > 1) {
        return fittedText({{lines[0].glyphs, 1}}, box);
    }
    return {};
}

bool sameBounds(const LayoutRect& a, const LayoutRect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// Everything a display's text tells, for its <title>.
std::string titleText(const LayoutDisplay& display, const std::string& percent) {
    std::string text = "Display " + std::to_string(display.number);
    for (const std::string* part : {&display.name, &display.connector, &display.mode, &percent}) {
        if (!part->empty()) {
            text += ", " + *part;
        }
    }
    if (display.primary) {
        text += ", primary";
    }
    const LayoutRect& r = display.bounds;
    text += "; " + std::to_string(r.width) + "x" + std::to_string(r.height) + " at (" +
            std::to_string(r.x) + ", " + std::to_string(r.y) + ")";
    if (const auto& w = display.workArea) {
        text += "; work area " + std::to_string(w->width) + "x" + std::to_string(w->height) +
                " at (" + std::to_string(w->x) + ", " + std::to_string(w->y) + ")";
    }
    return text;
}

// Desktop coordinates to the picture's, each edge rounded once so that
// displays that touch on the desktop touch in the picture.
struct Mapping {
    double scale = 1;
    double originX = 0;
    double originY = 0;
    std::int64_t minX = 0;
    std::int64_t minY = 0;

    Box map(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height) const {
        const double left = rounded(originX + static_cast<double>(x - minX) * scale);
        const double top = rounded(originY + static_cast<double>(y - minY) * scale);
        const double right = rounded(originX + static_cast<double>(x + width - minX) * scale);
        const double bottom = rounded(originY + static_cast<double>(y + height - minY) * scale);
        return {left, top, rounded(right - left), rounded(bottom - top)};
    }
};

std::string displayGroup(const std::vector<LayoutDisplay>& displays, std::size_t index,
                         const Mapping& mapping) {
    const LayoutDisplay& display = displays[index];
    const LayoutRect& r = display.bounds;
    const Box screen = mapping.map(r.x, r.y, r.width, r.height);
    const double stroke = display.primary ? 3 : 1;
    const std::string percent = percentText(display.scale);
    // Duplicated displays share one rectangle, which the first draws; each
    // writes in a band of it.
    std::size_t band = 0;
    std::size_t bands = 0;
    for (std::size_t i = 0; i < displays.size(); ++i) {
        if (sameBounds(displays[i].bounds, r)) {
            band += i < index ? 1 : 0;
            ++bands;
        }
    }

    std::string out = std::string("<g class=\"display") + (display.primary ? " primary" : "") +
                      "\">\n<title>" + xmlEscaped(titleText(display, percent)) + "</title>\n";
    // The white edge keeps neighbours apart, as the display settings do.
    out += "<rect class=\"screen\" " + rectAttributes(screen) +
           (band == 0 ? " fill=\"#9fb3cc\" stroke=\"#ffffff\" stroke-width=\"2\"/>\n"
                      : " fill=\"none\"/>\n");
    if (const auto& w = display.workArea; w && band == 0) {
        const std::int64_t left = std::max<std::int64_t>(w->x, r.x);
        const std::int64_t top = std::max<std::int64_t>(w->y, r.y);
        const std::int64_t right =
            std::min<std::int64_t>(std::int64_t{w->x} + w->width, std::int64_t{r.x} + r.width);
        const std::int64_t bottom =
            std::min<std::int64_t>(std::int64_t{w->y} + w->height, std::int64_t{r.y} + r.height);
        if (right > left && bottom > top) {
            Box work = mapping.map(left, top, right - left, bottom - top);
            const Box inner = inset(screen, 1);
            const double workRight = std::min(work.x + work.width, inner.x + inner.width);
            const double workBottom = std::min(work.y + work.height, inner.y + inner.height);
            work.x = std::max(work.x, inner.x);
            work.y = std::max(work.y, inner.y);
            work.width = rounded(std::max(0.0, workRight - work.x));
            work.height = rounded(std::max(0.0, workBottom - work.y));
            out += "<rect class=\"work-area\" " + rectAttributes(work) + " fill=\"#dde6f2\"/>\n";
        }
    }
    const Box frame = inset(screen, 1 + stroke / 2);
    if (band == 0 || display.primary) {
        out += "<rect class=\"frame\" " + rectAttributes(frame) + " fill=\"none\" stroke=\"" +
               (display.primary ? "#1f5fbf" : "#5b6f8a") + "\" stroke-width=\"" + decimal(stroke) +
               "\"/>\n";
    }

    Box area = inset(screen, 1);
    area.height /= static_cast<double>(bands);
    area.y += area.height * static_cast<double>(band);
    area = {rounded(area.x), rounded(area.y), rounded(area.width), rounded(area.height)};

    std::vector<Line> lines{{glyphsOf(std::to_string(display.number)), kNumberEm}};
    std::string last = percent;
    if (display.primary) {
        last += (last.empty() ? "" : " \xC2\xB7 ") + std::string("primary");
    }
    for (const std::string* text : std::initializer_list<const std::string*>{
             &display.name, &display.connector, &display.mode, &last}) {
        if (!text->empty()) {
            lines.push_back({glyphsOf(*text), 1});
        }
    }
    const std::string text = fittedText(std::move(lines), inset(area, stroke + 4));
    if (!text.empty()) {
        out += "<clipPath id=\"clip" + std::to_string(index) + "\"><rect " + rectAttributes(area) +
               "/></clipPath>\n<g clip-path=\"url(#clip" + std::to_string(index) +
               ")\" fill=\"#14213d\">\n" + text + "</g>\n";
    }
    return out + "</g>\n";
}

// The ports not in use, in three columns: number, connector, state.
std::string portList(const std::vector<LayoutPort>& ports, double top) {
    double numberWidth = 0;
    double connectorWidth = 0;
    for (const LayoutPort& port : ports) {
        numberWidth = std::max(numberWidth, emWidth(glyphsOf(std::to_string(port.number))));
        connectorWidth = std::max(connectorWidth, emWidth(glyphsOf(port.connector)));
    }
    const double numberRight = kMargin + 8 + numberWidth * kListFont;
    const double connectorX = rounded(numberRight + 12);
    const double maxConnector = 240;
    const double stateX =
        rounded(connectorX + std::min(connectorWidth * kListFont, maxConnector) + 16);
    const double stateWidth = kLayoutSvgWidth - kMargin - stateX;

    std::string out =
        "<g class=\"ports\" fill=\"#14213d\">\n" +
        textElement(kMargin, top + 14, 14, "start", "Ports not in use", " font-weight=\"bold\"");
    double baseline = top + 14;
    for (const LayoutPort& port : ports) {
        baseline += kListRow;
        out += textElement(rounded(numberRight), baseline, kListFont, "end",
                           std::to_string(port.number));
        out +=
            textElement(connectorX, baseline, kListFont, "start",
                        xmlEscaped(shortened(glyphsOf(port.connector), maxConnector / kListFont)));
        out += textElement(stateX, baseline, kListFont, "start",
                           xmlEscaped(shortened(glyphsOf(port.state), stateWidth / kListFont)));
    }
    return out + "</g>\n";
}

} // namespace

std::string percentText(const std::optional<double>& scale) {
    if (!scale || !std::isfinite(*scale) || *scale <= 0 || *scale > 100) {
        return {};
    }
    return std::to_string(std::llround(*scale * 100)) + "%";
}

double layoutTextWidth(const std::string& utf8, double fontSize) {
    return emWidth(glyphsOf(utf8)) * fontSize;
}

std::string layoutSvg(const std::vector<LayoutDisplay>& displays,
                      const std::vector<LayoutPort>& others) {
    std::string body;
    double layoutHeight = 120; // for the note that no display is in use
    if (displays.empty()) {
        const Box box{kMargin, kMargin, kLayoutSvgWidth - 2 * kMargin, layoutHeight};
        body += "<rect class=\"empty\" " + rectAttributes(box) +
                " fill=\"none\" stroke=\"#5b6f8a\" stroke-dasharray=\"6 4\"/>\n" +
                textElement(kLayoutSvgWidth / 2.0, kMargin + layoutHeight / 2 + 6, 16, "middle",
                            "No display in use");
    } else {
        Mapping mapping;
        std::int64_t maxX = 0;
        std::int64_t maxY = 0;
        for (std::size_t i = 0; i < displays.size(); ++i) {
            const LayoutRect& r = displays[i].bounds;
            const std::int64_t right = std::int64_t{r.x} + r.width;
            const std::int64_t bottom = std::int64_t{r.y} + r.height;
            mapping.minX = i == 0 ? r.x : std::min<std::int64_t>(mapping.minX, r.x);
            mapping.minY = i == 0 ? r.y : std::min<std::int64_t>(mapping.minY, r.y);
            maxX = i == 0 ? right : std::max(maxX, right);
            maxY = i == 0 ? bottom : std::max(maxY, bottom);
        }
        const double spanX = static_cast<double>(std::max<std::int64_t>(1, maxX - mapping.minX));
        const double spanY = static_cast<double>(std::max<std::int64_t>(1, maxY - mapping.minY));
        const double available = kLayoutSvgWidth - 2 * kMargin;
        mapping.scale = std::min(available / spanX, kMaxLayoutHeight / spanY);
        mapping.originX = kMargin + (available - spanX * mapping.scale) / 2;
        mapping.originY = kMargin;
        layoutHeight = spanY * mapping.scale;
        for (std::size_t i = 0; i < displays.size(); ++i) {
            body += displayGroup(displays, i, mapping);
        }
    }
    double height = kMargin + layoutHeight + kMargin;
    if (!others.empty()) {
        body += portList(others, height);
        height += 14 + kListRow * static_cast<double>(others.size()) + kMargin;
    }

    const std::string width = std::to_string(kLayoutSvgWidth);
    const std::string h = decimal(std::ceil(height));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
           width + "\" height=\"" + h + "\" viewBox=\"0 0 " + width + " " + h +
           "\" font-family=\"" + kFontFamily +
           "\">\n<title>Desktop layout</title>\n<rect class=\"background\" width=\"" + width +
           "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n" + body + "</svg>\n";
}

} // namespace tools
