"""Quitting with work in flight, with a backend that cannot answer, and with
nothing in flight, through the keyboard and through SIGTERM."""

import os
import signal
import time

from checks import stays, wait_for
from peers import backend_processes, busy, call, page_ready_count, ping
from screen import dialog_buttons, dialog_labels, press_button, transient_for
from studio import run, Studio, wait_dialog

RUNNING = "A pipeline is running"
NO_ANSWER = "Tarvo Studio cannot tell what is running"
NO_ANSWER_TEXT = (
    "Its own service did not answer, so whether a pipeline is in flight is unknown \u2014 not "
    "\u201cnothing\u201d. Quitting now would stop Studio following anything that is: Tarvo "
    "would keep running it, and the result would never be fetched or recorded.")
PARAGRAPH = (
    "Quitting does not stop a pipeline \u2014 Tarvo keeps running it \u2014 but Studio stops "
    "following it, so its result is never fetched, never verified and never written to the "
    "record. A call waiting for your approval is lost with the window.")


def in_flight_text(reply):
    """The informative text the sheet must show for a busy reply, worked out
    independently from the reply the backend gives."""
    running = [r for r in reply.get("running", []) if isinstance(r, dict)]
    pending = [p for p in reply.get("pending", []) if isinstance(p, dict)]
    chats = reply.get("chats", 0) if isinstance(reply.get("chats"), int) else 0
    lines = []
    if len(running) >= 1:
        lines.append(f"{len(running)} run(s) Studio is following")
    if len(pending) >= 1:
        lines.append(f"{len(pending)} call(s) waiting for your approval")
    if chats >= 1:
        lines.append(f"{chats} question(s) still being answered")
    names = sorted({e["tool"] for e in running + pending if isinstance(e.get("tool"), str)})[:4]
    text = ", ".join(lines)
    if names:
        text += " (" + ", ".join(names) + ")"
    return text + ".\n\n" + PARAGRAPH


def launched(t):
    ready = page_ready_count()  # the log outlives each launch
    studio = Studio()
    t.require(wait_for(lambda: page_ready_count() > ready and studio.backend(), 40, 0.2),
              "the application is up with its page loaded")
    t.require(studio.find_main_window(), "the window is on the display")
    return studio


def start_run(t, tool, seconds=60):
    status, body = call({"action": "run", "tool": tool, "seconds": seconds})
    t.require(status == 200, f"a simulated run of {tool} starts through /api/call", (status, body))
    reply = busy()
    t.require(reply is not None and len(reply.get("running", [])) >= 1,
              "the backend reports the run as in flight", reply)
    return reply


def gone(studio, backend):
    return not studio.running() and backend not in backend_processes()


def stay_then_quit_anyway(t):
    studio = launched(t)
    backend = studio.backend()
    reply = start_run(t, "indexer")
    reply = start_run(t, "Bundler")

    t.step("Ctrl+Q with a run in flight asks first")
    studio.keys_to_window("ctrl+q")
    sheet = wait_dialog(studio, 5, RUNNING)
    t.require(sheet, f"the sheet \u201c{RUNNING}\u201d is shown")
    t.expect(in_flight_text(reply) in dialog_labels(sheet),
             "its informative text counts and names what is in flight", dialog_labels(sheet))
    t.expect(dialog_buttons(sheet) == ["Stay open", "Quit anyway"],
             "its buttons are Stay open, Quit anyway", dialog_buttons(sheet))
    windows = studio.dialog_windows()
    t.expect(len(windows) == 1 and transient_for(windows[0]) == studio.main_window,
             "it is a sheet: attached to the main window",
             [(w, transient_for(w)) for w in windows])

    t.step("Return stays open")
    studio.keys_to_dialog("Return")
    t.expect(wait_for(lambda: not studio.dialogs(), 5, 0.1), "the sheet closed")
    t.expect(stays(lambda: studio.running() and studio.backend() == backend, 2),
             "the application and the same backend keep running")
    t.expect(ping() == "tarvo-studio", "the backend still answers")

    t.step("Escape stays open too: closing the sheet is no choice to drop the run")
    studio.keys_to_window("ctrl+q")
    sheet = wait_dialog(studio, 5, RUNNING)
    t.require(sheet, "the sheet is shown again")
    studio.keys_to_dialog("Escape")
    t.expect(wait_for(lambda: not studio.dialogs(), 5, 0.1), "the sheet closed")
    t.expect(stays(lambda: studio.running() and studio.backend() == backend, 2),
             "the application and the same backend keep running")

    t.step("Ctrl+Q again, then Quit anyway")
    studio.keys_to_window("ctrl+q")
    sheet = wait_dialog(studio, 5, RUNNING)
    t.require(sheet, "the backend is asked again and the sheet is shown again")
    t.require(press_button(sheet, "Quit anyway"), "Quit anyway can be pressed")
    t.expect(wait_for(lambda: gone(studio, backend), 15, 0.1),
             "the application ended and stopped its backend", backend_processes())
    t.expect(ping() is None, "nothing answers on the port any more")


