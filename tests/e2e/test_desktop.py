"""What a desktop's users expect of any application window, against the
stand-in backend's page: the command line answered without a display, page
zoom (kept for the next launch), find in page, print, full screen (the
window's and the page's) with every key still working, the menus' mnemonics,
and the menus in German, read through the accessibility bus."""

import os
import re
import subprocess

from checks import wait_for
from peers import LOG, backend_processes, events, page_ready_count, saved_frame, switch
from screen import (Atspi, children, click, has_state, is_document, key, key_binding, name,
                    press_button, role, text_of, walk, xdotool)
from studio import BUNDLE, launched, run, wait_dialog

SCREEN = (1400, 1000)  # the harness's display
GERMAN = os.environ.get("TARVO_E2E_LOCALE", "de_DE.UTF-8")
# "link" is in nine of the page's links.
FIND, MATCHES = "LINK", "9 matches"
GERMAN_MENUS = [
    ("Tarvo Studio", ["\u00dcber Tarvo Studio", "-", "Tarvo Studio ausblenden", "-",
                      "Tarvo Studio beenden"]),
    ("Bearbeiten", ["Ausschneiden", "Kopieren", "Einf\u00fcgen", "Alles ausw\u00e4hlen"]),
    ("Studio", ["Fenster neu laden", "Dienst neu starten", "-", "Protokoll \u00f6ffnen",
                "Datenordner von Studio \u00f6ffnen"]),
    ("Fenster", ["Minimieren", "Zoomen", "Schlie\u00dfen", "-", "Tarvo Studio"]),
]

# The status line shows while the backend takes its time: its spinner is drawn too.
switch(START_DELAY=1.0)


def binary(*args, env=None):
    """The application run from the command line without a display or a
    session bus: (status, standard output, standard error)."""
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
    environment.update(env or {})
    done = subprocess.run([os.path.join(BUNDLE, "bin", "tarvo-studio"), *args],
                          capture_output=True, text=True, timeout=30, env=environment, check=False)
    return done.returncode, done.stdout, done.stderr


def command_line(t):
    t.step("--version, --help and a mistake, with no display and no session bus")
    status, out, err = binary("--version")
    t.expect(status == 0 and re.fullmatch(r"Tarvo Studio \d+\.\d+\.\d+\n", out) and not err,
             "--version prints the name and the version and exits 0", (status, out, err))
    status, out, err = binary("--help")
    t.expect(status == 0 and "--version" in out and "--display" in out,
             "--help lists the options, GTK's among them, and exits 0", (status, out, err))
    status, out, _ = binary("--help", env={"LANG": GERMAN})
    t.expect(status == 0 and "Die Version anzeigen und beenden" in out,
             "in German", out)
    status, out, err = binary("--no-such-option")
    t.expect(status != 0 and "--no-such-option" in err and len(err.splitlines()) <= 2 and not out,
             "an unknown option: a short error and a status other than 0", (status, out, err))
    t.expect(not backend_processes() and not os.path.exists(LOG),
             "nothing was started (no backend, no log)", backend_processes())


def page_width():
    """The page's width in CSS pixels as it last reported it: the zoom divides it."""
    widths = [int(e["detail"]) for e in events() if e.get("kind") == "width"]
    return widths[-1] if widths else 0


def zoomed(base, factor):
    """Whether the page shows at `factor` times the zoom it had at width `base`."""
    return wait_for(lambda: abs(page_width() * factor - base) <= 2 * factor, 5, 0.1)


def showing(node):
    return node is not None and has_state(node, Atspi.StateType.SHOWING)


def find_bar_entry(studio):
    frame = studio.window(showing=False)
    for node in walk(frame, depth=12, skip=is_document) if frame else []:
        if role(node) == "text" and name(node) == "Find in page":
            return node
    return None


def match_count(studio):
    frame = studio.window(showing=False)
    for node in walk(frame, depth=12, skip=is_document) if frame else []:
        if role(node) == "label" and showing(node) and re.search(r"match", text_of(node)):
            return text_of(node)
    return ""


def full_screen(studio):
    frame = studio.window()
    try:
        box = frame.get_component_iface().get_extents(Atspi.CoordType.SCREEN)
    except Exception:  # noqa: BLE001
        return None
    return (box.width, box.height) == SCREEN and not showing(studio.menu_bar())


