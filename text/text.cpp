#include "text/text.h"

#include <cstdio>

namespace {

char foldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// `at` is a character boundary. Folding applies to one-byte characters of the text only, so a
// trail byte that happens to equal a letter compares exactly.
bool matchesAt(std::string_view text, std::size_t at, std::string_view what, bool ignoreCase) {
    if (what.size() > text.size() - at) return false;
    if (!ignoreCase) return text.compare(at, what.size(), what) == 0;
    for (std::size_t i = 0; i < what.size();) {
        std::size_t n = characterLength(text, at + i);
        if (n == 2) {
            if (i + 1 >= what.size() || text[at + i] != what[i] || text[at + i + 1] != what[i + 1])
                return false;
        } else if (foldAscii(text[at + i]) != foldAscii(what[i])) {
            return false;
        }
        i += n;
    }
    return true;
}

template <typename Change>
Text changeAsciiLetters(std::string_view text, Change change) {
    Text out(text);
    for (std::size_t i = 0; i < out.size(); i += characterLength(out, i)) out[i] = change(out[i]);
    return out;
}

bool isBlankAt(std::string_view text, std::size_t at, std::size_t& length) {
    if (text[at] == ' ') {
        length = 1;
        return true;
    }
    if (at + 1 < text.size() && text[at] == '\xA1' && text[at + 1] == '\xA1') {
        length = 2;
        return true;
    }
    return false;
}

}  // namespace

int findText(std::string_view text, std::string_view what, int start, bool ignoreCase) {
    if (what.empty()) return 0;
    std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
    // Walk from the first byte so that the start position itself falls on a character boundary
    // as the walk sees it.
    for (std::size_t i = 0; i < text.size(); i += characterLength(text, i)) {
        if (i >= from && matchesAt(text, i, what, ignoreCase)) return static_cast<int>(i + 1);
    }
    return 0;
}

int findLastText(std::string_view text, std::string_view what, bool ignoreCase) {
    if (what.empty()) return 0;
    int last = 0;
    for (std::size_t i = 0; i < text.size(); i += characterLength(text, i))
        if (matchesAt(text, i, what, ignoreCase)) last = static_cast<int>(i + 1);
    return last;
}

Text replaceText(std::string_view text, std::string_view what, std::string_view with,
                 bool ignoreCase) {
    if (what.empty()) return Text(text);
    Text out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (matchesAt(text, i, what, ignoreCase)) {
            out += with;
            i += what.size();
        } else {
            std::size_t n = characterLength(text, i);
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && matchesAt(a, 0, b, true);
}

Text toUpperAscii(std::string_view text) {
    return changeAsciiLetters(text, [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
}

Text toLowerAscii(std::string_view text) { return changeAsciiLetters(text, foldAscii); }

Text trimBlanks(std::string_view text) {
    std::size_t begin = 0, length = 0;
    while (begin < text.size() && isBlankAt(text, begin, length)) begin += length;
    std::size_t end = begin;  // end of the last character that is not a blank
    for (std::size_t i = begin; i < text.size();) {
        if (isBlankAt(text, i, length)) {
            i += length;
        } else {
            i += characterLength(text, i);
            end = i;
        }
    }
    return Text(text.substr(begin, end - begin));
}

Text removeBlanks(std::string_view text) {
    Text out;
    out.reserve(text.size());
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isBlankAt(text, i, length)) {
            i += length;
        } else {
            std::size_t n = characterLength(text, i);
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

TextArray splitText(std::string_view text, std::string_view separator) {
    TextArray pieces;
    if (text.empty()) return pieces;
    if (separator.empty()) return {Text(text)};
    std::size_t pieceStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (matchesAt(text, i, separator, false)) {
            pieces.emplace_back(text.substr(pieceStart, i - pieceStart));
            i += separator.size();
            pieceStart = i;
        } else {
            i += characterLength(text, i);
        }
    }
    if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
    return pieces;
}

Text joinTexts(const TextArray& pieces, std::string_view separator) {
    Text out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i) out += separator;
        out += pieces[i];
    }
    return out;
}

Text leftBytes(std::string_view text, long long n) {
    if (n <= 0) return {};
    return Text(text.substr(0, static_cast<std::size_t>(n)));
}

Text rightBytes(std::string_view text, long long n) {
    if (n <= 0) return {};
    std::size_t count = std::min(text.size(), static_cast<std::size_t>(n));
    return Text(text.substr(text.size() - count));
}

Text midBytes(std::string_view text, long long position, long long n) {
    if (n <= 0) return {};
    std::size_t from = position < 1 ? 0 : static_cast<std::size_t>(position - 1);
    if (from >= text.size()) return {};
    return Text(text.substr(from, static_cast<std::size_t>(n)));
}

Text formatInteger(long long value) { return std::to_string(value); }

Text formatNumber(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.13g", value);
    return buffer;
}
