#include "text/url_encode.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlEncode, EscapesEveryByteUnlessKeepingUnreserved) {
    struct Case { std::string_view in; bool keep; bool utf8; std::string_view out; };
    const Case cases[] = {
        {"A1", false, false, "%41%31"},
        {"a-b.c_d~e/f g", true, false, "a-b.c%5Fd%7Ee%2Ff%20g"},  // only - . digits letters survive
        {"\x0A", false, false, "%0A"},                               // always two digits
        {"", true, true, ""},
        {"\xD1\xDD\xD4\xB1", false, true, "%E6%BC%94%E5%91%98"},     // 演员 as UTF-8
        {"\xD1\xDD\xD4\xB1", false, false, "%D1%DD%D4%B1"},          // 演员 as GBK
        {"\xD1\xDD\xD4\xB1", true, false, "%D1%DD%D4%B1"},           // high bytes always escaped
        {"ab 1", false, true, "%61%62%20%31"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(urlEncode(Text(c.in), c.keep, c.utf8), c.out);
    }
}

TEST(Utf8Conversion, RoundTripsGbkAndCharactersBeyondIt) {
    struct Case { std::string_view utf8, ansi; const char* why; };
    const Case cases[] = {
        {"plain ASCII", "plain ASCII", "ASCII is unchanged"},
        {"\xE6\xBC\x94\xE5\x91\x98", "\xD1\xDD\xD4\xB1", "演员 keeps its GBK bytes"},
        {"\xEC\x95\x88\xEB\x85\x95", "\x83\x32\xE0\x37\x82\x38\xDA\x30", "안녕 in GB18030"},
        {"\xF0\x9F\x8E\xB5", "\x94\x39\xC1\x39", "an emoji outside the BMP"},
        {"\xE2\x82\xAC", "\xA2\xE3", "the euro sign"},
        {"", "", "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(utf8ToAnsi(c.utf8), c.ansi);
        EXPECT_EQ(ansiToUtf8(Text(c.ansi)), c.utf8);
    }
}

TEST(Utf8Conversion, MalformedBytesBecomeReplacementCharacters) {
    // A lead byte at the very end, an invalid trail byte, a stray continuation byte.
    EXPECT_EQ(ansiToUtf8("a\x81"), "a\xEF\xBF\xBD");
    EXPECT_EQ(ansiToUtf8("\x81\x7F" "b"), "\xEF\xBF\xBD\x7F" "b");
    EXPECT_EQ(utf8ToAnsi("x\x80y"), "x\x84\x31\xA4\x37y");
    EXPECT_EQ(utf8ToAnsi("\xE6\xBC"), "\x84\x31\xA4\x37\x84\x31\xA4\x37");
    // A zero byte ends a Text.
    EXPECT_EQ(ansiToUtf8(Text("ab\0cd", 5)), "ab");
}

TEST(Wide, CarriesTheTerminatorAndStopsAtAZeroUnit) {
    EXPECT_EQ(toWide("A"), (Bytes{'A', 0, 0, 0}));
    EXPECT_EQ(toWide(""), (Bytes{0, 0}));
    EXPECT_EQ(toWide("\xD1\xDD", 936), (Bytes{0x14, 0x6F, 0, 0}));  // 演 U+6F14
    EXPECT_EQ(fromWide(Bytes{'h', 0, 'i', 0, 0, 0, 'x', 0}), "hi");
    EXPECT_EQ(fromWide(Bytes{'h', 0, 'i'}), "h");  // an odd last byte is not a unit
    EXPECT_EQ(fromWide(Bytes{0x00, 0xD8, 'a', 0}, 65001), "\xEF\xBF\xBD" "a");  // lone surrogate
    EXPECT_EQ(fromWide(Bytes{0x00, 0xD8, 'a', 0}, 936), "?a");
    EXPECT_EQ(toWide("x", 1252), Bytes{});  // a code page this system does not know
}

TEST(Utf8Conversion, MegabyteTextsConvertWhole) {
    Text big;
    for (int i = 0; i < (1 << 19); ++i) big += "\xD1\xDD";
    Text utf8 = ansiToUtf8(big);
    EXPECT_EQ(utf8.size(), big.size() / 2 * 3);
    EXPECT_EQ(utf8ToAnsi(utf8), big);
}

}  // namespace