def page_keys(t):
    t.step("launch: the status line's spinner and icon need no SVG renderer")
    # A window manager, which full screen needs, is there from the start.
    manager = subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        keys_of(t, launched(t))
    finally:
        manager.terminate()
        manager.wait(10)


def keys_of(t, studio):
    with open(f"/proc/{studio.pid}/maps", encoding="utf-8") as f:
        t.expect("librsvg" not in f.read(), "librsvg is not loaded into the application")
    props = subprocess.run(["xprop", "-id", str(studio.main_window), "_NET_WM_ICON"],
                           capture_output=True, text=True, timeout=10, check=False).stdout
    t.expect("_NET_WM_ICON(CARDINAL) = " in props, "the window has its icon", props[:80])

    t.step("zoom: Control with +, =, the keypad's + and -, and the wheel")
    t.require(wait_for(page_width, 10, 0.1), "the page reports its width")
    base = page_width()
    studio.keys_to_window("ctrl+plus", "ctrl+plus")
    t.expect(zoomed(base, 1.1 ** 2), "Ctrl++ twice: 121 %", base / page_width())
    studio.keys_to_window("ctrl+minus", "ctrl+minus")
    t.expect(zoomed(base, 1), "Ctrl+- twice: back to 100 %", base / page_width())
    studio.keys_to_window("ctrl+equal", "ctrl+KP_Add")
    t.expect(zoomed(base, 1.1 ** 2), "Ctrl+= and Ctrl+keypad +", base / page_width())
    studio.keys_to_window("ctrl+KP_Subtract", "ctrl+KP_Subtract")
    t.expect(zoomed(base, 1), "Ctrl+keypad - twice", base / page_width())
    studio.keys_to_window(*["ctrl+minus"] * 16)
    t.expect(zoomed(base, 0.3), "no further out than 30 %", base / page_width())
    studio.keys_to_window(*["ctrl+plus"] * 13)
    t.expect(zoomed(base, 1), "and as many steps in come back to 100 %", base / page_width())
    xdotool("keydown", "ctrl")
    xdotool("click", "4")
    xdotool("keyup", "ctrl")
    t.expect(zoomed(base, 1.1), "Ctrl+wheel up: one step in", base / page_width())
    studio.keys_to_window("ctrl+plus")
    t.expect(zoomed(base, 1.1 ** 2), "121 % for the next launch", base / page_width())

    t.step("find in page: Ctrl+F, typing, Enter, Ctrl+G, Escape")
    studio.keys_to_window("ctrl+f")
    entry = wait_for(lambda: showing(find_bar_entry(studio)) and find_bar_entry(studio), 5, 0.1)
    t.require(entry, "Ctrl+F shows the find bar")
    t.expect(has_state(entry, Atspi.StateType.FOCUSED), "its text field has the focus")
    xdotool("type", "--delay", "30", FIND)
    t.expect(wait_for(lambda: match_count(studio) == MATCHES, 5, 0.1),
             f"typing \u201c{FIND}\u201d finds the page's links, whatever their case",
             match_count(studio))
    xdotool("type", "--delay", "30", "zz")
    t.expect(wait_for(lambda: match_count(studio) == "No matches", 5, 0.1), "then none",
             match_count(studio))
    studio.keys_to_window("BackSpace", "BackSpace", "Return", "Return", "shift+Return", "ctrl+g",
                          "ctrl+shift+g")
    t.expect(wait_for(lambda: match_count(studio) == MATCHES, 5, 0.1),
             "Enter, Shift+Enter, Ctrl+G and Ctrl+Shift+G go from match to match",
             match_count(studio))
    studio.keys_to_window("Escape")
    t.expect(wait_for(lambda: not showing(find_bar_entry(studio)), 5, 0.1),
             "Escape closes the find bar")

    t.step("print: Ctrl+P opens the print dialog")
    studio.keys_to_window("ctrl+p")
    dialog = wait_dialog(studio, 15, "Print")
    t.expect(dialog, "the print dialog is shown", [name(d) for d in studio.dialogs()])
    if dialog:
        t.expect(press_button(dialog, "Cancel"), "and can be cancelled")
        t.expect(wait_for(lambda: not studio.dialogs(), 5, 0.1), "it is gone")

    t.step("full screen: F11, with the menu bar and status line aside and the keys working")
    studio.keys_to_window("F11")
    t.expect(wait_for(lambda: full_screen(studio), 5, 0.1), "F11: the window fills the screen")
    ready = page_ready_count()
    studio.keys_to_window("ctrl+r")
    t.expect(wait_for(lambda: page_ready_count() > ready, 15, 0.2), "Ctrl+R reloads in full screen")
    t.require(wait_for(lambda: studio.find_in_page("push button", "Show the page full screen"),
                       15, 0.2), "the page is back")
    studio.keys_to_window("F11")
    t.expect(wait_for(lambda: showing(studio.menu_bar()) and not full_screen(studio), 5, 0.1),
             "F11 again: the window and its menu bar are back")

    t.step("the page's own full screen: Escape leaves it")
    button = studio.find_in_page("push button", "Show the page full screen")
    t.require(button and click(button), "the page's full-screen button is clicked")
    t.expect(wait_for(lambda: full_screen(studio), 5, 0.1), "the page fills the screen")
    studio.keys_to_window("Escape")
    t.expect(wait_for(lambda: showing(studio.menu_bar()) and not full_screen(studio), 5, 0.1),
             "Escape: the window and its menu bar are back")

    t.step("mnemonics: Alt+E opens Edit")
    studio.keys_to_window("alt+e")
    edit = next((m for m in children(studio.menu_bar()) if name(m) == "Edit"), None)
    t.expect(edit and wait_for(lambda: any(showing(i) for i in children(edit)), 5, 0.1),
             "Alt+E shows the Edit menu's items")
    key("Escape", "Escape")

    t.step("About Tarvo Studio: what it is, its version, website, licence and copyright")
    t.require(studio.activate("Tarvo Studio", "About Tarvo Studio"), "the About item is chosen")
    about = wait_dialog(studio, 10)
    texts = " | ".join(text_of(n) for n in walk(about, depth=14)) if about else ""
    for part in ("One window onto your local Tarvo Studio service", "tarvo.studio",
                 "MIT", "Copyright \u00a9 2026 Tarvo Studio developers"):
        t.expect(part in texts, f"it shows \u201c{part}\u201d", texts[:300])
    t.expect(re.search(r"\b\d+\.\d+\.\d+\b", texts), "and the version", texts[:300])
    studio.keys_to_dialog("Escape")
    t.expect(wait_for(lambda: not studio.dialogs(), 5, 0.1), "Escape closes it")

    t.step("Ctrl+Q, and the next launch shows the page at the zoom it had")
    studio.keys_to_window("ctrl+q")
    t.require(studio.wait_exit(15), "the application ended")
    t.expect(abs(float(saved_frame().get("zoom", 0)) - 1.1 ** 2) < 1e-6,
             "the zoom is kept with the window", saved_frame())
    again = launched(t)
    t.expect(zoomed(base, 1.1 ** 2), "the page shows at 121 % again", base / page_width())
    again.keys_to_window("ctrl+q")
    t.expect(again.wait_exit(15), "the application ended")


