#!/usr/bin/env python3
"""A test music service on the loopback test service: the search interface and the outer-link
interface the program talks to, answering from a small catalogue (music_catalogue.py).

    POST /api/search/pc            form body offset=0&total=true&limit=50&type=1&s=<UTF-8 keyword,
                                   percent-encoded>; answers the catalogue's JSON
    GET  /song/media/outer/url     ?id=<id>.mp3; answers 302 to a plain-HTTP MP3 address for most
                                   songs, to an HTTPS address for some, to a page without ".mp3"
                                   for others, and 404 for unknown ids
    GET  /media/<id>.mp3           a short silent MP3, so that a copied link plays
    GET  /song/removed             the page some links lead to

QUORVO_TEST_DELAY_MS, when set, delays every answer by that many milliseconds. Requests are
logged like every request of the test service, and scripted answers may override these routes.

Run by hand (the demo does this):
    python3 testservice/music_service.py --cert-dir /tmp/quorvo-certs --port 8480 --forever
"""

import os
import re
import sys
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import music_catalogue  # noqa: E402
import test_service  # noqa: E402

DELAY_MS = int(os.environ.get("QUORVO_TEST_DELAY_MS", "0") or 0)


def _answer(status, reason, headers, body=b""):
    return test_service.http_answer(status, reason, headers, body, delay_ms=DELAY_MS)


def search(request):
    form = urllib.parse.parse_qs(request.body.decode("latin-1"), keep_blank_values=True, encoding="latin-1")
    encoded = form.get("s", [""])[0].encode("latin-1")  # parse_qs already undid the %XX
    keyword = encoded.decode("utf-8", errors="replace")
    limit = int(form.get("limit", ["50"])[0] or 50)
    return _answer(200, "OK", ["Content-Type: application/json;charset=UTF-8"],
                   music_catalogue.search_answer(keyword, limit))


def outer_link(request):
    match = re.fullmatch(r"id=(\d+)\.mp3", request.query)
    kind = music_catalogue.link_kind(int(match.group(1))) if match else None
    if kind is None:
        return _answer(404, "Not Found", ["Content-Type: text/html"], b"<html>no such song</html>")
    song_id = match.group(1)
    base = "127.0.0.1:%d" % request.port
    target = {
        "http": "http://%s/media/%s.mp3" % (base, song_id),
        "https": "https://%s/media/%s.mp3" % (base, song_id),
        "page": "http://%s/song/removed" % base,
    }[kind]
    return _answer(302, "Found", ["Location: " + target, "Content-Type: text/html"])


def media(request):
    return _answer(200, "OK", ["Content-Type: audio/mpeg"], music_catalogue.silent_mp3())


def removed(request):
    return _answer(200, "OK", ["Content-Type: text/html; charset=utf-8"],
                   "<html><body>该歌曲已下架</body></html>".encode("utf-8"))


def setup(service):
    service.builtin[("POST", "/api/search/pc")] = search
    service.builtin[("GET", "/song/media/outer/url")] = outer_link
    service.builtin[("GET", "/song/removed")] = removed
    # Every /media/<id>.mp3 path: the service routes by exact path, so register the catalogue's.
    for song in music_catalogue.CATALOGUE:
        service.builtin[("GET", "/media/%d.mp3" % song[0])] = media


if __name__ == "__main__":
    test_service.main(setup)
