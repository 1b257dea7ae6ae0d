#include <gtest/gtest.h>

#include <string>

#include "platform/automation.h"
#include "platform/codepage.h"

using namespace std::string_view_literals;

namespace {

// The Text (GB18030) of UTF-16 source text.
Text gb(std::u16string_view wide) {
    if (wide.empty()) return {};
    const int units = static_cast<int>(wide.size());
    int size = WideCharToMultiByte(CP_GBK, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    Text text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_GBK, 0, wide.data(), units, text.data(), size, nullptr, nullptr);
    return text;
}

const Text kReplacement = "\x84\x31\xA4\x37";  // U+FFFD in GB18030

AutomationObject openStream(int type) {
    AutomationObject stream;
    EXPECT_TRUE(stream.create("Adodb.Stream"));
    EXPECT_TRUE(stream.writeProperty("Type", type));
    EXPECT_TRUE(stream.callMethod("Open").isEmpty());
    EXPECT_EQ(stream.readProperty("State").toNumber(), 1);
    return stream;
}

Bytes encodeText(const Text& charset, const Text& text) {
    AutomationObject stream = openStream(2);
    EXPECT_TRUE(stream.writeProperty("Charset", charset)) << charset;
    stream.callMethod("WriteText", {text});
    stream.writeProperty("Position", 0);
    stream.writeProperty("Type", 1);
    return stream.callMethod("Read").toBytes();
}

Variant decodeBytes(const Text& charset, const Bytes& bytes) {
    AutomationObject stream = openStream(1);
    stream.callMethod("Write", {bytes});
    stream.writeProperty("Position", 0);
    stream.writeProperty("Type", 2);
    EXPECT_TRUE(stream.writeProperty("Charset", charset)) << charset;
    return stream.callMethod("ReadText");
}

TEST(AdodbStream, WritesAndReadsTextInEachCharset) {
    struct Case {
        const char* charset;
        std::u16string_view text;
        std::string_view bytes;
        bool readsBack;
        const char* why;
    };
    const Case cases[] = {
        {"UTF-8", u"\u6f14\u5458", "\xE6\xBC\x94\xE5\x91\x98", true, "no byte-order mark written"},
        {"utf-8", u"A", "A", true, "names ignore case"},
        {"GBK", u"\u6f14\u5458", "\xD1\xDD\xD4\xB1", true, "GBK's own two-byte codes"},
        {"gb2312", u"\u6f14\u5458", "\xD1\xDD\xD4\xB1", true, ""},
        {"CP936", u"\u6f14\u5458", "\xD1\xDD\xD4\xB1", true, ""},
        {"GBK", u"\ud55c\U0001F600", "\x83\x36\x84\x33\x94\x39\xFC\x36", true,
         "beyond GBK: GB18030's four-byte codes, nothing lost"},
        {"GB18030", u"\u6f14", "\xD1\xDD", true, ""},
        {"Big5", u"\u6f14\u54e1\u4e2d", "\xBA\x74\xAD\xFB\xA4\xA4", true, ""},
        {"ISO-8859-1", u"caf\u00e9", "caf\xE9", true, ""},
        {"ISO-8859-1", u"a\u4e2d", "a?", false, "what the charset cannot hold becomes ?"},
        {"windows-1252", u"\u20ac", "\x80", true, "the euro sign is 1252's, not Latin-1's"},
        {"Unicode", u"A\u4e2d", "A\0\x2D\x4E"sv, true, "UTF-16LE, no byte-order mark written"},
        {"UTF-16LE", u"\U0001F600", "\x3D\xD8\x00\xDE"sv, true, "a surrogate pair"},
        {"UTF-16BE", u"A", "\0A"sv, true, ""},
        {"UTF-8", u"", "", true, "empty text, no bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.charset) + ": " + c.why);
        const Bytes expected = bytesOf(c.bytes);
        EXPECT_EQ(encodeText(c.charset, gb(c.text)), expected);
        if (c.readsBack) {
            EXPECT_EQ(decodeBytes(c.charset, expected).toText(), gb(c.text));
        }
    }
}

TEST(AdodbStream, ReadsInvalidBytesAsReplacementCharacters) {
    struct Case { const char* charset; std::string_view bytes; Text text; const char* why; };
    const Case cases[] = {
        {"UTF-8", "a\xFF" "b", "a" + kReplacement + "b", "a byte that never starts UTF-8"},
        {"UTF-8", "a\xE6\xBC", "a" + kReplacement + kReplacement, "cut short at the end: one per byte"},
        {"UTF-8", "\xC0\xAF", kReplacement + kReplacement, "an overlong form"},
        {"UTF-8", "\xED\xA0\x80", kReplacement + kReplacement + kReplacement, "an encoded surrogate"},
        {"GBK", "\xD1\xDD\xD1", "\xD1\xDD" + kReplacement, "a lead byte at the very end"},
        {"Unicode", "A\0B"sv, "A" + kReplacement, "an odd last byte"},
        {"Unicode", "\x00\xD8" "A\0"sv, kReplacement + "A", "a lone surrogate"},
        {"UTF-8", "a\0b"sv, Text("a\0b"sv), "a zero byte is a character like any other"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(decodeBytes(c.charset, bytesOf(c.bytes)).toText(), c.text);
    }
}

TEST(AdodbStream, ReadTextSkipsALeadingByteOrderMarkOfItsCharsetOnly) {
    struct Case { const char* charset; std::string_view bytes; Text text; };
    const Case cases[] = {
        {"UTF-8", "\xEF\xBB\xBFx", "x"},
        {"Unicode", "\xFF\xFEx\0"sv, "x"},
        {"UTF-16BE", "\xFE\xFF\0x"sv, "x"},
        {"UTF-8", "x\xEF\xBB\xBF", "x\x84\x31\x95\x33"},       // not leading: U+FEFF stays
        {"ISO-8859-1", "\xEF\xBB\xBF", "\x81\x30\x8A\x37\x81\x30\x86\x33\x81\x30\x86\x37"},  // ï»¿
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.charset);
        EXPECT_EQ(decodeBytes(c.charset, bytesOf(c.bytes)).toText(), c.text);
    }
}

TEST(AdodbStream, UnknownCharsetFailsAndStopsTextCallsUntilAKnownOneIsSet) {
    AutomationObject stream = openStream(2);
    EXPECT_TRUE(stream.writeProperty("Charset", "UTF-8"));
    EXPECT_FALSE(stream.writeProperty("Charset", "x-no-such-charset"));
    EXPECT_FALSE(stream.writeProperty("Charset", "UTF-8//TRANSLIT"));  // no iconv suffixes
    EXPECT_FALSE(stream.writeProperty("Charset", ""));
    // The previous charset is not used in its place: that would convert silently wrong.
    EXPECT_TRUE(stream.callMethod("WriteText", {"abc"}).isEmpty());
    EXPECT_EQ(stream.readProperty("Size").toNumber(), 0);
    EXPECT_TRUE(stream.writeProperty("Charset", "GBK"));
    stream.callMethod("WriteText", {"abc"});
    EXPECT_EQ(stream.readProperty("Size").toNumber(), 3);
}

TEST(AdodbStream, TheBodyReadOfAPageRequestDecodesTheDeclaredCharset) {
    AutomationObject stream;
    ASSERT_TRUE(stream.create("Adodb.Stream"));
    EXPECT_TRUE(stream.writeProperty("Type", 1));
    EXPECT_TRUE(stream.writeProperty("Mode", 3));
    stream.callMethod("Open");
    stream.callMethod("Write", {bytesOf("<p>\xE6\xBC\x94</p>")});
    EXPECT_TRUE(stream.writeProperty("Position", 0));
    EXPECT_TRUE(stream.writeProperty("Type", 2));
    EXPECT_TRUE(stream.writeProperty("Charset", "utf-8"));
    EXPECT_EQ(stream.callMethod("ReadText").toText(), "<p>\xD1\xDD</p>");
    EXPECT_TRUE(stream.readProperty("EOS").toBoolean());
    stream.callMethod("Close");
    EXPECT_EQ(stream.readProperty("Mode").toNumber(), 3);
}

TEST(AdodbStream, KeepsTheClassicRulesForTypePositionAndState) {
    AutomationObject stream;
    ASSERT_TRUE(stream.create("Adodb.Stream"));
    EXPECT_EQ(stream.readProperty("Type").toNumber(), 2);  // text by default
    EXPECT_EQ(stream.readProperty("Charset").toText(), "Unicode");
    EXPECT_TRUE(stream.readProperty("Position").isEmpty());  // closed
    EXPECT_FALSE(stream.writeProperty("Position", 0));
    EXPECT_TRUE(stream.callMethod("Read").isEmpty());
    EXPECT_FALSE(stream.writeProperty("Type", 3));

    stream.writeProperty("Type", 1);
    stream.callMethod("Open");
    EXPECT_FALSE(stream.writeProperty("Mode", 3)) << "only while closed";
    EXPECT_TRUE(stream.callMethod("ReadText").isEmpty()) << "text calls need Type 2";
    EXPECT_TRUE(stream.callMethod("Write", {"text, not bytes"}).isEmpty());
    stream.callMethod("Write", {Bytes{1, 2, 3, 4}});
    EXPECT_EQ(stream.readProperty("Position").toNumber(), 4);
    EXPECT_FALSE(stream.writeProperty("Type", 2)) << "Type changes at position 0 only";
    EXPECT_FALSE(stream.writeProperty("Charset", "UTF-8")) << "so does Charset";
    EXPECT_FALSE(stream.writeProperty("Position", -1));

    stream.writeProperty("Position", 1);
    stream.callMethod("Write", {Bytes{9}});
    stream.writeProperty("Position", 1);
    EXPECT_EQ(stream.callMethod("Read", {2}).toBytes(), (Bytes{9, 3})) << "overwrites, keeps the rest";
    EXPECT_EQ(stream.callMethod("Read").toBytes(), Bytes{4});
    EXPECT_EQ(stream.callMethod("Read").toBytes(), Bytes{}) << "at the end";

    EXPECT_TRUE(stream.writeProperty("Position", 6));
    EXPECT_EQ(stream.readProperty("Size").toNumber(), 6) << "grows with zero bytes";
    stream.writeProperty("Position", 0);
    EXPECT_EQ(stream.callMethod("Read").toBytes(), (Bytes{1, 9, 3, 4, 0, 0}));
    EXPECT_TRUE(stream.writeProperty("Position", 2'000'000'000));
    EXPECT_EQ(stream.callMethod("Read").toBytes(), Bytes{}) << "nothing is made for the gap";
    stream.writeProperty("Position", 5);
    stream.callMethod("SetEOS");
    EXPECT_EQ(stream.readProperty("Size").toNumber(), 5);

    EXPECT_TRUE(stream.callMethod("Open").isEmpty());
    EXPECT_EQ(stream.readProperty("Size").toNumber(), 5) << "a second Open fails and keeps all";
    stream.callMethod("Close");
    EXPECT_EQ(stream.readProperty("State").toNumber(), 0);
    stream.callMethod("Open");
    EXPECT_EQ(stream.readProperty("Size").toNumber(), 0) << "Close drops the content";
    EXPECT_EQ(stream.readProperty("Type").toNumber(), 1) << "and keeps the Type";
}

TEST(AdodbStream, WriteTextAppendsALineBreakWhenAsked) {
    AutomationObject stream = openStream(2);
    stream.writeProperty("Charset", "UTF-8");
    stream.callMethod("WriteText", {"a", 1});
    stream.callMethod("WriteText", {"b"});
    stream.writeProperty("Position", 0);
    EXPECT_EQ(stream.callMethod("ReadText").toText(), "a\r\nb");
}

}  // namespace
