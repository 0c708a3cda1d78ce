"""The application window: launch, menus, recovery of the backend, closing
and reopening the window, and the refusal of a foreign server on the port."""

import http.server
import json
import os
import signal
import subprocess
import threading
import time

from checks import stays, wait_for
from peers import (FRAMES, HOME, LOG, as_path, backend_processes, log_text, page_ready_count,
                   ping, recorded)
from screen import (click, dialog_buttons, dialog_labels, geometry, press_button, text_of,
                    xdotool)
from studio import TITLE, launched, run, Studio, wait_dialog

SCREEN = (1400, 1000)  # the harness's display
FIRST_SIZE = (1100, 740)
MOVED = (40, 60, 1000, 700)  # where the first session leaves the window

# How the page's text area shows on the accessibility bus.
TEXT_FIELD = "entry"

MENUS = [
    ("Tarvo Studio", ["About Tarvo Studio", "-", "Hide Tarvo Studio", "-", "Quit Tarvo Studio"]),
    ("Edit", ["Cut", "Copy", "Paste", "Select All"]),
    ("Studio", ["Reload the Window", "Restart the Service", "-", "Open the Log",
                "Open Studio's Data Folder"]),
    ("Window", ["Minimize", "Zoom", "Close", "-", "Tarvo Studio"]),
]

PORT_HELD = ("Port 7810 is held by \u201csomething-else\u201d, which is not Tarvo Studio. "
             "Free the port and try again.")


def new_backend(studio, old, timeout):
    """The pid of a backend other than `old` that answers the ping as ours."""

    def probe():
        pid = studio.backend()
        return pid if pid is not None and pid != old and ping() == "tarvo-studio" else None

    return wait_for(probe, timeout, 0.1)


