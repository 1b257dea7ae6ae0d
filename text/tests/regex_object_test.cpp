#include "text/regex_object.h"

#include <gtest/gtest.h>

#include "platform/com.h"
#include "text/text_extract.h"
#include "text/url_encode.h"

using namespace std::string_view_literals;

namespace {

const Text kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

TEST(RegexObject, FindsTheDeclaredCharsetOfAPage) {
    struct Case { std::string_view page; const char* charset; int count; const char* why; };
    const Case cases[] = {
        {"<meta charset='utf-8'>", "utf-8", 1, "a quote before the name"},
        {"<META http-equiv=\"Content-Type\" content=\"text/html; CHARSET=GBK\">", "GBK", 1,
         "case ignored by default"},
        {"<title>\xE6\xBC\x94\xE5\x91\x98</title>\n<meta charset=big5>", "big5", 1,
         "Chinese text before the tag"},
        {"<meta http-equiv=\"Content-Type\"\ncontent=\"text/html; charset=gbk\">", "", 0,
         "the dot never crosses the line break before charset="},
        {"<p>no tag</p>", "", 0, "a valid pattern that matches nothing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        RegexObject regex;
        EXPECT_TRUE(regex.execute(kCharsetPattern, utf8ToAnsi(c.page)));
        EXPECT_EQ(regex.matchCount(), c.count);
        EXPECT_EQ(regex.subMatchText(1, 1), c.charset);
        EXPECT_EQ(regex.subMatchCount(), c.count);  // one group when there is a match
    }
}

TEST(RegexObject, OptionsReachTheEngine) {
    struct Case {
        std::string_view pattern, subject;
        bool caseSensitive, multiline, global, quoteMarker;
        int count;
        const char* why;
    };
    const Case cases[] = {
        {"charset", "CHARSET=x", true, true, true, false, 0, "case counts when asked"},
        {"^b", "a\nb", false, true, true, false, 1, "multiline by default"},
        {"^b", "a\nb", false, false, true, false, 0, "start of the text only"},
        {"a", "aaa", false, true, true, false, 3, "global by default"},
        {"a", "aaa", false, true, false, false, 1, "first match only"},
        {"=#\xD2\xFD\xBA\xC5", "v=\"x\"", false, true, true, true, 1, "the marker is a quote"},
        {"=#\xD2\xFD\xBA\xC5", "v=\"x\"", false, true, true, false, 0, "the marker read as it is"},
        {"b", "a\0b"sv, false, true, true, false, 0, "the subject ends at its zero byte"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        RegexObject regex;
        EXPECT_TRUE(regex.execute(Text(c.pattern), Text(c.subject), c.caseSensitive, c.multiline,
                                  c.global, c.quoteMarker));
        EXPECT_EQ(regex.matchCount(), c.count);
    }
}

TEST(RegexObject, QuoteMarkerTurnsIntoAQuoteBeforeThePatternIsUsed) {
    RegexObject regex;
    const Text pattern = "a" + Text(kQuotePlaceholder) + "b";
    EXPECT_TRUE(regex.execute(pattern, "xa\"b", false, true, true, true));
    EXPECT_EQ(regex.currentPattern(), "a\"b");
    EXPECT_EQ(regex.matchText(1), "a\"b");
    EXPECT_TRUE(regex.execute(pattern, "xa\"b"));
    EXPECT_EQ(regex.currentPattern(), pattern);
}

TEST(RegexObject, FailuresGiveEmptyResults) {
    RegexObject regex;
    EXPECT_EQ(regex.currentPattern(), "") << "no engine before the first execute";
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.matchText(1), "");
    EXPECT_EQ(regex.replace("x"), "");

    EXPECT_FALSE(regex.execute("(", "a(b"));
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.subMatchText(1, 1), "");
    EXPECT_EQ(regex.subMatchCount(), 0);
    EXPECT_EQ(regex.currentPattern(), "(");
    EXPECT_EQ(regex.replace("x"), "");

    // A pattern that backtracks without end hits the engine's limit instead of hanging.
    EXPECT_FALSE(regex.execute("(a+)+$", Text(5000, 'a') + "!"));
    EXPECT_EQ(regex.matchCount(), 0);

    // A later execute replaces what a failed one left.
    EXPECT_TRUE(regex.execute("(b)", "ab"));
    EXPECT_EQ(regex.subMatchText(1, 1), "b");
    EXPECT_EQ(regex.subMatchText(1, 2), "") << "beyond the groups";
    EXPECT_EQ(regex.subMatchText(2, 1), "") << "beyond the matches";
    EXPECT_EQ(regex.matchText(0), "");
}

TEST(RegexObject, ReplaceLeavesTheSubjectAsItWas) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute("(\\w+)=(\\w+)", "a=1; b=2"));
    EXPECT_EQ(regex.replace("$2=$1"), "1=a; 2=b");
    EXPECT_EQ(regex.replace(), "; ");
    EXPECT_EQ(regex.matchText(2), "b=2");
    EXPECT_EQ(regex.subMatchText(2, 2), "2");
}

