#!/usr/bin/python3
"""Runs one window test against a copy of the application bundle.

Run as root (as CI is). For each run it makes a throwaway user whose home is
a fresh temporary folder, because the application takes its home from the
user database and not from $HOME. Under that user it starts a display (Xvfb,
or with --display wayland a headless Wayland compositor, weston) and a
session bus, and inside that session runs the test file, which starts
the accessibility bus, the application and drives both. Whatever happens,
every process of the throwaway user, the display and the user itself are
removed at the end.

Exit status: the test's own (0 passed, 1 failed), 77 when it cannot run here
(not root, or a tool it needs is missing), 1 on a time-out.
"""

import argparse
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

# The session pieces the install tests share, imported without leaving
# bytecode in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))
import throwaway_session  # noqa: E402
from throwaway_session import (add_user, pids_of_uid, remove_user,  # noqa: E402
                               start_display, start_wayland, take_port_lock)

SKIP = 77
SCREEN = (1400, 1000)  # the display's size, the same on X11 and Wayland
USER_PREFIX = "tarvo-e2e-"
SQUATTER_PREFIX = "tarvo-sq-"  # the second user of a run with --squatter
FOLDER_PREFIX = "tarvo-e2e-"  # the run's temporary folder, which holds the home


def say(text):
    print(f"[harness] {text}", flush=True)


