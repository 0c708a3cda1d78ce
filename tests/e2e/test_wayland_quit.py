"""Quitting on a Wayland display: the sheet for work in flight and for a
backend that cannot answer, each with its buttons, and no backend left once
the application has gone. Driven through the accessibility actions only, as
nothing from outside can type or click into a Wayland client."""

import os
import signal

from checks import stays, wait_for
from peers import backend_processes, page_ready_count, ping
from screen import dialog_buttons, dialog_labels, press_button
from studio import TITLE, run, Studio, wait_dialog
from test_quit import NO_ANSWER, NO_ANSWER_TEXT, RUNNING, gone, in_flight_text, start_run


def launched(t):
    ready = page_ready_count()  # the log outlives each launch
    studio = Studio()
    t.require(wait_for(lambda: page_ready_count() > ready and studio.backend(), 40, 0.2),
              "the application is up with its page loaded")
    t.require(wait_for(studio.window, 10, 0.2), f"a window titled \u201c{TITLE}\u201d is shown")
    return studio


def ask_to_quit(t, studio):
    t.require(studio.activate("Tarvo Studio", "Quit Tarvo Studio"),
              "Quit Tarvo Studio can be chosen")


def run_in_flight(t):
    studio = launched(t)
    backend = studio.backend()
    start_run(t, "indexer")
    reply = start_run(t, "Bundler")

    t.step("Quit with a run in flight asks first")
    ask_to_quit(t, studio)
    sheet = wait_dialog(studio, 5, RUNNING)
    t.require(sheet, f"the sheet \u201c{RUNNING}\u201d is shown")
    t.expect(in_flight_text(reply) in dialog_labels(sheet),
             "its informative text counts and names what is in flight", dialog_labels(sheet))
    t.expect(dialog_buttons(sheet) == ["Stay open", "Quit anyway"],
             "its buttons are Stay open, Quit anyway", dialog_buttons(sheet))

    t.step("Stay open keeps everything running")
    t.require(press_button(sheet, "Stay open"), "Stay open can be pressed")
    t.expect(wait_for(lambda: not studio.dialogs(), 5, 0.1), "the sheet closed")
    t.expect(stays(lambda: studio.running() and studio.backend() == backend, 2),
             "the application and the same backend keep running")
    t.expect(ping() == "tarvo-studio", "the backend still answers")

    t.step("SIGTERM asks again; Quit anyway quits")
    os.kill(studio.pid, signal.SIGTERM)
    sheet = wait_dialog(studio, 5, RUNNING)
    t.require(sheet, "the sheet is shown again")
    t.require(press_button(sheet, "Quit anyway"), "Quit anyway can be pressed")
    t.expect(wait_for(lambda: gone(studio, backend), 15, 0.1),
             "the application ended and stopped its backend", backend_processes())
    t.expect(ping() is None, "nothing answers on the port any more")


def no_answer(t):
    studio = launched(t)
    backend = studio.backend()

    t.step("the backend is stopped (SIGSTOP); Quit cannot learn what runs")
    os.kill(backend, signal.SIGSTOP)
    try:
        ask_to_quit(t, studio)
        sheet = wait_dialog(studio, 8, NO_ANSWER)
        t.require(sheet, f"the sheet \u201c{NO_ANSWER}\u201d is shown")
        t.expect(NO_ANSWER_TEXT in dialog_labels(sheet), "its informative text is exact",
                 dialog_labels(sheet))
        t.expect(dialog_buttons(sheet) == ["Quit anyway", "Stay open"],
                 "its buttons are Quit anyway, Stay open", dialog_buttons(sheet))
        t.require(press_button(sheet, "Quit anyway"), "Quit anyway can be pressed")
        t.expect(wait_for(lambda: gone(studio, backend), 20, 0.1),
                 "the application ended and its stopped backend is gone",
                 (studio.running(), backend_processes()))
    finally:
        if backend in backend_processes():
            os.kill(backend, signal.SIGCONT)


if __name__ == "__main__":
    run(run_in_flight, no_answer)
