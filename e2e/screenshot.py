#!/usr/bin/env python3
"""Takes docs/search.png: the real program under Xvfb, its list filled by the test music service
with songs of many scripts (Chinese, Korean, emoji, quotes; no single keyword of the sample
catalogue finds them all, so the service is told to answer the search with this mix).

    python3 e2e/screenshot.py --program build/app/quorvo --cert-dir build/testservice/certs \
        --out docs/search.png [--window-manager openbox]

A window manager (optional, not installed by scripts/setup.sh) draws the frame and caption.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from desktop import (NOTICE_TITLE, WINDOW_TITLE, TESTSERVICE, Hands, MusicService,  # noqa: E402
                     Program, VirtualScreen, row_point, spawn, stop_process, wait_for)

sys.path.insert(0, TESTSERVICE)
import music_catalogue  # noqa: E402

KEYWORDS = ["演员", "初雪", "소원", "星空", "无名曲", "Rain", "青瓷", "Café", "向北"]


def mixed_answer():
    """The search answer: the songs each keyword finds, one after another."""
    songs = []
    for keyword in KEYWORDS:
        songs += json.loads(music_catalogue.search_answer(keyword))["result"]["songs"]
    body = json.dumps({"result": {"songs": songs, "songCount": len(songs)}, "code": 200},
                      ensure_ascii=False, separators=(",", ":")).encode("utf-8")
    head = ("HTTP/1.1 200 OK\r\nContent-Type: application/json;charset=UTF-8\r\n"
            "Content-Length: %d\r\n\r\n" % len(body)).encode("latin-1")
    return head + body, songs


def expected_link(song, port):
    kind = music_catalogue.link_kind(song["id"])
    return "http://127.0.0.1:%d/media/%d.mp3" % (port, song["id"]) if kind == "http" else ".mp3"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--cert-dir", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--window-manager", help="e.g. openbox, for a frame and caption")
    args = parser.parse_args()

    work_dir = tempfile.mkdtemp(prefix="quorvo-shot-")
    stoppers = [lambda: shutil.rmtree(work_dir, ignore_errors=True)]
    try:
        screen = VirtualScreen()
        stoppers.append(screen.stop)
        hands = Hands(screen.display)
        if args.window_manager:
            manager = spawn([args.window_manager], env=hands.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
            stoppers.append(lambda: stop_process(manager))
        service = MusicService(os.path.abspath(args.cert_dir))
        stoppers.append(service.stop)
        answer, songs = mixed_answer()
        service.script_answer("POST", "/api/search/pc", answer)
        program = Program(os.path.abspath(args.program), screen.display, service.host,
                          service.ca_file, work_dir)
        stoppers.append(program.stop)

        hands.keys(hands.wait_window(NOTICE_TITLE), "Return")
        window = hands.wait_window(WINDOW_TITLE)
        hands.keys(window, "Return")
        last = len(songs) - 1
        link = expected_link(songs[last], service.port)

        def last_row_complete():
            hands.click(window, row_point(last), times=2)
            time.sleep(0.2)
            return hands.clipboard() == link
        wait_for("the last row", last_row_complete, 30, interval=0.2)

        # The first row selected, the pointer out of the way.
        hands.click(window, row_point(0))
        hands.xdotool("mousemove", 5, 5)
        time.sleep(0.5)
        shot = os.path.join(work_dir, "screen.png")
        subprocess.run(["import", "-window", window, "-frame", shot], env=hands.env, check=True,
                       timeout=30)
        shutil.copyfile(shot, args.out)
        print("saved", args.out)
    finally:
        for stop in reversed(stoppers):
            stop()


if __name__ == "__main__":
    main()
