#include "testservice/test_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string unhex(std::string_view text) {
    auto value = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out += static_cast<char>(value(text[i]) * 16 + value(text[i + 1]));
    return out;
}

std::string field(std::string_view line, std::string_view key) {
    const std::string marker = " " + std::string(key) + "=";
    std::size_t at = line.find(marker);
    if (at == std::string_view::npos) return {};
    at += marker.size();
    std::size_t end = line.find(' ', at);
    return std::string(line.substr(at, end == std::string_view::npos ? end : end - at));
}

std::vector<std::string> splitLines(const std::string& block) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at <= block.size() && !block.empty()) {
        std::size_t end = block.find("\r\n", at);
        lines.push_back(block.substr(at, end == std::string::npos ? end : end - at));
        if (end == std::string::npos) break;
        at = end + 2;
    }
    return lines;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string Arrival::method() const { return requestLine.substr(0, requestLine.find(' ')); }

std::string Arrival::target() const {
    std::size_t from = requestLine.find(' ');
    if (from == std::string::npos) return {};
    std::size_t to = requestLine.find(' ', from + 1);
    return requestLine.substr(from + 1, to == std::string::npos ? to : to - from - 1);
}

std::optional<std::string> Arrival::header(std::string_view name) const {
    for (const std::string& line : headerLines) {
        std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < colon && same; ++i) same = lower(line[i]) == lower(name[i]);
        if (!same) continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        return value;
    }
    return std::nullopt;
}

Script& Script::send(std::string_view bytes) {
    text_ += " send:" + hex(bytes);
    return *this;
}
Script& Script::delay(int ms) {
    text_ += " delay:" + std::to_string(ms);
    return *this;
}
Script& Script::repeat(std::string_view bytes, long count) {
    text_ += " repeat:" + std::to_string(count) + ":" + hex(bytes);
    return *this;
}
Script& Script::close() {
    text_ += " close";
    return *this;
}
Script& Script::reset() {
    text_ += " reset";
    return *this;
}
Script& Script::hang(int ms) {
    text_ += " hang:" + std::to_string(ms);
    return *this;
}
Script& Script::keep() {
    text_ += " keep";
    return *this;
}

Script httpAnswer(std::string_view statusLine, const std::vector<std::string>& headerLines,
                  std::string_view body) {
    std::string head(statusLine);
    head += "\r\n";
    bool hasLength = false;
    for (const std::string& line : headerLines) {
        head += line + "\r\n";
        Arrival probe;
        probe.headerLines = {line};
        if (probe.header("Content-Length")) hasLength = true;
    }
    if (!hasLength) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += "\r\n";
    head += body;
    return Script().send(head);
}

std::string TestService::defaultScript() { return QUORVO_TESTSERVICE_DIR "/test_service.py"; }

int TestService::closedPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

std::string TestService::caFile() { return QUORVO_TESTSERVICE_CERTS "/ca.pem"; }

TestService::TestService(const std::string& script) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    std::string python = QUORVO_PYTHON, certs = QUORVO_TESTSERVICE_CERTS, openssl = QUORVO_OPENSSL;
    std::string certArg = "--cert-dir", opensslArg = "--openssl";
    std::string scriptCopy = script;
    char* argv[] = {python.data(), scriptCopy.data(), certArg.data(), certs.data(),
                    opensslArg.data(), openssl.data(), nullptr};
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, python.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        return;
    }
    pid_ = pid;
    socket_ = ends[0];
    // The first start of a build makes the certificates, which takes longer.
    std::optional<std::string> ready = readLine();
    if (!ready || ready->rfind("ready ", 0) != 0) return;
    port_ = std::atoi(field(*ready, "port").c_str());
    untrustedPort_ = std::atoi(field(*ready, "untrusted_port").c_str());
}

TestService::~TestService() {
    if (socket_ >= 0) {
        writeLine("quit");
        ::close(socket_);
    }
    if (pid_ <= 0) return;
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

std::string TestService::url(std::string_view path, bool secure) const {
    return std::string(secure ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
           std::string(path);
}

std::string TestService::untrustedUrl(std::string_view path) const {
    return "https://127.0.0.1:" + std::to_string(untrustedPort_) + std::string(path);
}

bool TestService::writeLine(const std::string& line) {
    std::string data = line + "\n";
    std::size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(socket_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::string> TestService::readLine() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        std::size_t newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || socket_ < 0) return std::nullopt;
        pollfd p{socket_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
        char buffer[65536];
        ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
        if (n <= 0) return std::nullopt;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

bool TestService::answer(std::string_view method, std::string_view path, const Script& script) {
    if (!writeLine("answer " + std::string(method) + " " + hex(path) + script.text())) return false;
    auto reply = readLine();
    return reply && *reply == "ok";
}

std::vector<Arrival> TestService::arrivals() {
    std::vector<Arrival> out;
    if (!writeLine("log")) return out;
    auto head = readLine();
    if (!head || head->rfind("log ", 0) != 0) return out;
    int count = std::atoi(head->c_str() + 4);
    for (int i = 0; i < count; ++i) {
        auto line = readLine();
        if (!line) break;
        Arrival a;
        a.tls = field(*line, "tls") == "1";
        a.port = std::atoi(field(*line, "port").c_str());
        a.tlsResumed = field(*line, "resumed") == "1";
        a.clientPort = std::atoi(field(*line, "client_port").c_str());
        a.requestLine = unhex(field(*line, "line"));
        a.headerLines = splitLines(unhex(field(*line, "headers")));
        a.body = unhex(field(*line, "body"));
        out.push_back(std::move(a));
    }
    return out;
}

std::vector<Arrival> TestService::arrivals(std::string_view path) {
    std::vector<Arrival> out;
    for (Arrival& a : arrivals()) {
        std::string target = a.target();
        if (std::size_t scheme = target.find("://"); scheme != std::string::npos) {
            std::size_t slash = target.find('/', scheme + 3);
            target = slash == std::string::npos ? "/" : target.substr(slash);
        }
        if (target.substr(0, target.find('?')) == path) out.push_back(std::move(a));
    }
    return out;
}

bool TestService::clear() {
    if (!writeLine("clear")) return false;
    auto reply = readLine();
    return reply && *reply == "ok";
}
