#include "json/json_prelude.h"

#include <gtest/gtest.h>

#include "platform/automation.h"

namespace {

AutomationObject engineWithPrelude(const Text& before = {}) {
    AutomationObject engine;
    EXPECT_TRUE(engine.create("MSScriptControl.ScriptControl"));
    EXPECT_TRUE(engine.writeProperty("Language", "JavaScript"));
    if (!before.empty()) engine.callMethod("AddCode", {before});
    engine.callMethod("AddCode", {Text(jsonPrelude())});
    return engine;
}

// An engine whose JSON and Date.prototype.toJSON were taken away before the prelude ran, so that
// the prelude's own versions are in place; the engine's native ones stay reachable as nativeJSON
// and nativeDateToJSON.
AutomationObject engineWithFallbacks() {
    return engineWithPrelude(
        "var nativeJSON = JSON; var nativeDateToJSON = Date.prototype.toJSON;"
        "delete this.JSON; delete Date.prototype.toJSON;");
}

Text eval(AutomationObject& engine, const Text& code) {
    return engine.callMethod("Eval", {code}).toText();
}

// A single-quoted script string holding `text` exactly.
Text scriptString(const Text& text) {
    Text out = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "'";
}

TEST(JsonPrelude, AddsOnlyTheMissingPieces) {
    AutomationObject native = engineWithPrelude("var before = JSON.stringify;");
    EXPECT_EQ(eval(native, "JSON.stringify === before"), "-1");
    EXPECT_EQ(eval(native, "typeof String.prototype.toJSON"), "undefined");
    EXPECT_EQ(eval(native, "typeof get__count"), "function");

    AutomationObject fallback = engineWithFallbacks();
    EXPECT_EQ(eval(fallback, "JSON === nativeJSON || JSON.parse === nativeJSON.parse"), "0");
    EXPECT_EQ(eval(fallback, "typeof JSON.stringify + typeof JSON.parse"), "functionfunction");
    EXPECT_EQ(eval(fallback, "typeof String.prototype.toJSON + typeof Number.prototype.toJSON"),
              "functionfunction");
    EXPECT_EQ(eval(fallback, "new Boolean(false).toJSON()"), "0");
}

TEST(JsonPrelude, CountsMembersAndPutsTwoNamesOnEveryObject) {
    for (bool withFallbacks : {false, true}) {
        SCOPED_TRACE(withFallbacks ? "fallbacks" : "native");
        AutomationObject engine = withFallbacks ? engineWithFallbacks() : engineWithPrelude();
        struct Case {
            const char* code;
            const char* result;
        };
        const Case cases[] = {
            {"get__count({a: 1, b: 2})", "2"},
            {"get__count([7, 8, 9])", "3"},
            {"get__count({})", "0"},
            {"get__count(null)", "-2"},
            {"get__count(undefined)", "-2"},
            {"var names = []; for (var n in {}) names.push(n); names.join()",
             "toJSONString,parseJSON"},  // enumerable, in this order
            {"({a: [1, 'x']}).toJSONString()", "{\"a\":[1,\"x\"]}"},
            {"[1, 2].toJSONString(function (k, v) { return v === 2 ? 3 : v; })", "[1,3]"},
            {"'{\"k\":[true]}'.parseJSON().k[0]", "-1"},
            {"'[1,2]'.parseJSON(function (k, v) { return k === '0' ? undefined : v; }).length",
             "2"},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.code);
            EXPECT_EQ(eval(engine, c.code), c.result);
        }
    }
}

TEST(JsonPrelude, DateToJsonWritesUtcToTheSecond) {
    AutomationObject engine = engineWithFallbacks();
    EXPECT_EQ(eval(engine, "new Date(Date.UTC(2021, 0, 2, 3, 4, 5, 678)).toJSON()"),
              "2021-01-02T03:04:05Z");
    EXPECT_EQ(eval(engine, "new Date(Date.UTC(1999, 11, 31, 23, 59, 59)).toJSON()"),
              "1999-12-31T23:59:59Z");
    EXPECT_EQ(eval(engine, "String(new Date(NaN).toJSON())"), "null");
    EXPECT_EQ(eval(engine, "JSON.stringify({d: new Date(Date.UTC(2005, 6, 8))})"),
              "{\"d\":\"2005-07-08T00:00:00Z\"}");
    EXPECT_EQ(eval(engine, "nativeJSON.stringify([new Date(NaN)])"), "[null]");
}

// The fallback's text and the native one's for the same value and arguments.
Text bothStringify(AutomationObject& engine, const Text& arguments) {
    return eval(engine, "var v = [" + arguments + "]; JSON.stringify.apply(null, v) + ' | ' + "
                        "nativeJSON.stringify.apply(null, v)");
}

