#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/automation.h"
#include "platform/automation_backends.h"
#include "platform/codepage.h"
#include "platform/duktape_heap.h"

namespace {

// The GB18030 Text of a UTF-8 literal.
Text gb(std::u8string_view utf8) {
    std::string bytes(utf8.begin(), utf8.end());
    int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                    nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                        units);
    int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    Text out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), units, out.data(), size, nullptr, nullptr);
    return out;
}

AutomationObject newEngine() {
    AutomationObject engine;
    EXPECT_TRUE(engine.create("MSScriptControl.ScriptControl"));
    EXPECT_TRUE(engine.writeProperty("Language", "JavaScript"));
    return engine;
}

Variant eval(AutomationObject& engine, const Text& code) {
    return engine.callMethod("Eval", {code});
}

TEST(ScriptControl, LanguageIsJavaScriptInAnyCaseAndNothingRunsBeforeIt) {
    AutomationObject engine;
    ASSERT_TRUE(engine.create("msscriptcontrol.scriptcontrol"));
    EXPECT_TRUE(eval(engine, "1").isEmpty());  // no language yet
    EXPECT_FALSE(engine.writeProperty("Language", "VBScript"));
    EXPECT_FALSE(engine.writeProperty("Language", ""));
    EXPECT_TRUE(eval(engine, "1").isEmpty());
    EXPECT_TRUE(engine.writeProperty("language", "javaSCRIPT"));
    EXPECT_EQ(eval(engine, "1").toNumber(), 1);
}

TEST(ScriptControl, EvalGivesTheValueOfTheLastStatementByKind) {
    enum Kind { kEmpty, kText, kNumber, kBoolean };
    struct Case {
        const char* code;
        Kind kind;
        const char* text;  // expected text (kText) or expected number's "%.17g"
    };
    const Case cases[] = {
        {"'abc'", kText, "abc"},
        {"''", kText, ""},
        {"0.1 + 0.2", kNumber, "0.30000000000000004"},
        {"-0.5e3", kNumber, "-500"},
        {"1 / 0", kNumber, "inf"},
        {"true", kBoolean, "1"},
        {"1 > 2", kBoolean, "0"},
        {"null", kEmpty, ""},
        {"undefined", kEmpty, ""},
        {"", kEmpty, ""},
        {"var unused = 1", kEmpty, ""},                    // a declaration has no value
        {"var x = 5; x * 2", kNumber, "10"},               // statements, then the last value
        {"if (x > 1) { 'big' } else { 'small' }", kText, "big"},
        {"[1, [2, 3], 'a']", kText, "1,2,3,a"},            // objects come back as String(value)
        {"({a: 1})", kText, "[object Object]"},
        {"({toString: function () { return 'mine'; }})", kText, "mine"},
        {"new Date(0).getTime()", kNumber, "0"},
        {"Symbol('s')", kText, "Symbol(s)"},
        {"String = null; [4, 5]", kText, "4,5"},           // a replaced String changes nothing
    };
    AutomationObject engine = newEngine();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Variant value = eval(engine, c.code);
        switch (c.kind) {
        case kEmpty: EXPECT_TRUE(value.isEmpty()); break;
        case kText:
            ASSERT_TRUE(value.isText());
            EXPECT_EQ(value.toText(), c.text);
            break;
        case kNumber: {
            ASSERT_TRUE(value.isNumber());
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.17g", value.toNumber());
            EXPECT_EQ(Text(buffer), c.text);
            break;
        }
        case kBoolean:
            ASSERT_TRUE(value.isBoolean());
            EXPECT_EQ(value.toBoolean(), c.text[0] == '1');
            break;
        }
    }
}

