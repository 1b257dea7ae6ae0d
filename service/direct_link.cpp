#include "service/direct_link.h"

#include "http/winhttp_request.h"
#include "service/music_host.h"
#include "text/text_extract.h"

Text resolveDirectLink(const Text& id) {
    const Text address = "https://" + musicServiceHost() + "/song/media/outer/url?id=" + id + ".mp3";
    // The redirect to the plain-HTTP file comes back unfollowed (WinHttp does not follow HTTPS
    // to HTTP by default), so its Location line is in the header block.
    Text responseHeaders;
    requestViaWinHttp(address, {.responseHeaders = &responseHeaders});
    return textBetween(responseHeaders, "Location: ", ".mp3") + ".mp3";
}
