#include "json/json_document.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "json/json_prelude.h"
#include "platform/com.h"
#include "text/text.h"
#include "text/text_extract.h"

namespace {

constexpr std::string_view kScriptEngine = "MSScriptControl.ScriptControl";

bool startsWithBracket(const Text& path) { return !path.empty() && path[0] == '['; }

// A path that begins with "[" is joined without the dot under every rule: "da.[0]" is not
// script, and the caller means the element.
Text joined(const Text& name, const Text& path) {
    return startsWithBracket(path) ? name + path : name + "." + path;
}

// The optional rules: the document itself for an empty path.
Text target(const Text& name, const Text& path) {
    return path.empty() ? name : joined(name, path);
}

Text quoted(const Text& value, bool isExpression) {
    return isExpression ? value : "'" + value + "'";
}

// atol's reading: leading white space and a sign, digits up to the first other character.
int leadingInteger(const Text& text) {
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

JsonDocument::JsonDocument() { init(); }

JsonDocument::JsonDocument(NoEngine) {}

JsonDocument::~JsonDocument() { releaseAll(); }

JsonDocument::JsonDocument(JsonDocument&& other) noexcept
    : variableName(other.variableName), engine(other.engine.copy()), holdsCom(other.holdsCom) {
    other.engine.release();
    other.holdsCom = false;
}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept {
    if (this != &other) {
        releaseAll();
        variableName = other.variableName;
        engine = other.engine.copy();
        holdsCom = other.holdsCom;
        other.engine.release();
        other.holdsCom = false;
    }
    return *this;
}

void JsonDocument::releaseAll() {
    engine.release();
    // COM stays initialised for as long as the document may use its engine.
    if (holdsCom) CoUninitialize();
    holdsCom = false;
}

JsonDocument JsonDocument::copy() const {
    JsonDocument other{NoEngine{}};
    other.variableName = variableName;
    other.engine = engine.copy();
    // The copy may outlive this document and still use the engine.
    CoInitialize(nullptr);
    other.holdsCom = true;
    return other;
}

void JsonDocument::init() {
    // One initialisation per document, however often it starts a new engine.
    if (!holdsCom) {
        CoInitialize(nullptr);
        holdsCom = true;
    }
    engine.create(kScriptEngine);
    engine.writeProperty("Language", "JavaScript");
    engine.callMethod("AddCode", {Text(jsonPrelude())});
    evaluate("var " + variableName + "={}");
}

bool JsonDocument::parse(const Text& text) {
    if (!engine.isEmpty()) {
        engine.release();
        init();
    }
    if (engine.isEmpty()) return false;
    evaluate("var " + variableName + "=null");
    engine.callMethod("AddCode", {"var " + variableName + "=eval(" + text + ")"});
    return evaluate("null !=" + variableName).toBoolean();
}

Text JsonDocument::toJsonText() { return evaluate("JSON.stringify(" + variableName + ")").toText(); }

void JsonDocument::setProperty(const Text& path, const Text& value, bool isExpression) {
    if (isExpression)
        evaluate(joined(variableName, path) + "= eval(" + (value.empty() ? "{}" : value) + ")");
    else
        evaluate(joined(variableName, path) + "='" + value + "'");
}

void JsonDocument::setPropertyJson(const Text& path, const Text& value) {
    evaluate(joined(variableName, path) + "= eval(" + value + ")");
}

void JsonDocument::setNumber(const Text& path, double value) {
    evaluate(joined(variableName, path) + "=" + formatNumber(value));
}

double JsonDocument::getNumber(const Text& path) {
    return evaluate(joined(variableName, path)).toNumber();
}

Text JsonDocument::getPropertyJson(const Text& path) {
    return evaluate("JSON.stringify(" + joined(variableName, path) + ")").toText();
}

Text JsonDocument::getProperty(const Text& path, bool asJson) {
    if (asJson) return evaluate("JSON.stringify(" + joined(variableName, path) + ")").toText();
    if (engine.isEmpty()) return {};
    if (getType(path) == JsonNumber) return formatNumber(getNumber(path));
    return evaluate(joined(variableName, path)).toText();
}

JsonDocument JsonDocument::getObject(const Text& path) {
    JsonDocument temporary;
    temporary.parse(evaluate("JSON.stringify(" + joined(variableName, path) + ")").toText());
    return temporary.copy();
}

int JsonDocument::getMemberCount(const Text& path) {
    double count =
        evaluate("get__count(" + target(variableName, path) + ")").toNumber();
    if (std::isnan(count)) return 0;
    if (count >= INT_MAX) return INT_MAX;
    if (count <= INT_MIN) return INT_MIN;
    return static_cast<int>(count);
}

void JsonDocument::appendToArray(const Text& value, const Text& path, bool isExpression) {
    Text list = target(variableName, path);
    evaluate("if (Object.prototype.toString.call(" + list + ") != '[object Array]') { " + list +
             "=new Array();} " + list + ".push(" + quoted(value, isExpression) + ")");
}

JsonDocument JsonDocument::getElementObject(int index, const Text& path) {
    JsonDocument temporary;
    temporary.parse(evaluate("JSON.stringify(" + target(variableName, path) + "[" +
                             formatInteger(index) + "])")
                        .toText());
    return temporary.copy();
}

Text JsonDocument::getElement(int index, const Text& path, bool asJson) {
    Text element = target(variableName, path) + "[" + formatInteger(index) + "]";
    if (asJson) return evaluate("JSON.stringify(" + element + ")").toText();
    return evaluate(element).toText();
}

void JsonDocument::setElement(int index, const Text& value, bool isExpression) {
    evaluate(variableName + "[" + formatInteger(index) + "]=" + quoted(value, isExpression));
}

void JsonDocument::removeElement(int index) {
    evaluate(variableName + ".splice(" + formatInteger(index) + ",1)");
}

void JsonDocument::removeAtPath(const Text& path) {
    JsonDocument temporary;
    Text parent = textLeftOf(path, "[");
    int index = leadingInteger(textBetween(path, "[", "]"));
    temporary.parse(getProperty(parent, true));
    temporary.removeElement(index);
    setPropertyJson(parent, temporary.toJsonText());
}

void JsonDocument::resetToType(JsonValueType type) {
    if (type == JsonNull || type == JsonObject)
        evaluate("var " + variableName + "={}");
    else if (type == JsonArray)
        evaluate("var " + variableName + "=new Array()");
}

void JsonDocument::setRootValue(const Text& value, bool isExpression) {
    evaluate(variableName + "=" + quoted(value, isExpression));
}

bool JsonDocument::hasProperty(const Text& path) {
    return evaluate(joined(variableName, path) + " !=null").toBoolean();
}

int JsonDocument::getMemberNames(TextArray& names, const Text& path) {
    Text list = evaluate("var ary=''; for (var key in " + target(variableName, path) +
                         ") {ary=ary+ key+','; }")
                    .toText();
    // The two names the prelude puts on every object's prototype.
    list = replaceText(list, "toJSONString,", "");
    list = replaceText(list, "parseJSON,", "");
    evaluate("ary=null");
    names = splitText(list, ",");
    return static_cast<int>(names.size());
}

JsonValueType JsonDocument::getType(const Text& path) {
    Text value = target(variableName, path);
    if (evaluate(value + "==null").toBoolean()) return JsonNull;
    Text kind = evaluate("typeof (" + value + ")").toText();
    if (kind == "string") return JsonString;
    if (kind == "number") return JsonNumber;
    if (kind == "boolean") return JsonBoolean;
    if (kind == "object") {
        // The whole document's text for the empty path, so that an array document is one.
        Text json = path.empty() ? toJsonText() : getProperty(path, true);
        return startsWithBracket(json) ? JsonArray : JsonObject;
    }
    return JsonOther;
}

void JsonDocument::clearDocument() { evaluate(variableName + "={}"); }

Variant JsonDocument::evaluate(const Text& code) { return engine.callMethod("Eval", {code}); }
