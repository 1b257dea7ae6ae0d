#pragma once
// The system's two value types for text and data.
//
// Text: bytes in the system's ANSI code page, which here is GB18030 (byte-identical to GBK for
// every GBK character, and able to hold the rest of Unicode). A Text may also carry UTF-8 bytes
// where an operation says so. The empty string stands for both null and "".
// Bytes: a byte array with an explicit length; it may hold zero bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;
using TextArray = std::vector<Text>;

inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

// The bytes up to the first zero byte (all of them when there is none), as Text.
inline Text textOf(const Bytes& bytes) {
    std::size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0) ++n;
    return Text(reinterpret_cast<const char*>(bytes.data()), n);
}
