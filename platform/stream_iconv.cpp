// Adodb.Stream on iconv: an in-memory byte buffer with a position, read and written as bytes
// (Type 1) or as text in Charset (Type 2).
//
// Members: Type, Mode, Position, Charset (read and write); Size, EOS, State (read); Open, Close,
// Write(bytes), Read([count]) -> bytes from Position, WriteText(text[, 1 = add CR LF]),
// ReadText([-1]) -> the text from Position to the end, SetEOS.
//
// Rules the callers rely on, as the classic object has them: Write/Read need Type 1 and
// WriteText/ReadText Type 2; Type and Charset change only at Position 0 of an open stream;
// Mode changes only while closed; Close drops the content, Type and Charset stay. Writing
// overwrites from Position without cutting what follows. A Position beyond the end grows the
// stream with zero bytes.
//
// Charset names (case ignored): UTF-8, GBK, GB2312, CP936, GB18030, Big5, ISO-8859-1 (Latin1),
// windows-1252, Unicode / UTF-16 / UTF-16LE, UTF-16BE, US-ASCII and the other code pages in the
// table below. GBK, GB2312 and CP936 are read and written as GB18030: the same bytes for every
// GBK character, and nothing lost for the rest. The default is "Unicode".
//
// An unknown name fails the Charset write and leaves the stream without a charset: ReadText and
// WriteText fail until a known name is written, so a conversion never runs silently with the
// previous charset.
//
// Byte-order marks: WriteText never writes one, for any charset, so that a conversion to UTF-8
// or UTF-16 gives clean bytes. ReadText from Position 0 skips a leading U+FEFF in the UTF-8 and
// UTF-16 charsets.
//
// Bytes that are not valid in the charset read as U+FFFD, one per offending byte (per unit in
// UTF-16); a character the charset cannot hold is written as '?'. Nothing is cut short.
#include <iconv.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "platform/ascii.h"
#include "platform/automation.h"
#include "platform/automation_backends.h"

namespace {

constexpr int adTypeBinary = 1;
constexpr int adTypeText = 2;
constexpr int adReadAll = -1;
constexpr int adWriteLine = 1;

struct Charset {
    std::string_view name;
    const char* iconvName;
    int unitSize;        // bytes skipped for one malformed input unit
    bool hasByteOrderMark;
};

const Charset kCharsets[] = {
    {"utf-8", "UTF-8", 1, true},
    {"utf8", "UTF-8", 1, true},
    {"unicode", "UTF-16LE", 2, true},
    {"utf-16", "UTF-16LE", 2, true},
    {"utf-16le", "UTF-16LE", 2, true},
    {"unicodeFFFE", "UTF-16BE", 2, true},
    {"utf-16be", "UTF-16BE", 2, true},
    {"gbk", "GB18030", 1, false},
    {"gb2312", "GB18030", 1, false},
    {"cp936", "GB18030", 1, false},
    {"windows-936", "GB18030", 1, false},
    {"x-gbk", "GB18030", 1, false},
    {"gb18030", "GB18030", 1, false},
    {"big5", "BIG5", 1, false},
    {"cp950", "CP950", 1, false},
    {"big5-hkscs", "BIG5-HKSCS", 1, false},
    {"us-ascii", "ASCII", 1, false},
    {"ascii", "ASCII", 1, false},
    {"iso-8859-1", "ISO-8859-1", 1, false},
    {"latin1", "ISO-8859-1", 1, false},
    {"iso-8859-2", "ISO-8859-2", 1, false},
    {"iso-8859-5", "ISO-8859-5", 1, false},
    {"iso-8859-7", "ISO-8859-7", 1, false},
    {"iso-8859-9", "ISO-8859-9", 1, false},
    {"iso-8859-15", "ISO-8859-15", 1, false},
    {"windows-1250", "CP1250", 1, false},
    {"windows-1251", "CP1251", 1, false},
    {"windows-1252", "CP1252", 1, false},
    {"cp1252", "CP1252", 1, false},
    {"windows-1253", "CP1253", 1, false},
    {"windows-1254", "CP1254", 1, false},
    {"windows-1256", "CP1256", 1, false},
    {"koi8-r", "KOI8-R", 1, false},
    {"koi8-u", "KOI8-U", 1, false},
    {"shift_jis", "CP932", 1, false},
    {"euc-jp", "EUC-JP", 1, false},
    {"euc-kr", "CP949", 1, false},
    {"ks_c_5601-1987", "CP949", 1, false},
};

const Charset* findCharset(std::string_view name) {
    for (const Charset& c : kCharsets)
        if (equalsIgnoringAsciiCase(c.name, name)) return &c;
    return nullptr;
}

const Charset kTextCharset = {"gb18030", "GB18030", 1, false};

// One iconv conversion descriptor; iconv_close happens only here.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (isOpen()) iconv_close(cd_);
    }
    IconvHandle(IconvHandle&& other) noexcept : cd_(other.cd_) { other.cd_ = invalid(); }
    IconvHandle& operator=(IconvHandle&& other) noexcept {
        if (this != &other) {
            if (isOpen()) iconv_close(cd_);
            cd_ = other.cd_;
            other.cd_ = invalid();
        }
        return *this;
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool isOpen() const { return cd_ != invalid(); }
    iconv_t get() const { return cd_; }

private:
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t cd_;
};

