#pragma once
// The WinHttp functions a page request uses, spelled as Winhttp.dll spells them. Texts are
// zero-terminated UTF-16 (char16_t) unless a length is given.
//
// A request goes: WinHttpOpen (proxy) -> WinHttpConnect (host, port) -> WinHttpOpenRequest
// (verb, object name, TLS) -> settings (time-outs, credentials, options, headers) ->
// WinHttpSendRequest (returns once the request is sent) -> WinHttpReceiveResponse (once the final
// answer's header block is in) -> WinHttpQueryDataAvailable / WinHttpReadData until 0 ->
// WinHttpQueryHeaders -> WinHttpCloseHandle for each handle. Handles belong to the instance that
// made them; calls on different handles may run on different threads at once.
//
// Behaviour:
// - HTTP/1.1 only; certificates are verified (the trusted roots: see systemWinHttp).
// - Redirect policy WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP unless set otherwise:
//   redirects are followed (at most 10) except one from https to http, which comes back as the
//   answer itself. WINHTTP_DISABLE_REDIRECTS follows nothing.
// - No cookie store: only the Cookie line a caller adds is sent, and nothing is kept.
// - Header texts cross to and from the wire in the ANSI code page (code page 936), so GBK
//   bytes survive both ways; the object name is sent as UTF-8, percent-escaped where needed.
// - An answer's header block may hold at most 64 KiB; a larger one fails the exchange.
#include <cstdint>
#include <memory>

#include "platform/hinternet.h"

struct URL_COMPONENTS {
    DWORD dwStructSize = 0;
    char16_t* lpszScheme = nullptr;
    DWORD dwSchemeLength = 0;
    int nScheme = 0;
    char16_t* lpszHostName = nullptr;
    DWORD dwHostNameLength = 0;
    INTERNET_PORT nPort = 0;
    char16_t* lpszUserName = nullptr;
    DWORD dwUserNameLength = 0;
    char16_t* lpszPassword = nullptr;
    DWORD dwPasswordLength = 0;
    char16_t* lpszUrlPath = nullptr;
    DWORD dwUrlPathLength = 0;
    char16_t* lpszExtraInfo = nullptr;
    DWORD dwExtraInfoLength = 0;
};

constexpr DWORD WINHTTP_ACCESS_TYPE_DEFAULT_PROXY = 0;  // no system settings here: no proxy
constexpr DWORD WINHTTP_ACCESS_TYPE_NO_PROXY = 1;
constexpr DWORD WINHTTP_ACCESS_TYPE_NAMED_PROXY = 3;

constexpr DWORD WINHTTP_FLAG_SECURE = 0x00800000;

constexpr DWORD WINHTTP_AUTH_TARGET_SERVER = 0;
constexpr DWORD WINHTTP_AUTH_TARGET_PROXY = 1;
constexpr DWORD WINHTTP_AUTH_SCHEME_BASIC = 1;

constexpr DWORD WINHTTP_OPTION_DISABLE_FEATURE = 63;
constexpr DWORD WINHTTP_OPTION_ENABLE_FEATURE = 79;
constexpr DWORD WINHTTP_OPTION_REDIRECT_POLICY = 88;
constexpr DWORD WINHTTP_DISABLE_COOKIES = 0x00000001;
constexpr DWORD WINHTTP_DISABLE_REDIRECTS = 0x00000002;
constexpr DWORD WINHTTP_DISABLE_AUTHENTICATION = 0x00000004;
constexpr DWORD WINHTTP_DISABLE_KEEP_ALIVE = 0x00000008;
constexpr DWORD WINHTTP_ENABLE_SSL_REVOCATION = 0x00000001;
constexpr DWORD WINHTTP_OPTION_REDIRECT_POLICY_NEVER = 0;
constexpr DWORD WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP = 1;
constexpr DWORD WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS = 2;

constexpr DWORD WINHTTP_ADDREQ_FLAG_ADD_IF_NEW = 0x10000000;
constexpr DWORD WINHTTP_ADDREQ_FLAG_ADD = 0x20000000;
constexpr DWORD WINHTTP_ADDREQ_FLAG_REPLACE = 0x80000000;

constexpr DWORD WINHTTP_QUERY_RAW_HEADERS_CRLF = 22;

inline const char16_t* const WINHTTP_NO_PROXY_NAME = nullptr;
inline const char16_t* const WINHTTP_NO_PROXY_BYPASS = nullptr;
inline const char16_t* const WINHTTP_NO_REFERER = nullptr;
inline const char16_t** const WINHTTP_DEFAULT_ACCEPT_TYPES = nullptr;
inline const char16_t* const WINHTTP_NO_ADDITIONAL_HEADERS = nullptr;
inline const char16_t* const WINHTTP_HEADER_NAME_BY_INDEX = nullptr;
inline void* const WINHTTP_NO_REQUEST_DATA = nullptr;

class WinHttp {
public:
    virtual ~WinHttp() = default;

