"""Drives the real Tarvo Studio window as a person would.

Runs inside the session that harness.py prepares (display, session bus,
throwaway user). Keys go through xdotool (the X test extension, like a real
keyboard); menus, dialogs and the page are read and operated through the
accessibility bus. Every wait is a poll with a deadline.
"""

import json
import os
import signal
import subprocess
import sys
import time
import traceback
import urllib.error
import urllib.parse
import urllib.request
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# The per-interface getters are deprecated in newer bindings but are the ones
# every installed version has.
warnings.filterwarnings("ignore", category=DeprecationWarning)

BUNDLE = os.environ.get("TARVO_E2E_BUNDLE", "")
OUT = os.environ.get("TARVO_E2E_OUT", "/tmp")
HOME = os.path.expanduser("~")
LOG = os.path.join(HOME, ".local", "state", "Tarvo Studio.log")
DATA = os.path.join(HOME, ".local", "share", "Tarvo Studio")
TOKEN = os.path.join(DATA, "ui.token")
RECORDED = os.path.join(HOME, "recorded.txt")
BASE = "http://127.0.0.1:7810"
TITLE = "Tarvo Studio"


class Abort(Exception):
    """A check that the rest of the session depends on failed."""


def say(text):
    print(text, flush=True)


def wait_for(probe, timeout, interval=0.1):
    """Calls probe until it returns something truthy or the time is up."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def stays(probe, seconds, interval=0.1):
    """True when probe keeps returning something truthy for the whole period."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not probe():
            return False
        time.sleep(interval)
    return bool(probe())


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, condition, what, seen=None):
        if condition:
            say(f"  ok    {what}")
        else:
            detail = "" if seen is None else f" (saw: {seen!r})"
            say(f"  FAIL  {what}{detail}")
            self.failures.append(what + detail)
        return bool(condition)

    def require(self, condition, what, seen=None):
        if not self.expect(condition, what, seen):
            raise Abort(what)
        return condition

    def step(self, text):
        say(f"- {text}")


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
    """Every process of this user that runs the backend's command line."""
    found = []
    me = os.getuid()
    for entry in os.listdir("/proc"):
        try:
            mine = entry.isdigit() and os.stat(f"/proc/{entry}").st_uid == me
        except OSError:
            mine = False
        if mine:
            args = read_cmdline(int(entry))
            if "-m" in args and "app" in args and "serve" in args and alive(int(entry)):
                found.append(int(entry))
    return sorted(found)


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