def no_answer(t):
    studio = launched(t)
    backend = studio.backend()

    t.step("the backend is stopped (SIGSTOP); Ctrl+Q cannot learn what runs")
    os.kill(backend, signal.SIGSTOP)
    try:
        began = time.monotonic()
        studio.keys_to_window("ctrl+q")
        time.sleep(0.5)
        studio.keys_to_window("ctrl+q")  # while the backend is being asked: refused
        sheet = wait_dialog(studio, 6, NO_ANSWER)
        took = time.monotonic() - began
        t.require(sheet, f"the sheet \u201c{NO_ANSWER}\u201d is shown")
        t.expect(took <= 4.0, "it is shown within about 3 s of the request", round(took, 1))
        t.expect(NO_ANSWER_TEXT in dialog_labels(sheet), "its informative text is exact",
                 dialog_labels(sheet))
        t.expect(dialog_buttons(sheet) == ["Quit anyway", "Stay open"],
                 "its buttons are Quit anyway, Stay open", dialog_buttons(sheet))
        studio.keys_to_window("ctrl+q")  # while the sheet asks: refused
        t.expect(stays(lambda: len(studio.dialogs()) == 1, 4.0),
                 "further requests to quit open no second sheet",
                 [dialog_labels(d) for d in studio.dialogs()])

        t.step("Escape stays open")
        studio.keys_to_dialog("Escape")
        t.expect(wait_for(lambda: not studio.dialogs(), 5, 0.1), "the sheet closed")
        t.expect(stays(lambda: studio.running() and studio.backend() == backend, 1.5),
                 "the application and its backend are still there")
        studio.keys_to_window("ctrl+q")
        sheet = wait_dialog(studio, 6, NO_ANSWER)
        t.require(sheet, "Ctrl+Q asks again")

        t.step("Return quits")
        studio.keys_to_dialog("Return")
        t.expect(wait_for(lambda: gone(studio, backend), 20, 0.1),
                 "the application ended and its stopped backend is gone",
                 (studio.running(), backend_processes()))
    finally:
        if backend in backend_processes():
            os.kill(backend, signal.SIGCONT)


def terminate_signal(t):
    studio = launched(t)
    backend = studio.backend()
    reply = start_run(t, "indexer")

    t.step("SIGTERM to the application with a run in flight asks first")
    os.kill(studio.pid, signal.SIGTERM)
    sheet = wait_dialog(studio, 5, RUNNING)
    t.require(sheet, f"the sheet \u201c{RUNNING}\u201d is shown")
    t.expect(in_flight_text(reply) in dialog_labels(sheet), "its informative text is exact",
             dialog_labels(sheet))
    t.expect(studio.running() and studio.backend() == backend,
             "the application and its backend are still running while it asks")
    t.require(press_button(sheet, "Quit anyway"), "Quit anyway can be pressed")
    t.expect(wait_for(lambda: gone(studio, backend), 15, 0.1),
             "the application ended and stopped its backend", backend_processes())


def nothing_in_flight(t):
    studio = launched(t)
    backend = studio.backend()
    reply = busy()
    t.require(reply is not None and not reply.get("running") and not reply.get("pending")
              and not reply.get("chats"), "the backend reports nothing in flight", reply)

    t.step("Ctrl+Q with nothing in flight quits without a sheet")
    studio.keys_to_window("ctrl+q")
    ended, dialogs = studio.wait_exit_watching(15)
    t.expect(ended, "the application ended")
    t.expect(not dialogs, "no sheet was shown", dialogs)
    t.expect(wait_for(lambda: gone(studio, backend), 5, 0.1), "its backend is gone",
             backend_processes())


def shell_killed(t):
    studio = launched(t)
    backend = studio.backend()
    start_run(t, "indexer")

    t.step("the application is killed outright (SIGKILL): its backend ends by itself")
    os.kill(studio.pid, signal.SIGKILL)
    t.expect(studio.wait_exit(5), "the application is gone")
    t.expect(wait_for(lambda: backend not in backend_processes(), 10, 0.1),
             "the backend it started ended by itself", backend_processes())
    t.expect(wait_for(lambda: ping() is None, 5, 0.1), "nothing answers on the port any more")


if __name__ == "__main__":
    run(stay_then_quit_anyway, no_answer, terminate_signal, nothing_in_flight, shell_killed)
