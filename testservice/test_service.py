#!/usr/bin/env python3
"""A loopback HTTP service for tests: plain HTTP and TLS on one port, answers written byte for byte.

Each listening port serves plain HTTP and TLS alike: a connection whose first byte is 0x16 (a TLS
handshake record) is wrapped in TLS, any other is read as plain HTTP. The main port presents a
certificate for 127.0.0.1 and localhost signed by the test CA (ca.pem); the "untrusted" port
presents one signed by another CA that no client trusts.

Answers are found by method and path (the query left out, an absolute-form target reduced to its
path): a route holds a handler, a function of the arrived Request that returns an Answer (a list
of actions: send bytes, wait, repeat bytes, close, reset, hang). Every request that arrives is
logged (request line, header lines, body) before it is answered.

Run by hand:
    python3 testservice/test_service.py --cert-dir /tmp/quorvo-certs --port 8080 --forever
    curl --cacert /tmp/quorvo-certs/ca.pem https://127.0.0.1:8080/echo

Controlled by a test (stdin/stdout, one line per command; bytes as hex):
    answer METHOD PATH_HEX ACTION...   ACTION: send:HEX delay:MS repeat:COUNT:HEX close reset
                                       hang:MS keep          -> ok
    log                                -> "log N", then N lines "arrival tls=0|1 resumed=0|1
                                          port=P client_port=C line=HEX headers=HEX body=HEX"
                                          (resumed: the TLS handshake resumed an earlier
                                          session; client_port tells connections apart)
    clear                              -> ok (log and scripted answers emptied)
    quit
At start it prints "ready port=P untrusted_port=Q". A test service of its own (a music service)
imports this module, adds routes with handler functions and calls main(setup).
"""

import argparse
import os
import secrets
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

MAX_HEAD = 1024 * 1024
MAX_BODY = 64 * 1024 * 1024
# No connection is kept past this, whatever an answer asks for: every test run stops by itself.
LONGEST_WAIT = 120.0


class Request:
    """One request as it arrived."""

    def __init__(self, tls, port, request_line, header_lines, body):
        self.tls = tls
        self.port = port
        self.request_line = request_line  # bytes, without CR LF
        self.header_lines = header_lines  # list of bytes, without CR LF
        self.body = body
        parts = request_line.split(b" ")
        self.method = parts[0].decode("latin-1") if parts else ""
        self.target = parts[1].decode("latin-1") if len(parts) > 1 else ""
        self.version = parts[2].decode("latin-1") if len(parts) > 2 else ""
        target = self.target
        if "://" in target:  # absolute form, as a client speaks to a proxy
            rest = target.split("://", 1)[1]
            target = "/" + rest.split("/", 1)[1] if "/" in rest else "/"
        self.path, _, self.query = target.partition("?")
        self.resumed = False  # the TLS handshake resumed an earlier session
        self.client_port = 0

    def header(self, name):
        """The value of the first header line with that name (case ignored), or None."""
        for line in self.header_lines:
            key, sep, value = line.partition(b":")
            if sep and key.strip().lower() == name.lower().encode("latin-1"):
                return value.strip().decode("latin-1")
        return None

    def raw(self):
        return self.request_line + b"\r\n" + b"".join(l + b"\r\n" for l in self.header_lines) + b"\r\n" + self.body


class Answer:
    """Actions carried out in order on the connection; afterwards it is closed unless keep()."""

    def __init__(self):
        self.actions = []
        self.keep_open = False

    def send(self, data):
        self.actions.append(("send", bytes(data)))
        return self

    def delay(self, ms):
        self.actions.append(("delay", ms))
        return self

    def repeat(self, data, count):
        self.actions.append(("repeat", (bytes(data), count)))
        return self

    def close(self):
        """Close at once, without a TLS close_notify: an answer cut off."""
        self.actions.append(("close", None))
        return self

    def reset(self):
        """Close with a TCP reset."""
        self.actions.append(("reset", None))
        return self

    def hang(self, ms):
        """Say nothing until the client leaves, ms pass or the service stops."""
        self.actions.append(("hang", ms))
        return self

    def keep(self):
        """Keep the connection for the next request."""
        self.keep_open = True
        return self


