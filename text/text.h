#pragma once
// The text conventions every operation on Text follows.
//
// Positions are 1-based byte positions, lengths count bytes. Searches walk the text one character
// at a time, a byte of 0x80 or above taking the byte after it along (a lead byte at the very end
// stands alone), and try a match only where a character begins. Ignoring case folds ASCII A-Z and
// a-z only. A blank is the ASCII space or the full-width space A1 A1. An empty search text is
// never found. All functions accept any bytes, zero bytes included, and never read out of bounds.
#include <string_view>

#include "platform/text_types.h"

// Length of the character that starts at `index` (1 or 2 bytes; 1 for a lone lead byte at the end).
inline std::size_t characterLength(std::string_view text, std::size_t index) {
    return static_cast<unsigned char>(text[index]) >= 0x80 && index + 1 < text.size() ? 2 : 1;
}

// Position of the first `what` at or after `start` (below 1 means 1), or 0 when there is none.
int findText(std::string_view text, std::string_view what, int start = 1, bool ignoreCase = false);
// Position of the last `what` that begins on a character, or 0.
int findLastText(std::string_view text, std::string_view what, bool ignoreCase = false);
inline bool containsText(std::string_view text, std::string_view what, bool ignoreCase = false) {
    return findText(text, what, 1, ignoreCase) != 0;
}
// Every occurrence of `what` (found character by character, left to right) replaced by `with`.
Text replaceText(std::string_view text, std::string_view what, std::string_view with,
                 bool ignoreCase = false);

bool equalsIgnoreCase(std::string_view a, std::string_view b);
Text toUpperAscii(std::string_view text);
Text toLowerAscii(std::string_view text);

Text trimBlanks(std::string_view text);
Text removeBlanks(std::string_view text);

// The pieces between separators; see the conventions: an empty text gives no pieces, and no
// piece follows a separator that ends the text. An empty separator gives the whole text.
TextArray splitText(std::string_view text, std::string_view separator);
Text joinTexts(const TextArray& pieces, std::string_view separator = {});

// First, last and middle pieces; n is clipped to what is there, n <= 0 gives "".
Text leftBytes(std::string_view text, long long n);
Text rightBytes(std::string_view text, long long n);
Text midBytes(std::string_view text, long long position, long long n);

// Numbers as the system writes them: integers in plain decimal, doubles as "%.13g".
Text formatInteger(long long value);
Text formatNumber(double value);
