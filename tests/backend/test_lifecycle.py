"""How the real service starts and ends: restarts, signals, a missing data
folder setting, a second copy, and the end of the app that started it."""

import os
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time

from rig import BACKEND_DIR, Backend, PortTest, port_open, request

# The parent is looked for about once a second.
GONE_WITHIN = 4


def wait_until(check, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return True
        time.sleep(0.05)
    return check()


def gone_or_zombie(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except FileNotFoundError:
        return True
    except OSError:
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return True
        return False


class LifecycleTest(PortTest):
    def setUp(self):
        root = tempfile.TemporaryDirectory()
        self.addCleanup(root.cleanup)
        self.home = os.path.join(root.name, "home")

    def backend(self, **kwargs):
        backend = Backend(self.home, **kwargs)
        self.addCleanup(backend.kill)
        return backend

    def test_every_start_makes_a_new_token_and_the_old_one_dies(self):
        tokens = []
        for _ in range(3):
            backend = self.backend().start()
            tokens.append(backend.token())
            self.assertRegex(tokens[-1], r"^[A-Za-z0-9_-]{43}$")
            self.assertEqual(stat.S_IMODE(os.lstat(os.path.join(self.home, "ui.token")).st_mode), 0o600)
            self.assertEqual(os.listdir(self.home), ["ui.token"], "no temp file is left")
            self.assertEqual(request("GET", "/api/busy", token=tokens[-1])[0], 200)
            for old in tokens[:-1]:
                self.assertEqual(request("GET", "/api/busy", token=old)[0], 401)
            self.assertEqual(backend.stop(), 0)
        self.assertEqual(len(set(tokens)), 3)

    def test_sigterm_and_sigint_end_it_cleanly(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig.name):
                backend = self.backend().start()
                # A half-sent request must not hold the exit up.
                with socket.create_connection(("127.0.0.1", 7810)) as slow:
                    slow.sendall(b"GET /api/ping HTTP/1.1\r\n")
                    time.sleep(0.1)
                    started = time.monotonic()
                    self.assertEqual(backend.stop(sig), 0)
                    self.assertLess(time.monotonic() - started, 2)
                self.assertFalse(port_open(), "the socket is closed")
                self.assertNotIn("Traceback", backend.stderr())
                self.assertIn(f"stopping: {sig.name}", backend.stdout())

    def test_serves_on_the_socket_it_is_handed(self):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.addCleanup(listener.close)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", 7810))
        listener.listen()

        # Not announced to this process: it binds by itself, and cannot.
        refused = self.backend(handed=listener, listen_pid="1").start(wait=False)
        self.assertEqual(refused.proc.wait(timeout=20), 1)
        self.assertIn("Address already in use", refused.stderr())

        backend = self.backend(handed=listener).start()
        self.assertIn("on the socket it was handed", backend.stdout())
        self.assertEqual(backend.stop(), 0)
        # The port stays the holder's: nothing was bound beside it, or taken from it.
        with socket.create_connection(("127.0.0.1", 7810), timeout=2):
            pass

    def test_refuses_to_start_without_a_data_folder(self):
        backend = self.backend(env={"TARVO_STUDIO_HOME": ""})
        backend.env.pop("TARVO_STUDIO_HOME")
        backend.start(wait=False)
        self.assertEqual(backend.proc.wait(timeout=10), 2)
        self.assertIn("TARVO_STUDIO_HOME is not set", backend.stderr())
        self.assertNotIn("Traceback", backend.stderr())
        self.assertFalse(port_open())

    def test_second_copy_leaves_the_first_alone(self):
        first = self.backend().start()
        token_path = os.path.join(self.home, "ui.token")
        os.unlink(token_path)  # the second copy must not write a new one
        second = self.backend()
        second.start(wait=False)
        self.assertEqual(second.proc.wait(timeout=10), 1)
        self.assertIn("cannot listen on 127.0.0.1:7810", second.stderr())
        self.assertFalse(os.path.exists(token_path))
        self.assertEqual(request("GET", "/api/ping")[2]["pid"], first.proc.pid)

    def test_ends_when_the_named_parent_is_gone(self):
        for reap in (True, False):
            if not reap and not os.path.isdir("/proc"):
                continue  # a zombie is told apart only through /proc
            with self.subTest(reaped=reap):
                sleeper = subprocess.Popen(["sleep", "60"])
                self.addCleanup(sleeper.wait)
                backend = self.backend(parent=sleeper.pid).start()
                sleeper.kill()
                if reap:
                    sleeper.wait()
                started = time.monotonic()
                self.assertEqual(backend.proc.wait(timeout=GONE_WITHIN + 2), 0)
                self.assertLess(time.monotonic() - started, GONE_WITHIN)
                self.assertIn(f"process {sleeper.pid}", backend.stdout())
                self.assertFalse(port_open())

    def test_ends_when_orphaned(self):
        # The parent named is alive (this test), but the process that really
        # started the service ends: the service is reparented and must go.
        # It ends only once the service listens, so the service knows it as
        # its parent first.
        launcher = (
            "import socket, subprocess, sys, time\n"
            "pid = subprocess.Popen(sys.argv[2:]).pid\n"
            "for _ in range(200):\n"
            "    try:\n"
            "        socket.create_connection(('127.0.0.1', 7810)).close()\n"
            "        break\n"
            "    except OSError:\n"
            "        time.sleep(0.05)\n"
            "else:\n"
            "    sys.exit('the service did not come up')\n"
            "with open(sys.argv[1], 'w') as f:\n"
            "    f.write(str(pid))\n"
        )
        backend = self.backend(parent=os.getpid())
        pid_file = os.path.join(backend.folder, "pid")
        with open(backend.out_path, "ab") as out:
            subprocess.run(
                [sys.executable, "-c", launcher, pid_file] + backend.command(),
                cwd=BACKEND_DIR,
                env=backend.env,
                stdout=out,
                stderr=out,
                timeout=10,
                check=True,
            )
        with open(pid_file) as f:
            pid = int(f.read())
        self.addCleanup(lambda: gone_or_zombie(pid) or os.kill(pid, signal.SIGKILL))
        self.assertTrue(wait_until(lambda: gone_or_zombie(pid), GONE_WITHIN), "it ended")
        self.assertFalse(port_open())

