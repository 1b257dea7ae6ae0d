#include "platform/wininet.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "platform/curl_transfer.h"
#include "platform/handle_table.h"

namespace {

struct Session : HandleTable::Object {
    std::string agent;
    std::string proxyList;
};

struct Connection : HandleTable::Object {
    std::string agent;
    std::string proxyList;
    std::string host;
    INTERNET_PORT port = 0;
    std::optional<std::pair<std::string, std::string>> credentials;
};

struct Request : HandleTable::Object {
    ExchangeRequest request;
    std::unique_ptr<CurlExchange> exchange;
};

bool sameName(std::string_view a, std::string_view b) {
    auto nameOf = [](std::string_view line) {
        std::string_view name = line.substr(0, line.find(':'));
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        return name;
    };
    a = nameOf(a);
    b = nameOf(b);
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// Lines of a CR LF block, each replacing a header of the same name.
void addHeaderLines(std::vector<std::string>& headers, std::string_view block) {
    while (!block.empty()) {
        std::size_t end = block.find('\n');
        std::string_view line = block.substr(0, end);
        block = end == std::string_view::npos ? std::string_view{} : block.substr(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.find(':') == std::string_view::npos) continue;
        std::string text(line);
        std::erase_if(headers, [&text](const std::string& h) { return sameName(h, text); });
        headers.push_back(std::move(text));
    }
}

class CurlWinInet final : public WinInet {
public:
    explicit CurlWinInet(const WinInetTimeouts& timeouts) : timeouts_(timeouts) {}

    HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy, const char*,
                            DWORD) override {
        if (!curlReady()) return nullptr;
        auto session = std::make_unique<Session>();
        session->agent = agent ? agent : "";
        if (accessType == INTERNET_OPEN_TYPE_PROXY) {
            if (!proxy || !*proxy) return nullptr;
            session->proxyList = proxy;
        } else if (accessType != INTERNET_OPEN_TYPE_DIRECT &&
                   accessType != INTERNET_OPEN_TYPE_PRECONFIG) {
            return nullptr;
        }
        return handles_.add(std::move(session));
    }

    HINTERNET InternetConnectA(HINTERNET internet, const char* serverName, INTERNET_PORT port,
                               const char* userName, const char* password, DWORD service, DWORD,
                               DWORD_PTR) override {
        auto* session = handles_.find<Session>(internet);
        if (!session || service != INTERNET_SERVICE_HTTP || !serverName || !*serverName)
            return nullptr;
        auto connection = std::make_unique<Connection>();
        connection->agent = session->agent;
        connection->proxyList = session->proxyList;
        connection->host = serverName;
        connection->port = port;
        if (userName && *userName)
            connection->credentials.emplace(userName, password ? password : "");
        return handles_.add(std::move(connection));
    }

    HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* objectName,
                               const char* version, const char* referrer,
                               const char** acceptTypes, DWORD flags, DWORD_PTR) override {
        auto* connection = handles_.find<Connection>(connect);
        if (!connection) return nullptr;
        auto request = std::make_unique<Request>();
        ExchangeRequest& r = request->request;
        r.secure = (flags & INTERNET_FLAG_SECURE) != 0;
        r.host = connection->host;
        r.port = connection->port ? connection->port
                                  : (r.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
        r.target = objectName && *objectName ? objectName : "/";
        r.method = verb && *verb ? verb : "GET";
        r.http10 = version && std::strcmp(version, "HTTP/1.0") == 0;
        r.userAgent = connection->agent;
        r.proxyList = connection->proxyList;
        r.credentials = connection->credentials;
        r.redirects.follow = (flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;
        r.redirects.httpToHttps = (flags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS) != 0;
        r.redirects.httpsToHttp = (flags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP) != 0;
        r.limits = {0, static_cast<long>(timeouts_.connectMs), static_cast<long>(timeouts_.sendMs),
                    static_cast<long>(timeouts_.receiveMs)};
        if (referrer && *referrer) r.headers.push_back(std::string("Referer: ") + referrer);
        if (acceptTypes && *acceptTypes) {
            std::string accept = "Accept: ";
            for (const char** type = acceptTypes; *type; ++type)
                accept += (type == acceptTypes ? "" : ", ") + std::string(*type);
            r.headers.push_back(accept);
        }
        return handles_.add(std::move(request));
    }

    bool HttpSendRequestA(HINTERNET handle, const char* headers, DWORD headersLength,
                          const void* optional, DWORD optionalLength) override {
        auto* request = handles_.find<Request>(handle);
        if (!request || request->exchange) return false;
        if (optionalLength && !optional) return false;
        ExchangeRequest r = request->request;
        if (headers) {
            std::size_t length = headersLength == static_cast<DWORD>(-1) ? std::strlen(headers)
                                                                         : headersLength;
            addHeaderLines(r.headers, std::string_view(headers, length));
        }
        if (r.method != "GET" && r.method != "HEAD" && optionalLength) {
            auto* bytes = static_cast<const std::uint8_t*>(optional);
            r.body.assign(bytes, bytes + optionalLength);
        }
        request->exchange = std::make_unique<CurlExchange>(std::move(r));
        return request->exchange->send() && request->exchange->receive();
    }

    bool InternetReadFile(HINTERNET handle, void* buffer, DWORD numberOfBytesToRead,
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

    bool HttpQueryInfoA(HINTERNET handle, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                        DWORD*) override {
        auto* request = handles_.find<Request>(handle);
        if (!request || !request->exchange || !bufferLength ||
            infoLevel != HTTP_QUERY_RAW_HEADERS_CRLF)
            return false;
        const std::string* block = request->exchange->headerBlock();
        if (!block) return false;
        const std::size_t needed = block->size() + 1;
        if (!buffer || *bufferLength < needed) {
            *bufferLength = static_cast<DWORD>(needed);
            return false;
        }
        std::memcpy(buffer, block->c_str(), needed);
        *bufferLength = static_cast<DWORD>(block->size());
        return true;
    }

    bool InternetCloseHandle(HINTERNET handle) override { return handles_.close(handle); }

private:
    WinInetTimeouts timeouts_;
    HandleTable handles_;
};

}  // namespace

WinInet& systemWinInet() {
    static CurlWinInet instance{WinInetTimeouts{}};
    return instance;
}

std::unique_ptr<WinInet> makeWinInet(const WinInetTimeouts& timeouts) {
    return std::make_unique<CurlWinInet>(timeouts);
}
