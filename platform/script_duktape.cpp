// "MSScriptControl.ScriptControl" on Duktape: Language, AddCode and Eval.
//
// The engine runs text that comes from the network, so it is a sandbox: ECMAScript's own
// built-ins only, a memory cap per engine, and every failure inside it (a throw, a syntax error,
// the cap, nesting too deep) is a failed call, never the end of the process.
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/automation.h"
#include "platform/automation_backends.h"
#include "platform/codepage.h"
#include "platform/duktape_heap.h"

namespace {

constexpr std::size_t kMemoryCap = std::size_t{256} * 1024 * 1024;

// Globals that Duktape adds beyond ECMAScript: its own object, CBOR, Node.js's Buffer, the
// Encoding API and performance.
constexpr const char* kNonStandardGlobals[] = {"Duktape", "CBOR",        "Buffer",
                                               "TextEncoder", "TextDecoder", "performance"};

void appendUtf8Unit(std::string& out, std::uint32_t unit) {
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | (unit >> 6));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (unit >> 12));
        out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

bool isAscii(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        if (static_cast<unsigned char>(data[i]) >= 0x80) return false;
    return true;
}

// Duktape keeps a string as UTF-8 of its UTF-16 code units (CESU-8): a character beyond the BMP
// goes in as its two surrogates, each a three-byte sequence, so that scripts see the ordinary
// UTF-16 string (length 2, charCodeAt giving the surrogates). A zero byte ends a Text.
bool toEngineText(const Text& text, std::string& out) {
    std::size_t length = text.find('\0');
    if (length == Text::npos) length = text.size();
    out.clear();
    // Script texts are mostly ASCII, which all three encodings share.
    if (isAscii(text.data(), length)) {
        out.assign(text, 0, length);
        return true;
    }
    if (length > INT_MAX / 3) return false;
    // One unit per byte at most: a four-byte character gives two units.
    std::u16string wide(length, u'\0');
    int units = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(length), wide.data(),
                                    static_cast<int>(length));
    if (units <= 0) return false;
    wide.resize(static_cast<std::size_t>(units));
    out.reserve(wide.size() * 3);
    for (char16_t unit : wide) appendUtf8Unit(out, unit);
    return true;
}

// The way back: Duktape's extended UTF-8 (surrogates as separate sequences, and code points
// beyond the BMP as one four-byte sequence where a built-in made one) to UTF-16, a surrogate
// pair then to one GB18030 character. What does not decode becomes U+FFFD; U+0000 ends the Text.
Text fromEngineText(const char* data, std::size_t size) {
    if (isAscii(data, size)) {
        std::size_t end = 0;
        while (end < size && data[end] != '\0') ++end;
        return Text(data, end);
    }
    std::u16string wide;
    wide.reserve(size);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t i = 0;
    while (i < size) {
        unsigned lead = bytes[i];
        int extra = 0;
        std::uint32_t point = lead;
        if (lead >= 0x80) {
            while (extra < 7 && (lead & (0x40u >> extra))) ++extra;
            if (extra == 0 || extra > 6 || i + extra >= size) {
                wide += u'\uFFFD';
                ++i;
                continue;
            }
            point = lead & (0x3Fu >> extra);
            bool valid = true;
            for (int k = 1; k <= extra; ++k) {
                unsigned next = bytes[i + k];
                if ((next & 0xC0) != 0x80) {
                    valid = false;
                    break;
                }
                point = (point << 6) | (next & 0x3F);
            }
            if (!valid) {
                wide += u'\uFFFD';
                ++i;
                continue;
            }
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (point == 0) break;
        if (point <= 0xFFFF) {
            wide += static_cast<char16_t>(point);
        } else if (point <= 0x10FFFF) {
            point -= 0x10000;
            wide += static_cast<char16_t>(0xD800 + (point >> 10));
            wide += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        } else {
            wide += u'\uFFFD';
        }
    }
    if (wide.empty() || wide.size() > INT_MAX / 4) return {};
    // At most four bytes per unit: a BMP character or a surrogate pair both take four at most.
    int length = static_cast<int>(wide.size());
    Text out(wide.size() * 4, '\0');
    int written = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, out.data(),
                                      static_cast<int>(out.size()), nullptr, nullptr);
    if (written <= 0) return {};
    out.resize(static_cast<std::size_t>(written));
    return out;
}

