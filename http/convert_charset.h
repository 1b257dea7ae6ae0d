#pragma once
// Re-encoding bytes from one charset into another through the Adodb.Stream object: the bytes
// are read back as text in `fromCharset` and written again as text in `toCharset`.
//
// Empty charset names mean "UTF-8" (from) and "GBK" (to); other names go to the stream as given
// (case ignored there). The text in between is a Text (GB18030), which holds every character, so
// nothing a target charset can hold is lost. With `readPosition` the result starts at that byte
// of the re-encoded data (empty beyond its end; a negative one is refused by the stream, so the
// read starts at 0).
//
// Empty when the stream object cannot be made, when a charset is unknown, and for empty data;
// never throws. Each call initialises COM on the calling thread for its own duration.
#include <optional>

#include "platform/text_types.h"

Bytes convertCharset(const Bytes& data, const Text& fromCharset = {}, const Text& toCharset = {},
                     std::optional<int> readPosition = {});
