#include <tkl/String.h>
#include <tkl/TKLValue.h>
#include <tkl/Utf16.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned short> unitsOf(const tkl::String& s) {
    std::vector<unsigned short> units;
    for (const unsigned short* p = s.getUCS2Buffer(); *p != 0; ++p) {
        units.push_back(*p);
    }
    return units;
}

using Units = std::vector<unsigned short>;

TEST(String, EmptyStringsGiveAValidTerminator) {
    tkl::String empty;
    ASSERT_NE(empty.getUCS2Buffer(), nullptr);
    EXPECT_EQ(empty.getUCS2Buffer()[0], 0);
    EXPECT_TRUE(empty.empty());
    EXPECT_TRUE(tkl::String("").empty());
    EXPECT_TRUE(tkl::String(static_cast<const char*>(nullptr)).empty());
    tkl::String assigned("x");
    assigned = static_cast<const unsigned short*>(nullptr);
    EXPECT_TRUE(assigned.empty());
}

TEST(String, DecodesUtf8IntoUcs2) {
    EXPECT_EQ(unitsOf(tkl::String("Az")), (Units{'A', 'z'}));
    EXPECT_EQ(unitsOf(tkl::String("\xC3\xA9")), (Units{0xE9}));       // é
    EXPECT_EQ(unitsOf(tkl::String("\xE2\x82\xAC")), (Units{0x20AC})); // €
    EXPECT_EQ(unitsOf(tkl::String("\xEF\xBF\xBD")), (Units{0xFFFD})); // U+FFFD itself
}

TEST(String, ReplacesWhatUcs2CannotHoldAndInvalidBytes) {
    EXPECT_EQ(unitsOf(tkl::String("\xF0\x9F\x98\x80")), (Units{0xFFFD})); // U+1F600
    EXPECT_EQ(unitsOf(tkl::String("a\xFF"
                                  "b")),
              (Units{'a', 0xFFFD, 'b'}));                     // invalid lead
    EXPECT_EQ(unitsOf(tkl::String("\x80")), (Units{0xFFFD})); // stray continuation
    EXPECT_EQ(unitsOf(tkl::String("\xC3")), (Units{0xFFFD})); // truncated at the end
    EXPECT_EQ(unitsOf(tkl::String("\xE2\x82"
                                  "A")),
              (Units{0xFFFD, 'A'}));                                  // truncated mid-text
    EXPECT_EQ(unitsOf(tkl::String("\xC0\xAF")), (Units{0xFFFD}));     // overlong
    EXPECT_EQ(unitsOf(tkl::String("\xED\xA0\x80")), (Units{0xFFFD})); // surrogate
}

TEST(String, Utf8RoundTrip) {
    const char* text = "\\\\.\\DISPLAY1 caf\xC3\xA9 \xE2\x82\xAC";
    EXPECT_EQ(tkl::String(text).toUtf8(), text);
    const unsigned short lone[] = {'x', 0xD800, 0};
    tkl::String s;
    s = lone;
    EXPECT_EQ(s.toUtf8(), "x\xEF\xBF\xBD");
}

