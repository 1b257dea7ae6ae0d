#pragma once
// The direct address of a song's MP3 file, cut out of the Location line of the redirect that
// the music service's outer-link address answers with. Blocks for one HTTPS request; runs on
// the calling (query worker) thread.
#include "platform/text_types.h"

// Always ends in ".mp3"; just ".mp3" when no link was found or the request failed.
Text resolveDirectLink(const Text& id);