def mnemonic(item):
    """The letter that chooses a menu item, as the accessibility bus reads it."""
    binding = key_binding(item).split(";")[0]
    return binding.rsplit(">", 1)[-1].lower()


def german(t):
    t.step(f"launch under {GERMAN}")
    studio = launched(t, env={"LANG": GERMAN, "LANGUAGE": None, "LC_ALL": None})
    t.expect(studio.menus() == GERMAN_MENUS, "the menus are in German", studio.menus())
    bar = studio.menu_bar()
    for menu in children(bar) if bar else []:
        items = [i for i in children(menu) if role(i) != "separator"]
        letters = [mnemonic(i) for i in items]
        t.expect(all(letters) and len(set(letters)) == len(letters),
                 f"each item of {name(menu)} has a mnemonic of its own", letters)
    tops = [mnemonic(m) for m in children(bar)] if bar else []
    t.expect(all(tops) and len(set(tops)) == len(tops), "and so has each menu", tops)
    languages = [e.get("language", "") for e in events() if e.get("path", "").startswith("/#")
                 or e.get("path") == "/"]
    t.expect(languages and languages[-1].startswith("de-DE"),
             "the page is asked for in German (Accept-Language)", languages)
    with open(f"/proc/{studio.pid}/maps", encoding="utf-8") as f:
        t.expect("libenchant" in f.read(), "spelling is checked (its engine is loaded)")
    studio.keys_to_window("ctrl+q")
    t.expect(studio.wait_exit(15), "the application ended")


if __name__ == "__main__":
    run(command_line, page_keys, german)
