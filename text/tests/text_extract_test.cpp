#include "text/text_extract.h"

#include <gtest/gtest.h>

namespace {

TEST(TextBetween, CutsFromTheFirstLeftMarkerToTheNextRightMarker) {
    struct Case { std::string_view text, left, right; int start; bool ignoreCase; std::string_view out; const char* why; };
    const Case cases[] = {
        {"Location: http://a/b.mp3\r\n", "Location: ", ".mp3", 0, false, "http://a/b", "the link"},
        {".mp3 Location: x", "Location: ", ".mp3", 0, false, "", "right marker only before the left"},
        {"[]", "[", "]", 0, false, "", "adjacent markers"},
        {"<a>1<a>2</a>", "<a>", "</a>", 0, false, "1<a>2", "a second left marker becomes part"},
        {"Set-Cookie: a=1; path=/", "Set-Cookie:", ";", 0, false, " a=1", "trimming is the caller's"},
        {"v=\"x\";", "v=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", 0, false, "x", "the quote placeholder"},
        {"#\xD2\xFD\xBA\xC5x\"", "#\xD2\xFD\xBA\xC5", "\"", 0, false, "", "placeholder not read in text"},
        {"LOCATION: x.MP3", "location: ", ".mp3", 0, true, "x", "ignoring case in both searches"},
        {"LOCATION: x.mp3", "location: ", ".mp3", 0, false, "", "exact by default"},
        {"a[1]b[2]", "[", "]", 4, false, "2", "start position"},
        {"a[1]", "[", "]", 9, false, "", "start beyond the end"},
        {"\xC4[x]", "[", "]", 0, false, "", "never inside a two-byte character"},
        {"a", "", "", 0, false, "", "empty markers are never found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(textBetween(Text(c.text), Text(c.left), Text(c.right), c.start, c.ignoreCase), c.out);
    }
}

TEST(TextLeftOf, IsEverythingBeforeTheFirstMarker) {
    struct Case { std::string_view text, marker; int start; std::string_view out; };
    const Case cases[] = {
        {"Set-Cookie: a=1", ": ", 0, "Set-Cookie"},
        {": x", ": ", 0, ""},
        {"no marker", ": ", 0, ""},
        {"k=v=w", "=", 0, "k"},
        {"a=b=c", "=", 3, "a=b"},  // counted from the beginning, whatever the start
        {"\xC4=x", "=", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(textLeftOf(Text(c.text), Text(c.marker), c.start), c.out);
    }
}

}  // namespace
