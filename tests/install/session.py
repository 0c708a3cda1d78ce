"""A throwaway desktop session for starting an installed Tarvo Studio.

The application takes its home from the user database, not from $HOME, so it
runs as a user made for the purpose, with a fresh home, its own display (Xvfb)
and its own session bus. Everything the user ran, the display, the user and
the home are removed at the end, whatever happened.
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))
import throwaway_session  # noqa: E402
from throwaway_session import (add_user, pids_of_uid, remove_user,  # noqa: E402,F401
                               start_display, take_port_lock)

USER_PREFIX = "tarvo-inst-"
FOLDER_PREFIX = "tarvo-install-"  # install_test.py's temporary folder, which holds the home


def say(text):
    print(f"[install] {text}", flush=True)


def command_line(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return [part.decode(errors="replace") for part in f.read().split(b"\0") if part]
    except OSError:
        return []


def link_of(path):
    try:
        return os.readlink(path)
    except OSError:
        return None


def sweep_stale_users():
    """Removes throwaway users left behind by a run that was itself killed."""
    throwaway_session.sweep_stale_users(USER_PREFIX, FOLDER_PREFIX,
                                        lambda pid: os.path.exists(f"/proc/{pid}"), say)


class Session:
    """The user, display and bus; use with `with`, then `run` commands as the user."""

    def __init__(self, root):
        self.root = root
        self.name = f"{USER_PREFIX}{os.getpid()}"
        self.home = os.path.join(root, "home")
        self.account = None
        self.env = None
        self._daemons = []

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *_):
        self.close()

    def _start(self):
        self.account = add_user(self.name, self.home, "/bin/sh")
        runtime = os.path.join(self.root, "run")
        os.mkdir(runtime, 0o700)
        os.chown(runtime, self.account.pw_uid, self.account.pw_gid)
        self.env = {
            "HOME": self.home,
            "USER": self.name,
            "LOGNAME": self.name,
            "SHELL": "/bin/sh",
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": runtime,
            "GDK_BACKEND": "x11",
            "NO_AT_BRIDGE": "1",
        }
        self.env["DISPLAY"] = self._start_display()
        bus = os.path.join(runtime, "bus")
        self._daemons.append(self.spawn(
            ["dbus-daemon", "--session", "--nofork", "--nosyslog", f"--address=unix:path={bus}"]))
        if not wait_for(lambda: os.path.exists(bus), 20):
            raise OSError("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={bus}"

    def _start_display(self):
        xvfb, display = start_display(self.account, self.env)
        self._daemons.append(xvfb)
        if display is None:
            raise OSError("Xvfb did not start")
        return display

    def _as_user(self):
        return {"user": self.account.pw_uid, "group": self.account.pw_gid, "extra_groups": [],
                "env": self.env, "cwd": self.home, "start_new_session": True}

    def spawn(self, argv, output=subprocess.DEVNULL, env=None):
        options = self._as_user()
        if env:
            options["env"] = {**self.env, **env}
        return subprocess.Popen(argv, stdout=output, stderr=subprocess.STDOUT, **options)

    def run(self, argv, timeout=30, env=None):
        """Runs a command as the user; returns (exit status, output)."""
        options = self._as_user()
        if env:
            options["env"] = {**self.env, **env}
        try:
            done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  timeout=timeout, check=False, **options)
            return done.returncode, done.stdout.decode(errors="replace")
        except subprocess.TimeoutExpired:
            return None, f"{argv[0]} did not end within {timeout} s"

    def pids(self):
        return pids_of_uid(self.account.pw_uid) if self.account else []

    def close(self):
        remove_user(self.name)
        for daemon in self._daemons:
            if daemon.poll() is None:
                daemon.kill()
            try:
                daemon.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass


def wait_for(condition, seconds, step=0.25):
    deadline = time.monotonic() + seconds
    while True:
        if condition():
            return True
        if time.monotonic() > deadline:
            return False
        time.sleep(step)
