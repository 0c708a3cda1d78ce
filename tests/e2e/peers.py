"""What surrounds the application in a test session: its processes, its
backend over HTTP, its log and token, and the recorder that stands in for
the user's browser, file manager and text viewer."""

import configparser
import json
import os
import subprocess
import urllib.error
import urllib.parse
import urllib.request

HOME = os.path.expanduser("~")
LOG = os.path.join(HOME, ".local", "state", "Tarvo Studio.log")
DATA = os.path.join(HOME, ".local", "share", "Tarvo Studio")
TOKEN = os.path.join(DATA, "ui.token")
RECORDED = os.path.join(HOME, "recorded.txt")
NOTIFIED = os.path.join(HOME, "notified.jsonl")
DOWNLOADS = os.path.join(HOME, "Downloads")
FRAMES = os.path.join(HOME, ".local", "state", "Tarvo Studio", "window.ini")
FRAME_NAME = "TarvoStudioMain"
BASE = "http://127.0.0.1:7810"


# ---------------------------------------------------------------- processes


def read_cmdline(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return [a.decode(errors="replace") for a in f.read().split(b"\0") if a]
    except OSError:
        return []


def parent_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return int(f.read().rsplit(")", 1)[1].split()[1])
    except (OSError, IndexError, ValueError):
        return None


def state_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0]
    except (OSError, IndexError):
        return None


def alive(pid):
    state = state_of(pid)
    return state is not None and state != "Z"


def backend_processes():
    """Every process of this user that runs the backend's command line (not
    its keeper, whose arguments end with that command line)."""
    found = []
    me = os.getuid()
    for entry in os.listdir("/proc"):
        try:
            mine = entry.isdigit() and os.stat(f"/proc/{entry}").st_uid == me
        except OSError:
            mine = False
        if mine:
            args = read_cmdline(int(entry))
            if args[1:4] == ["-m", "app", "serve"] and alive(int(entry)):
                found.append(int(entry))
    return sorted(found)


def descends_from(pid, ancestor):
    for _ in range(64):
        if pid == ancestor:
            return True
        parent = parent_of(pid)
        if not parent or parent == pid:
            return False
        pid = parent
    return False


