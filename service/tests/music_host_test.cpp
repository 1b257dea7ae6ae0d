#include "service/music_host.h"

#include <gtest/gtest.h>

namespace {

TEST(MusicServiceHost, DefaultsAndAcceptsOnlyHostWithPort) {
    struct Case { const char* configured; std::string_view host; const char* why; };
    const Case cases[] = {
        {nullptr, "music.163.com", "not set"},
        {"", "music.163.com", "set but empty"},
        {"127.0.0.1:8080", "127.0.0.1:8080", "loopback with a port"},
        {"localhost", "localhost", "a host alone"},
        {"http://127.0.0.1:80", "", "a scheme is not a host"},
        {"127.0.0.1:80/x", "", "a path"},
        {"127.0.0.1:", "", "a colon without a port"},
        {"127.0.0.1:99999", "", "a port out of range"},
        {"a b", "", "a blank"},
        {"h\r\nX: y", "", "a line break"},
        {":80", "", "no host"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(musicServiceHost(c.configured), c.host);
    }
}

}  // namespace
