// VBScript.RegExp on PCRE2, matching on UTF-16 so that FirstIndex and Length count UTF-16 units
// as the classic object does.
//
// RegExp: IgnoreCase, Multiline, Global (booleans, default false) and Pattern (Text), read and
// write; Execute(text) -> matches; Replace(text, replacement) -> Text; Test(text) -> boolean.
// Any other member, Singleline among them, is unknown: writing it fails.
// Matches: Count, Item(i). Match: Value, FirstIndex, Length, SubMatches. SubMatches: Count,
// Item(i) -> Text, or empty for a group that took no part in the match. Indexes count from 0.
//
// The dialect is the classic script one: \w \d \s \b are ASCII-only, the dot matches anything
// but a line feed, ^ and $ match at the ends of the text and, with Multiline, at CR and LF line
// ends; without Multiline $ matches at the very end only. \uXXXX and \xHH escapes, [] and [^],
// and a back reference to a group that did not take part (matches empty) work as in that dialect.
// Replace knows $1 to $99, $&, $`, $' and $$; any other $ is literal.
//
// A pattern that backtracks without end stops at the match limit (kMatchLimit backtracking
// points, kDepthLimit nesting, kHeapLimitKiB memory): Execute, Replace and Test fail, as they do
// on an invalid pattern. PCRE2 counts the limit afresh at each start position, so a subject
// crafted to stay just under it at every position still costs about 10 ms per position.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/automation.h"
#include "platform/automation_backends.h"
#include "platform/codepage.h"

