"""The pieces an end-to-end run is made of: a virtual X server of its own, the test music service
on 127.0.0.1, the program, and a person's hands on them (xdotool for keys and clicks, xclip for
the clipboard). Standard library only; every wait has a deadline and every process started here
is stopped by its owner's stop(), or killed with the driver if the driver dies first.
"""

import ctypes
import os
import queue
import re
import select
import signal
import subprocess
import sys
import threading
import time

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TESTSERVICE = os.path.join(SOURCE_DIR, "testservice")

# The window's own texts.
NOTICE_TITLE = "Morvek的博客"
WINDOW_TITLE = "Lirako Quorvo：Morvek"
MESSAGE_TITLE = "Morvek提示："
# The class of every window of the program; a popup menu has no other mark (its title is only
# in _NET_WM_NAME, which xdotool does not search).
PROGRAM_CLASS = "quorvo"

# Where things sit in the window's client area: 搜索框 at (196, 16, 215 x 32) and 列表框 at
# (11, 65), inside which come a 1-pixel frame, the column header and rows of the font's height
# plus 6 (Noto Sans CJK under Xvfb: a 21-pixel header, 20-pixel rows). A click aims at the
# middle of a row's first cell, which leaves a few pixels of slack for other font metrics.
SEARCH_BOX_POINT = (300, 32)
_FIRST_ROW_TOP = 65 + 1 + 21
_ROW_HEIGHT = 20


def row_point(row):
    return (60, _FIRST_ROW_TOP + _ROW_HEIGHT * row + _ROW_HEIGHT // 2)


_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _die_with_driver():
    # A driver killed by a test runner's time-out must not leave a server or a program behind.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def spawn(args, **kwargs):
    return subprocess.Popen(args, preexec_fn=_die_with_driver, **kwargs)


def wait_for(what, probe, timeout, interval=0.1):
    """Calls probe() until it returns something true, and returns that; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("waited %g s in vain for %s" % (timeout, what))
        time.sleep(interval)


def stop_process(process, grace=3.0):
    """Ends a child: it is given `grace` seconds (after SIGTERM) and killed after that."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class VirtualScreen:
    """An Xvfb server on a display it picks itself (-displayfd), so that parallel runs never
    share one; 1280 x 800, no TCP."""

    def __init__(self, width=1280, height=800):
        read_end, write_end = os.pipe()
        try:
            self.process = spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                  "%dx%dx24" % (width, height), "-nolisten", "tcp", "-noreset"],
                                 pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = -1
            number = b""
            deadline = time.monotonic() + 20
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([read_end], [], [], left)[0]:
                    self.stop()
                    raise AssertionError("Xvfb did not report its display")
                chunk = os.read(read_end, 16)
                if not chunk:
                    self.stop()
                    raise AssertionError("Xvfb ended at start")
                number += chunk
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)
        self.display = ":" + number.decode().strip()

    def stop(self):
        stop_process(self.process)


class Arrival:
    """One request as the service logged it."""

    def __init__(self, line):
        fields = dict(f.split("=", 1) for f in line.split()[1:])
        self.tls = fields["tls"] == "1"
        self.request_line = bytes.fromhex(fields["line"]).decode("latin-1")
        self.method, self.target = self.request_line.split(" ")[:2]
        self.headers = bytes.fromhex(fields["headers"]).decode("latin-1").split("\r\n")
        self.body = bytes.fromhex(fields["body"]).decode("latin-1")

    def __repr__(self):
        return "<%s%s>" % (self.request_line, " (TLS)" if self.tls else "")


