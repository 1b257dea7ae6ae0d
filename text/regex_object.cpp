#include "text/regex_object.h"

#include <cmath>

#include "platform/com.h"
#include "text/text.h"
#include "text/text_extract.h"
#include "text/url_encode.h"

RegexObject::RegexObject() { CoInitialize(nullptr); }

RegexObject::~RegexObject() {
    // The objects go before the apartment they live in.
    engine_.release();
    matches_.release();
    subject_ = Variant();
    CoUninitialize();
}

bool RegexObject::execute(const Text& pattern, const Text& subject, bool caseSensitive,
                          bool multiline, bool global, bool quoteMarker) {
    engine_.release();
    matches_.release();
    engine_.create("VBScript.RegExp");
    engine_.writeProperty("IgnoreCase", !caseSensitive);
    engine_.writeProperty("Multiline", multiline);
    // Fails on this engine as on the classic one: the dot never matches a line feed.
    engine_.writeProperty("Singleline", true);
    engine_.writeProperty("Global", global);
    engine_.writeProperty("Pattern", quoteMarker ? replaceText(pattern, kQuotePlaceholder, "\"")
                                                 : pattern);
    subject_ = Text(subject.c_str());
    matches_ = engine_.callMethod("Execute", {subject_}).toObject();
    return !matches_.isEmpty();
}

Text RegexObject::currentPattern() { return engine_.readProperty("Pattern").toText(); }

Text RegexObject::replace(const Text& replacement) {
    return engine_.callMethod("Replace", {subject_, replacement}).toText();
}

int RegexObject::matchCount() {
    return static_cast<int>(matches_.readProperty("Count").toNumber());
}

Text RegexObject::matchText(int index, int* position) {
    AutomationObject found = match(index);
    Text text = found.readProperty("Value").toText();
    if (position) {
        // The match's own start: the first place of its text at or after that start.
        *position = found.isEmpty() ? -1 : bytePosition(found.readProperty("FirstIndex").toNumber());
    }
    return text;
}

Text RegexObject::subMatchText(int matchIndex, int subIndex, int* position) {
    AutomationObject found = match(matchIndex);
    const Variant subMatch =
        found.readProperty("SubMatches").toObject().readProperty("Item", {subIndex - 1});
    Text text = subMatch.toText();
    if (position) {
        // An empty variant: no such sub-match, or a group that took no part in the match.
        if (subMatch.isEmpty()) {
            *position = -1;
        } else {
            const int start = bytePosition(found.readProperty("FirstIndex").toNumber());
            const Text subject = fromWide(toWide(subject_.toText(), 936), 936);
            const int place = text.empty() ? start + 1 : findText(subject, text, start + 1);
            *position = place - 1;
        }
    }
    return text;
}

int RegexObject::subMatchCount() {
    return static_cast<int>(
        match(1).readProperty("SubMatches").toObject().readProperty("Count").toNumber());
}

AutomationObject RegexObject::match(int index) {
    return matches_.readProperty("Item", {index - 1}).toObject();
}

// The engine counts UTF-16 units; the byte position is the length of the subject's first
// `firstIndex` units written back as Text.
int RegexObject::bytePosition(double firstIndex) const {
    if (!(firstIndex > 0)) return 0;
    Bytes wide = toWide(subject_.toText(), 936);
    const auto units = static_cast<std::size_t>(std::llround(firstIndex));
    if (units * 2 < wide.size()) wide.resize(units * 2);
    return static_cast<int>(fromWide(wide, 936).size());
}
