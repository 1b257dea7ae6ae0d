#include "platform/ascii.h"
#include "platform/curl_transfer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Body bytes held before the transfer is paused until the reader catches up.
constexpr std::size_t kHighWater = 256 * 1024;

struct CurlStringFree {
    void operator()(char* s) const { curl_free(s); }
};
using CurlString = std::unique_ptr<char, CurlStringFree>;


std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string_view headerName(std::string_view line) {
    std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view{} : trim(line.substr(0, colon));
}

// The value of the block's first header line with that name, trimmed; "" when there is none.
std::string headerValue(std::string_view block, std::string_view name) {
    std::size_t at = block.find("\r\n");  // skip the status line
    while (at != std::string_view::npos) {
        at += 2;
        std::size_t end = block.find("\r\n", at);
        std::string_view line = block.substr(at, end == std::string_view::npos ? end : end - at);
        if (equalsIgnoringAsciiCase(headerName(line), name))
            return std::string(trim(line.substr(line.find(':') + 1)));
        at = end;
    }
    return {};
}

int statusCodeOf(std::string_view statusLine) {
    std::size_t space = statusLine.find(' ');
    if (space == std::string_view::npos) return 0;
    int code = 0;
    for (std::size_t i = space + 1; i < statusLine.size() && i < space + 4; ++i) {
        char c = statusLine[i];
        if (c < '0' || c > '9') return 0;
        code = code * 10 + (c - '0');
    }
    return code;
}

