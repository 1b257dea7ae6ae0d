#pragma once
// The music service's web host, the system's one configuration value: "music.163.com" unless
// the environment variable QUORVO_HOST names another host, optionally with ":port". A value that
// is not a host[:port] gives the empty host, so that requests fail instead of going elsewhere.
#include "platform/text_types.h"

inline constexpr std::string_view kDefaultMusicHost = "music.163.com";

Text musicServiceHost();
// The same rule applied to a given value of QUORVO_HOST (nullptr: not set).
Text musicServiceHost(const char* configured);
