#include "http/winhttp_request.h"

#include <algorithm>
#include <climits>
#include <string>

#include "http/cookies.h"
#include "http/internet_handle.h"
#include "http/request_compose.h"
#include "http/request_method.h"
#include "platform/automation.h"
#include "platform/codepage.h"
#include "platform/com.h"
#include "text/regex_object.h"
#include "text/text.h"
#include "text/text_extract.h"

namespace {

Text failureMessage(int number) {
    switch (number) {
    case 700: return "700 \xB5\xB1\xC7\xB0\xCF\xB5\xCD\xB3\xB2\xBB\xD6\xA7\xB3\xD6WinHttp\xB7\xFE\xCE\xF1!";
    case 701: return "701 \xBD\xE2\xCE\xF6URL\xB5\xD8\xD6\xB7\xCA\xA7\xB0\xDC!";
    case 702: return "702 \xB4\xB4\xBD\xA8WinHttp\xBB\xE1\xBB\xB0\xCA\xA7\xB0\xDC!";
    case 703: return "703 \xB4\xB4\xBD\xA8WinHttp\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC!";
    case 704: return "704 \xB4\xB4\xBD\xA8WinHttp\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";
    case 705: return "705 \xC9\xE8\xD6\xC3\xB3\xAC\xCA\xB1\xCA\xB1\xBC\xE4\xCA\xA7\xB0\xDC!";
    case 707: return "707 \xC9\xE8\xD6\xC3\xB4\xFA\xC0\xED\xC6\xBE\xD6\xA4\xCA\xA7\xB0\xDC!";
    case 708: return "708 \xBD\xFB\xD6\xB9\xD7\xD4\xB6\xAF\xC9\xE8\xD6\xC3" "Cookies\xCA\xA7\xB0\xDC!";
    case 709: return "709 \xD6\xD8\xB6\xA8\xCF\xF2\xC9\xE8\xD6\xC3\xCA\xA7\xB0\xDC!";
    case 710: return "710 \xC9\xE8\xD6\xC3\xD0\xAD\xD2\xE9\xCD\xB7\xCA\xA7\xB0\xDC!";
    case 711: return "711 \xB7\xA2\xCB\xCD\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";
    case 712: return "712 \xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xCF\xEC\xD3\xA6!";
    case 713: return "713 \xB6\xC1\xC8\xA1\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC!";
    default: return {};
    }
}

struct DefaultHeader {
    const char* key;
    const char* line;
    bool postOnly;
};

constexpr DefaultHeader kDefaultHeaders[] = {
    {"User-Agent: ", "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)", false},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*", false},
    {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312", false},
    {"Accept-Language: ", "Accept-Language: zh-cn", false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded", true},
    {"Cache-Control: ", "Cache-Control: no-cache", false},
};

constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// UTF-16 units of little-endian bytes; an odd last byte is not read.
std::u16string unitsOf(const Bytes& bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return units;
}

Bytes bytesOfUnits(const char16_t* units, std::size_t count) {
    Bytes bytes(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
    }
    return bytes;
}

// The zero-terminated UTF-16 form the layer takes.
std::u16string wideOf(const Text& text) {
    std::u16string units = unitsOf(textToWide(text));
    if (!units.empty() && units.back() == u'\0') units.pop_back();
    return units;
}

}  // namespace

Bytes textToWide(const Text& text, bool dropTerminator) {
    if (text.empty()) return {};
    const int count = MultiByteToWideChar(CP_GBK, 0, text.c_str(), -1, nullptr, 0);
    if (count <= 0) return {};
    std::u16string units(static_cast<std::size_t>(count), u'\0');
    MultiByteToWideChar(CP_GBK, 0, text.c_str(), -1, units.data(), count);
    Bytes bytes = bytesOfUnits(units.data(), units.size());
    if (dropTerminator) bytes.resize(bytes.size() - 2);
    return bytes;
}

Text wideToText(const Bytes& bytes) {
    std::u16string units = unitsOf(bytes);
    units.resize(std::min(units.size(), units.find(u'\0')));
    if (units.empty()) return {};
    const int length = static_cast<int>(units.size());
    const int size = WideCharToMultiByte(CP_GBK, WC_COMPOSITECHECK, units.data(), length, nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return {};
    std::string buffer(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_GBK, WC_COMPOSITECHECK, units.data(), length, buffer.data(), size, nullptr,
                        nullptr);
    return Text(buffer.c_str());
}

Text requestViaWinHttp(const Text& url, const WinHttpRequestOptions& options, WinHttp& winHttp) {
    // Constructed first and destroyed last: it holds one COM initialisation for the whole call.
    RegexObject regex;
    auto fail = [&options](int number) {
        if (options.statusText) *options.statusText = failureMessage(number);
        return Text();
    };

    if (!winHttp.WinHttpCheckPlatform()) return fail(700);

    const std::u16string address = wideOf(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
        static_cast<DWORD>(-1);
    if (!winHttp.WinHttpCrackUrl(address.c_str(), 0, 0, &parts)) return fail(701);
    auto part = [](const char16_t* at, DWORD length) {
        return at && length ? std::u16string(at, length) : std::u16string();
    };
    const std::u16string hostUnits = part(parts.lpszHostName, parts.dwHostNameLength);
    const Text host = wideToText(bytesOfUnits(hostUnits.data(), hostUnits.size()));
    const INTERNET_PORT port = parts.nPort;
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    std::u16string objectName = part(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (objectName.empty()) objectName = u"/";
    else objectName += part(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    HINTERNET opened = nullptr;
    if (options.proxy.empty()) {
        opened = winHttp.WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, 0);
    } else {
        const std::u16string proxyName = wideOf(secure ? options.proxy : "http=" + options.proxy);
        opened = winHttp.WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxyName.c_str(),
                                     WINHTTP_NO_PROXY_BYPASS, 0);
    }
    InternetHandle session(winHttp, opened);
    if (!session) return fail(702);

    InternetHandle connection(winHttp, winHttp.WinHttpConnect(session.get(), wideOf(host).c_str(), port, 0));
    if (!connection) return fail(703);

    const int method = options.method < 0 || options.method > 7 ? 0 : options.method;
    InternetHandle request(winHttp, winHttp.WinHttpOpenRequest(connection.get(), wideOf(httpVerb(method)).c_str(),
                                                               objectName.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                               WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                               secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return fail(704);

    // Seconds are widened before multiplying: a large count must not overflow into a negative.
    const int timeout = options.timeoutSeconds > 0
                            ? static_cast<int>(std::min<long long>(options.timeoutSeconds * 1000LL, INT_MAX))
                            : 30000;
    if (!winHttp.WinHttpSetTimeouts(request.get(), timeout, timeout, timeout, timeout)) return fail(705);

    if (!options.userName.empty() && !options.password.empty() &&
        !winHttp.WinHttpSetCredentials(request.get(), WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_BASIC,
                                       wideOf(options.userName).c_str(), wideOf(options.password).c_str(),
                                       nullptr))
        return fail(707);
    if (!options.proxyUserName.empty() && !options.proxyPassword.empty() &&
        !winHttp.WinHttpSetCredentials(request.get(), WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC,
                                       wideOf(options.proxyUserName).c_str(),
                                       wideOf(options.proxyPassword).c_str(), nullptr))
        return fail(707);

    auto setOption = [&](DWORD option, DWORD value) {
        return winHttp.WinHttpSetOption(request.get(), option, &value, sizeof value);
    };
    if (!options.cookies.empty()) {
        // Revocation checking as asked for; automatic cookies go off here too, so that the
        // request carries exactly the cookie text given and keeps nothing of its own.
        if (!setOption(WINHTTP_OPTION_ENABLE_FEATURE, WINHTTP_ENABLE_SSL_REVOCATION)) return fail(708);
    }
    if (!setOption(WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES)) return fail(708);
    if (options.noRedirect && !setOption(WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS))
        return fail(709);

    Text block = options.headers.empty() ? Text() : options.headers + "\r\n";
    if (options.addDefaultHeaders) {
        for (const DefaultHeader& row : kDefaultHeaders) {
            if (row.postOnly && method != 1) continue;
            if (!containsText(block, row.key, true)) block += std::string(row.line) + "\r\n";
        }
    }
    block = normalizeHeaders(block);
    if (!containsText(block, "Cookie: ", true) && !options.cookies.empty())
        block += "\r\nCookie: " + options.cookies + "\r\n";
    // An empty block has nothing to add: the step is skipped rather than failed.
    if (const std::u16string wide = wideOf(block); !wide.empty() &&
        !winHttp.WinHttpAddRequestHeaders(request.get(), wide.c_str(), static_cast<DWORD>(wide.size()),
                                          WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return fail(710);

    Text body = textOf(bytesOf(options.body));
    const DWORD bodyLength = static_cast<DWORD>(body.size());
    if (!winHttp.WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                    body.empty() ? WINHTTP_NO_REQUEST_DATA : body.data(), bodyLength,
                                    bodyLength, 0))
        return fail(711);
    if (!winHttp.WinHttpReceiveResponse(request.get(), nullptr)) return fail(712);

    Bytes bodyBytes;
    for (;;) {
        DWORD available = 0;
        if (!winHttp.WinHttpQueryDataAvailable(request.get(), &available) || available < 1) break;
        if (bodyBytes.size() >= kMaxResponseBodyBytes) {
            fail(713);  // more than the bound: ended as a failed read
            break;
        }
        const std::size_t wanted = std::min<std::size_t>(available, kMaxResponseBodyBytes - bodyBytes.size());
        Bytes piece(wanted, 0);
        DWORD read = 0;
        if (!winHttp.WinHttpReadData(request.get(), piece.data(), static_cast<DWORD>(wanted), &read)) {
            fail(713);
            break;
        }
        bodyBytes.insert(bodyBytes.end(), piece.begin(), piece.begin() + std::min<std::size_t>(read, wanted));
    }

    DWORD needed = 0, index = 0;
    winHttp.WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                nullptr, &needed, &index);
    Bytes headerBuffer(needed, 0);
    DWORD length = needed;
    index = 0;
    Text result;
    if (winHttp.WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                    headerBuffer.data(), &length, &index)) {
        const Text rawHeaders = wideToText(headerBuffer);
        if (options.responseHeaders) *options.responseHeaders = rawHeaders;
        if (options.statusText) {
            const int lineEnd = findText(rawHeaders, "\r\n", 10);
            *options.statusText = lineEnd ? midBytes(rawHeaders, 10, lineEnd - 10) : Text();
        }

        if (options.redirectAddress) {
            for (const Text& line : splitText(rawHeaders, "\r\n"))
                if (equalsIgnoreCase(leftBytes(line, 10), "Location: "))
                    *options.redirectAddress = line.substr(10);
        }
        // Built apart and assigned once, so that a caller's old value is neither appended to
        // nor cut short.
        Text returned = collectSetCookies(rawHeaders);
        if (options.mergeReturnedCookies && !options.cookies.empty())
            returned = mergeCookies(options.cookies, returned);
        if (options.returnedCookies) *options.returnedCookies = returned;

        if (options.responseBody) *options.responseBody = bodyBytes;
        result = textOf(bodyBytes);

        CoInitialize(nullptr);
        Text charset;
        if (regex.execute(kCharsetPattern, leftBytes(result, 1024))) charset = regex.subMatchText(1, 1);
        if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
            AutomationObject stream;
            if (stream.create("Adodb.Stream")) {
                stream.writeProperty("Type", 1);
                stream.writeProperty("Mode", 3);
                stream.callMethod("Open");
                stream.callMethod("Write", {Variant(bodyBytes)});
                stream.writeProperty("Position", 0);
                stream.writeProperty("Type", 2);
                stream.writeProperty("Charset", charset);
                // A charset the stream does not know leaves the body text as it was read.
                if (Variant text = stream.callMethod("ReadText"); text.isText()) result = text.toText();
                stream.callMethod("Close");
                stream.release();
            }
        }
        CoUninitialize();
    }

    request.reset();
    connection.reset();
    session.reset();
    return result;
}
