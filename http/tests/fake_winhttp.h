#pragma once
// A WinHttp layer that records every call as one line of text and answers from canned values.
// Addresses are split by the real layer's WinHttpCrackUrl, which needs no network.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/winhttp.h"

class FakeWinHttp : public WinHttp {
public:
    // What the fake answers.
    std::set<std::string> failing;  // names of calls that return false or null
    std::string failingCredentialsTarget;  // "server" or "proxy": only that one fails
    std::vector<std::string> pieces;       // the body, as QueryDataAvailable reports it
    bool endlessBody = false;              // every query reports 1 MiB more
    int readFailsAt = -1;                  // WinHttpReadData fails on this piece (0-based)
    std::optional<std::string> headerBlock = std::string("HTTP/1.1 200 OK\r\n\r\n");  // GBK; nullopt: fails
    bool secondHeaderQueryFails = false;

    // What it was given.
    std::vector<std::string> calls;
    std::string sentHeaders;  // GBK
    std::string sentBody;
    std::size_t reads = 0;
    bool componentsAsAsked = false;

    static HINTERNET handle(std::uintptr_t n) { return reinterpret_cast<HINTERNET>(n); }
    static inline const HINTERNET kSession = handle(0x11);
    static inline const HINTERNET kConnection = handle(0x22);
    static inline const HINTERNET kRequest = handle(0x33);

