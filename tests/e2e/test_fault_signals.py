"""Signals from a terminal and a backend that cannot answer: Ctrl+C (SIGINT
to the whole process group) and a closed terminal (SIGHUP to it) must reach
only the application, which asks before dropping a run in flight; a backend
stopped with SIGSTOP must neither delay the question nor keep the window on
screen once the user has chosen to quit."""

import os
import signal
import time

from checks import say, stays, wait_for
from faults import clean_slate, figure, wait_exit
from peers import alive, backend_processes, running, stopped_by
from screen import dialog_labels, focus, key, visible_windows
from studio import (IN_FLIGHT, NO_ANSWER, launched, quit_anyway, quit_sheet, run, start_run,
                    wait_dialog)

ASKING_BOUND = 3.0  # the busy query's own bound
POLLING = 1.0  # the accessibility bus, read every 0.2 s, and a loaded machine
GONE_AT_ONCE = 2.0  # well short of the 5 s a wait for the stopped backend takes


def from_terminal(t, signum):
    clean_slate(t)
    studio = launched(t, own_group=True)
    backend = studio.backend()
    start_run(t, "indexer", 900)

    what = signal.Signals(signum).name
    t.step(f"{what} to the application's process group, as a terminal sends it")
    os.killpg(studio.pid, signum)
    sheet = wait_dialog(studio, 6)
    labels = dialog_labels(sheet) if sheet else []
    survived = stays(lambda: alive(backend) and studio.backends() == [backend] and running(), 2.0)
    reached = stopped_by(backend) == what
    figure(f"{what} to the group with a run in flight: "
           f"{'sheet ' + repr(labels[:1]) if sheet else 'no sheet'}, application "
           f"{'running' if studio.running() else 'gone'}, the signal "
           f"{'reached' if reached else 'did not reach'} the backend, which "
           f"{'kept its run for 2 s' if survived else 'lost its run'}")
    t.expect(not reached, f"{what} did not reach the backend")
    sheet = quit_sheet(t, studio, IN_FLIGHT, 0)
    t.expect(survived, "the same backend keeps running, its run in flight, while the sheet asks",
             backend_processes())

    t.step("Quit anyway")
    quit_anyway(t, studio, sheet)
    # What shows that the log would have told a signal that reached the backend.
    t.expect(stopped_by(backend) == "SIGTERM", "the log tells the SIGTERM that stopped it",
             stopped_by(backend))


def interrupted_from_terminal(t):
    from_terminal(t, signal.SIGINT)


def terminal_closed(t):
    from_terminal(t, signal.SIGHUP)


def stopped_backend(t):
    clean_slate(t)
    studio = launched(t)
    backend = studio.backend()

    t.step("the backend is stopped (SIGSTOP), then Ctrl+Q")
    os.kill(backend, signal.SIGSTOP)
    try:
        began = time.monotonic()
        studio.keys_to_window("ctrl+q")
        quit_sheet(t, studio, NO_ANSWER, 10)
        asked = time.monotonic() - began
        t.expect(asked <= ASKING_BOUND + POLLING, "it is shown within about 3 s", round(asked, 2))

        t.step("Return: Quit anyway")
        dialogs = studio.dialog_windows()
        t.require(dialogs and focus(dialogs[-1]), "the sheet takes the keyboard focus")
        began = time.monotonic()
        key("Return")
        hidden = None
        while time.monotonic() - began < 15:
            if not studio.running() or not visible_windows(studio.pid):
                hidden = time.monotonic() - began
                break
            time.sleep(0.02)
        ended = wait_exit(studio, 15)
        ended = None if ended is None else time.monotonic() - began
        figure(f"backend stopped by SIGSTOP: the no-answer sheet after {asked:.2f} s; after "
               f"Quit anyway the windows gone after "
               f"{'never' if hidden is None else f'{hidden:.2f} s'}, the application "
               f"ended after {'never' if ended is None else f'{ended:.2f} s'}")
        t.expect(hidden is not None and hidden <= GONE_AT_ONCE,
                 "the window leaves the screen at once", hidden and round(hidden, 2))
        t.expect(wait_for(lambda: not studio.running() and not alive(backend), 10, 0.1),
                 "the application ended and its stopped backend is gone",
                 (studio.running(), backend_processes()))
    finally:
        if alive(backend):
            say(f"  waking the stopped backend {backend}")
            os.kill(backend, signal.SIGCONT)


if __name__ == "__main__":
    run(interrupted_from_terminal, terminal_closed, stopped_backend)
