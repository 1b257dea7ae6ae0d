#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/automation.h"

using namespace std::string_view_literals;

namespace {

struct Options {
    bool ignoreCase = false;
    bool multiline = false;
    bool global = true;
};

AutomationObject regExp(const Text& pattern, Options options = {}) {
    AutomationObject re;
    EXPECT_TRUE(re.create("VBScript.RegExp"));
    re.writeProperty("IgnoreCase", options.ignoreCase);
    re.writeProperty("Multiline", options.multiline);
    re.writeProperty("Global", options.global);
    re.writeProperty("Pattern", pattern);
    return re;
}

// "value@firstIndex" for every match, or "failed".
std::string matchList(const Text& pattern, const Text& subject, Options options = {}) {
    AutomationObject matches = regExp(pattern, options).callMethod("Execute", {subject}).toObject();
    if (matches.isEmpty()) return "failed";
    std::string out;
    const int count = static_cast<int>(matches.readProperty("Count").toNumber());
    for (int i = 0; i < count; ++i) {
        AutomationObject match = matches.readProperty("Item", {i}).toObject();
        if (!out.empty()) out += ' ';
        out += match.readProperty("Value").toText() + "@" + match.readProperty("FirstIndex").toText();
    }
    return out;
}

TEST(VBScriptRegExp, FollowsTheClassicScriptDialect) {
    struct Case { std::string_view pattern, subject; Options options; std::string_view matches; const char* why; };
    const Case cases[] = {
        {"\\w+", "\xA8\xA6\xD6\xD0" "ab_1", {}, "ab_1@2", "\\w is ASCII only (é, 中 are not word characters)"},
        {"\\d", "\xA3\xB1" "1", {}, "1@1", "\\d is ASCII only (not the full-width digit)"},
        {"a.b", "a\nb", {}, "", "the dot stops at a line feed"},
        {"a.b", "a\rb", {}, "a\rb@0", "but not at a carriage return"},
        {"[^]", "\n", {}, "\n@0", "[^] is any character"},
        {"a[]", "a", {}, "", "[] is no character"},
        {"[.]", "a.", {}, ".@1", "a dot in a class is a dot"},
        {"\\.", "a.", {}, ".@1", "an escaped dot is a dot"},
        {"^b", "a\nb", {}, "", "^ is the start of the text"},
        {"^b", "a\nb", {false, true}, "b@2", "and with Multiline of each line"},
        {"a$", "a\r\nb", {false, true}, "a@0", "$ sees CR as a line end"},
        {"a$", "a\n", {}, "", "without Multiline $ is the very end only"},
        {"CHARSET", "charset", {true}, "charset@0", "IgnoreCase"},
        {"CHARSET", "charset", {}, "", "case counts by default"},
        {"\\u4e2d", "\xD6\xD0", {}, "\xD6\xD0@0", "\\uXXXX escapes"},
        {"\\x41", "A", {}, "A@0", "\\xHH escapes"},
        {"(a)|\\1b", "b", {}, "b@0", "a back reference to an unset group matches empty"},
        {"x*", "ab", {}, "@0 @1 @2", "empty matches step one character on"},
        {"a", "aa", {false, false, false}, "a@0", "without Global the first match only"},
        {"a", "\x94\x39\xFC\x36" "a", {}, "a@2", "FirstIndex counts UTF-16 units: an emoji is two"},
        {"a+?", "aaa", {}, "a@0 a@1 a@2", "lazy quantifier"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(matchList(Text(c.pattern), Text(c.subject), c.options), c.matches);
    }
}

TEST(VBScriptRegExp, SubMatchesHoldEachGroupAndEmptyForAGroupThatTookNoPart) {
    AutomationObject matches = regExp("(a)|(b)").callMethod("Execute", {"b"}).toObject();
    AutomationObject match = matches.callMethod("Item", {0}).toObject();  // Item as a method too
    EXPECT_EQ(match.readProperty("Length").toNumber(), 1);
    AutomationObject subMatches = match.readProperty("SubMatches").toObject();
    EXPECT_EQ(subMatches.readProperty("Count").toNumber(), 2);
    EXPECT_TRUE(subMatches.readProperty("Item", {0}).isEmpty());
    EXPECT_EQ(subMatches.readProperty("Item", {1}).toText(), "b");
    EXPECT_TRUE(subMatches.readProperty("Item", {2}).isEmpty());
    EXPECT_TRUE(matches.readProperty("Item", {1}).isEmpty());
    EXPECT_TRUE(matches.readProperty("Item", {-1}).isEmpty());
    EXPECT_TRUE(matches.readProperty("Item", {0.5}).isEmpty());
}

TEST(VBScriptRegExp, ReplaceKnowsTheDialectsReplacementSyntax) {
    struct Case { std::string_view pattern, subject, replacement, out; const char* why; };
    const Case cases[] = {
        {"(\\w+)@(\\w+)", "x a@b y", "$2@$1", "x b@a y", ""},
        {"b", "abc", "[$&]", "a[b]c", "the whole match"},
        {"b", "abc", "[$`]", "a[a]c", "what comes before"},
        {"b", "abc", "[$']", "a[c]c", "what comes after"},
        {"b", "abc", "$$", "a$c", "a dollar"},
        {"(b)", "abc", "$2$0$x$", "a$2$0$x$c", "no such group, or no group syntax: literal"},
        {"(b)", "abc", "$10", "ab0c", "$1 then 0 when there is no group 10"},
        {"(b)()()()()()()()()(c)", "abc", "$10", "ac", "two digits when that group exists"},
        {"(x)?b", "abc", "[$1]", "a[]c", "a group that took no part is empty"},
        {"a", "aXa", "\xD6\xD0", "\xD6\xD0X\xD6\xD0", "every match with Global"},
        {"z", "abc", "y", "abc", "no match: unchanged"},
        {"", "ab", "-", "-a-b-", "empty matches"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " " + c.why);
        EXPECT_EQ(regExp(Text(c.pattern)).callMethod("Replace", {Text(c.subject), Text(c.replacement)}).toText(),
                  c.out);
    }
    AutomationObject first = regExp("a", {false, false, false});
    EXPECT_EQ(first.callMethod("Replace", {"aa", "b"}).toText(), "ba");
}

TEST(VBScriptRegExp, InvalidPatternsAndRunawayBacktrackingFailCleanly) {
    for (const char* pattern : {"(", "a{2,1}", "[z-a]", "*"}) {
        SCOPED_TRACE(pattern);
        AutomationObject re = regExp(pattern);
        EXPECT_TRUE(re.callMethod("Execute", {"a"}).isEmpty());
        EXPECT_TRUE(re.callMethod("Replace", {"a", "b"}).isEmpty());
        EXPECT_TRUE(re.callMethod("Test", {"a"}).isEmpty());
    }
    const Text subject = Text(5000, 'a') + "!";
    for (const char* pattern : {"(a+)+$", "(a|aa)+$", "^(\\w+\\s?)*$"}) {
        SCOPED_TRACE(pattern);
        AutomationObject re = regExp(pattern);
        EXPECT_TRUE(re.callMethod("Execute", {subject}).isEmpty());
        EXPECT_TRUE(re.callMethod("Replace", {subject, "x"}).isEmpty());
        // The object stays usable.
        re.writeProperty("Pattern", "!$");
        EXPECT_EQ(re.callMethod("Execute", {subject}).toObject().readProperty("Count").toNumber(), 1);
    }
}

TEST(VBScriptRegExp, PropertiesReadBackAndUnknownMembersFail) {
    AutomationObject re = regExp("a#b", {true});
    EXPECT_EQ(re.readProperty("pattern").toText(), "a#b");
    EXPECT_EQ(re.readProperty("IgnoreCase").toText(), "-1");
    EXPECT_FALSE(re.writeProperty("Singleline", true));
    EXPECT_TRUE(re.readProperty("Singleline").isEmpty());
    EXPECT_TRUE(re.callMethod("Execute").isEmpty()) << "no subject";
    EXPECT_TRUE(re.callMethod("Test", {"A#B"}).toBoolean());
    EXPECT_FALSE(re.callMethod("Test", {"ab"}).toBoolean());
    EXPECT_TRUE(re.callMethod("Test", {"ab"}).isBoolean());
}

}  // namespace
