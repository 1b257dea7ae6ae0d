#!/usr/bin/env python3
"""The running program's resident memory after one 50-song query, measured as a person would
run it: the program on a virtual screen against the test music service, "bench" typed and
searched, then VmRSS and VmHWM read from /proc once the fiftieth link was asked for.

    python3 e2e/measure_memory.py --program build/app/quorvo --cert-dir build/testservice/certs
"""

import argparse
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from desktop import (NOTICE_TITLE, SEARCH_BOX_POINT, WINDOW_TITLE, Hands, MusicService,  # noqa: E402
                     Program, VirtualScreen, wait_for)


def memory_kib(pid):
    fields = {}
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            name, _, value = line.partition(":")
            if name in ("VmRSS", "VmHWM"):
                fields[name] = int(value.split()[0])
    return fields


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--cert-dir", required=True)
    args = parser.parse_args()

    work_dir = tempfile.mkdtemp(prefix="quorvo-memory-")
    screen = service = program = None
    try:
        screen = VirtualScreen()
        service = MusicService(args.cert_dir)
        program = Program(os.path.abspath(args.program), screen.display, service.host, service.ca_file, work_dir)
        hands = Hands(screen.display)
        hands.keys(hands.wait_window(NOTICE_TITLE), "Return")
        window = hands.wait_window(WINDOW_TITLE)
        time.sleep(0.5)
        before = memory_kib(program.process.pid)
        hands.click(window, SEARCH_BOX_POINT)
        hands.keys(window, "ctrl+a")
        hands.type_text(window, "bench")
        hands.keys(window, "Return")
        links = lambda: [a for a in service.log() if a.target.startswith("/song/media/outer/url?")]
        wait_for("fifty link requests", lambda: len(links()) == 50, 60, interval=0.25)
        time.sleep(1.0)  # the last row is set once its link has come back
        after = memory_kib(program.process.pid)
        print("resident memory of the program: %.1f MiB idle, %.1f MiB after a 50-song query "
              "(peak %.1f MiB)" % (before["VmRSS"] / 1024, after["VmRSS"] / 1024, after["VmHWM"] / 1024))
    finally:
        for part in (program, service, screen):
            if part:
                part.stop()
        shutil.rmtree(work_dir, ignore_errors=True)


if __name__ == "__main__":
    main()