TEST(ScriptControl, CodeRunsInTheGlobalScopeAndPersistsBetweenCalls) {
    AutomationObject engine = newEngine();
    EXPECT_TRUE(engine.callMethod("AddCode", {"function twice(v) { return v * 2; } var base = 3;"})
                    .isEmpty());
    EXPECT_TRUE(eval(engine, "var result = twice(base) + 1").isEmpty());
    EXPECT_EQ(eval(engine, "result").toNumber(), 7);
    EXPECT_TRUE(engine.callMethod("AddCode", {"result++"}).isEmpty());
    EXPECT_EQ(eval(engine, "this.result").toNumber(), 8);  // a global, not a local of the eval
    EXPECT_EQ(eval(engine, "typeof twice").toText(), "function");

    AutomationObject other = newEngine();
    EXPECT_EQ(eval(other, "typeof twice").toText(), "undefined");  // one heap per object
}

TEST(ScriptControl, CodeAddedAgainBehavesAsTheFirstTime) {
    // From the second time on, a text's compiled form is kept and later loaded instead.
    const Text code =
        "var counter = (typeof counter === 'number' ? counter : 0) + 1;"
        "function shout(s) { return s.replace(/[a-z]+/g, function (w) { return w.toUpperCase(); }); }"
        "var made = (function () { var hidden = 40; return function () { return ++hidden; }; }());";
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        AutomationObject engine = newEngine();
        std::shared_ptr<Dispatch> raw = makeScriptControl();
        Variant ignored;
        EXPECT_TRUE(engine.callMethod("AddCode", {code}).isEmpty());
        EXPECT_EQ(eval(engine, "counter").toNumber(), 1);  // nothing carried over
        EXPECT_EQ(eval(engine, "shout('ab cd') + made() + made()").toText(), "AB CD4142");
        engine.callMethod("AddCode", {code});
        EXPECT_EQ(eval(engine, "counter").toNumber(), 2);
        ASSERT_TRUE(raw->putProperty("Language", "JavaScript"));
        EXPECT_FALSE(raw->callMethod("AddCode", {"counter.missing.member = 1"}, ignored));
        EXPECT_FALSE(raw->callMethod("AddCode", {"var broken = ;"}, ignored));
    }
}

TEST(ScriptControl, FailedCodeFailsTheCallAndTheEngineLivesOn) {
    const char* cases[] = {
        "1 +",                          // syntax error
        "var a = {b: 1",                // truncated literal
        "throw new Error('x')",
        "throw 5",
        "missing.member",               // ReferenceError
        "null.member",                  // TypeError
        "({toString: function () { throw 1; }})",  // throws while turned into text (Eval only)
        "decodeURIComponent('%')",
    };
    std::shared_ptr<Dispatch> engine = makeScriptControl();
    ASSERT_TRUE(engine);
    ASSERT_TRUE(engine->putProperty("Language", "JavaScript"));
    for (const char* code : cases) {
        SCOPED_TRACE(code);
        Variant result;
        EXPECT_FALSE(engine->callMethod("Eval", {code}, result));
        EXPECT_TRUE(result.isEmpty());
        if (code[0] != '(') {
            EXPECT_FALSE(engine->callMethod("AddCode", {code}, result));
        }
        ASSERT_TRUE(engine->callMethod("Eval", {"6 * 7"}, result));
        EXPECT_EQ(result.toNumber(), 42);
    }
    Variant result;
    EXPECT_FALSE(engine->callMethod("Eval", {}, result));          // no argument
    EXPECT_FALSE(engine->callMethod("Run", {"1"}, result));        // no such method
}

