"""A throwaway desktop session for starting an installed Tarvo Studio.

The application takes its home from the user database, not from $HOME, so it
runs as a user made for the purpose, with a fresh home, its own display (Xvfb)
and its own session bus. Everything the user ran, the display, the user and
the home are removed at the end, whatever happened.
"""

import fcntl
import grp
import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time

PORT_LOCK = "/tmp/tarvo-studio-port-7810.lock"
USER_PREFIX = "tarvo-inst-"


def say(text):
    print(f"[install] {text}", flush=True)


def take_port_lock(deadline_seconds):
    """Holds the lock that every user of 127.0.0.1:7810 takes, or None."""
    fd = os.open(PORT_LOCK, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o666)
    deadline = time.monotonic() + deadline_seconds
    while True:
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return fd
        except BlockingIOError:
            if time.monotonic() > deadline:
                os.close(fd)
                return None
            time.sleep(0.2)


def pids_of_uid(uid):
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if os.stat(f"/proc/{entry}").st_uid != uid:
                continue
            with open(f"/proc/{entry}/stat") as f:
                if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                    continue
            pids.append(int(entry))
        except (OSError, IndexError):
            pass
    return pids


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


def kill_uid(uid, deadline_seconds=10.0):
    """Ends every process of the throwaway user, one pid at a time."""
    deadline = time.monotonic() + deadline_seconds
    while time.monotonic() < deadline:
        pids = pids_of_uid(uid)
        if not pids:
            return True
        for pid in pids:
            try:
                os.kill(pid, signal.SIGCONT)
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.1)
    return not pids_of_uid(uid)


def remove_user(name):
    try:
        uid = pwd.getpwnam(name).pw_uid
    except KeyError:
        return
    kill_uid(uid)
    subprocess.run(["userdel", name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=30, check=False)
    try:
        grp.getgrnam(name)
        subprocess.run(["groupdel", name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=30, check=False)
    except KeyError:
        pass


def sweep_stale_users():
    """Removes throwaway users left behind by a run that was itself killed."""
    for entry in pwd.getpwall():
        if not entry.pw_name.startswith(USER_PREFIX):
            continue
        owner = entry.pw_name[len(USER_PREFIX):]
        if owner.isdigit() and os.path.exists(f"/proc/{owner}"):
            continue
        say(f"removing the stale user {entry.pw_name}")
        remove_user(entry.pw_name)
        if entry.pw_dir.startswith(tempfile.gettempdir() + "/tarvo-install-"):
            shutil.rmtree(os.path.dirname(entry.pw_dir), ignore_errors=True)


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
        subprocess.run(["useradd", "--create-home", "--home-dir", self.home, "--shell",
                        "/bin/sh", "--user-group", self.name],
                       check=True, timeout=30, stdout=subprocess.DEVNULL)
        self.account = pwd.getpwnam(self.name)
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
        os.makedirs("/tmp/.X11-unix", mode=0o1777, exist_ok=True)
        read_end, write_end = os.pipe()
        try:
            self._daemons.append(subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1400x1000x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                **self._as_user()))
        finally:
            os.close(write_end)
        text = b""
        os.set_blocking(read_end, False)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and not text.endswith(b"\n"):
            try:
                chunk = os.read(read_end, 64)
                if chunk == b"":
                    break
                text += chunk
            except BlockingIOError:
                time.sleep(0.05)
        os.close(read_end)
        if not text.strip().isdigit():
            raise OSError("Xvfb did not start")
        return ":" + text.strip().decode()

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
