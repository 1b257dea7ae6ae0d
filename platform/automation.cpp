#include "platform/automation.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/automation_backends.h"

namespace {

Text lowerAscii(std::string_view s) {
    Text out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool parseNumber(const Text& text, double& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (!end || *end != '\0' || errno == ERANGE) return false;
    out = value;
    return true;
}

struct FactoryTable {
    std::mutex mutex;
    std::map<Text, AutomationFactory> overrides;
};

FactoryTable& factories() {
    static FactoryTable table;
    return table;
}

}  // namespace

Text Variant::toText() const {
    if (auto* t = std::get_if<Text>(&value_)) return *t;
    if (auto* d = std::get_if<double>(&value_)) {
        if (!std::isfinite(*d)) return {};
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.15g", *d);
        return buffer;
    }
    if (auto* b = std::get_if<bool>(&value_)) return *b ? "-1" : "0";
    return {};
}

double Variant::toNumber() const {
    if (auto* d = std::get_if<double>(&value_)) return *d;
    if (auto* b = std::get_if<bool>(&value_)) return *b ? -1.0 : 0.0;
    double value = 0;
    if (auto* t = std::get_if<Text>(&value_); t && parseNumber(*t, value)) return value;
    return 0;
}

bool Variant::toBoolean() const {
    if (auto* b = std::get_if<bool>(&value_)) return *b;
    if (auto* d = std::get_if<double>(&value_)) return *d != 0 && !std::isnan(*d);
    if (auto* t = std::get_if<Text>(&value_)) {
        Text lower = lowerAscii(*t);
        if (lower == "true") return true;
        double value = 0;
        return parseNumber(*t, value) && value != 0;
    }
    return false;
}

Bytes Variant::toBytes() const {
    if (auto* b = std::get_if<Bytes>(&value_)) return *b;
    return {};
}

AutomationObject Variant::toObject() const {
    if (auto* o = std::get_if<std::shared_ptr<Dispatch>>(&value_)) return AutomationObject(*o);
    return {};
}

AutomationObject::AutomationObject(std::shared_ptr<Dispatch> object)
    : object_(std::move(object)), owner_(std::this_thread::get_id()) {}

bool AutomationObject::create(std::string_view progId) {
    std::shared_ptr<Dispatch> made = createAutomationObject(progId);
    if (!made) return false;
    object_ = std::move(made);
    owner_ = std::this_thread::get_id();
    return true;
}

bool AutomationObject::writeProperty(std::string_view name, const Variant& value) {
    if (!object_ || owner_ != std::this_thread::get_id()) return false;
    return object_->putProperty(name, value);
}

Variant AutomationObject::readProperty(std::string_view name, const VariantArgs& args) {
    Variant result;
    if (!object_ || owner_ != std::this_thread::get_id()) return result;
    if (!object_->getProperty(name, args, result)) return {};
    return result;
}

Variant AutomationObject::callMethod(std::string_view name, const VariantArgs& args) {
    Variant result;
    if (!object_ || owner_ != std::this_thread::get_id()) return result;
    if (!object_->callMethod(name, args, result)) return {};
    return result;
}

std::shared_ptr<Dispatch> createAutomationObject(std::string_view progId) {
    Text key = lowerAscii(progId);
    {
        FactoryTable& table = factories();
        std::lock_guard lock(table.mutex);
        if (auto it = table.overrides.find(key); it != table.overrides.end()) return it->second();
    }
    if (key == "msscriptcontrol.scriptcontrol") return makeScriptControl();
    if (key == "adodb.stream") return makeAdodbStream();
    if (key == "vbscript.regexp") return makeVBScriptRegExp();
    return nullptr;
}

void setAutomationFactory(std::string_view progId, AutomationFactory factory) {
    FactoryTable& table = factories();
    std::lock_guard lock(table.mutex);
    if (factory)
        table.overrides[lowerAscii(progId)] = std::move(factory);
    else
        table.overrides.erase(lowerAscii(progId));
}