// Runs all of `in` through `cd` into an output first sized `outSize`. An input unit iconv
// refuses (malformed, incomplete at the end, or not representable in the target) is skipped,
// `unitSize` bytes at a time, and `replacement` (already in the target encoding) stands in its
// place.
std::string convertAll(const IconvHandle& cd, std::string_view in, int unitSize,
                       std::string_view replacement, std::size_t outSize) {
    std::string out(outSize + 16, '\0');
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    std::size_t used = 0;
    while (inLeft > 0) {
        if (out.size() - used < 16) out.resize(out.size() * 2);
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        std::size_t rc = iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EILSEQ || errno == EINVAL) {
            out.replace(used, 0, replacement);
            used += replacement.size();
            std::size_t skip = std::min(inLeft, static_cast<std::size_t>(unitSize));
            inPtr += skip;
            inLeft -= skip;
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        } else {
            return {};
        }
    }
    // Flush any shift state the target keeps.
    if (out.size() - used < 16) out.resize(used + 16);
    char* outPtr = out.data() + used;
    std::size_t outLeft = out.size() - used;
    iconv(cd.get(), nullptr, nullptr, &outPtr, &outLeft);
    used = out.size() - outLeft;
    out.resize(used);
    return out;
}

// Between the two halves of a conversion the text is UTF-32LE.
constexpr std::string_view kUtf32Replacement("\xFD\xFF\0\0", 4);  // U+FFFD
constexpr std::string_view kUtf32ByteOrderMark("\xFF\xFE\0\0", 4);
constexpr std::string_view kUtf32Question("?\0\0\0", 4);
constexpr std::string_view kUtf32LineBreak("\r\0\0\0\n\0\0\0", 8);

// Bytes in `charset` to UTF-32LE; false only when iconv lacks the charset.
bool decode(const Charset& charset, std::string_view bytes, std::string& utf32) {
    IconvHandle cd("UTF-32LE", charset.iconvName);
    if (!cd.isOpen()) return false;
    // At most one character per input byte.
    utf32 = convertAll(cd, bytes, charset.unitSize, kUtf32Replacement, bytes.size() * 4);
    return true;
}

// UTF-32LE to bytes in `charset`; false only when iconv lacks the charset.
bool encode(const Charset& charset, std::string_view utf32, std::string& out) {
    IconvHandle cd(charset.iconvName, "UTF-32LE");
    if (!cd.isOpen()) return false;
    std::string question;
    if (!utf32.empty()) {
        // '?' in the target's own encoding stands for what it cannot hold.
        IconvHandle q(charset.iconvName, "UTF-32LE");
        if (!q.isOpen()) return false;
        question = convertAll(q, kUtf32Question, 4, {}, 4);
    }
    // At most four bytes per character in every charset offered.
    out = convertAll(cd, utf32, 4, question, utf32.size());
    return true;
}

