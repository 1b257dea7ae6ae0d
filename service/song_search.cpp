#include "service/song_search.h"

#include <system_error>
#include <thread>

#include "http/convert_charset.h"
#include "http/wininet_request.h"
#include "json/json_document.h"
#include "json/json_syntax.h"
#include "service/direct_link.h"
#include "service/form_param_list.h"
#include "service/music_host.h"
#include "text/text.h"
#include "text/url_encode.h"

namespace {

// The answer is loaded by handing it to the script engine's eval, and it arrives over plain
// HTTP: only a well-formed JSON text may go there. A top-level string is refused too, since
// eval would run its content as script.
bool isLoadableAnswer(std::string_view body) {
    if (!isWellFormedJson(body)) return false;
    std::size_t first = body.find_first_not_of(" \t\r\n");
    if (body.starts_with("\xEF\xBB\xBF")) first = body.find_first_not_of(" \t\r\n", 3);
    return first != std::string_view::npos && body[first] != '"';
}

// U+2028 and U+2029 are allowed in JSON strings but end a script string literal; escaped they
// mean the same and load. The body is still UTF-8 here, where these bytes cannot occur inside
// another character, so a plain byte search finds them.
Bytes escapeScriptLineBreaks(std::string_view body) {
    Text escaped(body);
    for (std::size_t at = escaped.find("\xE2\x80"); at != Text::npos; at = escaped.find("\xE2\x80", at + 1)) {
        if (at + 2 < escaped.size() && (escaped[at + 2] == '\xA8' || escaped[at + 2] == '\xA9'))
            escaped.replace(at, 3, escaped[at + 2] == '\xA8' ? "\\u2028" : "\\u2029");
    }
    return bytesOf(escaped);
}

}  // namespace

void startSearch(WindowOperations& window) {
    try {
        std::thread([&window] { searchSongs(window); }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: like a failed CreateThread, no query starts.
    }
}

Text fetchSearchResults(WindowOperations& window) {
    FormParamList form;
    form.add("offset", "0");
    form.add("total", "true");
    form.add("limit", "50");
    form.add("type", "1");
    form.add("s", urlEncode(window.readSearchBox(), false, true));
    const Text body = form.toFormText();

    const Text address = "http://" + musicServiceHost() + "/api/search/pc";
    const Bytes answer = requestViaWinInet(
        address, {.method = 1, .body = body, .cookies = Text("os=pc; MUSIC_U=8170591746"),
                  .noRedirect = true});
    const std::string_view answerText(reinterpret_cast<const char*>(answer.data()), answer.size());
    if (!isLoadableAnswer(answerText)) return {};
    return textOf(convertCharset(escapeScriptLineBreaks(answerText)));
}

void searchSongs(WindowOperations& window) {
    JsonDocument document;
    window.deleteAllRows();
    const Text text = fetchSearchResults(window);
    if (!document.parse(text)) {
        window.messageBox(utf8ToAnsi("解析错误"), utf8ToAnsi("Morvek提示："));
        return;
    }
    const int count = document.getMemberCount("result.songs");
    for (int i = 1; i <= count; ++i) {
        const Text song = "result.songs[" + formatInteger(i - 1) + "]";
        const Text name = document.getProperty(song + ".name");
        const Text artist = document.getProperty(song + ".artists[0].name");
        const Text album = document.getProperty(song + ".album.name");
        const Text id = document.getProperty(song + ".id");
        const Text link = resolveDirectLink(id);
        const int row = window.appendRow(name);
        window.setCell(row, 1, artist);
        window.setCell(row, 2, album);
        window.setCell(row, 3, id);
        window.setCell(row, 4, link);
    }
}
