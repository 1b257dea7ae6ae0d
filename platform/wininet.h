#pragma once
// The WinINet functions a page request uses, spelled as wininet.dll spells them.
//
// A request goes: InternetOpenA (agent, proxy) -> InternetConnectA (host, port) ->
// HttpOpenRequestA (verb, path, flags) -> HttpSendRequestA, which returns once the final answer's
// header block has arrived or the exchange failed -> InternetReadFile until it delivers 0 bytes ->
// HttpQueryInfoA -> InternetCloseHandle for each handle. Handles belong to the instance that made
// them; each is closed once. Calls on different handles may run on different threads at once.
//
// Behaviour every instance shares:
// - HTTP/1.1 only; certificates are verified (the trusted roots: see systemWinInet).
// - Redirects are followed (at most 10) unless INTERNET_FLAG_NO_AUTO_REDIRECT is given; a
//   redirect from http to https is followed only with INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS,
//   one from https to http only with INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP. A redirect that is
//   not followed comes back as the answer itself.
// - No cookie store: only the Cookie line a caller sends is sent, and nothing is kept.
// - An answer's header block may hold at most 64 KiB; a larger one fails the exchange.
#include <cstdint>
#include <memory>

#include "platform/hinternet.h"

constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;  // no system settings here: a direct connection
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;

constexpr DWORD INTERNET_SERVICE_HTTP = 3;

constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
constexpr DWORD INTERNET_FLAG_NO_COOKIES = 0x00080000;
constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;
constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
constexpr DWORD INTERNET_FLAG_NEED_FILE = 0x00000010;

constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;

class WinInet {
public:
    virtual ~WinInet() = default;

    // accessType DIRECT, or PROXY with a proxy list: entries "host:port" (every scheme) or
    // "http=host:port" / "https=host:port" (that scheme only), separated by ';' or blanks.
    // The bypass list is accepted and not used. Never null here unless the layer cannot start.
    virtual HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy,
                                    const char* proxyBypass, DWORD flags) = 0;
    // No traffic yet. A user name and password, when given, are sent as Basic credentials.
    // Null for a service other than INTERNET_SERVICE_HTTP or an empty host.
    virtual HINTERNET InternetConnectA(HINTERNET internet, const char* serverName,
                                       INTERNET_PORT port, const char* userName,
                                       const char* password, DWORD service, DWORD flags,
                                       DWORD_PTR context) = 0;
    // verb null means "GET", path null means "/"; version "HTTP/1.0" or else HTTP/1.1.
    // INTERNET_FLAG_SECURE makes it an https request.
    virtual HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* objectName,
                                       const char* version, const char* referrer,
                                       const char** acceptTypes, DWORD flags,
                                       DWORD_PTR context) = 0;
    // headersLength (DWORD)-1 means zero-terminated. Header lines replace same-named ones the
    // layer would send; a body goes with any verb but GET and HEAD. True once the final answer's
    // header block is in; false when connecting, sending or receiving failed (the platform's
    // limits: connecting 60 s, sending and receiving 30 s without progress, see makeWinInet).
    virtual bool HttpSendRequestA(HINTERNET request, const char* headers, DWORD headersLength,
                                  const void* optional, DWORD optionalLength) = 0;
    // Waits for body bytes; *read 0 with true is the end. False (and *read 0) when the exchange
    // failed before the end or there is no answer.
    virtual bool InternetReadFile(HINTERNET file, void* buffer, DWORD numberOfBytesToRead,
                                  DWORD* numberOfBytesRead) = 0;
    // HTTP_QUERY_RAW_HEADERS_CRLF: the final answer's status line and header lines as the server
    // wrote them, each ended by CR LF, then an empty line, NUL-terminated; *bufferLength becomes
    // its length without the NUL. When it does not fit, false, the buffer is untouched and
    // *bufferLength is the size needed. False for any other level or when there is no answer.
    virtual bool HttpQueryInfoA(HINTERNET request, DWORD infoLevel, void* buffer,
                                DWORD* bufferLength, DWORD* index) = 0;
    // Closing a request ends its exchange. False for a handle this instance does not hold.
    virtual bool InternetCloseHandle(HINTERNET handle) = 0;
};

// The limits WinINet applies when a caller sets none. Zero means no limit.
struct WinInetTimeouts {
    DWORD connectMs = 60000;  // name resolution, connection and TLS handshake together
    DWORD sendMs = 30000;     // sending the request without progress
    DWORD receiveMs = 30000;  // waiting for answer bytes without progress
};

// The process's WinINet, with the platform's limits; thread-safe. Certificates are checked
// against the system's roots, or against the PEM bundle named by CURL_CA_BUNDLE (first) or
// SSL_CERT_FILE when one is set.
WinInet& systemWinInet();
// An instance of its own with other limits (tests that cannot wait out the platform's).
std::unique_ptr<WinInet> makeWinInet(const WinInetTimeouts& timeouts);