// Positions are byte positions in the subject (GB18030), from 0; the engine's FirstIndex
// counts UTF-16 units, which differ as soon as a non-ASCII character comes first.
TEST(RegexObject, PositionsCountBytesOfTheSubject) {
    struct Case {
        std::string_view pattern, subject;  // subject in UTF-8 here
        int match, sub;                     // sub 0: the match itself
        std::string_view text;
        int position;
        const char* why;
    };
    const Case cases[] = {
        {"<b>(x)</b>", "<b>x</b>", 1, 0, "<b>x</b>", 0, "ASCII"},
        {"<b>(x)</b>", "\xE4\xB8\xAD\xE6\x96\x87<b>x</b>", 1, 0, "<b>x</b>", 4, "two Chinese characters first"},
        {"<b>(x)</b>", "\xE4\xB8\xAD\xE6\x96\x87<b>x</b>", 1, 1, "x", 7, "and the group inside"},
        {"a(b)", "\xF0\x9F\x98\x80" "ab", 1, 1, "b", 5, "an emoji: two units, four bytes"},
        {"a", "\xED\x95\x9C" "a", 1, 0, "a", 4, "Korean: one unit, four bytes"},
        {"(\\w)(\\w)", "\xE6\xBC\x94xy\xE5\x91\x98zw", 2, 2, "w", 7, "the second match"},
        {"(x)y(x)", "xyx", 1, 2, "x", 0, "the same text earlier in the match is found first"},
        {"(a)|(b)", "\xE6\xBC\x94" "b", 1, 1, "", -1, "a group that took no part"},
        {"a", "a", 2, 0, "", -1, "no such match"},
        {"a", "a", 1, 3, "", -1, "no such group"},
        {"x*", "\xE6\xBC\x94" "a", 2, 0, "", 2, "an empty match has its own place"},
        {"x*", "\xE6\xBC\x94", 2, 0, "", 2, "also at the very end"},
        {"(x*)a", "\xE6\xBC\x94" "a", 1, 1, "", 2, "an empty group: the match's start"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        RegexObject regex;
        ASSERT_TRUE(regex.execute(Text(c.pattern), utf8ToAnsi(c.subject)));
        int position = -99;
        const Text text = c.sub == 0 ? regex.matchText(c.match, &position)
                                     : regex.subMatchText(c.match, c.sub, &position);
        EXPECT_EQ(text, utf8ToAnsi(c.text));
        EXPECT_EQ(position, c.position);
    }
}

TEST(RegexObject, BalancesItsComInitialisation) {
    const int before = comInitializationDepth();
    {
        RegexObject regex;
        EXPECT_EQ(comInitializationDepth(), before + 1);
        regex.execute("a", "a");
        EXPECT_EQ(comInitializationDepth(), before + 1);
    }
    EXPECT_EQ(comInitializationDepth(), before);
}

TEST(RegexObject, WithoutAnEngineEverythingIsEmpty) {
    setAutomationFactory("VBScript.RegExp", [] { return nullptr; });
    const int before = comInitializationDepth();
    {
        RegexObject regex;
        EXPECT_FALSE(regex.execute(kCharsetPattern, "<meta charset='utf-8'>"));
        EXPECT_EQ(regex.matchCount(), 0);
        EXPECT_EQ(regex.subMatchText(1, 1), "");
        EXPECT_EQ(regex.currentPattern(), "");
        EXPECT_EQ(regex.replace("x"), "");
        int position = -99;
        EXPECT_EQ(regex.matchText(1, &position), "");
        EXPECT_EQ(position, -1);
    }
    EXPECT_EQ(comInitializationDepth(), before);
    setAutomationFactory("VBScript.RegExp", nullptr);
}

}  // namespace
