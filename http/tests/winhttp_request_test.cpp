// The WinHttp request's composition: which layer calls it makes, in which order, with which
// values, and how each failure ends.
#include "http/winhttp_request.h"

#include <gtest/gtest.h>

#include <climits>

#include "http/request_method.h"
#include "http/tests/fake_winhttp.h"
#include "platform/automation.h"
#include "platform/com.h"
#include "text/url_encode.h"

namespace {

const std::string kDefaultBlock =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\nAccept-Encoding: gbk, GB2312\r\n"
    "Accept-Language: zh-cn\r\nCache-Control: no-cache";

std::vector<std::string> callsNamed(const FakeWinHttp& fake, std::string_view prefix) {
    std::vector<std::string> out;
    for (const std::string& call : fake.calls)
        if (call.starts_with(prefix)) out.push_back(call);
    return out;
}

TEST(RequestViaWinHttp, LinkResolutionMakesTheWholeCallSequence) {
    FakeWinHttp fake;
    fake.headerBlock = "HTTP/1.1 302 Found\r\nLocation: http://m8.example/a/1.mp3\r\nContent-Length: 0\r\n\r\n";
    const int depth = comInitializationDepth();
    Text headers;
    Text result = requestViaWinHttp("https://music.example/song/media/outer/url?id=1.mp3",
                                    {.responseHeaders = &headers}, fake);
    EXPECT_EQ(result, "");
    EXPECT_EQ(headers, *fake.headerBlock);
    EXPECT_EQ(comInitializationDepth(), depth);
    EXPECT_TRUE(fake.componentsAsAsked);
    EXPECT_EQ(fake.sentHeaders, kDefaultBlock);
    const std::vector<std::string> expected = {
        "WinHttpCheckPlatform()",
        "WinHttpCrackUrl(\"https://music.example/song/media/outer/url?id=1.mp3\", 0, 0)",
        "WinHttpOpen(null, 1, null, null, 0)",
        "WinHttpConnect(session, \"music.example\", 443, 0)",
        "WinHttpOpenRequest(connection, \"GET\", \"/song/media/outer/url?id=1.mp3\", null, null, null, 0x00800000)",
        "WinHttpSetTimeouts(request, 30000, 30000, 30000, 30000)",
        "WinHttpSetOption(request, 63, 1, 4)",
        "WinHttpAddRequestHeaders(request, headers, " + std::to_string(kDefaultBlock.size()) + ", 0xA0000000)",
        "WinHttpSendRequest(request, null, 0, null, 0, 0, 0)",
        "WinHttpReceiveResponse(request, null)",
        "WinHttpQueryDataAvailable(request)",
        "WinHttpQueryHeaders(request, 22, null, null, 0, 0)",
        "WinHttpQueryHeaders(request, 22, null, buffer, " + std::to_string((fake.headerBlock->size() + 1) * 2) + ", 0)",
        "WinHttpCloseHandle(request)",
        "WinHttpCloseHandle(connection)",
        "WinHttpCloseHandle(session)",
    };
    EXPECT_EQ(fake.calls, expected);
}

TEST(RequestViaWinHttp, EachFailingStepWritesItsMessageAndClosesWhatWasOpened) {
    struct Case { std::string failing; std::string target; WinHttpRequestOptions options; int number; int closes; };
    const Case cases[] = {
        {"WinHttpCheckPlatform", "", {}, 700, 0},
        {"WinHttpCrackUrl", "", {}, 701, 0},
        {"WinHttpOpen", "", {}, 702, 0},
        {"WinHttpConnect", "", {}, 703, 1},
        {"WinHttpOpenRequest", "", {}, 704, 2},
        {"WinHttpSetTimeouts", "", {}, 705, 3},
        {"WinHttpSetCredentials", "server", {.userName = "u", .password = "p"}, 707, 3},
        {"WinHttpSetCredentials", "proxy", {.userName = "u", .password = "p", .proxyUserName = "pu", .proxyPassword = "pp"}, 707, 3},
        {"WinHttpSetOption 63 1", "", {}, 708, 3},
        {"WinHttpSetOption 79 1", "", {.cookies = "a=1"}, 708, 3},
        {"WinHttpSetOption 63 2", "", {.noRedirect = true}, 709, 3},
        {"WinHttpAddRequestHeaders", "", {}, 710, 3},
        {"WinHttpSendRequest", "", {}, 711, 3},
        {"WinHttpReceiveResponse", "", {}, 712, 3},
    };
    const char* messages[] = {
        "700 当前系统不支持WinHttp服务!", "701 解析URL地址失败!", "702 创建WinHttp会话失败!",
        "703 创建WinHttp连接失败!", "704 创建WinHttp请求失败!", "705 设置超时时间失败!", "",
        "707 设置代理凭证失败!", "708 禁止自动设置Cookies失败!", "709 重定向设置失败!",
        "710 设置协议头失败!", "711 发送请求失败!", "712 服务器未响应!",
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing + " " + c.target);
        FakeWinHttp fake;
        fake.failing = {c.failing};
        fake.failingCredentialsTarget = c.target;
        fake.pieces = {"body"};
        Text status = "old", headers = "old", cookies = "old", location = "old";
        Bytes body = bytesOf("old");
        WinHttpRequestOptions options = c.options;
        options.statusText = &status;
        options.responseHeaders = &headers;
        options.returnedCookies = &cookies;
        options.redirectAddress = &location;
        options.responseBody = &body;
        const int depth = comInitializationDepth();
        EXPECT_EQ(requestViaWinHttp("http://h/p", options, fake), "");
        EXPECT_EQ(comInitializationDepth(), depth);
        EXPECT_EQ(status, utf8ToAnsi(messages[c.number - 700]));
        EXPECT_EQ(headers, "old");
        EXPECT_EQ(cookies, "old");
        EXPECT_EQ(location, "old");
        EXPECT_EQ(body, bytesOf("old"));
        const std::vector<std::string> all = {"WinHttpCloseHandle(request)", "WinHttpCloseHandle(connection)",
                                              "WinHttpCloseHandle(session)"};
        EXPECT_EQ(callsNamed(fake, "WinHttpCloseHandle"),
                  std::vector<std::string>(all.end() - c.closes, all.end()));
        EXPECT_TRUE(fake.calls[fake.calls.size() - c.closes - 1].starts_with(c.failing.substr(0, c.failing.find(' '))))
            << "nothing is called after the failing step";
    }
}

