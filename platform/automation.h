#pragma once
// Automation objects reached by ProgID ("MSScriptControl.ScriptControl", "Adodb.Stream",
// "VBScript.RegExp"), with COM's conventions: member names ignore case, and a failed read,
// write or call yields the empty value of the asked kind and raises nothing.
//
// An object belongs to the thread that created it: a call from any other thread fails.
// Text crosses as the system's Text (GB18030); backends convert to and from Unicode losslessly.
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "platform/text_types.h"

class AutomationObject;
class Dispatch;

// A VARIANT: empty, Text, number, boolean, Bytes or an object handle.
class Variant {
public:
    Variant() = default;
    Variant(Text text) : value_(std::move(text)) {}
    Variant(const char* text) : value_(Text(text)) {}
    Variant(double number) : value_(number) {}
    Variant(int number) : value_(static_cast<double>(number)) {}
    Variant(bool boolean) : value_(boolean) {}
    Variant(Bytes bytes) : value_(std::move(bytes)) {}
    Variant(std::shared_ptr<Dispatch> object) : value_(std::move(object)) {}

    bool isEmpty() const { return std::holds_alternative<std::monostate>(value_); }
    bool isText() const { return std::holds_alternative<Text>(value_); }
    bool isNumber() const { return std::holds_alternative<double>(value_); }
    bool isBoolean() const { return std::holds_alternative<bool>(value_); }
    bool isBytes() const { return std::holds_alternative<Bytes>(value_); }
    bool isObject() const { return std::holds_alternative<std::shared_ptr<Dispatch>>(value_); }

    // Conversions as VariantChangeType makes them; what does not convert gives the empty value of
    // the asked kind. Number to Text: up to 15 significant digits; boolean to Text: "-1" or "0";
    // Text to number: the whole text must be a decimal number; Text to boolean: a number other
    // than 0, or "true"/"false" in any case.
    Text toText() const;
    double toNumber() const;
    bool toBoolean() const;
    Bytes toBytes() const;
    AutomationObject toObject() const;

private:
    std::variant<std::monostate, Text, double, bool, Bytes, std::shared_ptr<Dispatch>> value_;
};

using VariantArgs = std::vector<Variant>;

// What a backend implements for one object: IDispatch's property put, property get and method
// call. Each returns false when the member is unknown or the call failed; `name` is matched
// ignoring case. Implementations must not throw.
class Dispatch {
public:
    virtual ~Dispatch() = default;
    virtual bool putProperty(std::string_view name, const Variant& value) = 0;
    virtual bool getProperty(std::string_view name, const VariantArgs& args, Variant& result) = 0;
    virtual bool callMethod(std::string_view name, const VariantArgs& args, Variant& result) = 0;
};

// A handle that is empty or holds one automation object. Copies made with copy() share the
// object; it ends when the last handle lets go of it.
class AutomationObject {
public:
    AutomationObject() = default;
    explicit AutomationObject(std::shared_ptr<Dispatch> object);

    // True replaces what was held; false (unknown ProgID, object cannot be made) changes nothing.
    bool create(std::string_view progId);
    // Outcome ignored by callers; false when the write failed.
    bool writeProperty(std::string_view name, const Variant& value);
    Variant readProperty(std::string_view name, const VariantArgs& args = {});
    Variant callMethod(std::string_view name, const VariantArgs& args = {});

    bool isEmpty() const { return object_ == nullptr; }
    void release() { object_.reset(); }
    AutomationObject copy() const { return *this; }

private:
    std::shared_ptr<Dispatch> object_;
    std::thread::id owner_;
};

// Makes the object a ProgID names (case ignored); nullptr when there is none. Tests may put a
// factory in place of a ProgID's backend (an empty function restores it); set it before any
// thread creates objects.
using AutomationFactory = std::function<std::shared_ptr<Dispatch>()>;
std::shared_ptr<Dispatch> createAutomationObject(std::string_view progId);
void setAutomationFactory(std::string_view progId, AutomationFactory factory);
