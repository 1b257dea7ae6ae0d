#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MultiByteToWideChar, AsksForTheSizeThenConvertsWholeTexts) {
    int units = MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, nullptr, 0);
    EXPECT_EQ(units, 3);  // h, é and the terminator
    std::u16string wide(3, u'x');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, wide.data(), 3), 3);
    EXPECT_EQ(wide, std::u16string(u"h\u00e9\0", 3));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, wide.data(), 2), 0);  // never cut short
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 2, nullptr, 0), 2);  // explicit length, no terminator
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "ab", -1, nullptr, 0), 0);
}

TEST(WideCharToMultiByte, WritesGb18030ForTheAnsiCodePage) {
    const char16_t wide[] = u"\u6f14\u5458";  // 演员
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr), 5);
    char out[5];
    EXPECT_EQ(WideCharToMultiByte(936, 0, wide, -1, out, 5, nullptr, nullptr), 5);
    EXPECT_EQ(std::string(out, 5), std::string("\xD1\xDD\xD4\xB1\0", 5));
}

}  // namespace