class MusicService:
    """testservice/music_service.py on 127.0.0.1, any free port, controlled through its stdin."""

    def __init__(self, cert_dir, openssl="openssl", delay_ms=0):
        env = dict(os.environ, QUORVO_TEST_DELAY_MS=str(delay_ms))
        self.process = spawn([sys.executable, os.path.join(TESTSERVICE, "music_service.py"),
                              "--cert-dir", cert_dir, "--openssl", openssl, "--port", "0"],
                             env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                             encoding="utf-8")
        self.ca_file = os.path.abspath(os.path.join(cert_dir, "ca.pem"))
        self._lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        # The first start makes the certificates, which takes a moment.
        ready = self._line(60)
        match = re.fullmatch(r"ready port=(\d+) untrusted_port=\d+", ready or "")
        if not match:
            self.stop()
            raise AssertionError("the music service did not start: %r" % ready)
        self.port = int(match.group(1))
        self.host = "127.0.0.1:%d" % self.port

    def _read(self):
        for line in self.process.stdout:
            self._lines.put(line.rstrip("\n"))
        self._lines.put(None)

    def _line(self, timeout):
        try:
            return self._lines.get(timeout=timeout)
        except queue.Empty:
            return None

    def command(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        first = self._line(10)
        if first is None:
            raise AssertionError("the music service did not answer %r" % line)
        return first

    def log(self):
        """Every request that has arrived so far, in order."""
        head = self.command("log")
        count = int(head.split()[1])
        return [Arrival(self._line(10)) for _ in range(count)]

    def script_answer(self, method, path, answer_bytes):
        """From now on answers METHOD PATH with these bytes (a whole HTTP answer)."""
        reply = self.command("answer %s %s send:%s" % (method, path.encode("latin-1").hex(),
                                                       answer_bytes.hex()))
        if reply != "ok":
            raise AssertionError("the music service refused an answer: %r" % reply)

    def stop(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write("quit\n")
                self.process.stdin.close()
            except OSError:
                pass
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                pass
        stop_process(self.process)
        self.process.stdout.close()


class Program:
    """The program on a display, talking to a host, trusting a CA; its output kept in files."""

    # Lines no orderly end prints: sanitizer reports, crashes, Qt's complaints about threads.
    CRASH_MARKERS = ("Sanitizer", "runtime error", "Segmentation fault", "Aborted", "core dumped",
                     "terminate called", "QThread", "QObject::", "ASSERT")

    def __init__(self, path, display, host, ca_file, work_dir):
        runtime = os.path.join(work_dir, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = dict(os.environ, DISPLAY=display, QUORVO_HOST=host, CURL_CA_BUNDLE=ca_file,
                   XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb")
        env.pop("WAYLAND_DISPLAY", None)
        self.output_path = os.path.join(work_dir, "quorvo.out")
        with open(self.output_path, "wb") as output:
            self.process = spawn([path], env=env, stdin=subprocess.DEVNULL, stdout=output,
                                 stderr=subprocess.STDOUT, cwd=work_dir)

    def output(self):
        with open(self.output_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def crash_lines(self):
        return [line for line in self.output().splitlines()
                if any(marker in line for marker in self.CRASH_MARKERS)]

    def stop(self):
        stop_process(self.process, grace=1.0)


class Hands:
    """A person at a display: finds windows by title, types, clicks and reads the clipboard."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)

    def _run(self, args, timeout=10):
        return subprocess.run(args, env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=timeout)

    def xdotool(self, *args):
        words = [str(a) for a in args]
        result = self._run(["xdotool", *words])
        if result.returncode != 0:
            raise AssertionError("xdotool %s failed: %s"
                                 % (" ".join(words), result.stderr.decode(errors="replace")))
        return result.stdout.decode()

    def windows(self, title):
        """The shown windows titled exactly `title`."""
        result = self._run(["xdotool", "search", "--onlyvisible", "--name",
                            "^%s$" % re.escape(title)])
        return result.stdout.decode().split()  # exit status 1: none

    def program_windows(self):
        """The shown windows of the program."""
        result = self._run(["xdotool", "search", "--onlyvisible", "--class",
                            "^%s$" % PROGRAM_CLASS])
        return result.stdout.decode().split()

    def wait_window(self, title, timeout=30):
        return wait_for("a window titled %r" % title, lambda: self.windows(title), timeout)[0]

    def wait_gone(self, window, title, timeout=10):
        wait_for("window %s (%r) to close" % (window, title),
                 lambda: window not in self.windows(title), timeout)

    def keys(self, window, *keys):
        """Gives the window the keyboard focus (no window manager needed) and presses the keys."""
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", "--delay", "20", *keys)

    def type_text(self, window, text):
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("type", "--delay", "20", text)

    def click(self, window, point, button=1, times=1):
        x, y = point
        self.xdotool("mousemove", "--window", window, x, y, "click", "--repeat", times,
                     "--delay", "60", button)

    def clipboard(self):
        """The clipboard's text; empty when nobody holds it."""
        result = self._run(["xclip", "-o", "-selection", "clipboard"])
        return result.stdout.decode("utf-8", errors="replace") if result.returncode == 0 else ""

    def screenshot(self, path):
        """Saves the whole screen as a PNG (ImageMagick's import); false when that fails."""
        try:
            return self._run(["import", "-window", "root", path], timeout=20).returncode == 0
        except subprocess.TimeoutExpired:
            return False
