# The bare backend of the benchmark: a standard-library server with the
# backend's page and the requests it makes, and nothing else. It prints
# "page ready" when the page asks for /api/hello, as the reference backend does.
#
#   python3 bare_server.py PORT PAGE_FOLDER
import http.server
import json
import os
import sys

PORT, ROOT = int(sys.argv[1]), os.path.realpath(sys.argv[2])
KINDS = {
    ".html": "text/html; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".svg": "image/svg+xml",
    ".png": "image/png",
    ".ico": "image/x-icon",
}


class Handler(http.server.BaseHTTPRequestHandler):
    def reply(self, status, body, kind):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path.split("?", 1)[0].split("#", 1)[0]
        if path == "/api/hello":
            print("page ready", flush=True)
        if path.startswith("/api/"):
            # Enough of every reply for the page to render as it does with the real backend.
            body = {"name": "tarvo-studio", "version": "bare", "uptime": 0.0, "ok": True,
                    "running": [], "pending": [], "chats": 0}
            return self.reply(200, json.dumps(body).encode(), "application/json")
        if path == "/":
            path = "/index.html"
        file = os.path.realpath(os.path.join(ROOT, path.lstrip("/")))
        if not file.startswith(ROOT + os.sep) or not os.path.isfile(file):
            return self.reply(404, b"not found", "text/plain")
        with open(file, "rb") as f:
            body = f.read()
        self.reply(200, body, KINDS.get(os.path.splitext(file)[1], "application/octet-stream"))

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.rfile.read(min(length, 1 << 20))
        self.reply(200, b"{}", "application/json")

    def log_message(self, *args):
        pass


http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Handler).serve_forever()