TEST(JsonPrelude, StringifyFallbackWritesWhatNativeJsonWrites) {
    AutomationObject engine = engineWithFallbacks();
    const char* values[] = {
        "'plain'",
        "'\"quote\" back\\\\slash'",
        "'\\b\\t\\n\\f\\r'",
        "'\\u0000\\u0001\\u001f'",
        "'\\u4e2d\\u6587 \\u00e9 \\ud83d\\ude00'",  // written as they are
        "0", "-0", "1.5e300", "-17.25", "1/3", "NaN", "Infinity", "-Infinity",
        "true", "false", "null", "undefined", "function () {}",
        "[]", "{}", "[[], {}, [[]]]",
        "[1, 'a', null, undefined, function () {}, NaN]",  // undefined and functions: null
        "{a: 1, b: undefined, c: function () {}, d: null}", // ... left out of objects
        "{nested: {deeper: {deepest: [1, {x: 'y'}]}}, list: [{}, []]}",
        "{'key with \"quotes\"': 1, '\\n': 2, '': 3}",
        "new String('boxed')", "new Number(4)", "new Boolean(true)",
        "{s: new String('x'), n: [new Number(-1)]}",
        "{toJSON: function (key) { return 'from toJSON at [' + key + ']'; }}",
        "{inner: {toJSON: function (key) { return key + '!'; }}}",
        "[undefined]",
        "Object.create({inherited: 1}, {own: {value: 2, enumerable: true}})",
    };
    const char* options[] = {
        "",
        ", null, 2",
        ", null, '\\t'",
        ", null, '--'",
        ", null, 12",             // at most ten
        ", null, 'abcdefghijkl'",
        ", null, 0",
        ", null, ''",
        ", function (k, v) { return typeof v === 'number' ? v * 10 : v; }",
        ", function (k, v) { return k === 'a' ? undefined : v; }, 1",
        ", function (k, v) { return this === undefined ? 'no holder' : v; }",
        ", ['b', 'a', 'missing']",  // order of the list
        ", ['nested', 'deeper', 1], ' '",
    };
    for (const char* value : values) {
        for (const char* option : options) {
            Text arguments = Text(value) + option;
            SCOPED_TRACE(arguments);
            Text both = bothStringify(engine, arguments);
            std::size_t bar = both.find(" | ");
            ASSERT_NE(bar, Text::npos) << both;
            EXPECT_EQ(both.substr(0, bar), both.substr(bar + 3));
        }
    }
}

