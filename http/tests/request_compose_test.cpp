#include "http/request_compose.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlParts, HostPortAndPathOfAddresses) {
    struct Case { std::string_view url; std::string_view host, hostWithPort; int port; std::string_view path; const char* why; };
    const Case cases[] = {
        {"http://music.163.com/api/search/pc", "music.163.com", "music.163.com", 80, "/api/search/pc", "the search address"},
        {"HTTPS://Example.COM/A?b=C", "example.com", "example.com", 443, "/A?b=C", "capital scheme, path keeps its case"},
        {"example.com/x", "example.com", "example.com", 80, "/x", "no scheme counts as http"},
        {"http://127.0.0.1:8080/p?q=1", "127.0.0.1", "127.0.0.1:8080", 8080, "/p?q=1", "explicit port"},
        {"https://h:99x/", "h", "h:99x", 99, "/", "leading digits of the port count"},
        {"http://h:/", "h", "h:", 0, "/", "no digits give 0"},
        {"http://host", "host", "host", 80, "/", "nothing after the host"},
        {"https://host/", "host", "host", 443, "/", "a final slash only"},
        {"http://ttp/x", "ttp", "ttp", 80, "/x", "a host that also occurs inside the scheme"},
        {"", "", "", 80, "/", "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(urlHost(Text(c.url)), c.host);
        EXPECT_EQ(urlHost(Text(c.url), true), c.hostWithPort);
        EXPECT_EQ(urlPort(Text(c.url)), c.port);
        EXPECT_EQ(urlPath(Text(c.url)), c.path);
    }
}

TEST(PickUserAgent, TakesTheCallersLineOrTheDefault) {
    struct Case { std::string_view headers, agent; const char* why; };
    const Case cases[] = {
        {"", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)", "no headers"},
        {"Accept: x", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)", "no agent line"},
        {"User-Agent:  Bot/1 ", "Bot/1", "trimmed"},
        {"user-agent: lower", "lower", "name in lower case"},
        {"Accept: */*\r\nuser-agent: lower\r\nX: y", "lower", "never runs into other lines"},
        {"User-Agent:\r\nAccept: */*", "", "an empty value falls back to its own line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(pickUserAgent(Text(c.headers)), c.agent);
    }
}

TEST(FillDefaultHeaders, AppendsWhatTheBlockLacks) {
    struct Case { std::string_view headers; bool post; std::string_view out; const char* why; };
    const Case cases[] = {
        {"", true,
         "Accept: */*\r\nReferer: http://H/p\r\nAccept-Language: zh-cn\r\n"
         "Content-Type: application/x-www-form-urlencoded", "POST: four lines in order"},
        {"", false, "Accept: */*\r\nReferer: http://H/p\r\nAccept-Language: zh-cn", "any other method: three"},
        {"accept: text/html", false,
         "accept: text/html\r\nReferer: http://H/p\r\nAccept-Language: zh-cn", "a lower-case name counts"},
        {"content-type: a/b\r\nreferer: r", true,
         "content-type: a/b\r\nreferer: r\r\nAccept: */*\r\nAccept-Language: zh-cn", "caller's content type kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(fillDefaultHeaders(Text(c.headers), "http://H/p", c.post), c.out);
    }
}

TEST(NormalizeHeaders, CapitalisesNamesAndDropsNonHeaderLines) {
    struct Case { std::string_view in, out; const char* why; };
    const Case cases[] = {
        {"content-type: a/b", "Content-Type: a/b", "each word capitalised"},
        {"X-API-KEY: k", "X-API-KEY: k", "capitals stay"},
        {"a: 1\r\n\r\nb:2\r\nc: \r\n", "A: 1\r\nC: ", "blank lines and colon without blank dropped; empty value kept"},
        {"x-y: v: w", "X-Y: v: w", "the value may hold ': '"},
        {"a--b: 1", "A--B: 1", "hyphens stay where they are"},
        {"-a: 1", "-A: 1", ""},
        {"", "", ""},
        {"no header line", "", "nothing qualifies"},
        {"\xC4-a: 1", "\xC4-a: 1", "the hyphen byte is part of a two-byte character"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(normalizeHeaders(Text(c.in)), c.out);
    }
    EXPECT_EQ(capitalizeFirst("abc"), "Abc");
    EXPECT_EQ(capitalizeFirst(""), "");
    EXPECT_EQ(capitalizeFirst("1a"), "1a");
}

TEST(AppendCookieHeader, WritesTheLineOnce) {
    EXPECT_EQ(appendCookieHeader("A: 1", "a=1; b=2"), "A: 1\r\nCookie: a=1; b=2");
    EXPECT_EQ(appendCookieHeader("", "a=1"), "\r\nCookie: a=1");
    EXPECT_EQ(appendCookieHeader("A: 1", "Cookie: a=1"), "A: 1\r\nCookie: a=1");
    EXPECT_EQ(appendCookieHeader("A: 1", ""), "A: 1");
}

}  // namespace