// The entries below run inside protected calls; Duktape's errors leave them by longjmp, so they
// own nothing with a destructor.

struct Source {
    const char* data;
    std::size_t size;
};

duk_ret_t prepareSandbox(duk_context* ctx, void*) {
    duk_push_global_object(ctx);
    for (const char* name : kNonStandardGlobals) duk_del_prop_string(ctx, -1, name);
    // Duktape's plain-buffer helpers.
    duk_get_prop_string(ctx, -1, "Uint8Array");
    duk_del_prop_string(ctx, -1, "allocPlain");
    duk_del_prop_string(ctx, -1, "plainOf");
    duk_pop(ctx);
    // The original String, for the text form of results, out of reach of scripts that
    // replace the global one.
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -2, "String");
    duk_put_prop_string(ctx, -2, "String");
    duk_pop_2(ctx);
    return 0;
}

// Global code, as a script block: its function declarations and variables become globals.
// Compiling and running are separate calls so that the compiled form can be kept in between.
duk_ret_t compileCode(duk_context* ctx, void* data) {
    const auto* source = static_cast<const Source*>(data);
    duk_compile_raw(ctx, source->data, source->size,
                    DUK_COMPILE_NOSOURCE | DUK_COMPILE_NOFILENAME);
    return 1;
}

// Takes the compiled function; leaves it and its bytecode.
duk_ret_t dumpCode(duk_context* ctx, void*) {
    duk_dup(ctx, 0);
    duk_dump_function(ctx);
    return 2;
}

// Takes the compiled function.
duk_ret_t runCode(duk_context* ctx, void*) {
    duk_call(ctx, 0);
    return 0;
}

struct Bytecode {
    const unsigned char* data;
    std::size_t size;
};

duk_ret_t loadAndRunCode(duk_context* ctx, void* data) {
    const auto* bytecode = static_cast<const Bytecode*>(data);
    void* buffer = duk_push_fixed_buffer(ctx, bytecode->size);
    std::memcpy(buffer, bytecode->data, bytecode->size);
    duk_load_function(ctx);
    duk_call(ctx, 0);
    return 0;
}

// Compiled forms of code added more than once, shared by the engines of the process: every
// document adds the same prelude, whose compilation costs more than loading its bytecode ten
// times over. Only bytecode this process made from the very same text is ever loaded.
class CompiledCodeCache {
public:
    // The bytecode of `source`, or nullptr; `worthKeeping` tells whether to store it once made.
    std::shared_ptr<const std::vector<unsigned char>> find(const std::string& source,
                                                           bool& worthKeeping) {
        worthKeeping = false;
        if (source.size() > kLargestSource) return nullptr;
        std::lock_guard lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->source == source) {
                entries_.splice(entries_.begin(), entries_, it);
                return entries_.front().bytecode;
            }
        }
        // Kept from the second sighting on: most texts (a loaded answer) come once.
        std::size_t hash = std::hash<std::string>{}(source);
        for (std::size_t seen : seen_) {
            if (seen == hash) worthKeeping = true;
        }
        if (!worthKeeping) {
            seen_.push_back(hash);
            if (seen_.size() > kSeenKept) seen_.pop_front();
        }
        return nullptr;
    }

    void store(const std::string& source, std::vector<unsigned char> bytecode) {
        std::lock_guard lock(mutex_);
        entries_.push_front(
            {source, std::make_shared<const std::vector<unsigned char>>(std::move(bytecode))});
        if (entries_.size() > kEntriesKept) entries_.pop_back();
    }

private:
    static constexpr std::size_t kLargestSource = 64 * 1024;
    static constexpr std::size_t kSeenKept = 32;
    static constexpr std::size_t kEntriesKept = 8;
    struct Entry {
        std::string source;
        std::shared_ptr<const std::vector<unsigned char>> bytecode;
    };
    std::mutex mutex_;
    std::list<Entry> entries_;
    std::deque<std::size_t> seen_;
};

CompiledCodeCache& compiledCode() {
    static CompiledCodeCache cache;
    return cache;
}

