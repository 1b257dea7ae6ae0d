#include "http/cookies.h"

#include <gtest/gtest.h>

namespace {

TEST(MergeCookies, ReceivedEntriesComeFirstAndReplaceSentOnes) {
    struct Case { std::string_view sent, received, merged; const char* why; };
    const Case cases[] = {
        {"a=1; b=2", "b=3", "b=3; a=1", "received first, then the sent ones not named"},
        {"a=1; b=2", "b=deleted", "a=1", "a deletion removes the cookie and is not passed on"},
        {"x=1; x=2", "", "x=1", "of several sent entries with one name only the first"},
        {"", "c=1; c=2", "c=1; c=2", "two answers for one name both remain"},
        {"", "c=1; c=1", "c=1", "identical entries collapse"},
        {"SID=1", "sid=2", "sid=2; SID=1", "names compare exactly"},
        {"a=x y", "", "a=xy", "blanks inside values are lost"},
        {"a=1 ;b=2;  c=3", "", "a=1; b=2; c=3", "any joining of the sent text"},
        {"", "", "", "two empty texts"},
        {"a=1;;b=2", "", "a=1; ; b=2", "an empty entry is carried once"},
        {"a=1;;b=2;;", "", "a=1; ; b=2", ""},
        {"os=pc; MUSIC_U=8170591746", "", "os=pc; MUSIC_U=8170591746", "the search's cookie text"},
        {"a\xA1\xA1=1", "", "a=1", "full-width blanks removed too"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(mergeCookies(Text(c.sent), Text(c.received)), c.merged);
    }
}

TEST(CollectSetCookies, TakesExactlyNamedLinesWithoutAttributes) {
    struct Case { std::string_view headers, cookies; const char* why; };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n", "a=1; b=2", "with and without attributes"},
        {"set-cookie: a=1\r\n", "", "the name in lower case is not read"},
        {"Set-Cookie: a=1\r\nSet-Cookie: a=2; Path=/\r\nSet-Cookie: a=deleted\r\n", "a=1; a=2; a=deleted", "nothing merged or dropped"},
        {"Set-Cookie:a=1\r\n", "", "no blank after the colon: not a header line"},
        {"Set-Cookie: k=v=w; x\r\n", "k=v=w", ""},
        {"", "", "empty block"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(collectSetCookies(Text(c.headers)), c.cookies);
    }
}

TEST(CookieName, IsTheTrimmedTextBeforeTheFirstEquals) {
    EXPECT_EQ(cookieName(" a =1=2"), "a");
    EXPECT_EQ(cookieName("flag"), "flag");
    EXPECT_EQ(cookieName(""), "");
}

TEST(RemoveDuplicateItems, KeepsFirstOccurrences) {
    EXPECT_EQ(removeDuplicateItems("a, b, a, c, b", ", "), "a, b, c");
    EXPECT_EQ(removeDuplicateItems("", ", "), "");
    EXPECT_EQ(removeDuplicateItems("x|", "|"), "x");
    EXPECT_EQ(removeDuplicateItems("a||a", "|"), "a|");  // the empty item is an item too
}

}  // namespace
