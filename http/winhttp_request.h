#pragma once
// One page request over WinHttp: the whole answer comes back, the body as text decoded by the
// charset the page declares, and on the side the raw header block, the status text, the
// answer's cookies, its Location and the raw body bytes. Failures are numbered messages
// ("700 ..." to "713 ...", GBK) written to statusText; nothing is shown and nothing throws.
//
// Runs on the calling thread, which must be the one that uses COM there: the call initialises
// COM twice and uninitialises it twice (once only when it fails before the charset step).
// Opens and closes its own handles, so calls on different threads share nothing.
#include "platform/text_types.h"
#include "platform/winhttp.h"

struct WinHttpRequestOptions {
    int method = 0;  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT
    Text body{};     // sent with any method, up to its first zero byte
    Text cookies{};  // cookie text to send; empty: WinHttp's automatic cookies switched off
    Text* returnedCookies = nullptr;  // the answer's Set-Cookie pairs, merged with `cookies`
    Text headers{};                   // extra request header lines joined by CR LF
    Text* responseHeaders = nullptr;  // the raw header block, GBK
    bool noRedirect = false;          // false: WinHttp's policy (never from https to http)
    Text userName{};                  // Basic credentials for the server, when both are given
    Text password{};
    Text proxy{};  // host:port; empty: no proxy
    Text proxyUserName{};
    Text proxyPassword{};
    int timeoutSeconds = 0;           // each phase; below 1 means 30 seconds
    Text* redirectAddress = nullptr;  // the answer's Location value
    Text* statusText = nullptr;       // "302 Found", or the failure message
    Bytes* responseBody = nullptr;    // the raw body bytes (at most kMaxResponseBodyBytes)
    bool mergeReturnedCookies = true;
    bool addDefaultHeaders = true;  // User-Agent, Accept, Accept-Encoding, Accept-Language,
                                    // a POST's Content-Type, Cache-Control
};

// The body as text: up to its first zero byte as GBK, or re-read in the charset a <meta> tag in
// its first 1024 bytes declares (other than "gbk"/"gb2312"). Empty after any failure but a
// failed read (713), after which it is what was read. Outputs are written only when their step
// is reached. A body past kMaxResponseBodyBytes ends as a failed read at that bound.
Text requestViaWinHttp(const Text& url, const WinHttpRequestOptions& options = {},
                       WinHttp& winHttp = systemWinHttp());

// UTF-16LE bytes of a GBK text with its zero terminator (without it when dropTerminator); an
// empty text gives no bytes at all.
Bytes textToWide(const Text& text, bool dropTerminator = false);
// The GBK text of UTF-16LE bytes, up to the first zero unit; an odd last byte is not read.
Text wideToText(const Bytes& bytes);