// Indirect eval: global scope, statements allowed, the value of the last one. The result is left
// as a primitive, so that reading it afterwards cannot run script.
duk_ret_t evaluate(duk_context* ctx, void* data) {
    const auto* source = static_cast<const Source*>(data);
    duk_eval_raw(ctx, source->data, source->size,
                 DUK_COMPILE_EVAL | DUK_COMPILE_NOSOURCE | DUK_COMPILE_NOFILENAME);
    switch (duk_get_type(ctx, -1)) {
    case DUK_TYPE_UNDEFINED:
    case DUK_TYPE_NULL:
    case DUK_TYPE_BOOLEAN:
    case DUK_TYPE_NUMBER:
        return 1;
    case DUK_TYPE_STRING:
        if (!duk_is_symbol(ctx, -1)) return 1;
        break;
    default:
        break;
    }
    // Objects, arrays, functions, symbols: String(value).
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "String");
    duk_dup(ctx, -3);
    duk_call(ctx, 1);
    return 1;
}

class ScriptControl final : public Dispatch {
public:
    explicit ScriptControl(std::unique_ptr<DuktapeHeap> heap) : heap_(std::move(heap)) {}

    bool putProperty(std::string_view name, const Variant& value) override {
        if (!equalsIgnoringAsciiCase(name, "Language")) return false;
        Text language = value.toText();
        if (!equalsIgnoringAsciiCase(language, "JavaScript")) return false;
        language_ = std::move(language);
        return true;
    }

    bool getProperty(std::string_view name, const VariantArgs&, Variant& result) override {
        if (equalsIgnoringAsciiCase(name, "Language")) {
            result = language_;
            return true;
        }
        if (equalsIgnoringAsciiCase(name, "PeakMemory")) {
            result = static_cast<double>(heap_->memoryPeak());
            return true;
        }
        return false;
    }

    bool callMethod(std::string_view name, const VariantArgs& args, Variant& result) override {
        bool evaluating = equalsIgnoringAsciiCase(name, "Eval");
        if (!evaluating && !equalsIgnoringAsciiCase(name, "AddCode")) return false;
        if (args.size() != 1 || language_.empty()) return false;
        try {
            return run(args[0].toText(), evaluating, result);
        } catch (...) {
            // Out of memory on the native side while converting text.
            return false;
        }
    }

private:
    bool addCode(const std::string& source) {
        bool worthKeeping = false;
        auto bytecode = compiledCode().find(source, worthKeeping);
        if (bytecode) {
            Bytecode input{bytecode->data(), bytecode->size()};
            return heap_->call(loadAndRunCode, &input, 0, 0);
        }
        Source input{source.data(), source.size()};
        if (!heap_->call(compileCode, &input)) return false;
        if (worthKeeping) {
            if (!heap_->call(dumpCode, nullptr, 1, 2)) return false;
            duk_size_t size = 0;
            const auto* data =
                static_cast<const unsigned char*>(duk_get_buffer(heap_->context(), -1, &size));
            try {
                compiledCode().store(source, std::vector<unsigned char>(data, data + size));
            } catch (...) {
                // Not kept, and the code still runs.
            }
            heap_->popResult();
        }
        return heap_->call(runCode, nullptr, 1, 0);
    }

    bool run(const Text& code, bool evaluating, Variant& result) {
        std::string source;
        if (!toEngineText(code, source)) return false;
        if (!evaluating) return addCode(source);
        Source input{source.data(), source.size()};
        if (!heap_->call(evaluate, &input)) return false;
        duk_context* ctx = heap_->context();
        bool converted = true;
        try {
            switch (duk_get_type(ctx, -1)) {
            case DUK_TYPE_BOOLEAN:
                result = duk_get_boolean(ctx, -1) != 0;
                break;
            case DUK_TYPE_NUMBER:
                result = static_cast<double>(duk_get_number(ctx, -1));
                break;
            case DUK_TYPE_STRING: {
                duk_size_t size = 0;
                const char* text = duk_get_lstring(ctx, -1, &size);
                result = fromEngineText(text, size);
                break;
            }
            default:
                result = Variant();
                break;
            }
        } catch (...) {
            converted = false;
        }
        heap_->popResult();
        return converted;
    }

    std::unique_ptr<DuktapeHeap> heap_;
    Text language_;
};

}  // namespace

std::shared_ptr<Dispatch> makeScriptControl() {
    std::unique_ptr<DuktapeHeap> heap = DuktapeHeap::create(kMemoryCap);
    if (!heap || !heap->call(prepareSandbox, nullptr, 0, 0)) return nullptr;
    try {
        return std::make_shared<ScriptControl>(std::move(heap));
    } catch (...) {
        return nullptr;
    }
}
