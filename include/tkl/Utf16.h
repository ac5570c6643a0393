#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

/// Conversion between UTF-8 and the platform's UTF-16 text. Header-only, so
/// that the common runtime, the stand-in platform and the tools share one
/// conversion without linking to one another.
namespace tkl {
namespace utf16 {

constexpr char16_t kReplacement = 0xFFFD;

/// `length` UTF-16 units as UTF-8: a surrogate pair becomes its one character,
/// an unpaired surrogate becomes U+FFFD.
template <typename Unit> std::string toUtf8(const Unit* units, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(units[i]);
        const std::uint32_t next = i + 1 < length ? static_cast<std::uint16_t>(units[i + 1]) : 0;
        if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        const int trailing = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        static const unsigned char leads[] = {0, 0xC0, 0xE0, 0xF0};
        out += static_cast<char>(leads[trailing] | (c >> (6 * trailing)));
        for (int k = trailing - 1; k >= 0; --k) {
            out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
        }
    }
    return out;
}

/// What decoding may produce: any character, a character beyond the BMP as a
/// surrogate pair (Utf16), or BMP characters only, one unit each (Ucs2).
enum class Units { Utf16, Ucs2 };

/// `length` bytes of UTF-8 appended to `out` (a container of 16-bit units).
/// Anything that is not a well-formed sequence for a character `units` can
/// hold (truncated, overlong, a surrogate, beyond U+10FFFF, a stray
/// continuation byte; beyond U+FFFF for Ucs2) gives one U+FFFD per offending
/// sequence.
template <typename Out>
void appendUtf8(Out& out, const char* text, std::size_t length, Units units) {
    using Unit = typename Out::value_type;
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    const std::uint32_t maximum = units == Units::Ucs2 ? 0xFFFF : 0x10FFFF;
    for (std::size_t i = 0; i < length;) {
        const unsigned char lead = in[i++];
        if (lead < 0x80) {
            out.push_back(static_cast<Unit>(lead));
            continue;
        }
        int trailing = 0;
        std::uint32_t value = 0;
        std::uint32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            trailing = 1, value = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            trailing = 2, value = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            trailing = 3, value = lead & 0x07, minimum = 0x10000;
        } else {
            out.push_back(static_cast<Unit>(kReplacement));
            continue;
        }
        int consumed = 0;
        for (; consumed < trailing && i < length && (in[i] & 0xC0) == 0x80; ++consumed, ++i) {
            value = (value << 6) | (in[i] & 0x3F);
        }
        if (consumed != trailing || value < minimum || (value >= 0xD800 && value <= 0xDFFF) ||
            value > maximum) {
            out.push_back(static_cast<Unit>(kReplacement));
        } else if (value >= 0x10000) {
            value -= 0x10000;
            out.push_back(static_cast<Unit>(0xD800 + (value >> 10)));
            out.push_back(static_cast<Unit>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push_back(static_cast<Unit>(value));
        }
    }
}

} // namespace utf16
} // namespace tkl
