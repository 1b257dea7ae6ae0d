#include "text/url_encode.h"

#include <string>

#include "platform/codepage.h"

namespace {

bool isUnreserved(unsigned char c) {
    return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
           (c >= 'a' && c <= 'z');
}

}  // namespace

Text urlEncode(const Text& text, bool keepUnreserved, bool asUtf8) {
    if (text.empty()) return {};
    const Text source = asUtf8 ? ansiToUtf8(text) : text;
    static constexpr char hex[] = "0123456789ABCDEF";
    Text out;
    out.reserve(source.size() * 3);
    for (char ch : source) {
        auto c = static_cast<unsigned char>(ch);
        if (keepUnreserved && isUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

Bytes toWide(const Text& text, int codePage) {
    const auto cp = static_cast<unsigned>(codePage);
    int units = MultiByteToWideChar(cp, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) return {};
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(cp, 0, text.c_str(), -1, wide.data(), units);
    const auto* p = reinterpret_cast<const std::uint8_t*>(wide.data());
    return Bytes(p, p + wide.size() * 2);
}

Text fromWide(const Bytes& wide, int codePage) {
    // Bytes may lack the terminator or end in an odd byte; read whole units up to a zero unit.
    std::u16string units;
    for (std::size_t i = 0; i + 1 < wide.size(); i += 2) {
        char16_t unit = static_cast<char16_t>(wide[i] | (wide[i + 1] << 8));
        if (unit == 0) break;
        units += unit;
    }
    const auto cp = static_cast<unsigned>(codePage);
    int size = WideCharToMultiByte(cp, 0, units.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string buffer(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(cp, 0, units.c_str(), -1, buffer.data(), size, nullptr, nullptr);
    return Text(buffer.c_str());
}

Text ansiToUtf8(const Text& text) { return fromWide(toWide(text, 936), 65001); }

Text utf8ToAnsi(std::string_view utf8) { return fromWide(toWide(Text(utf8), 65001), 936); }
