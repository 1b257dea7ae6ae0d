"""A small song catalogue for the test music service, and the JSON answers made from it.

The answers carry the members the program reads (result.songs[k].name, .artists[0].name,
.album.name, .id) among others of the kind a real service sends, so that a reader that picks the
wrong member, or chokes on nested ones, shows up in tests.
"""

import json

# (id, name, artists, album or None, how the outer link answers)
#   link: "http" -> 302 to a plain-HTTP MP3 address, "https" -> 302 to an HTTPS address,
#         "page" -> 302 to a page without ".mp3"
_SONGS = [
    (1001, "演员", ["林知远"], "晚风集", "http"),
    (1002, "旧城", ["林知远"], "晚风集", "http"),
    (1003, "演员 (Live)", ["林知远", "河岸乐队"], "现场", "https"),
    (1004, "初雪", ["林知远"], "林知远", "page"),
    (1005, "소원", ["김민수"], "하루", "http"),
    (1006, "星空 🌌 Starry", ["Aurora Lane"], "Night 🎵", "http"),
    (1007, "无名曲", [], None, "http"),
    (1008, "Rain on Glass", ["The Quiet Hours"], None, "http"),
    (1009, "Long Road", [], "Road Songs", "page"),
    (1010, "青瓷", ["陈默"], "釉色", "http"),
    (1011, "Café \"Noir\" \\ Blues", ["Jo O'Neil"], "Smoke & Mirrors", "http"),
    (1012, "向北", ["陈默"], "十一月", "http"),
]

# Songs that only the keyword "bench" finds: enough for a full page of fifty.
_BENCH = [(2000000 + k, "Bench 测试曲 %02d" % k, ["测试乐队 %d" % (k % 7)], "测试专辑 %d" % (k % 5), "http")
          for k in range(60)]

CATALOGUE = _SONGS + _BENCH
_BY_ID = {song[0]: song for song in CATALOGUE}

PAGE_SIZE = 50


def _artist(name, index):
    return {"name": name, "id": 9000 + index, "picUrl": None, "alias": [], "albumSize": 12,
            "picId": 0, "img1v1Url": "http://img.invalid/a%d.jpg" % index, "img1v1": 0, "trans": None}


def _song_json(song):
    song_id, name, artists, album, _ = song
    member = {
        "id": song_id,
        "name": name,
        "artists": [_artist(a, i) for i, a in enumerate(artists)],
        "duration": 180000 + song_id % 97 * 1000,
        "copyrightId": 7003,
        "status": 0,
        "alias": [],
        "rtype": 0,
        "ftype": 0,
        "mvid": 0,
        "fee": 8,
        "rUrl": None,
        "mark": 8192,
    }
    if album is not None:
        member["album"] = {
            "id": 70000 + song_id,
            "name": album,
            "artist": _artist(artists[0] if artists else "", 0),
            "publishTime": 1700000000000,
            "size": 10,
            "copyrightId": 7003,
            "status": 1,
            "picId": 109951163000000000 + song_id,
            "mark": 0,
        }
    return member


def find(keyword):
    """Songs whose name, artist or album holds the keyword (case ignored), in catalogue order."""
    if not keyword:
        return []
    if keyword.lower() == "bench":
        return _BENCH
    k = keyword.lower()
    return [s for s in _SONGS
            if k in s[1].lower() or any(k in a.lower() for a in s[2]) or (s[3] and k in s[3].lower())]


def search_answer(keyword, limit=PAGE_SIZE):
    """The UTF-8 JSON answer of the search interface for a keyword."""
    songs = find(keyword)
    result = {"songs": [_song_json(s) for s in songs[:limit]], "songCount": len(songs)} if songs else {"songCount": 0}
    return json.dumps({"result": result, "code": 200}, ensure_ascii=False, separators=(",", ":")).encode("utf-8")


def link_kind(song_id):
    """How the outer-link interface answers for an id: "http", "https", "page" or None (unknown)."""
    song = _BY_ID.get(song_id)
    return song[4] if song else None


def silent_mp3(frames=40):
    """A short MP3 of silence: MPEG-1 Layer III frames at 128 kbit/s, 44.1 kHz, all zero data."""
    frame = b"\xff\xfb\x90\x64" + bytes(413)
    return frame * frames