namespace {

constexpr uint32_t kMatchLimit = 1'000'000;
constexpr uint32_t kDepthLimit = 100'000;
constexpr uint32_t kHeapLimitKiB = 64 * 1024;

std::u16string toUtf16(const Text& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    int units = MultiByteToWideChar(CP_GBK, 0, text.data(), size, nullptr, 0);
    if (units <= 0) return {};
    std::u16string wide(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(CP_GBK, 0, text.data(), size, wide.data(), units);
    return wide;
}

Text fromUtf16(std::u16string_view wide) {
    if (wide.empty()) return {};
    const int units = static_cast<int>(wide.size());
    int size = WideCharToMultiByte(CP_GBK, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    Text text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_GBK, 0, wide.data(), units, text.data(), size, nullptr, nullptr);
    return text;
}

struct CodeFree {
    void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct MatchContextFree {
    void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct CompileContextFree {
    void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
using CodeHandle = std::unique_ptr<pcre2_code, CodeFree>;
using MatchDataHandle = std::unique_ptr<pcre2_match_data, MatchDataFree>;
using MatchContextHandle = std::unique_ptr<pcre2_match_context, MatchContextFree>;
using CompileContextHandle = std::unique_ptr<pcre2_compile_context, CompileContextFree>;

// The dot of the classic dialect stops at LF only, while its anchors also see CR as a line end:
// PCRE2 ties both to one newline setting, so each dot outside a class becomes [^\n].
std::u16string classicDots(std::u16string_view pattern) {
    std::u16string out;
    out.reserve(pattern.size() + 8);
    bool inClass = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i];
        if (c == u'\\' && i + 1 < pattern.size()) {
            out += c;
            out += pattern[++i];
        } else if (inClass) {
            out += c;
            if (c == u']') inClass = false;
        } else if (c == u'[') {
            out += c;
            inClass = true;
            // A ']' right after '[' or '[^' closes an empty class in this dialect.
            if (i + 1 < pattern.size() && pattern[i + 1] == u'^') out += pattern[++i];
            if (i + 1 < pattern.size() && pattern[i + 1] == u']') {
                out += pattern[++i];
                inClass = false;
            }
        } else if (c == u'.') {
            out += u"[^\\n]";
        } else {
            out += c;
        }
    }
    return out;
}

struct Span {
    PCRE2_SIZE start = PCRE2_UNSET;
    PCRE2_SIZE end = PCRE2_UNSET;
    bool isSet() const { return start != PCRE2_UNSET; }
};

// One match: the whole match first, then each capturing group.
using MatchSpans = std::vector<Span>;

struct MatchRecord {
    Text value;
    PCRE2_SIZE firstIndex = 0;
    PCRE2_SIZE length = 0;
    std::vector<Variant> subMatches;  // Text, or empty for a group that took no part
};

bool indexOf(const VariantArgs& args, std::size_t size, std::size_t& index) {
    if (args.size() != 1 || !(args[0].isNumber() || args[0].isText())) return false;
    const double number = args[0].toNumber();
    if (args[0].isText() && number == 0 && args[0].toText() != "0") return false;
    if (!(number >= 0) || number != static_cast<double>(static_cast<long long>(number)) ||
        number >= static_cast<double>(size))
        return false;
    index = static_cast<std::size_t>(number);
    return true;
}

// Read-only collection objects; Item is both a property and a method, as in the classic object.
class SubMatchesObject : public Dispatch {
public:
    explicit SubMatchesObject(std::shared_ptr<const MatchRecord> match) : match_(std::move(match)) {}
    bool putProperty(std::string_view, const Variant&) override { return false; }
    bool getProperty(std::string_view name, const VariantArgs& args, Variant& result) override {
        if (equalsIgnoringAsciiCase(name, "Count") && args.empty()) {
            result = static_cast<double>(match_->subMatches.size());
            return true;
        }
        std::size_t index = 0;
        if (!equalsIgnoringAsciiCase(name, "Item") || !indexOf(args, match_->subMatches.size(), index)) return false;
        result = match_->subMatches[index];
        return true;
    }
    bool callMethod(std::string_view name, const VariantArgs& args, Variant& result) override {
        return getProperty(name, args, result);
    }

private:
    std::shared_ptr<const MatchRecord> match_;
};

class MatchObject : public Dispatch {
public:
    explicit MatchObject(std::shared_ptr<const MatchRecord> match) : match_(std::move(match)) {}
    bool putProperty(std::string_view, const Variant&) override { return false; }
    bool getProperty(std::string_view name, const VariantArgs& args, Variant& result) override {
        if (!args.empty()) return false;
        try {
            if (equalsIgnoringAsciiCase(name, "Value")) result = match_->value;
            else if (equalsIgnoringAsciiCase(name, "FirstIndex")) result = static_cast<double>(match_->firstIndex);
            else if (equalsIgnoringAsciiCase(name, "Length")) result = static_cast<double>(match_->length);
            else if (equalsIgnoringAsciiCase(name, "SubMatches")) result = subMatches();
            else return false;
        } catch (...) {
            return false;
        }
        return true;
    }
    bool callMethod(std::string_view name, const VariantArgs& args, Variant& result) override {
        return getProperty(name, args, result);
    }

private:
    Variant subMatches() const {
        return std::shared_ptr<Dispatch>(std::make_shared<SubMatchesObject>(match_));
    }

    std::shared_ptr<const MatchRecord> match_;
};

class MatchesObject : public Dispatch {
public:
    explicit MatchesObject(std::vector<std::shared_ptr<const MatchRecord>> matches)
        : matches_(std::move(matches)) {}
    bool putProperty(std::string_view, const Variant&) override { return false; }
    bool getProperty(std::string_view name, const VariantArgs& args, Variant& result) override {
        if (equalsIgnoringAsciiCase(name, "Count") && args.empty()) {
            result = static_cast<double>(matches_.size());
            return true;
        }
        std::size_t index = 0;
        if (!equalsIgnoringAsciiCase(name, "Item") || !indexOf(args, matches_.size(), index)) return false;
        try {
            result = std::shared_ptr<Dispatch>(std::make_shared<MatchObject>(matches_[index]));
        } catch (...) {
            return false;
        }
        return true;
    }
    bool callMethod(std::string_view name, const VariantArgs& args, Variant& result) override {
        return getProperty(name, args, result);
    }

private:
    std::vector<std::shared_ptr<const MatchRecord>> matches_;
};

class RegExpObject : public Dispatch {
public:
    bool putProperty(std::string_view name, const Variant& value) override {
        try {
            if (equalsIgnoringAsciiCase(name, "Pattern")) pattern_ = value.toText();
            else if (equalsIgnoringAsciiCase(name, "IgnoreCase")) ignoreCase_ = value.toBoolean();
            else if (equalsIgnoringAsciiCase(name, "Multiline")) multiline_ = value.toBoolean();
            else if (equalsIgnoringAsciiCase(name, "Global")) global_ = value.toBoolean();
            else return false;
        } catch (...) {
            return false;
        }
        return true;
    }

    bool getProperty(std::string_view name, const VariantArgs& args, Variant& result) override {
        if (!args.empty()) return false;
        try {
            if (equalsIgnoringAsciiCase(name, "Pattern")) result = pattern_;
            else if (equalsIgnoringAsciiCase(name, "IgnoreCase")) result = ignoreCase_;
            else if (equalsIgnoringAsciiCase(name, "Multiline")) result = multiline_;
            else if (equalsIgnoringAsciiCase(name, "Global")) result = global_;
            else return false;
        } catch (...) {
            return false;
        }
        return true;
    }

    bool callMethod(std::string_view name, const VariantArgs& args, Variant& result) override {
        try {
            if (equalsIgnoringAsciiCase(name, "Execute") && args.size() == 1) return execute(args[0].toText(), result);
            if (equalsIgnoringAsciiCase(name, "Test") && args.size() == 1) return test(args[0].toText(), result);
            if (equalsIgnoringAsciiCase(name, "Replace") && args.size() == 2)
                return replace(args[0].toText(), args[1].toText(), result);
        } catch (...) {
        }
        return false;
    }

private:
    // Compiles the pattern under the current options, once per change of either.
    pcre2_code* compiled() {
        const uint32_t options = PCRE2_UTF | PCRE2_NEVER_UCP | PCRE2_NEVER_BACKSLASH_C |
                                 PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                                 PCRE2_MATCH_UNSET_BACKREF | (ignoreCase_ ? PCRE2_CASELESS : 0) |
                                 (multiline_ ? PCRE2_MULTILINE : PCRE2_DOLLAR_ENDONLY);
        if (code_ && compiledPattern_ == pattern_ && compiledOptions_ == options) return code_.get();
        code_.reset();
        CompileContextHandle context(pcre2_compile_context_create(nullptr));
        if (!context) return nullptr;
        pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANYCRLF);
        const std::u16string pattern = classicDots(toUtf16(pattern_));
        int error = 0;
        PCRE2_SIZE errorOffset = 0;
        code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                  options, &error, &errorOffset, context.get()));
        compiledPattern_ = pattern_;
        compiledOptions_ = options;
        return code_.get();
    }

