"""When something the window stands on stops: its web process, a backend
that ends at every start, a backend that never sends its page."""

import os
import signal
import time

from checks import wait_for
from peers import LOG, backend_processes, log_text, page_ready_count, switch, web_processes
from screen import dialog_labels, press_button
from studio import Studio, launched, run, wait_dialog

COULD_NOT_START = "Tarvo Studio could not start"
PAGE_STOPS = "Tarvo Studio's page keeps stopping"


def kill_page(t, studio):
    pids = wait_for(lambda: web_processes(studio.pid), 10, 0.2)
    t.require(pids, "the page has a web process", pids)
    for pid in pids:
        os.kill(pid, signal.SIGKILL)


def page_comes_back(t):
    studio = launched(t)
    for crash in range(1, 4):
        t.step(f"the web process is killed ({crash} of 3 in a minute): the page comes back")
        ready = page_ready_count()
        kill_page(t, studio)
        t.require(wait_for(lambda: page_ready_count() > ready, 30, 0.2), "the page loaded again")
    t.expect("tarvo-studio: page: its web process crashed or was killed: reloading it"
             in log_text(), "the log says why the page was loaded again")

    t.step("a fourth time within the minute: the user is asked")
    ready = page_ready_count()
    kill_page(t, studio)
    alert = wait_dialog(studio, 15, PAGE_STOPS)
    t.require(alert, f"the alert \u201c{PAGE_STOPS}\u201d is shown")
    t.expect(page_ready_count() == ready, "the page was not loaded again by itself")
    t.require(press_button(alert, "Reload"), "Reload can be pressed")
    t.expect(wait_for(lambda: page_ready_count() > ready, 30, 0.2), "Reload brings the page back")
    studio.keys_to_window("ctrl+q")
    t.expect(studio.wait_exit(15), "Ctrl+Q quits")


def one_alert_at_a_time(t):
    t.step("a backend that ends at every start: one alert while the restarts go on")
    switch(EXIT_AT_START=3)
    studio = Studio()
    t.require(wait_dialog(studio, 30, COULD_NOT_START), "the could-not-start alert is shown")
    gave_up = wait_for(lambda: "no more automatic restarts" in log_text(), 40, 0.2)
    time.sleep(2)  # whatever the last start says comes too
    t.expect(gave_up, "the restarts gave up")
    t.expect(len(studio.dialogs()) == 1, "one alert is on screen, not one per failure",
             [dialog_labels(d) for d in studio.dialogs()])
    log = log_text()
    t.expect("tarvo-studio: the service exited (exit 3)" in log
             and "restarting in 0.5 s" in log and "restarting in 8 s" in log,
             "the log names each exit's status and each restart's delay")

    t.step("Try Again is one fresh attempt")
    starts = log.count("ends at start")
    t.require(press_button(studio.dialogs()[0], "Try Again"), "Try Again can be pressed")
    t.require(wait_for(lambda: log_text().count("ends at start") > starts, 15, 0.2),
              "the backend was started again")
    time.sleep(3)
    t.expect(log_text().count("ends at start") == starts + 1, "once")
    alert = wait_dialog(studio, 10, COULD_NOT_START)
    t.expect(alert and len(studio.dialogs()) == 1, "still one alert")
    t.require(alert and press_button(alert, "Quit"), "Quit can be pressed")
    t.expect(studio.wait_exit(15), "the application ended")
    switch(EXIT_AT_START=0)


def page_never_comes(t):
    t.step("a backend that answers but never sends its page")
    switch(PAGE_NEVER=True)
    began = time.monotonic()
    studio = Studio()
    backend = wait_for(studio.backend, 30, 0.2)
    alert = wait_dialog(studio, 45, COULD_NOT_START)
    t.require(alert, "the could-not-start alert is shown")
    t.expect(time.monotonic() - began >= 29, "not before its 30 seconds")
    # Its text is the unit tests' to check; here, that it is this alert's.
    t.expect(any(LOG in label for label in dialog_labels(alert)), "it names the log",
             dialog_labels(alert))
    t.step("Try Again restarts the service")
    t.require(press_button(alert, "Try Again"), "Try Again can be pressed")
    t.expect(wait_for(lambda: studio.backend() not in (None, backend), 20, 0.2),
             "another backend runs", backend_processes())
    switch(PAGE_NEVER=False)


if __name__ == "__main__":
    run(page_comes_back, one_alert_at_a_time, page_never_comes)
