#pragma once
// The loopback test service for tests: test_service.py run with python3 on 127.0.0.1, a free port
// for plain HTTP and TLS alike (the first byte tells them apart), and a second port whose
// certificate comes from a CA nobody trusts. Tests script answers byte for byte by method and
// path, and read back what arrived. Start it, use it, let the destructor stop it.
//
// Not thread-safe: one test thread talks to a service (the requests it answers may come from
// any number of threads).
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One request as the service received it.
struct Arrival {
    bool tls = false;
    bool tlsResumed = false;  // the handshake resumed an earlier TLS session
    int port = 0;
    int clientPort = 0;  // the client's end: tells connections apart
    std::string requestLine;               // "POST /x HTTP/1.1", without CR LF
    std::vector<std::string> headerLines;  // as written, without CR LF
    std::string body;                      // bytes, chunked coding undone

    std::string method() const;
    std::string target() const;
    // The value of the first line with that name (case ignored), blanks around it trimmed.
    std::optional<std::string> header(std::string_view name) const;
};

// An answer: actions carried out in order; then the connection is closed gracefully (TLS
// close_notify, then FIN) unless keep() was asked for.
class Script {
public:
    Script& send(std::string_view bytes);
    Script& delay(int ms);
    Script& repeat(std::string_view bytes, long count);  // stops when the client leaves
    Script& close();  // close at once, mid-answer, without close_notify
    Script& reset();  // close with a TCP reset
    Script& hang(int ms);  // say nothing until the client leaves or ms pass
    Script& keep();
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// A well-formed answer: the status line ("HTTP/1.1 200 OK"), the header lines, a Content-Length
// line unless one is among them, the body.
Script httpAnswer(std::string_view statusLine, const std::vector<std::string>& headerLines = {},
                  std::string_view body = {});

class TestService {
public:
    // `script` is a service built on test_service.py (its main() and command line); the default
    // is the plain one.
    explicit TestService(const std::string& script = defaultScript());
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    static std::string defaultScript();
    // A port on 127.0.0.1 that nothing listens on: bound, learnt and let go.
    static int closedPort();
    // The PEM file of the CA that signed the service's certificate (for CURL_CA_BUNDLE).
    static std::string caFile();

    bool running() const { return port_ != 0; }
    int port() const { return port_; }
    int untrustedPort() const { return untrustedPort_; }
    // "http://127.0.0.1:PORT" + path, or https, or the untrusted port.
    std::string url(std::string_view path, bool secure = false) const;
    std::string untrustedUrl(std::string_view path) const;

    // Every later request with that method ("*" for any) and path (query left out) gets it.
    bool answer(std::string_view method, std::string_view path, const Script& script);
    // What arrived so far, in order; with a path, only requests for it.
    std::vector<Arrival> arrivals();
    std::vector<Arrival> arrivals(std::string_view path);
    // Forgets scripted answers and arrivals.
    bool clear();

private:
    std::optional<std::string> readLine();
    bool writeLine(const std::string& line);

    pid_t pid_ = -1;
    int socket_ = -1;
    std::string pending_;
    int port_ = 0;
    int untrustedPort_ = 0;
};