// Platform names are UTF-16 and may hold characters outside the BMP as
// surrogate pairs; each pair is one character in UTF-8.
TEST(String, SurrogatePairsBecomeOneCharacterInUtf8) {
    tkl::String s;
    const unsigned short pair[] = {'a', 0xD83D, 0xDDB5, 'b', 0}; // U+1F5B5
    s = pair;
    EXPECT_EQ(s.toUtf8(), "a\xF0\x9F\x96\xB5"
                          "b");
    const unsigned short ends[] = {0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0}; // U+10000, U+10FFFF
    s = ends;
    EXPECT_EQ(s.toUtf8(), "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
    // Unpaired halves, in every position, are one U+FFFD each.
    const unsigned short unpaired[] = {0xDC00, 0xD800, 'x', 0xD800, 0xD800, 0xDC00, 0xD800, 0};
    s = unpaired;
    EXPECT_EQ(s.toUtf8(), "\xEF\xBF\xBD\xEF\xBF\xBDx\xEF\xBF\xBD\xF0\x90\x80\x80\xEF\xBF\xBD");
}

TEST(String, AssignsUcs2UpToTheTerminator) {
    const unsigned short text[] = {'D', 'e', 'l', 0, 'x'};
    tkl::String s("something longer");
    s = text;
    EXPECT_EQ(s.size(), 3u);
    EXPECT_EQ(s.toUtf8(), "Del");
}

TEST(String, BoundedAssignmentStopsAtTheFieldEnd) {
    // A field filled to its end, followed by bytes that must never be read.
    const unsigned short memory[] = {'A', 'B', 'C', 'D', 'X', 'Y', 0};
    tkl::String s;
    s.assignBounded(memory, 4);
    EXPECT_EQ(s.toUtf8(), "ABCD");
    const unsigned short shortField[] = {'A', 0, 'Z', 'Z'};
    s.assignBounded(shortField, 4);
    EXPECT_EQ(s.toUtf8(), "A");
    s.assignBounded(memory, 0);
    EXPECT_TRUE(s.empty());
}

TEST(String, CopiesAreIndependent) {
    tkl::String original("abc");
    tkl::String copy(original);
    original = tkl::String("zzz");
    EXPECT_EQ(copy.toUtf8(), "abc");
    copy = copy;
    EXPECT_EQ(copy.toUtf8(), "abc");
    EXPECT_NE(copy.getUCS2Buffer(), original.getUCS2Buffer());
}

TEST(String, EqualityAndConcatenation) {
    EXPECT_EQ(tkl::String("abc"), tkl::String("abc"));
    EXPECT_NE(tkl::String("abc"), tkl::String("abd"));
    EXPECT_NE(tkl::String("abc"), tkl::String("ab"));
    EXPECT_EQ(tkl::String(), tkl::String(""));
    EXPECT_EQ(("Asked: " + tkl::String("42")).toUtf8(), "Asked: 42");
    EXPECT_EQ(("x" + tkl::String()).toUtf8(), "x");
}

// The one conversion the whole tree shares: as UTF-16 (the platform's names),
// characters beyond the BMP survive as surrogate pairs, and a UCS-2 string is
// the same conversion with those characters replaced.
TEST(Utf16, DecodingKeepsPairsForUtf16AndReplacesThemForUcs2) {
    const std::string text = "a\xF0\x9F\x96\xB5\xE2\x82\xAC\xF4\x8F\xBF\xBF";
    std::u16string units;
    tkl::utf16::appendUtf8(units, text.data(), text.size(), tkl::utf16::Units::Utf16);
    EXPECT_EQ(units, u"a\U0001F5B5\u20AC\U0010FFFF");
    EXPECT_EQ(tkl::utf16::toUtf8(units.data(), units.size()), text);
    EXPECT_EQ(unitsOf(tkl::String(text.c_str())), (Units{'a', 0xFFFD, 0x20AC, 0xFFFD}));

    // Ill-formed input, NULs included (the length, not a terminator, ends it):
    // one U+FFFD per offending sequence in both forms.
    const std::string bad("\xF4\x90\x80\x80|\xED\xB0\x80|\xE0\x9F\xBF|\0|\xF0\x9F", 17);
    for (auto form : {tkl::utf16::Units::Utf16, tkl::utf16::Units::Ucs2}) {
        std::u16string out;
        tkl::utf16::appendUtf8(out, bad.data(), bad.size(), form);
        EXPECT_EQ(out, std::u16string(u"\uFFFD|\uFFFD|\uFFFD|") + u'\0' + u"|\uFFFD");
    }
}

TEST(TKLValue, DecimalText) {
    const unsigned nil = tkl::TKLValue::nilValue();
    EXPECT_EQ(tkl::TKLValue(0u).toString(nil).toUtf8(), "0");
    EXPECT_EQ(tkl::TKLValue(134217729u).toString(nil).toUtf8(), "134217729");
    EXPECT_EQ(tkl::TKLValue(4294967295u).toString(nil).toUtf8(), "4294967295");
}

} // namespace
