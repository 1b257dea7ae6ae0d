#pragma once
// Cutting pieces out of a Text by marker texts. Searches follow the text conventions.
// An empty marker is never found, so it gives the empty text.
#include "platform/text_types.h"

// The text between the first leftMarker at or after startPosition and the first rightMarker
// after it; "" when either is missing. In both markers "#引号" (GBK 23 D2 FD BA C5) stands for
// a double quote.
Text textBetween(const Text& text, const Text& leftMarker, const Text& rightMarker,
                 int startPosition = 0, bool ignoreCase = false);

// Everything before the first marker at or after startPosition, counted from the text's
// beginning; "" when the marker is missing.
Text textLeftOf(const Text& text, const Text& marker, int startPosition = 0,
                bool ignoreCase = false);

// "#引号" in GBK, the quote placeholder of markers and patterns.
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";
