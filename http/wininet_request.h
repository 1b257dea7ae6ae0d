#pragma once
// One page request over WinINet: an address, a method, a body, extra headers and a cookie text
// make one request; the whole answer body comes back, with the raw header block and the
// answer's cookies on the side. Blocks until the answer is read; opens and closes its own
// handles, so calls on different threads share nothing. Never throws.
#include <optional>

#include "platform/text_types.h"
#include "platform/wininet.h"

struct WinInetRequestOptions {
    int method = 0;  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT
    Text body{};     // sent when bodyBytes is empty and the method is not GET
    // Supplied, even empty: WinINet's own cookie handling is switched off and the sent cookies
    // are merged into returnedCookies.
    std::optional<Text> cookies{};
    Text* returnedCookies = nullptr;  // the answer's Set-Cookie pairs (merged, see cookies)
    Text headers{};                   // extra request header lines joined by CR LF
    Text* responseHeaders = nullptr;  // the raw header block; 5000 blanks when it was not had
    bool noRedirect = false;
    Bytes bodyBytes{};  // sent instead of body when not empty
    Text proxy{};       // host:port; empty: a direct connection
    bool mergeReturnedCookies = true;
    bool addDefaultHeaders = true;  // Accept, Referer, Accept-Language, a POST's Content-Type
};

// The answer body as received, at most kMaxResponseBodyBytes (reading stops there). Empty, with
// the outputs untouched, when a handle could not be had; a failed exchange otherwise gives what
// was read (often nothing). The status of the answer is not looked at.
Bytes requestViaWinInet(const Text& url, const WinInetRequestOptions& options = {},
                        WinInet& winInet = systemWinInet());
