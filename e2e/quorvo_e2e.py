#!/usr/bin/env python3
"""End-to-end tests of the real program, used as a person uses it: each test has an X server of
its own (Xvfb), the test music service on 127.0.0.1 and the program built in build/app/quorvo,
and works them with xdotool and xclip.

    python3 e2e/quorvo_e2e.py --program build/app/quorvo --cert-dir /tmp/quorvo-certs \
        [EndToEnd.test_name ...]
"""

import argparse
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from desktop import (MESSAGE_TITLE, NOTICE_TITLE, SEARCH_BOX_POINT,  # noqa: E402
                     WINDOW_TITLE, Hands, MusicService, Program, VirtualScreen, row_point,
                     wait_for)

SETTINGS = argparse.Namespace(program=None, cert_dir=None, openssl="openssl")

# Closing the window ends the process at once, whatever a query is doing; this bound only
# leaves room for a loaded machine and a sanitizer build.
PROMPT_END = 5.0

MENU_ITEMS = ["复制 - 歌曲名", "复制 - 艺术家", "复制 - 专辑名", "复制 - 歌曲ID", "复制 - 直链地址"]


class EndToEnd(unittest.TestCase):

    # The parts of a run -------------------------------------------------------------------

    def start(self, delay_ms=0, host=None):
        """An X server, the music service and the program; the program talks to the service
        unless another host is given."""
        work_dir = tempfile.mkdtemp(prefix="quorvo-e2e-")
        self.addCleanup(shutil.rmtree, work_dir, ignore_errors=True)
        screen = VirtualScreen()
        self.addCleanup(screen.stop)
        self.service = MusicService(SETTINGS.cert_dir, SETTINGS.openssl, delay_ms)
        self.addCleanup(self.service.stop)
        self.program = Program(SETTINGS.program, screen.display, host or self.service.host,
                               self.service.ca_file, work_dir)
        self.addCleanup(self.program.stop)
        self.addCleanup(self._show_output_on_failure)
        self.hands = Hands(screen.display)

    def _show_output_on_failure(self):
        result = getattr(getattr(self, "_outcome", None), "result", None)
        problems = (result.failures + result.errors) if result is not None else []
        if any(test is self for test, _ in problems):
            sys.stderr.write("--- the program's output ---\n%s\n" % self.program.output())
            shot = os.path.abspath(self.id().rsplit(".", 1)[-1] + ".png")
            if self.hands.screenshot(shot):
                sys.stderr.write("the screen at the failure: %s\n" % shot)

    def open_main_window(self):
        """Dismisses the start-up notice, which comes before the window, and returns the window."""
        notice = self.hands.wait_window(NOTICE_TITLE)
        self.assertEqual(self.hands.windows(WINDOW_TITLE), [],
                         "the main window is shown only once the notice is dismissed")
        self.hands.keys(notice, "Return")
        window = self.hands.wait_window(WINDOW_TITLE)
        self.hands.wait_gone(notice, NOTICE_TITLE)
        return window

    def wait_double_click_copies(self, window, row, expected, timeout=30):
        """Double-clicks the row until the clipboard holds `expected`: rows arrive one by one,
        each complete once its link is resolved."""
        def copied():
            self.hands.click(window, row_point(row), times=2)
            return wait_clipboard_briefly(self.hands, expected)
        try:
            wait_for("a double click on row %d to copy %r" % (row, expected), copied, timeout,
                     interval=0.2)
        except AssertionError as error:
            raise AssertionError("%s; the clipboard holds %r" % (error, self.hands.clipboard()))

    def copy_through_menu(self, window, row, item):
        """Right-clicks the row and chooses a menu item with the keyboard."""
        others = set(self.hands.program_windows())
        self.hands.click(window, row_point(row), button=3)
        wait_for("the popup menu", lambda: set(self.hands.program_windows()) - others, 10)
        # The menu holds the keyboard while it is open.
        self.hands.xdotool("key", "--delay", "20", *["Down"] * (MENU_ITEMS.index(item) + 1),
                           "Return")
        wait_for("the popup menu to close", lambda: set(self.hands.program_windows()) <= others, 10)

    def assert_clipboard(self, expected):
        if not wait_clipboard_briefly(self.hands, expected):
            self.assertEqual(self.hands.clipboard(), expected, "the clipboard")

    def search_requests(self):
        return [a for a in self.service.log() if a.target == "/api/search/pc"]

    def link_requests(self):
        return [a for a in self.service.log() if a.target.startswith("/song/media/outer/url?")]

    def close_and_check_end(self, window):
        """Esc closes the window; the process must end at once, with status 0 and no crash."""
        closed = time.monotonic()
        self.hands.keys(window, "Escape")
        try:
            status = self.program.process.wait(30)
        except subprocess.TimeoutExpired:
            self.fail("the program still runs 30 s after its window was closed")
        took = time.monotonic() - closed
        self.assertLess(took, PROMPT_END, "the process took %.2f s to end" % took)
        self.assertEqual(status, 0)
        self.assertEqual(self.program.crash_lines(), [], self.program.output())
        return took

    # Scenarios ----------------------------------------------------------------------------

    def test_search_fills_rows_that_copy_their_cells(self):
        self.start()
        window = self.open_main_window()
        port = self.service.port

        # Enter in the search box runs the query for the prefilled keyword.
        self.hands.keys(window, "Return")
        self.wait_double_click_copies(window, 0, "http://127.0.0.1:%d/media/1001.mp3" % port)
        # 1003 redirects to an HTTPS address, which the program does not take as a link.
        self.wait_double_click_copies(window, 1, ".mp3")

        self.copy_through_menu(window, 0, "复制 - 歌曲ID")
        self.assert_clipboard("1001")
        self.copy_through_menu(window, 1, "复制 - 歌曲名")
        self.assert_clipboard("演员 (Live)")

        [search] = self.search_requests()
        self.assertFalse(search.tls)
        self.assertEqual(search.method, "POST")
        self.assertEqual(search.body, "offset=0&total=true&limit=50&type=1&s=%E6%BC%94%E5%91%98")
        self.assertIn("Cookie: os=pc; MUSIC_U=8170591746", search.headers)
        links = self.link_requests()
        self.assertEqual([a.target for a in links],
                         ["/song/media/outer/url?id=1001.mp3", "/song/media/outer/url?id=1003.mp3"])
        self.assertTrue(all(a.tls for a in links), links)

        # A keyword typed by hand replaces the rows with its own: fifty of them.
        self.hands.click(window, SEARCH_BOX_POINT)
        self.hands.keys(window, "ctrl+a")
        self.hands.type_text(window, "bench")
        self.hands.keys(window, "Return")
        self.wait_double_click_copies(window, 0, "http://127.0.0.1:%d/media/2000000.mp3" % port)
        wait_for("fifty more link requests", lambda: len(self.link_requests()) == 52, 60,
                 interval=0.25)
        self.assertEqual(self.search_requests()[1].body,
                         "offset=0&total=true&limit=50&type=1&s=%62%65%6E%63%68")

        self.close_and_check_end(window)

    def test_closing_the_window_during_queries_ends_the_process_at_once(self):
        # Every answer is held back far longer than the process may take to end.
        self.start(delay_ms=60000)
        window = self.open_main_window()
        self.hands.keys(window, "Return")
        self.hands.keys(window, "Return")
        wait_for("two searches to reach the service", lambda: len(self.search_requests()) == 2, 20)

        took = self.close_and_check_end(window)
        sys.stderr.write("the process ended %.3f s after Esc\n" % took)

    def test_an_unreachable_host_shows_parse_error_and_the_window_stays_usable(self):
        # A port that is bound but not listening refuses every connection, and nobody else can
        # take it while the test runs.
        closed = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.addCleanup(closed.close)
        closed.bind(("127.0.0.1", 0))
        self.start(host="127.0.0.1:%d" % closed.getsockname()[1])
        window = self.open_main_window()

        self.hands.keys(window, "Return")
        first = self.hands.wait_window(MESSAGE_TITLE)
        # The box does not block the window: a second query shows a second box.
        self.hands.keys(window, "Return")
        boxes = wait_for("a second message box",
                         lambda: len(self.hands.windows(MESSAGE_TITLE)) == 2
                         and self.hands.windows(MESSAGE_TITLE), 30)
        [second] = [b for b in boxes if b != first]

        # Either box closes first; the other stays until it is dismissed itself.
        self.hands.keys(first, "Return")
        self.hands.wait_gone(first, MESSAGE_TITLE)
        self.assertEqual(self.hands.windows(MESSAGE_TITLE), [second])
        self.hands.keys(second, "Return")
        self.hands.wait_gone(second, MESSAGE_TITLE)

        self.assertEqual(self.service.log(), [], "nothing may reach the music service")
        self.close_and_check_end(window)


def wait_clipboard_briefly(hands, expected, timeout=1.0):
    """True once the clipboard holds `expected`; a copy lands a moment after its click."""
    try:
        return wait_for("the clipboard", lambda: hands.clipboard() == expected, timeout,
                        interval=0.05)
    except AssertionError:
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="the program (build/app/quorvo)")
    parser.add_argument("--cert-dir", required=True, help="the test service's certificates")
    parser.add_argument("--openssl", default="openssl")
    args, rest = parser.parse_known_args()
    SETTINGS.program = os.path.abspath(args.program)
    SETTINGS.cert_dir = os.path.abspath(args.cert_dir)
    SETTINGS.openssl = args.openssl
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