TEST(RequestViaWinHttp, FailedReadKeepsWhatCameAndTheStatusTextOverwritesTheMessage) {
    struct Case { bool headersReadable; const char* status; const char* result; const char* why; };
    const Case cases[] = {
        {true, "200 OK", "ab", "the header block is read after the failure"},
        {false, "713 读取数据失败!", "", "without a header block the message stays"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinHttp fake;
        fake.pieces = {"a", "b", "c"};
        fake.readFailsAt = 2;
        fake.secondHeaderQueryFails = !c.headersReadable;
        Text status;
        Bytes body = bytesOf("untouched");
        EXPECT_EQ(requestViaWinHttp("http://h/", {.statusText = &status, .responseBody = &body}, fake), c.result);
        EXPECT_EQ(status, utf8ToAnsi(c.status));
        EXPECT_EQ(body, c.headersReadable ? bytesOf("ab") : bytesOf("untouched"));
        EXPECT_EQ(callsNamed(fake, "WinHttpCloseHandle").size(), 3u);
    }
}

TEST(RequestViaWinHttp, EndlessBodyEndsAsAFailedReadAtTheBound) {
    FakeWinHttp fake;
    fake.endlessBody = true;
    Text status;
    Bytes body;
    Text result = requestViaWinHttp("http://h/", {.statusText = &status, .responseBody = &body}, fake);
    EXPECT_EQ(body.size(), kMaxResponseBodyBytes);
    EXPECT_EQ(result.size(), kMaxResponseBodyBytes);
    EXPECT_EQ(status, "200 OK");  // the status text overwrites 713, as after any failed read

    FakeWinHttp headless;
    headless.endlessBody = true;
    headless.headerBlock.reset();
    requestViaWinHttp("http://h/", {.statusText = &status}, headless);
    EXPECT_EQ(status, utf8ToAnsi("713 读取数据失败!"));
}

TEST(RequestViaWinHttp, AddressPartsMethodAndObjectName) {
    struct Case { const char* url; int method; std::string request; std::string connect; const char* why; };
    const Case cases[] = {
        {"http://h", 0, "\"GET\", \"/\", null, null, null, 0x00000000", "\"h\", 80", "no path"},
        {"http://h?q=1", 8, "\"GET\", \"/\", null, null, null, 0x00000000", "\"h\", 80", "a query without a path is not sent"},
        {"http://H:8080/p?q=1", -1, "\"GET\", \"/p?q=1\", null, null, null, 0x00000000", "\"H\", 8080", "path and query"},
        {"HTTPS://h/x", 1, "\"POST\", \"/x\", null, null, null, 0x00800000", "\"h\", 443", "secure in capitals"},
        {"https://h:8443/", 7, "\"CONNECT\", \"/\", null, null, null, 0x00800000", "\"h\", 8443", "the last verb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinHttp fake;
        requestViaWinHttp(c.url, {.method = c.method}, fake);
        EXPECT_EQ(callsNamed(fake, "WinHttpOpenRequest")[0], "WinHttpOpenRequest(connection, " + c.request + ")");
        EXPECT_EQ(callsNamed(fake, "WinHttpConnect")[0], "WinHttpConnect(session, " + c.connect + ", 0)");
    }
    FakeWinHttp empty;
    Text status;
    requestViaWinHttp("", {.statusText = &status}, empty);
    EXPECT_EQ(status, utf8ToAnsi("701 解析URL地址失败!"));
}

TEST(RequestViaWinHttp, TimeoutProxyCredentialsAndOptions) {
    struct Case { const char* url; WinHttpRequestOptions options; std::vector<std::string> expected; const char* why; };
    const Case cases[] = {
        {"http://h/", {.timeoutSeconds = -3}, {"WinHttpSetTimeouts(request, 30000, 30000, 30000, 30000)"}, "below 1: 30 s"},
        {"http://h/", {.timeoutSeconds = 5}, {"WinHttpSetTimeouts(request, 5000, 5000, 5000, 5000)"}, "5 s"},
        {"http://h/", {.timeoutSeconds = INT_MAX},
         {"WinHttpSetTimeouts(request, 2147483647, 2147483647, 2147483647, 2147483647)"}, "no overflow"},
        {"http://h/", {.proxy = "127.0.0.1:8888"}, {"WinHttpOpen(null, 3, \"http=127.0.0.1:8888\", null, 0)"}, "plain: http="},
        {"https://h/", {.proxy = "127.0.0.1:8888"}, {"WinHttpOpen(null, 3, \"127.0.0.1:8888\", null, 0)"}, "secure: bare"},
        {"http://h/", {.userName = "u"}, {}, "a user name without a password sets nothing"},
        {"http://h/", {.userName = "用户", .password = "p", .proxyUserName = "pu", .proxyPassword = "pp"},
         {"WinHttpSetCredentials(request, 0, 1, \"用户\", \"p\", null)",
          "WinHttpSetCredentials(request, 1, 1, \"pu\", \"pp\", null)"}, "server, then proxy"},
        {"http://h/", {}, {"WinHttpSetOption(request, 63, 1, 4)"}, "no cookies: automatic ones off"},
        {"http://h/", {.cookies = "a=1"}, {"WinHttpSetOption(request, 79, 1, 4)", "WinHttpSetOption(request, 63, 1, 4)"},
         "with cookies: revocation checking, and automatic cookies off too"},
        {"http://h/", {.noRedirect = true}, {"WinHttpSetOption(request, 63, 1, 4)", "WinHttpSetOption(request, 63, 2, 4)"},
         "redirects off"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinHttp fake;
        WinHttpRequestOptions options = c.options;
        options.userName = utf8ToAnsi(options.userName);
        requestViaWinHttp(c.url, options, fake);
        const std::string prefix = c.expected.empty() ? "WinHttpSetCredentials(" : c.expected[0].substr(0, c.expected[0].find('(') + 1);
        std::vector<std::string> expected;
        for (const std::string& e : c.expected) expected.push_back(utf8ToAnsi(e));
        EXPECT_EQ(callsNamed(fake, prefix), expected);
    }
}

TEST(RequestViaWinHttp, HeaderBlockIsComposedAndAddedOnce) {
    struct Case { WinHttpRequestOptions options; std::optional<std::string> block; const char* why; };
    const Case cases[] = {
        {{.method = 1}, "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
                        "Accept: text/html, application/xhtml+xml, */*\r\nAccept-Encoding: gbk, GB2312\r\n"
                        "Accept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                        "Cache-Control: no-cache", "a POST gets the form content type"},
        {{.headers = "user-agent: X\r\ncontent-type:text/plain", .addDefaultHeaders = true},
         "User-Agent: X\r\nAccept: text/html, application/xhtml+xml, */*\r\nAccept-Encoding: gbk, GB2312\r\n"
         "Accept-Language: zh-cn\r\nCache-Control: no-cache",
         "a lower-case agent suppresses the default; a line without \": \" is dropped"},
        {{.method = 1, .headers = "X-Note: see Content-Type:x", .addDefaultHeaders = true},
         "X-Note: see Content-Type:x\r\n" + kDefaultBlock.substr(0, kDefaultBlock.find("\r\nCache")) +
             "\r\nCache-Control: no-cache",
         "a key inside another value suppresses its default"},
        {{.cookies = "a=1; b=2", .addDefaultHeaders = false}, "\r\nCookie: a=1; b=2\r\n",
         "the cookie line with CR LF on both sides"},
        {{.cookies = "a=1", .headers = "cookie: mine", .addDefaultHeaders = false}, "Cookie: mine",
         "a caller's cookie line is the only one"},
        {{.addDefaultHeaders = false}, std::nullopt, "nothing to add: the call is left out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinHttp fake;
        Text status;
        WinHttpRequestOptions options = c.options;
        options.statusText = &status;
        requestViaWinHttp("http://h/", options, fake);
        EXPECT_EQ(status, "200 OK");
        if (c.block) {
            EXPECT_EQ(fake.sentHeaders, *c.block);
            EXPECT_EQ(callsNamed(fake, "WinHttpAddRequestHeaders")[0],
                      "WinHttpAddRequestHeaders(request, headers, " + std::to_string(c.block->size()) + ", 0xA0000000)");
        } else {
            EXPECT_TRUE(callsNamed(fake, "WinHttpAddRequestHeaders").empty());
        }
    }
}

TEST(RequestViaWinHttp, BodyIsSentWithAnyMethodUpToItsFirstZeroByte) {
    FakeWinHttp fake;
    requestViaWinHttp("http://h/", {.body = std::string("a=1\0b", 5)}, fake);
    EXPECT_EQ(fake.sentBody, "a=1");
    EXPECT_EQ(callsNamed(fake, "WinHttpSendRequest")[0], "WinHttpSendRequest(request, null, 0, body, 3, 3, 0)");
}

TEST(RequestViaWinHttp, StatusLocationAndCookiesComeFromTheHeaderBlock) {
    struct Case { std::string block; Text cookies; bool merge; const char* status; const char* location; const char* returned; const char* why; };
    const Case cases[] = {
        {"HTTP/1.1 302 Found\r\nLocation: http://a/1.mp3\r\nlocation: http://b/2\r\n\r\n", "", true,
         "302 Found", "http://b/2", "", "a later Location overwrites; case ignored"},
        {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nset-cookie: c=3\r\n\r\n", "", true,
         "200 OK", "old", "a=1; b=2", "pairs in order, only the exact name, no Location"},
        {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n", "c=3", true,
         "200 OK", "old", "a=1; b=2; c=3", "merged with the sent ones"},
        {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\n\r\n", "c=3", false, "200 OK", "old", "a=1", "merging off"},
        {"HTTP/1.1 200 OK\r\nX: y\r\n\r\n", "", true, "200 OK", "old", "", "no cookies: empty"},
        {"HTTP/1.1", "", true, "", "old", "", "no line end after the 10th byte: empty status"},
        {"HTTP/1.1 404 \xCE\xB4\xD5\xD2\xB5\xBD\r\n\r\n", "", true, "404 \xCE\xB4\xD5\xD2\xB5\xBD", "old", "",
         "GBK in the status line comes through"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWinHttp fake;
        fake.headerBlock = c.block;
        Text status, location = "old", returned = "old", headers;
        requestViaWinHttp("http://h/", {.cookies = c.cookies, .returnedCookies = &returned, .responseHeaders = &headers,
                                        .redirectAddress = &location, .statusText = &status,
                                        .mergeReturnedCookies = c.merge},
                          fake);
        EXPECT_EQ(headers, c.block);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(location, c.location);
        EXPECT_EQ(returned, c.returned);
    }
}

TEST(RequestViaWinHttp, FailedHeaderQueryEndsWithoutMessageOrOutputs) {
    FakeWinHttp fake;
    fake.pieces = {"<meta charset=utf-8>body"};
    fake.secondHeaderQueryFails = true;
    Text status = "old", headers = "old";
    Bytes body = bytesOf("old");
    const int depth = comInitializationDepth();
    EXPECT_EQ(requestViaWinHttp("http://h/", {.responseHeaders = &headers, .statusText = &status, .responseBody = &body}, fake), "");
    EXPECT_EQ(comInitializationDepth(), depth);
    EXPECT_EQ(status, "old");
    EXPECT_EQ(headers, "old");
    EXPECT_EQ(body, bytesOf("old"));
    EXPECT_EQ(callsNamed(fake, "WinHttpCloseHandle").size(), 3u);
}

class RecordingStream : public Dispatch {
public:
    explicit RecordingStream(std::vector<std::string>& log) : log_(log) {}
    bool putProperty(std::string_view name, const Variant& value) override {
        log_.push_back(std::string(name) + "=" + value.toText());
        return true;
    }
    bool getProperty(std::string_view, const VariantArgs&, Variant&) override { return false; }
    bool callMethod(std::string_view name, const VariantArgs& args, Variant& result) override {
        log_.push_back(std::string(name) + (args.empty() ? "" : " " + std::to_string(args[0].toBytes().size()) + " bytes"));
        if (name == "ReadText") result = Text("re-read");
        return true;
    }

private:
    std::vector<std::string>& log_;
};

TEST(RequestViaWinHttp, DeclaredCharsetReReadsTheBodyThroughTheStream) {
    struct Case { std::string body; bool reread; const char* why; };
    const Case cases[] = {
        {"<html><meta charset='utf-8'>", true, "a declared charset"},
        {"<META CONTENT=\"text/html; CHARSET=GBK\">", true, "\"GBK\" in capitals is not the same as gbk"},
        {"<meta charset=gbk>", false, "gbk as read"},
        {"<meta charset=\"gb2312\">", false, "gb2312 as read"},
        {std::string(1024, ' ') + "<meta charset=utf-8>", false, "a declaration past byte 1024 is not seen"},
        {std::string("\0<meta charset=utf-8>", 21), false, "the text ends at the zero byte"},
        {"<p>no declaration</p>", false, "nothing declared"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<std::string> log;
        int depthAtCreation = -1;
        setAutomationFactory("Adodb.Stream", [&] {
            depthAtCreation = comInitializationDepth();
            return std::make_shared<RecordingStream>(log);
        });
        FakeWinHttp fake;
        fake.pieces = {c.body};
        const int depth = comInitializationDepth();
        Text result = requestViaWinHttp("http://h/", {}, fake);
        setAutomationFactory("Adodb.Stream", nullptr);
        EXPECT_EQ(comInitializationDepth(), depth);
        if (c.reread) {
            EXPECT_EQ(result, "re-read");
            EXPECT_EQ(depthAtCreation, depth + 2) << "the object's and the step's own initialisation";
            const std::string charset = c.body.find("GBK") != std::string::npos ? "GBK" : "utf-8";
            const std::vector<std::string> expected = {"Type=1", "Mode=3", "Open", "Write " + std::to_string(c.body.size()) + " bytes",
                                                       "Position=0", "Type=2", "Charset=" + charset, "ReadText", "Close"};
            EXPECT_EQ(log, expected);
        } else {
            EXPECT_EQ(result, textOf(bytesOf(c.body)));
            EXPECT_TRUE(log.empty());
        }
    }
}

TEST(RequestViaWinHttp, WithoutAStreamObjectTheBodyStaysAsRead) {
    setAutomationFactory("Adodb.Stream", [] { return nullptr; });
    FakeWinHttp fake;
    fake.pieces = {"<meta charset=utf-8>\xE4\xB8\xAD"};
    EXPECT_EQ(requestViaWinHttp("http://h/", {}, fake), fake.pieces[0]);
    setAutomationFactory("Adodb.Stream", nullptr);
}

TEST(RequestViaWinHttp, Utf8PageIsReturnedAsGbkThroughTheRealStream) {
    FakeWinHttp fake;
    fake.pieces = {"<meta charset=\"utf-8\">", "\xE4\xB8\xAD\xE6\x96\x87"};  // 中文
    Bytes raw;
    EXPECT_EQ(requestViaWinHttp("http://h/", {.responseBody = &raw}, fake), "<meta charset=\"utf-8\">\xD6\xD0\xCE\xC4");
    EXPECT_EQ(raw, bytesOf("<meta charset=\"utf-8\">\xE4\xB8\xAD\xE6\x96\x87"));
}

TEST(TextToWide, GivesUtf16WithItsTerminatorUnlessEmpty) {
    EXPECT_EQ(textToWide(""), Bytes{});
    EXPECT_EQ(textToWide("", true), Bytes{});
    EXPECT_EQ(textToWide("A\xD6\xD0"), (Bytes{'A', 0, 0x2D, 0x4E, 0, 0}));  // A 中
    EXPECT_EQ(textToWide("A", true), (Bytes{'A', 0}));
    EXPECT_EQ(textToWide(std::string("a\0b", 3)), (Bytes{'a', 0, 0, 0}));  // a zero byte ends a Text
}

TEST(WideToText, ReadsUnitsUpToTheFirstZero) {
    struct Case { Bytes in; Text out; const char* why; };
    const Case cases[] = {
        {{'A', 0, 0x2D, 0x4E}, "A\xD6\xD0", "GBK for a Chinese character"},
        {{'a', 0, 0, 0, 'b', 0}, "a", "a zero unit ends the text"},
        {{'a', 0, 'b'}, "a", "an odd last byte is not read"},
        {{}, "", "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(wideToText(c.in), c.out);
    }
}

}  // namespace
