#include "text/text.h"

#include <gtest/gtest.h>

#include "text/url_encode.h"

namespace {

const Text kActor = "\xD1\xDD\xD4\xB1";  // 演员 in GBK

TEST(FindText, StepsOverTwoByteCharacters) {
    struct Case { std::string_view text, what; int start; bool ignoreCase; int found; const char* why; };
    const Case cases[] = {
        {"abcabc", "bc", 0, false, 2, "start 0 means 1"},
        {"abcabc", "bc", 3, false, 5, ""},
        {"abcabc", "BC", 1, false, 0, "exact case by default"},
        {"abcabc", "BC", 1, true, 2, ""},
        {"\xC4\x41\x41", "A", 1, false, 3, "0x41 after a lead byte is a trail byte"},
        {"\xC4\x61", "A", 1, true, 0, "folding never looks inside a character"},
        {"\xC4\x41\x41", "A", 2, false, 3, "a start inside a character moves to the next one"},
        {"abc", "abcd", 1, false, 0, "longer than the text"},
        {"abc", "", 1, false, 0, "an empty text is never found"},
        {"abc", "c", 9, false, 0, "start beyond the end"},
        {"a\xC4", "\xC4", 1, false, 2, "a lead byte at the very end stands alone"},
        {std::string_view("a\0b", 3), "b", 1, false, 3, "zero bytes are ordinary bytes"},
        {"\xE4\xB8\xAD", "\xB8", 1, false, 0, "UTF-8 bytes step in pairs too"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(findText(c.text, c.what, c.start, c.ignoreCase), c.found) << c.text;
    }
}

TEST(FindText, LastOccurrenceBeginsOnACharacter) {
    EXPECT_EQ(findLastText("k=v=w", "="), 4);
    EXPECT_EQ(findLastText("a\xC4=", "="), 0);  // the '=' is the trail byte of 0xC4
    EXPECT_EQ(findLastText("abc", "x"), 0);
}

TEST(CaseFolding, ChangesAsciiLettersOnly) {
    EXPECT_EQ(toUpperAscii("ab\xC4\x61z"), "AB\xC4\x61Z");
    EXPECT_EQ(toLowerAscii("AB\xC4\x41Z"), "ab\xC4\x41z");
    EXPECT_TRUE(equalsIgnoreCase("Set-Cookie", "set-COOKIE"));
    EXPECT_FALSE(equalsIgnoreCase("\xC4\x41", "\xC4\x61"));
}

TEST(Blanks, AsciiAndFullWidthSpacesOnly) {
    struct Case { std::string_view in, trimmed, removed; };
    const Case cases[] = {
        {"  a b  ", "a b", "ab"},
        {"\xA1\xA1x\xA1\xA1", "x", "x"},
        {"\t a \r\n", "\t a \r\n", "\ta\r\n"},
        {"\xC4\xA1\xA1\x41 ", "\xC4\xA1\xA1\x41", "\xC4\xA1\xA1\x41"},  // A1 A1 across characters is no blank
        {"   ", "", ""},
        {"", "", ""},
        {"a\xA1", "a\xA1", "a\xA1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(trimBlanks(c.in), c.trimmed);
        EXPECT_EQ(removeBlanks(c.in), c.removed);
    }
}

TEST(SplitText, KeepsEmptyPiecesButNoneAfterAFinalSeparator) {
    struct Case { std::string_view text, separator; TextArray pieces; };
    const Case cases[] = {
        {"a;b", ";", {"a", "b"}},
        {";a;;b;", ";", {"", "a", "", "b"}},
        {"", ";", {}},
        {";", ";", {""}},
        {"a\r\nb\r\n", "\r\n", {"a", "b"}},
        {"\xC4;x;y", ";", {"\xC4;x", "y"}},  // the first ';' is a trail byte
        {"abc", "", {"abc"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(splitText(c.text, c.separator), c.pieces);
    }
    EXPECT_EQ(joinTexts({"a", "", "b"}, "; "), "a; ; b");
    EXPECT_EQ(joinTexts({}, ","), "");
}

TEST(Pieces, ClipToWhatIsThere) {
    EXPECT_EQ(leftBytes("abc", 2), "ab");
    EXPECT_EQ(leftBytes("abc", 9), "abc");
    EXPECT_EQ(leftBytes("abc", 0), "");
    EXPECT_EQ(leftBytes("abc", -1), "");
    EXPECT_EQ(rightBytes("abc", 2), "bc");
    EXPECT_EQ(rightBytes("abc", 9), "abc");
    EXPECT_EQ(rightBytes("abc", -5), "");
    EXPECT_EQ(midBytes("abcdef", 2, 3), "bcd");
    EXPECT_EQ(midBytes("abcdef", 5, 9), "ef");
    EXPECT_EQ(midBytes("abcdef", 7, 1), "");
    EXPECT_EQ(midBytes("abcdef", 0, 2), "ab");
}

TEST(Numbers, WrittenAsPercentPoint13g) {
    struct Case { double value; std::string_view text; };
    const Case cases[] = {
        {100, "100"},
        {2.5, "2.5"},
        {0.30000000000000004, "0.3"},
        {1234567, "1234567"},
        {12345678901234.0, "1.234567890123e+13"},
        {1234567890123.0, "1234567890123"},
        {0.0001, "0.0001"},
        {0.00001, "1e-05"},
        {-3, "-3"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatNumber(c.value), c.text);
    EXPECT_EQ(formatInteger(-12), "-12");
}

TEST(Replace, MatchesWholeCharactersLeftToRight) {
    EXPECT_EQ(replaceText("a#b#", "#", "\""), "a\"b\"");
    EXPECT_EQ(replaceText("aaa", "aa", "b"), "ba");
    EXPECT_EQ(replaceText("Set-Cookie: x set-cookie:y", "set-cookie:", "", true), " x y");
    EXPECT_EQ(replaceText(kActor, "\xDD", "x"), kActor);
}

TEST(BadInput, LongAndMalformedTextsStayInBounds) {
    Text big(1 << 20, '\xC4');  // a megabyte of lead bytes, the last one alone
    EXPECT_EQ(findText(big, "x"), 0);
    EXPECT_EQ(trimBlanks(big).size(), big.size());
    EXPECT_EQ(splitText(big, ";").size(), 1u);
    Text blanks(1 << 20, ' ');
    EXPECT_EQ(trimBlanks(blanks), "");
}

}  // namespace