TEST(ScriptControl, NestingTooDeepFailsTheCall) {
    std::string open(200000, '['), close(200000, ']');
    std::string parens = std::string(200000, '(') + "1" + std::string(200000, ')');
    const std::string cases[] = {
        open + close,                                                   // compiler
        parens,
        "JSON.parse(new Array(100001).join('[') + new Array(100001).join(']'))",
        "JSON.parse(new Array(100001).join('{\"a\":') + '1' + new Array(100001).join('}'))",
        "var a = []; for (var i = 0; i < 100000; i++) a = [a]; String(a)",  // native recursion
        "var o = {}; for (var i = 0; i < 100000; i++) o = {o: o}; JSON.stringify(o)",
        "function down(n) { return down(n + 1) + 1; } down(0)",         // call stack
        "new RegExp(new Array(100001).join('(') + 'x' + new Array(100001).join(')'))",
        "var f = function () { return [1].map(f); }; f()",             // through built-ins
    };
    AutomationObject engine = newEngine();
    for (const std::string& code : cases) {
        SCOPED_TRACE(code.substr(0, 60));
        EXPECT_TRUE(eval(engine, code).isEmpty());
        EXPECT_EQ(eval(engine, "2 + 2").toNumber(), 4);
    }
}

TEST(ScriptControl, ReachingTheMemoryCapFailsTheCallAndSparesOtherEngines) {
    std::shared_ptr<Dispatch> bystander = makeScriptControl();
    ASSERT_TRUE(bystander);
    ASSERT_TRUE(bystander->putProperty("Language", "JavaScript"));
    const char* endless[] = {
        "var s = 'x'; for (;;) s = s + s;",                                      // few big blocks
        "var list = []; for (var i = 0; ; i++) list.push(String(i).repeat(100));",   // many
        "var o = {}; for (var i = 0; ; i++) o['k' + i] = [i];",                      // one growing
    };
    for (const char* code : endless) {
        SCOPED_TRACE(code);
        std::shared_ptr<Dispatch> greedy = makeScriptControl();
        ASSERT_TRUE(greedy);
        ASSERT_TRUE(greedy->putProperty("Language", "JavaScript"));
        Variant result;
        EXPECT_FALSE(greedy->callMethod("Eval", {code}, result));
        EXPECT_TRUE(result.isEmpty());
        Variant peak;
        ASSERT_TRUE(greedy->getProperty("PeakMemory", {}, peak));
        EXPECT_LE(peak.toNumber(), 256.0 * 1024 * 1024);
        EXPECT_GT(peak.toNumber(), 128.0 * 1024 * 1024);

        EXPECT_TRUE(bystander->callMethod("Eval", {"new Array(1000).join('z').length"}, result));
        EXPECT_EQ(result.toNumber(), 999);
    }
    // What a full engine held is given back when it goes.
    AutomationObject fresh = newEngine();
    EXPECT_EQ(eval(fresh, "'still here'").toText(), "still here");
}

