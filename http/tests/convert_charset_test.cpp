#include "http/convert_charset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/automation.h"
#include "platform/com.h"

using namespace std::string_view_literals;

namespace {

// A stream that records every call with its value and answers ReadText and Read with canned
// results.
class RecordingStream : public Dispatch {
public:
    explicit RecordingStream(std::vector<std::string>& log) : log_(log) {}
    bool putProperty(std::string_view name, const Variant& value) override {
        log_.push_back(std::string(name) + "=" + describe(value));
        return true;
    }
    bool getProperty(std::string_view name, const VariantArgs&, Variant&) override {
        log_.push_back("get " + std::string(name));
        return false;
    }
    bool callMethod(std::string_view name, const VariantArgs& args, Variant& result) override {
        std::string entry(name);
        for (const Variant& arg : args) entry += " " + describe(arg);
        log_.push_back(entry);
        if (name == "ReadText") result = Text("decoded");
        if (name == "Read") result = Bytes{7, 8};
        return true;
    }

private:
    static std::string describe(const Variant& value) {
        if (value.isBytes()) {
            std::string out = "bytes:";
            for (auto b : value.toBytes()) out += std::to_string(b) + ",";
            return out;
        }
        return value.toText();
    }
    std::vector<std::string>& log_;
};

class ConvertCharsetWithFake : public testing::Test {
protected:
    void SetUp() override {
        setAutomationFactory("Adodb.Stream", [this] {
            depthAtCreation = comInitializationDepth();
            return std::make_shared<RecordingStream>(log);
        });
    }
    void TearDown() override { setAutomationFactory("Adodb.Stream", nullptr); }

    std::vector<std::string> log;
    int depthAtCreation = -1;
};

TEST_F(ConvertCharsetWithFake, DrivesTheStreamInItsOrderWithTheGivenValues) {
    const int before = comInitializationDepth();
    EXPECT_EQ(convertCharset(Bytes{1, 2}, "Big5", "UTF-8", 3), (Bytes{7, 8}));
    EXPECT_EQ(depthAtCreation, before + 1) << "COM initialised before the stream is made";
    EXPECT_EQ(comInitializationDepth(), before);
    const std::vector<std::string> expected = {
        "Type=1", "Open", "Write bytes:1,2,", "Position=0", "Type=2", "Charset=Big5",
        "ReadText", "Close", "Open", "Charset=UTF-8", "WriteText decoded", "Position=0",
        "Type=1", "Position=3", "Read",
    };
    EXPECT_EQ(log, expected);
}

TEST_F(ConvertCharsetWithFake, EmptyNamesAreTheDefaultsAndNoPositionIsSetWithoutOne) {
    convertCharset(Bytes{1}, "", "");
    const std::vector<std::string> expected = {
        "Type=1", "Open", "Write bytes:1,", "Position=0", "Type=2", "Charset=UTF-8",
        "ReadText", "Close", "Open", "Charset=GBK", "WriteText decoded", "Position=0",
        "Type=1", "Read",
    };
    EXPECT_EQ(log, expected);
}

TEST(ConvertCharset, WithoutAStreamObjectGivesEmptyBytesAndKeepsComBalanced) {
    setAutomationFactory("Adodb.Stream", [] { return nullptr; });
    const int before = comInitializationDepth();
    EXPECT_EQ(convertCharset(bytesOf("abc")), Bytes{});
    EXPECT_EQ(comInitializationDepth(), before);
    setAutomationFactory("Adodb.Stream", nullptr);
}

TEST(ConvertCharset, ReEncodesThroughTheRealStream) {
    struct Case {
        std::string_view data;
        const char* from;
        const char* to;
        std::optional<int> readPosition;
        std::string_view out;
        const char* why;
    };
    const Case cases[] = {
        {"\xE6\xBC\x94\xE5\x91\x98", "UTF-8", "GBK", {}, "\xD1\xDD\xD4\xB1", "演员 in GBK"},
        {"\xE6\xBC\x94\xE5\x91\x98", "", "", {}, "\xD1\xDD\xD4\xB1", "empty names: the defaults"},
        {"\xE6\xBC\x94\xE5\x91\x98", "utf-8", "gbk", 0, "\xD1\xDD\xD4\xB1", "position 0: all"},
        {"\xE6\xBC\x94\xE5\x91\x98", "UTF-8", "GBK", 2, "\xD4\xB1", "from the third byte on"},
        {"\xE6\xBC\x94\xE5\x91\x98", "UTF-8", "GBK", 9, "", "beyond the end: nothing"},
        {"\xE6\xBC\x94\xE5\x91\x98", "UTF-8", "GBK", 2'000'000'000, "", "far beyond"},
        {"\xE6\xBC\x94\xE5\x91\x98", "UTF-8", "GBK", -1, "\xD1\xDD\xD4\xB1", "negative: refused"},
        {"{\"id\":1,\"s\":\"a b\"}", "", "", {}, "{\"id\":1,\"s\":\"a b\"}", "ASCII unchanged"},
        {"", "", "", {}, "", "empty stays empty"},
        {"\xEF\xBB\xBF{}", "", "", {}, "{}", "a leading byte-order mark is dropped"},
        {"a\xFF" "b", "UTF-8", "UTF-8", {}, "a\xEF\xBF\xBD" "b", "invalid bytes become U+FFFD"},
        {"a\xE6\xBC", "UTF-8", "GBK", {}, "a\x84\x31\xA4\x37\x84\x31\xA4\x37", "cut short: one each"},
        {"\xD1\xDD", "GBK", "Unicode", {}, "\x14\x6F", "to UTF-16LE, no byte-order mark"},
        {"\xBA\x74", "big5", "utf-8", {}, "\xE6\xBC\x94", "from Big5"},
        {"caf\xC3\xA9", "UTF-8", "ISO-8859-1", {}, "caf\xE9", "to Latin-1"},
        {"\xE6\xBC\x94", "UTF-8", "ISO-8859-1", {}, "?", "a character Latin-1 lacks"},
        {"a\0b"sv, "UTF-8", "GBK", {}, "a\0b"sv, "a zero byte goes through"},
        {"abc", "x-unknown", "GBK", {}, "", "unknown source charset"},
        {"abc", "UTF-8", "x-unknown", {}, "", "unknown target charset"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(convertCharset(bytesOf(c.data), c.from, c.to, c.readPosition), bytesOf(c.out));
    }
}

TEST(ConvertCharset, RoundTripsKeepEveryCharacter) {
    // Korean and emoji are not GBK characters; GB18030 holds them.
    const Bytes utf8 = bytesOf("\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 \xF0\x9F\x98\x80 \xE6\xBC\x94 caf\xC3\xA9");
    for (const char* middle : {"GBK", "GB18030", "Unicode", "UTF-16LE", "UTF-8"}) {
        SCOPED_TRACE(middle);
        EXPECT_EQ(convertCharset(convertCharset(utf8, "UTF-8", middle), middle, "UTF-8"), utf8);
    }
    const Bytes big5Text = bytesOf("\xE6\xBC\x94\xE5\x93\xA1 ok");  // 演員
    EXPECT_EQ(convertCharset(convertCharset(big5Text, "UTF-8", "Big5"), "Big5", "UTF-8"), big5Text);
    const Bytes latin = bytesOf("na\xC3\xAFve \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(convertCharset(convertCharset(latin, "", "ISO-8859-1"), "ISO-8859-1", ""),
              convertCharset(latin));
}

}  // namespace