    static std::string gbk(std::u16string_view wide) {
        if (wide.empty()) return {};
        int n = WideCharToMultiByte(CP_GBK, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        std::string out(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_GBK, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
        return out;
    }
    static std::u16string wide(std::string_view text) {
        if (text.empty()) return {};
        int n = MultiByteToWideChar(CP_GBK, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::u16string out(static_cast<std::size_t>(n), u'\0');
        MultiByteToWideChar(CP_GBK, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
        return out;
    }
    static std::string show(const char16_t* text) { return text ? "\"" + gbk(text) + "\"" : "null"; }
    static std::string name(HINTERNET h) {
        if (h == kSession) return "session";
        if (h == kConnection) return "connection";
        if (h == kRequest) return "request";
        return "?";
    }
    bool fails(const std::string& call) const { return failing.count(call) != 0; }

    bool WinHttpCheckPlatform() override {
        calls.push_back("WinHttpCheckPlatform()");
        return !fails("WinHttpCheckPlatform");
    }
    bool WinHttpCrackUrl(const char16_t* url, DWORD urlLength, DWORD flags, URL_COMPONENTS* c) override {
        calls.push_back("WinHttpCrackUrl(" + show(url) + ", " + std::to_string(urlLength) + ", " +
                        std::to_string(flags) + ")");
        const DWORD all = static_cast<DWORD>(-1);
        componentsAsAsked = c->dwSchemeLength == all && c->dwHostNameLength == all && c->dwUrlPathLength == all &&
                            c->dwExtraInfoLength == all && !c->lpszScheme && !c->lpszHostName && !c->lpszUrlPath &&
                            !c->lpszExtraInfo && !c->lpszUserName && !c->lpszPassword && c->dwUserNameLength == 0 &&
                            c->dwPasswordLength == 0 && c->nPort == 0 && c->nScheme == 0;
        return !fails("WinHttpCrackUrl") && real_->WinHttpCrackUrl(url, urlLength, flags, c);
    }
    HINTERNET WinHttpOpen(const char16_t* agent, DWORD accessType, const char16_t* proxyName,
                          const char16_t* proxyBypass, DWORD flags) override {
        calls.push_back("WinHttpOpen(" + show(agent) + ", " + std::to_string(accessType) + ", " + show(proxyName) +
                        ", " + show(proxyBypass) + ", " + std::to_string(flags) + ")");
        return fails("WinHttpOpen") ? nullptr : kSession;
    }
    HINTERNET WinHttpConnect(HINTERNET session, const char16_t* serverName, INTERNET_PORT port, DWORD reserved) override {
        calls.push_back("WinHttpConnect(" + name(session) + ", " + show(serverName) + ", " + std::to_string(port) +
                        ", " + std::to_string(reserved) + ")");
        return fails("WinHttpConnect") ? nullptr : kConnection;
    }
    HINTERNET WinHttpOpenRequest(HINTERNET connect, const char16_t* verb, const char16_t* objectName,
                                 const char16_t* version, const char16_t* referrer, const char16_t** acceptTypes,
                                 DWORD flags) override {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", flags);
        calls.push_back("WinHttpOpenRequest(" + name(connect) + ", " + show(verb) + ", " + show(objectName) + ", " +
                        show(version) + ", " + show(referrer) + ", " + (acceptTypes ? "types" : "null") + ", " +
                        hex + ")");
        return fails("WinHttpOpenRequest") ? nullptr : kRequest;
    }
    bool WinHttpSetTimeouts(HINTERNET h, int resolve, int connect, int send, int receive) override {
        calls.push_back("WinHttpSetTimeouts(" + name(h) + ", " + std::to_string(resolve) + ", " +
                        std::to_string(connect) + ", " + std::to_string(send) + ", " + std::to_string(receive) + ")");
        return !fails("WinHttpSetTimeouts");
    }
    bool WinHttpSetCredentials(HINTERNET request, DWORD targets, DWORD scheme, const char16_t* user,
                               const char16_t* password, void* params) override {
        calls.push_back("WinHttpSetCredentials(" + name(request) + ", " + std::to_string(targets) + ", " +
                        std::to_string(scheme) + ", " + show(user) + ", " + show(password) + ", " +
                        (params ? "params" : "null") + ")");
        const std::string target = targets == WINHTTP_AUTH_TARGET_SERVER ? "server" : "proxy";
        return !(fails("WinHttpSetCredentials") && failingCredentialsTarget == target);
    }
    bool WinHttpSetOption(HINTERNET h, DWORD option, void* buffer, DWORD length) override {
        DWORD value = 0;
        std::memcpy(&value, buffer, std::min<DWORD>(length, sizeof value));
        calls.push_back("WinHttpSetOption(" + name(h) + ", " + std::to_string(option) + ", " +
                        std::to_string(value) + ", " + std::to_string(length) + ")");
        return !fails("WinHttpSetOption " + std::to_string(option) + " " + std::to_string(value));
    }
    bool WinHttpAddRequestHeaders(HINTERNET request, const char16_t* headers, DWORD length, DWORD modifiers) override {
        sentHeaders = gbk(std::u16string_view(headers, length));
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", modifiers);
        calls.push_back("WinHttpAddRequestHeaders(" + name(request) + ", headers, " + std::to_string(length) + ", " +
                        hex + ")");
        return !fails("WinHttpAddRequestHeaders");
    }
    bool WinHttpSendRequest(HINTERNET request, const char16_t* headers, DWORD headersLength, void* optional,
                            DWORD optionalLength, DWORD totalLength, DWORD_PTR context) override {
        sentBody.assign(optional ? static_cast<const char*>(optional) : "", optional ? optionalLength : 0);
        calls.push_back("WinHttpSendRequest(" + name(request) + ", " + show(headers) + ", " +
                        std::to_string(headersLength) + ", " + (optional ? "body" : "null") + ", " +
                        std::to_string(optionalLength) + ", " + std::to_string(totalLength) + ", " +
                        std::to_string(context) + ")");
        return !fails("WinHttpSendRequest");
    }
    bool WinHttpReceiveResponse(HINTERNET request, void* reserved) override {
        calls.push_back("WinHttpReceiveResponse(" + name(request) + ", " + (reserved ? "reserved" : "null") + ")");
        return !fails("WinHttpReceiveResponse");
    }
    bool WinHttpQueryDataAvailable(HINTERNET request, DWORD* available) override {
        if (reads < 3) calls.push_back("WinHttpQueryDataAvailable(" + name(request) + ")");
        if (endlessBody) {
            *available = 1 << 20;
            return true;
        }
        *available = piece_ < pieces.size() ? static_cast<DWORD>(pieces[piece_].size()) : 0;
        return true;
    }
    bool WinHttpReadData(HINTERNET request, void* buffer, DWORD wanted, DWORD* read) override {
        if (reads < 3) calls.push_back("WinHttpReadData(" + name(request) + ", " + std::to_string(wanted) + ")");
        if (static_cast<int>(reads++) == readFailsAt) return false;
        if (endlessBody) {
            std::memset(buffer, 'e', wanted);
            *read = wanted;
            return true;
        }
        const std::string& piece = pieces[piece_++];
        std::memcpy(buffer, piece.data(), std::min<std::size_t>(wanted, piece.size()));
        *read = static_cast<DWORD>(std::min<std::size_t>(wanted, piece.size()));
        return true;
    }
    bool WinHttpQueryHeaders(HINTERNET request, DWORD level, const char16_t* name_, void* buffer, DWORD* length,
                             DWORD* index) override {
        calls.push_back("WinHttpQueryHeaders(" + name(request) + ", " + std::to_string(level) + ", " +
                        show(name_) + ", " + (buffer ? "buffer" : "null") + ", " + std::to_string(*length) + ", " +
                        (index ? std::to_string(*index) : "null") + ")");
        if (!headerBlock) return false;
        const std::u16string block = wide(*headerBlock);
        const DWORD needed = static_cast<DWORD>((block.size() + 1) * 2);
        if (!buffer || *length < needed) {
            *length = needed;
            return false;
        }
        if (secondHeaderQueryFails) return false;
        std::memcpy(buffer, block.c_str(), needed);
        *length = needed - 2;
        return true;
    }
    bool WinHttpCloseHandle(HINTERNET h) override {
        calls.push_back("WinHttpCloseHandle(" + name(h) + ")");
        return true;
    }

private:
    std::unique_ptr<WinHttp> real_ = makeWinHttp();
    std::size_t piece_ = 0;
};