def port_in_use(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.settimeout(0.5)
        return s.connect_ex(("127.0.0.1", port)) == 0


def describe(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace").strip()
    except OSError:
        return "?"


def harness_running(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                return False
    except (OSError, IndexError):
        return False
    return "harness.py" in describe(pid)


def sweep_stale_users():
    """Removes throwaway users left by a harness that was itself killed."""
    throwaway_session.sweep_stale_users(USER_PREFIX, FOLDER_PREFIX, harness_running, say)
    throwaway_session.sweep_stale_users(SQUATTER_PREFIX, FOLDER_PREFIX, harness_running, say)


def start_squatter(tmp, tests, account, name):
    """Makes the second user and starts tests/squatter.py as that user; the
    test gives it orders in a folder of the application's user and reads
    what it saw in a folder of its own. Returns (orders, lair)."""
    other = add_user(name, os.path.join(tmp, "squatter-home"), "/usr/sbin/nologin")
    orders = os.path.join(tmp, "orders")
    os.mkdir(orders, 0o755)
    os.chown(orders, account.pw_uid, account.pw_gid)
    lair = os.path.join(tmp, "lair")
    os.mkdir(lair, 0o755)
    os.chown(lair, other.pw_uid, other.pw_gid)
    subprocess.Popen(["/usr/bin/python3", "-I", os.path.join(tests, "squatter.py"), orders, lair],
                     user=other.pw_uid, group=other.pw_gid, extra_groups=[],
                     env={"PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}, cwd=lair,
                     start_new_session=True, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
    return orders, lair


def has_locale(name):
    """Whether the C library knows the locale `name` (de_DE.UTF-8 is listed as de_DE.utf8)."""
    listed = subprocess.run(["locale", "-a"], capture_output=True, text=True, timeout=30,
                            check=False).stdout.split()
    wanted = name.lower().replace("utf-8", "utf8")
    return any(entry.lower() == wanted for entry in listed)


def make_locale(name):
    """Compiles the locale `name` (language_COUNTRY.CHARSET) into the system's
    archive, as the locales package's locale-gen does, unless it is there."""
    if has_locale(name):
        return True
    source, _, charset = name.partition(".")
    say(f"making the locale {name}")
    done = subprocess.run(["localedef", "-i", source, "-f", charset or "UTF-8", name],
                          capture_output=True, text=True, timeout=300, check=False)
    if done.returncode not in (0, 1):  # 1: made, with warnings
        say(done.stdout + done.stderr)
    return has_locale(name)


def prepare_bundle(source, backend, target):
    shutil.copytree(source, target, symlinks=True)
    if backend:
        app = os.path.join(target, "Resources", "tarvo-studio", "app")
        shutil.rmtree(app, ignore_errors=True)
        shutil.copytree(backend, app, ignore=shutil.ignore_patterns("__pycache__", "*.pyc"))
    prepare_bundle_modes(target)


def prepare_bundle_modes(target):
    """Everyone may read the copy, and run what its owner may run."""
    for root, dirs, files in os.walk(target):
        for name in dirs + files:
            path = os.path.join(root, name)
            if not os.path.islink(path):
                mode = os.stat(path).st_mode
                os.chmod(path, mode | 0o444 | (0o111 if mode & 0o100 else 0))


def enter_private_network():
    """Gives this process and its children a loopback network of their own."""
    libc = ctypes.CDLL(None, use_errno=True)
    clone_newnet = 0x40000000
    if libc.unshare(clone_newnet) != 0:
        return False
    return subprocess.run(["ip", "link", "set", "lo", "up"], timeout=10,
                          check=False).returncode == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bundle", required=True, help="the built bundle (bin/, Resources/)")
    parser.add_argument("--backend", help="a package to use instead of the bundle's backend")
    parser.add_argument("--timeout", type=float, default=240.0,
                        help="the longest the test itself may run")
    parser.add_argument("--budget", type=float,
                        help="the longest the whole run may take, waiting for the port "
                             "included (keep it below the runner's own time-out, so that "
                             "the clean-up always runs)")
    parser.add_argument("--lock-wait", type=float, default=150.0,
                        help="how long to wait for another test to free the port")
    parser.add_argument("--private-network", action="store_true",
                        help="run in a network namespace of its own instead of sharing "
                             "127.0.0.1:7810 (and its lock) with other tests")
    parser.add_argument("--display", choices=("x11", "wayland"), default="x11",
                        help="the display server to run the application on")
    parser.add_argument("--squatter", action="store_true",
                        help="also run tests/e2e/squatter.py as a second throwaway user, "
                             "another user of the machine who wants the port")
    parser.add_argument("--locale",
                        help="a locale the test needs (de_DE.UTF-8), made if the system lacks "
                             "it; the test finds its name in TARVO_E2E_LOCALE")
    parser.add_argument("test", help="the test file to run in the session")
    args = parser.parse_args()

    if os.geteuid() != 0:
        say("SKIPPED: the window tests run the application under a throwaway user account, "
            "which needs root (run ctest as root, as CI does)")
        return SKIP
    # Keys and the pointer go through the X test extension, which no Wayland
    # client listens to: there the tests act through the accessibility bus.
    server, *inputs = ("Xvfb", "xdotool") if args.display == "x11" else ("weston",)
    for tool in (server, *inputs, "dbus-run-session", "useradd", "userdel"):
        if shutil.which(tool) is None:
            say(f"SKIPPED: {tool} is missing (scripts/install-deps.sh installs it)")
            return SKIP
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        say("SKIPPED: at-spi2-core is missing (scripts/install-deps.sh installs it)")
        return SKIP
    probe = subprocess.run(["/usr/bin/python3", "-c", "import gi; gi.require_version('Atspi', "
                            "'2.0'); from gi.repository import Atspi"],
                           capture_output=True, timeout=30, check=False)
    if probe.returncode != 0:
        say("SKIPPED: /usr/bin/python3 cannot load the accessibility bindings "
            "(python3-gi and gir1.2-atspi-2.0; scripts/install-deps.sh installs them)")
        return SKIP
    if args.locale and shutil.which("localedef") is None:
        say("SKIPPED: localedef is missing (the locales package; scripts/install-deps.sh "
            "installs it)")
        return SKIP
    if args.locale and not make_locale(args.locale):
        say(f"FAILED: the locale {args.locale} could not be made")
        return 1
    binary = os.path.join(args.bundle, "bin", "tarvo-studio")
    if not os.access(binary, os.X_OK):
        say(f"FAILED: no application at {binary}; build the target tarvo-studio first")
        return 1

    began = time.monotonic()

    def left():
        return float("inf") if args.budget is None else args.budget - (time.monotonic() - began)

    sweep_stale_users()
    if args.private_network:
        if not enter_private_network():
            say("FAILED: could not make a private network namespace")
            return 1
        lock = os.open("/dev/null", os.O_RDONLY)
    else:
        lock = take_port_lock(max(0.0, min(args.lock_wait, left() - 60)))
    if lock is None:
        say(f"FAILED: another test held the port lock for {args.lock_wait:.0f} s")
        return 1
    deadline = time.monotonic() + max(0.0, min(90.0, left() - 60))
    while port_in_use(7810):
        if time.monotonic() > deadline:
            say("FAILED: something else kept listening on 127.0.0.1:7810")
            os.close(lock)
            return 1
        time.sleep(0.5)
    timeout = min(args.timeout, left() - 20)

    tmp = tempfile.mkdtemp(prefix=FOLDER_PREFIX)
    os.chmod(tmp, 0o755)
    name = f"{USER_PREFIX}{os.getpid()}"
    squatter_name = f"{SQUATTER_PREFIX}{os.getpid()}" if args.squatter else None
    home = os.path.join(tmp, "home")
    server_process = None
    session = None
    status = 1
    interrupted = []

    def on_signal(signum, _frame):
        interrupted.append(signum)
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    try:
        account = add_user(name, home, "/bin/bash")
        bundle = os.path.join(tmp, "bundle")
        prepare_bundle(args.bundle, args.backend, bundle)
        runtime = os.path.join(tmp, "run")
        os.mkdir(runtime, 0o700)
        os.chown(runtime, account.pw_uid, account.pw_gid)
        artifacts = os.path.join(tmp, "out")
        os.mkdir(artifacts, 0o755)
        os.chown(artifacts, account.pw_uid, account.pw_gid)

        env = {
            "HOME": home,
            "USER": name,
            "LOGNAME": name,
            "SHELL": "/bin/bash",
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": runtime,
            "PYTHONDONTWRITEBYTECODE": "1",
        }
        if args.display == "x11":
            env["GDK_BACKEND"] = "x11"
            server_process, display = start_display(account, env)
            variable = "DISPLAY"
        else:
            env["GDK_BACKEND"] = "wayland"
            server_process, display = start_wayland(account, env, runtime,
                                                    os.path.join(artifacts, "weston.log"), SCREEN)
            variable = "WAYLAND_DISPLAY"
        if display is None:
            say(f"FAILED: {server} did not start")
            return 1
        env[variable] = display
        env["TARVO_E2E_BUNDLE"] = bundle
        if args.locale:
            env["TARVO_E2E_LOCALE"] = args.locale
        env["TARVO_E2E_OUT"] = artifacts
        # The user may not be able to read the source tree (a home of mode 0700).
        tests = os.path.join(tmp, "tests")
        shutil.copytree(os.path.dirname(os.path.abspath(args.test)), tests,
                        ignore=shutil.ignore_patterns("__pycache__", "*.pyc", "testapp"))
        prepare_bundle_modes(tests)
        env["PYTHONPATH"] = tests
        test_file = os.path.join(tests, os.path.basename(args.test))
        if squatter_name:
            env["TARVO_E2E_ORDERS"], env["TARVO_E2E_LAIR"] = start_squatter(
                tmp, tests, account, squatter_name)
        say(f"user {name}, home {home}, display {display}")

        session = subprocess.Popen(
            ["dbus-run-session", "--", "/usr/bin/python3", test_file],
            user=account.pw_uid, group=account.pw_gid, extra_groups=[], env=env, cwd=home,
            start_new_session=True)
        try:
            status = session.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            say(f"FAILED: the test did not end within {timeout:.0f} s")
            status = 1
        if status < 0:
            status = 1
        for pid in pids_of_uid(account.pw_uid):
            command = describe(pid)
            if "tarvo-studio" in command or "app serve" in command:
                say(f"left running by the test, now ended: {pid} {command}")
    except KeyboardInterrupt:
        say(f"interrupted by signal {interrupted[0] if interrupted else '?'}")
        status = 1
    except (subprocess.SubprocessError, OSError, KeyError) as error:
        say(f"FAILED: could not set up the session: {error}")
        status = 1
    finally:
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        if session is not None and session.poll() is None:
            try:
                os.killpg(session.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        remove_user(name)
        if squatter_name:
            remove_user(squatter_name)
        if server_process is not None and server_process.poll() is None:
            server_process.kill()
        if server_process is not None:
            try:
                server_process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        keep = os.environ.get("TARVO_E2E_KEEP")
        if keep:
            say(f"kept {tmp}")
        else:
            shutil.rmtree(tmp, ignore_errors=True)
        os.close(lock)
    return status


if __name__ == "__main__":
    sys.exit(main())
