#include "text/text_extract.h"

#include "text/text.h"

Text textBetween(const Text& text, const Text& leftMarker, const Text& rightMarker,
                 int startPosition, bool ignoreCase) {
    const Text left = replaceText(leftMarker, kQuotePlaceholder, "\"");
    const Text right = replaceText(rightMarker, kQuotePlaceholder, "\"");
    int found = findText(text, left, startPosition, ignoreCase);
    if (found == 0) return {};
    int pieceStart = found + static_cast<int>(left.size());
    int end = findText(text, right, pieceStart, ignoreCase);
    if (end == 0) return {};
    return text.substr(static_cast<std::size_t>(pieceStart - 1),
                       static_cast<std::size_t>(end - pieceStart));
}

Text textLeftOf(const Text& text, const Text& marker, int startPosition, bool ignoreCase) {
    int found = findText(text, marker, startPosition < 1 ? 1 : startPosition, ignoreCase);
    if (found == 0) return {};
    return text.substr(0, static_cast<std::size_t>(found - 1));
}
