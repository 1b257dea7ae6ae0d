#include "json/json_syntax.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IsWellFormedJson, AcceptsJsonTextsOnly) {
    struct Case { std::string_view text; bool wellFormed; const char* why; };
    const Case cases[] = {
        {R"({"result":{"songs":[{"name":"A","id":1234567,"artists":[{"name":"B"}]}]},"code":200})", true, "a search answer"},
        {" [1, -2.5e+3, 0, true, false, null, \"x\"] \r\n", true, "every scalar, white space around"},
        {"\"\\u00e9\\n\\\"\\/\"", true, "escapes"},
        {"\"\xE6\xBC\x94\"", true, "UTF-8 inside a string"},
        {"\xEF\xBB\xBF{}", true, "a byte-order mark"},
        {"0", true, "a bare number"},
        {"{}", true, ""},
        {"", false, "nothing"},
        {"while(1){}", false, "a script loop"},
        {"(function(){return {}})()", false, "an immediately called function"},
        {R"({"a":1};alert(1))", false, "JSON with a trailing script"},
        {R"({"a":1} {"b":2})", false, "two texts"},
        {"{a:1}", false, "an unquoted name"},
        {"{'a':1}", false, "single quotes"},
        {"[1,]", false, "a trailing comma"},
        {"[01]", false, "a leading zero"},
        {"[1.]", false, "a fraction without digits"},
        {"[.5]", false, ""},
        {"[+1]", false, ""},
        {"\"a\tb\"", false, "a raw control character"},
        {"\"\\x41\"", false, "an escape JSON lacks"},
        {"\"\\u12G4\"", false, ""},
        {"{\"a\" 1}", false, "a missing colon"},
        {"{\"a\":1,}", false, ""},
        {"[1 2]", false, ""},
        {"[", false, "truncated"},
        {R"({"result":{"songs":[{"name":"A")", false, "truncated answer"},
        {"\"abc", false, "an unterminated string"},
        {"[1]]", false, ""},
        {"nul", false, ""},
        {"NaN", false, ""},
        {"[Infinity]", false, ""},
        {"/*c*/{}", false, "comments"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(isWellFormedJson(c.text), c.wellFormed) << c.text;
    }
}

TEST(IsWellFormedJson, BoundsNestingWithoutRecursion) {
    auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    EXPECT_TRUE(isWellFormedJson(nested(kMaxJsonDepth)));
    EXPECT_FALSE(isWellFormedJson(nested(kMaxJsonDepth + 1)));
    EXPECT_FALSE(isWellFormedJson(std::string(1 << 20, '[')));  // a megabyte of brackets
    EXPECT_FALSE(isWellFormedJson(std::string("{\"a\":") + std::string(1000, '{')));
}

}  // namespace