def window_and_backend(t):
    t.step("launch: the window shows the backend's page")
    studio = Studio()
    t.require(wait_for(studio.window, 30, 0.2), f"a window titled \u201c{TITLE}\u201d is shown")
    t.require(wait_for(lambda: page_ready_count() >= 1, 40, 0.2),
              "the page loaded and reported itself ready (\u201cpage ready\u201d in the log)")
    backend = studio.backend()
    t.require(backend is not None and ping() == "tarvo-studio",
              "one backend child of the application answers the ping", backend)
    text = wait_for(lambda: "In flight" in studio.page_text() and studio.page_text(), 15, 0.5)
    t.expect(text and "Tarvo Studio" in text and "In flight" in text,
             "the page's text is readable in the window (accessibility)",
             (text or "")[:200])

    t.step("first launch: the window's size and place")
    t.require(studio.find_main_window(), "the window is on the display")
    box = geometry(studio.main_window)
    centred = ((SCREEN[0] - FIRST_SIZE[0]) // 2, (SCREEN[1] - FIRST_SIZE[1]) // 2)
    t.expect(box is not None and box[2:] == FIRST_SIZE, "it is 1100 by 740", box)
    t.expect(box is not None and abs(box[0] - centred[0]) <= 2 and abs(box[1] - centred[1]) <= 2,
             "it is centred on the screen", (box, centred))

    t.step("menus")
    t.expect(studio.menus() == MENUS, "the menu bar has exactly the four menus and their items",
             studio.menus())

    t.step("the backend is killed: it comes back and the page reloads")
    ready = page_ready_count()
    os.kill(backend, signal.SIGKILL)
    again = new_backend(studio, backend, 20)
    t.require(again, "a new backend process answers the ping after SIGKILL")
    t.expect(wait_for(lambda: page_ready_count() > ready, 20, 0.2),
             "the page was loaded again (another \u201cpage ready\u201d)")
    backend = again

    t.step("Ctrl+Shift+R restarts the service")
    t.require(studio.find_main_window(), "the window is on the display")
    ready = page_ready_count()
    studio.keys_to_window("ctrl+shift+r")
    again = new_backend(studio, backend, 20)
    t.expect(again, "Ctrl+Shift+R: a new backend process answers the ping")
    t.expect(again is None or not os.path.exists(f"/proc/{backend}/status")
             or backend not in backend_processes(), "the old backend process is gone")
    t.expect(wait_for(lambda: page_ready_count() > ready, 20, 0.2),
             "the page was loaded again after the restart")
    backend = again or studio.backend()

    t.step("Ctrl+R reloads the page")
    ready = page_ready_count()
    studio.keys_to_window("ctrl+r")
    t.expect(wait_for(lambda: page_ready_count() > ready, 15, 0.2),
             "Ctrl+R: the page was loaded again")
    t.expect(studio.backend() == backend, "Ctrl+R leaves the backend alone")

    t.step("Select All, Copy, Cut and Paste work in the page's text field")
    notes = wait_for(lambda: studio.find_in_page(TEXT_FIELD, "Notes"), 10, 0.3)
    t.require(notes and click(notes), "the page's Notes field is clicked")
    studio.keys_to_window()
    xdotool("type", "--delay", "20", "tarvo")
    t.expect(wait_for(lambda: text_of(notes) == "tarvo", 5, 0.1), "typing reaches the field",
             text_of(notes))
    studio.keys_to_window("ctrl+a", "ctrl+c", "End", "ctrl+v")
    t.expect(wait_for(lambda: text_of(notes) == "tarvotarvo", 5, 0.1),
             "Ctrl+A, Ctrl+C, End, Ctrl+V doubles the text", text_of(notes))
    studio.keys_to_window("ctrl+a", "ctrl+x")
    t.expect(wait_for(lambda: text_of(notes) == "", 5, 0.1), "Ctrl+A, Ctrl+X empties it",
             text_of(notes))
    studio.keys_to_window("ctrl+v", "ctrl+v")
    t.expect(wait_for(lambda: text_of(notes) == "tarvotarvotarvotarvo", 5, 0.1),
             "Ctrl+V pastes what was cut", text_of(notes))

    t.step("Ctrl+W closes the window; the application and backend keep running")
    ready = page_ready_count()
    studio.keys_to_window("ctrl+w")
    t.expect(wait_for(lambda: studio.window() is None, 10, 0.2), "the window is no longer shown")
    t.expect(stays(lambda: studio.running() and studio.backend() == backend, 2),
             "the application and the same backend keep running")
    t.expect(ping() == "tarvo-studio", "the backend still answers")

    t.step("launching the application again brings the window back")
    second = Studio()
    t.expect(second.wait_exit(20), "the second launch hands over and ends")
    t.expect(second.process.returncode == 0, "the second launch ends with status 0",
             second.process.returncode)
    t.expect(wait_for(studio.window, 10, 0.2), "the first instance shows its window again")
    t.expect(studio.backend() == backend and page_ready_count() == ready,
             "same backend, and the page was not loaded again (its state is kept)",
             (studio.backend(), backend, page_ready_count(), ready))
    notes = studio.find_in_page(TEXT_FIELD, "Notes")
    t.expect(notes and text_of(notes) == "tarvotarvotarvotarvo",
             "what was typed into the page is still there", notes and text_of(notes))

    t.step("the window is moved and resized (remembered for the next launch)")
    studio.main_window = None
    t.require(studio.find_main_window(), "the window is on the display")
    xdotool("windowmove", str(studio.main_window), str(MOVED[0]), str(MOVED[1]))
    xdotool("windowsize", str(studio.main_window), str(MOVED[2]), str(MOVED[3]))
    t.expect(wait_for(lambda: geometry(studio.main_window) == MOVED, 5, 0.1),
             "the window took its new frame", geometry(studio.main_window))
    time.sleep(1.5)  # the frame is written once the changes settle

    t.step("Ctrl+Q with nothing in flight quits at once")
    studio.keys_to_window("ctrl+q")
    ended, dialogs = studio.wait_exit_watching(15)
    t.expect(ended, "the application ended")
    t.expect(not dialogs, "no sheet was shown", dialogs)
    t.expect(wait_for(lambda: not backend_processes(), 5, 0.1),
             "no backend process is left", backend_processes())
    t.expect(ping() is None, "nothing answers on the port any more")


class ForeignHandler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *_args):
        pass

    def do_GET(self):
        body = json.dumps({"name": "something-else"}).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def foreign_server(t):
    t.step("a foreign server holds the port")
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 7810), ForeignHandler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        t.require(ping() == "something-else", "the foreign server answers the ping")
        studio = Studio()
        alert = wait_dialog(studio, 30, "Tarvo Studio could not start")
        t.require(alert, "the alert \u201cTarvo Studio could not start\u201d is shown")
        labels = dialog_labels(alert)
        t.expect(PORT_HELD in labels, "its informative text names the port and the foreign name",
                 labels)
        t.expect(dialog_buttons(alert) == ["Try Again", "Open the Log", "Quit"],
                 "its buttons are Try Again, Open the Log, Quit", dialog_buttons(alert))
        t.expect(not backend_processes(), "no backend was launched", backend_processes())
        if studio.find_main_window(5):
            t.expect(geometry(studio.main_window) == MOVED,
                     "the window came back where the last session left it",
                     geometry(studio.main_window))

        t.step("Open the Log: the log opens and the same alert comes back")
        t.require(os.path.exists(LOG), "the log of the earlier session is there")
        t.require(press_button(alert, "Open the Log"), "Open the Log can be pressed")
        opened = wait_for(recorded, 10, 0.1)
        t.expect(opened and [as_path(u) for u in opened] == [LOG], "the log was opened", opened)
        alert = wait_dialog(studio, 10, "Tarvo Studio could not start")
        t.require(alert and PORT_HELD in dialog_labels(alert), "the same alert is shown again")

        t.step("Try Again with the port still held: the alert comes back")
        t.require(press_button(alert, "Try Again"), "Try Again can be pressed")
        alert = wait_dialog(studio, 15, "Tarvo Studio could not start")
        t.require(alert and PORT_HELD in dialog_labels(alert), "the same alert is shown again")
        t.expect(not backend_processes(), "still no backend was launched", backend_processes())

        t.step("Quit ends the application")
        t.require(press_button(alert, "Quit"), "Quit can be pressed")
        t.expect(studio.wait_exit(15), "the application ended after Quit")
        t.expect(not backend_processes(), "no process is left behind", backend_processes())
        t.expect(ping() == "something-else", "the foreign server was left alone")

        t.step("the port is freed while the alert is shown; Try Again starts the service")
        ready = page_ready_count()
        studio = Studio()
        alert = wait_dialog(studio, 30, "Tarvo Studio could not start")
        t.require(alert, "the alert is shown again on the next launch")
        server.shutdown()
        server.server_close()
        t.require(press_button(alert, "Try Again"), "Try Again can be pressed")
        t.expect(wait_for(lambda: page_ready_count() > ready and ping() == "tarvo-studio", 30,
                          0.2), "the backend started and the page loaded")
        t.expect(not studio.dialogs(), "no alert is left on screen")
        studio.main_window = None
        t.require(studio.find_main_window(), "the window is on the display")
        studio.keys_to_window("ctrl+q")
        t.expect(studio.wait_exit(15), "Ctrl+Q then quits")
        t.expect(wait_for(lambda: not backend_processes(), 5, 0.1), "no backend is left",
                 backend_processes())
    finally:
        server.shutdown()
        server.server_close()