bool isRedirect(int code) {
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

std::string hostForUrl(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::string caBundle() {
    // libcurl reads neither variable itself; tests and users name their own roots with them.
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return {};
}

struct UrlParts {
    bool secure = false;
    std::string host;
    int port = 0;
    std::string target;
};

std::optional<UrlParts> partsOf(CURLU* url) {
    auto get = [url](CURLUPart part, unsigned flags = 0) -> std::optional<std::string> {
        char* raw = nullptr;
        if (curl_url_get(url, part, &raw, flags) != CURLUE_OK) return std::nullopt;
        CurlString owned(raw);
        return std::string(raw);
    };
    auto scheme = get(CURLUPART_SCHEME);
    auto host = get(CURLUPART_HOST);
    auto port = get(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    auto path = get(CURLUPART_PATH);
    if (!scheme || !host || !port || !path) return std::nullopt;
    UrlParts parts;
    if (equalsIgnoringAsciiCase(*scheme, "https")) parts.secure = true;
    else if (!equalsIgnoringAsciiCase(*scheme, "http")) return std::nullopt;
    parts.host = *host;
    if (parts.host.size() > 1 && parts.host.front() == '[' && parts.host.back() == ']')
        parts.host = parts.host.substr(1, parts.host.size() - 2);
    parts.port = std::atoi(port->c_str());
    parts.target = *path;
    if (auto query = get(CURLUPART_QUERY)) parts.target += "?" + *query;
    return parts;
}

}  // namespace

bool curlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

std::string proxyFor(const std::string& proxyList, bool secure) {
    std::string specific, general;
    std::size_t at = 0;
    while (at < proxyList.size()) {
        std::size_t end = proxyList.find_first_of("; \t", at);
        if (end == std::string::npos) end = proxyList.size();
        std::string_view entry(proxyList.data() + at, end - at);
        at = end + 1;
        if (entry.empty()) continue;
        std::size_t equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (general.empty()) general = entry;
        } else if (equalsIgnoringAsciiCase(entry.substr(0, equals), secure ? "https" : "http")) {
            if (specific.empty()) specific = entry.substr(equals + 1);
        }
    }
    std::string chosen = !specific.empty() ? specific : general;
    if (chosen.empty()) return {};
    if (chosen.find("://") == std::string::npos) chosen = "http://" + chosen;
    return chosen;
}

std::string escapeBytes(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string escapeTarget(std::string_view target) {
    return (target.empty() || target.front() != '/' ? "/" : "") + escapeBytes(target);
}

struct CurlExchange::Hop {
    CurlList headers;
    CurlEasy easy;
    CURLM* multi = nullptr;
    bool connected = false;
    bool idleClockStarted = false;  // the send/receive limits count from the connection on
    curl_off_t bodyToSend = 0;
    char error[CURL_ERROR_SIZE] = {};

    Hop() = default;
    Hop(const Hop&) = delete;
    Hop& operator=(const Hop&) = delete;
    // The easy handle leaves the multi handle before it is cleaned up.
    ~Hop() {
        if (multi && easy) curl_multi_remove_handle(multi, easy.get());
    }
};

CurlExchange::CurlExchange(ExchangeRequest request) : request_(std::move(request)) {
    if (!curlReady()) return;
    tls_ = tlsShareFor(caBundle());
    multi_.reset(curl_multi_init());
}

CurlExchange::~CurlExchange() = default;

bool CurlExchange::startHop() {
    hop_.reset();
    auto hop = std::make_unique<Hop>();
    hop->easy.reset(curl_easy_init());
    if (!hop->easy) return false;
    CURL* e = hop->easy.get();
    const ExchangeRequest& r = request_;

    url_ = std::string(r.secure ? "https://" : "http://") + hostForUrl(r.host) + ":" +
           std::to_string(r.port) + escapeTarget(r.target);
    bool ok = curl_easy_setopt(e, CURLOPT_URL, url_.c_str()) == CURLE_OK;
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, hop->error);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION,
                     r.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_HTTP09_ALLOWED, 0L);
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlExchange::headerCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlExchange::writeCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &CurlExchange::progressCallback);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION,
                     +[](void* self, char*, char*, int, int) {
                         static_cast<Hop*>(self)->connected = true;
                         return CURL_PREREQFUNC_OK;
                     });
    curl_easy_setopt(e, CURLOPT_PREREQDATA, hop.get());

    long connectMs = 0;
    if (r.limits.resolveMs > 0 && r.limits.connectMs > 0)
        connectMs = r.limits.resolveMs + r.limits.connectMs;
    else if (r.limits.resolveMs <= 0)
        connectMs = r.limits.connectMs;
    if (connectMs > 0) curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connectMs);

    // An empty proxy text keeps libcurl from taking one from the environment.
    const std::string proxy = proxyFor(r.proxyList, r.secure);
    curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str());
    if (const std::string ca = caBundle(); !ca.empty()) {
        curl_easy_setopt(e, CURLOPT_CAINFO, ca.c_str());
        curl_easy_setopt(e, CURLOPT_PROXY_CAINFO, ca.c_str());
    }
    // Roots parsed once and sessions to resume, rather than the bundle read again and the chain
    // checked again on every connection.
    if (tls_ && !useTlsShare(e, *tls_)) ok = false;
    if (!r.userAgent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, r.userAgent.c_str());
    if (r.credentials) {
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(e, CURLOPT_USERNAME, r.credentials->first.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, r.credentials->second.c_str());
    }
    if (r.proxyCredentials) {
        curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, r.proxyCredentials->first.c_str());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, r.proxyCredentials->second.c_str());
    }

    if (r.method == "GET" && r.body.empty()) {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else if (r.method == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        hop->bodyToSend = static_cast<curl_off_t>(r.body.size());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, hop->bodyToSend);
        curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, r.body.empty()
                                                        ? ""
                                                        : reinterpret_cast<const char*>(r.body.data()));
        if (r.method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r.method.c_str());
    }

    // Header lines replace libcurl's own; the defaults it would add that neither platform sends
    // on its own are taken out unless the caller names them.
    bool named[3] = {};
    static constexpr std::string_view removable[3] = {"Accept", "Expect", "Content-Type"};
    curl_slist* list = nullptr;
    auto add = [&list, &ok](const std::string& line) {
        curl_slist* grown = curl_slist_append(list, line.c_str());
        if (!grown) ok = false;
        else list = grown;
    };
    for (const std::string& line : r.headers) {
        if (line.find_first_of("\r\n") != std::string::npos) continue;  // no smuggled lines
        std::string_view name = headerName(line);
        if (name.empty()) continue;
        for (int i = 0; i < 3; ++i)
            if (equalsIgnoringAsciiCase(name, removable[i])) named[i] = true;
        std::string_view value = trim(std::string_view(line).substr(line.find(':') + 1));
        // "Name:" alone would remove the header; "Name;" sends it empty.
        add(value.empty() ? std::string(name) + ";" : line);
    }
    for (int i = 0; i < 3; ++i)
        if (!named[i]) add(std::string(removable[i]) + ":");
    hop->headers.reset(list);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);

    if (!ok || curl_multi_add_handle(multi_.get(), e) != CURLM_OK) return false;
    hop->multi = multi_.get();
    blockOpen_ = false;
    block_.clear();
    statusCode_ = 0;
    uploaded_ = 0;
    downloaded_ = 0;
    redirectTo_.clear();
    hop_ = std::move(hop);
    return true;
}