bool integerOf(const Variant& value, long long& out) {
    double number = 0;
    if (value.isNumber() || value.isBoolean()) {
        number = value.toNumber();
    } else if (value.isText()) {
        number = value.toNumber();
        if (number == 0 && value.toText() != "0") return false;
    } else {
        return false;
    }
    if (!std::isfinite(number) || number != std::floor(number) || std::fabs(number) > 9e15)
        return false;
    out = static_cast<long long>(number);
    return true;
}

class AdodbStream : public Dispatch {
public:
    // Dispatch calls must not throw; running out of memory fails the call.
    bool putProperty(std::string_view name, const Variant& value) override {
        try {
            return put(name, value);
        } catch (...) {
            return false;
        }
    }
    bool getProperty(std::string_view name, const VariantArgs& args, Variant& result) override {
        try {
            return get(name, args, result);
        } catch (...) {
            return false;
        }
    }
    bool callMethod(std::string_view name, const VariantArgs& args, Variant& result) override {
        try {
            return call(name, args, result);
        } catch (...) {
            return false;
        }
    }

private:
    bool put(std::string_view name, const Variant& value) {
        long long number = 0;
        if (equalsIgnoringAsciiCase(name, "Type")) {
            if (!integerOf(value, number) || (number != adTypeBinary && number != adTypeText))
                return false;
            if (open_ && position_ != 0) return false;
            type_ = static_cast<int>(number);
            return true;
        }
        if (equalsIgnoringAsciiCase(name, "Mode")) {
            if (open_ || !integerOf(value, number) || number < 0) return false;
            mode_ = number;
            return true;
        }
        if (equalsIgnoringAsciiCase(name, "Position")) {
            if (!open_ || !integerOf(value, number) || number < 0) return false;
            position_ = static_cast<std::size_t>(number);
            size_ = std::max(size_, position_);
            return true;
        }
        if (equalsIgnoringAsciiCase(name, "Charset")) {
            if (!value.isText() || (open_ && position_ != 0)) return false;
            charsetName_ = value.toText();
            charset_ = findCharset(charsetName_);
            return charset_ != nullptr;
        }
        return false;
    }

    bool get(std::string_view name, const VariantArgs& args, Variant& result) {
        if (!args.empty()) return false;
        if (equalsIgnoringAsciiCase(name, "Type")) result = type_;
        else if (equalsIgnoringAsciiCase(name, "Mode")) result = static_cast<double>(mode_);
        else if (equalsIgnoringAsciiCase(name, "Charset")) result = charsetName_;
        else if (equalsIgnoringAsciiCase(name, "State")) result = open_ ? 1 : 0;
        else if (!open_) return false;
        else if (equalsIgnoringAsciiCase(name, "Position")) result = static_cast<double>(position_);
        else if (equalsIgnoringAsciiCase(name, "Size")) result = static_cast<double>(size_);
        else if (equalsIgnoringAsciiCase(name, "EOS")) result = position_ >= size_;
        else return false;
        return true;
    }

    bool call(std::string_view name, const VariantArgs& args, Variant& result) {
        if (equalsIgnoringAsciiCase(name, "Open")) return openStream(args);
        if (equalsIgnoringAsciiCase(name, "Close")) return closeStream(args);
        if (!open_) return false;
        if (equalsIgnoringAsciiCase(name, "Write")) return write(args);
        if (equalsIgnoringAsciiCase(name, "Read")) return read(args, result);
        if (equalsIgnoringAsciiCase(name, "WriteText")) return writeText(args);
        if (equalsIgnoringAsciiCase(name, "ReadText")) return readText(args, result);
        if (equalsIgnoringAsciiCase(name, "SetEOS")) {
            if (!args.empty()) return false;
            size_ = position_;
            if (buffer_.size() > size_) buffer_.resize(size_);
            return true;
        }
        return false;
    }

