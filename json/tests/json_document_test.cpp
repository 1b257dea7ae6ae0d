#include "json/json_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "platform/com.h"
#include "text/url_encode.h"

namespace {

JsonDocument loaded(const Text& text) {
    JsonDocument document;
    EXPECT_TRUE(document.parse(text)) << text;
    return document;
}

TEST(JsonDocument, ParseTellsWhetherTheTextGaveAValue) {
    struct Case {
        const char* text;
        bool loaded;
        const char* why;
    };
    const Case cases[] = {
        {"", false, "eval() of nothing is undefined"},
        {"null", false, ""},
        {"undefined", false, ""},
        {"0", true, ""},
        {"false", true, ""},
        {"[]", true, ""},
        {"{}", true, ""},
        {"{a:1}", true, "any script expression loads"},
        {"{\"result\":{\"songs\":[1,2]", false, "truncated"},
        {"[1,2", false, "truncated"},
        {"\"abc\"", false, "a string's content is evaluated once more: abc is undefined"},
        {"\"1+1\"", true, "... here to 2"},
        {"\"null\"", false, ""},
        {"1 2", false, "not one expression"},
        {"throw 1", false, ""},
        {"1)+(2", true, "the text stands verbatim inside eval( ): eval(1)+(2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Text(c.text) + " / " + c.why);
        JsonDocument document;
        EXPECT_EQ(document.parse(c.text), c.loaded);
        if (!c.loaded) {
            EXPECT_EQ(document.getProperty("a"), "");
            EXPECT_EQ(document.getMemberCount("result.songs"), 0);
        }
    }
}

TEST(JsonDocument, ReadsTheFieldsTheSearchReads) {
    const Text answer = utf8ToAnsi(
        R"({"result":{"songs":[{"name":"晴朗的午后 😀","id":1234567,)"
        R"("artists":[{"name":"林小雨","id":6452},{"name":"B2"}],)"
        R"("album":{"name":"远方来信","id":18905}}],"songCount":1},"code":200})");
    JsonDocument document = loaded(answer);
    EXPECT_EQ(document.getMemberCount("result.songs"), 1);
    EXPECT_EQ(document.getProperty("result.songs[0].name"), utf8ToAnsi("晴朗的午后 😀"));
    EXPECT_EQ(document.getProperty("result.songs[0].artists[0].name"), utf8ToAnsi("林小雨"));
    EXPECT_EQ(document.getProperty("result.songs[0].album.name"), utf8ToAnsi("远方来信"));
    EXPECT_EQ(document.getProperty("result.songs[0].id"), "1234567");
    EXPECT_EQ(document.getProperty("result.songs[1].name"), "");
    EXPECT_EQ(document.getProperty("result.songs[0].artists[0]", true),
              utf8ToAnsi(R"({"name":"林小雨","id":6452})"));
}

TEST(JsonDocument, NumbersReadWithThirteenSignificantDigits) {
    struct Case {
        const char* json;
        const char* text;
    };
    const Case cases[] = {
        {"0.30000000000000004", "0.3"},
        {"2.5", "2.5"},
        {"100", "100"},
        {"1234567890123", "1234567890123"},
        {"12345678901234", "1.234567890123e+13"},  // 14 digits: exponent form
        {"0.0001", "0.0001"},
        {"0.00001", "1e-05"},
        {"-0", "-0"},
        {"-17.25", "-17.25"},
        {"1e300", "1e+300"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        JsonDocument document = loaded(Text("{\"n\":") + c.json + "}");
        EXPECT_EQ(document.getProperty("n"), c.text);
        EXPECT_EQ(document.getType("n"), JsonNumber);
    }
}

TEST(JsonDocument, CountsAndClassifiesMembers) {
    JsonDocument document = loaded(
        R"({"s":"x","n":1,"b":false,"nul":null,"arr":[1,2,3],"empty":[],"obj":{},)"
        R"("nested":{"a":{"b":1},"c":2}})");
    struct Case {
        const char* path;
        int count;
        JsonValueType type;
        const char* why;
    };
    const Case cases[] = {
        {"", 8, JsonObject, ""},
        {"arr", 3, JsonArray, ""},
        {"empty", 0, JsonArray, ""},
        {"obj", 0, JsonObject, ""},
        {"nested", 2, JsonObject, "own members only, not the members' members"},
        {"s", 1, JsonString, "for-in over a string yields its indexes"},
        {"nul", -2, JsonNull, ""},
        {"missing", -2, JsonNull, "the loop runs zero times"},
        {"missing.deeper", 0, JsonOther, "the evaluation fails"},
        {"n", 0, JsonNumber, "a number's wrapper inherits the prelude's two names"},
        {"b", 0, JsonBoolean, ""},
        {"toJSONString", 0, JsonOther, "the prelude's function"},
        {"arr[", 0, JsonOther, "not script"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Text(c.path) + " / " + c.why);
        EXPECT_EQ(document.getMemberCount(c.path), c.count);
        EXPECT_EQ(document.getType(c.path), c.type);
    }
}

TEST(JsonDocument, EmptyAndBracketPaths) {
    JsonDocument object = loaded("{\"a\":1}");
    EXPECT_EQ(object.getProperty(""), "");        // "da." is not script
    EXPECT_EQ(object.getProperty("", true), "");
    EXPECT_EQ(object.toJsonText(), "{\"a\":1}");  // the whole document comes from here

    JsonDocument array = loaded(R"(["x",{"k":1,"l":2},2.50,[7]])");
    EXPECT_EQ(array.getType(), JsonArray);  // the document itself is an array
    EXPECT_EQ(array.getMemberCount(), 4);
    EXPECT_EQ(array.getProperty("[0]"), "x");
    EXPECT_EQ(array.getType("[0]"), JsonString);
    EXPECT_EQ(array.getMemberCount("[1]"), 2);
    EXPECT_EQ(array.getType("[1]"), JsonObject);
    EXPECT_EQ(array.getType("[3]"), JsonArray);
    EXPECT_EQ(array.getProperty("[2]"), "2.5");
    EXPECT_EQ(array.getNumber("[2]"), 2.5);
    EXPECT_EQ(array.getProperty("[1].l"), "2");
    EXPECT_TRUE(array.hasProperty("[1]"));
    EXPECT_FALSE(array.hasProperty("[9]"));
    EXPECT_EQ(array.getPropertyJson("[1]"), "{\"k\":1,\"l\":2}");
    array.setProperty("[0]", "y");
    EXPECT_EQ(array.getProperty("[0]"), "y");
}

TEST(JsonDocument, EveryLoadStartsAFreshEngine) {
    JsonDocument document;
    document.setProperty("kept", "1", true);
    TextArray names;
    document.getMemberNames(names);  // leaves the globals ary and key behind
    EXPECT_TRUE(document.hasProperty("kept"));
    EXPECT_TRUE(document.parse("{\"other\":2}"));
    EXPECT_FALSE(document.hasProperty("kept"));
    document.setProperty("kept", "1", true);
    EXPECT_FALSE(document.parse("{"));
    EXPECT_FALSE(document.hasProperty("kept"));
    EXPECT_EQ(document.getType(), JsonNull);  // a failed load leaves null
    document.init();
    EXPECT_EQ(document.toJsonText(), "{}");
}

TEST(JsonDocument, WritesMembersFromQuotedTextsOrExpressions) {
    JsonDocument document = loaded("{a:1}");
    EXPECT_EQ(document.toJsonText(), "{\"a\":1}");
    document.setProperty("b", "x");
    EXPECT_EQ(document.toJsonText(), "{\"a\":1,\"b\":\"x\"}");
    document.setProperty("c", "", true);
    document.setNumber("d", 2.5);
    document.setProperty("e", "5", true);
    document.setPropertyJson("f", "[1,{\"g\":null}]");
    EXPECT_EQ(document.toJsonText(),
              "{\"a\":1,\"b\":\"x\",\"c\":{},\"d\":2.5,\"e\":5,\"f\":[1,{\"g\":null}]}");
    EXPECT_TRUE(document.hasProperty("a"));
    EXPECT_FALSE(document.hasProperty("z"));
    EXPECT_FALSE(document.hasProperty("f[1].g"));  // null counts as absent

    const Text before = document.toJsonText();
    document.setProperty("b", "it's");  // the quote ends the script string: nothing changes
    document.setNumber("d", std::numeric_limits<double>::infinity());
    document.setNumber("d", std::nan(""));
    document.setPropertyJson("f", "{");
    document.setProperty("", "x");
    EXPECT_EQ(document.toJsonText(), before);

    document.setProperty("b", "a\\nb");  // a backslash starts a script escape
    EXPECT_EQ(document.getProperty("b"), "a\nb");
    document.setNumber("d", 1e20);
    EXPECT_EQ(document.getProperty("d"), "1e+20");
    EXPECT_EQ(document.getPropertyJson("f[1]"), "{\"g\":null}");
    EXPECT_EQ(document.getPropertyJson("missing"), "");
}

TEST(JsonDocument, ArrayOperations) {
    JsonDocument document = loaded("{\"name\":\"s\",\"list\":[7,8]}");
    EXPECT_EQ(document.getElement(0, "list"), "7");
    EXPECT_EQ(document.getElement(0, "list", true), "7");
    EXPECT_EQ(document.getElement(5, "list"), "");
    document.appendToArray("1", "fresh", true);
    EXPECT_EQ(document.getPropertyJson("fresh"), "[1]");
    document.appendToArray("1", "fresh", true);
    EXPECT_EQ(document.getPropertyJson("fresh"), "[1,1]");
    document.appendToArray("x", "name");  // a string member becomes an array
    EXPECT_EQ(document.getPropertyJson("name"), "[\"x\"]");
    document.appendToArray("{}", "list", true);
    EXPECT_EQ(document.getPropertyJson("list"), "[7,8,{}]");

    JsonDocument array = loaded("[1,2,3]");
    array.removeElement(1);
    EXPECT_EQ(array.toJsonText(), "[1,3]");
    array.removeElement(-1);
    EXPECT_EQ(array.toJsonText(), "[1]");
    array.setElement(0, "x");
    array.setElement(1, "{a:2}", true);  // a script value, past the end
    array.appendToArray("q");
    EXPECT_EQ(array.toJsonText(), "[\"x\",{\"a\":2},\"q\"]");
    EXPECT_EQ(array.getElement(2), "q");
}

TEST(JsonDocument, RemoveAtPathTakesTheOutermostBracket) {
    struct Case {
        const char* path;
        const char* after;
        const char* why;
    };
    const Case cases[] = {
        {"list[1]", R"({"list":[1,3],"a":[{"b":[5]},{"b":[6,7]}]})", ""},
        {"list[-1]", R"({"list":[1,2],"a":[{"b":[5]},{"b":[6,7]}]})", "splice counts from the end"},
        {"list[ +0]", R"({"list":[2,3],"a":[{"b":[5]},{"b":[6,7]}]})", "read as atol reads"},
        {"list[x]", R"({"list":[2,3],"a":[{"b":[5]},{"b":[6,7]}]})", "no number is 0"},
        {"a[1].b[0]", R"({"list":[1,2,3],"a":[{"b":[5]}]})", "a[1] goes whole"},
        {"list", R"({"list":[1,2,3],"a":[{"b":[5]},{"b":[6,7]}]})", "no bracket"},
        {"[0]", R"({"list":[1,2,3],"a":[{"b":[5]},{"b":[6,7]}]})", "no parent"},
        {"missing[0]", R"({"list":[1,2,3],"a":[{"b":[5]},{"b":[6,7]}]})", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Text(c.path) + " / " + c.why);
        JsonDocument document = loaded(R"({"list":[1,2,3],"a":[{"b":[5]},{"b":[6,7]}]})");
        document.removeAtPath(c.path);
        EXPECT_EQ(document.toJsonText(), c.after);
    }
}

TEST(JsonDocument, ListsMemberNames) {
    struct Case {
        const char* json;
        const char* path;
        TextArray names;
    };
    const Case cases[] = {
        {"{x:1,y:{z:2}}", "", {"x", "y"}},
        {"{x:1,y:{z:2}}", "y", {"z"}},
        {"{}", "", {}},
        {"[]", "", {}},
        {"[5,6]", "", {"0", "1"}},
        {"[{p:1,q:2}]", "[0]", {"p", "q"}},
        {"{x:1}", "missing", {}},
        {"{\"a,b\":1,c:2}", "", {"a", "b", "c"}},             // a comma splits a name
        {"{mytoJSONString:1,c:2}", "", {"myc"}},               // the prelude's names go
        {"{\"\":1,c:2}", "", {"", "c"}},                       // an empty name stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Text(c.json) + " at " + c.path);
        JsonDocument document = loaded(c.json);
        TextArray names = {"old"};
        EXPECT_EQ(document.getMemberNames(names, c.path), static_cast<int>(c.names.size()));
        EXPECT_EQ(names, c.names);
    }
}

TEST(JsonDocument, ReplacesTheWholeDocument) {
    JsonDocument document = loaded("{a:1}");
    document.resetToType(JsonArray);
    EXPECT_EQ(document.toJsonText(), "[]");
    document.resetToType(JsonNumber);  // not a container: nothing changes
    EXPECT_EQ(document.toJsonText(), "[]");
    document.resetToType(JsonNull);
    EXPECT_EQ(document.toJsonText(), "{}");
    document.resetToType(static_cast<JsonValueType>(3));
    document.setRootValue("[1,2]", true);
    EXPECT_EQ(document.toJsonText(), "[1,2]");
    document.setRootValue("text");
    EXPECT_EQ(document.toJsonText(), "\"text\"");
    document.resetToType(JsonObject);
    document.setProperty("k", "v");
    document.clearDocument();
    EXPECT_EQ(document.toJsonText(), "{}");
}

TEST(JsonDocument, HandedOutDocumentsHoldTheirOwnCopies) {
    JsonDocument document = loaded("{x:1,y:{z:2},list:[{w:3},4]}");
    JsonDocument member = document.getObject("y");
    EXPECT_EQ(member.getProperty("z"), "2");
    member.setProperty("z", "changed");
    EXPECT_EQ(document.getProperty("y.z"), "2");
    document.setNumber("y.z", 5);
    EXPECT_EQ(member.getProperty("z"), "changed");

    JsonDocument element = document.getElementObject(0, "list");
    EXPECT_EQ(element.toJsonText(), "{\"w\":3}");
    EXPECT_EQ(document.getElementObject(1, "list").getType(), JsonNumber);
    JsonDocument missing = document.getObject("nothing");
    EXPECT_EQ(missing.getType(), JsonNull);  // undefined, and never no document
    EXPECT_EQ(missing.toJsonText(), "");
    EXPECT_EQ(document.getObject("[0]").getType(), JsonNull);
}

TEST(JsonDocument, CopiesShareTheEngineWhicheverGoesFirst) {
    auto original = std::make_unique<JsonDocument>();
    ASSERT_TRUE(original->parse("{a:1}"));
    JsonDocument second = original->copy();
    original->setProperty("b", "2", true);
    EXPECT_EQ(second.toJsonText(), "{\"a\":1,\"b\":2}");
    original.reset();
    EXPECT_EQ(second.getProperty("b"), "2");

    JsonDocument moved = std::move(second);
    EXPECT_EQ(moved.getProperty("a"), "1");
    EXPECT_EQ(second.getProperty("a"), "");  // NOLINT: a moved-from document is empty
    EXPECT_FALSE(second.parse("{}"));
    moved = JsonDocument();
    EXPECT_EQ(moved.toJsonText(), "{}");
}

TEST(JsonDocument, KeepsCoInitializeBalanced) {
    const int base = comInitializationDepth();
    {
        JsonDocument document;
        EXPECT_EQ(comInitializationDepth(), base + 1);
        document.parse("{a:[1,2]}");
        document.parse("{a:[1,2]}");
        document.init();
        EXPECT_EQ(comInitializationDepth(), base + 1);  // one per document, however often it loads
        auto copy = std::make_unique<JsonDocument>(document.copy());
        EXPECT_EQ(comInitializationDepth(), base + 2);
        document.getObject("a");
        document.getElementObject(0, "a");
        document.removeAtPath("a[0]");
        JsonDocument moved = std::move(document);
        EXPECT_EQ(comInitializationDepth(), base + 2);
        moved = JsonDocument();
        EXPECT_EQ(comInitializationDepth(), base + 2);
    }
    EXPECT_EQ(comInitializationDepth(), base);
}

TEST(JsonDocument, WorkersEachWithTheirOwnDocumentsDoNotMeet) {
    // As two queries run side by side: each worker makes, reads and drops its own documents.
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([w, &wrong] {
            for (int round = 0; round < 25; ++round) {
                JsonDocument document;
                Text n = std::to_string(w * 1000 + round);
                if (!document.parse("{\"result\":{\"songs\":[{\"id\":" + n + "}]}}") ||
                    document.getProperty("result.songs[0].id") != n ||
                    document.getMemberCount("result.songs") != 1 || comInitializationDepth() != 1)
                    ++wrong[w];
            }
            if (comInitializationDepth() != 0) ++wrong[w];
        });
    }
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

// Makes creating the script engine fail while it lives.
struct MissingEngine {
    MissingEngine() {
        setAutomationFactory("MSScriptControl.ScriptControl",
                             [] { return std::shared_ptr<Dispatch>(); });
    }
    ~MissingEngine() { setAutomationFactory("MSScriptControl.ScriptControl", nullptr); }
};

TEST(JsonDocument, WithoutAnEngineEveryOperationGivesItsEmptyResult) {
    const int base = comInitializationDepth();
    {
        MissingEngine missing;
        JsonDocument document;
        EXPECT_FALSE(document.parse("{a:1}"));
        EXPECT_EQ(document.getProperty("a"), "");
        EXPECT_EQ(document.getProperty("a", true), "");
        EXPECT_EQ(document.getMemberCount("a"), 0);
        EXPECT_EQ(document.getType("a"), JsonOther);
        EXPECT_EQ(document.getNumber("a"), 0);
        EXPECT_EQ(document.toJsonText(), "");
        EXPECT_FALSE(document.hasProperty("a"));
        TextArray names = {"old"};
        EXPECT_EQ(document.getMemberNames(names), 0);
        EXPECT_TRUE(names.empty());
        document.setProperty("a", "1");
        document.removeAtPath("a[0]");
        EXPECT_EQ(document.getObject("a").getType(), JsonOther);
        EXPECT_EQ(comInitializationDepth(), base + 1);
    }
    EXPECT_EQ(comInitializationDepth(), base);
    JsonDocument later;  // the engine is back
    EXPECT_TRUE(later.parse("[1]"));
}

TEST(JsonDocument, InitKeepsTheOldEngineWhenNoNewOneCanBeMade) {
    JsonDocument document = loaded("{a:1}");
    {
        MissingEngine missing;
        document.init();
    }
    EXPECT_EQ(document.toJsonText(), "{}");
}

}  // namespace
