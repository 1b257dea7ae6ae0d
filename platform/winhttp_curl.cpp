#include "platform/winhttp.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "platform/curl_transfer.h"
#include "platform/handle_table.h"

namespace {

std::u16string_view viewOf(const char16_t* text) {
    return text ? std::u16string_view(text) : std::u16string_view{};
}

std::string narrow(std::u16string_view text, unsigned codePage) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    int n = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), n, nullptr, nullptr);
    return out;
}

std::u16string widen(std::string_view text, unsigned codePage) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    int n = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (n <= 0) return {};
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), n);
    return out;
}

char16_t lowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

std::string_view nameOf(std::string_view line) {
    std::string_view name = line.substr(0, line.find(':'));
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    return name;
}

bool sameName(std::string_view a, std::string_view b) {
    a = nameOf(a);
    b = nameOf(b);
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

struct Timeouts {
    long resolveMs = 0;
    long connectMs = 60000;
    long sendMs = 30000;
    long receiveMs = 30000;
};

struct Session : HandleTable::Object {
    std::string agent;
    std::string proxyList;
    Timeouts timeouts;
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
};

struct Connection : HandleTable::Object {
    std::string agent;
    std::string proxyList;
    Timeouts timeouts;
    DWORD redirectPolicy = 0;
    std::string host;
    INTERNET_PORT port = 0;
};

struct Request : HandleTable::Object {
    ExchangeRequest request;
    Timeouts timeouts;
    DWORD redirectPolicy = 0;
    DWORD disabled = 0;
    std::unique_ptr<CurlExchange> exchange;
};

// Copies or points at one part of a split address, as URL_COMPONENTS asks for it.
bool fillPart(char16_t*& pointer, DWORD& length, const char16_t* url, std::size_t at,
              std::size_t count) {
    if (!pointer && length == 0) return true;  // not asked for
    if (!pointer) {
        pointer = const_cast<char16_t*>(url + at);
        length = static_cast<DWORD>(count);
        return true;
    }
    if (count + 1 > length) {
        length = static_cast<DWORD>(count + 1);
        return false;
    }
    std::copy_n(url + at, count, pointer);
    pointer[count] = u'\0';
    length = static_cast<DWORD>(count);
    return true;
}

// Applies header lines to a request's list as WinHttpAddRequestHeaders' modifiers say.
bool applyHeaderLines(std::vector<std::string>& headers, std::string_view block, DWORD modifiers) {
    bool any = false;
    while (!block.empty()) {
        std::size_t end = block.find('\n');
        std::string_view line = block.substr(0, end);
        block = end == std::string_view::npos ? std::string_view{} : block.substr(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty()) continue;
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || nameOf(line).empty()) return false;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        const std::string text(line);
        const bool present = std::any_of(headers.begin(), headers.end(),
                                         [&text](const std::string& h) { return sameName(h, text); });
        if (modifiers & WINHTTP_ADDREQ_FLAG_REPLACE) {
            std::erase_if(headers, [&text](const std::string& h) { return sameName(h, text); });
            if (!value.empty() && (present || (modifiers & WINHTTP_ADDREQ_FLAG_ADD)))
                headers.push_back(text);
        } else if (modifiers & WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) {
            if (present) return false;
            headers.push_back(text);
        } else {
            headers.push_back(text);
        }
        any = true;
    }
    return any;
}

class CurlWinHttp final : public WinHttp {
public:
    bool WinHttpCheckPlatform() override { return curlReady(); }

