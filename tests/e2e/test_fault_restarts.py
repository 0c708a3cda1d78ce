"""Sixty restarts of the service from the menu's shortcut: the application's
descriptors, threads and resident memory after a warm-up, and how much they
grow. They stay flat; a leak of one descriptor, thread or buffer per restart
shows as growth with the number of restarts.

A restart the user asks for counts against the restart budget like a death,
so from the sixth on each one ends in the could-not-start alert; the test
answers it with Try Again, which starts the backend again."""

import time

from checks import say, wait_for
from faults import clean_slate, descriptor_kinds, figure, usage
from peers import backend_processes, page_ready_count
from screen import press_button
from studio import launched, run, wait_dialog

GAVE_UP = "Tarvo Studio could not start"

RESTARTS = 60
WARM_UP = 2
SETTLE = 0.5  # for the threads of one restart to finish
REPORTED = (1, 2, 3, 4, 5, 6, 10, 20, 30, 40, 50, 60)
KINDS_AT = (0, 2, 5, 60)  # what the descriptors are, to tell a leak from a warm-up
# Generous: a steady leak per restart would exceed them, noise would not.
MAX_DESCRIPTOR_GROWTH = 16
MAX_THREAD_GROWTH = 8
MAX_RSS_GROWTH_KIB = 64 * 1024


def sixty_restarts(t):
    clean_slate(t)
    studio = launched(t)
    samples = {0: usage(studio.pid)}
    kinds = {0: descriptor_kinds(studio.pid)}
    alerts = 0
    for number in range(1, RESTARTS + 1):
        old = studio.backend()
        ready = page_ready_count()

        def served():
            return page_ready_count() > ready and studio.backend() not in (None, old)

        studio.keys_to_window("ctrl+shift+r")
        t.require(wait_for(lambda: served() or wait_dialog(studio, 0, GAVE_UP), 30, 0.2),
                  f"restart {number}: the page is served again, or the alert asks")
        if not served():
            alert = wait_dialog(studio, 0, GAVE_UP)
            t.require(alert and press_button(alert, "Try Again"),
                      f"restart {number}: the alert's Try Again can be pressed")
            alerts += 1
            t.require(wait_for(served, 30, 0.05),
                      f"restart {number}: after Try Again a new backend serves the page")
        time.sleep(SETTLE)
        samples[number] = usage(studio.pid)
        if number in KINDS_AT:
            kinds[number] = descriptor_kinds(studio.pid)
        t.require(samples[number], f"restart {number}: the application is still running")
    say(f"  {alerts} of {RESTARTS} restarts ended in the alert and Try Again")
    t.expect(studio.backends() == backend_processes() and len(backend_processes()) == 1,
             "one backend runs after the restarts", backend_processes())

    for number in (0, *REPORTED):
        fds, threads, rss = samples[number]
        figure(f"after restart {number:2}: {fds} descriptors, {threads} threads, "
               f"RSS {rss / 1024:.1f} MiB")
    for number, seen in kinds.items():
        say(f"  descriptors after restart {number}: {seen}")
    base = samples[WARM_UP]
    later = [samples[n] for n in range(WARM_UP, RESTARTS + 1)]
    growth = [max(s[i] for s in later) - base[i] for i in range(3)]
    end = [samples[RESTARTS][i] - base[i] for i in range(3)]
    figure(f"growth from restart {WARM_UP} to {RESTARTS}: descriptors {end[0]:+d} (max "
           f"{growth[0]:+d}), threads {end[1]:+d} (max {growth[1]:+d}), RSS "
           f"{end[2] / 1024:+.1f} MiB (max {growth[2] / 1024:+.1f} MiB)")
    t.expect(growth[0] <= MAX_DESCRIPTOR_GROWTH, "descriptors stay flat", growth[0])
    t.expect(growth[1] <= MAX_THREAD_GROWTH, "threads stay flat", growth[1])
    t.expect(growth[2] <= MAX_RSS_GROWTH_KIB, "resident memory stays flat", growth[2])

    studio.keys_to_window("ctrl+q")
    t.expect(wait_for(lambda: not studio.running() and not backend_processes(), 15, 0.1),
             "Ctrl+Q ends the application and its backend", backend_processes())


if __name__ == "__main__":
    run(sixty_restarts)
