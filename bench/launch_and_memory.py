# The driver of bench/launch_and_memory.sh: see that script and bench/README.md.
import argparse
import contextlib
import fcntl
import os
import pwd
import select
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# The headless Wayland compositor as the window tests start it.
sys.path.insert(1, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests",
                                "support"))
import procs  # noqa: E402
import throwaway_session  # noqa: E402
import report  # noqa: E402
import timeline  # noqa: E402

PORT = 7810
LOCK = "/tmp/tarvo-studio-port-7810.lock"
POLL = 0.002  # how often readiness is checked: the resolution of every time figure
READY_TIMEOUT = 30.0
LOG_NAME = ".local/state/Tarvo Studio.log"


class Abort(Exception):
    pass


def on_signal(number, _frame):
    raise Abort(f"stopped by signal {number}")


class PortLock:
    """The exclusive lock every user of 127.0.0.1:7810 on this machine holds,
    taken once for the whole run: the rounds are then not interleaved with
    other programs on the port, and the run does not queue for it again."""

    def __init__(self, timeout):
        self.timeout = timeout
        self.fd = None

    def __enter__(self):
        self.fd = os.open(LOCK, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o666)
        try:
            fcntl.flock(self.fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return self
        except BlockingIOError:
            print(f"waiting for {LOCK} (up to {self.timeout:.0f} s)...", file=sys.stderr, flush=True)
        # A blocking wait keeps this run's place in the queue of waiters.
        taken = threading.Event()
        threading.Thread(target=lambda: (fcntl.flock(self.fd, fcntl.LOCK_EX), taken.set()), daemon=True).start()
        if not taken.wait(self.timeout):
            raise Abort(f"{LOCK} stayed held for {self.timeout:.0f} s")
        return self

    def __exit__(self, *exc):
        os.close(self.fd)


def answers(timeout):
    try:
        with socket.create_connection(("127.0.0.1", PORT), timeout=timeout):
            return True
    except OSError:
        return False


@contextlib.contextmanager
def port_free():
    """Someone who does not take the lock may still be on the port: let them finish."""
    wait_port_free(60.0)
    yield


def wait_port_free(timeout=10.0):
    deadline = time.monotonic() + timeout
    while answers(0.2):
        if time.monotonic() > deadline:
            raise Abort(f"127.0.0.1:{PORT} is still answering {timeout:.0f} s after the round")
        time.sleep(0.02)


def first_answer(started, process, path="/api/ping"):
    """Seconds from `started` until an HTTP reply comes back from the port."""
    request = f"GET {path} HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n".encode()
    while time.monotonic() - started < READY_TIMEOUT:
        if process.poll() is not None:
            raise Abort(f"{process.args[0]} exited with {process.returncode} before answering")
        try:
            with socket.create_connection(("127.0.0.1", PORT), timeout=2.0) as s:
                s.sendall(request)
                if s.recv(64).startswith(b"HTTP/"):
                    return time.monotonic() - started
        except OSError:
            pass
        time.sleep(POLL)
    raise Abort(f"nothing answered on 127.0.0.1:{PORT} within {READY_TIMEOUT:.0f} s")


def wait_for_line(path, offset, started, process, needle=b"page ready"):
    """Seconds from `started` until `needle` appears in `path` after `offset`."""
    seen = b""
    while time.monotonic() - started < READY_TIMEOUT:
        try:
            with open(path, "rb") as f:
                f.seek(offset)
                seen += f.read()
                offset = f.tell()
        except OSError:
            pass
        if needle in seen:
            return time.monotonic() - started
        if process.poll() is not None:
            raise Abort(f"{process.args[0]} exited with {process.returncode} before its page was ready")
        time.sleep(POLL)
    raise Abort(f"no {needle.decode()!r} in {path} within {READY_TIMEOUT:.0f} s")


def size(path):
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.user = None
        self.started = []  # long-lived helpers: Xvfb, the session bus
        self.bundle = os.path.join(self.work, "bundle")
        self.home = os.path.join(self.work, "home")

    # ----- set-up and clean-up -------------------------------------------------
    def setup(self):
        source = os.path.join(self.args.build, "bundle")
        self.app = os.path.join(self.bundle, "bin", "tarvo-studio")
        if not self.args.bare_only and not os.access(os.path.join(source, "bin", "tarvo-studio"), os.X_OK):
            raise Abort(f"no application at {source}/bin/tarvo-studio: build it first, or pass --bare-only")
        page = os.path.join(source, "Resources", "tarvo-studio", "app", "page")
        if not os.path.isfile(os.path.join(page, "index.html")):
            raise Abort(f"no backend page at {page}/index.html")
        # A copy, so that the application's bytecode sweep and caches stay out of the build.
        shutil.copytree(source, self.bundle, symlinks=True,
                        ignore=shutil.ignore_patterns("__pycache__", "*.pyc"))
        self.page = os.path.join(self.work, "page")
        shutil.copytree(page, self.page)

        name = f"tarvobench{os.getpid()}"[:31]
        subprocess.run(["useradd", "-M", "-d", self.home, "-s", "/usr/sbin/nologin",
                        "-c", "Tarvo Studio benchmark", name], check=True)
        self.user = pwd.getpwnam(name)
        runtime = os.path.join(self.work, "run")
        for folder in (self.home, runtime):
            os.makedirs(folder, mode=0o700, exist_ok=True)
        for root, dirs, files in os.walk(self.work):
            for entry in dirs + files:
                os.lchown(os.path.join(root, entry), self.user.pw_uid, self.user.pw_gid)

        self.env = {
            "HOME": self.home, "USER": name, "LOGNAME": name, "SHELL": "/bin/sh",
            "PATH": "/usr/local/bin:/usr/bin:/bin", "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": runtime,
        }
        if self.args.display == "wayland":
            weston, socket_name = throwaway_session.start_wayland(
                self.user, self.env, runtime, os.path.join(self.home, "weston.log"), (1920, 1080))
            self.started.append(weston)
            if socket_name is None:
                raise Abort("weston did not start")
            self.env.update({"WAYLAND_DISPLAY": socket_name, "GDK_BACKEND": "wayland"})
        else:
            self.env["DISPLAY"] = self.display()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.session_bus()
        for pair in self.args.env:
            key, _, value = pair.partition("=")
            self.env[key] = value

    def display(self):
        if os.environ.get("DISPLAY"):
            cookie = os.environ.get("XAUTHORITY") or os.path.expanduser("~/.Xauthority")
            if os.path.isfile(cookie):
                copy = os.path.join(self.home, ".Xauthority")
                shutil.copy(cookie, copy)
                os.chown(copy, self.user.pw_uid, self.user.pw_gid)
                self.env["XAUTHORITY"] = copy
            return os.environ["DISPLAY"]
        number = next(n for n in range(90, 200)
                      if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"))
        xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
                                 "-ac", "-noreset"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started.append(xvfb)
        deadline = time.monotonic() + 10
        while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
            if xvfb.poll() is not None or time.monotonic() > deadline:
                raise Abort("Xvfb did not start")
            time.sleep(0.02)
        return f":{number}"

    def session_bus(self):
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                          "--address=unix:path=" + os.path.join(self.work, "run", "bus")],
                         stdout=subprocess.PIPE)
        self.started.append(bus)
        ready, _, _ = select.select([bus.stdout], [], [], 10)
        if not ready:
            raise Abort("the session bus did not start")
        return bus.stdout.readline().decode().strip()

    def cleanup(self):
        if self.user:
            procs.end(procs.owned_by(self.user.pw_uid))
        for process in reversed(self.started):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        if self.user:
            for _ in range(3):
                if subprocess.run(["userdel", self.user.pw_name], stderr=subprocess.DEVNULL).returncode in (0, 6):
                    break
                procs.end(procs.owned_by(self.user.pw_uid), grace=1.0)

    def spawn(self, argv, env=None, **kw):
        kw.setdefault("stdin", subprocess.DEVNULL)
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        return subprocess.Popen(argv, user=self.user.pw_uid, group=self.user.pw_gid, extra_groups=[],
                                env=env or getattr(self, "env", {"HOME": self.home}), cwd=self.home,
                                start_new_session=True, **kw)

    def finish(self, process, members, frees_port=True):
        """End a measured program and everything it started; wait until the port is free."""
        members = set(members) | set(procs.tree(process.pid))
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(self.args.quit_timeout)
            except subprocess.TimeoutExpired:
                pass
        procs.end([pid for pid in members if procs.alive(pid)], grace=2.0)
        if process.poll() is None:
            process.kill()
        process.wait()
        if frees_port:
            wait_port_free()

    # ----- the measurements ----------------------------------------------------
    def app_env(self):
        env = dict(self.env)
        for pair in self.args.app_env:
            key, _, value = pair.partition("=")
            env[key] = value
        return env

    def measure_app(self, variant=None):
        env = self.app_env()
        prefix = "app"
        if variant:
            prefix = "variant " + variant
            for pair in variant.split(","):
                key, _, value = pair.partition("=")
                env[key] = value
        log = os.path.join(self.home, LOG_NAME)
        with port_free():
            offset = size(log)
            with open(os.path.join(self.work, "app.out"), "ab") as out:
                started = time.monotonic()
                app = self.spawn([self.app], env=env, stdout=out, stderr=out)
            members = []
            try:
                ready = wait_for_line(log, offset, started, app)
                time.sleep(self.args.settle)
                members = procs.tree(app.pid)
                return report.app_round(app.pid, members, ready, prefix)
            finally:
                self.finish(app, members)

    def measure_bare(self):
        out_path = os.path.join(self.work, "bare_server.out")
        with port_free():
            offset = size(out_path)
            with open(out_path, "ab") as out:
                started = time.monotonic()
                server = self.spawn(["/usr/bin/python3", self.args.bare_server, str(PORT), self.page],
                                    stdout=out, stderr=out)
            window = None
            members = []
            try:
                server_ready = first_answer(started, server)
                started = time.monotonic()
                window = self.spawn([self.args.bare_window, *self.args.bare_arg,
                                     f"http://127.0.0.1:{PORT}/#t=bench"])
                window_ready = wait_for_line(out_path, offset, started, window)
                time.sleep(self.args.settle)
                members = procs.tree(window.pid)
                return report.bare_round(window.pid, members, server.pid, server_ready, window_ready)
            finally:
                if window:
                    self.finish(window, members, frees_port=False)
                self.finish(server, [])

    def measure_backend(self):
        """The reference backend alone, started as the application starts it."""
        service = os.path.join(self.bundle, "Resources", "tarvo-studio")
        env = dict(self.env)
        env.update({
            "PYTHONPATH": service, "PYTHONUNBUFFERED": "1",
            "TARVO_STUDIO_HOME": os.path.join(self.home, ".local/share/Tarvo Studio"),
            "PYTHONPYCACHEPREFIX": os.path.join(self.home, ".cache/Tarvo Studio/pycache"),
        })
        with port_free():
            with open(os.path.join(self.work, "backend.out"), "ab") as out:
                started = time.monotonic()
                backend = subprocess.Popen(
                    ["/usr/bin/python3", "-m", "app", "serve", "--port", str(PORT)],
                    user=self.user.pw_uid, group=self.user.pw_gid, extra_groups=[], env=env, cwd=service,
                    stdin=subprocess.DEVNULL, stdout=out, stderr=out, start_new_session=True)
            try:
                return {"backend_answer": first_answer(started, backend)}
            finally:
                self.finish(backend, [])

    def run(self):
        sides = [] if self.args.bare_only else [("app", self.measure_app)]
        sides += [(f"variant {v}", lambda v=v: self.measure_app(v)) for v in self.args.variant]
        sides.append(("bare", self.measure_bare))
        after = [] if self.args.bare_only else [("backend", self.measure_backend)]
        rounds = []
        load = os.getloadavg()[0]
        for number in range(self.args.rounds + 1):
            row = {}
            # Alternate the order, so no side always runs on a warmer machine.
            order = sides if number % 2 == 0 else list(reversed(sides))
            for _, measure in order + after:
                row.update(measure())
            print(report.round_line(number, row), flush=True)
            if number > 0:
                rounds.append(row)
        report.summary(rounds, self.args, load, os.getloadavg()[0])
        if self.args.timeline and not self.args.bare_only:
            with port_free():
                timeline.run(self, os.path.join(self.home, LOG_NAME), size)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Tarvo Studio launch time and memory against a bare window")
    parser.add_argument("--work", required=True)
    parser.add_argument("--repo", required=True)
    parser.add_argument("--build", help="the build folder holding bundle/ (default: <repo>/build)")
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--settle", type=float, default=1.5)
    parser.add_argument("--quit-timeout", type=float, default=5.0)
    parser.add_argument("--lock-timeout", type=float, default=1200.0)
    parser.add_argument("--env", action="append", default=[], help="K=V for every measured program")
    parser.add_argument("--app-env", action="append", default=[], help="K=V for the application only")
    parser.add_argument("--bare-arg", action="append", default=[], help="an option for the bare window")
    parser.add_argument("--bare-only", action="store_true")
    parser.add_argument("--display", choices=("x11", "wayland"), default="x11",
                        help="Xvfb (or the session's own X display), or a headless weston")
    parser.add_argument("--variant", action="append", default=[], metavar="K=V[,K=V...]",
                        help="also measure the application with these variables, in the same rounds")
    parser.add_argument("--timeline", action="store_true",
                        help="then launch the application once more under strace and print when each step happened")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build or os.path.join(args.repo, "build"))
    args.bare_window = os.path.join(args.work, "bare_window")
    args.bare_server = os.path.join(here, "bare_server.py")
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGALRM):
        signal.signal(number, on_signal)
    bench = Bench(args)
    try:
        with PortLock(args.lock_timeout):
            try:
                # Every wait has its own limit; this one bounds the whole run.
                signal.alarm(int((args.rounds + 2) * 3 * (READY_TIMEOUT + args.settle + 20) + 60))
                bench.setup()
                bench.run()
            finally:
                signal.signal(signal.SIGINT, signal.SIG_IGN)
                signal.signal(signal.SIGTERM, signal.SIG_IGN)
                signal.alarm(0)
                bench.cleanup()
    except (Abort, subprocess.CalledProcessError, OSError) as error:
        print(f"launch_and_memory: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
