#pragma once
// Percent-encoding and the conversions between Text (GB18030) and UTF-8 through UTF-16.
// Malformed input bytes become U+FFFD (in GB18030: 84 31 A4 37); nothing is ever cut short
// except at a zero byte, which ends a Text.
#include "platform/text_types.h"

// Every byte becomes "%XX" (upper-case hex), except, with keepUnreserved, - . 0-9 A-Z a-z.
// With asUtf8 the text's UTF-8 form is encoded instead of its own bytes.
Text urlEncode(const Text& text, bool keepUnreserved = false, bool asUtf8 = false);

// The UTF-8 bytes of a Text, held as a Text.
Text ansiToUtf8(const Text& text);
// The Text of UTF-8 bytes; the inverse of ansiToUtf8.
Text utf8ToAnsi(std::string_view utf8);

// UTF-16LE of a zero-terminated text read in codePage, terminating zero unit included.
Bytes toWide(const Text& text, int codePage = 65001);
// The text of UTF-16LE units (up to the first zero unit) in codePage (0: the ANSI code page),
// up to its first zero byte.
Text fromWide(const Bytes& wide, int codePage = 0);
