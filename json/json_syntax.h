#pragma once
// Whether bytes are one well-formed JSON text (RFC 8259): a value with optional white space
// around it; a UTF-8 byte-order mark in front is allowed. Bytes of 0x80 and above are accepted
// inside strings as they stand. Nesting deeper than kMaxJsonDepth counts as malformed, so that
// a hostile answer cannot exhaust the stack of whoever reads it next.
#include <string_view>

inline constexpr int kMaxJsonDepth = 512;

bool isWellFormedJson(std::string_view text);