def web_processes(app):
    """The WebKit web processes started by the application `app` (a pid)."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit() and alive(int(entry)):
            args = read_cmdline(int(entry))
            if args and os.path.basename(args[0]) == "WebKitWebProcess" \
                    and descends_from(int(entry), app):
                found.append(int(entry))
    return sorted(found)


def namespaces(pid, kinds=("user", "mnt", "pid", "net")):
    """{kind: the namespace's name, or None when it cannot be read}."""
    seen = {}
    for kind in kinds:
        try:
            seen[kind] = os.readlink(f"/proc/{pid}/ns/{kind}")
        except OSError:
            seen[kind] = None
    return seen


def environment_of(pid):
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            entries = f.read().decode(errors="replace").split("\0")
    except OSError:
        return {}
    return dict(e.split("=", 1) for e in entries if "=" in e)


def writable_in_view(pid, path):
    """Whether `path` (or the folder it would be made in) can be written, as
    the very same file, in the mount view of process `pid`."""
    while not os.path.lexists(path):
        path = os.path.dirname(path)
    inside = f"/proc/{pid}/root{path}"
    try:
        real, seen = os.stat(path), os.stat(inside)
    except OSError:
        return False
    if (real.st_dev, real.st_ino) != (seen.st_dev, seen.st_ino):
        return False  # not there, or a stand-in of the sandbox's own
    probe = os.path.join(inside, f".probe-{os.getpid()}") if os.path.isdir(inside) else None
    try:
        os.close(os.open(probe or inside, os.O_WRONLY | os.O_NONBLOCK |
                         (os.O_CREAT | os.O_EXCL if probe else os.O_APPEND), 0o600))
    except OSError:
        return False
    if probe:
        os.unlink(probe)
    return True


# ---------------------------------------------------------------- HTTP


_opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def http(method, path, body=None, headers=None, timeout=2.0, base=BASE):
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(base + path, data=data, method=method,
                                     headers=dict(headers or {}))
    if data is not None:
        request.add_header("Content-Type", "application/json")
    try:
        with _opener.open(request, timeout=timeout) as reply:
            return reply.status, reply.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()
    except (OSError, ValueError):
        return None, b""


def of_kind(kind, detail=None):
    return [e for e in events()
            if e.get("kind") == kind and (detail is None or e.get("detail") == detail)]


def ping(timeout=1.0):
    status, body = http("GET", "/api/ping", timeout=timeout)
    if status != 200:
        return None
    try:
        return json.loads(body).get("name")
    except (ValueError, AttributeError):
        return None


def token():
    try:
        with open(TOKEN, encoding="utf-8") as f:
            return f.read().strip()
    except OSError:
        return ""


def call(body, path="/api/call"):
    return http("POST", path, body, headers={"X-Studio-Token": token()}, timeout=5)


def busy():
    status, body = http("GET", "/api/busy", headers={"X-Studio-Token": token()}, timeout=3)
    if status != 200:
        return None
    try:
        return json.loads(body)
    except ValueError:
        return None


def running():
    """True when the backend reports a run in flight."""
    reply = busy()
    return bool(reply and reply.get("running"))


def events():
    """What the stand-in backend's page reported and was asked for, in order."""
    status, body = http("GET", "/test/events", timeout=2)
    if status != 200:
        return []
    try:
        return json.loads(body)
    except ValueError:
        return []


def switch(**values):
    """Flips switches of the stand-in backend (testapp/app/switches.py, which
    names them and says what each does) for the launches that follow:
    switch(START_DELAY=3, WATCH_PARENT=False)."""
    for name, value in values.items():
        os.environ[f"TARVO_TESTAPP_{name}"] = str(int(value) if isinstance(value, bool) else value)


def stopped_by(pid):
    """What the stand-in backend `pid` wrote had stopped it (a signal's
    name), or None."""
    marker = f"test backend {pid} stopping on "
    for line in log_text().splitlines():
        if marker in line:
            return line.split(marker, 1)[1].strip()
    return None


def log_text():
    try:
        with open(LOG, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def page_ready_count():
    return log_text().count("page ready")


def saved_frame():
    """The window's frame as the application left it: {key: text}, or {}."""
    parser = configparser.ConfigParser(interpolation=None)
    try:
        parser.read(FRAMES, encoding="utf-8")
    except configparser.Error:
        return {}
    return dict(parser[FRAME_NAME]) if parser.has_section(FRAME_NAME) else {}


def save_frame(**values):
    """Leaves a frame as an earlier session would have."""
    os.makedirs(os.path.dirname(FRAMES), exist_ok=True)
    with open(FRAMES, "w", encoding="utf-8") as f:
        f.write(f"[{FRAME_NAME}]\n" + "".join(f"{k}={v}\n" for k, v in values.items()))



# ---------------------------------------------------------------- recorder


def install_recorder(extra_types=()):
    """Makes a recorder the user's default browser, file manager and text viewer.

    It appends what it was asked to open to ~/recorded.txt, so the tests see
    exactly what reached the desktop and no real browser ever starts.
    """
    script = os.path.join(HOME, "recorder.sh")
    with open(script, "w") as f:
        f.write(f'#!/bin/sh\nfor a in "$@"; do printf \'%s\\n\' "$a" >> "{RECORDED}"; done\n')
    os.chmod(script, 0o755)
    types = ["x-scheme-handler/http", "x-scheme-handler/https", "x-scheme-handler/mailto",
             "x-scheme-handler/about", "x-scheme-handler/data", "x-scheme-handler/file",
             "inode/directory", "text/plain", "text/x-log", "application/x-zerosize",
             "application/octet-stream", *extra_types]
    apps = os.path.join(HOME, ".local", "share", "applications")
    os.makedirs(apps, exist_ok=True)
    with open(os.path.join(apps, "tarvo-e2e-recorder.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Recorder\n"
                f"Exec={script} %u\nNoDisplay=true\nTerminal=false\n"
                f"MimeType={';'.join(types)};\n")
    lines = "".join(f"{t}=tarvo-e2e-recorder.desktop\n" for t in types)
    config = os.path.join(HOME, ".config")
    os.makedirs(config, exist_ok=True)
    for folder in (config, apps):
        with open(os.path.join(folder, "mimeapps.list"), "w") as f:
            f.write("[Default Applications]\n" + lines + "\n[Added Associations]\n" +
                    lines.replace(".desktop\n", ".desktop;\n"))
    if os.path.exists(RECORDED):
        os.remove(RECORDED)


def recorded():
    try:
        with open(RECORDED, encoding="utf-8") as f:
            return [line.rstrip("\n") for line in f if line.strip()]
    except OSError:
        return []


def as_path(location):
    """A file:// URL or a plain path, as a path."""
    if location.startswith("file://"):
        return urllib.parse.unquote(urllib.parse.urlparse(location).path)
    return location


# ---------------------------------------------------------------- notifications


def start_notifier():
    """The desktop's notification service, stood in for by notifier.py (the
    caller ends the process it returns)."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "notifier.py")
    process = subprocess.Popen(["/usr/bin/python3", script, NOTIFIED], stdout=subprocess.PIPE,
                               text=True)
    process.stdout.readline()  # "notifier ready"
    return process


def notified():
    """Every notification the desktop was sent: {id, app, icon, summary, body, ...}."""
    try:
        with open(NOTIFIED, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]
    except (OSError, ValueError):
        return []


def activate_notification(number):
    """A click on notification `number`, as the desktop would report it."""
    return subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.Notifications",
                           "--object-path", "/org/freedesktop/Notifications", "--method",
                           "org.tarvo.TestNotifier.Activate", str(number)],
                          capture_output=True, timeout=10, check=False).returncode == 0
