"""Quitting with a run in flight, on X11 (e2e_quit) and on Wayland
(e2e_wayland_quit): the sheet asks, staying keeps the application and its
backend, SIGTERM asks again, Quit anyway ends both. Wayland takes no
synthetic key, so there the sheet is answered through its buttons' actions
and the steps that need the keyboard or X windows are left out."""

import os
import signal

from checks import stays, wait_for
from peers import ping
from screen import dialog_buttons, dialog_labels, press_button, transient_for
from studio import IN_FLIGHT, WAYLAND, launched, quit_anyway, quit_sheet, run, start_run

TOOLS = ("indexer", "Bundler")


def stays_open(t, studio, backend):
    t.expect(wait_for(lambda: not studio.dialogs(), 5, 0.1), "the sheet closed")
    t.expect(stays(lambda: studio.running() and studio.backend() == backend, 2),
             "the application and the same backend keep running")
    t.expect(ping() == "tarvo-studio", "the backend still answers")


def run_in_flight(t):
    studio = launched(t)
    backend = studio.backend()
    for tool in TOOLS:
        start_run(t, tool)

    t.step("asking to quit with a run in flight shows the sheet")
    t.require(studio.ask_to_quit(), "Quit Tarvo Studio can be asked for")
    sheet = quit_sheet(t, studio, IN_FLIGHT)
    labels = " ".join(dialog_labels(sheet))
    t.expect(all(tool in labels for tool in TOOLS), "it names the tools of the busy reply", labels)
    t.expect(dialog_buttons(sheet) == ["Stay open", "Quit anyway"],
             "its buttons are Stay open, Quit anyway", dialog_buttons(sheet))
    if not WAYLAND:
        windows = studio.dialog_windows()
        t.expect(len(windows) == 1 and transient_for(windows[0]) == studio.main_window,
                 "it is a sheet: attached to the main window",
                 [(w, transient_for(w)) for w in windows])

    if WAYLAND:
        t.step("Stay open")
        t.require(press_button(sheet, "Stay open"), "Stay open can be pressed")
    else:
        t.step("Return: Stay open, the default")
        studio.keys_to_dialog("Return")
    stays_open(t, studio, backend)

    if not WAYLAND:
        t.step("Escape stays open too: closing the sheet is no choice to drop the run")
        studio.ask_to_quit()
        quit_sheet(t, studio, IN_FLIGHT)
        studio.keys_to_dialog("Escape")
        stays_open(t, studio, backend)

    t.step("SIGTERM asks again; Quit anyway quits")
    os.kill(studio.pid, signal.SIGTERM)
    sheet = quit_sheet(t, studio, IN_FLIGHT)
    t.expect(studio.running() and studio.backend() == backend,
             "the application and its backend are still running while it asks")
    quit_anyway(t, studio, sheet)


if __name__ == "__main__":
    run(run_in_flight)
