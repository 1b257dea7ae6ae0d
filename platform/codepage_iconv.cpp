#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* charsetOf(unsigned codePage) {
    switch (codePage) {
    case CP_ACP:
    case CP_GBK: return "GB18030";
    case CP_UTF8: return "UTF-8";
    default: return nullptr;
    }
}

struct IconvClose {
    void operator()(iconv_t* cd) const {
        iconv_close(*cd);
        delete cd;
    }
};
using IconvHandle = std::unique_ptr<iconv_t, IconvClose>;

IconvHandle openIconv(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return IconvHandle(new iconv_t(cd));
}

// The converter for a direction, kept open for the calling thread: opening one loads the
// charset's module, and closing the last one unloads it again, which costs more than a short
// conversion. A descriptor holds shift state, so threads do not share one.
iconv_t* threadIconv(const char* to, const char* from) {
    struct Cached {
        const char* to;
        const char* from;
        IconvHandle handle;
    };
    thread_local std::vector<Cached> cache;
    for (Cached& c : cache)
        if (std::string_view(c.to) == to && std::string_view(c.from) == from) return c.handle.get();
    IconvHandle opened = openIconv(to, from);
    if (!opened) return nullptr;
    cache.push_back({to, from, std::move(opened)});
    return cache.back().handle.get();
}

// Converts all of `in`, replacing each undecodable input unit (`unitSize` bytes) by
// `replacement`, which is already in the target encoding.
std::string convertAll(iconv_t cd, const char* in, std::size_t inSize, std::size_t unitSize,
                       std::string_view replacement) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a kept descriptor starts from its initial state
    std::string out;
    out.resize(inSize * 4 + 16);
    char* inPtr = const_cast<char*>(in);
    std::size_t inLeft = inSize;
    std::size_t used = 0;
    while (true) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        std::size_t rc = iconv(cd, inLeft ? &inPtr : nullptr, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) break;
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EILSEQ || errno == EINVAL) {
            // EINVAL: an incomplete sequence at the very end; it is malformed too.
            out.replace(used, 0, replacement);
            used += replacement.size();
            std::size_t skip = inLeft < unitSize ? inLeft : unitSize;
            inPtr += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (out.size() - used < 16) out.resize(out.size() * 2 + 16);
            if (inLeft == 0) break;
        } else {
            break;
        }
    }
    out.resize(used);
    return out;
}

}  // namespace

int MultiByteToWideChar(unsigned codePage, unsigned long /*flags*/, const char* multiByte,
                        int multiByteLength, char16_t* wide, int wideLength) {
    const char* charset = charsetOf(codePage);
    if (!charset || !multiByte || multiByteLength < -1 || wideLength < 0) return 0;
    std::size_t inSize = multiByteLength == -1 ? std::strlen(multiByte) + 1
                                               : static_cast<std::size_t>(multiByteLength);
    if (inSize == 0) return 0;
    iconv_t* cd = threadIconv("UTF-16LE", charset);
    if (!cd) return 0;
    static constexpr char replacement[] = {'\xFD', '\xFF'};
    std::string units = convertAll(*cd, multiByte, inSize, 1, std::string_view(replacement, 2));
    int needed = static_cast<int>(units.size() / 2);
    if (wideLength == 0) return needed;
    if (!wide || wideLength < needed) return 0;
    std::memcpy(wide, units.data(), units.size());
    return needed;
}

int WideCharToMultiByte(unsigned codePage, unsigned long /*flags*/, const char16_t* wide,
                        int wideLength, char* multiByte, int multiByteLength,
                        const char* /*defaultChar*/, bool* usedDefaultChar) {
    const char* charset = charsetOf(codePage);
    if (!charset || !wide || wideLength < -1 || multiByteLength < 0) return 0;
    std::size_t units = 0;
    if (wideLength == -1) {
        while (wide[units] != 0) ++units;
        ++units;
    } else {
        units = static_cast<std::size_t>(wideLength);
    }
    if (units == 0) return 0;
    iconv_t* cd = threadIconv(charset, "UTF-16LE");
    if (!cd) return 0;
    std::string_view replacement = codePage == CP_UTF8 ? "\xEF\xBF\xBD" : "?";
    std::string bytes = convertAll(*cd, reinterpret_cast<const char*>(wide), units * 2, 2,
                                   replacement);
    if (usedDefaultChar) *usedDefaultChar = false;
    int needed = static_cast<int>(bytes.size());
    if (multiByteLength == 0) return needed;
    if (!multiByte || multiByteLength < needed) return 0;
    std::memcpy(multiByte, bytes.data(), bytes.size());
    return needed;
}