    bool WinHttpCrackUrl(const char16_t* url, DWORD urlLength, DWORD,
                         URL_COMPONENTS* components) override {
        if (!url || !components) return false;
        const std::u16string_view text = urlLength ? std::u16string_view(url, urlLength) : viewOf(url);
        const std::size_t schemeEnd = text.find(u"://");
        if (schemeEnd == std::u16string_view::npos) return false;
        const std::u16string_view scheme = text.substr(0, schemeEnd);
        int schemeNumber = 0;
        if (equalsIgnoreCase(scheme, u"http")) schemeNumber = INTERNET_SCHEME_HTTP;
        else if (equalsIgnoreCase(scheme, u"https")) schemeNumber = INTERNET_SCHEME_HTTPS;
        else return false;

        const std::size_t authorityAt = schemeEnd + 3;
        std::size_t authorityEnd = text.find_first_of(u"/?#", authorityAt);
        if (authorityEnd == std::u16string_view::npos) authorityEnd = text.size();
        std::size_t hostAt = authorityAt;
        std::size_t userAt = authorityAt, userCount = 0, passwordAt = authorityAt, passwordCount = 0;
        const std::size_t at = text.substr(0, authorityEnd).rfind(u'@');
        if (at != std::u16string_view::npos && at >= authorityAt) {
            const std::size_t colon = text.substr(0, at).find(u':', authorityAt);
            userCount = (colon == std::u16string_view::npos ? at : colon) - authorityAt;
            if (colon != std::u16string_view::npos) {
                passwordAt = colon + 1;
                passwordCount = at - passwordAt;
            }
            hostAt = at + 1;
        }
        std::size_t hostCount = 0, portAt = std::u16string_view::npos;
        if (hostAt < authorityEnd && text[hostAt] == u'[') {
            const std::size_t close = text.find(u']', hostAt);
            if (close == std::u16string_view::npos || close >= authorityEnd) return false;
            ++hostAt;
            hostCount = close - hostAt;
            if (close + 1 < authorityEnd) {
                if (text[close + 1] != u':') return false;
                portAt = close + 2;
            }
        } else {
            const std::size_t colon = text.substr(0, authorityEnd).find(u':', hostAt);
            hostCount = (colon == std::u16string_view::npos ? authorityEnd : colon) - hostAt;
            if (colon != std::u16string_view::npos) portAt = colon + 1;
        }
        if (hostCount == 0) return false;
        int port = schemeNumber == INTERNET_SCHEME_HTTPS ? INTERNET_DEFAULT_HTTPS_PORT
                                                         : INTERNET_DEFAULT_HTTP_PORT;
        if (portAt != std::u16string_view::npos && portAt < authorityEnd) {
            port = 0;
            for (std::size_t i = portAt; i < authorityEnd; ++i) {
                if (text[i] < u'0' || text[i] > u'9') return false;
                port = port * 10 + (text[i] - u'0');
                if (port > 65535) return false;
            }
        }
        std::size_t pathEnd = text.find_first_of(u"?#", authorityEnd);
        if (pathEnd == std::u16string_view::npos) pathEnd = text.size();

        URL_COMPONENTS& c = *components;
        bool ok = fillPart(c.lpszScheme, c.dwSchemeLength, url, 0, schemeEnd);
        ok = fillPart(c.lpszHostName, c.dwHostNameLength, url, hostAt, hostCount) && ok;
        ok = fillPart(c.lpszUserName, c.dwUserNameLength, url, userAt, userCount) && ok;
        ok = fillPart(c.lpszPassword, c.dwPasswordLength, url, passwordAt, passwordCount) && ok;
        ok = fillPart(c.lpszUrlPath, c.dwUrlPathLength, url, authorityEnd, pathEnd - authorityEnd) && ok;
        ok = fillPart(c.lpszExtraInfo, c.dwExtraInfoLength, url, pathEnd, text.size() - pathEnd) && ok;
        c.nScheme = schemeNumber;
        c.nPort = static_cast<INTERNET_PORT>(port);
        return ok;
    }

    HINTERNET WinHttpOpen(const char16_t* agent, DWORD accessType, const char16_t* proxyName,
                          const char16_t*, DWORD) override {
        if (!curlReady()) return nullptr;
        auto session = std::make_unique<Session>();
        session->agent = narrow(viewOf(agent), CP_ACP);
        if (accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
            session->proxyList = narrow(viewOf(proxyName), CP_ACP);
            if (session->proxyList.empty()) return nullptr;
        } else if (accessType != WINHTTP_ACCESS_TYPE_NO_PROXY &&
                   accessType != WINHTTP_ACCESS_TYPE_DEFAULT_PROXY) {
            return nullptr;
        }
        return handles_.add(std::move(session));
    }

    HINTERNET WinHttpConnect(HINTERNET sessionHandle, const char16_t* serverName,
                             INTERNET_PORT serverPort, DWORD) override {
        auto* session = handles_.find<Session>(sessionHandle);
        const std::string host = narrow(viewOf(serverName), CP_UTF8);
        if (!session || host.empty()) return nullptr;
        auto connection = std::make_unique<Connection>();
        connection->agent = session->agent;
        connection->proxyList = session->proxyList;
        connection->timeouts = session->timeouts;
        connection->redirectPolicy = session->redirectPolicy;
        connection->host = host;
        connection->port = serverPort;
        return handles_.add(std::move(connection));
    }

