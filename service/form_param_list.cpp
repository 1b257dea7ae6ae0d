#include "service/form_param_list.h"

#include <algorithm>

#include "text/text.h"
#include "text/text_extract.h"
#include "text/url_encode.h"

namespace {

// The text after the last marker; "" when the marker does not occur.
Text textRightOfLast(const Text& text, const Text& marker) {
    int found = findLastText(text, marker);
    if (found == 0) return {};
    return text.substr(static_cast<std::size_t>(found - 1) + marker.size());
}

}  // namespace

void FormParamList::add(const Text& name, const Text& value, bool toUtf8) {
    names.push_back(name);
    values.push_back(toUtf8 ? ansiToUtf8(value) : value);
}

void FormParamList::parseQuery(const Text& text, bool toUtf8) {
    for (const Text& piece : splitText(text, "&")) add(textLeftOf(piece, "="), textRightOfLast(piece, "="), toUtf8);
}

Text FormParamList::get(const Text& name) const {
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? Text() : values[static_cast<std::size_t>(it - names.begin())];
}

void FormParamList::set(const Text& name, const Text& value) {
    auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end())
        add(name, value);
    else
        values[static_cast<std::size_t>(it - names.begin())] = value;
}

Text FormParamList::render(std::string_view separator, std::string_view lineEnd,
                           bool encodeValues) const {
    Text out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        out += names[i];
        out += separator;
        out += encodeValues ? urlEncode(values[i], true, false) : values[i];
        out += lineEnd;
    }
    return leftBytes(out, static_cast<long long>(out.size()) - static_cast<long long>(lineEnd.size()));
}

Text FormParamList::toFormText(bool encodeValues) const { return render("=", "&", encodeValues); }

Text FormParamList::toHeaderText(bool encodeValues) const {
    return render(":", "\r\n", encodeValues);
}

void FormParamList::getNames(TextArray& out) const { out = names; }

void FormParamList::getValues(TextArray& out) const { out = values; }

void FormParamList::clear() {
    names.clear();
    values.clear();
}

void FormParamList::remove(const Text& name) {
    auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end()) return;
    auto index = it - names.begin();
    names.erase(it);
    values.erase(values.begin() + index);
}

Text FormParamList::toJson() const {
    Text t = "{";
    for (std::size_t i = 0; i < names.size(); ++i)
        t += "\"" + names[i] + "\":\"" + escapeQuotes(values[i]) + "\",";
    return trimMarker(t, ",") + "}";
}

Text FormParamList::escapeQuotes(const Text& text) { return replaceText(text, "\"", "\\\""); }

Text FormParamList::trimMarker(Text& text, const Text& marker) {
    if (!marker.empty()) {
        if (text.ends_with(marker)) text.erase(text.size() - marker.size());
        if (text.starts_with(marker)) text.erase(0, marker.size());
    }
    return text;
}