    bool openStream(const VariantArgs& args) {
        // Opening a URL or a record (the Source argument) is not offered.
        if (open_ || !(args.empty() || args[0].isEmpty())) return false;
        open_ = true;
        buffer_.clear();
        size_ = 0;
        position_ = 0;
        return true;
    }

    bool closeStream(const VariantArgs& args) {
        if (!open_ || !args.empty()) return false;
        open_ = false;
        buffer_.clear();
        buffer_.shrink_to_fit();
        size_ = 0;
        position_ = 0;
        return true;
    }

    void store(std::string_view bytes) {
        if (bytes.empty()) return;
        if (buffer_.size() < position_ + bytes.size()) buffer_.resize(position_ + bytes.size());
        std::memcpy(buffer_.data() + position_, bytes.data(), bytes.size());
        position_ += bytes.size();
        size_ = std::max(size_, position_);
    }

    // `count` bytes from `from`; what lies past the stored bytes is the zero bytes a Position
    // beyond the end added, made only when read.
    std::string load(std::size_t from, std::size_t count) const {
        std::string out(count, '\0');
        if (from < buffer_.size())
            std::memcpy(out.data(), buffer_.data() + from, std::min(count, buffer_.size() - from));
        return out;
    }

    bool write(const VariantArgs& args) {
        if (type_ != adTypeBinary || args.size() != 1 || !args[0].isBytes()) return false;
        const Bytes bytes = args[0].toBytes();
        store(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        return true;
    }

    bool read(const VariantArgs& args, Variant& result) {
        if (type_ != adTypeBinary || args.size() > 1) return false;
        std::size_t count = size_ - position_;
        if (!args.empty() && !args[0].isEmpty()) {
            long long asked = 0;
            if (!integerOf(args[0], asked) || asked < adReadAll) return false;
            if (asked >= 0) count = std::min(count, static_cast<std::size_t>(asked));
        }
        const std::string bytes = load(position_, count);
        result = Bytes(bytes.begin(), bytes.end());
        position_ += count;
        return true;
    }

    bool writeText(const VariantArgs& args) {
        if (type_ != adTypeText || !charset_ || args.empty() || args.size() > 2 ||
            !(args[0].isText() || args[0].isEmpty()))
            return false;
        long long options = 0;
        if (args.size() == 2 && !args[1].isEmpty() && !integerOf(args[1], options)) return false;
        std::string text;
        if (!decode(kTextCharset, args[0].toText(), text)) return false;
        if (options & adWriteLine) text += kUtf32LineBreak;
        std::string bytes;
        if (!encode(*charset_, text, bytes)) return false;
        store(bytes);
        return true;
    }

    bool readText(const VariantArgs& args, Variant& result) {
        if (type_ != adTypeText || !charset_ || args.size() > 1) return false;
        // Reading a number of characters or a line is not offered; everything else is.
        long long count = adReadAll;
        if (!args.empty() && !args[0].isEmpty() && (!integerOf(args[0], count) || count != adReadAll))
            return false;
        std::string text;
        if (!decode(*charset_, load(position_, size_ - position_), text)) return false;
        if (position_ == 0 && charset_->hasByteOrderMark && text.starts_with(kUtf32ByteOrderMark))
            text.erase(0, kUtf32ByteOrderMark.size());
        std::string out;
        if (!encode(kTextCharset, text, out)) return false;
        position_ = size_;
        result = Text(std::move(out));
        return true;
    }

    int type_ = adTypeText;
    long long mode_ = 0;
    bool open_ = false;
    std::string buffer_;  // the stored bytes; zero bytes follow up to size_
    std::size_t size_ = 0;
    std::size_t position_ = 0;
    Text charsetName_ = "Unicode";
    const Charset* charset_ = findCharset("Unicode");
};

}  // namespace

std::shared_ptr<Dispatch> makeAdodbStream() {
    try {
        return std::make_shared<AdodbStream>();
    } catch (...) {
        return nullptr;
    }
}