void CurlExchange::fail() {
    hop_.reset();
    finished_ = true;
    failed_ = true;
}

bool CurlExchange::connected() const { return hop_ && hop_->connected; }

long CurlExchange::currentLimitMs() const {
    bool sending = hop_ && uploaded_ < hop_->bodyToSend && !blockOpen_;
    return sending ? request_.limits.sendMs : request_.limits.receiveMs;
}

template <class Done>
void CurlExchange::drive(Done done) {
    noteProgress();
    while (!finished_ && !done()) {
        int running = 0;
        if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
            fail();
            return;
        }
        collectMessages();
        if (finished_ || done()) return;
        long waitMs = 200;
        const long limit = currentLimitMs();
        if (connected() && !hop_->idleClockStarted) {
            // Resolving, connecting and the TLS handshake have a limit of their own.
            hop_->idleClockStarted = true;
            noteProgress();
        }
        if (limit > 0 && connected()) {
            auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - lastProgress_)
                            .count();
            if (idle >= limit) {
                fail();
                return;
            }
            waitMs = std::min<long>(waitMs, limit - static_cast<long>(idle));
        }
        curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(std::max(waitMs, 1L)), nullptr);
    }
}

void CurlExchange::collectMessages() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
        if (message->msg != CURLMSG_DONE || !hop_ || message->easy_handle != hop_->easy.get())
            continue;
        const CURLcode result = message->data.result;
        if (!redirectTo_.empty()) {
            CurlUrl next(curl_url());
            std::optional<UrlParts> parts;
            if (next && curl_url_set(next.get(), CURLUPART_URL, redirectTo_.c_str(), 0) == CURLUE_OK)
                parts = partsOf(next.get());
            if (!parts) {
                fail();
                return;
            }
            const bool sameOrigin = parts->secure == request_.secure &&
                                    equalsIgnoringAsciiCase(parts->host, request_.host) &&
                                    parts->port == request_.port;
            // Browsers' rule, which both platforms follow: 303 always, and 301/302 after a
            // POST, go on as GET without the body.
            if ((statusCode_ == 303 && request_.method != "HEAD") ||
                ((statusCode_ == 301 || statusCode_ == 302) && request_.method == "POST")) {
                request_.method = "GET";
                request_.body.clear();
                std::erase_if(request_.headers, [](const std::string& line) {
                    std::string_view name = headerName(line);
                    return equalsIgnoringAsciiCase(name, "Content-Type") ||
                           equalsIgnoringAsciiCase(name, "Content-Length");
                });
            }
            // Credentials for one server are not handed to another.
            if (!sameOrigin) request_.credentials.reset();
            request_.secure = parts->secure;
            request_.host = parts->host;
            request_.port = parts->port;
            request_.target = parts->target;
            ++hops_;
            if (!startHop()) {
                fail();
                return;
            }
            continue;
        }
        finished_ = true;
        failed_ = result != CURLE_OK || !headersFinal_;
        hop_.reset();
        return;
    }
}

bool CurlExchange::send() {
    if (started_) return false;
    started_ = true;
    if (!multi_ || !startHop()) {
        fail();
        return false;
    }
    drive([this] {
        noteSent();
        return requestSent_;
    });
    return requestSent_;
}

void CurlExchange::noteSent() {
    if (headersFinal_ || blockOpen_ || (connected() && uploaded_ >= hop_->bodyToSend))
        requestSent_ = true;
}

bool CurlExchange::receive() {
    if (!started_) return false;
    drive([this] { return headersFinal_; });
    return headersFinal_;
}

