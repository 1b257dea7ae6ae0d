#pragma once
// What the two page requests share: the method table and the bound on an answer's body.
#include <cstddef>

#include "platform/text_types.h"

// 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; any other index GET.
inline Text httpVerb(int method) {
    static const char* const verbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
    return verbs[method < 0 || method > 7 ? 0 : method];
}

// Reading an answer's body stops here, so that an endless answer cannot take all memory.
inline constexpr std::size_t kMaxResponseBodyBytes = 16 * 1024 * 1024;