def http_answer(status=200, reason="OK", headers=(), body=b"", delay_ms=0, chunked=False):
    """A well-formed answer; a Content-Length (or chunked coding) is added unless named."""
    if isinstance(body, str):
        body = body.encode("utf-8")
    lines = [f"HTTP/1.1 {status} {reason}".encode("latin-1")]
    names = set()
    for header in headers:
        line = header.encode("latin-1") if isinstance(header, str) else bytes(header)
        names.add(line.split(b":", 1)[0].strip().lower())
        lines.append(line)
    if chunked:
        lines.append(b"Transfer-Encoding: chunked")
        payload = (b"%x\r\n" % len(body) + body + b"\r\n" if body else b"") + b"0\r\n\r\n"
    else:
        if b"content-length" not in names:
            lines.append(b"Content-Length: %d" % len(body))
        payload = body
    answer = Answer()
    if delay_ms:
        answer.delay(delay_ms)
    return answer.send(b"\r\n".join(lines) + b"\r\n\r\n" + payload)


def echo_handler(request):
    return http_answer(headers=["Content-Type: application/octet-stream"], body=request.raw())


class Reader:
    def __init__(self, sock):
        self.sock = sock
        self.buffer = b""

    def _fill(self):
        data = self.sock.recv(65536)
        if not data:
            raise EOFError
        self.buffer += data

    def until(self, marker, limit):
        while marker not in self.buffer:
            if len(self.buffer) > limit:
                raise ValueError("too long")
            self._fill()
        head, _, self.buffer = self.buffer.partition(marker)
        return head

    def exact(self, n):
        while len(self.buffer) < n:
            self._fill()
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data


