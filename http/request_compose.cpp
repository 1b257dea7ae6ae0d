#include "http/request_compose.h"

#include <climits>

#include "text/text.h"
#include "text/text_extract.h"

Text urlHost(const Text& url, bool keepPort) {
    Text address = toLowerAscii(url);
    if (!address.ends_with('/')) address += '/';
    Text host;
    if (leftBytes(address, 8) == "https://") {
        host = textBetween(address, "https://", "/");
    } else {
        if (!containsText(address, "http://")) address = "http://" + address;
        host = textBetween(address, "http://", "/");
    }
    if (!keepPort) {
        int colon = findText(host, ":");
        if (colon) host = host.substr(0, static_cast<std::size_t>(colon - 1));
    }
    return host;
}

int urlPort(const Text& url) {
    const Text host = urlHost(url, true);
    int colon = findLastText(host, ":");
    if (colon == 0) return leftBytes(toLowerAscii(url), 5) == "https" ? 443 : 80;
    long long port = 0;
    for (std::size_t i = static_cast<std::size_t>(colon); i < host.size(); ++i) {
        char c = host[i];
        if (c < '0' || c > '9') break;
        port = port * 10 + (c - '0');
        if (port > INT_MAX) return INT_MAX;  // a port text of many digits must not overflow
    }
    return static_cast<int>(port);
}

Text urlPath(const Text& url) {
    const Text host = urlHost(url);
    // Look for the host after the scheme: a short host such as "ttp" would otherwise be found
    // inside "http://" itself.
    int schemeEnd = findText(url, "://");
    int from = schemeEnd ? schemeEnd + 3 : 1;
    int hostAt = host.empty() ? from : findText(url, host, from, true);
    int slash = findText(url, "/", hostAt ? hostAt : from);
    if (slash == 0) return "/";
    return url.substr(static_cast<std::size_t>(slash - 1));
}

Text pickUserAgent(const Text& headers) {
    if (!containsText(headers, "User-Agent:", true)) return Text(kDefaultUserAgent);
    // The name is matched in any case and the value never runs past its own line, so that a
    // lower-case name cannot pull other header lines into the agent text.
    const Text block = headers + "\r\n";
    Text agent = trimBlanks(textBetween(block, "User-Agent:", "\r\n", 0, true));
    if (!agent.empty()) return agent;
    int colon = findText(block, ":");
    if (colon == 0) return {};
    return trimBlanks(textLeftOf(block.substr(static_cast<std::size_t>(colon)), "\r\n"));
}

Text fillDefaultHeaders(const Text& headers, const Text& url, bool isPost) {
    Text block = headers.empty() ? Text("Accept: */*") : headers;
    auto lacks = [&block](std::string_view name) { return !containsText(block, name, true); };
    if (lacks("Accept:")) block += "\r\nAccept: */*";
    if (lacks("Referer:")) block += "\r\nReferer: " + url;
    if (lacks("Accept-Language:")) block += "\r\nAccept-Language: zh-cn";
    if (isPost && lacks("Content-Type:"))
        block += "\r\nContent-Type: application/x-www-form-urlencoded";
    return block;
}

Text capitalizeFirst(const Text& word) {
    Text out = word;
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
}

Text normalizeHeaders(const Text& headers) {
    TextArray lines;
    for (const Text& line : splitText(headers, "\r\n")) {
        int separator = findText(line, ": ");
        if (separator == 0) continue;
        Text name = line.substr(0, static_cast<std::size_t>(separator - 1));
        bool wordStart = true;
        for (std::size_t i = 0; i < name.size(); i += characterLength(name, i)) {
            if (wordStart) name.replace(i, 1, capitalizeFirst(name.substr(i, 1)));
            wordStart = name[i] == '-';
        }
        lines.push_back(name + line.substr(static_cast<std::size_t>(separator - 1)));
    }
    return joinTexts(lines, "\r\n");
}

Text appendCookieHeader(const Text& headers, const Text& cookies) {
    if (cookies.empty()) return headers;
    if (containsText(cookies, "Cookie:")) return headers + "\r\n" + cookies;
    return headers + "\r\nCookie: " + cookies;
}
