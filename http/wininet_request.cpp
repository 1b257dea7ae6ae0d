#include "http/wininet_request.h"

#include <algorithm>

#include "http/cookies.h"
#include "http/internet_handle.h"
#include "http/request_compose.h"
#include "http/request_method.h"
#include "text/text.h"

namespace {

constexpr DWORD kHeaderBufferBytes = 5000;
constexpr DWORD kReadChunkBytes = 1024;

// The bytes of a Text body: up to its first zero byte, which ends a Text.
Bytes bodyOf(const Text& body) { return bytesOf(textOf(bytesOf(body))); }

}  // namespace

Bytes requestViaWinInet(const Text& url, const WinInetRequestOptions& options, WinInet& winInet) {
    const int method = options.method < 0 || options.method > 7 ? 0 : options.method;
    const Text verb = httpVerb(method);
    const bool secure = toLowerAscii(leftBytes(url, 8)) == "https://";
    const Text agent = pickUserAgent(options.headers);

    HINTERNET opened = nullptr;
    if (options.proxy.empty()) {
        opened = winInet.InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    } else {
        const Text proxy = secure ? options.proxy : "http=" + options.proxy;
        opened = winInet.InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), "", 0);
    }
    InternetHandle internet(winInet, opened);
    if (!internet) return {};

    // A port beyond 16 bits would be cut to another port by the platform's 16-bit parameter.
    const int port = urlPort(url);
    if (port > 0xFFFF) return {};
    InternetHandle connection(
        winInet, winInet.InternetConnectA(internet.get(), urlHost(url).c_str(),
                                          static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return {};

    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE;
    if (options.cookies) flags |= INTERNET_FLAG_NO_COOKIES;
    if (options.noRedirect) flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
    flags |= secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    InternetHandle request(winInet, winInet.HttpOpenRequestA(connection.get(), verb.c_str(),
                                                             urlPath(url).c_str(), "HTTP/1.1",
                                                             nullptr, nullptr, flags, 0));
    if (!request) return {};

    Text block = options.headers;
    if (options.addDefaultHeaders) block = fillDefaultHeaders(block, url, method == 1);
    block = normalizeHeaders(block);
    block = appendCookieHeader(block, options.cookies.value_or(Text()));

    if (method == 0) {
        winInet.HttpSendRequestA(request.get(), block.c_str(), static_cast<DWORD>(block.size()), "", 0);
    } else {
        const Bytes body = !options.bodyBytes.empty() ? options.bodyBytes : bodyOf(options.body);
        winInet.HttpSendRequestA(request.get(), block.c_str(), static_cast<DWORD>(block.size()),
                                 body.data(), static_cast<DWORD>(body.size()));
    }

    Bytes result;
    std::uint8_t chunk[kReadChunkBytes];
    while (result.size() < kMaxResponseBodyBytes) {
        DWORD count = 0;
        winInet.InternetReadFile(request.get(), chunk, kReadChunkBytes, &count);
        if (count == 0) break;
        const std::size_t take = std::min<std::size_t>(
            std::min<DWORD>(count, kReadChunkBytes), kMaxResponseBodyBytes - result.size());
        result.insert(result.end(), chunk, chunk + take);
    }

    // The buffer starts as blanks and keeps them when the block does not fit.
    Text buffer(kHeaderBufferBytes, ' ');
    DWORD length = kHeaderBufferBytes;
    winInet.HttpQueryInfoA(request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length, nullptr);
    const Text rawHeaders(buffer.c_str());

    request.reset();
    connection.reset();
    internet.reset();

    Text returned = collectSetCookies(rawHeaders);
    if (options.mergeReturnedCookies && options.cookies) returned = mergeCookies(*options.cookies, returned);
    if (options.responseHeaders) *options.responseHeaders = rawHeaders;
    if (options.returnedCookies) *options.returnedCookies = returned;
    return result;
}