    // Every match in `subject` (only the first without Global). False when the pattern is
    // invalid or a run hits a limit.
    bool findAll(const std::u16string& subject, std::vector<MatchSpans>& found) {
        pcre2_code* code = compiled();
        if (!code) return false;
        MatchDataHandle data(pcre2_match_data_create_from_pattern(code, nullptr));
        MatchContextHandle context(pcre2_match_context_create(nullptr));
        if (!data || !context) return false;
        pcre2_set_match_limit(context.get(), kMatchLimit);
        pcre2_set_depth_limit(context.get(), kDepthLimit);
        pcre2_set_heap_limit(context.get(), kHeapLimitKiB);

        const auto* units = reinterpret_cast<PCRE2_SPTR>(subject.data());
        PCRE2_SIZE offset = 0;
        while (offset <= subject.size()) {
            const int rc = pcre2_match(code, units, subject.size(), offset, 0, data.get(), context.get());
            if (rc == PCRE2_ERROR_NOMATCH) break;
            if (rc < 0) return false;
            const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data.get());
            const uint32_t pairs = pcre2_get_ovector_count(data.get());
            MatchSpans spans(pairs);
            for (uint32_t i = 0; i < pairs && i < static_cast<uint32_t>(rc); ++i)
                spans[i] = {vector[2 * i], vector[2 * i + 1]};
            const Span whole = spans[0];
            found.push_back(std::move(spans));
            if (!global_) break;
            // After an empty match the next try starts one character further on.
            offset = whole.end;
            if (whole.end == whole.start) {
                if (offset >= subject.size()) break;
                const bool pair = subject[offset] >= 0xD800 && subject[offset] <= 0xDBFF &&
                                  offset + 1 < subject.size();
                offset += pair ? 2 : 1;
            }
        }
        return true;
    }

    uint32_t groupCount() {
        uint32_t count = 0;
        if (pcre2_code* code = compiled()) pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &count);
        return count;
    }

    bool execute(const Text& text, Variant& result) {
        const std::u16string subject = toUtf16(text);
        std::vector<MatchSpans> found;
        if (!findAll(subject, found)) return false;
        const uint32_t groups = groupCount();
        std::vector<std::shared_ptr<const MatchRecord>> matches;
        for (const MatchSpans& spans : found) {
            auto record = std::make_shared<MatchRecord>();
            const std::u16string_view all(subject);
            record->value = fromUtf16(all.substr(spans[0].start, spans[0].end - spans[0].start));
            record->firstIndex = spans[0].start;
            record->length = spans[0].end - spans[0].start;
            for (uint32_t g = 1; g <= groups; ++g) {
                if (g < spans.size() && spans[g].isSet())
                    record->subMatches.emplace_back(
                        fromUtf16(all.substr(spans[g].start, spans[g].end - spans[g].start)));
                else
                    record->subMatches.emplace_back();
            }
            matches.push_back(std::move(record));
        }
        result = std::shared_ptr<Dispatch>(std::make_shared<MatchesObject>(std::move(matches)));
        return true;
    }

    bool test(const Text& text, Variant& result) {
        std::vector<MatchSpans> found;
        const bool wasGlobal = global_;
        global_ = false;
        const bool ok = findAll(toUtf16(text), found);
        global_ = wasGlobal;
        if (!ok) return false;
        result = !found.empty();
        return true;
    }

    bool replace(const Text& text, const Text& replacementText, Variant& result) {
        const std::u16string subject = toUtf16(text);
        const std::u16string replacement = toUtf16(replacementText);
        std::vector<MatchSpans> found;
        if (!findAll(subject, found)) return false;
        const std::size_t groups = groupCount();
        std::u16string out;
        PCRE2_SIZE copied = 0;
        for (const MatchSpans& spans : found) {
            const Span whole = spans[0];
            out.append(subject, copied, whole.start - copied);
            auto group = [&](std::size_t g) {
                if (g < spans.size() && spans[g].isSet())
                    out.append(subject, spans[g].start, spans[g].end - spans[g].start);
            };
            for (std::size_t i = 0; i < replacement.size(); ++i) {
                const char16_t c = replacement[i];
                const char16_t next = i + 1 < replacement.size() ? replacement[i + 1] : u'\0';
                auto digit = [](char16_t d) { return d >= u'0' && d <= u'9' ? d - u'0' : -1; };
                if (c != u'$' || next == u'\0') {
                    out += c;
                } else if (next == u'$') {
                    out += u'$';
                    ++i;
                } else if (next == u'&') {
                    group(0);
                    ++i;
                } else if (next == u'`') {
                    out.append(subject, 0, whole.start);
                    ++i;
                } else if (next == u'\'') {
                    out.append(subject, whole.end);
                    ++i;
                } else if (digit(next) >= 0) {
                    // $nn when that group exists, else $n when it exists, else literal.
                    const int one = digit(next);
                    const int two = i + 2 < replacement.size() && digit(replacement[i + 2]) >= 0
                                        ? one * 10 + digit(replacement[i + 2]) : -1;
                    if (two >= 1 && static_cast<std::size_t>(two) <= groups) {
                        group(static_cast<std::size_t>(two));
                        i += 2;
                    } else if (one >= 1 && static_cast<std::size_t>(one) <= groups) {
                        group(static_cast<std::size_t>(one));
                        ++i;
                    } else {
                        out += c;
                    }
                } else {
                    out += c;
                }
            }
            copied = whole.end;
        }
        out.append(subject, copied);
        result = fromUtf16(out);
        return true;
    }

    Text pattern_;
    bool ignoreCase_ = false;
    bool multiline_ = false;
    bool global_ = false;
    CodeHandle code_;
    Text compiledPattern_;
    uint32_t compiledOptions_ = 0;
};

}  // namespace

std::shared_ptr<Dispatch> makeVBScriptRegExp() {
    try {
        return std::make_shared<RegExpObject>();
    } catch (...) {
        return nullptr;
    }
}