    HINTERNET WinHttpOpenRequest(HINTERNET connect, const char16_t* verb,
                                 const char16_t* objectName, const char16_t* version,
                                 const char16_t* referrer, const char16_t** acceptTypes,
                                 DWORD flags) override {
        auto* connection = handles_.find<Connection>(connect);
        if (!connection) return nullptr;
        const std::u16string_view versionText = viewOf(version);
        if (!versionText.empty() && versionText != u"HTTP/1.1" && versionText != u"HTTP/1.0")
            return nullptr;
        auto request = std::make_unique<Request>();
        ExchangeRequest& r = request->request;
        r.secure = (flags & WINHTTP_FLAG_SECURE) != 0;
        r.host = connection->host;
        r.port = connection->port ? connection->port
                                  : (r.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
        r.target = narrow(viewOf(objectName), CP_UTF8);
        if (r.target.empty()) r.target = "/";
        r.method = narrow(viewOf(verb), CP_UTF8);
        if (r.method.empty()) r.method = "GET";
        r.http10 = versionText == u"HTTP/1.0";
        r.userAgent = connection->agent;
        r.proxyList = connection->proxyList;
        if (referrer && *referrer) r.headers.push_back("Referer: " + narrow(viewOf(referrer), CP_ACP));
        if (acceptTypes && *acceptTypes) {
            std::string accept = "Accept: ";
            for (const char16_t** type = acceptTypes; *type; ++type)
                accept += (type == acceptTypes ? "" : ", ") + narrow(viewOf(*type), CP_ACP);
            r.headers.push_back(accept);
        }
        request->timeouts = connection->timeouts;
        request->redirectPolicy = connection->redirectPolicy;
        return handles_.add(std::move(request));
    }

    bool WinHttpSetTimeouts(HINTERNET handle, int resolveTimeout, int connectTimeout,
                            int sendTimeout, int receiveTimeout) override {
        for (int value : {resolveTimeout, connectTimeout, sendTimeout, receiveTimeout})
            if (value < -1) return false;
        auto limit = [](int value) { return value > 0 ? static_cast<long>(value) : 0L; };
        const Timeouts timeouts{limit(resolveTimeout), limit(connectTimeout), limit(sendTimeout),
                                limit(receiveTimeout)};
        if (auto* request = handles_.find<Request>(handle)) {
            if (request->exchange) return false;
            request->timeouts = timeouts;
        } else if (auto* session = handles_.find<Session>(handle)) {
            session->timeouts = timeouts;
        } else {
            return false;
        }
        return true;
    }

    bool WinHttpSetCredentials(HINTERNET handle, DWORD authTargets, DWORD authScheme,
                               const char16_t* userName, const char16_t* password, void*) override {
        auto* request = handles_.find<Request>(handle);
        if (!request || request->exchange || authScheme != WINHTTP_AUTH_SCHEME_BASIC || !userName ||
            !password)
            return false;
        auto pair = std::make_pair(narrow(viewOf(userName), CP_ACP), narrow(viewOf(password), CP_ACP));
        if (authTargets == WINHTTP_AUTH_TARGET_SERVER) request->request.credentials = std::move(pair);
        else if (authTargets == WINHTTP_AUTH_TARGET_PROXY) request->request.proxyCredentials = std::move(pair);
        else return false;
        return true;
    }

    bool WinHttpSetOption(HINTERNET handle, DWORD option, void* buffer, DWORD bufferLength) override {
        if (!buffer || bufferLength != sizeof(DWORD)) return false;
        DWORD value = 0;
        std::memcpy(&value, buffer, sizeof value);
        auto* request = handles_.find<Request>(handle);
        if (request && request->exchange) return false;
        switch (option) {
        case WINHTTP_OPTION_DISABLE_FEATURE:
            if (!request || (value & ~DWORD{0x0F}) || value == 0) return false;
            request->disabled |= value;
            return true;
        case WINHTTP_OPTION_ENABLE_FEATURE:
            // Revocation checking is taken as asked; the TLS library here has no revocation
            // lists to consult.
            return request && value != 0 && (value & ~DWORD{0x03}) == 0;
        case WINHTTP_OPTION_REDIRECT_POLICY:
            if (value > WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS) return false;
            if (request) {
                request->redirectPolicy = value;
            } else if (auto* session = handles_.find<Session>(handle)) {
                session->redirectPolicy = value;
            } else {
                return false;
            }
            return true;
        default:
            return false;
        }
    }

    bool WinHttpAddRequestHeaders(HINTERNET handle, const char16_t* headers, DWORD headersLength,
                                  DWORD modifiers) override {
        auto* request = handles_.find<Request>(handle);
        if (!request || request->exchange || !headers) return false;
        const std::u16string_view block = headersLength == static_cast<DWORD>(-1)
                                              ? viewOf(headers)
                                              : std::u16string_view(headers, headersLength);
        return applyHeaderLines(request->request.headers, narrow(block, CP_ACP), modifiers);
    }

    bool WinHttpSendRequest(HINTERNET handle, const char16_t* headers, DWORD headersLength,
                            void* optional, DWORD optionalLength, DWORD totalLength,
                            DWORD_PTR) override {
        auto* request = handles_.find<Request>(handle);
        if (!request || request->exchange || totalLength != optionalLength ||
            (optionalLength && !optional))
            return false;
        ExchangeRequest r = request->request;
        if (headers && headersLength) {
            const std::u16string_view block = headersLength == static_cast<DWORD>(-1)
                                                  ? viewOf(headers)
                                                  : std::u16string_view(headers, headersLength);
            if (!applyHeaderLines(r.headers, narrow(block, CP_ACP), WINHTTP_ADDREQ_FLAG_ADD))
                return false;
        }
        if (optionalLength) {
            auto* bytes = static_cast<const std::uint8_t*>(optional);
            r.body.assign(bytes, bytes + optionalLength);
        }
        const bool noRedirects = (request->disabled & WINHTTP_DISABLE_REDIRECTS) ||
                                 request->redirectPolicy == WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        r.redirects.follow = !noRedirects;
        r.redirects.httpsToHttp = request->redirectPolicy == WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS;
        r.redirects.httpToHttps = true;
        if (request->disabled & WINHTTP_DISABLE_AUTHENTICATION) {
            r.credentials.reset();
            r.proxyCredentials.reset();
        }
        const Timeouts& t = request->timeouts;
        r.limits = {t.resolveMs, t.connectMs, t.sendMs, t.receiveMs};
        request->exchange = std::make_unique<CurlExchange>(std::move(r));
        return request->exchange->send();
    }

    bool WinHttpReceiveResponse(HINTERNET handle, void*) override {
        auto* request = handles_.find<Request>(handle);
        return request && request->exchange && request->exchange->receive();
    }

    bool WinHttpQueryDataAvailable(HINTERNET handle, DWORD* numberOfBytesAvailable) override {
        auto* request = handles_.find<Request>(handle);
        if (!request || !request->exchange) return false;
        std::size_t available = 0;
        if (!request->exchange->waitForBody(available)) return false;
        if (numberOfBytesAvailable)
            *numberOfBytesAvailable = static_cast<DWORD>(std::min<std::size_t>(available, 0x7FFFFFFF));
        return true;
    }

    bool WinHttpReadData(HINTERNET handle, void* buffer, DWORD numberOfBytesToRead,
                         DWORD* numberOfBytesRead) override {
        if (!numberOfBytesRead) return false;
        *numberOfBytesRead = 0;
        auto* request = handles_.find<Request>(handle);
        if (!request || !request->exchange || (numberOfBytesToRead && !buffer)) return false;
        std::size_t read = 0;
        if (!request->exchange->read(buffer, numberOfBytesToRead, read)) return false;
        *numberOfBytesRead = static_cast<DWORD>(read);
        return true;
    }

    bool WinHttpQueryHeaders(HINTERNET handle, DWORD infoLevel, const char16_t*, void* buffer,
                             DWORD* bufferLength, DWORD*) override {
        auto* request = handles_.find<Request>(handle);
        if (!request || !request->exchange || !bufferLength ||
            infoLevel != WINHTTP_QUERY_RAW_HEADERS_CRLF)
            return false;
        const std::string* block = request->exchange->headerBlock();
        if (!block) return false;
        const std::u16string wide = widen(*block, CP_ACP);
        const std::size_t needed = (wide.size() + 1) * sizeof(char16_t);
        if (!buffer || *bufferLength < needed) {
            *bufferLength = static_cast<DWORD>(needed);
            return false;
        }
        std::memcpy(buffer, wide.c_str(), needed);
        *bufferLength = static_cast<DWORD>(wide.size() * sizeof(char16_t));
        return true;
    }

    bool WinHttpCloseHandle(HINTERNET handle) override { return handles_.close(handle); }

private:
    HandleTable handles_;
};

}  // namespace

WinHttp& systemWinHttp() {
    static CurlWinHttp instance;
    return instance;
}

std::unique_ptr<WinHttp> makeWinHttp() { return std::make_unique<CurlWinHttp>(); }
