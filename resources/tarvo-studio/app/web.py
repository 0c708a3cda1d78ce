"""HTTP plumbing: routes, the host and token checks, JSON replies and the
page files."""

import errno
import hmac
import io
import json
import os
import socket
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from . import NAME, __version__, api, guard, log
from .home import read_token

MAX_BODY = 1024 * 1024
# What is read and thrown away after a refusal, so that the client gets the
# answer rather than a reset of the connection; beyond it the client is cut.
MAX_DRAIN = MAX_BODY + guard.MAX_HEAD
DRAIN_SECONDS = 2.0
TOKEN_HEADER = "X-Studio-Token"
PAGE_FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "page")
PAGE_FILES = {
    "/": ("index.html", "text/html; charset=utf-8"),
    "/studio.css": ("studio.css", "text/css; charset=utf-8"),
    "/studio.js": ("studio.js", "text/javascript; charset=utf-8"),
}
# path -> (method, handler, needs the token)
ROUTES = {
    "/api/ping": ("GET", "_ping", False),
    "/api/hello": ("GET", "_hello", False),
    "/api/busy": ("GET", "_busy", True),
    "/api/call": ("POST", "_call", True),
    "/api/approve": ("POST", "_approve", True),
    **{path: ("GET", "_page_file", False) for path in PAGE_FILES},
}
# The page needs nothing from elsewhere; saying so keeps injected markup inert.
PAGE_POLICY = (
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self' data:; base-uri 'none'; form-action 'none'; frame-ancestors 'self'"
)


class StudioServer(ThreadingHTTPServer):
    """Serves one install: its data folder (for the token) and its work."""

    daemon_threads = True
    # Room in the kernel for a burst of connections while the loop admits
    # them; a full queue drops the app's ping for a second or more.
    request_queue_size = 1024

    def __init__(self, port, home, work, handed=None):
        """`handed`: a listening socket to serve on; without one, it binds
        127.0.0.1:port itself."""
        self.home = home
        self.work = work
        self.started = time.monotonic()
        # Only our own names: a page of another site whose name was made to
        # point at 127.0.0.1 (DNS rebinding) sends its own name here.
        self.hosts = {f"127.0.0.1:{port}", f"localhost:{port}"}
        self.connections = guard.Connections()
        super().__init__(("127.0.0.1", port), Handler, bind_and_activate=handed is None)
        if handed is not None:
            self.socket.close()
            self.socket = handed

    def get_request(self):
        try:
            return super().get_request()
        except OSError as err:
            if err.errno in (errno.EMFILE, errno.ENFILE, errno.ENOBUFS, errno.ENOMEM):
                # The listening socket stays ready while nothing can be
                # accepted: free a place and pause instead of spinning.
                self.connections.cut_oldest_waiting()
                time.sleep(0.05)
            raise

    def process_request(self, request, client_address):
        if not self.connections.admit(request):
            self.shutdown_request(request)
            return
        super().process_request(request, client_address)

    def shutdown_request(self, request):
        self.connections.release(request)
        super().shutdown_request(request)

    def service_actions(self):
        # Run by the serving loop about twice a second, and after each
        # connection it accepts.
        self.connections.cut_overdue()
        log.summarise()

    def handle_error(self, request, client_address):
        if isinstance(sys.exc_info()[1], OSError):
            return  # the client went away or was cut: nothing to tell
        log.error("a request failed:")


