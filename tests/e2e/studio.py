"""Drives the real Tarvo Studio window as a person would.

Runs inside the session that harness.py prepares (display, session bus,
throwaway user). Every wait is a poll with a deadline.
"""

import os
import signal
import subprocess
import sys
import time
import traceback

from checks import Abort, Checks, say, wait_for
from peers import (HOME, backend_processes, busy, call, descends_from, install_recorder,
                   log_text, page_ready_count, ping, running)
from screen import (Atspi, GLib, children, click, dialog_labels, do_action, focus, geometry,
                    has_state, is_button, is_document, key, name, press_button, role,
                    start_accessibility, text_of, visible_windows, walk, window_name)

BUNDLE = os.environ.get("TARVO_E2E_BUNDLE", "")
OUT = os.environ.get("TARVO_E2E_OUT", "/tmp")
TITLE = "Tarvo Studio"
# No synthetic key or click reaches a Wayland client, nor can xdotool see its
# windows: there a test acts and looks through the accessibility bus alone.
WAYLAND = os.environ.get("GDK_BACKEND") == "wayland"

# The quit sheet's titles, by which the tests find it; its texts and buttons
# are the unit tests' to check.
IN_FLIGHT = "A pipeline is running"  # with a run in flight
NO_ANSWER = "Tarvo Studio cannot tell what is running"  # the backend did not answer


# ---------------------------------------------------------------- the application


class Studio:
    """One launch of the application and what the tests read of it."""

    launched = []  # every launch of this session, so none is left running

    def __init__(self, own_group=False, wrapper=(), env=None, args=()):
        """own_group: in a process group of its own, as a shell starts a job.
        wrapper: a command that ends by executing the application, whose path
        it is given last (so the pid stays the application's). env: variables
        to change for this launch (None removes one); args: its command line."""
        Studio.launched.append(self)
        self.number = len(Studio.launched)
        self.out_path = os.path.join(OUT, f"app-{self.number}.out")
        self.output = open(self.out_path, "wb")
        environment = dict(os.environ)
        for variable, value in (env or {}).items():
            if value is None:
                environment.pop(variable, None)
            else:
                environment[variable] = value
        self.process = subprocess.Popen([*wrapper, os.path.join(BUNDLE, "bin", "tarvo-studio"),
                                         *args],
                                        stdout=self.output, stderr=subprocess.STDOUT,
                                        cwd=HOME, env=environment,
                                        process_group=0 if own_group else None)
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
        """Its backends: below it, with the keeper between them."""
        return [p for p in backend_processes() if descends_from(p, self.pid)]

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
            except GLib.Error:
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

    def on_screen(self):
        """The main window once it is shown (on X11 also found for keys)."""
        return wait_for(self.window, 20, 0.2) if WAYLAND else self.find_main_window()

    def ask_to_quit(self):
        """Ctrl+Q on X11; on Wayland the menu item through the accessibility bus."""
        if WAYLAND:
            return self.activate(TITLE, "Quit Tarvo Studio")
        self.keys_to_window("ctrl+q")
        return True

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
                              "status bar", "push button", "section", "document web"):
                parts.append(text_of(node))
        return "\n".join(p for p in parts if p)

    def document_height(self):
        """The height of the page on screen, in pixels (0 when unknown)."""
        document = self.document()
        try:
            return document.get_component_iface().get_extents(Atspi.CoordType.WINDOW).height
        except (GLib.Error, AttributeError):
            return 0

    def window_button(self, title):
        """A button of the window itself (outside the page), or None."""
        frame = self.window(showing=False)
        for node in walk(frame, depth=12, skip=is_document) if frame else []:
            if is_button(node) and name(node) == title:
                return node
        return None

    def find_in_page(self, wanted_role, wanted_name):
        document = self.document()
        if document is None:
            return None
        for node in walk(document, depth=40):
            if role(node) == wanted_role and name(node).strip() == wanted_name:
                return node
        return None

    def status_line(self):
        """The status view's accessible name while it is on screen, else ""."""
        frame = self.window(showing=False)
        if frame is None:
            return ""
        for node in walk(frame, depth=8, skip=is_document):
            if role(node) == "status bar" and has_state(node, Atspi.StateType.SHOWING):
                return name(node)
        return ""

    def popup_items(self):
        """{title: node} of the menu items shown outside the menu bar (a
        context menu)."""
        items = {}
        for top in self.toplevels():
            if role(top) == "frame" and name(top) == TITLE:
                continue
            for node in walk(top, depth=6):
                if "menu item" in role(node) and has_state(node, Atspi.StateType.SHOWING):
                    items[name(node)] = node
        return items

    def picture(self, file_name):
        """The window as the display shows it, for a person to look at, in
        the run's output folder."""
        box = geometry(self.main_window) if self.main_window else None
        crop = ["-crop", "{2}x{3}+{0}+{1}".format(*box), "+repage"] if box else []
        try:
            subprocess.run(["import", "-window", "root", *crop, os.path.join(OUT, file_name)],
                           timeout=20, check=False, capture_output=True)
        except (OSError, subprocess.TimeoutExpired):
            pass

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

    def choose(self, menu_title, item_title):
        """Opens a menu of the bar with the pointer and clicks one of its items."""
        bar = self.menu_bar()
        menu = next((m for m in children(bar) if name(m) == menu_title), None) if bar else None
        if menu is None or not click(menu, scroll=False):
            return False
        item = wait_for(lambda: next((i for i in children(menu) if name(i) == item_title
                                      and has_state(i, Atspi.StateType.SHOWING)), None), 5, 0.1)
        return bool(item) and click(item, scroll=False)

    def activate(self, menu_title, item_title):
        """Chooses a menu item through the accessibility bus: the one way in
        from outside on Wayland, where no synthetic key or click reaches a
        client."""
        item = self.menu_item(menu_title, item_title)
        return item is not None and do_action(item)

    def content_size(self):
        """(width, height) of the window's content (menu bar and page), which
        is the size the application keeps: without the decorations that GTK
        draws itself on Wayland."""
        frame = self.window()
        for node in children(frame) if frame is not None else []:
            if role(node) == "filler" and any(role(c) == "menu bar" for c in walk(node, depth=3)):
                try:
                    box = node.get_component_iface().get_extents(Atspi.CoordType.WINDOW)
                except (GLib.Error, AttributeError):
                    return None
                return box.width, box.height
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