def log_text():
    try:
        with open(LOG, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def page_ready_count():
    return log_text().count("page ready")


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


# ---------------------------------------------------------------- X input


def xdotool(*args, timeout=10):
    try:
        result = subprocess.run(["xdotool", *args], capture_output=True, text=True,
                                timeout=timeout, check=False)
        return result.stdout.strip()
    except subprocess.TimeoutExpired:
        return ""


def visible_windows(pid):
    text = xdotool("search", "--onlyvisible", "--pid", str(pid))
    return [int(w) for w in text.split()] if text else []


def window_name(window):
    return xdotool("getwindowname", str(window))


def geometry(window):
    """(x, y, width, height) of a window on the screen, or None."""
    text = xdotool("getwindowgeometry", "--shell", str(window))
    values = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
    try:
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    except (KeyError, ValueError):
        return None


def transient_for(window):
    """The window a dialog is attached to, as the window manager is told."""
    try:
        text = subprocess.run(["xprop", "-id", str(window), "WM_TRANSIENT_FOR"],
                              capture_output=True, text=True, timeout=5, check=False).stdout
    except subprocess.TimeoutExpired:
        return None
    word = text.strip().split()[-1] if text.strip() else ""
    return int(word, 16) if word.startswith("0x") else None


def focus(window):
    xdotool("windowraise", str(window))
    xdotool("windowfocus", "--sync", str(window), timeout=5)
    return wait_for(lambda: xdotool("getwindowfocus") == str(window), 3)


def key(*combos):
    for combo in combos:
        xdotool("key", "--clearmodifiers", combo)
        time.sleep(0.05)


# ---------------------------------------------------------------- accessibility


def start_accessibility():
    """Starts the accessibility bus before the application, as a desktop session does."""
    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def bus_ready():
        try:
            reply = subprocess.run(
                ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                 "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                capture_output=True, text=True, timeout=3, check=False)
            return reply.returncode == 0 and "unix:" in reply.stdout
        except subprocess.TimeoutExpired:
            return False

    if not wait_for(bus_ready, 15, 0.2):
        raise Abort("the accessibility bus did not start")
    Atspi.set_timeout(4000, 15000)
    return launcher


def children(node):
    try:
        count = node.get_child_count()
    except gi.repository.GLib.Error:
        return []
    result = []
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except gi.repository.GLib.Error:
            child = None
        if child is not None:
            result.append(child)
    return result


def role(node):
    try:
        return node.get_role_name()
    except gi.repository.GLib.Error:
        return ""


def name(node):
    try:
        return node.get_name() or ""
    except gi.repository.GLib.Error:
        return ""


def has_state(node, state):
    try:
        return node.get_state_set().contains(state)
    except gi.repository.GLib.Error:
        return False


def walk(node, depth=30, skip=lambda n: False):
    """Depth-first, in document order."""
    stack = [(node, 0)]
    while stack:
        current, level = stack.pop()
        yield current
        if level < depth and not skip(current):
            stack.extend((c, level + 1) for c in reversed(children(current)))


def text_of(node):
    try:
        text = node.get_text_iface()
        if text is not None:
            return text.get_text(0, text.get_character_count())
    except gi.repository.GLib.Error:
        pass
    return name(node)


def do_action(node, wanted=("click", "press", "activate", "jump")):
    try:
        action = node.get_action_iface()
        if action is None:
            return False
        count = action.get_n_actions()
        names = [action.get_action_name(i) for i in range(count)]
        for candidate in wanted:
            if candidate in names:
                return action.do_action(names.index(candidate))
        return count > 0 and action.do_action(0)
    except gi.repository.GLib.Error:
        return False


def click(node):
    """Clicks the middle of a node with the pointer, as a person would. Unlike
    an accessibility action it never waits for what the click sets off (an
    alert of the page blocks the page until it is answered)."""
    try:
        component = node.get_component_iface()
        box = component.get_extents(Atspi.CoordType.SCREEN)
    except (gi.repository.GLib.Error, AttributeError):
        return False
    if box.width <= 0 or box.height <= 0:
        return False
    xdotool("mousemove", "--sync", str(box.x + box.width // 2), str(box.y + box.height // 2))
    xdotool("click", "1")
    return True


def is_document(node):
    return role(node) in ("document web", "document frame")


# ---------------------------------------------------------------- the application


class Studio:
    """One launch of the application and what the tests read of it."""

    launched = []  # every launch of this session, so none is left running

    def __init__(self):
        Studio.launched.append(self)
        self.number = len(Studio.launched)
        self.out_path = os.path.join(OUT, f"app-{self.number}.out")
        self.output = open(self.out_path, "wb")
        self.process = subprocess.Popen([os.path.join(BUNDLE, "bin", "tarvo-studio")],
                                        stdout=self.output, stderr=subprocess.STDOUT,
                                        cwd=HOME)
        self.pid = self.process.pid
        self.main_window = None

    # -- the process

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout):
        try:
            self.process.wait(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def wait_exit_watching(self, timeout):
        """(ended, the texts of every dialog seen while waiting)."""
        seen = []
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.running():
                return True, seen
            for dialog in self.dialogs():
                labels = dialog_labels(dialog)
                if labels not in seen:
                    seen.append(labels)
            time.sleep(0.1)
        return not self.running(), seen

    def backends(self):
        return [p for p in backend_processes() if parent_of(p) == self.pid]

    def backend(self):
        pids = self.backends()
        return pids[0] if len(pids) == 1 else None

    def kill(self):
        if self.running():
            for pid in self.backends():
                try:
                    os.kill(pid, signal.SIGCONT)
                except ProcessLookupError:
                    pass
            self.process.kill()
            self.process.wait(timeout=10)

    def output_tail(self, lines=40):
        try:
            with open(self.out_path, encoding="utf-8", errors="replace") as f:
                return "".join(f.readlines()[-lines:])
        except OSError:
            return ""

    # -- accessibility

    def accessible(self):
        desktop = Atspi.get_desktop(0)
        for application in children(desktop):
            try:
                if application.get_process_id() == self.pid:
                    return application
            except gi.repository.GLib.Error:
                pass
        return None

    def toplevels(self):
        application = self.accessible()
        return children(application) if application is not None else []

    def window(self, showing=True):
        for top in self.toplevels():
            if role(top) == "frame" and name(top) == TITLE:
                if not showing or has_state(top, Atspi.StateType.SHOWING):
                    return top
        return None

    def dialogs(self):
        """The alerts and sheets on screen, newest last."""
        return [top for top in self.toplevels()
                if role(top) in ("alert", "dialog")
                and has_state(top, Atspi.StateType.SHOWING)]

    def document(self):
        frame = self.window(showing=False)
        if frame is None:
            return None
        for node in walk(frame, depth=40):
            if is_document(node):
                return node
        return None

    def page_text(self):
        document = self.document()
        if document is None:
            return ""
        parts = []
        for node in walk(document, depth=40):
            if role(node) in ("static", "text", "paragraph", "heading", "label", "link",
                              "push button", "section", "document web"):
                parts.append(text_of(node))
        return "\n".join(p for p in parts if p)

    def find_in_page(self, wanted_role, wanted_name):
        document = self.document()
        if document is None:
            return None
        for node in walk(document, depth=40):
            if role(node) == wanted_role and name(node).strip() == wanted_name:
                return node
        return None

    def menu_bar(self):
        frame = self.window(showing=False)
        if frame is None:
            return None
        for node in walk(frame, depth=6, skip=is_document):
            if role(node) == "menu bar":
                return node
        return None

    def menus(self):
        """[(menu title, [item titles, separators as '-'])] as the accessibility bus shows them."""
        bar = self.menu_bar()
        if bar is None:
            return []
        result = []
        for menu in children(bar):
            items = []
            for item in children(menu):
                r = role(item)
                items.append("-" if r == "separator" else name(item))
            result.append((name(menu), items))
        return result

    def menu_item(self, menu_title, item_title):
        bar = self.menu_bar()
        for menu in children(bar) if bar is not None else []:
            if name(menu) == menu_title:
                for item in children(menu):
                    if name(item) == item_title:
                        return item
        return None

    # -- X windows and keys

    def find_main_window(self, timeout=20):
        def probe():
            for window in visible_windows(self.pid):
                if window_name(window) == TITLE:
                    return window
            return None

        found = wait_for(probe, timeout, 0.2)
        if found:
            self.main_window = found
        return found

    def keys_to_window(self, *combos):
        """Focuses the main window (as a click on it would) and types."""
        if self.main_window is None:
            self.find_main_window()
        if self.main_window is not None:
            focus(self.main_window)
        key(*combos)

    def dialog_windows(self):
        return [w for w in visible_windows(self.pid) if w != self.main_window]

    def keys_to_dialog(self, *combos):
        """Types into the newest dialog, focusing it first as a window manager would."""
        others = [w for w in visible_windows(self.pid) if w != self.main_window]
        if others:
            focus(others[-1])
        key(*combos)


def dialog_labels(dialog):
    return [text_of(n) for n in walk(dialog, depth=12) if role(n) == "label" and text_of(n)]


def dialog_buttons(dialog):
    return [name(n) for n in walk(dialog, depth=12) if role(n) == "push button"]


def press_button(dialog, title):
    for node in walk(dialog, depth=12):
        if role(node) == "push button" and name(node) == title:
            return do_action(node)
    return False


def wait_dialog(studio, timeout, title=None):
    """The newest dialog on screen, optionally the one whose labels include title."""

    def probe():
        for dialog in reversed(studio.dialogs()):
            if title is None or title in dialog_labels(dialog) or name(dialog) == title:
                return dialog
        return None

    return wait_for(probe, timeout, 0.2)


# ---------------------------------------------------------------- running a test


def end_leftovers(started, checks):
    """Ends what a group left running, so the next one starts from nothing."""
    for studio in started:
        if studio.running():
            if checks.failures:
                say(f"  the application (pid {studio.pid}) was still running; killing it")
            studio.kill()
    for pid in backend_processes():
        say(f"  a backend (pid {pid}) was still running; killing it")
        try:
            os.kill(pid, signal.SIGCONT)
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
    wait_for(lambda: not backend_processes() and ping(0.3) is None, 10, 0.2)


def run(*groups):
    """Runs each group(checks) in this session and exits with the verdict.

    A group stops at its first failed requirement; the next group still runs,
    from a clean state.
    """
    checks = Checks()
    started = Studio.launched
    launcher = None
    began = time.monotonic()
    try:
        launcher = start_accessibility()
        for group in groups:
            say(f"== {group.__name__}")
            install_recorder()
            try:
                group(checks)
            except Abort as error:
                say(f"  stopped: {error}")
            except Exception:  # a fault of the test itself must still end the session cleanly
                checks.failures.append(f"{group.__name__} raised an exception")
                say(traceback.format_exc())
            end_leftovers(started, checks)
    except Abort as error:
        checks.failures.append(str(error))
        say(f"  stopped: {error}")
    finally:
        end_leftovers(started, checks)
        if checks.failures:
            say("---- tail of the service log ----")
            say("\n".join(log_text().splitlines()[-40:]))
            for studio in started:
                say(f"---- output of application launch {studio.number} ----")
                say(studio.output_tail())
        if launcher is not None:
            launcher.terminate()
            try:
                launcher.wait(timeout=5)
            except subprocess.TimeoutExpired:
                launcher.kill()
    elapsed = time.monotonic() - began
    if checks.failures:
        say(f"FAILED ({len(checks.failures)}) after {elapsed:.1f} s:")
        for failure in checks.failures:
            say(f"  - {failure}")
        sys.exit(1)
    say(f"PASSED after {elapsed:.1f} s")
    sys.exit(0)
