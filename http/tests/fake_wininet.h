#pragma once
// A WinINet layer that records every call as one line of text and answers from canned values.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/wininet.h"

class FakeWinInet : public WinInet {
public:
    // What the fake answers.
    bool openFails = false;
    bool connectFails = false;
    bool requestFails = false;
    std::string body;                 // handed out by InternetReadFile
    std::size_t readPiece = 1024;     // at most this many bytes per read
    bool endlessBody = false;         // every read delivers a full piece
    bool readReportsFailure = false;  // the call returns false (with its count)
    std::optional<std::string> headerBlock = std::string("HTTP/1.1 200 OK\r\n\r\n");  // nullopt: query fails

    // What it was given.
    std::vector<std::string> calls;
    std::string sentHeaders;
    std::string sentBody;
    bool sentBodyPointerNull = false;
    std::size_t reads = 0;

    static HINTERNET handle(std::uintptr_t n) { return reinterpret_cast<HINTERNET>(n); }
    static inline const HINTERNET kInternet = handle(0x11);
    static inline const HINTERNET kConnection = handle(0x22);
    static inline const HINTERNET kRequest = handle(0x33);

    static std::string show(const char* text) {
        return text ? "\"" + std::string(text) + "\"" : "null";
    }
    static std::string hex(DWORD value) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "0x%08X", value);
        return buffer;
    }
    static std::string name(HINTERNET h) {
        if (h == kInternet) return "internet";
        if (h == kConnection) return "connection";
        if (h == kRequest) return "request";
        return "?";
    }

    HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy,
                            const char* proxyBypass, DWORD flags) override {
        calls.push_back("InternetOpenA(" + show(agent) + ", " + std::to_string(accessType) + ", " +
                        show(proxy) + ", " + show(proxyBypass) + ", " + std::to_string(flags) + ")");
        return openFails ? nullptr : kInternet;
    }
    HINTERNET InternetConnectA(HINTERNET internet, const char* serverName, INTERNET_PORT port,
                               const char* userName, const char* password, DWORD service,
                               DWORD flags, DWORD_PTR context) override {
        calls.push_back("InternetConnectA(" + name(internet) + ", " + show(serverName) + ", " +
                        std::to_string(port) + ", " + show(userName) + ", " + show(password) +
                        ", " + std::to_string(service) + ", " + std::to_string(flags) + ", " +
                        std::to_string(context) + ")");
        return connectFails ? nullptr : kConnection;
    }
    HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* objectName,
                               const char* version, const char* referrer,
                               const char** acceptTypes, DWORD flags, DWORD_PTR context) override {
        calls.push_back("HttpOpenRequestA(" + name(connect) + ", " + show(verb) + ", " +
                        show(objectName) + ", " + show(version) + ", " + show(referrer) + ", " +
                        (acceptTypes ? "types" : "null") + ", " + hex(flags) + ", " +
                        std::to_string(context) + ")");
        return requestFails ? nullptr : kRequest;
    }
    bool HttpSendRequestA(HINTERNET request, const char* headers, DWORD headersLength,
                          const void* optional, DWORD optionalLength) override {
        sentHeaders.assign(headers ? headers : "", headers ? headersLength : 0);
        sentBodyPointerNull = optional == nullptr;
        sentBody.assign(optional ? static_cast<const char*>(optional) : "", optional ? optionalLength : 0);
        calls.push_back("HttpSendRequestA(" + name(request) + ", headers, " +
                        std::to_string(headersLength) + ", body, " + std::to_string(optionalLength) + ")");
        return true;
    }
    bool InternetReadFile(HINTERNET file, void* buffer, DWORD numberOfBytesToRead,
                          DWORD* numberOfBytesRead) override {
        if (reads++ < 3)  // the first few are enough to show the arguments
            calls.push_back("InternetReadFile(" + name(file) + ", " + std::to_string(numberOfBytesToRead) + ")");
        std::size_t n = std::min<std::size_t>({readPiece, numberOfBytesToRead,
                                               endlessBody ? readPiece : body.size() - delivered_});
        if (endlessBody) std::memset(buffer, 'x', n);
        else std::memcpy(buffer, body.data() + delivered_, n);
        delivered_ += n;
        *numberOfBytesRead = static_cast<DWORD>(n);
        return !readReportsFailure;
    }
    bool HttpQueryInfoA(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                        DWORD* index) override {
        calls.push_back("HttpQueryInfoA(" + name(request) + ", " + std::to_string(infoLevel) + ", " +
                        std::to_string(*bufferLength) + ", " + (index ? "index" : "null") + ")");
        if (!headerBlock) return false;
        if (headerBlock->size() + 1 > *bufferLength) {
            *bufferLength = static_cast<DWORD>(headerBlock->size() + 1);
            return false;
        }
        std::memcpy(buffer, headerBlock->c_str(), headerBlock->size() + 1);
        *bufferLength = static_cast<DWORD>(headerBlock->size());
        return true;
    }
    bool InternetCloseHandle(HINTERNET handle) override {
        calls.push_back("InternetCloseHandle(" + name(handle) + ")");
        return true;
    }

private:
    std::size_t delivered_ = 0;
};
