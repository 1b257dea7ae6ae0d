#pragma once
// The regular-expression object: one execute() sets up a VBScript.RegExp engine with a pattern
// and options and runs it over a subject; the other operations read the matches, their
// sub-matches and positions, or replace matches in the subject.
//
// Construction calls CoInitialize on the calling thread and destruction CoUninitialize, so an
// object must be destroyed on the thread that made it and used only there. Nothing raises:
// before the first execute(), after a failed one, or with an index beyond the matches or
// sub-matches, the reads give empty text, 0 or false. Indexes count from 1.
//
// Positions count bytes of the subject from 0 (the engine counts UTF-16 units; they are turned
// into byte positions here). A position output is written only when the caller passes one; it
// is -1 when there is no such match or sub-match, or the group took no part in the match. A
// malformed byte in the subject is read as U+FFFD and counted as that character's four bytes.
#include "platform/automation.h"
#include "platform/text_types.h"

class RegexObject {
public:
    RegexObject();

    ~RegexObject();
    RegexObject(const RegexObject&) = delete;
    RegexObject& operator=(const RegexObject&) = delete;

    // True when the engine produced a match collection; a valid pattern that matches nothing
    // gives true with matchCount() 0. False for an invalid pattern, a pattern that hits the
    // engine's backtracking limit, or when no engine can be made. With quoteMarker, every
    // "#引号" in the pattern stands for a double quote. The subject ends at its first zero byte.
    bool execute(const Text& pattern, const Text& subject, bool caseSensitive = false,
                 bool multiline = true, bool global = true, bool quoteMarker = false);
    // The engine's pattern (after the quote-marker step); empty without an engine.
    Text currentPattern();
    // The subject with the matches replaced ($1..$99, $&, $`, $', $$ in `replacement`); the
    // subject stays as it was. Empty without an engine or when the engine fails.
    Text replace(const Text& replacement = {});
    int matchCount();
    // The text of match `index`; `position` gets its start.
    Text matchText(int index, int* position = nullptr);
    // The text of sub-match `subIndex` of match `matchIndex`; `position` gets the first place at
    // or after the match's start where that text occurs (the sub-match's own place unless the
    // same text comes earlier within the match).
    Text subMatchText(int matchIndex, int subIndex, int* position = nullptr);
    // The number of sub-matches (capturing groups) of the first match; 0 without a match.
    int subMatchCount();

private:
    AutomationObject match(int index);
    int bytePosition(double firstIndex) const;

    AutomationObject engine_;
    AutomationObject matches_;
    Variant subject_;
};