def make_certificates(cert_dir, openssl):
    """Makes the two CAs and their certificates once; parallel test processes may race here."""
    wanted = ["ca.pem", "server.pem", "server.key", "untrusted-ca.pem", "untrusted-server.pem",
              "untrusted-server.key"]
    if all(os.path.exists(os.path.join(cert_dir, n)) for n in wanted):
        return
    parent = os.path.dirname(os.path.abspath(cert_dir))
    os.makedirs(parent, exist_ok=True)
    work = tempfile.mkdtemp(prefix=".certs-", dir=parent)

    def run(*args):
        subprocess.run([openssl, *args], cwd=work, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE)

    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    with open(os.path.join(work, "leaf.cnf"), "w") as f:
        f.write("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=serverAuth\nsubjectAltName=IP:127.0.0.1,DNS:localhost\n")
    for prefix, name in (("", "Quorvo Test CA"), ("untrusted-", "Quorvo Untrusted CA")):
        run("req", "-x509", *ec, "-keyout", prefix + "ca.key", "-out", prefix + "ca.pem",
            "-days", "3650", "-subj", "/CN=" + name,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        run("req", "-new", *ec, "-keyout", prefix + "server.key", "-out", prefix + "server.csr",
            "-subj", "/CN=127.0.0.1")
        run("x509", "-req", "-in", prefix + "server.csr", "-CA", prefix + "ca.pem",
            "-CAkey", prefix + "ca.key", "-set_serial", "0x" + secrets.token_hex(8),
            "-days", "3650", "-sha256", "-extfile", "leaf.cnf", "-out", prefix + "server.pem")
    try:
        os.rename(work, cert_dir)
    except OSError:
        shutil.rmtree(work, ignore_errors=True)  # another process made them first


class TestService:
    def __init__(self, cert_dir, openssl="openssl", port=0, untrusted_port=0):
        make_certificates(cert_dir, openssl)
        self.cert_dir = cert_dir
        self.routes = {}
        self.builtin = {("*", "/echo"): echo_handler}
        self.arrivals = []
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.contexts = {}
        self.listeners = []
        for prefix, wanted in (("", port), ("untrusted-", untrusted_port)):
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(os.path.join(cert_dir, prefix + "server.pem"),
                                    os.path.join(cert_dir, prefix + "server.key"))
            context.set_alpn_protocols(["http/1.1"])
            listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            listener.bind(("127.0.0.1", wanted))
            listener.listen(128)
            self.listeners.append((listener, context))
        self.port = self.listeners[0][0].getsockname()[1]
        self.untrusted_port = self.listeners[1][0].getsockname()[1]

    # Routes -------------------------------------------------------------------------------

    def add_route(self, method, path, handler):
        """handler(Request) -> Answer or bytes. Method "*" matches any method."""
        with self.lock:
            self.routes[(method, path)] = handler

    def set_answer(self, method, path, answer):
        self.add_route(method, path, lambda request: answer)

    def clear(self):
        with self.lock:
            self.routes.clear()
            self.arrivals.clear()

    def _handler_for(self, request):
        with self.lock:
            for key in ((request.method, request.path), ("*", request.path)):
                if key in self.routes:
                    return self.routes[key]
        for key in ((request.method, request.path), ("*", request.path)):
            if key in self.builtin:
                return self.builtin[key]
        return lambda r: http_answer(404, "Not Found", ["Content-Type: text/plain"], b"no route\n")

    # Serving ------------------------------------------------------------------------------

    def start(self):
        for listener, context in self.listeners:
            threading.Thread(target=self._accept, args=(listener, context), daemon=True).start()

    def _accept(self, listener, context):
        port = listener.getsockname()[1]
        while not self.stopping.is_set():
            try:
                sock, _ = listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(sock, context, port), daemon=True).start()

    def _serve(self, sock, context, port):
        try:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            sock.settimeout(LONGEST_WAIT)
            first = sock.recv(1, socket.MSG_PEEK)
            if not first:
                return
            tls = first[0] == 0x16
            if tls:
                sock = context.wrap_socket(sock, server_side=True)
            resumed = tls and sock.session_reused
            client_port = sock.getpeername()[1]
            reader = Reader(sock)
            while True:
                request = self._read_request(reader, sock, tls, port)
                if request is None:
                    return
                request.resumed = resumed
                request.client_port = client_port
                with self.lock:
                    self.arrivals.append(request)
                answer = self._handler_for(request)(request)
                if isinstance(answer, (bytes, bytearray)):
                    answer = Answer().send(answer)
                if not self._carry_out(answer, sock):
                    return
                if not answer.keep_open:
                    self._close_gracefully(sock, tls)
                    return
        except (OSError, EOFError, ValueError, ssl.SSLError):
            pass
        finally:
            try:
                sock.close()
            except OSError:
                pass

    def _read_request(self, reader, sock, tls, port):
        try:
            head = reader.until(b"\r\n\r\n", MAX_HEAD)
        except EOFError:
            return None
        lines = head.split(b"\r\n")
        request = Request(tls, port, lines[0], lines[1:], b"")
        if (request.header("Expect") or "").lower() == "100-continue":
            sock.sendall(b"HTTP/1.1 100 Continue\r\n\r\n")
        if (request.header("Transfer-Encoding") or "").lower() == "chunked":
            body = b""
            while True:
                size = int(reader.until(b"\r\n", 1024).split(b";")[0], 16)
                if size == 0:
                    while reader.until(b"\r\n", MAX_HEAD):
                        pass  # trailer lines up to the empty one
                    break
                body += reader.exact(size)
                reader.exact(2)
                if len(body) > MAX_BODY:
                    raise ValueError("body too long")
            request.body = body
        else:
            length = int(request.header("Content-Length") or 0)
            if length > MAX_BODY:
                raise ValueError("body too long")
            request.body = reader.exact(length)
        return request

    def _carry_out(self, answer, sock):
        """False when the connection is gone or closed by an action."""
        for kind, arg in answer.actions:
            if kind == "send":
                sock.sendall(arg)
            elif kind == "delay":
                if self.stopping.wait(min(arg / 1000.0, LONGEST_WAIT)):
                    return False
            elif kind == "repeat":
                data, count = arg
                for _ in range(count):
                    sock.sendall(data)
            elif kind == "close":
                return False
            elif kind == "reset":
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                return False
            elif kind == "hang":
                self._hang(sock, min(arg / 1000.0, LONGEST_WAIT))
                return False
        return True

    def _hang(self, sock, seconds):
        deadline = time.monotonic() + seconds
        sock.settimeout(0.05)
        while time.monotonic() < deadline and not self.stopping.is_set():
            try:
                if not sock.recv(4096):
                    return  # the client has left
            except (socket.timeout, ssl.SSLWantReadError):
                continue

    def _close_gracefully(self, sock, tls):
        # Say goodbye properly and read what is left, so that the answer is not lost to a reset
        # and a TLS client sees close_notify.
        sock.settimeout(1.0)
        if tls:
            try:
                sock = sock.unwrap()
            except (OSError, ValueError, ssl.SSLError):
                return
        try:
            sock.shutdown(socket.SHUT_WR)
            deadline = time.monotonic() + 1.0
            while time.monotonic() < deadline and sock.recv(65536):
                pass
        except OSError:
            pass

    # Control ------------------------------------------------------------------------------

    def control(self, line):
        words = line.split()
        if not words:
            return ["error empty"]
        command = words[0]
        if command == "answer":
            if len(words) < 3:
                return ["error answer METHOD PATH_HEX ACTION..."]
            answer = Answer()
            for action in words[3:]:
                kind, _, rest = action.partition(":")
                if kind == "send":
                    answer.send(bytes.fromhex(rest))
                elif kind == "delay":
                    answer.delay(int(rest))
                elif kind == "repeat":
                    count, _, data = rest.partition(":")
                    answer.repeat(bytes.fromhex(data), int(count))
                elif kind == "close":
                    answer.close()
                elif kind == "reset":
                    answer.reset()
                elif kind == "hang":
                    answer.hang(int(rest))
                elif kind == "keep":
                    answer.keep()
                else:
                    return ["error unknown action " + kind]
            self.set_answer(words[1], bytes.fromhex(words[2]).decode("latin-1"), answer)
            return ["ok"]
        if command == "log":
            with self.lock:
                entries = list(self.arrivals)
            out = [f"log {len(entries)}"]
            for r in entries:
                headers = b"\r\n".join(r.header_lines)
                out.append(f"arrival tls={int(r.tls)} resumed={int(r.resumed)} port={r.port} "
                           f"client_port={r.client_port} line={r.request_line.hex()} "
                           f"headers={headers.hex()} body={r.body.hex()}")
            return out
        if command == "clear":
            self.clear()
            return ["ok"]
        return ["error unknown command " + command]