bool CurlExchange::waitForBody(std::size_t& available) {
    available = 0;
    if (!headersFinal_) return false;
    drive([this] { return buffer_.size() > bufferStart_; });
    available = buffer_.size() - bufferStart_;
    return available > 0 || !failed_;
}

std::size_t CurlExchange::take(void* buffer, std::size_t size) {
    std::size_t n = std::min(size, buffer_.size() - bufferStart_);
    if (n) std::memcpy(buffer, buffer_.data() + bufferStart_, n);
    bufferStart_ += n;
    if (bufferStart_ == buffer_.size()) {
        buffer_.clear();
        bufferStart_ = 0;
    } else if (bufferStart_ >= kHighWater) {
        buffer_.erase(0, bufferStart_);
        bufferStart_ = 0;
    }
    if (paused_ && hop_ && buffer_.size() - bufferStart_ < kHighWater / 2) {
        paused_ = false;
        curl_easy_pause(hop_->easy.get(), CURLPAUSE_CONT);
    }
    return n;
}

bool CurlExchange::onHeaderLine(std::string_view line) {
    noteProgress();
    requestSent_ = true;
    if (headersFinal_) return true;  // trailers after a chunked body
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!blockOpen_) {
        if (line.empty()) return true;
        block_.clear();
        blockOpen_ = true;
        statusCode_ = statusCodeOf(line);
    } else if (line.empty()) {
        block_ += "\r\n";
        blockOpen_ = false;
        return endOfBlock();
    }
    block_.append(line).append("\r\n");
    return block_.size() <= kMaxHeaderBlockBytes;
}

bool CurlExchange::endOfBlock() {
    if (statusCode_ >= 100 && statusCode_ < 200 && statusCode_ != 101) {
        block_.clear();  // 100 Continue and the like come before the answer itself
        return true;
    }
    const RedirectRules& rules = request_.redirects;
    if (rules.follow && isRedirect(statusCode_)) {
        const std::string location = headerValue(block_, "Location");
        CurlUrl next(curl_url());
        std::optional<UrlParts> parts;
        if (!location.empty() && next &&
            curl_url_set(next.get(), CURLUPART_URL, url_.c_str(), 0) == CURLUE_OK &&
            curl_url_set(next.get(), CURLUPART_URL, escapeBytes(location).c_str(), 0) == CURLUE_OK)
            parts = partsOf(next.get());
        bool allowed = parts.has_value();
        if (allowed && request_.secure && !parts->secure) allowed = rules.httpsToHttp;
        if (allowed && !request_.secure && parts->secure) allowed = rules.httpToHttps;
        if (allowed) {
            if (hops_ >= rules.maxHops) return false;  // fails the exchange, as the platforms do
            char* resolved = nullptr;
            if (curl_url_get(next.get(), CURLUPART_URL, &resolved, 0) != CURLUE_OK) return false;
            CurlString owned(resolved);
            redirectTo_ = resolved;
            return false;  // ends this hop; the next one starts from collectMessages
        }
    }
    headersFinal_ = true;
    return true;
}

std::size_t CurlExchange::onBody(const char* data, std::size_t size) {
    noteProgress();
    if (buffer_.size() - bufferStart_ >= kHighWater) {
        paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    buffer_.append(data, size);
    return size;
}

std::size_t CurlExchange::headerCallback(char* data, std::size_t size, std::size_t n, void* self) {
    std::size_t length = size * n;
    return static_cast<CurlExchange*>(self)->onHeaderLine(std::string_view(data, length)) ? length
                                                                                          : 0;
}

std::size_t CurlExchange::writeCallback(char* data, std::size_t size, std::size_t n, void* self) {
    return static_cast<CurlExchange*>(self)->onBody(data, size * n);
}

int CurlExchange::progressCallback(void* self, curl_off_t, curl_off_t dlNow, curl_off_t,
                                   curl_off_t ulNow) {
    auto* exchange = static_cast<CurlExchange*>(self);
    if (ulNow != exchange->uploaded_ || dlNow != exchange->downloaded_) exchange->noteProgress();
    exchange->uploaded_ = ulNow;
    exchange->downloaded_ = dlNow;
    exchange->noteSent();
    return 0;
}