    // True when the layer can be used.
    virtual bool WinHttpCheckPlatform() = 0;
    // Splits an http or https address. A component whose pointer is null and whose length is
    // not 0 gets a pointer into `url` and its length; one with a buffer gets a copy (false when
    // it does not fit); length 0 leaves it out. nPort is the scheme's port when none is written.
    // The extra info is the query with its "?" (and any fragment). urlLength 0: zero-terminated.
    virtual bool WinHttpCrackUrl(const char16_t* url, DWORD urlLength, DWORD flags,
                                 URL_COMPONENTS* components) = 0;
    // accessType NO_PROXY, or NAMED_PROXY with a proxy list: entries "host:port" (every scheme)
    // or "http=host:port" / "https=host:port" (that scheme only). The bypass list is not used.
    // Session defaults: no resolve limit, connect 60 s, send 30 s, receive 30 s.
    virtual HINTERNET WinHttpOpen(const char16_t* agent, DWORD accessType,
                                  const char16_t* proxyName, const char16_t* proxyBypass,
                                  DWORD flags) = 0;
    virtual HINTERNET WinHttpConnect(HINTERNET session, const char16_t* serverName,
                                     INTERNET_PORT serverPort, DWORD reserved) = 0;
    // verb null means "GET", object null means "/"; version null or u"HTTP/1.1" is HTTP/1.1.
    virtual HINTERNET WinHttpOpenRequest(HINTERNET connect, const char16_t* verb,
                                         const char16_t* objectName, const char16_t* version,
                                         const char16_t* referrer, const char16_t** acceptTypes,
                                         DWORD flags) = 0;
    // Milliseconds; 0 is no limit. Resolve and connect together bound name resolution,
    // connection and TLS handshake; send and receive are limits without progress.
    virtual bool WinHttpSetTimeouts(HINTERNET handle, int resolveTimeout, int connectTimeout,
                                    int sendTimeout, int receiveTimeout) = 0;
    // Basic only; sent with the first request.
    virtual bool WinHttpSetCredentials(HINTERNET request, DWORD authTargets, DWORD authScheme,
                                       const char16_t* userName, const char16_t* password,
                                       void* authParams) = 0;
    // DISABLE_FEATURE (cookies, redirects, authentication, keep-alive), ENABLE_FEATURE
    // (revocation checking: accepted, the TLS library here checks no revocation lists) and
    // REDIRECT_POLICY, each with a 4-byte value; false for anything else.
    virtual bool WinHttpSetOption(HINTERNET handle, DWORD option, void* buffer,
                                  DWORD bufferLength) = 0;
    // Lines "Name: value" joined by CR LF; length (DWORD)-1 means zero-terminated. With REPLACE
    // a line replaces the same-named header (an empty value removes it); ADD adds it.
    virtual bool WinHttpAddRequestHeaders(HINTERNET request, const char16_t* headers,
                                          DWORD headersLength, DWORD modifiers) = 0;
    // Sends the request and its body (totalLength must equal optionalLength). False when
    // connecting or sending failed or took longer than the limits.
    virtual bool WinHttpSendRequest(HINTERNET request, const char16_t* headers,
                                    DWORD headersLength, void* optional, DWORD optionalLength,
                                    DWORD totalLength, DWORD_PTR context) = 0;
    // Waits for the final answer's header block (redirects followed as the policy says).
    virtual bool WinHttpReceiveResponse(HINTERNET request, void* reserved) = 0;
    // Waits until body bytes are there: their count, or 0 at the end. False when the exchange
    // failed with nothing left to hand out.
    virtual bool WinHttpQueryDataAvailable(HINTERNET request, DWORD* numberOfBytesAvailable) = 0;
    // Hands out body bytes, waiting for some when none are there; *read 0 with true at the end.
    virtual bool WinHttpReadData(HINTERNET request, void* buffer, DWORD numberOfBytesToRead,
                                 DWORD* numberOfBytesRead) = 0;
    // WINHTTP_QUERY_RAW_HEADERS_CRLF: the final answer's status line and header lines, each
    // ended by CR LF, then an empty line, zero-terminated UTF-16; *bufferLength is in bytes and
    // becomes the length without the terminator. Too small a buffer (or none): false and
    // *bufferLength the bytes needed, terminator included.
    virtual bool WinHttpQueryHeaders(HINTERNET request, DWORD infoLevel, const char16_t* name,
                                     void* buffer, DWORD* bufferLength, DWORD* index) = 0;
    // Closing a request ends its exchange. False for a handle this instance does not hold.
    virtual bool WinHttpCloseHandle(HINTERNET handle) = 0;
};

// The process's WinHttp; thread-safe. Certificates are checked against the system's roots, or
// against the PEM bundle named by CURL_CA_BUNDLE (first) or SSL_CERT_FILE when one is set.
WinHttp& systemWinHttp();
// An instance of its own (tests).
std::unique_ptr<WinHttp> makeWinHttp();
