"""The display as a person meets it: keys and pointer through xdotool (the X
test extension, like a real keyboard and mouse), and windows, menus,
dialogs and the page through the accessibility bus."""

import ctypes
import ctypes.util
import subprocess
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

from checks import Abort, wait_for  # noqa: E402

# The per-interface getters are deprecated in newer bindings but are the ones
# every installed version has.
warnings.filterwarnings("ignore", category=DeprecationWarning)


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
    """The window a dialog is attached to, as the window manager is told
    (WM_TRANSIENT_FOR), read straight from the X server."""
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XGetTransientForHint.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                          ctypes.POINTER(ctypes.c_ulong)]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(None)
    if not display:
        return None
    try:
        parent = ctypes.c_ulong(0)
        if xlib.XGetTransientForHint(display, window, ctypes.byref(parent)):
            return parent.value
        return None
    finally:
        xlib.XCloseDisplay(display)


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
    except GLib.Error:
        return []
    result = []
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except GLib.Error:
            child = None
        if child is not None:
            result.append(child)
    return result


def role(node):
    try:
        found = node.get_role_name()
    except GLib.Error:
        return ""
    # at-spi 2.5x names the push button "button"; the tests use the older name.
    return "push button" if found == "button" else found


def name(node):
    try:
        return node.get_name() or ""
    except GLib.Error:
        return ""


def has_state(node, state):
    try:
        return node.get_state_set().contains(state)
    except GLib.Error:
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
        # Called through the interface: newer bindings give the accessible
        # a get_text() of its own, which would take the place of the Text one.
        text = node.get_text_iface()
        if text is not None:
            return Atspi.Text.get_text(text, 0, Atspi.Text.get_character_count(text))
    except GLib.Error:
        pass
    return name(node)


def do_action(node, wanted=("click", "press", "activate", "jump")):
    if node is None:
        return False
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
    except GLib.Error:
        return False


def click(node, scroll=True, button=1):
    """Clicks the middle of a node with the pointer, as a person would. Unlike
    an accessibility action it never waits for what the click sets off (an
    alert of the page blocks the page until it is answered). Button 3 opens
    a context menu."""
    try:
        component = node.get_component_iface()
        if scroll:  # into view first, as a person would before clicking
            component.scroll_to(Atspi.ScrollType.ANYWHERE)
            time.sleep(0.2)
        box = component.get_extents(Atspi.CoordType.SCREEN)
    except (GLib.Error, AttributeError):
        return False
    if box.width <= 0 or box.height <= 0:
        return False
    xdotool("mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2))
    time.sleep(0.05)
    xdotool("click", str(button))
    return True


def is_document(node):
    return role(node) in ("document web", "document frame")


def dialog_labels(dialog):
    return [text_of(n) for n in walk(dialog, depth=12) if role(n) == "label" and text_of(n)]


def is_button(node):
    # By the role itself: newer AT-SPI names it "button", older "push button".
    try:
        return node.get_role() == Atspi.Role.PUSH_BUTTON
    except GLib.Error:
        return False


def dialog_buttons(dialog):
    return [name(n) for n in walk(dialog, depth=12) if is_button(n)]


def press_button(dialog, title):
    for node in walk(dialog, depth=12):
        if is_button(node) and name(node) == title:
            return do_action(node)
    return False