def main(setup=None, argv=None):
    """Runs a service; setup(service) may add routes first (a service built on this one)."""
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cert-dir", required=True, help="where the test CAs and certificates live")
    parser.add_argument("--openssl", default="openssl")
    parser.add_argument("--port", type=int, default=0, help="0: any free port")
    parser.add_argument("--untrusted-port", type=int, default=0)
    parser.add_argument("--forever", action="store_true", help="ignore stdin; stop with Ctrl-C")
    args = parser.parse_args(argv)
    service = TestService(args.cert_dir, args.openssl, args.port, args.untrusted_port)
    if setup:
        setup(service)
    service.start()
    print(f"ready port={service.port} untrusted_port={service.untrusted_port}", flush=True)
    if args.forever or sys.stdin.isatty():
        print(f"test service on 127.0.0.1:{service.port} (http and https), untrusted certificate "
              f"on 127.0.0.1:{service.untrusted_port}; CA {os.path.join(args.cert_dir, 'ca.pem')}",
              file=sys.stderr, flush=True)
    try:
        if args.forever:
            while True:
                time.sleep(3600)
        for line in sys.stdin:
            if line.strip() == "quit":
                break
            try:
                reply = service.control(line)
            except (ValueError, IndexError) as error:
                reply = ["error " + str(error).replace("\n", " ")]
            sys.stdout.write("\n".join(reply) + "\n")
            sys.stdout.flush()
    except KeyboardInterrupt:
        pass
    service.stopping.set()
    # Connection threads may sit in a send or a wait; the process ends without them.
    os._exit(0)


if __name__ == "__main__":
    main()
