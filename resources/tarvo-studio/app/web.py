"""HTTP plumbing: routes, the token check, JSON replies and the page files."""

import hmac
import json
import os
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from . import NAME, __version__, api, log
from .home import read_token

MAX_BODY = 1024 * 1024
TOKEN_HEADER = "X-Studio-Token"
PAGE_FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "page")
PAGE_FILES = {
    "/": ("index.html", "text/html; charset=utf-8"),
    "/studio.css": ("studio.css", "text/css; charset=utf-8"),
    "/studio.js": ("studio.js", "text/javascript; charset=utf-8"),
}
# The page needs nothing from elsewhere; saying so keeps injected markup inert.
PAGE_POLICY = (
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self' data:; base-uri 'none'; form-action 'none'; frame-ancestors 'self'"
)


class StudioServer(ThreadingHTTPServer):
    """Serves one install: its data folder (for the token) and its work."""

    daemon_threads = True

    def __init__(self, port, home, work):
        self.home = home
        self.work = work
        self.started = time.monotonic()
        super().__init__(("127.0.0.1", port), Handler)


class Handler(BaseHTTPRequestHandler):
    server_version = "TarvoStudio/" + __version__
    # A client that stops sending mid-request gives its thread back in time.
    timeout = 30

    def do_GET(self):
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
        path = self.path.split("?", 1)[0]
        routes = {
            "/api/ping": ("GET", self._ping),
            "/api/hello": ("GET", self._hello),
            "/api/busy": ("GET", self._guarded(self._busy)),
            "/api/call": ("POST", self._guarded(self._with_body(api.call))),
            "/api/approve": ("POST", self._guarded(self._with_body(api.approve))),
        }
        if path in PAGE_FILES:
            routes[path] = ("GET", self._page_file)
        if path not in routes:
            self._json(404, {"detail": "not found"})
            return
        allowed, handler = routes[path]
        if method != allowed:
            self._json(405, {"detail": f"use {allowed}"}, extra={"Allow": allowed})
            return
        handler(path)

    # Endpoints

    def _ping(self, _path):
        self._json(
            200,
            {
                "name": NAME,
                "version": __version__,
                "pid": os.getpid(),
                "uptime": round(time.monotonic() - self.server.started, 1),
            },
        )

    def _hello(self, _path):
        # The page's script calls this once it has loaded; tests and the
        # benchmark watch the log for this line.
        log.line("page ready")
        self._json(200, {"ok": True})

    def _busy(self, _path):
        self._json(200, self.server.work.busy())

    def _page_file(self, path):
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

    # Guards

    def _guarded(self, handler):
        def check(path):
            expected = read_token(self.server.home)
            given = self.headers.get(TOKEN_HEADER, "")
            # Read afresh each time, so a token rewritten in the data folder
            # takes effect at once, as it does for the app, which reads the
            # file for every request too. No sound token file: nobody gets in.
            if expected is None or not hmac.compare_digest(
                given.encode("utf-8", "replace"), expected.encode("ascii")
            ):
                self._json(401, {"detail": f"missing or wrong {TOKEN_HEADER} header"})
                return
            handler(path)

        return check

    def _with_body(self, action):
        def run(_path):
            body = self._read_json()
            if body is not _NO_BODY:
                status, reply = action(self.server.work, body)
                self._json(status, reply)

        return run

    def _read_json(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            self.close_connection = True
            self._json(411, {"detail": "send the body with a Content-Length"})
            return _NO_BODY
        try:
            length = int(self.headers.get("Content-Length", "0"))
        except ValueError:
            length = -1
        if length < 0:
            self.close_connection = True
            self._json(400, {"detail": "bad Content-Length"})
            return _NO_BODY
        if length > MAX_BODY:
            # The body stays unread, so this connection cannot carry another
            # request.
            self.close_connection = True
            self._json(413, {"detail": f"the body is larger than {MAX_BODY} bytes"})
            return _NO_BODY
        try:
            raw = self.rfile.read(length)
        except OSError:
            self.close_connection = True
            return _NO_BODY
        if len(raw) < length:
            self.close_connection = True
            self._json(400, {"detail": "the body ended early"})
            return _NO_BODY
        try:
            return json.loads(raw.decode("utf-8"))
        except (UnicodeDecodeError, ValueError):
            self._json(400, {"detail": "the body is not valid JSON"})
            return _NO_BODY

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
        self._json(code, {"detail": message or self.responses.get(code, ("error",))[0]})

    # Logging

    def log_request(self, code="-", size="-"):
        code = getattr(code, "value", code)
        log.request(self.command or "-", getattr(self, "path", "") or "-", code)

    def log_error(self, format, *args):
        # The library's messages quote the raw request line; the request line
        # is logged by log_request already, in a cleaned form.
        pass

    def log_message(self, format, *args):
        pass


_NO_BODY = object()
