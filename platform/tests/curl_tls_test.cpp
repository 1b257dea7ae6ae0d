// The roots and TLS sessions that exchanges share, against the loopback test service.
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/curl_transfer.h"
#include "testservice/service_test.h"

namespace {

// The body of one HTTPS GET, or "" when the exchange failed.
std::string get(int port, std::string_view target) {
    ExchangeRequest request;
    request.secure = true;
    request.host = "127.0.0.1";
    request.port = port;
    request.target = target;
    request.limits.receiveMs = 10000;
    CurlExchange exchange(std::move(request));
    if (!exchange.send() || !exchange.receive()) return {};
    std::string body;
    char buffer[4096];
    std::size_t available = 0;
    while (exchange.waitForBody(available) && available > 0)
        body.append(buffer, exchange.take(buffer, sizeof buffer));
    return body;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Puts CURL_CA_BUNDLE back as the fixture set it, however the test ends.
struct RestoreBundle {
    ~RestoreBundle() { setenv("CURL_CA_BUNDLE", TestService::caFile().c_str(), 1); }
};

}  // namespace

class SharedTls : public ServiceTest {};

TEST_F(SharedTls, LaterHandshakesResumeTheSessionButEveryRequestHasItsOwnConnection) {
    // The service keeps each connection open for another request: a pooled one would show.
    ASSERT_TRUE(service().answer("GET", "/r", httpAnswer("HTTP/1.1 200 OK", {}, "r").keep()));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(get(service().port(), "/r"), "r");
    // Workers share the caches from many threads at once.
    std::atomic<int> answered = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 3; ++i)
                if (get(service().port(), "/r") == "r") ++answered;
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(answered, 18);

    const auto arrived = service().arrivals("/r");
    ASSERT_EQ(arrived.size(), 21u);
    // The first may find no session yet; each later one in turn resumes. (Requests at once
    // may not: a TLS 1.3 ticket serves one handshake, and they may find the same one.)
    EXPECT_TRUE(arrived[1].tlsResumed);
    EXPECT_TRUE(arrived[2].tlsResumed);
    std::set<int> clientPorts;
    for (const Arrival& a : arrived) {
        EXPECT_TRUE(a.tls);
        clientPorts.insert(a.clientPort);
    }
    EXPECT_EQ(clientPorts.size(), arrived.size()) << "a connection served two requests";
}

TEST_F(SharedTls, ChangedRootsAreReadAgainAndNoEarlierSessionIsResumed) {
    RestoreBundle restore;
    ASSERT_TRUE(service().answer("GET", "/t", httpAnswer("HTTP/1.1 200 OK", {}, "t")));
    const std::string caFile = TestService::caFile();
    const std::string certs = caFile.substr(0, caFile.rfind('/') + 1);
    const std::string trusted = fileText(caFile);
    const std::string untrusted = fileText(certs + "untrusted-ca.pem");
    ASSERT_FALSE(trusted.empty());
    ASSERT_FALSE(untrusted.empty());
    const std::string bundle = ::testing::TempDir() + "quorvo-shared-tls-roots.pem";
    const int port = service().port();
    const int untrustedPort = service().untrustedPort();

    // Steps in order; each names its roots: the contents of `bundle`, or a file of its own.
    struct Step {
        const std::string* contents;  // null: `bundle` is removed
        std::string file;             // empty: `bundle`
        int port;
        bool answered;
        const char* why;
    };
    const Step steps[] = {
        {&trusted, "", port, true, "the test CA signed the service's certificate"},
        {&trusted, "", port, true, "the same roots again, now from a resumed session"},
        {&untrusted, "", port, false, "same file, new roots: the session made before is not resumed"},
        {&untrusted, "", untrustedPort, true, "the new roots are the ones in use"},
        {&trusted, "", port, true, "and back"},
        {nullptr, "", port, false, "no bundle at all trusts nothing"},
        {&trusted, "", port, true, "the bundle is back"},
        {&trusted, certs + "untrusted-ca.pem", port, false, "another file is read, not the one before"},
        {&trusted, caFile, port, true, "the first roots again"},
    };
    long stamp = 1000000000;
    const std::string* written = nullptr;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.why);
        if (!step.contents) {
            std::remove(bundle.c_str());
            written = nullptr;
        } else if (step.file.empty() && step.contents != written) {
            written = step.contents;
            std::ofstream(bundle, std::ios::binary | std::ios::trunc) << *step.contents;
            // A new time for every write, however coarse the file system's clock.
            const timespec times[2] = {{stamp, 0}, {stamp, 0}};
            stamp += 10;
            ASSERT_EQ(utimensat(AT_FDCWD, bundle.c_str(), times, 0), 0);
        }
        setenv("CURL_CA_BUNDLE", (step.file.empty() ? bundle : step.file).c_str(), 1);
        EXPECT_EQ(get(step.port, "/t"), step.answered ? "t" : "");
    }
    std::remove(bundle.c_str());
    const auto arrived = service().arrivals("/t");
    ASSERT_GE(arrived.size(), 2u);
    EXPECT_TRUE(arrived[1].tlsResumed);
}
