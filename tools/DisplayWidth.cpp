#include "DisplayWidth.h"

#include <tkl/Utf16.h>

#include <algorithm>
#include <iterator>

namespace tools {

namespace {

struct CodePointRange {
    char32_t first;
    char32_t last;
};

// The generated lists `ucd::wide` and `ucd::zero`.
namespace ucd {
#include "DisplayWidthRanges.h"
} // namespace ucd

template <std::size_t Count> bool contains(const CodePointRange (&ranges)[Count], char32_t c) {
    // The first range that ends at or after c is the only one that may hold it.
    const auto* range =
        std::lower_bound(std::begin(ranges), std::end(ranges), c,
                         [](const CodePointRange& r, char32_t v) { return r.last < v; });
    return range != std::end(ranges) && range->first <= c;
}

std::size_t columnsOf(char32_t c) {
    if (contains(ucd::zero, c)) {
        return 0;
    }
    return contains(ucd::wide, c) ? 2 : 1;
}

} // namespace

std::size_t displayWidth(const std::string& utf8) {
    // Decoded by the one converter of the tree; it writes a character beyond
    // U+FFFF as a whole surrogate pair, never half of one.
    std::u16string units;
    tkl::utf16::appendUtf8(units, utf8.data(), utf8.size(), tkl::utf16::Units::Utf16);
    std::size_t width = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        width += columnsOf(c);
    }
    return width;
}

} // namespace tools