def wait_dialog(studio, timeout, title=None):
    """The newest dialog on screen, optionally the one whose labels include title."""

    def probe():
        for dialog in reversed(studio.dialogs()):
            if title is None or title in dialog_labels(dialog) or name(dialog) == title:
                return dialog
        return None

    return wait_for(probe, timeout, 0.2)


def activate_in_page(t, studio, wanted_role, title):
    """Operates a link or a button of the page the way assistive technology does."""
    node = wait_for(lambda: studio.find_in_page(wanted_role, title), 10, 0.3)
    t.require(node, f"the page shows the {wanted_role} \u201c{title}\u201d")
    t.require(do_action(node), f"the {wanted_role} \u201c{title}\u201d can be activated")


def wait_up(t, studio, ready, what="the application is up with its page loaded"):
    """Waits for a page loaded after `ready` pages, a backend and the window."""
    t.require(wait_for(lambda: page_ready_count() > ready and studio.backend(), 40, 0.1), what)
    t.require(studio.on_screen(), "the window is on the display")


def launched(t, **options):
    """A new launch, once its page is loaded and its window on screen."""
    ready = page_ready_count()  # the log outlives each launch
    studio = Studio(**options)
    wait_up(t, studio, ready)
    return studio


def start_run(t, tool, seconds=60):
    """A simulated run the quit sheet must ask about."""
    status, body = call({"action": "run", "tool": tool, "seconds": seconds})
    t.require(status == 200, f"a simulated run of {tool} starts", (status, body))
    t.require(running(), "the backend reports the run as in flight", busy())


def quit_sheet(t, studio, title, timeout=6):
    """The quit sheet titled `title`; the group stops when it does not show."""
    sheet = wait_dialog(studio, timeout, title)
    t.require(sheet, f"the sheet \u201c{title}\u201d is shown",
              None if sheet else [dialog_labels(d) for d in studio.dialogs()])
    return sheet


def quit_anyway(t, studio, sheet):
    """Presses the sheet's Quit anyway: the application and every backend end."""
    t.require(press_button(sheet, "Quit anyway"), "Quit anyway can be pressed")
    t.expect(wait_for(lambda: not studio.running() and not backend_processes(), 15, 0.1),
             "the application ended and stopped its backend", backend_processes())
    t.expect(ping() is None, "nothing answers on the port any more")


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
