// The WinINet request's composition: which layer calls it makes, in which order, with which values.
#include "http/wininet_request.h"

#include <gtest/gtest.h>

#include "http/request_method.h"
#include "http/tests/fake_wininet.h"

namespace {

const std::string kAgent = "\"Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\"";

TEST(RequestViaWinInet, SongSearchMakesTheWholeCallSequence) {
    FakeWinInet fake;
    fake.body = "{\"result\":{}}";
    const Text url = "http://music.example/api/search/pc";
    const Text body = "offset=0&total=true&limit=50&type=1&s=%41";
    Bytes result = requestViaWinInet(
        url, {.method = 1, .body = body, .cookies = Text("os=pc; MUSIC_U=8170591746"), .noRedirect = true},
        fake);

    EXPECT_EQ(result, bytesOf("{\"result\":{}}"));
    const std::string block =
        "Accept: */*\r\nReferer: http://music.example/api/search/pc\r\nAccept-Language: zh-cn\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\nCookie: os=pc; MUSIC_U=8170591746";
    EXPECT_EQ(fake.sentHeaders, block);
    EXPECT_EQ(fake.sentBody, body);
    const std::vector<std::string> expected = {
        "InternetOpenA(" + kAgent + ", 1, null, null, 0)",
        "InternetConnectA(internet, \"music.example\", 80, null, null, 3, 0, 0)",
        "HttpOpenRequestA(connection, \"POST\", \"/api/search/pc\", \"HTTP/1.1\", null, null, 0x80284010, 0)",
        "HttpSendRequestA(request, headers, " + std::to_string(block.size()) + ", body, " +
            std::to_string(body.size()) + ")",
        "InternetReadFile(request, 1024)",
        "InternetReadFile(request, 1024)",  // the second read delivers 0 and ends the loop
        "HttpQueryInfoA(request, 22, 5000, null)",
        "InternetCloseHandle(request)",
        "InternetCloseHandle(connection)",
        "InternetCloseHandle(internet)",
    };
    EXPECT_EQ(fake.calls, expected);
}

TEST(RequestViaWinInet, RequestFlagsFollowSchemeCookiesAndRedirectSwitch) {
    struct Case { const char* url; bool cookies; bool noRedirect; DWORD flags; const char* why; };
    const Case cases[] = {
        {"http://h/", true, true, 0x80284010, "the search: reload, need file, no cookies, no redirect, to-https"},
        {"http://h/", false, false, 0x80004010, "nothing asked: reload, need file, to-https allowed"},
        {"https://h/", false, false, 0x80800010, "secure instead of to-https"},
        {"HTTPS://h/", true, true, 0x80A80010, "the scheme in capitals is still secure"},
        {"h/", false, true, 0x80204010, "no scheme is plain http"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinInet fake;
        WinInetRequestOptions options{.noRedirect = c.noRedirect};
        if (c.cookies) options.cookies = Text();
        requestViaWinInet(c.url, options, fake);
        ASSERT_GE(fake.calls.size(), 3u);
        EXPECT_NE(fake.calls[2].find(FakeWinInet::hex(c.flags)), std::string::npos) << fake.calls[2];
    }
}

TEST(RequestViaWinInet, MethodDecidesVerbBodyAndContentType) {
    struct Case { int method; Text body; Bytes bodyBytes; const char* verb; std::string sent; bool contentType; const char* why; };
    const Case cases[] = {
        {0, "ignored", bytesOf("also ignored"), "GET", "", false, "GET never sends a body"},
        {-1, "x", {}, "GET", "", false, "below the table is GET"},
        {8, "x", {}, "GET", "", false, "above the table is GET"},
        {1, "a=1", {}, "POST", "a=1", true, "POST gets the form content type"},
        {3, "put", {}, "PUT", "put", false, "PUT sends its body without a content type"},
        {3, "text", bytesOf(std::string("b\0y", 3)), "PUT", std::string("b\0y", 3), false,
         "bytes win over the text and may hold zero bytes"},
        {5, "", {}, "DELETE", "", false, "an empty body is sent as no bytes"},
        {7, "c", {}, "CONNECT", "c", false, "the table's last verb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinInet fake;
        requestViaWinInet("http://h/p", {.method = c.method, .body = c.body, .bodyBytes = c.bodyBytes}, fake);
        ASSERT_GE(fake.calls.size(), 3u);
        EXPECT_NE(fake.calls[2].find(std::string("\"") + c.verb + "\""), std::string::npos) << fake.calls[2];
        EXPECT_EQ(fake.sentBody, c.sent);
        EXPECT_EQ(fake.sentHeaders.find("Content-Type: application/x-www-form-urlencoded") != std::string::npos,
                  c.contentType);
    }
}

TEST(RequestViaWinInet, GetSendsAnEmptyTextNotANullBody) {
    FakeWinInet fake;
    requestViaWinInet("http://h/", {}, fake);
    EXPECT_FALSE(fake.sentBodyPointerNull);
    EXPECT_EQ(fake.sentBody, "");
}

TEST(RequestViaWinInet, HeaderBlockIsComposedFromCallerDefaultsAndCookies) {
    struct Case { Text headers; std::optional<Text> cookies; bool defaults; int method; std::string block; const char* why; };
    const Case cases[] = {
        {"", std::nullopt, true, 0, "Accept: */*\r\nReferer: http://h/p?q=1\r\nAccept-Language: zh-cn",
         "defaults for a GET: three lines, the Referer is the address as given"},
        {"accept: text/html\r\nx-token: t", Text("a=1"), true, 1,
         "Accept: text/html\r\nX-Token: t\r\nReferer: http://h/p?q=1\r\nAccept-Language: zh-cn\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\nCookie: a=1",
         "a caller's accept line in lower case suppresses the default and is capitalised"},
        {"", Text("a=1"), false, 1, "\r\nCookie: a=1", "no defaults: the cookie line alone, with its CR LF"},
        {"", Text(""), false, 1, "", "a supplied empty cookie text adds no line"},
        {"X: 1", Text("Cookie: a=1"), false, 0, "X: 1\r\nCookie: a=1", "a whole cookie line as given"},
        {"bad line\r\nY: 2\r\n", std::nullopt, false, 0, "Y: 2", "normalised even without defaults"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinInet fake;
        requestViaWinInet("http://h/p?q=1",
                          {.method = c.method, .cookies = c.cookies, .headers = c.headers,
                           .addDefaultHeaders = c.defaults},
                          fake);
        EXPECT_EQ(fake.sentHeaders, c.block);
    }
}

TEST(RequestViaWinInet, AgentComesFromTheCallersHeaders) {
    FakeWinInet fake;
    requestViaWinInet("http://h/", {.headers = "user-agent: Bot/2"}, fake);
    EXPECT_EQ(fake.calls[0], "InternetOpenA(\"Bot/2\", 1, null, null, 0)");
    EXPECT_NE(fake.sentHeaders.find("User-Agent: Bot/2"), std::string::npos);
}

TEST(RequestViaWinInet, ProxyIsPrefixedForPlainAddressesOnly) {
    FakeWinInet plain, secure;
    requestViaWinInet("http://h/", {.proxy = "127.0.0.1:8888"}, plain);
    requestViaWinInet("https://h/", {.proxy = "127.0.0.1:8888"}, secure);
    EXPECT_EQ(plain.calls[0], "InternetOpenA(" + kAgent + ", 3, \"http=127.0.0.1:8888\", \"\", 0)");
    EXPECT_EQ(secure.calls[0], "InternetOpenA(" + kAgent + ", 3, \"127.0.0.1:8888\", \"\", 0)");
    EXPECT_EQ(secure.calls[1], "InternetConnectA(internet, \"h\", 443, null, null, 3, 0, 0)");
}

TEST(RequestViaWinInet, MissingHandlesCloseWhatWasOpenedAndLeaveOutputsAlone) {
    struct Case { bool open, connect, request; std::vector<std::string> closes; const char* why; };
    const Case cases[] = {
        {true, false, false, {}, "no internet handle: nothing to close"},
        {false, true, false, {"InternetCloseHandle(internet)"}, "no connection"},
        {false, false, true, {"InternetCloseHandle(connection)", "InternetCloseHandle(internet)"}, "no request"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinInet fake;
        fake.openFails = c.open;
        fake.connectFails = c.connect;
        fake.requestFails = c.request;
        fake.body = "body";
        Text headers = "kept", cookies = "kept too";
        Bytes result = requestViaWinInet(
            "http://h/", {.cookies = Text("a=1"), .returnedCookies = &cookies, .responseHeaders = &headers}, fake);
        EXPECT_TRUE(result.empty());
        EXPECT_EQ(headers, "kept");
        EXPECT_EQ(cookies, "kept too");
        std::vector<std::string> closes;
        for (const std::string& call : fake.calls)
            if (call.starts_with("InternetCloseHandle")) closes.push_back(call);
        EXPECT_EQ(closes, c.closes);
        EXPECT_EQ(fake.reads, 0u);
    }
}

TEST(RequestViaWinInet, PortBeyondSixteenBitsIsRefusedRatherThanCutShort) {
    FakeWinInet fake;
    EXPECT_TRUE(requestViaWinInet("http://h:70000/", {}, fake).empty());
    const std::vector<std::string> expected = {"InternetOpenA(" + kAgent + ", 1, null, null, 0)",
                                               "InternetCloseHandle(internet)"};
    EXPECT_EQ(fake.calls, expected);
}

TEST(RequestViaWinInet, CookiesAreCollectedAndMergedWhenSupplied) {
    const std::string block =
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nset-cookie: lower=1\r\nSet-Cookie: b=2\r\n\r\n";
    struct Case { std::optional<Text> cookies; bool merge; const char* returned; const char* why; };
    const Case cases[] = {
        {std::nullopt, true, "a=1; b=2", "not supplied: the pairs unmerged"},
        {Text("c=3; b=9"), true, "a=1; b=2; c=3", "supplied: received first, then the sent ones not named"},
        {Text(""), true, "a=1; b=2", "supplied empty still merges"},
        {Text("c=3"), false, "a=1; b=2", "merging switched off"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinInet fake;
        fake.headerBlock = block;
        Text returned, headers;
        requestViaWinInet("http://h/", {.cookies = c.cookies, .returnedCookies = &returned,
                                        .responseHeaders = &headers, .mergeReturnedCookies = c.merge},
                          fake);
        EXPECT_EQ(returned, c.returned);
        EXPECT_EQ(headers, block);
    }
}

TEST(RequestViaWinInet, HeaderBlockThatIsNotHadLeavesFiveThousandBlanks) {
    struct Case { std::optional<std::string> block; std::optional<Text> cookies; const char* returned; const char* why; };
    const Case cases[] = {
        {std::nullopt, std::nullopt, "", "the query fails"},
        {std::nullopt, Text("x = 1;y=2"), "x=1; y=2", "the sent cookies as merging renders them"},
        {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\n" + std::string(4990, 'h') + "\r\n\r\n", std::nullopt, "",
         "a block that does not fit: no cookie of it is collected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinInet fake;
        fake.headerBlock = c.block;
        fake.body = "still read";
        Text headers, returned = "old";
        Bytes result = requestViaWinInet(
            "http://h/", {.cookies = c.cookies, .returnedCookies = &returned, .responseHeaders = &headers}, fake);
        EXPECT_EQ(headers, Text(5000, ' '));
        EXPECT_EQ(returned, c.returned);
        EXPECT_EQ(result, bytesOf("still read"));
    }
}

TEST(RequestViaWinInet, BlockOfExactlyFourThousandNineHundredNinetyNineBytesFits) {
    FakeWinInet fake;
    std::string block = "HTTP/1.1 200 OK\r\nX: ";
    block += std::string(4999 - block.size() - 4, 'v') + "\r\n\r\n";
    ASSERT_EQ(block.size(), 4999u);
    fake.headerBlock = block;
    Text headers;
    requestViaWinInet("http://h/", {.responseHeaders = &headers}, fake);
    EXPECT_EQ(headers, block);
}

TEST(RequestViaWinInet, BodyIsReadInPiecesUntilAnEmptyReadWhateverTheCallSays) {
    FakeWinInet fake;
    fake.body = std::string(2500, 'a') + std::string("\0z", 2);
    fake.readPiece = 700;
    fake.readReportsFailure = true;  // the call's outcome is not looked at, only the count
    EXPECT_EQ(requestViaWinInet("http://h/", {}, fake), bytesOf(fake.body));
    EXPECT_EQ(fake.reads, 5u);  // 700, 700, 700, 402, then 0
}

TEST(RequestViaWinInet, EndlessBodyStopsAtTheBound) {
    FakeWinInet fake;
    fake.endlessBody = true;
    Bytes result = requestViaWinInet("http://h/", {}, fake);
    EXPECT_EQ(result.size(), kMaxResponseBodyBytes);
    EXPECT_EQ(fake.reads, kMaxResponseBodyBytes / 1024);
    EXPECT_EQ(fake.calls.back(), "InternetCloseHandle(internet)");
}

}  // namespace
