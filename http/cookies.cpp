#include "http/cookies.h"

#include <algorithm>

#include "text/text.h"
#include "text/text_extract.h"

namespace {

// Every item followed by the separator, then one separator taken off the end.
Text joinDroppingLastSeparator(const TextArray& items, const Text& separator) {
    Text out;
    for (const Text& item : items) out += item + separator;
    return leftBytes(out, static_cast<long long>(out.size() - std::min(out.size(), separator.size())));
}

}  // namespace

Text collectSetCookies(const Text& rawHeaders) {
    TextArray entries;
    for (const Text& line : splitText(rawHeaders, "\r\n")) {
        if (textLeftOf(line, ": ") != "Set-Cookie") continue;
        if (containsText(line, ";"))
            entries.push_back(trimBlanks(textBetween(line, "Set-Cookie:", ";")));
        else
            entries.push_back(trimBlanks(replaceText(line, "Set-Cookie:", "", true)));
    }
    return joinDroppingLastSeparator(entries, "; ");
}

Text cookieName(const Text& entry) {
    int equals = findText(entry, "=");
    return trimBlanks(equals ? entry.substr(0, static_cast<std::size_t>(equals - 1)) : entry);
}

Text mergeCookies(const Text& sentCookies, const Text& receivedCookies) {
    TextArray merged = splitText(removeBlanks(receivedCookies), ";");
    for (const Text& sent : splitText(removeBlanks(sentCookies), ";")) {
        const Text name = cookieName(sent);
        bool named = std::any_of(merged.begin(), merged.end(),
                                 [&name](const Text& entry) { return cookieName(entry) == name; });
        if (!named) merged.push_back(sent);
    }
    std::erase_if(merged, [](const Text& entry) { return rightBytes(entry, 8) == "=deleted"; });
    return removeDuplicateItems(joinDroppingLastSeparator(merged, "; "), "; ");
}

Text removeDuplicateItems(const Text& text, const Text& separator) {
    TextArray kept;
    for (Text& item : splitText(text, separator))
        if (std::find(kept.begin(), kept.end(), item) == kept.end()) kept.push_back(std::move(item));
    return joinDroppingLastSeparator(kept, separator);
}
