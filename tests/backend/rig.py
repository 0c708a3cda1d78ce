"""What the backend tests share: where the backend is, the port lock, a real
server in a child process, and small HTTP helpers."""

import fcntl
import http.client
import json
import os
import resource
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

BACKEND_DIR = os.environ.get("TARVO_BACKEND_DIR") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "tarvo-studio"
)
PORT = 7810
LOCK_PATH = "/tmp/tarvo-studio-port-7810.lock"


def import_app():
    """The backend package, imported in-process without writing bytecode
    into the source tree (which the bundle copies)."""
    sys.dont_write_bytecode = True
    if BACKEND_DIR not in sys.path:
        sys.path.insert(0, BACKEND_DIR)
    import app  # noqa: F401

    return app


def port_open():
    try:
        with socket.create_connection(("127.0.0.1", PORT), timeout=0.5):
            return True
    except OSError:
        return False


class PortTest(unittest.TestCase):
    """Holds the port lock shared with the C++ tests for the whole class."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        lock = open(LOCK_PATH, "a+")
        fcntl.flock(lock.fileno(), fcntl.LOCK_EX)
        cls.addClassCleanup(lock.close)
        if port_open():
            raise RuntimeError(f"something already listens on 127.0.0.1:{PORT}; stop it first")


class Backend:
    """`python3 -m app serve --port 7810` as the app starts it, with its
    output captured in files."""

    def __init__(self, home, parent=None, env=None, files=None, handed=None, listen_pid="$$"):
        """handed: a listening socket, given as descriptor 3 with LISTEN_FDS=1
        and LISTEN_PID=listen_pid ("$$": the backend's own pid), as the app
        hands its port on."""
        self.home = home
        self.handed = handed
        self.listen_pid = listen_pid
        # A desktop session's usual soft limit on descriptors is 1024; the
        # test runner's may be far higher and hide an exhaustion.
        self.files = files
        self.folder = tempfile.mkdtemp(prefix="tarvo-backend-out-")
        self.out_path = os.path.join(self.folder, "stdout")
        self.err_path = os.path.join(self.folder, "stderr")
        self.env = dict(os.environ)
        self.env.pop("TARVO_STUDIO_PARENT", None)
        self.env.update(
            PYTHONPATH=BACKEND_DIR,
            PYTHONUNBUFFERED="1",
            PYTHONDONTWRITEBYTECODE="1",
            TARVO_STUDIO_HOME=home,
        )
        if parent is not None:
            self.env["TARVO_STUDIO_PARENT"] = str(parent)
        self.env.update(env or {})
        self.proc = None

    def command(self):
        serve = [sys.executable, "-m", "app", "serve", "--port", str(PORT)]
        if self.handed is None:
            return serve
        # The shell's own pid is the backend's once it execs.
        return ["/bin/sh", "-c", f'LISTEN_FDS=1 LISTEN_PID={self.listen_pid} exec "$@"', "sh"] + serve

    def _prepare_child(self):
        if self.files:
            self._limit()
        if self.handed is not None:
            os.dup2(self.handed.fileno(), 3)

    def start(self, wait=True):
        with open(self.out_path, "ab") as out, open(self.err_path, "ab") as err:
            self.proc = subprocess.Popen(
                self.command(),
                cwd=BACKEND_DIR,
                env=self.env,
                stdout=out,
                stderr=err,
                pass_fds=(3,) if self.handed is not None else (),
                preexec_fn=self._prepare_child if self.files or self.handed is not None else None,
            )
        if wait:
            self.wait_ready()
        return self

    def wait_ready(self, seconds=10):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise AssertionError(f"backend exited with {self.proc.returncode}: {self.stderr()}")
            try:
                ping = request("GET", "/api/ping", timeout=0.5)[2]
                if ping.get("name") == "tarvo-studio" and ping.get("pid") == self.proc.pid:
                    return
            except (OSError, ValueError, AttributeError):
                pass
            time.sleep(0.05)
        raise AssertionError("backend did not answer its ping in time")

    def _limit(self):
        _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        soft = self.files if hard == resource.RLIM_INFINITY else min(self.files, hard)
        resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard))

    def status(self, key):
        """A field of /proc/<pid>/status, as an int (kB for memory)."""
        with open(f"/proc/{self.proc.pid}/status") as f:
            for row in f:
                if row.startswith(key + ":"):
                    return int(row.split()[1])
        raise KeyError(key)

    def cpu_seconds(self):
        with open(f"/proc/{self.proc.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def open_files(self):
        return len(os.listdir(f"/proc/{self.proc.pid}/fd"))

    def stop(self, sig=signal.SIGTERM, seconds=5):
        """Send `sig`; the exit status, or None if it did not end in time."""
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            return self.proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def token(self):
        with open(os.path.join(self.home, "ui.token")) as f:
            return f.read().strip()

    def stdout(self):
        with open(self.out_path, errors="replace") as f:
            return f.read()

    def stderr(self):
        with open(self.err_path, errors="replace") as f:
            return f.read()


def request(method, path, body=None, token=None, headers=None, timeout=5):
    """(status, headers, reply) where reply is parsed JSON when it is JSON."""
    conn = http.client.HTTPConnection("127.0.0.1", PORT, timeout=timeout)
    try:
        sent = dict(headers or {})
        if token is not None:
            sent["X-Studio-Token"] = token
        if body is not None and not isinstance(body, bytes):
            body = json.dumps(body).encode()
            sent.setdefault("Content-Type", "application/json")
        conn.request(method, path, body=body, headers=sent)
        reply = conn.getresponse()
        data = reply.read()
        if reply.getheader("Content-Type", "").startswith("application/json"):
            data = json.loads(data)
        return reply.status, reply, data
    finally:
        conn.close()
