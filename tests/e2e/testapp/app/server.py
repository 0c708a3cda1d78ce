"""The stand-in backend's servers: 127.0.0.1:<port> (the backend's own
origin) and 127.0.0.2:<port + 1> (another origin, for inner frames)."""

import hmac
import json
import os
import secrets
import signal
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from . import pages, switches

NAME = "tarvo-studio"


class Recorder:
    """What the page and its frames reported, in the order it arrived."""

    def __init__(self):
        self._lock = threading.Lock()
        self._events = []

    def add(self, **event):
        with self._lock:
            self._events.append(event)
        print("event " + json.dumps(event, ensure_ascii=False), flush=True)

    def all(self):
        with self._lock:
            return list(self._events)


class Runs:
    """Simulated runs, each in flight until its time is up."""

    def __init__(self):
        self._lock = threading.Lock()
        self._runs = []

    def start(self, tool, seconds):
        with self._lock:
            self._runs.append({"tool": tool, "until": time.monotonic() + seconds})

    def running(self):
        now = time.monotonic()
        with self._lock:
            self._runs = [r for r in self._runs if r["until"] > now]
            return [{"tool": r["tool"]} for r in self._runs]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *_args):
        pass

    def do_GET(self):
        self._handle("GET")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(min(length, 65536)) if length else b""
        if self.path == "/api/call":
            return self._call(raw)
        return self._handle("POST")

    def _call(self, raw):
        if not self._token_ok():
            return self._send(401, "application/json", '{"detail": "token"}')
        try:
            body = json.loads(raw)
            tool, seconds = str(body["tool"]), float(body.get("seconds", 60))
        except (ValueError, KeyError, TypeError):
            return self._send(400, "application/json", '{"detail": "a run needs a tool"}')
        self.server.runs.start(tool, seconds)
        print(f"run {tool} for {seconds:g} s", flush=True)
        return self._send(200, "application/json", '{"ok": true}')

    def _handle(self, method):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        host = self.headers.get("Host", "")
        recorder = self.server.recorder
        if url.path == "/api/ping":
            return self._send(200, "application/json", json.dumps({"name": NAME}))
        if url.path == "/api/busy":
            if not self._token_ok():
                return self._send(401, "application/json", '{"detail": "token"}')
            return self._send(200, "application/json", json.dumps(
                {"running": self.server.runs.running(), "pending": [], "chats": 0}))
        if url.path == "/test/events":
            return self._send(200, "application/json", json.dumps(recorder.all()))
        if url.path == "/test/event":
            event = {"kind": query.get("kind", ""), "detail": query.get("detail", ""),
                     "host": host}
            if "fragment" in query:
                event["fragment"] = query["fragment"]
            recorder.add(**event)
            if query.get("kind") == "loaded" and query.get("detail") == "/":
                print("page ready", flush=True)
            return self._send(204, "text/plain", "")
        recorder.add(kind="request", method=method, path=self.path, host=host,
                     language=self.headers.get("Accept-Language", ""))
        if url.path == "/broken":
            # A load that fails before any content arrives.
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return None
        if url.path == "/api/after-alert":
            return self._send(200, "application/json", '{"ok": true}')
        if url.path == "/":
            if switches.value("PAGE_NEVER"):
                threading.Event().wait()
            main = pages.REQUESTS if switches.value("MAIN_PAGE") == "requests" else pages.MAIN
            return self._send(200, "text/html; charset=utf-8", main)
        if url.path.startswith("/files/"):
            return self._file(url.path[len("/files/"):], query)
        if url.path == "/auto-downloads":
            return self._send(200, "text/html; charset=utf-8", pages.AUTO_DOWNLOADS)
        if url.path == "/frame":
            return self._send(200, "text/html; charset=utf-8", pages.FRAME)
        if url.path == "/favicon.ico":
            return self._send(404, "text/plain", "")
        return self._send(200, "text/html; charset=utf-8", pages.OTHER)

    def _file(self, name, query):
        """Answers that are not a page: attachments, inline files, an error,
        a download that breaks off and one that takes its time."""
        attachment = [("Content-Disposition", f'attachment; filename="{name}"')]
        if name == "report.csv":
            return self._send(200, "text/csv", "run,result\n1,ok\n", attachment)
        if name == "inline.csv":
            return self._send(200, "text/csv", "a,b\n")
        if name == "bundle.zip":
            return self._send(200, "application/zip", "PK\x03\x04 not really a zip")
        if name == "error.json":
            return self._send(500, "application/json", '{"detail": "export failed"}')
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        for key, value in attachment:
            self.send_header(key, value)
        # The engine reads a first kilobyte before it reports the answer.
        seconds = int(float(query.get("seconds", "0")))
        self.send_header("Content-Length", str(100000 if name == "broken.bin" else 1024 + seconds))
        self.end_headers()
        self.close_connection = True
        self.wfile.write(b"x" * 1024)
        for _ in range(seconds):
            self.wfile.flush()
            time.sleep(1)
            self.wfile.write(b"x")
        return None

    def _token_ok(self):
        given = self.headers.get("X-Studio-Token", "")
        return hmac.compare_digest(given.encode(), self.server.token.encode())

    def _send(self, status, content_type, text, headers=()):
        data = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        for key, value in headers:
            self.send_header(key, value)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(data)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, recorder, runs, handed=None):
        super().__init__(address, Handler, bind_and_activate=handed is None)
        if handed is not None:
            self.socket.close()
            self.socket = handed
        self.recorder = recorder
        self.runs = runs
        self.token = ""


