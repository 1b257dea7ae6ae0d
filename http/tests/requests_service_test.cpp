// Both page requests end to end, over the curl-backed layers, against the loopback test service.
#include <chrono>
#include <thread>

#include "http/request_method.h"
#include "http/winhttp_request.h"
#include "platform/com.h"
#include "http/wininet_request.h"
#include "testservice/service_test.h"
#include "text/url_encode.h"

namespace {

Text message(const char* utf8) { return utf8ToAnsi(utf8); }

// The ways a server can misbehave, each at its own path.
void scriptBadAnswers(TestService& service) {
    service.answer("*", "/garbage", Script().send("garbage instead of HTTP\r\n\r\nmore garbage"));
    service.answer("*", "/endless-header",
                   Script().send("HTTP/1.1 200 OK\r\n").repeat("X-Filler: 0123456789abcdef\r\n", 1000000));
    service.answer("*", "/long-location",
                   Script().send("HTTP/1.1 302 Found\r\nLocation: http://h/" + std::string(1 << 20, 'a') + "\r\n\r\n"));
    service.answer("*", "/hang", Script().hang(30000));
    service.answer("*", "/cut", Script().send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial").close());
    service.answer("*", "/endless-body",
                   Script().send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n").repeat(std::string(65536, 'e'), 1024));
}

class WinHttpRequest : public ServiceTest {};

TEST_F(WinHttpRequest, LinkResolutionGetsTheRedirectFromHttpsToHttpBack) {
    const std::string link = service().url("/m8/a/b/1.mp3");
    ASSERT_TRUE(service().answer("GET", "/song/media/outer/url",
                                 httpAnswer("HTTP/1.1 302 Found", {"Server: test", "Location: " + link})));
    Text headers;
    requestViaWinHttp(service().url("/song/media/outer/url?id=1.mp3", true), {.responseHeaders = &headers});
    EXPECT_EQ(headers, "HTTP/1.1 302 Found\r\nServer: test\r\nLocation: " + link + "\r\nContent-Length: 0\r\n\r\n");
    EXPECT_TRUE(service().arrivals("/m8/a/b/1.mp3").empty()) << "the redirect was not followed";

    auto arrived = service().arrivals("/song/media/outer/url");
    ASSERT_EQ(arrived.size(), 1u);
    const Arrival& a = arrived[0];
    EXPECT_TRUE(a.tls);
    EXPECT_EQ(a.requestLine, "GET /song/media/outer/url?id=1.mp3 HTTP/1.1");
    const std::vector<std::string> sent = {
        "Host: 127.0.0.1:" + std::to_string(service().port()),
        "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
        "Accept: text/html, application/xhtml+xml, */*",
        "Accept-Encoding: gbk, GB2312",
        "Accept-Language: zh-cn",
        "Cache-Control: no-cache",
    };
    EXPECT_EQ(a.headerLines, sent);
    EXPECT_EQ(a.body, "");
}

TEST_F(WinHttpRequest, HttpsToHttpsRedirectIsFollowed) {
    ASSERT_TRUE(service().answer("GET", "/from", httpAnswer("HTTP/1.1 302 Found", {"Location: " + service().url("/to", true)})));
    ASSERT_TRUE(service().answer("GET", "/to", httpAnswer("HTTP/1.1 200 OK", {"X-Final: yes"}, "arrived")));
    Text headers, status;
    EXPECT_EQ(requestViaWinHttp(service().url("/from", true), {.responseHeaders = &headers, .statusText = &status}), "arrived");
    EXPECT_EQ(status, "200 OK");
    EXPECT_EQ(headers, "HTTP/1.1 200 OK\r\nX-Final: yes\r\nContent-Length: 7\r\n\r\n");
}

TEST_F(WinHttpRequest, PostBodyHeadersCookiesAndCredentialsArriveAsComposed) {
    ASSERT_TRUE(service().answer("POST", "/form",
                                 httpAnswer("HTTP/1.1 200 OK", {"Set-Cookie: sid=9; Path=/; HttpOnly", "Set-Cookie: keep=1"}, "ok")));
    Text returned, status;
    Text result = requestViaWinHttp(service().url("/form?x=1"),
                                    {.method = 1, .body = "a=1&b=%E4", .cookies = "sid=1; old=2",
                                     .returnedCookies = &returned, .headers = "x-custom: v",
                                     .userName = "user", .password = "pw", .statusText = &status});
    EXPECT_EQ(result, "ok");
    EXPECT_EQ(status, "200 OK");
    EXPECT_EQ(returned, "sid=9; keep=1; old=2");
    auto arrived = service().arrivals("/form");
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(arrived[0].requestLine, "POST /form?x=1 HTTP/1.1");
    EXPECT_EQ(arrived[0].body, "a=1&b=%E4");
    EXPECT_EQ(arrived[0].header("X-Custom"), "v");
    EXPECT_EQ(arrived[0].header("Cookie"), "sid=1; old=2");
    EXPECT_EQ(arrived[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(arrived[0].header("Authorization"), "Basic dXNlcjpwdw==");

    // A GET carries its body too, without the form content type.
    ASSERT_TRUE(service().answer("GET", "/get", httpAnswer("HTTP/1.1 204 No Content")));
    requestViaWinHttp(service().url("/get", true), {.body = "q=1"});
    arrived = service().arrivals("/get");
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(arrived[0].requestLine, "GET /get HTTP/1.1");
    EXPECT_EQ(arrived[0].body, "q=1");
    EXPECT_FALSE(arrived[0].header("Content-Type"));
}

TEST_F(WinHttpRequest, BodyWithAZeroByteAndADeclaredCharset) {
    ASSERT_TRUE(service().answer("GET", "/zero", httpAnswer("HTTP/1.1 200 OK", {}, std::string("before\0after", 12))));
    ASSERT_TRUE(service().answer("GET", "/utf8", httpAnswer("HTTP/1.1 200 OK", {"Content-Type: text/html"},
                                                            "<html><meta charset=\"utf-8\"><p>\xE4\xB8\xAD\xE6\x96\x87</p>")));
    Bytes raw;
    EXPECT_EQ(requestViaWinHttp(service().url("/zero"), {.responseBody = &raw}), "before");
    EXPECT_EQ(raw, bytesOf(std::string("before\0after", 12)));
    EXPECT_EQ(requestViaWinHttp(service().url("/utf8", true)), "<html><meta charset=\"utf-8\"><p>\xD6\xD0\xCE\xC4</p>");

    // A charset the stream does not know leaves the body as read.
    ASSERT_TRUE(service().answer("GET", "/unknown", httpAnswer("HTTP/1.1 200 OK", {}, "<meta charset=\"x-foo\"><p>hello</p>")));
    EXPECT_EQ(requestViaWinHttp(service().url("/unknown")), "<meta charset=\"x-foo\"><p>hello</p>");
}

TEST_F(WinHttpRequest, PlainRequestGoesThroughANamedProxy) {
    ASSERT_TRUE(service().answer("GET", "/via", httpAnswer("HTTP/1.1 200 OK", {}, "proxied")));
    const std::string target = "http://127.0.0.1:" + std::to_string(TestService::closedPort()) + "/via";
    EXPECT_EQ(requestViaWinHttp(target, {.proxy = "127.0.0.1:" + std::to_string(service().port()),
                                         .proxyUserName = "pu", .proxyPassword = "pp"}),
              "proxied");
    auto arrived = service().arrivals("/via");
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(arrived[0].requestLine, "GET " + target + " HTTP/1.1");
    EXPECT_EQ(arrived[0].header("Proxy-Authorization"), "Basic cHU6cHA=");
}

TEST_F(WinHttpRequest, BadAnswersEndWithTheirFailureAndNeverHang) {
    scriptBadAnswers(service());
    struct Case { std::string url; const char* status; std::size_t bodySize; const char* why; };
    const Case cases[] = {
        {service().url("/garbage"), "712 服务器未响应!", 0, "not HTTP"},
        {service().url("/endless-header"), "712 服务器未响应!", 0, "a header block without end"},
        {service().url("/long-location"), "712 服务器未响应!", 0, "a Location line of a megabyte"},
        {service().url("/hang"), "712 服务器未响应!", 0, "no answer within the second given"},
        {service().untrustedUrl("/garbage"), "711 发送请求失败!", 0, "a certificate from a CA nobody trusts"},
        {"http://127.0.0.1:" + std::to_string(TestService::closedPort()) + "/", "711 发送请求失败!", 0, "nothing listens"},
        {service().url("/cut"), "200 OK", 7, "closed mid-body: a failed read, then the status text"},
        {service().url("/endless-body"), "200 OK", kMaxResponseBodyBytes, "the body bound ends it as a failed read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const auto start = std::chrono::steady_clock::now();
        Text status;
        Bytes body;
        Text result = requestViaWinHttp(c.url, {.timeoutSeconds = 1, .statusText = &status, .responseBody = &body});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
        EXPECT_EQ(status, message(c.status));
        EXPECT_EQ(body.size(), c.bodySize);
        EXPECT_EQ(result.size(), c.bodySize);
    }
}

TEST_F(WinHttpRequest, QueriesOnWorkerThreadsRunSideBySide) {
    ASSERT_TRUE(service().answer("GET", "/page", Script().delay(50).send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")));
    std::vector<std::thread> workers;
    std::vector<std::string> outcomes(6);
    for (int t = 0; t < 6; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < 3; ++i) {
                outcomes[t] += requestViaWinHttp(service().url("/page", (t + i) % 2 == 0));
                outcomes[t] += textOf(requestViaWinInet(service().url("/page", t % 2 == 0)));
            }
            outcomes[t] += "/" + std::to_string(comInitializationDepth());
        });
    for (auto& worker : workers) worker.join();
    for (const std::string& outcome : outcomes) EXPECT_EQ(outcome, "okokokokokok/0");
    EXPECT_EQ(service().arrivals("/page").size(), 36u);
}

class WinInetRequest : public ServiceTest {
protected:
    // The platform's own limits are a minute and half a minute; these keep the suite quick.
    std::unique_ptr<WinInet> layer = makeWinInet({2000, 1000, 1000});
};

TEST_F(WinInetRequest, SearchPostArrivesAsComposedAndItsAnswerComesBack) {
    const std::string answer = "{\"result\":{\"songs\":[]},\"code\":200}";
    ASSERT_TRUE(service().answer("POST", "/api/search/pc",
                                 httpAnswer("HTTP/1.1 200 OK", {"Content-Type: application/json"}, answer)));
    const Text url = service().url("/api/search/pc");
    const Text form = "offset=0&total=true&limit=50&type=1&s=%E5%91%A8";
    Bytes result = requestViaWinInet(
        url, {.method = 1, .body = form, .cookies = Text("os=pc; MUSIC_U=8170591746"), .noRedirect = true}, *layer);
    EXPECT_EQ(result, bytesOf(answer));
    auto arrived = service().arrivals("/api/search/pc");
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_FALSE(arrived[0].tls);
    EXPECT_EQ(arrived[0].requestLine, "POST /api/search/pc HTTP/1.1");
    const std::vector<std::string> sent = {
        "Host: 127.0.0.1:" + std::to_string(service().port()),
        "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
        "Accept: */*",
        "Referer: " + url,
        "Accept-Language: zh-cn",
        "Content-Type: application/x-www-form-urlencoded",
        "Cookie: os=pc; MUSIC_U=8170591746",
        "Content-Length: " + std::to_string(form.size()),
    };
    EXPECT_EQ(arrived[0].headerLines, sent);
    EXPECT_EQ(arrived[0].body, form);
}

TEST_F(WinInetRequest, RedirectComesBackUnfollowedOnlyWhenAsked) {
    ASSERT_TRUE(service().answer("GET", "/moved", httpAnswer("HTTP/1.1 302 Found", {"Location: /there"}, "moved here")));
    ASSERT_TRUE(service().answer("GET", "/there", httpAnswer("HTTP/1.1 200 OK", {}, "there")));
    Text headers;
    EXPECT_EQ(requestViaWinInet(service().url("/moved"), {.responseHeaders = &headers, .noRedirect = true}, *layer),
              bytesOf("moved here"));
    EXPECT_EQ(headers, "HTTP/1.1 302 Found\r\nLocation: /there\r\nContent-Length: 10\r\n\r\n");
    EXPECT_EQ(requestViaWinInet(service().url("/moved", true), {.responseHeaders = &headers}, *layer), bytesOf("there"));
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n"));
}

TEST_F(WinInetRequest, CookiesOfTheAnswerAreCollectedAndMerged) {
    ASSERT_TRUE(service().answer("GET", "/c", httpAnswer("HTTP/1.1 200 OK",
                                                        {"Set-Cookie: a=1; expires=Thu, 01 Jan 2099 00:00:00 GMT",
                                                         "Set-Cookie: gone=deleted", "Set-Cookie: b=2"})));
    Text plain, merged;
    requestViaWinInet(service().url("/c"), {.returnedCookies = &plain}, *layer);
    requestViaWinInet(service().url("/c"), {.cookies = Text("gone=1; z=26"), .returnedCookies = &merged}, *layer);
    EXPECT_EQ(plain, "a=1; gone=deleted; b=2");
    EXPECT_EQ(merged, "a=1; b=2; z=26");
}

TEST_F(WinInetRequest, HeaderBlockBeyondFiveThousandBytesLeavesBlanksButTheBodyIsRead) {
    ASSERT_TRUE(service().answer("GET", "/big-head", httpAnswer("HTTP/1.1 200 OK",
                                                               {"Set-Cookie: a=1", "X-Big: " + std::string(5000, 'b')},
                                                               std::string("zero\0byte", 9))));
    Text headers, cookies = "old";
    Bytes result = requestViaWinInet(service().url("/big-head"), {.returnedCookies = &cookies, .responseHeaders = &headers}, *layer);
    EXPECT_EQ(result, bytesOf(std::string("zero\0byte", 9)));
    EXPECT_EQ(headers, Text(5000, ' '));
    EXPECT_EQ(cookies, "");
}

TEST_F(WinInetRequest, PlainRequestGoesThroughTheProxy) {
    ASSERT_TRUE(service().answer("GET", "/via", httpAnswer("HTTP/1.1 200 OK", {}, "proxied")));
    const std::string target = "http://127.0.0.1:" + std::to_string(TestService::closedPort()) + "/via";
    EXPECT_EQ(requestViaWinInet(target, {.proxy = "127.0.0.1:" + std::to_string(service().port())}, *layer),
              bytesOf("proxied"));
    auto arrived = service().arrivals("/via");
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(arrived[0].requestLine, "GET " + target + " HTTP/1.1");
}

TEST_F(WinInetRequest, BadAnswersGiveWhatWasReadAndNeverHang) {
    scriptBadAnswers(service());
    struct Case { std::string url; std::size_t bodySize; bool headers; const char* why; };
    const Case cases[] = {
        {service().url("/garbage"), 0, false, "not HTTP"},
        {service().url("/endless-header"), 0, false, "a header block without end"},
        {service().url("/long-location"), 0, false, "a Location line of a megabyte"},
        {service().url("/hang"), 0, false, "no answer within the limit"},
        {service().untrustedUrl("/garbage"), 0, false, "a certificate from a CA nobody trusts"},
        {"http://127.0.0.1:" + std::to_string(TestService::closedPort()) + "/", 0, false, "nothing listens"},
        {service().url("/cut"), 7, true, "closed mid-body: the body read so far"},
        {service().url("/endless-body"), kMaxResponseBodyBytes, true, "the body bound"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const auto start = std::chrono::steady_clock::now();
        Text headers;
        Bytes result = requestViaWinInet(c.url, {.responseHeaders = &headers}, *layer);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
        EXPECT_EQ(result.size(), c.bodySize);
        EXPECT_EQ(headers.starts_with("HTTP/1.1 200 OK\r\n"), c.headers);
        if (!c.headers) {
            EXPECT_EQ(headers, Text(5000, ' '));
        }
    }
}

}  // namespace
