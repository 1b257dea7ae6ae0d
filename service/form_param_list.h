#pragma once
// An ordered list of name/value pairs that renders itself as a form body, header lines or a flat
// JSON object. Names compare byte for byte; lookups take the first pair of a name. Duplicate and
// empty names are allowed. Belongs to the thread that uses it.
#include "platform/text_types.h"

class FormParamList {
public:
    FormParamList() = default;
    ~FormParamList() = default;
    FormParamList copy() const { return *this; }

    // With toUtf8 the value is stored as its UTF-8 bytes.
    void add(const Text& name, const Text& value, bool toUtf8 = false);
    // Adds the pairs of "a=1&b=2": a name ends at a piece's first "=", its value starts after the
    // last one.
    void parseQuery(const Text& text, bool toUtf8 = false);
    Text get(const Text& name) const;
    void set(const Text& name, const Text& value);
    // "name=value&..."; with encodeValues the values are percent-encoded, unreserved bytes kept.
    Text toFormText(bool encodeValues = false) const;
    // "name:value" lines joined by CR LF.
    Text toHeaderText(bool encodeValues = false) const;
    void getNames(TextArray& out) const;
    void getValues(TextArray& out) const;
    void clear();
    void remove(const Text& name);
    // {"name":"value",...}; only double quotes in values are escaped.
    Text toJson() const;
    static Text escapeQuotes(const Text& text);
    // Removes the marker once from the end, then once from the start; writes the result back to
    // `text` and returns a copy of it.
    static Text trimMarker(Text& text, const Text& marker);

private:
    Text render(std::string_view separator, std::string_view lineEnd, bool encodeValues) const;

    TextArray names;
    TextArray values;
};
