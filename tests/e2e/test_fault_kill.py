"""The application ended from outside during its bring-up and after it:
SIGKILL must leave no backend behind even when the backend does not watch
its parent, and SIGTERM must end it within the stop bound with no backend
left, however slowly the backend starts."""

import os
import signal
import time

from checks import say, wait_for
from faults import clean_slate, end, figure, wait_exit
from peers import backend_processes, page_ready_count, switch
from screen import visible_windows
from studio import Studio, run

# Seconds after the launch, spread over the bring-up (window, port check,
# interpreter probe, spawn, readiness wait, page), then two in steady state.
KILL_MOMENTS = [0.0, 0.05, 0.1, 0.15, 0.2, 0.25, 0.3, 0.4, 0.5, 0.6, 0.75, 0.9, 1.1, 1.3, 1.6,
                2.0, 2.5, 3.0]
STEADY_MOMENTS = [0.5, 3.0]  # after the page is ready
ORPHAN_WAIT = 3.0

# Seconds after the launch, and None: as soon as the backend is spawned, when
# the start is in flight however long the launch took to get there.
TERM_MOMENTS = [0.05, 0.2, 0.5, 1.0, None]
SLOW_START = 12.0  # longer than the stop bound, so waiting out a start shows
STOP_BOUND = 7.0  # SIGTERM grace 5 s, then SIGKILL and 2 s more
EXIT_ALLOWANCE = 1.0  # the window and the process itself going away
GIVE_UP = 25.0


def kill_once(t, delay, steady):
    clean_slate(t)
    ready = page_ready_count()
    studio = Studio()
    if steady:
        up = wait_for(lambda: page_ready_count() > ready and studio.backend(), 40, 0.05)
        t.require(up, "the application is up with its page loaded")
    time.sleep(delay)
    spawned = len(studio.backends())
    os.kill(studio.pid, signal.SIGKILL)
    t.require(studio.wait_exit(10), "the killed application is gone")
    time.sleep(ORPHAN_WAIT)
    left = backend_processes()
    end(studio)
    return spawned, left


def killed_at_moments(t):
    switch(START_DELAY=0)
    rounds = [(d, False) for d in KILL_MOMENTS] + [(d, True) for d in STEADY_MOMENTS]
    orphaned = 0
    for delay, steady in rounds:
        moment = f"ready+{delay:g} s" if steady else f"{delay:g} s"
        spawned, left = kill_once(t, delay, steady)
        orphaned += len(left)
        say(f"  SIGKILL at {moment}: {spawned} backend(s) running then, "
            f"{len(left)} left after {ORPHAN_WAIT:g} s {left or ''}")
    figure(f"SIGKILL at {len(rounds)} moments, backend without a parent watch: "
           f"{orphaned} backend(s) left after {ORPHAN_WAIT:g} s")
    t.expect(orphaned == 0, f"no backend outlives a killed application by {ORPHAN_WAIT:g} s",
             orphaned)


def terminate_once(t, delay, start_delay):
    clean_slate(t)
    switch(START_DELAY=start_delay)
    studio = Studio()
    if delay is None:
        t.require(wait_for(studio.backends, 20, 0.01), "the application spawns its backend")
    else:
        time.sleep(delay)
    spawned = len(studio.backends())
    os.kill(studio.pid, signal.SIGTERM)
    took = wait_exit(studio, GIVE_UP)
    windows = 0 if took is not None else len(visible_windows(studio.pid))
    if took is not None:
        time.sleep(1.0)  # a backend the application lost track of would still run now
    left = backend_processes()
    end(studio)
    return spawned, took, windows, left


def terminated_during_bring_up(t):
    bound = STOP_BOUND + EXIT_ALLOWANCE
    worst = {}
    for kind, start_delay in (("normal", 0.0), (f"slow ({SLOW_START:g} s)", SLOW_START)):
        for delay in TERM_MOMENTS:
            spawned, took, windows, left = terminate_once(t, delay, start_delay)
            moment = "the backend's spawn" if delay is None else f"{delay:g} s"
            what = f"SIGTERM at {moment}, {kind} backend"
            if took is None:
                figure(f"{what}: {spawned} backend(s) running then, no exit in {GIVE_UP:g} s "
                       f"({windows} window(s) on screen, {len(left)} backend(s) running)")
            else:
                figure(f"{what}: {spawned} backend(s) running then, exit after {took:.2f} s, "
                       f"{len(left)} backend(s) left")
            t.expect(took is not None and took <= bound,
                     f"{what}: the application ends within the stop bound",
                     None if took is None else round(took, 2))
            if took is not None:
                t.expect(not left, f"{what}: no backend is left", left)
            worst[kind] = max(worst.get(kind, 0.0), float("inf") if took is None else took)
    for kind, took in worst.items():
        slowest = f"{took:.2f} s" if took != float("inf") else f"no exit in {GIVE_UP:g} s"
        figure(f"SIGTERM in bring-up, {kind} backend: slowest exit {slowest}")


if __name__ == "__main__":
    run(killed_at_moments, terminated_during_bring_up)