TEST(ScriptControl, TextCrossesAsUnicodeBothWaysBeyondTheBmpToo) {
    AutomationObject engine = newEngine();
    const Text mixed = gb(u8"中文 é ß 한국어 😀 𠀀 \u00AD end");
    EXPECT_EQ(eval(engine, "'" + mixed + "'").toText(), mixed);
    EXPECT_EQ(eval(engine, "var kept = '" + mixed + "'; kept.length").toNumber(), 22);
    EXPECT_EQ(eval(engine, "kept").toText(), mixed);

    struct Case {
        Text code;
        Text expected;
    };
    const Case cases[] = {
        {"'" + gb(u8"😀") + "'.length", "2"},              // one character, two UTF-16 units
        {"'" + gb(u8"😀") + "'.charCodeAt(0)", "55357"},   // 0xD83D
        {"'" + gb(u8"😀") + "'.charCodeAt(1)", "56832"},   // 0xDE00
        {"'\\uD83D\\uDE00'", gb(u8"😀")},                   // a pair made in script comes back whole
        {"'" + gb(u8"中") + "'.charCodeAt(0)", "20013"},
        {"'\\u4E2D\\u6587'", gb(u8"中文")},
        {"String.fromCharCode(0xD83D) + 'a'", "?a"},        // a lone surrogate has no character
        {"'a\\u0000b'", "a"},                               // a zero ends a Text
        {"'" + gb(u8"中") + "\\u0000b'", gb(u8"中")},
        {"encodeURIComponent('" + gb(u8"é😀") + "')", "%C3%A9%F0%9F%98%80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(eval(engine, c.code).toText(), c.expected);
    }
}

TEST(ScriptControl, SandboxHoldsOnlyECMAScriptBuiltins) {
    AutomationObject engine = newEngine();
    const char* absent[] = {"Duktape",     "require",     "print",       "alert",
                            "CBOR",        "Buffer",      "TextEncoder", "TextDecoder",
                            "performance", "process",     "module",      "exports",
                            "load",        "readFile",    "XMLHttpRequest",
                            "Uint8Array.allocPlain",      "Uint8Array.plainOf"};
    for (const char* name : absent) {
        SCOPED_TRACE(name);
        EXPECT_EQ(eval(engine, Text("typeof ") + name).toText(), "undefined");
    }
    // Everything the global object holds, so that a new engine version cannot add host objects
    // unnoticed.
    Text globals = eval(engine, "Object.getOwnPropertyNames(this).sort().join(' ')").toText();
    EXPECT_EQ(globals,
              "Array ArrayBuffer Boolean DataView Date Error EvalError Float32Array Float64Array "
              "Function Infinity Int16Array Int32Array Int8Array JSON Math NaN Number Object Proxy "
              "RangeError ReferenceError Reflect RegExp String Symbol SyntaxError TypeError "
              "URIError Uint16Array Uint32Array Uint8Array Uint8ClampedArray decodeURI "
              "decodeURIComponent encodeURI encodeURIComponent escape eval globalThis isFinite "
              "isNaN parseFloat parseInt undefined unescape");
}

duk_ret_t fatalInside(duk_context* ctx, void*) {
    duk_push_string(ctx, "some data on the heap");
    duk_fatal(ctx, "test");
    return 0;
}

duk_ret_t makeString(duk_context* ctx, void* data) {
    duk_push_string(ctx, static_cast<const char*>(data));
    return 1;
}

duk_ret_t throwInside(duk_context* ctx, void*) {
    return duk_error(ctx, DUK_ERR_TYPE_ERROR, "thrown");
}

TEST(DuktapeHeap, FatalErrorFailsTheCallAndLeavesTheHeapForGood) {
    std::unique_ptr<DuktapeHeap> heap = DuktapeHeap::create(16 << 20);
    ASSERT_TRUE(heap);
    char text[] = "abc";
    ASSERT_TRUE(heap->call(makeString, text));
    EXPECT_STREQ(duk_get_string(heap->context(), -1), "abc");
    heap->popResult();
    EXPECT_FALSE(heap->call(throwInside, nullptr));
    EXPECT_FALSE(heap->broken());

    EXPECT_FALSE(heap->call(fatalInside, nullptr));
    EXPECT_TRUE(heap->broken());
    EXPECT_FALSE(heap->call(makeString, text));
    EXPECT_GT(heap->memoryInUse(), 0u);
    // The heap's blocks are freed without Duktape; the leak checker sees the rest.
    heap.reset();

    std::unique_ptr<DuktapeHeap> next = DuktapeHeap::create(16 << 20);
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->call(makeString, text));
    next->popResult();
}

TEST(DuktapeHeap, CountsItsMemoryAgainstTheCap) {
    EXPECT_FALSE(DuktapeHeap::create(4096));  // too small for the built-ins
    std::unique_ptr<DuktapeHeap> heap = DuktapeHeap::create(16 << 20);
    ASSERT_TRUE(heap);
    std::size_t base = heap->memoryInUse();
    EXPECT_GT(base, 0u);
    EXPECT_GE(heap->memoryPeak(), base);
    std::string big(1 << 20, 'x');
    ASSERT_TRUE(heap->call(makeString, big.data()));
    EXPECT_GT(heap->memoryInUse(), base + (1 << 20));
    heap->popResult();
    duk_gc(heap->context(), 0);
    EXPECT_LT(heap->memoryInUse(), base + (1 << 20));
    EXPECT_GT(heap->memoryPeak(), base + (1 << 20));
}

}  // namespace
