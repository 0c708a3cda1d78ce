"""The status line above the page, with a backend that is slow to come up:
read through accessibility while the backend starts, gone once the page
shows; after a SIGKILL of the backend it says the service is restarting,
until the page is back. Each state is also saved as a picture of the window
in the run's output folder."""

import os
import signal

from checks import wait_for
from peers import page_ready_count, ping, switch
from studio import Studio, run

SLOW_START = 3.0  # seconds the stand-in backend waits before it listens
STARTING = "Starting Tarvo Studio\u2026"
RESTARTING = "Restarting the service"

switch(START_DELAY=SLOW_START)


def slow_start_and_restart(t):
    t.step(f"launch with a backend that takes {SLOW_START:.0f} s to listen")
    studio = Studio()
    seen = wait_for(lambda: studio.status_line(), SLOW_START, 0.1)
    t.require(seen == STARTING, f"the window says \u201c{STARTING}\u201d", seen)
    t.expect(ping(0.3) is None, "while the backend does not answer yet")
    t.require(studio.find_main_window(), "the window is on the display")
    studio.picture("status-starting.png")

    t.require(wait_for(lambda: page_ready_count() >= 1, 30, 0.2), "the page comes up")
    gone = wait_for(lambda: studio.status_line() == "", 5, 0.1)
    t.expect(gone, "the status line is gone once the page shows", studio.status_line())

    t.step("the backend is killed")
    backend = studio.backend()
    t.require(backend is not None, "the application runs one backend")
    ready = page_ready_count()
    os.kill(backend, signal.SIGKILL)
    seen = wait_for(lambda: RESTARTING in studio.status_line() and studio.status_line(), 5, 0.1)
    t.expect(seen and seen.startswith(RESTARTING),
             f"the window says \u201c{RESTARTING}\u2026\u201d", seen)
    studio.picture("status-restarting.png")
    t.require(wait_for(lambda: page_ready_count() > ready, 30, 0.2), "the page comes back")
    gone = wait_for(lambda: studio.status_line() == "", 5, 0.1)
    t.expect(gone, "the status line is gone again", studio.status_line())

    t.step("Ctrl+Q quits")
    studio.keys_to_window("ctrl+q")
    t.expect(studio.wait_exit(15), "the application ended")


if __name__ == "__main__":
    run(slow_start_and_restart)
