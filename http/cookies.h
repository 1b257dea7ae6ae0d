#pragma once
// Cookie texts: entries "name=value" joined by "; ". Callers may join by ";" with or without
// blanks. Pure functions; any thread.
#include "platform/text_types.h"

// The pairs of the block's "Set-Cookie" lines (name spelled exactly so), attributes left out,
// in the order of the lines; nothing is dropped or merged.
Text collectSetCookies(const Text& rawHeaders);
// The received entries first, then the sent ones the answer did not name; "=deleted" entries
// dropped, blanks removed, repeated items left out.
Text mergeCookies(const Text& sentCookies, const Text& receivedCookies);
// The trimmed text before an entry's first "=" (the whole trimmed entry without one).
Text cookieName(const Text& entry);
// The text with every item equal to an earlier one left out.
Text removeDuplicateItems(const Text& text, const Text& separator);