def crash_loop(t):
    t.step("a backend that keeps dying is restarted five times, then the user is told")
    ready = page_ready_count()
    studio = Studio()
    backend = new_backend(studio, None, 40)
    t.require(backend, "the backend is up")
    waits = []
    for death in range(1, 7):
        # Each death comes once the page has loaded: a death during a load
        # would take the quicker road of a failed load instead.
        t.require(wait_for(lambda: page_ready_count() > ready, 30, 0.1),
                  f"the page loaded before death {death}")
        ready = page_ready_count()
        os.kill(backend, signal.SIGKILL)
        killed = time.monotonic()
        if death == 6:
            break
        backend = new_backend(studio, backend, 30)
        t.require(backend, f"a new backend answers after death {death}")
        waits.append(round(time.monotonic() - killed, 2))
    floors = [0.5, 1, 2, 4, 8]
    t.expect(len(waits) == 5 and all(f - 0.1 <= w <= f + 4 for w, f in zip(waits, floors)),
             "the restarts came after 0.5, 1, 2, 4 and 8 seconds (plus the start)", waits)
    alert = wait_dialog(studio, 15, "Tarvo Studio could not start")
    t.require(alert, "after the sixth death the alert \u201cTarvo Studio could not start\u201d "
              "is shown")
    message = (f"Tarvo Studio's service stopped 6 times (last exit {int(signal.SIGKILL)}). "
               f"See {LOG}. Nothing was sent to Tarvo.")
    t.expect(message in dialog_labels(alert), "it names the count, the last exit and the log",
             dialog_labels(alert))
    t.expect(not backend_processes(), "no backend was started again", backend_processes())
    t.require(press_button(alert, "Quit"), "Quit can be pressed")
    t.expect(studio.wait_exit(15), "the application ended")
    t.expect(not backend_processes(), "no process is left behind", backend_processes())


def fifo_frame_file(t):
    t.step("window.ini is a FIFO: the window comes all the same, and SIGTERM quits")
    os.makedirs(os.path.dirname(FRAMES), exist_ok=True)
    if os.path.lexists(FRAMES):
        os.remove(FRAMES)
    os.mkfifo(FRAMES)
    studio = launched(t)
    os.kill(studio.pid, signal.SIGTERM)
    t.expect(studio.wait_exit(15), "SIGTERM ended the application")
    t.expect(wait_for(lambda: not backend_processes(), 10, 0.1), "and its backend",
             backend_processes())
    os.remove(FRAMES)


BROKEN_BWRAP = "bwrap: No permissions to create a new namespace"


def broken_bubblewrap(t):
    t.step("bubblewrap is installed but cannot run: the page loads without the sandbox")
    fake = os.path.join(HOME, "failing-bwrap")
    with open(fake, "w", encoding="utf-8") as f:
        f.write(f"#!/bin/sh\necho '{BROKEN_BWRAP}' >&2\nexit 1\n")
    os.chmod(fake, 0o755)
    # A mount namespace where /usr/bin/bwrap is that script; the inner user
    # namespace gives the application back its own user id.
    wrapper = ["unshare", "--map-root-user", "--mount", "sh", "-c",
               'mount --bind "$0" /usr/bin/bwrap && exec unshare --map-user="$1" '
               '--map-group="$2" -- "$3"', fake, str(os.getuid()), str(os.getgid())]
    if subprocess.run(["unshare", "--map-root-user", "--mount", "true"],
                      check=False).returncode != 0:
        t.step("no user namespace can be made here: nothing to try")
        return
    studio = launched(t, wrapper=wrapper)
    t.expect(f"the web process runs without its sandbox: /usr/bin/bwrap cannot run here: "
             f"{BROKEN_BWRAP}" in log_text(), "the log says why the sandbox is off")
    studio.keys_to_window("ctrl+q")
    t.expect(studio.wait_exit(15), "Ctrl+Q ended the application")


if __name__ == "__main__":
    run(window_and_backend, foreign_server, crash_loop, fifo_frame_file, broken_bubblewrap)
