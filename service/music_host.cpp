#include "service/music_host.h"

#include <cstdlib>

Text musicServiceHost() { return musicServiceHost(std::getenv("QUORVO_HOST")); }

Text musicServiceHost(const char* configured) {
    if (!configured || !*configured) return Text(kDefaultMusicHost);
    const std::string_view value(configured);
    auto hostChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.';
    };
    std::size_t colon = value.find(':');
    std::string_view host = value.substr(0, colon);
    if (host.empty()) return {};
    for (char c : host)
        if (!hostChar(c)) return {};
    if (colon != std::string_view::npos) {
        std::string_view port = value.substr(colon + 1);
        if (port.empty() || port.size() > 5) return {};
        for (char c : port)
            if (c < '0' || c > '9') return {};
        if (std::atoi(Text(port).c_str()) > 65535) return {};
    }
    return Text(value);
}
