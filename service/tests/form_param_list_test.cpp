#include "service/form_param_list.h"

#include <gtest/gtest.h>

#include "text/url_encode.h"

namespace {

TEST(FormParamList, RendersTheSearchBody) {
    FormParamList form;
    form.add("offset", "0");
    form.add("total", "true");
    form.add("limit", "50");
    form.add("type", "1");
    form.add("s", urlEncode(utf8ToAnsi("演员"), false, true));
    EXPECT_EQ(form.toFormText(), "offset=0&total=true&limit=50&type=1&s=%E6%BC%94%E5%91%98");
}

TEST(FormParamList, EncodesStoredBytesWhenAsked) {
    FormParamList form;
    form.add("s", utf8ToAnsi("演员"), true);
    form.add("t", "a-b.c_d~e/f g");
    EXPECT_EQ(form.toFormText(true), "s=%E6%BC%94%E5%91%98&t=a-b.c%5Fd%7Ee%2Ff%20g");
    EXPECT_EQ(form.toHeaderText(true), "s:%E6%BC%94%E5%91%98\r\nt:a-b.c%5Fd%7Ee%2Ff%20g");
}

TEST(FormParamList, EmptyListRendersEmpty) {
    FormParamList form;
    EXPECT_EQ(form.toFormText(), "");
    EXPECT_EQ(form.toHeaderText(), "");
    EXPECT_EQ(form.toJson(), "{}");
}

TEST(FormParamList, ParseQuerySplitsPiecesAndValues) {
    struct Case { std::string_view query; TextArray names, values; const char* why; };
    const Case cases[] = {
        {"a=1&&b=2&", {"a", "", "b"}, {"1", "", "2"}, "empty piece kept, trailing & adds nothing"},
        {"k=v=w", {"k"}, {"w"}, "name to the first =, value from the last"},
        {"novalue", {""}, {""}, "a piece without ="},
        {"", {}, {}, "empty text"},
        {"\xC4&=1", {"\xC4&"}, {"1"}, "a two-byte character is never split"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FormParamList form;
        form.parseQuery(Text(c.query));
        TextArray names{"old"}, values;
        form.getNames(names);
        form.getValues(values);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(values, c.values);
    }
}

TEST(FormParamList, GetSetRemoveActOnTheFirstPairOfAName) {
    FormParamList form;
    form.add("a", "1");
    form.add("b", "2");
    form.add("a", "3");
    EXPECT_EQ(form.get("a"), "1");
    EXPECT_EQ(form.get("A"), "");
    EXPECT_EQ(form.get("zz"), "");
    form.set("a", "x");
    form.set("c", "4");
    EXPECT_EQ(form.toFormText(), "a=x&b=2&a=3&c=4");
    form.remove("a");
    form.remove("zz");
    EXPECT_EQ(form.toFormText(), "b=2&a=3&c=4");

    FormParamList copy = form.copy();
    copy.set("b", "changed");
    EXPECT_EQ(form.get("b"), "2");
    form.clear();
    EXPECT_EQ(form.toFormText(), "");
    EXPECT_EQ(copy.toFormText(), "b=changed&a=3&c=4");
}

TEST(FormParamList, JsonEscapesOnlyQuotes) {
    FormParamList form;
    form.add("a", "1");
    form.add("b", "2");
    EXPECT_EQ(form.toJson(), R"({"a":"1","b":"2"})");
    FormParamList quoted;
    quoted.add("q", "say \"hi\"\\n");
    EXPECT_EQ(quoted.toJson(), R"({"q":"say \"hi\"\n"})");
    FormParamList headers;
    headers.add("Accept", "*/*");
    headers.add("X", "1");
    EXPECT_EQ(headers.toHeaderText(), "Accept:*/*\r\nX:1");
}

TEST(FormParamList, TrimMarkerRemovesOnceFromEachEnd) {
    struct Case { std::string_view text, marker, out; };
    const Case cases[] = {
        {",", ",", ""},
        {",a,", ",", "a"},
        {",,a,,", ",", ",a,"},
        {"abc", "", "abc"},
        {"abab", "ab", ""},
    };
    for (const Case& c : cases) {
        Text variable(c.text);
        EXPECT_EQ(FormParamList::trimMarker(variable, Text(c.marker)), c.out);
        EXPECT_EQ(variable, c.out);
    }
}

}  // namespace