def write_token(home):
    """Keeps the install's token across restarts, as the real backend does."""
    os.makedirs(home, mode=0o700, exist_ok=True)
    try:
        with open(os.path.join(home, "ui.token"), encoding="utf-8") as f:
            kept = f.read().strip()
        if kept:
            return kept
    except OSError:
        pass
    token = secrets.token_hex(16)
    path = os.path.join(home, "ui.token")
    temporary = path + ".tmp"
    descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(descriptor, "w") as f:
        f.write(token + "\n")
    os.replace(temporary, path)
    return token


def parent_gone(parent, first_parent):
    """The application named by TARVO_STUDIO_PARENT is gone, or our own
    parent (the keeper between us and it) is."""
    if parent is None:
        return False
    try:
        os.kill(parent, 0)
    except ProcessLookupError:
        return True
    except PermissionError:
        pass
    return os.getppid() != first_parent


def handed_socket():
    """The listening socket the application hands over, as the real backend
    takes it (descriptor 3, LISTEN_FDS=1, LISTEN_PID our pid), or None."""
    count, pid = os.environ.pop("LISTEN_FDS", None), os.environ.pop("LISTEN_PID", None)
    if count != "1" or pid != str(os.getpid()):
        return None
    handed = socket.socket(fileno=3)
    handed.set_inheritable(False)
    return handed


# The worker: it starts a program in a session of its own, says who they are,
# and waits, holding what it inherited.
WORKER = """import os, subprocess, sys, time
session = subprocess.Popen([sys.executable, "-c", "import time; time.sleep(3600)"],
                           start_new_session=True)
print(f"test backend family: worker {os.getpid()}, session {session.pid}", flush=True)
while True:
    time.sleep(60)
"""


def start_family(listener):
    """What a backend may leave behind: a worker it forks, which keeps the
    listening socket, and a program in a session of its own that the worker
    starts. (The worker runs a program of its own, so that it is not taken
    for a backend.)"""
    if os.fork() == 0:
        os.set_inheritable(listener.fileno(), True)
        os.execv(sys.executable, [sys.executable, "-c", WORKER])


def serve(port):
    home = os.environ.get("TARVO_STUDIO_HOME", "")
    if not home:
        print("TARVO_STUDIO_HOME is not set", file=sys.stderr, flush=True)
        return 2
    parent_text = os.environ.get("TARVO_STUDIO_PARENT", "")
    watched = int(parent_text) if parent_text.isdigit() and switches.value("WATCH_PARENT") else None
    first_parent = os.getppid()

    stop = threading.Event()
    caught = []

    def on_signal(signum, _frame):
        caught.append(signal.Signals(signum).name)
        stop.set()

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, on_signal)
    delay = switches.value("START_DELAY")
    print(f"test backend pid {os.getpid()}, listening in {delay:g} s", flush=True)
    if stop.wait(delay):
        return 0
    if switches.value("EXIT_AT_START"):
        print(f"test backend {os.getpid()} ends at start", flush=True)
        return switches.value("EXIT_AT_START")

    recorder, runs = Recorder(), Runs()
    servers = [Server(("127.0.0.1", port), recorder, runs, handed_socket())]
    try:
        servers.append(Server(("127.0.0.2", port + 1), recorder, runs))
    except OSError as error:
        print(f"no second origin on 127.0.0.2:{port + 1}: {error}", flush=True)
    token = write_token(home)
    if switches.value("FAMILY"):
        start_family(servers[0].socket)
    for server in servers:
        server.token = token
        threading.Thread(target=server.serve_forever, daemon=True).start()
    print(f"test backend serving on 127.0.0.1:{port} (pid {os.getpid()})", flush=True)
    while not stop.wait(0.5):
        if parent_gone(watched, first_parent):
            caught.append("its parent's end")
            break
    # The tests read from this line which signal reached the backend.
    print(f"test backend {os.getpid()} stopping on {caught[0]}", flush=True)
    for server in servers:
        server.shutdown()
        server.server_close()
    return 0