TEST(JsonPrelude, StringifyFallbackEscapesMoreThanNativeJson) {
    AutomationObject engine = engineWithFallbacks();
    struct Case {
        const char* character;
        const char* written;
    };
    const Case cases[] = {
        {"\\u007f", "\\u007f"}, {"\\u009f", "\\u009f"}, {"\\u00ad", "\\u00ad"},
        {"\\u0600", "\\u0600"}, {"\\u0604", "\\u0604"}, {"\\u070f", "\\u070f"},
        {"\\u17b4", "\\u17b4"}, {"\\u17b5", "\\u17b5"}, {"\\u200c", "\\u200c"},
        {"\\u200f", "\\u200f"}, {"\\u2028", "\\u2028"}, {"\\u202f", "\\u202f"},
        {"\\u2060", "\\u2060"}, {"\\u206f", "\\u206f"}, {"\\ufeff", "\\ufeff"},
        {"\\ufff0", "\\ufff0"}, {"\\uffff", "\\uffff"},
        {"\\u001b", "\\u001b"}, {"\\u0008", "\\b"}, {"\\\\", "\\\\"}, {"\\\"", "\\\""},
        // Neighbours of the escaped ranges stay as they are (shown as <code>).
        {"\\u007e", "~"}, {"\\u00a0", "<00a0>"}, {"\\u0605", "<0605>"},
        {"\\u2030", "<2030>"}, {"\\ufeef", "<feef>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.character);
        Text code = Text("var s = 'a") + c.character + "b'; var t = JSON.stringify(s); ";
        Text shown = eval(engine, code +
                                      "t.replace(/[\\u0080-\\uffff]/g, function (ch) {"
                                      "  return '<' + ('000' + ch.charCodeAt(0).toString(16))"
                                      ".slice(-4) + '>'; })");
        EXPECT_EQ(shown, Text("\"a") + c.written + "b\"");
        // Whatever the form, the native parser reads the same string back.
        EXPECT_EQ(eval(engine, code + "nativeJSON.parse(t) === s"), "-1");
    }
}

TEST(JsonPrelude, StringifyFallbackRefusesBadReplacersAndCycles) {
    AutomationObject engine = engineWithFallbacks();
    auto thrown = [&](const char* call) {
        return eval(engine, Text("try { ") + call + "; 'no error' } catch (e) { e.name + ': ' + "
                            "e.message }");
    };
    EXPECT_EQ(thrown("JSON.stringify(1, 5)"), "Error: JSON.stringify");
    EXPECT_EQ(thrown("JSON.stringify(1, 'x')"), "Error: JSON.stringify");
    EXPECT_EQ(thrown("JSON.stringify(1, {})"), "Error: JSON.stringify");
    EXPECT_EQ(thrown("JSON.stringify([1], 0)"), "no error");  // absent replacers
    EXPECT_EQ(thrown("JSON.stringify([1], '')"), "no error");
    EXPECT_EQ(thrown("JSON.stringify({length: 1, 0: 'a'}, {length: 1, 0: 'a'})"), "no error");
    EXPECT_EQ(thrown("var o = {}; o.self = o; JSON.stringify(o)").substr(0, 10), "TypeError:");
    EXPECT_EQ(thrown("var a = [[]]; a[0].push(a); JSON.stringify(a)").substr(0, 10), "TypeError:");
    EXPECT_EQ(thrown("var shared = {}; JSON.stringify([shared, shared])"), "no error");
    // A name listed twice is written once (this engine's native JSON writes it twice).
    EXPECT_EQ(eval(engine, "JSON.stringify({a: 1, b: 2}, ['a', 'b', 'a', 2])"), "{\"a\":1,\"b\":2}");
}

TEST(JsonPrelude, ParseFallbackReadsWhatNativeJsonReads) {
    AutomationObject engine = engineWithFallbacks();
    const char* texts[] = {
        "0", "-1.5e-7", "1E+2", "true", "false", "null", "\"text\"",
        "\"esc \\\" \\\\ \\/ \\b \\f \\n \\r \\t \\u4e2d \\ud83d\\ude00\"",
        "[]", "{}", "[1, [2, [3, [4]]]]", " { \"a\" : [ true , null ] , \"b\" : { } } ",
        "{\"result\":{\"songs\":[{\"name\":\"x\",\"id\":1234567,\"artists\":[{\"name\":\"y\"}]}]}}",
        "[\"\\u2028\", \"\\u0000\"]",
        "{\"a\":1,\"a\":2}",  // the last one wins
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        Text code = "var t = " + scriptString(text) + "; ";
        EXPECT_EQ(eval(engine, code + "nativeJSON.stringify(JSON.parse(t)) === "
                                      "nativeJSON.stringify(nativeJSON.parse(t))"),
                  "-1");
        EXPECT_EQ(eval(engine, code + "var seen = []; var f = function (k, v) {"
                                      "  seen.push(k); return typeof v === 'number' ? v + 1 : v; };"
                                      "nativeJSON.stringify([JSON.parse(t, f), seen]) === "
                                      "(seen = [], nativeJSON.stringify([nativeJSON.parse(t, f), seen]))"),
                  "-1");
    }
    // Characters that would end a script string raw are escaped before the text is evaluated.
    EXPECT_EQ(eval(engine, "JSON.parse('\"a\\u2028b\\u2029c\\ufeffd\"') === 'a\\u2028b\\u2029c\\ufeffd'"),
              "-1");
}

TEST(JsonPrelude, ParseFallbackRefusesWhatIsNotJson) {
    AutomationObject engine = engineWithFallbacks();
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"", "SyntaxError"},  // passes the check; eval refuses "()"
        {"{", "SyntaxError"},
        {"[1, 2", "SyntaxError"},
        {"{a: 1}", "SyntaxError: JSON.parse"},  // names must be quoted
        {"'single'", "SyntaxError: JSON.parse"},
        {"undefined", "SyntaxError: JSON.parse"},
        {"NaN", "SyntaxError: JSON.parse"},
        {"alert(1)", "SyntaxError: JSON.parse"},
        {"[1] + [2]", "SyntaxError: JSON.parse"},
        {"\"raw\nline\"", "SyntaxError: JSON.parse"},
        {"\"bad \\x escape\"", "SyntaxError: JSON.parse"},
        {"{\"a\": 1} {\"b\": 2}", "SyntaxError"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Text code = "var t = " + scriptString(c.text) + "; ";
        Text fallback = eval(engine, code + "try { JSON.parse(t); 'read' } catch (e) {"
                                            " e.name + (e.message === 'JSON.parse' ? ': JSON.parse' : '') }");
        EXPECT_EQ(fallback, c.error);
        EXPECT_EQ(eval(engine, code + "try { nativeJSON.parse(t); 'read' } catch (e) { e.name }"),
                  "SyntaxError");
    }
    // Two leniencies of the shape check, which native JSON refuses: a trailing comma and a
    // leading zero reach eval, which reads them as script does.
    EXPECT_EQ(eval(engine, "JSON.parse('[1,]').length"), "1");
    EXPECT_EQ(eval(engine, "JSON.parse('[01]')[0]"), "1");
}

}  // namespace
