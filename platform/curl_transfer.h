#pragma once
// One HTTP/1.1 exchange over libcurl, the engine under the WinINet and WinHttp layers: it follows
// redirects itself (so that the policy and the "final answer" are its own), keeps the final
// answer's header block as the server wrote it, and hands the body out in pieces while holding
// at most a few hundred KiB of it. One thread drives an exchange at a time.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/curl_tls.h"
#include "platform/text_types.h"

struct CurlEasyFree {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyFree>;
struct CurlMultiFree {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
using CurlMulti = std::unique_ptr<CURLM, CurlMultiFree>;
struct CurlListFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListFree>;
struct CurlUrlFree {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlFree>;

// curl_global_init, run once for the process; false when libcurl could not be set up.
bool curlReady();

// Milliseconds; 0 is no limit.
struct ExchangeLimits {
    long resolveMs = 0;
    long connectMs = 60000;
    long sendMs = 30000;
    long receiveMs = 30000;
};

struct RedirectRules {
    bool follow = true;
    bool httpsToHttp = false;
    bool httpToHttps = true;
    int maxHops = 10;
};

// What one request asks for. Texts are the bytes that go on the wire.
struct ExchangeRequest {
    bool secure = false;
    std::string host;  // without brackets
    int port = 80;
    std::string target = "/";  // path and query as written on the request line
    std::string method = "GET";
    bool http10 = false;
    std::vector<std::string> headers;  // "Name: value"; each replaces a same-named default
    std::string userAgent;             // empty: none
    Bytes body;                        // sent with any method but HEAD
    std::string proxyList;             // empty: direct
    std::optional<std::pair<std::string, std::string>> credentials;       // Basic
    std::optional<std::pair<std::string, std::string>> proxyCredentials;  // Basic
    RedirectRules redirects;
    ExchangeLimits limits;
};

// The largest answer header block taken; a larger one fails the exchange.
inline constexpr std::size_t kMaxHeaderBlockBytes = 64 * 1024;

// The proxy URL ("http://host:port") the list names for a scheme, or "" for none.
std::string proxyFor(const std::string& proxyList, bool secure);
// The bytes with every one that may not stand in a URL (controls, blank, 0x7F and above)
// percent-escaped.
std::string escapeBytes(std::string_view text);
// escapeBytes of the target, with a "/" in front when it does not begin with one.
std::string escapeTarget(std::string_view target);

class CurlExchange {
public:
    explicit CurlExchange(ExchangeRequest request);
    ~CurlExchange();
    CurlExchange(const CurlExchange&) = delete;
    CurlExchange& operator=(const CurlExchange&) = delete;

    // Connects and sends the request; false when that failed or ran out of time.
    bool send();
    // Waits for the final answer's header block; false when the exchange failed before it.
    bool receive();
    // Waits until body bytes are there or the answer ended. False when the exchange failed
    // with nothing left to hand out; otherwise `available` is what is there (0 at the end).
    bool waitForBody(std::size_t& available);
    // Hands out up to `size` bytes of what waitForBody reported.
    std::size_t take(void* buffer, std::size_t size);
    // waitForBody, then take of up to `wanted` bytes into `buffer`; false as waitForBody.
    bool read(void* buffer, std::size_t wanted, std::size_t& read) {
        std::size_t available = 0;
        if (!waitForBody(available)) return false;
        read = take(buffer, std::min(available, wanted));
        return true;
    }
    // The final answer's header block, or null before it is complete.
    const std::string* headerBlock() const { return headersFinal_ ? &block_ : nullptr; }

private:
    struct Hop;
    bool startHop();
    template <class Done> void drive(Done done);
    void collectMessages();
    void fail();
    bool connected() const;
    long currentLimitMs() const;
    void noteProgress() { lastProgress_ = std::chrono::steady_clock::now(); }
    void noteSent();
    bool onHeaderLine(std::string_view line);
    bool endOfBlock();
    std::size_t onBody(const char* data, std::size_t size);
    static std::size_t headerCallback(char* data, std::size_t size, std::size_t n, void* self);
    static std::size_t writeCallback(char* data, std::size_t size, std::size_t n, void* self);
    static int progressCallback(void* self, curl_off_t dlTotal, curl_off_t dlNow,
                                curl_off_t ulTotal, curl_off_t ulNow);

    ExchangeRequest request_;
    std::string url_;           // of the current hop
    std::string redirectTo_;    // set when the current hop ends in a redirect to follow
    int hops_ = 0;
    // Roots, TLS sessions and addresses shared with other exchanges (never connections: the
    // multi handle and its connections are this exchange's own). Declared before multi_ so
    // that every easy handle is gone before it is let go.
    std::shared_ptr<CurlTlsShare> tls_;
    CurlMulti multi_;
    std::unique_ptr<Hop> hop_;  // declared after multi_: it leaves the multi handle first
    bool started_ = false;
    bool requestSent_ = false;
    bool finished_ = false;
    bool failed_ = false;
    bool headersFinal_ = false;
    bool blockOpen_ = false;
    std::string block_;
    int statusCode_ = 0;
    std::string buffer_;  // body bytes not yet handed out, from bufferStart_
    std::size_t bufferStart_ = 0;
    bool paused_ = false;
    curl_off_t uploaded_ = 0;
    curl_off_t downloaded_ = 0;
    std::chrono::steady_clock::time_point lastProgress_;
};
