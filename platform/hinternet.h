#pragma once
// What the two HTTP client layers (WinINet, WinHttp) share, spelled as the platform spells it.
// A HINTERNET is an opaque handle that only the layer that made it understands; null is failure.
#include <cstdint>

using DWORD = std::uint32_t;
using DWORD_PTR = std::uintptr_t;
using INTERNET_PORT = std::uint16_t;
using HINTERNET = void*;

constexpr INTERNET_PORT INTERNET_DEFAULT_PORT = 0;  // the scheme's own port
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

constexpr int INTERNET_SCHEME_HTTP = 1;
constexpr int INTERNET_SCHEME_HTTPS = 2;