class Handler(BaseHTTPRequestHandler):
    server_version = "TarvoStudio/" + __version__
    # A backstop: the server cuts every connection at its deadline.
    timeout = guard.REQUEST_SECONDS

    def setup(self):
        super().setup()
        # The head is read through a limit; the library's own reader would
        # take up to 64 KiB a line and 100 lines.
        self.rfile.close()
        self._head = guard.HeadReader(self.connection)
        self.rfile = io.BufferedReader(self._head)
        self._unread = False

    def handle(self):
        super().handle()
        # Answered: from here on the connection only waits on its client.
        self.server.connections.working(self.connection, False)
        if self._unread:
            self._drain()

    def parse_request(self):
        if not super().parse_request():
            # The library has answered already; what is left stays unread.
            self._unread = True
            return False
        if self._head.over:
            self.request_version = self.protocol_version
            self._refuse(431, f"the request line and headers are larger than {guard.MAX_HEAD} bytes")
            self._unread = True
            return False
        self._head.limit = None
        self.server.connections.working(self.connection, True)
        hosts = self.headers.get_all("Host") or []
        if len(hosts) != 1 or hosts[0].strip().lower() not in self.server.hosts:
            self._refuse(421, "this service answers only to 127.0.0.1 and localhost on its own port")
            return False
        return True

    def do_GET(self):
        self._dispatch("GET")

    def do_HEAD(self):
        # Answered as GET; _send leaves the body out.
        self._dispatch("GET")

    def do_POST(self):
        self._dispatch("POST")

    def do_PUT(self):
        self._dispatch("PUT")

    def do_DELETE(self):
        self._dispatch("DELETE")

    def do_PATCH(self):
        self._dispatch("PATCH")

    def do_OPTIONS(self):
        self._dispatch("OPTIONS")

    def _dispatch(self, method):
        # Every check that can refuse comes before the body is read: a
        # client that is refused costs no memory for its body.
        path = self.path.split("?", 1)[0]
        if path not in ROUTES:
            self._refuse(404, "not found")
            return
        allowed, name, guarded = ROUTES[path]
        if method != allowed:
            self._refuse(405, f"use {allowed}", extra={"Allow": allowed})
            return
        if guarded and not self._token_ok():
            self._refuse(401, f"missing or wrong {TOKEN_HEADER} header")
            return
        if method != "POST":
            # Only the actions take a body; any other is thrown away unread.
            self._unread = self._announces_body()
            getattr(self, name)(path, b"")
            return
        raw = self._read_body()
        if raw is None:
            return
        getattr(self, name)(path, raw)

    # Endpoints

    def _ping(self, _path, _raw):
        self._json(
            200,
            {
                "name": NAME,
                "version": __version__,
                "pid": os.getpid(),
                "uptime": round(time.monotonic() - self.server.started, 1),
            },
        )

    def _hello(self, _path, _raw):
        # The page's script calls this once it has loaded.
        log.page_ready()
        self._json(200, {"ok": True})

    def _busy(self, _path, _raw):
        self._json(200, self.server.work.busy())

    def _call(self, _path, raw):
        self._act(api.call, raw)

    def _approve(self, _path, raw):
        self._act(api.approve, raw)

    def _page_file(self, path, _raw):
        name, content_type = PAGE_FILES[path]
        try:
            with open(os.path.join(PAGE_FOLDER, name), "rb") as f:
                data = f.read()
        except OSError:
            self._json(404, {"detail": "not found"})
            return
        self._send(
            200,
            data,
            content_type,
            {"Content-Security-Policy": PAGE_POLICY, "Referrer-Policy": "no-referrer"},
        )

    # Requests

    def _token_ok(self):
        # Read afresh each time, so a token rewritten in the data folder takes
        # effect at once (the app, too, reads the file for every request); no
        # sound token file, and nobody gets in.
        expected = read_token(self.server.home)
        given = self.headers.get(TOKEN_HEADER, "")
        return expected is not None and hmac.compare_digest(
            given.encode("utf-8", "replace"), expected.encode("ascii")
        )

    def _act(self, action, raw):
        try:
            body = json.loads(raw.decode("utf-8"))
        except (UnicodeDecodeError, ValueError):
            self._json(400, {"detail": "the body is not valid JSON"})
            return
        status, reply = action(self.server.work, body)
        self._json(status, reply)

    def _read_body(self):
        """The request's body (b"" when it has none), or None once a refusal
        has been sent."""
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            return self._refuse(411, "send the body with a Content-Length")
        try:
            length = int(self.headers.get("Content-Length", "0"))
        except ValueError:
            length = -1
        if length < 0:
            return self._refuse(400, "bad Content-Length")
        if length > MAX_BODY:
            return self._refuse(413, f"the body is larger than {MAX_BODY} bytes")
        try:
            raw = self.rfile.read(length)
        except OSError:
            self.close_connection = True
            return None
        if len(raw) < length:
            return self._refuse(400, "the body ended early")
        return raw

    def _refuse(self, status, detail, extra=None):
        # What is left of the request stays unread, so this connection cannot
        # carry another one.
        self.close_connection = True
        self._unread = self._unread or self._announces_body()
        self._json(status, {"detail": detail}, extra)
        return None

    def _announces_body(self):
        length = self.headers.get("Content-Length", "0").strip()
        return length not in ("", "0") or "Transfer-Encoding" in self.headers

    def _drain(self):
        """After a refusal: end our side, then read and drop what the client
        still sends, within bounds. Closing with unread data would reset the
        connection, and the client could lose the answer."""
        sock = self.connection
        try:
            sock.shutdown(socket.SHUT_WR)
            sock.settimeout(DRAIN_SECONDS)
            scrap = bytearray(64 * 1024)
            left = MAX_DRAIN
            while left > 0:
                count = sock.recv_into(scrap, min(left, len(scrap)))
                if not count:
                    break
                left -= count
        except OSError:
            pass

    # Replies

    def _json(self, status, payload, extra=None):
        data = json.dumps(payload).encode("utf-8")
        self._send(status, data, "application/json", extra or {})

    def _send(self, status, data, content_type, headers):
        # Nothing here may be kept by a cache: replies change by the second,
        # and the page should be the one this service ships.
        try:
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(data)))
            self.send_header("Cache-Control", "no-store")
            self.send_header("X-Content-Type-Options", "nosniff")
            for key, value in headers.items():
                self.send_header(key, value)
            self.end_headers()
            if self.command != "HEAD":
                self.wfile.write(data)
        except OSError:
            # The client went away; nothing to tell it.
            self.close_connection = True

    def send_error(self, code, message=None, explain=None):
        # Malformed requests, unknown methods, over-long lines: answer in JSON
        # like everything else rather than the library's HTML page.
        self.close_connection = True
        self._unread = True
        self._json(code, {"detail": message or self.responses.get(code, ("error",))[0]})

    # Logging

    def log_request(self, code="-", size="-"):
        # Pings, polls and the page's files are routine and leave no line;
        # refusals and actions do, within the log's budget.
        code = getattr(code, "value", code)
        if self.command == "POST" or not isinstance(code, int) or code >= 400:
            log.request(self.command or "-", getattr(self, "path", "") or "-", code)

    def log_error(self, format, *args):
        # The library's messages quote the raw request line; the request line
        # is logged by log_request already, in a cleaned form.
        pass

    def log_message(self, format, *args):
        pass

