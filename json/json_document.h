#pragma once
// A JSON value held in a private script engine ("MSScriptControl.ScriptControl") and reached by
// member paths such as "result.songs[0].name". Every operation composes a short script text from
// the variable name, the path and fixed pieces, and hands it to the engine; nothing of the JSON
// is parsed or kept on the native side.
//
// Paths and values go into the script verbatim: nothing is quoted, escaped or checked, so a
// path or value that is not valid script makes the operation do nothing or give its empty
// result. The three ways of joining the variable name N and a path P:
//   bracket-aware      N + P when P begins with "[", else N + "." + P   (getProperty, getObject,
//                      and getMemberCount / getMemberNames, which use N alone for an empty P)
//   dotted, optional   N for an empty P, else as bracket-aware          (getType,
//                      appendToArray, getElementObject, getElement)
//   dotted             as bracket-aware, but an empty P gives the invalid "N."  (getNumber,
//                      setProperty, setPropertyJson, setNumber, getPropertyJson, hasProperty)
//
// Nothing is reported: a failure is the empty result of the asked kind ("" , 0, false, an empty
// list). When the engine cannot be made, every operation gives its empty result and getType -1.
//
// A document belongs to the thread that made it. It holds one COM initialisation of that thread
// from construction (or copy) to destruction. It moves but does not copy: copy() is the explicit
// way to a second document on the same engine, which lives until the last of them is destroyed.
#include "platform/automation.h"
#include "platform/text_types.h"

// The classes getType gives and resetToType takes. 3 is not used.
enum JsonValueType : int {
    JsonNull = 0,  // null, undefined or missing
    JsonBoolean = 1,
    JsonNumber = 2,
    JsonObject = 4,
    JsonArray = 5,
    JsonString = 6,
    JsonOther = -1,  // functions and the like, and any classification that failed
};

class JsonDocument {
public:
    // A fresh engine holding an empty object.
    JsonDocument();
    ~JsonDocument();
    JsonDocument(JsonDocument&& other) noexcept;
    JsonDocument& operator=(JsonDocument&& other) noexcept;
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;

    // A second document on the same engine (no new engine, no init).
    JsonDocument copy() const;
    // A fresh engine holding an empty object; when a new engine cannot be made, the current one
    // (if any) is reset to an empty object instead.
    void init();
    // Evaluates `text` as a script expression (a JSON text is one) in a fresh engine and keeps
    // its value. True when that value is neither null nor undefined; a text that does not
    // compile or throws leaves the document null.
    bool parse(const Text& text);
    // JSON text of the whole document, without spaces.
    Text toJsonText();
    // Sets member P to V as a single-quoted script string, or to eval(V) (an empty V: {}).
    void setProperty(const Text& path, const Text& value, bool isExpression = false);
    void setPropertyJson(const Text& path, const Text& value);
    // Sets member P to the number written as "%.13g"; infinities and NaN change nothing.
    void setNumber(const Text& path, double value);
    // 0 when the member is missing or does not convert.
    double getNumber(const Text& path);
    Text getPropertyJson(const Text& path);
    // Member P as text: numbers as "%.13g", strings as they are, null and missing as "".
    // With asJson, its JSON text.
    Text getProperty(const Text& path, bool asJson = false);
    // A new document (with its own engine) holding a copy of member P made through JSON text.
    JsonDocument getObject(const Text& path);
    // Members of an object, elements of an array; below 1 (-2 or 0) when there are none.
    int getMemberCount(const Text& path = {});
    // Appends V (a quoted string, or evaluated) to array member P, which becomes an empty array
    // first when it is not one.
    void appendToArray(const Text& value, const Text& path = {}, bool isExpression = false);
    JsonDocument getElementObject(int index, const Text& path = {});
    Text getElement(int index, const Text& path = {}, bool asJson = false);
    // Element operations on the document itself, which is expected to be an array. A negative
    // index of removeElement counts from the end.
    void setElement(int index, const Text& value, bool isExpression = false);
    void removeElement(int index);
    // Removes the element a path "parent[index]..." names: only the first bracket counts.
    void removeAtPath(const Text& path);
    // JsonNull and JsonObject give {}, JsonArray []; other codes change nothing.
    void resetToType(JsonValueType type);
    void setRootValue(const Text& value, bool isExpression = false);
    // True when member P exists and is neither null nor undefined.
    bool hasProperty(const Text& path);
    // Replaces `names` with the names a for-in loop over P yields (indexes for an array) and
    // returns their number. A name holding "," comes out as two.
    int getMemberNames(TextArray& names, const Text& path = {});
    JsonValueType getType(const Text& path = {});
    // Makes the document an empty object.
    void clearDocument();

private:
    struct NoEngine {};
    explicit JsonDocument(NoEngine);
    Variant evaluate(const Text& code);
    void releaseAll();

    Text variableName = "da";
    AutomationObject engine;
    bool holdsCom = false;
};
