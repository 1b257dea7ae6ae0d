#pragma once
// The text work of composing a request: the parts of an address, the agent text and the header
// block. Header blocks are lines of "name: value" joined by CR LF. Pure functions; any thread.
#include "platform/text_types.h"

// Host of the address, lower-cased; with keepPort followed by ":" and the port when given.
// An address without scheme counts as "http://".
Text urlHost(const Text& url, bool keepPort = false);
// The explicit port (its leading digits; none gives 0), else 443 for "https" addresses, else 80.
int urlPort(const Text& url);
// Path and query, beginning with "/", in the case the caller wrote it; "/" when there is none.
Text urlPath(const Text& url);

// The agent text for the internet handle: the value of the block's User-Agent line, or the
// default agent when it has none.
Text pickUserAgent(const Text& headers);
// The block with each missing default header appended: Accept, Referer (the address as given),
// Accept-Language, and for a POST the form Content-Type.
Text fillDefaultHeaders(const Text& headers, const Text& url, bool isPost);
// The block rebuilt: lines without ": " dropped, each word of a name capitalised, lines joined by
// CR LF with none after the last.
Text normalizeHeaders(const Text& headers);
// The first byte upper-cased when it is a-z.
Text capitalizeFirst(const Text& word);
// The block with a Cookie line appended (a CR LF in front even for an empty block); unchanged for
// an empty cookie text; a cookie text that holds "Cookie:" is taken as the whole line.
Text appendCookieHeader(const Text& headers, const Text& cookies);

inline constexpr std::string_view kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
