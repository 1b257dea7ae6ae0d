#include "json/json_syntax.h"

#include <vector>

namespace {

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool document() {
        if (text_.starts_with("\xEF\xBB\xBF")) at_ = 3;
        skipSpace();
        if (!value()) return false;
        skipSpace();
        return at_ == text_.size();
    }

private:
    // Values are read without recursion: `open` holds the brackets still open, and after each
    // value the loop reads what may follow inside the innermost one.
    bool value() {
        std::vector<char> open;
        while (true) {
            skipSpace();
            if (peek() == '{' || peek() == '[') {
                char bracket = text_[at_++];
                if (static_cast<int>(open.size()) >= kMaxJsonDepth) return false;
                open.push_back(bracket);
                skipSpace();
                if (peek() == (bracket == '{' ? '}' : ']')) {
                    ++at_;
                    open.pop_back();
                } else {
                    if (bracket == '{' && !memberName()) return false;
                    continue;
                }
            } else if (!scalar()) {
                return false;
            }
            // A value is complete; close brackets or move to the next element.
            while (true) {
                if (open.empty()) return true;
                skipSpace();
                char c = peek();
                if (c == ',') {
                    ++at_;
                    if (open.back() == '{' && !memberName()) return false;
                    break;
                }
                if (c != (open.back() == '{' ? '}' : ']')) return false;
                ++at_;
                open.pop_back();
            }
        }
    }

    bool memberName() {
        skipSpace();
        if (!string()) return false;
        skipSpace();
        if (peek() != ':') return false;
        ++at_;
        return true;
    }

    bool scalar() {
        char c = peek();
        if (c == '"') return string();
        if (c == '-' || (c >= '0' && c <= '9')) return number();
        return literal("true") || literal("false") || literal("null");
    }

    bool literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool string() {
        if (peek() != '"') return false;
        ++at_;
        while (at_ < text_.size()) {
            auto c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (at_ >= text_.size()) return false;
            char e = text_[at_++];
            if (e == 'u') {
                for (int i = 0; i < 4; ++i)
                    if (!isHexDigit(peek())) return false;
                    else ++at_;
            } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                return false;
            }
        }
        return false;
    }

    bool number() {
        if (peek() == '-') ++at_;
        if (peek() == '0') {
            ++at_;
        } else if (!digits()) {
            return false;
        }
        if (peek() == '.') {
            ++at_;
            if (!digits()) return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++at_;
            if (peek() == '+' || peek() == '-') ++at_;
            if (!digits()) return false;
        }
        return true;
    }

    bool digits() {
        std::size_t start = at_;
        while (peek() >= '0' && peek() <= '9') ++at_;
        return at_ > start;
    }

    static bool isHexDigit(char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }

    void skipSpace() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

bool isWellFormedJson(std::string_view text) { return Scanner(text).document(); }
